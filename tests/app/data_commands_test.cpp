// Read, Write, Verify and the quick write as whole commands against the
// simulated chip, through the scripted window system.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>

#include "app/commands.h"
#include "app/data_commands.h"
#include "core/ids.h"
#include "tests/image/image_test_util.h"
#include "tests/support/child_process.h"
#include "tests/support/hex_image.h"
#include "tests/support/sim_rig.h"

namespace ostrel::testing {
namespace {

using app::CommandResult;

std::string Lines(std::initializer_list<std::string> lines) {
    std::string text;
    for (const auto& l : lines)
        text += l + "\r\n";
    return text;
}

std::string Trimmed(std::string text) {
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

// The activity texts with repeats and blanks dropped.
std::vector<std::string> Steps(const ScriptedWindows& w) {
    std::vector<std::string> out;
    for (const auto& t : w.activity) {
        std::string s = Trimmed(t);
        if (s.empty() || (!out.empty() && out.back() == s))
            continue;
        out.push_back(s);
    }
    return out;
}

const std::string kTwoPages =
    Lines({Record(0, 0x0000, Bytes(16, 0x20)), Record(0, 0x0040, Bytes(16, 0x60)), kEndRecord});

TEST(Write, PageModeWithEraseProgramsVerifiesAndKeepsASnapshot) {
    SimRig rig({.chip = "ATmega8"});
    rig.chip().SetFlash(0x100, 0x00);  // old content, erased first
    rig.Write("prog.hex", kTwoPages);
    ASSERT_EQ(rig.Load("prog.hex"), 0);
    EXPECT_EQ(app::OnCommand(rig.p, ids::kWrite), CommandResult::Ok);
    EXPECT_EQ(rig.chip().chipErases(), 1);
    EXPECT_EQ(rig.chip().Flash(0x100), 0xFF);
    EXPECT_EQ(rig.chip().Flash(0x41), 0x61);
    // Two pages at a port access of a couple of microseconds: nothing to announce.
    EXPECT_EQ(Steps(rig.windows),
              (std::vector<std::string>{"connecting....", "writing.....", "33% programmed",
                                        "66% programmed", "verifying.....", "33% verified",
                                        "66% verified", "OK"}));
    EXPECT_EQ(rig.dir.Read("prog.tmp"), kTwoPages);
    rig.clock.Advance(10);  // RESET high is seen after two chip cycles
    EXPECT_TRUE(rig.chip().Running()) << "the target is released at the end";
    EXPECT_GE(rig.windows.beeps, 1);
}

TEST(Write, EepromFollowUpOnlyWithTheOption) {
    for (bool option : {false, true}) {
        SimRig rig({.chip = "ATmega8"});
        rig.Write("prog.hex", kTwoPages);
        rig.Write("prog.eep", Lines({Record(0, 0x0005, {0xAB, 0xCD}), kEndRecord}));
        ASSERT_EQ(rig.Load("prog.hex"), 0);
        rig.p.state.programEepAfterHex = option ? 1 : 0;
        EXPECT_EQ(app::OnCommand(rig.p, ids::kWrite), CommandResult::Ok);
        EXPECT_EQ(rig.chip().Eeprom(5), option ? 0xAB : 0xFF);
        EXPECT_EQ(rig.p.state.eepromFile, 0);
        EXPECT_EQ(rig.p.state.currentFileName.view(), rig.dir.File("prog.hex"));
    }
}

TEST(Write, AnEepromFileAloneRunsItsScriptButNoFollowUp) {
    SimRig rig({.chip = "ATmega8"});
    rig.Write("data.eep", Lines({Record(0, 0x0000, {0x01, 0x02}), kEndRecord}));
    rig.Write("data.scr", "AC A0 00 E4\n50 00 00 E4\n");
    ASSERT_EQ(rig.Load("data.eep"), 0);
    rig.chip().SetEeprom(0x1FF, 0x00);
    EXPECT_EQ(app::OnCommand(rig.p, ids::kWrite), CommandResult::Ok);
    EXPECT_EQ(rig.chip().Eeprom(0), 0x01);
    EXPECT_EQ(rig.chip().Eeprom(0x1FF), 0xFF) << "erased before the write";
    EXPECT_EQ(rig.chip().Fuse(0), 0xE4);
    EXPECT_EQ(Steps(rig.windows).back(), "F+L Bits programmed");
}

TEST(Write, ADumpIsProgrammedWithoutTheChecksumQuestion) {
    SimRig source({.chip = "AT90S2313"});
    for (uint32_t a = 0; a < 64; ++a)
        source.chip().SetFlash(a, static_cast<uint8_t>(a * 3));
    ASSERT_EQ(app::OnCommand(source.p, ids::kRead), CommandResult::Ok);
    std::string dump = source.dir.Read("readback.txt");
    ASSERT_FALSE(dump.empty());

    SimRig rig({.chip = "AT90S2313"});
    rig.Write("readback.txt", dump);
    rig.Write("readback.eep", Lines({Record(0, 0x0001, {0x77}), kEndRecord}));
    ASSERT_EQ(rig.Load("readback.txt"), 0);
    rig.p.state.programEepAfterHex = 1;
    EXPECT_EQ(app::OnCommand(rig.p, ids::kWrite), CommandResult::Ok);
    EXPECT_TRUE(rig.windows.messages.empty()) << "no question, no error";
    for (uint32_t a = 0; a < 64; ++a)
        EXPECT_EQ(rig.chip().Flash(a), static_cast<uint8_t>(a * 3));
    EXPECT_EQ(rig.chip().Eeprom(1), 0x77);
    EXPECT_FALSE(std::filesystem::exists(rig.dir.File("hex.tmp")));
}

TEST(Write, ChecksumQuestionCancelEndsBeforeTheChip) {
    SimRig rig;
    rig.Write("bad.hex", ":0400000001020304F0\r\n:00000001FF\r\n");
    ASSERT_EQ(rig.Load("bad.hex"), 0);
    rig.chip().RecordInstructions(true);
    rig.windows.answers = {MsgResult::Cancel};
    EXPECT_EQ(app::OnCommand(rig.p, ids::kWrite), CommandResult::Cancelled);
    EXPECT_EQ(rig.windows.messages[0].text.rfind("Checksum wrong, continue!", 0), 0u)
        << rig.windows.messages[0].text;
    EXPECT_EQ(rig.windows.messages[0].title, "Warning!");
    EXPECT_TRUE(rig.chip().instructions().empty());
}

TEST(Write, TheEepromFileAndScriptAreFoundWhateverTheirLetterCase) {
    // (flash file, EEPROM file, script): each pair differs only in case.
    const char* const cases[][3] = {{"PROG.HEX", "PROG.EEP", "PROG.SCR"},
                                    {"Prog.hex", "PROG.eep", "prog.SCR"},
                                    {"prog.hex", "prog.eep", "prog.scr"}};
    for (const auto& names : cases) {
        SCOPED_TRACE(names[0]);
        SimRig rig({.chip = "ATmega8"});
        rig.Write(names[0], kTwoPages);
        rig.Write(names[1], Lines({Record(0, 0x0005, {0xAB}), kEndRecord}));
        rig.Write(names[2], "AC A0 00 E4\n");
        ASSERT_EQ(rig.Load(names[0]), 0);
        rig.p.state.programEepAfterHex = 1;
        EXPECT_EQ(app::OnCommand(rig.p, ids::kWrite), CommandResult::Ok);
        EXPECT_EQ(rig.chip().Eeprom(5), 0xAB);
        EXPECT_EQ(rig.chip().Fuse(0), 0xE4) << "the script ran";
        EXPECT_EQ(Steps(rig.windows).back(), "F+L Bits programmed");
    }
}

TEST(Write, NoFileSelected) {
    SimRig rig;
    EXPECT_EQ(app::OnCommand(rig.p, ids::kWrite), CommandResult::Failed);
    EXPECT_EQ(rig.windows.MessageTexts(), std::vector<std::string>{"ERROR!: No File selected!"});
}

TEST(Write, AFailingScriptEndsWithoutRelease) {
    SimRig rig({.chip = "ATmega8"});
    rig.Write("prog.hex", kTwoPages);
    rig.Write("prog.scr", "AC A0 00 E4\n50 00 00 E1 ; wrong on purpose\n");
    ASSERT_EQ(rig.Load("prog.hex"), 0);
    EXPECT_EQ(app::OnCommand(rig.p, ids::kWrite), CommandResult::Failed);
    ASSERT_EQ(rig.windows.messages.size(), 1u);
    EXPECT_EQ(rig.windows.messages[0].text,
              "Verify Fuse and Lockbits failed!\n\nLine:  50 00 00 E1\n\nByte 4 received: E4\n\n"
              "prog.scr, line 2: the chip answered E4 where the script expects E1.");
    EXPECT_FALSE(rig.chip().Running());
}

TEST(Quick, WithoutASnapshotWritesTheWholeFileAndWithOneWritesTheDifferenceFile) {
    SimRig rig({.chip = "AT90S2313"});
    rig.Write("prog.hex", kTwoPages);
    ASSERT_EQ(rig.Load("prog.hex"), 0);
    EXPECT_EQ(app::OnCommand(rig.p, ids::kQuick), CommandResult::Ok);
    EXPECT_EQ(rig.chip().chipErases(), 0) << "the quick write never erases";
    EXPECT_FALSE(std::filesystem::exists(rig.dir.File("prog.dif")));
    EXPECT_EQ(rig.dir.Read("prog.tmp"), kTwoPages);

    std::string changed =
        Lines({Record(0, 0x0000, Bytes(16, 0x20)), Record(0, 0x0040, Bytes(16, 0x10)), kEndRecord});
    rig.Write("prog.hex", changed);
    // Without an erase the changed bytes cannot be written; the difference
    // file stays and lists the changed line.
    EXPECT_EQ(app::OnCommand(rig.p, ids::kQuick), CommandResult::Failed);
    EXPECT_EQ(rig.dir.Read("prog.dif"), Record(0, 0x0040, Bytes(16, 0x10)) + "\r\n" + kEndRecord);
    // After an erase the quick write succeeds and removes it.
    ASSERT_EQ(app::OnCommand(rig.p, ids::kEraseAll), CommandResult::Ok);
    EXPECT_EQ(app::OnCommand(rig.p, ids::kQuick), CommandResult::Ok);
    EXPECT_FALSE(std::filesystem::exists(rig.dir.File("prog.dif")));
    EXPECT_EQ(rig.dir.Read("prog.tmp"), changed);
}

TEST(Verify, MismatchesPassedWithOkDoNotEndAsOk) {
    SimRig rig({.chip = "ATmega8"});
    rig.Write("prog.hex", Lines({Record(0, 0, {1, 2, 3}), kEndRecord}));
    ASSERT_EQ(rig.Load("prog.hex"), 0);
    rig.chip().SetFlash(0, 1);
    rig.windows.answers = {MsgResult::Ok, MsgResult::Ok};
    EXPECT_EQ(app::OnCommand(rig.p, ids::kVerify), CommandResult::Failed);
    EXPECT_EQ(Steps(rig.windows).back(), "2 mismatches passed");
    rig.clock.Advance(10);  // RESET high is seen after two chip cycles
    EXPECT_TRUE(rig.chip().Running());
}

TEST(Verify, CancelAtAMismatchBlanksTheLineAndReleases) {
    SimRig rig({.chip = "ATmega8"});
    rig.Write("prog.hex", Lines({Record(0, 0, {1, 2, 3}), kEndRecord}));
    ASSERT_EQ(rig.Load("prog.hex"), 0);
    rig.windows.answers = {MsgResult::Cancel};
    EXPECT_EQ(app::OnCommand(rig.p, ids::kVerify), CommandResult::Cancelled);
    EXPECT_EQ(rig.windows.ItemText(ids::kMainWindow, ids::kActivity), " ");
    rig.clock.Advance(10);  // RESET high is seen after two chip cycles
    EXPECT_TRUE(rig.chip().Running());
}

TEST(Verify, AChipHoldingTheFileEndsOk) {
    SimRig rig({.chip = "ATmega8"});
    rig.Write("prog.hex", kTwoPages);
    ASSERT_EQ(rig.Load("prog.hex"), 0);
    ASSERT_EQ(app::OnCommand(rig.p, ids::kWrite), CommandResult::Ok);
    rig.windows.activity.clear();
    EXPECT_EQ(app::OnCommand(rig.p, ids::kVerify), CommandResult::Ok);
    EXPECT_EQ(Steps(rig.windows).back(), "OK");
}

TEST(Read, WritesTheDumpAndTheHexImageInTheStartDirectory) {
    SimRig rig({.chip = "ATtiny2313"});
    rig.chip().SetFlash(0, 0x94);
    rig.chip().SetFlash(1, 0x0C);
    EXPECT_EQ(app::OnCommand(rig.p, ids::kRead), CommandResult::Ok);
    EXPECT_NE(rig.dir.Read("readback.txt").find("0000: 0C94 FFFF"), std::string::npos);
    EXPECT_EQ(Steps(rig.windows).back(), "readback.txt saved");
    EXPECT_EQ(app::OnCommand(rig.p, ids::kReadbackInhx), CommandResult::Ok);
    ByteImage image = ParseHexImage(rig.dir.Read("readback.hex"));
    EXPECT_EQ(image.size(), 2048u);
    EXPECT_EQ(image[0], 0x94);
    EXPECT_EQ(Steps(rig.windows).back(), "readback.hex saved");
}

// Every figure the activity line shows comes with the progress event of its
// stage, saying the same figure; a text without one comes without an event.
// The progress bar and the console's log go by the event alone.
TEST(Progress, EveryFigureShownComesWithTheEventOfItsStage) {
    struct Case {
        const char* file;  // loaded before the command; empty: none
        std::string content;
        int command;
        std::vector<ProgressStage> stages;  // the stages seen, in order
    };
    const std::string eeprom = Lines({Record(0, 0x0000, Bytes(40, 0x5A)), kEndRecord});
    const std::string blank = Lines({Record(0, 0x0000, std::vector<int>(32, 0xFF)), kEndRecord});
    const Case cases[] = {
        {"prog.hex",
         kTwoPages,
         ids::kWrite,
         {ProgressStage::Programming, ProgressStage::Verifying}},
        {"blank.hex", blank, ids::kVerify, {ProgressStage::Verifying}},
        {"data.eep", eeprom, ids::kWrite, {ProgressStage::EepromAddress}},
        {"", "", ids::kRead, {ProgressStage::ReadingFlash, ProgressStage::ReadingEeprom}},
        {"", "", ids::kReadbackInhx, {ProgressStage::ReadingFlash}},
    };
    const std::map<ProgressStage, std::string> words = {
        {ProgressStage::Programming, "programmed"},    {ProgressStage::Verifying, "verified"},
        {ProgressStage::ReadingFlash, "flash memory"}, {ProgressStage::ReadingEeprom, "eeprom"},
        {ProgressStage::EepromAddress, "Contr-Adr: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " command " + std::to_string(c.command));
        SimRig rig({.chip = "ATtiny2313"});
        if (*c.file != 0) {
            rig.Write(c.file, c.content);
            ASSERT_EQ(rig.Load(c.file), 0);
        }
        ASSERT_EQ(app::OnCommand(rig.p, c.command), CommandResult::Ok)
            << (rig.windows.messages.empty() ? "" : rig.windows.messages.back().text);
        std::vector<ProgressStage> seen;
        for (const auto& [text, progress] : rig.windows.progressTexts) {
            if (!progress) {
                EXPECT_EQ(ShownPercent(text), std::nullopt) << text;
                continue;
            }
            if (seen.empty() || seen.back() != progress->stage)
                seen.push_back(progress->stage);
            EXPECT_NE(text.find(words.at(progress->stage)), std::string::npos) << text;
            if (progress->stage == ProgressStage::EepromAddress) {
                char address[8];
                std::snprintf(address, sizeof address, "%04X",
                              static_cast<unsigned>(progress->done));
                EXPECT_EQ(text.substr(11, 4), address);
            } else {
                EXPECT_EQ(ShownPercent(text), progress->Percent()) << text;
            }
        }
        EXPECT_EQ(seen, c.stages);
    }
}

TEST(Read, AReadOnlyStartDirectoryIsReportedWithTheFileName) {
    REQUIRE_FORKED_CHILD();
    // Root can write anywhere: the command runs in a child as an unprivileged user.
    SimRig rig;
    rig.dir.Write("readback.txt", "the earlier read\r\n");
    GiveToUnprivileged(rig.dir.path());
    std::filesystem::permissions(
        rig.dir.path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    std::string why;
    EXPECT_TRUE(RunInChild(
        [&] {
            EXPECT_EQ(app::OnCommand(rig.p, ids::kRead), CommandResult::Failed);
            ASSERT_FALSE(rig.windows.messages.empty());
            EXPECT_NE(rig.windows.messages.back().text.find("readback.txt"), std::string::npos)
                << rig.windows.messages.back().text;
            EXPECT_NE(rig.windows.messages.back().text.find("Permission denied"),
                      std::string::npos);
        },
        {.unprivileged = true, .fileSizeLimit = std::nullopt}, &why))
        << why;
    std::filesystem::permissions(rig.dir.path(), std::filesystem::perms::owner_all);
    EXPECT_EQ(rig.dir.Read("readback.txt"), "the earlier read\r\n");
}

TEST(Read, AnUnwritableReadbackFileIsReportedWithTheFileName) {
    SimRig rig;
    std::filesystem::create_directory(rig.dir.File("readback.hex"));  // cannot be created
    EXPECT_EQ(app::OnCommand(rig.p, ids::kReadbackInhx), CommandResult::Failed);
    // Refused before the chip is read, as every output that cannot be written.
    EXPECT_EQ(rig.windows.messages.back().title, "ERROR!");
    EXPECT_NE(rig.windows.messages.back().text.find("readback.hex"), std::string::npos);
    EXPECT_NE(rig.windows.messages.back().text.find("Nothing was read from the chip."),
              std::string::npos);
}

}  // namespace
}  // namespace ostrel::testing

namespace ostrel::testing {
namespace {

TEST(Write, DataAboveTheFlashIsRefusedBeforeAnythingIsWritten) {
    SimRig rig;
    rig.Write("big.hex", Lines({Record(0, 0, Bytes(4)), Record(4, 0, {0x00, 0x01}),
                                Record(0, 0, Bytes(4, 9)), kEndRecord}));
    ASSERT_EQ(rig.Load("big.hex"), 0);
    rig.chip().RecordInstructions(true);
    EXPECT_EQ(app::OnCommand(rig.p, ids::kWrite), app::CommandResult::Failed);
    ASSERT_EQ(rig.windows.messages.size(), 1u);
    EXPECT_NE(rig.windows.messages[0].text.find("byte address 0x10000 lies beyond this chip's "
                                                "flash (8192 bytes"),
              std::string::npos)
        << rig.windows.messages[0].text;
    // The chip was identified, but nothing loaded, burnt or erased.
    for (const auto& frame : rig.chip().instructions()) {
        EXPECT_TRUE(frame[0] != 0x40 && frame[0] != 0x48 && frame[0] != 0x4C && frame[0] != 0xC0)
            << std::hex << static_cast<int>(frame[0]);
        EXPECT_FALSE(frame[0] == 0xAC && frame[1] == 0x80);
    }
    EXPECT_EQ(rig.chip().chipErases(), 0);
}

TEST(Write, ToolHeadersAndStartAddressesAreAccepted) {
    // srec_cat and other tools put a type 04 record of 0 first; avr-objcopy
    // may add a start address record.
    SimRig rig({.chip = "AT90S2313"});
    rig.Write("tool.hex",
              Lines({Record(4, 0, {0, 0}), Record(0, 0, {0xAA, 0xBB}), Record(3, 0, {0, 0, 0, 0}),
                     Record(5, 0, {0, 0, 0, 0}), kEndRecord}));
    ASSERT_EQ(rig.Load("tool.hex"), 0);
    EXPECT_EQ(app::OnCommand(rig.p, ids::kWrite), app::CommandResult::Ok);
    EXPECT_TRUE(rig.windows.messages.empty());
    EXPECT_EQ(rig.chip().Flash(0), 0xAA);
    EXPECT_EQ(rig.chip().Flash(1), 0xBB);
    EXPECT_EQ(rig.chip().Flash(2), 0xFF) << "nothing programmed from the other records";
}

// A stop asked for while a command runs ends it at the next activity
// refresh: the target is let go (RESET high, the chip runs), the user is told
// what the chip is left like, and the next command runs as usual.
TEST(Stop, EndsTheCommandAtTheNextRefreshAndReleasesTheTarget) {
    struct Case {
        int command;
        int refreshesBeforeStop;
        const char* told;
        bool flashUntouched;  // nothing was written before the stop
    };
    const Case cases[] = {
        {ids::kWrite, 6, "Stopped: the chip may be partly programmed: write it again.", false},
        {ids::kRead, 4, "Stopped: the chip is unchanged, and readback.txt is as it was.", true},
        {ids::kVerify, 4, "Stopped: the chip is unchanged.", true},
        {ids::kCheck, 1, "Stopped: the chip is unchanged.", true},
        // Stopped before the first instruction that changes the chip.
        {ids::kBulkEraseData, 1, "Stopped: nothing had been written yet; the chip is unchanged.",
         true},
        {ids::kWrite, 1, "Stopped: nothing had been written yet; the chip is unchanged.", true},
    };
    const std::string file =
        Lines({Record(0, 0x0000, Bytes(16, 0x20)), Record(0, 0x0040, Bytes(16, 0x60)),
               Record(0, 0x0080, Bytes(16, 0x10)), kEndRecord});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        SimRig rig({.chip = "ATmega8"});
        rig.chip().SetFlash(0x41, 0x33);
        rig.Write("prog.hex", file);
        ASSERT_EQ(rig.Load("prog.hex"), 0);
        int refreshes = 0;
        rig.windows.onPendingEvents = [&] {
            if (rig.p.commandRunning && ++refreshes == c.refreshesBeforeStop)
                rig.p.stopRequested = true;
        };
        EXPECT_EQ(app::OnCommand(rig.p, c.command), CommandResult::Stopped);
        ASSERT_FALSE(rig.windows.messages.empty());
        EXPECT_EQ(rig.windows.messages.back().title, "Error");
        EXPECT_EQ(rig.windows.messages.back().text, c.told);
        EXPECT_FALSE(rig.p.stopRequested);
        EXPECT_FALSE(rig.p.commandRunning);
        rig.clock.Advance(10);  // RESET high is seen after two chip cycles
        EXPECT_TRUE(rig.chip().Running());
        if (c.flashUntouched) {
            EXPECT_EQ(rig.chip().Flash(0x41), 0x33);
        }
        rig.windows.onPendingEvents = nullptr;
        EXPECT_EQ(app::OnCommand(rig.p, ids::kCheck), CommandResult::Ok);
    }
}

}  // namespace
}  // namespace ostrel::testing
