#include "win32/desktop_program.h"

#include <windows.h>
// The program's WindowSystem::MessageBox, not the system's macro for MessageBoxA.
#undef MessageBox

#include <memory>

#include "adapter/cable_test.h"
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

// --- the main window as the session sees it ---------------------------------------

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

namespace {

// The cable test window, modal over the main window, counted as a dialog of
// the command while it is open.
class CableTestView : public ui::CableTestView {
  public:
    CableTestView(Win32WindowSystem& windows, HWND owner, const std::string& portName)
        : windows_(windows), open_(windows), box_(windows, owner, portName) {}

    void Show(const adapter::CableReading& reading) override { box_.Show(reading); }
    bool Idle() override {
        windows_.ProcessPendingEvents();
        return !box_.stopRequested();
    }
    void Close() override { box_.Close(); }
    void FinishAndWait(const adapter::CableTestResult& result) override {
        box_.Finish(result);
        if (!windows_.automation.enabled) {
            box_.WaitUntilClosed();
            return;
        }
        auto alive = std::make_shared<bool>(true);
        windows_.Later([this, alive] {
            if (!*alive || box_.closed())
                return;
            if (windows_.automation.dialogScript)
                windows_.automation.dialogScript(ids::kCableTest, box_.handle());
            if (!box_.closed()) {
                ++windows_.dialogsLeftOpen;
                box_.Close();
            }
        });
        box_.WaitUntilClosed();
        *alive = false;
    }

  private:
    Win32WindowSystem& windows_;
    Win32WindowSystem::DialogScope open_;
    CableTestWindow box_;
};

}  // namespace

std::unique_ptr<ui::CableTestView> DesktopProgram::OpenCableTest(const std::string& portName) {
    return std::make_unique<CableTestView>(windows_, window_->handle(), portName);
}

}  // namespace ostrel::win32
