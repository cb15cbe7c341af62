// The serial port of the adapter cable on Windows: a COM port driven through
// the communications functions of Win32.
//
// The cable only uses the control lines: EscapeCommFunction switches RTS, DTR
// and the break state of the transmit line, GetCommModemStatus reads CTS, DSR
// and RI. No character is ever sent or received, but the port gets the line
// settings (9600 baud, 8 data bits, no parity, one stop bit) and the read
// time-outs the programmer has always used.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/port_access.h"
#include "platform/port_names.h"
#include "platform/win32/sys_calls.h"

namespace ostrel {

class Win32SerialPort : public SerialLines {
  public:
    explicit Win32SerialPort(SysCalls& sys, EnvironmentLookup environment = ProcessEnvironment());
    ~Win32SerialPort() override;
    Win32SerialPort(const Win32SerialPort&) = delete;
    Win32SerialPort& operator=(const Win32SerialPort&) = delete;

    // CreateFileA on the device of the name ("\\.\COM3"; see port_names.h)
    // for this program alone, then GetCommState, SetCommState and
    // SetCommTimeouts. A port that is already open is closed first; on any
    // failure the handle is closed again, so the next attempt starts afresh.
    SerialOpenResult OpenSerial(std::string_view comName) override;
    void CloseSerial() override;
    // One EscapeCommFunction per call; does nothing while no port is open.
    void EscapeCommFunction(CommFunction function) override;
    // GetCommModemStatus: CTS, DSR and RI; 0 when no port is open or the
    // call fails.
    uint32_t GetModemStatus() override;
    // After a failure what to do about it (port_hints.h).
    std::string SerialOpenNote() const override { return attempt_.note; }

    bool IsOpen() const { return handle_ != nullptr; }
    // The device of the last open attempt and the Windows error of its
    // failure (0 after success).
    const std::string& LastPath() const { return attempt_.path; }
    unsigned long LastError() const { return lastError_; }

  private:
    // `error`, when not 0, is the failure's own instead of the last error.
    SerialOpenResult Fail(void* handle, SerialOpenResult result, unsigned long error = 0);

    SysCalls& sys_;
    EnvironmentLookup environment_;
    void* handle_ = nullptr;  // the open port; null when none
    SerialOpenAttempt attempt_;
    unsigned long lastError_ = 0;
};

}  // namespace ostrel
