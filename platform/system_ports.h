// The one port access the programs use. Serial calls go to the serial backend,
// parallel calls to the parallel backend. An extra backend (the simulator, for
// example) can be plugged in: it takes the serial calls while the port named
// "SIM" is open. The ports of pins are plugged in the same way, where the
// system has them: FTDI adapters in bit-bang mode behind serial port names,
// and the GPIO lines behind "GPIO".
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "core/port_access.h"

namespace ostrel {

class SystemPorts : public PortAccess, public PinPort {
  public:
    // The name under which the extra backend is opened.
    static constexpr std::string_view kExtraPortName = "SIM";

    SystemPorts(SerialLines& serial, ParallelRegisters& parallel)
        : serial_(serial), parallel_(parallel) {}

    // Sets or removes the extra backend. Removing it while it holds the open
    // serial port closes that port first.
    void SetExtraBackend(SerialLines* extra);
    // Sets the backends of the ports of pins (null: none): `bitBang` is asked
    // for every serial port name, `gpio` takes "GPIO" (and "GPIO:...").
    void SetPinBackends(PinPort* bitBang, PinPort* gpio);

    // Opens by name: "SIM" goes to the extra backend when there is one, every
    // other name to the serial backend. The backend that held the port before
    // is closed first, so at most one serial port is ever open.
    SerialOpenResult OpenSerial(std::string_view comName) override;
    void CloseSerial() override;
    void EscapeCommFunction(CommFunction function) override;
    uint32_t GetModemStatus() override;
    // The note of the backend that took the last serial open.
    std::string SerialOpenNote() const override;
    void CommandEnded() override;

    void WriteData(uint16_t base, uint8_t value) override;
    uint8_t ReadData(uint16_t base) override;
    uint16_t ReadWord(uint16_t base) override;
    uint8_t ReadStatus(uint16_t base) override;
    uint8_t ReadControl(uint16_t base) override;
    void WriteControl(uint16_t base, uint8_t value) override;
    bool LastAccessReached() const override { return parallel_.LastAccessReached(); }

    // --- PinPort: to the backend that took the last OpenPins ---
    PinOpenResult OpenPins(std::string_view portName) override;
    void ClosePins() override;
    std::string PinOpenNote() const override;
    std::string PinError() const override;
    std::size_t StreamCapacity() const override;
    uint32_t SetStateRate(uint32_t hz) override;
    bool WritePins(uint8_t state) override;
    bool ReadPins(uint8_t* pins) override;
    bool Transfer(std::span<const uint8_t> states, std::span<uint8_t> samples) override;
    std::size_t InFlightLimit() const override;
    std::size_t SamplesPerPacket() const override;
    bool Submit(std::span<const uint8_t> states) override;
    bool Collect(std::span<uint8_t> samples) override;

  private:
    SerialLines& serial_;
    ParallelRegisters& parallel_;
    SerialLines* extra_ = nullptr;
    // The backend that took the last serial open; serial calls go there.
    SerialLines* serialTarget_ = &serial_;
    PinPort* bitBang_ = nullptr;
    PinPort* gpio_ = nullptr;
    PinPort* pinTarget_ = nullptr;  // the backend of the open port of pins
    std::string pinNote_;
};

}  // namespace ostrel
