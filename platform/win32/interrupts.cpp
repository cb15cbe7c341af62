// Interrupts on Windows: the console control events (Ctrl-C, Ctrl-Break,
// the console window closing, log-off, shut-down) reach a handler that the
// system runs on a thread of its own. The handler routine takes no context,
// so the first event is kept in one process-wide atomic (the one such
// variable of the program, as Windows allows no other way); the watch reads
// it at every activity refresh.
#include <windows.h>

#include <atomic>
#include <cstdio>

#include "platform/interrupts.h"

namespace ostrel {

namespace {

std::atomic<int> firstInterrupt{0};

BOOL WINAPI OnConsoleEvent(DWORD event) {
    int signal = 0;
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            signal = kInterruptSignal;
            break;
        case CTRL_CLOSE_EVENT:
            signal = kHangUpSignal;
            break;
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            signal = kTerminateSignal;
            break;
        default:
            return FALSE;
    }
    int none = 0;
    firstInterrupt.compare_exchange_strong(none, signal);
    return TRUE;  // handled: the process is not ended on the spot
}

}  // namespace

struct InterruptWatch::State {};

InterruptWatch::InterruptWatch() : state_(std::make_unique<State>()) {
    firstInterrupt = 0;
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

InterruptWatch::~InterruptWatch() {
    SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    firstInterrupt = 0;
}

int InterruptWatch::Pending() {
    return firstInterrupt.load();
}

std::optional<std::string> InterruptWatch::ReadLine(std::FILE* in, std::size_t keep) {
    // A console read ends when Ctrl-C is pressed, with nothing read.
    std::string line;
    for (;;) {
        if (Pending() != 0)
            return std::nullopt;
        int c = std::fgetc(in);
        if (c == EOF) {
            if (Pending() == 0 && std::ferror(in) && !std::feof(in)) {
                std::clearerr(in);
                continue;
            }
            return std::nullopt;
        }
        if (c == '\n') {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            return line;
        }
        if (line.size() < keep)
            line.push_back(static_cast<char>(c));
    }
}

std::string InterruptName(int signal) {
    switch (signal) {
        case kInterruptSignal:
            return "Ctrl-C";
        case kTerminateSignal:
            return "a termination request";
        case kHangUpSignal:
            return "the console closing";
        default:
            return "signal " + std::to_string(signal);
    }
}

void ReportWriteFailuresAsErrors() {
    // Windows has no SIGPIPE nor SIGXFSZ: a failed write is an error already.
}

}  // namespace ostrel
