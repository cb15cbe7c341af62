// The parallel port of the adapter cable on Linux, through the ppdev driver
// (/dev/parportN).
//
// ppdev gives each register of the port as the processor's port instructions
// do: PPWDATA/PPRDATA for the data register, PPRSTATUS for the status
// register, PPRCONTROL/PPWCONTROL for the control register. The one
// difference is the control register's bit 5 (mask 0x20), which switches the
// data lines to input: ppdev keeps it out of PPWCONTROL and PPRCONTROL and
// sets it with PPDATADIR instead. This backend keeps its own image of that bit,
// turns a change of it into one PPDATADIR, and puts it back into what
// ReadControl returns, so callers see the register as it is on the hardware.
//
// Each device is opened and claimed on the first access to its base address
// and stays claimed until the backend goes (then PPRELEASE and close). A base
// whose device cannot be opened or claimed is not tried again: its writes do
// nothing and its reads return 0xFF in every register (0xFFFF for the word),
// which is what port instructions read at an address where no port answers.
// The program decides at start, with Available or AnyAvailable, whether it
// has parallel access at all.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/port_access.h"
#include "platform/linux/sys_calls.h"
#include "platform/port_names.h"

namespace ostrel {

class LinuxParallelPort : public ParallelRegisters {
  public:
    explicit LinuxParallelPort(SysCalls& sys, EnvironmentLookup environment = ProcessEnvironment());
    ~LinuxParallelPort() override;
    LinuxParallelPort(const LinuxParallelPort&) = delete;
    LinuxParallelPort& operator=(const LinuxParallelPort&) = delete;

    // True when the device of this base address is open and claimed; opens and
    // claims it on the first call.
    bool Available(uint16_t base);
    // True when the device of any of the three standard base addresses (0x378,
    // 0x278, 0x3BC, tried in that order) can be opened and claimed. Stops at
    // the first that can, so only that one is claimed.
    bool AnyAvailable();
    // Advice for the user about a base whose device could not be opened or
    // claimed (port_hints.h: load ppdev, join the lp group, ...); empty when
    // the base is usable or was never tried.
    std::string FailureHint(uint16_t base);

    void WriteData(uint16_t base, uint8_t value) override;
    uint8_t ReadData(uint16_t base) override;
    // Data register in bits 0-7, status register in bits 8-15 (MISO, status
    // bit 6, is word bit 14): two ioctls, PPRDATA and PPRSTATUS.
    uint16_t ReadWord(uint16_t base) override;
    // PPRSTATUS alone: one ioctl.
    uint8_t ReadStatus(uint16_t base) override;
    uint8_t ReadControl(uint16_t base) override;
    void WriteControl(uint16_t base, uint8_t value) override;

  private:
    struct Device {
        uint16_t base = 0;
        int fd = -1;            // open and claimed when >= 0
        uint8_t direction = 0;  // control bit 5 as last set: 0x20 data lines in, 0 out
        std::string path;       // the device of the base
        int error = 0;          // errno of the failed open or claim
    };

    // The claimed device of a base, opening and claiming it on first use;
    // null when the base has no usable device.
    Device* Claimed(uint16_t base);
    uint8_t ReadRegister(const Device& device, unsigned long request);

    SysCalls& sys_;
    EnvironmentLookup environment_;
    // One entry per base address that has a device path, usable or not; at
    // most the three standard ones.
    std::vector<Device> devices_;
};

}  // namespace ostrel
