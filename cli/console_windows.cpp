#include "cli/console_windows.h"

#include "core/ids.h"

namespace ostrel::cli {

namespace {
std::string_view TrimRight(std::string_view text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\n' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The text with every figure (a run of hex digits holding at least one
// decimal digit) replaced by '#': "12% programmed" and "90% programmed", or
// "Contr-Adr: 0040" and "Contr-Adr: 00A0", are the same stage. Texts without
// figures give an empty key.
std::string StageKey(std::string_view text) {
    std::string key;
    bool figures = false;
    for (size_t i = 0; i < text.size();) {
        size_t end = i;
        bool decimal = false;
        while (end < text.size() && IsHexDigit(text[end])) {
            decimal = decimal || (text[end] >= '0' && text[end] <= '9');
            ++end;
        }
        if (end > i && decimal) {
            key += '#';
            figures = true;
            i = end;
        } else if (end > i) {
            key.append(text.substr(i, end - i));
            i = end;
        } else {
            key += text[i++];
        }
    }
    return figures ? key : std::string();
}
}  // namespace

ConsoleWindows::ConsoleWindows(std::FILE* out, std::FILE* err, std::FILE* in, AnswerMode answers,
                               bool errIsTerminal)
    : out_(out), err_(err), in_(in), answers_(answers), terminal_(errIsTerminal) {}

void ConsoleWindows::SetItemText(int window, int item, std::string_view text) {
    ModelWindowSystem::SetItemText(window, item, text);
    if (window != ids::kMainWindow || item != ids::kActivity)
        return;
    if (quiet_)
        return;
    std::string_view shown = TrimRight(text);
    if (shown.empty())
        return;  // blanking the field prints nothing
    if (terminal_) {
        // One line that updates in place; padded so a longer earlier text is wiped.
        std::string line(shown);
        if (line.size() < lastActivity_.size())
            line.append(lastActivity_.size() - line.size(), ' ');
        std::fprintf(err_, "\r%s", line.c_str());
        lineOpen_ = true;
    } else {
        // A script's log wants each stage once: figures are held back and
        // only the last of a stage prints, when the next stage begins.
        std::string key = StageKey(shown);
        if (!heldFigure_.empty() && key != StageKey(heldFigure_))
            PrintHeldFigure();
        if (!key.empty()) {
            heldFigure_ = std::string(shown);
            return;
        }
        if (shown == lastActivity_)
            return;
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
}

void ConsoleWindows::FinishActivityLine() {
    if (!heldFigure_.empty())
        PrintHeldFigure();
    if (lineOpen_)
        std::fputc('\n', err_);
    lineOpen_ = false;
    lastActivity_.clear();
}

void ConsoleWindows::FinishActivityLineUnless(std::string_view text) {
    if (lineOpen_ && heldFigure_.empty() && lastActivity_ == text) {
        std::fprintf(err_, "\r%*s\r", static_cast<int>(lastActivity_.size()), "");
        std::fflush(err_);
        lineOpen_ = false;
        lastActivity_.clear();
        return;
    }
    FinishActivityLine();
}

MsgResult ConsoleWindows::MessageBox(int /*owner*/, std::string_view text, std::string_view title,
                                     MsgButtons buttons) {
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
        std::fprintf(err_, "OK or Cancel? [o/c] ");
        std::fflush(err_);
        char line[32];
        if (!std::fgets(line, sizeof line, in_))
            return MsgResult::Cancel;
        if (line[0] == 'o' || line[0] == 'O' || line[0] == 'y' || line[0] == 'Y')
            return MsgResult::Ok;
        if (line[0] == 'c' || line[0] == 'C' || line[0] == 'n' || line[0] == 'N')
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
