#include "platform/win32/win32_ftdi_port.h"

#include <algorithm>
#include <array>
#include <optional>
#include <utility>
#include <vector>

namespace ostrel {

namespace {

// The D2XX library multiplies nothing in bit-bang mode: the baud rate given
// is the 3 MHz reference over the divisor, four times the rate of states.
constexpr uint32_t kBaudPerState = 4;
// Samples come back when 62 have gathered or the latency timer runs out,
// 16 ms as the chip starts. The chips take 1 ms; the library's documentation
// gives 2 ms as its shortest, so 1 is asked first and 2 when it is refused.
constexpr unsigned char kLatencyChoicesMs[] = {1, 2};
// The size of the library's USB requests towards the host and away from it:
// a whole buffer of either chip in one request.
constexpr d2xx::Dword kUsbTransferBytes = 4096;
// A write the chip cannot take within this fails instead of hanging; reads
// never wait (only what is there is read).
constexpr d2xx::Dword kWriteTimeoutMs = 1000;
constexpr d2xx::Dword kReadTimeoutMs = 100;
// How long the wait for samples may take beyond the time the states last:
// several round trips and latency timers.
constexpr uint64_t kCollectSlackNs = 1000000000ull;
// Between two looks at the queue that found nothing new: short against what
// is left for the chip to clock when a collect begins (half an FT232R
// buffer, under 100 us at its top rate), or the chip runs dry while the
// samples that would let the next transfer go wait unnoticed.
constexpr uint64_t kPollNs = 10000ull;

FtdiBitBangKind KindOfType(d2xx::Dword type) {
    if (type == d2xx::kDevice232R)
        return FtdiBitBangKind::Ft232r;
    if (type == d2xx::kDeviceXSeries)
        return FtdiBitBangKind::FtX;
    return FtdiBitBangKind::None;
}

// One device of the library's list.
struct Listed {
    d2xx::Dword flags = 0;
    d2xx::Dword type = 0;
    std::string serial;
};

std::string SerialOf(const std::array<char, d2xx::kSerialChars + 1>& buffer) {
    std::string serial(buffer.data(), d2xx::kSerialChars);
    serial.resize(std::min(serial.find('\0'), serial.size()));
    return serial;
}

}  // namespace

std::string d2xx::StatusName(Status status) {
    static constexpr const char* kNames[] = {
        "FT_OK",
        "FT_INVALID_HANDLE",
        "FT_DEVICE_NOT_FOUND",
        "FT_DEVICE_NOT_OPENED",
        "FT_IO_ERROR",
        "FT_INSUFFICIENT_RESOURCES",
        "FT_INVALID_PARAMETER",
        "FT_INVALID_BAUD_RATE",
        "FT_DEVICE_NOT_OPENED_FOR_ERASE",
        "FT_DEVICE_NOT_OPENED_FOR_WRITE",
        "FT_FAILED_TO_WRITE_DEVICE",
        "FT_EEPROM_READ_FAILED",
        "FT_EEPROM_WRITE_FAILED",
        "FT_EEPROM_ERASE_FAILED",
        "FT_EEPROM_NOT_PRESENT",
        "FT_EEPROM_NOT_PROGRAMMED",
        "FT_INVALID_ARGS",
        "FT_NOT_SUPPORTED",
        "FT_OTHER_ERROR",
    };
    if (status < std::size(kNames))
        return kNames[status];
    return "FT_STATUS " + std::to_string(status);
}

Win32FtdiPort::Win32FtdiPort(SysCalls& sys, Clock& clock, EnvironmentLookup environment)
    : sys_(sys), clock_(clock), environment_(std::move(environment)) {}

Win32FtdiPort::~Win32FtdiPort() {
    ClosePins();
}

bool Win32FtdiPort::LibraryReady() {
    if (lookedUp_)
        return loaded_;
    lookedUp_ = true;
    void* library = sys_.LoadLibraryA(kD2xxLibrary);
    if (library == nullptr)
        library = sys_.LoadLibraryA(kD2xxFallbackLibrary);
    if (library == nullptr) {
        libraryProblem_ = "FTDI's D2XX library (ftd2xx.dll) was not found";
        return false;
    }
    // The library stays loaded for the life of the program, as the
    // parallel port's driver library does.
    const char* missing = nullptr;
    auto find = [&](auto& call, const char* name) {
        call = reinterpret_cast<std::remove_reference_t<decltype(call)>>(
            sys_.GetProcAddress(library, name));
        if (call == nullptr && missing == nullptr)
            missing = name;
    };
    find(api_.createDeviceInfoList, "FT_CreateDeviceInfoList");
    find(api_.getDeviceInfoDetail, "FT_GetDeviceInfoDetail");
    find(api_.openEx, "FT_OpenEx");
    find(api_.close, "FT_Close");
    find(api_.getComPortNumber, "FT_GetComPortNumber");
    find(api_.setBitMode, "FT_SetBitMode");
    find(api_.getBitMode, "FT_GetBitMode");
    find(api_.setBaudRate, "FT_SetBaudRate");
    find(api_.setLatencyTimer, "FT_SetLatencyTimer");
    find(api_.getLatencyTimer, "FT_GetLatencyTimer");
    find(api_.setUsbParameters, "FT_SetUSBParameters");
    find(api_.setTimeouts, "FT_SetTimeouts");
    find(api_.purge, "FT_Purge");
    find(api_.write, "FT_Write");
    find(api_.read, "FT_Read");
    find(api_.getQueueStatus, "FT_GetQueueStatus");
    if (missing != nullptr) {
        libraryProblem_ = std::string("FTDI's D2XX library (ftd2xx.dll) has no ") + missing +
                          ": it is too old or not FTDI's";
        return false;
    }
    loaded_ = true;
    return true;
}

bool Win32FtdiPort::Failed(const char* call, d2xx::Status status) {
    error_ = std::string(call) + " failed: " + d2xx::StatusName(status);
    return false;
}

void Win32FtdiPort::Release() {
    if (handle_ == nullptr)
        return;
    // Back to the serial mode, so the COM port works again.
    api_.setBitMode(handle_, 0, d2xx::kModeReset);
    api_.close(handle_);
    handle_ = nullptr;
    Forget();
}

d2xx::Status Win32FtdiPort::OpenBySerial(const std::string& serial, d2xx::Handle* handle) {
    std::string name = serial;
    return api_.openEx(name.data(), d2xx::kOpenBySerialNumber, handle);
}

PinOpenResult Win32FtdiPort::OpenPins(std::string_view portName) {
    ClosePins();
    note_.clear();
    error_.clear();
    portName_ = std::string(portName.substr(0, 8));
    std::optional<std::string> device = SerialDevicePath(portName, environment_);
    if (!device)
        return PinOpenResult::NotThisPort;
    // A name of the variable without a path comes with the device prefix.
    std::string_view named = *device;
    if (named.substr(0, 4) == "\\\\.\\")
        named.remove_prefix(4);
    const std::optional<std::string> bySerial = FtdiSerialOf(named);
    const long comNumber = bySerial ? 0 : ComPortNumberOf(named);
    if (!bySerial && comNumber == 0)
        return PinOpenResult::NotThisPort;
    const std::string adapterName = FtdiAdapterName(bySerial, portName_);

    if (!LibraryReady()) {
        // A COM port without the library is a serial port like any other.
        if (!bySerial)
            return PinOpenResult::NotThisPort;
        return Fail(libraryProblem_ +
                    ": it comes with FTDI's driver, which Windows installs by itself when the "
                    "adapter is first plugged in; plug it in, or install FTDI's CDM driver "
                    "package.");
    }

    d2xx::Dword count = 0;
    if (d2xx::Status st = api_.createDeviceInfoList(&count); st != d2xx::kOk)
        return Fail("The FTDI library cannot list the adapters (" + d2xx::StatusName(st) + ").");
    std::vector<Listed> listed;
    for (d2xx::Dword i = 0; i < count; ++i) {
        Listed entry;
        d2xx::Dword id = 0;
        d2xx::Dword location = 0;
        std::array<char, d2xx::kSerialChars + 1> serial{};
        std::array<char, d2xx::kDescriptionChars + 1> description{};
        d2xx::Handle unused = nullptr;
        if (api_.getDeviceInfoDetail(i, &entry.flags, &entry.type, &id, &location, serial.data(),
                                     description.data(), &unused) != d2xx::kOk)
            continue;
        entry.serial = SerialOf(serial);
        listed.push_back(std::move(entry));
    }

    // Which adapter: the one named by its serial number (or the first), or
    // the one whose COM port the name stands for.
    const Listed* chosen = nullptr;
    d2xx::Handle handle = nullptr;
    if (bySerial) {
        for (const Listed& entry : listed) {
            if (bySerial->empty() ? KindOfType(entry.type) != FtdiBitBangKind::None
                                  : entry.serial == *bySerial) {
                chosen = &entry;
                break;
            }
        }
        if (chosen == nullptr) {
            return Fail("No " + adapterName + " is plugged in: plug it in, or set " +
                        OverrideVariable(portName_) + " to its COM port or ftdi:SERIAL.");
        }
        if (chosen->flags & d2xx::kFlagOpened) {
            return Fail("The " + adapterName +
                        " is in use by another program (a terminal, another Ostrel): close it "
                        "and try again.");
        }
        if (d2xx::Status st = OpenBySerial(chosen->serial, &handle); st != d2xx::kOk) {
            return Fail("Cannot open the " + adapterName + " (" + d2xx::StatusName(st) +
                        "): close any program that uses it and try again.");
        }
    } else {
        // The COM number is known only to an open device: each adapter that
        // nobody holds is opened in turn and asked.
        for (const Listed& entry : listed) {
            if ((entry.flags & d2xx::kFlagOpened) || entry.serial.empty())
                continue;
            d2xx::Handle h = nullptr;
            if (OpenBySerial(entry.serial, &h) != d2xx::kOk)
                continue;
            long number = -1;
            if (api_.getComPortNumber(h, &number) == d2xx::kOk && number == comNumber) {
                chosen = &entry;
                handle = h;
                break;
            }
            api_.close(h);
        }
        // Not an FTDI adapter, or one that another program holds: the
        // serial port's own open tells which.
        if (chosen == nullptr)
            return PinOpenResult::NotThisPort;
    }

    handle_ = handle;
    chip_ = KindOfType(chosen->type);
    if (chip_ == FtdiBitBangKind::None) {
        if (!bySerial) {
            Release();
            return PinOpenResult::NotThisPort;
        }
        return Fail("The " + adapterName +
                    " has no synchronous bit-bang mode (only the FT232R and the FT-X chips): "
                    "use --modem-lines.");
    }
    const char* call = nullptr;
    d2xx::Status st = d2xx::kOk;
    auto step = [&](const char* name, d2xx::Status status) {
        if (call == nullptr && status != d2xx::kOk) {
            call = name;
            st = status;
        }
    };
    step("FT_SetUSBParameters",
         api_.setUsbParameters(handle_, kUsbTransferBytes, kUsbTransferBytes));
    step("FT_SetTimeouts", api_.setTimeouts(handle_, kReadTimeoutMs, kWriteTimeoutMs));
    // Set, then read back: a timer left at 16 ms would make every transfer
    // sixteen times slower without any error.
    latencyMs_ = 0;
    d2xx::Status latency = d2xx::kNotSupported;
    for (unsigned char ms : kLatencyChoicesMs) {
        unsigned char now = 0;
        latency = api_.setLatencyTimer(handle_, ms);
        if (latency == d2xx::kOk)
            latency = api_.getLatencyTimer(handle_, &now);
        if (latency == d2xx::kOk && now != ms)
            latency = d2xx::kNotSupported;
        if (latency == d2xx::kOk) {
            latencyMs_ = now;
            break;
        }
    }
    step("FT_SetLatencyTimer", latency);
    step("FT_SetBitMode", api_.setBitMode(handle_, kFtdiDrivenPins, d2xx::kModeSyncBitBang));
    step("FT_Purge", api_.purge(handle_, d2xx::kPurgeRx | d2xx::kPurgeTx));
    if (call != nullptr) {
        Failed(call, st);
        return Fail("The " + adapterName + " refused the bit-bang mode (" + error_ +
                    "): use --modem-lines.");
    }
    return FinishOpen(adapterName);
}

void Win32FtdiPort::DropInFlight() {
    api_.purge(handle_, d2xx::kPurgeRx | d2xx::kPurgeTx);
}

// The library multiplies nothing in bit-bang mode.
bool Win32FtdiPort::SendRate(const FtdiStateRate& rate) {
    const uint32_t baud = kFtdiTopStateRate * kBaudPerState / rate.divisor;
    if (d2xx::Status st = api_.setBaudRate(handle_, baud); st != d2xx::kOk)
        return Failed("FT_SetBaudRate", st);
    return true;
}

bool Win32FtdiPort::ReadPinsNow(uint8_t* pins) {
    unsigned char value = 0xFF;
    if (d2xx::Status st = api_.getBitMode(handle_, &value); st != d2xx::kOk)
        return Failed("FT_GetBitMode", st);
    *pins = value;
    return true;
}

bool Win32FtdiPort::SendStates(std::span<const uint8_t> states) {
    // The library's buffer argument is not const; it only reads it.
    std::vector<uint8_t> out(states.begin(), states.end());
    d2xx::Dword written = 0;
    const d2xx::Status st =
        api_.write(handle_, out.data(), static_cast<d2xx::Dword>(out.size()), &written);
    if (st != d2xx::kOk)
        return Failed("FT_Write", st);
    if (written != out.size()) {
        error_ = "FT_Write took " + std::to_string(written) + " of " + std::to_string(out.size()) +
                 " states";
        return false;
    }
    return true;
}

bool Win32FtdiPort::GatherSamples(std::span<uint8_t> samples) {
    // The states last their ticks; beyond that the USB and the latency timer.
    const uint64_t rate = std::max<uint32_t>(stateRate_, 1);
    const uint64_t deadline =
        clock_.NowNs() + kCollectSlackNs + samples.size() * 1000000000ull / rate;
    std::size_t got = 0;
    while (got < samples.size()) {
        d2xx::Dword waiting = 0;
        if (d2xx::Status st = api_.getQueueStatus(handle_, &waiting); st != d2xx::kOk)
            return Failed("FT_GetQueueStatus", st);
        if (waiting > 0) {
            const auto want =
                static_cast<d2xx::Dword>(std::min<std::size_t>(waiting, samples.size() - got));
            d2xx::Dword read = 0;
            if (d2xx::Status st = api_.read(handle_, samples.data() + got, want, &read);
                st != d2xx::kOk)
                return Failed("FT_Read", st);
            if (read > want) {
                error_ = "FT_Read gave more than asked";
                return false;
            }
            got += read;
            if (read > 0)
                continue;
        }
        if (clock_.NowNs() > deadline) {
            error_ = "the adapter sent " + std::to_string(got) + " of " +
                     std::to_string(samples.size()) + " samples back";
            return false;
        }
        clock_.Spend(kPollNs);
    }
    return true;
}

}  // namespace ostrel
