// The tests' window system: keeps control states in memory, records every
// call in order, and answers message boxes, file choices and modal dialogs
// from a script the test sets up beforehand.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/model_window_system.h"

namespace ostrel::testing {

struct ShownMessage {
    int owner;
    std::string text;
    std::string title;
    MsgButtons buttons;
    MsgResult answer;
    MessageKind kind;
};

class ScriptedWindows : public ModelWindowSystem {
  public:
    void SetItemText(int window, int item, std::string_view text) override;
    void ShowProgress(const std::optional<Progress>& progress) override;
    void EnableItem(int window, int item, bool enabled) override;
    void CheckItem(int window, int item, bool checked) override;
    void CheckMenuItem(int command, bool checked) override;
    void Repaint(int window) override;
    void ProcessPendingEvents() override;
    MsgResult MessageBox(int owner, std::string_view text, std::string_view title,
                         MsgButtons buttons, MessageKind kind) override;
    void Beep() override;
    std::optional<std::string> AskOpenFile(std::string_view title, std::string_view filterName,
                                           std::string_view patterns,
                                           std::string_view startFolder) override;
    bool OpenDocument(std::string_view pathOrUrl) override;
    int RunModalDialog(int dialog, int owner, DialogHandler& handler) override;
    void EndWindow(int window, int result) override;

    // --- script ---
    // Answers for the next message boxes, in order; once used up, every box is answered OK.
    std::deque<MsgResult> answers;
    // Answers for the next file-open dialogs (no value: cancelled).
    std::deque<std::optional<std::string>> fileChoices;
    // Runs while a modal dialog is open; the handler's OnInit has been called.
    std::function<void(int dialog, DialogHandler&)> dialogScript;
    // Called at every ProcessPendingEvents, as if the user acted meanwhile.
    std::function<void()> onPendingEvents;

    // --- record ---
    std::vector<std::string> log;        // every call, in order
    std::vector<ShownMessage> messages;  // every message box
    std::vector<std::string> activity;   // every text set on the main window's activity field
    // Every activity text with the progress event sent just before it (none
    // when no event came since the text before).
    std::vector<std::pair<std::string, std::optional<Progress>>> progressTexts;
    std::vector<std::string> documents;    // every document opened
    bool documentsOpen = true;             // what OpenDocument answers: a program showed it
    std::vector<std::string> fileDialogs;  // "title|filter|patterns|folder" of each file dialog
    int beeps = 0;
    int pendingEventPasses = 0;

    // The message boxes shown, as "title: text".
    std::vector<std::string> MessageTexts() const;

  private:
    std::optional<Progress> pendingProgress_;
};

// The whole percentage an activity text starts with ("45% programmed",
// "7%  eeprom"), read the way a person reads it; none for a text without one.
// For tests that hold a progress bar or event against the words shown.
std::optional<int> ShownPercent(std::string_view activityText);

}  // namespace ostrel::testing
