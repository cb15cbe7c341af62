// The GPIO lines of a single-board computer (a Raspberry Pi's header, for
// example) as the port "GPIO": three outputs for SCK, MOSI and RESET and one
// input for MISO, lines of one GPIO chip (/dev/gpiochipN) that the user
// names. The cable is four wires (and ground) straight to the target: no
// inversion, no loop-back. Each line change is one set of all three outputs,
// one system call; each MISO read one more. While the port is open the lines
// belong to this program; when it lets go, RESET is left high (the target
// runs) whatever happened, also when the program ends.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "core/port_access.h"
#include "platform/gpio_wiring.h"
#include "platform/linux/gpio_lines.h"
#include "platform/linux/sys_calls.h"

namespace ostrel {

class LinuxGpioPort : public PinPort {
  public:
    // The port's name.
    static constexpr std::string_view kPortName = "GPIO";

    // `sys` makes the calls of the character device, and is asked for the
    // chip's owner group when it refuses to open.
    explicit LinuxGpioPort(SysCalls& sys) : sys_(sys) {}
    ~LinuxGpioPort() override;
    LinuxGpioPort(const LinuxGpioPort&) = delete;
    LinuxGpioPort& operator=(const LinuxGpioPort&) = delete;

    // The lines to use from the next open on.
    void SetWiring(const GpioWiring& wiring) { wiring_ = wiring; }
    const GpioWiring& Wiring() const { return wiring_; }

    // "GPIO", with the wiring set before, or "GPIO:" and a wiring as
    // ParseGpioWiring reads it; every other name is not this port's.
    PinOpenResult OpenPins(std::string_view portName) override;
    // RESET high (released), SCK and MOSI low, then the lines are given back.
    void ClosePins() override;
    std::string PinOpenNote() const override { return note_; }
    std::string PinError() const override { return error_; }

    std::size_t StreamCapacity() const override { return 0; }
    uint32_t SetStateRate(uint32_t /*hz*/) override { return 0; }
    // Bits 0, 1 and 2: SCK, MOSI and RESET, in one call.
    bool WritePins(uint8_t state) override;
    // Bit 3: MISO.
    bool ReadPins(uint8_t* pins) override;
    // One state after another, each read before it is written.
    bool Transfer(std::span<const uint8_t> states, std::span<uint8_t> samples) override;

    bool IsOpen() const { return lines_ != nullptr; }

  private:
    // The path of the chip the wiring names by its label; empty, with the
    // note listing the chips there are, when none has it.
    std::string FindChip();

    SysCalls& sys_;
    GpioWiring wiring_;
    std::unique_ptr<GpioLines> lines_;
    std::string note_;
    std::string error_;
};

}  // namespace ostrel
