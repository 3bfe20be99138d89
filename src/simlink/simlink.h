// The simulator link's contract with the rest of the program; it grows with the subsystem.
#pragma once

namespace qel {}  // namespace qel
