// FTDI USB-serial adapters in synchronous bit-bang mode, through libftdi1.
//
// A serial port name (COM1..COM8, see port_names.h) whose device is a tty of
// the ftdi_sio driver on an FT232R or an FT-X chip, or whose device is
// "ftdi:SERIAL" (an adapter chosen by its serial number; "ftdi:" takes the
// first one), opens the adapter's pins instead of the tty: the kernel driver
// is detached while Ostrel holds the adapter and attached again when it lets
// go, so the tty comes back. Any other name is not this backend's.
//
// The chip, its pins, its buffers and what may be in flight are described
// in platform/ftdi_bit_bang.h, where the checks of every transfer are made.
// Here: one transfer at a time is a plain write and the reads that bring its
// samples back; transfers in flight are libftdi's asynchronous writes, while
// one asynchronous read at a time brings the samples back (the library reads
// into one buffer of its context, so two reads may not overlap).
//
// The library is reached through its C functions only; the tests link a
// stand-in of those functions (tests/support/linux/fake_libftdi.cpp) that
// models the chip, so this code runs in them as it is.
#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ftdi_bit_bang.h"
#include "platform/linux/sys_calls.h"
#include "platform/linux/usb_serial.h"
#include "platform/port_names.h"

struct ftdi_context;
struct ftdi_transfer_control;

namespace ostrel {

class LinuxFtdiPort : public FtdiBitBangPort {
  public:
    // `sys` checks that no other program holds the adapter's tty before the
    // driver is detached; `sysfsRoot` is where the tty's USB device is
    // found ("/sys"; a prepared folder in tests).
    explicit LinuxFtdiPort(SysCalls& sys, EnvironmentLookup environment = ProcessEnvironment(),
                           std::filesystem::path sysfsRoot = "/sys");
    ~LinuxFtdiPort() override;
    LinuxFtdiPort(const LinuxFtdiPort&) = delete;
    LinuxFtdiPort& operator=(const LinuxFtdiPort&) = delete;

    PinOpenResult OpenPins(std::string_view portName) override;

  private:
    bool DeviceOpen() const override { return ftdi_ != nullptr; }
    bool SendRate(const FtdiStateRate& rate) override;
    bool ReadPinsNow(uint8_t* pins) override;
    bool ExchangeStates(std::span<const uint8_t> states, std::span<uint8_t> samples) override;
    bool SendStates(std::span<const uint8_t> states) override;
    bool GatherSamples(std::span<uint8_t> samples) override;
    // Lets every asynchronous transfer end; nothing in flight stays.
    void DropInFlight() override;
    void Release() override;

    bool Failed(const char* what);
    bool StartRead();
    bool FinishRead();

    // The writes in flight, each with its states (the library sends from them).
    struct PendingWrite {
        std::vector<uint8_t> states;
        ftdi_transfer_control* control = nullptr;
    };
    std::deque<PendingWrite> writes_;
    // The one read in flight, the samples it asked for, and the states
    // submitted whose samples no read has asked for yet.
    ftdi_transfer_control* read_ = nullptr;
    std::vector<uint8_t> readBuffer_;
    std::size_t unread_ = 0;
    // Samples back and not collected yet.
    std::deque<uint8_t> back_;
    // Samples read back since the oldest write in flight was submitted.
    std::size_t backSinceOldest_ = 0;

    SysCalls& sys_;
    EnvironmentLookup environment_;
    std::filesystem::path sysfsRoot_;
    ftdi_context* ftdi_ = nullptr;
};

}  // namespace ostrel
