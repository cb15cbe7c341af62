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
    : native_(MakeNativePorts(options.sysCalls)),
      ports_(native_->serial(), native_->parallel()),
      ownClock_(OwnClock(options)),
      clock_(options.clock ? *options.clock : *ownClock_),
      simulator_(clock_, sim::DefaultStatePath(options.startDirectory), std::move(options.report)),
      programmer_(ports_, clock_, windows) {
    ports_.SetExtraBackend(&simulator_);
    ports_.SetPinBackends(native_->bitBang(), native_->gpio());
    programmer_.pins = &ports_;
    programmer_.currentDirectory = options.startDirectory;
    ParallelAccess access;
    if (!options.parallelAccess)
        access = native_->StartParallelAccess();
    else if (*options.parallelAccess)
        access = native_->GrantedParallelAccess();
    programmer_.state.directPortIo = access.directPortIo ? 1 : 0;
    programmer_.state.dlPortIoLoaded = access.dlPortIoLoaded ? 1 : 0;
    programmer_.state.dlPortIoLibrary = access.library;
    if (options.foundPorts) {
        programmer_.foundPorts = *options.foundPorts;
        programmer_.portsSearched = true;
    } else if (options.findPorts) {
        programmer_.foundPorts = native_->FindPorts();
        programmer_.portsSearched = true;
    }
}

}  // namespace ostrel::app
