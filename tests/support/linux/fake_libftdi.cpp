// The fake libftdi1: the library's functions that LinuxFtdiPort calls, over
// the adapters of the installed FakeUsbBus (see fake_ftdi.h). Return values
// and error texts are libftdi 1.5's.
#include <ftdi.h>

#include <algorithm>
#include <cstring>
#include <span>
#include <vector>

#include "tests/support/linux/fake_ftdi.h"

namespace ostrel::testing {

namespace {

FakeUsbBus* gInstalled = nullptr;

// Pins of the RS-232 side (each line on at the connector is its pin low).
constexpr unsigned char kTxd = 0x01;
constexpr unsigned char kRxd = 0x02;
constexpr unsigned char kRts = 0x04;
constexpr unsigned char kCts = 0x08;
constexpr unsigned char kDtr = 0x10;
constexpr unsigned char kDsr = 0x20;
constexpr unsigned char kDcd = 0x40;
constexpr unsigned char kRi = 0x80;

FakeFtdiDevice* DeviceOf(ftdi_context* ftdi) {
    return ftdi == nullptr ? nullptr : reinterpret_cast<FakeFtdiDevice*>(ftdi->usb_dev);
}

int Fail(ftdi_context* ftdi, int code, const char* text) {
    if (ftdi != nullptr)
        ftdi->error_str = text;
    return code;
}

ftdi_chip_type TypeOf(FakeFtdiChip chip) {
    switch (chip) {
        case FakeFtdiChip::Ft232r:
            return TYPE_R;
        case FakeFtdiChip::Ft231x:
            return TYPE_230X;
        case FakeFtdiChip::Ft232bm:
            break;
    }
    return TYPE_BM;
}

int Claim(ftdi_context* ftdi, FakeFtdiDevice* dev) {
    if (dev->claimed)
        return Fail(ftdi, -5,
                    "unable to claim usb device. Make sure the default FTDI driver is not in use");
    if (dev->kernelDriver) {
        if (ftdi->module_detach_mode == DONT_DETACH_SIO_MODULE)
            return Fail(ftdi, -5,
                        "unable to claim usb device. Make sure the default FTDI driver is not in "
                        "use");
        dev->kernelDriver = false;
        ++dev->detaches;
    }
    dev->claimed = true;
    ++dev->opens;
    dev->mode = BITMODE_RESET;
    dev->toHost.clear();
    dev->inFlight = 0;
    dev->roundTripOwed = false;
    dev->asyncInFlight = 0;
    dev->model.Purge();
    // The FT232R's buffers, in the smaller of the two readings FTDI has
    // published, and the FT-X chips' 512 and 512.
    dev->model.chip.fromHostBytes = dev->BufferBytes();
    dev->model.chip.toHostBytes = dev->BufferBytes();
    ftdi->usb_dev = reinterpret_cast<libusb_device_handle*>(dev);
    ftdi->type = TypeOf(dev->chip);
    ftdi->bitbang_enabled = 0;
    return 0;
}

// The time one state lasts: one tick, or on the FT232R at a divided clock
// anything from a sixteenth of a tick to a whole one.
uint64_t StateNs(FakeFtdiDevice& dev) {
    const uint64_t tick = 1000000000ull / std::max<uint32_t>(1, dev.stateRateHz);
    if (dev.evenStates)
        return tick;
    dev.random = dev.random * 1103515245u + 12345u;
    const uint64_t sixteenths = 1 + ((dev.random >> 16) % 16);
    return tick * sixteenths / 16;
}

// The model's chip applies a state: the board sees it at the model's time
// (never earlier than the clock says now).
UsbBusModel::Apply ApplyOn(FakeFtdiDevice& dev, Clock& clock) {
    return [&dev, &clock](uint8_t state, uint64_t atNs) {
        if (atNs > clock.NowNs())
            clock.Spend(atNs - clock.NowNs());
        const unsigned char sample = dev.Pins();
        dev.Drive(state);
        return sample;
    };
}

void SpendUntil(Clock& clock, uint64_t atNs) {
    if (atNs > clock.NowNs())
        clock.Spend(atNs - clock.NowNs());
}

// The host's clock moves on to `atNs`: the chip clocks what falls due
// before, each state at its own time.
void SpendUntil(FakeFtdiDevice& dev, Clock& clock, uint64_t atNs) {
    dev.model.Advance(atNs, ApplyOn(dev, clock));
    SpendUntil(clock, atNs);
}

// An asynchronous transfer in flight; ftdi_transfer_control::transfer points at it.
struct FakeTransfer {
    bool read = false;
    uint64_t doneNs = 0;  // a write: when its last packet is in
    int result = 0;
};

}  // namespace

unsigned char FakeFtdiDevice::Pins() {
    unsigned char pins = static_cast<unsigned char>(outputs & direction);
    uint32_t modem = 0;
    if (board != nullptr)
        modem = board->GetModemStatus();
    // Inputs: RXD idles at mark and DCD is off, both high at the pins.
    unsigned char inputs = kRxd | kDcd;
    if (!(modem & kMsCtsOn))
        inputs |= kCts;
    if (!(modem & kMsDsrOn))
        inputs |= kDsr;
    if (!(modem & kMsRingOn))
        inputs |= kRi;
    // Outputs not driven read high (pulled up), like the inputs they become.
    inputs |= static_cast<unsigned char>(~direction & (kTxd | kRts | kDtr));
    return static_cast<unsigned char>(pins | (inputs & ~direction));
}

void FakeFtdiDevice::Drive(unsigned char pins) {
    const unsigned char driven =
        static_cast<unsigned char>((pins & direction) | (~direction & (kTxd | kRts | kDtr)));
    const unsigned char changed = static_cast<unsigned char>(driven ^ outputs);
    outputs = driven;
    if (board == nullptr)
        return;
    // All pins change at once; the simulated chip takes RESET first, then
    // MOSI, then SCK, which on every cable is break, DTR, RTS.
    if (changed & kTxd)
        board->EscapeCommFunction(driven & kTxd ? CommFunction::ClrBreak : CommFunction::SetBreak);
    if (changed & kDtr)
        board->EscapeCommFunction(driven & kDtr ? CommFunction::ClrDtr : CommFunction::SetDtr);
    if (changed & kRts)
        board->EscapeCommFunction(driven & kRts ? CommFunction::ClrRts : CommFunction::SetRts);
}

FakeUsbBus::FakeUsbBus(Clock& clockSource) : clock(clockSource), previous_(gInstalled) {
    gInstalled = this;
}

FakeUsbBus::~FakeUsbBus() {
    gInstalled = previous_;
}

FakeUsbBus* FakeUsbBus::Installed() {
    return gInstalled;
}

FakeFtdiDevice& FakeUsbBus::Add(FakeFtdiChip chip, sim::SimPort* board, uint8_t bus,
                                uint8_t address, std::string serial) {
    auto dev = std::make_unique<FakeFtdiDevice>();
    dev->chip = chip;
    dev->board = board;
    dev->bus = bus;
    dev->address = address;
    dev->serial = std::move(serial);
    if (board != nullptr) {
        // The connector's lines as the chip leaves them in serial mode with
        // nothing sent: every line off.
        board->OpenSerial("FTDI");
        board->EscapeCommFunction(CommFunction::ClrRts);
        board->EscapeCommFunction(CommFunction::ClrDtr);
        board->EscapeCommFunction(CommFunction::ClrBreak);
    }
    devices.push_back(std::move(dev));
    return *devices.back();
}

}  // namespace ostrel::testing

using ostrel::testing::FakeFtdiDevice;
using ostrel::testing::FakeUsbBus;

struct ftdi_context* ftdi_new(void) {
    auto* ftdi = new ftdi_context{};
    ftdi->usb_read_timeout = 5000;
    ftdi->usb_write_timeout = 5000;
    ftdi->type = TYPE_BM;
    ftdi->baudrate = -1;
    ftdi->interface = 0;
    ftdi->index = INTERFACE_A;
    ftdi->max_packet_size = 64;
    ftdi->module_detach_mode = AUTO_DETACH_SIO_MODULE;
    if (FakeUsbBus* bus = FakeUsbBus::Installed())
        ++bus->contextsAlive;
    return ftdi;
}

void ftdi_free(struct ftdi_context* ftdi) {
    if (ftdi == nullptr)
        return;
    if (ftdi->usb_dev != nullptr)
        ftdi_usb_close(ftdi);
    if (FakeUsbBus* bus = FakeUsbBus::Installed())
        --bus->contextsAlive;
    delete ftdi;
}

int ftdi_set_interface(struct ftdi_context* ftdi, enum ftdi_interface interface) {
    if (ftdi == nullptr)
        return -2;
    ftdi->index = interface == INTERFACE_ANY ? INTERFACE_A : interface;
    ftdi->interface = ftdi->index - 1;
    return 0;
}

int ftdi_usb_open_bus_addr(struct ftdi_context* ftdi, uint8_t bus, uint8_t addr) {
    FakeUsbBus* usb = FakeUsbBus::Installed();
    if (ftdi == nullptr)
        return -11;
    if (usb == nullptr)
        return ostrel::testing::Fail(ftdi, -1, "libusb_get_device_list() failed");
    for (auto& dev : usb->devices) {
        if (dev->present && dev->bus == bus && dev->address == addr)
            return ostrel::testing::Claim(ftdi, dev.get());
    }
    return ostrel::testing::Fail(ftdi, -3, "device not found");
}

int ftdi_usb_open_desc(struct ftdi_context* ftdi, int vendor, int product, const char* description,
                       const char* serial) {
    FakeUsbBus* usb = FakeUsbBus::Installed();
    if (ftdi == nullptr)
        return -11;
    if (usb == nullptr)
        return ostrel::testing::Fail(ftdi, -12, "libusb_get_device_list() failed");
    for (auto& dev : usb->devices) {
        if (!dev->present || vendor != 0x0403 || dev->Product() != product)
            continue;
        if (description != nullptr)
            continue;  // the fake's devices have no description to match
        if (serial != nullptr && dev->serial != serial)
            continue;
        return ostrel::testing::Claim(ftdi, dev.get());
    }
    return ostrel::testing::Fail(ftdi, -3, "device not found");
}

int ftdi_usb_close(struct ftdi_context* ftdi) {
    FakeFtdiDevice* dev = ostrel::testing::DeviceOf(ftdi);
    if (dev == nullptr)
        return 0;
    dev->claimed = false;
    dev->mode = BITMODE_RESET;
    ftdi->usb_dev = nullptr;
    ftdi->bitbang_enabled = 0;
    if (!dev->present)
        return ostrel::testing::Fail(ftdi, -1, "usb_release failed");
    if (ftdi->module_detach_mode == AUTO_DETACH_REATACH_SIO_MODULE && !dev->kernelDriver) {
        dev->kernelDriver = true;
        ++dev->reattaches;
    }
    return 0;
}

int ftdi_set_bitmode(struct ftdi_context* ftdi, unsigned char bitmask, unsigned char mode) {
    FakeFtdiDevice* dev = ostrel::testing::DeviceOf(ftdi);
    if (dev == nullptr)
        return ostrel::testing::Fail(ftdi, -2, "USB device unavailable");
    if (!dev->present ||
        (mode == BITMODE_SYNCBB && dev->chip == ostrel::testing::FakeFtdiChip::Ft232bm))
        return ostrel::testing::Fail(
            ftdi, -1,
            "unable to configure bitbang mode. Perhaps not a BM/2232C type "
            "chip?");
    dev->mode = mode;
    dev->direction = mode == BITMODE_RESET ? 0 : bitmask;
    ftdi->bitbang_enabled = mode == BITMODE_RESET ? 0 : 1;
    ftdi->bitbang_mode = mode;
    if (mode == BITMODE_RESET)
        dev->Drive(0xFF);
    return 0;
}

int ftdi_set_baudrate(struct ftdi_context* ftdi, int baudrate) {
    FakeFtdiDevice* dev = ostrel::testing::DeviceOf(ftdi);
    if (dev == nullptr)
        return ostrel::testing::Fail(ftdi, -3, "USB device unavailable");
    if (ftdi->bitbang_enabled)
        baudrate *= 4;
    if (baudrate <= 0)
        return ostrel::testing::Fail(ftdi, -1, "Silly baudrate <= 0.");
    // The divisor of the 3 MHz reference in eighths; 3 MBaud and 2 MBaud are
    // the two special divisors below 2.
    uint64_t actual = 0;
    bool undivided = false;
    if (baudrate >= 2500000) {
        actual = 3000000;
        undivided = true;
    } else if (baudrate >= 1750000) {
        actual = 2000000;
    } else {
        uint64_t eighths =
            (24000000ull + static_cast<uint64_t>(baudrate) / 2) / static_cast<uint64_t>(baudrate);
        eighths = std::clamp<uint64_t>(eighths, 16, 16384 * 8);
        actual = 24000000ull / eighths;
    }
    const auto asked = static_cast<uint64_t>(baudrate);
    if (actual * 2 < asked ||
        (actual < asked ? actual * 21 < asked * 20 : asked * 21 < actual * 20))
        return ostrel::testing::Fail(
            ftdi, -1,
            "Unsupported baudrate. Note: bitbang baudrates are automatically multiplied by 4");
    if (!dev->present)
        return ostrel::testing::Fail(ftdi, -2, "Setting new baudrate failed");
    ftdi->baudrate = baudrate;
    dev->stateRateHz = static_cast<uint32_t>(actual / 4);
    dev->model.chip.stateNs = 1000000000ull / std::max<uint32_t>(1, dev->stateRateHz);
    dev->evenStates = undivided || dev->chip != ostrel::testing::FakeFtdiChip::Ft232r;
    // The bus model's chip clocks each state as long as the plain path holds it.
    dev->model.chip.stateLength = [dev] { return ostrel::testing::StateNs(*dev); };
    return 0;
}

int ftdi_set_latency_timer(struct ftdi_context* ftdi, unsigned char latency) {
    FakeFtdiDevice* dev = ostrel::testing::DeviceOf(ftdi);
    if (latency < 1)
        return ostrel::testing::Fail(ftdi, -1, "latency out of range. Only valid for 1-255");
    if (dev == nullptr)
        return ostrel::testing::Fail(ftdi, -3, "USB device unavailable");
    if (!dev->present)
        return ostrel::testing::Fail(ftdi, -2, "unable to set latency timer");
    dev->latencyMs = latency;
    dev->model.chip.latencyMs = latency;
    return 0;
}

int ftdi_tcioflush(struct ftdi_context* ftdi) {
    FakeFtdiDevice* dev = ostrel::testing::DeviceOf(ftdi);
    if (dev == nullptr)
        return ostrel::testing::Fail(ftdi, -3, "USB device unavailable");
    if (!dev->present)
        return ostrel::testing::Fail(ftdi, -1, "FTDI purge of RX buffer failed");
    dev->toHost.clear();
    dev->inFlight = 0;
    dev->roundTripOwed = false;
    dev->asyncInFlight = 0;
    dev->model.Purge();
    return 0;
}

int ftdi_write_data(struct ftdi_context* ftdi, const unsigned char* buf, int size) {
    FakeFtdiDevice* dev = ostrel::testing::DeviceOf(ftdi);
    FakeUsbBus* usb = FakeUsbBus::Installed();
    if (dev == nullptr || usb == nullptr)
        return ostrel::testing::Fail(ftdi, -666, "USB device unavailable");
    if (dev->unplugAfterWrites == 0)
        dev->present = false;
    if (!dev->present)
        return ostrel::testing::Fail(ftdi, -1, "usb bulk write failed");
    if (size <= 0)
        return 0;
    if (dev->mode == BITMODE_SYNCBB) {
        if (dev->inFlight + static_cast<uint64_t>(size) > dev->BufferBytes()) {
            // The chip stops clocking when nothing is read back; the write
            // waits until its time-out.
            ++dev->overruns;
            usb->clock.Spend(static_cast<uint64_t>(ftdi->usb_write_timeout) * 1000000ull);
            return ostrel::testing::Fail(ftdi, -1, "usb bulk write failed");
        }
        if (usb->frameModel) {
            ostrel::testing::SpendUntil(
                *dev, usb->clock,
                dev->model.Write(usb->clock.NowNs(),
                                 std::span<const uint8_t>(buf, static_cast<std::size_t>(size))));
        } else {
            for (int i = 0; i < size; ++i) {
                dev->toHost.push_back(dev->Pins());
                dev->Drive(buf[i]);
                usb->clock.Spend(ostrel::testing::StateNs(*dev));
            }
        }
        dev->inFlight += static_cast<uint64_t>(size);
        dev->mostInFlight = std::max(dev->mostInFlight, dev->inFlight);
        dev->roundTripOwed = true;
    }
    ++dev->writes;
    dev->bytesWritten += static_cast<uint64_t>(size);
    if (dev->unplugAfterWrites > 0)
        --dev->unplugAfterWrites;
    return size;
}

int ftdi_read_data(struct ftdi_context* ftdi, unsigned char* buf, int size) {
    FakeFtdiDevice* dev = ostrel::testing::DeviceOf(ftdi);
    FakeUsbBus* usb = FakeUsbBus::Installed();
    if (dev == nullptr || usb == nullptr)
        return ostrel::testing::Fail(ftdi, -666, "USB device unavailable");
    if (!dev->present)
        return ostrel::testing::Fail(ftdi, -1, "usb bulk read failed");
    ++dev->reads;
    if (usb->frameModel && dev->mode == BITMODE_SYNCBB && size > 0) {
        std::vector<uint8_t> got;
        const uint64_t at =
            dev->model.Read(usb->clock.NowNs(), static_cast<std::size_t>(size), false, 0,
                            ostrel::testing::ApplyOn(*dev, usb->clock), got);
        ostrel::testing::SpendUntil(*dev, usb->clock, at);
        if (dev->roundTripOwed && !got.empty()) {
            ++dev->roundTrips;
            dev->roundTripOwed = false;
        }
        if (got.empty())
            ++dev->emptyReads;
        std::copy(got.begin(), got.end(), buf);
        dev->inFlight -= std::min<uint64_t>(dev->inFlight, got.size());
        return static_cast<int>(got.size());
    }
    if (dev->roundTripOwed) {
        usb->clock.Spend(usb->roundTripNs);
        ++dev->roundTrips;
        dev->roundTripOwed = false;
    }
    if (dev->toHost.empty() || size <= 0) {
        // Nothing there: the chip answers when its latency timer runs out.
        ++dev->emptyReads;
        usb->clock.Spend(static_cast<uint64_t>(dev->latencyMs) * 1000000ull);
        return 0;
    }
    std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(size), dev->toHost.size());
    ++usb->readsWithData;
    if (usb->shortReadEvery > 0 && n > 1 && usb->readsWithData % usb->shortReadEvery == 0) {
        n /= 2;
        ++dev->shortReads;
    }
    for (std::size_t i = 0; i < n; ++i) {
        buf[i] = dev->toHost.front();
        dev->toHost.pop_front();
    }
    dev->inFlight -= std::min<uint64_t>(dev->inFlight, n);
    return static_cast<int>(n);
}

int ftdi_read_pins(struct ftdi_context* ftdi, unsigned char* pins) {
    FakeFtdiDevice* dev = ostrel::testing::DeviceOf(ftdi);
    FakeUsbBus* usb = FakeUsbBus::Installed();
    if (dev == nullptr || usb == nullptr)
        return ostrel::testing::Fail(ftdi, -2, "USB device unavailable");
    if (!dev->present)
        return ostrel::testing::Fail(ftdi, -1, "read pins failed");
    usb->clock.Spend(usb->roundTripNs);
    ++dev->pinReads;
    *pins = dev->Pins();
    return 0;
}

struct ftdi_transfer_control* ftdi_write_data_submit(struct ftdi_context* ftdi, unsigned char* buf,
                                                     int size) {
    FakeFtdiDevice* dev = ostrel::testing::DeviceOf(ftdi);
    FakeUsbBus* usb = FakeUsbBus::Installed();
    if (dev == nullptr || usb == nullptr || size < 0)
        return nullptr;
    if (dev->unplugAfterWrites == 0)
        dev->present = false;
    if (!dev->present || dev->mode != BITMODE_SYNCBB)
        return nullptr;
    auto* transfer = new ostrel::testing::FakeTransfer{};
    transfer->doneNs = dev->model.Write(
        usb->clock.NowNs(), std::span<const uint8_t>(buf, static_cast<std::size_t>(size)));
    transfer->result = size;
    dev->asyncInFlight += static_cast<uint64_t>(size);
    dev->mostAsyncInFlight = std::max(dev->mostAsyncInFlight, dev->asyncInFlight);
    if (dev->asyncInFlight > dev->model.chip.fromHostBytes + dev->model.chip.toHostBytes)
        ++dev->overruns;  // more in flight than the chip holds: the host's writes wait
    ++dev->writes;
    ++dev->asyncWrites;
    ++dev->roundTrips;
    dev->bytesWritten += static_cast<uint64_t>(size);
    if (dev->unplugAfterWrites > 0)
        --dev->unplugAfterWrites;
    auto* tc = new ftdi_transfer_control{};
    tc->buf = buf;
    tc->size = size;
    tc->ftdi = ftdi;
    tc->transfer = reinterpret_cast<libusb_transfer*>(transfer);
    return tc;
}

struct ftdi_transfer_control* ftdi_read_data_submit(struct ftdi_context* ftdi, unsigned char* buf,
                                                    int size) {
    FakeFtdiDevice* dev = ostrel::testing::DeviceOf(ftdi);
    FakeUsbBus* usb = FakeUsbBus::Installed();
    if (dev == nullptr || usb == nullptr || size < 0 || !dev->present)
        return nullptr;
    auto* transfer = new ostrel::testing::FakeTransfer{};
    transfer->read = true;
    transfer->doneNs = usb->clock.NowNs();
    auto* tc = new ftdi_transfer_control{};
    tc->buf = buf;
    tc->size = size;
    tc->ftdi = ftdi;
    tc->transfer = reinterpret_cast<libusb_transfer*>(transfer);
    return tc;
}

int ftdi_transfer_data_done(struct ftdi_transfer_control* tc) {
    if (tc == nullptr)
        return -1;
    auto* transfer = reinterpret_cast<ostrel::testing::FakeTransfer*>(tc->transfer);
    FakeFtdiDevice* dev = ostrel::testing::DeviceOf(tc->ftdi);
    FakeUsbBus* usb = FakeUsbBus::Installed();
    int result = -1;
    if (dev != nullptr && usb != nullptr && dev->present) {
        if (!transfer->read) {
            ostrel::testing::SpendUntil(*dev, usb->clock, transfer->doneNs);
            result = transfer->result;
        } else {
            const uint64_t timeoutNs =
                static_cast<uint64_t>(tc->ftdi->usb_read_timeout) * 1000000ull;
            std::size_t want = static_cast<std::size_t>(tc->size);
            const bool late = dev->lateReadAfter == 0;
            const bool shortOne = dev->shortReadAfter == 0 && want > 1;
            if (dev->lateReadAfter >= 0)
                --dev->lateReadAfter;
            if (dev->shortReadAfter >= 0 && want > 1)
                --dev->shortReadAfter;
            ++dev->asyncReads;
            std::vector<uint8_t> got;
            uint64_t at = transfer->doneNs;
            if (late) {
                at += timeoutNs;
            } else {
                at = dev->model.Read(std::max(at, usb->clock.NowNs()), want, true, timeoutNs,
                                     ostrel::testing::ApplyOn(*dev, usb->clock), got);
                if (shortOne)
                    got.pop_back();
            }
            ostrel::testing::SpendUntil(*dev, usb->clock, at);
            std::copy(got.begin(), got.end(), tc->buf);
            dev->asyncInFlight -= std::min<uint64_t>(dev->asyncInFlight, got.size());
            result = static_cast<int>(got.size());
        }
    } else if (tc->ftdi != nullptr) {
        tc->ftdi->error_str = transfer->read ? "usb bulk read failed" : "usb bulk write failed";
    }
    tc->completed = 1;
    tc->offset = std::max(result, 0);
    delete transfer;
    delete tc;
    return result;
}

void ftdi_transfer_data_cancel(struct ftdi_transfer_control* tc, struct timeval* to) {
    (void)to;
    if (tc == nullptr)
        return;
    delete reinterpret_cast<ostrel::testing::FakeTransfer*>(tc->transfer);
    delete tc;
}

const char* ftdi_get_error_string(struct ftdi_context* ftdi) {
    return ftdi != nullptr && ftdi->error_str != nullptr ? ftdi->error_str : "";
}
