#include "platform/system_ports.h"

namespace ostrel {

void SystemPorts::SetExtraBackend(SerialLines* extra) {
    if (serialTarget_ == extra_ && extra_ != nullptr && extra != extra_) {
        extra_->CloseSerial();
        serialTarget_ = &serial_;
    }
    extra_ = extra;
}

SerialOpenResult SystemPorts::OpenSerial(std::string_view comName) {
    SerialLines* target = (extra_ != nullptr && comName == kExtraPortName) ? extra_ : &serial_;
    if (target != serialTarget_)
        serialTarget_->CloseSerial();
    serialTarget_ = target;
    return target->OpenSerial(comName);
}

void SystemPorts::CloseSerial() {
    serialTarget_->CloseSerial();
}

void SystemPorts::EscapeCommFunction(CommFunction function) {
    serialTarget_->EscapeCommFunction(function);
}

uint32_t SystemPorts::GetModemStatus() {
    return serialTarget_->GetModemStatus();
}

std::string SystemPorts::SerialOpenNote() const {
    return serialTarget_->SerialOpenNote();
}

void SystemPorts::CommandEnded() {
    serialTarget_->CommandEnded();
}

void SystemPorts::WriteData(uint16_t base, uint8_t value) {
    parallel_.WriteData(base, value);
}
uint8_t SystemPorts::ReadData(uint16_t base) {
    return parallel_.ReadData(base);
}
uint16_t SystemPorts::ReadWord(uint16_t base) {
    return parallel_.ReadWord(base);
}
uint8_t SystemPorts::ReadStatus(uint16_t base) {
    return parallel_.ReadStatus(base);
}
uint8_t SystemPorts::ReadControl(uint16_t base) {
    return parallel_.ReadControl(base);
}
void SystemPorts::WriteControl(uint16_t base, uint8_t value) {
    parallel_.WriteControl(base, value);
}

void SystemPorts::SetPinBackends(PinPort* bitBang, PinPort* gpio) {
    if (pinTarget_ != nullptr)
        pinTarget_->ClosePins();
    pinTarget_ = nullptr;
    bitBang_ = bitBang;
    gpio_ = gpio;
}

PinOpenResult SystemPorts::OpenPins(std::string_view portName) {
    constexpr std::string_view kGpio = "GPIO";
    const bool gpio = portName.substr(0, kGpio.size()) == kGpio;
    PinPort* target = gpio ? gpio_ : bitBang_;
    if (pinTarget_ != nullptr && pinTarget_ != target)
        pinTarget_->ClosePins();
    pinTarget_ = target;
    pinNote_.clear();
    if (target == nullptr) {
        if (!gpio)
            return PinOpenResult::NotThisPort;
        pinNote_ = "This system has no GPIO lines Ostrel can use.";
        return PinOpenResult::Failed;
    }
    // The simulator's port is never a port of pins.
    if (portName == kExtraPortName && extra_ != nullptr)
        return PinOpenResult::NotThisPort;
    return target->OpenPins(portName);
}

void SystemPorts::ClosePins() {
    if (pinTarget_ != nullptr)
        pinTarget_->ClosePins();
}

std::string SystemPorts::PinOpenNote() const {
    return pinTarget_ != nullptr ? pinTarget_->PinOpenNote() : pinNote_;
}

std::string SystemPorts::PinError() const {
    return pinTarget_ != nullptr ? pinTarget_->PinError() : std::string();
}

std::size_t SystemPorts::StreamCapacity() const {
    return pinTarget_ != nullptr ? pinTarget_->StreamCapacity() : 0;
}

uint32_t SystemPorts::SetStateRate(uint32_t hz) {
    return pinTarget_ != nullptr ? pinTarget_->SetStateRate(hz) : 0;
}

bool SystemPorts::WritePins(uint8_t state) {
    return pinTarget_ != nullptr && pinTarget_->WritePins(state);
}

bool SystemPorts::ReadPins(uint8_t* pins) {
    return pinTarget_ != nullptr && pinTarget_->ReadPins(pins);
}

bool SystemPorts::Transfer(std::span<const uint8_t> states, std::span<uint8_t> samples) {
    return pinTarget_ != nullptr && pinTarget_->Transfer(states, samples);
}

std::size_t SystemPorts::InFlightLimit() const {
    return pinTarget_ != nullptr ? pinTarget_->InFlightLimit() : 0;
}

std::size_t SystemPorts::SamplesPerPacket() const {
    return pinTarget_ != nullptr ? pinTarget_->SamplesPerPacket() : 1;
}

bool SystemPorts::Submit(std::span<const uint8_t> states) {
    return pinTarget_ != nullptr && pinTarget_->Submit(states);
}

bool SystemPorts::Collect(std::span<uint8_t> samples) {
    return pinTarget_ != nullptr && pinTarget_->Collect(samples);
}

}  // namespace ostrel
