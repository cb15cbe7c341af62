#include "platform/linux/linux_parallel_port.h"

#include <fcntl.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>

#include <array>
#include <cerrno>
#include <optional>
#include <utility>

#include "platform/linux/port_hints.h"

namespace ostrel {

namespace {
// Control register bit that switches the data lines to input.
constexpr uint8_t kDirectionMask = 0x20;
// What a register reads where no port answers.
constexpr uint8_t kIdle = 0xFF;
}  // namespace

LinuxParallelPort::LinuxParallelPort(SysCalls& sys, EnvironmentLookup environment)
    : sys_(sys), environment_(std::move(environment)) {}

LinuxParallelPort::~LinuxParallelPort() {
    for (Device& device : devices_) {
        if (device.fd < 0)
            continue;
        sys_.Ioctl(device.fd, PPRELEASE, nullptr);
        sys_.Close(device.fd);
        device.fd = -1;
    }
}

LinuxParallelPort::Device* LinuxParallelPort::Claimed(uint16_t base) {
    for (Device& device : devices_) {
        if (device.base == base)
            return device.fd >= 0 ? &device : nullptr;
    }
    std::optional<std::string> path = ParallelDevicePath(base, environment_);
    if (!path)
        return nullptr;

    Device& device = devices_.emplace_back();
    device.base = base;
    device.path = *path;
    errno = 0;
    int fd = sys_.Open(path->c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        device.error = errno != 0 ? errno : EIO;
        return nullptr;
    }
    if (sys_.Ioctl(fd, PPCLAIM, nullptr) < 0) {
        device.error = errno != 0 ? errno : EIO;
        sys_.Close(fd);
        return nullptr;
    }
    // A fresh claim leaves the data lines driving; saying so explicitly makes
    // the direction image true whatever the low-level driver did before.
    int reverse = 0;
    sys_.Ioctl(fd, PPDATADIR, &reverse);
    device.fd = fd;
    device.direction = 0;
    return &device;
}

bool LinuxParallelPort::Available(uint16_t base) {
    return Claimed(base) != nullptr;
}

bool LinuxParallelPort::AnyAvailable() {
    constexpr std::array<uint16_t, 3> kBases{0x378, 0x278, 0x3BC};
    for (uint16_t base : kBases) {
        if (Available(base))
            return true;
    }
    return false;
}

std::string LinuxParallelPort::FailureHint(uint16_t base) {
    for (const Device& device : devices_) {
        if (device.base == base && device.fd < 0) {
            return OpenFailureHint(sys_, device.error, device.path, PortKind::Parallel,
                                   ParallelPortName(base));
        }
    }
    return {};
}

uint8_t LinuxParallelPort::ReadRegister(const Device& device, unsigned long request) {
    unsigned char value = kIdle;
    if (sys_.Ioctl(device.fd, request, &value) < 0)
        return kIdle;
    return value;
}

void LinuxParallelPort::WriteData(uint16_t base, uint8_t value) {
    Device* device = Claimed(base);
    if (device == nullptr)
        return;
    unsigned char data = value;
    sys_.Ioctl(device->fd, PPWDATA, &data);
}

uint8_t LinuxParallelPort::ReadData(uint16_t base) {
    Device* device = Claimed(base);
    if (device == nullptr)
        return kIdle;
    return ReadRegister(*device, PPRDATA);
}

uint16_t LinuxParallelPort::ReadWord(uint16_t base) {
    Device* device = Claimed(base);
    if (device == nullptr)
        return 0xFFFF;
    uint16_t data = ReadRegister(*device, PPRDATA);
    uint16_t status = ReadRegister(*device, PPRSTATUS);
    return static_cast<uint16_t>(data | (status << 8));
}

uint8_t LinuxParallelPort::ReadStatus(uint16_t base) {
    Device* device = Claimed(base);
    if (device == nullptr)
        return kIdle;
    return ReadRegister(*device, PPRSTATUS);
}

uint8_t LinuxParallelPort::ReadControl(uint16_t base) {
    Device* device = Claimed(base);
    if (device == nullptr)
        return kIdle;
    uint8_t control = ReadRegister(*device, PPRCONTROL);
    return static_cast<uint8_t>((control & ~kDirectionMask) | device->direction);
}

void LinuxParallelPort::WriteControl(uint16_t base, uint8_t value) {
    Device* device = Claimed(base);
    if (device == nullptr)
        return;
    // ppdev would take bit 5 of PPWCONTROL as a request to reverse the data
    // lines (and log a complaint); the direction goes through PPDATADIR.
    auto control = static_cast<unsigned char>(value & ~kDirectionMask);
    sys_.Ioctl(device->fd, PPWCONTROL, &control);
    auto direction = static_cast<uint8_t>(value & kDirectionMask);
    if (direction != device->direction) {
        int reverse = direction != 0 ? 1 : 0;
        if (sys_.Ioctl(device->fd, PPDATADIR, &reverse) == 0)
            device->direction = direction;
    }
}

}  // namespace ostrel
