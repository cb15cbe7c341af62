// The native Windows program's window system as the GUI tests and the
// screenshot tool drive it: a wrapper in front of the program's own that
// answers message boxes, file-open dialogs, documents and dialogs by script
// and hands every other call on. A message box, the file-open dialog and a
// modal dialog are still the system's, built and shown by the program's
// window system; once one shows, the wrapper finds it among the thread's
// windows, records what it shows and presses its button, so no window is
// ever left open.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/window_system.h"
#include "win32/window_system.h"

namespace ostrel::testing {

struct ShownWin32Message {
    int owner = 0;
    std::string text;
    std::string title;
    MsgButtons buttons = MsgButtons::Ok;
    MsgResult answer = MsgResult::Ok;
    MessageKind kind = MessageKind::Information;  // the icon asked for
    // What the box on the screen showed, as the wrapper found it: its
    // caption, its text, its buttons (IDOK, IDCANCEL) and whether it had the
    // icon of its kind. Empty when it was not found.
    std::string shownTitle;
    std::string shownText;
    std::vector<int> shownButtons;
    bool shownIcon = false;
    // The box itself, while onMessage runs; null afterwards.
    win32::WindowHandle box = nullptr;
};

struct Win32Automation {
    bool enabled = false;
    // Answers for the next message boxes, in order; then every box is answered OK.
    std::deque<MsgResult> messageAnswers;
    // Answers for the next file-open dialogs (no value: cancelled); then cancelled.
    std::deque<std::optional<std::string>> fileAnswers;
    // Runs inside a modal dialog once it shows and its behaviour has set it
    // up (the cable test window too, by its command number). It should end
    // the dialog; one it leaves open is ended with result 0.
    std::function<void(int dialog, win32::WindowHandle shown)> dialogScript;
    // Runs while a message box shows, before it is answered.
    std::function<void(const ShownWin32Message& message)> onMessage;
    // Stands in for the shell; unset, documents are only recorded.
    std::function<bool(const std::string& pathOrUrl)> openDocument;
};

class ScriptedWin32Windows : public WindowSystem {
  public:
    // It must outlive `inner`, whose hooks it sets.
    explicit ScriptedWin32Windows(win32::Win32WindowSystem& inner);
    ScriptedWin32Windows(const ScriptedWin32Windows&) = delete;
    ScriptedWin32Windows& operator=(const ScriptedWin32Windows&) = delete;

    win32::Win32WindowSystem& inner() { return inner_; }

    // --- handed on ---
    void SetItemText(int window, int item, std::string_view text) override;
    std::string ItemText(int window, int item) override;
    void EnableItem(int window, int item, bool enabled) override;
    void CheckItem(int window, int item, bool checked) override;
    bool IsItemChecked(int window, int item) override;
    void ShowItem(int window, int item, bool shown) override;
    void SetChoices(int window, int item, const std::vector<std::string>& choices) override;
    void CheckMenuItem(int command, bool checked) override;
    void Repaint(int window) override;
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
    int RunModalDialog(int dialog, int owner, DialogHandler& handler) override;
    void EndWindow(int window, int result) override;

    // --- answered by script, and recorded ---
    MsgResult MessageBox(int owner, std::string_view text, std::string_view title,
                         MsgButtons buttons, MessageKind kind) override;
    void Beep() override;
    std::optional<std::string> AskOpenFile(std::string_view title, std::string_view filterName,
                                           std::string_view patterns,
                                           std::string_view startFolder) override;
    bool OpenDocument(std::string_view pathOrUrl) override;

    Win32Automation automation;
    std::vector<ShownWin32Message> messages;
    std::vector<std::string> fileDialogs;  // "title|filter|folder" of each file dialog
    std::vector<std::string> documents;    // every document or page asked for
    int beeps = 0;
    int dialogsLeftOpen = 0;  // dialogs the script had to end itself

    // What the file-open dialog is answered with, and whether it was.
    struct FileAnswer {
        std::optional<std::string> path;
        bool answered = false;
    };

  private:
    void AnswerBox(ShownWin32Message& shown, MsgResult answer, int attemptsLeft,
                   const std::shared_ptr<bool>& alive);
    void DialogRunning(const win32::RunningDialog& running);

    win32::Win32WindowSystem& inner_;
    // The modal dialogs running now, innermost last: none is taken for a box.
    std::vector<int> running_;
    FileAnswer* fileAnswer_ = nullptr;  // the file-open dialog's, while it runs
};

}  // namespace ostrel::testing
