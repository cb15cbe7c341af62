#include "tests/support/recording_pin_port.h"

#include <algorithm>

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

bool RecordingPinPort::Submit(std::span<const uint8_t> states) {
    if (failNext || states.size() > capacity || back_.size() + states.size() > inFlightLimit)
        return false;
    std::vector<uint8_t> samples(states.size());
    if (!Transfer(states, samples))
        return false;
    back_.insert(back_.end(), samples.begin(), samples.end());
    mostInFlight = std::max(mostInFlight, back_.size());
    return true;
}

bool RecordingPinPort::Collect(std::span<uint8_t> samples) {
    const bool shortOne = collects++ == shortCollectAt;
    if (failNext || shortOne || samples.size() > back_.size())
        return false;
    std::copy_n(back_.begin(), samples.size(), samples.begin());
    back_.erase(back_.begin(), back_.begin() + static_cast<std::ptrdiff_t>(samples.size()));
    return true;
}

}  // namespace ostrel::testing
