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

DesktopProgram::DesktopProgram(const DesktopOptions& options, const FrontWindows& front)
    : startFolder_(ui::ChooseDesktopStartFolder(options)),
      front_(front ? front(windows_) : windows_),
      assembly_(std::make_unique<app::Assembly>(
          front_, ui::DesktopAssemblyOptions(options, startFolder_, Warn))) {
    window_ = std::make_unique<MainWindow>(
        windows_, ui::ActionsOf(session_), [this] { session_->Destroy(); },
        ui::MenuMachineOf(assembly_->programmer()));
    // Windows writes no home folder as "~": paths are shown as they are.
    session_ = std::make_unique<ui::DesktopSession>(
        *assembly_, static_cast<ui::DesktopWindow&>(*this), startFolder_, "");
    session_->ShowSimulator();
}

DesktopProgram::~DesktopProgram() {
    session_->Destroy();
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

std::unique_ptr<ui::CableTestView> DesktopProgram::OpenCableTest(const std::string& portName) {
    return std::make_unique<CableTestWindow>(windows_, window_->handle(), portName);
}

}  // namespace ostrel::win32
