// Settings as global objects: the Parameter family, the control binding of the settings the
// window shows, the five registries and the combo-box helpers.
//
// Threads: current values are written by the GUI thread and the start-up thread and read by
// every thread. Int, float and bool current values are atomic; a text value is read as a copy
// under the object's own lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/controls.h"

namespace qel {

class Parameter {
public:
    explicit Parameter(std::string key) : name(std::move(key)) {}
    virtual ~Parameter() = default;
    Parameter(const Parameter&) = delete;
    Parameter& operator=(const Parameter&) = delete;

    const std::string name;  // the key in parameters.xml, or a push button's caption
};

class IntParameter : public Parameter {
public:
    IntParameter(std::string key, int32_t value, int32_t low, int32_t high);
    int32_t clamp(int32_t value) const;  // into [minimum, maximum]

    const int32_t defaultValue;
    const int32_t minimum;
    const int32_t maximum;
    std::atomic<int32_t> current;
};

class FloatParameter : public Parameter {
public:
    FloatParameter(std::string key, float value, float low, float high);

    const float defaultValue;
    const float minimum;
    const float maximum;
    std::atomic<float> current;
};

class BoolParameter : public Parameter {
public:
    BoolParameter(std::string key, bool value);

    const bool defaultValue;
    std::atomic<bool> current;
};

class StringParameter : public Parameter {
public:
    StringParameter(std::string key, std::string value);

    std::string value() const;       // a copy of the current value
    void assign(std::string value);  // current value only, not saved
    void set(std::string value);     // assign, then save at once (gf_saveStringParameter)
    std::string defaultValue() const;
    void setDefaultValue(std::string value);  // PROGRAM_VERSION's default, at start-up only

private:
    // Guards both texts; may be taken under g_parametersMutex, takes no other lock itself.
    mutable std::mutex mutex_;
    std::string default_;
    std::string current_;
};

// The window control of a setting the main window shows.
class ControlBinding {
public:
    ControlBinding(uint16_t id, uint32_t row) : controlId(id), rowY(row) {}
    virtual ~ControlBinding() = default;

    const uint16_t controlId;  // 32771..32862
    const uint32_t rowY;       // pixels from the client area's top: 147
    // Set once by the window when it creates the control (atomic: read from any thread).
    std::atomic<platform::ControlHandle> controlWindow{nullptr};
    void* previousWindowProc = nullptr;  // an edit box's replaced handler; window only
};

class ControlBoolParameter : public BoolParameter, public ControlBinding {
public:
    ControlBoolParameter(std::string key, bool value, uint16_t id, uint32_t row);
};

class ControlStringParameter : public StringParameter, public ControlBinding {
public:
    ControlStringParameter(std::string key, std::string value, uint16_t id, uint32_t row);
};

class ComboIntParameter : public IntParameter, public ControlBinding {
public:
    // Minimum and maximum are the first and the last choice (the list is ascending).
    ComboIntParameter(std::string key, int32_t value, std::vector<int32_t> list, uint16_t id,
                      uint32_t row);
    const std::vector<int32_t> choices;
};

class ComboFloatParameter : public FloatParameter, public ControlBinding {
public:
    ComboFloatParameter(std::string key, float value, std::vector<float> list, uint16_t id,
                        uint32_t row);
    const std::vector<float> choices;
};

class ComboStringParameter : public ControlStringParameter {
public:
    ComboStringParameter(std::string key, std::string value, std::vector<std::string> list,
                         uint16_t id, uint32_t row);
    const std::vector<std::string> choices;
};

// A string combo whose list is refilled at run time (the callsigns of the live traffic).
class SharedComboStringParameter : public ControlStringParameter {
public:
    using Choices = std::vector<std::string>;
    SharedComboStringParameter(std::string key, std::string value,
                               std::shared_ptr<const Choices> list, uint16_t id, uint32_t row);
    std::shared_ptr<const Choices> choices() const;
    void replaceChoices(std::shared_ptr<const Choices> list);  // any thread

private:
    std::atomic<std::shared_ptr<const Choices>> choices_;
};

class PushButton : public Parameter, public ControlBinding {
public:
    PushButton(std::string caption, uint16_t id, uint32_t row);
};

// The registries, in the order of parameters.xml (non-owning; built before the entry point).
extern const std::vector<ControlBoolParameter*> g_boolParams;    // 23 check boxes
extern const std::vector<IntParameter*> g_numParams;             // 8 plain numbers
extern const std::vector<ComboIntParameter*> g_comboParams;      // 10 combo numbers
extern const std::vector<StringParameter*> g_stringParams;       // 21 texts
extern const std::vector<ControlStringParameter*> g_editParams;  // 2 edit settings

// Fill a combo box from its setting when the control exists. GUI thread.
void gf_fillIntCombo(ComboIntParameter& setting);
void gf_fillStringCombo(ComboStringParameter& setting);
void gf_fillCallsignCombo();
std::optional<std::size_t> gf_findChoiceIndex(const ComboStringParameter& setting);

}  // namespace qel
