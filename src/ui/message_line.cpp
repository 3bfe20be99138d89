// The message line until the window draws it: every message goes to Log.txt.
#include <fmt/format.h>

#include "foundation/log.h"
#include "ui/ui.h"

namespace qel {

MainWindowState g_mainWindowState;

void gf_setMessage(std::string_view text, bool log)
{
    if (log) gf_log(text);
}

void gf_clearMessage() {}

void gf_setErrorMessage(std::string_view text)
{
    gf_log(fmt::format("Error {}", text));
}

}  // namespace qel
