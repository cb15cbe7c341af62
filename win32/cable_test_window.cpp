#include "win32/cable_test_window.h"

#include <windows.h>
// The program's WindowSystem::MessageBox, not the system's macro for MessageBoxA.
#undef MessageBox

#include <algorithm>
#include <memory>
#include <stdexcept>

#include "core/ids.h"
#include "ui/cable_test.h"
#include "win32/dialog_template.h"
#include "win32/text.h"
#include "win32/window_system.h"

namespace ostrel::win32 {

namespace {

// The window in dialog units of the main window's font; the list is widened
// to its widest reading once the window exists (Fit).
constexpr int kWidth = 240;
constexpr int kMargin = 7;
constexpr int kIntroHeight = 32;
constexpr int kListTop = kMargin + kIntroHeight + 4;
constexpr int kListHeight = 100;
constexpr int kVerdictTop = kListTop + kListHeight + 4;
constexpr int kVerdictHeight = 18;
constexpr int kButtonTop = kVerdictTop + kVerdictHeight + 4;
constexpr int kButtonWidth = 50;
constexpr int kButtonHeight = 14;
constexpr int kHeight = kButtonTop + kButtonHeight + kMargin;

std::vector<std::uint32_t> Template(const std::string& portName) {
    DialogTemplateWriter writer(ui::kCableTestTitle,
                                WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER, 0,
                                0, 0, kWidth, kHeight, DialogFont{"MS Shell Dlg", 8, true});
    const int inner = kWidth - 2 * kMargin;
    writer.Add(-1, kStaticClass, SS_LEFT | SS_NOPREFIX | WS_VISIBLE, 0, kMargin, kMargin, inner,
               kIntroHeight, ui::CableTestIntro(portName));
    writer.Add(kCableTestList, kListBoxClass,
               LBS_NOINTEGRALHEIGHT | LBS_NOSEL | WS_VSCROLL | WS_HSCROLL | WS_VISIBLE | WS_TABSTOP,
               WS_EX_CLIENTEDGE, kMargin, kListTop, inner, kListHeight, "");
    writer.Add(kCableTestVerdict, kStaticClass, SS_LEFT | SS_NOPREFIX | WS_VISIBLE, 0, kMargin,
               kVerdictTop, inner, kVerdictHeight, "");
    writer.Add(kCableTestButton, kButtonClass, BS_DEFPUSHBUTTON | WS_VISIBLE | WS_TABSTOP, 0,
               kWidth - kMargin - kButtonWidth, kButtonTop, kButtonWidth, kButtonHeight,
               ui::kCableTestStop);
    return writer.Finish();
}

void Move(HWND control, int dx, int dy, int dwidth) {
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    SetWindowPos(control, nullptr, r.left + dx, r.top + dy, r.right - r.left + dwidth,
                 r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

CableTestWindow::CableTestWindow(Win32WindowSystem& windows, WindowHandle owner,
                                 const std::string& portName)
    : windows_(windows), open_(windows), owner_(owner) {
    if (CreateModelessDialog(*this, Template(portName), owner) == nullptr)
        throw std::runtime_error("the cable test window cannot be created");
    windows_.AddWindow(ids::kCableTest, handle(), [this](int /*result*/) { Close(); });
    // Modal: the main window takes no input while the test window shows.
    if (owner_ != nullptr)
        EnableWindow(owner_, FALSE);
    ShowWindow(handle(), SW_SHOW);
    UpdateWindow(handle());
}

CableTestWindow::~CableTestWindow() {
    windows_.RemoveWindow(ids::kCableTest);
    if (owner_ != nullptr)
        EnableWindow(owner_, TRUE);
    DestroyWindow(handle());
}

void CableTestWindow::Fit() {
    HWND list = GetDlgItem(handle(), kCableTestList);
    SendMessageA(list, WM_SETFONT, reinterpret_cast<WPARAM>(windows_.ListingFont()), FALSE);
    // Room for the widest reading, and for the scroll bar.
    const std::wstring widest = WideText(adapter::FormatReading(ui::WidestCableReading()));
    HDC dc = GetDC(list);
    HGDIOBJ old = SelectObject(dc, windows_.ListingFont());
    SIZE size = {};
    GetTextExtentPoint32W(dc, widest.c_str(), static_cast<int>(widest.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(list, dc);
    RECT inside;
    GetClientRect(list, &inside);
    const int needed = size.cx + 2 * GetSystemMetrics(SM_CXEDGE) + 8;
    const int grow = std::max<int>(0, needed - inside.right);
    SendMessageA(list, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(size.cx + 8), 0);
    if (grow == 0)
        return;
    Move(list, 0, 0, grow);
    Move(GetDlgItem(handle(), kCableTestVerdict), 0, 0, grow);
    Move(GetDlgItem(handle(), kCableTestButton), grow, 0, 0);
    for (HWND child = GetWindow(handle(), GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        if (GetDlgCtrlID(child) == -1 || GetDlgCtrlID(child) == 0xFFFF)
            Move(child, 0, 0, grow);
    }
    RECT outside;
    GetWindowRect(handle(), &outside);
    SetWindowPos(handle(), nullptr, outside.left - grow / 2, outside.top,
                 outside.right - outside.left + grow, outside.bottom - outside.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void CableTestWindow::Show(const adapter::CableReading& reading) {
    HWND list = GetDlgItem(handle(), kCableTestList);
    const ui::CableTestFlow::Row row = flow_.Take(reading);
    if (row.replacesLast) {
        const LRESULT last = SendMessageA(list, LB_GETCOUNT, 0, 0) - 1;
        SendMessageA(list, LB_DELETESTRING, static_cast<WPARAM>(last), 0);
    }
    const LRESULT added =
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row.line.c_str()));
    SendMessageA(list, LB_SETTOPINDEX, static_cast<WPARAM>(std::max<LRESULT>(added, 0)), 0);
}

void CableTestWindow::Finish(const adapter::CableTestResult& result) {
    SetDlgItemTextA(handle(), kCableTestVerdict, flow_.Finish(result).c_str());
    SetDlgItemTextA(handle(), kCableTestButton, ui::kCableTestClose);
}

void CableTestWindow::Close() {
    if (closed_)
        return;
    closed_ = true;
    ShowWindow(handle(), SW_HIDE);
}

bool CableTestWindow::Idle() {
    windows_.ProcessPendingEvents();
    return !stopRequested();
}

void CableTestWindow::FinishAndWait(const adapter::CableTestResult& result) {
    Finish(result);
    auto alive = std::make_shared<bool>(true);
    windows_.TellDialogRunning(
        RunningDialog{ids::kCableTest, handle(), [this] { return closed(); }}, alive);
    WaitUntilClosed();
    *alive = false;
}

void CableTestWindow::WaitUntilClosed() {
    MSG message;
    while (!closed_) {
        BOOL got = GetMessageA(&message, nullptr, 0, 0);
        if (got == 0) {
            PostQuitMessage(static_cast<int>(message.wParam));  // for the program's loop
            Close();
            break;
        }
        if (got == -1)
            break;
        // The window's own keys (Tab, Enter, Escape) and everything else.
        if (!IsDialogMessageA(handle(), &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        windows_.RethrowPending();
    }
}

std::vector<std::string> CableTestWindow::Rows() const {
    std::vector<std::string> rows;
    HWND list = GetDlgItem(handle(), kCableTestList);
    const LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        const LRESULT length = SendMessageA(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
        std::string text(static_cast<std::size_t>(std::max<LRESULT>(length, 0)) + 1, '\0');
        const LRESULT got = SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(i),
                                         reinterpret_cast<LPARAM>(text.data()));
        text.resize(static_cast<std::size_t>(std::max<LRESULT>(got, 0)));
        rows.push_back(text);
    }
    return rows;
}

void CableTestWindow::Press() {
    // Stop while the test runs (the window stays until the target has been
    // released); Close once it is over.
    if (flow_.Press())
        Close();
}

bool CableTestWindow::Handle(unsigned message, std::uintptr_t wParam, std::intptr_t /*lParam*/,
                             std::intptr_t& result) {
    switch (message) {
        case WM_INITDIALOG:
            Fit();
            result = TRUE;
            return true;
        case WM_COMMAND:
            if (LOWORD(wParam) == kCableTestButton && HIWORD(wParam) == BN_CLICKED)
                Press();
            result = 0;
            return true;
        case WM_CLOSE:
            Press();
            result = 0;
            return true;
        default:
            return false;
    }
}

void CableTestWindow::Fail(std::exception_ptr error) {
    windows_.Keep(std::move(error));
}

}  // namespace ostrel::win32
