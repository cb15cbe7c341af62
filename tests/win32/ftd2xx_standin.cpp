// The stand-in D2XX library (see ftd2xx_standin.h).
#include "tests/win32/ftd2xx_standin.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

#include "sim/sim_port.h"

namespace ostrel::testing {
namespace {

using Status = unsigned long;
constexpr Status kOk = 0;
constexpr Status kInvalidHandle = 1;
constexpr Status kDeviceNotFound = 2;
constexpr Status kDeviceNotOpened = 3;
constexpr Status kIoError = 4;
constexpr Status kInvalidParameter = 6;
constexpr Status kInvalidBaudRate = 7;

// Pins of the RS-232 side (each line on at the connector is its pin low).
constexpr unsigned char kTxd = 0x01;
constexpr unsigned char kRxd = 0x02;
constexpr unsigned char kRts = 0x04;
constexpr unsigned char kCts = 0x08;
constexpr unsigned char kDtr = 0x10;
constexpr unsigned char kDsr = 0x20;
constexpr unsigned char kDcd = 0x40;
constexpr unsigned char kRi = 0x80;

constexpr uint32_t kReferenceHz = 3000000;

std::string Variable(const char* name, const char* otherwise) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : otherwise;
}

// A program run alone: one adapter from the environment, the chip on the
// machine's time.
struct Alone {
    SystemClock clock;
    sim::SimPort board;
    Alone() : board(clock, Config()) {}
    static sim::SimConfig Config() {
        sim::SimConfig config;
        config.cable = sim::CableKind::Cablet2;
        config.chip = Variable("OSTREL_D2XX_CHIP", "ATmega8");
        config.stateFile = Variable("OSTREL_D2XX_STATE", "");
        config.serialAccessNs = 0;
        config.timing = false;
        return config;
    }
};

struct Library {
    StandInBench bench;
    std::unique_ptr<Alone> alone;
};

void PassTime(StandInBench& bench, uint64_t untilNs);

Library& TheLibrary() {
    static Library library;
    library.bench.passTime = &PassTime;
    return library;
}

StandInBench& Bench() {
    Library& lib = TheLibrary();
    if (lib.bench.clock == nullptr) {
        lib.alone = std::make_unique<Alone>();
        lib.bench.clock = &lib.alone->clock;
        // The machine's time runs for real: no control request to wait out
        // beyond what the call itself takes.
        lib.bench.roundTripNs = 0;
        const std::string kind = Variable("OSTREL_D2XX_ADAPTER", "FT232R");
        lib.bench.Add(kind == "FT231X" ? StandInChip::Ft231x : StandInChip::Ft232r,
                      &lib.alone->board, Variable("OSTREL_D2XX_SERIAL", "FT000001"),
                      std::atol(Variable("OSTREL_D2XX_COM", "3").c_str()));
    }
    return lib.bench;
}

StandInDevice* DeviceOf(void* handle) {
    for (auto& dev : Bench().devices)
        if (dev.get() == handle)
            return dev->open && dev->present ? dev.get() : nullptr;
    return nullptr;
}

unsigned char Pins(const StandInDevice& dev) {
    const unsigned char outputs = static_cast<unsigned char>(dev.outputs & dev.direction);
    const uint32_t modem = dev.board != nullptr ? dev.board->GetModemStatus() : 0;
    unsigned char inputs = kRxd | kDcd;
    if (!(modem & kMsCtsOn))
        inputs |= kCts;
    if (!(modem & kMsDsrOn))
        inputs |= kDsr;
    if (!(modem & kMsRingOn))
        inputs |= kRi;
    inputs |= static_cast<unsigned char>(~dev.direction & (kTxd | kRts | kDtr));
    return static_cast<unsigned char>(outputs | (inputs & ~dev.direction));
}

void Drive(StandInDevice& dev, unsigned char pins) {
    const unsigned char driven = static_cast<unsigned char>(
        (pins & dev.direction) | (~dev.direction & (kTxd | kRts | kDtr)));
    const unsigned char changed = static_cast<unsigned char>(driven ^ dev.outputs);
    dev.outputs = driven;
    if (dev.board == nullptr)
        return;
    // RESET first, then MOSI, then SCK: break, DTR, RTS on every cable.
    if (changed & kTxd)
        dev.board->EscapeCommFunction(driven & kTxd ? CommFunction::ClrBreak
                                                    : CommFunction::SetBreak);
    if (changed & kDtr)
        dev.board->EscapeCommFunction(driven & kDtr ? CommFunction::ClrDtr : CommFunction::SetDtr);
    if (changed & kRts)
        dev.board->EscapeCommFunction(driven & kRts ? CommFunction::ClrRts : CommFunction::SetRts);
}

// A state lasts four baud periods; on the FT232R at a divided clock some
// come out far shorter (from a sixteenth of that on). The chip clocks each
// state for this long, so the board sees the short ones.
uint64_t StateNs(StandInDevice& dev) {
    const uint64_t tick = 4ull * 1000000000ull / std::max<uint32_t>(dev.baud, 1);
    if (dev.chip != StandInChip::Ft232r || dev.baud >= kReferenceHz)
        return tick;
    dev.random = dev.random * 1103515245u + 12345u;
    const uint64_t sixteenths = 1 + ((dev.random >> 16) % 16);
    if (sixteenths < 16)
        ++dev.unevenStates;
    return tick * sixteenths / 16;
}

// The host's clock moves on to `atNs`: the chip clocks the states due
// before, each seen by the board at its own time, and the packets in by
// then reach the driver.
void Pump(StandInDevice& dev, Clock& clock, uint64_t atNs) {
    const UsbBusModel::Apply apply = [&dev, &clock](uint8_t state, uint64_t stateAtNs) {
        if (stateAtNs > clock.NowNs())
            clock.Spend(stateAtNs - clock.NowNs());
        const unsigned char sample = Pins(dev);
        Drive(dev, state);
        return sample;
    };
    if (dev.mute) {
        dev.model.Advance(atNs, apply);  // the samples never come
    } else {
        std::vector<uint8_t> got;
        dev.model.Arrived(atNs, apply, got);
        dev.toHost.insert(dev.toHost.end(), got.begin(), got.end());
    }
    if (atNs > clock.NowNs())
        clock.Spend(atNs - clock.NowNs());
}

void PassTime(StandInBench& bench, uint64_t untilNs) {
    for (auto& dev : bench.devices)
        if (dev->open && dev->present && bench.clock != nullptr)
            Pump(*dev, *bench.clock, untilNs);
}

void Forget(StandInDevice& dev) {
    dev.model.Purge();
    dev.toHost.clear();
    dev.inFlight = 0;
}

void CopyName(void* to, const std::string& name, std::size_t room) {
    if (to == nullptr)
        return;
    std::memset(to, 0, room);
    std::memcpy(to, name.data(), std::min(name.size(), room - 1));
}

}  // namespace
}  // namespace ostrel::testing

using ostrel::testing::Bench;
using ostrel::testing::DeviceOf;
using ostrel::testing::StandInDevice;
namespace t = ostrel::testing;

extern "C" {

__declspec(dllexport) t::StandInBench* OstrelD2xxStandInBench() {
    return &t::TheLibrary().bench;
}

__declspec(dllexport) ULONG WINAPI FT_CreateDeviceInfoList(DWORD* count) {
    if (count == nullptr)
        return t::kInvalidParameter;
    DWORD n = 0;
    for (auto& dev : Bench().devices)
        n += dev->present ? 1 : 0;
    *count = n;
    return t::kOk;
}

__declspec(dllexport) ULONG WINAPI
    FT_GetDeviceInfoDetail(DWORD index, DWORD* flags, DWORD* type, DWORD* id, DWORD* location,
                           void* serial, void* description, void** handle) {
    DWORD i = 0;
    for (auto& dev : Bench().devices) {
        if (!dev->present)
            continue;
        if (i++ != index)
            continue;
        if (flags)
            *flags = (dev->open || dev->heldElsewhere) ? 1 : 0;
        if (type)
            *type = dev->Type();
        if (id)
            *id = 0x04030000ul | (dev->chip == t::StandInChip::Ft231x ? 0x6015 : 0x6001);
        if (location)
            *location = 0x21 + index;
        t::CopyName(serial, dev->serial, 16);
        t::CopyName(description, "FT232R USB UART", 64);
        if (handle)
            *handle = dev->open ? dev.get() : nullptr;
        return t::kOk;
    }
    return t::kDeviceNotFound;
}

__declspec(dllexport) ULONG WINAPI FT_OpenEx(void* what, DWORD how, void** handle) {
    if (handle == nullptr || what == nullptr || how != 1)
        return t::kInvalidParameter;
    const std::string serial(static_cast<const char*>(what));
    for (auto& dev : Bench().devices) {
        if (!dev->present || dev->serial != serial)
            continue;
        if (dev->open || dev->heldElsewhere)
            return t::kDeviceNotOpened;
        dev->open = true;
        ++dev->opens;
        dev->mode = 0;
        dev->direction = 0;
        dev->latencyMs = 16;
        dev->model.chip.latencyMs = 16;
        dev->model.chip.fromHostBytes = dev->BufferBytes();
        dev->model.chip.toHostBytes = dev->BufferBytes();
        dev->model.chip.stateLength = [d = dev.get()] { return t::StateNs(*d); };
        t::Forget(*dev);
        *handle = dev.get();
        return t::kOk;
    }
    return t::kDeviceNotFound;
}

__declspec(dllexport) ULONG WINAPI FT_Close(void* handle) {
    for (auto& dev : Bench().devices) {
        if (dev.get() == handle && dev->open) {
            dev->open = false;
            t::Forget(*dev);
            return t::kOk;
        }
    }
    return t::kInvalidHandle;
}

__declspec(dllexport) ULONG WINAPI FT_GetComPortNumber(void* handle, LONG* number) {
    StandInDevice* dev = DeviceOf(handle);
    if (dev == nullptr)
        return t::kInvalidHandle;
    *number = dev->comPort;
    return t::kOk;
}

__declspec(dllexport) ULONG WINAPI FT_SetBitMode(void* handle, UCHAR mask, UCHAR mode) {
    StandInDevice* dev = DeviceOf(handle);
    if (dev == nullptr)
        return t::kIoError;
    if (mode != 0 && mode != 0x04 && mode != 0x01)
        return t::kInvalidParameter;
    if (mode == 0x04 && dev->chip == t::StandInChip::Ft232bm)
        return t::kInvalidParameter;
    t::Pump(*dev, *Bench().clock, Bench().clock->NowNs());
    dev->mode = mode;
    dev->direction = mode == 0 ? 0 : mask;
    t::Drive(*dev, dev->outputs);
    return t::kOk;
}

__declspec(dllexport) ULONG WINAPI FT_GetBitMode(void* handle, UCHAR* pins) {
    StandInDevice* dev = DeviceOf(handle);
    if (dev == nullptr)
        return t::kIoError;
    // The states written before are on the pins by the time the answer comes.
    t::Pump(*dev, *Bench().clock, Bench().clock->NowNs() + Bench().roundTripNs);
    *pins = t::Pins(*dev);
    return t::kOk;
}

__declspec(dllexport) ULONG WINAPI FT_SetBaudRate(void* handle, ULONG baud) {
    StandInDevice* dev = DeviceOf(handle);
    if (dev == nullptr)
        return t::kIoError;
    if (baud == 0 || baud > t::kReferenceHz)
        return t::kInvalidBaudRate;
    // A whole divisor of the reference, the nearest faster one.
    const uint32_t divisor = std::max<uint32_t>(1, t::kReferenceHz / baud);
    dev->baud = t::kReferenceHz / divisor;
    dev->model.chip.stateNs = 4ull * 1000000000ull / dev->baud;
    return t::kOk;
}

__declspec(dllexport) ULONG WINAPI FT_SetLatencyTimer(void* handle, UCHAR ms) {
    StandInDevice* dev = DeviceOf(handle);
    if (dev == nullptr)
        return t::kIoError;
    if (ms < 2)
        return t::kInvalidParameter;
    dev->latencyMs = ms;
    dev->model.chip.latencyMs = ms;
    return t::kOk;
}

__declspec(dllexport) ULONG WINAPI FT_GetLatencyTimer(void* handle, UCHAR* ms) {
    StandInDevice* dev = DeviceOf(handle);
    if (dev == nullptr)
        return t::kIoError;
    *ms = dev->latencyMs;
    return t::kOk;
}

__declspec(dllexport) ULONG WINAPI FT_SetUSBParameters(void* handle, ULONG inSize, ULONG outSize) {
    StandInDevice* dev = DeviceOf(handle);
    if (dev == nullptr)
        return t::kIoError;
    (void)outSize;
    if (inSize < 64 || inSize > 65536 || inSize % 64 != 0)
        return t::kInvalidParameter;
    dev->inTransferSize = inSize;
    return t::kOk;
}

__declspec(dllexport) ULONG WINAPI FT_SetTimeouts(void* handle, ULONG readMs, ULONG writeMs) {
    StandInDevice* dev = DeviceOf(handle);
    if (dev == nullptr)
        return t::kIoError;
    dev->readTimeoutMs = readMs;
    dev->writeTimeoutMs = writeMs;
    return t::kOk;
}

__declspec(dllexport) ULONG WINAPI FT_Purge(void* handle, ULONG mask) {
    StandInDevice* dev = DeviceOf(handle);
    if (dev == nullptr)
        return t::kIoError;
    if (mask & 1)
        t::Forget(*dev);
    ++dev->purges;
    return t::kOk;
}

__declspec(dllexport) ULONG WINAPI FT_Write(void* handle, void* data, DWORD size, DWORD* written) {
    StandInDevice* dev = DeviceOf(handle);
    if (dev == nullptr || written == nullptr)
        return t::kInvalidHandle;
    t::StandInBench& bench = Bench();
    *written = 0;
    if (dev->unplugAfterWrites >= 0 &&
        dev->writes >= static_cast<uint64_t>(dev->unplugAfterWrites)) {
        dev->present = false;
        return t::kIoError;
    }
    ++dev->writes;
    if (dev->mode != 0x04) {
        // Not in bit-bang mode: the bytes go out on TXD; nothing comes back.
        *written = size;
        return t::kOk;
    }
    // The chip takes what fits in its buffers beside what is in flight (one
    // from the host, one of samples to it); the rest waits for the write
    // time-out.
    const uint64_t buffers = 2 * dev->BufferBytes();
    const uint64_t room = buffers > dev->inFlight ? buffers - dev->inFlight : 0;
    const DWORD take = static_cast<DWORD>(std::min<uint64_t>(size, room));
    const auto* bytes = static_cast<const unsigned char*>(data);
    const uint64_t in =
        dev->model.Write(bench.clock->NowNs(), std::span<const uint8_t>(bytes, take));
    t::Pump(*dev, *bench.clock, in);
    dev->inFlight += take;
    dev->mostInFlight = std::max(dev->mostInFlight, dev->inFlight);
    *written = take;
    if (take < size) {
        ++dev->overruns;
        t::Pump(*dev, *bench.clock,
                bench.clock->NowNs() + static_cast<uint64_t>(dev->writeTimeoutMs) * 1000000ull);
    }
    return t::kOk;
}

__declspec(dllexport) ULONG WINAPI FT_GetQueueStatus(void* handle, DWORD* waiting) {
    StandInDevice* dev = DeviceOf(handle);
    if (dev == nullptr || waiting == nullptr)
        return dev == nullptr ? t::kIoError : t::kInvalidParameter;
    ++dev->queueLooks;
    t::Pump(*dev, *Bench().clock, Bench().clock->NowNs());
    *waiting = static_cast<DWORD>(dev->toHost.size());
    return t::kOk;
}

__declspec(dllexport) ULONG WINAPI FT_Read(void* handle, void* data, DWORD size, DWORD* read) {
    StandInDevice* dev = DeviceOf(handle);
    if (dev == nullptr || read == nullptr)
        return t::kIoError;
    t::StandInBench& bench = Bench();
    ++dev->reads;
    t::Pump(*dev, *bench.clock, bench.clock->NowNs());
    if (dev->toHost.size() < size) {
        // Asked for more than has come: the call waits out its time-out.
        t::Pump(*dev, *bench.clock,
                bench.clock->NowNs() + static_cast<uint64_t>(dev->readTimeoutMs) * 1000000ull);
    }
    const std::size_t n = std::min<std::size_t>(size, dev->toHost.size());
    auto* out = static_cast<unsigned char*>(data);
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = dev->toHost.front();
        dev->toHost.pop_front();
    }
    dev->inFlight -= n;
    if (n == 0)
        ++dev->emptyReads;
    *read = static_cast<DWORD>(n);
    return t::kOk;
}

}  // extern "C"
