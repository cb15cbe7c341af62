// ostrel-cli: the console front-end. It runs the same commands as the desktop
// program's buttons and menus, with messages printed instead of shown.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "adapter/adapter.h"
#include "app/assembly.h"
#include "app/commands.h"
#include "app/file_selection.h"
#include "app/fuse_command.h"
#include "app/start_folder.h"
#include "app/startup.h"
#include "cli/cable_test_command.h"
#include "cli/console_commands.h"
#include "cli/console_windows.h"
#include "core/clock.h"
#include "core/ids.h"
#include "devices/device_file.h"
#include "image/readback.h"
#include "platform/file_system.h"
#include "platform/gpio_wiring.h"
#include "platform/interrupts.h"
#include "platform/paths.h"
#include "platform/port_names.h"
#include "platform/system_ports.h"
#include "platform/text_file.h"
#include "platform/text_util.h"
#include "platform/texts.h"
#include "sim/chip_clock.h"
#include "sim/chip_table.h"

#ifndef OSTREL_VERSION
#define OSTREL_VERSION "3.3"
#endif

namespace ostrel::cli {
namespace {

// --speed auto: Speed Auto, not one of the speed values 0 to 3.
constexpr int32_t kAutoSpeedOption = 4;

struct Options {
    std::optional<std::string> dir;
    std::optional<std::string> port;
    // Not given: the chip (and clock) the state file holds, else the ATmega8.
    std::optional<std::string> simChip;
    std::optional<uint32_t> simClockHz;  // 0: the chip's factory clock
    std::optional<uint32_t> simPortNs;
    std::optional<std::string> simBoard;  // crystal, external or none
    bool simHvRestore = false;
    std::optional<int32_t> speed;
    std::optional<std::string> device;
    bool yes = false;
    bool noErase = false;
    bool eep = false;
    bool noPause = false;  // accepted as before; skipping is the console's default now
    bool pause = false;
    bool virtualClock = false;
    bool quiet = false;
    std::optional<std::string> gpio;
    bool modemLines = false;
    std::string fuseEdits;
    bool allowLockout = false;
    bool factoryFuses = false;
    const ConsoleCommand* command = nullptr;
    std::optional<std::string> file;
    std::optional<std::string> output;  // the file read and readhex write
};

// Whether the command reads the chip into a file the user may name.
bool WritesReadback(const ConsoleCommand& c) {
    return c.result == ConsoleResult::ReadbackTxt || c.result == ConsoleResult::ReadbackHex;
}

int Usage(const std::string& problem) {
    std::fprintf(stderr, "ostrel-cli: %s\n", problem.c_str());
    std::fprintf(stderr, "Try 'ostrel-cli --help' for the commands and options.\n");
    return 2;
}

// What --help shows after the options and commands: where the results go, the
// exit statuses, and the device behind each port name now.
std::string HelpFooter() {
    std::string text =
        "Results (the chip's name, the file written, OK, the cable test's readings)\n"
        "go to standard output; progress and messages to standard error.\n"
        "Exit status: 0 success, 1 failure, 2 bad usage; 130, 143 or 129 when Ctrl-C,\n"
        "a termination request or a closed terminal stopped the command (the target\n"
        "is released first, and the chip's state is told).\n"
        "\n"
        "Port names and their devices (OSTREL_PORT_<name> chooses another):\n";
    for (const PortDevice& port : ListPortDevices(ProcessEnvironment())) {
        std::string line = "  " + port.name;
        line.append(port.name.size() < 6 ? 6 - port.name.size() : 1, ' ');
        line += port.device.empty() ? "(no device)" : port.device;
        if (port.overridden)
            line += "  (set by " + port.variable + ")";
        text += line + "\n";
    }
    text += "  SIM   the simulated target, no device\n";
    return text;
}

// The usage line names the command and its file as the user types them;
// CLI11 would also list the hidden catch-all for stray words, as "[]". A
// command's own help shows the options that apply to it, those given before
// the command as well.
class ConsoleFormatter : public CLI::Formatter {
  public:
    std::string make_usage(const CLI::App* app, std::string name) const override {
        if (app->get_parent() != nullptr)
            return CLI::Formatter::make_usage(app, std::move(name));
        return "Usage: " + name + " [OPTIONS] COMMAND [FILE]\n";
    }

    std::string make_help(const CLI::App* app, std::string name,
                          CLI::AppFormatMode mode) const override {
        const CLI::App* parent = app->get_parent();
        if (parent == nullptr || mode == CLI::AppFormatMode::Sub)
            return CLI::Formatter::make_help(app, std::move(name), mode);
        const ConsoleCommand* command = FindConsoleCommand(app->get_name());
        std::vector<const CLI::Option*> options;
        for (const CLI::Option* option : parent->get_options()) {
            if (option->get_group().empty() || option->get_lnames().empty())
                continue;  // hidden, or a positional
            const std::string name2 = "--" + option->get_lnames().front();
            if (name2 == "--help" || name2 == "--version")
                continue;
            if (command != nullptr && !OptionAppliesTo(*command, name2))
                continue;
            options.push_back(option);
        }
        std::string help = make_description(app);
        help += "Usage: " + parent->get_name() + " [OPTIONS] " + app->get_name() +
                (command != nullptr && command->takesFile         ? " FILE"
                 : command != nullptr && WritesReadback(*command) ? " [FILE]"
                                                                  : "") +
                "\n";
        help += make_positionals(app);
        help += make_group("Options", false, options);
        return help + "\n";
    }
};

// The first of the options that shape the simulated target that was given,
// or null.
const char* SimulatorOptionGiven(const Options& o) {
    if (o.simChip)
        return "--sim-chip";
    if (o.simClockHz)
        return "--sim-clock";
    if (o.simPortNs)
        return "--sim-port-ns";
    if (o.simBoard)
        return "--sim-board";
    if (o.simHvRestore)
        return "--sim-hv-restore";
    return nullptr;
}

// The options that shape the simulated target behind the port SIM.
void AddSimulatorOptions(CLI::App& cli, Options& o) {
    cli.add_option("--sim-chip", o.simChip,
                   "which chip the simulator is (a name of its chip table); default: the chip "
                   "the simulator's state file holds, else ATmega8. Naming another chip replaces "
                   "the stored one with a fresh chip")
        ->type_name("NAME")
        ->check(CLI::Validator(
            [](std::string& name) -> std::string {
                const sim::ChipInfo* chip = sim::FindChip(name);
                if (!chip) {
                    std::vector<std::string> names;
                    for (const sim::ChipInfo& c : sim::AllChips())
                        names.emplace_back(c.name);
                    return "the simulator knows no chip '" + name +
                           "'; nearest: " + NearestNames(name, names);
                }
                name = std::string(chip->name);
                return "";
            },
            "", "CHIP"));
    cli.add_option(
           "--sim-clock", o.simClockHz,
           "with the port SIM: the simulated chip's clock in Hz, or with k or M (32768, "
           "128k, 3.6864M; 1k to 32M); default: the clock kept from the last run, else "
           "the clock the chip's fuses select. A slow clock needs a slow --speed, as a real chip "
           "does")
        ->type_name("HZ")
        ->transform(CLI::Validator(
            [](std::string& text) -> std::string {
                uint32_t hz = 0;
                std::string wrong = sim::ReadChipClock(text, &hz);
                if (wrong.empty())
                    text = std::to_string(hz);
                return wrong;
            },
            "", "HZ"));
    cli.add_option("--sim-board", o.simBoard,
                   "with the port SIM: what the simulated board gives the chip besides its own "
                   "oscillators: crystal (the default), external (an external clock signal) or "
                   "none. A chip whose fuses choose a clock the board lacks stops answering")
        ->type_name("KIND")
        ->check(CLI::IsMember({"crystal", "external", "none"}));
    cli.add_flag("--sim-hv-restore", o.simHvRestore,
                 "with the port SIM: set the simulated chip's fuses back to their factory values "
                 "before the run, as a high-voltage programmer would (the way back after SPIEN, "
                 "RSTDISBL, DWEN or a clock source locked serial programming out)");
    cli.add_option("--sim-port-ns", o.simPortNs,
                   "with the port SIM: what one access of the simulated port costs, in "
                   "nanoseconds (0 to 10000000); default 2000 on the serial port, 1500 on the "
                   "parallel port; 1000000 is about a USB serial adapter; 0 makes SCK pulses too "
                   "short for any chip")
        ->type_name("NS")
        ->transform(CLI::Validator(
            [](std::string& text) -> std::string {
                std::string wrong =
                    "'" + text + "' is not a number of nanoseconds from 0 to 10000000";
                if (text.empty() || text.size() > 8 ||
                    text.find_first_not_of("0123456789") != std::string::npos ||
                    std::stoul(text) > 10000000)
                    return wrong;
                return "";
            },
            "", "NS"));
}

// Parses the arguments; returns an exit status when the program should stop.
std::optional<int> Parse(int argc, char** argv, Options& o) {
    CLI::App cli("Programs Atmel AVR chips through a passive cable on a serial or parallel port.",
                 "ostrel-cli");
    cli.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    cli.set_help_flag("-h,--help", "this help, with the device behind each port name");
    cli.set_version_flag("--version", std::string("ostrel-cli ") + OSTREL_VERSION,
                         "the program's version");
    cli.require_subcommand(1);
    cli.formatter(std::make_shared<ConsoleFormatter>());
    cli.footer(HelpFooter);

    cli.add_option("--dir", o.dir,
                   "the start directory (ostrel.ini, ostrel.cfg, readback files); default: the "
                   "current directory when it holds ostrel.ini, otherwise the per-user folder "
                   "($XDG_DATA_HOME/ostrel)")
        ->type_name("DIR");
    cli.add_option("--port", o.port,
                   NativePathStyle() == PathStyle::Windows
                       ? "COM1..COM256 (or \\\\.\\COMn), 0278, 0378, 03BC, or SIM (the "
                         "simulated target), in any letter case"
                       : "COM1..COM8, 0278, 0378, 03BC, GPIO (lines of a single-board computer), "
                         "or SIM (the simulated target), in any letter case; or a device: any "
                         "tty (/dev/ttyUSB0, /dev/serial/by-id/...), /dev/parport0, or an FTDI "
                         "adapter by its serial number (ftdi:SERIAL)")
        ->type_name("PORT")
        ->transform(CLI::Validator(
            [](std::string& name) -> std::string {
                if (name.size() > kMaxPortNameLength)
                    return "port name longer than " + std::to_string(kMaxPortNameLength) +
                           " characters: '" + name.substr(0, 80) + "...'";
                // As users name it: any letter case, or the device of a port.
                std::string port = CanonicalPortName(name, ProcessEnvironment());
                if (app::PortCommand(port) == 0 && !IsSerialPortName(port))
                    return "unknown port '" + name.substr(0, 80) +
                           (NativePathStyle() == PathStyle::Windows
                                ? "' (COM1..COM256, \\\\.\\COMn, 0278, 0378, 03BC or SIM)"
                                : "' (a parallel port device of its own is named by a port's "
                                  "variable, for example OSTREL_PORT_0378=/dev/parport3)");
                name = port;
                return "";
            },
            "", "PORT"));
    AddSimulatorOptions(cli, o);
    const std::map<std::string, int32_t> speeds = {
        {"very-low", 0}, {"low", 1}, {"medium", 2}, {"high", 3}, {"auto", kAutoSpeedOption}};
    cli.add_option("--speed", o.speed, "the programming speed")
        ->type_name("very-low|low|medium|high|auto")
        ->transform(CLI::Validator(
            [&speeds](std::string& name) -> std::string {
                auto found = speeds.find(name);
                if (found == speeds.end())
                    return "unknown speed '" + name + "'";
                name = std::to_string(found->second);
                return "";
            },
            "", "SPEED"));
    cli.add_option("--device", o.device, "Autodetection off, use this device of ostrel.ini")
        ->type_name("NAME");
    cli.add_option("--gpio", o.gpio,
                   "the GPIO lines of the port GPIO: chip (number or label) and the lines of "
                   "SCK, MOSI, RESET and MISO (default pi:11,10,25,9, a Raspberry Pi's header)")
        ->type_name("CHIP:SCK,MOSI,RESET,MISO")
        ->check(CLI::Validator(
            [](std::string& text) -> std::string {
                GpioWiring wiring;
                std::string problem;
                return ParseGpioWiring(text, &wiring, &problem) ? "" : problem;
            },
            "", "GPIO"));
    cli.add_flag("--modem-lines", o.modemLines,
                 "an FTDI adapter behind a COM name is driven through its modem lines, one USB "
                 "request a change, instead of in synchronous bit-bang mode");
    cli.add_flag("--yes", o.yes,
                 "answer OK to every question (otherwise: ask on a terminal, Cancel without one)");
    cli.add_flag("--no-erase", o.noErase,
                 "\"Erase bef. Write\" off: the flash is not erased first. EEPROM data (an .eep "
                 "file, or the .eep file after a .hex with --eep) still clears every EEPROM "
                 "cell before it is written: an .eep file stands for the whole EEPROM");
    cli.add_flag("--eep", o.eep,
                 "\"Program eep- after hexfile\" on: after a .hex file, the .eep file beside it "
                 "is written too (the EEPROM is cleared whole first)");
    cli.add_option("--set", o.fuseEdits,
                   "fuses: the bytes or fields to write, \"low=0xFF,high=0xDE\" or by name "
                   "\"CKDIV8=1,BOOTRST=0\"; a write that would cost the chip's clock or speed "
                   "is asked (--yes answers it)");
    cli.add_flag("--factory", o.factoryFuses,
                 "fuses: write the chip's factory values into every fuse byte first (the lock "
                 "byte stays: only erase clears it), checked and read back as --set is");
    cli.add_flag("--allow-lockout", o.allowLockout,
                 "fuses: write also what locks serial programming out (SPIEN unprogrammed, "
                 "RSTDISBL or DWEN programmed); only a high-voltage programmer recovers");
    cli.add_flag("--pause", o.pause,
                 "make the one-second pauses after a result that let a person read the "
                 "desktop's activity line (skipped otherwise)");
    cli.add_flag("--no-pause", o.noPause,
                 "skip the one-second pauses after a result (the default; wins over --pause)");
    cli.add_flag("--virtual-clock", o.virtualClock,
                 "with the port SIM (given or stored): simulated time, no real waiting (for "
                 "tests)");
    cli.add_flag("--quiet", o.quiet,
                 "no progress and no start-folder note on standard error; messages and errors "
                 "still print");

    // A word that is no command lands here, to be named in the error.
    std::string stray;
    cli.add_option("COMMAND", stray)
        ->group("")
        ->check(CLI::Validator(
            [&cli](std::string& word) -> std::string {
                return cli.get_subcommands().empty() ? "unknown command '" + word + "'"
                                                     : "unexpected argument '" + word + "'";
            },
            "", "COMMAND"));
    for (const ConsoleCommand& command : ConsoleCommands()) {
        CLI::App* sub = cli.add_subcommand(std::string(command.name), std::string(command.help));
        sub->group("Commands");
        // The options may come after the command too.
        sub->fallthrough();
        if (command.takesFile)
            sub->add_option("FILE", o.file, "a .hex, .eep or readback .txt file")->required();
        if (WritesReadback(command))
            sub->add_option("FILE", o.output,
                            std::string("the file to write, replaced whole (default: ") +
                                (command.result == ConsoleResult::ReadbackTxt ? "readback.txt"
                                                                              : "readback.hex") +
                                " in the start directory)");
        sub->callback([&o, &command] { o.command = &command; });
    }

    try {
        cli.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0)
            return cli.exit(e);
        // One line: the problem, with the option it concerns when there is one.
        std::string what = e.what();
        what = what.substr(0, what.find('\n'));
        if (what.starts_with(": "))
            what.erase(0, 2);
        return Usage(what);
    }
    if (o.virtualClock && o.port && *o.port != "SIM")
        return Usage("--virtual-clock works only with --port SIM");
    // The simulator's options shape a chip that is not there on another
    // port: dropped, they would leave the user thinking the run used them.
    if (const char* option = SimulatorOptionGiven(o);
        option != nullptr && o.port && *o.port != "SIM")
        return Usage(std::string(option) + " works only with --port SIM");
    if (o.command != nullptr) {
        std::vector<std::string> given;
        for (const CLI::Option* option : cli.get_options())
            if (option->count() > 0 && !option->get_lnames().empty())
                given.push_back("--" + option->get_lnames().front());
        if (std::string unused = UnusedActionOption(*o.command, given); !unused.empty())
            return Usage(unused);
    }
    return std::nullopt;
}

// The port name stored in the start directory's settings file, as the
// start-up reads it (up to four characters, ended by a zero byte), without
// creating the file.
std::string StoredPort(const std::string& dir) {
    std::string name;
    std::string path = ResolvePath(dir, "ostrel.cfg");
    if (std::FILE* f = OpenPlainFile(path, "rb")) {
        char bytes[4] = {};
        std::size_t n = std::fread(bytes, 1, sizeof bytes, f);
        std::fclose(f);
        name.assign(bytes, n);
        name.resize(std::min(name.size(), name.find('\0')));
    }
    return name;
}

int ExitStatus(app::CommandResult result) {
    return result == app::CommandResult::Ok ? 0 : 1;
}

// The start directory: the one named, else the current directory or the
// per-user folder; nullopt with dir set, or the exit status of a refusal.
std::optional<int> ChooseStartDirectory(const Options& o, std::string& dir) {
    std::error_code ec;
    std::filesystem::path chosen =
        o.dir ? std::filesystem::absolute(FsPath(*o.dir), ec) : std::filesystem::current_path(ec);
    // "/a/b/." and "/a/b/" are "/a/b" (the messages name files in it).
    dir = chosen.lexically_normal().string();
    if (dir.size() > 1 && IsPathSeparator(dir.back(), NativePathStyle()) &&
        !(dir.size() == 3 && dir[1] == ':'))
        dir.pop_back();
    if (ec || !std::filesystem::is_directory(FsPath(dir), ec)) {
        std::fprintf(stderr, "ostrel-cli: the start directory '%s' does not exist\n",
                     o.dir ? o.dir->c_str() : ".");
        return 1;
    }
    if (!o.dir) {
        app::StartFolder start = app::ChooseStartFolderForProcess();
        if (!start.directory.empty())
            dir = start.directory;
        // Which folder is used is progress; that it could not be set up is a message.
        std::string note = app::DescribeStartFolder(start);
        if (!note.empty() && (!o.quiet || !start.problem.empty()))
            std::fprintf(stderr, "ostrel-cli: %s\n", note.c_str());
    }
    if (o.virtualClock && !o.port && StoredPort(dir) != "SIM")
        return Usage("--virtual-clock works only with the port SIM (given or stored)");
    if (const char* option = SimulatorOptionGiven(o);
        option != nullptr && !o.port && StoredPort(dir) != "SIM")
        return Usage(std::string(option) + " works only with the port SIM (given or stored)");
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
    // Windows refuses a longer path than 259 characters: the longest name
    // the programs put into the start directory must still fit.
    if (auto problem = PathLengthProblem(JoinPath(dir, "ostrel-sim.state.tmp"))) {
        std::fprintf(stderr, "ostrel-cli: the start directory %s is too long: with its files %s\n",
                     dir.c_str(), problem->c_str());
        return 1;
    }
    return std::nullopt;
}

// Everything about the options and the FILE argument that can be judged
// before anything is opened for writing, loaded or saved: a usage error
// (exit status 2) or a file that cannot be used (1) ends the run here, with
// the settings file, the simulated chip and every port untouched.
std::optional<int> CheckBeforeStart(const Options& o, Programmer& p) {
    if (o.device) {
        std::vector<std::string> names = devices::ListedNames(p);
        if (std::find(names.begin(), names.end(), *o.device) == names.end())
            return Usage("ostrel.ini lists no device '" + *o.device +
                         "'; nearest: " + NearestNames(*o.device, names));
    }
    if (o.port) {
        bool parallelName = *o.port == "0278" || *o.port == "0378" || *o.port == "03BC";
        if (parallelName && !p.state.directPortIo && !p.state.dlPortIoLoaded) {
            // The same refusal as the Port menu's.
            app::OnCommand(p, app::PortCommand(*o.port));
            std::fprintf(stderr, "(no parallel port device can be opened; see README)\n");
            return 1;
        }
    }
    if (!o.file)
        return std::nullopt;
    std::error_code ec;
    std::string path = std::filesystem::absolute(FsPath(*o.file), ec).string();
    if (path.size() > decltype(p.state.currentFileName)::kCapacity) {
        std::fprintf(stderr, "ostrel-cli: the path of %s is too long (at most 279 characters)\n",
                     o.file->c_str());
        return 1;
    }
    // The system's text for a file that cannot be opened, and why.
    std::string why;
    std::FILE* file = OpenPlainFile(path, "rb", &why);
    if (file == nullptr) {
        std::fprintf(stderr, "ostrel-cli: %s Cannot open %s: %s.\n", texts::kOpenError,
                     o.file->c_str(), why.c_str());
        return 1;
    }
    std::fclose(file);
    if (app::FindDataExtension(path) == std::string_view::npos) {
        std::fprintf(stderr, "ostrel-cli: %s is not a data file (.hex, .eep or readback .txt)\n",
                     o.file->c_str());
        return 1;
    }
    return std::nullopt;
}

// The options that stand for main window settings: port, speed, device,
// "Erase bef. Write" and "Program eep- after hexfile". All were checked
// before the start.
void ApplyWindowOptions(const Options& o, Programmer& p, ConsoleWindows& windows) {
    if (o.gpio)
        p.state.gpioLines.Assign(*o.gpio);
    if (o.modemLines) {
        p.state.modemLinesOnly = 1;
        windows.CheckMenuItem(ids::kModemLinesOnly, true);
    }
    if (o.port) {
        p.state.portName.Assign(*o.port);
        p.state.adapterKind = AdapterKind::Parallel;
        app::SelectStoredPort(p);
    }
    if (o.speed) {
        p.state.autoSpeed = *o.speed == kAutoSpeedOption ? 1 : 0;
        if (!p.state.autoSpeed)
            p.state.speed = *o.speed;
        for (int item : {ids::kSpeedVeryLow, ids::kSpeedLow, ids::kSpeedMedium, ids::kSpeedHigh,
                         ids::kSpeedAuto})
            windows.CheckMenuItem(item, false);
    }
    if (o.device) {
        for (int i = 0; i < windows.ListCount(); ++i) {
            if (windows.ListEntry(i) != *o.device)
                continue;
            windows.CheckItem(ids::kMainWindow, ids::kAutodetection, false);
            app::OnCommand(p, ids::kAutodetection);
            windows.SelectListEntry(i);
        }
    }
    if (o.noErase)
        windows.CheckItem(ids::kMainWindow, ids::kEraseBeforeWrite, false);
    if (o.eep)
        app::OnCommand(p, ids::kProgramEepAfterHex);
}

// Makes the FILE argument the current data file. nullopt, or the exit
// status of a refusal.
std::optional<int> LoadFileArgument(const Options& o, Programmer& p) {
    if (!o.file)
        return std::nullopt;
    std::error_code ec;
    std::string path = std::filesystem::absolute(FsPath(*o.file), ec).string();
    if (auto tooLong = PathLengthProblem(path)) {
        std::fprintf(stderr, "ostrel-cli: the path of %s is too long: %s\n", o.file->c_str(),
                     tooLong->c_str());
        return 1;
    }
    p.state.currentFileName.Assign(path);
    std::string problem;
    if (app::LoadCurrentFile(p, &problem) != 0 && !p.state.fileLoaded) {
        std::fprintf(stderr, "ostrel-cli: %s %s\n", p.state.errorText.c_str(), problem.c_str());
        return 1;
    }
    return std::nullopt;
}

// Runs the command of the table row.
app::CommandResult RunCommand(const Options& o, const ConsoleCommand& c, Programmer& p,
                              ConsoleWindows& windows, std::string& fuseReport) {
    switch (c.result) {
        case ConsoleResult::CableReadings: {
            CableTestOutput output;
            output.live = IsTerminal(stderr);
            output.quiet = o.quiet;
            return RunCableTestCommand(p, output);
        }
        case ConsoleResult::Report: {
            windows.SetReportTitle("Info:");
            app::CommandResult result = app::OnCommand(p, c.command);
            // The report is the one box; why its bytes are no chip's
            // signature is the reason of the failed connection.
            if (result == app::CommandResult::Failed && !p.driverAccessFailed) {
                std::string_view reason = p.state.errorText.view();
                windows.PrintMessage("Error", reason.substr(0, reason.find('\n')));
            }
            return result;
        }
        case ConsoleResult::FuseReport: {
            app::FuseRequest request{o.fuseEdits, o.allowLockout, o.factoryFuses};
            app::CommandResult result = app::RunFuses(p, request, fuseReport);
            return result;
        }
        default:
            return app::OnCommand(p, c.command);
    }
}

// What a command that worked prints on standard output.
void PrintResult(const ConsoleCommand& c, const Programmer& p, ConsoleWindows& windows,
                 const std::string& fuseReport) {
    switch (c.result) {
        case ConsoleResult::FuseReport:
            windows.FinishActivityLine();
            std::printf("%s", fuseReport.c_str());
            break;
        case ConsoleResult::ChipName:
            windows.FinishActivityLine();
            std::printf("%s\n", windows.ListEntry(windows.SelectedListEntry()).c_str());
            break;
        case ConsoleResult::ReadbackTxt:
        case ConsoleResult::ReadbackHex: {
            windows.FinishActivityLine();
            const std::string file = image::ReadbackPath(p, c.result == ConsoleResult::ReadbackTxt
                                                                ? image::kDumpName
                                                                : image::kReadbackHexName);
            std::printf("%s\n", FsPath(file).string().c_str());
            break;
        }
        case ConsoleResult::Verdict:
            // The command's only result is that it worked: OK on standard
            // output, once, so a script sees the verdict there as it sees a
            // chip's name.
            windows.FinishActivityLineUnless("OK");
            std::printf("OK\n");
            break;
        default:
            break;
    }
}

int Run(const Options& o, InterruptWatch& interrupts) {
    std::string dir;
    if (auto status = ChooseStartDirectory(o, dir))
        return *status;

    AnswerMode answers = o.yes ? AnswerMode::Yes
                               : (IsTerminal(stdin) ? AnswerMode::AskTerminal : AnswerMode::Cancel);
    ConsoleWindows windows(stdout, stderr, stdin, answers, IsTerminal(stderr));
    windows.SetQuiet(o.quiet);

    app::AssemblyOptions parts;
    parts.startDirectory = dir;
    parts.virtualClock = o.virtualClock;
    // A report may hold several lines (a cut-off chip whose fuses were also
    // set back): each is one line of the program's own.
    parts.report = [](const std::string& text) {
        std::size_t start = 0;
        while (start <= text.size()) {
            const std::size_t end = std::min(text.find('\n', start), text.size());
            std::fprintf(stderr, "ostrel-cli: %.*s\n", static_cast<int>(end - start),
                         text.data() + start);
            start = end + 1;
        }
    };
    app::Assembly assembly(windows, std::move(parts));
    sim::SimulatorSlot& simulator = assembly.simulator();
    Programmer& p = assembly.programmer();
    // The pauses are there for the desktop's activity line; a console prints
    // its result and needs none unless asked.
    p.skipReadingPauses = o.noPause || !o.pause;
    // Without a person to answer and with only results printed, a verify
    // that differs says so in one line instead of a box per byte.
    p.summariseMismatches = o.quiet && o.yes;
    p.state.startDirectory.Assign(dir);
    windows.WatchInterrupts(&interrupts, &p.stopRequested);

    if (auto status = CheckBeforeStart(o, p))
        return *status;
    if (o.output) {
        std::error_code ec;
        p.readbackFile = std::filesystem::absolute(FsPath(*o.output), ec).string();
    }

    // The simulated chip is the one its state file holds (and on the clock
    // kept with it) unless the options name another; a chip named replaces
    // the stored one, which the simulator says.
    if (o.simChip && *o.simChip != simulator.chip()) {
        simulator.Choose(*o.simChip);
        if (!o.simClockHz)
            simulator.SetChipClock(0);  // the kept clock was the other chip's
    }
    if (o.simClockHz)
        simulator.SetChipClock(*o.simClockHz);
    if (o.simPortNs)
        simulator.SetAccessCosts(*o.simPortNs, *o.simPortNs);
    if (o.simBoard)
        simulator.SetBoard(
            {.crystal = *o.simBoard == "crystal", .external = *o.simBoard == "external"});
    if (o.simHvRestore)
        simulator.RestoreFusesOnStart(true);
    // Without --port the stored port is used, the simulator's too. It is
    // held for the whole run, before the settings are touched.
    const bool simulated = o.port ? *o.port == "SIM" : StoredPort(dir) == "SIM";
    if (simulated && !simulator.Start())
        return 1;

    if (!app::PrepareMainWindow(p)) {
        std::fprintf(stderr, "(ostrel.ini must be in the start directory %s)\n", dir.c_str());
        return 1;
    }
    ApplyWindowOptions(o, p, windows);
    if (auto status = LoadFileArgument(o, p))
        return *status;

    const ConsoleCommand& c = *o.command;
    std::string fuseReport;
    app::CommandResult result = RunCommand(o, c, p, windows, fuseReport);
    adapter::CloseSerialPort(p);
    // The simulated chip lives in its state file: a chip that could not be
    // saved is lost for the next run, so the command has not done what it
    // was asked, and its result is not printed (the simulator said why).
    const bool saved = simulator.Close();
    if (result == app::CommandResult::Ok && saved)
        PrintResult(c, p, windows, fuseReport);
    if (!saved)
        windows.FinishActivityLineUnless("OK");  // no "OK" for what was not kept
    windows.FinishActivityLine();
    int status = saved ? ExitStatus(result) : 1;
    if (result == app::CommandResult::Ok && !saved)
        std::fprintf(stderr,
                     "ostrel-cli: the command ran, but the simulated chip it changed was "
                     "not kept\n");
    if (result == app::CommandResult::Cancelled)
        std::fprintf(stderr, "Cancelled.\n");
    // Stopped by an interrupt: the command runner has released the target
    // and told the chip's state. A question it cancelled sent nothing more.
    // One that came after the command's last step found nothing left to
    // stop: what it did is done, and the run still ends as interrupted.
    if (const int signal = interrupts.Pending(); signal != 0) {
        if (result == app::CommandResult::Ok)
            std::fprintf(stderr,
                         "ostrel-cli: interrupted (%s) too late to stop the command: it had "
                         "already done its work\n",
                         InterruptName(signal).c_str());
        else if (result != app::CommandResult::Stopped)
            std::fprintf(stderr, "ostrel-cli: stopped (%s); nothing more was sent to the chip\n",
                         InterruptName(signal).c_str());
        status = 128 + signal;
    }
    // A result that never reached standard output (a closed pipe, a full
    // disk) is no result.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "ostrel-cli: cannot write to standard output: %s\n",
                     std::strerror(errno));
        if (status == 0)
            status = 1;
    }
    return status;
}

}  // namespace
}  // namespace ostrel::cli

int main(int argc, char** argv) {
    try {
        // From the start: an interrupt is noted, never the end of the
        // process half-way through a file; a closed pipe or a full disk is
        // an error the program reports.
        ostrel::InterruptWatch interrupts;
        ostrel::ReportWriteFailuresAsErrors();
        ostrel::cli::Options options;
        if (auto status = ostrel::cli::Parse(argc, argv, options))
            return *status;
        return ostrel::cli::Run(options, interrupts);
    } catch (const std::exception& e) {
        // Nothing the program throws on purpose reaches here; a failure of the
        // library (out of memory) still ends the command as failed, with a word.
        std::fprintf(stderr, "ostrel-cli: %s\n", e.what());
        return 1;
    }
}
