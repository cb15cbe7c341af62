// A port of pins for tests that records every state it is given, in the
// transfers it came in, and answers samples from a function of the states,
// so a test can assert exactly what a streaming (or an immediate) port of
// pins is sent and what comes back of it.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "core/port_access.h"

namespace ostrel::testing {

class RecordingPinPort : public PinPort {
  public:
    // 0: an immediate port (WritePins, ReadPins); otherwise the most states a
    // transfer may carry.
    std::size_t capacity = 512;
    // The rates the port makes: the rate asked, or always this one when set.
    uint32_t fixedRate = 0;
    // The input pins while a state is applied (the default: all high).
    std::function<uint8_t(uint8_t state)> inputs;
    // The next call that moves states or pins fails (the port is lost).
    bool failNext = false;
    PinOpenResult openResult = PinOpenResult::Ok;

    std::vector<std::vector<uint8_t>> transfers;  // the states of each transfer
    std::vector<uint8_t> writes;                  // immediate writes
    int reads = 0;                                // immediate reads
    uint32_t rate = 0;                            // the rate in force
    int opens = 0;
    int closes = 0;

    // Every state sent, in order, whatever transfer it was in.
    std::vector<uint8_t> AllStates() const;

    PinOpenResult OpenPins(std::string_view) override {
        ++opens;
        return openResult;
    }
    void ClosePins() override { ++closes; }
    std::string PinError() const override { return "the recording port failed"; }
    std::size_t StreamCapacity() const override { return capacity; }
    uint32_t SetStateRate(uint32_t hz) override {
        rate = fixedRate != 0 ? fixedRate : hz;
        return rate;
    }
    bool WritePins(uint8_t state) override;
    bool ReadPins(uint8_t* pins) override;
    bool Transfer(std::span<const uint8_t> states, std::span<uint8_t> samples) override;

    // Transfers in flight: the most states submitted and not collected (0:
    // only Transfer), the collect that brings a sample too few (0: the
    // first; -1: none), and what was in flight at most.
    std::size_t inFlightLimit = 0;
    int shortCollectAt = -1;
    std::size_t mostInFlight = 0;
    int collects = 0;
    std::size_t InFlightLimit() const override { return inFlightLimit; }
    // The samples of one packet back (1: none).
    std::size_t samplesPerPacket = 1;
    std::size_t SamplesPerPacket() const override { return samplesPerPacket; }
    bool Submit(std::span<const uint8_t> states) override;
    bool Collect(std::span<uint8_t> samples) override;

  private:
    uint8_t Pins(uint8_t state) const { return inputs ? inputs(state) : 0xFF; }
    uint8_t applied_ = 0xFF;     // the state on the pins now
    std::vector<uint8_t> back_;  // samples of the states in flight
};

}  // namespace ostrel::testing
