// The cable test window for every window front-end, free of any toolkit: its
// words (title, what it says above the readings, its button, the line under
// the readings once the test is over) and its flow (what a reading does to
// the list, what the button does while the test runs and after).
#pragma once

#include <string>
#include <string_view>

#include "adapter/cable_test.h"

namespace ostrel::ui {

inline constexpr char kCableTestTitle[] = "Cable Test";
// The button while the test runs, and once it is over.
inline constexpr char kCableTestStop[] = "Stop";
inline constexpr char kCableTestClose[] = "Close";

// What the window says above the readings, for the port it tests.
std::string CableTestIntro(std::string_view portName);

// The line under the readings once the test is over: the cable the
// loop-backs indicate, or that the test was stopped before they were driven.
std::string CableTestVerdictLine(const adapter::CableTestResult& result);

// The widest reading the window must have room for: a serial reading of the
// start state.
adapter::CableReading WidestCableReading();

// What the window decides as the test goes; the renderer draws it.
class CableTestFlow {
  public:
    // A reading as the list shows it: a live one replaces the row of the
    // state being held, a final one fixes it.
    struct Row {
        std::string line;
        bool replacesLast = false;
    };
    Row Take(const adapter::CableReading& reading);
    // The button, Escape or the close box: while the test runs it asks the
    // test to stop (the window stays until the target has been released);
    // once it is over, true: the window closes.
    bool Press();
    // The test is over: the verdict line under the readings; the button
    // reads kCableTestClose from now on.
    std::string Finish(const adapter::CableTestResult& result);

    bool running() const { return running_; }
    bool stopRequested() const { return stopRequested_; }

  private:
    bool running_ = true;
    bool stopRequested_ = false;
    bool rowOpen_ = false;  // the last row is a live reading
};

}  // namespace ostrel::ui
