#include "tests/support/sim_rig.h"

#include <gtest/gtest.h>

#include "adapter/adapter.h"
#include "app/commands.h"
#include "app/file_selection.h"
#include "core/ids.h"
#include "devices/device_file.h"
#include "sim/sim_state_file.h"
#if defined(OSTREL_PIN_PORTS)
#include "tests/support/linux/pin_kit.h"
#elif defined(OSTREL_WIN32_PIN_PORTS)
#include "tests/support/win32/pin_kit.h"
#endif

namespace ostrel::testing {

#if !defined(OSTREL_PIN_PORTS) && !defined(OSTREL_WIN32_PIN_PORTS)
// A build without ports of pins never makes one; the rig's pointer to it
// stays empty.
class PinKit {};
#define OSTREL_NO_PIN_KIT
#endif

std::string StateFileOfVersion(std::string bytes, uint8_t version) {
    bytes[8] = static_cast<char>(version);  // after the magic "OSTRLSIM"
    const uint32_t crc = sim::Crc32(std::string_view(bytes).substr(0, bytes.size() - 4));
    for (std::size_t i = 0; i < 4; ++i)
        bytes[bytes.size() - 4 + i] = static_cast<char>((crc >> (8 * i)) & 0xFF);
    return bytes;
}

Programmer& SimRig::Build(SimRig& rig, const SimRigOptions& options) {
    sim::SimConfig config;
    config.cable = options.cable;
    config.chip = options.chip;
    config.fault = options.fault;
    config.outOfStepBits = options.outOfStepBits;
    config.stuckAddress = options.stuckAddress;
    config.stuckMemory = options.stuckMemory;
    config.disappearAfter = options.disappearAfter;
    config.unknownSignature = options.unknownSignature;
    if (options.accessNs != 0)
        config.serialAccessNs = config.parallelAccessNs = options.accessNs;
    Clock& clock = options.clock != nullptr ? *options.clock : rig.clock;
    if (options.port == RigPort::Sim) {
        rig.sim = std::make_unique<sim::SimPort>(clock, config);
        rig.board = rig.sim.get();
        rig.programmer = std::make_unique<Programmer>(*rig.sim, clock, rig.windows);
    } else {
#if !defined(OSTREL_NO_PIN_KIT)
        PinKitOptions kitOptions;
        kitOptions.via = options.port == RigPort::Gpio     ? PinVia::Gpio
                         : options.port == RigPort::Ft231x ? PinVia::Ft231x
                                                           : PinVia::Ft232r;
        kitOptions.board = config;
        rig.kit = std::make_unique<PinKit>(clock, kitOptions);
#if !defined(_WIN32)
        // The libftdi fake's switches; the stand-in D2XX library keeps
        // transfers in flight as the backend asks.
        rig.kit->router.pipelined = options.pipelined;
        rig.kit->usb.frameModel = options.frameModel;
#endif
        rig.board = &rig.kit->board;
        rig.programmer =
            std::make_unique<Programmer>(rig.kit->serial, rig.kit->parallel, clock, rig.windows);
#else
        ADD_FAILURE() << "no ports of pins in this build";
        rig.sim = std::make_unique<sim::SimPort>(clock, config);
        rig.board = rig.sim.get();
        rig.programmer = std::make_unique<Programmer>(*rig.sim, clock, rig.windows);
#endif
    }
    Programmer& p = *rig.programmer;
    ProgrammerState& s = p.state;
    s.mainWindow = ids::kMainWindow;
    s.speed = 3;
    if (rig.kit) {
#if !defined(OSTREL_NO_PIN_KIT)
        rig.kit->Attach(p);
#endif
    } else if (options.cable == sim::CableKind::Parallel) {
        s.directPortIo = 1;
        s.portName.Assign("0378");
    } else {
        s.adapterKind = AdapterKind::Serial;
        s.portName.Assign("COM1");
        s.comName.Assign("COM1");
    }
    rig.dir.Write("ostrel.ini", ReadFileBytes(SourcePath("resources/ostrel.ini")));
    rig.dir.Write("ostrel.cfg", "");
    p.currentDirectory = rig.dir.str();
    s.startDirectory.Assign(rig.dir.str());
    rig.windows.CheckItem(ids::kMainWindow, ids::kAutodetection, true);
    rig.windows.CheckItem(ids::kMainWindow, ids::kEraseBeforeWrite, true);
    devices::FillDeviceList(p);
    rig.windows.SelectListEntry(0);
    rig.windows.log.clear();
    return p;
}

void SimRig::ChooseByHand(std::string_view name) {
    windows.CheckItem(ids::kMainWindow, ids::kAutodetection, false);
    app::OnCommand(p, ids::kAutodetection);
    for (int i = 0; i < windows.ListCount(); ++i) {
        if (windows.ListEntry(i) == name)
            windows.SelectListEntry(i);
    }
}

SimRig::SimRig(const SimRigOptions& options) : p(Build(*this, options)) {}

// The programmer goes first: it may hold the port of pins open.
SimRig::~SimRig() {
    if (kit && p.state.comOpen)
        adapter::CloseSerialPort(p);
    programmer.reset();
    kit.reset();
}

const char* RigPortName(RigPort port) {
    switch (port) {
        case RigPort::Sim:
            return "SIM";
        case RigPort::Ft232r:
            return "FT232R";
        case RigPort::Ft231x:
            return "FT231X";
        case RigPort::Gpio:
            return "GPIO";
    }
    return "?";
}

bool RigPortAvailable(RigPort port) {
#if defined(OSTREL_PIN_PORTS)
    (void)port;
    return true;
#elif defined(OSTREL_WIN32_PIN_PORTS)
    // An FTDI adapter through the stand-in D2XX library; GPIO is Linux's.
    return port != RigPort::Gpio;
#else
    return port == RigPort::Sim;
#endif
}

int SimRig::Load(std::string_view name) {
    p.state.currentFileName.Assign(dir.File(name));
    return app::LoadCurrentFile(p);
}

}  // namespace ostrel::testing
