#include "tests/support/qt/scripted_qt_windows.h"

#include <QAbstractButton>
#include <QDialog>

#include "qt/desktop_launcher.h"
#include "qt/modal_dialog.h"
#include "ui/window_ends.h"

namespace ostrel::testing {

ScriptedQtWindows::ScriptedQtWindows(qt::QtWindowSystem& inner) : inner_(inner) {
    inner_.onMessageShown = [this](QMessageBox& box) { BoxShown(box); };
    inner_.onDialogRunning = [this](int dialog, QDialog& shown) { DialogRunning(dialog, shown); };
    inner_.startLauncher = [this](const qt::Launcher& launcher, const QUrl& url) {
        if (automation.openUrl)
            return automation.openUrl(url);
        if (automation.enabled)
            return true;  // answered by the script: nothing is started
        return qt::StartLauncher(launcher, url);
    };
}

void ScriptedQtWindows::SetItemText(int window, int item, std::string_view text) {
    inner_.SetItemText(window, item, text);
}
std::string ScriptedQtWindows::ItemText(int window, int item) {
    return inner_.ItemText(window, item);
}
void ScriptedQtWindows::EnableItem(int window, int item, bool enabled) {
    inner_.EnableItem(window, item, enabled);
}
void ScriptedQtWindows::CheckItem(int window, int item, bool checked) {
    inner_.CheckItem(window, item, checked);
}
bool ScriptedQtWindows::IsItemChecked(int window, int item) {
    return inner_.IsItemChecked(window, item);
}
void ScriptedQtWindows::ShowItem(int window, int item, bool shown) {
    inner_.ShowItem(window, item, shown);
}
void ScriptedQtWindows::SetChoices(int window, int item, const std::vector<std::string>& choices) {
    inner_.SetChoices(window, item, choices);
}
void ScriptedQtWindows::CheckMenuItem(int command, bool checked) {
    inner_.CheckMenuItem(command, checked);
}
void ScriptedQtWindows::Repaint(int window) {
    inner_.Repaint(window);
}
void ScriptedQtWindows::ShowProgress(const std::optional<Progress>& progress) {
    inner_.ShowProgress(progress);
}
void ScriptedQtWindows::ProcessPendingEvents() {
    inner_.ProcessPendingEvents();
}
void ScriptedQtWindows::AddListEntry(std::string_view name) {
    inner_.AddListEntry(name);
}
int ScriptedQtWindows::ListCount() {
    return inner_.ListCount();
}
std::string ScriptedQtWindows::ListEntry(int index) {
    return inner_.ListEntry(index);
}
void ScriptedQtWindows::SelectListEntry(int index) {
    inner_.SelectListEntry(index);
}
int ScriptedQtWindows::SelectedListEntry() {
    return inner_.SelectedListEntry();
}
TextSelection ScriptedQtWindows::Selection(int window, int item) {
    return inner_.Selection(window, item);
}
bool ScriptedQtWindows::IsModified(int window, int item) {
    return inner_.IsModified(window, item);
}
void ScriptedQtWindows::ResetText(int window, int item, std::string_view text) {
    inner_.ResetText(window, item, text);
}
int ScriptedQtWindows::RunModalDialog(int dialog, int owner, DialogHandler& handler) {
    return inner_.RunModalDialog(dialog, owner, handler);
}
void ScriptedQtWindows::EndWindow(int window, int result) {
    inner_.EndWindow(window, result);
}

MsgResult ScriptedQtWindows::MessageBox(int owner, std::string_view text, std::string_view title,
                                        MsgButtons buttons, MessageKind kind) {
    ShownQtMessage shown;
    shown.owner = owner;
    shown.text = std::string(text);
    shown.title = std::string(title);
    shown.buttons = buttons;
    const bool answering = automation.enabled;
    const MsgResult answer =
        answering ? ui::TakeScriptedAnswer(automation.messageAnswers, buttons) : MsgResult::Ok;
    asked_.push_back(Asked{&shown, answer, answering});
    shown.answer = inner_.MessageBox(owner, text, title, buttons, kind);
    asked_.pop_back();
    messages.push_back(shown);
    return shown.answer;
}

void ScriptedQtWindows::BoxShown(QMessageBox& box) {
    if (asked_.empty())
        return;
    const Asked asked = asked_.back();
    asked.shown->icon = box.icon();
    asked.shown->windowIcon = !box.windowIcon().isNull();
    if (!asked.answering)
        return;
    if (automation.onMessage)
        automation.onMessage(*asked.shown);
    QAbstractButton* button =
        box.button(asked.answer == MsgResult::Cancel ? QMessageBox::Cancel : QMessageBox::Ok);
    if (button != nullptr)
        button->click();
}

void ScriptedQtWindows::DialogRunning(int dialog, QDialog& shown) {
    if (!automation.enabled)
        return;
    if (automation.dialogScript)
        automation.dialogScript(dialog, shown);
    // A dialog of the program ends as the program ends it; the cable test
    // window, which is no such dialog, as its close box does.
    auto* modal = dynamic_cast<qt::ModalDialog*>(&shown);
    if (modal != nullptr ? modal->ended() : !shown.isVisible())
        return;
    ++dialogsLeftOpen;
    if (modal != nullptr) {
        modal->End(0);
    } else {
        shown.done(0);
    }
}

void ScriptedQtWindows::Beep() {
    ++beeps;
    inner_.Beep();
}

std::optional<std::string> ScriptedQtWindows::AskOpenFile(std::string_view title,
                                                          std::string_view filterName,
                                                          std::string_view patterns,
                                                          std::string_view startFolder) {
    fileDialogs.push_back(std::string(title) + "|" +
                          qt::FileDialogFilter(filterName, patterns).toStdString() + "|" +
                          std::string(startFolder));
    if (!automation.enabled)
        return inner_.AskOpenFile(title, filterName, patterns, startFolder);
    if (automation.fileAnswers.empty())
        return std::nullopt;
    std::optional<std::string> answer = automation.fileAnswers.front();
    automation.fileAnswers.pop_front();
    return answer;
}

bool ScriptedQtWindows::OpenDocument(std::string_view pathOrUrl) {
    documents.emplace_back(pathOrUrl);
    return inner_.OpenDocument(pathOrUrl);
}

}  // namespace ostrel::testing
