#include "tests/support/scripted_windows.h"

#include <utility>

#include "core/ids.h"

namespace ostrel::testing {

void ScriptedWindows::SetItemText(int window, int item, std::string_view text) {
    ModelWindowSystem::SetItemText(window, item, text);
    log.push_back("text " + std::to_string(window) + " " + std::to_string(item) + " '" +
                  std::string(text) + "'");
    if (window == ids::kMainWindow && item == ids::kActivity) {
        activity.emplace_back(text);
        progressTexts.emplace_back(std::string(text),
                                   std::exchange(pendingProgress_, std::nullopt));
    }
}

void ScriptedWindows::ShowProgress(const std::optional<Progress>& progress) {
    pendingProgress_ = progress;
}

void ScriptedWindows::EnableItem(int window, int item, bool enabled) {
    ModelWindowSystem::EnableItem(window, item, enabled);
    log.push_back((enabled ? "enable " : "disable ") + std::to_string(window) + " " +
                  std::to_string(item));
}

void ScriptedWindows::CheckItem(int window, int item, bool checked) {
    ModelWindowSystem::CheckItem(window, item, checked);
    log.push_back((checked ? "check " : "uncheck ") + std::to_string(window) + " " +
                  std::to_string(item));
}

void ScriptedWindows::CheckMenuItem(int command, bool checked) {
    ModelWindowSystem::CheckMenuItem(command, checked);
    log.push_back((checked ? "menu-check " : "menu-uncheck ") + std::to_string(command));
}

void ScriptedWindows::Repaint(int window) {
    log.push_back("repaint " + std::to_string(window));
}

void ScriptedWindows::ProcessPendingEvents() {
    ++pendingEventPasses;
    log.push_back("events");
    if (onPendingEvents)
        onPendingEvents();
}

MsgResult ScriptedWindows::MessageBox(int owner, std::string_view text, std::string_view title,
                                      MsgButtons buttons, MessageKind kind) {
    MsgResult answer = MsgResult::Ok;
    if (!answers.empty()) {
        answer = answers.front();
        answers.pop_front();
    }
    if (buttons == MsgButtons::Ok)
        answer = MsgResult::Ok;
    messages.push_back({owner, std::string(text), std::string(title), buttons, answer, kind});
    log.push_back("msgbox '" + std::string(title) + "' '" + std::string(text) + "'");
    return answer;
}

void ScriptedWindows::Beep() {
    ++beeps;
    log.push_back("beep");
}

std::optional<std::string> ScriptedWindows::AskOpenFile(std::string_view title,
                                                        std::string_view filterName,
                                                        std::string_view patterns,
                                                        std::string_view startFolder) {
    fileDialogs.push_back(std::string(title) + "|" + std::string(filterName) + "|" +
                          std::string(patterns) + "|" + std::string(startFolder));
    log.push_back("file-dialog");
    if (fileChoices.empty())
        return std::nullopt;
    auto choice = fileChoices.front();
    fileChoices.pop_front();
    return choice;
}

bool ScriptedWindows::OpenDocument(std::string_view pathOrUrl) {
    documents.emplace_back(pathOrUrl);
    log.push_back("open-document " + std::string(pathOrUrl));
    return documentsOpen;
}

int ScriptedWindows::RunModalDialog(int dialog, int owner, DialogHandler& handler) {
    log.push_back("dialog " + std::to_string(dialog) + " owner " + std::to_string(owner));
    handler.OnInit();
    if (dialogScript)
        dialogScript(dialog, handler);
    int result = 0;
    WindowEnded(dialog, &result);
    return result;
}

void ScriptedWindows::EndWindow(int window, int result) {
    ModelWindowSystem::EndWindow(window, result);
    log.push_back("end " + std::to_string(window) + " " + std::to_string(result));
}

std::vector<std::string> ScriptedWindows::MessageTexts() const {
    std::vector<std::string> out;
    for (const auto& m : messages)
        out.push_back(m.title + ": " + m.text);
    return out;
}

std::optional<int> ShownPercent(std::string_view activityText) {
    std::size_t i = activityText.find_first_not_of(' ');
    if (i == std::string_view::npos)
        return std::nullopt;
    std::size_t end = activityText.find_first_not_of("0123456789", i);
    if (end == i || end == std::string_view::npos || end - i > 3 || activityText[end] != '%')
        return std::nullopt;
    int figure = std::stoi(std::string(activityText.substr(i, end - i)));
    return figure <= 100 ? std::optional<int>(figure) : std::nullopt;
}

}  // namespace ostrel::testing
