// Building the window's controls from the setting objects; the window's own use.
#pragma once

#include "foundation/settings.h"
#include "platform/window.h"

namespace qel {

// One control each at the setting's row, its control stored in the setting. GUI thread.
platform::Control& createCheckBox(platform::Window& window, ControlBoolParameter& setting, int x);
platform::Control& createComboBox(platform::Window& window, ControlBinding& binding, int x,
                                  int width, int dropDownHeight);
platform::Control& createEditBox(platform::Window& window, ControlStringParameter& setting, int x,
                                 int width);
platform::Control& createButton(platform::Window& window, PushButton& button, int x, int width);
// All 48 controls in their order; combo boxes start empty. GUI thread.
void lf_createControls(platform::Window& window);
// Clears every setting's control before the window goes. GUI thread.
void lf_forgetControls();

}  // namespace qel
