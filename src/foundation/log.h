// Log.txt in the program's folder: three writers that differ in decoration, the generations kept
// of older files, and the flags that silence some lines once a stop is under way.
#pragma once

#include <atomic>
#include <filesystem>
#include <mutex>
#include <string_view>

#include "platform/disk.h"

namespace qel {

extern platform::AppendFile g_logStream;  // written by the log alone; open from gf_openLog on
extern std::mutex g_logMutex;             // serialises the lines added to the log; ranks last

// A stop of the program is under way (atomic; set by the stop protocol, read by every loop).
extern std::atomic<bool> g_stopRequested;
// The user closed the window (atomic).
extern std::atomic<bool> g_closeRequested;

// Any thread. Write nothing while the log is not open; never throw. A line is in the file
// within about 20 ms (the log's own thread writes every 20 ms; a busy machine delays it a little,
// 22.4 ms was seen), written by that thread; a highlighted one and the flushing ones before
// they return. What is still waiting is written when the process ends by exit, a return from
// main, quick_exit, a fatal signal or std::terminate (gf_writeLogInCrash). _exit and SIGKILL
// cannot be caught: the ordinary lines of about the last 20 ms (and of a write the disk holds
// up) may then be missing, the highlighted and flushed ones never.
void gf_log(std::string_view text);             // text "\n"
void gf_logHighlighted(std::string_view text);  // "==> " text "\n", written at once
void gf_logIndented(std::string_view text);     // 10 blanks, text "\n"
void gf_logFlush(std::string_view text);        // gf_log, then flush
void gf_flushLog();                             // flush only
// gf_log unless g_stopRequested or g_closeRequested is set.
void lf_logUnlessStopping(std::string_view text);

// Moves older generations down and starts `path` (normally "Log.txt" in the working folder)
// with its header line. Throws std::runtime_error "Failed to write file <path>".
void gf_openLog(const std::filesystem::path& path = "Log.txt");
// Adds "<time> (utc) <text>" to the end of `path` without opening the log or moving its
// generations: a start that does not run leaves its word in the Log.txt of the one that does.
// Never throws.
void gf_appendToLog(const std::filesystem::path& path, std::string_view text);
// Closes the log; tests only (the program keeps it open until exit).
void gf_closeLog();
// For a fatal signal's handler and std::terminate: the lines still waiting go to the file with
// async-signal-safe calls and no lock, whatever another thread, or the interrupted one, holds.
// A write that another thread has under way gets at most 100 ms to end first. Never throws.
void gf_writeLogInCrash() noexcept;

// Log.txt → Log0.txt → Log00.txt → Log000.txt: "0" inserted before the last "." of the text.
bool gf_saveUpto3GenerationsOf(const std::filesystem::path& path);
bool gf_save1GenerationOf(const std::filesystem::path& path);

}  // namespace qel
