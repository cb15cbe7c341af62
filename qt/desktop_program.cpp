#include "qt/desktop_program.h"

#include <QCoreApplication>
#include <QDebug>
#include <QTimer>
#include <filesystem>
#include <system_error>

#include "adapter/adapter.h"
#include "app/commands.h"
#include "app/endings.h"
#include "app/startup.h"
#include "core/ids.h"
#include "qt/cable_test_window.h"
#include "sim/chip_table.h"
#include "sim/sim_state_file.h"

namespace ostrel::qt {

// --- the simulator ----------------------------------------------------------

std::string ChipOfStateFile(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        return {};
    for (const sim::ChipInfo& chip : sim::AllChips()) {
        sim::StateLoad load = sim::LoadChipState(path, chip);
        if (load.fromFile && load.warning.empty())
            return std::string(chip.name);
    }
    return {};
}

SimulatorSlot::SimulatorSlot(const Clock& clock, std::string stateFile)
    : clock_(clock), stateFile_(std::move(stateFile)) {
    chip_ = ChipOfStateFile(stateFile_);
    if (chip_.empty())
        chip_ = std::string(sim::kDefaultChipName);
}

SimulatorSlot::~SimulatorSlot() {
    Drop();
}

void SimulatorSlot::Drop() {
    if (!port_)
        return;
    port_->CloseSerial();
    port_->Save();
    if (!port_->warning().empty())
        qWarning("ostrel: %s", port_->warning().c_str());
    port_.reset();
}

void SimulatorSlot::Choose(std::string_view chip) {
    Drop();
    chip_ = std::string(chip);
}

SerialOpenResult SimulatorSlot::OpenSerial(std::string_view comName) {
    if (!port_) {
        sim::SimConfig config;
        config.cable = sim::CableKind::Cablet2;
        config.chip = chip_;
        config.stateFile = stateFile_;
        port_ = std::make_unique<sim::SimPort>(clock_, config);
        // A state file of another chip is replaced by this chip's; the reason
        // goes to the console, as the simulator itself has no window.
        if (!port_->warning().empty())
            qWarning("ostrel: %s", port_->warning().c_str());
    }
    return port_->OpenSerial(comName);
}

void SimulatorSlot::CloseSerial() {
    if (port_)
        port_->CloseSerial();
}

void SimulatorSlot::EscapeCommFunction(CommFunction function) {
    if (port_)
        port_->EscapeCommFunction(function);
}

uint32_t SimulatorSlot::GetModemStatus() {
    return port_ ? port_->GetModemStatus() : 0;
}

void SimulatorSlot::WriteData(uint16_t base, uint8_t value) {
    if (port_)
        port_->WriteData(base, value);
}

uint8_t SimulatorSlot::ReadData(uint16_t base) {
    return port_ ? port_->ReadData(base) : 0xFF;
}

uint16_t SimulatorSlot::ReadWord(uint16_t base) {
    return port_ ? port_->ReadWord(base) : 0xFFFF;
}

uint8_t SimulatorSlot::ReadStatus(uint16_t base) {
    return port_ ? port_->ReadStatus(base) : 0xFF;
}

uint8_t SimulatorSlot::ReadControl(uint16_t base) {
    return port_ ? port_->ReadControl(base) : 0xFF;
}

void SimulatorSlot::WriteControl(uint16_t base, uint8_t value) {
    if (port_)
        port_->WriteControl(base, value);
}

// --- the program ------------------------------------------------------------

namespace {

app::StartFolder ChooseStartFolder(const DesktopOptions& options) {
    if (options.startFolder)
        return *options.startFolder;
    if (!options.startDirectory.empty())
        return app::StartFolder{options.startDirectory, false, false, {}};
    return app::ChooseStartFolderForProcess();
}

}  // namespace

DesktopProgram::DesktopProgram(DesktopOptions options)
    : startFolder_(ChooseStartFolder(options)),
      ownSysCalls_(options.sysCalls ? nullptr : std::make_unique<LinuxSysCalls>()),
      sys_(options.sysCalls ? *options.sysCalls : *ownSysCalls_),
      serial_(sys_),
      parallel_(sys_),
      ports_(serial_, parallel_),
      ownClock_(options.clock ? nullptr : std::make_unique<SystemClock>()),
      clock_(options.clock ? *options.clock : *ownClock_),
      simulator_(clock_, sim::DefaultStatePath(startFolder_.directory)) {
    ports_.SetExtraBackend(&simulator_);
    programmer_ = std::make_unique<Programmer>(ports_, clock_, windows_);
    Programmer& p = *programmer_;
    p.currentDirectory = startFolder_.directory;
    // ppdev gives every register as port instructions do; there is no driver library.
    bool parallel = options.parallelAccess ? *options.parallelAccess : parallel_.AnyAvailable();
    p.state.directPortIo = parallel ? 1 : 0;
    p.state.dlPortIoLoaded = 0;

    window_ = std::make_unique<MainWindow>(
        [this](int command) { return Command(command); },
        [this](const std::string& chip) { ChooseSimulatorChip(chip); });
    windows_.AddWindow(ids::kMainWindow, window_.get(), window_->controls(),
                       [this](int result) { window_->End(result); });
    for (const auto& [command, action] : window_->menuItems())
        windows_.AddMenuItem(command, action);
    window_->ShowSimulatorChip(simulator_.chip());
}

DesktopProgram::~DesktopProgram() {
    Destroy();
    windows_.RemoveWindow(ids::kMainWindow);
}

bool DesktopProgram::Start(const std::optional<std::string>& commandLineFile) {
    window_->show();
    Programmer& p = *programmer_;
    // The start-up lets pending events through while it works; a click that
    // arrives meanwhile must not start a command inside it.
    p.commandRunning = true;
    bool open = app::OpenMainWindow(p, commandLineFile);
    p.commandRunning = false;
    ShowStartFolder();
    return open && !window_->ended();
}

void DesktopProgram::ShowStartFolder() {
    std::string note = app::DescribeStartFolder(startFolder_);
    if (note.empty())
        return;
    qWarning("ostrel: %s", note.c_str());
    if (window_->ended())
        return;
    // The activity line is short: it shows the folder, its tooltip the whole note.
    if (startFolder_.perUser)
        windows_.SetItemText(ids::kMainWindow, ids::kActivity, startFolder_.directory);
    if (QWidget* line = window_->Control(ids::kActivity))
        line->setToolTip(QString::fromStdString(note));
    // Once in a box: the first start that sets the folder up, or when it failed.
    if (startFolder_.filled || !startFolder_.problem.empty())
        windows_.MessageBox(ids::kNoOwner, note, "Ostrel", MsgButtons::Ok);
}

void DesktopProgram::Destroy() {
    if (destroyed_)
        return;
    destroyed_ = true;
    app::OnDestroy(*programmer_);
}

bool DesktopProgram::Command(int command) {
    if (programmer_->commandRunning)
        return false;
    if (command == kCableTestCommand) {
        RunCableTest();
        return true;
    }
    app::OnCommand(*programmer_, command);
    return true;
}

void DesktopProgram::RunCableTest() {
    Programmer& p = *programmer_;
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
    Programmer& p = *programmer_;
    if (p.commandRunning)
        return false;
    // The simulator that goes may hold the serial port: close it through the
    // program first, so its state is saved and the port is free.
    if (p.state.comOpen)
        adapter::CloseSerialPort(p);
    simulator_.Choose(chip);
    window_->ShowSimulatorChip(chip);
    return Command(ids::kPortSimulator);
}

}  // namespace ostrel::qt
