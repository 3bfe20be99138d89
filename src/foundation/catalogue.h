// Every setting of the program and every push button of the main window, each a global object
// named after its key in parameters.xml, and the conversion between MAX_FIT and its form in
// hours.
//
// Threads: built before the entry point; current values are written by the GUI and start-up
// threads and read by every thread (atomic, or a text copied under the setting's lock).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/settings.h"

namespace qel {

// Check boxes, in the order of g_boolParams.
extern ControlBoolParameter ALWAYS_ON_TOP;
extern ControlBoolParameter OBJECTID_LIST;
extern ControlBoolParameter NAV_LIGHTS_WHILE_PARKED;
extern ControlBoolParameter GUID_CHANGES;
extern ControlBoolParameter SIM_TIME;
extern ControlBoolParameter KEEP_SIM_TIME_PAR;
extern ControlBoolParameter SCAN_LIVERIES;
extern ControlBoolParameter LIG_AUTOMATIC;
extern ControlBoolParameter LIG_PRIORITIZE;
extern ControlBoolParameter SCAN_AIRPORTS;
extern ControlBoolParameter LIGHT_AIRCRAFT;
extern ControlBoolParameter HELICOPTERS;
extern ControlBoolParameter HIGH_PERF_AIRCRAFT;
extern ControlBoolParameter AUTO_RANGE;
extern ControlBoolParameter AIRBORNE_ONLY;
extern ControlBoolParameter COLLISION_USER_GND;
extern ControlBoolParameter COLLISION_USER_AIR;
extern ControlBoolParameter COLLISION_LIVE_PARKED_GND;
extern ControlBoolParameter STRAIGHT_PBS_ONLY;
extern ControlBoolParameter INITIAL_LOAD_ONLY;
extern ControlBoolParameter WEEK;
extern ControlBoolParameter PARK_SOFT;
extern ControlBoolParameter RT_PARKTRAFFIC_ONLY;

// Plain numbers (MAIN_WINDOW_X and MAIN_WINDOW_Y belong to g_mainWindowState, ui/ui.h).
extern IntParameter LAST_EPOCH_TIME;            // "LAST_EPOCH_TIME:", epoch seconds
extern IntParameter CUSTOM_PARKING_PERCENTAGE;  // per cent, -1 = use parking_percentage
extern IntParameter HOLDING_THRESHOLD_METERS;   // m
extern IntParameter MAX_HOLDING_MINUTES;        // minutes
extern ComboIntParameter AIRP_HEIGHT;           // ft; in g_numParams and g_comboParams
extern IntParameter MAX_FIT;                    // half-hour slots 0..47

// Combo numbers.
extern ComboIntParameter MATCHING_DEPTH;
extern ComboIntParameter RANGE;            // nm
extern ComboIntParameter AR_ABOVE_HEIGHT;  // ft
extern ComboIntParameter MAX_PARK_SEL;
extern ComboIntParameter MAX_LIVE_SEL;
extern ComboIntParameter AIRP_RANGE;  // nm
extern ComboIntParameter TIME_SHIFT_DAYS;
extern ComboIntParameter TIME_SHIFT_HOURS;
extern ComboIntParameter TIME_SHIFT_MINS;

// The 64 package orderings AI_PACKAGE_SELECTOR offers; the liveries scan picks its order by
// the index of the chosen one, so the order of this list is fixed.
extern const std::vector<std::string> g_aiPackageOrders;

// Texts.
extern StringParameter PROGRAM_VERSION;  // "11.14.0"
extern StringParameter MSFS_INSTALL_PATH;
extern StringParameter lfolder0;
extern StringParameter lfolder1;
extern StringParameter lfolder2;
extern StringParameter lfolder3;
extern StringParameter lfolder4;
extern StringParameter lfolder5;
extern StringParameter lfolder6;
extern StringParameter lfolder7;
extern StringParameter lfolder8;
extern StringParameter lfolder9;
extern StringParameter AIG_VERSION;
extern StringParameter DBASE_VERSION;
extern StringParameter AIRPORTS_VERSION;
extern StringParameter LIV_SCAN_VERSION;
extern StringParameter ADDONS_SCAN_VERSION;
extern StringParameter DIROVERAZO24_VERSION;
extern StringParameter MSFS_2024_INSTALL_PATH;
extern ComboStringParameter AI_PACKAGE_SELECTOR;  // "AIG, FSLTL, JF, MTL"
extern ControlStringParameter DESTINATION;        // "EDDF"

// Edit settings.
extern ControlStringParameter BLOCK_CALLSIGN;
extern ComboStringParameter SIM_CHOICE;  // "MSFS 2020" or "MSFS 2024"

// Settings in no registry: never saved by the whole-file writer, read from no file; each start
// begins from the default.
extern ComboFloatParameter MAX_FIT_FL;                  // hours, MAX_FIT shown in the window
extern ComboIntParameter parking_percentage;            // per cent of the park airport's stands
extern ControlStringParameter ALL_INSTALL_PATH;         // the Community folder typed in
extern SharedComboStringParameter CALLSIGN_2_OBJECTID;  // callsigns of the active live traffic

// Push buttons; the name is the caption.
extern PushButton g_flushStaticButton;     // "Flush static"
extern PushButton g_tbloZipButton;         // "tblo.zip"
extern PushButton g_unblockButton;         // "Unblock"
extern PushButton g_callsignLookupButton;  // "cs->oid:"
extern PushButton g_blockButton;           // "Block"
extern PushButton g_nowButton;             // "Now"
extern PushButton g_reReadButton;          // "Re-read"

// The MAX_FIT_FL value in hours for a MAX_FIT of `halfHours` slots: 24 for 44 and more down
// to 1 for 1, 0.5 otherwise. 11 is no choice of MAX_FIT_FL, so 20 and 21 select nothing.
float gf_halfHours2Hours(int32_t halfHours);
// MAX_FIT for a chosen MAX_FIT_FL of `hours`: round(2 × hours) − 1, clamped to 0..47.
int32_t gf_hoursToMaxFit(float hours);

}  // namespace qel
