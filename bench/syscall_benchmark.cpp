// System calls one bit of the transfer costs on each cable, through the real
// Linux port backends in front of virtual devices (a ppdev parport, a tty), so
// no hardware is needed and nothing waits. On hardware each system call is a
// trip into the kernel, and on a USB-serial adapter a USB request: the count
// per bit decides the speed of a long write.
//
// The speed is High and the delay unit one input read, the least the
// calibration can give; a slower speed or a longer unit adds input reads.
//
// Counters:
//   syscalls_per_bit   system calls of any kind per bit
//   ioctls_per_bit     of them ioctls (all of them, once the port is open)
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <termios.h>

#include <cstdint>
#include <optional>
#include <string>

#include "adapter/adapter.h"
#include "core/programmer.h"
#include "bench/no_windows.h"
#include "core/clock.h"
#include "platform/linux/linux_parallel_port.h"
#include "platform/linux/linux_serial_port.h"
#include "platform/system_ports.h"
#include "tests/support/virtual_device.h"

namespace {

using ostrel::testing::VirtualDevices;

// Forwards every call to the virtual devices and counts it.
class CountingSysCalls final : public ostrel::SysCalls {
  public:
    explicit CountingSysCalls(ostrel::SysCalls& inner) : inner_(inner) {}

    int Open(const char* path, int flags) override { return Count(inner_.Open(path, flags)); }
    int Close(int fd) override { return Count(inner_.Close(fd)); }
    int Ioctl(int fd, unsigned long request, void* arg) override {
        ++ioctls;
        return Count(inner_.Ioctl(fd, request, arg));
    }
    int TcGetAttr(int fd, termios* settings) override {
        return Count(inner_.TcGetAttr(fd, settings));
    }
    int TcSetAttr(int fd, int action, const termios* settings) override {
        return Count(inner_.TcSetAttr(fd, action, settings));
    }
    int Fcntl(int fd, int cmd, int arg) override { return Count(inner_.Fcntl(fd, cmd, arg)); }
    int Flock(int fd, int operation) override { return Count(inner_.Flock(fd, operation)); }
    int Stat(const char* path, struct stat* info) override {
        return Count(inner_.Stat(path, info));
    }
    std::optional<std::string> GroupName(gid_t gid) override {
        ++calls;
        return inner_.GroupName(gid);
    }

    void Reset() { calls = ioctls = 0; }

    uint64_t calls = 0;
    uint64_t ioctls = 0;

  private:
    int Count(int result) {
        ++calls;
        return result;
    }
    ostrel::SysCalls& inner_;
};

enum class Cable { Parallel, PlainSerial, Cablet1, Cablet2 };

void SysCallsPerBit(benchmark::State& state, Cable cable) {
    VirtualDevices devices;
    devices.recordCalls = false;
    devices.AddParport("/dev/parport0");
    devices.AddTty("/dev/ttyS0");
    CountingSysCalls sys(devices);
    ostrel::LinuxSerialPort serial(sys, ostrel::EnvironmentLookup{});
    ostrel::LinuxParallelPort parallel(sys, ostrel::EnvironmentLookup{});
    ostrel::SystemPorts ports(serial, parallel);
    ostrel::VirtualClock clock;
    NoWindows windows;
    ostrel::Programmer p(ports, clock, windows);
    ostrel::ProgrammerState& s = p.state;
    s.speed = 3;  // High
    s.delayLoops = 1;
    if (cable == Cable::Parallel) {
        s.adapterKind = ostrel::AdapterKind::Parallel;
        s.portBase = 0x378;
        s.directPortIo = parallel.Available(s.portBase) ? 1 : 0;
    } else {
        s.adapterKind = ostrel::AdapterKind::Serial;
        s.comName.Assign("COM1");
        s.cablet1 = cable == Cable::Cablet1 ? 1 : 0;
        s.cablet2 = cable == Cable::Cablet2 ? 1 : 0;
    }
    if (ostrel::adapter::HoldTargetInReset(p) != 0 ||
        (cable == Cable::Parallel && s.directPortIo == 0)) {
        state.SkipWithError("the virtual port does not open");
        return;
    }

    sys.Reset();
    uint16_t word = 0xAC53;
    for (auto _ : state) {
        s.txWord = word;
        ostrel::adapter::TransferWord(p);
        word = static_cast<uint16_t>(word * 31 + 7);
    }
    const double bits = static_cast<double>(state.iterations()) * 16;
    state.counters["syscalls_per_bit"] = static_cast<double>(sys.calls) / bits;
    state.counters["ioctls_per_bit"] = static_cast<double>(sys.ioctls) / bits;
    state.SetItemsProcessed(static_cast<int64_t>(bits));
}

BENCHMARK_CAPTURE(SysCallsPerBit, parallel, Cable::Parallel);
BENCHMARK_CAPTURE(SysCallsPerBit, plain_serial, Cable::PlainSerial);
BENCHMARK_CAPTURE(SysCallsPerBit, cablet1, Cable::Cablet1);
BENCHMARK_CAPTURE(SysCallsPerBit, cablet2, Cable::Cablet2);

}  // namespace

BENCHMARK_MAIN();
