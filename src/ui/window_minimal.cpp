// The main window until it is drawn: the settings are loaded and messages are served in order on
// the calling thread.
#include <condition_variable>
#include <deque>
#include <mutex>

#include "app/app.h"
#include "foundation/parameters.h"
#include "ui/ui.h"

namespace qel {

namespace {

std::mutex g_messagesMutex;  // guards g_messages; taken alone
std::condition_variable g_messagesPosted;
std::deque<WindowMessage> g_messages;

}  // namespace

bool initInstance(std::string_view /*title*/)
{
    gf_readParameters();
    return true;
}

void gf_postWindowMessage(WindowMessage message)
{
    {
        std::scoped_lock lock(g_messagesMutex);
        g_messages.push_back(message);
    }
    g_messagesPosted.notify_one();
}

int gf_runMessageLoop()
{
    for (;;) {
        WindowMessage message;
        {
            std::unique_lock lock(g_messagesMutex);
            g_messagesPosted.wait(lock, [] { return !g_messages.empty(); });
            message = g_messages.front();
            g_messages.pop_front();
        }
        switch (message) {
        case WindowMessage::StartUp: gf_onStartUpMessage(); break;
        case WindowMessage::Quit: return g_exitCode;
        case WindowMessage::RepaintMessageLine: break;
        }
    }
}

}  // namespace qel
