// A port backend for tests that logs every call in order and answers reads
// from values or functions the test sets, so a test can assert the exact
// sequence of port accesses an operation makes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/port_access.h"

namespace ostrel::testing {

struct PortCall {
    enum class Kind {
        OpenSerial,
        CloseSerial,
        Escape,
        ModemStatus,
        WriteData,
        ReadData,
        ReadWord,
        ReadStatus,
        ReadControl,
        WriteControl
    };
    Kind kind = Kind::OpenSerial;
    CommFunction function = CommFunction::SetRts;  // Escape
    uint16_t base = 0;                             // parallel calls
    uint32_t value = 0;                            // written or returned value
    std::string name;                              // OpenSerial
};

std::string ToString(const PortCall& call);

class RecordingPort : public PortAccess {
  public:
    SerialOpenResult OpenSerial(std::string_view comName) override;
    void CloseSerial() override;
    void EscapeCommFunction(CommFunction function) override;
    uint32_t GetModemStatus() override;
    void WriteData(uint16_t base, uint8_t value) override;
    uint8_t ReadData(uint16_t base) override;
    uint16_t ReadWord(uint16_t base) override;
    uint8_t ReadStatus(uint16_t base) override;
    uint8_t ReadControl(uint16_t base) override;
    void WriteControl(uint16_t base, uint8_t value) override;

    // Answers. Functions, when set, win over the plain values.
    SerialOpenResult openResult = SerialOpenResult::Ok;
    uint32_t modemStatus = 0;
    std::function<uint32_t()> modemStatusFn;
    // The data and status registers as ReadWord gives them; ReadStatus
    // answers the high byte.
    uint16_t word = 0;
    std::function<uint16_t()> wordFn;
    uint8_t control = 0;
    // When set, ReadData returns the last value written (a port that drives its data lines).
    bool dataReadsBack = true;
    uint8_t dataValue = 0;

    std::vector<PortCall> calls;
    int openCount = 0;
    bool serialOpen = false;

    // Calls of one kind, in order.
    std::vector<PortCall> Calls(PortCall::Kind kind) const;
    // The escape functions issued, in order.
    std::vector<CommFunction> Escapes() const;
    // The values written to the data register, in order.
    std::vector<uint8_t> DataWrites() const;
    void Clear() { calls.clear(); }

  private:
    uint8_t lastData_ = 0;
};

}  // namespace ostrel::testing

namespace ostrel::testing {
// The bytes a parallel-cable transfer sent: MOSI at each rising SCK edge,
// eight bits to a byte, most significant first.
std::vector<uint8_t> SentBytes(const RecordingPort& port);
}  // namespace ostrel::testing
