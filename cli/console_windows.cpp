#include "cli/console_windows.h"

#include <utility>

#include "core/ids.h"

namespace ostrel::cli {

namespace {
std::string_view TrimRight(std::string_view text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\n' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

}  // namespace

ConsoleWindows::ConsoleWindows(std::FILE* out, std::FILE* err, std::FILE* in, AnswerMode answers,
                               bool errIsTerminal)
    : out_(out), err_(err), in_(in), answers_(answers), terminal_(errIsTerminal) {}

void ConsoleWindows::ShowProgress(const std::optional<Progress>& progress) {
    pendingStage_.reset();
    if (progress)
        pendingStage_ = progress->stage;
}

void ConsoleWindows::SetItemText(int window, int item, std::string_view text) {
    ModelWindowSystem::SetItemText(window, item, text);
    if (window != ids::kMainWindow || item != ids::kActivity)
        return;
    // The progress event, when one came, was sent for this text.
    const std::optional<ProgressStage> stage = std::exchange(pendingStage_, std::nullopt);
    if (quiet_)
        return;
    std::string_view shown = TrimRight(text);
    if (shown.empty()) {
        // Blanking the field prints nothing; an OK still held was not the
        // ending (the command went on to fail: its port stopped answering).
        if (heldOk_) {
            heldOk_ = false;
            lastActivity_.clear();
        }
        return;
    }
    // The result is said once, on standard output: "OK" as the last text of
    // the line waits to see whether anything follows it.
    PrintHeldOk();
    if (terminal_) {
        // One line that updates in place; padded so a longer earlier text is wiped.
        std::string line(shown);
        if (line.size() < lastActivity_.size())
            line.append(lastActivity_.size() - line.size(), ' ');
        std::fprintf(err_, "\r%s", line.c_str());
        lineOpen_ = true;
    } else {
        // A script's log wants each stage once: the texts of a stage's
        // progress are held back and only the last prints, when the next
        // stage begins.
        if (!heldFigure_.empty() && stage != heldStage_)
            PrintHeldFigure();
        if (stage) {
            heldFigure_ = std::string(shown);
            heldStage_ = stage;
            return;
        }
        if (shown == lastActivity_)
            return;
        if (shown == "OK") {
            heldOk_ = true;
            lastActivity_ = "OK";
            return;
        }
        std::fprintf(err_, "%.*s\n", static_cast<int>(shown.size()), shown.data());
    }
    lastActivity_ = std::string(shown);
    std::fflush(err_);
}

void ConsoleWindows::PrintHeldFigure() {
    std::fprintf(err_, "%s\n", heldFigure_.c_str());
    std::fflush(err_);
    lastActivity_ = heldFigure_;
    heldFigure_.clear();
    heldStage_.reset();
}

void ConsoleWindows::PrintHeldOk() {
    if (!heldOk_)
        return;
    heldOk_ = false;
    std::fprintf(err_, "OK\n");
    std::fflush(err_);
}

void ConsoleWindows::FinishActivityLine() {
    if (!heldFigure_.empty())
        PrintHeldFigure();
    PrintHeldOk();
    if (lineOpen_)
        std::fputc('\n', err_);
    lineOpen_ = false;
    lastActivity_.clear();
}

void ConsoleWindows::FinishActivityLineUnless(std::string_view text) {
    if (heldOk_ && text == "OK" && heldFigure_.empty()) {
        heldOk_ = false;  // standard output says it
        lastActivity_.clear();
        return;
    }
    if (lineOpen_ && heldFigure_.empty() && lastActivity_ == text) {
        std::fprintf(err_, "\r%*s\r", static_cast<int>(lastActivity_.size()), "");
        std::fflush(err_);
        lineOpen_ = false;
        lastActivity_.clear();
        return;
    }
    FinishActivityLine();
}

void ConsoleWindows::PrintMessage(std::string_view title, std::string_view text) {
    FinishActivityLine();
    std::string_view body = text;
    if (!body.empty() && body.back() == '\n')
        body.remove_suffix(1);
    std::fprintf(err_, "[%.*s] %.*s\n", static_cast<int>(title.size()), title.data(),
                 static_cast<int>(body.size()), body.data());
    std::fflush(err_);
}

bool ConsoleWindows::NoteInterrupt() {
    const int signal = interrupts_ ? interrupts_->Pending() : 0;
    if (signal == 0)
        return false;
    if (stopRequested_)
        *stopRequested_ = true;
    if (!interruptTold_) {
        interruptTold_ = true;
        FinishActivityLine();
        std::fprintf(err_, "ostrel-cli: interrupted (%s): the command stops at its next step\n",
                     InterruptName(signal).c_str());
        std::fflush(err_);
    }
    return true;
}

void ConsoleWindows::ProcessPendingEvents() {
    NoteInterrupt();
}

std::optional<std::string> ConsoleWindows::ReadAnswer() {
    if (interrupts_)
        return interrupts_->ReadLine(in_);
    // The whole line, however long: what follows its first 255 characters
    // is read over, never taken as the next answer.
    std::string line;
    for (int c = std::fgetc(in_); c != '\n'; c = std::fgetc(in_)) {
        if (c == EOF)
            return line.empty() ? std::nullopt : std::optional<std::string>(line);
        if (line.size() < 255)
            line.push_back(static_cast<char>(c));
    }
    return line;
}

MsgResult ConsoleWindows::MessageBox(int /*owner*/, std::string_view text, std::string_view title,
                                     MsgButtons buttons, MessageKind /*kind*/) {
    FinishActivityLine();
    shown_.emplace_back(std::string(title), std::string(text));
    std::FILE* stream = (!reportTitle_.empty() && title == reportTitle_) ? out_ : err_;
    std::string_view body = text;
    if (!body.empty() && body.back() == '\n')
        body.remove_suffix(1);
    if (stream == out_) {
        std::fprintf(stream, "%.*s\n", static_cast<int>(body.size()), body.data());
    } else {
        std::fprintf(stream, "[%.*s] %.*s\n", static_cast<int>(title.size()), title.data(),
                     static_cast<int>(body.size()), body.data());
    }
    std::fflush(stream);
    if (buttons == MsgButtons::Ok)
        return MsgResult::Ok;
    switch (answers_) {
        case AnswerMode::Yes:
            if (!quiet_)
                std::fprintf(err_, "(answered OK: --yes)\n");
            return MsgResult::Ok;
        case AnswerMode::Cancel:
            std::fprintf(err_, "(answered Cancel: no terminal to ask; use --yes to answer OK)\n");
            return MsgResult::Cancel;
        case AnswerMode::AskTerminal:
            break;
    }
    for (;;) {
        if (NoteInterrupt())
            return MsgResult::Cancel;
        std::fprintf(err_, "OK or Cancel? [o/c] ");
        std::fflush(err_);
        std::optional<std::string> line = ReadAnswer();
        if (!line) {
            std::fputc('\n', err_);
            NoteInterrupt();
            return MsgResult::Cancel;  // the input ended, or an interrupt came
        }
        // The whole line is the answer: a word of its own, in either case,
        // blanks around it allowed.
        std::string word;
        for (char c : *line)
            word.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
        word.erase(0, word.find_first_not_of(" \t\r"));
        word.erase(word.find_last_not_of(" \t\r") + 1);
        if (word == "o" || word == "ok" || word == "y" || word == "yes")
            return MsgResult::Ok;
        if (word == "c" || word == "cancel" || word == "n" || word == "no")
            return MsgResult::Cancel;
    }
}

std::string ConsoleWindows::LastMessage(std::string_view title) const {
    for (auto it = shown_.rbegin(); it != shown_.rend(); ++it)
        if (it->first == title)
            return it->second;
    return {};
}

}  // namespace ostrel::cli
