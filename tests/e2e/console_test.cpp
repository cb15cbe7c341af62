// ostrel-cli's contract with its users and their scripts: what each command
// prints, that the simulated chip lives on between runs, the exit statuses
// (0 success, 1 failure with the system's text on stderr, 2 bad usage with a
// one-line hint), and questions answered Cancel when nobody can be asked.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "sim/chip_table.h"
#include "sim/sim_state_file.h"
#include "tests/e2e/cli_rig.h"
#include "tests/support/child_process.h"
#include "tests/support/sim_rig.h"

namespace ostrel::testing {
namespace {

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Chip names of a device file: lines beginning with "AT", the name up to the
// first TAB or ';'.
std::set<std::string> DeviceFileNames(const std::string& text) {
    std::set<std::string> names;
    for (const std::string& line : SplitLines(text)) {
        if (line.rfind("AT", 0) != 0)
            continue;
        names.insert(line.substr(0, line.find_first_of("\t;")));
    }
    return names;
}

std::string SignatureReport(const char* vendor, const char* family, const char* part) {
    return std::string("Vendor Code: ") + vendor + "\nPart Family: " + family +
           "\nPart Number: " + part + "\nEcho 53 received\n";
}

// --- check and signature -------------------------------------------------

TEST(ConsoleCheck, NamesEveryChipOfTheSimulatorThatTheDeviceFileLists) {
    REQUIRE_CLI();
    const std::set<std::string> listed =
        DeviceFileNames(ReadFileBytes(SourcePath("resources/ostrel.ini")));
    ASSERT_GE(listed.size(), 20u);
    int named = 0;
    for (const sim::ChipInfo& chip : sim::AllChips()) {
        const std::string name(chip.name);
        SCOPED_TRACE(name);
        CliRig rig(name);
        ProcessResult r = rig.Run({"check"});
        if (listed.count(name)) {
            ASSERT_TRUE(ExitedWith(r, 0));
            EXPECT_EQ(r.out, name + "\n");
            EXPECT_FALSE(Contains(r.err, "ostrel-cli:")) << r.err;
            ++named;
        } else {
            // A chip the simulator knows but ostrel.ini does not: the signature is unknown.
            ASSERT_TRUE(ExitedWith(r, 1));
            EXPECT_TRUE(Contains(r.err, "Unknown Device Code!")) << r.err;
            EXPECT_EQ(r.out, "");
        }
    }
    EXPECT_GE(named, 20);
}

TEST(ConsoleCheck, AChipMissingFromTheDeviceFileIsAnUnknownDeviceCode) {
    REQUIRE_CLI();
    CliRig rig("ATmega8");
    std::string ini;
    for (const std::string& line : SplitLines(rig.dir.Read("ostrel.ini")))
        if (line.rfind("ATmega8\t", 0) != 0)
            ini += line + "\n";
    rig.dir.Write("ostrel.ini", ini);
    ProcessResult r = rig.Run({"--yes", "check"});
    ASSERT_TRUE(ExitedWith(r, 1));
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(Contains(r.err, "Unknown Device Code!")) << r.err;
    EXPECT_TRUE(Contains(r.err, SignatureReport("1E", "93", "07")))
        << "the report of what was read";
}

TEST(ConsoleCheck, TheChipThatNeedsExtendedAddressingIsNotSimulated) {
    REQUIRE_CLI();
    CliRig rig;
    ProcessResult r = rig.Run({"--sim-chip", "ATmega103", "check"});
    if (sim::FindChip("ATmega103") == nullptr) {
        // 128 KB of flash cannot be addressed, so neither ostrel.ini nor the
        // simulator has it: naming it is a usage error.
        ASSERT_TRUE(ExitedWith(r, 2));
        EXPECT_TRUE(Contains(SplitLines(r.err).front(), "ATmega103")) << r.err;
    } else {
        ASSERT_TRUE(ExitedWith(r, 1));
        EXPECT_TRUE(Contains(r.err, "Unknown Device Code!")) << r.err;
    }
}

TEST(ConsoleSignature, PrintsTheReportOnStandardOutput) {
    REQUIRE_CLI();
    CliRig rig("AT90S2313");
    ProcessResult r = rig.Run({"signature"});
    ASSERT_TRUE(ExitedWith(r, 0));
    EXPECT_EQ(r.out, SignatureReport("1E", "91", "01"));
}

// --- the simulated chip between runs ---------------------------------------

TEST(SimulatorState, LockAndEraseInOneRunAreSeenByTheNext) {
    REQUIRE_CLI();
    CliRig rig("AT90S2313");
    ASSERT_TRUE(ExitedWith(rig.Run({"lock"}), 0));

    // A classic chip in lock mode 3 answers its own address bytes for the
    // signature: the report shows them, and the run fails naming the lock.
    ProcessResult signature = rig.Run({"signature"});
    ASSERT_TRUE(ExitedWith(signature, 1));
    EXPECT_EQ(signature.out, SignatureReport("00", "01", "02"));
    EXPECT_TRUE(Contains(signature.err, "Device locked!")) << signature.err;

    ProcessResult check = rig.Run({"check"});
    ASSERT_TRUE(ExitedWith(check, 1));
    EXPECT_TRUE(Contains(check.err, "Device locked!")) << check.err;
    EXPECT_EQ(check.out, "");

    ASSERT_TRUE(ExitedWith(rig.Run({"--yes", "erase"}), 0));
    signature = rig.Run({"signature"});
    ASSERT_TRUE(ExitedWith(signature, 0));
    EXPECT_EQ(signature.out, SignatureReport("1E", "91", "01"));
    EXPECT_TRUE(ExitedWith(rig.Run({"check"}), 0));
}

TEST(SimulatorState, WriteEraseAndReadInSeparateRunsSeeTheSameChip) {
    REQUIRE_CLI();
    CliRig rig("ATmega8");
    std::string hex = rig.CopyIn("examples/blink-atmega8.hex");
    const ByteImage program = ErasedWith(8192, ParseHexImage(ReadFileBytes(hex)));
    ASSERT_TRUE(ExitedWith(rig.Run({"--yes", "write", hex}), 0));
    EXPECT_EQ(CompareImages(program, rig.ReadHex()), "");
    EXPECT_EQ(CompareImages(program, rig.ReadHex()), "") << "reading changes nothing";

    ASSERT_TRUE(ExitedWith(rig.Run({"--yes", "erase"}), 0));
    EXPECT_EQ(CompareImages(ErasedWith(8192, {}), rig.ReadHex()), "");
}

TEST(SimulatorState, AStateFileOfAnotherChipGivesAWarningAndAFreshChip) {
    REQUIRE_CLI();
    CliRig rig("ATmega8");
    std::string hex = rig.CopyIn("examples/blink-atmega8.hex");
    ASSERT_TRUE(ExitedWith(rig.Run({"--yes", "write", hex}), 0));

    ProcessResult other = rig.Run({"--sim-chip", "AT90S2313", "check"});
    ASSERT_TRUE(ExitedWith(other, 0));
    EXPECT_EQ(other.out, "AT90S2313\n");
    std::vector<std::string> lines = SplitLines(other.err);
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(Contains(lines.front(), "ostrel-sim.state")) << other.err;
    EXPECT_TRUE(Contains(lines.front(), "AT90S2313")) << other.err;
}

TEST(SimulatorState, ADamagedStateFileGivesOneWarningLineAndAFreshChip) {
    REQUIRE_CLI();
    // Garbage, a good file cut short, and an empty file.
    std::string garbage;
    for (int i = 0; i < 700; ++i)
        garbage.push_back(static_cast<char>((i * 151 + 7) & 0xFF));
    std::string good;
    {
        CliRig maker("ATmega8");
        std::string hex = maker.CopyIn("examples/blink-atmega8.hex");
        ASSERT_TRUE(ExitedWith(maker.Run({"--yes", "write", hex}), 0));
        good = maker.dir.Read("ostrel-sim.state");
        ASSERT_GT(good.size(), 8192u);
    }
    for (const std::string& state : {garbage, good.substr(0, good.size() / 2), std::string()}) {
        SCOPED_TRACE(state.size());
        CliRig rig("ATmega8");
        rig.dir.Write("ostrel-sim.state", state);
        ProcessResult r = rig.Run({"check"});
        ASSERT_TRUE(ExitedWith(r, 0));
        EXPECT_EQ(r.out, "ATmega8\n");
        int warnings = 0;
        for (const std::string& line : SplitLines(r.err))
            if (Contains(line, "ostrel-sim.state"))
                ++warnings;
        if (state.empty()) {
            // An empty file cannot be told from a file that is still to be made:
            // a warning is allowed, but at most one line.
            EXPECT_LE(warnings, 1) << r.err;
        } else {
            EXPECT_EQ(warnings, 1) << r.err;
            EXPECT_TRUE(Contains(SplitLines(r.err).front(), "ostrel-sim.state")) << r.err;
        }

        // The fresh chip is erased, and the next run finds the state it left.
        EXPECT_EQ(CompareImages(ErasedWith(8192, {}), rig.ReadHex()), "");
        ProcessResult next = rig.Run({"check"});
        ASSERT_TRUE(ExitedWith(next, 0));
        EXPECT_FALSE(Contains(next.err, "ostrel-sim.state")) << next.err;
    }
}

// A cut-off file of format version 2 holds a stand-in fuse byte (SPIEN
// unprogrammed) for the AT90S2343: the chip answers with its factory fuses and
// its flash, and each of the two notes is a line of its own; the fuses' note
// is said once, the uncertain contents' until the chip is read.
TEST(SimulatorState, AnEarlierVersionsFileOfAnAT90S2343Answers) {
    REQUIRE_CLI();
    CliRig rig("AT90S2343");
    const sim::ChipInfo& chip = *sim::FindChip("AT90S2343");
    sim::ChipMemory m = sim::ChipMemory::Fresh(chip);
    m.flash[0] = 0x42;
    m.fuses[0] = 0xFF;
    rig.dir.Write("ostrel-sim.state", StateFileOfVersion(sim::EncodeChipState(chip, m), 2));
    ProcessResult first = rig.Run({"check"});
    EXPECT_TRUE(ExitedWith(first, 0)) << first.err;
    EXPECT_TRUE(Contains(first.err, "uncertain") &&
                Contains(first.err, "\nostrel-cli: The simulated AT90S2343's fuses were set"))
        << first.err;
    // A check reads only the signature: the contents stay uncertain until a
    // read, and the fuses' note is not said again.
    const std::string second = rig.Run({"check"}).err;
    EXPECT_TRUE(Contains(second, "uncertain") && !Contains(second, "fuses were set")) << second;
    EXPECT_EQ(CompareImages(ErasedWith(2048, {{0, 0x42}}), rig.ReadHex()), "");
    EXPECT_FALSE(Contains(rig.Run({"check"}).err, "ostrel-sim.state")) << "settled by the read";
}

// The state is saved through a temporary file of the run's own beside it: a
// start directory that takes no new file makes the save fail (for a user
// that root's powers do not help). A write whose result cannot be kept is
// lost for the next run, so the run must say so and not end in success, and
// it prints no "OK".
TEST(SimulatorState, AStateThatCannotBeSavedIsReportedAndNotASuccess) {
    REQUIRE_FORKED_CHILD();
    REQUIRE_CLI();
    CliRig rig("ATmega8");
    TempDir files;  // the data file and its snapshot live elsewhere
    std::string hex =
        files.Write("blink.hex", ReadFileBytes(SourcePath("examples/blink-atmega8.hex")));
    GiveToUnprivileged(files.path());
    ASSERT_TRUE(ExitedWith(rig.RunUnprivileged({"check"}), 0));
    std::filesystem::permissions(rig.dir.path(), std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::remove);

    ProcessResult check = rig.RunUnprivileged({"check"});
    EXPECT_TRUE(ExitedWith(check, 0)) << "a run that changes nothing saves nothing";

    ProcessResult write = rig.RunUnprivileged({"--yes", "write", hex});
    std::filesystem::permissions(rig.dir.path(), std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
    EXPECT_TRUE(Contains(write.err, "ostrel-sim.state")) << "the lost state is reported\n"
                                                         << write.err;
    EXPECT_TRUE(ExitedWith(write, 1)) << "the chip of the next run will not hold the program";
    EXPECT_EQ(write.out, "") << "no OK for a result that was not kept";
}

// A data file in a folder the user cannot write (the installed examples): the
// snapshot could not be saved beside it, so the write is refused before the
// chip is touched, with the system's refusal and where the examples can be
// used instead.
TEST(SimulatorState, AFileInAFolderTheUserCannotWriteIsRefusedWithWhereToWork) {
    REQUIRE_FORKED_CHILD();
    REQUIRE_CLI();
    CliRig rig("ATmega8");
    std::filesystem::create_directory(rig.dir.File("examples"));
    GiveToUnprivileged(rig.dir.path());
    TempDir system;  // root's, readable by everyone, writable by root alone
    const std::string hex =
        system.Write("blink.hex", ReadFileBytes(SourcePath("examples/blink-atmega8.hex")));
    namespace fs = std::filesystem;
    fs::permissions(system.path(), fs::perms::owner_all | fs::perms::group_read |
                                       fs::perms::group_exec | fs::perms::others_read |
                                       fs::perms::others_exec);
    ProcessResult write = rig.RunUnprivileged({"--yes", "write", hex});
    EXPECT_TRUE(ExitedWith(write, 1));
    for (const std::string& part :
         {std::string("open error output file!"), std::string("Permission denied"),
          "the examples can be used from " + rig.dir.File("examples") + ".",
          std::string("Nothing was sent to the chip.")})
        EXPECT_TRUE(Contains(write.err, part)) << part << "\n" << write.err;
    EXPECT_EQ(write.out, "");
}

// A folder of the user's named like the temporary file of an earlier
// version ("ostrel-sim.state.tmp") is never taken for ours, nor removed.
TEST(SimulatorState, AFolderNamedLikeATemporaryFileIsLeftAlone) {
    REQUIRE_CLI();
    CliRig rig("ATmega8");
    std::string hex = rig.CopyIn("examples/blink-atmega8.hex");
    std::filesystem::create_directory(rig.dir.File("ostrel-sim.state.tmp"));
    ASSERT_TRUE(ExitedWith(rig.Run({"--yes", "write", hex}), 0));
    EXPECT_TRUE(std::filesystem::is_directory(rig.dir.File("ostrel-sim.state.tmp")));
    ASSERT_TRUE(ExitedWith(rig.Run({"verify", hex}), 0)) << "and the chip was kept";
}

// --- exit statuses ------------------------------------------------------------

TEST(ExitStatus, BadUsageIsTwoWithAOneLineHintAndTouchesNothing) {
    REQUIRE_CLI();
    struct Case {
        std::vector<std::string> args;  // after --dir <dir>
        std::string named;              // the hint names this
    };
    const std::vector<Case> cases = {
        {{"--port", "SIM", "frobnicate"}, "frobnicate"},
        {{"--port", "COM257", "check"}, "COM257"},
        {{"--port", std::string(65, 'x'), "check"}, "longer than 64"},
        {{"--port", "LPT1", "check"}, "LPT1"},
        // The simulator's options on another port would be dropped unseen.
        {{"--port", "COM1", "--sim-chip", "ATtiny85", "check"}, "--sim-chip works only with"},
        {{"--sim-hv-restore", "check"}, "--sim-hv-restore works only with the port SIM"},
#if defined(_WIN32)
        {{"--port", "/dev/parport7", "check"}, "/dev/parport7"},
#else
        {{"--port", "/dev/parport7", "check"}, "OSTREL_PORT_0378=/dev/parport3"},
#endif
        {{"--port", "GPIO", "--gpio", "my chip:11,10,25,9", "check"}, "a chip's label"},
        {{"--port", "SIM", "--sim-chip", "ATmega999", "check"}, "ATmega999"},
        {{"--port", "SIM", "--speed", "turbo", "check"}, "turbo"},
        {{"--port", "SIM", "write"}, "FILE"},
        {{"--port", "SIM", "verify"}, "FILE"},
        {{"--port", "SIM", "quick"}, "FILE"},
        {{"--port", "SIM", "--frobnicate", "check"}, "--frobnicate"},
        {{"--port", "SIM", "check", "extra"}, "extra"},
        {{"--port", "SIM"}, "command"},
        {{"--port", "SIM", "check", "--speed"}, "--speed"},
        {{"--virtual-clock", "check"}, "--virtual-clock"},
        {{"--port", "GPIO", "--gpio", "0:11,10,11,9", "check"}, "line 11 is named twice"},
        {{"--port", "GPIO", "--gpio", "11,10,25,9", "check"}, "--gpio"},
        {{"--port", "SIM", "--modem-lines=maybe", "check"}, "--modem-lines"},
    };
    for (const Case& c : cases) {
        CliRig rig;
        std::vector<std::string> args{"--dir", rig.dir.str()};
        args.insert(args.end(), c.args.begin(), c.args.end());
        ProcessResult r = rig.RunBare(args);
        SCOPED_TRACE(r.command);
        ASSERT_TRUE(ExitedWith(r, 2));
        EXPECT_EQ(r.out, "");
        std::vector<std::string> lines = SplitLines(r.err);
        ASSERT_GE(lines.size(), 1u);
        EXPECT_LE(lines.size(), 2u) << "the problem and where to look, nothing more:\n" << r.err;
        EXPECT_TRUE(Contains(lines.front(), c.named)) << r.err;
        EXPECT_FALSE(std::filesystem::exists(rig.dir.File("ostrel.cfg")))
            << "bad usage is found before anything is touched";
        EXPECT_FALSE(std::filesystem::exists(rig.dir.File("ostrel-sim.state")));
    }
}

// A port is named in any letter case: the run is the one of its usual name.
TEST(ExitStatus, APortNamedInAnyLetterCaseIsThatPort) {
    REQUIRE_CLI();
    for (const char* name : {"sim", "Sim", "SIM"}) {
        CliRig rig;
        ProcessResult r = rig.RunBare({"--port", name, "--virtual-clock", "--no-pause", "--dir",
                                       rig.dir.str(), "--sim-chip", rig.chip(), "signature"});
        SCOPED_TRACE(r.command);
        EXPECT_TRUE(ExitedWith(r, 0)) << r.err;
        EXPECT_TRUE(std::filesystem::exists(rig.dir.File("ostrel-sim.state"))) << name;
    }
}

// A serial port of its own (a tty by its path, a COM number above 8) is
// taken as that port: opened, and its failure to open is a failure (exit 1)
// that names the device, not bad usage.
TEST(ExitStatus, APortNamedByItsDeviceIsOpened) {
    REQUIRE_CLI();
#ifndef _WIN32
    const struct {
        const char* port;
        const char* device;  // named in the failure
    } kCases[] = {
        {"/dev/ostrel-no-such-tty", "/dev/ostrel-no-such-tty"},
        {"com200", "/dev/ttyS199"},
    };
    for (const auto& c : kCases) {
        CliRig rig;
        ProcessResult r =
            rig.RunBare({"--port", c.port, "--no-pause", "--dir", rig.dir.str(), "check"});
        SCOPED_TRACE(r.command);
        EXPECT_TRUE(ExitedWith(r, 1)) << r.err;
        EXPECT_NE((r.out + r.err).find("COM-Init-Error!"), std::string::npos) << r.out << r.err;
        EXPECT_NE((r.out + r.err).find(c.device), std::string::npos) << r.out << r.err;
    }
#endif
}

// --sim-clock and --sim-port-ns: a value the option reads reaches the
// simulator (a chosen clock is kept in ostrel-sim.clock; a clock too slow for
// the speed loses SCK pulses and the check fails, as on a real chip); a value
// it refuses is bad usage, named in the one-line hint.
TEST(ExitStatus, TheSimulatorClockAndPortCostAreReadOrRefused) {
    REQUIRE_CLI();
    struct Case {
        std::vector<std::string> args;  // before "check"
        int status;
        std::string clockFile;  // what ostrel-sim.clock holds after the run; empty: no file
        std::string named;      // for status 2: the hint names this
    };
    const std::vector<Case> cases = {
        {{"--sim-clock", "128k", "--speed", "very-low"}, 0, "128000\n", ""},
        {{"--sim-clock", "3.6864M"}, 0, "3686400\n", ""},
        {{"--sim-clock", "16000K"}, 0, "16000000\n", ""},
        {{"--sim-clock", "32000000"}, 0, "32000000\n", ""},
        {{"--sim-clock", "32.768k", "--speed", "high"}, 1, "32768\n", ""},
        // Auto: the fuses say 1 MHz, but the board clocks the chip slower; the
        // speed that answered stays.
        {{"--sim-clock", "32.768k", "--speed", "auto"}, 0, "32768\n", ""},
        // Accesses that take no time make SCK pulses of no length: no chip sees them.
        {{"--sim-port-ns", "0", "--speed", "very-low"}, 1, "", ""},
        {{"--sim-port-ns", "1000000"}, 0, "", ""},
        {{"--sim-port-ns", "10000000", "--sim-clock", "1M"}, 0, "1000000\n", ""},
        {{"--sim-clock", "0"}, 2, "", "'0'"},
        {{"--sim-clock", "-1"}, 2, "", "'-1'"},
        {{"--sim-clock", "fast"}, 2, "", "'fast'"},
        {{"--sim-clock", "999"}, 2, "", "'999'"},
        {{"--sim-clock", "33M"}, 2, "", "'33M'"},
        {{"--sim-clock", "32000001"}, 2, "", "'32000001'"},
        {{"--sim-clock", "1000.5"}, 2, "", "'1000.5'"},
        {{"--sim-clock", "1e6"}, 2, "", "'1e6'"},
        {{"--sim-clock", "4m"}, 2, "", "'4m'"},
        {{"--sim-clock", "99999999999999999999M"}, 2, "", "'99999999999999999999M'"},
        {{"--sim-port-ns=-5"}, 2, "", "'-5'"},
        {{"--sim-port-ns", "10000001"}, 2, "", "'10000001'"},
        {{"--sim-port-ns", "2us"}, 2, "", "'2us'"},
        {{"--sim-port-ns", "99999999999999999999"}, 2, "", "'99999999999999999999'"},
    };
    for (const Case& c : cases) {
        CliRig rig;
        std::vector<std::string> args = c.args;
        args.push_back("check");
        ProcessResult r = rig.Run(args);
        SCOPED_TRACE(r.command);
        ASSERT_TRUE(ExitedWith(r, c.status)) << r.err;
        const std::string clockFile = rig.dir.File("ostrel-sim.clock");
        EXPECT_EQ(std::filesystem::exists(clockFile), !c.clockFile.empty());
        if (!c.clockFile.empty()) {
            EXPECT_EQ(rig.dir.Read("ostrel-sim.clock"), c.clockFile);
        }
        if (c.status == 0) {
            EXPECT_EQ(r.out, "ATmega8\n");
        }
        if (c.status == 2) {
            std::vector<std::string> lines = SplitLines(r.err);
            ASSERT_GE(lines.size(), 1u);
            EXPECT_TRUE(Contains(lines.front(), c.named)) << r.err;
            EXPECT_FALSE(std::filesystem::exists(rig.dir.File("ostrel-sim.state")));
        }
    }
}

TEST(ExitStatus, AnUnknownDeviceNameIsBadUsage) {
    REQUIRE_CLI();
    CliRig rig;
    ProcessResult r = rig.Run({"--device", "ATmega99", "check"});
    ASSERT_TRUE(ExitedWith(r, 2));
    EXPECT_TRUE(Contains(SplitLines(r.err).front(), "ATmega99")) << r.err;

    ProcessResult known = rig.Run({"--device", "ATmega8", "check"});
    ASSERT_TRUE(ExitedWith(known, 0));
    EXPECT_EQ(known.out, "ATmega8\n");
}

TEST(ExitStatus, HelpIsZeroAndNamesEveryCommand) {
    REQUIRE_CLI();
    CliRig rig;
    ProcessResult r = rig.RunBare({"--help"});
    ASSERT_TRUE(ExitedWith(r, 0));
    const char* const names[] = {"check",
                                 "signature",
                                 "reset",
                                 "erase",
                                 "erase-eeprom",
                                 "lock",
                                 "read",
                                 "readhex",
                                 "write",
                                 "verify",
                                 "quick",
                                 "fuses",
                                 "--set",
                                 "--allow-lockout",
                                 "--pause",
                                 "--no-pause",
                                 "--virtual-clock",
                                 "--sim-chip",
                                 "--sim-clock",
                                 "--sim-port-ns",
                                 "--sim-board",
                                 "--sim-hv-restore",
                                 "--factory",
                                 "--yes"};
    for (const char* command : names)
        EXPECT_TRUE(Contains(r.out, command)) << command;
    // The usage line names what the user types, not the catch-all for stray words.
    EXPECT_TRUE(Contains(r.out, "Usage: ostrel-cli [OPTIONS] COMMAND [FILE]\n")) << r.out;
    EXPECT_TRUE(Contains(r.out, "\nCommands:\n")) << r.out;
}

// Options may stand before or after the command, and after its FILE; an
// option given twice takes its last value; each command has a help of its own.
TEST(ExitStatus, OptionsMayFollowTheCommandAndEachCommandHasItsHelp) {
    REQUIRE_CLI();
    CliRig rig("ATmega8");
    std::string hex = rig.CopyIn("examples/blink-atmega8.hex");
    struct Case {
        std::vector<std::string> args;  // after --dir <dir>
        std::string out;
    };
    const std::vector<Case> cases = {
        {{"check", "--port", "SIM", "--virtual-clock", "--no-pause"}, "ATmega8\n"},
        {{"--port", "COM1", "--port", "SIM", "--virtual-clock", "--no-pause", "check"},
         "ATmega8\n"},
        {{"--port", "SIM", "write", hex, "--yes", "--virtual-clock", "--no-pause"}, "OK\n"},
        {{"--port", "SIM", "--virtual-clock", "verify", "--no-pause", hex}, "OK\n"},
        // The fuses by name, written as the example script writes them.
        {{"--port", "SIM", "--virtual-clock", "--no-pause", "fuses", "--set", "CKSEL=4,SUT=2"},
         "low      0xE4\n"
         "  BODLEVEL=1  brown-out level: brown-out level 2.7 V (when BODEN is programmed)\n"
         "  BODEN=1  unprogrammed (programmed: brown-out detector on)\n"
         "  SUT=0x02  start-up time: slow rising power, longest start-up delay\n"
         "  CKSEL=0x04  clock source: internal 8 MHz RC oscillator\n"
         "high     0xD9\n"
         "  RSTDISBL=1  unprogrammed (programmed: RESET pin becomes a port pin (only "
         "high-voltage programming recovers))\n"
         "  WDTON=1  unprogrammed (programmed: watchdog always on)\n"
         "  SPIEN=0  programmed: serial programming enabled (unprogrammed: this programmer can "
         "no longer reach the chip)\n"
         "  CKOPT=1  unprogrammed (programmed: full-swing oscillator (crystals above 8 MHz))\n"
         "  EESAVE=1  unprogrammed (programmed: EEPROM kept through chip erase)\n"
         "  BOOTSZ=0x00  boot section of 1024 words at word address 0xC00\n"
         "  BOOTRST=1  unprogrammed (programmed: start at the boot section after reset)\n"
         "lock     0xFF\n"
         "  BLB1=0x03  boot section lock: no lock on this section\n"
         "  BLB0=0x03  application section lock: no lock on this section\n"
         "  LB=0x03  memory lock: no memory lock\n"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{"--dir", rig.dir.str()};
        args.insert(args.end(), c.args.begin(), c.args.end());
        ProcessResult r = rig.RunBare(args);
        SCOPED_TRACE(r.command);
        ASSERT_TRUE(ExitedWith(r, 0)) << r.err;
        EXPECT_EQ(r.out, c.out);
    }
    ProcessResult refused = rig.RunBare({"--dir", rig.dir.str(), "--port", "SIM", "--virtual-clock",
                                         "--no-pause", "fuses", "--set", "RSTDISBL=0", "--yes"});
    EXPECT_TRUE(ExitedWith(refused, 1)) << refused.err;
    EXPECT_TRUE(Contains(refused.err, "RSTDISBL programmed")) << refused.err;
    ProcessResult after = rig.RunBare(
        {"--dir", rig.dir.str(), "--port", "SIM", "--virtual-clock", "--no-pause", "fuses"});
    EXPECT_TRUE(Contains(after.out, "high     0xD9\n")) << "the refused write was not sent";
    for (const char* command : {"check", "write", "cable-test"}) {
        ProcessResult r = rig.RunBare({command, "--help"});
        SCOPED_TRACE(r.command);
        ASSERT_TRUE(ExitedWith(r, 0));
        EXPECT_TRUE(Contains(r.out, command)) << r.out;
        EXPECT_EQ(Contains(r.out, "FILE"), std::string(command) == "write") << r.out;
    }
}

// Every rule of the fuse guard has its consequence on the simulated chip:
// the write the guard refuses or asks about is made with the option that
// insists, and from the next command on the chip answers no more (or on
// another clock) until the board or a high-voltage programmer gives it back;
// without the option nothing changes. --factory then restores the fuses.
TEST(FuseConsequences, AGuardedWriteForcedShowsOnTheNextCommandAndIsUndone) {
    REQUIRE_CLI();
    struct Case {
        const char* chip;
        std::vector<std::string> set;  // fuses --set ...
        int setExit;
        std::string setErr;             // in the fuses command's stderr
        int nextExit;                   // check, right after
        std::vector<std::string> back;  // what makes check answer again; empty: nothing needed
    };
    const std::vector<Case> cases = {
        {"ATmega8", {"RSTDISBL=0", "--allow-lockout"}, 0, "", 1, {"--sim-hv-restore"}},
        {"ATmega8", {"RSTDISBL=0", "--yes"}, 1, "Refused", 0, {}},
        {"ATmega328P", {"DWEN=0", "--allow-lockout"}, 0, "", 1, {"--sim-hv-restore"}},
        {"ATtiny13", {"RSTDISBL=0", "--allow-lockout"}, 0, "", 1, {"--sim-hv-restore"}},
        {"ATtiny2313", {"DWEN=0", "--allow-lockout"}, 0, "", 1, {"--sim-hv-restore"}},
        // The older chips keep SPIEN and RSTDISBL in their one fuse byte.
        {"ATtiny12", {"RSTDISBL=0", "--allow-lockout"}, 0, "", 1, {"--sim-hv-restore"}},
        {"ATtiny15", {"RSTDISBL=0", "--yes"}, 1, "Refused", 0, {}},
        {"ATmega163", {"CKSEL=0", "--yes"}, 0, "", 1, {"--sim-board", "external"}},
        // SPIEN cannot be reached over serial programming: the read-back says so.
        {"ATmega8", {"SPIEN=1", "--allow-lockout"}, 1, "reads 0xD9 where 0xF9", 0, {}},
        {"ATmega8", {"CKSEL=0", "--yes"}, 0, "", 1, {"--sim-board", "external"}},
        {"ATmega8", {"CKSEL=0"}, 1, "", 0, {}},                // asked, and no terminal answers
        {"ATmega328P", {"CKSEL=0xF", "--yes"}, 0, "", 0, {}},  // the board has a crystal
        {"ATmega328P", {"CKDIV8=1", "--yes"}, 0, "", 0, {}},
        // Speed Auto (a new start directory's) follows the chip to 16 kHz.
        {"ATmega328P", {"low=0x63", "--yes"}, 0, "", 0, {}},
        // The AT90S chips write their fuse bits in the second byte; SPIEN has
        // no place there. The AT90S2343 takes RCEN at power-up, which each
        // run of the console is for the simulated chip.
        {"AT90S4433", {"CKSEL=0", "--yes"}, 0, "", 1, {"--sim-board", "external"}},
        {"AT90S4433", {"SPIEN=1", "--allow-lockout"}, 1, "cannot be changed by serial", 0, {}},
        {"AT90S2333", {"BODEN=0"}, 0, "", 0, {}},
        {"AT90S2343", {"RCEN=1", "--yes"}, 0, "", 1, {"--sim-board", "external"}},
        {"ATtiny22", {"RCEN=1"}, 1, "", 0, {}},  // asked, and no terminal answers
        {"AT90S8535", {"FSTRT=0"}, 0, "", 0, {}},
        {"ATtiny12", {"LB=2", "--yes"}, 0, "", 0, {}},  // lock mode 2: reading still works
    };
    for (const Case& c : cases) {
        CliRig rig(c.chip);
        std::vector<std::string> set{"fuses", "--set"};
        set.insert(set.end(), c.set.begin(), c.set.end());
        ProcessResult first = rig.Run(set);
        SCOPED_TRACE(first.command);
        EXPECT_TRUE(ExitedWith(first, c.setExit)) << first.err;
        EXPECT_TRUE(Contains(first.err, c.setErr)) << first.err;
        ProcessResult next = rig.Run({"check"});
        EXPECT_TRUE(ExitedWith(next, c.nextExit)) << next.out << next.err;
        if (c.back.empty())
            continue;
        std::vector<std::string> back = c.back;
        back.emplace_back("check");
        ProcessResult again = rig.Run(back);
        EXPECT_TRUE(ExitedWith(again, 0)) << again.err;
        EXPECT_EQ(again.out, std::string(c.chip) + "\n");
        std::vector<std::string> factory = c.back;
        factory.insert(factory.end(), {"fuses", "--factory", "--yes"});
        ProcessResult restored = rig.Run(factory);
        EXPECT_TRUE(ExitedWith(restored, 0)) << restored.err;
        ProcessResult last = rig.Run({"check"});
        EXPECT_TRUE(ExitedWith(last, 0)) << "the factory fuses answer on every board: " << last.err;
    }
}

TEST(ExitStatus, AVerifyAgainstAnotherFileIsOneWithTheMismatchOnStderr) {
    REQUIRE_CLI();
    CliRig rig("ATmega8");
    std::string blink = rig.CopyIn("examples/blink-atmega8.hex");
    std::string hello = rig.CopyIn("examples/hello-atmega8.hex");
    ASSERT_TRUE(ExitedWith(rig.Run({"--yes", "write", blink}), 0));

    // Nobody to ask: the first mismatch is answered Cancel.
    ProcessResult cancelled = rig.Run({"verify", hello});
    ASSERT_TRUE(ExitedWith(cancelled, 1));
    EXPECT_TRUE(Contains(cancelled.err, "Verify failed at Adr: ")) << cancelled.err;
    EXPECT_EQ(SplitLines(cancelled.err).back(), "Cancelled.");

    // Every mismatch passed with OK still does not make the verify a success.
    ProcessResult passed = rig.Run({"--yes", "verify", hello});
    ASSERT_TRUE(ExitedWith(passed, 1));
    const std::string last = SplitLines(passed.err).back();
    EXPECT_TRUE(last.ends_with(" mismatches passed")) << last;
    EXPECT_GT(std::atoi(last.c_str()), 0) << last;

    EXPECT_TRUE(ExitedWith(rig.Run({"verify", blink}), 0)) << "verify wrote nothing";
}

TEST(ExitStatus, AFuseScriptForAnotherChipFailsTheWrite) {
    REQUIRE_CLI();
    CliRig rig("AT90S2313");
    std::string hex = rig.CopyIn("examples/hello-atmega8.hex");
    std::string script = rig.CopyIn("examples/hello-atmega8.scr");
    ProcessResult r = rig.Run({"--yes", "write", hex});
    ASSERT_TRUE(ExitedWith(r, 1));
    EXPECT_TRUE(Contains(r.err, "50 00 00 E4")) << "names the script line that failed\n" << r.err;
    EXPECT_FALSE(Contains(r.err, "F+L Bits programmed")) << r.err;
}

// --- questions -------------------------------------------------------------------

TEST(Questions, EraseWithoutYesOrTerminalIsCancelledAndErasesNothing) {
    REQUIRE_CLI();
    CliRig rig("ATmega8");
    std::string hex = rig.CopyIn("examples/blink-atmega8.hex");
    ASSERT_TRUE(ExitedWith(rig.Run({"--yes", "write", hex}), 0));

    ProcessResult r = rig.Run({"erase"});
    ASSERT_TRUE(ExitedWith(r, 1));
    EXPECT_TRUE(Contains(r.err, "[Warning!] This Command Deletes Memory!")) << r.err;
    EXPECT_TRUE(Contains(r.err, "--yes")) << "says how to answer OK\n" << r.err;
    EXPECT_EQ(SplitLines(r.err).back(), "Cancelled.");
    EXPECT_TRUE(ExitedWith(rig.Run({"verify", hex}), 0)) << "the program is still there";

    ASSERT_TRUE(ExitedWith(rig.Run({"--yes", "erase"}), 0));
    EXPECT_TRUE(ExitedWith(rig.Run({"verify", hex}), 1)) << "now it is gone";
}

TEST(Questions, EraseOfALockedChipWithoutYesLeavesItLocked) {
    REQUIRE_CLI();
    CliRig rig("AT90S2313");
    ASSERT_TRUE(ExitedWith(rig.Run({"lock"}), 0));
    ASSERT_TRUE(ExitedWith(rig.Run({"erase"}), 1));
    ProcessResult check = rig.Run({"check"});
    ASSERT_TRUE(ExitedWith(check, 1));
    EXPECT_TRUE(Contains(check.err, "Device locked!")) << check.err;
}

TEST(Questions, EepromEraseWithoutYesKeepsTheData) {
    REQUIRE_CLI();
    CliRig rig("ATmega8");
    std::string eep = rig.CopyIn("examples/eecount-atmega8.eep");
    ASSERT_TRUE(ExitedWith(rig.Run({"--yes", "write", eep}), 0));

    ProcessResult r = rig.Run({"erase-eeprom"});
    ASSERT_TRUE(ExitedWith(r, 1));
    EXPECT_TRUE(Contains(r.err, "Deletes Data Memory!")) << r.err;
    EXPECT_TRUE(ExitedWith(rig.Run({"verify", eep}), 0));

    ASSERT_TRUE(ExitedWith(rig.Run({"--yes", "erase-eeprom"}), 0));
    ASSERT_TRUE(ExitedWith(rig.Run({"read"}), 0));
    DumpImage dump = ParseDump(rig.dir.Read("readback.txt"));
    ASSERT_TRUE(dump.valid) << dump.problem;
    EXPECT_EQ(CompareImages(ErasedWith(512, {}), dump.eeprom), "");
}

TEST(Questions, AChecksumErrorIsAskedAboutAndCancelWritesNothing) {
    REQUIRE_CLI();
    CliRig rig("ATmega8");
    std::string blink = rig.CopyIn("examples/blink-atmega8.hex");
    ASSERT_TRUE(ExitedWith(rig.Run({"--yes", "write", blink}), 0));

    // hello with the checksum of its first record spoiled; the records stay usable.
    std::string text = ReadFileBytes(SourcePath("examples/hello-atmega8.hex"));
    size_t end = text.find('\n');
    ASSERT_NE(end, std::string::npos);
    size_t sum = text[end - 1] == '\r' ? end - 3 : end - 2;
    text[sum] = text[sum] == '0' ? '1' : '0';
    std::string bad = rig.dir.Write("bad-sum.hex", text);

    ProcessResult r = rig.Run({"write", bad});
    ASSERT_TRUE(ExitedWith(r, 1));
    EXPECT_TRUE(Contains(r.err, "[Warning!] Checksum wrong, continue!")) << r.err;
    EXPECT_TRUE(ExitedWith(rig.Run({"verify", blink}), 0)) << "the chip was not touched";

    // Told to go on, the records are written as they stand.
    ASSERT_TRUE(ExitedWith(rig.Run({"--yes", "write", bad}), 0));
    EXPECT_EQ(CompareImages(ErasedWith(8192, ParseHexImage(text)), rig.ReadHex()), "");
}

// The parser of readback.txt that the comparisons rely on.
TEST(DumpParser, ReadsBothSectionsAndRefusesWhatIsNotADump) {
    const std::string dump =
        "FLASH-Memory:\r\n\r\n"
        "0000: 0C94 3400 FFFF FFFF FFFF FFFF FFFF 1234\r\n"
        "0008: FFFF FFFF FFFF FFFF FFFF FFFF FFFF FFFF\r\n\r\n\r\n"
        "EEPROM-Memory:\r\n\r\n"
        "0000: 0F 00 00 65 65 63 6F 75\r\n"
        "0008: 6E 74 00 FF FF FF FF FF";
    DumpImage image = ParseDump(dump);
    ASSERT_TRUE(image.valid) << image.problem;
    EXPECT_EQ(image.flash.size(), 32u);
    EXPECT_EQ(image.flash[0], 0x94);
    EXPECT_EQ(image.flash[1], 0x0C);
    EXPECT_EQ(image.flash[2], 0x00);
    EXPECT_EQ(image.flash[3], 0x34);
    EXPECT_EQ(image.flash[14], 0x34);
    EXPECT_EQ(image.flash[15], 0x12);
    EXPECT_EQ(image.eeprom.size(), 16u);
    EXPECT_EQ(image.eeprom[3], 0x65);
    EXPECT_EQ(image.eeprom[10], 0x00);
    EXPECT_EQ(image.eeprom[15], 0xFF);

    std::string skipped = dump;
    skipped.replace(skipped.find("0008:"), 5, "0010:");
    EXPECT_FALSE(ParseDump(skipped).valid) << "addresses must follow on";
    EXPECT_FALSE(ParseDump(dump.substr(0, dump.find("EEPROM"))).valid);
    std::string broken = dump;
    broken.replace(broken.find("3400"), 4, "34G0");
    EXPECT_FALSE(ParseDump(broken).valid);
}

}  // namespace
}  // namespace ostrel::testing

namespace ostrel::testing {
namespace {

// --- the stored port and the start directory --------------------------------

TEST(ExitStatus, TheStoredPortAndTheStartDirectoryDecideTheRun) {
    REQUIRE_CLI();
    struct Case {
        const char* name;
        std::string cfg;                // ostrel.cfg before the run ("" : none)
        std::vector<std::string> args;  // after --dir <dir>
        int status;
        std::string out;       // standard output, exactly
        std::string errHas;    // a part of standard error ("" : anything)
        std::string cfgAfter;  // the first four bytes of ostrel.cfg after the run
    };
    const std::string sim(
        "SIM\0\0\0"
        "3",
        7);
    const std::vector<Case> cases = {
        {"stored SIM",
         sim,
         {"--virtual-clock", "--no-pause", "check"},
         0,
         "ATmega8\n",
         "",
         std::string("SIM\0", 4)},
        {"stored SIM, signature",
         sim,
         {"--virtual-clock", "--no-pause", "signature"},
         0,
         SignatureReport("1E", "93", "07"),
         "",
         std::string("SIM\0", 4)},
        {"--virtual-clock without a SIM port",
         "COM1",
         {"--virtual-clock", "check"},
         2,
         "",
         "--virtual-clock",
         "COM1"},
        // A name that is no port is replaced by the default and never saved
        // again.
        {"stored COM9", "COM9", {"--no-pause", "check"}, 1, "", "", ""},
        {"stored Com1", "Com1", {"--no-pause", "check"}, 1, "", "", ""},
        // The file that is not there is named before anything is opened,
        // loaded or saved: the settings file stays as it was.
        {"stored COM9, a missing file",
         "COM9",
         {"--no-pause", "verify", "gone.hex"},
         1,
         "",
         "gone.hex",
         "COM9"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CliRig rig;
        if (!c.cfg.empty())
            rig.dir.Write("ostrel.cfg", c.cfg);
        std::vector<std::string> args{"--dir", rig.dir.str()};
        args.insert(args.end(), c.args.begin(), c.args.end());
        ProcessResult r = rig.RunBare(args);
        ASSERT_TRUE(ExitedWith(r, c.status));
        EXPECT_EQ(r.out, c.out);
        EXPECT_TRUE(Contains(r.err, c.errHas)) << r.err;
        EXPECT_FALSE(Contains(r.err, "driver access")) << r.err;
        std::string port = rig.dir.Read("ostrel.cfg").substr(0, 4);
        if (c.cfgAfter.empty()) {
            EXPECT_TRUE(port == "COM2" || port == "0378") << "the default, not " << port;
        } else {
            EXPECT_EQ(port, c.cfgAfter);
        }
    }
}

TEST(StartDirectory, AStartDirectoryTooLongToHoldIsRefused) {
    REQUIRE_CLI();
    CliRig rig;
    // Two folders of 150 characters: too long a path for the start directory.
    std::filesystem::path deep = rig.dir.path() / std::string(150, 'd') / std::string(150, 'e');
    std::filesystem::create_directories(deep);
    std::filesystem::copy_file(rig.dir.File("ostrel.ini"), deep / "ostrel.ini");
    ProcessResult r = rig.RunBare(
        {"--dir", deep.string(), "--port", "SIM", "--virtual-clock", "--no-pause", "check"});
    ASSERT_TRUE(ExitedWith(r, 1));
    EXPECT_TRUE(Contains(r.err, "too long")) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(std::filesystem::exists(deep / "ostrel.cfg")) << "nothing was started";
    EXPECT_FALSE(std::filesystem::exists(rig.dir.File("ostrel.cfg"))) << "nor in another folder";
}

// --- tried as a hostile new user would -----------------------------------------

// Runs that a user breaks off, makes at the same time as another, points at
// things that are no files, or gives a full disk or a closed output: each
// ends as it says, touches nothing it should not, and never hangs.
// Signals, terminals, FIFOs and file size limits: what a POSIX system does
// to a run.
#ifndef _WIN32
// How often `part` stands in `text`.
std::size_t Occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

TEST(HostileRuns, EachEndsAsItSaysAndLeavesNothingHalfDone) {
    REQUIRE_CLI();
    using Check = std::function<void(CliRig&, const ProcessResult&)>;
    struct Case {
        const char* name;
        std::function<void(CliRig&)> setup;  // after the chip holds the blink example
        std::vector<std::string> args;       // after --port SIM ... --sim-chip ATmega8
        ProcessOptions options;
        int status;
        std::vector<std::string> errHas;
        std::vector<std::string> outHas;  // each in stdout; {""}: stdout must be empty
        Check after = nullptr;
        // Run without --sim-chip, as a user starts a run on a start
        // directory whose simulated chip is already there.
        bool bare = false;
        // Programs put in front (prlimit to limit the file size).
        std::vector<std::string> prefix = {};
    };
    const std::string hexName = "blink-atmega8.hex";
    auto unchanged = [](CliRig& rig, const ProcessResult&) {
        EXPECT_TRUE(ExitedWith(rig.Run({"verify", rig.dir.File("blink-atmega8.hex")}), 0))
            << "the chip still holds its program";
    };
    auto noLeftovers = [](CliRig& rig, const ProcessResult&) {
        for (const auto& entry : std::filesystem::directory_iterator(rig.dir.path())) {
            const std::string name = entry.path().filename().string();
            EXPECT_FALSE(name.ends_with(".part") || name == "hex.tmp") << name << " left behind";
        }
    };
    auto signalled = [](int signal, const char* when = "") {
        ProcessOptions o;
        o.signal = signal;
        o.signalWhen = when;
        return o;
    };
    auto typed = [](const std::string& input) {
        ProcessOptions o;
        o.terminalInput = input;
        return o;
    };
    const ProcessOptions interrupt = signalled(SIGINT);
    const ProcessOptions terminate = signalled(SIGTERM);
    const ProcessOptions hangUp = signalled(SIGHUP);
    ProcessOptions ctrlCAtQuestion = signalled(SIGINT, "OK or Cancel?");
    ctrlCAtQuestion.terminalInput = "";
    ProcessOptions fullOutput;
    fullOutput.stdoutPath = "/dev/full";
    const std::vector<Case> cases = {
        // A verify that differs, with nobody to ask and only results printed:
        // one line with the count and the first addresses, no box per byte.
        {"a quiet verify of another file",
         [](CliRig& rig) { rig.CopyIn("examples/hello-atmega8.hex"); },
         {"--quiet", "--yes", "verify", "hello-atmega8.hex"},
         {},
         1,
         {"Verify failed: ", " bytes differ from the file, at "},
         {""},
         [](CliRig&, const ProcessResult& r) {
             EXPECT_FALSE(Contains(r.err, "Verify failed at Adr")) << r.err;
             EXPECT_LE(SplitLines(r.err).size(), 3u) << r.err;
         }},
        // Read into a file the user names; one that is no file is refused
        // before the chip is read.
        {"read into a named file",
         nullptr,
         {"read", "out.txt"},
         {},
         0,
         {},
         {"out.txt\n"},
         [](CliRig& rig, const ProcessResult&) {
             EXPECT_TRUE(rig.dir.Read("out.txt").starts_with("FLASH-Memory:"));
             EXPECT_EQ(rig.dir.Read("readback.txt"), "earlier\r\n");
         }},
        {"readhex into a FIFO",
         [](CliRig& rig) { ASSERT_EQ(::mkfifo(rig.dir.File("out.fifo").c_str(), 0600), 0); },
         {"readhex", "out.fifo"},
         {},
         1,
         {"open error output file!", "named pipe", "Nothing was read from the chip."},
         {""}},
        // The program's own files are no place for a copy of the chip: the
        // state file would lose the chip (and its lock), the device file
        // every later run. Also under another name of the same file.
        {"readhex into the simulator's state file",
         [](CliRig& rig) { rig.dir.Write("state.before", rig.dir.Read("ostrel-sim.state")); },
         {"readhex", "ostrel-sim.state"},
         {},
         1,
         {"ostrel-sim.state is a file of the program's own", "Nothing was read from the chip."},
         {""},
         [](CliRig& rig, const ProcessResult&) {
             EXPECT_EQ(rig.dir.Read("ostrel-sim.state"), rig.dir.Read("state.before"));
         }},
        {"read into the device file",
         nullptr,
         {"read", "ostrel.ini"},
         {},
         1,
         {"ostrel.ini is a file of the program's own"},
         {""},
         [](CliRig& rig, const ProcessResult&) {
             EXPECT_TRUE(ExitedWith(rig.Run({"check"}), 0)) << "the device file is as it was";
         }},
        {"readhex into a second name of the state file",
         [](CliRig& rig) {
             std::filesystem::create_hard_link(rig.dir.File("ostrel-sim.state"),
                                               rig.dir.File("out.hex"));
         },
         {"readhex", "out.hex"},
         {},
         1,
         {"ostrel-sim.state is a file of the program's own"},
         {""},
         unchanged},
        // Interrupts: the command stops at its next step, the target is let
        // go, the chip's state is told, and the status is the signal's.
        {"Ctrl-C",
         nullptr,
         {"--yes", "write", hexName},
         interrupt,
         130,
         {"interrupted (Ctrl-C)", "[Error] Stopped: "},
         {""},
         noLeftovers},
        {"a termination request",
         nullptr,
         {"read"},
         terminate,
         143,
         {"interrupted (a termination request)",
          "Stopped: the chip is unchanged, and readback.txt is as it was."},
         {""},
         [](CliRig& rig, const ProcessResult&) {
             EXPECT_EQ(rig.dir.Read("readback.txt"), "earlier\r\n");
         }},
        {"a closed terminal",
         nullptr,
         {"check"},
         hangUp,
         129,
         {"interrupted (the terminal closing)", "Stopped: the chip is unchanged"},
         {""}},
        {"a termination request during the cable test",
         nullptr,
         {"cable-test"},
         terminate,
         143,
         {"interrupted (a termination request)",
          "Stopped: the cable test did not finish; the chip is unchanged."},
         {"end: RESET high (target runs)"},
         unchanged},
        {"Ctrl-C at a question",
         nullptr,
         {"erase"},
         ctrlCAtQuestion,
         130,
         {"This Command Deletes Memory!", "interrupted (Ctrl-C)", "nothing more was sent"},
         {""},
         unchanged},
        // Stopped before anything that changes the chip was sent: told so,
        // and the chip holds its program, not the one the write was for.
        {"Ctrl-C before the write has sent anything",
         [](CliRig& rig) { rig.CopyIn("examples/hello-atmega8.hex"); },
         {"--yes", "write", "hello-atmega8.hex"},
         interrupt,
         130,
         {"Stopped: nothing had been written yet; the chip is unchanged."},
         {""},
         unchanged},
        // A read stopped into a file the user named names that file.
        {"a termination request while reading into a named file",
         nullptr,
         {"read", "out.txt"},
         terminate,
         143,
         {"Stopped: the chip is unchanged, and out.txt is as it was."},
         {""},
         [](CliRig& rig, const ProcessResult&) {
             EXPECT_FALSE(std::filesystem::exists(rig.dir.File("out.txt")));
         }},
        // Answers at the terminal: the whole line is the answer.
        {"a long line, then yes",
         nullptr,
         {"erase-eeprom"},
         typed(std::string(40, 'c') + "\nyes\n"),
         0,
         {"OK or Cancel?"},
         {"OK\n"}},
        {"no", nullptr, {"erase"}, typed("no\n"), 1, {"Cancelled."}, {""}, unchanged},
        // One program per chip.
        {"the chip in use by another program",
         [](CliRig& rig) {
             static std::optional<FileLock> held;
             held = FileLock::TryLock(rig.dir.File("ostrel-sim.state"), nullptr);
             ASSERT_TRUE(held.has_value());
             rig.dir.Write("ostrel.cfg.before", rig.dir.Read("ostrel.cfg"));
         },
         {"--yes", "write", hexName},
         {},
         1,
         {"is in use by the process " + std::to_string(::getpid())},
         {""},
         [](CliRig& rig, const ProcessResult&) {
             EXPECT_EQ(rig.dir.Read("ostrel.cfg"), rig.dir.Read("ostrel.cfg.before"));
         }},
        // A usage error touches nothing: not the stored chip, not the settings.
        {"an unknown --device",
         [](CliRig& rig) {
             rig.dir.Write("state.before", rig.dir.Read("ostrel-sim.state"));
             rig.dir.Write("ostrel.cfg.before", rig.dir.Read("ostrel.cfg"));
         },
         {"--device", "NoSuch", "check"},
         {},
         2,
         {"ostrel.ini lists no device 'NoSuch'"},
         {""},
         [](CliRig& rig, const ProcessResult&) {
             EXPECT_EQ(rig.dir.Read("ostrel-sim.state"), rig.dir.Read("state.before"));
             EXPECT_EQ(rig.dir.Read("ostrel.cfg"), rig.dir.Read("ostrel.cfg.before"));
         },
         true},
        // A name that is nearly right is answered with the names nearest to it.
        {"a --device name nearly right",
         nullptr,
         {"--device", "ATtiny8", "check"},
         {},
         2,
         {"ostrel.ini lists no device 'ATtiny8'; nearest: ATtiny85, ATtiny84/84A, "
          "ATtiny861/861A, ATtiny88, ATtiny841"},
         {""},
         nullptr,
         true},
        {"a --sim-chip name nearly right",
         nullptr,
         {"--sim-chip", "ATmega32U", "check"},
         {},
         2,
         {"the simulator knows no chip 'ATmega32U'; nearest: ATmega32U4, ATmega32U2"},
         {""},
         nullptr,
         true},
        // Without --sim-chip the stored chip stays.
        {"the stored chip without --sim-chip",
         [](CliRig& rig) {
             ASSERT_TRUE(ExitedWith(rig.Run({"--sim-chip", "AT90S2313", "check"}), 0));
         },
         {"check"},
         {},
         0,
         {},
         {"AT90S2313\n"},
         nullptr,
         true},
        // A hand-chosen device that differs from the chip is asked about
        // once a command, though a write connects again after the erase.
        {"a hand-chosen device of the same geometry",
         nullptr,
         {"--device", "ATmega88", "--yes", "write", hexName},
         {},
         0,
         {"Go on as ATmega88?"},
         {"OK\n"},
         [](CliRig&, const ProcessResult& r) {
             EXPECT_EQ(Occurrences(r.err, "Go on as ATmega88?"), 1u) << r.err;
         }},
        {"a hand-chosen device refused for a read",
         nullptr,
         {"--device", "ATmega2560", "readhex"},
         {},
         1,
         {"The chip answers as ATmega8, not as ATmega2560 chosen by hand: nothing was read or "
          "written."},
         {""}},
        // Options that ask for something the command does not do are
        // refused, not dropped with an "OK" at the end.
        {"fuse edits given to check",
         nullptr,
         {"--set", "low=0xFF", "check"},
         {},
         2,
         {"--set does nothing for check; it is an option of fuses"},
         {""}},
        {"--eep given to verify",
         nullptr,
         {"--eep", "verify", hexName},
         {},
         2,
         {"--eep does nothing for verify; it is an option of write, quick"},
         {""}},
        {"--factory given to write",
         [](CliRig& rig) { rig.CopyIn("examples/hello-atmega8.hex"); },
         {"--factory", "--yes", "write", "hello-atmega8.hex"},
         {},
         2,
         {"--factory does nothing for write; it is an option of fuses"},
         {""},
         unchanged},
        // Fuses: two values for one bit write nothing; a chip that no longer
        // answers is told once, with its hint once.
        {"two values for one fuse bit",
         nullptr,
         {"fuses", "--set", "low=0xE4,CKSEL=1"},
         {},
         1,
         {"\"low=0xE4\" and \"CKSEL=1\" give bits of the low byte two values",
          "Nothing was written."},
         {""},
         [](CliRig& rig, const ProcessResult&) {
             EXPECT_TRUE(Contains(rig.Run({"fuses"}).out, "low      0xE1"));
         }},
        {"fuses of a chip locked out",
         [](CliRig& rig) {
             ASSERT_TRUE(
                 ExitedWith(rig.Run({"fuses", "--set", "RSTDISBL=0", "--allow-lockout"}), 0));
         },
         {"fuses"},
         {},
         1,
         {"No Connection!"},
         {""},
         [](CliRig&, const ProcessResult& r) {
             EXPECT_EQ(Occurrences(r.err, "Check the cable"), 1u) << r.err;
         }},
        // A script whose line the guard refuses is refused before the chip
        // is erased, not after the write.
        {"a script that would disable RESET",
         [](CliRig& rig) {
             rig.CopyIn("examples/hello-atmega8.hex");
             rig.dir.Write("hello-atmega8.scr", "AC A0 00 E4\nAC A8 00 59\n");
         },
         {"--yes", "write", "hello-atmega8.hex"},
         {},
         1,
         {"hello-atmega8.scr, line 2: RSTDISBL programmed", "Nothing was written to the chip."},
         {""},
         unchanged},
        // What the guard asks about a fuse write is asked for a script too,
        // before the chip is touched: nobody to answer, nothing written.
        {"a script that makes the chip wait for an external clock",
         [](CliRig& rig) {
             rig.CopyIn("examples/hello-atmega8.hex");
             rig.dir.Write("hello-atmega8.scr", "; external clock\nAC A0 00 E0\n");
         },
         {"write", "hello-atmega8.hex"},
         {},
         1,
         {"hello-atmega8.scr, line 2: The clock source becomes external clock", "Cancelled."},
         {""},
         unchanged},
        // A locked chip takes no fuse write: told so before anything is sent,
        // not as a read-back that differs.
        {"fuse edits on a locked chip",
         [](CliRig& rig) { ASSERT_TRUE(ExitedWith(rig.Run({"lock"}), 0)); },
         {"fuses", "--set", "BOOTRST=0"},
         {},
         1,
         {"The chip is locked (lock mode 3: LB1 and LB2 programmed) and takes no write"},
         {""},
         [](CliRig&, const ProcessResult& r) {
             EXPECT_FALSE(Contains(r.err, "was expected")) << r.err;
         }},
        // Files that are no HEX file are named for what they are.
        {"EEPROM data in a flash file",
         [](CliRig& rig) {
             rig.dir.Write("out.hex",
                           ":020000000C945E\n:02000004008179\n:02000000AABB99\n"
                           ":00000001FF\n");
         },
         {"--yes", "write", "out.hex"},
         {},
         1,
         {"out.hex, line 2: EEPROM data (address 0x810000) in a flash file"},
         {""},
         unchanged},
        {"a readback dump under another name",
         [](CliRig& rig) {
             ASSERT_TRUE(ExitedWith(rig.Run({"read", rig.dir.File("out.txt")}), 0));
         },
         {"--yes", "write", "out.txt"},
         {},
         1,
         {"out.txt, line 1: the file is a readback dump"},
         {""},
         unchanged},
        // Things that are no files, refused at once, never waited on.
        {"ostrel.cfg is a FIFO",
         [](CliRig& rig) {
             std::filesystem::remove(rig.dir.File("ostrel.cfg"));
             ASSERT_EQ(::mkfifo(rig.dir.File("ostrel.cfg").c_str(), 0600), 0);
         },
         {"check"},
         {},
         0,
         {"ostrel.cfg in", "named pipe (FIFO)"},
         {"ATmega8\n"}},
        {"ostrel.ini is a FIFO",
         [](CliRig& rig) {
             std::filesystem::remove(rig.dir.File("ostrel.ini"));
             ASSERT_EQ(::mkfifo(rig.dir.File("ostrel.ini").c_str(), 0600), 0);
         },
         {"check"},
         {},
         1,
         {"Open Error 'ostrel.ini !'", "named pipe (FIFO)"},
         {""}},
        {"the data file is a FIFO",
         [](CliRig& rig) { ASSERT_EQ(::mkfifo(rig.dir.File("fifo.hex").c_str(), 0600), 0); },
         {"verify", "fifo.hex"},
         {},
         1,
         {"Open Error! Cannot open ", "fifo.hex: it is a named pipe (FIFO), not a file."},
         {""}},
        {"a missing file says why",
         nullptr,
         {"verify", "gone.hex"},
         {},
         1,
         {"Open Error! Cannot open ", "gone.hex: No such file or directory."},
         {""}},
        // Output that cannot be written.
        {"standard output is full",
         nullptr,
         {"check"},
         fullOutput,
         1,
         {"cannot write to standard output"},
         {}},
        {"a full disk while reading",
         nullptr,
         {"read"},
         {},
         1,
         {"readback.txt", "File too large"},
         {""},
         [](CliRig& rig, const ProcessResult& r) {
             EXPECT_EQ(rig.dir.Read("readback.txt"), "earlier\r\n") << r.err;
         },
         false,
         {"/usr/bin/prlimit", "--fsize=20000"}},
        {"a full disk while reading into a new file",
         nullptr,
         {"read", "out.txt"},
         {},
         1,
         {"Cannot write output file out.txt (File too large); no file of that name was left."},
         {""},
         [](CliRig& rig, const ProcessResult& r) {
             EXPECT_FALSE(std::filesystem::exists(rig.dir.File("out.txt"))) << r.err;
         },
         false,
         {"/usr/bin/prlimit", "--fsize=20000"}},
        // "OK" once, on standard output; the help of a command shows its options.
        {"OK once",
         nullptr,
         {"--yes", "erase"},
         {},
         0,
         {},
         {"OK\n"},
         [](CliRig&, const ProcessResult& r) {
             EXPECT_FALSE(Contains("\n" + r.err, "\nOK\n")) << r.err;
         }},
        {"the help of write",
         nullptr,
         {"write", "--help"},
         {},
         0,
         {},
         {"--no-erase", "--eep", "--yes", "--port", "--dir", "clears every EEPROM cell"}},
        {"the help of read",
         nullptr,
         {"read", "--help"},
         {},
         0,
         {},
         {"--port", "--device"},
         [](CliRig&, const ProcessResult& r) {
             EXPECT_FALSE(Contains(r.out, "--no-erase")) << r.out;
             EXPECT_FALSE(Contains(r.out, "--yes")) << r.out;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CliRig rig("ATmega8");
        const std::string hex = rig.CopyIn("examples/" + hexName);
        ASSERT_TRUE(ExitedWith(rig.Run({"--yes", "write", hex}), 0));
        rig.dir.Write("readback.txt", "earlier\r\n");
        if (c.setup)
            c.setup(rig);
        std::vector<std::string> args;
        if (c.bare) {
            args = {"--dir", rig.dir.str(), "--port", "SIM", "--virtual-clock", "--no-pause"};
        } else {
            args = {"--port", "SIM",         "--virtual-clock", "--no-pause",
                    "--dir",  rig.dir.str(), "--sim-chip",      "ATmega8"};
        }
        for (const std::string& a : c.args)
            args.push_back(a == hexName || a == "fifo.hex" || a == "gone.hex" ||
                                   a == "hello-atmega8.hex" || a.starts_with("out.") ||
                                   a.starts_with("ostrel")
                               ? rig.dir.File(a)
                               : a);
        ProcessOptions options = c.options;
        options.timeoutMs = 15000;
        ProcessResult r;
        if (c.prefix.empty()) {
            r = rig.RunBare(args, options);
        } else {
            std::vector<std::string> all(c.prefix.begin() + 1, c.prefix.end());
            all.push_back(CliProgram());
            all.insert(all.end(), args.begin(), args.end());
            r = RunProcess(c.prefix.front(), all, options);
            ExpectNoCrash(r);
        }
        EXPECT_TRUE(ExitedWith(r, c.status));
        for (const std::string& part : c.errHas)
            EXPECT_TRUE(Contains(r.err, part)) << "wanted: " << part << "\n" << r.err;
        for (const std::string& part : c.outHas) {
            if (part.empty()) {
                EXPECT_EQ(r.out, "");
            } else {
                EXPECT_TRUE(Contains(r.out, part)) << "wanted: " << part << "\n" << r.out;
            }
        }
        if (c.after)
            c.after(rig, r);
    }
}

#endif

}  // namespace
}  // namespace ostrel::testing
