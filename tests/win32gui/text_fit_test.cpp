// Every text of every native window fits its control at the system's dialog
// font: each control of the tables, with every text the program gives it,
// measured with the font the control uses (WM_GETFONT) against its client
// rectangle less what the control draws around its text, and each window's
// title against its caption bar. Widths are compared (a text too wide is cut
// off or wraps out of sight); heights only for labels over several lines.
#include <windows.h>

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "core/ids.h"
#include "tests/support/shown_texts.h"
#include "tests/win32gui/gui_rig.h"
#include "ui/cable_test.h"
#include "win32/cable_test_window.h"
#include "win32/text.h"

namespace ostrel::testing {
namespace {

using K = ui::ControlKind;

struct Shown {
    HWND control;
    K kind;
    std::vector<std::string> texts;
    std::string name;  // as the report names it
};

std::string NameOf(const ui::ControlEntry& e) {
    return e.id != 0 ? "control " + std::to_string(e.id) : "the unnumbered control";
}

std::string TextOf(HWND window) {
    char text[512] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

// The control of a table entry: by number, or a label or frame (number -1)
// by its class and text.
HWND ControlOf(HWND window, const ui::ControlEntry& e) {
    if (e.id != 0)
        return GetDlgItem(window, e.id);
    for (HWND child = GetWindow(window, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        char name[32] = {};
        GetClassNameA(child, name, sizeof name);
        const bool frame = (GetWindowLongA(child, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX;
        const bool wanted = e.kind == K::GroupBox ? lstrcmpiA(name, "Button") == 0 && frame
                                                  : lstrcmpiA(name, "Static") == 0;
        if (wanted && TextOf(child) == e.text)
            return child;
    }
    return nullptr;
}

std::vector<Shown> TableControls(HWND window, int id) {
    std::vector<Shown> shown;
    for (const ui::ControlEntry& e : ui::ControlsOf(id)) {
        std::vector<std::string> texts = ShownTexts(id, e);
        if (texts.empty())
            continue;
        HWND control = ControlOf(window, e);
        EXPECT_NE(control, nullptr) << e.text << " " << e.id;
        if (control != nullptr)
            shown.push_back({control, e.kind, texts, NameOf(e)});
    }
    return shown;
}

// The size of a text in a font, as DrawTextW lays it out (`flags` beside
// DT_CALCRECT); `width` bounds a text that wraps.
SIZE Extent(HWND control, HFONT font, const std::string& text, UINT flags, int width = 0) {
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, font);
    const std::wstring wide = win32::WideText(text);
    RECT r = {0, 0, width, 0};
    DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &r, flags | DT_CALCRECT);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return {r.right - r.left, r.bottom - r.top};
}

HFONT FontOf(HWND control) {
    return reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
}

// What a control draws beside its text, in pixels across: a push button its
// edge (SM_CXEDGE) and the focus rectangle inside it (SM_CXFOCUSBORDER) on
// each side, a default button its outline too; a check box its box
// (SM_CXMENUCHECK), the gap the control leaves after it (half the width of a
// digit) and the focus rectangle after the text; a group box's caption starts
// 7 pixels in from either side and is cleared a pixel beyond the text.
int Allowance(HWND control, K kind) {
    const int edge = GetSystemMetrics(SM_CXEDGE);
    const int focus = GetSystemMetrics(SM_CXFOCUSBORDER);
    switch (kind) {
        case K::PushButton:
            return 2 * (edge + focus);
        case K::DefaultButton:
            return 2 * (edge + focus + GetSystemMetrics(SM_CXBORDER));
        case K::CheckBox: {
            HDC dc = GetDC(control);
            HGDIOBJ old = SelectObject(dc, FontOf(control));
            INT digit = 0;
            GetCharWidth32W(dc, L'0', L'0', &digit);
            SelectObject(dc, old);
            ReleaseDC(control, dc);
            return GetSystemMetrics(SM_CXMENUCHECK) + digit / 2 + focus;
        }
        case K::GroupBox:
            return 2 * 7 + 2;
        default:
            return 0;
    }
}

// The room of the title: the caption bar between the window's borders, less
// the small icon where the window shows one, the close box with the system
// menu and the minimise and maximise boxes (both drawn if either is asked
// for), and the two pixels the text starts in.
int TitleRoom(HWND window) {
    RECT outside, inside;
    GetWindowRect(window, &outside);
    GetClientRect(window, &inside);
    const LONG style = GetWindowLongA(window, GWL_STYLE);
    int room = inside.right - inside.left;
    if ((style & WS_SYSMENU) != 0) {
        if (SendMessageW(window, WM_GETICON, ICON_SMALL2, 0) != 0)
            room -= GetSystemMetrics(SM_CXSMICON) + 2;
        room -= GetSystemMetrics(SM_CXSIZE);
        if ((style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX)) != 0)
            room -= 2 * GetSystemMetrics(SM_CXSIZE);
    }
    return room - 2;
}

void Measure(HWND window, const std::vector<Shown>& controls, std::vector<std::string>& misfits) {
    const std::string name = TextOf(window);
    auto check = [&](const std::string& what, int needs, int has, const char* unit = "wide") {
        if (needs > has)
            misfits.push_back(name + ": " + what + " needs " + std::to_string(needs) + " px " +
                              unit + ", has " + std::to_string(has));
    };
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    HFONT caption = CreateFontIndirectW(&metrics.lfCaptionFont);
    check("the title", Extent(window, caption, name, DT_SINGLELINE | DT_NOPREFIX).cx,
          TitleRoom(window));
    DeleteObject(caption);
    for (const Shown& c : controls) {
        RECT inside;
        GetClientRect(c.control, &inside);
        if (c.kind == K::Edit || c.kind == K::BorderlessEdit)
            SendMessageW(c.control, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&inside));
        for (const std::string& t : c.texts) {
            const std::string what = c.name + " \"" + t + "\"";
            if (c.kind == K::WrappedLabel) {
                check(what,
                      Extent(c.control, FontOf(c.control), t, DT_WORDBREAK | DT_NOPREFIX,
                             inside.right - inside.left)
                          .cy,
                      inside.bottom - inside.top, "high");
            } else {
                const UINT flags = DT_SINGLELINE | (c.kind == K::Label ? DT_NOPREFIX : 0);
                check(what,
                      Extent(c.control, FontOf(c.control), t, flags).cx +
                          Allowance(c.control, c.kind),
                      inside.right - inside.left);
            }
        }
    }
}

// The windows made from the tables, each opened by its command and closed by
// its own button (0: Escape).
struct TableWindow {
    int window;
    int command;
    int close;
};

TEST(TextFit, EveryTextFitsItsControlAndEveryTitleItsCaption) {
    const TableWindow dialogs[] = {
        {ids::kInstructionsDialog, ids::kFuseBits, ids::kDone},
        {ids::kEepromWindow, ids::kDataWindow, ids::kEepromExit},
        {ids::kFusesWindow, ids::kFuses, ids::kFuseClose},
        {ids::kWiringDialog, ids::kWiringPicture, 0},
    };
    GuiRig rig;
    ASSERT_TRUE(rig.Start());
    rig.ChooseSimulator("ATmega8");
    std::vector<std::string> misfits;
    std::vector<int> measured = {ids::kMainWindow};
    HWND main = rig.window().handle();
    Measure(main, TableControls(main, ids::kMainWindow), misfits);
    for (const TableWindow& w : dialogs) {
        rig.windows().automation.dialogScript = [&](int dialog, win32::WindowHandle d) {
            Measure(d, TableControls(d, dialog), misfits);
            measured.push_back(dialog);
            if (w.close != 0) {
                rig.ClickIn(d, w.close);
            } else {
                rig.KeyIn(d, VK_ESCAPE);
            }
        };
        rig.Choose(w.command);
    }
    // The cable test window is made here, not from a table: its labels and
    // its button with both of its texts.
    rig.windows().automation.dialogScript = [&](int, win32::WindowHandle d) {
        HWND intro = FindWindowExA(d, nullptr, "Static", nullptr);
        HWND verdict = GetDlgItem(d, win32::kCableTestVerdict);
        Measure(d,
                {{intro, K::WrappedLabel, {TextOf(intro)}, "its intro"},
                 {verdict, K::WrappedLabel, {TextOf(verdict)}, "its verdict"},
                 {GetDlgItem(d, win32::kCableTestButton),
                  K::DefaultButton,
                  {ui::kCableTestStop, ui::kCableTestClose},
                  "its button"}},
                misfits);
        measured.push_back(ids::kCableTest);
        rig.ClickIn(d, win32::kCableTestButton);
    };
    rig.Choose(ids::kCableTest);
    rig.windows().automation.dialogScript = nullptr;

    std::vector<int> expected(std::begin(kTableWindows), std::end(kTableWindows));
    expected.push_back(ids::kCableTest);
    EXPECT_EQ(measured, expected);
    EXPECT_EQ(rig.windows().dialogsLeftOpen, 0);
    std::string report;
    for (const std::string& m : misfits)
        report += m + "\n";
    EXPECT_TRUE(misfits.empty()) << report;
}

}  // namespace
}  // namespace ostrel::testing
