// The serial programming instructions dialog against the simulated chip:
// opening, lock bits, RCEN, the free instruction and its refusals.
#include "dialogs/instructions_dialog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include "avr/avr.h"
#include "core/ids.h"
#include "dialogs/dialog_commands.h"
#include "tests/dialogs/frames.h"
#include "tests/support/sim_rig.h"

namespace ostrel::testing {
namespace {

using dialogs::InstructionsDialog;
using sim::CableKind;
using sim::SimFault;

constexpr int kDlg = ids::kInstructionsDialog;

// Opens the dialog through the FuseBits command and runs `script` inside it.
void RunDialog(SimRig& rig, const std::function<void(DialogHandler&)>& script) {
    rig.windows.dialogScript = [&](int dialog, DialogHandler& handler) {
        ASSERT_EQ(dialog, kDlg);
        script(handler);
    };
    ASSERT_EQ(dialogs::OpenInstructionsDialog(rig.p), 0);
}

bool Logged(const SimRig& rig, const std::string& entry) {
    return std::find(rig.windows.log.begin(), rig.windows.log.end(), entry) !=
           rig.windows.log.end();
}

std::size_t LogIndex(const SimRig& rig, const std::string& entry) {
    auto it = std::find(rig.windows.log.begin(), rig.windows.log.end(), entry);
    return static_cast<std::size_t>(it - rig.windows.log.begin());
}

void SetFields(SimRig& rig, const char* b1, const char* b2, const char* b3, const char* b4) {
    rig.windows.SetItemText(kDlg, ids::kByte1, b1);
    rig.windows.SetItemText(kDlg, ids::kByte2, b2);
    rig.windows.SetItemText(kDlg, ids::kByte3, b3);
    rig.windows.SetItemText(kDlg, ids::kByte4, b4);
}

std::string Field(SimRig& rig, int item) {
    return rig.windows.ItemText(kDlg, item);
}

// --- small rules ----------------------------------------------------------

TEST(InstructionsRules, ByteFieldsTakeExactlyTwoHexDigits) {
    EXPECT_EQ(dialogs::ParseByteField("58"), 0x58);
    EXPECT_EQ(dialogs::ParseByteField("00"), 0x00);
    EXPECT_EQ(dialogs::ParseByteField("ff"), 0xFF);
    EXPECT_EQ(dialogs::ParseByteField(" aC "), 0xAC);
    EXPECT_EQ(dialogs::ParseByteField("\t3c"), 0x3C);
    for (const char* bad : {"", " ", "5", " 5 ", "580", "5G", "G5", "+5", "5 8", "-1", "0x", "٣"})
        EXPECT_FALSE(dialogs::ParseByteField(bad).has_value()) << '"' << bad << '"';
}

TEST(InstructionsRules, LockBitsWordClearsBit1ForLb1AndBit2ForLb2) {
    EXPECT_EQ(dialogs::LockBitsWord(false, false), 0xACFF);
    EXPECT_EQ(dialogs::LockBitsWord(true, false), 0xACFD);
    EXPECT_EQ(dialogs::LockBitsWord(false, true), 0xACFB);
    EXPECT_EQ(dialogs::LockBitsWord(true, true), 0xACF9);
}

// --- opening ----------------------------------------------------------------

TEST(InstructionsOpening, ConnectsFirstThenFillsTheReadLockBitsInstruction) {
    SimRig rig({.chip = "AT90S8515"});
    RunDialog(rig, [&](DialogHandler&) {
        EXPECT_EQ(Field(rig, ids::kByte1), "58");
        EXPECT_EQ(Field(rig, ids::kByte2), "00");
        EXPECT_EQ(Field(rig, ids::kByte3), "00");
        EXPECT_EQ(Field(rig, ids::kByte4), "00");
        EXPECT_FALSE(rig.windows.IsItemEnabled(kDlg, ids::kRcenBox));
        EXPECT_FALSE(rig.windows.IsItemEnabled(kDlg, ids::kWriteRcen));
        EXPECT_TRUE(rig.windows.IsItemEnabled(kDlg, ids::kWriteLockBits));
    });
    EXPECT_TRUE(Logged(rig, "dialog 1105 owner 103"));
    EXPECT_LT(LogIndex(rig, "text 103 1018 ' '"), LogIndex(rig, "dialog 1105 owner 103"));
    EXPECT_EQ(rig.p.state.signatureHex.view(), "1E9301 ");
}

TEST(InstructionsOpening, WriteLockBitsStaysOffForChipsOutsideTheList) {
    SimRig rig({.chip = "ATmega8"});
    RunDialog(rig, [&](DialogHandler& dialog) {
        EXPECT_FALSE(rig.windows.IsItemEnabled(kDlg, ids::kWriteLockBits));
        // A click that reaches the handler anyway sends nothing.
        rig.chip().RecordInstructions(true);
        rig.windows.CheckItem(kDlg, ids::kLb1, true);
        dialog.OnCommand(ids::kWriteLockBits);
        EXPECT_TRUE(rig.chip().instructions().empty());
    });
    EXPECT_EQ(rig.chip().Lock(), 0xFF);
}

TEST(InstructionsOpening, NotOpenedWhenConnectFails) {
    SimRig rig({.fault = SimFault::NoTarget});
    bool opened = false;
    rig.windows.dialogScript = [&](int, DialogHandler&) { opened = true; };
    EXPECT_EQ(dialogs::OpenInstructionsDialog(rig.p), 1);
    EXPECT_FALSE(opened);
    ASSERT_EQ(rig.windows.messages.size(), 1u);
    EXPECT_EQ(rig.windows.messages[0].owner, ids::kMainWindow);
    EXPECT_EQ(rig.windows.messages[0].title, "Error");
    // The reason, then the advice on a line of its own.
    EXPECT_EQ(rig.windows.messages[0].text,
              std::string(rig.p.state.errorText.view()) +
                  "\n\nCheck the cable, the chip's power and its clock; a chip on a slow clock "
                  "(below 1 MHz) needs a lower Speed.");
}

// --- lock bits ------------------------------------------------------------

TEST(InstructionsLockBits, BothBoxesSendAcF9TwiceAndLockTheChip) {
    SimRig rig({.chip = "AT90S8515"});
    RunDialog(rig, [&](DialogHandler& dialog) {
        rig.chip().RecordInstructions(true);
        rig.windows.CheckItem(kDlg, ids::kLb1, true);
        rig.windows.CheckItem(kDlg, ids::kLb2, true);
        dialog.OnCommand(ids::kWriteLockBits);
    });
    EXPECT_EQ(CountFrames(rig, {0xAC, 0xF9, 0xAC, 0xF9}), 1);
    EXPECT_EQ(CountFrames(rig, {0xAC, 0xFF, 0xAC, 0xFF}), 0);
    // The lock bits are read before they are written.
    auto frames = rig.chip().instructions();
    auto read = std::find(frames.begin(), frames.end(), Frame{0x58, 0x00, 0x58, 0x00});
    auto write = std::find(frames.begin(), frames.end(), Frame{0xAC, 0xF9, 0xAC, 0xF9});
    EXPECT_LT(read, write);
    EXPECT_TRUE(rig.chip().ReadProtected());
    EXPECT_TRUE(rig.windows.messages.empty());
    EXPECT_EQ(Field(rig, ids::kInstrStatus), "OK");
    EXPECT_FALSE(rig.windows.IsItemEnabled(kDlg, ids::kInstrStatus));
}

TEST(InstructionsLockBits, NeitherBoxSendsAcFfTwiceAndLeavesTheChipOpen) {
    SimRig rig({.chip = "AT90S8515"});
    RunDialog(rig, [&](DialogHandler& dialog) {
        rig.chip().RecordInstructions(true);
        dialog.OnCommand(ids::kWriteLockBits);
    });
    EXPECT_EQ(CountFrames(rig, {0xAC, 0xFF, 0xAC, 0xFF}), 1);
    EXPECT_EQ(CountFrames(rig, {0xAC, 0xF9, 0xAC, 0xF9}), 0);
    EXPECT_FALSE(rig.chip().ReadProtected());
    EXPECT_FALSE(rig.chip().WriteProtected());
}

TEST(InstructionsLockBits, Lb1AloneProtectsAgainstWritingOnly) {
    SimRig rig({.chip = "AT90S2313"});
    RunDialog(rig, [&](DialogHandler& dialog) {
        rig.chip().RecordInstructions(true);
        rig.windows.CheckItem(kDlg, ids::kLb1, true);
        dialog.OnCommand(ids::kWriteLockBits);
    });
    EXPECT_EQ(CountFrames(rig, {0xAC, 0xFD, 0xAC, 0xFD}), 1);
    EXPECT_TRUE(rig.chip().WriteProtected());
    EXPECT_FALSE(rig.chip().ReadProtected());
}

// --- RCEN ---------------------------------------------------------------------

TEST(InstructionsRcen, ReadSetsTheBoxFromBit0AndEnablesWriting) {
    for (const char* chip : {"AT90S2343", "ATtiny22"}) {
        // SPIEN (bit 5) programmed, as on every chip that answers.
        for (uint8_t fuse : {0xDE, 0xDF}) {
            SimRig rig({.chip = chip});
            // RCEN unprogrammed: the chip runs on a clock signal of the board.
            rig.chip().SetBoard(sim::Board{.crystal = true, .external = true});
            rig.chip().SetFuse(0, fuse);
            RunDialog(rig, [&](DialogHandler& dialog) {
                rig.windows.CheckItem(kDlg, ids::kRcenBox, fuse == 0xDF);  // the opposite
                rig.chip().RecordInstructions(true);
                dialog.OnCommand(ids::kReadRcen);
                // A programmed bit reads 0 and shows as a ticked box.
                EXPECT_EQ(rig.windows.IsItemChecked(kDlg, ids::kRcenBox), fuse == 0xDE) << chip;
                EXPECT_EQ(rig.p.state.lockBitsAnswer & 1, fuse & 1u);
                EXPECT_TRUE(rig.windows.IsItemEnabled(kDlg, ids::kRcenBox));
                EXPECT_TRUE(rig.windows.IsItemEnabled(kDlg, ids::kWriteRcen));
                EXPECT_EQ(CountFrames(rig, {0x58, 0x00, 0x58, 0x00}), 1);
                EXPECT_EQ(Field(rig, ids::kInstrStatus), "OK");
                EXPECT_FALSE(rig.windows.IsItemEnabled(kDlg, ids::kInstrStatus));
            });
            EXPECT_TRUE(rig.windows.messages.empty());
            // The activity line showed the instruction and the answer.
            EXPECT_TRUE(
                std::any_of(rig.windows.activity.begin(), rig.windows.activity.end(),
                            [](const std::string& t) { return t.rfind("out: 5800", 0) == 0; }));
        }
    }
}

TEST(InstructionsRcen, WriteRoundTripSetsAndClearsTheFuseBit) {
    SimRig rig({.chip = "AT90S2343"});
    RunDialog(rig, [&](DialogHandler& dialog) {
        // As shipped, RCEN is programmed: the internal RC oscillator.
        dialog.OnCommand(ids::kReadRcen);
        ASSERT_TRUE(rig.windows.IsItemChecked(kDlg, ids::kRcenBox));
        rig.chip().RecordInstructions(true);

        rig.windows.CheckItem(kDlg, ids::kRcenBox, false);
        dialog.OnCommand(ids::kWriteRcen);
        EXPECT_EQ(rig.chip().Fuse(0) & 1, 1);
        EXPECT_EQ(CountFrames(rig, {0xAC, 0xBF, 0xAC, 0xBF}), 1);
        EXPECT_FALSE(rig.windows.IsItemChecked(kDlg, ids::kRcenBox));

        // The chip keeps running on its RC oscillator until it is powered
        // off and on, so the next write still reaches it.
        rig.windows.CheckItem(kDlg, ids::kRcenBox, true);
        dialog.OnCommand(ids::kWriteRcen);
        EXPECT_EQ(rig.chip().Fuse(0) & 1, 0);
        EXPECT_EQ(CountFrames(rig, {0xAC, 0xBE, 0xAC, 0xBE}), 1);
        EXPECT_TRUE(rig.windows.IsItemChecked(kDlg, ids::kRcenBox));
    });
    EXPECT_TRUE(rig.windows.messages.empty());
}

TEST(InstructionsRcen, OtherChipsGetFunctionNotAvailable) {
    for (int command : {ids::kReadRcen, ids::kWriteRcen}) {
        SimRig rig({.chip = "AT90S2313"});  // 1E 91 01
        RunDialog(rig, [&](DialogHandler& dialog) {
            rig.windows.CheckItem(kDlg, ids::kRcenBox, true);
            rig.chip().RecordInstructions(true);
            dialog.OnCommand(command);
            EXPECT_FALSE(rig.windows.IsItemChecked(kDlg, ids::kRcenBox));
            EXPECT_FALSE(rig.windows.IsItemEnabled(kDlg, ids::kWriteRcen));
            EXPECT_FALSE(rig.windows.IsItemEnabled(kDlg, ids::kInstrStatus));
            EXPECT_EQ(Field(rig, ids::kInstrStatus), " ");
        });
        ASSERT_EQ(rig.windows.messages.size(), 1u);
        EXPECT_EQ(rig.windows.messages[0].text, "Function not available!");
        EXPECT_EQ(rig.windows.messages[0].title, "");
        EXPECT_EQ(rig.windows.messages[0].owner, ids::kNoOwner);
        EXPECT_TRUE(FramesOf(rig, 0x58).empty());
        EXPECT_EQ(CountFrames(rig, {0xAC, 0xBE, 0xAC, 0xBE}), 0);
        EXPECT_EQ(CountFrames(rig, {0xAC, 0xBF, 0xAC, 0xBF}), 0);
    }
}

TEST(InstructionsRcen, BitThatDoesNotTakeGivesTheErrorBox) {
    // A chip that answers as an AT90S2343 but has no RCEN bit behind it.
    SimRig rig({.fault = SimFault::UnknownSignature, .unknownSignature = {0x1E, 0x91, 0x03}});
    RunDialog(rig, [&](DialogHandler& dialog) {
        rig.windows.CheckItem(kDlg, ids::kRcenBox, true);
        dialog.OnCommand(ids::kWriteRcen);
        EXPECT_FALSE(rig.windows.IsItemChecked(kDlg, ids::kRcenBox));
        EXPECT_EQ(Field(rig, ids::kInstrStatus), "OK");
    });
    ASSERT_EQ(rig.windows.messages.size(), 1u);
    EXPECT_EQ(rig.windows.messages[0].text, "ERRRRROOOOR!");
    EXPECT_EQ(rig.windows.messages[0].title, "ERROR");
    EXPECT_EQ(rig.windows.messages[0].owner, ids::kNoOwner);
}

// --- Send/Rec. ---------------------------------------------------------------

TEST(InstructionsSend, AnswerBytesReplaceFields3And4) {
    SimRig rig({.chip = "ATmega8"});
    rig.chip().SetLock(0xFC);
    RunDialog(rig, [&](DialogHandler& dialog) {
        rig.windows.SetItemText(kDlg, ids::kByte3, "7E");
        rig.chip().RecordInstructions(true);
        dialog.OnCommand(ids::kSendRec);
        ASSERT_FALSE(rig.chip().instructions().empty());
        EXPECT_EQ(rig.chip().instructions().back(), (Frame{0x58, 0x00, 0x7E, 0x00}));
        EXPECT_EQ(Field(rig, ids::kByte1), "58");
        EXPECT_EQ(Field(rig, ids::kByte2), "00");
        EXPECT_EQ(Field(rig, ids::kByte3), "00");  // the chip answers 00 in byte 3
        EXPECT_EQ(Field(rig, ids::kByte4), "FC");  // and its lock byte in byte 4
        EXPECT_EQ(Field(rig, ids::kInstrStatus), "OK");
        EXPECT_FALSE(rig.windows.IsItemEnabled(kDlg, ids::kInstrStatus));

        // Sent again as it now stands; the Programming Enable echo comes in byte 3.
        SetFields(rig, "ac", " 53", "00 ", "00");
        dialog.OnCommand(ids::kSendRec);
        EXPECT_EQ(rig.chip().instructions().back(), (Frame{0xAC, 0x53, 0x00, 0x00}));
        EXPECT_EQ(Field(rig, ids::kByte1), "ac");
        EXPECT_EQ(Field(rig, ids::kByte3), "53");
        EXPECT_EQ(Field(rig, ids::kByte4), "00");
    });
    EXPECT_TRUE(rig.windows.messages.empty());
    EXPECT_LT(LogIndex(rig, "text 1105 1124 'connecting....'"),
              LogIndex(rig, "text 1105 1124 'OK'"));
}

TEST(InstructionsSend, MalformedFieldIsRefusedAndNothingIsSent) {
    struct Case {
        int field;
        const char* text;
    };
    for (Case c : {Case{1, "5"}, Case{2, "0G"}, Case{3, ""}, Case{4, "580"}, Case{3, "+1"},
                   Case{1, "5 8"}}) {
        SimRig rig;
        RunDialog(rig, [&](DialogHandler& dialog) {
            const int items[] = {ids::kByte1, ids::kByte2, ids::kByte3, ids::kByte4};
            rig.windows.SetItemText(kDlg, items[c.field - 1], c.text);
            rig.chip().RecordInstructions(true);
            rig.windows.log.clear();
            dialog.OnCommand(ids::kSendRec);
            EXPECT_TRUE(rig.chip().instructions().empty()) << c.text;
            EXPECT_FALSE(Logged(rig, "text 1105 1124 'connecting....'"));
            EXPECT_EQ(Field(rig, items[c.field - 1]), c.text);
        });
        ASSERT_EQ(rig.windows.messages.size(), 1u);
        EXPECT_EQ(rig.windows.messages[0].text,
                  "Byte " + std::to_string(c.field) + " must be two hexadecimal digits.");
        EXPECT_EQ(rig.windows.messages[0].title, "Error");
        EXPECT_EQ(rig.windows.messages[0].owner, kDlg);
        EXPECT_FALSE(rig.windows.WindowEnded(kDlg));
    }
}

TEST(InstructionsSend, UnpluggedAdapterShowsConnectsErrorAndTheDialogStays) {
    struct Case {
        CableKind cable;
        SimFault fault;
    };
    for (Case c : {Case{CableKind::Parallel, SimFault::NoTarget},
                   Case{CableKind::Cablet2, SimFault::NoCable}}) {
        SimRig rig({.cable = c.cable, .fault = c.fault});
        InstructionsDialog dialog(rig.p);
        dialog.OnInit();
        rig.windows.log.clear();
        dialog.OnCommand(ids::kSendRec);
        ASSERT_EQ(rig.windows.messages.size(), 1u);
        EXPECT_EQ(rig.windows.messages[0].owner, kDlg);
        EXPECT_EQ(rig.windows.messages[0].title, "Error");
        EXPECT_FALSE(rig.windows.messages[0].text.empty());
        EXPECT_TRUE(
            rig.windows.messages[0].text.starts_with(std::string(rig.p.state.errorText.view())))
            << rig.windows.messages[0].text;
        EXPECT_LT(LogIndex(rig, "text 1105 1124 'connecting....'"),
                  LogIndex(rig, "msgbox 'Error' '" + rig.windows.messages[0].text + "'"));
        EXPECT_EQ(Field(rig, ids::kInstrStatus), " ");
        EXPECT_FALSE(rig.windows.IsItemEnabled(kDlg, ids::kInstrStatus));
        EXPECT_EQ(Field(rig, ids::kByte3), "00");
        EXPECT_EQ(Field(rig, ids::kByte4), "00");
        EXPECT_FALSE(rig.windows.WindowEnded(kDlg));
        EXPECT_EQ(rig.windows.activity.back().substr(0, 2), "  ");
    }
}

TEST(InstructionsSend, ClicksDuringACommandAreIgnored) {
    SimRig rig;
    InstructionsDialog dialog(rig.p);
    dialog.OnInit();
    int nested = 0;
    rig.windows.onPendingEvents = [&] {
        ++nested;
        dialog.OnCommand(ids::kDone);
        dialog.OnCommand(ids::kSendRec);
    };
    rig.chip().RecordInstructions(true);
    dialog.OnCommand(ids::kSendRec);
    rig.windows.onPendingEvents = nullptr;
    EXPECT_GT(nested, 0);
    EXPECT_FALSE(rig.windows.WindowEnded(kDlg));
    EXPECT_EQ(CountFrames(rig, {0x58, 0x00, 0x00, 0x00}), 1);
    EXPECT_EQ(Field(rig, ids::kInstrStatus), "OK");
}

// --- Done and Help -------------------------------------------------------------

TEST(InstructionsDone, BlanksTheActivityLineAndEndsWith1) {
    SimRig rig;
    int result = 0;
    RunDialog(rig, [&](DialogHandler& dialog) {
        dialog.OnCommand(ids::kDone);
        EXPECT_TRUE(rig.windows.WindowEnded(kDlg, &result));
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(rig.windows.ItemText(ids::kMainWindow, ids::kActivity), "  ");
}

TEST(InstructionsHelp, OpensThePageOfTheCurrentDirectoryOrSaysItIsMissing) {
    SimRig rig;
    RunDialog(rig, [&](DialogHandler& dialog) {
        dialog.OnCommand(ids::kInstrHelp);
        rig.Write("ostrel-hlp.htm", "<html></html>");
        dialog.OnCommand(ids::kInstrHelp);
    });
    ASSERT_EQ(rig.windows.messages.size(), 1u);
    EXPECT_EQ(rig.windows.messages[0].text, "ostrel-hlp.htm not found!");
    EXPECT_EQ(rig.windows.messages[0].title, "Error");
    EXPECT_EQ(rig.windows.documents, std::vector<std::string>{rig.dir.File("ostrel-hlp.htm")});
}

}  // namespace
}  // namespace ostrel::testing
