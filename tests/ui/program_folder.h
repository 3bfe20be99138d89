// A temporary program folder as the working folder for one test, and the shell and message boxes
// recorded instead of shown.
#pragma once

#include <filesystem>
#include <mutex>
#include <vector>

#include "platform/controls.h"
#include "platform/process.h"
#include "support/test_support.h"

namespace qel::test {

class ProgramFolder {
public:
    ProgramFolder() : previous_(std::filesystem::current_path())
    {
        std::filesystem::current_path(dir_.path());
    }
    ~ProgramFolder() { std::filesystem::current_path(previous_); }
    ProgramFolder(const ProgramFolder&) = delete;
    ProgramFolder& operator=(const ProgramFolder&) = delete;

    const std::filesystem::path& path() const { return dir_.path(); }

private:
    TempDir dir_;
    std::filesystem::path previous_;
};

// Paths the program asked the shell to open; each open answers `succeed`.
class RecordedShell {
public:
    explicit RecordedShell(bool succeed = true)
    {
        platform::setShellRecorder([this, succeed](const std::filesystem::path& path) {
            std::scoped_lock lock(mutex_);
            opened_.push_back(path);
            return succeed;
        });
        platform::startRecordingMessageBoxes();
    }
    ~RecordedShell()
    {
        platform::setShellRecorder({});
        platform::stopRecordingMessageBoxes();
    }
    RecordedShell(const RecordedShell&) = delete;
    RecordedShell& operator=(const RecordedShell&) = delete;

    std::vector<std::filesystem::path> opened()
    {
        std::scoped_lock lock(mutex_);
        return opened_;
    }

private:
    std::mutex mutex_;
    std::vector<std::filesystem::path> opened_;
};

}  // namespace qel::test
