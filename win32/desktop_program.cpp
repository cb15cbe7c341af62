#include "win32/desktop_program.h"

#include <windows.h>
// The program's WindowSystem::MessageBox, not the system's macro for MessageBoxA.
#undef MessageBox

#include "adapter/cable_test.h"
#include "app/endings.h"
#include "core/ids.h"
#include "win32/cable_test_window.h"

namespace ostrel::win32 {

namespace {

// A Windows program has no console: the simulator's notes and the session's go
// to the debugger.
void Warn(const std::string& line) {
    OutputDebugStringA(("ostrel: " + line + "\n").c_str());
}

}  // namespace

DesktopProgram::DesktopProgram(const DesktopOptions& options)
    : startFolder_(ui::ChooseDesktopStartFolder(options)),
      assembly_(std::make_unique<app::Assembly>(
          windows_, ui::DesktopAssemblyOptions(options, startFolder_, Warn))) {
    window_ = std::make_unique<MainWindow>(
        windows_, [this](int command) { return Command(command); },
        [this](const std::string& chip) { ChooseSimulatorChip(chip); },
        [this](uint32_t hz) { ChooseSimulatorClock(hz); }, [this] { Destroy(); },
        ui::MenuMachineOf(assembly_->programmer()));
    // Windows writes no home folder as "~": paths are shown as they are.
    session_ = std::make_unique<ui::DesktopSession>(
        *assembly_, static_cast<ui::DesktopWindow&>(*this), startFolder_, "");
    session_->ShowSimulator();
}

DesktopProgram::~DesktopProgram() {
    Destroy();
}

bool DesktopProgram::Start(const std::optional<std::string>& commandLineFile) {
    return session_->Start(commandLineFile);
}

void DesktopProgram::Run() {
    MSG message;
    while (!window_->ended() && !windows_.quitRequested()) {
        BOOL got = GetMessageA(&message, nullptr, 0, 0);
        if (got == 0 || got == -1)
            break;
        windows_.Dispatch(&message);
        windows_.RethrowPending();
    }
}

void DesktopProgram::Destroy() {
    session_->Destroy();
}

bool DesktopProgram::Command(int command) {
    return session_->Command(command);
}

bool DesktopProgram::RequestStop() {
    return session_->RequestStop();
}

bool DesktopProgram::ChooseSimulatorChip(const std::string& chip) {
    return session_->ChooseSimulatorChip(chip);
}

bool DesktopProgram::ChooseSimulatorClock(uint32_t hz) {
    return session_->ChooseSimulatorClock(hz);
}

// --- the main window as the session sees it ---------------------------------------

void DesktopProgram::Show() {
    window_->Show();
}

bool DesktopProgram::Ended() {
    return window_->ended();
}

void DesktopProgram::SetBusy(bool busy) {
    window_->SetBusy(busy);
}

void DesktopProgram::ShowStopping() {
    window_->ShowStopping();
}

void DesktopProgram::ShowOnActivityLine(const std::vector<std::string>& lines,
                                        const std::string& tip) {
    window_->ShowOnActivityLine(lines, tip);
}

void DesktopProgram::SetTip(int item, const std::string& tip) {
    window_->SetTip(item, tip);
}

void DesktopProgram::ShowSimulatorChip(const std::string& chip) {
    window_->ShowSimulatorChip(chip);
}

void DesktopProgram::ShowSimulatorClock(uint32_t hz, uint32_t factoryHz) {
    window_->ShowSimulatorClock(hz, factoryHz);
}

bool DesktopProgram::CommandDialogOpen() {
    return windows_.openDialogs() > 0;
}

bool DesktopProgram::RaiseOpenModal() {
    HWND modal = windows_.OpenModalWindow();
    if (modal == nullptr && !windows_.messageBoxOpen())
        return false;
    if (modal != nullptr)
        SetForegroundWindow(modal);
    return true;
}

void DesktopProgram::Note(const std::string& line) {
    Warn(line);
}

void DesktopProgram::RunCableTest() {
    Programmer& p = programmer();
    Win32WindowSystem::DialogScope open(windows_);
    p.commandRunning = true;
    p.state.mainWindow = ids::kMainWindow;
    CableTestWindow box(windows_, window_->handle(), std::string(p.state.portName.view()));
    adapter::CableTestHooks hooks;
    hooks.show = [&box](const adapter::CableReading& reading) { box.Show(reading); };
    // The window stays live between two reads: its Stop button, repaints.
    hooks.idle = [this, &box] {
        windows_.ProcessPendingEvents();
        return !box.stopRequested();
    };
    adapter::CableTestResult result = adapter::RunCableTest(p, hooks);
    app::TellDriverAccessFailure(p);
    if (result.status != 0) {
        box.Close();
        app::ReportFailure(p);
        p.commandRunning = false;
        return;
    }
    box.Finish(result);
    if (windows_.automation.enabled) {
        auto alive = std::make_shared<bool>(true);
        windows_.Later([this, &box, alive] {
            if (!*alive || box.closed())
                return;
            if (windows_.automation.dialogScript)
                windows_.automation.dialogScript(ids::kCableTest, box.handle());
            if (!box.closed()) {
                ++windows_.dialogsLeftOpen;
                box.Close();
            }
        });
        box.WaitUntilClosed();
        *alive = false;
    } else {
        box.WaitUntilClosed();
    }
    p.commandRunning = false;
}

}  // namespace ostrel::win32
