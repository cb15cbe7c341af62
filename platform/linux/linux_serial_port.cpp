#include "platform/linux/linux_serial_port.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <optional>
#include <utility>

#include "platform/linux/port_hints.h"
#include "platform/linux/usb_serial.h"

namespace ostrel {

void ApplySerialLineSettings(termios& settings) {
    cfsetispeed(&settings, B9600);
    cfsetospeed(&settings, B9600);
    settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB);
    settings.c_cflag |= CS8 | CLOCAL | CREAD;
    // RTS is the SCK line of the cable. With hardware flow control the driver
    // (or a UART with automatic RTS) would switch it on its own, so it is off.
    settings.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
}

void ApplySerialReadTimeouts(termios& settings) {
    // The classic time-outs (3 ms between characters, 5 ms in all) are below
    // the 0.1 s unit of VTIME; the nearest termios setting is a read that
    // never waits.
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
}

uint32_t ModemStatusFromLines(int lines) {
    uint32_t status = 0;
    if (lines & TIOCM_CTS)
        status |= kMsCtsOn;
    if (lines & TIOCM_DSR)
        status |= kMsDsrOn;
    if (lines & TIOCM_RI)
        status |= kMsRingOn;
    return status;
}

LinuxSerialPort::LinuxSerialPort(SysCalls& sys, EnvironmentLookup environment,
                                 std::filesystem::path sysfsRoot)
    : sys_(sys), environment_(std::move(environment)), sysfsRoot_(std::move(sysfsRoot)) {}

LinuxSerialPort::~LinuxSerialPort() {
    CloseSerial();
}

SerialOpenResult LinuxSerialPort::Fail(int fd, SerialOpenResult result) {
    lastError_ = errno != 0 ? errno : EIO;
    // A lock held by someone else is reported as the busy port it means.
    if (lastError_ == EWOULDBLOCK)
        lastError_ = EBUSY;
    if (fd >= 0)
        Release(fd);
    attempt_.note =
        OpenFailureHint(sys_, lastError_, attempt_.path, PortKind::Serial, attempt_.portName);
    return result;
}

void LinuxSerialPort::Release(int fd) {
    // The exclusive mode stays with the tty, not with this descriptor: a
    // pseudo-terminal whose other side is still open would keep refusing
    // everybody, so it is switched off before the close. The lock goes with
    // the close anyway; unlocking first only makes the order plain.
    if (exclusive_)
        sys_.Ioctl(fd, TIOCNXCL, nullptr);
    exclusive_ = false;
    sys_.Flock(fd, LOCK_UN);
    sys_.Close(fd);
}

SerialOpenResult LinuxSerialPort::OpenSerial(std::string_view comName) {
    CloseSerial();
    lastError_ = 0;
    if (!attempt_.Begin(comName, environment_)) {
        errno = ENODEV;
        return Fail(-1, SerialOpenResult::OpenFailed);
    }
    const std::string& path = attempt_.path;

    // O_NONBLOCK keeps open from waiting for the carrier line, which the cable
    // never raises; O_NOCTTY keeps the port from becoming the controlling
    // terminal; O_CLOEXEC keeps it out of programs started from here (the
    // help browser).
    errno = 0;
    int fd = sys_.Open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return Fail(-1, SerialOpenResult::OpenFailed);
    // Nobody else may use the port while the cable is clocked: a modem
    // manager probing it or a terminal setting its lines would corrupt a
    // write. The advisory lock refuses a second programmer (the superuser
    // too, whom the tty's exclusive mode lets through); the exclusive mode
    // refuses every later open by anyone else.
    if (sys_.Flock(fd, LOCK_EX | LOCK_NB) != 0)
        return Fail(fd, SerialOpenResult::OpenFailed);
    // Only a tty knows the exclusive mode; anything else fails the settings
    // read below, which names the fault better.
    exclusive_ = sys_.Ioctl(fd, TIOCEXCL, nullptr) == 0;
    int flags = sys_.Fcntl(fd, F_GETFL, 0);
    if (flags < 0 || sys_.Fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0) {
        return Fail(fd, SerialOpenResult::OpenFailed);
    }

    termios settings{};
    if (sys_.TcGetAttr(fd, &settings) != 0)
        return Fail(fd, SerialOpenResult::ReadSettingsFailed);
    ApplySerialLineSettings(settings);
    if (sys_.TcSetAttr(fd, TCSANOW, &settings) != 0) {
        return Fail(fd, SerialOpenResult::WriteSettingsFailed);
    }
    ApplySerialReadTimeouts(settings);
    if (sys_.TcSetAttr(fd, TCSANOW, &settings) != 0) {
        return Fail(fd, SerialOpenResult::WriteTimeoutsFailed);
    }
    fd_ = fd;
    if (std::optional<UsbSerialAdapter> usb = FindUsbSerialAdapter(path, sysfsRoot_))
        attempt_.note = UsbSerialNote(*usb, attempt_.portName);
    return SerialOpenResult::Ok;
}

void LinuxSerialPort::CloseSerial() {
    if (fd_ < 0)
        return;
    Release(fd_);
    fd_ = -1;
}

void LinuxSerialPort::SetLines(unsigned long request, int bits) {
    sys_.Ioctl(fd_, request, &bits);
}

void LinuxSerialPort::EscapeCommFunction(CommFunction function) {
    if (fd_ < 0)
        return;
    // Results are not checked: a line change that fails goes unnoticed, as
    // the bit transfer above has no way to recover from it anyway.
    switch (function) {
        case CommFunction::SetRts:
            SetLines(TIOCMBIS, TIOCM_RTS);
            break;
        case CommFunction::ClrRts:
            SetLines(TIOCMBIC, TIOCM_RTS);
            break;
        case CommFunction::SetDtr:
            SetLines(TIOCMBIS, TIOCM_DTR);
            break;
        case CommFunction::ClrDtr:
            SetLines(TIOCMBIC, TIOCM_DTR);
            break;
        case CommFunction::SetBreak:
            sys_.Ioctl(fd_, TIOCSBRK, nullptr);
            break;
        case CommFunction::ClrBreak:
            sys_.Ioctl(fd_, TIOCCBRK, nullptr);
            break;
    }
}

uint32_t LinuxSerialPort::GetModemStatus() {
    if (fd_ < 0)
        return 0;
    int lines = 0;
    if (sys_.Ioctl(fd_, TIOCMGET, &lines) < 0)
        return 0;
    return ModemStatusFromLines(lines);
}

}  // namespace ostrel
