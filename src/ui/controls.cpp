// Showing settings in their controls, through the controls' state in the platform layer.
#include <fmt/format.h>

#include "foundation/log.h"
#include "foundation/settings.h"
#include "platform/text.h"
#include "ui/ui.h"

namespace qel {

namespace {

platform::ControlHandle lf_controlOf(const Parameter& setting)
{
    const auto* binding = dynamic_cast<const ControlBinding*>(&setting);
    return binding ? binding->controlWindow.load() : nullptr;
}

}  // namespace

void gf_showIntParameter(const IntParameter& setting)
{
    if (auto* combo = dynamic_cast<const ComboIntParameter*>(&setting)) {
        if (auto* control = combo->controlWindow.load()) {
            const auto& choices = combo->choices;
            int index = -1;
            for (std::size_t i = 0; i < choices.size(); ++i) {
                if (choices[i] == setting.current) index = static_cast<int>(i);
            }
            control->comboSetSelection(index);
        }
        return;
    }
    if (auto* control = lf_controlOf(setting)) {
        control->setText(utf8_to_wide(std::to_string(setting.current.load())));
    }
}

void gf_showTextParameter(const StringParameter& setting)
{
    auto* control = lf_controlOf(setting);
    if (control == nullptr) return;
    const std::string text = setting.value();
    try {
        if (control->kind() == platform::ControlKind::ComboBox) {
            control->comboSelectPrefix(utf8_to_wide(text));
        } else {
            control->setText(utf8_to_wide(text));
        }
    } catch (const std::exception& e) {
        // A hand-edited parameters.xml may hold any bytes; the control then stays as it was.
        gf_log(fmt::format("utf8_to_wide failed for '{}': {}", text, e.what()));
    }
}

void gf_showBoolParameter(const ControlBoolParameter& setting)
{
    if (auto* control = setting.controlWindow.load()) control->setChecked(setting.current);
}

}  // namespace qel
