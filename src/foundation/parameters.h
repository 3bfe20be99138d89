// parameters.xml in the per-user folder: the whole-file writer and reader over the registries,
// the single-setting savers, and the row readers and writers that other files with a
// `parameters` section use too.
//
// Threads: the GUI thread and the start-up thread both save. Every load-modify-save of the
// file runs under g_parametersMutex; the file is replaced by rename, so a reader of the file
// never sees a torn one.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include <pugixml.hpp>

#include "foundation/settings.h"

namespace qel {

// Serialises every load-modify-save of parameters.xml. Taken first: a holder may take a text
// setting's lock, a control's lock and the log mutex, and no caller holds another lock of the
// program when it takes this one. Recursive, so that a caller that must keep several steps
// together (removing and rewriting the file at a version change) may hold it around them.
extern std::recursive_mutex g_parametersMutex;

// The value of the first `parameter` row named `key` in the `parameters` child of the node's
// `root` child (or of the node itself when it has no `root`); empty when there is none. A row
// without `value` gives false, 0 or "". Bools: true from '1', 't', 'T', 'y', 'Y'; ints: an
// optional sign and decimal digits, or hex after 0x; 0 without a number.
std::optional<bool> gf_readBoolParameter(const pugi::xml_node& node, std::string_view key);
std::optional<int32_t> gf_readIntParameter(const pugi::xml_node& node, std::string_view key);
std::optional<std::string> gf_readStringParameter(const pugi::xml_node& node, std::string_view key);

// Append one `parameter` row with `name` and `value`; false when it cannot be added.
bool gf_appendBoolParameter(pugi::xml_node parameters, const std::string& key, bool value);
bool gf_appendIntParameter(pugi::xml_node parameters, const std::string& key, int32_t value);
bool gf_appendParameterNode(pugi::xml_node parameters, const std::string& key,
                            const std::string& value);

// "KEY=value" (a text as KEY="value") with the current value; nothing while a stop is under way.
void gf_logBoolParameter(const BoolParameter& setting);
void gf_logIntParameter(const IntParameter& setting);
void gf_logParameter(const StringParameter& setting);

// Writes the whole file from the registries, with the defaults or the current values; the log
// lines and the controls always show the current values. Logs "saving: {} failed".
void gf_saveParameters(bool useDefaults);
// Raised once gf_readParameters has run (atomic): until then the settings hold the built-in
// defaults, which must not be saved over the user's file.
extern std::atomic<bool> g_parametersRead;
// Loads the file into every registered setting, clamping numbers and adding rows for missing
// keys. True when the file was missing or unreadable and was written anew with the defaults.
bool gf_readParameters();

// Store one setting's current value in the file at once; every row of that name is updated.
// Never throws; a failed save is not reported.
void gf_saveBoolParameter(const BoolParameter& setting);
void gf_saveIntParameter(const IntParameter& setting);
void gf_saveStringParameter(const StringParameter& setting);

// Rewrites parameters.xml in the current layout (`root` around `parameters`) from the current
// values of every registered setting; for a file of the old layout without `root`.
void gf_addRootLevel();

}  // namespace qel
