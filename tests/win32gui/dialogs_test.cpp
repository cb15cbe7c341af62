// The native program's modal dialogs, made from their tables and driven by
// their control numbers while they show: the Serial Programming Instructions
// dialog, the EEPROM data window, the wiring picture, the cable test window,
// and the help page opened through the shell.
#include <windows.h>
// The program's WindowSystem::MessageBox, not the system's macro for MessageBoxA.
#undef MessageBox

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/ids.h"
#include "tests/win32gui/gui_rig.h"
#include "ui/control_table.h"
#include "win32/cable_test_window.h"
#include "win32/dialog_template.h"

namespace ostrel::testing {
namespace {

std::string Text(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    int length = GetWindowTextLengthA(control);
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    text.resize(static_cast<std::size_t>(GetWindowTextA(control, text.data(), length + 1)));
    return text;
}

bool Enabled(HWND dialog, int id) {
    return IsWindowEnabled(GetDlgItem(dialog, id)) != 0;
}

bool Checked(HWND dialog, int id) {
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

// Keys typed into an edit control: it has the focus, each character comes as
// the keyboard's WM_CHAR does.
void Type(HWND dialog, int id, const std::string& text) {
    HWND edit = GetDlgItem(dialog, id);
    SetFocus(edit);
    for (char c : text)
        SendMessageA(edit, WM_CHAR, static_cast<WPARAM>(static_cast<unsigned char>(c)), 1);
}

// Selects characters of an edit control, counted as the program counts them.
void Select(HWND dialog, int id, int start, int length) {
    HWND edit = GetDlgItem(dialog, id);
    SetFocus(edit);
    SendMessageA(edit, EM_SETSEL, static_cast<WPARAM>(start), start + length);
}

// Runs a menu command that opens a dialog and `script` inside the dialog once
// it shows; false when the dialog did not show.
bool RunDialog(GuiRig& rig, int command, int expectedDialog,
               const std::function<void(HWND)>& script) {
    bool shown = false;
    rig.windows().automation.dialogScript = [&](int dialog, win32::WindowHandle box) {
        shown = true;
        EXPECT_EQ(dialog, expectedDialog);
        script(box);
    };
    rig.Choose(command);
    rig.windows().automation.dialogScript = nullptr;
    EXPECT_EQ(rig.windows().dialogsLeftOpen, 0) << "the dialog was not ended by its own button";
    return shown;
}

std::string Caption(HWND window) {
    char text[128] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

// Every control of a dialog's table sits at its place in dialog units.
void ExpectTableLayout(HWND dialog, int window) {
    for (const ui::ControlEntry& entry : ui::ControlsOf(window)) {
        if (entry.id == 0)
            continue;
        SCOPED_TRACE(entry.id);
        HWND control = GetDlgItem(dialog, entry.id);
        ASSERT_NE(control, nullptr);
        RECT wanted = {entry.x, entry.y, entry.width, entry.height};
        MapDialogRect(dialog, &wanted);
        RECT place;
        GetWindowRect(control, &place);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&place), 2);
        EXPECT_EQ(place.left, wanted.left);
        EXPECT_EQ(place.top, wanted.top);
        EXPECT_EQ(place.right - place.left, wanted.right);
        EXPECT_EQ(place.bottom - place.top, wanted.bottom);
        EXPECT_EQ(IsWindowVisible(control) != 0, (entry.start & ui::kHidden) == 0);
    }
    const ui::WindowFrame frame = ui::FrameOf(window);
    RECT size = {0, 0, frame.width, frame.height};
    MapDialogRect(dialog, &size);
    RECT inside;
    GetClientRect(dialog, &inside);
    EXPECT_EQ(inside.right, size.right);
    EXPECT_EQ(inside.bottom, size.bottom);
    EXPECT_EQ(Caption(dialog), frame.title);
}

// --- Serial Programming Instructions -------------------------------------------

TEST(InstructionsDialog, SendRecReplacesFieldsThreeAndFourWithTheAnswer) {
    GuiRig rig;
    ASSERT_TRUE(rig.Start());
    rig.ChooseSimulator("ATmega8");
    rig.chip().SetLock(0xFC);  // LB1 and LB2 programmed
    bool ran = RunDialog(rig, ids::kFuseBits, ids::kInstructionsDialog, [&](HWND d) {
        ExpectTableLayout(d, ids::kInstructionsDialog);
        EXPECT_EQ(Text(d, ids::kByte1), "58");
        EXPECT_EQ(Text(d, ids::kByte2), "00");
        EXPECT_EQ(Text(d, ids::kByte3), "00");
        EXPECT_EQ(Text(d, ids::kByte4), "00");
        // Typed letters are shown in capitals.
        Select(d, ids::kByte3, 0, 2);
        Type(d, ids::kByte3, "5a");
        Select(d, ids::kByte4, 0, 2);
        Type(d, ids::kByte4, "a5");
        EXPECT_EQ(Text(d, ids::kByte3), "5A");
        EXPECT_EQ(Text(d, ids::kByte4), "A5");

        rig.ClickIn(d, ids::kSendRec);
        // 58 00 reads the lock byte: the chip answers it while byte 4 goes out.
        EXPECT_EQ(Text(d, ids::kByte1), "58");
        EXPECT_EQ(Text(d, ids::kByte2), "00");
        EXPECT_EQ(Text(d, ids::kByte3), "00");
        EXPECT_EQ(Text(d, ids::kByte4), "FC");
        EXPECT_EQ(Text(d, ids::kInstrStatus), "OK");
        EXPECT_FALSE(Enabled(d, ids::kInstrStatus));

        // Enter in a byte field is Send/Rec., the dialog's default button.
        rig.chip().RecordInstructions(true);
        SetFocus(GetDlgItem(d, ids::kByte1));
        rig.KeyIn(d, VK_RETURN);
        EXPECT_FALSE(rig.chip().instructions().empty());
        rig.ClickIn(d, ids::kDone);
    });
    EXPECT_TRUE(ran);
    EXPECT_TRUE(rig.windows().messages.empty()) << rig.LastMessage();
}

TEST(InstructionsDialog, WriteLockBitsIsOfferedOnlyForTheListedChipsAndLocksOne) {
    struct Case {
        const char* chip;
        bool offered;
    };
    for (Case c : {Case{"AT90S2313", true}, Case{"ATmega8", false}, Case{"AT90S2343", false}}) {
        SCOPED_TRACE(c.chip);
        GuiRig rig;
        ASSERT_TRUE(rig.Start());
        rig.ChooseSimulator(c.chip);
        bool ran = RunDialog(rig, ids::kFuseBits, ids::kInstructionsDialog, [&](HWND d) {
            EXPECT_EQ(Enabled(d, ids::kWriteLockBits), c.offered);
            EXPECT_FALSE(Enabled(d, ids::kWriteRcen));
            EXPECT_FALSE(Enabled(d, ids::kRcenBox));
            EXPECT_FALSE(IsWindowVisible(GetDlgItem(d, ids::kReadLockBits)));
            if (c.offered) {
                rig.ClickIn(d, ids::kLb1);
                rig.ClickIn(d, ids::kLb2);
                EXPECT_TRUE(Checked(d, ids::kLb1));
                EXPECT_TRUE(Checked(d, ids::kLb2));
                rig.ClickIn(d, ids::kWriteLockBits);
            }
            // Escape is Done.
            rig.KeyIn(d, VK_ESCAPE);
        });
        EXPECT_TRUE(ran);
        EXPECT_EQ(rig.chip().ReadProtected(), c.offered);
    }
}

TEST(InstructionsDialog, RcenIsReadAndWrittenOnAChipThatHasItOnly) {
    struct Case {
        const char* chip;
        bool hasRcen;
    };
    for (Case c : {Case{"AT90S2343", true}, Case{"ATmega8", false}}) {
        SCOPED_TRACE(c.chip);
        GuiRig rig;
        ASSERT_TRUE(rig.Start());
        rig.ChooseSimulator(c.chip);
        bool ran = RunDialog(rig, ids::kFuseBits, ids::kInstructionsDialog, [&](HWND d) {
            const bool programmed = (rig.chip().Fuse(0) & 1) == 0;
            rig.ClickIn(d, ids::kReadRcen);
            EXPECT_EQ(Enabled(d, ids::kRcenBox), c.hasRcen);
            EXPECT_EQ(Enabled(d, ids::kWriteRcen), c.hasRcen);
            if (c.hasRcen) {
                EXPECT_EQ(Checked(d, ids::kRcenBox), programmed);
                rig.ClickIn(d, ids::kRcenBox);
                rig.ClickIn(d, ids::kWriteRcen);
                EXPECT_EQ((rig.chip().Fuse(0) & 1) == 0, !programmed);
                EXPECT_EQ(Checked(d, ids::kRcenBox), !programmed);
            }
            rig.ClickIn(d, ids::kDone);
        });
        EXPECT_TRUE(ran);
        if (c.hasRcen) {
            EXPECT_TRUE(rig.windows().messages.empty()) << rig.LastMessage();
        } else {
            ASSERT_EQ(rig.Messages(), std::vector<std::string>{": Function not available!"});
            EXPECT_TRUE(rig.windows().messages[0].shownIcon);
        }
    }
}

// --- the EEPROM data window ------------------------------------------------------

std::string Line(HWND d, int line) {
    return Text(d, ids::kListing).substr(static_cast<std::size_t>(line) * 11, 9);
}

TEST(EepromWindow, ListsTheChipsEepromOneByteALineInAFixedFont) {
    GuiRig rig;
    ASSERT_TRUE(rig.Start());
    rig.ChooseSimulator("ATmega8");
    rig.chip().SetEeprom(0x1FF, 0xA7);
    bool ran = RunDialog(rig, ids::kDataWindow, ids::kEepromWindow, [&](HWND d) {
        ExpectTableLayout(d, ids::kEepromWindow);
        const std::string text = Text(d, ids::kListing);
        EXPECT_EQ(text.size(), 512u * 11u);
        EXPECT_EQ(text.substr(0, 11), "0000: FF \r\n");
        EXPECT_EQ(text.substr(511 * 11), "01FF: A7 \r\n");
        HWND listing = GetDlgItem(d, ids::kListing);
        EXPECT_EQ(SendMessageA(listing, EM_GETMODIFY, 0, 0), 0);
        // The caret at the start, nothing selected: a key typed replaces nothing.
        DWORD start = 1, end = 1;
        SendMessageA(listing, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                     reinterpret_cast<LPARAM>(&end));
        EXPECT_EQ(start, 0u);
        EXPECT_EQ(end, 0u);
        // A fixed-width font: the columns line up.
        HDC dc = GetDC(listing);
        HGDIOBJ old =
            SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(listing, WM_GETFONT, 0, 0)));
        TEXTMETRICA metrics = {};
        GetTextMetricsA(dc, &metrics);
        SIZE digits = {}, blanks = {};
        GetTextExtentPoint32A(dc, "0123456789ABCDEF", 16, &digits);
        GetTextExtentPoint32A(dc, "::::::::        ", 16, &blanks);
        SelectObject(dc, old);
        ReleaseDC(listing, dc);
        EXPECT_EQ(digits.cx, blanks.cx);
        // No close box; Escape does nothing here.
        EXPECT_EQ(GetWindowLongA(d, GWL_STYLE) & WS_SYSMENU, 0);
        rig.KeyIn(d, VK_ESCAPE);
        EXPECT_TRUE(IsWindowVisible(d));
        rig.ClickIn(d, ids::kEepromExit);
    });
    EXPECT_TRUE(ran);
    EXPECT_TRUE(rig.windows().messages.empty()) << rig.LastMessage();
}

TEST(EepromWindow, OnlyTheValueDigitsCanBeEditedAndOneChangedLineIsWritten) {
    GuiRig rig;
    ASSERT_TRUE(rig.Start());
    rig.ChooseSimulator("ATmega8");
    rig.chip().SetEeprom(5, 0x11);
    rig.chip().SetEeprom(7, 0x22);
    bool ran = RunDialog(rig, ids::kDataWindow, ids::kEepromWindow, [&](HWND d) {
        EXPECT_EQ(Line(d, 5), "0005: 11 ");
        // The two digits of line 5, typed over in small letters.
        Select(d, ids::kListing, 5 * 11 + 6, 2);
        Type(d, ids::kListing, "3c");
        EXPECT_EQ(Line(d, 5), "0005: 3C ");
        HWND listing = GetDlgItem(d, ids::kListing);
        EXPECT_NE(SendMessageA(listing, EM_GETMODIFY, 0, 0), 0);

        // Typing into an address puts the listing back, keeping the accepted digits.
        Select(d, ids::kListing, 7 * 11 + 1, 0);
        Type(d, ids::kListing, "9");
        EXPECT_EQ(Line(d, 7), "0007: 22 ");
        EXPECT_EQ(Line(d, 5), "0005: 3C ");
        EXPECT_EQ(SendMessageA(listing, EM_GETMODIFY, 0, 0), 0);

        rig.chip().RecordInstructions(true);
        rig.ClickIn(d, ids::kWriteData);
        int writes = 0;
        for (const auto& instruction : rig.chip().instructions()) {
            if (instruction[0] == 0xC0) {
                ++writes;
                EXPECT_EQ(instruction[2], 5);
                EXPECT_EQ(instruction[3], 0x3C);
            }
        }
        EXPECT_EQ(writes, 1);
        rig.ClickIn(d, ids::kEepromExit);
    });
    EXPECT_TRUE(ran);
    EXPECT_EQ(rig.chip().Eeprom(5), 0x3C);
    EXPECT_EQ(rig.chip().Eeprom(7), 0x22);
    EXPECT_EQ(rig.chip().Eeprom(6), 0xFF);
    EXPECT_TRUE(rig.windows().messages.empty()) << rig.LastMessage();
}

// --- help, the wiring picture, the cable test ---------------------------------------

TEST(Help, TheHelpPageIsOpenedThroughTheShellOrIsSaidToBeMissing) {
    struct Case {
        bool page;
        bool fromDialog;
    };
    for (Case c : {Case{false, false}, Case{true, false}, Case{true, true}}) {
        SCOPED_TRACE(std::string(c.page ? "page" : "no page") + (c.fromDialog ? ", dialog" : ""));
        GuiRig rig;
        if (c.page)
            rig.dir.Write("ostrel-hlp.htm", ReadFileBytes(SourcePath("resources/ostrel-hlp.htm")));
        ASSERT_TRUE(rig.Start());
        std::vector<std::string> opened;
        rig.windows().automation.openDocument = [&](const std::string& page) {
            opened.push_back(page);
            return true;
        };
        if (c.fromDialog) {
            rig.ChooseSimulator("ATmega8");
            rig.windows().messages.clear();
            bool ran = RunDialog(rig, ids::kFuseBits, ids::kInstructionsDialog, [&](HWND d) {
                rig.ClickIn(d, ids::kInstrHelp);
                rig.ClickIn(d, ids::kDone);
            });
            EXPECT_TRUE(ran);
        } else {
            rig.Choose(ids::kHelpTopics);
        }
        if (c.page) {
            EXPECT_EQ(opened, std::vector<std::string>{rig.dir.File("ostrel-hlp.htm")});
            EXPECT_TRUE(rig.windows().messages.empty()) << rig.LastMessage();
        } else {
            EXPECT_TRUE(opened.empty());
            EXPECT_EQ(rig.Messages(), std::vector<std::string>{"Error: ostrel-hlp.htm not found!"});
            EXPECT_EQ(rig.windows().messages[0].owner, ids::kNoOwner);
        }
    }
}

TEST(WiringPicture, ShowsThePictureAtItsPlaceAndClosesWithEnterOrEscape) {
    for (unsigned key : {VK_ESCAPE, VK_RETURN}) {
        GuiRig rig;
        ASSERT_TRUE(rig.Start());
        bool ran = RunDialog(rig, ids::kWiringPicture, ids::kWiringDialog, [&](HWND d) {
            ExpectTableLayout(d, ids::kWiringDialog);
            HWND picture = GetDlgItem(d, win32::kWiringPictureControl);
            ASSERT_NE(picture, nullptr);
            const ui::PicturePlace place = ui::WiringPicturePlace();
            RECT wanted = {place.x, place.y, place.width, place.height};
            MapDialogRect(d, &wanted);
            RECT r;
            GetWindowRect(picture, &r);
            MapWindowPoints(nullptr, d, reinterpret_cast<POINT*>(&r), 2);
            EXPECT_EQ(r.left, wanted.left);
            EXPECT_EQ(r.top, wanted.top);
            // The bitmap made from the drawing is in the program.
            HANDLE bitmap = LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(2), IMAGE_BITMAP,
                                       0, 0, LR_CREATEDIBSECTION);
            ASSERT_NE(bitmap, nullptr);
            BITMAP size = {};
            GetObjectA(bitmap, sizeof size, &size);
            EXPECT_EQ(size.bmWidth, 1024);
            EXPECT_EQ(size.bmHeight, 560);
            DeleteObject(bitmap);
            rig.KeyIn(d, key);
        });
        EXPECT_TRUE(ran);
        EXPECT_FALSE(rig.program().ended());
    }
}

TEST(CableTestWindow, ListsTheStatesNamesTheCableAndCanBeStopped) {
    struct Case {
        bool stop;
        std::vector<std::string> rowStarts;
        std::string verdictStart;
    };
    const Case cases[] = {
        {false,
         {"start", "RESET high", "RESET low", "SCK high", "SCK low", "MOSI high", "MOSI low",
          "end"},
         "Cablet2:"},
        // Stopped while the start state is held: it still ends with the release.
        {true, {"start", "end"}, "Stopped before the loop-backs were driven"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stop ? "stopped" : "to its end");
        GuiRig rig;
        ASSERT_TRUE(rig.Start());
        rig.ChooseSimulator("ATmega8");
        // At the first message processing inside the test.
        bool refused = false;
        bool open = false;
        rig.win32Windows().Later([&] {
            HWND box = rig.win32Windows().Window(ids::kCableTest);
            open = box != nullptr && IsWindowVisible(box);
            refused = !rig.program().session().Command(ids::kCheck);
            if (c.stop && box != nullptr)
                rig.ClickIn(box, win32::kCableTestButton);
        });
        std::vector<std::string> rows;
        std::string verdict;
        rig.windows().automation.dialogScript = [&](int dialog, win32::WindowHandle box) {
            EXPECT_EQ(dialog, ids::kCableTest);
            EXPECT_EQ(Caption(box), "Cable Test");
            HWND list = GetDlgItem(box, win32::kCableTestList);
            const LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
            for (LRESULT i = 0; i < count; ++i) {
                char row[256] = {};
                if (SendMessageA(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0) < 255)
                    SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(i),
                                 reinterpret_cast<LPARAM>(row));
                rows.push_back(row);
            }
            verdict = Text(box, win32::kCableTestVerdict);
            EXPECT_EQ(Text(box, win32::kCableTestButton), "Close");
            rig.ClickIn(box, win32::kCableTestButton);
        };
        rig.Choose(ids::kCableTest);
        rig.windows().automation.dialogScript = nullptr;

        EXPECT_TRUE(open) << "the window shows while the test runs";
        EXPECT_TRUE(refused) << "no other command while the test runs";
        EXPECT_EQ(rig.windows().dialogsLeftOpen, 0);
        ASSERT_EQ(rows.size(), c.rowStarts.size());
        for (size_t i = 0; i < rows.size(); ++i)
            EXPECT_EQ(rows[i].rfind(c.rowStarts[i], 0), 0u) << rows[i];
        EXPECT_EQ(verdict.rfind(c.verdictStart, 0), 0u) << verdict;
        EXPECT_TRUE(rig.chip().Running()) << "the target is released at the end";
        EXPECT_FALSE(rig.p().commandRunning);
        EXPECT_TRUE(IsWindowEnabled(rig.window().handle()));
        EXPECT_TRUE(rig.program().session().Command(ids::kCheck))
            << "commands run again afterwards";
    }
}

// --- the window system's hooks for what drives the windows ---------------------

// Each dialog is told of once, from inside its loop while it shows, and one
// the script leaves open is ended (RunningDialog::ended then says so).
TEST(WindowSystemHooks, EachDialogIsToldOfWhileItShowsAndOneLeftOpenIsEnded) {
    struct Case {
        int command;
        int dialog;
    };
    const Case cases[] = {
        {ids::kFuseBits, ids::kInstructionsDialog}, {ids::kDataWindow, ids::kEepromWindow},
        {ids::kFuses, ids::kFusesWindow},           {ids::kWiringPicture, ids::kWiringDialog},
        {ids::kCableTest, ids::kCableTest},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        GuiRig rig;
        ASSERT_TRUE(rig.Start());
        rig.ChooseSimulator("ATmega8");
        const auto scripted = rig.win32Windows().onDialogRunning;
        std::vector<int> told;
        bool shownOpen = false;
        bool endedAfter = false;
        rig.win32Windows().onDialogRunning = [&](const win32::RunningDialog& running) {
            told.push_back(running.dialog);
            shownOpen = !running.ended() && IsWindowVisible(running.handle) &&
                        running.handle == rig.win32Windows().Window(running.dialog) &&
                        rig.win32Windows().openDialogs() == 1;
            scripted(running);  // without a script: it ends the dialog
            endedAfter = running.ended();
        };
        rig.Choose(c.command);
        EXPECT_EQ(told, std::vector<int>{c.dialog});
        EXPECT_TRUE(shownOpen);
        EXPECT_TRUE(endedAfter);
        EXPECT_EQ(rig.windows().dialogsLeftOpen, 1);
        EXPECT_EQ(rig.win32Windows().openDialogs(), 0);
        EXPECT_TRUE(IsWindowEnabled(rig.window().handle()));
    }
}

}  // namespace
}  // namespace ostrel::testing
