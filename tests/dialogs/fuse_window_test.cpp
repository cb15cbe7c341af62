// The Fuses window against the simulated chip, as a user drives it: what a
// read shows, edits by name and by value kept in step, each class of the
// guard, a read-back that differs, the factory values, a chip without a table.
#include "dialogs/fuse_window.h"

#include <gtest/gtest.h>

#include <string>

#include "core/ids.h"
#include "dialogs/dialog_commands.h"
#include "tests/support/sim_rig.h"

namespace ostrel::testing {
namespace {

constexpr int kWin = ids::kFusesWindow;
constexpr int kPlaces = 4 * ids::kFuseSlotsPerByte;

// The place of a field by its name; -1 when the window does not show it.
int PlaceOf(ScriptedWindows& w, const std::string& name) {
    for (int place = 0; place < kPlaces; ++place) {
        if (w.IsItemShown(kWin, ids::kFuseChoice0 + place) &&
            w.ItemText(kWin, ids::kFuseName0 + place) == name)
            return place;
        if (w.IsItemShown(kWin, ids::kFuseCheck0 + place) &&
            w.ItemText(kWin, ids::kFuseCheck0 + place).starts_with(name + ":"))
            return place;
    }
    return -1;
}

// One user action: "tick NAME", "untick NAME", "choose NAME BITS" (the
// entry whose text starts with the bits), "hex BYTE XX", or a button.
void Act(ScriptedWindows& w, DialogHandler& window, const std::string& action) {
    const std::size_t blank = action.find(' ');
    const std::string verb = action.substr(0, blank);
    std::string rest = blank == std::string::npos ? "" : action.substr(blank + 1);
    if (verb == "write") {
        window.OnCommand(ids::kFuseWrite);
    } else if (verb == "restore") {
        window.OnCommand(ids::kFuseRestore);
    } else if (verb == "hex") {
        const int byte = rest[0] - '0';
        w.SetItemText(kWin, ids::kFuseHex0 + byte, rest.substr(2));
        window.OnEditNotify(ids::kFuseHex0 + byte);
    } else if (verb == "tick" || verb == "untick") {
        const int place = PlaceOf(w, rest);
        ASSERT_GE(place, 0) << rest;
        w.CheckItem(kWin, ids::kFuseCheck0 + place, verb == "tick");
        window.OnCommand(ids::kFuseCheck0 + place);
    } else if (verb == "choose") {
        const std::string name = rest.substr(0, rest.find(' '));
        const std::string bits = rest.substr(rest.find(' ') + 1) + ":";
        const int place = PlaceOf(w, name);
        ASSERT_GE(place, 0) << name;
        for (const std::string& choice : w.Choices(kWin, ids::kFuseChoice0 + place)) {
            if (choice.starts_with(bits))
                w.SetItemText(kWin, ids::kFuseChoice0 + place, choice);
        }
        window.OnEditNotify(ids::kFuseChoice0 + place);
    }
}

TEST(FuseWindow, ReadsEditsAndWritesThroughTheGuard) {
    struct Case {
        const char* chip;
        int presetFuse;  // a simulator byte set before (0 low, 1 high, 2 extended, 3 lock); -1
        int presetValue;
        std::vector<std::string> actions;
        const char* answers;  // "y": OK to a question, "n": Cancel
        int byte;             // the window's byte looked at afterwards
        const char* hex;      // its hexadecimal field
        const char* shows;    // a field's text that must show: "NAME=text" (choice or check)
        int simByte;          // the simulator's byte afterwards
        int simValue;
        const char* message;  // the start of the last message box's button kind and text; "" none
        const char* status;   // the status line contains it
    };
    const Case cases[] = {
        // A read shows every byte decoded.
        {"ATmega328P",
         -1,
         0,
         {},
         "",
         0,
         "62",
         "CKSEL=0010: internal 8 MHz RC oscillator",
         0,
         0x62,
         "",
         "as read"},
        {"ATmega328P", -1, 0, {}, "", 0, "62", "CKDIV8=ticked", 0, 0x62, "", "programmed bit"},
        {"ATmega8", -1, 0, {}, "", 1, "D9", "SPIEN=ticked", 1, 0xD9, "", "as read"},
        {"ATtiny13", -1, 0, {}, "", 0, "6A", "SPIEN=ticked", 0, 0x6A, "", "as read"},
        // Edits by name change the value, and by value the names; nothing is written yet.
        {"ATmega328P",
         -1,
         0,
         {"untick CKDIV8"},
         "",
         0,
         "E2",
         "CKDIV8=unticked",
         0,
         0x62,
         "",
         "Changed"},
        {"ATmega328P",
         -1,
         0,
         {"choose CKSEL 0011"},
         "",
         0,
         "63",
         "CKSEL=0011: internal 128 kHz oscillator",
         0,
         0x62,
         "",
         "Changed"},
        {"ATmega328P", -1, 0, {"hex 1 DE"}, "", 1, "DE", "BOOTRST=ticked", 1, 0xD9, "", "Changed"},
        {"ATmega328P", -1, 0, {"hex 1 D"}, "", 1, "D", "BOOTRST=unticked", 1, 0xD9, "", "as read"},
        // Nothing to fear: written and read back.
        {"ATmega328P",
         -1,
         0,
         {"untick CKDIV8", "write"},
         "",
         0,
         "E2",
         "CKDIV8=unticked",
         0,
         0xE2,
         "",
         "Written and read back"},
        // Asked: OK writes, Cancel writes nothing.
        {"ATmega328P",
         -1,
         0,
         {"choose CKSEL 1111", "write"},
         "y",
         0,
         "6F",
         "",
         0,
         0x6F,
         "?Warning!|The low byte 0x6F",
         "Written"},
        {"ATmega328P",
         -1,
         0,
         {"choose CKSEL 1111", "write"},
         "n",
         0,
         "6F",
         "",
         0,
         0x62,
         "?Warning!|The low byte 0x6F",
         "Nothing was written"},
        // Refused unless the user insists, asked with Cancel as the default.
        {"ATmega328P",
         -1,
         0,
         {"untick SPIEN", "write"},
         "n",
         1,
         "F9",
         "",
         1,
         0xD9,
         "!Warning!|The high byte 0xF9",
         "Nothing was written"},
        {"ATmega328P",
         -1,
         0,
         {"tick RSTDISBL", "write"},
         "y",
         1,
         "59",
         "",
         1,
         0x59,
         "!Warning!|The high byte 0x59",
         "Written"},
        {"ATtiny13",
         -1,
         0,
         {"untick SPIEN", "write"},
         "n",
         0,
         "EA",
         "",
         0,
         0x6A,
         "!Warning!|The low byte 0xEA",
         "Nothing was written"},
        // A lock bit is unprogrammed only by a chip erase: the read-back differs.
        {"ATmega8",
         3,
         0xFC,
         {"hex 3 FF", "write"},
         "",
         3,
         "FC",
         "",
         3,
         0xFC,
         " Error|The lock byte reads 0xFC where 0xFF was written",
         "Write failed"},
        // The factory values, through the same guard (CKDIV8 programmed is asked).
        {"ATmega328P",
         0,
         0xE2,
         {"restore"},
         "y",
         0,
         "62",
         "CKDIV8=ticked",
         0,
         0x62,
         "?Warning!|The low byte 0x62",
         "Written"},
        {"ATmega328P",
         0,
         0xE2,
         {"restore"},
         "n",
         0,
         "62",
         "",
         0,
         0xE2,
         "?Warning!|The low byte 0x62",
         "Nothing was written"},
        // The AT90S chips: SPIEN shows but cannot be changed, by name or by value.
        {"AT90S4433", -1, 0, {}, "", 0, "DA", "SPIEN=ticked", 0, 0xDA, "", "as read"},
        {"AT90S4433",
         -1,
         0,
         {"untick SPIEN"},
         "",
         0,
         "DA",
         "SPIEN=ticked",
         0,
         0xDA,
         "",
         "SPIEN cannot be changed by serial programming"},
        {"AT90S4433",
         -1,
         0,
         {"hex 0 FA", "write"},
         "",
         0,
         "FA",
         "",
         0,
         0xDA,
         "",
         "Nothing was written"},
        {"AT90S4433",
         -1,
         0,
         {"tick BODEN", "write"},
         "",
         0,
         "D2",
         "BODEN=ticked",
         0,
         0xD2,
         "",
         "Written and read back"},
        {"AT90S2343",
         -1,
         0,
         {"choose RCEN 1", "write"},
         "y",
         0,
         "DF",
         "",
         0,
         0xDF,
         "?Warning!|The low byte 0xDF",
         "Written"},
        // The ATtiny12's lock byte; in lock mode 3 its signature reads 00 01 02.
        {"ATtiny12",
         -1,
         0,
         {"hex 3 F9", "write"},
         "y",
         3,
         "F9",
         "",
         3,
         0xF9,
         "?Warning!|The lock byte 0xF9",
         "Written and read back"},
        // A chip without a table: one clear line, nothing to edit.
        {"AT90S2313",
         -1,
         0,
         {"write", "restore"},
         "",
         0,
         "",
         "",
         3,
         -1,
         "",
         "no fuse table for the chip with the signature 1E9101"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.chip) + " " + (c.actions.empty() ? "" : c.actions[0]) + " " +
                     c.answers);
        SimRig rig({.chip = c.chip});
        if (c.presetFuse == 3)
            rig.chip().SetLock(static_cast<uint8_t>(c.presetValue));
        else if (c.presetFuse >= 0)
            rig.chip().SetFuse(c.presetFuse, static_cast<uint8_t>(c.presetValue));
        for (const char* a = c.answers; *a != '\0'; ++a)
            rig.windows.answers.push_back(*a == 'y' ? MsgResult::Ok : MsgResult::Cancel);
        ScriptedWindows& w = rig.windows;
        std::string shows;
        rig.windows.dialogScript = [&](int dialog, DialogHandler& window) {
            ASSERT_EQ(dialog, kWin);
            for (const std::string& action : c.actions)
                Act(w, window, action);
            const std::string want = c.shows;
            if (!want.empty()) {
                const std::string name = want.substr(0, want.find('='));
                const int place = PlaceOf(w, name);
                ASSERT_GE(place, 0) << name;
                if (w.IsItemShown(kWin, ids::kFuseChoice0 + place))
                    shows = name + "=" + w.ItemText(kWin, ids::kFuseChoice0 + place);
                else
                    shows = name + (w.IsItemChecked(kWin, ids::kFuseCheck0 + place) ? "=ticked"
                                                                                    : "=unticked");
            }
            window.OnCommand(ids::kFuseClose);
        };
        ASSERT_EQ(dialogs::OpenFusesWindow(rig.p), 0);
        EXPECT_TRUE(w.WindowEnded(kWin));
        EXPECT_EQ(w.ItemText(kWin, ids::kFuseHex0 + c.byte), c.hex);
        if (*c.shows != '\0') {
            EXPECT_EQ(shows, c.shows);
        }
        if (c.simValue >= 0) {
            EXPECT_EQ(c.simByte == 3 ? rig.chip().Lock() : rig.chip().Fuse(c.simByte), c.simValue);
        }
        const std::string message = c.message;
        if (message.empty()) {
            EXPECT_TRUE(w.messages.empty()) << w.messages.front().text;
        } else {
            ASSERT_FALSE(w.messages.empty());
            const ShownMessage& shown = w.messages.back();
            const MsgButtons buttons = message[0] == '!'   ? MsgButtons::OkCancelDefaultCancel
                                       : message[0] == '?' ? MsgButtons::OkCancel
                                                           : MsgButtons::Ok;
            EXPECT_EQ(shown.buttons, buttons);
            const std::size_t bar = message.find('|');
            EXPECT_EQ(shown.title, message.substr(1, bar - 1));
            EXPECT_TRUE(shown.text.starts_with(message.substr(bar + 1))) << shown.text;
        }
        EXPECT_NE(w.ItemText(kWin, ids::kFuseStatus).find(c.status), std::string::npos)
            << w.ItemText(kWin, ids::kFuseStatus);
    }
}

}  // namespace
}  // namespace ostrel::testing
