#include "win32/window_system.h"

#include <windows.h>
// The program's WindowSystem::MessageBox, not the system's macro for MessageBoxA.
#undef MessageBox

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>

#include <algorithm>
#include <memory>

#include "core/ids.h"
#include "platform/model_window_system.h"
#include "win32/dialog_template.h"
#include "win32/modal_dialog.h"

namespace ostrel::win32 {

std::string WindowText(HWND window) {
    int length = GetWindowTextLengthA(window);
    if (length <= 0)
        return {};
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    int got = GetWindowTextA(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(std::max(got, 0)));
    return text;
}

bool IsClass(HWND window, const char* name) {
    char type[64] = {};
    GetClassNameA(window, type, sizeof type);
    return lstrcmpiA(type, name) == 0;
}

namespace {

constexpr const char* kHelperClass = "OstrelLater";
constexpr UINT kRunLater = WM_APP + 1;
UINT IconFlag(MessageKind kind) {
    switch (kind) {
        case MessageKind::Error:
            return MB_ICONERROR;
        case MessageKind::Warning:
            return MB_ICONWARNING;
        case MessageKind::Question:
            return MB_ICONQUESTION;
        case MessageKind::Information:
            break;
    }
    return MB_ICONINFORMATION;
}

// The file-open dialog's filters, ours and then any file: each name and its patterns ended by a
// zero, and one more zero at the end.
std::string FilterOf(std::string_view name, std::string_view patterns) {
    std::string filter(name);
    filter.push_back('\0');
    filter.append(patterns);
    filter.push_back('\0');
    filter.append(kAllFilesFilter);
    filter.append(" (*.*)");
    filter.push_back('\0');
    filter.append("*.*");
    filter.push_back('\0');
    filter.push_back('\0');
    return filter;
}

}  // namespace

// --- the helper window: actions run from the thread's message loop ----------------

class Win32WindowSystem::Helper {
  public:
    explicit Helper(Win32WindowSystem& windows) {
        WNDCLASSA type = {};
        type.lpfnWndProc = Procedure;
        type.hInstance = GetModuleHandleA(nullptr);
        type.lpszClassName = kHelperClass;
        RegisterClassA(&type);  // fails harmlessly when the class is there already
        handle_ = CreateWindowExA(0, kHelperClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
        SetWindowLongPtrA(handle_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&windows));
    }
    ~Helper() { DestroyWindow(handle_); }
    Helper(const Helper&) = delete;
    Helper& operator=(const Helper&) = delete;

    void Post() { PostMessageA(handle_, kRunLater, 0, 0); }

  private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == kRunLater) {
            auto* windows =
                reinterpret_cast<Win32WindowSystem*>(GetWindowLongPtrA(window, GWLP_USERDATA));
            if (windows != nullptr) {
                try {
                    windows->RunLaterActions();
                } catch (...) {
                    windows->Keep(std::current_exception());
                }
            }
            return 0;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    }

    HWND handle_ = nullptr;
};

Win32WindowSystem::Win32WindowSystem() : helper_(std::make_unique<Helper>(*this)) {}

Win32WindowSystem::~Win32WindowSystem() {
    if (listingFont_ != nullptr)
        DeleteObject(listingFont_);
}

void Win32WindowSystem::Later(std::function<void()> action) {
    later_.push_back(std::move(action));
    helper_->Post();
}

void Win32WindowSystem::RunLaterActions() {
    if (later_.empty())
        return;
    std::function<void()> action = std::move(later_.front());
    later_.pop_front();
    action();
}

// --- the windows it serves -----------------------------------------------------

void Win32WindowSystem::AddWindow(int window, WindowHandle handle,
                                  std::function<void(int result)> onEnd) {
    windows_[window] = WindowEntry{handle};
    ends_.Set(window, std::move(onEnd));
}

void Win32WindowSystem::RemoveWindow(int window) {
    windows_.erase(window);
    ends_.Remove(window);
}

WindowHandle Win32WindowSystem::Window(int window) const {
    auto it = windows_.find(window);
    return it == windows_.end() ? nullptr : it->second.handle;
}

WindowHandle Win32WindowSystem::Item(int window, int item) const {
    HWND dialog = Window(window);
    return dialog == nullptr ? nullptr : GetDlgItem(dialog, item);
}

void Win32WindowSystem::AddMenuItem(int command, MenuHandle menu, int position) {
    menuItems_[command] = MenuPlace{menu, position};
}

HFONT__* Win32WindowSystem::ListingFont() {
    if (listingFont_ == nullptr) {
        // A fixed-width face, so that the listing's columns line up, at the
        // height of the dialogs' own font.
        NONCLIENTMETRICSA metrics = {};
        metrics.cbSize = sizeof metrics;
        LONG height = -11;
        if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
            height = metrics.lfMessageFont.lfHeight;
        listingFont_ = CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                   OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                   FIXED_PITCH | FF_MODERN, "Courier New");
    }
    return listingFont_;
}

WindowHandle Win32WindowSystem::DeviceList() const {
    return Item(ids::kMainWindow, ids::kDeviceList);
}

// --- controls ------------------------------------------------------------------

void Win32WindowSystem::SetItemText(int window, int item, std::string_view text) {
    HWND control = Item(window, item);
    if (control == nullptr)
        return;
    const std::string value(text);
    ++settingText_;
    if (IsClass(control, WC_COMBOBOXA)) {
        LRESULT index = SendMessageA(control, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                     reinterpret_cast<LPARAM>(value.c_str()));
        SendMessageA(control, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    } else {
        SetDlgItemTextA(Window(window), item, value.c_str());
    }
    --settingText_;
    for (const auto& observe : textObservers)
        observe(window, item, value);
}

std::string Win32WindowSystem::ItemText(int window, int item) {
    HWND control = Item(window, item);
    return control == nullptr ? std::string() : WindowText(control);
}

void Win32WindowSystem::EnableItem(int window, int item, bool enabled) {
    if (HWND control = Item(window, item))
        EnableWindow(control, enabled ? TRUE : FALSE);
}

void Win32WindowSystem::CheckItem(int window, int item, bool checked) {
    HWND dialog = Window(window);
    if (dialog != nullptr && GetDlgItem(dialog, item) != nullptr)
        CheckDlgButton(dialog, item, checked ? BST_CHECKED : BST_UNCHECKED);
}

bool Win32WindowSystem::IsItemChecked(int window, int item) {
    HWND dialog = Window(window);
    return dialog != nullptr && IsDlgButtonChecked(dialog, item) == BST_CHECKED;
}

void Win32WindowSystem::ShowItem(int window, int item, bool shown) {
    if (HWND control = Item(window, item))
        ShowWindow(control, shown ? SW_SHOW : SW_HIDE);
}

void Win32WindowSystem::SetChoices(int window, int item, const std::vector<std::string>& choices) {
    HWND control = Item(window, item);
    if (control == nullptr || control == DeviceList() || !IsClass(control, WC_COMBOBOXA))
        return;
    ++settingText_;
    SendMessageA(control, CB_RESETCONTENT, 0, 0);
    for (const std::string& choice : choices)
        SendMessageA(control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(choice.c_str()));
    SendMessageA(control, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    --settingText_;
}

void Win32WindowSystem::CheckMenuItem(int command, bool checked) {
    auto it = menuItems_.find(command);
    if (it == menuItems_.end())
        return;
    ::CheckMenuItem(it->second.menu, static_cast<UINT>(it->second.position),
                    MF_BYPOSITION | (checked ? MF_CHECKED : MF_UNCHECKED));
}

void Win32WindowSystem::Repaint(int window) {
    if (HWND handle = Window(window))
        RedrawWindow(handle, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void ShowFigure(WindowHandle bar, std::optional<int> percent) {
    if (bar == nullptr)
        return;
    const LONG style = GetWindowLongA(bar, GWL_STYLE);
    if (percent) {
        if ((style & PBS_MARQUEE) != 0) {
            SendMessageA(bar, PBM_SETMARQUEE, FALSE, 0);
            SetWindowLongA(bar, GWL_STYLE, style & ~PBS_MARQUEE);
        }
        SendMessageA(bar, PBM_SETRANGE32, 0, 100);
        SendMessageA(bar, PBM_SETPOS, static_cast<WPARAM>(*percent), 0);
    } else {
        // Busy without a figure: the bar shows that something runs.
        if ((style & PBS_MARQUEE) == 0)
            SetWindowLongA(bar, GWL_STYLE, style | PBS_MARQUEE);
        SendMessageA(bar, PBM_SETMARQUEE, TRUE, 30);
    }
}

void Win32WindowSystem::ShowProgress(const std::optional<Progress>& progress) {
    ShowFigure(Item(ids::kMainWindow, ids::kProgressBar),
               progress ? std::optional<int>(progress->Percent()) : std::nullopt);
}

void Win32WindowSystem::ProcessPendingEvents() {
    // Every message that is waiting, and none more: peek, then take it.
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE)) {
        BOOL got = GetMessageA(&message, nullptr, 0, 0);
        if (got == -1)
            break;
        if (got == 0) {
            // WM_QUIT: the program's loop ends once the command has ended.
            quitRequested_ = true;
            break;
        }
        Dispatch(&message);
    }
    RethrowPending();
}

void Win32WindowSystem::Dispatch(const void* message) {
    MSG copy = *static_cast<const MSG*>(message);
    HWND root = copy.hwnd != nullptr ? GetAncestor(copy.hwnd, GA_ROOT) : nullptr;
    if (root != nullptr) {
        for (const auto& [number, entry] : windows_) {
            if (entry.handle == root) {
                if (IsDialogMessageA(root, &copy))
                    return;
                break;
            }
        }
    }
    TranslateMessage(&copy);
    DispatchMessageA(&copy);
}

void Win32WindowSystem::Keep(std::exception_ptr error) {
    if (!pending_)
        pending_ = std::move(error);
}

void Win32WindowSystem::RethrowPending() {
    if (pending_) {
        std::exception_ptr error = std::move(pending_);
        pending_ = nullptr;
        std::rethrow_exception(error);
    }
}

WindowHandle Win32WindowSystem::OpenModalWindow() const {
    HWND main = Window(ids::kMainWindow);
    if (main == nullptr)
        return nullptr;
    // The owned window the main window hands its activation to while it is disabled.
    HWND popup = GetLastActivePopup(main);
    return popup != nullptr && popup != main && IsWindowVisible(popup) ? popup : nullptr;
}

// --- the device list -----------------------------------------------------------

void Win32WindowSystem::AddListEntry(std::string_view name) {
    HWND combo = DeviceList();
    if (combo == nullptr)
        return;
    std::vector<std::string> entries;
    const int count = ListCount();
    entries.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        entries.push_back(ListEntry(i));
    const std::string value(name);
    SendMessageA(combo, CB_INSERTSTRING, static_cast<WPARAM>(SortedInsertPosition(entries, value)),
                 reinterpret_cast<LPARAM>(value.c_str()));
}

int Win32WindowSystem::ListCount() {
    HWND combo = DeviceList();
    return combo == nullptr ? 0 : static_cast<int>(SendMessageA(combo, CB_GETCOUNT, 0, 0));
}

std::string Win32WindowSystem::ListEntry(int index) {
    HWND combo = DeviceList();
    if (combo == nullptr || index < 0 || index >= ListCount())
        return {};
    LRESULT length = SendMessageA(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == CB_ERR)
        return {};
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    LRESULT got = SendMessageA(combo, CB_GETLBTEXT, static_cast<WPARAM>(index),
                               reinterpret_cast<LPARAM>(text.data()));
    text.resize(got == CB_ERR ? 0 : static_cast<std::size_t>(got));
    return text;
}

void Win32WindowSystem::SelectListEntry(int index) {
    if (HWND combo = DeviceList()) {
        const bool valid = index >= 0 && index < ListCount();
        SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(valid ? index : -1), 0);
    }
}

int Win32WindowSystem::SelectedListEntry() {
    HWND combo = DeviceList();
    if (combo == nullptr)
        return -1;
    LRESULT selected = SendMessageA(combo, CB_GETCURSEL, 0, 0);
    return selected == CB_ERR ? -1 : static_cast<int>(selected);
}

// --- the EEPROM listing ----------------------------------------------------------
// A multi-line edit control counts both characters of each CR LF, as the
// listing's format is defined, so its positions are the program's own.

TextSelection Win32WindowSystem::Selection(int window, int item) {
    HWND edit = Item(window, item);
    if (edit == nullptr)
        return {};
    DWORD start = 0;
    DWORD end = 0;
    SendMessageA(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return TextSelection{static_cast<int>(start), static_cast<int>(end)};
}

bool Win32WindowSystem::IsModified(int window, int item) {
    HWND edit = Item(window, item);
    return edit != nullptr && SendMessageA(edit, EM_GETMODIFY, 0, 0) != 0;
}

void Win32WindowSystem::ResetText(int window, int item, std::string_view text) {
    HWND edit = Item(window, item);
    if (edit == nullptr)
        return;
    const std::string value(text);
    ++settingText_;
    SetWindowTextA(edit, value.c_str());
    SendMessageA(edit, EM_SETMODIFY, FALSE, 0);
    SendMessageA(edit, EM_SETSEL, 0, 0);
    SendMessageA(edit, EM_SCROLLCARET, 0, 0);
    --settingText_;
}

// --- messages, files, documents, dialogs -----------------------------------------

MsgResult Win32WindowSystem::MessageBox(int owner, std::string_view text, std::string_view title,
                                        MsgButtons buttons, MessageKind kind) {
    const std::string shownText(text);
    const std::string shownTitle(title);
    HWND ownerWindow = owner == ids::kNoOwner ? nullptr : Window(owner);
    // A box without an owner still keeps the program's windows from input
    // while it shows, as a box with one does.
    UINT flags = (buttons == MsgButtons::Ok ? MB_OK : MB_OKCANCEL) |
                 (buttons == MsgButtons::OkCancelDefaultCancel ? MB_DEFBUTTON2 : 0) |
                 IconFlag(kind) | (ownerWindow == nullptr ? MB_TASKMODAL : MB_APPLMODAL) |
                 MB_SETFOREGROUND;
    ++messageBoxes_;
    int pressed = MessageBoxA(ownerWindow, shownText.c_str(), shownTitle.c_str(), flags);
    --messageBoxes_;
    RethrowPending();
    return buttons != MsgButtons::Ok && pressed != IDOK ? MsgResult::Cancel : MsgResult::Ok;
}

void Win32WindowSystem::Beep() {
    MessageBeep(MB_OK);
}

std::optional<std::string> Win32WindowSystem::AskOpenFile(std::string_view title,
                                                          std::string_view filterName,
                                                          std::string_view patterns,
                                                          std::string_view startFolder) {
    const std::string caption(title);
    const std::string filter = FilterOf(filterName, patterns);
    const std::string folder(startFolder);
    // The name the user chooses: a path of the system's length at most.
    std::string file(MAX_PATH, '\0');

    OPENFILENAMEA dialog = {};
    dialog.lStructSize = sizeof dialog;
    // Owned by the main window: it takes no input while the dialog shows.
    dialog.hwndOwner = Window(ids::kMainWindow);
    dialog.lpstrFilter = filter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = MAX_PATH;
    dialog.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    dialog.lpstrTitle = caption.c_str();
    // Only a file that exists can be chosen: the dialog refuses a typed name
    // of none. The process's current directory stays (the programmer keeps
    // its own).
    dialog.Flags =
        OFN_EXPLORER | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;

    if (prepareFileDialog)
        prepareFileDialog(&dialog);
    DialogScope open(*this);
    BOOL chosen = GetOpenFileNameA(&dialog);
    RethrowPending();
    if (!chosen)
        return std::nullopt;
    file.resize(std::char_traits<char>::length(file.c_str()));
    if (file.empty())
        return std::nullopt;
    return file;
}

bool Win32WindowSystem::OpenDocument(std::string_view pathOrUrl) {
    std::string target(pathOrUrl);
    // A page's section ("page.htm#versions") is not part of its file name.
    std::size_t hash = target.rfind('#');
    if (hash != std::string::npos && target.find("://") == std::string::npos &&
        GetFileAttributesA(target.c_str()) == INVALID_FILE_ATTRIBUTES)
        target.resize(hash);
    return startDocument ? startDocument(target) : StartDocument(target);
}

bool StartDocument(const std::string& target) {
    HINSTANCE started =
        ShellExecuteA(nullptr, "open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(started) > 32;
}

int Win32WindowSystem::RunModalDialog(int dialog, int owner, DialogHandler& handler) {
    DialogScope open(*this);
    ModalDialog box(*this, dialog, handler);
    auto alive = std::make_shared<bool>(true);
    box.onShown = [this, alive, &box, dialog] {
        TellDialogRunning(RunningDialog{dialog, box.handle(), [&box] { return box.ended(); }},
                          alive);
    };
    RunModalDialogBox(box, BuildDialogTemplate(dialog), Window(owner));
    *alive = false;
    RemoveWindow(dialog);
    RethrowPending();
    return box.ended() ? box.endResult() : 0;
}

void Win32WindowSystem::TellDialogRunning(const RunningDialog& running,
                                          const std::shared_ptr<bool>& alive) {
    if (!onDialogRunning)
        return;
    Later([this, running, alive] {
        if (*alive && !running.ended() && onDialogRunning)
            onDialogRunning(running);
    });
}

void Win32WindowSystem::EndWindow(int window, int result) {
    ends_.End(window, result);
}

}  // namespace ostrel::win32
