// The cable test window's words, for every window front-end: its title, what
// it says above the readings, its button and the line under the readings once
// the test is over.
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

}  // namespace ostrel::ui
