// The native Windows desktop program as one object: the window system, the
// main window, the assembled programmer (ports, simulator slot, clock:
// app::Assembly) and the desktop session that runs the user's commands
// (ui/desktop_session, shared with the Qt program). main() and the tests
// under Wine build it the same way; the tests hand in a virtual clock and a
// window system of theirs in front of the program's own.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/assembly.h"
#include "app/start_folder.h"
#include "core/clock.h"
#include "core/programmer.h"
#include "sim/simulator_slot.h"
#include "ui/desktop_session.h"
#include "win32/main_window.h"
#include "win32/window_system.h"

namespace ostrel::win32 {

using DesktopOptions = ui::DesktopOptions;
// A window system put in front of the program's own (`own`), which every
// command of the program then sees; it must outlive the program.
using FrontWindows = std::function<WindowSystem&(Win32WindowSystem& own)>;

class DesktopProgram : private ui::DesktopWindow {
  public:
    explicit DesktopProgram(const DesktopOptions& options = {}, const FrontWindows& front = {});
    ~DesktopProgram() override;
    DesktopProgram(const DesktopProgram&) = delete;
    DesktopProgram& operator=(const DesktopProgram&) = delete;

    // The session that runs the main window: its start-up, the user's
    // commands, Stop, the simulator's chip and clock, and its end
    // (ui::DesktopSession).
    ui::DesktopSession& session() { return *session_; }
    // Runs the program's message loop until the main window ends.
    void Run();

    Programmer& programmer() { return assembly_->programmer(); }
    Win32WindowSystem& windows() { return windows_; }
    MainWindow& window() { return *window_; }
    sim::SimulatorSlot& simulator() { return assembly_->simulator(); }
    bool ended() const { return window_->ended(); }

  private:
    // --- ui::DesktopWindow ---
    void Show() override { window_->Show(); }
    bool Ended() override { return window_->ended(); }
    void SetBusy(bool busy) override { window_->SetBusy(busy); }
    void ShowStopping() override { window_->ShowStopping(); }
    void ShowOnActivityLine(const std::vector<std::string>& lines,
                            const std::string& tip) override {
        window_->ShowOnActivityLine(lines, tip);
    }
    void SetTip(int item, const std::string& tip) override { window_->SetTip(item, tip); }
    void ShowSimulatorChip(const std::string& chip) override { window_->ShowSimulatorChip(chip); }
    void ShowSimulatorClock(uint32_t hz, uint32_t factoryHz) override {
        window_->ShowSimulatorClock(hz, factoryHz);
    }
    bool CommandDialogOpen() override;
    bool RaiseOpenModal() override;
    std::unique_ptr<ui::CableTestView> OpenCableTest(const std::string& portName) override;
    void Note(const std::string& line) override;

    app::StartFolder startFolder_;  // chosen before anything opens a file there
    Win32WindowSystem windows_;
    WindowSystem& front_;  // what the commands see: windows_, or one in front of it
    std::unique_ptr<app::Assembly> assembly_;
    std::unique_ptr<MainWindow> window_;
    std::unique_ptr<ui::DesktopSession> session_;
};

}  // namespace ostrel::win32
