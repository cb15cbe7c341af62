// A preload library (LD_PRELOAD) that puts the simulated chip behind a COM
// port of a Windows program running under Wine, so that the program's real
// Win32 serial code is tested end to end.
//
// Wine maps COM1 to a Unix device (the prefix's dosdevices/com1, or the
// HKLM\Software\Wine\Ports key); the wineserver opens it and passes the
// descriptor to the program, whose own Unix-side code then makes the modem
// ioctls: a line change is TIOCMGET then TIOCMSET, a break TIOCSBRK or
// TIOCCBRK, the status TIOCMGET. The device here is the slave side of a
// pseudo-terminal the test rig holds open (OSTREL_FAKE_SERIAL_TTY names
// it): it answers tcgetattr and tcsetattr as any tty does, and a descriptor
// of it stays recognisable after it was passed, by its device number. A
// pseudo-terminal has no modem lines, so this library answers those ioctls
// from the simulated cable and chip, and lets every other call through.
//
// OSTREL_FAKE_SERIAL_STATE is the chip's state file (loaded at the first line
// change, saved whenever the program closes the port, so consecutive runs see
// the same chip), OSTREL_FAKE_SERIAL_CHIP the chip (default ATmega8). The
// cable is a Cablet2 (DTR looped back to DSR).
#include <dlfcn.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>

#include "core/clock.h"
#include "sim/sim_port.h"

namespace {

using IoctlFn = int (*)(int, unsigned long, ...);
using CloseFn = int (*)(int);

IoctlFn RealIoctl() {
    static auto real = reinterpret_cast<IoctlFn>(dlsym(RTLD_NEXT, "ioctl"));
    return real;
}

CloseFn RealClose() {
    static auto real = reinterpret_cast<CloseFn>(dlsym(RTLD_NEXT, "close"));
    return real;
}

std::string Variable(const char* name, const char* otherwise) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : otherwise;
}

// The device number of the fake port; 0 when none is configured.
dev_t FakeDevice() {
    static const dev_t device = [] {
        struct stat info {};
        std::string tty = Variable("OSTREL_FAKE_SERIAL_TTY", "");
        if (tty.empty() || ::stat(tty.c_str(), &info) != 0 || !S_ISCHR(info.st_mode))
            return dev_t{0};
        return info.st_rdev;
    }();
    return device;
}

bool IsFake(int fd) {
    dev_t device = FakeDevice();
    if (device == 0)
        return false;
    struct stat info {};
    return ::fstat(fd, &info) == 0 && S_ISCHR(info.st_mode) && info.st_rdev == device;
}

struct Bench {
    ostrel::SystemClock clock;
    ostrel::sim::SimPort port;
    bool rts = false;
    bool dtr = false;

    Bench() : port(clock, Config()) {
        port.OpenSerial("COM1");
        rts = port.rts();
        dtr = port.dtr();
    }

    static ostrel::sim::SimConfig Config() {
        ostrel::sim::SimConfig config;
        config.cable = ostrel::sim::CableKind::Cablet2;
        config.chip = Variable("OSTREL_FAKE_SERIAL_CHIP", "ATmega8");
        config.stateFile = Variable("OSTREL_FAKE_SERIAL_STATE", "");
        // The program measures the port on its own clock; the chip runs on
        // the machine's time, so its write times pass as a real chip's do.
        config.timing = false;
        return config;
    }

    int Lines() {
        uint32_t status = port.GetModemStatus();
        int lines = 0;
        if (rts)
            lines |= TIOCM_RTS;
        if (dtr)
            lines |= TIOCM_DTR;
        if (status & ostrel::kMsCtsOn)
            lines |= TIOCM_CTS;
        if (status & ostrel::kMsDsrOn)
            lines |= TIOCM_DSR;
        if (status & ostrel::kMsRingOn)
            lines |= TIOCM_RI;
        return lines;
    }

    void SetLines(int lines) {
        bool newRts = (lines & TIOCM_RTS) != 0;
        bool newDtr = (lines & TIOCM_DTR) != 0;
        if (newRts != rts)
            port.EscapeCommFunction(newRts ? ostrel::CommFunction::SetRts
                                           : ostrel::CommFunction::ClrRts);
        if (newDtr != dtr)
            port.EscapeCommFunction(newDtr ? ostrel::CommFunction::SetDtr
                                           : ostrel::CommFunction::ClrDtr);
        rts = newRts;
        dtr = newDtr;
    }
};

std::mutex benchLock;
std::unique_ptr<Bench> bench;

Bench& TheBench() {
    if (!bench)
        bench = std::make_unique<Bench>();
    return *bench;
}

// Answers a modem-line request on the fake port; false for any other request.
bool Answer(unsigned long request, void* arg, int* result) {
    std::lock_guard<std::mutex> hold(benchLock);
    *result = 0;
    switch (request) {
        case TIOCMGET:
            *static_cast<int*>(arg) = TheBench().Lines();
            return true;
        case TIOCMSET:
            TheBench().SetLines(*static_cast<int*>(arg));
            return true;
        case TIOCMBIS:
            TheBench().SetLines(TheBench().Lines() | *static_cast<int*>(arg));
            return true;
        case TIOCMBIC:
            TheBench().SetLines(TheBench().Lines() & ~*static_cast<int*>(arg));
            return true;
        case TIOCSBRK:
            TheBench().port.EscapeCommFunction(ostrel::CommFunction::SetBreak);
            return true;
        case TIOCCBRK:
            TheBench().port.EscapeCommFunction(ostrel::CommFunction::ClrBreak);
            return true;
        default:
            return false;
    }
}

}  // namespace

extern "C" {

// glibc declares ioctl(int, unsigned long, ...).
int ioctl(int fd, unsigned long request, ...) {  // NOLINT(cert-dcl50-cpp)
    va_list args;
    va_start(args, request);
    void* arg = va_arg(args, void*);
    va_end(args);
    int result = 0;
    if (IsFake(fd) && Answer(request, arg, &result))
        return result;
    return RealIoctl()(fd, request, arg);
}

// The program closing its port: the chip is saved for the next run.
int close(int fd) {
    if (IsFake(fd)) {
        std::lock_guard<std::mutex> hold(benchLock);
        if (bench)
            bench->port.Save();
    }
    return RealClose()(fd);
}

}  // extern "C"
