// The serial port of the adapter cable on Linux: a tty device driven through
// termios and the modem-control ioctls.
//
// The cable only uses the control lines: RTS and DTR and the break state of
// the transmit line go out, CTS, DSR and RI come back. No character is ever
// sent or received, but the port still gets the line settings and read
// time-outs the programmer has always used, so a port left behind looks the
// same as on any other system.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "core/port_access.h"
#include "platform/linux/sys_calls.h"
#include "platform/port_names.h"

namespace ostrel {

class LinuxSerialPort : public SerialLines {
  public:
    // `sysfsRoot` is where the kernel's device tree is read to recognise a
    // USB-serial adapter ("/sys"; a prepared folder in tests).
    explicit LinuxSerialPort(SysCalls& sys, EnvironmentLookup environment = ProcessEnvironment(),
                             std::filesystem::path sysfsRoot = "/sys");
    ~LinuxSerialPort() override;
    LinuxSerialPort(const LinuxSerialPort&) = delete;
    LinuxSerialPort& operator=(const LinuxSerialPort&) = delete;

    // Opens the tty behind the name (see port_names.h) for this program
    // alone (an advisory lock and the tty's exclusive mode, both given up on
    // close) and configures it. A port that is already open is closed first.
    // On any failure nothing stays open, so the next attempt starts afresh; a
    // port held by another program fails with EBUSY.
    SerialOpenResult OpenSerial(std::string_view comName) override;
    void CloseSerial() override;
    // One ioctl per call; does nothing while no port is open.
    void EscapeCommFunction(CommFunction function) override;
    // CTS, DSR and RI in the classic bit values; 0 when no port is open or the
    // lines cannot be read.
    uint32_t GetModemStatus() override;
    // After a failure the advice for its error and device (port_hints.h);
    // after success the USB note when the device is a USB-serial adapter
    // (usb_serial.h).
    std::string SerialOpenNote() const override { return attempt_.note; }

    bool IsOpen() const { return fd_ >= 0; }
    // The device of the last open attempt and the system's error number of its
    // failure (0 after success; ENODEV for a name with no device), so a front
    // end can say which device failed and why.
    const std::string& LastPath() const { return attempt_.path; }
    int LastError() const { return lastError_; }

  private:
    SerialOpenResult Fail(int fd, SerialOpenResult result);
    // Gives up the exclusive mode and the lock, and closes.
    void Release(int fd);
    void SetLines(unsigned long request, int bits);

    SysCalls& sys_;
    EnvironmentLookup environment_;
    std::filesystem::path sysfsRoot_;
    int fd_ = -1;
    bool exclusive_ = false;  // TIOCEXCL is in force on fd_
    SerialOpenAttempt attempt_;
    int lastError_ = 0;
};

// Line settings of the programmer on a termios record read from the port:
// 9600 baud, 8 data bits, no parity, one stop bit, receiver on, modem control
// lines ignored for open and read, no hardware flow control. Everything else
// stays as read.
void ApplySerialLineSettings(termios& settings);
// The read time-outs: a read returns at once with whatever has arrived.
void ApplySerialReadTimeouts(termios& settings);

// Converts the TIOCMGET line bits to kMsCtsOn, kMsDsrOn and kMsRingOn.
uint32_t ModemStatusFromLines(int lines);

}  // namespace ostrel
