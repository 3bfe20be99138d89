// The real window when its X server goes away under it.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>

#include "platform/scoped_env.h"
#include "platform/window.h"
#include "support/test_support.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace qel::platform {
namespace {

// The server ends in the middle of a paint that goes on drawing far past Xlib's request buffer:
// the loop is left without another request to the server, the loss is reported, and posted
// messages are still served until quit.
TEST(RealWindow, AServerGoneInTheMiddleOfAPaintEndsTheLoopCleanly)
{
    test::VirtualDisplay display;
    VNTQ_NEED_DISPLAY(display);
    const test::ScopedEnv onDisplay("DISPLAY", display.name());
#if defined(__SANITIZE_ADDRESS__)
    // The window's fonts leave fontconfig's own leaks at the process end; the headless tests
    // check ours.
    const __lsan::ScopedDisabler xLibrariesLeak;
#endif
    std::unique_ptr<Window> window;
    std::optional<WindowLoss> lost;
    WindowHandlers handlers;
    handlers.paint = [&display](Canvas& canvas) {
        display.stop();
        for (int i = 0; i < 100'000; ++i) canvas.drawLine(0, i % 100, 200, 0, Colour{});
    };
    handlers.lost = [&](WindowLoss loss) {
        lost = loss;
        window->post(kAppMessage);
    };
    handlers.message = [&](uint32_t /*message*/) { window->quit(7); };
    window = createFltkWindow({"VNTQ", 0, 0, 200, 100}, handlers);
    ASSERT_NE(window, nullptr);
    window->show();
    window->invalidate({0, 0, 200, 100});

    EXPECT_EQ(window->run(), 7);
    EXPECT_EQ(lost, std::optional<WindowLoss>(WindowLoss::Display));
}

}  // namespace
}  // namespace qel::platform
