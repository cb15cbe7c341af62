// FTDI USB-serial adapters in synchronous bit-bang mode, through libftdi1.
//
// A serial port name (COM1..COM8, see port_names.h) whose device is a tty of
// the ftdi_sio driver on an FT232R or an FT-X chip, or whose device is
// "ftdi:SERIAL" (an adapter chosen by its serial number; "ftdi:" takes the
// first one), opens the adapter's pins instead of the tty: the kernel driver
// is detached while Ostrel holds the adapter and attached again when it lets
// go, so the tty comes back. Any other name is not this backend's.
//
// In synchronous bit-bang mode the chip applies each byte written to its
// pins D0..D7 (TXD, RXD, RTS#, CTS#, DTR#, DSR#, DCD#, RI#) at its state
// rate, and reads the pins just before it applies the next, so what a write
// of n bytes reads back is n samples, one state late. The outputs are the
// pins that drive the RS-232 transceiver (TXD, RTS, DTR); the others are
// inputs. No more bytes are written in one transfer than the chip's receive
// buffer holds (128 on the FT232R, 512 on the FT-X chips).
//
// Transfers may be kept in flight (Submit, Collect): the writes go out with
// libftdi's asynchronous calls while one asynchronous read at a time brings
// the samples back (the library reads into one buffer of its context, so
// two reads may not overlap). The chip stalls rather than lose a sample
// while its buffer to the host is full, so what is in flight is limited to
// what its two buffers hold together, and no write waits long for room:
// 128 + 128 on the FT232R (FTDI's data sheets disagree on which of its
// buffers holds 256; the smaller reading is taken for both), 512 + 512 on
// the FT-X chips.
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

#include "core/port_access.h"
#include "platform/linux/sys_calls.h"
#include "platform/linux/usb_serial.h"
#include "platform/port_names.h"

struct ftdi_context;
struct ftdi_transfer_control;

namespace ostrel {

class LinuxFtdiPort : public PinPort {
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
    void ClosePins() override;
    std::string PinOpenNote() const override { return note_; }
    std::string PinError() const override { return error_; }

    // 128 states on the FT232R, 512 on the FT-X chips; 0 while none is open.
    std::size_t StreamCapacity() const override;
    // The FT-X chips take the rate asked for (from 183 states a second up to
    // 750 000). The FT232R always runs at its top rate, 750 000 (the
    // undivided 3 MHz bit-bang clock), see the .cpp; the adapter layer makes
    // a phase of several states.
    uint32_t SetStateRate(uint32_t hz) override;
    bool WritePins(uint8_t state) override;
    bool ReadPins(uint8_t* pins) override;
    bool Transfer(std::span<const uint8_t> states, std::span<uint8_t> samples) override;
    std::size_t InFlightLimit() const override;
    bool Submit(std::span<const uint8_t> states) override;
    bool Collect(std::span<uint8_t> samples) override;

    bool IsOpen() const { return ftdi_ != nullptr; }
    FtdiBitBangChip Chip() const { return chip_; }

  private:
    PinOpenResult Fail(std::string note);
    void Release();
    bool Failed(const char* what);
    bool StartRead();
    bool FinishRead();
    // Lets every asynchronous transfer end; nothing in flight stays.
    void Drain();

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
    // Samples back and not collected yet; states submitted and not collected.
    std::deque<uint8_t> back_;
    std::size_t inFlight_ = 0;
    // Samples read back since the oldest write in flight was submitted.
    std::size_t backSinceOldest_ = 0;

    SysCalls& sys_;
    EnvironmentLookup environment_;
    std::filesystem::path sysfsRoot_;
    ftdi_context* ftdi_ = nullptr;
    FtdiBitBangChip chip_ = FtdiBitBangChip::None;
    std::string portName_;
    std::string note_;
    std::string error_;
};

}  // namespace ostrel
