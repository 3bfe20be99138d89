// Standard error as the program writes its lines there: through a thread of its own, so that a
// terminal that takes nothing (output suspended with Ctrl-S, a stalled ssh session, a full pipe
// nobody reads) holds no thread of the program, the close-down least of all.
#pragma once

#include <chrono>
#include <string_view>

namespace qel::platform {

// Hands `text` (one or more lines, or a line to be written over) to the writer, in the order of
// the calls, and returns at once. While the terminal takes nothing and 64 KiB wait, what comes
// is dropped and counted; once it takes lines again a line says how many were lost ("(3 lines
// not written: the terminal took none)"). Any thread; never throws.
void writeToStandardError(std::string_view text);

// Waits until all that was handed over has been written, giving up once the terminal has taken
// nothing for `idleBound`; true when all was written. The process calls it last, so that a
// terminal that takes nothing keeps it at most that long. Any thread; never throws.
bool flushStandardError(std::chrono::milliseconds idleBound);

}  // namespace qel::platform
