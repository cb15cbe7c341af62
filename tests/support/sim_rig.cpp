#include "tests/support/sim_rig.h"

#include "app/commands.h"
#include "app/file_selection.h"
#include "core/ids.h"
#include "devices/device_file.h"

namespace ostrel::testing {

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
    rig.sim = std::make_unique<sim::SimPort>(clock, config);
    rig.programmer = std::make_unique<Programmer>(*rig.sim, clock, rig.windows);
    Programmer& p = *rig.programmer;
    ProgrammerState& s = p.state;
    s.mainWindow = ids::kMainWindow;
    s.speed = 3;
    if (options.cable == sim::CableKind::Parallel) {
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

int SimRig::Load(std::string_view name) {
    p.state.currentFileName.Assign(dir.File(name));
    return app::LoadCurrentFile(p);
}

}  // namespace ostrel::testing
