// How commands end: a success text only after every step succeeded, and a
// file that cannot be sent refused before anything reaches the port.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>

#include "app/commands.h"
#include "app/startup.h"
#include "core/ids.h"
#include "devices/device_file.h"
#include "tests/image/image_test_util.h"
#include "tests/support/fixture.h"
#include "tests/support/hex_image.h"
#include "tests/support/sim_rig.h"

namespace ostrel::testing {
namespace {

using app::CommandResult;
using sim::CableKind;
using sim::SimFault;

std::string Lines(std::initializer_list<std::string> lines) {
    std::string text;
    for (const auto& l : lines)
        text += l + "\r\n";
    return text;
}

// The last text of the activity line, without its padding blanks.
std::string LastStep(const ScriptedWindows& w) {
    std::string s = w.activity.empty() ? "" : w.activity.back();
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

const std::string kProgram = Lines({Record(0, 0, {1, 2, 3, 4}), kEndRecord});
// A well-formed EEPROM record whose checksum does not add up.
const std::string kWrongChecksumEep = ":0100000001FF\r\n:00000001FF\r\n";

// prog.hex loaded, with the EEPROM follow-up on.
void ProgramWithFollowUp(SimRig& rig, const std::string& eep) {
    rig.Write("prog.hex", kProgram);
    ASSERT_EQ(rig.Load("prog.hex"), 0);
    rig.Write("prog.eep", eep);
    rig.p.state.programEepAfterHex = 1;
}

struct Situation {
    const char* name;
    int command;
    std::function<void(SimRig&)> setup;
    CommandResult result;
    const char* lastStep;           // the activity line at the end; nullptr: any but "OK"
    bool portUntouched;             // not a single port access
    std::vector<std::string> told;  // parts of the last message box
    std::function<void(SimRig&)> after = nullptr;
    SimRigOptions options = {.chip = "ATmega8"};
};

void RunSituations(const std::vector<Situation>& situations) {
    for (const Situation& c : situations) {
        SCOPED_TRACE(c.name);
        SimRig rig(c.options);
        c.setup(rig);
        uint64_t callsBefore = rig.sim->portCalls();
        EXPECT_EQ(app::OnCommand(rig.p, c.command), c.result);
        if (c.lastStep) {
            EXPECT_EQ(LastStep(rig.windows), c.lastStep);
        } else {
            EXPECT_NE(LastStep(rig.windows), "OK");
        }
        if (c.portUntouched) {
            EXPECT_EQ(rig.sim->portCalls(), callsBefore) << "nothing may reach the port";
        }
        for (const std::string& part : c.told) {
            ASSERT_FALSE(rig.windows.messages.empty());
            EXPECT_TRUE(Contains(rig.windows.messages.back().text, part))
                << rig.windows.messages.back().text;
        }
        if (c.after)
            c.after(rig);
    }
}

TEST(Endings, EachCommandEndsAsItsStepsWent) {
    auto goneAfterLoading = [](SimRig& rig) {
        rig.Write("prog.hex", kProgram);
        ASSERT_EQ(rig.Load("prog.hex"), 0);
        std::filesystem::remove(rig.dir.File("prog.hex"));
    };
    auto noChange = [](SimRig& rig) {
        EXPECT_EQ(rig.chip().Flash(0), 0xFF);
        EXPECT_EQ(rig.chip().Eeprom(0), 0xFF);
        EXPECT_EQ(rig.chip().chipErases(), 0);
    };
    auto chooseByHand = [](SimRig& rig, const char* name, MsgResult answer) {
        rig.Write("prog.hex", kProgram);
        ASSERT_EQ(rig.Load("prog.hex"), 0);
        rig.windows.CheckItem(ids::kMainWindow, ids::kAutodetection, false);
        rig.p.state.manualDevice = 1;
        for (int i = 0; i < rig.windows.ListCount(); ++i) {
            if (rig.windows.ListEntry(i) == name)
                rig.windows.SelectListEntry(i);
        }
        rig.windows.answers.push_back(answer);
    };
    // After the chip erase the chip answers with a signature the device file does not know.
    auto unknownAfterErase = [](SimRig& rig) {
        rig.windows.onPendingEvents = [&rig] {
            if (rig.chip().chipErases() > 0)
                rig.chip().SetSignature({0x1E, 0x97, 0x7E});
        };
    };
    // A file name long enough to fill the failure text on its own.
    const std::string longName = std::string(170, 'n') + ".hex";
    auto loadLong = [longName](SimRig& rig, const std::string& text) {
        rig.Write(longName, text);
        ASSERT_EQ(rig.Load(longName), 0);
    };
    const std::vector<Situation> situations = {
        // A long file name is shortened; the reason and the advice stay whole.
        {"long-named flash file beyond the chip's flash",
         ids::kWrite,
         [loadLong](SimRig& rig) {
             loadLong(rig, Lines({Record(0, 0, {1, 2}), Record(0, 0x2000, {4}), kEndRecord}));
         },
         CommandResult::Failed,
         "",
         false,
         {"Out of memory: 1000", "nnn...nnn", ".hex, line 2: byte address 0x2000",
          "flash (8192 bytes, 0x0000 to 0x1FFF)", "Nothing was written to the chip."},
         noChange},
        {"long-named file written with no chip",
         ids::kWrite,
         [loadLong](SimRig& rig) { loadLong(rig, kProgram); },
         CommandResult::Failed,
         "",
         false,
         {"No Connection!", "No echo 53 received",
          "\n\nCheck the cable, the chip's power and its clock"},
         noChange,
         {.chip = "ATmega8", .fault = SimFault::NoTarget}},
        {"long-named file that changed after it was checked",
         ids::kWrite,
         [loadLong, longName](SimRig& rig) {
             loadLong(rig, kProgram);
             rig.windows.onPendingEvents = [&rig, longName] {
                 rig.Write(longName, ":00000001FF\n");
             };
         },
         CommandResult::Failed,
         "",
         false,
         {"nnn...nnn", ".hex changed after it was checked", "Nothing was written to the chip."},
         noChange},
        // Read into a file the user names: refused before the chip is read
        // when it cannot be written, written whole when it can.
        {"Read into a folder",
         ids::kRead,
         [](SimRig& rig) {
             rig.p.readbackFile = rig.dir.File("out");
             std::filesystem::create_directory(rig.p.readbackFile);
         },
         CommandResult::Failed,
         "",
         true,
         {"open error output file!", "out cannot be written", "it is a folder",
          "Nothing was read from the chip."}},
        {"Readback INHX into a folder that is not there",
         ids::kReadbackInhx,
         [](SimRig& rig) { rig.p.readbackFile = rig.dir.File("none/" + std::string(150, 'x')); },
         CommandResult::Failed,
         "",
         true,
         {"open error output file!", "cannot be written in", "Nothing was read from the chip."}},
        {"Readback INHX into a named file",
         ids::kReadbackInhx,
         [](SimRig& rig) { rig.p.readbackFile = rig.dir.File("flash copy.hex"); },
         CommandResult::Ok,
         "flash copy.hex saved",
         false,
         {},
         [](SimRig& rig) {
             EXPECT_TRUE(ReadFileBytes(rig.dir.File("flash copy.hex")).ends_with(":00000001FF"));
             EXPECT_FALSE(std::filesystem::exists(rig.dir.File("readback.hex")));
         }},
        {"write of a file removed after it was chosen",
         ids::kWrite,
         goneAfterLoading,
         CommandResult::Failed,
         "",
         true,
         {"prog.hex"},
         noChange},
        {"verify of a file removed after it was chosen",
         ids::kVerify,
         goneAfterLoading,
         CommandResult::Failed,
         "",
         true,
         {"prog.hex"}},
        // A long name is shortened in its middle: the reason after it stays whole.
        {"write of a file of a very long name whose data lie beyond the flash",
         ids::kWrite,
         [](SimRig& rig) {
             const std::string name = std::string(200, 'n') + ".hex";
             rig.Write(name, Lines({Record(0, 0x3000, {1, 2}), kEndRecord}));
             rig.Load(name);
         },
         CommandResult::Failed,
         "",
         false,
         {"Out of memory: ", "nnn...nnn",
          "lies beyond this chip's flash (8192 bytes, 0x0000 to 0x1FFF)."},
         noChange},
        {"write of a file of a very long name removed after it was chosen",
         ids::kWrite,
         [](SimRig& rig) {
             const std::string name = std::string(200, 'g') + ".hex";
             rig.Write(name, kProgram);
             ASSERT_EQ(rig.Load(name), 0);
             std::filesystem::remove(rig.dir.File(name));
         },
         CommandResult::Failed,
         "",
         true,
         {"ggg...ggg", "gg.hex"},
         noChange},
        // The advice goes on a line of its own, outside the failure text.
        {"check without a chip",
         ids::kCheck,
         [](SimRig&) {},
         CommandResult::Failed,
         "",
         false,
         {"No Connection!\n\n", "\n\nCheck the cable, the chip's power and its clock"},
         [](SimRig& rig) {
             EXPECT_FALSE(Contains(std::string(rig.p.state.errorText.view()), "Check the cable"));
         },
         {.chip = "ATmega8", .fault = SimFault::NoTarget}},
        {"quick of a file removed after it was chosen",
         ids::kQuick,
         goneAfterLoading,
         CommandResult::Failed,
         "",
         true,
         {"open error input file!"}},
        {"EEPROM follow-up that is not Intel HEX",
         ids::kWrite,
         [](SimRig& rig) { ProgramWithFollowUp(rig, "hello\r\n"); },
         CommandResult::Failed,
         "",
         true,
         {"prog.eep", "Nothing was sent"},
         noChange},
        // An empty .eep beside a .hex clears the EEPROM, and the write goes on.
        {"EEPROM follow-up of blank lines only",
         ids::kWrite,
         [](SimRig& rig) {
             ProgramWithFollowUp(rig, "\r\n  \r\n");
             rig.chip().SetEeprom(5, 0x12);
         },
         CommandResult::Ok,
         "OK",
         false,
         {},
         [](SimRig& rig) {
             EXPECT_EQ(rig.chip().Flash(0), 0x01);
             EXPECT_EQ(rig.chip().Eeprom(5), 0xFF);
             EXPECT_TRUE(rig.windows.messages.empty());
         }},
        {"EEPROM follow-up of no bytes",
         ids::kWrite,
         [](SimRig& rig) {
             ProgramWithFollowUp(rig, "");
             rig.chip().SetEeprom(5, 0x12);
         },
         CommandResult::Ok,
         "OK",
         false,
         {},
         [](SimRig& rig) { EXPECT_EQ(rig.chip().Eeprom(5), 0xFF); }},
        {"empty EEPROM file named for the write",
         ids::kWrite,
         [](SimRig& rig) {
             rig.Write("prog.eep", "\r\n  \r\n");
             ASSERT_EQ(rig.Load("prog.eep"), 0);
         },
         CommandResult::Failed,
         "",
         true,
         {"prog.eep is empty", "Nothing was sent"},
         noChange},
        {"EEPROM follow-up with a wrong checksum, Cancel",
         ids::kWrite,
         [](SimRig& rig) {
             ProgramWithFollowUp(rig, kWrongChecksumEep);
             rig.windows.answers = {MsgResult::Cancel};
         },
         CommandResult::Cancelled,
         "",
         true,
         {"Checksum wrong, continue!", "prog.eep"},
         noChange},
        {"EEPROM file beside it while the option is off",
         ids::kWrite,
         [](SimRig& rig) {
             ProgramWithFollowUp(rig, "hello\r\n");
             rig.p.state.programEepAfterHex = 0;
         },
         CommandResult::Ok,
         "OK",
         false,
         {}},
        {"EEPROM follow-up beyond the chip's EEPROM",
         ids::kWrite,
         [](SimRig& rig) {
             ProgramWithFollowUp(rig, Lines({Record(0, 0x0400, {0x11}), kEndRecord}));
         },
         CommandResult::Failed,
         "",
         false,
         {"Out of memory: 0400", "prog.eep, line 1", "EEPROM (512 bytes", "Nothing was written"},
         noChange},
        {"flash file beyond the chip's flash",
         ids::kWrite,
         [](SimRig& rig) {
             rig.Write("prog.hex", Lines({Record(0, 0, {1, 2}), Record(0, 0x1FFF, {3, 4}),
                                          Record(0, 0x2000, {4}), kEndRecord}));
             ASSERT_EQ(rig.Load("prog.hex"), 0);
         },
         CommandResult::Failed,
         "",
         false,
         {"Out of memory: 1000", "prog.hex, line 2: byte address 0x2000", "flash (8192 bytes",
          "Nothing was written"},
         noChange},
        {"quick of a flash file beyond the chip's flash",
         ids::kQuick,
         [](SimRig& rig) {
             rig.Write("prog.hex",
                       Lines({Record(0, 0, {1, 2}), Record(0, 0x2000, {5}), kEndRecord}));
             ASSERT_EQ(rig.Load("prog.hex"), 0);
         },
         CommandResult::Failed,
         "",
         false,
         {"Out of memory: 1000", "prog.hex, line 2"},
         noChange},
        {"dump of a larger chip written to a small one",
         ids::kWrite,
         [](SimRig& rig) {
             // The whole dump of an ATmega8 (8 KB flash, 512 bytes EEPROM).
             ByteImage image;
             for (uint32_t a = 0; a < 0x2000; ++a)
                 image[a] = static_cast<uint8_t>(a + 1);
             const std::string dump = DumpText(0x2000, 512, image);
             rig.Write("readback.txt", dump);
             ASSERT_EQ(rig.Load("readback.txt"), 0);
         },
         CommandResult::Failed,
         "",
         false,
         {"Out of memory: 0400", "readback.txt, line 131", "flash (2048 bytes"},
         noChange,
         {.chip = "AT90S2313"}},
        // The snapshot is tried before the chip is touched.
        {"snapshot that cannot be created",
         ids::kWrite,
         [](SimRig& rig) {
             ProgramWithFollowUp(rig, Lines({Record(0, 0, {0x42}), kEndRecord}));
             rig.Write("prog.scr", "AC A0 00 E4\n");
             std::filesystem::create_directory(rig.dir.File("prog.tmp"));
         },
         CommandResult::Failed,
         "",
         true,
         {"open error output file!", "prog.tmp cannot be written", "it is a folder",
          "Nothing was sent to the chip"},
         noChange},
        // ... and when it still fails afterwards, the user is told what was done.
        {"snapshot that cannot be created once the flash is written",
         ids::kWrite,
         [](SimRig& rig) {
             ProgramWithFollowUp(rig, Lines({Record(0, 0, {0x42}), kEndRecord}));
             rig.Write("prog.scr", "AC A0 00 E4\n");
             rig.windows.onPendingEvents = [&rig] {
                 std::error_code ec;
                 if (rig.chip().Flash(0) == 0x01)
                     std::filesystem::create_directory(rig.dir.File("prog.tmp"), ec);
             };
         },
         CommandResult::Failed,
         nullptr,
         false,
         {"open error output file!", "prog.tmp", "prog.eep was not programmed",
          "prog.scr was not run"},
         [](SimRig& rig) {
             EXPECT_EQ(rig.chip().Flash(0), 0x01) << "the flash was written";
             EXPECT_EQ(rig.chip().Eeprom(0), 0xFF) << "the EEPROM file was not";
             EXPECT_NE(rig.chip().Fuse(0), 0xE4) << "nor the script";
         }},
        // The chip answers after the erase, with a signature ostrel.ini does
        // not know: the erase worked, and the system says "OK".
        {"Erase all whose chip is unknown after the erase",
         ids::kEraseAll,
         unknownAfterErase,
         CommandResult::Ok,
         "OK",
         false,
         {"This Command Deletes Memory!"}},
        {"Erase all whose chip stops answering after the erase",
         ids::kEraseAll,
         [](SimRig& rig) {
             rig.windows.onPendingEvents = [&rig] {
                 if (rig.chip().chipErases() > 0)
                     rig.chip().SetClockHz(1000);  // far too slow for any SCK: no echo
             };
         },
         CommandResult::Failed,
         "",
         false,
         {"No Connection!"}},
        {"Erase all whose second connection succeeds",
         ids::kEraseAll,
         [](SimRig&) {},
         CommandResult::Ok,
         "OK",
         false,
         {}},
        {"Erase all with a device chosen by hand and no chip",
         ids::kEraseAll,
         [](SimRig& rig) { rig.p.state.manualDevice = 1; },
         CommandResult::Failed,
         "",
         false,
         {"No Connection!", "No echo 53 received"},
         nullptr,
         {.chip = "ATmega8", .fault = SimFault::NoTarget}},
        {"Read with a device chosen by hand and no chip",
         ids::kRead,
         [](SimRig& rig) { rig.p.state.manualDevice = 1; },
         CommandResult::Failed,
         "",
         false,
         {"No Connection!"},
         nullptr,
         {.chip = "ATmega8", .fault = SimFault::NoTarget}},
        {"Lock with a device chosen by hand and no chip",
         ids::kLockChip,
         [](SimRig& rig) { rig.p.state.manualDevice = 1; },
         CommandResult::Failed,
         "",
         false,
         {"No Connection!"},
         nullptr,
         {.chip = "ATmega8", .fault = SimFault::NoTarget}},
        // A line that cannot answer is no chip, whatever the device file or
        // the device chosen says: a write of the stuck level must not verify.
        {"Write of a page of 00 with a device chosen by hand and the echo lost",
         ids::kWrite,
         [](SimRig& rig) {
             rig.p.state.manualDevice = 1;
             rig.Write("zeros.hex", Lines({Record(0, 0, std::vector<int>(64, 0)), kEndRecord}));
             ASSERT_EQ(rig.Load("zeros.hex"), 0);
         },
         CommandResult::Failed,
         "",
         false,
         {"No Connection!", "Vendor Code: 00"},
         noChange,
         {.chip = "ATmega8", .fault = SimFault::EchoLost}},
        {"Write of a page of FF with no chip and a device file line FFFFFF",
         ids::kWrite,
         [](SimRig& rig) {
             rig.dir.Write("ostrel.ini", "ATstuck\tFFFFFF\t8k\t32\t0\t1\tPB:5\t512\n");
             devices::FillDeviceList(rig.p);
             rig.Write("ones.hex", Lines({Record(0, 0, std::vector<int>(64, 0xFF)), kEndRecord}));
             ASSERT_EQ(rig.Load("ones.hex"), 0);
         },
         CommandResult::Failed,
         "",
         false,
         {"No Connection!", "Vendor Code: FF"},
         nullptr,
         {.chip = "ATmega8", .fault = SimFault::NoTarget}},
        // A hand-chosen ATmega16 on an ATmega8: the question names both,
        // and only an OK lets the write go on.
        {"Write as a hand-chosen ATmega16 on an ATmega8, the question cancelled",
         ids::kWrite,
         [&chooseByHand](SimRig& rig) { chooseByHand(rig, "ATmega16", MsgResult::Cancel); },
         CommandResult::Failed,
         "",
         false,
         {"answers as ATmega8, not as ATmega16"},
         [](SimRig& rig) {
             ASSERT_GE(rig.windows.messages.size(), 2u);
             const std::string& asked = rig.windows.messages[rig.windows.messages.size() - 2].text;
             EXPECT_TRUE(Contains(asked, "answers as ATmega8 (signature 1E9307)")) << asked;
             EXPECT_TRUE(Contains(asked, "Go on as ATmega16?")) << asked;
             EXPECT_EQ(rig.chip().Flash(0), 0xFF);
             EXPECT_EQ(rig.chip().chipErases(), 0);
         }},
        {"Write as a hand-chosen ATmega16 on an ATmega8, the question answered OK",
         ids::kWrite,
         [&chooseByHand](SimRig& rig) { chooseByHand(rig, "ATmega16", MsgResult::Ok); },
         CommandResult::Ok,
         "OK",
         false,
         {},
         [](SimRig& rig) { EXPECT_EQ(rig.chip().Flash(0), 1); }},
        {"Write as a hand-chosen ATmega8 on an ATmega8 asks nothing",
         ids::kWrite,
         [&chooseByHand](SimRig& rig) { chooseByHand(rig, "ATmega8", MsgResult::Cancel); },
         CommandResult::Ok,
         "OK",
         false,
         {},
         [](SimRig& rig) { EXPECT_EQ(rig.chip().Flash(0), 1); }},
        {"MOSI box while the serial port cannot be opened",
         ids::kMosiBox,
         [](SimRig&) {},
         CommandResult::Failed,
         "",
         false,
         {"COM-Init-Error!"},
         nullptr,
         {.cable = CableKind::Cablet2, .fault = SimFault::NoPort}},
    };
    RunSituations(situations);
}

TEST(Endings, FilesTheCheckersWillRefuse) {
    auto withScript = [](SimRig& rig, const char* script) {
        rig.Write("prog.hex", kProgram);
        ASSERT_EQ(rig.Load("prog.hex"), 0);
        rig.Write("prog.scr", script);
    };
    auto noChange = [](SimRig& rig) {
        EXPECT_EQ(rig.chip().Flash(0), 0xFF);
        EXPECT_EQ(rig.chip().chipErases(), 0);
    };
    const std::vector<Situation> situations = {
        {"script with a line that is not an instruction",
         ids::kWrite,
         [](SimRig& rig) {
             rig.Write("prog.hex", kProgram);
             ASSERT_EQ(rig.Load("prog.hex"), 0);
             rig.Write("prog.scr", "AC A0 00 E4\nZZ 00 00 00\n");
         },
         CommandResult::Failed,
         "",
         true,
         {"prog.scr"},
         noChange},
        // A script after the verify: a Chip Erase would undo the write it
        // follows; memory writes are asked about before the chip is touched.
        {"script with a Chip Erase",
         ids::kWrite,
         [&withScript](SimRig& rig) { withScript(rig, "AC A0 00 E4\n; erase\nAC 80 00 00\n"); },
         CommandResult::Failed,
         "",
         true,
         {"Script line 3 of prog.scr", "Chip Erase"},
         noChange},
        {"script with an EEPROM write, the question cancelled",
         ids::kWrite,
         [&withScript](SimRig& rig) {
             withScript(rig, "C0 00 10 42\n4C 00 00 00\n");
             rig.windows.answers.push_back(MsgResult::Cancel);
         },
         CommandResult::Cancelled,
         "",
         true,
         {"line 1: C0 00 10 42 (Write EEPROM)", "line 2: 4C 00 00 00 (Write Program Memory Page)"},
         noChange},
        {"script with an EEPROM write, the question answered OK",
         ids::kWrite,
         [&withScript](SimRig& rig) { withScript(rig, "C0 00 10 42\n"); },
         CommandResult::Ok,
         "F+L Bits programmed; the script changed the memory after the verify",
         false,
         {},
         [](SimRig& rig) {
             EXPECT_EQ(rig.chip().Flash(0), 1);
             EXPECT_EQ(rig.chip().Eeprom(0x10), 0x42);
         }},
        {"dump whose flash lines are damaged",
         ids::kWrite,
         [](SimRig& rig) {
             rig.Write("readback.txt", "Flash\r\n0000: 0C94 34XX\r\n");
             ASSERT_EQ(rig.Load("readback.txt"), 0);
         },
         CommandResult::Failed,
         "",
         true,
         {"readback.txt"},
         noChange},
        {"script that is there but cannot be read",
         ids::kWrite,
         [](SimRig& rig) {
             rig.Write("prog.hex", kProgram);
             ASSERT_EQ(rig.Load("prog.hex"), 0);
             std::filesystem::create_directory(rig.dir.File("prog.scr"));
         },
         CommandResult::Failed,
         "",
         true,
         {"prog.scr", "cannot be read"},
         noChange},
        {"quick of a refused file leaves no difference file",
         ids::kQuick,
         [](SimRig& rig) {
             rig.Write("prog.hex", ":0100000001FE\r\nnot a record\r\n");
             rig.Write("prog.tmp", kProgram);
             ASSERT_EQ(rig.Load("prog.hex"), 0);
         },
         CommandResult::Failed,
         "",
         true,
         {"prog.hex", "line 2"},
         [&](SimRig& rig) {
             noChange(rig);
             EXPECT_FALSE(std::filesystem::exists(rig.dir.File("prog.dif")));
         }},
    };
    RunSituations(situations);
}

TEST(Endings, OpeningAFileThatIsNotThereLeavesNoEarlierFileBehind) {
    SimRig rig;
    rig.Write("first.hex", kProgram);
    ASSERT_EQ(rig.Load("first.hex"), 0);
    for (const char* name : {"gone.hex", "prog.hex.new"}) {
        SCOPED_TRACE(name);
        if (std::string(name) != "gone.hex")
            rig.Write(name, kProgram);
        rig.windows.fileChoices.push_back(rig.dir.File(name));
        EXPECT_EQ(app::OnCommand(rig.p, ids::kFileOpen), CommandResult::Failed);
        EXPECT_EQ(rig.p.state.fileLoaded, 0);
        EXPECT_EQ(rig.windows.ItemText(ids::kMainWindow, ids::kCurrentFile), "");
        ASSERT_FALSE(rig.windows.messages.empty());
        EXPECT_TRUE(Contains(rig.windows.messages.back().text, name));
        // Write now has no file, rather than the earlier one.
        EXPECT_EQ(app::OnCommand(rig.p, ids::kWrite), CommandResult::Failed);
        EXPECT_EQ(rig.windows.messages.back().text, "No File selected!");
        ASSERT_EQ(rig.Load("first.hex"), 0);
    }
}

TEST(Endings, AFailedDriverAccessIsToldOnceAndFailsTheCommand) {
    // (Reset/Run does not get that far: it ends with "DLPORTIO not installed".)
    for (int command : {ids::kCheck, ids::kRead, ids::kReadSignature, ids::kEraseAll,
                        ids::kBulkEraseData, ids::kLockChip}) {
        SCOPED_TRACE(command);
        SimRig rig;  // a parallel port, but neither direct access nor a driver
        rig.p.state.directPortIo = 0;
        for (int round = 0; round < 2; ++round) {  // the next command is told again, once
            rig.windows.messages.clear();
            EXPECT_EQ(app::OnCommand(rig.p, round == 0 ? command : ids::kCheck),
                      CommandResult::Failed);
            int told = 0;
            for (const ShownMessage& m : rig.windows.messages) {
                told += m.text == "Error during driver access!" ? 1 : 0;
                EXPECT_TRUE(m.title == "Warning!" || m.text == "Error during driver access!")
                    << "no other message: " << m.title << ": " << m.text;
            }
            EXPECT_EQ(told, 1);
        }
        EXPECT_EQ(rig.sim->portCalls(), 0u);
        EXPECT_TRUE(rig.windows.WindowEnded(ids::kMainWindow));
        EXPECT_NE(LastStep(rig.windows), "OK");
    }
}

TEST(Endings, AStoredPortNameThatIsNoPortGivesTheDefaultAndNoDriverError) {
    for (const char* stored : {"COM9", "Com1", "LPT1"}) {
        SCOPED_TRACE(stored);
        SimRig rig;
        rig.p.state.directPortIo = 0;
        rig.Write("ostrel.cfg", stored);
        EXPECT_TRUE(app::OpenMainWindow(rig.p, std::nullopt));
        EXPECT_EQ(rig.p.state.portName.view(), "COM2");
        EXPECT_TRUE(rig.windows.IsMenuChecked(ids::kCom2));
        EXPECT_EQ(rig.dir.Read("ostrel.cfg").substr(0, 4), "COM2") << "the bad name is not kept";
        for (const ShownMessage& m : rig.windows.messages)
            EXPECT_NE(m.text, "Error during driver access!");
    }
}

}  // namespace
}  // namespace ostrel::testing
