#include "win32/main_window.h"

#include <windows.h>
// The program's WindowSystem::MessageBox, not the system's macro for MessageBoxA.
#undef MessageBox

#include <commctrl.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "core/ids.h"
#include "sim/chip_clock.h"
#include "sim/chip_table.h"
#include "ui/activity_line.h"
#include "ui/busy.h"
#include "ui/control_table.h"
#include "ui/menu.h"
#include "win32/decoration.h"
#include "win32/dialog_template.h"
#include "win32/resource_ids.h"
#include "win32/text.h"

namespace ostrel::win32 {

namespace {

// The activity field's text must not run under its border: room left and right.
constexpr int kFieldSlack = 4;

HICON LoadProgramIcon(int sizeMetric) {
    const int size = GetSystemMetrics(sizeMetric);
    return static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(OSTREL_ICON),
                                         IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
}

int Append(HMENU menu, UINT flags, UINT_PTR id, const char* text) {
    const int position = GetMenuItemCount(menu);
    AppendMenuA(menu, flags, id, text);
    return position;
}

void EnableAt(const MainWindow::MenuPlace& place, bool enabled) {
    EnableMenuItem(place.menu, static_cast<UINT>(place.position),
                   MF_BYPOSITION | (enabled ? MF_ENABLED : MF_GRAYED));
}

void CheckAt(const MainWindow::MenuPlace& place, bool checked) {
    CheckMenuItem(place.menu, static_cast<UINT>(place.position),
                  MF_BYPOSITION | (checked ? MF_CHECKED : MF_UNCHECKED));
}

}  // namespace

MainWindow::MainWindow(Win32WindowSystem& windows, ui::SessionActions actions,
                       std::function<void()> endSession, ui::MenuMachine machine)
    : machine_(std::move(machine)),
      windows_(windows),
      command_(std::move(actions.command)),
      simulatorChip_(std::move(actions.simulatorChip)),
      simulatorClock_(std::move(actions.simulatorClock)),
      endSession_(std::move(endSession)) {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS |
                                                          ICC_BAR_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    if (CreateModelessDialog(*this, BuildDialogTemplate(ids::kMainWindow), nullptr) == nullptr)
        throw std::runtime_error("the main window cannot be created (error " +
                                 std::to_string(GetLastError()) + ")");
}

MainWindow::~MainWindow() {
    *alive_ = false;
    windows_.RemoveWindow(ids::kMainWindow);
    if (handle() != nullptr)
        DestroyWindow(handle());
    if (tips_ != nullptr)
        DestroyWindow(tips_);
    for (HICON icon : {bigIcon_, smallIcon_}) {
        if (icon != nullptr)
            DestroyIcon(icon);
    }
}

WindowHandle MainWindow::Control(int id) const {
    return handle() == nullptr ? nullptr : GetDlgItem(handle(), id);
}

void MainWindow::Show() {
    ShowWindow(handle(), SW_SHOW);
    UpdateWindow(handle());
    SetForegroundWindow(handle());
}

void MainWindow::End(int result) {
    ended_ = true;
    endResult_ = result;
    ShowWindow(handle(), SW_HIDE);
}

// --- building ------------------------------------------------------------------

bool MainWindow::Handle(unsigned message, std::uintptr_t wParam, std::intptr_t lParam,
                        std::intptr_t& result) {
    HWND window = handle();
    switch (message) {
        case WM_INITDIALOG: {
            windows_.AddWindow(ids::kMainWindow, window, [this](int end) { End(end); });
            for (int id : InitialChecks(ids::kMainWindow))
                CheckDlgButton(window, id, BST_CHECKED);
            bigIcon_ = LoadProgramIcon(SM_CXICON);
            smallIcon_ = LoadProgramIcon(SM_CXSMICON);
            SendMessageA(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_));
            SendMessageA(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));
            BuildMenu();
            FitToMenu();
            AddTips();
            if (HWND bar = Control(ids::kProgressBar))
                SendMessageA(bar, PBM_SETRANGE32, 0, 100);
            result = TRUE;
            return true;
        }
        case WM_COMMAND:
            OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
            result = 0;
            return true;
        case WM_CLOSE:
            // The close box sends command 2, which ends the window unless a
            // command runs (then it asks whether to stop it and quit).
            Trigger(ids::kCancelCommand, nullptr);
            result = 0;
            return true;
        case WM_SETCURSOR:
            // While busy, the window shows it, but for the Stop button.
            if (busy_ && LOWORD(lParam) == HTCLIENT &&
                reinterpret_cast<HWND>(wParam) != Control(ids::kStop)) {
                SetCursor(LoadCursor(nullptr, IDC_APPSTARTING));
                result = TRUE;
                return true;
            }
            return false;
        case WM_DRAWITEM:
            result = TRUE;
            return DrawDecoration(reinterpret_cast<const void*>(lParam));
        case WM_QUERYENDSESSION:
            result = TRUE;
            return true;
        case WM_ENDSESSION:
            // The session ends and the process with it: the settings are saved now.
            if (wParam != 0 && endSession_)
                endSession_();
            result = 0;
            return true;
        default:
            return false;
    }
}

void MainWindow::Fail(std::exception_ptr error) {
    windows_.Keep(std::move(error));
}

void MainWindow::AddEntry(MenuHandle menu, const ui::ShownMenuEntry& entry) {
    switch (entry.kind) {
        case ui::MenuKind::ClockItem: {
            clockMenu_ = menu;
            const int command = kFirstClockCommand + static_cast<int>(clockItems_.size());
            int position =
                Append(menu, MF_STRING, static_cast<UINT_PTR>(command), entry.text.c_str());
            clockItems_[entry.hz] = MenuPlace{menu, position, command};
            break;
        }
        case ui::MenuKind::ChipItem: {
            const int command = kFirstChipCommand + static_cast<int>(chipItems_.size());
            int position =
                Append(menu, MF_STRING, static_cast<UINT_PTR>(command), entry.text.c_str());
            chipItems_[entry.text] = MenuPlace{menu, position, command};
            break;
        }
        default: {
            int position =
                Append(menu, MF_STRING, static_cast<UINT_PTR>(entry.command), entry.text.c_str());
            menuItems_[entry.command] = MenuPlace{menu, position, entry.command};
            break;
        }
    }
}

void MainWindow::BuildMenu() {
    menu_ = CreateMenu();
    ui::WalkMenu(
        ui::ShownMainMenu(machine_), menu_,
        [this](HMENU menu, const ui::ShownMenuEntry& entry) {
            HMENU sub = CreatePopupMenu();
            int position = Append(menu, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(sub),
                                  entry.text.c_str());
            // A CheckMenu's entry carries a check mark of its own.
            if (entry.kind == ui::MenuKind::CheckMenu)
                menuItems_[entry.command] = MenuPlace{menu, position, entry.command};
            return sub;
        },
        [this](HMENU menu, const ui::ShownMenuEntry& entry) { AddEntry(menu, entry); },
        [](HMENU menu) { Append(menu, MF_SEPARATOR, 0, nullptr); });
    for (const auto& [command, place] : menuItems_)
        windows_.AddMenuItem(command, place.menu, place.position);
    SetMenu(handle(), menu_);
}

void MainWindow::FitToMenu() {
    // The table's size is the window's inside; the menu bar comes on top of it.
    HWND window = handle();
    const ui::WindowFrame frame = ui::FrameOf(ids::kMainWindow);
    RECT wanted = {0, 0, frame.width, frame.height};
    MapDialogRect(window, &wanted);
    RECT inside;
    GetClientRect(window, &inside);
    RECT outside;
    GetWindowRect(window, &outside);
    const int width = (outside.right - outside.left) + (wanted.right - inside.right);
    const int height = (outside.bottom - outside.top) + (wanted.bottom - inside.bottom);
    // Centred on the screen's work area, as the dialog was.
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoA(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& area = monitor.rcWork;
    const int x = std::max<LONG>(area.left, area.left + (area.right - area.left - width) / 2);
    const int y = std::max<LONG>(area.top, area.top + (area.bottom - area.top - height) / 2);
    SetWindowPos(window, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

// --- tooltips --------------------------------------------------------------------
// Each tip has two tools: the control itself, which has the mouse while it is
// enabled, and its place on the window, which has it while the control is
// disabled (a disabled control passes the mouse on to its window).

namespace {

TTTOOLINFOA ToolOf(HWND window, HWND control, bool byHandle) {
    TTTOOLINFOA tool = {};
    tool.cbSize = TTTOOLINFOA_V2_SIZE;
    tool.hwnd = window;
    if (byHandle) {
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.uId = reinterpret_cast<UINT_PTR>(control);
    } else {
        tool.uFlags = TTF_SUBCLASS;
        tool.uId = static_cast<UINT_PTR>(GetDlgCtrlID(control));
        GetWindowRect(control, &tool.rect);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&tool.rect), 2);
    }
    return tool;
}

}  // namespace

void MainWindow::AddTips() {
    HWND window = handle();
    tips_ = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr,
                            WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                            CW_USEDEFAULT, CW_USEDEFAULT, window, nullptr,
                            GetModuleHandleA(nullptr), nullptr);
    if (tips_ == nullptr)
        return;
    // Tips of several lines break at their line feeds.
    SendMessageA(tips_, TTM_SETMAXTIPWIDTH, 0, 640);
    for (int item : {ids::kActivity, ids::kPortDisplay}) {
        HWND control = Control(item);
        if (control == nullptr)
            continue;
        for (bool byHandle : {true, false}) {
            TTTOOLINFOA tool = ToolOf(window, control, byHandle);
            tool.lpszText = const_cast<char*>("");
            SendMessageA(tips_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
        }
    }
}

void MainWindow::SetTip(int item, const std::string& tip) {
    tipTexts_[item] = tip;
    HWND control = Control(item);
    if (tips_ == nullptr || control == nullptr)
        return;
    for (bool byHandle : {true, false}) {
        TTTOOLINFOA tool = ToolOf(handle(), control, byHandle);
        tool.lpszText = const_cast<char*>(tip.c_str());
        SendMessageA(tips_, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

std::string MainWindow::Tip(int item) const {
    HWND control = Control(item);
    if (tips_ == nullptr || control == nullptr)
        return {};
    // What the tooltip control holds, not what was asked for.
    char text[1024] = {};
    TTTOOLINFOA tool = ToolOf(handle(), control, true);
    tool.lpszText = text;
    SendMessageA(tips_, TTM_GETTEXTA, sizeof text, reinterpret_cast<LPARAM>(&tool));
    return text;
}

// --- the activity line -------------------------------------------------------------

namespace {

// The width room of an edit field for its text, and its text's width, in its font.
struct FieldMeasure {
    explicit FieldMeasure(HWND field) : field_(field), dc_(GetDC(field)) {
        font_ = SelectObject(dc_, reinterpret_cast<HGDIOBJ>(SendMessageA(field, WM_GETFONT, 0, 0)));
        RECT inside;
        GetClientRect(field, &inside);
        const DWORD margins = static_cast<DWORD>(SendMessageA(field, EM_GETMARGINS, 0, 0));
        room_ = std::max<int>(10, inside.right - LOWORD(margins) - HIWORD(margins) - kFieldSlack);
    }
    ~FieldMeasure() {
        SelectObject(dc_, font_);
        ReleaseDC(field_, dc_);
    }
    FieldMeasure(const FieldMeasure&) = delete;
    FieldMeasure& operator=(const FieldMeasure&) = delete;

    int Width(const std::wstring& text) const {
        SIZE size = {};
        GetTextExtentPoint32W(dc_, text.c_str(), static_cast<int>(text.size()), &size);
        return size.cx;
    }
    bool Fits(const std::wstring& text) const { return Width(text) <= room_; }

  private:
    HWND field_;
    HDC dc_;
    HGDIOBJ font_;
    int room_;
};

}  // namespace

bool MainWindow::Fits(int item, const std::string& text) const {
    HWND field = Control(item);
    return field != nullptr && FieldMeasure(field).Fits(WideText(text));
}

void MainWindow::ShowOnActivityLine(const std::vector<std::string>& lines, const std::string& tip) {
    HWND field = Control(ids::kActivity);
    if (field == nullptr || lines.empty())
        return;
    std::string shown;
    {
        const FieldMeasure measure(field);
        shown = ui::FitActivityLine(
            lines, [&](std::string_view text) { return measure.Fits(WideText(text)); });
    }
    windows_.SetItemText(ids::kMainWindow, ids::kActivity, shown);
    SetTip(ids::kActivity, tip);
}

void MainWindow::ShowProgress(std::optional<int> figure) {
    ShowFigure(Control(ids::kProgressBar), figure);
}

// --- the busy state ------------------------------------------------------------------

void MainWindow::SetBusy(bool busy) {
    const ui::BusyPlan plan = ui::PlanBusy(busy);
    HWND window = handle();
    busy_ = busy;
    if (busy) {
        HWND focus = GetFocus();
        focusBeforeBusy_ = focus != nullptr && IsChild(window, focus) ? focus : nullptr;
    }
    for (const ui::BusyControl& entry : plan.controls) {
        HWND control = Control(entry.id);
        if (control == nullptr)
            continue;
        if (entry.enabled)
            EnableWindow(control, *entry.enabled ? TRUE : FALSE);
        if (entry.shown)
            ShowWindow(control, *entry.shown ? SW_SHOWNA : SW_HIDE);
    }
    for (const auto& [command, place] : menuItems_)
        EnableAt(place, plan.MenuItemEnabled(command));
    for (const auto& [name, place] : chipItems_)
        EnableAt(place, plan.simulatorItemsEnabled);
    for (const auto& [hz, place] : clockItems_)
        EnableAt(place, plan.simulatorItemsEnabled);
    if (auto other = OtherClockItem())
        EnableAt(*other, plan.simulatorItemsEnabled);
    DrawMenuBar(window);
    if (HWND stop = Control(ids::kStop)) {
        SetWindowTextA(stop, plan.stopText);
        EnableWindow(stop, plan.stopEnabled ? TRUE : FALSE);
        // Enter, the space bar and Escape reach it at once.
        if (busy && IsWindowVisible(window))
            SendMessageA(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(stop), TRUE);
    }
    if (!busy && focusBeforeBusy_ != nullptr && IsWindowEnabled(focusBeforeBusy_) &&
        IsWindowVisible(focusBeforeBusy_))
        SendMessageA(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(focusBeforeBusy_), TRUE);
    ShowProgress(std::nullopt);
    // The cursor over the window changes now, not at the mouse's next move.
    POINT at;
    RECT area;
    if (GetCursorPos(&at) && GetWindowRect(window, &area) && PtInRect(&area, at))
        SetCursor(LoadCursor(nullptr, plan.busyCursor ? IDC_APPSTARTING : IDC_ARROW));
}

void MainWindow::ShowStopping() {
    if (HWND stop = Control(ids::kStop)) {
        SetWindowTextA(stop, ui::kStopping);
        EnableWindow(stop, FALSE);
    }
}

// --- commands ------------------------------------------------------------------------

void MainWindow::OnCommand(int id, int code, WindowHandle source) {
    if (source == nullptr) {
        // A menu item, or Enter and Escape as the dialog turns them into commands.
        if (id == IDCANCEL) {
            // Escape: the Stop button's key while a command runs, else as the close box.
            Trigger(busy_ ? ids::kStop : ids::kCancelCommand, nullptr);
        } else if (id == IDOK) {
            // Enter with no button focused: the window has no default command.
        } else if (id >= kFirstChipCommand && id < kFirstChipCommand + 0x400 &&
                   id < kFirstClockCommand) {
            for (const auto& [name, place] : chipItems_) {
                if (place.command == id)
                    simulatorChip_(name);
            }
        } else if (id >= kFirstClockCommand && id < kOtherClockCommand) {
            for (const auto& [hz, place] : clockItems_) {
                if (place.command == id)
                    simulatorClock_(hz);
            }
        } else if (id == kOtherClockCommand) {
            // A clock chosen elsewhere: choosing it keeps it.
        } else {
            Trigger(id, nullptr);
        }
        return;
    }
    if (code == BN_CLICKED)
        Trigger(id, source);
}

void MainWindow::Trigger(int command, WindowHandle source) {
    const bool taken = command_(command);
    if (source != nullptr && (GetWindowLongA(source, GWL_STYLE) & BS_TYPEMASK) == BS_AUTOCHECKBOX) {
        const bool checked = SendMessageA(source, BM_GETCHECK, 0, 0) == BST_CHECKED;
        if (std::optional<bool> state = ui::CheckBoxAfterCommand(taken, checked))
            SendMessageA(source, BM_SETCHECK, *state ? BST_CHECKED : BST_UNCHECKED, 0);
    }
}

// --- the simulator's items -----------------------------------------------------------

std::optional<MainWindow::MenuPlace> MainWindow::MenuItem(int command) const {
    auto it = menuItems_.find(command);
    if (it == menuItems_.end())
        return std::nullopt;
    return it->second;
}

std::optional<MainWindow::MenuPlace> MainWindow::SimulatorChipItem(const std::string& chip) const {
    auto it = chipItems_.find(chip);
    if (it == chipItems_.end())
        return std::nullopt;
    return it->second;
}

std::optional<MainWindow::MenuPlace> MainWindow::SimulatorClockItem(uint32_t hz) const {
    auto it = clockItems_.find(hz);
    if (it == clockItems_.end())
        return std::nullopt;
    return it->second;
}

std::optional<MainWindow::MenuPlace> MainWindow::OtherClockItem() const {
    if (!otherClockShown_)
        return std::nullopt;
    return MenuPlace{clockMenu_, GetMenuItemCount(clockMenu_) - 1, kOtherClockCommand};
}

void MainWindow::ShowSimulatorChip(const std::string& chip) {
    for (const auto& [name, place] : chipItems_)
        CheckAt(place, name == chip);
}

void MainWindow::ShowSimulatorClock(uint32_t hz, uint32_t factoryHz) {
    if (auto factory = SimulatorClockItem(0)) {
        const std::string text = ui::FactoryClockText(factoryHz);
        ModifyMenuA(factory->menu, static_cast<UINT>(factory->position), MF_BYPOSITION | MF_STRING,
                    static_cast<UINT_PTR>(factory->command), text.c_str());
    }
    for (const auto& [itemHz, place] : clockItems_)
        CheckAt(place, itemHz == hz);
    const bool other = !clockItems_.contains(hz);
    if (other) {
        const std::string text = sim::ClockText(hz);
        if (!otherClockShown_) {
            AppendMenuA(clockMenu_, MF_STRING, kOtherClockCommand, text.c_str());
            otherClockShown_ = true;
        } else {
            ModifyMenuA(clockMenu_, kOtherClockCommand, MF_BYCOMMAND | MF_STRING,
                        kOtherClockCommand, text.c_str());
        }
        CheckAt(*OtherClockItem(), true);
    } else if (otherClockShown_) {
        DeleteMenu(clockMenu_, kOtherClockCommand, MF_BYCOMMAND);
        otherClockShown_ = false;
    }
}

}  // namespace ostrel::win32
