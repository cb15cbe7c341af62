// The desktop program as one object: the window system, the main window, the
// assembled programmer (ports, simulator slot, clock: app::Assembly) and the
// desktop session that runs the user's commands (ui/desktop_session, shared
// with the Windows program). main() and the GUI tests build it the same way;
// the tests hand in a virtual clock and virtual devices.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/assembly.h"
#include "app/start_folder.h"
#include "core/clock.h"
#include "core/port_access.h"
#include "core/programmer.h"
#include "platform/linux/linux_parallel_port.h"
#include "platform/linux/linux_serial_port.h"
#include "platform/linux/sys_calls.h"
#include "qt/main_window.h"
#include "qt/qt_window_system.h"
#include "sim/simulator_slot.h"
#include "ui/desktop_session.h"

class QTimer;

namespace ostrel::qt {

using DesktopOptions = ui::DesktopOptions;

// A window system put in front of the program's own (`own`), which every
// command then goes through; it lives as long as the program.
using FrontWindows = std::function<WindowSystem&(QtWindowSystem& own)>;

class DesktopProgram : private ui::DesktopWindow {
  public:
    explicit DesktopProgram(const DesktopOptions& options = {}, const FrontWindows& front = {});
    ~DesktopProgram() override;
    DesktopProgram(const DesktopProgram&) = delete;
    DesktopProgram& operator=(const DesktopProgram&) = delete;

    // The session that runs the main window: its start-up, the user's
    // commands, Stop, the simulator's chip and clock, a signal that ends the
    // program, and its end (ui::DesktopSession).
    ui::DesktopSession& session() { return *session_; }
    // Asks `pending` (InterruptWatch::Pending) for an interrupt often: every
    // tenth of a second while the program waits, and at a command's activity
    // refreshes, which let the program's events through.
    void WatchInterrupts(std::function<int()> pending);

    Programmer& programmer() { return assembly_->programmer(); }
    QtWindowSystem& windows() { return windows_; }
    MainWindow& window() { return *window_; }
    sim::SimulatorSlot& simulator() { return assembly_->simulator(); }
    bool ended() const { return window_->ended(); }

  private:
    // --- ui::DesktopWindow ---
    void Show() override { window_->show(); }
    bool Ended() override { return window_->ended(); }
    void SetBusy(bool busy) override { window_->SetBusy(busy); }
    void ShowStopping() override { window_->ShowStopping(); }
    void ShowOnActivityLine(const std::vector<std::string>& lines, const std::string& tip) override;
    void SetTip(int item, const std::string& tip) override;
    void ShowSimulatorChip(const std::string& chip) override { window_->ShowSimulatorChip(chip); }
    void ShowSimulatorClock(uint32_t hz, uint32_t factoryHz) override {
        window_->ShowSimulatorClock(hz, factoryHz);
    }
    bool CommandDialogOpen() override;
    bool RaiseOpenModal() override;
    std::unique_ptr<ui::CableTestView> OpenCableTest(const std::string& portName) override;
    void Note(const std::string& line) override;

    app::StartFolder startFolder_;  // chosen before anything opens a file there
    QtWindowSystem windows_;
    WindowSystem& front_;  // what the commands see: windows_, or one in front of it
    std::unique_ptr<app::Assembly> assembly_;
    std::unique_ptr<MainWindow> window_;
    std::unique_ptr<ui::DesktopSession> session_;
    std::function<int()> pendingInterrupt_;
    std::unique_ptr<QTimer> interruptTimer_;
};

}  // namespace ostrel::qt
