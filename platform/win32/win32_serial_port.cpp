#include "platform/win32/win32_serial_port.h"

#include <windows.h>

#include <optional>
#include <utility>

#include "platform/win32/port_hints.h"

namespace ostrel {

Win32SerialPort::Win32SerialPort(SysCalls& sys, EnvironmentLookup environment)
    : sys_(sys), environment_(std::move(environment)) {}

Win32SerialPort::~Win32SerialPort() {
    CloseSerial();
}

SerialOpenResult Win32SerialPort::Fail(void* handle, SerialOpenResult result, unsigned long error) {
    lastError_ = error != ERROR_SUCCESS ? error : sys_.GetLastError();
    if (lastError_ == ERROR_SUCCESS)
        lastError_ = ERROR_GEN_FAILURE;
    if (handle != nullptr)
        sys_.CloseHandle(handle);
    attempt_.note = OpenFailureHint(lastError_, attempt_.path, PortKind::Serial, attempt_.portName);
    return result;
}

SerialOpenResult Win32SerialPort::OpenSerial(std::string_view comName) {
    CloseSerial();
    lastError_ = 0;
    if (!attempt_.Begin(comName, environment_))
        return Fail(nullptr, SerialOpenResult::OpenFailed, ERROR_FILE_NOT_FOUND);
    const std::string& path = attempt_.path;

    // No sharing: nobody else may switch the lines while the cable is clocked.
    void* handle =
        sys_.CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING, 0);
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr)
        return Fail(nullptr, SerialOpenResult::OpenFailed);

    DCB settings{};
    settings.DCBlength = sizeof settings;
    if (!sys_.GetCommState(handle, &settings))
        return Fail(handle, SerialOpenResult::ReadSettingsFailed);
    settings.BaudRate = CBR_9600;
    settings.ByteSize = 8;
    settings.Parity = NOPARITY;
    settings.StopBits = ONESTOPBIT;
    if (!sys_.SetCommState(handle, &settings))
        return Fail(handle, SerialOpenResult::WriteSettingsFailed);

    // A read returns after 3 ms between characters or 5 ms in all; nothing
    // is ever read, but a port left behind looks as it always has.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = 3;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 5;
    if (!sys_.SetCommTimeouts(handle, &timeouts))
        return Fail(handle, SerialOpenResult::WriteTimeoutsFailed);
    handle_ = handle;
    return SerialOpenResult::Ok;
}

void Win32SerialPort::CloseSerial() {
    if (handle_ == nullptr)
        return;
    sys_.CloseHandle(handle_);
    handle_ = nullptr;
}

void Win32SerialPort::EscapeCommFunction(CommFunction function) {
    if (handle_ == nullptr)
        return;
    // Results are not checked: a line change that fails goes unnoticed, as
    // the bit transfer above has no way to recover from it anyway.
    DWORD code = 0;
    switch (function) {
        case CommFunction::SetRts:
            code = SETRTS;
            break;
        case CommFunction::ClrRts:
            code = CLRRTS;
            break;
        case CommFunction::SetDtr:
            code = SETDTR;
            break;
        case CommFunction::ClrDtr:
            code = CLRDTR;
            break;
        case CommFunction::SetBreak:
            code = SETBREAK;
            break;
        case CommFunction::ClrBreak:
            code = CLRBREAK;
            break;
    }
    sys_.EscapeCommFunction(handle_, code);
}

uint32_t Win32SerialPort::GetModemStatus() {
    if (handle_ == nullptr)
        return 0;
    DWORD status = 0;
    if (!sys_.GetCommModemStatus(handle_, &status))
        return 0;
    // The classic values are the program's own (kMsCtsOn ...); RLSD is not wired.
    return static_cast<uint32_t>(status & (MS_CTS_ON | MS_DSR_ON | MS_RING_ON));
}

}  // namespace ostrel
