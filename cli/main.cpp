// ostrel-cli: the console front-end. It runs the same commands as the desktop
// program's buttons and menus, with messages printed instead of shown.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "adapter/adapter.h"
#include "app/commands.h"
#include "app/file_selection.h"
#include "app/start_folder.h"
#include "app/startup.h"
#include "cli/cable_test_command.h"
#include "cli/console_windows.h"
#include "cli/port_list.h"
#include "core/clock.h"
#include "core/ids.h"
#include "platform/linux_parallel_port.h"
#include "platform/linux_serial_port.h"
#include "platform/port_names.h"
#include "platform/sys_calls.h"
#include "platform/system_ports.h"
#include "platform/texts.h"
#include "sim/chip_table.h"
#include "sim/sim_port.h"

#ifndef OSTREL_VERSION
#define OSTREL_VERSION "3.3"
#endif

namespace ostrel::cli {
namespace {

constexpr const char* kUsage =
    "usage: ostrel-cli [--dir DIR] [--port PORT] [--sim-chip NAME]\n"
    "                  [--speed very-low|low|medium|high] [--device NAME] [--yes]\n"
    "                  [--no-erase] [--eep] [--no-pause] [--virtual-clock] [--quiet]\n"
    "                  COMMAND [FILE]\n"
    "       ostrel-cli --help | --version\n"
    "\n"
    "  PORT       COM1..COM8, 0278, 0378, 03BC, or SIM (the simulated target)\n"
    "  --dir      the start directory (ostrel.ini, ostrel.cfg, readback files);\n"
    "             default: the current directory when it holds ostrel.ini,\n"
    "             otherwise the per-user folder ($XDG_DATA_HOME/ostrel)\n"
    "  --sim-chip which chip the simulator is (a name of its chip table); default ATmega8\n"
    "  --device   Autodetection off, use this device of ostrel.ini\n"
    "  --yes      answer OK to every question (otherwise: ask on a terminal,\n"
    "             Cancel without one)\n"
    "  --no-erase \"Erase bef. Write\" off        --eep  \"Program eep- after hexfile\" on\n"
    "  --no-pause skip the one-second pauses that only let a person read a result\n"
    "  --virtual-clock  with --port SIM: simulated time, no real waiting (for tests)\n"
    "  --quiet    no progress on standard error; messages and errors still print\n"
    "\n"
    "  COMMAND    check | signature | reset | erase | erase-eeprom | lock\n"
    "             read | readhex | write FILE | verify FILE | quick FILE\n"
    "             cable-test (each line high and low in turn, held 2 s, with MISO\n"
    "             and the serial loop-backs read back; ends with the target running)\n"
    "\n"
    "Results (the chip's name, the file written, OK, the cable test's readings)\n"
    "go to standard output; progress and messages to standard error.\n"
    "Exit status: 0 success, 1 failure, 2 bad usage.\n"
    "\n"
    "Port names and their devices (OSTREL_PORT_<name> chooses another):\n";

constexpr const char* kSimStateFile = "ostrel-sim.state";

struct Options {
    std::optional<std::string> dir;
    std::optional<std::string> port;
    std::string simChip = "ATmega8";
    std::optional<int32_t> speed;
    std::optional<std::string> device;
    bool yes = false;
    bool noErase = false;
    bool eep = false;
    bool noPause = false;
    bool virtualClock = false;
    bool quiet = false;
    std::string command;
    std::optional<std::string> file;
};

int Usage(const std::string& problem) {
    std::fprintf(stderr, "ostrel-cli: %s\n", problem.c_str());
    std::fprintf(stderr, "Try 'ostrel-cli --help' for the commands and options.\n");
    return 2;
}

bool KnownPort(std::string_view name) {
    return app::PortCommand(name) != 0;
}

std::optional<int32_t> SpeedValue(std::string_view name) {
    if (name == "very-low")
        return 0;
    if (name == "low")
        return 1;
    if (name == "medium")
        return 2;
    if (name == "high")
        return 3;
    return std::nullopt;
}

bool CommandTakesFile(std::string_view command) {
    return command == "write" || command == "verify" || command == "quick";
}

bool KnownCommand(std::string_view command) {
    for (const char* c : {"check", "signature", "reset", "erase", "erase-eeprom", "lock", "read",
                          "readhex", "write", "verify", "quick", "cable-test"})
        if (command == c)
            return true;
    return false;
}

// Parses the arguments; returns an exit status when the program should stop.
std::optional<int> Parse(int argc, char** argv, Options& o) {
    std::vector<std::string_view> args(argv + 1, argv + argc);
    for (size_t i = 0; i < args.size(); ++i) {
        std::string_view a = args[i];
        auto value = [&](std::string_view option) -> std::optional<std::string> {
            if (i + 1 >= args.size())
                return std::nullopt;
            (void)option;
            return std::string(args[++i]);
        };
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            std::fputs(PortDeviceLines(ProcessEnvironment()).c_str(), stdout);
            return 0;
        }
        if (a == "--version") {
            std::printf("ostrel-cli %s\n", OSTREL_VERSION);
            return 0;
        }
        if (a == "--dir" || a == "--port" || a == "--sim-chip" || a == "--speed" ||
            a == "--device") {
            auto v = value(a);
            if (!v)
                return Usage(std::string(a) + " needs a value");
            if (a == "--dir")
                o.dir = *v;
            if (a == "--port") {
                if (!KnownPort(*v))
                    return Usage("unknown port '" + *v + "'");
                o.port = *v;
            }
            if (a == "--sim-chip") {
                if (!sim::FindChip(*v))
                    return Usage("the simulator knows no chip '" + *v + "'");
                o.simChip = *v;
            }
            if (a == "--speed") {
                o.speed = SpeedValue(*v);
                if (!o.speed)
                    return Usage("unknown speed '" + *v + "'");
            }
            if (a == "--device")
                o.device = *v;
        } else if (a == "--yes") {
            o.yes = true;
        } else if (a == "--no-erase") {
            o.noErase = true;
        } else if (a == "--eep") {
            o.eep = true;
        } else if (a == "--no-pause") {
            o.noPause = true;
        } else if (a == "--virtual-clock") {
            o.virtualClock = true;
        } else if (a == "--quiet") {
            o.quiet = true;
        } else if (a.size() > 1 && a.front() == '-') {
            return Usage("unknown option '" + std::string(a) + "'");
        } else if (o.command.empty()) {
            if (!KnownCommand(a))
                return Usage("unknown command '" + std::string(a) + "'");
            o.command = std::string(a);
        } else if (CommandTakesFile(o.command) && !o.file) {
            o.file = std::string(a);
        } else {
            return Usage("unexpected argument '" + std::string(a) + "'");
        }
    }
    if (o.command.empty())
        return Usage("no command given");
    if (CommandTakesFile(o.command) && !o.file)
        return Usage(o.command + " needs a FILE");
    if (o.virtualClock && o.port && *o.port != "SIM")
        return Usage("--virtual-clock works only with --port SIM");
    return std::nullopt;
}

// The port name stored in the start directory's settings file, as the
// start-up reads it (up to four characters, ended by a zero byte), without
// creating the file.
std::string StoredPort(const std::string& dir) {
    std::string name;
    if (std::FILE* f = std::fopen((std::filesystem::path(dir) / "ostrel.cfg").c_str(), "rb")) {
        char bytes[4] = {};
        std::size_t n = std::fread(bytes, 1, sizeof bytes, f);
        std::fclose(f);
        name.assign(bytes, n);
        name.resize(std::min(name.size(), name.find('\0')));
    }
    return name;
}

// Commands whose only result is that they worked: they print OK on standard
// output, so a script sees the verdict there as it sees a chip's name.
bool PrintsVerdict(std::string_view command) {
    for (const char* c : {"reset", "erase", "erase-eeprom", "lock", "write", "verify", "quick"})
        if (command == c)
            return true;
    return false;
}

int ExitStatus(app::CommandResult result) {
    return result == app::CommandResult::Ok ? 0 : 1;
}

int Run(const Options& o) {
    std::error_code ec;
    std::string dir = o.dir ? std::filesystem::absolute(*o.dir, ec).string()
                            : std::filesystem::current_path(ec).string();
    if (ec || !std::filesystem::is_directory(dir, ec)) {
        std::fprintf(stderr, "ostrel-cli: the start directory '%s' does not exist\n",
                     o.dir ? o.dir->c_str() : ".");
        return 1;
    }
    if (!o.dir) {
        app::StartFolder start = app::ChooseStartFolderForProcess();
        if (!start.directory.empty())
            dir = start.directory;
        if (std::string note = app::DescribeStartFolder(start); !note.empty())
            std::fprintf(stderr, "ostrel-cli: %s\n", note.c_str());
    }
    if (o.virtualClock && !o.port && StoredPort(dir) != "SIM")
        return Usage("--virtual-clock works only with the port SIM (given or stored)");
    // A start directory that cannot be held whole would put the settings and
    // readback files somewhere else.
    constexpr std::size_t kMaxStartDirectory = decltype(ProgrammerState::startDirectory)::kCapacity;
    if (dir.size() > kMaxStartDirectory) {
        std::fprintf(stderr,
                     "ostrel-cli: the start directory %s is too long (%zu characters, at most "
                     "%zu)\n",
                     dir.c_str(), dir.size(), kMaxStartDirectory);
        return 1;
    }

    LinuxSysCalls sys;
    LinuxSerialPort serial(sys);
    LinuxParallelPort parallel(sys);
    SystemPorts ports(serial, parallel);

    SystemClock systemClock;
    VirtualClock virtualClock;
    Clock& clock = o.virtualClock ? static_cast<Clock&>(virtualClock) : systemClock;

    bool stdinTerminal = isatty(STDIN_FILENO) != 0;
    AnswerMode answers =
        o.yes ? AnswerMode::Yes : (stdinTerminal ? AnswerMode::AskTerminal : AnswerMode::Cancel);
    ConsoleWindows windows(stdout, stderr, stdin, answers, isatty(STDERR_FILENO) != 0);
    windows.SetQuiet(o.quiet);

    std::unique_ptr<sim::SimPort> simulator;
    auto startSimulator = [&] {
        sim::SimConfig config;
        config.chip = std::string(sim::FindChip(o.simChip)->name);
        config.stateFile = (std::filesystem::path(dir) / kSimStateFile).string();
        simulator = std::make_unique<sim::SimPort>(clock, config);
        if (!simulator->warning().empty())
            std::fprintf(stderr, "ostrel-cli: %s\n", simulator->warning().c_str());
        ports.SetExtraBackend(simulator.get());
    };
    if (o.port && *o.port == "SIM")
        startSimulator();

    Programmer p(ports, clock, windows);
    p.currentDirectory = dir;
    p.skipReadingPauses = o.noPause;
    // ppdev gives every register as direct port instructions do; there is no driver library.
    p.state.directPortIo = parallel.AnyAvailable() ? 1 : 0;
    p.state.dlPortIoLoaded = 0;

    if (!app::PrepareMainWindow(p)) {
        std::fprintf(stderr, "(ostrel.ini must be in the start directory %s)\n", dir.c_str());
        return 1;
    }
    // Without --port the stored port is used, the simulator's too.
    if (!o.port && p.state.portName.view() == "SIM")
        startSimulator();

    if (o.port) {
        bool parallelName = *o.port == "0278" || *o.port == "0378" || *o.port == "03BC";
        if (parallelName && !p.state.directPortIo) {
            // The same refusal as the Port menu's.
            app::OnCommand(p, app::PortCommand(*o.port));
            std::fprintf(stderr, "(no parallel port device can be opened; see README)\n");
            return 1;
        }
        p.state.portName.Assign(*o.port);
        p.state.adapterKind = AdapterKind::Parallel;
        app::SelectStoredPort(p);
    }
    if (o.speed) {
        p.state.speed = *o.speed;
        for (int item : {ids::kSpeedVeryLow, ids::kSpeedLow, ids::kSpeedMedium, ids::kSpeedHigh})
            windows.CheckMenuItem(item, false);
    }
    if (o.device) {
        int found = -1;
        for (int i = 0; i < windows.ListCount(); ++i)
            if (windows.ListEntry(i) == *o.device)
                found = i;
        if (found < 0) {
            return Usage("ostrel.ini lists no device '" + *o.device + "'");
        }
        windows.CheckItem(ids::kMainWindow, ids::kAutodetection, false);
        app::OnCommand(p, ids::kAutodetection);
        windows.SelectListEntry(found);
    }
    if (o.noErase)
        windows.CheckItem(ids::kMainWindow, ids::kEraseBeforeWrite, false);
    if (o.eep)
        app::OnCommand(p, ids::kProgramEepAfterHex);

    if (o.file) {
        std::string path = std::filesystem::absolute(*o.file, ec).string();
        if (path.size() > decltype(p.state.currentFileName)::kCapacity) {
            std::fprintf(stderr,
                         "ostrel-cli: the path of %s is too long (at most 279 characters)\n",
                         o.file->c_str());
            return 1;
        }
        if (!std::filesystem::is_regular_file(path, ec)) {
            std::fprintf(stderr, "ostrel-cli: cannot open %s\n", o.file->c_str());
            return 1;
        }
        p.state.currentFileName.Assign(path);
        if (app::LoadCurrentFile(p) != 0 && !p.state.fileLoaded) {
            std::fprintf(stderr,
                         "ostrel-cli: %s is not a data file (.hex, .eep or readback .txt)\n",
                         o.file->c_str());
            return 1;
        }
    }

    const std::string& c = o.command;
    app::CommandResult result = app::CommandResult::Ignored;
    if (c == "check") {
        result = app::OnCommand(p, ids::kCheck);
        windows.FinishActivityLine();
        if (result == app::CommandResult::Ok)
            std::printf("%s\n", windows.ListEntry(windows.SelectedListEntry()).c_str());
    } else if (c == "signature") {
        windows.SetReportTitle(texts::kTitleInfo);
        result = app::OnCommand(p, ids::kReadSignature);
    } else if (c == "reset") {
        result = app::OnCommand(p, ids::kResetRun);
    } else if (c == "erase") {
        result = app::OnCommand(p, ids::kEraseAll);
    } else if (c == "erase-eeprom") {
        result = app::OnCommand(p, ids::kBulkEraseData);
    } else if (c == "lock") {
        result = app::OnCommand(p, ids::kLockChip);
    } else if (c == "read" || c == "readhex") {
        result = app::OnCommand(p, c == "read" ? ids::kRead : ids::kReadbackInhx);
        windows.FinishActivityLine();
        if (result == app::CommandResult::Ok) {
            auto file = std::filesystem::path(p.state.startDirectory.str()) /
                        (c == "read" ? "readback.txt" : "readback.hex");
            std::printf("%s\n", file.string().c_str());
        }
    } else if (c == "write") {
        result = app::OnCommand(p, ids::kWrite);
    } else if (c == "verify") {
        result = app::OnCommand(p, ids::kVerify);
    } else if (c == "quick") {
        result = app::OnCommand(p, ids::kQuick);
    } else if (c == "cable-test") {
        CableTestOutput output;
        output.live = isatty(STDERR_FILENO) != 0;
        output.quiet = o.quiet;
        result = RunCableTestCommand(p, output);
    }
    if (result == app::CommandResult::Ok && PrintsVerdict(c)) {
        windows.FinishActivityLineUnless(texts::kOk);
        std::printf("OK\n");
    }
    windows.FinishActivityLine();
    if (result == app::CommandResult::Cancelled)
        std::fprintf(stderr, "Cancelled.\n");
    adapter::CloseSerialPort(p);
    int status = ExitStatus(result);
    // The simulated chip lives in its state file: a chip that could not be
    // saved is lost for the next run, so that is a failure too.
    if (simulator && simulator->target().dirty() && !simulator->Save()) {
        std::string_view warning = simulator->warning();
        std::size_t lastLine = warning.rfind('\n');
        std::string text(lastLine == std::string_view::npos ? warning
                                                            : warning.substr(lastLine + 1));
        std::fprintf(stderr, "ostrel-cli: %s\n", text.c_str());
        status = 1;
    }
    return status;
}

}  // namespace
}  // namespace ostrel::cli

int main(int argc, char** argv) {
    ostrel::cli::Options options;
    if (auto status = ostrel::cli::Parse(argc, argv, options))
        return *status;
    return ostrel::cli::Run(options);
}
