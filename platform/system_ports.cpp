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

}  // namespace ostrel
