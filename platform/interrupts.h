// The console's interrupts: Ctrl-C, a termination request and a closed
// terminal (SIGINT, SIGTERM, SIGHUP; on Windows the console control events)
// no longer end the process on the spot. They are noted instead, and the
// console asks the running command to stop at its next activity refresh, so
// that the target is released and no file is left half written.
#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

namespace ostrel {

// Signal numbers as Pending gives them (the usual values, also on Windows).
inline constexpr int kInterruptSignal = 2;   // SIGINT: Ctrl-C (Windows: Ctrl-C, Ctrl-Break)
inline constexpr int kHangUpSignal = 1;      // SIGHUP: the terminal went (Windows: console closed)
inline constexpr int kTerminateSignal = 15;  // SIGTERM (Windows: log-off, shut-down)

class InterruptWatch {
  public:
    // Starts watching. Only one watch may exist at a time in a process.
    InterruptWatch();
    // Stops watching; interrupts noted meanwhile are dropped, not delivered.
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

    // The first interrupt that came, as a signal number; 0 while none has.
    // Cheap enough to ask at every activity refresh.
    int Pending();

    // Reads one line typed at a terminal, without its line end, waiting for
    // the line or an interrupt, whichever comes first. No value when the
    // input ended or an interrupt came (Pending then says which). Only the
    // first `keep` characters are kept; the rest of the line is read over.
    std::optional<std::string> ReadLine(std::FILE* in, std::size_t keep = 256);

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// A word for the signal, for the console's messages: "Ctrl-C", "a
// termination request", "the terminal closing".
std::string InterruptName(int signal);

// A write to a closed pipe or beyond the file size limit fails with an error
// the program sees and reports, instead of ending the process by a signal.
void ReportWriteFailuresAsErrors();

}  // namespace ostrel
