// The console's window system: the activity line goes to standard error (one
// updating line on a terminal; otherwise plain lines, of which the texts of
// one stage's progress, "12% programmed" .. "90% programmed", print only the
// last),
// message boxes print their title and text, and questions are answered by
// --yes, by the user at a terminal, or with Cancel when there is nobody to ask.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

#include "platform/interrupts.h"
#include "platform/model_window_system.h"

namespace ostrel::cli {

enum class AnswerMode { Yes, AskTerminal, Cancel };

class ConsoleWindows : public ModelWindowSystem {
  public:
    ConsoleWindows(std::FILE* out, std::FILE* err, std::FILE* in, AnswerMode answers,
                   bool errIsTerminal);

    void SetItemText(int window, int item, std::string_view text) override;
    // Marks the activity text that follows as one of a stage's progress.
    void ShowProgress(const std::optional<Progress>& progress) override;
    MsgResult MessageBox(int owner, std::string_view text, std::string_view title,
                         MsgButtons buttons, MessageKind kind) override;
    std::optional<std::string> AskOpenFile(std::string_view, std::string_view, std::string_view,
                                           std::string_view) override {
        return std::nullopt;
    }
    int RunModalDialog(int, int, DialogHandler&) override { return 0; }
    // The one point where a running command takes input: an interrupt that
    // has come (Ctrl-C, SIGTERM, SIGHUP) asks the command to stop.
    void ProcessPendingEvents() override;

    // Where interrupts are watched, and the flag that asks the running
    // command to stop (Programmer::stopRequested). A question at the
    // terminal ends on an interrupt too, answered Cancel.
    void WatchInterrupts(InterruptWatch* watch, bool* stopRequested) {
        interrupts_ = watch;
        stopRequested_ = stopRequested;
    }

    // No activity line at all (--quiet); message boxes still print.
    void SetQuiet(bool quiet) { quiet_ = quiet; }
    // Ends the updating activity line so that the next output starts on a line
    // of its own; without a terminal, prints the held last figure of a stage.
    void FinishActivityLine();
    // On a terminal, wipes the updating line instead when it shows `text`,
    // so a result printed next on standard output does not stand twice.
    void FinishActivityLineUnless(std::string_view text);
    // Message boxes are printed to standard output when set (for the reports a
    // command exists to show, such as the signature), else to standard error.
    void SetReportTitle(std::string_view title) { reportTitle_ = title; }
    // The text of the last message box with this title.
    std::string LastMessage(std::string_view title) const;
    // Prints a line as a message box of this title prints it (on standard
    // error, after the activity line).
    void PrintMessage(std::string_view title, std::string_view text);

  private:
    std::FILE* out_;
    std::FILE* err_;
    std::FILE* in_;
    AnswerMode answers_;
    bool terminal_;
    bool quiet_ = false;
    bool lineOpen_ = false;
    std::string lastActivity_;
    std::string heldFigure_;  // without a terminal: the latest text of a stage of progress
    std::optional<ProgressStage> heldStage_;     // the stage of heldFigure_
    std::optional<ProgressStage> pendingStage_;  // the stage of the activity text to come
    std::string reportTitle_;
    std::vector<std::pair<std::string, std::string>> shown_;
    // Without a terminal: "OK" on the activity line is held back, as the
    // result line on standard output says it (once) when the command is done.
    bool heldOk_ = false;
    InterruptWatch* interrupts_ = nullptr;
    bool* stopRequested_ = nullptr;
    bool interruptTold_ = false;

    void PrintHeldFigure();
    void PrintHeldOk();
    // Notes an interrupt that has come: the running command is asked to
    // stop, and the user told once. True when there is one.
    bool NoteInterrupt();
    // One line typed at the terminal, whole; no value at its end or on an interrupt.
    std::optional<std::string> ReadAnswer();
};

}  // namespace ostrel::cli
