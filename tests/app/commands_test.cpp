// The main window's chip commands and port, speed and option commands.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>

#include "app/commands.h"
#include "core/ids.h"
#include "devices/chip_lists.h"
#include "devices/device_file.h"
#include "sim/chip_table.h"
#include "tests/support/fixture.h"
#include "tests/support/sim_rig.h"
#include "tests/support/temp_dir.h"

namespace ostrel::testing {
namespace {

using app::CommandResult;
using sim::CableKind;
using sim::SimFault;

TEST(Check, NamesTheChipAndSelectsItInTheList) {
    SimRig rig({.chip = "AT90S8515"});
    EXPECT_EQ(app::OnCommand(rig.p, ids::kCheck), CommandResult::Ok);
    EXPECT_EQ(rig.windows.ListEntry(rig.windows.SelectedListEntry()), "AT90S8515");
    EXPECT_EQ(rig.windows.ItemText(ids::kMainWindow, ids::kActivity), "OK");
}

TEST(Check, WithAutodetectionOffIdentifiesByTheSignatureAndKeepsTheHandChoice) {
    SimRig rig({.chip = "ATmega48"});
    rig.windows.CheckItem(ids::kMainWindow, ids::kAutodetection, false);
    app::OnCommand(rig.p, ids::kAutodetection);
    EXPECT_EQ(rig.p.state.manualDevice, 1);
    EXPECT_TRUE(rig.windows.IsItemEnabled(ids::kMainWindow, ids::kDeviceList));

    EXPECT_EQ(app::OnCommand(rig.p, ids::kCheck), CommandResult::Ok);
    EXPECT_EQ(rig.windows.ListEntry(rig.windows.SelectedListEntry()), "ATmega48");
    EXPECT_TRUE(rig.windows.IsItemChecked(ids::kMainWindow, ids::kAutodetection));
    EXPECT_FALSE(rig.windows.IsItemEnabled(ids::kMainWindow, ids::kDeviceList));
    EXPECT_EQ(rig.p.state.manualDevice, 1);
}

TEST(Check, UnknownChipIsReportedUnderItsOwnTitle) {
    // With the hand choice, Connect lets an unknown signature through; the
    // lookup by signature then finds nothing.
    SimRig rig({.fault = SimFault::UnknownSignature, .unknownSignature = {0x1E, 0x77, 0x01}});
    rig.p.state.manualDevice = 1;
    EXPECT_EQ(app::OnCommand(rig.p, ids::kCheck), CommandResult::Failed);
    ASSERT_FALSE(rig.windows.messages.empty());
    EXPECT_EQ(rig.windows.messages.back().title, "Error");
    EXPECT_EQ(rig.windows.messages.back().text.substr(0, 22), "Unknown Device Code!\n\n");
}

TEST(EraseAll, LockedChipIsErasedAndEndsOk) {
    SimRig rig({.chip = "AT90S2313", .fault = SimFault::Locked});
    rig.chip().SetFlash(10, 0x12);
    EXPECT_EQ(app::OnCommand(rig.p, ids::kEraseAll), CommandResult::Ok);
    EXPECT_EQ(rig.chip().Flash(10), 0xFF);
    EXPECT_FALSE(rig.chip().ReadProtected());
    EXPECT_EQ(rig.windows.messages[0].text, "This Command Deletes Memory!");
    EXPECT_EQ(rig.windows.ItemText(ids::kMainWindow, ids::kActivity), "OK");
}

TEST(EraseCommands, CancelSendsNothing) {
    for (int command : {ids::kEraseAll, ids::kBulkEraseData}) {
        SimRig rig;
        rig.chip().RecordInstructions(true);
        rig.windows.answers.push_back(MsgResult::Cancel);
        EXPECT_EQ(app::OnCommand(rig.p, command), CommandResult::Cancelled);
        EXPECT_TRUE(rig.chip().instructions().empty());
        EXPECT_EQ(rig.chip().chipErases(), 0);
        EXPECT_EQ(rig.windows.messages[0].title, "Warning!");
    }
}

TEST(BulkEraseData, ErasesTheEeprom) {
    SimRig rig({.chip = "ATmega8"});
    rig.chip().SetEeprom(3, 0x00);
    rig.chip().SetEeprom(511, 0x5A);
    EXPECT_EQ(app::OnCommand(rig.p, ids::kBulkEraseData), CommandResult::Ok);
    EXPECT_EQ(rig.chip().Eeprom(3), 0xFF);
    EXPECT_EQ(rig.chip().Eeprom(511), 0xFF);
    EXPECT_EQ(rig.windows.messages[0].text, "This Command Deletes Data Memory!");
}

TEST(LockCommand, LocksAClassicChipSoTheNextConnectSeesItLocked) {
    SimRig rig({.chip = "AT90S8515"});
    EXPECT_EQ(app::OnCommand(rig.p, ids::kLockChip), CommandResult::Ok);
    EXPECT_TRUE(rig.chip().ReadProtected());
    EXPECT_EQ(app::OnCommand(rig.p, ids::kCheck), CommandResult::Failed);
    EXPECT_EQ(rig.p.state.errorText.view().substr(0, 16), "Device locked!\n\n");
}

// Every chip that the shipped device file lists and the simulator knows: lock
// sends the Write Lock Bits of the chip's family, leaves the chip in lock mode
// 3 (reads and writes refused), and Erase all opens it again.
TEST(LockCommand, LocksEveryShippedChipInMode3AndEraseAllOpensIt) {
    std::istringstream lines(ReadFileBytes(SourcePath("resources/ostrel.ini")));
    int chips = 0;
    for (std::string line; std::getline(lines, line);) {
        const devices::DeviceEntry entry = devices::ParseDeviceLine(line);
        const sim::ChipInfo* info = entry.usable() ? sim::FindChip(entry.name.view()) : nullptr;
        if (info == nullptr)
            continue;
        ++chips;
        SCOPED_TRACE(info->name);
        SimRig rig({.chip = std::string(info->name)});
        rig.chip().SetEeprom(0, 0x5A);
        rig.chip().RecordInstructions(true);
        EXPECT_EQ(app::OnCommand(rig.p, ids::kLockChip), CommandResult::Ok)
            << rig.p.state.errorText.view();
        EXPECT_EQ(rig.windows.ItemText(ids::kMainWindow, ids::kActivity), "OK");
        const auto& sent = rig.chip().instructions();
        const auto expected = devices::LockFamilyOf(entry.signature.view()).lockMode3;
        EXPECT_NE(std::find(sent.begin(), sent.end(), expected), sent.end())
            << "the family's Write Lock Bits was not sent";
        EXPECT_TRUE(rig.chip().ReadProtected());
        EXPECT_TRUE(rig.chip().WriteProtected());

        EXPECT_EQ(app::OnCommand(rig.p, ids::kEraseAll), CommandResult::Ok)
            << rig.p.state.errorText.view();
        EXPECT_EQ(rig.chip().Lock(), 0xFF);
        EXPECT_EQ(rig.chip().Eeprom(0), 0xFF);
    }
    EXPECT_EQ(chips, 61) << "chips of ostrel.ini that the simulator knows";
}

// A chip that does not lock is a failure that says what was sent and read:
// here the hand choice names a chip of the other family.
TEST(LockCommand, AChipThatDidNotLockFailsWithWhatWasSentAndRead) {
    struct Case {
        const char* chip;
        const char* chosen;
        const char* says;
    };
    const Case cases[] = {
        {"ATmega8", "AT90S2313",
         "after Write Lock Bits AC F9 AC F9 its signature reads 1E 93 07; in lock mode 3 it "
         "reads 00 01 02"},
        {"AT90S8535", "ATmega8",
         "after Write Lock Bits AC E0 00 FC, Read Lock Bits 58 00 00 00 answered DF; lock mode 3 "
         "reads 0 in bits 03"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chip);
        SimRig rig({.chip = c.chip});
        rig.ChooseByHand(c.chosen);
        EXPECT_EQ(app::OnCommand(rig.p, ids::kLockChip), CommandResult::Failed);
        EXPECT_FALSE(rig.chip().ReadProtected());
        ASSERT_FALSE(rig.windows.messages.empty());
        EXPECT_EQ(rig.windows.messages.back().title, "Error");
        EXPECT_NE(rig.windows.messages.back().text.find(c.says), std::string::npos)
            << rig.windows.messages.back().text;
    }
}

TEST(ReadSignatureBytes, ShowsTheReportAloneWhenConnectFailsAndEndsAsAFailure) {
    SimRig rig({.fault = SimFault::NoTarget});
    EXPECT_EQ(app::OnCommand(rig.p, ids::kReadSignature), CommandResult::Failed);
    // The report is the one box, as the system shows it; the reason of the
    // failed connection stays in errorText for the console.
    ASSERT_EQ(rig.windows.messages.size(), 1u);
    EXPECT_EQ(rig.windows.messages[0].title, "Info:");
    EXPECT_EQ(rig.windows.messages[0].text,
              "Vendor Code: FF\nPart Family: FF\nPart Number: FF\nNo echo 53 received");
    EXPECT_NE(rig.p.state.errorText.view().find("No Connection!"), std::string::npos);
    EXPECT_FALSE(rig.windows.IsItemEnabled(ids::kMainWindow, ids::kActivity));
}

// Each box says its kind where it is raised; the front-ends show its icon
// from that alone, never from the title or the words of the text.
TEST(MessageKinds, EveryBoxCarriesTheKindItWasRaisedWith) {
    struct Case {
        const char* what;
        SimFault fault;
        int command;
        const char* title;
        MessageKind kind;
    };
    const Case cases[] = {
        {"Write without a file", SimFault::None, ids::kWrite, "ERROR!", MessageKind::Error},
        {"Check without a chip", SimFault::NoTarget, ids::kCheck, "Error", MessageKind::Error},
        {"Erase All asks first", SimFault::None, ids::kEraseAll, "Warning!", MessageKind::Warning},
        {"Erase EEPROM asks first", SimFault::None, ids::kBulkEraseData, "Warning!",
         MessageKind::Warning},
        {"the signature report", SimFault::None, ids::kReadSignature,
         "Info:", MessageKind::Information},
        {"About", SimFault::None, ids::kAbout, "Ostrel  V3.3", MessageKind::Information},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SimRig rig({.fault = c.fault});
        rig.windows.answers.push_back(MsgResult::Cancel);
        app::OnCommand(rig.p, c.command);
        ASSERT_FALSE(rig.windows.messages.empty());
        EXPECT_EQ(rig.windows.messages.front().title, c.title);
        EXPECT_EQ(rig.windows.messages.front().kind, c.kind);
    }
}

TEST(ResetRun, LetsTheChipRun) {
    SimRig rig({.cable = CableKind::Cablet1});
    EXPECT_EQ(app::OnCommand(rig.p, ids::kResetRun), CommandResult::Ok);
    EXPECT_TRUE(rig.chip().Running());
    EXPECT_EQ(rig.p.state.cablet1, 1);
}

TEST(PortSelection, ParallelWithoutAccessIsRefusedAndTheOldPortStays) {
    SimRig rig({.cable = CableKind::Cablet2});
    rig.p.state.directPortIo = 0;
    app::CheckPortItem(rig.p, ids::kCom1);
    EXPECT_EQ(app::OnCommand(rig.p, ids::kPort0378), CommandResult::Failed);
    EXPECT_EQ(rig.windows.messages[0].title, "ERROR!");
    EXPECT_EQ(rig.windows.messages[0].text.substr(0, 48),
              "Driver 'DlPortIO' must be installed!\n\nDownload:\n");
    EXPECT_EQ(rig.p.state.portName.view(), "COM1");
    EXPECT_TRUE(rig.windows.IsMenuChecked(ids::kCom1));
    EXPECT_FALSE(rig.windows.IsMenuChecked(ids::kPort0378));
}

TEST(PortSelection, SerialPortDetectsTheCableEachTime) {
    SimRig rig({.cable = CableKind::Cablet2});
    rig.p.state.directPortIo = 1;
    rig.p.state.adapterKind = AdapterKind::Parallel;
    EXPECT_EQ(app::OnCommand(rig.p, ids::kCom2), CommandResult::Ok);
    EXPECT_EQ(rig.p.state.portName.view(), "COM2");
    EXPECT_EQ(rig.p.state.adapterKind, AdapterKind::Serial);
    EXPECT_EQ(rig.windows.activity, std::vector<std::string>{"Cablet2 detected"});
    EXPECT_TRUE(rig.windows.IsMenuChecked(ids::kCom2));
    // Selected again: the port is closed and opened once more.
    EXPECT_EQ(app::OnCommand(rig.p, ids::kCom2), CommandResult::Ok);
    EXPECT_EQ(rig.p.state.comOpen, 1);
    EXPECT_EQ(app::OnCommand(rig.p, ids::kPort03BC), CommandResult::Ok);
    EXPECT_EQ(rig.p.state.portBase, 0x3BC);
    EXPECT_EQ(rig.p.state.comOpen, 0);
    EXPECT_FALSE(rig.windows.IsMenuChecked(ids::kCom2));
}

TEST(PortSelection, NoCableIsReportedAndTheSelectionStays) {
    SimRig rig({.cable = CableKind::SerialPlain});
    EXPECT_EQ(app::OnCommand(rig.p, ids::kCom4), CommandResult::Failed);
    EXPECT_EQ(rig.windows.messages.back().text, "No Adaptor found at COM4\n");
    EXPECT_EQ(rig.p.state.portName.view(), "COM4");
}

// A port that cannot be opened is not kept as the choice (it would be saved
// for the next start); the port chosen before stays, checked, and the box
// says so. One that opens but where no cable answers stays chosen.
TEST(PortSelection, APortThatCannotBeOpenedLeavesThePreviousOne) {
    struct Case {
        const char* previous;  // "" for none
        const char* told;      // the last line of the failure
        int checked;           // the Port item checked afterwards (0: none)
    };
    const Case cases[] = {
        {"COM1", "The port stays COM1.", ids::kCom1},
        {"0378", "The port stays 0378.", ids::kPort0378},
        {"", "No port is chosen.", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.previous);
        SimRig rig({.fault = SimFault::NoPort});
        ProgrammerState& s = rig.p.state;
        s.portName.Assign(c.previous);
        const bool parallel = std::string_view(c.previous) == "0378";
        s.adapterKind = parallel ? AdapterKind::Parallel : AdapterKind::Serial;
        s.comName.Assign(parallel ? "COM2" : c.previous);
        app::CheckPortItem(rig.p, app::PortCommand(c.previous));
        EXPECT_EQ(app::OnCommand(rig.p, ids::kCom4), CommandResult::Failed);
        ASSERT_EQ(rig.windows.messages.size(), 1u);
        const std::string& text = rig.windows.messages[0].text;
        EXPECT_EQ(text.rfind("COM-Init-Error!", 0), 0u) << text;
        EXPECT_TRUE(text.ends_with(c.told)) << text;
        EXPECT_EQ(s.portName.view(), c.previous);
        EXPECT_EQ(s.adapterKind, parallel ? AdapterKind::Parallel : AdapterKind::Serial);
        EXPECT_FALSE(rig.windows.IsMenuChecked(ids::kCom4));
        if (c.checked != 0) {
            EXPECT_TRUE(rig.windows.IsMenuChecked(c.checked));
        }
    }
}

// The Port menu's ports found on this machine: each item chooses its port as
// a fixed item does, checked with the fixed item of the same name; an item
// past the list or of no port's name does nothing.
TEST(PortSelection, AFoundPortIsChosenByItsItemOrItsName) {
    const struct {
        std::vector<std::string> found;
        int item;  // index of the found item sent
        CommandResult result;
        std::string port;  // portName afterwards
        int fixed;         // the fixed item checked afterwards (0: none)
    } kCases[] = {
        {{kOwnSerialPort, "COM3"}, 0, CommandResult::Ok, kOwnSerialPort, 0},
        {{kOwnSerialPort, "COM3"}, 1, CommandResult::Ok, "COM3", ids::kCom3},
        {{kOwnSerialPort}, 1, CommandResult::Ignored, "COM1", ids::kCom1},
        {{"COM 3"}, 0, CommandResult::Ignored, "COM1", ids::kCom1},
        {{"COM12"}, 0, CommandResult::Ok, "COM12", 0},
        {{"ftdi:A50285BI", "COM7"}, 1, CommandResult::Ok, "COM7", ids::kCom7},
        {{"com7"}, 0, CommandResult::Ignored, "COM1", ids::kCom1},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.port + " " + std::to_string(c.item));
        SimRig rig({.cable = CableKind::Cablet2});
        for (const std::string& name : c.found)
            rig.p.foundPorts.push_back({name, name + " here"});
        rig.p.state.portName.Assign("COM1");
        rig.p.state.comName.Assign("COM1");
        rig.p.state.adapterKind = AdapterKind::Serial;
        app::CheckChosenPort(rig.p);
        const CommandResult result = app::OnCommand(rig.p, ids::kFirstFoundPort + c.item);
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(rig.p.state.portName.view(), c.port);
        if (result == CommandResult::Ok) {
            EXPECT_EQ(rig.p.state.comName.view(), c.port);
            EXPECT_EQ(rig.windows.activity, std::vector<std::string>{"Cablet2 detected"});
        }
        for (int command : {ids::kCom1, ids::kCom3, ids::kCom7})
            EXPECT_EQ(rig.windows.IsMenuChecked(command), command == c.fixed) << command;
        for (std::size_t i = 0; i < c.found.size(); ++i)
            EXPECT_EQ(rig.windows.IsMenuChecked(ids::kFirstFoundPort + static_cast<int>(i)),
                      c.found[i] == c.port)
                << i;
    }
}

TEST(Options, ProgramEepAfterHexToggles) {
    SimRig rig;
    app::OnCommand(rig.p, ids::kProgramEepAfterHex);
    EXPECT_EQ(rig.p.state.programEepAfterHex, 1);
    EXPECT_TRUE(rig.windows.IsMenuChecked(ids::kProgramEepAfterHex));
    app::OnCommand(rig.p, ids::kProgramEepAfterHex);
    EXPECT_EQ(rig.p.state.programEepAfterHex, 0);
    EXPECT_FALSE(rig.windows.IsMenuChecked(ids::kProgramEepAfterHex));
}

TEST(OnCommand, ASecondCommandWhileOneRunsIsIgnored) {
    SimRig rig;
    std::vector<CommandResult> inner;
    rig.windows.onPendingEvents = [&]() {
        if (inner.empty())
            inner.push_back(app::OnCommand(rig.p, ids::kEraseAll));
    };
    EXPECT_EQ(app::OnCommand(rig.p, ids::kCheck), CommandResult::Ok);
    ASSERT_EQ(inner.size(), 1u);
    EXPECT_EQ(inner[0], CommandResult::Ignored);
    EXPECT_EQ(rig.chip().chipErases(), 0);
}

// A stop that arrives after a command's last activity refresh has nothing
// left to stop: the command ends as it would have, and the next one runs.
TEST(OnCommand, AStopTooLateForTheCommandDoesNotEndTheNextOne) {
    SimRig rig;
    rig.p.stopRequested = true;
    EXPECT_EQ(app::OnCommand(rig.p, ids::kProgramEepAfterHex), CommandResult::Ok);
    EXPECT_FALSE(rig.p.stopRequested);
    EXPECT_EQ(app::OnCommand(rig.p, ids::kCheck), CommandResult::Ok);
    EXPECT_TRUE(rig.windows.messages.empty());
}

TEST(Exit, HoldsTheTargetAndEndsTheWindow) {
    SimRig rig;
    app::OnCommand(rig.p, ids::kExit);
    int result = 0;
    EXPECT_TRUE(rig.windows.WindowEnded(ids::kMainWindow, &result));
    EXPECT_EQ(result, 1);
    EXPECT_FALSE(rig.chip().Running());
}

}  // namespace
}  // namespace ostrel::testing

namespace ostrel::testing {
namespace {

TEST(HiddenCommands, ReleaseLetsTheChipRunAndReleasePortClosesIt) {
    SimRig rig({.cable = sim::CableKind::Cablet2});
    ASSERT_EQ(app::OnCommand(rig.p, ids::kCheck), app::CommandResult::Ok);
    EXPECT_FALSE(rig.chip().Running());
    EXPECT_EQ(app::OnCommand(rig.p, ids::kReleaseAvr), app::CommandResult::Ok);
    EXPECT_TRUE(rig.chip().Running());
    EXPECT_EQ(rig.windows.activity.back(), "AVR released!");
    EXPECT_EQ(rig.p.state.comOpen, 1);
    EXPECT_EQ(app::OnCommand(rig.p, ids::kRelease), app::CommandResult::Ok);
    EXPECT_EQ(rig.p.state.comOpen, 0);
    EXPECT_FALSE(rig.sim->serialOpen());
}

TEST(HiddenCommands, MosiAndSckBoxesDriveTheSerialLinesByHand) {
    SimRig rig({.cable = sim::CableKind::Cablet1});
    rig.p.state.cablet1 = 1;
    rig.windows.CheckItem(ids::kMainWindow, ids::kMosiBox, true);
    app::OnCommand(rig.p, ids::kMosiBox);
    EXPECT_FALSE(rig.sim->dtr()) << "Cablet1 inverts DTR: MOSI high is DTR off";
    rig.windows.CheckItem(ids::kMainWindow, ids::kSckBox, true);
    app::OnCommand(rig.p, ids::kSckBox);
    EXPECT_FALSE(rig.sim->rts());
    rig.windows.CheckItem(ids::kMainWindow, ids::kSckBox, false);
    app::OnCommand(rig.p, ids::kSckBox);
    EXPECT_TRUE(rig.sim->rts());
    EXPECT_TRUE(rig.chip().Running()) << "the boxes release the target first";
}

TEST(SpeedSelection, ChecksOneItemAndStoresAtOnce) {
    SimRig rig;
    app::OnCommand(rig.p, ids::kSpeedVeryLow);
    EXPECT_EQ(rig.p.state.speed, 0);
    EXPECT_TRUE(rig.windows.IsMenuChecked(ids::kSpeedVeryLow));
    EXPECT_FALSE(rig.windows.IsMenuChecked(ids::kSpeedHigh));
    EXPECT_EQ(rig.dir.Read("ostrel.cfg"), std::string("\0\0\0\0\0\0"
                                                      "0",
                                                      7));
}

}  // namespace
}  // namespace ostrel::testing
