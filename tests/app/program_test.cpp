#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <fmt/format.h>

#include "platform/clock.h"
#include "platform/process.h"
#include "standins/realtraffic/rt_standin.h"
#include "support/test_support.h"

namespace qel {
namespace {

namespace fs = std::filesystem;
using test::awaitText;
using test::readFile;
using test::TempDir;
using test::VirtualDisplay;
using test::writeFile;

// A program folder as the installer leaves it (docs/, input/ with the data files) and, in
// `home`, a simulator install its UserCfg.opt points to.
void lf_prepareProgramFolder(const fs::path& folder, const fs::path& home)
{
    fs::create_directories(folder / "docs");
    fs::create_directories(folder / "input");
    for (const char* name : {"dbase.enc", "airports.enc", "AIG-regcodes.enc"}) {
        fs::copy_file(fs::path(VNTQ_BINARY_DIR) / "input" / name, folder / "input" / name,
                      fs::copy_options::overwrite_existing);
    }
    // The liveries of an earlier scan, from which every start builds its livery database.
    fs::create_directories(folder / "output");
    writeFile(folder / "output" / "LiveriesScanned.xml",
              R"(<?xml version="1.0" encoding="UTF-8"?><root><liveries>)"
              R"(<l a="KLM" m="B738" t="Boeing 737-800 KLM"/></liveries></root>)");
    const auto simulator = home / "config" / "Microsoft Flight Simulator";
    fs::create_directories(simulator);
    for (const char* packages : {"Community", "Official"}) {
        fs::create_directories(home / "Packages" / packages);
    }
    // One AI livery, so that the livery scan at start-up finds a package.
    const auto aircraft =
        home / "Packages" / "Community" / "user-aitraffic-test" / "SimObjects" / "Airplanes" / "B738";
    fs::create_directories(aircraft);
    writeFile(aircraft / "aircraft.cfg", "[GENERAL]\nicao_type_designator = B738\n[FLTSIM.0]\n"
                                         "title = Boeing 737-800 KLM\nicao_airline = KLM\n");
    writeFile(simulator / "UserCfg.opt",
              "InstalledPackagesPath \"" + (home / "Packages").string() + "\"\n");
}

// Runs vntq in `folder` with its per-user and runtime folders inside `home`, and `environment`
// before the command; the exit status.
int lf_runProgram(const fs::path& folder, const fs::path& home, const std::string& arguments,
                  const std::string& environment = "VNTQ_HEADLESS=1")
{
    const std::string command = fmt::format(
        "cd '{}' && XDG_CONFIG_HOME='{}/config' XDG_DATA_HOME='{}/data' XDG_RUNTIME_DIR='{}' "
        "{} '{}' {} >'{}/stdout' 2>'{}/stderr'",
        folder.string(), home.string(), home.string(), home.string(), environment, VNTQ_EXECUTABLE,
        arguments, home.string(), home.string());
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1000;
}

// Where a RunningProgram's standard error goes: `home`/running.stderr; a pipe, for its standard
// output too, whose read end the test holds until closeOutput(); or a terminal of its own, whose
// keyboard the test types on, for its standard input and output too.
enum class Output { File, Pipe, Terminal };

// vntq started in the background, in the same set-up as lf_runProgram. Headless, or with its
// window on the X `display` given; `settings` ("NAME=value") go before the test's own.
class RunningProgram {
public:
    RunningProgram(const fs::path& folder, const fs::path& home, const std::string& display = "",
                   std::vector<std::string> settings = {}, Output to = Output::File)
    {
        // Everything the child needs is made before the fork: after it only exec-safe calls.
        // A credential and a service that refuses the connection: the sign-in fails as a
        // reader error, which restarts, and no error ends the headless program by itself.
        std::vector<std::string> environment = std::move(settings);
        environment.insert(
            environment.end(),
            {"XDG_CONFIG_HOME=" + (home / "config").string(),
             "XDG_DATA_HOME=" + (home / "data").string(), "XDG_RUNTIME_DIR=" + home.string(),
             display.empty() ? "VNTQ_HEADLESS=1" : "DISPLAY=" + display, "HOME=" + home.string(),
             "VNTQ_RT_LICENSE=test", "VNTQ_RT_URL=http://127.0.0.1:1"});
        if (const char* path = std::getenv("PATH")) {
            environment.push_back(std::string("PATH=") + path);
        }
        // A window's leaks at the end would be those of the X libraries (fontconfig's); the
        // headless runs check ours.
        if (!display.empty()) environment.emplace_back("ASAN_OPTIONS=detect_leaks=0");
        std::vector<char*> envp;
        for (auto& entry : environment) envp.push_back(entry.data());
        envp.push_back(nullptr);
        const std::string directory = folder.string();
        const std::string errors = (home / "running.stderr").string();
        char* argv[] = {const_cast<char*>(VNTQ_EXECUTABLE), nullptr};
        int output[2] = {-1, -1};
        if (to == Output::Pipe && pipe2(output, O_CLOEXEC) != 0) return;
        std::string terminal;
        if (to == Output::Terminal && !openTerminal(terminal)) return;
        terminalName_ = terminal;
        pid_ = fork();
        if (pid_ != 0) {
            if (to == Output::Pipe) outputFd_ = output[0];
            if (output[1] >= 0) close(output[1]);
            return;
        }
        // A test run under nohup would hand its ignored SIGHUP on, which the program keeps; a
        // runner ignoring SIGPIPE would hide that the program does not.
        ::signal(SIGHUP, SIG_DFL);
        ::signal(SIGPIPE, SIG_DFL);
        if (to == Output::Pipe) {
            if (dup2(output[1], STDOUT_FILENO) < 0 || dup2(output[1], STDERR_FILENO) < 0) {
                _exit(127);
            }
        } else if (to == Output::Terminal) {
            // A session of its own, whose controlling terminal it is: the keys typed there
            // signal it as they signal a program started from a shell.
            const int fd = setsid() < 0 ? -1 : open(terminal.c_str(), O_RDWR);
            if (fd < 0 || ioctl(fd, TIOCSCTTY, 0) < 0) _exit(127);
            for (const int standard : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
                if (dup2(fd, standard) < 0) _exit(127);
            }
        } else {
            const int fd = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (fd < 0 || dup2(fd, STDERR_FILENO) < 0) _exit(127);
        }
        if (chdir(directory.c_str()) != 0) _exit(127);
        execve(VNTQ_EXECUTABLE, argv, envp.data());
        _exit(127);
    }
    ~RunningProgram()
    {
        closeOutput();
        if (terminalFd_ >= 0) close(terminalFd_);
        if (pid_ > 0 && !waited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    void signal(int number) const { kill(pid_, number); }
    // Its terminal takes no more output, as one whose ssh session stalls: what it was sent
    // fills it, and nobody reads it. The program's end, opened again, fills it here. Set as
    // `stty noflsh` sets it, so that a Ctrl-C typed there leaves it full.
    void stallTerminal() const
    {
        const int fd = open(terminalName_.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        termios settings{};
        ASSERT_EQ(tcgetattr(fd, &settings), 0);
        settings.c_lflag |= NOFLSH;
        ASSERT_EQ(tcsetattr(fd, TCSANOW, &settings), 0);
        const std::string fill(4096, 'x');
        // A full terminal moves some of what it holds on to its reader's side a moment later.
        pollfd room{fd, POLLOUT, 0};
        do {
            while (write(fd, fill.data(), fill.size()) > 0) {
            }
        } while (poll(&room, 1, 200) > 0);
        close(fd);
    }
    // Keys typed on its terminal ("\x03" is Ctrl-C), as the keyboard sends them.
    void type(std::string_view keys) const
    {
        ASSERT_EQ(write(terminalFd_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
    }
    // Leaves the pipe of its output without a reader, as a `| tee` ended by Ctrl-C does.
    void closeOutput()
    {
        if (outputFd_ >= 0) close(outputFd_);
        outputFd_ = -1;
    }
    // The exit status; -1000 when it ended by a signal.
    int wait()
    {
        int status = 0;
        waitpid(pid_, &status, 0);
        waited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1000;
    }
    // The exit status once it has ended within `bound`; nothing when it still runs then.
    std::optional<int> waitFor(std::chrono::milliseconds bound)
    {
        const int fd = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
        if (fd < 0) return std::nullopt;
        pollfd ended{fd, POLLIN, 0};
        const int ready = poll(&ended, 1, static_cast<int>(bound.count()));
        close(fd);
        if (ready <= 0) return std::nullopt;
        return wait();
    }

private:
    // The test's end of a new terminal, and the name of the program's end.
    bool openTerminal(std::string& name)
    {
        terminalFd_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (terminalFd_ < 0 || grantpt(terminalFd_) != 0 || unlockpt(terminalFd_) != 0)
            return false;
        const char* end = ptsname(terminalFd_);
        if (end == nullptr) return false;
        name = end;
        return true;
    }

    pid_t pid_ = -1;
    int outputFd_ = -1;
    int terminalFd_ = -1;
    std::string terminalName_;
    bool waited_ = false;
};

TEST(Program, FourRunsLeaveFourLogGenerationsAndTheSettingsFile)
{
    TempDir folder;
    TempDir home;
    lf_prepareProgramFolder(folder.path(), home.path());
    for (int run = 0; run < 4; ++run) {
        ASSERT_EQ(lf_runProgram(folder.path(), home.path(), "--production"), 0);
    }

    for (const char* name : {"Log.txt", "Log0.txt", "Log00.txt", "Log000.txt"}) {
        const std::string text = readFile(folder / name);
        EXPECT_NE(text.find(" (utc) VNTQ version 11.14.0 for MSFS 2020/2024\n"), std::string::npos)
            << name;
        EXPECT_EQ(text.find("(utc)"), 25u) << name << " must start with its header line";
    }
    const auto parameters = home / "config" / "VNTQ" / "parameters.xml";
    ASSERT_TRUE(fs::exists(parameters));
    EXPECT_NE(readFile(parameters).find("name=\"RANGE\" value=\"40\""), std::string::npos);
    // The first run created the file; later runs read it and log every setting.
    EXPECT_NE(readFile(folder / "Log000.txt").find("not found, creating new with default values:"),
              std::string::npos);
    EXPECT_NE(readFile(folder / "Log.txt").find("RANGE=40"), std::string::npos);
}

TEST(Program, ProductionRunPreparesTheFolderAndQuits)
{
    TempDir folder;
    TempDir home;
    lf_prepareProgramFolder(folder.path(), home.path());
    ASSERT_EQ(lf_runProgram(folder.path(), home.path(), "/PRODUCTION"), 0);
    for (const char* name : {"output/info", "output/errors", "airports/learned/simaddon",
                             "airports/my_simaddon", "input/my_regcodes"}) {
        EXPECT_TRUE(fs::is_directory(folder / name)) << name;
    }
    EXPECT_TRUE(fs::exists(home / "config" / "VNTQ" / "parameters.xml"));
    const std::string log = readFile(folder / "Log.txt");
    EXPECT_NE(log.find("\nExiting: USER CLOSED SIM\n"), std::string::npos);
    // The data files were read and their temporary XML removed.
    EXPECT_FALSE(fs::exists(folder / "input" / "dbase.xml"));
    EXPECT_FALSE(fs::exists(folder / "input" / "airports.xml"));
}

// A window asked for that cannot be had, and an option the program does not know, are each said
// in a line of their own, on standard error and in Log.txt; the run goes on.
TEST(Program, AWindowThatCannotBeHadAndAnUnknownOptionAreSaid)
{
    struct Case {
        const char* environment;
        const char* arguments;
        std::vector<std::string> said;
    };
    const Case cases[] = {
        {"env -u DISPLAY VNTQ_HEADLESS=0",
         "--production",
         {"VNTQ_HEADLESS=0 asks for a window, but DISPLAY is not set: VNTQ runs without one"}},
        {"env -u VNTQ_HEADLESS DISPLAY=:65000",
         "--production",
         {"The display :65000 cannot be opened: VNTQ runs without a window"}},
        {"VNTQ_HEADLESS=1",
         "--Production --verbose /x",
         {"Unknown option '--verbose' is ignored: VNTQ knows --production and --no-production",
          "Unknown option '/x' is ignored: VNTQ knows --production and --no-production"}},
        // True is yes, whatever its case: no window is tried.
        {"DISPLAY=:65000 VNTQ_HEADLESS=True", "--production", {}},
        {"env -u DISPLAY VNTQ_HEADLESS=maybe",
         "--production",
         {"VNTQ_HEADLESS=maybe is neither yes nor no (1, true, yes, on or 0, false, no, off): "
          "VNTQ shows a window when DISPLAY is set"}},
    };
    for (const auto& c : cases) {
        TempDir folder;
        TempDir home;
        lf_prepareProgramFolder(folder.path(), home.path());
        // The run is a production run all the same: the switch among the unknown ones counts.
        ASSERT_EQ(lf_runProgram(folder.path(), home.path(), c.arguments, c.environment), 0);
        const std::string terminal = readFile(home / "stderr");
        const std::string log = readFile(folder / "Log.txt");
        EXPECT_NE(log.find("\nExiting: USER CLOSED SIM\n"), std::string::npos) << c.arguments;
        if (c.said.empty()) {
            EXPECT_EQ(terminal.find("without"), std::string::npos) << terminal;
        }
        for (const auto& line : c.said) {
            EXPECT_EQ(terminal.find(line + "\n"), terminal.rfind(line + "\n")) << terminal;
            EXPECT_NE(terminal.find(line + "\n"), std::string::npos) << terminal;
            EXPECT_NE(log.find("\n" + line + "\n"), std::string::npos) << line;
        }
    }
}

TEST(Program, HeadlessWithoutDocsItSaysError41OnStandardErrorAndEnds)
{
    TempDir folder;
    TempDir home;
    lf_prepareProgramFolder(folder.path(), home.path());
    fs::remove(folder / "docs");
    RunningProgram program(folder.path(), home.path());
    // Nobody sees a headless window's red line or can close it. The folder it names is not its
    // own, so it keeps no Log.txt there.
    EXPECT_TRUE(awaitText(home.path(), "running.stderr",
                          "Error 41: VNTQ must be run from the VNTQ folder! Start it in the "
                          "folder that holds its docs and input folders; " +
                              fs::canonical(folder.path()).string() + " has no docs folder\n"));
    EXPECT_EQ(program.waitFor(std::chrono::minutes(1)), std::optional<int>(1));
    EXPECT_FALSE(fs::exists(folder / "Log.txt"));
}

// The real window waits for the user after an error 150 (no simulator found); the close-down's
// lines before the wait are in the file during it, with nothing flushed, and a kill there loses
// none of them.
TEST(Program, CloseDownLinesAreInTheFileWhileItWaitsForTheUser)
{
    const VirtualDisplay display;
    VNTQ_NEED_DISPLAY(display);
    TempDir folder;
    TempDir home;
    lf_prepareProgramFolder(folder.path(), home.path());
    fs::remove(home / "config" / "Microsoft Flight Simulator" / "UserCfg.opt");
    RunningProgram program(folder.path(), home.path(), display.name());
    EXPECT_TRUE(awaitText(folder.path(), "Log.txt", "\nExiting: SYSTEM ERROR\n"));
    EXPECT_EQ(program.waitFor(std::chrono::milliseconds(0)), std::nullopt) << "no wait";
    program.signal(SIGKILL);
    program.wait();
    EXPECT_NE(readFile(folder / "Log.txt").find("\nExiting: SYSTEM ERROR\n"), std::string::npos);
    // A headless window would have said the error there.
    EXPECT_EQ(readFile(home / "running.stderr"), "");
}

int lf_timesIn(const std::string& text, const std::string& part)
{
    int n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

// "vntq_app_tests (pid 4242)": this test program as a program it signals names it.
std::string lf_thisProgram()
{
    std::string name = readFile("/proc/self/comm");
    if (!name.empty() && name.back() == '\n') name.pop_back();
    return fmt::format("{} (pid {})", name, getpid());
}

// Ctrl-\, a kill, and the terminal closed (SIGHUP) are the user closing the program, which
// says what closed it: no button was clicked, and no Ctrl-C was typed (another program sent
// SIGINT: it is named). A second signal while it closes says nothing more on the line.
TEST(Program, SignalsCloseTheProgramCleanlyAndSayWhatSentThem)
{
    const std::string sent = " from " + lf_thisProgram() + " received, closing VNTQ ...\n";
    const std::pair<int, std::string> signals[] = {
        {SIGINT, "SIGINT" + sent},
        {SIGQUIT, "SIGQUIT" + sent},
        {SIGTERM, "SIGTERM" + sent},
        {SIGHUP, "SIGHUP (the terminal closed) received, closing VNTQ ...\n"}};
    for (const auto& [number, said] : signals) {
        TempDir folder;
        TempDir home;
        lf_prepareProgramFolder(folder.path(), home.path());
        RunningProgram program(folder.path(), home.path());
        // The settings are logged and flushed once the start-up thread has loaded them.
        ASSERT_TRUE(awaitText(folder.path(), "Log.txt", "RANGE=40\n"));
        program.signal(number);
        program.signal(number);
        EXPECT_EQ(program.wait(), 0) << number;
        const std::string log = readFile(folder / "Log.txt");
        EXPECT_NE(log.find("\nExiting: USER CLOSED SIM\n"), std::string::npos) << number;
        EXPECT_NE(log.find(said), std::string::npos) << log;
        EXPECT_EQ(lf_timesIn(log, "closing VNTQ ..."), 1) << log;
        const std::string terminal = readFile(home / "running.stderr");
        EXPECT_NE(terminal.find(said), std::string::npos) << terminal;
        EXPECT_EQ(lf_timesIn(terminal, "closing VNTQ ..."), 1) << terminal;
        EXPECT_EQ(terminal.find("button"), std::string::npos) << terminal;
        EXPECT_FALSE(fs::exists(home / "config" / "VNTQ" / "orig_dest")) << number;
    }
}

// A runtime folder that is missing, as after `su`, leaves the lock to the temp folder.
TEST(Program, ASecondStartSaysAnotherRunsInTheLogOfTheFirst)
{
    for (const char* runtime : {"", "missing"}) {
        TempDir folder;
        TempDir home;
        lf_prepareProgramFolder(folder.path(), home.path());
        fs::create_directories(home / "tmp");
        const std::string lockFolders = fmt::format(
            "XDG_RUNTIME_DIR={} TMPDIR={}", (home / runtime).string(), (home / "tmp").string());
        RunningProgram first(
            folder.path(), home.path(), "",
            {"XDG_RUNTIME_DIR=" + (home / runtime).string(), "TMPDIR=" + (home / "tmp").string()});
        ASSERT_TRUE(awaitText(folder.path(), "Log.txt", "RANGE=40\n"));

        // -1 as an exit status
        EXPECT_EQ(lf_runProgram(folder.path(), home.path(), "", lockFolders + " VNTQ_HEADLESS=1"),
                  255);
        const std::string said = "Another VNTQ is running in this user session (it holds ";
        EXPECT_EQ(readFile(home / "stderr").find(said), 0u) << readFile(home / "stderr");
        first.signal(SIGINT);
        EXPECT_EQ(first.wait(), 0);
        // The line stays in the first one's Log.txt, which was neither moved aside nor written
        // over.
        const std::string log = readFile(folder / "Log.txt");
        EXPECT_NE(log.find(" (utc) " + said), std::string::npos) << log;
        EXPECT_NE(log.find("\nExiting: USER CLOSED SIM\n"), std::string::npos);
        EXPECT_FALSE(fs::exists(folder / "Log0.txt")) << runtime;
    }
}

// A start that cannot begin says why on standard error and ends with status 1; so does one
// that would wait, headless, for a user who cannot act on its window.
TEST(Program, AStartThatCannotBeginSaysWhyAndEndsWithStatus1)
{
    const std::pair<const char*, const char*> cases[] = {
        {"XDG_CONFIG_HOME={home}/afile",
         "The per-user folder {home}/afile/VNTQ cannot be made: Not a directory. Set "
         "XDG_CONFIG_HOME to a folder you may write in; VNTQ does not start"},
        {"XDG_RUNTIME_DIR={home}/missing TMPDIR={home}/missing HOME={home}/missing",
         "VNTQ cannot take its one-instance lock: set XDG_RUNTIME_DIR or TMPDIR to a folder of "
         "yours that you may write in; this start ends"},
        {"XDG_CONFIG_HOME={home}/bare",
         "Error 150: No install path detected. Set MSFS_INSTALL_PATH in "
         "{home}/bare/VNTQ/parameters.xml to the simulator's Packages folder (the one that holds "
         "Community), then start VNTQ again"},
    };
    for (const auto& [environment, said] : cases) {
        TempDir folder;
        TempDir home;
        lf_prepareProgramFolder(folder.path(), home.path());
        writeFile(home / "afile", "");
        const auto withHome = [&home](const char* text) {
            return fmt::format(fmt::runtime(text), fmt::arg("home", home.path().string()));
        };
        EXPECT_EQ(lf_runProgram(folder.path(), home.path(), "",
                                withHome(environment) + " VNTQ_HEADLESS=1"),
                  1)
            << environment;
        const std::string terminal = readFile(home / "stderr");
        EXPECT_NE(terminal.find(withHome(said) + "\n"), std::string::npos) << terminal;
    }
}

// A full disk at start: the deciphered database cannot be written, which is said as such and
// not as a broken data file; the data file stays as it was.
TEST(Program, AFullDiskAtStartIsSaidAsSuch)
{
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    TempDir folder;
    TempDir home;
    lf_prepareProgramFolder(folder.path(), home.path());
    fs::create_symlink("/dev/full", folder / "input" / "dbase.xml");
    EXPECT_EQ(lf_runProgram(folder.path(), home.path(), "--production"), 1);
    const std::string terminal = readFile(home / "stderr");
    EXPECT_NE(terminal.find("Error input/dbase.xml, the deciphered input/dbase.enc, cannot be "
                            "written in " +
                            (fs::canonical(folder.path()) / "input").string() +
                            ": No space left on device. Make room there (or let the folder be "
                            "written), then start VNTQ again; input/dbase.enc is kept\n"),
              std::string::npos)
        << terminal;
    EXPECT_EQ(readFile(folder / "input" / "dbase.enc"),
              readFile(fs::path(VNTQ_BINARY_DIR) / "input" / "dbase.enc"));
}

// Asked for the help, it prints its options and environment and runs nothing: no Log.txt, no
// per-user folder.
TEST(Program, HelpPrintsTheOptionsAndTheEnvironmentAndRunsNothing)
{
    for (const char* asked : {"--help", "-h"}) {
        TempDir folder;
        TempDir home;
        lf_prepareProgramFolder(folder.path(), home.path());
        EXPECT_EQ(lf_runProgram(folder.path(), home.path(), asked), 0) << asked;
        const std::string help = readFile(home / "stdout");
        for (const char* named : {"--production", "--no-production", "VNTQ_RT_LICENSE",
                                  "VNTQ_HEADLESS", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR"}) {
            EXPECT_NE(help.find(named), std::string::npos) << named;
        }
        EXPECT_EQ(readFile(home / "stderr"), "") << asked;
        EXPECT_FALSE(fs::exists(folder / "Log.txt")) << asked;
        EXPECT_FALSE(fs::exists(home / "config" / "VNTQ")) << asked;
    }
}

// The user on the ground at Schiphol, for the stand-in simulator and the RealTraffic stand-in;
// the flight is the first traffic, which the start waits for.
constexpr const char* kAtSchiphol = R"({
  "clock": {"start": "now"},
  "user": {"lat": 52.30715, "lon": 4.769933, "alt_ft": -11, "heading_deg": 4, "on_ground": true},
  "simulator": {"name": "KittyHawk", "version": "11.0.282174.999",
    "simconnect_version": "11.0.62651.3", "frame_rate_hz": 30, "field_elevation_ft": -11,
    "user": {"title": "Airbus A320 Neo Asobo", "atc_model": "TT:ATCCOM.AC_MODEL A20N.0.text",
             "atc_id": "PH-VNQ", "static_cg_ft": 6.5},
    "liveries": [{"title": "Boeing 737-800 KLM", "atc_model": "B738", "static_cg_ft": 6.5}]},
  "flights": [
    {"hex": "484f6b", "callsign": "KLM1234", "registration": "PH-BXA", "type": "B738",
     "category": "A3", "points": [
       {"t_s": -100000, "lat": 52.20, "lon": 4.60, "alt_ft": 6000, "gs_kt": 250},
       {"t_s": 100000, "lat": 52.45, "lon": 4.90, "alt_ft": 6000, "gs_kt": 250}]}],
  "weather": {"stations": [{"icao": "EHAM", "lat": 52.3086, "lon": 4.76389, "qnh": 1013}]}
})";

// The program folder at Schiphol, with its stands as an add-on airport's (which a scan at start
// would clear away) and the scenario for the stand-in simulator in `home`; the settings that
// point the program to it and to the RealTraffic stand-in.
std::vector<std::string> lf_prepareAtSchiphol(const fs::path& folder, const fs::path& home,
                                              const standin::RtStandin& realTraffic)
{
    lf_prepareProgramFolder(folder, home);
    fs::create_directories(folder / "airports" / "my_thirdparty");
    fs::copy_file(fs::path(VNTQ_SOURCE_DIR) / "tests" / "data" / "stands" / "EHAM.xml",
                  folder / "airports" / "my_thirdparty" / "EHAM.xml");
    fs::create_directories(home / "config" / "VNTQ");
    writeFile(home / "config" / "VNTQ" / "parameters.xml",
              R"(<?xml version="1.0" encoding="UTF-8"?><root><parameters>)"
              R"(<parameter name="SCAN_AIRPORTS" value="false" />)"
              R"(<parameter name="SCAN_LIVERIES" value="false" /></parameters></root>)");
    writeFile(home / "scenario.json", kAtSchiphol);
    return {"VNTQ_RT_URL=" + realTraffic.url(), "VNTQ_RT_LICENSE=standard-license",
            "VNTQ_SIM_SCENARIO=" + (home / "scenario.json").string()};
}

// The close-down done in full: signed out at RealTraffic, the learned file of the park airport
// saved, and the lines of both in Log.txt.
void lf_expectClosedDown(const fs::path& folder, const standin::RtStandin& realTraffic,
                         const std::string& said)
{
    const std::string log = readFile(folder / "Log.txt");
    EXPECT_NE(log.find(said), std::string::npos) << log;
    EXPECT_NE(log.find("\nExiting: USER CLOSED SIM\n"), std::string::npos) << said;
    EXPECT_NE(log.find("\nDeauth success RT server"), std::string::npos) << said;
    EXPECT_TRUE(realTraffic.activeGuids().empty()) << said;
    EXPECT_TRUE(fs::exists(folder / "airports" / "learned" / "thirdparty" / "stock" / "EHAM.xml"))
        << said;
}

// A window taken from under the program, by its X server ending (a log-out, a crash) or by
// another program destroying it, closes the program as its close button does: signed out, the
// learned file of its park airport saved, and a clean exit.
TEST(Program, AWindowTakenAwayClosesTheProgramAsItsCloseButtonDoes)
{
    struct Case {
        bool serverEnds;
        const char* said;
    };
    for (const Case& c : {Case{true, "\nThe display was lost, closing VNTQ ...\n"},
                          Case{false, "\nThe window was destroyed, closing VNTQ ...\n"}}) {
        VirtualDisplay display;
        VNTQ_NEED_DISPLAY(display);
        TempDir folder;
        TempDir home;
        standin::RtStandin realTraffic(
            standin::parseScenario(kAtSchiphol, platform::epochSeconds()));
        RunningProgram program(folder.path(), home.path(), display.name(),
                               lf_prepareAtSchiphol(folder.path(), home.path(), realTraffic));
        ASSERT_TRUE(awaitText(folder.path(), "Log.txt", "\nThe park airport is EHAM"))
            << readFile(folder / "Log.txt") << readFile(home / "running.stderr");
        ASSERT_EQ(realTraffic.activeGuids().size(), 1u);
        if (c.serverEnds) {
            display.stop();
        } else {
            const std::string close = fmt::format(
                "DISPLAY={} xdotool search --sync --name '^VNTQ$' windowclose", display.name());
            ASSERT_EQ(std::system(close.c_str()), 0);
        }

        EXPECT_EQ(program.waitFor(std::chrono::minutes(1)), std::optional<int>(0))
            << c.said << readFile(home / "running.stderr");
        lf_expectClosedDown(folder.path(), realTraffic, c.said);
    }
}

// `vntq 2>&1 | tee run.log` and Ctrl-C: tee ends first, and the close-down's lines on standard
// error then go to a pipe nobody reads; the close-down is done all the same.
TEST(Program, SigintClosesDownInFullWhenItsOutputIsAPipeNobodyReads)
{
    TempDir folder;
    TempDir home;
    standin::RtStandin realTraffic(standin::parseScenario(kAtSchiphol, platform::epochSeconds()));
    RunningProgram program(folder.path(), home.path(), "",
                           lf_prepareAtSchiphol(folder.path(), home.path(), realTraffic),
                           Output::Pipe);
    ASSERT_TRUE(awaitText(folder.path(), "Log.txt", "\nThe park airport is EHAM"))
        << readFile(folder / "Log.txt");
    ASSERT_EQ(realTraffic.activeGuids().size(), 1u);
    program.closeOutput();
    program.signal(SIGINT);
    EXPECT_EQ(program.waitFor(std::chrono::minutes(1)), std::optional<int>(0));
    lf_expectClosedDown(folder.path(), realTraffic,
                        "\nSIGINT from " + lf_thisProgram() + " received, closing VNTQ ...\n");
}

// A headless run's terminal follows what the window shows beside its message line, which the
// sign-in clears: signed in, the aircraft live and, once its stands are loaded, those parked at
// the park airport.
TEST(Program, AHeadlessRunsTerminalSaysTheSignInAndTheAircraft)
{
    TempDir folder;
    TempDir home;
    standin::RtStandin realTraffic(standin::parseScenario(kAtSchiphol, platform::epochSeconds()));
    RunningProgram program(folder.path(), home.path(), "",
                           lf_prepareAtSchiphol(folder.path(), home.path(), realTraffic));
    for (const char* said :
         {"\nSigned in at RealTraffic, live: ", "; park airport EHAM (AMS), parked live: "}) {
        EXPECT_TRUE(awaitText(home.path(), "running.stderr", said))
            << readFile(home / "running.stderr");
    }
    program.signal(SIGTERM);
    EXPECT_EQ(program.waitFor(std::chrono::minutes(1)), std::optional<int>(0));
}

// A terminal that takes no output (a stalled ssh session; a full pipe nobody reads takes none
// either): Ctrl-C closes the program down in full all the same, and says so once, though the
// script that started it sends its own SIGINT after it, as scripts/demo does.
TEST(Program, CtrlCClosesDownInFullWhileTheTerminalTakesNoOutput)
{
    TempDir folder;
    TempDir home;
    standin::RtStandin realTraffic(standin::parseScenario(kAtSchiphol, platform::epochSeconds()));
    RunningProgram program(folder.path(), home.path(), "",
                           lf_prepareAtSchiphol(folder.path(), home.path(), realTraffic),
                           Output::Terminal);
    ASSERT_TRUE(awaitText(folder.path(), "Log.txt", "\nThe park airport is EHAM"))
        << readFile(folder / "Log.txt");
    ASSERT_EQ(realTraffic.activeGuids().size(), 1u);
    program.stallTerminal();
    program.type("\x03");  // Ctrl-C
    ASSERT_TRUE(awaitText(folder.path(), "Log.txt", "\nSIGINT (Ctrl-C) received"));
    program.signal(SIGINT);
    EXPECT_EQ(program.waitFor(std::chrono::minutes(1)), std::optional<int>(0));
    lf_expectClosedDown(folder.path(), realTraffic,
                        "\nSIGINT (Ctrl-C) received, closing VNTQ ...\n");
    const std::string log = readFile(folder / "Log.txt");
    EXPECT_EQ(lf_timesIn(log, "(Ctrl-C)"), 1) << log;
    EXPECT_EQ(lf_timesIn(log, "closing VNTQ ..."), 1) << log;
}

}  // namespace
}  // namespace qel
