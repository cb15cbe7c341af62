#include "platform/native_ports.h"

#include "platform/linux/found_ports.h"
#include "platform/linux/linux_ftdi_port.h"
#include "platform/linux/linux_gpio_port.h"
#include "platform/linux/linux_parallel_port.h"
#include "platform/linux/linux_serial_port.h"
#include "platform/linux/sys_calls.h"

namespace ostrel {

namespace {

class LinuxPorts : public NativePorts {
  public:
    explicit LinuxPorts(SysCalls* sys)
        : own_(sys ? nullptr : std::make_unique<LinuxSysCalls>()),
          sys_(sys ? *sys : *own_),
          serial_(sys_),
          parallel_(sys_),
          ftdi_(sys_),
          gpio_(sys_) {}

    SerialLines& serial() override { return serial_; }
    ParallelRegisters& parallel() override { return parallel_; }
    PinPort* bitBang() override { return &ftdi_; }
    PinPort* gpio() override { return &gpio_; }
    std::vector<FoundPort> FindPorts() override {
        return FindLinuxPorts("/sys", "/dev", ProcessEnvironment(), sys_);
    }
    // ppdev gives every register as port instructions do; there is no
    // driver library.
    ParallelAccess StartParallelAccess() override {
        ParallelAccess access;
        access.directPortIo = parallel_.AnyAvailable();
        return access;
    }
    ParallelAccess GrantedParallelAccess() override {
        ParallelAccess access;
        access.directPortIo = true;
        return access;
    }

  private:
    std::unique_ptr<LinuxSysCalls> own_;
    SysCalls& sys_;
    LinuxSerialPort serial_;
    LinuxParallelPort parallel_;
    LinuxFtdiPort ftdi_;
    LinuxGpioPort gpio_;
};

}  // namespace

std::unique_ptr<NativePorts> MakeNativePorts(SysCalls* sys) {
    return std::make_unique<LinuxPorts>(sys);
}

std::string ParallelAccessHint() {
    return "Nothing to download on Linux: load the ppdev driver (sudo modprobe "
           "ppdev), join the lp group (sudo usermod -aG lp $USER, then log in "
           "again), or name another device with "
           "OSTREL_PORT_0378=/dev/parportN.";
}

}  // namespace ostrel
