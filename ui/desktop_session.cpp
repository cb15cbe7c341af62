#include "ui/desktop_session.h"

#include <utility>

#include "adapter/adapter.h"
#include "app/commands.h"
#include "app/endings.h"
#include "app/startup.h"
#include "core/ids.h"
#include "platform/interrupts.h"
#include "platform/port_names.h"
#include "sim/chip_table.h"
#include "ui/busy.h"
#include "ui/port_display.h"
#include "ui/where.h"

namespace ostrel::ui {

app::StartFolder ChooseDesktopStartFolder(const std::optional<app::StartFolder>& chosen,
                                          const std::string& startDirectory) {
    if (chosen)
        return *chosen;
    if (!startDirectory.empty())
        return app::StartFolder{startDirectory, false, false, {}};
    return app::ChooseStartFolderForProcess();
}

app::StartFolder ChooseDesktopStartFolder(const DesktopOptions& options) {
    return ChooseDesktopStartFolder(options.startFolder, options.startDirectory);
}

app::AssemblyOptions DesktopAssemblyOptions(const DesktopOptions& options,
                                            const app::StartFolder& start,
                                            sim::SimulatorSlot::Reporter report) {
    app::AssemblyOptions parts;
    parts.startDirectory = start.directory;
    parts.clock = options.clock;
    parts.sysCalls = options.sysCalls;
    parts.parallelAccess = options.parallelAccess;
    parts.findPorts = options.sysCalls == nullptr && options.clock == nullptr;
    parts.foundPorts = options.foundPorts;
    parts.report = std::move(report);
    return parts;
}

MenuMachine MenuMachineOf(const Programmer& p) {
    MenuMachine machine;
    machine.found = p.foundPorts;
    machine.portsSearched = p.portsSearched;
    return machine;
}

DesktopSession::DesktopSession(app::Assembly& assembly, DesktopWindow& window,
                               app::StartFolder startFolder, std::string home)
    : assembly_(assembly),
      window_(window),
      startFolder_(std::move(startFolder)),
      home_(std::move(home)) {}

void DesktopSession::ShowSimulator() {
    sim::SimulatorSlot& simulator = assembly_.simulator();
    window_.ShowSimulatorChip(simulator.chip());
    const sim::ChipInfo* chip = sim::FindChip(simulator.chip());
    window_.ShowSimulatorClock(simulator.chipClock(), chip != nullptr ? chip->clockHz : 0);
}

bool DesktopSession::Start(const std::optional<std::string>& commandLineFile) {
    window_.Show();
    Programmer& p = programmer();
    // The start-up lets pending events through while it works; a click that
    // arrives meanwhile must not start a command inside it. It sends nothing
    // to a chip, so the window shows no progress bar or Stop meanwhile (a
    // question it asks is a box that keeps the window from input).
    p.commandRunning = true;
    bool open = app::OpenMainWindow(p, commandLineFile);
    p.commandRunning = false;
    AfterCommand();
    if (window_.Ended())
        return false;
    ShowStartFolder();
    return open && !window_.Ended();
}

void DesktopSession::ShowStartFolder() {
    std::string note = app::DescribeStartFolder(startFolder_);
    if (!note.empty())
        window_.Note(note);
    if (window_.Ended())
        return;
    // The activity line's tip says where the files are; the line itself shows
    // the folder when it is not the one the program was started in.
    const std::string tip = StartFolderTip(startFolder_);
    if (startFolder_.perUser) {
        window_.ShowOnActivityLine({ShortPath(startFolder_.directory, home_)}, tip);
    } else {
        window_.SetTip(ids::kActivity, tip);
    }
    // Once in a box: the first start that sets the folder up, or when it failed.
    std::string message = StartFolderMessage(startFolder_, home_);
    if (!message.empty())
        programmer().windows.MessageBox(ids::kNoOwner, message, "Ostrel", MsgButtons::Ok,
                                        MessageKind::Information);
}

void DesktopSession::ShowWhereItWent(int command) {
    if (window_.Ended())
        return;
    Programmer& p = programmer();
    const std::string ending = p.windows.ItemText(ids::kMainWindow, ids::kActivity);
    std::optional<FileShown> shown = WhereItWent(p, command, ending, home_);
    if (shown)
        window_.ShowOnActivityLine(shown->lines, shown->tip);
}

void DesktopSession::Destroy() {
    if (destroyed_)
        return;
    destroyed_ = true;
    app::OnDestroy(programmer());
}

bool DesktopSession::Command(int command) {
    Programmer& p = programmer();
    if (command == ids::kStop)
        return RequestStop();
    if (p.commandRunning) {
        if (command == ids::kExit || command == ids::kCancelCommand) {
            AskToStopAndQuit();
            return true;
        }
        return false;
    }
    RunCommand(command);
    return true;
}

void DesktopSession::RunCommand(int command) {
    window_.SetTip(ids::kActivity, StartFolderTip(startFolder_));
    const bool busy = ui::RunsBusy(command);
    if (busy)
        window_.SetBusy(true);
    app::CommandResult result = app::CommandResult::Ok;
    if (command == ids::kCableTest) {
        RunCableTest();
    } else {
        result = app::OnCommand(programmer(), command);
    }
    if (busy)
        window_.SetBusy(false);
    if (result == app::CommandResult::Ok)
        ShowWhereItWent(command);
    AfterCommand();
}

void DesktopSession::RunCableTest() {
    Programmer& p = programmer();
    std::unique_ptr<CableTestView> box =
        window_.OpenCableTest(std::string(p.state.portName.view()));
    p.commandRunning = true;
    p.state.mainWindow = ids::kMainWindow;
    adapter::CableTestHooks hooks;
    hooks.show = [&box](const adapter::CableReading& reading) { box->Show(reading); };
    hooks.idle = [&box] { return box->Idle(); };
    adapter::CableTestResult result = adapter::RunCableTest(p, hooks);
    app::TellDriverAccessFailure(p);
    if (result.status != 0) {
        box->Close();
        app::ReportFailure(p);
    } else {
        box->FinishAndWait(result);
    }
    p.commandRunning = false;
}

void DesktopSession::ShowPort() {
    PortShown shown = DescribePort(programmer(), ProcessEnvironment());
    programmer().windows.SetItemText(ids::kMainWindow, ids::kPortDisplay, shown.text);
    window_.SetTip(ids::kPortDisplay, shown.tip);
}

void DesktopSession::AfterCommand() {
    Programmer& p = programmer();
    ShowPort();
    // A stop asked for after the command's last refresh has nothing left to
    // stop; it must not end the next command at its first refresh.
    p.stopRequested = false;
    if (quitAfterCommand_ && !window_.Ended()) {
        quitAfterCommand_ = false;
        app::OnCommand(p, ids::kExit);
    }
}

void DesktopSession::Interrupted(int signal) {
    if (signal == 0 || interrupted_ || destroyed_ || window_.Ended())
        return;
    interrupted_ = true;
    window_.Note("ending on " + InterruptName(signal));
    quitAfterCommand_ = true;
    Programmer& p = programmer();
    if (!p.commandRunning) {
        AfterCommand();
        return;
    }
    // Without a command runner (the start-up) the request waits for one;
    // AfterCommand ends the program once the command is over.
    if (p.stoppable)
        p.stopRequested = true;
    window_.ShowStopping();
}

bool DesktopSession::RequestStop() {
    Programmer& p = programmer();
    if (!p.commandRunning || window_.CommandDialogOpen()) {
        p.windows.Beep();
        return false;
    }
    // Without a command runner (the start-up before its write) there is
    // nothing to end: what was asked for happens when the start-up is done.
    if (p.stoppable)
        p.stopRequested = true;
    window_.ShowStopping();
    return true;
}

void DesktopSession::AskToStopAndQuit() {
    if (quitAfterCommand_)
        return;  // asked and answered: the program quits once the command has ended
    Programmer& p = programmer();
    if (window_.RaiseOpenModal() || window_.CommandDialogOpen()) {
        // A dialog or a question of the command is open: it is answered first.
        p.windows.Beep();
        return;
    }
    if (p.windows.MessageBox(ids::kMainWindow, kStopAndQuitQuestion, kStopAndQuitTitle,
                             MsgButtons::OkCancel, MessageKind::Warning) != MsgResult::Ok)
        return;
    quitAfterCommand_ = true;
    if (p.commandRunning) {
        RequestStop();
    } else {
        AfterCommand();
    }
}

bool DesktopSession::ChooseSimulatorChip(const std::string& chip) {
    Programmer& p = programmer();
    if (p.commandRunning)
        return false;
    // The simulator that goes may hold the serial port: close it through the
    // program first, so its state is saved and the port is free.
    if (p.state.comOpen)
        adapter::CloseSerialPort(p);
    assembly_.simulator().Choose(chip);
    ShowSimulator();
    return Command(ids::kPortSimulator);
}

bool DesktopSession::ChooseSimulatorClock(uint32_t hz) {
    Programmer& p = programmer();
    if (p.commandRunning)
        return false;
    // As with a chip: the simulator that goes is closed through the program.
    if (p.state.comOpen)
        adapter::CloseSerialPort(p);
    assembly_.simulator().SetChipClock(hz);
    ShowSimulator();
    return Command(ids::kPortSimulator);
}

SessionActions ActionsOf(const std::unique_ptr<DesktopSession>& session) {
    const std::unique_ptr<DesktopSession>* made = &session;
    SessionActions actions;
    actions.command = [made](int command) { return *made && (*made)->Command(command); };
    actions.simulatorChip = [made](const std::string& chip) {
        if (*made)
            (*made)->ChooseSimulatorChip(chip);
    };
    actions.simulatorClock = [made](uint32_t hz) {
        if (*made)
            (*made)->ChooseSimulatorClock(hz);
    };
    return actions;
}

}  // namespace ostrel::ui
