// The Qt program's window system as the GUI tests drive it: a wrapper in
// front of the program's own that answers message boxes, file choices,
// documents and dialogs by script and hands every other call on. A message
// box is still built and run by the program's window system, and its button
// is clicked as soon as it shows, so no box is ever left open; a dialog runs
// the script once it runs, and one the script leaves open is ended.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <QMessageBox>
#include <QUrl>

#include "core/window_system.h"
#include "qt/qt_window_system.h"

class QDialog;

namespace ostrel::testing {

struct ShownQtMessage {
    int owner = 0;
    std::string text;
    std::string title;
    MsgButtons buttons = MsgButtons::Ok;
    MsgResult answer = MsgResult::Ok;
    QMessageBox::Icon icon = QMessageBox::NoIcon;  // the icon of its kind
    bool windowIcon = false;                       // it carries the program's window icon
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
    std::function<void(int dialog, QDialog& shown)> dialogScript;
    // Runs while a message box shows, before it is answered.
    std::function<void(const ShownQtMessage& message)> onMessage;
    // Stands in for starting the desktop's browser or file manager, once one
    // was found (returns whether it started). Unset, nothing is started.
    std::function<bool(const QUrl& url)> openUrl;
};

class ScriptedQtWindows : public WindowSystem {
  public:
    explicit ScriptedQtWindows(qt::QtWindowSystem& inner);
    ScriptedQtWindows(const ScriptedQtWindows&) = delete;
    ScriptedQtWindows& operator=(const ScriptedQtWindows&) = delete;

    qt::QtWindowSystem& inner() { return inner_; }

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

    Automation automation;
    std::vector<ShownQtMessage> messages;
    std::vector<std::string> fileDialogs;  // "title|filter|folder" of each file dialog
    std::vector<std::string> documents;    // every document or page asked for
    int beeps = 0;
    int dialogsLeftOpen = 0;  // dialogs the script had to end itself

  private:
    // A message box asked for and not yet answered, newest last.
    struct Asked {
        ShownQtMessage* shown;
        MsgResult answer;
        bool answering;
    };
    void BoxShown(QMessageBox& box);
    void DialogRunning(int dialog, QDialog& shown);

    qt::QtWindowSystem& inner_;
    std::vector<Asked> asked_;
};

}  // namespace ostrel::testing
