// The window system of the native Windows program: window and control
// numbers are the dialog's own control numbers, so each call of the commands
// is the Win32 call the system makes (SetDlgItemTextA, CheckDlgButton,
// EnableWindow, CheckMenuItem, MessageBoxA, GetOpenFileNameA, ShellExecuteA,
// DialogBoxIndirectParamA), and the activity refresh processes the thread's
// pending messages with PeekMessageA, GetMessageA, TranslateMessage and
// DispatchMessageA.
//
// For tests and the screenshot tool the program can answer its own boxes
// and dialogs (`automation`): a message box, the file-open dialog and a modal
// dialog are still the system's, built and shown; once one shows, the
// program finds it among the thread's windows, records what it shows and
// presses its button, so no window is ever left open.
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

struct ShownMessage {
    int owner = 0;
    std::string text;
    std::string title;
    MsgButtons buttons = MsgButtons::Ok;
    MsgResult answer = MsgResult::Ok;
    MessageKind kind = MessageKind::Information;  // the icon asked for
    // What the box on the screen showed, as the automation found it: its
    // caption, its text, its buttons (IDOK, IDCANCEL) and whether it had the
    // icon of its kind. Empty when it was not found.
    std::string shownTitle;
    std::string shownText;
    std::vector<int> shownButtons;
    bool shownIcon = false;
    // The box itself, while onMessage runs; null afterwards.
    WindowHandle box = nullptr;
};

struct Automation {
    bool enabled = false;
    // Answers for the next message boxes, in order; then every box is answered OK.
    std::deque<MsgResult> messageAnswers;
    // Answers for the next file-open dialogs (no value: cancelled); then cancelled.
    std::deque<std::optional<std::string>> fileAnswers;
    // Runs inside a modal dialog once it shows and its behaviour has set it
    // up (the cable test window too, by its command number). It should end
    // the dialog; one it leaves open is ended with result 0.
    std::function<void(int dialog, WindowHandle shown)> dialogScript;
    // Runs while a message box shows, before it is answered.
    std::function<void(const ShownMessage& message)> onMessage;
    // Stands in for the shell; unset, documents are only recorded.
    std::function<bool(const std::string& pathOrUrl)> openDocument;
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

    // --- answering by the program, and what was shown ---
    Automation automation;
    std::vector<ShownMessage> messages;
    std::vector<std::string> fileDialogs;  // "title|filter|folder" of each file dialog
    std::vector<std::string> documents;    // every document or page asked for
    int beeps = 0;
    int dialogsLeftOpen = 0;  // dialogs the automation had to end itself

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
    void AnswerMessageBox(ShownMessage& shown, MsgResult answer, int attemptsLeft,
                          const std::shared_ptr<bool>& alive);
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

}  // namespace ostrel::win32
