// The guard on every write of a fuse or lock byte, at each entry point: the
// fuses command (what the console runs), the script after a Write and the
// raw fields of the instructions dialog and the Fuses window.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>

#include "app/fuse_command.h"
#include "app/fuse_script.h"
#include "avr/avr.h"
#include "core/ids.h"
#include "dialogs/dialog_commands.h"
#include "dialogs/fuse_window.h"
#include "tests/support/sim_rig.h"

namespace ostrel::testing {
namespace {

enum class Entry { Command, Script, Dialog, Window };

TEST(FuseGuard, EachRuleAtEachEntryPoint) {
    struct Case {
        Entry entry;
        const char* chip;
        const char* write;          // the command's edits, or the script's line
        bool insist;                // --allow-lockout
        const char* answers;        // "y": OK to a question, "n": Cancel
        app::CommandResult result;  // the command's; the script's Ok or Failed
        int fuse;  // the simulator's byte afterwards (0 low, 1 high, 2 extended, 3 lock)
        int value;
        // In the question asked, where one is; and the low byte the chip
        // holds before (-1: its factory value).
        const char* asked = nullptr;
        int lowBefore = -1;
    };
    using R = app::CommandResult;
    const Case cases[] = {
        // Refused: the chip keeps its byte unless the user insists.
        {Entry::Command, "ATmega328P", "SPIEN=1", false, "", R::Failed, 1, 0xD9},
        // Insisted on, SPIEN still stays: the chip does not let serial programming
        // change it, and the read-back says so.
        {Entry::Command, "ATmega328P", "SPIEN=1", true, "", R::Failed, 1, 0xD9},
        {Entry::Command, "ATmega328P", "RSTDISBL=0", false, "", R::Failed, 1, 0xD9},
        {Entry::Command, "ATmega328P", "high=0x99", true, "", R::Ok, 1, 0x99},
        {Entry::Command, "ATmega328P", "DWEN=0", false, "y", R::Failed, 1, 0xD9},
        {Entry::Command, "ATtiny13", "RSTDISBL=0", false, "", R::Failed, 1, 0xFF},
        {Entry::Command, "ATtiny13", "SPIEN=1", false, "", R::Failed, 0, 0x6A},
        {Entry::Script, "ATmega328P", "AC A8 00 F9", false, "", R::Failed, 1, 0xD9},
        {Entry::Script, "ATmega328P", "AC A8 00 59", false, "", R::Failed, 1, 0xD9},
        {Entry::Script, "ATmega328P", "ac a8 00 99", false, "", R::Failed, 1, 0xD9},
        {Entry::Script, "ATtiny13", "AC A0 00 EA", false, "", R::Failed, 0, 0x6A},
        {Entry::Script, "ATmega328P", "AC A8 00 DE", false, "", R::Ok, 1, 0xDE},
        // The raw fields: the refused class is asked, Cancel sends nothing.
        {Entry::Dialog, "ATmega328P", "AC A8 00 F9", false, "n", R::Cancelled, 1, 0xD9},
        {Entry::Dialog, "ATmega328P", "AC A8 00 F9", false, "y", R::Ok, 1, 0xD9},
        {Entry::Dialog, "ATmega328P", "AC A8 00 59", false, "y", R::Ok, 1, 0x59},
        {Entry::Dialog, "ATtiny2313", "AC A8 00 DE", false, "n", R::Cancelled, 1, 0xDF},
        {Entry::Dialog, "ATtiny13", "AC A0 00 EA", false, "n", R::Cancelled, 0, 0x6A},
        {Entry::Dialog, "ATmega328P", "AC A8 00 DE", false, "n", R::Ok, 1, 0xDE},
        // The Fuses window: the refused class is asked with Cancel the default.
        {Entry::Window, "ATmega328P", "SPIEN=1", false, "n", R::Cancelled, 1, 0xD9},
        // Insisted on from the window, SPIEN still stays (the read-back says so).
        {Entry::Window, "ATmega328P", "SPIEN=1", false, "y", R::Ok, 1, 0xD9},
        {Entry::Window, "ATtiny13", "RSTDISBL=0", false, "n", R::Cancelled, 1, 0xFF},
        {Entry::Window, "ATmega328P", "CKSEL=0xF", false, "n", R::Cancelled, 0, 0x62},
        {Entry::Window, "ATmega328P", "CKDIV8=1", false, "", R::Ok, 0, 0xE2},
        // Asked: OK writes, Cancel keeps the byte.
        {Entry::Command, "ATmega328P", "CKSEL=0xF", false, "y", R::Ok, 0, 0x6F},
        {Entry::Command, "ATmega328P", "CKSEL=0xF", false, "n", R::Cancelled, 0, 0x62},
        {Entry::Command, "ATmega328P", "CKSEL=0", false, "n", R::Cancelled, 0, 0x62},
        {Entry::Command, "ATmega328P", "CKSEL=3", false, "n", R::Cancelled, 0, 0x62},
        {Entry::Command, "ATmega8", "CKSEL=4", false, "", R::Ok, 0, 0xE4},
        {Entry::Command, "ATmega328P", "CKDIV8=1", false, "", R::Ok, 0, 0xE2},
        // Two values for one bit are refused, not the last one taken unseen.
        {Entry::Command, "ATmega168", "CKDIV8=1,CKDIV8=0", false, "", R::Failed, 0, 0x62},
        {Entry::Command, "ATmega328P", "low=0xFF,CKDIV8=0", false, "", R::Failed, 0, 0x62},
        {Entry::Command, "ATmega328P", "low=0xE2,low=0xE2,CKDIV8=1", false, "", R::Ok, 0, 0xE2},
        {Entry::Command, "ATmega328P", "BODLEVEL=4", false, "n", R::Cancelled, 2, 0xFF},
        {Entry::Command, "ATmega328P", "BODLEVEL=4", false, "y", R::Ok, 2, 0xFC},
        {Entry::Command, "ATmega328P", "BODLEVEL=5", false, "", R::Ok, 2, 0xFD},
        // The older forms: one fuse byte with SPIEN and RSTDISBL in it.
        {Entry::Command, "ATtiny12", "RSTDISBL=0", false, "", R::Failed, 0, 0x52},
        {Entry::Command, "ATtiny12", "RSTDISBL=0", true, "", R::Ok, 0, 0x42},
        {Entry::Script, "ATtiny15", "AC A0 00 4C", false, "", R::Failed, 0, 0x5C},
        {Entry::Command, "ATmega161", "BOOTRST=0", false, "", R::Ok, 0, 0x9A},
        {Entry::Command, "ATmega163", "CKSEL=0", false, "n", R::Cancelled, 0, 0xD2},
        {Entry::Command, "ATmega163", "BOOTSZ=0", false, "", R::Ok, 1, 0xF9},
        // The AT90S chips and the ATtiny22: the value in byte 2, SPIEN not
        // writable at all (refused as an edit, with or without insisting).
        {Entry::Command, "AT90S4433", "CKSEL=0", false, "n", R::Cancelled, 0, 0xDA},
        {Entry::Command, "AT90S4433", "CKSEL=0", false, "y", R::Ok, 0, 0xD8},
        {Entry::Command, "AT90S4433", "BODEN=0", false, "", R::Ok, 0, 0xD2},
        {Entry::Command, "AT90S4433", "SPIEN=1", true, "", R::Failed, 0, 0xDA},
        {Entry::Command, "AT90S4433", "LB=2", false, "y", R::Ok, 3, 0xFD},
        {Entry::Command, "AT90S2333", "BODLEVEL=0", false, "y", R::Ok, 0, 0xCA},
        {Entry::Command, "AT90S2343", "RCEN=1", false, "y", R::Ok, 0, 0xDF},
        {Entry::Command, "AT90S2343", "RCEN=1", false, "n", R::Cancelled, 0, 0xDE},
        {Entry::Command, "ATtiny22", "low=0xDF", false, "n", R::Cancelled, 0, 0xDE},
        {Entry::Command, "AT90S8535", "FSTRT=0", false, "", R::Ok, 0, 0xDE},
        {Entry::Command, "AT90S4434", "low=0xDE", false, "", R::Ok, 0, 0xDE},
        {Entry::Command, "AT90S2323", "low=0xFE", true, "", R::Failed, 0, 0xDF},
        {Entry::Command, "ATtiny12", "LB=0", false, "y", R::Ok, 3, 0xF9},
        {Entry::Command, "ATtiny15", "LB=0", false, "n", R::Cancelled, 3, 0xFF},
        {Entry::Script, "AT90S4433", "AC A1 00 00", false, "", R::Ok, 0, 0xC1},
        {Entry::Script, "AT90S2343", "AC BF 00 00", false, "", R::Ok, 0, 0xDF},
        {Entry::Script, "ATtiny12", "AC F9 00 00", false, "", R::Ok, 3, 0xF9},
        {Entry::Dialog, "AT90S4433", "AC BF 00 00", false, "", R::Ok, 0, 0xDF},
        {Entry::Dialog, "ATtiny22", "AC BF 00 00", false, "", R::Ok, 0, 0xDF},
        {Entry::Window, "AT90S4433", "CKSEL=0", false, "n", R::Cancelled, 0, 0xDA},
        {Entry::Window, "AT90S2343", "RCEN=1", false, "y", R::Ok, 0, 0xDF},
        {Entry::Window, "AT90S8535", "FSTRT=0", false, "", R::Ok, 0, 0xDE},
        // A chip without a table gets the raw write, with a line that it could
        // not be checked.
        {Entry::Dialog, "AT90S2313", "AC BF 00 00", false, "", R::Ok, 0, 0xFF},
        {Entry::Script, "AT90S1200", "AC A5 00 00", false, "", R::Ok, 0, 0xFF},
        // A write that slows the chip down names the speed that keeps up with
        // its new clock: on this port High keeps up with the 1 MHz of CKDIV8,
        // only very low with 16 kHz.
        {Entry::Command, "ATmega328P", "CKDIV8=0", false, "n", R::Cancelled, 0, 0xE2,
         "at 1 MHz. Choose speed High afterwards.", 0xE2},
        {Entry::Command, "ATmega328P", "CKSEL=3", false, "n", R::Cancelled, 0, 0x62,
         "at 16 kHz. Choose speed very low afterwards."},
        {Entry::Window, "ATtiny85", "low=0xE4", false, "n", R::Cancelled, 0, 0x62,
         "at 128 kHz. Choose speed Low afterwards."},
        // A bad edit writes nothing.
        {Entry::Command, "ATmega328P", "CKDIV8=1,NOSUCH=0", false, "", R::Failed, 0, 0x62},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.chip) + " " + c.write);
        SimRig rig({.chip = c.chip});
        if (c.lowBefore >= 0)
            rig.chip().SetFuse(0, static_cast<uint8_t>(c.lowBefore));
        for (const char* a = c.answers; *a != '\0'; ++a)
            rig.windows.answers.push_back(*a == 'y' ? MsgResult::Ok : MsgResult::Cancel);
        if (c.entry == Entry::Command) {
            std::string report;
            EXPECT_EQ(app::RunFuses(rig.p, {c.write, c.insist}, report), c.result);
            EXPECT_EQ(report.empty(), c.result != R::Ok);
        } else if (c.entry == Entry::Window) {
            // The user types each byte the edit changes, then presses Write.
            rig.windows.dialogScript = [&](int, DialogHandler& handler) {
                auto& window = static_cast<dialogs::FuseWindow&>(handler);
                ASSERT_NE(window.chip(), nullptr);
                auto wanted = window.values();
                std::array<bool, devices::kFuseByteCount> touched{};
                ASSERT_EQ(devices::ApplyFuseEdit(*window.chip(), c.write, wanted, touched), "");
                for (int b = 0; b < devices::kFuseByteCount; ++b) {
                    char hex[4];
                    std::snprintf(hex, sizeof hex, "%02X", wanted[b]);
                    rig.windows.SetItemText(ids::kFusesWindow, ids::kFuseHex0 + b, hex);
                    handler.OnEditNotify(ids::kFuseHex0 + b);
                }
                handler.OnCommand(ids::kFuseWrite);
                handler.OnCommand(ids::kFuseClose);
            };
            ASSERT_EQ(dialogs::OpenFusesWindow(rig.p), 0);
            const bool asked = !rig.windows.messages.empty();
            EXPECT_EQ(asked, *c.answers != '\0');
            if (asked) {
                const bool refused =
                    c.write == std::string("SPIEN=1") || c.write == std::string("RSTDISBL=0");
                EXPECT_EQ(rig.windows.messages.front().buttons,
                          refused ? MsgButtons::OkCancelDefaultCancel : MsgButtons::OkCancel);
            }
        } else if (c.entry == Entry::Dialog) {
            const std::string w = c.write;
            rig.windows.dialogScript = [&](int, DialogHandler& dialog) {
                const int items[] = {ids::kByte1, ids::kByte2, ids::kByte3, ids::kByte4};
                for (int i = 0; i < 4; ++i)
                    rig.windows.SetItemText(ids::kInstructionsDialog, items[i], w.substr(i * 3, 2));
                dialog.OnCommand(ids::kSendRec);
            };
            ASSERT_EQ(dialogs::OpenInstructionsDialog(rig.p), 0);
            const bool asked =
                !rig.windows.messages.empty() && rig.windows.messages.back().title == "Warning!";
            EXPECT_EQ(asked, c.answers[0] == 'y' || c.result == R::Cancelled);
        } else {
            rig.Write("prog.hex", ":00000001FF\r\n");
            ASSERT_EQ(rig.Load("prog.hex"), 0);
            ASSERT_EQ(avr::Connect(rig.p), 0);
            rig.Write("prog.scr", std::string(c.write) + "\r\n");
            EXPECT_EQ(app::RunFuseScript(rig.p), c.result == R::Ok ? 0 : 1);
            if (c.result != R::Ok) {
                ASSERT_FALSE(rig.windows.messages.empty());
                EXPECT_NE(rig.windows.messages.back().text.find("prog.scr, line 1"),
                          std::string::npos);
            }
        }
        if (c.asked != nullptr) {
            ASSERT_FALSE(rig.windows.messages.empty());
            EXPECT_NE(rig.windows.messages.front().text.find(c.asked), std::string::npos)
                << rig.windows.messages.front().text;
        }
        const bool unchecked = std::any_of(
            rig.windows.activity.begin(), rig.windows.activity.end(),
            [](const std::string& line) { return line.find("not checked") != std::string::npos; });
        const bool hasTable = devices::FindFuseChip(rig.p.state.signatureHex.view()) != nullptr;
        if (c.entry == Entry::Dialog || c.entry == Entry::Script) {
            EXPECT_EQ(unchecked, !hasTable);
        }
        EXPECT_EQ(c.fuse == 3 ? rig.chip().Lock() : rig.chip().Fuse(c.fuse), c.value);
    }
}

}  // namespace
}  // namespace ostrel::testing
