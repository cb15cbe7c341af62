// FTDI USB-serial adapters in synchronous bit-bang mode on Windows, through
// FTDI's D2XX library.
//
// Windows installs FTDI's own driver for the FT232R and FT-X chips by
// itself, and with it the D2XX library, ftd2xx.dll (on a 64-bit system the
// 64-bit library under that same name; ftd2xx64.dll is tried after it). The
// library is loaded at run time by name, as the parallel port loads its
// driver's: nothing to install, nothing shipped, and the COM port stays.
//
// A serial port name (COM1..COM8, see port_names.h) whose device is the COM
// port of an FT232R or FT-X adapter (the number the driver gave it, as
// FT_GetComPortNumber tells), or whose device is "ftdi:SERIAL" (an adapter
// chosen by its serial number; "ftdi:" takes the first one), opens the
// adapter's pins instead of the COM port. Any other name is not this
// backend's, and without the library no COM name is: it is opened as a
// serial port.
//
// The chip in synchronous bit-bang mode applies each byte written to its
// pins D0..D7 at its state rate and samples the pins just before it applies
// the next, so a write of n bytes brings n samples back, one state late (see
// platform/ftdi_bit_bang.h for the pins, the buffers and the rate rule).
// FT_Read gives what has arrived and no more, possibly nothing: the samples
// are gathered by asking the queue's length and reading that, until all are
// there or the backend's own deadline has passed.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "core/clock.h"
#include "platform/ftdi_bit_bang.h"
#include "platform/port_names.h"
#include "platform/win32/sys_calls.h"

namespace ostrel {

// The library's calls are WINAPI: stdcall on 32-bit x86.
#if defined(__i386__)
#define OSTREL_D2XX_CALL __attribute__((stdcall))
#else
#define OSTREL_D2XX_CALL
#endif

// The library's names, looked up by the system's library search order.
inline constexpr const char* kD2xxLibrary = "ftd2xx.dll";
inline constexpr const char* kD2xxFallbackLibrary = "ftd2xx64.dll";

// The D2XX types, as the library's documentation gives them: a status
// (0 is success), a handle, 32-bit unsigned words.
namespace d2xx {
using Status = unsigned long;
using Handle = void*;
using Dword = unsigned long;

inline constexpr Status kOk = 0;
inline constexpr Status kInvalidHandle = 1;
inline constexpr Status kDeviceNotFound = 2;
inline constexpr Status kDeviceNotOpened = 3;
inline constexpr Status kIoError = 4;
inline constexpr Status kInsufficientResources = 5;
inline constexpr Status kInvalidParameter = 6;
inline constexpr Status kNotSupported = 17;
// The chip types of FT_GetDeviceInfoDetail.
inline constexpr Dword kDevice232R = 5;
inline constexpr Dword kDeviceXSeries = 9;
// FT_OpenEx: the first argument is the serial number.
inline constexpr Dword kOpenBySerialNumber = 1;
// FT_GetDeviceInfoDetail's flags: another program has it open.
inline constexpr Dword kFlagOpened = 1;
// FT_SetBitMode's modes.
inline constexpr unsigned char kModeReset = 0x00;
inline constexpr unsigned char kModeSyncBitBang = 0x04;
// FT_Purge's buffers.
inline constexpr Dword kPurgeRx = 1;
inline constexpr Dword kPurgeTx = 2;

// The serial number and description buffers of FT_GetDeviceInfoDetail.
inline constexpr std::size_t kSerialChars = 16;
inline constexpr std::size_t kDescriptionChars = 64;

using CreateDeviceInfoListFn = Status(OSTREL_D2XX_CALL*)(Dword* count);
using GetDeviceInfoDetailFn = Status(OSTREL_D2XX_CALL*)(Dword index, Dword* flags, Dword* type,
                                                        Dword* id, Dword* location, void* serial,
                                                        void* description, Handle* handle);
using OpenExFn = Status(OSTREL_D2XX_CALL*)(void* what, Dword how, Handle* handle);
using CloseFn = Status(OSTREL_D2XX_CALL*)(Handle handle);
using GetComPortNumberFn = Status(OSTREL_D2XX_CALL*)(Handle handle, long* number);
using SetBitModeFn = Status(OSTREL_D2XX_CALL*)(Handle handle, unsigned char mask,
                                               unsigned char mode);
using GetBitModeFn = Status(OSTREL_D2XX_CALL*)(Handle handle, unsigned char* pins);
using SetBaudRateFn = Status(OSTREL_D2XX_CALL*)(Handle handle, Dword baud);
using SetLatencyTimerFn = Status(OSTREL_D2XX_CALL*)(Handle handle, unsigned char ms);
using GetLatencyTimerFn = Status(OSTREL_D2XX_CALL*)(Handle handle, unsigned char* ms);
using SetUsbParametersFn = Status(OSTREL_D2XX_CALL*)(Handle handle, Dword inSize, Dword outSize);
using SetTimeoutsFn = Status(OSTREL_D2XX_CALL*)(Handle handle, Dword readMs, Dword writeMs);
using PurgeFn = Status(OSTREL_D2XX_CALL*)(Handle handle, Dword mask);
using WriteFn = Status(OSTREL_D2XX_CALL*)(Handle handle, void* data, Dword size, Dword* written);
using ReadFn = Status(OSTREL_D2XX_CALL*)(Handle handle, void* data, Dword size, Dword* read);
using GetQueueStatusFn = Status(OSTREL_D2XX_CALL*)(Handle handle, Dword* waiting);

// Every call the backend makes; all are found or the library is not used.
struct Api {
    CreateDeviceInfoListFn createDeviceInfoList = nullptr;
    GetDeviceInfoDetailFn getDeviceInfoDetail = nullptr;
    OpenExFn openEx = nullptr;
    CloseFn close = nullptr;
    GetComPortNumberFn getComPortNumber = nullptr;
    SetBitModeFn setBitMode = nullptr;
    GetBitModeFn getBitMode = nullptr;
    SetBaudRateFn setBaudRate = nullptr;
    SetLatencyTimerFn setLatencyTimer = nullptr;
    GetLatencyTimerFn getLatencyTimer = nullptr;
    SetUsbParametersFn setUsbParameters = nullptr;
    SetTimeoutsFn setTimeouts = nullptr;
    PurgeFn purge = nullptr;
    WriteFn write = nullptr;
    ReadFn read = nullptr;
    GetQueueStatusFn getQueueStatus = nullptr;
};

// The status's name as the library's documentation spells it ("FT_IO_ERROR").
std::string StatusName(Status status);
}  // namespace d2xx

class Win32FtdiPort : public FtdiBitBangPort {
  public:
    // `clock` times the wait for samples (the virtual clock in tests).
    Win32FtdiPort(SysCalls& sys, Clock& clock,
                  EnvironmentLookup environment = ProcessEnvironment());
    ~Win32FtdiPort() override;
    Win32FtdiPort(const Win32FtdiPort&) = delete;
    Win32FtdiPort& operator=(const Win32FtdiPort&) = delete;

    PinOpenResult OpenPins(std::string_view portName) override;

    // The latency timer as the chip reported it after it was set.
    unsigned char LatencyMs() const { return latencyMs_; }

  private:
    bool DeviceOpen() const override { return handle_ != nullptr; }
    bool SendRate(const FtdiStateRate& rate) override;
    bool ReadPinsNow(uint8_t* pins) override;
    // The driver keeps reading what the chip sends back, so a write need not
    // wait for the samples of the last one.
    bool SendStates(std::span<const uint8_t> states) override;
    bool GatherSamples(std::span<uint8_t> samples) override;
    void DropInFlight() override;
    void Release() override;

    // Loads the library and finds its calls, once; false when it is not there.
    bool LibraryReady();
    bool Failed(const char* call, d2xx::Status status);
    // Opens the adapter of serial number `serial`.
    d2xx::Status OpenBySerial(const std::string& serial, d2xx::Handle* handle);

    SysCalls& sys_;
    Clock& clock_;
    EnvironmentLookup environment_;
    bool lookedUp_ = false;
    bool loaded_ = false;
    std::string libraryProblem_;
    d2xx::Api api_;
    d2xx::Handle handle_ = nullptr;
    unsigned char latencyMs_ = 0;
};

}  // namespace ostrel
