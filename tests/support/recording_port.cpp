#include "tests/support/recording_port.h"

#include <cstdio>

namespace ostrel::testing {

namespace {
const char* FunctionName(CommFunction f) {
    switch (f) {
        case CommFunction::SetRts:
            return "SETRTS";
        case CommFunction::ClrRts:
            return "CLRRTS";
        case CommFunction::SetDtr:
            return "SETDTR";
        case CommFunction::ClrDtr:
            return "CLRDTR";
        case CommFunction::SetBreak:
            return "SETBREAK";
        case CommFunction::ClrBreak:
            return "CLRBREAK";
    }
    return "?";
}
}  // namespace

std::string ToString(const PortCall& call) {
    char buf[64];
    switch (call.kind) {
        case PortCall::Kind::OpenSerial:
            return "open " + call.name;
        case PortCall::Kind::CloseSerial:
            return "close";
        case PortCall::Kind::Escape:
            return FunctionName(call.function);
        case PortCall::Kind::ModemStatus:
            std::snprintf(buf, sizeof buf, "status %02X", call.value);
            return buf;
        case PortCall::Kind::WriteData:
            std::snprintf(buf, sizeof buf, "out %03X %02X", call.base, call.value);
            return buf;
        case PortCall::Kind::ReadData:
            std::snprintf(buf, sizeof buf, "in %03X", call.base);
            return buf;
        case PortCall::Kind::ReadWord:
            std::snprintf(buf, sizeof buf, "inw %03X", call.base);
            return buf;
        case PortCall::Kind::ReadStatus:
            std::snprintf(buf, sizeof buf, "in %03X", call.base + 1);
            return buf;
        case PortCall::Kind::ReadControl:
            std::snprintf(buf, sizeof buf, "inc %03X", call.base);
            return buf;
        case PortCall::Kind::WriteControl:
            std::snprintf(buf, sizeof buf, "outc %03X %02X", call.base, call.value);
            return buf;
    }
    return "?";
}

SerialOpenResult RecordingPort::OpenSerial(std::string_view comName) {
    PortCall call;
    call.kind = PortCall::Kind::OpenSerial;
    call.name = std::string(comName);
    calls.push_back(call);
    ++openCount;
    serialOpen = openResult == SerialOpenResult::Ok;
    return openResult;
}

void RecordingPort::CloseSerial() {
    PortCall call;
    call.kind = PortCall::Kind::CloseSerial;
    calls.push_back(call);
    serialOpen = false;
}

void RecordingPort::EscapeCommFunction(CommFunction function) {
    PortCall call;
    call.kind = PortCall::Kind::Escape;
    call.function = function;
    calls.push_back(call);
}

uint32_t RecordingPort::GetModemStatus() {
    uint32_t v = modemStatusFn ? modemStatusFn() : modemStatus;
    PortCall call;
    call.kind = PortCall::Kind::ModemStatus;
    call.value = v;
    calls.push_back(call);
    return v;
}

void RecordingPort::WriteData(uint16_t base, uint8_t value) {
    PortCall call;
    call.kind = PortCall::Kind::WriteData;
    call.base = base;
    call.value = value;
    calls.push_back(call);
    lastData_ = value;
}

uint8_t RecordingPort::ReadData(uint16_t base) {
    PortCall call;
    call.kind = PortCall::Kind::ReadData;
    call.base = base;
    call.value = dataReadsBack ? lastData_ : dataValue;
    calls.push_back(call);
    return static_cast<uint8_t>(call.value);
}

uint16_t RecordingPort::ReadWord(uint16_t base) {
    PortCall call;
    call.kind = PortCall::Kind::ReadWord;
    call.base = base;
    call.value = wordFn ? wordFn() : word;
    calls.push_back(call);
    return static_cast<uint16_t>(call.value);
}

uint8_t RecordingPort::ReadStatus(uint16_t base) {
    PortCall call;
    call.kind = PortCall::Kind::ReadStatus;
    call.base = base;
    call.value = static_cast<uint32_t>((wordFn ? wordFn() : word) >> 8);
    calls.push_back(call);
    return static_cast<uint8_t>(call.value);
}

uint8_t RecordingPort::ReadControl(uint16_t base) {
    PortCall call;
    call.kind = PortCall::Kind::ReadControl;
    call.base = base;
    call.value = control;
    calls.push_back(call);
    return control;
}

void RecordingPort::WriteControl(uint16_t base, uint8_t value) {
    PortCall call;
    call.kind = PortCall::Kind::WriteControl;
    call.base = base;
    call.value = value;
    calls.push_back(call);
    control = value;
}

std::vector<PortCall> RecordingPort::Calls(PortCall::Kind kind) const {
    std::vector<PortCall> out;
    for (const auto& c : calls)
        if (c.kind == kind)
            out.push_back(c);
    return out;
}

std::vector<CommFunction> RecordingPort::Escapes() const {
    std::vector<CommFunction> out;
    for (const auto& c : calls)
        if (c.kind == PortCall::Kind::Escape)
            out.push_back(c.function);
    return out;
}

std::vector<uint8_t> RecordingPort::DataWrites() const {
    std::vector<uint8_t> out;
    for (const auto& c : calls)
        if (c.kind == PortCall::Kind::WriteData)
            out.push_back(static_cast<uint8_t>(c.value));
    return out;
}

}  // namespace ostrel::testing

namespace ostrel::testing {
std::vector<uint8_t> SentBytes(const RecordingPort& port) {
    std::vector<uint8_t> bytes;
    uint8_t previous = 0;
    int bits = 0;
    uint8_t current = 0;
    for (const auto& call : port.calls) {
        if (call.kind != PortCall::Kind::WriteData)
            continue;
        auto value = static_cast<uint8_t>(call.value);
        if ((value & 0x02) && !(previous & 0x02)) {
            current = static_cast<uint8_t>((current << 1) | (value & 0x01));
            if (++bits == 8) {
                bytes.push_back(current);
                bits = 0;
                current = 0;
            }
        }
        previous = value;
    }
    return bytes;
}
}  // namespace ostrel::testing
