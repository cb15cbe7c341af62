// The cable test: drives RESET, SCK and MOSI one at a time, high and then
// low, and holds every state long enough for a person to see it on an LED or
// a meter at the target's connector. While a state is held, MISO (and on a
// serial port the loop-back inputs DSR and RI) are read again and again, so a
// wire touched by hand shows at once. At the end the target is released
// (RESET high, the target runs).
//
// From what the loop-back inputs did, the test says which serial cable is
// plugged in (the loop-backs are those of the cable table: Cablet1 loops the
// transmit line, break, RESET, back to RI; Cablet2 loops DTR back to DSR). A loop-back that does
// not follow its output is a broken wire, or a cable without loop-back.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "adapter/cable_profile.h"
#include "core/programmer.h"

namespace ostrel::adapter {

// How long each state is held: long enough to read an LED or a meter.
inline constexpr uint32_t kCableTestPauseMs = 2000;
// How often the inputs are read while a state is held.
inline constexpr uint32_t kCableTestPollMs = 50;

// One state of the cable: the levels driven to the target and what the
// inputs read while it was held.
struct CableReading {
    std::string_view step;  // "RESET high", ...
    int reset = 0;
    int sck = 0;
    int mosi = 0;
    int miso = 0;         // as the programmer reads it (inverted on Cablet1, as ReadMiso does)
    bool serial = false;  // dsr and ri are meaningful
    bool dsr = false;
    bool ri = false;
    uint32_t modemStatus = 0;  // the whole modem status of the read (serial)
    // The last reading of this state; false for a live update while it is held.
    bool final = false;
};

struct CableTestHooks {
    // Every reading: live updates when an input changes while a state is
    // held, and the final reading of each state.
    std::function<void(const CableReading&)> show;
    // Called between two reads of the inputs; false stops the test (the
    // target is still released).
    std::function<bool()> idle;
};

struct CableTestResult {
    // 0: the test ran (or was stopped); 1: the port could not be used, errorText says why.
    int status = 0;
    bool stopped = false;
    std::vector<CableReading> readings;  // the final reading of every state, in order
    CableVerdict verdict = CableVerdict::Unknown;
};

CableTestResult RunCableTest(Programmer& p, const CableTestHooks& hooks,
                             uint32_t pauseMs = kCableTestPauseMs);

// One line for a reading: the step, the levels driven, the inputs.
std::string FormatReading(const CableReading& reading);
// What the verdict means, in one line.
std::string_view VerdictText(CableVerdict verdict);

}  // namespace ostrel::adapter
