// Every console command against every situation the simulated target can
// present: what the command answers, what the activity line says last, what
// the user is told, and what the chip holds afterwards. The commands run in
// process through app::OnCommand, as the console runs them with --yes (every
// question answered OK); the answer maps to the console's exit status (Ok 0,
// anything else 1).
//
// The chip starts holding the file the commands write and verify, with a
// pattern in its EEPROM, so that each kind of change shows: an erase blanks
// both memories, a write erases the EEPROM and programs the file again, and a
// command that must not touch the chip leaves the pattern.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "app/commands.h"
#include "core/ids.h"
#include "sim/chip_table.h"
#include "tests/support/hex_image.h"
#include "tests/support/result_name.h"
#include "tests/support/sim_rig.h"

namespace ostrel::testing {
namespace {

using app::CommandResult;
using sim::SimFault;

// What the chip holds after the command, against the memories it started with.
enum class Holds {
    Start,         // exactly what it held before
    Blank,         // flash and EEPROM all FF, lock bits clear
    FileOnly,      // the file in flash (FF elsewhere), EEPROM all FF
    StartLocked,   // what it held before, with LB1 and LB2 programmed
    FileButStuck,  // the file in flash except the stuck cell, EEPROM all FF
    EepromCut,     // the flash as before, the EEPROM partly erased
    PartWritten,   // after an erase, part of the file: every flash byte the file's or FF
    Unclassified,  // none of these (the test says what it found)
};

const char* Name(Holds h) {
    switch (h) {
        case Holds::Start:
            return "Start";
        case Holds::Blank:
            return "Blank";
        case Holds::FileOnly:
            return "FileOnly";
        case Holds::StartLocked:
            return "StartLocked";
        case Holds::FileButStuck:
            return "FileButStuck";
        case Holds::EepromCut:
            return "EepromCut";
        case Holds::PartWritten:
            return "PartWritten";
        case Holds::Unclassified:
            return "Unclassified";
    }
    return "?";
}

struct Command {
    const char* name;
    int id;
};
constexpr Command kCommands[] = {
    {"check", ids::kCheck},          {"signature", ids::kReadSignature},
    {"erase", ids::kEraseAll},       {"erase-eeprom", ids::kBulkEraseData},
    {"lock", ids::kLockChip},        {"read", ids::kRead},
    {"readhex", ids::kReadbackInhx}, {"write", ids::kWrite},
    {"verify", ids::kVerify},        {"quick", ids::kQuick},
};

// The byte address of the flash cell that never takes a value: inside the
// program, where the file holds a value other than FF.
constexpr uint32_t kStuckFlashByte = 0x11;
constexpr uint8_t kEepromPattern = 0x5A;

// The classic chips hide their signature when locked, which is what the
// program can see of a lock; the ATmega8 keeps answering it.
std::string ChipFor(SimFault fault) {
    return fault == SimFault::Locked ? "AT90S2313" : "ATmega8";
}
std::string FileFor(SimFault fault) {
    return fault == SimFault::Locked ? "hello-at90s2313.hex" : "hello-atmega8.hex";
}

struct Outcome {
    CommandResult result;
    std::string activity;  // field 1018 at the end
    std::string message;   // last message box as "title: text" ("" when none)
    Holds holds;
    std::string detail;  // why the chip was not classified
    // Files the run left in the start directory that are no result of it:
    // a temporary file, or hex.tmp.
    std::string leftovers;
    // The readback files of an earlier run, as they are now.
    std::string readbackTxt;
    std::string readbackHex;
};

// The text the earlier readback files hold, before each run.
constexpr const char* kEarlierReadback = "an earlier read\r\n";

struct Start {
    std::vector<uint8_t> flash;
    std::vector<uint8_t> eeprom;
    uint8_t lock;
};

Holds Classify(sim::AvrTarget& chip, const Start& start, const std::vector<uint8_t>& file,
               std::string* detail) {
    const sim::ChipMemory& m = chip.memory();
    const bool eepromBlank =
        std::all_of(m.eeprom.begin(), m.eeprom.end(), [](uint8_t b) { return b == 0xFF; });
    const bool flashBlank =
        std::all_of(m.flash.begin(), m.flash.end(), [](uint8_t b) { return b == 0xFF; });
    if (m.flash == start.flash && m.eeprom == start.eeprom) {
        if (m.lock == start.lock)
            return Holds::Start;
        if (chip.ReadProtected())
            return Holds::StartLocked;
    }
    if (flashBlank && eepromBlank && !chip.ReadProtected())
        return Holds::Blank;
    if (m.flash == file && eepromBlank && !chip.ReadProtected())
        return Holds::FileOnly;
    if (m.flash == start.flash && m.eeprom != start.eeprom && !eepromBlank)
        return Holds::EepromCut;
    std::vector<uint8_t> stuck = file;
    stuck[kStuckFlashByte] = 0xFF;
    if (m.flash == stuck && eepromBlank)
        return Holds::FileButStuck;
    bool partOfFile = !chip.ReadProtected();
    for (std::size_t a = 0; a < m.flash.size() && partOfFile; ++a)
        partOfFile = m.flash[a] == 0xFF || m.flash[a] == file[a];
    if (partOfFile && m.flash != file)
        return Holds::PartWritten;
    char text[96];
    std::snprintf(text, sizeof text, "flash blank %d, eeprom blank %d, lock %02X", flashBlank,
                  eepromBlank, m.lock);
    *detail = text;
    return Holds::Unclassified;
}

// Runs the command on `port`; with `stopAtPass` above 0, the user asks it
// to stop (the Stop button, Ctrl-C) at that pass of the window's event
// processing. `passes`, when given, receives how many passes the run made.
// With `chip`, that chip holds an image spread over its whole flash
// (SpreadImage) instead of the example.
Outcome RunOne(const Command& command, SimFault fault, RigPort port = RigPort::Sim,
               int stopAtPass = 0, int* passes = nullptr, const char* chip = nullptr) {
    SimRigOptions options{
        .chip = chip ? chip : ChipFor(fault), .cable = sim::CableKind::Cablet2, .fault = fault};
    options.port = port;
    options.stuckMemory = sim::Memory::Flash;
    options.stuckAddress = kStuckFlashByte;
    // A signature no line of ostrel.ini holds (the rig's default is the ATmega88's).
    options.unknownSignature = {0x1E, 0x97, 0x7E};
    // Enough for Connect, the erase and the second Connect of a Write; the
    // chip goes while the first flash page is loaded or the EEPROM erased.
    options.disappearAfter = 64;
    SimRig rig(options);
    const std::string fileName = chip ? "spread.hex" : FileFor(fault);
    const std::string text =
        chip ? HexText(SpreadImage(rig.chip().chip().flashBytes, rig.chip().chip().pageBytes))
             : ReadFileBytes(SourcePath("examples/" + fileName));
    rig.Write(fileName, text);
    rig.Write("readback.txt", kEarlierReadback);
    rig.Write("readback.hex", kEarlierReadback);

    // The file in flash, a pattern in the EEPROM; the stuck cell never took its value.
    std::vector<uint8_t> file(rig.chip().memory().flash.size(), 0xFF);
    for (const auto& [address, value] : ParseHexImage(text))
        file[address] = value;
    for (uint32_t a = 0; a < file.size(); ++a)
        rig.chip().SetFlash(a, file[a]);
    for (uint32_t a = 0; a < rig.chip().memory().eeprom.size(); ++a)
        rig.chip().SetEeprom(a, kEepromPattern);
    if (fault == SimFault::StuckByte)
        rig.chip().SetFlash(kStuckFlashByte, 0xFF);
    const Start start{rig.chip().memory().flash, rig.chip().memory().eeprom, rig.chip().Lock()};

    rig.Load(fileName);
    if (stopAtPass > 0) {
        rig.windows.onPendingEvents = [&rig, stopAtPass] {
            if (rig.windows.pendingEventPasses == stopAtPass)
                rig.p.stopRequested = true;
        };
    }
    Outcome o;
    o.result = app::OnCommand(rig.p, command.id);
    if (passes)
        *passes = rig.windows.pendingEventPasses;
    o.activity = rig.windows.ItemText(ids::kMainWindow, ids::kActivity);
    // The activity line pads its texts with blanks; a failure leaves it blank.
    o.activity.erase(o.activity.find_last_not_of(' ') + 1);
    std::vector<std::string> messages = rig.windows.MessageTexts();
    o.message = messages.empty() ? "" : messages.back();
    o.holds = Classify(rig.chip(), start, file, &o.detail);
    for (const auto& entry : std::filesystem::directory_iterator(rig.dir.path())) {
        const std::string name = entry.path().filename().string();
        if (name.ends_with(".part") || name == "hex.tmp")
            o.leftovers += name + " ";
    }
    o.readbackTxt = rig.dir.Read("readback.txt");
    o.readbackHex = rig.dir.Read("readback.hex");
    return o;
}

// One row: a fault and a command, or a fault and "*" for every command the
// fault has no row of its own for. `message` must be part of the last message
// box ("title: text"); empty: no box at all.
struct Row {
    SimFault fault;
    const char* command;
    CommandResult result;
    const char* activity;
    const char* message;
    Holds holds;
    // The user asks the command to stop halfway (at the middle one of the
    // passes of event processing that a whole run makes).
    bool stopHalfway = false;
};

constexpr CommandResult kOk = CommandResult::Ok;
constexpr CommandResult kFailed = CommandResult::Failed;
constexpr const char* kAllOthers = "*";

const Row kRows[] = {
    // A working chip, also one a bit out of step, and one with a stuck flash cell.
    {SimFault::None, "check", kOk, "OK", "", Holds::Start},
    {SimFault::None, "signature", kOk, "",
     "Info:: Vendor Code: 1E\nPart Family: 93\nPart Number: 07", Holds::Start},
    {SimFault::None, "erase", kOk, "OK", "Warning!: This Command Deletes Memory!", Holds::Blank},
    {SimFault::None, "erase-eeprom", kOk, "OK", "Warning!: This Command Deletes Data Memory!",
     Holds::FileOnly},
    {SimFault::None, "lock", kOk, "OK", "", Holds::StartLocked},
    {SimFault::None, "read", kOk, "readback.txt saved", "", Holds::Start},
    {SimFault::None, "readhex", kOk, "readback.hex saved", "", Holds::Start},
    {SimFault::None, "write", kOk, "OK", "", Holds::FileOnly},
    {SimFault::None, "verify", kOk, "OK", "", Holds::Start},
    {SimFault::None, "quick", kOk, "OK", "", Holds::Start},
    {SimFault::OutOfStep, "check", kOk, "OK", "", Holds::Start},
    {SimFault::OutOfStep, "signature", kOk, "",
     "Info:: Vendor Code: 1E\nPart Family: 93\nPart Number: 07", Holds::Start},
    {SimFault::OutOfStep, "erase", kOk, "OK", "Warning!: This Command Deletes Memory!",
     Holds::Blank},
    {SimFault::OutOfStep, "erase-eeprom", kOk, "OK", "Warning!: This Command Deletes Data Memory!",
     Holds::FileOnly},
    {SimFault::OutOfStep, "lock", kOk, "OK", "", Holds::StartLocked},
    {SimFault::OutOfStep, "read", kOk, "readback.txt saved", "", Holds::Start},
    {SimFault::OutOfStep, "readhex", kOk, "readback.hex saved", "", Holds::Start},
    {SimFault::OutOfStep, "write", kOk, "OK", "", Holds::FileOnly},
    {SimFault::OutOfStep, "verify", kOk, "OK", "", Holds::Start},
    {SimFault::OutOfStep, "quick", kOk, "OK", "", Holds::Start},
    {SimFault::StuckByte, "check", kOk, "OK", "", Holds::Start},
    {SimFault::StuckByte, "signature", kOk, "", "Info:: Vendor Code: 1E", Holds::Start},
    {SimFault::StuckByte, "erase", kOk, "OK", "Warning!: This Command Deletes Memory!",
     Holds::Blank},
    {SimFault::StuckByte, "erase-eeprom", kOk, "OK", "Warning!: This Command Deletes Data Memory!",
     Holds::FileButStuck},
    {SimFault::StuckByte, "lock", kOk, "OK", "", Holds::StartLocked},
    {SimFault::StuckByte, "read", kOk, "readback.txt saved", "", Holds::Start},
    {SimFault::StuckByte, "readhex", kOk, "readback.hex saved", "", Holds::Start},
    {SimFault::StuckByte, "write", kFailed, "", "Error: Verify failed at Adr: 0008",
     Holds::FileButStuck},
    {SimFault::StuckByte, "verify", kFailed, "1 mismatch passed",
     "Error: Verify failed at Adr: 0008", Holds::Start},
    {SimFault::StuckByte, "quick", kFailed, "", "Error: Verify failed at Adr: 0008", Holds::Start},
    // Nothing to talk to: every chip command stops at Connect and leaves the
    // chip alone; the signature report shows what was read, and as its
    // connection failed the command fails too.
    // Read Signature Bytes shows its report alone, as the system does, and still fails.
    {SimFault::NoPort, "signature", kFailed, "",
     "Info:: Vendor Code: 00\nPart Family: 00\nPart "
     "Number: 00\nNo echo 53 received",
     Holds::Start},
    {SimFault::NoCable, "signature", kFailed, "",
     "Info:: Vendor Code: 00\nPart Family: 00\nPart "
     "Number: 00\nNo echo 53 received",
     Holds::Start},
    {SimFault::NoTarget, "signature", kFailed, "", "Info:: Vendor Code: FF\nPart Family: FF",
     Holds::Start},
    {SimFault::ErasedSignature, "signature", kFailed, "", "Info:: Vendor Code: FF\nPart Family",
     Holds::Start},
    {SimFault::UnknownSignature, "signature", kFailed, "",
     "Info:: Vendor Code: 1E\nPart Family: 97\nPart Number: 7E", Holds::Start},
    {SimFault::Locked, "signature", kFailed, "",
     "Info:: Vendor Code: 00\nPart Family: 01\nPart Number: 02", Holds::Start},
    {SimFault::NoPort, kAllOthers, kFailed, "", "Error: COM-Init-Error!", Holds::Start},
    {SimFault::NoCable, kAllOthers, kFailed, "", "Error: No Adaptor found at COM1\n", Holds::Start},
    {SimFault::NoTarget, kAllOthers, kFailed, "",
     "Error: No Connection!\n\nVendor Code: FF\nPart Family: FF\nPart Number: FF\nNo echo 53 "
     "received",
     Holds::Start},
    {SimFault::ErasedSignature, kAllOthers, kFailed, "",
     "Error: Device Code erased!\n\nVendor Code: FF\nPart Family: FF\nPart Number: FF\nEcho 53 "
     "received",
     Holds::Start},
    {SimFault::UnknownSignature, kAllOthers, kFailed, "",
     "Error: Unknown Device Code!\n\nVendor Code: 1E\nPart Family: 97\nPart Number: 7E",
     Holds::Start},
    // A locked AT90S2313 answers 00 01 02: only Erase all goes on, and opens it.
    {SimFault::Locked, kAllOthers, kFailed, "",
     "Error: Device locked!\n\nVendor Code: 00\nPart Family: 01\nPart Number: 02", Holds::Start},
    {SimFault::Locked, "erase", kOk, "OK", "Warning!: This Command Deletes Memory!", Holds::Blank},
    // The chip goes after 64 instructions: short commands finish before;
    // the others must end in failure, never in "OK" or "saved".
    {SimFault::Disappears, "check", kOk, "OK", "", Holds::Start},
    {SimFault::Disappears, "signature", kOk, "",
     "Info:: Vendor Code: 1E\nPart Family: 93\nPart Number: 07", Holds::Start},
    {SimFault::Disappears, "erase", kOk, "OK", "Warning!: This Command Deletes Memory!",
     Holds::Blank},
    {SimFault::Disappears, "erase-eeprom", kFailed, "",
     "Error: The chip stopped answering during the erase: its EEPROM may not be erased.",
     Holds::EepromCut},
    {SimFault::Disappears, "lock", kOk, "OK", "", Holds::StartLocked},
    {SimFault::Disappears, "read", kFailed, "",
     "Error: The chip stopped answering while it was read: readback.txt would be no copy of it; "
     "the earlier readback.txt is as it was.",
     Holds::Start},
    {SimFault::Disappears, "readhex", kFailed, "",
     "Error: The chip stopped answering while it was read: readback.hex would be no copy of it; "
     "the earlier readback.hex is as it was.",
     Holds::Start},
    {SimFault::Disappears, "write", kFailed, "", "Error: Verify failed at Adr: 0000", Holds::Blank},
    {SimFault::Disappears, "verify", kFailed, "# mismatches passed",
     "Error: Verify failed at Adr: ", Holds::Start},
    {SimFault::Disappears, "quick", kFailed, "", "Error: Verify failed at Adr: 0000", Holds::Start},
    // The chip enters programming mode but its answers never arrive: every
    // retry of the enable must find it out of programming mode, or it would
    // execute the retry's bits out of step (an EEPROM or a page write).
    {SimFault::EchoLost, "signature", kFailed, "",
     "Info:: Vendor Code: 00\nPart Family: 00\nPart Number: 00\nNo echo 53 received", Holds::Start},
    {SimFault::EchoLost, kAllOthers, kFailed, "",
     "Error: No Connection!\n\nVendor Code: 00\nPart Family: 00\nPart Number: 00\nNo echo 53 "
     "received",
     Holds::Start},
};

constexpr CommandResult kStopped = CommandResult::Stopped;

// A stop halfway, for every command: the command ends as stopped, the
// target is let go, the user is told what the chip holds now, and no file
// is left half written (the table checks that for every row).
const Row kStopRows[] = {
    {SimFault::None, "check", kStopped, "", "Error: Stopped: the chip is unchanged.", Holds::Start,
     true},
    {SimFault::None, "signature", kStopped, "", "Error: Stopped: the chip is unchanged.",
     Holds::Start, true},
    // Stopped before the first instruction that changes the chip: it is
    // told as it is, not as it might have become.
    {SimFault::None, "erase", kStopped, "",
     "Error: Stopped: nothing had been written yet; the chip is unchanged.", Holds::Start, true},
    {SimFault::None, "erase-eeprom", kStopped, "", "Error: Stopped: the chip may be partly erased",
     Holds::EepromCut, true},
    {SimFault::None, "lock", kStopped, "",
     "Error: Stopped: nothing had been written yet; the chip is unchanged.", Holds::Start, true},
    {SimFault::None, "read", kStopped, "",
     "Error: Stopped: the chip is unchanged, and readback.txt is as it was.", Holds::Start, true},
    {SimFault::None, "readhex", kStopped, "",
     "Error: Stopped: the chip is unchanged, and readback.hex is as it was.", Holds::Start, true},
    {SimFault::None, "write", kStopped, "",
     "Error: Stopped: the chip may be partly programmed: write it again.", Holds::PartWritten,
     true},
    {SimFault::None, "verify", kStopped, "", "Error: Stopped: the chip is unchanged.", Holds::Start,
     true},
    {SimFault::None, "quick", kStopped, "",
     "Error: Stopped: the chip may be partly programmed: write it again.", Holds::Start, true},
};

// Where a port of pins differs. GPIO lines are wired straight to the chip:
// without a cable nothing answers, as without a chip.
struct PortRow {
    RigPort port;
    Row row;
};
const PortRow kPortRows[] = {
    {RigPort::Gpio,
     {SimFault::NoCable, kAllOthers, kFailed, "",
      "Error: No Connection!\n\nVendor Code: FF\nPart Family: FF\nPart Number: FF\nNo echo 53 "
      "received",
      Holds::Start}},
    // Read Signature Bytes shows its report alone, here with the lines' idle
    // level (high) read as each byte, with or without a cable.
    {RigPort::Gpio,
     {SimFault::NoCable, "signature", kFailed, "",
      "Info:: Vendor Code: FF\nPart Family: FF\nPart Number: FF\nNo echo 53 received",
      Holds::Start}},
    {RigPort::Gpio,
     {SimFault::NoPort, "signature", kFailed, "",
      "Info:: Vendor Code: FF\nPart Family: FF\nPart Number: FF\nNo echo 53 received",
      Holds::Start}},
    // The chip goes after 64 instructions. An FT-X adapter sends the reads of
    // a whole window (128 of them) before the first erasing write, so the
    // chip is gone before anything is erased.
    {RigPort::Ft231x,
     {SimFault::Disappears, "erase-eeprom", kFailed, "",
      "Error: The chip stopped answering during the erase: its EEPROM may not be erased.",
      Holds::Start}},
};

struct Case {
    Row row;
    Command command;
    RigPort port = RigPort::Sim;
    const char* chip = nullptr;  // a chip with an image over its whole flash
};

// Today's chips, a small one, one of 64K words and one above (Load Extended
// Address), each with an image on both sides of its middle (of 64K words on
// the ATmega2560), holes and its last page at the top: every command that
// moves the image gives it back byte for byte, on every port.
constexpr const char* kSpreadChips[] = {"ATtiny85", "ATmega1284P", "ATmega2560"};
constexpr const char* kSpreadCommands[] = {"write", "verify", "quick", "readhex"};

// Every command against every fault, on the simulator's port and on every
// port of pins: an FTDI adapter in bit-bang mode (both chips) and GPIO lines.
std::vector<Case> AllCases() {
    std::vector<Case> cases;
    for (RigPort port : {RigPort::Sim, RigPort::Ft232r, RigPort::Ft231x, RigPort::Gpio}) {
        if (!RigPortAvailable(port))
            continue;
        for (SimFault fault :
             {SimFault::None, SimFault::NoPort, SimFault::NoCable, SimFault::NoTarget,
              SimFault::OutOfStep, SimFault::ErasedSignature, SimFault::UnknownSignature,
              SimFault::Locked, SimFault::StuckByte, SimFault::Disappears, SimFault::EchoLost}) {
            for (const Command& command : kCommands) {
                const Row* own = nullptr;
                const Row* others = nullptr;
                for (const Row& row : kRows) {
                    if (row.fault != fault)
                        continue;
                    if (std::string_view(row.command) == command.name)
                        own = &row;
                    if (std::string_view(row.command) == kAllOthers)
                        others = &row;
                }
                const Row* row = own ? own : others;
                for (const PortRow& special : kPortRows) {
                    if (special.port == port && special.row.fault == fault &&
                        (std::string_view(special.row.command) == command.name ||
                         std::string_view(special.row.command) == kAllOthers))
                        row = &special.row;
                }
                if (row == nullptr) {
                    ADD_FAILURE() << "no row for " << sim::SimFaultName(fault) << " "
                                  << command.name;
                    continue;
                }
                cases.push_back({*row, command, port});
            }
        }
    }
    for (RigPort port : {RigPort::Sim, RigPort::Ft232r, RigPort::Ft231x, RigPort::Gpio}) {
        for (const char* chip : kSpreadChips) {
            for (const Command& command : kCommands) {
                if (!RigPortAvailable(port) ||
                    std::find_if(std::begin(kSpreadCommands), std::end(kSpreadCommands),
                                 [&](const char* c) { return command.name == std::string(c); }) ==
                        std::end(kSpreadCommands))
                    continue;
                for (const Row& row : kRows)
                    if (row.fault == SimFault::None && command.name == std::string(row.command))
                        cases.push_back({row, command, port, chip});
            }
        }
    }
    // A stop, on the simulator's port and with transfers in flight on an
    // FTDI adapter: it ends the same way.
    for (RigPort port : {RigPort::Sim, RigPort::Ft231x}) {
        if (!RigPortAvailable(port))
            continue;
        for (const Command& command : kCommands) {
            const Row* row = nullptr;
            for (const Row& r : kStopRows)
                if (std::string_view(r.command) == command.name)
                    row = &r;
            if (row == nullptr) {
                ADD_FAILURE() << "no stop row for " << command.name;
                continue;
            }
            cases.push_back({*row, command, port});
        }
    }
    return cases;
}

void PrintTo(const Case& c, std::ostream* os) {
    *os << RigPortName(c.port) << " " << (c.chip ? c.chip : "") << " "
        << (c.row.stopHalfway ? "stopped" : sim::SimFaultName(c.row.fault)) << " "
        << c.command.name;
}

class Outcomes : public ::testing::TestWithParam<Case> {};

TEST_P(Outcomes, Command) {
    const Row& row = GetParam().row;
    int stopAt = 0;
    if (row.stopHalfway) {
        int passes = 0;
        RunOne(GetParam().command, row.fault, GetParam().port, 0, &passes);
        ASSERT_GT(passes, 1) << "a command that never takes input cannot be stopped";
        stopAt = passes / 2;
    }
    const Outcome o =
        RunOne(GetParam().command, row.fault, GetParam().port, stopAt, nullptr, GetParam().chip);
    EXPECT_EQ(ResultName(o.result), std::string(ResultName(row.result)));
    // "#" stands for a count above zero: how many bytes mismatch depends on
    // when the chip went, not on what the command must answer.
    const std::string_view expected = row.activity;
    if (!expected.empty() && expected.front() == '#') {
        const std::size_t digits = o.activity.find_first_not_of("0123456789");
        EXPECT_TRUE(digits != 0 && digits != std::string::npos &&
                    std::stoul(o.activity.substr(0, digits)) > 0 &&
                    o.activity.substr(digits) == expected.substr(1))
            << "activity: " << o.activity;
    } else {
        EXPECT_EQ(o.activity, row.activity);
    }
    if (*row.message == '\0') {
        EXPECT_EQ(o.message, "");
    } else {
        EXPECT_NE(o.message.find(row.message), std::string::npos)
            << "message: " << o.message << "\nexpected in it: " << row.message;
    }
    EXPECT_EQ(Name(o.holds), std::string(Name(row.holds))) << o.detail;
    EXPECT_EQ(o.leftovers, "") << "files left half written or temporary";
    // A readback file is replaced whole by a read that worked, and by nothing else.
    const std::string_view name = GetParam().command.name;
    const bool newTxt = name == "read" && o.result == kOk;
    const bool newHex = name == "readhex" && o.result == kOk;
    EXPECT_EQ(o.readbackTxt == kEarlierReadback, !newTxt);
    EXPECT_EQ(o.readbackHex == kEarlierReadback, !newHex);
    // The readback of a spread image is that image, FF everywhere else.
    if (GetParam().chip && newHex) {
        const sim::ChipInfo* chip = sim::FindChip(GetParam().chip);
        ASSERT_NE(chip, nullptr);
        ByteImage image = SpreadImage(chip->flashBytes, chip->pageBytes);
        ByteImage read = ParseHexImage(o.readbackHex);
        EXPECT_EQ(read.size(), chip->flashBytes);
        std::erase_if(read, [&image](const auto& cell) {
            return cell.second == 0xFF && !image.contains(cell.first);
        });
        EXPECT_EQ(ImageDifferences(image, read), "");
        EXPECT_EQ(read.size(), image.size());
    }
}

INSTANTIATE_TEST_SUITE_P(EveryFault, Outcomes, ::testing::ValuesIn(AllCases()),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             std::string name =
                                 std::string(info.param.row.stopHalfway
                                                 ? "stopped"
                                                 : sim::SimFaultName(info.param.row.fault)) +
                                 "_" + info.param.command.name;
                             if (info.param.chip)
                                 name = std::string(info.param.chip) + "_" + name;
                             if (info.param.port != RigPort::Sim)
                                 name = std::string(RigPortName(info.param.port)) + "_" + name;
                             for (char& c : name)
                                 if (c == '-')
                                     c = '_';
                             return name;
                         });

}  // namespace
}  // namespace ostrel::testing
