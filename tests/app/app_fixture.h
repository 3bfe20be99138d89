// A fixture for the application core: a prepared program folder as the working folder (docs/,
// input/ with the data files), a per-user folder, a simulator install the start-up finds,
// Log.txt captured, a faster clock, the in-process stand-in simulator with a flight loaded, the
// RealTraffic client and the stand-in traffic manager at their defaults, and the window's
// messages caught instead of posted.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <mutex>
#include <string>

#include <gtest/gtest.h>

#include "app/app.h"
#include "app/core.h"
#include "foundation/run_state.h"
#include "foundation/settings_fixture.h"
#include "liveries/livery_db.h"
#include "platform/clock.h"
#include "platform/folders.h"
#include "realtraffic/realtraffic.h"
#include "simlink/simlink.h"
#include "standins/simulator/sim_standin.h"
#include "support/test_support.h"
#include "traffic/traffic.h"
#include "ui/ui.h"

namespace qel::test {

// The messages close-down sends to the window, in order.
class WindowMessages {
public:
    void push(WindowMessage message)
    {
        {
            std::scoped_lock lock(mutex_);
            messages_.push_back(message);
        }
        posted_.notify_all();
    }
    // The next message; fails the test when none comes within the bound of real time, and then
    // closes the program: a run that stopped to wait for the user would otherwise keep the
    // test's join of the start-up thread waiting for ever.
    WindowMessage next(std::chrono::milliseconds bound = std::chrono::minutes(1))
    {
        std::unique_lock lock(mutex_);
        const bool arrived = posted_.wait_for(lock, bound, [&] { return !messages_.empty(); });
        if (!arrived) {
            ADD_FAILURE() << "no window message";
            lock.unlock();
            gf_requestClose();
            return WindowMessage::RepaintMessageLine;
        }
        const auto message = messages_.front();
        messages_.pop_front();
        return message;
    }
    std::size_t pending()
    {
        std::scoped_lock lock(mutex_);
        return messages_.size();
    }

private:
    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<WindowMessage> messages_;
};

// A clock that stands still and whose sleepers wait until the test moves it on, so that a test
// knows exactly where a waiting thread is.
class SteppedClock : public platform::Clock {
public:
    platform::SteadyTime steadyNow() override
    {
        std::scoped_lock lock(mutex_);
        return now_;
    }
    void sleepFor(std::chrono::nanoseconds duration) override
    {
        std::unique_lock lock(mutex_);
        const auto until = now_ + duration;
        ++sleeps_;
        changed_.notify_all();
        changed_.wait(lock, [&] { return now_ >= until; });
    }
    int64_t epochSeconds() override
    {
        std::scoped_lock lock(mutex_);
        return 1'767'225'600 +
               std::chrono::duration_cast<std::chrono::seconds>(now_ - kStart).count();
    }
    // Blocks until `count` sleeps have begun since the clock was made.
    void awaitSleeps(int count)
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return sleeps_ >= count; });
    }
    void advance(std::chrono::nanoseconds duration)
    {
        {
            std::scoped_lock lock(mutex_);
            now_ += duration;
        }
        changed_.notify_all();
    }

private:
    static constexpr platform::SteadyTime kStart{std::chrono::hours(240)};
    std::mutex mutex_;
    std::condition_variable changed_;
    platform::SteadyTime now_ = kStart;
    int sleeps_ = 0;
};

// The stand-in simulator's world for the core's tests: the user parked at Schiphol, a flight
// loaded, no open refused; `simulatorMembers` adds to its "simulator" object. Built at the first
// SimConnect call, on the clock in force then.
inline void resetSimulator(const std::string& simulatorMembers = "")
{
    simstandin::resetFromText(R"({"clock": {"start": "now"},
        "user": {"lat": 52.3086, "lon": 4.76389, "alt_ft": 0, "on_ground": true},
        "simulator": {)" + simulatorMembers + "}}");
}

// The run's state through the program's own reset; the stop protocol, the production mode, the
// stand-ins and the livery database, which a process keeps across restarts, by hand.
inline void resetCoreState()
{
    g_exitReason = ExitReason::NOT_YET_SET;
    g_restartDelay = 0;
    g_exitCode = 0;
    g_restartPending = false;
    g_productionMode = false;
    g_stopRequested = false;
    g_closeRequested = false;
    lf_resetRunState();
    resetSimulator();
    gf_clearKeptTrafficBatches();
    gf_clearLiveryDb();
}

class AppTest : public ::testing::Test {
protected:
    explicit AppTest(double clockFactor = 400.0)
        : clock_(platform::makeScaledClock(clockFactor)),
          previousAppDataDir_(g_appDataDir),
          previousWorkDir_(std::filesystem::current_path())
    {
        std::filesystem::create_directory(program_ / "docs");
        std::filesystem::create_directory(program_ / "input");
        for (const char* name : {"dbase.enc", "airports.enc", "AIG-regcodes.enc"}) {
            std::filesystem::copy_file(std::filesystem::path(VNTQ_BINARY_DIR) / "input" / name,
                                       program_ / "input" / name);
        }
        // The liveries of an earlier scan, from which every start builds its livery database.
        std::filesystem::create_directory(program_ / "output");
        writeFile(program_ / "output" / "LiveriesScanned.xml",
                  R"(<?xml version="1.0" encoding="UTF-8"?><root><liveries>)"
                  R"(<l a="KLM" m="B738" t="Boeing 737-800 KLM" r="PH-BXA"/>)"
                  R"(<l a="ZZZ" m="A320" t="Airbus A320 House"/></liveries></root>)");
        std::filesystem::current_path(program_.path());
        gf_setAppDataDir(user_ / "VNTQ");
        std::filesystem::create_directories(user_ / "VNTQ");
        installSimulator();
        lf_connectLayers();
        resetAllSettings();
        resetCoreState();
        gf_setWindowMessageSink([this](WindowMessage m) { messages_.push(m); });
    }

    ~AppTest() override
    {
        gf_requestClose();
        gf_joinStartUpThread();
        gf_setWindowMessageSink({});
        resetCoreState();
        resetAllSettings();
        platform::clearKnownFolderOverrides();
        std::filesystem::current_path(previousWorkDir_);
        gf_setAppDataDir(previousAppDataDir_);
    }

    // MSFS 2020 as installed through Steam: its UserCfg.opt names the packages folder.
    void installSimulator()
    {
        const auto roaming = user_ / "roaming";
        std::filesystem::create_directories(roaming / "Microsoft Flight Simulator");
        writeFile(roaming / "Microsoft Flight Simulator" / "UserCfg.opt",
                  "Version 71\nInstalledPackagesPath \"" + (user_ / "Packages").string() +
                      "\"\n");
        for (const char* folder : {"Community", "Official"}) {
            std::filesystem::create_directories(user_ / "Packages" / folder);
        }
        platform::overrideKnownFolder(platform::KnownFolder::RoamingAppData, roaming);
        platform::overrideKnownFolder(platform::KnownFolder::LocalAppData, user_ / "local");
        // One AI livery, so that the livery scan at start-up finds a package.
        const auto aircraft = user_ / "Packages" / "Community" / "user-aitraffic-test" /
                              "SimObjects" / "Airplanes" / "A320";
        std::filesystem::create_directories(aircraft);
        writeFile(aircraft / "aircraft.cfg",
                  "[GENERAL]\nicao_type_designator = A320\n[FLTSIM.0]\n"
                  "title = Test A320 Lufthansa\nicao_airline = DLH\n");
    }

    // Starts a run as the window does on WM_APP+1 and returns the message its close-down sent.
    WindowMessage runOnce()
    {
        gf_onStartUpMessage();
        return messages_.next();
    }

    std::filesystem::path parametersFile() const { return user_ / "VNTQ" / "parameters.xml"; }

    platform::ScopedClock clock_;
    TempDir program_;
    TempDir user_;
    CapturedLog log_;
    WindowMessages messages_;

private:
    std::filesystem::path previousAppDataDir_;
    std::filesystem::path previousWorkDir_;
};

}  // namespace qel::test
