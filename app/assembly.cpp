#include "app/assembly.h"

#include <utility>

#include "sim/sim_state_file.h"

namespace ostrel::app {

namespace {

std::unique_ptr<Clock> OwnClock(const AssemblyOptions& options) {
    if (options.clock)
        return nullptr;
    if (options.virtualClock)
        return std::make_unique<VirtualClock>();
    return std::make_unique<SystemClock>();
}

}  // namespace

Assembly::Assembly(WindowSystem& windows, AssemblyOptions options)
    : ownSysCalls_(options.sysCalls ? nullptr : std::make_unique<LinuxSysCalls>()),
      sys_(options.sysCalls ? *options.sysCalls : *ownSysCalls_),
      serial_(sys_),
      parallel_(sys_),
      ftdi_(sys_),
      gpio_(sys_),
      ports_(serial_, parallel_),
      ownClock_(OwnClock(options)),
      clock_(options.clock ? *options.clock : *ownClock_),
      simulator_(clock_, sim::DefaultStatePath(options.startDirectory), std::move(options.report)),
      programmer_(ports_, clock_, windows) {
    ports_.SetExtraBackend(&simulator_);
    ports_.SetPinBackends(&ftdi_, &gpio_);
    programmer_.pins = &ports_;
    programmer_.currentDirectory = options.startDirectory;
    // ppdev gives every register as port instructions do; there is no driver library.
    bool parallel = options.parallelAccess ? *options.parallelAccess : parallel_.AnyAvailable();
    programmer_.state.directPortIo = parallel ? 1 : 0;
    programmer_.state.dlPortIoLoaded = 0;
}

}  // namespace ostrel::app
