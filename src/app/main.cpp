// The process entry: one instance per user session, Log.txt, then the application.
#include <cstdio>
#include <exception>

#include "app/app.h"
#include "foundation/log.h"
#include "platform/process.h"

int main(int argc, char** argv)
{
    // A second instance leaves at once, with no window and no message.
    qel::platform::SingleInstanceLock instance("Local\\$VNTQ$");
    if (instance.alreadyExists()) return -1;
    try {
        qel::gf_openLog();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return qel::gf_runApp(argc, argv);
}
