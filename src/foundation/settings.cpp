// The Parameter family's constructors and text access, and the filling of the window's combo
// boxes from their settings.
#include "foundation/settings.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include <fmt/format.h>

#include "foundation/catalogue.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "platform/text.h"

namespace qel {

namespace {

// Empties the box, adds the choices in list order and selects the current value with the
// box's own prefix search, as CB_SELECTSTRING from the start of the list does.
void lf_fillStrings(platform::Control& control, const std::vector<std::string>& choices,
                    const std::string& current)
{
    control.comboReset();
    for (const auto& choice : choices) control.comboAdd(utf8_to_wide(choice));
    // The current value may come from parameters.xml unchecked; a text that is not UTF-8
    // leaves the box without a selection instead of ending the window's creation.
    try {
        control.comboSelectPrefix(utf8_to_wide(current));
    } catch (const std::runtime_error& e) {
        gf_log(fmt::format("utf8_to_wide failed for '{}': {}", current, e.what()));
    }
}

}  // namespace

IntParameter::IntParameter(std::string key, int32_t value, int32_t low, int32_t high)
    : Parameter(std::move(key)), defaultValue(value), minimum(low), maximum(high), current(value)
{
}

int32_t IntParameter::clamp(int32_t value) const
{
    return std::max(minimum, std::min(maximum, value));
}

FloatParameter::FloatParameter(std::string key, float value, float low, float high)
    : Parameter(std::move(key)), defaultValue(value), minimum(low), maximum(high), current(value)
{
}

BoolParameter::BoolParameter(std::string key, bool value)
    : Parameter(std::move(key)), defaultValue(value), current(value)
{
}

StringParameter::StringParameter(std::string key, std::string value)
    : Parameter(std::move(key)), default_(value), current_(std::move(value))
{
}

std::string StringParameter::value() const
{
    std::scoped_lock lock(mutex_);
    return current_;
}

void StringParameter::assign(std::string value)
{
    std::scoped_lock lock(mutex_);
    current_ = std::move(value);
}

void StringParameter::set(std::string value)
{
    assign(std::move(value));
    gf_saveStringParameter(*this);
}

std::string StringParameter::defaultValue() const
{
    std::scoped_lock lock(mutex_);
    return default_;
}

void StringParameter::setDefaultValue(std::string value)
{
    std::scoped_lock lock(mutex_);
    default_ = std::move(value);
}

ControlBoolParameter::ControlBoolParameter(std::string key, bool value, uint16_t id, uint32_t row)
    : BoolParameter(std::move(key), value), ControlBinding(id, row)
{
}

ControlStringParameter::ControlStringParameter(std::string key, std::string value, uint16_t id,
                                               uint32_t row)
    : StringParameter(std::move(key), std::move(value)), ControlBinding(id, row)
{
}

// The bases are built before the member, so `list` is still whole there.
ComboIntParameter::ComboIntParameter(std::string key, int32_t value, std::vector<int32_t> list,
                                     uint16_t id, uint32_t row)
    : IntParameter(std::move(key), value, list.empty() ? value : list.front(),
                   list.empty() ? value : list.back()),
      ControlBinding(id, row),
      choices(std::move(list))
{
}

ComboFloatParameter::ComboFloatParameter(std::string key, float value, std::vector<float> list,
                                         uint16_t id, uint32_t row)
    : FloatParameter(std::move(key), value, list.empty() ? value : list.front(),
                     list.empty() ? value : list.back()),
      ControlBinding(id, row),
      choices(std::move(list))
{
}

ComboStringParameter::ComboStringParameter(std::string key, std::string value,
                                           std::vector<std::string> list, uint16_t id, uint32_t row)
    : ControlStringParameter(std::move(key), std::move(value), id, row), choices(std::move(list))
{
}

SharedComboStringParameter::SharedComboStringParameter(std::string key, std::string value,
                                                       std::shared_ptr<const Choices> list,
                                                       uint16_t id, uint32_t row)
    : ControlStringParameter(std::move(key), std::move(value), id, row), choices_(std::move(list))
{
}

std::shared_ptr<const SharedComboStringParameter::Choices> SharedComboStringParameter::choices()
    const
{
    return choices_.load();
}

void SharedComboStringParameter::replaceChoices(std::shared_ptr<const Choices> list)
{
    choices_.store(std::move(list));
}

PushButton::PushButton(std::string caption, uint16_t id, uint32_t row)
    : Parameter(std::move(caption)), ControlBinding(id, row)
{
}

void gf_fillIntCombo(ComboIntParameter& setting)
{
    auto* control = setting.controlWindow.load();
    if (!control) return;
    control->comboReset();
    const int32_t current = setting.current;
    int selected = -1;
    for (std::size_t i = 0; i < setting.choices.size(); ++i) {
        control->comboAdd(utf8_to_wide(std::to_string(setting.choices[i])));
        if (selected < 0 && setting.choices[i] == current) selected = static_cast<int>(i);
    }
    // A value between two choices is kept, and the box then shows no selection.
    control->comboSetSelection(selected);
}

void gf_fillStringCombo(ComboStringParameter& setting)
{
    auto* control = setting.controlWindow.load();
    if (!control) return;
    lf_fillStrings(*control, setting.choices, setting.value());
}

void gf_fillCallsignCombo()
{
    auto* control = CALLSIGN_2_OBJECTID.controlWindow.load();
    if (!control) return;
    const auto choices = CALLSIGN_2_OBJECTID.choices();
    lf_fillStrings(*control, choices ? *choices : SharedComboStringParameter::Choices{},
                   CALLSIGN_2_OBJECTID.value());
}

std::optional<std::size_t> gf_findChoiceIndex(const ComboStringParameter& setting)
{
    const std::string current = setting.value();
    const auto found = std::find(setting.choices.begin(), setting.choices.end(), current);
    if (found == setting.choices.end()) return std::nullopt;
    return static_cast<std::size_t>(found - setting.choices.begin());
}

}  // namespace qel
