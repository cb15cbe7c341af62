// The window system of the native Windows program: window and control
// numbers are the dialog's own control numbers, so each call of the commands
// is the Win32 call the system makes (SetDlgItemTextA, CheckDlgButton,
// EnableWindow, CheckMenuItem, MessageBoxA, GetOpenFileNameA, ShellExecuteA,
// DialogBoxIndirectParamA), and the activity refresh processes the thread's
// pending messages with PeekMessageA, GetMessageA, TranslateMessage and
// DispatchMessageA.
//
// Whoever drives the windows other than a person (a wrapper of the tests in
// front of it, the screenshot tool) is told when a dialog of the program
// runs, from inside its loop, may take part in the file-open dialog before
// it runs and may stand in for the shell. The program shows a message box
// only through MessageBox, so a window system in front of this one sees each
// one asked for; what it queues with Later then runs inside the box's loop.
#pragma once

#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/window_system.h"
#include "ui/window_ends.h"
#include "win32/dialog_window.h"

struct HMENU__;
struct HFONT__;

namespace ostrel::win32 {

using MenuHandle = HMENU__*;

// A dialog of the program while it runs, as onDialogRunning is told of it.
struct RunningDialog {
    int dialog = 0;  // its number (the cable test window: ids::kCableTest)
    WindowHandle handle = nullptr;
    // Whether it has ended (or, the cable test window, was closed) meanwhile.
    std::function<bool()> ended;
};

class Win32WindowSystem : public WindowSystem {
  public:
    Win32WindowSystem();
    ~Win32WindowSystem() override;
    Win32WindowSystem(const Win32WindowSystem&) = delete;
    Win32WindowSystem& operator=(const Win32WindowSystem&) = delete;

    // --- the windows it serves ---
    // A window and what ending it does.
    void AddWindow(int window, WindowHandle handle, std::function<void(int result)> onEnd);
    void RemoveWindow(int window);
    WindowHandle Window(int window) const;
    WindowHandle Item(int window, int item) const;
    // A menu item by command number: its menu and its position there.
    void AddMenuItem(int command, MenuHandle menu, int position);
    // The fixed-width font of the EEPROM listing.
    HFONT__* ListingFont();

    // --- WindowSystem ---
    void SetItemText(int window, int item, std::string_view text) override;
    std::string ItemText(int window, int item) override;
    void EnableItem(int window, int item, bool enabled) override;
    void CheckItem(int window, int item, bool checked) override;
    bool IsItemChecked(int window, int item) override;
    void ShowItem(int window, int item, bool shown) override;
    void SetChoices(int window, int item, const std::vector<std::string>& choices) override;
    void CheckMenuItem(int command, bool checked) override;
    void Repaint(int window) override;
    // The main window's progress bar takes the figure.
    void ShowProgress(const std::optional<Progress>& progress) override;
    void ProcessPendingEvents() override;

    void AddListEntry(std::string_view name) override;
    int ListCount() override;
    std::string ListEntry(int index) override;
    void SelectListEntry(int index) override;
    int SelectedListEntry() override;

    TextSelection Selection(int window, int item) override;
    bool IsModified(int window, int item) override;
    void ResetText(int window, int item, std::string_view text) override;

    MsgResult MessageBox(int owner, std::string_view text, std::string_view title,
                         MsgButtons buttons, MessageKind kind) override;
    void Beep() override;
    std::optional<std::string> AskOpenFile(std::string_view title, std::string_view filterName,
                                           std::string_view patterns,
                                           std::string_view startFolder) override;
    bool OpenDocument(std::string_view pathOrUrl) override;
    int RunModalDialog(int dialog, int owner, DialogHandler& handler) override;
    void EndWindow(int window, int result) override;

    // --- the program's message handling ---
    // Hands one message of the thread on: to a dialog of the program when it
    // is one of its keys (Tab, Enter, Escape), else translated and dispatched.
    // `message` is a MSG.
    void Dispatch(const void* message);
    // Keeps an exception a window procedure caught (the first one), for
    // RethrowPending.
    void Keep(std::exception_ptr error);
    // Throws what a window procedure caught meanwhile, in the program's own frames.
    void RethrowPending();
    // Set while the program sets a control's text itself: the listing's
    // change notifications are then not the user's.
    bool settingText() const { return settingText_ > 0; }

    // Dialogs of the program open now (RunModalDialog, the cable test
    // window). While one is open its own handlers may run a command's steps,
    // so a stop must not be asked for then (core/activity.h).
    int openDialogs() const { return openDialogs_; }
    // A message box of the program shows now.
    bool messageBoxOpen() const { return messageBoxes_ > 0; }
    class DialogScope {
      public:
        explicit DialogScope(Win32WindowSystem& windows) : windows_(windows) {
            ++windows_.openDialogs_;
        }
        ~DialogScope() { --windows_.openDialogs_; }
        DialogScope(const DialogScope&) = delete;
        DialogScope& operator=(const DialogScope&) = delete;

      private:
        Win32WindowSystem& windows_;
    };
    // The program's topmost modal window (a dialog or a message box), if any.
    WindowHandle OpenModalWindow() const;

    // Runs `action` once the next messages of the thread are dispatched, in
    // whatever loop runs then (a dialog's, a message box's).
    void Later(std::function<void()> action);

    // Called after the program set a control's text (SetItemText), with the
    // window, the control and the text.
    std::vector<std::function<void(int window, int item, const std::string& text)>> textObservers;

    // A quit message (WM_QUIT) the activity refresh took from the queue: the
    // program's loop ends once the running command has ended.
    bool quitRequested() const { return quitRequested_; }

    // --- for what drives the windows other than a person ---
    // Told once a dialog of the program runs, inside its loop: a modal
    // dialog once its behaviour has set it up, the cable test window once
    // its verdict shows. EndWindow ends one that is still open.
    std::function<void(const RunningDialog& running)> onDialogRunning;
    // Given the file-open dialog's OPENFILENAMEA (`dialog`) just before it
    // runs: it may add a hook of its own (OFN_ENABLEHOOK, lpfnHook, lCustData).
    std::function<void(void* dialog)> prepareFileDialog;
    // Stands in for the shell starting a document or a page (the target
    // without a page's section); unset, the shell starts it (StartDocument).
    std::function<bool(const std::string& target)> startDocument;
    // Tells onDialogRunning, if set, of `running` once the next messages are
    // dispatched (inside the dialog's loop), unless it has ended by then or
    // `alive` is false (the dialog's frame has gone).
    void TellDialogRunning(const RunningDialog& running, const std::shared_ptr<bool>& alive);

  private:
    struct WindowEntry {
        WindowHandle handle = nullptr;
    };
    struct MenuPlace {
        MenuHandle menu = nullptr;
        int position = 0;
    };
    class Helper;
    WindowHandle DeviceList() const;
    void RunLaterActions();

    std::map<int, WindowEntry> windows_;
    ui::WindowEnds ends_;
    std::map<int, MenuPlace> menuItems_;
    std::unique_ptr<Helper> helper_;  // a message-only window: runs the Later actions
    std::deque<std::function<void()>> later_;
    std::exception_ptr pending_;
    HFONT__* listingFont_ = nullptr;
    int settingText_ = 0;
    int openDialogs_ = 0;
    int messageBoxes_ = 0;
    bool quitRequested_ = false;
};

// Sets a progress bar to a percentage, or, with none, to show that a command
// is busy without a figure (the marquee).
void ShowFigure(WindowHandle bar, std::optional<int> percent);

// A window's text (a control's, a caption), and whether its window class is
// `name` (any letter case).
std::string WindowText(WindowHandle window);
bool IsClass(WindowHandle window, const char* name);

// The shell's start of a document, a folder or a web page (ShellExecuteA
// "open"); false when it could not start one.
bool StartDocument(const std::string& target);

}  // namespace ostrel::win32
