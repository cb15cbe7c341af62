// Whole commands through an FTDI adapter with transfers in flight, at every
// speed and with the speed changed between two commands, on the memories and
// the chips whose instructions differ (the EEPROM, a chip written byte by
// byte, one above 64K words), and with a stop in the verifying pass: what the
// chip holds afterwards is the file, and every readback file is byte for byte
// what the adapter gives one transfer at a time. And the windows that show
// what they read (the EEPROM window, Serial Programming Instructions, the
// signature report) with the adapter pulled, or its samples short or late,
// meanwhile: they never show the 1s of a lost port as the chip's bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "app/commands.h"
#include "core/ids.h"
#include "platform/texts.h"
#include "sim/chip_table.h"
#include "tests/support/hex_image.h"
#include "tests/support/linux/pin_kit.h"
#include "tests/support/result_name.h"
#include "tests/support/sim_rig.h"

namespace ostrel::testing {
namespace {

using app::CommandResult;

enum class Files {
    Example,       // the chip's example program
    WithEeprom,    // the example and an .eep file beside it, Write's EEPROM option on
    AcrossMiddle,  // a page either side of the flash's middle and the last page
    Across64K,     // a few bytes below word 0x10000 and a few from it on
};

struct Step {
    int command;
    int speed;  // 0 very low, 1 Low, 2 Medium, 3 High
    CommandResult result = CommandResult::Ok;
};

struct Case {
    const char* what;
    RigPort port;
    const char* chip;
    sim::CableKind cable;
    Files files;
    Step first;
    Step second;
    // The user stops the first command in its verifying pass.
    bool stopInVerifyingPass = false;
    // The chip's low fuse (0: as it comes), which selects its clock, and
    // Speed Auto, which follows that clock.
    uint8_t lowFuse = 0;
    bool autoSpeed = false;
};

const Case kCases[] = {
    {"write at very low, verify at High",
     RigPort::Ft232r,
     "ATmega8",
     sim::CableKind::Cablet2,
     Files::Example,
     {ids::kWrite, 0},
     {ids::kVerify, 3}},
    {"write at Low, readback at Medium",
     RigPort::Ft231x,
     "ATmega8",
     sim::CableKind::Cablet1,
     Files::AcrossMiddle,
     {ids::kWrite, 1},
     {ids::kReadbackInhx, 2}},
    {"write at High, readback at very low",
     RigPort::Ft231x,
     "ATmega8",
     sim::CableKind::Cablet2,
     Files::Example,
     {ids::kWrite, 3},
     {ids::kReadbackInhx, 0}},
    {"write at Medium, dump at Low",
     RigPort::Ft232r,
     "ATmega8",
     sim::CableKind::Cablet1,
     Files::AcrossMiddle,
     {ids::kWrite, 2},
     {ids::kRead, 1}},
    {"flash and EEPROM, then the dump",
     RigPort::Ft231x,
     "ATmega8",
     sim::CableKind::Cablet2,
     Files::WithEeprom,
     {ids::kWrite, 3},
     {ids::kRead, 3}},
    {"flash and EEPROM at Low, then the dump",
     RigPort::Ft232r,
     "ATmega8",
     sim::CableKind::Cablet2,
     Files::WithEeprom,
     {ids::kWrite, 1},
     {ids::kRead, 2}},
    {"byte by byte with its EEPROM",
     RigPort::Ft232r,
     "AT90S2313",
     sim::CableKind::Cablet2,
     Files::WithEeprom,
     {ids::kWrite, 3},
     {ids::kRead, 3}},
    {"byte by byte at Low",
     RigPort::Ft231x,
     "AT90S2313",
     sim::CableKind::Cablet1,
     Files::Example,
     {ids::kWrite, 1},
     {ids::kReadbackInhx, 3}},
    {"across 64K words",
     RigPort::Ft231x,
     "ATmega2560",
     sim::CableKind::Cablet2,
     Files::Across64K,
     {ids::kWrite, 3},
     {ids::kReadbackInhx, 3}},
    {"across 64K words on the FT232R",
     RigPort::Ft232r,
     "ATmega2560",
     sim::CableKind::Cablet1,
     Files::Across64K,
     {ids::kWrite, 3},
     {ids::kVerify, 2}},
    {"stopped while verifying, then verified",
     RigPort::Ft231x,
     "ATmega8",
     sim::CableKind::Cablet2,
     Files::AcrossMiddle,
     {ids::kWrite, 3, CommandResult::Stopped},
     {ids::kVerify, 3},
     true},
    {"stopped while verifying at Low, then read",
     RigPort::Ft232r,
     "ATmega8",
     sim::CableKind::Cablet2,
     Files::AcrossMiddle,
     {ids::kWrite, 1, CommandResult::Stopped},
     {ids::kReadbackInhx, 3},
     true},
    // A chip on its 16 kHz and 128 kHz clocks: long states, and with Auto a
    // change of rate within each connection.
    {"a 16 kHz chip at very low",
     RigPort::Ft231x,
     "ATmega328P",
     sim::CableKind::Cablet2,
     Files::Example,
     {ids::kWrite, 0},
     {ids::kReadbackInhx, 0},
     false,
     0x63},
    {"a 128 kHz chip on Auto",
     RigPort::Ft232r,
     "ATmega328P",
     sim::CableKind::Cablet2,
     Files::Example,
     {ids::kWrite, 0},
     {ids::kVerify, 0},
     false,
     0xE3,
     true},
    {"a 128 kHz chip on Auto, read back",
     RigPort::Ft231x,
     "ATmega328P",
     sim::CableKind::Cablet1,
     Files::AcrossMiddle,
     {ids::kWrite, 0},
     {ids::kReadbackInhx, 0},
     false,
     0xE3,
     true},
};

ByteImage FlashImage(const Case& c, const sim::ChipInfo& chip) {
    switch (c.files) {
        case Files::Example:
        case Files::WithEeprom: {
            const std::string name =
                std::string(c.chip) == "AT90S2313" ? "hello-at90s2313.hex" : "hello-atmega8.hex";
            return ParseHexImage(ReadFileBytes(SourcePath("examples/" + name)));
        }
        case Files::AcrossMiddle:
            return SpreadImage(chip.flashBytes, chip.pageBytes);
        case Files::Across64K: {
            ByteImage image;
            for (uint32_t a = 0x1FFF0; a < 0x20000 + 24; ++a)
                image[a] = static_cast<uint8_t>(a * 5 + 1);
            image[0x3FFFF] = 0x42;
            return image;
        }
    }
    return {};
}

ByteImage EepromImage(const sim::ChipInfo& chip) {
    ByteImage image;
    for (uint32_t a = 0; a < 20; ++a)
        image[a] = static_cast<uint8_t>(0xA0 + a);
    image[chip.eepromBytes - 1] = 0x00;
    return image;
}

std::string ReadbackName(int command) {
    return command == ids::kRead ? "readback.txt" : "readback.hex";
}

// The readback a rig one transfer at a time at speed High makes of a chip
// (on its factory clock) that holds `memory`.
std::string ReadOneAtATime(const Case& c, const sim::ChipMemory& memory, int command) {
    SimRigOptions options{.chip = c.chip, .cable = c.cable};
    options.port = c.port;
    options.pipelined = false;
    SimRig rig(options);
    rig.p.skipReadingPauses = true;
    rig.p.state.speed = 3;
    for (uint32_t a = 0; a < memory.flash.size(); ++a)
        rig.chip().SetFlash(a, memory.flash[a]);
    for (uint32_t a = 0; a < memory.eeprom.size(); ++a)
        rig.chip().SetEeprom(a, memory.eeprom[a]);
    if (app::OnCommand(rig.p, command) != CommandResult::Ok)
        return "the read one at a time failed";
    return rig.dir.Read(ReadbackName(command));
}

TEST(FtdiInFlight, CommandsLeaveTheFileAndReadItBackAsOneAtATime) {
    for (const Case& c : kCases) {
        if (!RigPortAvailable(c.port))
            continue;
        SCOPED_TRACE(std::string(c.what) + " on the " + RigPortName(c.port) + ", " + c.chip);
        const sim::ChipInfo* chip = sim::FindChip(c.chip);
        ASSERT_NE(chip, nullptr);
        SimRigOptions options{.chip = c.chip, .cable = c.cable};
        options.port = c.port;
        SimRig rig(options);
        rig.p.skipReadingPauses = true;
        if (c.lowFuse != 0)
            rig.chip().SetFuse(0, c.lowFuse);
        rig.p.state.autoSpeed = c.autoSpeed ? 1 : 0;
        // Old contents that the write's erase must clear.
        rig.chip().SetFlash(1, 0x00);
        rig.chip().SetFlash(chip->flashBytes - 2, 0x00);
        for (uint32_t a = 0; a < chip->eepromBytes; ++a)
            rig.chip().SetEeprom(a, static_cast<uint8_t>(a * 3 + 1));
        const ByteImage flash = FlashImage(c, *chip);
        const ByteImage eeprom = EepromImage(*chip);
        rig.Write("prog.hex", HexText(flash));
        if (c.files == Files::WithEeprom) {
            rig.Write("prog.eep", HexText(eeprom));
            rig.p.state.programEepAfterHex = 1;
        }
        ASSERT_EQ(rig.Load("prog.hex"), 0);
        int verifyingPasses = 0;
        if (c.stopInVerifyingPass) {
            rig.windows.onPendingEvents = [&] {
                if (rig.p.state.verifyMode && ++verifyingPasses == 3)
                    rig.p.stopRequested = true;
            };
        }
        rig.p.state.speed = c.first.speed;
        EXPECT_EQ(std::string(ResultName(app::OnCommand(rig.p, c.first.command))),
                  ResultName(c.first.result))
            << ::testing::PrintToString(rig.windows.MessageTexts());
        if (c.stopInVerifyingPass) {
            EXPECT_GE(verifyingPasses, 3) << "stopped before the verifying pass";
        }
        rig.windows.onPendingEvents = nullptr;
        rig.p.stopRequested = false;
        rig.windows.messages.clear();
        rig.p.state.speed = c.second.speed;
        EXPECT_EQ(std::string(ResultName(app::OnCommand(rig.p, c.second.command))),
                  ResultName(c.second.result))
            << ::testing::PrintToString(rig.windows.MessageTexts());

        // The chip holds the file (and its EEPROM file), FF elsewhere.
        const sim::ChipMemory& held = rig.chip().memory();
        sim::ChipMemory want = sim::ChipMemory::Fresh(*chip);
        for (const auto& [a, v] : flash)
            want.flash[a] = v;
        if (c.files == Files::WithEeprom) {
            for (const auto& [a, v] : eeprom)
                want.eeprom[a] = v;
        }
        EXPECT_TRUE(held.flash == want.flash) << "the flash differs from the file";
        EXPECT_TRUE(held.eeprom == want.eeprom) << "the EEPROM differs";

        const int read = c.second.command;
        if (read != ids::kRead && read != ids::kReadbackInhx)
            continue;
        const std::string got = rig.dir.Read(ReadbackName(read));
        EXPECT_TRUE(got == ReadOneAtATime(c, held, read))
            << ReadbackName(read) << " differs from the one read one transfer at a time";
        if (read == ids::kReadbackInhx) {
            ByteImage back = ParseHexImage(got);
            EXPECT_EQ(back.size(), chip->flashBytes);
            std::erase_if(back, [&flash](const auto& cell) {
                return cell.second == 0xFF && !flash.contains(cell.first);
            });
            EXPECT_EQ(ImageDifferences(flash, back), "");
        }
    }
}

// What the EEPROM window listed and said, and how the command ended.
struct WindowRun {
    CommandResult result = CommandResult::Failed;
    std::string listed;
    std::string windowBoxes;         // the boxes shown while the window was open
    std::vector<std::string> boxes;  // every box, the command's own included
    bool faultCame = false;
    uint64_t writes = 0;
    uint64_t reads = 0;
    uint8_t changedByte = 0;
};

enum class Fault { None, Pulled, Short, Late };

constexpr int kChangedByte = 0x1F0;
uint8_t WindowByte(int a) {
    return static_cast<uint8_t>(a * 3 + 1);
}

// Opens the EEPROM window of an ATmega8 whose EEPROM holds WindowByte, with
// `fault` at `at` (a write or an asynchronous read); with `writeAByte`,
// changes kChangedByte to 5A in the listing and writes it.
WindowRun RunWindow(RigPort port, Fault fault, int64_t at, bool writeAByte) {
    SimRigOptions options{.chip = "ATmega8", .cable = sim::CableKind::Cablet2};
    options.port = port;
    SimRig rig(options);
    rig.p.skipReadingPauses = true;
    for (uint32_t a = 0; a < 512; ++a)
        rig.chip().SetEeprom(a, WindowByte(static_cast<int>(a)));
    FakeFtdiDevice& dev = *rig.kit->ftdiDevice;
    if (fault == Fault::Pulled)
        dev.unplugAfterWrites = at;
    if (fault == Fault::Short)
        dev.shortReadAfter = at;
    if (fault == Fault::Late)
        dev.lateReadAfter = at;
    WindowRun run;
    rig.windows.dialogScript = [&](int, DialogHandler& window) {
        run.listed = rig.windows.ItemText(ids::kEepromWindow, ids::kListing);
        if (writeAByte && run.listed.size() > kChangedByte * 11u + 8) {
            std::string text = run.listed;
            text.replace(kChangedByte * 11u + 6, 2, "5A");
            rig.windows.SetItemText(ids::kEepromWindow, ids::kListing, text);
            window.OnCommand(ids::kWriteData);
        }
        for (const std::string& box : rig.windows.MessageTexts())
            run.windowBoxes += box;
    };
    run.result = app::OnCommand(rig.p, ids::kDataWindow);
    run.boxes = rig.windows.MessageTexts();
    run.faultCame = !dev.present || (fault == Fault::Short && dev.shortReadAfter < 0) ||
                    (fault == Fault::Late && dev.lateReadAfter < 0);
    run.writes = dev.writes;
    run.reads = dev.asyncReads;
    run.changedByte = rig.chip().Eeprom(kChangedByte);
    return run;
}

// The adapter is pulled, or its samples come short or late, while the EEPROM
// window reads the chip or writes a changed byte: the window never lists a
// byte the chip does not hold (a lost port reads FF), it says a write failed,
// and the command ends as a failure with the lost port told once.
TEST(FtdiInFlight, TheEepromWindowShowsNoByteALostAdapterNeverRead) {
    const struct {
        const char* what;
        RigPort port;
        Fault fault;
        int percent;      // how far into the clean run's writes or reads
        bool writeAByte;  // change a byte and write it
        const char* box;  // a message box of the window itself (null: none)
    } kCases[] = {
        {"read", RigPort::Ft232r, Fault::None, 0, false, nullptr},
        {"write", RigPort::Ft231x, Fault::None, 0, true, nullptr},
        {"pulled halfway through the read", RigPort::Ft232r, Fault::Pulled, 50, false, nullptr},
        {"pulled early in the read", RigPort::Ft231x, Fault::Pulled, 40, false, nullptr},
        {"short samples in the read", RigPort::Ft232r, Fault::Short, 70, false, nullptr},
        {"late samples in the read", RigPort::Ft231x, Fault::Late, 40, false, nullptr},
        // The read that opens the window is half of the clean run; the write
        // reads the listing's bytes again before the one it writes.
        {"pulled before the write", RigPort::Ft232r, Fault::Pulled, 75, true, texts::kWriteError},
        {"short samples before the write", RigPort::Ft231x, Fault::Short, 70, true,
         texts::kWriteError},
    };
    for (const auto& c : kCases) {
        if (!RigPortAvailable(c.port))
            continue;
        SCOPED_TRACE(std::string(c.what) + " on the " + RigPortName(c.port));
        int64_t at = -1;
        if (c.fault != Fault::None) {
            const WindowRun clean = RunWindow(c.port, Fault::None, -1, c.writeAByte);
            const uint64_t of = c.fault == Fault::Pulled ? clean.writes : clean.reads;
            at = static_cast<int64_t>(of * static_cast<uint64_t>(c.percent) / 100);
        }
        const WindowRun run = RunWindow(c.port, c.fault, at, c.writeAByte);
        EXPECT_EQ(run.faultCame, c.fault != Fault::None);
        EXPECT_EQ(std::string(ResultName(run.result)),
                  ResultName(c.fault == Fault::None ? CommandResult::Ok : CommandResult::Failed));
        // Every line listed is the chip's byte.
        int wrong = 0;
        std::size_t first = 0;
        for (std::size_t line = 0; line < run.listed.size() / 11; ++line) {
            unsigned byte = 0x100;
            std::sscanf(run.listed.c_str() + line * 11 + 6, "%2X", &byte);
            if (byte != WindowByte(static_cast<int>(line)) && wrong++ == 0)
                first = line;
        }
        EXPECT_EQ(wrong, 0) << "lines not the chip's, the first " << first;
        if (c.fault == Fault::None) {
            EXPECT_EQ(run.listed.size(), 512u * 11u);
        }
        if (c.box == nullptr) {
            EXPECT_EQ(run.windowBoxes, "");
        } else {
            EXPECT_NE(run.windowBoxes.find(c.box), std::string::npos) << run.windowBoxes;
        }
        const auto told = std::count_if(run.boxes.begin(), run.boxes.end(), [](const auto& t) {
            return t.find("the port stopped answering") != std::string::npos;
        });
        EXPECT_EQ(told, c.fault == Fault::None ? 0 : 1);
        EXPECT_EQ(run.changedByte,
                  c.writeAByte && c.fault == Fault::None ? 0x5A : WindowByte(kChangedByte));
    }
}

// The adapter is pulled while Serial Programming Instructions sends a typed
// instruction (Read Lock Bits, whose answer is the lock byte FC): the fields
// of the answer keep what was typed rather than the 1s of a lost port, the
// status never says OK, and the command ends as a failure with the lost port
// told once.
TEST(FtdiInFlight, ARawInstructionShowsNoAnswerALostAdapterNeverGave) {
    const struct {
        int writesLeft;  // the adapter goes this many writes before the instruction's end (0:
                         // never)
        const char* byte3;
        const char* byte4;
        const char* status;
    } kCases[] = {
        {0, "00", "FC", "OK"},
        {1, "7E", "11", " "},
        {3, "7E", "11", " "},
        {6, "7E", "11", " "},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE("pulled " + std::to_string(c.writesLeft) + " writes before the end");
        SimRigOptions options{.chip = "ATmega8", .cable = sim::CableKind::Cablet2};
        options.port = RigPort::Ft232r;
        if (!RigPortAvailable(options.port))
            continue;
        SimRig rig(options);
        rig.p.skipReadingPauses = true;
        rig.chip().SetLock(0xFC);
        FakeFtdiDevice& dev = *rig.kit->ftdiDevice;
        std::string byte3;
        std::string byte4;
        std::string status;
        rig.windows.dialogScript = [&](int, DialogHandler& dialog) {
            // A first send measures the writes one takes; the second is the trial.
            const uint64_t before = dev.writes;
            dialog.OnCommand(ids::kSendRec);
            const auto writes = static_cast<int64_t>(dev.writes - before);
            rig.windows.SetItemText(ids::kInstructionsDialog, ids::kByte3, "7E");
            rig.windows.SetItemText(ids::kInstructionsDialog, ids::kByte4, "11");
            if (c.writesLeft > 0)
                dev.unplugAfterWrites = writes - c.writesLeft;
            dialog.OnCommand(ids::kSendRec);
            byte3 = rig.windows.ItemText(ids::kInstructionsDialog, ids::kByte3);
            byte4 = rig.windows.ItemText(ids::kInstructionsDialog, ids::kByte4);
            status = rig.windows.ItemText(ids::kInstructionsDialog, ids::kInstrStatus);
        };
        const CommandResult result = app::OnCommand(rig.p, ids::kFuseBits);
        EXPECT_EQ(dev.present, c.writesLeft == 0);
        EXPECT_EQ(byte3, c.byte3);
        EXPECT_EQ(byte4, c.byte4);
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(std::string(ResultName(result)),
                  ResultName(c.writesLeft == 0 ? CommandResult::Ok : CommandResult::Failed));
        const std::vector<std::string> boxes = rig.windows.MessageTexts();
        const auto told = std::count_if(boxes.begin(), boxes.end(), [](const auto& t) {
            return t.find("the port stopped answering") != std::string::npos;
        });
        EXPECT_EQ(told, c.writesLeft == 0 ? 0 : 1) << ::testing::PrintToString(boxes);
    }
}

// The adapter is pulled while Read Signature Bytes reads: the report of the
// bytes a lost port gave (FF, "No echo") is no report of what the cable saw,
// so the one box is the lost port's.
TEST(FtdiInFlight, ASignatureALostAdapterNeverReadIsNotReported) {
    const struct {
        int percent;  // of the clean run's writes, before the adapter goes (-1: never)
        const char* box;
    } kCases[] = {
        {-1, "Info:: Vendor Code: 1E\nPart Family: 93\nPart Number: 07"},
        {25, "the port stopped answering"},
        {50, "the port stopped answering"},
        {90, "the port stopped answering"},
    };
    SimRigOptions options{.chip = "ATmega8", .cable = sim::CableKind::Cablet2};
    options.port = RigPort::Ft231x;
    if (!RigPortAvailable(options.port))
        return;
    uint64_t clean = 0;
    for (const auto& c : kCases) {
        SCOPED_TRACE("pulled at " + std::to_string(c.percent) + "%");
        SimRig rig(options);
        rig.p.skipReadingPauses = true;
        FakeFtdiDevice& dev = *rig.kit->ftdiDevice;
        if (c.percent >= 0)
            dev.unplugAfterWrites = static_cast<int64_t>(clean * c.percent / 100);
        const CommandResult result = app::OnCommand(rig.p, ids::kReadSignature);
        if (c.percent < 0)
            clean = dev.writes;
        EXPECT_EQ(dev.present, c.percent < 0);
        EXPECT_EQ(std::string(ResultName(result)),
                  ResultName(c.percent < 0 ? CommandResult::Ok : CommandResult::Failed));
        const std::vector<std::string> boxes = rig.windows.MessageTexts();
        EXPECT_EQ(boxes.size(), 1u) << ::testing::PrintToString(boxes);
        if (!boxes.empty()) {
            EXPECT_NE(boxes.back().find(c.box), std::string::npos) << boxes.back();
        }
    }
}

// The adapter is pulled while Verify compares: the 1s a lost port reads are
// no mismatch of the chip's, so no "Verify failed" box asks to pass one; the
// one box is the lost port's.
TEST(FtdiInFlight, AVerifyALostAdapterCutShortBlamesNoByteOfTheChip) {
    const struct {
        RigPort port;
        int percent;  // of the clean run's writes, before the adapter goes (-1: never)
    } kCases[] = {
        {RigPort::Ft232r, -1}, {RigPort::Ft232r, 10}, {RigPort::Ft232r, 50},
        {RigPort::Ft231x, -1}, {RigPort::Ft231x, 90},
    };
    uint64_t clean = 0;
    for (const auto& c : kCases) {
        if (!RigPortAvailable(c.port))
            continue;
        SCOPED_TRACE(std::string(RigPortName(c.port)) + " pulled at " + std::to_string(c.percent) +
                     "%");
        SimRigOptions options{.chip = "ATmega8", .cable = sim::CableKind::Cablet2};
        options.port = c.port;
        SimRig rig(options);
        rig.p.skipReadingPauses = true;
        const ByteImage image =
            SpreadImage(rig.chip().chip().flashBytes, rig.chip().chip().pageBytes);
        for (const auto& [a, v] : image)
            rig.chip().SetFlash(a, v);
        rig.Write("spread.hex", HexText(image));
        ASSERT_EQ(rig.Load("spread.hex"), 0);
        FakeFtdiDevice& dev = *rig.kit->ftdiDevice;
        if (c.percent >= 0)
            dev.unplugAfterWrites = static_cast<int64_t>(clean * c.percent / 100);
        const CommandResult result = app::OnCommand(rig.p, ids::kVerify);
        if (c.percent < 0)
            clean = dev.writes;
        EXPECT_EQ(dev.present, c.percent < 0);
        EXPECT_EQ(std::string(ResultName(result)),
                  ResultName(c.percent < 0 ? CommandResult::Ok : CommandResult::Failed));
        const std::vector<std::string> boxes = rig.windows.MessageTexts();
        EXPECT_EQ(boxes.size(), c.percent < 0 ? 0u : 1u) << ::testing::PrintToString(boxes);
        if (c.percent >= 0 && !boxes.empty()) {
            EXPECT_NE(boxes.back().find("the port stopped answering"), std::string::npos)
                << boxes.back();
        }
    }
}

}  // namespace
}  // namespace ostrel::testing

namespace ostrel::testing {
namespace {

// The adapter is pulled on the last transfers of a command, after its work
// was done and checked, while the chip is let go: the command did not end as
// asked, so it ends as a failure, with no "OK" shown once the states before
// it were lost, and the activity line keeps nothing the command showed
// before the loss.
TEST(FtdiInFlight, AnAdapterPulledOnTheLastTransfersLeavesNoOk) {
    const struct {
        int command;
        int lastLost;  // writes of the clean run that find the adapter gone (0: never pulled)
        // Write and Verify let the chip go after their OK, as they always have: a loss on
        // that last transfer comes after the OK was shown.
        bool okBeforeTheLoss = false;
    } kCases[] = {
        {ids::kWrite, 0},        {ids::kWrite, 1, true}, {ids::kWrite, 3}, {ids::kVerify, 0},
        {ids::kVerify, 1, true}, {ids::kVerify, 3},      {ids::kRead, 0},  {ids::kRead, 1},
        {ids::kRead, 2},         {ids::kCheck, 0},       {ids::kCheck, 1}, {ids::kReadbackInhx, 0},
        {ids::kReadbackInhx, 1},
    };
    SimRigOptions options{.chip = "ATmega8", .cable = sim::CableKind::Cablet1};
    options.port = RigPort::Ft232r;
    if (!RigPortAvailable(options.port))
        return;
    std::map<int, uint64_t> clean;
    for (const auto& c : kCases) {
        SCOPED_TRACE("command " + std::to_string(c.command) + ", the last " +
                     std::to_string(c.lastLost) + " writes lost");
        SimRig rig(options);
        const std::string hex = ReadFileBytes(SourcePath("examples/hello-atmega8.hex"));
        rig.Write("prog.hex", hex);
        ASSERT_EQ(rig.Load("prog.hex"), 0);
        if (c.command == ids::kVerify) {
            for (const auto& [a, v] : ParseHexImage(hex))
                rig.chip().SetFlash(a, v);
        }
        FakeFtdiDevice& dev = *rig.kit->ftdiDevice;
        if (c.lastLost > 0) {
            ASSERT_TRUE(clean.contains(c.command)) << "a clean run first";
            dev.unplugAfterWrites = static_cast<int64_t>(clean[c.command]) - c.lastLost;
        }
        const CommandResult result = app::OnCommand(rig.p, c.command);
        if (c.lastLost == 0) {
            clean[c.command] = dev.writes;
            EXPECT_EQ(std::string(ResultName(result)), ResultName(CommandResult::Ok));
            continue;
        }
        EXPECT_FALSE(dev.present) << "the adapter was pulled within the command";
        EXPECT_EQ(std::string(ResultName(result)), ResultName(CommandResult::Failed));
        const auto& shown = rig.windows.activity;
        EXPECT_EQ(std::count(shown.begin(), shown.end(), std::string(texts::kOk)),
                  c.okBeforeTheLoss ? 1 : 0)
            << ::testing::PrintToString(shown);
        ASSERT_FALSE(shown.empty());
        EXPECT_EQ(shown.back().find_first_not_of(' '), std::string::npos)
            << "the activity line at the end: " << shown.back();
        const std::vector<std::string> boxes = rig.windows.MessageTexts();
        ASSERT_EQ(boxes.size(), 1u) << ::testing::PrintToString(boxes);
        EXPECT_NE(boxes.back().find("the port stopped answering"), std::string::npos);
    }
}

}  // namespace
}  // namespace ostrel::testing
