#include "platform/linux/linux_ftdi_port.h"

#include <fcntl.h>
#include <ftdi.h>
#include <sys/file.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <utility>

namespace ostrel {

namespace {

// The chip sends what it sampled when 62 bytes have gathered or the latency
// timer runs out: 1 ms, its shortest, instead of the 16 ms it starts with.
constexpr unsigned char kLatencyMs = 1;
// Reads that bring nothing before a transfer is given up: each waits for the
// latency timer, so about a second.
constexpr int kMostEmptyReads = 1000;

// The tty is held by another program (a terminal, a modem manager, another
// Ostrel): detaching its driver would pull it from under that program.
bool TtyInUse(SysCalls& sys, const std::string& path) {
    errno = 0;
    const int fd = sys.Open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == EBUSY;
    const bool locked = sys.Flock(fd, LOCK_EX | LOCK_NB) != 0;
    if (!locked)
        sys.Flock(fd, LOCK_UN);
    sys.Close(fd);
    return locked;
}

}  // namespace

LinuxFtdiPort::LinuxFtdiPort(SysCalls& sys, EnvironmentLookup environment,
                             std::filesystem::path sysfsRoot)
    : sys_(sys), environment_(std::move(environment)), sysfsRoot_(std::move(sysfsRoot)) {}

LinuxFtdiPort::~LinuxFtdiPort() {
    ClosePins();
}

void LinuxFtdiPort::Release() {
    if (ftdi_ == nullptr)
        return;
    DropInFlight();
    // Back to the serial mode before the kernel driver takes the chip again.
    ftdi_set_bitmode(ftdi_, 0, BITMODE_RESET);
    ftdi_usb_close(ftdi_);
    ftdi_free(ftdi_);
    ftdi_ = nullptr;
    Forget();
}

bool LinuxFtdiPort::Failed(const char* what) {
    const char* text = ftdi_ != nullptr ? ftdi_get_error_string(ftdi_) : nullptr;
    error_ = text != nullptr && *text != '\0' ? text : what;
    return false;
}

PinOpenResult LinuxFtdiPort::OpenPins(std::string_view portName) {
    ClosePins();
    note_.clear();
    error_.clear();
    portName_ = std::string(portName.substr(0, kMaxPortNameLength));
    std::optional<std::string> path = SerialDevicePath(portName, environment_);
    if (!path)
        return PinOpenResult::NotThisPort;

    // Which adapter: one named by its serial number, or the one behind the tty.
    const std::optional<std::string> bySerial = FtdiSerialOf(*path);
    UsbSerialAdapter usb;
    if (!bySerial) {
        std::optional<UsbSerialAdapter> found = FindUsbSerialAdapter(*path, sysfsRoot_);
        if (!found || BitBangChipOf(*found) == FtdiBitBangKind::None)
            return PinOpenResult::NotThisPort;
        usb = *found;
        if (TtyInUse(sys_, *path)) {
            return Fail(*path +
                        " is in use by another program (a terminal, a modem manager, another "
                        "Ostrel): close it and try again.");
        }
    }

    ftdi_ = ftdi_new();
    if (ftdi_ == nullptr)
        return Fail("The FTDI library could not start (out of memory).");
    ftdi_set_interface(ftdi_, INTERFACE_A);
    // ftdi_sio lets go while Ostrel holds the chip and takes it back when
    // the interface is released, so the tty comes back afterwards.
    ftdi_->module_detach_mode = AUTO_DETACH_REATACH_SIO_MODULE;
    int opened = 0;
    if (bySerial) {
        const char* serial = bySerial->empty() ? nullptr : bySerial->c_str();
        opened = ftdi_usb_open_desc(ftdi_, 0x0403, 0x6001, nullptr, serial);
        if (opened == -3)
            opened = ftdi_usb_open_desc(ftdi_, 0x0403, 0x6015, nullptr, serial);
    } else {
        opened = ftdi_usb_open_bus_addr(ftdi_, static_cast<uint8_t>(usb.busnum),
                                        static_cast<uint8_t>(usb.devnum));
    }
    const std::string device = FtdiAdapterName(bySerial, portName_);
    if (opened < 0) {
        const char* text = ftdi_get_error_string(ftdi_);
        switch (opened) {
            case -3:
                return Fail("No " + device + " on the USB bus: plug it in, or set " +
                            OverrideVariable(portName_) + " to its device.");
            case -4:
                return Fail(
                    "No permission to open the " + device +
                    ": allow your user its USB device (a udev rule), or use --modem-lines.");
            case -5:
                return Fail("The " + device +
                            " is in use by another program: close it and try again.");
            default:
                return Fail("Cannot open the " + device + ": " + (text ? text : "libftdi error") +
                            ".");
        }
    }
    switch (ftdi_->type) {
        case TYPE_R:
            chip_ = FtdiBitBangKind::Ft232r;
            break;
        case TYPE_230X:
            chip_ = FtdiBitBangKind::FtX;
            break;
        default:
            return Fail("The " + device +
                        " has no synchronous bit-bang mode (only the FT232R and the FT-X chips): "
                        "use --modem-lines.");
    }
    if (ftdi_set_latency_timer(ftdi_, kLatencyMs) < 0 ||
        ftdi_set_bitmode(ftdi_, kFtdiDrivenPins, BITMODE_SYNCBB) < 0 || ftdi_tcioflush(ftdi_) < 0) {
        Failed("setting up the bit-bang mode failed");
        return Fail("The " + device + " refused the bit-bang mode (" + error_ +
                    "): use --modem-lines.");
    }
    return FinishOpen(device);
}

// libftdi multiplies the rate of states by 4 for the baud rate divisor.
bool LinuxFtdiPort::SendRate(const FtdiStateRate& rate) {
    if (ftdi_set_baudrate(ftdi_, static_cast<int>(kFtdiTopStateRate / rate.divisor)) < 0)
        return Failed("setting the bit-bang rate failed");
    return true;
}

bool LinuxFtdiPort::ReadPinsNow(uint8_t* pins) {
    unsigned char value = 0xFF;
    if (ftdi_read_pins(ftdi_, &value) < 0)
        return Failed("reading the pins failed");
    *pins = value;
    return true;
}

// One plain write, and the samples as the chip clocks the states out, in pieces.
bool LinuxFtdiPort::ExchangeStates(std::span<const uint8_t> states, std::span<uint8_t> samples) {
    const int n = static_cast<int>(states.size());
    if (ftdi_write_data(ftdi_, states.data(), n) != n)
        return Failed("usb bulk write failed");
    int got = 0;
    int empty = 0;
    while (got < n) {
        const int r = ftdi_read_data(ftdi_, samples.data() + got, n - got);
        if (r < 0)
            return Failed("usb bulk read failed");
        if (r == 0) {
            if (++empty > kMostEmptyReads) {
                error_ = "the adapter sent nothing back";
                return false;
            }
            continue;
        }
        empty = 0;
        got += r;
    }
    return true;
}

bool LinuxFtdiPort::StartRead() {
    readBuffer_.assign(unread_, 0);
    read_ = ftdi_read_data_submit(ftdi_, readBuffer_.data(), static_cast<int>(unread_));
    if (read_ == nullptr)
        return Failed("usb bulk read failed");
    unread_ = 0;
    return true;
}

// Waits for the read in flight; every sample it asked for must come.
bool LinuxFtdiPort::FinishRead() {
    ftdi_transfer_control* read = read_;
    read_ = nullptr;
    const int got = ftdi_transfer_data_done(read);
    if (got < 0)
        return Failed("usb bulk read failed");
    if (static_cast<std::size_t>(got) != readBuffer_.size()) {
        error_ = got == 0 ? "the adapter sent nothing back in time"
                          : "the adapter sent back fewer samples than states";
        return false;
    }
    back_.insert(back_.end(), readBuffer_.begin(), readBuffer_.end());
    backSinceOldest_ += readBuffer_.size();
    // Writes whose samples are all back are over: let them end.
    while (!writes_.empty() && backSinceOldest_ >= writes_.front().states.size()) {
        const std::size_t size = writes_.front().states.size();
        const int written = ftdi_transfer_data_done(writes_.front().control);
        writes_.pop_front();
        backSinceOldest_ -= size;
        if (written != static_cast<int>(size))
            return Failed("usb bulk write failed");
    }
    // The states sent since this read began get their own now.
    return unread_ == 0 || StartRead();
}

bool LinuxFtdiPort::SendStates(std::span<const uint8_t> states) {
    PendingWrite write;
    write.states.assign(states.begin(), states.end());
    write.control =
        ftdi_write_data_submit(ftdi_, write.states.data(), static_cast<int>(write.states.size()));
    if (write.control == nullptr)
        return Failed("usb bulk write failed");
    writes_.push_back(std::move(write));
    unread_ += states.size();
    return read_ != nullptr || StartRead();
}

bool LinuxFtdiPort::GatherSamples(std::span<uint8_t> samples) {
    while (back_.size() < samples.size()) {
        if (read_ == nullptr && !StartRead())
            return false;
        if (!FinishRead())
            return false;
    }
    std::copy_n(back_.begin(), samples.size(), samples.begin());
    back_.erase(back_.begin(), back_.begin() + static_cast<std::ptrdiff_t>(samples.size()));
    return true;
}

void LinuxFtdiPort::DropInFlight() {
    if (read_ != nullptr) {
        ftdi_transfer_data_done(read_);
        read_ = nullptr;
    }
    for (PendingWrite& write : writes_)
        ftdi_transfer_data_done(write.control);
    writes_.clear();
    back_.clear();
    unread_ = 0;
    backSinceOldest_ = 0;
}

}  // namespace ostrel
