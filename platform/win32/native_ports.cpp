#include "platform/native_ports.h"

#include "core/clock.h"
#include "platform/win32/found_ports.h"
#include "platform/win32/sys_calls.h"
#include "platform/win32/win32_ftdi_port.h"
#include "platform/win32/win32_parallel_port.h"
#include "platform/win32/win32_serial_port.h"

namespace ostrel {

namespace {

class Win32Ports : public NativePorts {
  public:
    explicit Win32Ports(SysCalls* sys)
        : own_(sys ? nullptr : std::make_unique<Win32SysCalls>()),
          sys_(sys ? *sys : *own_),
          serial_(sys_),
          parallel_(sys_),
          ftdi_(sys_, clock_) {}

    SerialLines& serial() override { return serial_; }
    ParallelRegisters& parallel() override { return parallel_; }
    PinPort* bitBang() override { return &ftdi_; }
    std::vector<FoundPort> FindPorts() override { return FindWin32Ports(); }
    ParallelAccess StartParallelAccess() override {
        Win32ParallelStart start = parallel_.Start();
        ParallelAccess access;
        access.directPortIo = start.directPortIo;
        access.dlPortIoLoaded = start.dlPortIoLoaded;
        access.library = start.library;
        return access;
    }
    // A port that is there is reached through the driver: its library is
    // loaded as at start, and nothing is decided by the platform family.
    ParallelAccess GrantedParallelAccess() override {
        ParallelAccess access;
        access.library = sys_.LoadLibraryA(kDlPortIoLibrary);
        access.dlPortIoLoaded = true;
        parallel_.UseDriver(access.library);
        return access;
    }

  private:
    std::unique_ptr<Win32SysCalls> own_;
    SysCalls& sys_;
    Win32SerialPort serial_;
    Win32ParallelPort parallel_;
    // Times the wait for an FTDI adapter's samples.
    SystemClock clock_;
    Win32FtdiPort ftdi_;
};

}  // namespace

std::unique_ptr<NativePorts> MakeNativePorts(SysCalls* sys) {
    return std::make_unique<Win32Ports>(sys);
}

std::string ParallelAccessHint() {
    return "On Windows the parallel port is reached through the DlPortIO driver: install it, "
           "so that DLPORTIO.dll is beside the program or on the PATH, and use the 32-bit "
           "Ostrel, since the driver's library is 32-bit.";
}

}  // namespace ostrel
