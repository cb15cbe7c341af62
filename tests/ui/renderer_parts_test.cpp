// The decisions both renderers take from ui/ instead of making them twice:
// the walk over the shown menu, the fitting of the activity line, a refused
// check box's toggle, the ends of the windows, the scripted answers of the
// boxes and the shown boxes' texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "core/ids.h"
#include "ui/activity_line.h"
#include "ui/busy.h"
#include "ui/menu.h"
#include "ui/window_ends.h"

namespace ostrel::testing {
namespace {

using ui::MenuKind;

// A menu as the walk builds it: each entry's text under its menu's path, a
// separator as "-".
std::vector<std::string> Walked(const std::vector<ui::ShownMenuEntry>& shown) {
    std::vector<std::string> made;
    ui::WalkMenu(
        shown, std::string("bar"),
        [&](const std::string& parent, const ui::ShownMenuEntry& entry) {
            made.push_back(parent + "/" + entry.text + ">");
            return parent + "/" + entry.text;
        },
        [&](const std::string& parent, const ui::ShownMenuEntry& entry) {
            made.push_back(parent + "/" + entry.text);
        },
        [&](const std::string& parent) { made.push_back(parent + "/-"); });
    return made;
}

TEST(MenuWalk, EachEntryGoesIntoTheMenuOpenAtItsPlace) {
    struct Case {
        const char* what;
        std::vector<ui::ShownMenuEntry> shown;
        std::vector<std::string> made;
    };
    const Case cases[] = {
        {"nested menus close in order",
         {{MenuKind::Menu, "File"},
          {MenuKind::Item, "Open", 1},
          {MenuKind::Separator, ""},
          {MenuKind::Menu, "Recent"},
          {MenuKind::CheckItem, "a.hex", 2},
          {MenuKind::EndMenu, ""},
          {MenuKind::Item, "Exit", 3},
          {MenuKind::EndMenu, ""},
          {MenuKind::BarCommand, "Write", 4}},
         {"bar/File>", "bar/File/Open", "bar/File/-", "bar/File/Recent>", "bar/File/Recent/a.hex",
          "bar/File/Exit", "bar/Write"}},
        {"a check menu opens like a menu; clocks and chips are commands",
         {{MenuKind::Menu, "Port"},
          {MenuKind::CheckMenu, "Simulator", 9},
          {MenuKind::ClockItem, "1 MHz"},
          {MenuKind::ChipItem, "ATmega8"},
          {MenuKind::EndMenu, ""},
          {MenuKind::EndMenu, ""}},
         {"bar/Port>", "bar/Port/Simulator>", "bar/Port/Simulator/1 MHz",
          "bar/Port/Simulator/ATmega8"}},
        {"placeholders go nowhere",
         {{MenuKind::Menu, "Port"},
          {MenuKind::FoundPorts, ""},
          {MenuKind::SimulatorClocks, ""},
          {MenuKind::SimulatorChips, ""},
          {MenuKind::EndMenu, ""}},
         {"bar/Port>"}},
        {"an end with no menu open is passed over",
         {{MenuKind::EndMenu, ""}, {MenuKind::Item, "Help", 5}, {MenuKind::EndMenu, ""}},
         {"bar/Help"}},
        {"a menu never closed keeps what follows",
         {{MenuKind::Menu, "A"}, {MenuKind::Item, "x"}},
         {"bar/A>", "bar/A/x"}},
        {"nothing", {}, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Walked(c.shown), c.made) << c.what;
}

TEST(MenuWalk, TheMachinesMenuHasEveryCommandOnceAndEndsOnTheBar) {
    for (const bool gpio : {false, true}) {
        const std::vector<ui::ShownMenuEntry> shown =
            ui::ShownMainMenu(ui::MenuMachine{{}, false, gpio});
        std::size_t commands = 0;
        std::size_t submenus = 0;
        for (const ui::ShownMenuEntry& entry : shown) {
            const bool sends = entry.kind == MenuKind::Item || entry.kind == MenuKind::CheckItem ||
                               entry.kind == MenuKind::BarCommand ||
                               entry.kind == MenuKind::ClockItem ||
                               entry.kind == MenuKind::ChipItem;
            commands += sends ? 1 : 0;
            submenus += entry.kind == MenuKind::Menu || entry.kind == MenuKind::CheckMenu ? 1 : 0;
        }
        std::size_t walkedCommands = 0;
        std::size_t walkedSubmenus = 0;
        int depth = 0;
        ui::WalkMenu(
            shown, 0,
            [&](int parent, const ui::ShownMenuEntry&) {
                ++walkedSubmenus;
                depth = std::max(depth, parent + 1);
                return parent + 1;
            },
            [&](int parent, const ui::ShownMenuEntry& entry) {
                ++walkedCommands;
                // The bar's own commands are on the bar, every other in a menu.
                EXPECT_EQ(parent == 0, entry.kind == MenuKind::BarCommand) << entry.text;
            },
            [&](int parent) { EXPECT_GT(parent, 0); });
        EXPECT_EQ(walkedCommands, commands) << "gpio " << gpio;
        EXPECT_EQ(walkedSubmenus, submenus) << "gpio " << gpio;
        EXPECT_GE(depth, 2) << "Port > Simulator is a submenu of a submenu";
    }
}

// A field `room` characters wide, each character one wide.
ui::FitsField Room(std::size_t room) {
    return [room](std::string_view text) {
        std::size_t characters = 0;
        for (char c : text)
            characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
        return characters <= room;
    };
}

TEST(ActivityLine, TheFirstLineThatFitsElseTheLastCutInItsMiddle) {
    struct Case {
        const char* what;
        std::vector<std::string> lines;
        std::size_t room;
        std::string shown;
    };
    const Case cases[] = {
        {"the most detailed fits", {"Saved /home/a/b.hex", "b.hex"}, 40, "Saved /home/a/b.hex"},
        {"the next one fits", {"Saved /home/a/b.hex", "Saved b.hex", "b.hex"}, 11, "Saved b.hex"},
        {"exactly the room", {"abcdef"}, 6, "abcdef"},
        {"none fits: the last, more before the cut",
         {"long first line", "abcdefghij"},
         6,
         "abc\u2026ij"},
        {"an odd room", {"abcdefghij"}, 5, "ab\u2026ij"},
        {"one character beside the ellipsis", {"abcdefghij"}, 2, "a\u2026"},
        {"the ellipsis alone", {"abcdefghij"}, 1, "\u2026"},
        {"not even the ellipsis", {"abcdefghij"}, 0, "\u2026"},
        {"whole characters only",
         {"\u00e4\u00f6\u00fc\u00e4\u00f6\u00fc\u00e4\u00f6"},
         5,
         "\u00e4\u00f6\u2026\u00e4\u00f6"},
        {"a stray continuation byte stays with its neighbour",
         {"ab\x80\x80\x80"
          "cdefgh"},
         4,
         "ab\x80\x80\x80\u2026h"},
        {"an empty last line", {"too long", ""}, 3, ""},
        {"no lines", {}, 10, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ui::FitActivityLine(c.lines, Room(c.room)), c.shown) << c.what;
}

TEST(CheckBoxToggle, GoesBackOnlyWhenItsCommandIsRefused) {
    struct Case {
        bool taken;
        bool checkedNow;
        std::optional<bool> after;
    };
    const Case cases[] = {
        {true, true, std::nullopt},
        {true, false, std::nullopt},
        {false, true, false},
        {false, false, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ui::CheckBoxAfterCommand(c.taken, c.checkedNow), c.after)
            << "taken " << c.taken << ", checked " << c.checkedNow;
}

TEST(WindowEnds, EndingAWindowRunsWhatItsOwnerSetAndNothingElse) {
    struct Case {
        const char* what;
        int window;
        bool ended;
        std::vector<std::string> log;
    };
    const Case cases[] = {
        {"the main window", ids::kMainWindow, true, {"main 7"}},
        {"a dialog whose end was replaced", ids::kEepromWindow, true, {"eeprom again 7"}},
        {"a window removed", ids::kInstructionsDialog, false, {}},
        {"a window without an end", ids::kWiringDialog, false, {}},
        {"a window never set", 424242, false, {}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> log;
        ui::WindowEnds ends;
        ends.Set(ids::kMainWindow, [&](int r) { log.push_back("main " + std::to_string(r)); });
        ends.Set(ids::kEepromWindow, [&](int r) { log.push_back("eeprom " + std::to_string(r)); });
        ends.Set(ids::kEepromWindow,
                 [&](int r) { log.push_back("eeprom again " + std::to_string(r)); });
        ends.Set(ids::kInstructionsDialog, [&](int) { log.push_back("instructions"); });
        ends.Remove(ids::kInstructionsDialog);
        ends.Set(ids::kWiringDialog, nullptr);
        EXPECT_EQ(ends.End(c.window, 7), c.ended) << c.what;
        EXPECT_EQ(log, c.log) << c.what;
    }
}

TEST(WindowEnds, AWindowMayRemoveItsOwnEndWhileItEnds) {
    ui::WindowEnds ends;
    int ended = 0;
    ends.Set(ids::kMainWindow, [&](int) {
        ++ended;
        ends.Remove(ids::kMainWindow);
    });
    EXPECT_TRUE(ends.End(ids::kMainWindow, 0));
    EXPECT_FALSE(ends.End(ids::kMainWindow, 0));
    EXPECT_EQ(ended, 1);
}

TEST(ScriptedAnswers, TakeTheNextAnswerAndGiveOkWhereOkIsTheOnlyButton) {
    struct Case {
        const char* what;
        std::deque<MsgResult> script;
        MsgButtons buttons;
        MsgResult answer;
        std::size_t left;
    };
    const Case cases[] = {
        {"Cancel scripted",
         {MsgResult::Cancel, MsgResult::Ok},
         MsgButtons::OkCancel,
         MsgResult::Cancel,
         1},
        {"Cancel on a box whose default is Cancel",
         {MsgResult::Cancel},
         MsgButtons::OkCancelDefaultCancel,
         MsgResult::Cancel,
         0},
        {"OK scripted", {MsgResult::Ok}, MsgButtons::OkCancel, MsgResult::Ok, 0},
        {"nothing left", {}, MsgButtons::OkCancelDefaultCancel, MsgResult::Ok, 0},
        {"a box with OK only, its answer used up",
         {MsgResult::Cancel, MsgResult::Cancel},
         MsgButtons::Ok,
         MsgResult::Ok,
         1},
    };
    for (const Case& c : cases) {
        std::deque<MsgResult> script = c.script;
        EXPECT_EQ(ui::TakeScriptedAnswer(script, c.buttons), c.answer) << c.what;
        EXPECT_EQ(script.size(), c.left) << c.what;
    }
}

TEST(ShownBoxes, AreListedAsTitleAndTextInTheirOrder) {
    struct Shown {
        std::string title;
        std::string text;
    };
    const std::vector<Shown> shown = {{"Error: ", "No chip"}, {"Ostrel", ""}, {"", "x: y"}};
    EXPECT_EQ(ui::TitledTexts(shown),
              (std::vector<std::string>{"Error: : No chip", "Ostrel: ", ": x: y"}));
    EXPECT_TRUE(ui::TitledTexts(std::vector<Shown>{}).empty());
}

}  // namespace
}  // namespace ostrel::testing
