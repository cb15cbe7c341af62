// The EEPROM data window against the simulated chip: the listing, the
// editing rules, and writing back only what changed.
#include "dialogs/eeprom_window.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "avr/avr.h"
#include "core/ids.h"
#include "dialogs/dialog_commands.h"
#include "tests/dialogs/frames.h"
#include "tests/support/sim_rig.h"

namespace ostrel::testing {
namespace {

using dialogs::EepromWindow;
using sim::SimFault;

constexpr int kWin = ids::kEepromWindow;
constexpr int kList = ids::kListing;

std::string ExpectedLine(int address, int value) {
    char line[16];
    std::snprintf(line, sizeof line, "%04X: %02X \r\n", address, value);
    return line;
}

// Offset of the first character of a listing line.
int At(int line) {
    return line * 11;
}

// A rig whose chip is connected, with the window open on it (read at opening).
struct OpenWindow {
    explicit OpenWindow(SimRigOptions options = {}) : rig(std::move(options)), window(rig.p) {}
    void Open() {
        ASSERT_EQ(avr::Connect(rig.p), 0);
        rig.windows.log.clear();
        window.OnInit();
    }
    std::string Listing() { return rig.windows.ItemText(kWin, kList); }
    // Writes `listing` back expecting a refusal: nothing written and one error
    // box, whose text it returns.
    std::string RefusedWrite(const std::string& listing) {
        rig.windows.TypeText(kWin, kList, listing, {0, 0});
        rig.chip().RecordInstructions(true);
        const std::size_t boxes = rig.windows.messages.size();
        window.OnCommand(ids::kWriteData);
        EXPECT_TRUE(FramesOf(rig, 0xC0).empty());
        EXPECT_EQ(rig.windows.messages.size(), boxes + 1);
        if (rig.windows.messages.size() == boxes)
            return "";
        EXPECT_EQ(rig.windows.messages.back().title, "Error");
        return rig.windows.messages.back().text;
    }
    // The user's typing: the listing now reads `text`, the caret at `caret`.
    void Type(const std::string& text, int caret) {
        rig.windows.TypeText(kWin, kList, text, {caret, caret});
        window.OnEditNotify(kList);
    }
    SimRig rig;
    EepromWindow window;
};

// --- reading -----------------------------------------------------------------

TEST(EepromListing, OneLinePerByteWithAddressAndValue) {
    SimRig rig({.chip = "ATmega8"});
    rig.chip().SetEeprom(0, 0x12);
    rig.chip().SetEeprom(0x1FF, 0xA5);
    std::string listing;
    rig.windows.dialogScript = [&](int dialog, DialogHandler&) {
        EXPECT_EQ(dialog, kWin);
        listing = rig.windows.ItemText(kWin, kList);
        EXPECT_EQ(rig.windows.ItemText(kWin, ids::kEepromStatus), " ");
        EXPECT_FALSE(rig.windows.IsModified(kWin, kList));
    };
    ASSERT_EQ(dialogs::OpenDataWindow(rig.p), 0);
    ASSERT_EQ(listing.size(), 512u * 11u);
    for (int a = 0; a < 512; ++a) {
        int value = a == 0 ? 0x12 : a == 0x1FF ? 0xA5 : 0xFF;
        ASSERT_EQ(listing.substr(At(a), 11), ExpectedLine(a, value)) << a;
    }
    EXPECT_EQ(listing.substr(At(511)), "01FF: A5 \r\n");
    // The main window's activity line is blanked and greyed before the window opens.
    const auto& log = rig.windows.log;
    auto opened = std::find(log.begin(), log.end(), "dialog 1083 owner 103");
    ASSERT_NE(opened, log.end());
    EXPECT_NE(std::find(log.begin(), opened, "disable 103 1018"), opened);
    auto reading = std::find(opened, log.end(), "text 1083 1098 'reading....'");
    auto blankList = std::find(opened, log.end(), "text 1083 1084 ' '");
    EXPECT_LT(blankList, reading);
    EXPECT_NE(reading, log.end());
}

TEST(EepromListing, LargeEepromIsReadWhollyButListedTo2048Lines) {
    OpenWindow w({.chip = "ATmega64"});
    ASSERT_EQ(avr::Connect(w.rig.p), 0);
    w.rig.p.state.eepromBytes = 4096;
    w.rig.chip().RecordInstructions(true);
    w.window.OnInit();
    EXPECT_EQ(FramesOf(w.rig, 0xA0).size(), 4096u);
    EXPECT_EQ(FramesOf(w.rig, 0xA0).back(), (Frame{0xA0, 0x0F, 0xFF, 0x00}));
    EXPECT_EQ(w.Listing().size(), 2048u * 11u);
    EXPECT_EQ(w.Listing().substr(At(2047)), "07FF: FF \r\n");
    EXPECT_EQ(w.window.listedBytes(), 2048);
}

TEST(EepromListing, NoEepromGivesAnEmptyListingAndWritesNothing) {
    for (int32_t bytes : {0, -7}) {
        OpenWindow w;
        ASSERT_EQ(avr::Connect(w.rig.p), 0);
        w.rig.p.state.eepromBytes = bytes;
        w.rig.chip().RecordInstructions(true);
        w.window.OnInit();
        EXPECT_EQ(w.Listing(), "");
        w.window.OnCommand(ids::kWriteData);
        EXPECT_TRUE(w.rig.chip().instructions().empty());
        EXPECT_TRUE(w.rig.windows.messages.empty());
    }
}

TEST(EepromListing, ReadDataShowsTheChipAgainAndForgetsEdits) {
    OpenWindow w;
    w.Open();
    std::string text = w.Listing();
    text.replace(At(5) + 6, 2, "3C");
    w.Type(text, At(5) + 8);
    ASSERT_EQ(w.window.reference().substr(At(5), 11), "0005: 3C \r\n");
    w.rig.chip().SetEeprom(7, 0x01);
    w.rig.windows.log.clear();
    w.window.OnCommand(ids::kReadData);
    EXPECT_EQ(w.Listing().substr(At(5), 11), "0005: FF \r\n");
    EXPECT_EQ(w.Listing().substr(At(7), 11), "0007: 01 \r\n");
    EXPECT_EQ(w.window.reference(), w.Listing());
    EXPECT_FALSE(w.rig.windows.IsModified(kWin, kList));
    const std::vector<std::string> start(w.rig.windows.log.begin(), w.rig.windows.log.begin() + 4);
    EXPECT_EQ(start, (std::vector<std::string>{"text 1083 1084 ' '", "repaint 1083",
                                               "text 1083 1098 'reading....'", "repaint 1083"}));
    EXPECT_EQ(w.rig.windows.ItemText(kWin, ids::kEepromStatus), " ");
}

// --- editing rules -------------------------------------------------------------

TEST(EepromEditing, ValueDigitsAreAcceptedIntoTheReference) {
    OpenWindow w;
    w.Open();
    const std::string original = w.Listing();
    std::string text = original;
    // "FF" selected and "3" typed over it: the line is one character shorter.
    text.replace(At(5) + 6, 2, "3");
    w.Type(text, At(5) + 7);
    EXPECT_EQ(w.window.reference().substr(At(5), 11), "0005: 3F \r\n");
    EXPECT_EQ(w.Listing(), text);  // the control keeps what the user typed
    text.insert(At(5) + 7, "C");
    w.Type(text, At(5) + 8);
    EXPECT_EQ(w.window.reference().substr(At(5), 11), "0005: 3C \r\n");
    EXPECT_EQ(w.window.reference().size(), original.size());
    EXPECT_EQ(w.window.reference().substr(0, At(5)), original.substr(0, At(5)));
}

TEST(EepromEditing, TypingInAnAddressPutsTheReferenceBackWithAcceptedDigits) {
    OpenWindow w;
    w.Open();
    std::string text = w.Listing();
    text.replace(At(5) + 6, 2, "3C");
    w.Type(text, At(5) + 8);
    // Now an 'X' typed into line 2's address.
    text.insert(At(2) + 1, "X");
    w.Type(text, At(2) + 2);
    std::string expected = w.window.reference();
    EXPECT_EQ(expected.substr(At(5), 11), "0005: 3C \r\n");
    EXPECT_EQ(expected.substr(At(2), 11), "0002: FF \r\n");
    EXPECT_EQ(w.Listing(), expected);
    EXPECT_FALSE(w.rig.windows.IsModified(kWin, kList));
    EXPECT_EQ(w.rig.windows.Selection(kWin, kList).start, 0);
}

TEST(EepromEditing, FirstLineAddressAndTheBlankAfterTheColonAreProtected) {
    OpenWindow w;
    w.Open();
    const std::string original = w.Listing();
    std::string text = original;
    text[1] = '9';
    w.Type(text, 2);
    EXPECT_EQ(w.Listing(), original);

    // A character typed just before the value pushes it over the blank.
    text = original;
    text.insert(At(5) + 5, "Z");
    w.Type(text, At(5) + 6);
    EXPECT_EQ(w.Listing(), original);

    EXPECT_EQ(w.window.reference(), original);
}

TEST(EepromEditing, CaretAtTheStartOfALineCountsAsTheEndOfALine) {
    OpenWindow w;
    w.Open();
    const std::string original = w.Listing();
    // Column 11, not 0: the line's digits are looked at and accepted.
    std::string text = original;
    text.replace(At(4) + 6, 2, "3C");
    w.Type(text, At(4));
    EXPECT_EQ(w.Listing(), text);
    EXPECT_EQ(w.window.reference().substr(At(4), 11), "0004: 3C \r\n");
    // In the first line a caret at 0 is no caret at all; at 11 it is the
    // start of line 1, whose blank after the colon is checked.
    text = w.window.reference();
    text[At(1) + 5] = 'Q';
    w.Type(text, At(1));
    EXPECT_EQ(w.Listing(), w.window.reference());
    EXPECT_FALSE(w.rig.windows.IsModified(kWin, kList));
}

TEST(EepromEditing, NothingHappensWithoutASelectionOrWhenTheAddressPartMoved) {
    OpenWindow w;
    w.Open();
    const std::string original = w.Listing();
    // Selection at 0,0: the rules do not run at all.
    std::string text = original;
    text.replace(At(5) + 6, 2, "3C");
    w.rig.windows.TypeText(kWin, kList, text, {0, 0});
    w.window.OnEditNotify(kList);
    EXPECT_EQ(w.Listing(), text);
    EXPECT_EQ(w.window.reference(), original);

    // A pasted line whose address differs is left as it is, and not accepted.
    text = original;
    text.replace(At(5), 8, "0009: 3C");
    w.Type(text, At(5) + 8);
    EXPECT_EQ(w.Listing(), text);
    EXPECT_EQ(w.window.reference(), original);

    // Bytes outside 7-bit ASCII are not digits.
    text = original;
    text.replace(At(6) + 6, 2, "\xC3\xA4");
    w.Type(text, At(6) + 8);
    EXPECT_EQ(w.window.reference(), original);

    // Notifications of other controls are not the listing's.
    text = original;
    text[1] = '9';
    w.rig.windows.TypeText(kWin, kList, text, {2, 2});
    w.window.OnEditNotify(ids::kEepromStatus);
    EXPECT_EQ(w.Listing(), text);
}

// --- writing -----------------------------------------------------------------

TEST(EepromWrite, OnlyTheChangedByteIsWritten) {
    SimRig rig({.chip = "ATmega8"});
    rig.windows.dialogScript = [&](int, DialogHandler& window) {
        std::string text = rig.windows.ItemText(kWin, kList);
        text.replace(At(5) + 6, 2, "3C");
        rig.windows.TypeText(kWin, kList, text, {At(5) + 8, At(5) + 8});
        window.OnEditNotify(kList);
        rig.chip().RecordInstructions(true);
        rig.windows.log.clear();
        window.OnCommand(ids::kWriteData);
        EXPECT_EQ(rig.windows.log.front(), "text 1083 1098 'writing....'");
        EXPECT_EQ(rig.windows.ItemText(kWin, ids::kEepromStatus), " ");
    };
    ASSERT_EQ(dialogs::OpenDataWindow(rig.p), 0);
    EXPECT_EQ(FramesOf(rig, 0xC0), (std::vector<Frame>{{0xC0, 0x00, 0x05, 0x3C}}));
    // Every byte read once; the written one also polled until it holds its value.
    const int polled = CountFrames(rig, {0xA0, 0x00, 0x05, 0x00});
    EXPECT_GE(polled, 2);
    EXPECT_EQ(FramesOf(rig, 0xA0).size(), 511u + static_cast<std::size_t>(polled));
    for (uint32_t a = 0; a < 512; ++a)
        ASSERT_EQ(rig.chip().Eeprom(a), a == 5 ? 0x3C : 0xFF);
    EXPECT_TRUE(rig.windows.messages.empty());
}

TEST(EepromWrite, UnchangedListingSendsOnlyReads) {
    OpenWindow w;
    w.rig.chip().SetEeprom(9, 0x00);
    w.Open();
    w.rig.chip().RecordInstructions(true);
    w.window.OnCommand(ids::kWriteData);
    EXPECT_TRUE(FramesOf(w.rig, 0xC0).empty());
    EXPECT_EQ(w.rig.chip().instructions().size(), 512u);
}

// A chip in lock mode 2 ignores writes: the window says so before the first
// one instead of polling it until the polling gives up.
TEST(EepromWrite, AChipInLockMode2IsToldBeforeAnyWrite) {
    OpenWindow w;
    w.Open();
    w.rig.chip().SetLock(0xFE);  // LB1 programmed
    std::string text = w.Listing();
    text.replace(At(5) + 6, 2, "3C");
    const std::string box = w.RefusedWrite(text);
    EXPECT_NE(box.find("lock mode 2"), std::string::npos) << box;
    EXPECT_EQ(w.rig.chip().Eeprom(5), 0xFF);
}

TEST(EepromWrite, AnAddressTextThatNamesAnotherPlaceIsRefused) {
    // A deleted line would shift every later value to the address before it.
    OpenWindow w;
    w.Open();
    std::string text = w.Listing();
    text.replace(At(5), 8, "0009: 3C");
    const std::string box = w.RefusedWrite(text);
    EXPECT_NE(box.find("Line 6 says address 0009"), std::string::npos) << box;
    EXPECT_EQ(w.rig.chip().Eeprom(5), 0xFF);

    std::string deleted = w.Listing();
    deleted.erase(At(2), 11);
    EXPECT_NE(w.RefusedWrite(deleted), "");
}

TEST(EepromWrite, LastLineWithoutItsLineEndIsWrittenOrRefusedNeverDropped) {
    struct Case {
        std::string lastLine;  // what stands after the final line end
        int written;           // the value address 511 then holds; -1: refused
    };
    const Case cases[] = {
        {"01FF: 00 ", 0x00},  // only the CR LF deleted
        {"01FF: 3C ", 0x3C},
        {"01FF: 00", -1},  // the closing blank deleted too: out of format, said
        {"01FF: 0", -1},   // half a value is never guessed at
        {"  \t", 0xFF},    // blanks only: no line, nothing to write there
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lastLine);
        OpenWindow w;
        w.Open();
        std::string text = w.Listing();
        text.replace(At(510) + 6, 2, "11");
        text.erase(At(511));
        text += c.lastLine;
        w.rig.windows.TypeText(kWin, kList, text, {0, 0});
        w.rig.chip().RecordInstructions(true);
        w.window.OnCommand(ids::kWriteData);
        if (c.written >= 0) {
            EXPECT_EQ(w.rig.chip().Eeprom(510), 0x11);
            EXPECT_EQ(w.rig.chip().Eeprom(511), c.written);
            EXPECT_TRUE(w.rig.windows.messages.empty());
        } else {
            EXPECT_TRUE(w.rig.chip().instructions().empty()) << "nothing written";
            ASSERT_EQ(w.rig.windows.messages.size(), 1u);
            EXPECT_EQ(w.rig.windows.messages[0].text,
                      "Line 512 is not in the listing format:\n\n" + c.lastLine);
        }
    }
}

TEST(EepromWrite, StuckByteStopsTheWriteThere) {
    OpenWindow w({.chip = "ATmega8", .fault = SimFault::StuckByte, .stuckAddress = 3});
    w.Open();
    std::string text = w.Listing();
    text.replace(At(2) + 6, 2, "11");
    text.replace(At(3) + 6, 2, "22");
    text.replace(At(4) + 6, 2, "33");
    w.rig.windows.TypeText(kWin, kList, text, {0, 0});
    w.rig.chip().RecordInstructions(true);
    w.window.OnCommand(ids::kWriteData);
    EXPECT_EQ(w.rig.chip().Eeprom(2), 0x11);
    EXPECT_EQ(w.rig.chip().Eeprom(3), 0xFF);
    EXPECT_EQ(w.rig.chip().Eeprom(4), 0xFF);
    ASSERT_EQ(w.rig.windows.messages.size(), 1u);
    EXPECT_EQ(w.rig.windows.messages[0].text, "Write Error!");
    EXPECT_EQ(w.rig.windows.messages[0].title, "");
    EXPECT_EQ(w.rig.windows.messages[0].owner, ids::kNoOwner);
    // Address 3 was written once and polled until the time-out; address 4
    // was never touched.
    EXPECT_EQ(CountFrames(w.rig, {0xC0, 0x00, 0x03, 0x22}), 1);
    EXPECT_GT(CountFrames(w.rig, {0xA0, 0x00, 0x03, 0x00}), 2);
    EXPECT_EQ(w.rig.chip().instructions().back(), (Frame{0xA0, 0x00, 0x03, 0x00}));
    EXPECT_EQ(CountFrames(w.rig, {0xA0, 0x00, 0x04, 0x00}), 0);
    EXPECT_EQ(w.rig.windows.ItemText(kWin, ids::kEepromStatus), " ");
}

TEST(EepromWrite, ListingOutOfFormatIsRefusedBeforeAnythingIsSent) {
    struct Case {
        int line;             // 0-based
        std::string newLine;  // replaces that line including its line end
        std::string shown;
    };
    const Case cases[] = {
        {4, "0004: 3G \r\n", "0004: 3G "},
        {2, "0002: FF \n", "0002: FF "},    // line end without CR
        {7, "0007:  5 \r\n", "0007:  5 "},  // a blank where a digit belongs
        {0, "00Z0: 12 \r\n", "00Z0: 12 "},  // the address must still be hexadecimal
        {9, "0009: 12\r\n", "0009: 12"},    // the closing blank is gone
        {3, "0003: FF 0004: FF \r\n", "0003: FF 0004: FF "},  // two lines joined
        {6, "0006: F\rF \r\n", "0006: F?F "},
    };
    for (const Case& c : cases) {
        OpenWindow w;
        w.Open();
        std::string text = w.Listing();
        // Every other line gets a new value, so a write would show.
        for (int line = 0; line < 512; ++line)
            text.replace(At(line) + 6, 2, "5A");
        int replaced = c.newLine.find("0004: FF") != std::string::npos ? 22 : 11;
        text.replace(At(c.line), replaced, c.newLine);
        w.rig.windows.TypeText(kWin, kList, text, {0, 0});
        w.rig.chip().RecordInstructions(true);
        w.window.OnCommand(ids::kWriteData);
        EXPECT_TRUE(w.rig.chip().instructions().empty()) << c.shown;
        ASSERT_EQ(w.rig.windows.messages.size(), 1u);
        EXPECT_EQ(
            w.rig.windows.messages[0].text,
            "Line " + std::to_string(c.line + 1) + " is not in the listing format:\n\n" + c.shown);
        EXPECT_EQ(w.rig.windows.messages[0].title, "Error");
        EXPECT_EQ(w.rig.windows.messages[0].owner, kWin);
        EXPECT_EQ(w.rig.windows.ItemText(kWin, ids::kEepromStatus), " ");
    }
}

TEST(EepromWrite, MoreLinesThanWereReadAreRefused) {
    OpenWindow w;
    w.Open();
    std::string text = w.Listing();
    text.replace(At(0) + 6, 2, "00");
    text += "0200: 00 \r\n";
    w.rig.windows.TypeText(kWin, kList, text, {0, 0});
    w.rig.chip().RecordInstructions(true);
    w.window.OnCommand(ids::kWriteData);
    EXPECT_TRUE(w.rig.chip().instructions().empty());
    ASSERT_EQ(w.rig.windows.messages.size(), 1u);
    EXPECT_EQ(w.rig.windows.messages[0].text,
              "The listing has 513 lines, but only 512 bytes were read.\n\nNothing was written.");
    EXPECT_EQ(w.rig.windows.messages[0].title, "Error");
    EXPECT_EQ(w.rig.chip().Eeprom(0), 0xFF);
}

TEST(EepromWrite, LongLineIsShownCutToTheLineBuffer) {
    OpenWindow w;
    w.Open();
    std::string text = w.Listing();
    text.insert(At(1), std::string(5000, 'A'));
    w.rig.windows.TypeText(kWin, kList, text, {0, 0});
    w.window.OnCommand(ids::kWriteData);
    ASSERT_EQ(w.rig.windows.messages.size(), 1u);
    EXPECT_EQ(w.rig.windows.messages[0].text,
              "Line 2 is not in the listing format:\n\n" + std::string(32, 'A'));
}

// --- closing -----------------------------------------------------------------

TEST(EepromClose, ExitEndsWith1AndEscapeDoesNothing) {
    OpenWindow w;
    w.Open();
    w.window.OnCommand(ids::kCancelCommand);
    EXPECT_FALSE(w.rig.windows.WindowEnded(kWin));
    w.window.OnCommand(ids::kEepromExit);
    int result = 0;
    EXPECT_TRUE(w.rig.windows.WindowEnded(kWin, &result));
    EXPECT_EQ(result, 1);
}

TEST(EepromClose, DataWindowIsNotOpenedWhenConnectFails) {
    SimRig rig({.fault = SimFault::NoTarget});
    bool opened = false;
    rig.windows.dialogScript = [&](int, DialogHandler&) { opened = true; };
    EXPECT_EQ(dialogs::OpenDataWindow(rig.p), 1);
    EXPECT_FALSE(opened);
    ASSERT_EQ(rig.windows.messages.size(), 1u);
    EXPECT_EQ(rig.windows.messages[0].title, "Error");
    EXPECT_EQ(rig.windows.messages[0].owner, ids::kMainWindow);
}

}  // namespace
}  // namespace ostrel::testing
