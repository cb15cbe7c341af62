#include "tests/support/recording_pin_port.h"

namespace ostrel::testing {

std::vector<uint8_t> RecordingPinPort::AllStates() const {
    std::vector<uint8_t> all;
    for (const auto& transfer : transfers)
        all.insert(all.end(), transfer.begin(), transfer.end());
    return all;
}

bool RecordingPinPort::WritePins(uint8_t state) {
    if (failNext)
        return false;
    writes.push_back(state);
    applied_ = state;
    return true;
}

bool RecordingPinPort::ReadPins(uint8_t* pins) {
    if (failNext)
        return false;
    ++reads;
    *pins = Pins(applied_);
    return true;
}

bool RecordingPinPort::Transfer(std::span<const uint8_t> states, std::span<uint8_t> samples) {
    if (failNext || states.size() > capacity)
        return false;
    // Each sample is taken just before its state is applied: the pins as
    // the state before it makes them.
    for (std::size_t i = 0; i < states.size(); ++i) {
        samples[i] = Pins(applied_);
        applied_ = states[i];
    }
    transfers.emplace_back(states.begin(), states.end());
    return true;
}

}  // namespace ostrel::testing
