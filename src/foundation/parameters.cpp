// parameters.xml: the rows of a `parameters` section, the whole-file writer and reader over the
// registries, and the single-setting savers.
//
// Threads: the GUI thread (control handlers, window position) and the start-up thread (start-up,
// close-down, automatic changes) load, change and save the file. g_parametersMutex is held
// around each of these from the load to the save, so a save never drops another thread's
// change; gf_saveXmlFile replaces the file by rename, so it is never seen half written.
#include "foundation/parameters.h"

#include <fmt/format.h>

#include "foundation/catalogue.h"
#include "foundation/globals.h"
#include "foundation/log.h"
#include "foundation/strings.h"
#include "foundation/version.h"
#include "foundation/window_status.h"
#include "foundation/xml.h"

namespace qel {

// Guards parameters.xml on disk; see the header for its rank.
std::recursive_mutex g_parametersMutex;
std::atomic<bool> g_parametersRead{false};

namespace {

constexpr std::string_view kBannerTitle = "parameters";
constexpr int kBannerWidth = 70;
constexpr int kClosingWidth = 80;

const char* lf_boolText(bool value) { return value ? "true" : "false"; }

pugi::xml_node lf_rootOrSelf(const pugi::xml_node& node)
{
    const auto root = node.child("root");
    return root ? root : node;
}

pugi::xml_node lf_findRow(const pugi::xml_node& node, std::string_view key)
{
    for (const auto& row : lf_rootOrSelf(node).child("parameters").children("parameter")) {
        if (std::string_view(row.attribute("name").value()) == key) return row;
    }
    return {};
}

// Sets `value` on every row named `key`; appends a row when none is. True when a row existed.
bool lf_storeRows(pugi::xml_node parameters, std::string_view key, const std::string& value)
{
    bool found = false;
    for (auto row : parameters.children("parameter")) {
        if (std::string_view(row.attribute("name").value()) != key) continue;
        found = true;
        gf_setOrAppendAttribute(row, "value", value.c_str());
    }
    if (!found) gf_appendParameterNode(parameters, std::string(key), value);
    return found;
}

void lf_logClosingLine()
{
    // The trailing break makes the empty line after the stars.
    gf_log(gf_starBanner(kClosingWidth, 0, false, true, ""));
}

void lf_appendRow(pugi::xml_node parameters, const std::string& key, const std::string& value,
                  const std::string& current)
{
    if (gf_appendParameterNode(parameters, key, value)) return;
    lf_logUnlessStopping(
        fmt::format("{}adding xml parameter {} with {} failed!", "===> ", key, current));
}

// One registry's rows: the stored text (the default with `useDefaults`) and the current text the
// failure line names, from one reading of the value; then the setting's own lines.
template <typename Setting, typename Text, typename Announce>
void lf_appendRegistry(pugi::xml_node parameters, const std::vector<Setting*>& registry,
                       bool useDefaults, Text text, Announce announce)
{
    for (Setting* setting : registry) {
        if (!setting) continue;
        const std::string current = text(*setting, false);
        lf_appendRow(parameters, setting->name, useDefaults ? text(*setting, true) : current,
                     current);
        announce(*setting);
    }
}

void lf_appendAll(pugi::xml_node parameters, bool useDefaults)
{
    const auto boolText = [](const ControlBoolParameter& s, bool byDefault) {
        return std::string(lf_boolText(byDefault ? s.defaultValue : s.current.load()));
    };
    const auto numberText = [](const auto& s, bool byDefault) {
        return std::to_string(byDefault ? s.defaultValue : s.current.load());
    };
    const auto stringText = [](const auto& s, bool byDefault) {
        return byDefault ? s.defaultValue() : s.value();
    };
    lf_appendRegistry(parameters, g_boolParams, useDefaults, boolText,
                      [](const ControlBoolParameter& s) {
                          gf_logBoolParameter(s);
                          gf_showBoolParameter(s);
                      });
    lf_appendRegistry(parameters, g_numParams, useDefaults, numberText,
                      [](const IntParameter& s) { gf_logIntParameter(s); });
    lf_appendRegistry(parameters, g_comboParams, useDefaults, numberText,
                      [](const ComboIntParameter& s) {
                          gf_logIntParameter(s);
                          gf_showIntParameter(s);
                      });
    lf_appendRegistry(parameters, g_stringParams, useDefaults, stringText,
                      [](const StringParameter& s) { gf_logParameter(s); });
    lf_appendRegistry(parameters, g_editParams, useDefaults, stringText,
                      [](const ControlStringParameter& s) {
                          gf_logParameter(s);
                          gf_showTextParameter(s);
                      });
}

// One setting's row to carry into a whole-file write, for a setting that may be in no registry.
struct SingleRow {
    std::string_view key;
    std::string value;
    void (*logLine)(const Parameter&);  // null once the line was logged
    const Parameter* setting;
};

// The caller holds g_parametersMutex.
void lf_writeWholeFile(bool useDefaults, const SingleRow* extra)
{
    pugi::xml_document document;
    auto root = document.append_child("root");
    if (useDefaults) PROGRAM_VERSION.setDefaultValue(g_programVersion.text());
    auto parameters = root.append_child("parameters");
    if (parameters) {
        lf_appendAll(parameters, useDefaults);
        // A registered setting has its row and line already; another one gets both here.
        if (extra && !lf_storeRows(parameters, extra->key, extra->value) && extra->logLine) {
            extra->logLine(*extra->setting);
        }
        if (!gf_saveXmlFile(document, g_parametersPath)) {
            gf_logHighlighted(fmt::format("saving: {} failed", g_parametersPathUtf8));
        }
    }
    lf_logClosingLine();
}

// The caller holds g_parametersMutex. The old file is not removed first: the rename in
// gf_saveXmlFile replaces it, and a failed write then leaves the old settings in place.
void lf_addRootLevel(const SingleRow* extra)
{
    gf_log("Placing a root level around a new parameters.xml to make it 100% xml compliance");
    lf_writeWholeFile(false, extra);
}

void lf_saveSingle(const SingleRow& row)
{
    std::scoped_lock lock(g_parametersMutex);
    pugi::xml_document document;
    if (!document.load_file(g_parametersPath.c_str())) {
        // A file of this one row would lose every other setting: write them all instead.
        lf_writeWholeFile(false, &row);
        return;
    }
    const auto root = document.child("root");
    pugi::xml_node parent = root ? root : static_cast<pugi::xml_node>(document);
    auto parameters = parent.child("parameters");
    if (!parameters) parameters = parent.append_child("parameters");
    lf_storeRows(parameters, row.key, row.value);
    row.logLine(*row.setting);
    if (root) {
        // A read-only or full per-user folder: the line above says the setting is set, this
        // one that it holds for this run only.
        if (!gf_saveXmlFile(document, g_parametersPath)) {
            gf_logHighlighted(fmt::format("{} could not be saved in {}: it holds until {} ends",
                                          row.key, g_parametersPathUtf8, g_shortName));
        }
        return;
    }
    SingleRow logged = row;
    logged.logLine = nullptr;
    lf_addRootLevel(&logged);
}

void lf_logBool(const Parameter& setting)
{
    gf_logBoolParameter(static_cast<const BoolParameter&>(setting));
}

void lf_logInt(const Parameter& setting)
{
    gf_logIntParameter(static_cast<const IntParameter&>(setting));
}

void lf_logString(const Parameter& setting)
{
    gf_logParameter(static_cast<const StringParameter&>(setting));
}

void lf_readBools(const pugi::xml_document& document, pugi::xml_node parameters)
{
    for (auto* setting : g_boolParams) {
        if (!setting) continue;
        const auto read = gf_readBoolParameter(document, setting->name);
        setting->current = read.value_or(setting->defaultValue);
        gf_logBoolParameter(*setting);
        if (!read) gf_appendBoolParameter(parameters, setting->name, setting->current);
        gf_showBoolParameter(*setting);
    }
}

void lf_readInt(IntParameter& setting, const pugi::xml_document& document,
                pugi::xml_node parameters)
{
    if (const auto read = gf_readIntParameter(document, setting.name)) {
        setting.current = setting.clamp(*read);
    } else {
        setting.current = setting.defaultValue;
        gf_appendIntParameter(parameters, setting.name, setting.defaultValue);
    }
    gf_logIntParameter(setting);
}

void lf_readString(StringParameter& setting, const pugi::xml_document& document,
                   pugi::xml_node parameters)
{
    if (auto read = gf_readStringParameter(document, setting.name)) {
        setting.assign(std::move(*read));
    } else {
        setting.assign(setting.defaultValue());
        gf_appendParameterNode(parameters, setting.name, setting.value());
    }
    gf_logParameter(setting);
}

void lf_readAll(pugi::xml_document& document, pugi::xml_node parameters)
{
    lf_readBools(document, parameters);
    for (auto* setting : g_numParams) {
        if (setting) lf_readInt(*setting, document, parameters);
    }
    for (auto* setting : g_comboParams) {
        if (!setting) continue;
        lf_readInt(*setting, document, parameters);
        gf_showIntParameter(*setting);
    }
    for (auto* setting : g_stringParams) {
        if (setting) lf_readString(*setting, document, parameters);
    }
    for (auto* setting : g_editParams) {
        if (!setting) continue;
        lf_readString(*setting, document, parameters);
        gf_showTextParameter(*setting);
    }
}

}  // namespace

std::optional<bool> gf_readBoolParameter(const pugi::xml_node& node, std::string_view key)
{
    const auto row = lf_findRow(node, key);
    if (!row) return std::nullopt;
    return row.attribute("value").as_bool();
}

std::optional<int32_t> gf_readIntParameter(const pugi::xml_node& node, std::string_view key)
{
    const auto row = lf_findRow(node, key);
    if (!row) return std::nullopt;
    return static_cast<int32_t>(row.attribute("value").as_int());
}

std::optional<std::string> gf_readStringParameter(const pugi::xml_node& node, std::string_view key)
{
    const auto row = lf_findRow(node, key);
    if (!row) return std::nullopt;
    return std::string(row.attribute("value").value());
}

bool gf_appendBoolParameter(pugi::xml_node parameters, const std::string& key, bool value)
{
    return gf_appendParameterNode(parameters, key, lf_boolText(value));
}

bool gf_appendIntParameter(pugi::xml_node parameters, const std::string& key, int32_t value)
{
    return gf_appendParameterNode(parameters, key, std::to_string(value));
}

bool gf_appendParameterNode(pugi::xml_node parameters, const std::string& key,
                            const std::string& value)
{
    auto row = parameters.append_child("parameter");
    return row && gf_appendAttributeValue(row, "name", key) &&
           gf_appendAttributeValue(row, "value", value);
}

void gf_logBoolParameter(const BoolParameter& setting)
{
    lf_logUnlessStopping(fmt::format("{}={}", setting.name, setting.current.load()));
}

void gf_logIntParameter(const IntParameter& setting)
{
    lf_logUnlessStopping(fmt::format("{}={}", setting.name, setting.current.load()));
}

void gf_logParameter(const StringParameter& setting)
{
    lf_logUnlessStopping(fmt::format("{}=\"{}\"", setting.name, setting.value()));
}

void gf_saveParameters(bool useDefaults)
{
    std::scoped_lock lock(g_parametersMutex);
    lf_writeWholeFile(useDefaults, nullptr);
}

bool gf_readParameters()
{
    std::scoped_lock lock(g_parametersMutex);
    g_parametersRead = true;
    gf_log(gf_starBanner(kBannerWidth - static_cast<int>(kBannerTitle.size()),
                         static_cast<int>(kBannerTitle.size()), true, false, kBannerTitle));

    pugi::xml_document document;
    pugi::xml_node parameters;
    if (document.load_file(g_parametersPath.c_str(), pugi::parse_default, pugi::encoding_auto)) {
        gf_log(fmt::format("from '{}'", g_parametersPathUtf8));
        parameters = lf_rootOrSelf(document).child("parameters");
    }
    if (!parameters) {
        gf_log(
            fmt::format("{} not found, creating new with default values:", g_parametersPathUtf8));
        lf_writeWholeFile(true, nullptr);
        return true;
    }

    lf_readAll(document, parameters);
    // Puts the rows added for missing keys into the file; a file without `root` keeps its
    // layout here and gets one at its first single-setting save.
    gf_saveXmlFile(document, g_parametersPath);
    lf_logClosingLine();
    return false;
}

void gf_saveBoolParameter(const BoolParameter& setting)
{
    lf_saveSingle({setting.name, lf_boolText(setting.current), &lf_logBool, &setting});
}

void gf_saveIntParameter(const IntParameter& setting)
{
    lf_saveSingle({setting.name, std::to_string(setting.current.load()), &lf_logInt, &setting});
}

void gf_saveStringParameter(const StringParameter& setting)
{
    lf_saveSingle({setting.name, setting.value(), &lf_logString, &setting});
}

void gf_addRootLevel()
{
    std::scoped_lock lock(g_parametersMutex);
    lf_addRootLevel(nullptr);
}

}  // namespace qel
