#include "qt/desktop_program.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDebug>
#include <QTimer>

#include "adapter/adapter.h"
#include "app/commands.h"
#include "app/endings.h"
#include "app/startup.h"
#include "core/ids.h"
#include "platform/interrupts.h"
#include "platform/port_names.h"
#include "qt/cable_test_window.h"
#include "sim/chip_table.h"
#include "ui/busy.h"
#include "ui/port_display.h"
#include "ui/where.h"

namespace ostrel::qt {

// --- the program ------------------------------------------------------------

namespace {

app::StartFolder ChooseStartFolder(const DesktopOptions& options) {
    if (options.startFolder)
        return *options.startFolder;
    if (!options.startDirectory.empty())
        return app::StartFolder{options.startDirectory, false, false, {}};
    return app::ChooseStartFolderForProcess();
}

app::AssemblyOptions AssemblyOptionsOf(const DesktopOptions& options,
                                       const app::StartFolder& start) {
    app::AssemblyOptions parts;
    parts.startDirectory = start.directory;
    parts.clock = options.clock;
    parts.sysCalls = options.sysCalls;
    parts.parallelAccess = options.parallelAccess;
    // The machine's own ports, unless its calls or its clock are stand-ins (a
    // test); or those given.
    parts.findPorts = options.sysCalls == nullptr && options.clock == nullptr;
    parts.foundPorts = options.foundPorts;
    // The desktop program's console is where the simulator's notes go.
    parts.report = [](const std::string& line) { qWarning("ostrel: %s", line.c_str()); };
    return parts;
}

ui::MenuMachine MenuMachineOf(const Programmer& p) {
    ui::MenuMachine machine;
    machine.found = p.foundPorts;
    machine.portsSearched = p.portsSearched;
    return machine;
}

}  // namespace

DesktopProgram::DesktopProgram(const DesktopOptions& options)
    : startFolder_(ChooseStartFolder(options)),
      assembly_(
          std::make_unique<app::Assembly>(windows_, AssemblyOptionsOf(options, startFolder_))) {
    window_ = std::make_unique<MainWindow>(
        [this](int command) { return Command(command); },
        [this](const std::string& chip) { ChooseSimulatorChip(chip); },
        [this](uint32_t hz) { ChooseSimulatorClock(hz); }, MenuMachineOf(assembly_->programmer()));
    windows_.AddWindow(ids::kMainWindow, window_.get(), window_->controls(),
                       [this](int result) { window_->End(result); });
    for (const auto& [command, action] : window_->menuItems())
        windows_.AddMenuItem(command, action);
    window_->ShowSimulatorChip(simulator().chip());
    ShowSimulatorClock();
}

DesktopProgram::~DesktopProgram() {
    interruptTimer_.reset();
    Destroy();
    windows_.RemoveWindow(ids::kMainWindow);
}

bool DesktopProgram::Start(const std::optional<std::string>& commandLineFile) {
    window_->show();
    Programmer& p = programmer();
    // The start-up lets pending events through while it works; a click that
    // arrives meanwhile must not start a command inside it.
    p.commandRunning = true;
    window_->SetBusy(true);
    bool open = app::OpenMainWindow(p, commandLineFile);
    p.commandRunning = false;
    window_->SetBusy(false);
    AfterCommand();
    if (window_->ended())
        return false;
    ShowStartFolder();
    return open && !window_->ended();
}

void DesktopProgram::ShowStartFolder() {
    std::string note = app::DescribeStartFolder(startFolder_);
    if (!note.empty())
        qWarning("ostrel: %s", note.c_str());
    if (window_->ended())
        return;
    // The activity line's tip says where the files are; the line itself shows
    // the folder when it is not the one the program was started in.
    const QString tip = QString::fromStdString(ui::StartFolderTip(startFolder_));
    if (startFolder_.perUser) {
        const std::string folder = ui::ShortPath(startFolder_.directory, Home());
        window_->ShowOnActivityLine({QString::fromStdString(folder)}, tip);
    } else if (QWidget* line = window_->Control(ids::kActivity)) {
        line->setToolTip(tip);
    }
    // Once in a box: the first start that sets the folder up, or when it failed.
    std::string message = ui::StartFolderMessage(startFolder_, Home());
    if (!message.empty())
        windows_.MessageBox(ids::kNoOwner, message, "Ostrel", MsgButtons::Ok,
                            MessageKind::Information);
}

std::string DesktopProgram::Home() {
    return qEnvironmentVariable("HOME").toStdString();
}

void DesktopProgram::ShowWhereItWent(int command) {
    if (window_->ended())
        return;
    const std::string ending = windows_.ItemText(ids::kMainWindow, ids::kActivity);
    std::optional<ui::FileShown> shown = ui::WhereItWent(programmer(), command, ending, Home());
    if (!shown)
        return;
    QStringList lines;
    for (const std::string& line : shown->lines)
        lines.push_back(QString::fromStdString(line));
    window_->ShowOnActivityLine(lines, QString::fromStdString(shown->tip));
}

void DesktopProgram::Destroy() {
    if (destroyed_)
        return;
    destroyed_ = true;
    app::OnDestroy(programmer());
}

bool DesktopProgram::Command(int command) {
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

void DesktopProgram::RunCommand(int command) {
    if (QWidget* line = window_->Control(ids::kActivity))
        line->setToolTip(QString::fromStdString(ui::StartFolderTip(startFolder_)));
    window_->SetBusy(true);
    app::CommandResult result = app::CommandResult::Ok;
    if (command == kCableTestCommand) {
        RunCableTest();
    } else {
        result = app::OnCommand(programmer(), command);
    }
    window_->SetBusy(false);
    if (result == app::CommandResult::Ok)
        ShowWhereItWent(command);
    AfterCommand();
}

void DesktopProgram::ShowPort() {
    ui::PortShown shown = ui::DescribePort(programmer(), ProcessEnvironment());
    windows_.SetItemText(ids::kMainWindow, ids::kPortDisplay, shown.text);
    if (QWidget* label = window_->Control(ids::kPortDisplay))
        label->setToolTip(QString::fromStdString(shown.tip));
}

void DesktopProgram::AfterCommand() {
    Programmer& p = programmer();
    ShowPort();
    // A stop asked for after the command's last refresh has nothing left to
    // stop; it must not end the next command at its first refresh.
    p.stopRequested = false;
    if (quitAfterCommand_ && !window_->ended()) {
        quitAfterCommand_ = false;
        app::OnCommand(p, ids::kExit);
    }
}

void DesktopProgram::Interrupted(int signal) {
    if (signal == 0 || interrupted_ || destroyed_ || window_->ended())
        return;
    interrupted_ = true;
    qWarning("ostrel: ending on %s", InterruptName(signal).c_str());
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
    window_->ShowStopping();
}

void DesktopProgram::WatchInterrupts(std::function<int()> pending) {
    pendingInterrupt_ = std::move(pending);
    interruptTimer_ = std::make_unique<QTimer>();
    QObject::connect(interruptTimer_.get(), &QTimer::timeout, [this] {
        if (pendingInterrupt_)
            Interrupted(pendingInterrupt_());
    });
    interruptTimer_->start(100);
}

bool DesktopProgram::RequestStop() {
    Programmer& p = programmer();
    if (!p.commandRunning || windows_.openDialogs() > 0) {
        windows_.Beep();
        return false;
    }
    // Without a command runner (the start-up before its write) there is
    // nothing to end: what was asked for happens when the start-up is done.
    if (p.stoppable)
        p.stopRequested = true;
    window_->ShowStopping();
    return true;
}

void DesktopProgram::AskToStopAndQuit() {
    if (quitAfterCommand_)
        return;  // asked and answered: the program quits once the command has ended
    if (windows_.openDialogs() > 0 || QApplication::activeModalWidget() != nullptr) {
        // A dialog or a question of the command is open: it is answered first.
        windows_.Beep();
        if (QWidget* modal = QApplication::activeModalWidget()) {
            modal->raise();
            modal->activateWindow();
        }
        return;
    }
    if (windows_.MessageBox(ids::kMainWindow, ui::kStopAndQuitQuestion, ui::kStopAndQuitTitle,
                            MsgButtons::OkCancel, MessageKind::Warning) != MsgResult::Ok)
        return;
    quitAfterCommand_ = true;
    if (programmer().commandRunning) {
        RequestStop();
    } else {
        AfterCommand();
    }
}

void DesktopProgram::RunCableTest() {
    Programmer& p = programmer();
    QtWindowSystem::DialogScope open(windows_);
    p.commandRunning = true;
    p.state.mainWindow = ids::kMainWindow;
    CableTestWindow box(window_.get(), QString::fromStdString(p.state.portName.str()));
    box.setWindowModality(Qt::ApplicationModal);
    box.show();
    adapter::CableTestHooks hooks;
    hooks.show = [&box](const adapter::CableReading& reading) { box.Show(reading); };
    // The window stays live between two reads: its Stop button, repaints.
    hooks.idle = [&box] {
        QCoreApplication::processEvents();
        return !box.stopRequested();
    };
    adapter::CableTestResult result = adapter::RunCableTest(p, hooks);
    app::TellDriverAccessFailure(p);
    if (result.status != 0) {
        box.hide();
        app::ReportFailure(p);
        p.commandRunning = false;
        return;
    }
    box.Finish(result);
    if (windows_.automation.enabled) {
        QTimer::singleShot(0, &box, [this, &box] {
            if (windows_.automation.dialogScript)
                windows_.automation.dialogScript(kCableTestCommand, box);
            if (box.isVisible()) {
                ++windows_.dialogsLeftOpen;
                box.done(0);
            }
        });
    }
    box.exec();
    p.commandRunning = false;
}

bool DesktopProgram::ChooseSimulatorChip(const std::string& chip) {
    Programmer& p = programmer();
    if (p.commandRunning)
        return false;
    // The simulator that goes may hold the serial port: close it through the
    // program first, so its state is saved and the port is free.
    if (p.state.comOpen)
        adapter::CloseSerialPort(p);
    simulator().Choose(chip);
    window_->ShowSimulatorChip(chip);
    ShowSimulatorClock();
    return Command(ids::kPortSimulator);
}

bool DesktopProgram::ChooseSimulatorClock(uint32_t hz) {
    Programmer& p = programmer();
    if (p.commandRunning)
        return false;
    // As with a chip: the simulator that goes is closed through the program.
    if (p.state.comOpen)
        adapter::CloseSerialPort(p);
    simulator().SetChipClock(hz);
    ShowSimulatorClock();
    return Command(ids::kPortSimulator);
}

void DesktopProgram::ShowSimulatorClock() {
    const sim::ChipInfo* chip = sim::FindChip(simulator().chip());
    window_->ShowSimulatorClock(simulator().chipClock(), chip != nullptr ? chip->clockHz : 0);
}

}  // namespace ostrel::qt
