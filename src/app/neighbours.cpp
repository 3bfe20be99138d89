// The scenery, liveries and window services the application core calls, until their owners
// provide them.
#include "app/neighbours.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <string_view>

#include <fmt/format.h>

#include "app/app.h"
#include "foundation/catalogue.h"
#include "foundation/globals.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/shell.h"
#include "foundation/strings.h"
#include "foundation/time.h"
#include "platform/clock.h"

namespace qel::neighbour {

void gf_scanAirports() {}


}  // namespace qel::neighbour
