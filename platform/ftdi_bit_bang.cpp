#include "platform/ftdi_bit_bang.h"

#include <algorithm>
#include <utility>

#include "platform/port_names.h"

namespace ostrel {

const char* FtdiChipName(FtdiBitBangKind kind) {
    return kind == FtdiBitBangKind::Ft232r ? "FT232R" : "FT-X";
}

std::size_t FtdiBufferStates(FtdiBitBangKind kind) {
    switch (kind) {
        case FtdiBitBangKind::Ft232r:
            return 128;
        case FtdiBitBangKind::FtX:
            return 512;
        case FtdiBitBangKind::None:
            break;
    }
    return 0;
}

FtdiStateRate FtdiRateFor(FtdiBitBangKind kind, uint32_t hz) {
    FtdiStateRate rate;
    if (kind == FtdiBitBangKind::FtX) {
        hz = std::clamp(hz, kFtdiBottomStateRate, kFtdiTopStateRate);
        rate.divisor = (kFtdiTopStateRate + hz - 1) / hz;
    }
    rate.statesPerSecond = (kFtdiTopStateRate + rate.divisor - 1) / rate.divisor;
    return rate;
}

std::optional<std::string> FtdiSerialOf(std::string_view device) {
    if (device.substr(0, kFtdiPortPrefix.size()) != kFtdiPortPrefix)
        return std::nullopt;
    return std::string(device.substr(kFtdiPortPrefix.size()));
}

std::string FtdiAdapterName(const std::optional<std::string>& bySerial, std::string_view portName) {
    if (!bySerial)
        return "FTDI adapter of " + std::string(portName);
    if (bySerial->empty())
        return "FTDI adapter";
    return "FTDI adapter with serial number " + *bySerial;
}

PinOpenResult FtdiBitBangPort::Fail(std::string note) {
    note_ = std::move(note);
    Release();
    return PinOpenResult::Failed;
}

PinOpenResult FtdiBitBangPort::FinishOpen(const std::string& adapterName) {
    if (SetStateRate(kFtdiTopStateRate / 2) == 0 || !WritePins(kFtdiRestPins))
        return Fail("The " + adapterName + " failed at once (" + error_ + ").");
    note_ = portName_ + ": FTDI " + FtdiChipName(chip_) +
            " adapter in synchronous bit-bang mode, many line changes to one USB transfer";
    return PinOpenResult::Ok;
}

void FtdiBitBangPort::Forget() {
    chip_ = FtdiBitBangKind::None;
    stateRate_ = 0;
    inFlight_ = 0;
}

void FtdiBitBangPort::ClosePins() {
    if (!DeviceOpen())
        return;
    DropInFlight();
    inFlight_ = 0;
    // The lines go to rest before the chip is handed back.
    WritePins(kFtdiRestPins);
    Release();
}

bool FtdiBitBangPort::Usable() {
    if (DeviceOpen())
        return true;
    error_ = "the adapter is not open";
    return false;
}

std::size_t FtdiBitBangPort::StreamCapacity() const {
    return DeviceOpen() ? FtdiBufferStates(chip_) : 0;
}

std::size_t FtdiBitBangPort::InFlightLimit() const {
    return 2 * StreamCapacity();
}

uint32_t FtdiBitBangPort::SetStateRate(uint32_t hz) {
    if (!DeviceOpen())
        return 0;
    const FtdiStateRate rate = FtdiRateFor(chip_, hz);
    if (!SendRate(rate))
        return 0;
    stateRate_ = rate.statesPerSecond;
    return stateRate_;
}

bool FtdiBitBangPort::WritePins(uint8_t state) {
    uint8_t sample = 0;
    return Transfer(std::span<const uint8_t>(&state, 1), std::span<uint8_t>(&sample, 1));
}

bool FtdiBitBangPort::ReadPins(uint8_t* pins) {
    return DeviceOpen() && ReadPinsNow(pins);
}

bool FtdiBitBangPort::Transfer(std::span<const uint8_t> states, std::span<uint8_t> samples) {
    if (!Usable())
        return false;
    const std::size_t count = std::min(states.size(), samples.size());
    if (count == 0)
        return true;
    if (inFlight_ > 0) {
        error_ = "a transfer while others are in flight";
        return false;
    }
    if (count > StreamCapacity()) {
        error_ = "more states than the adapter holds";
        return false;
    }
    return ExchangeStates(states.first(count), samples.first(count));
}

bool FtdiBitBangPort::ExchangeStates(std::span<const uint8_t> states, std::span<uint8_t> samples) {
    return Submit(states) && Collect(samples);
}

bool FtdiBitBangPort::Submit(std::span<const uint8_t> states) {
    if (!Usable())
        return false;
    if (states.empty())
        return true;
    if (states.size() > StreamCapacity() || inFlight_ + states.size() > InFlightLimit()) {
        error_ = "more states than the adapter holds";
        return false;
    }
    if (!SendStates(states))
        return false;
    inFlight_ += states.size();
    return true;
}

bool FtdiBitBangPort::Collect(std::span<uint8_t> samples) {
    if (!Usable())
        return false;
    if (samples.size() > inFlight_) {
        error_ = "more samples asked for than states in flight";
        return false;
    }
    if (samples.empty())
        return true;
    // After a failure nothing in flight may be trusted: it stays counted, so
    // only a close (which drops it) lets the port transfer again.
    if (!GatherSamples(samples))
        return false;
    inFlight_ -= samples.size();
    return true;
}

}  // namespace ostrel
