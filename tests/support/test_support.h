// Shared test helpers: a temporary folder that is removed afterwards, a log opened into it, and
// reading files back.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace qel::test {

// A fresh folder under the system's temp folder, removed with its contents on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::filesystem::path& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Opens Log.txt in a temporary folder for the lifetime of the object and gives its lines back.
class CapturedLog {
public:
    CapturedLog();
    ~CapturedLog();
    std::vector<std::string> lines();  // flushes first; the header line excluded
    bool contains(const std::string& line);
    const std::filesystem::path& path() const { return path_; }

private:
    TempDir dir_;
    std::filesystem::path path_;
};

// Runs the test in a fresh working folder holding an empty "input" folder, as the program reads
// its data files relative to the working folder.
class ScopedWorkDir {
public:
    ScopedWorkDir();
    ~ScopedWorkDir();
    ScopedWorkDir(const ScopedWorkDir&) = delete;
    ScopedWorkDir& operator=(const ScopedWorkDir&) = delete;
    const std::filesystem::path& path() const { return dir_.path(); }

private:
    std::filesystem::path previous_;
    TempDir dir_;
};

// Enciphers the text as the program's data files are: a secretstream header with the program's
// key, then pieces of 4096 plain bytes, the last one (possibly empty) tagged final.
void writeEncrypted(const std::filesystem::path& path, const std::string& plain);

std::string readFile(const std::filesystem::path& path);
// Waits, without polling on a timer, until `file` in `folder` contains `text`: every change in
// the folder wakes the wait. False after a minute.
bool awaitText(const std::filesystem::path& folder, const std::string& file,
               const std::string& text);
// The value a parameters.xml file holds for the key (its first row); nothing without a row.
std::optional<std::string> savedParameter(const std::filesystem::path& file,
                                          const std::string& key);
void writeFile(const std::filesystem::path& path, const std::string& bytes);

// A virtual X server of the test's own on the first free display (Debian's Xvfb, which
// scripts/setup installs); none when it cannot start. Ended with the object.
class VirtualDisplay {
public:
    VirtualDisplay();
    ~VirtualDisplay() { stop(); }
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;
    // Ends the server, as a log-out does.
    void stop();
    // ":<number>"; empty when no server runs.
    const std::string& name() const { return name_; }

private:
    int pid_ = -1;
    std::string name_;
};

// In a test that needs the X server `display`: skipped where none can start, failed instead
// where one must (VNTQ_REQUIRE_X, which scripts/test sets).
#define VNTQ_NEED_DISPLAY(display)                                            \
    do {                                                                      \
        if ((display).name().empty()) {                                       \
            if (std::getenv("VNTQ_REQUIRE_X")) FAIL() << "Xvfb cannot start"; \
            GTEST_SKIP() << "Xvfb cannot start";                              \
        }                                                                     \
    } while (false)

}  // namespace qel::test
