// The desktop program as one object: the window system, the main window and
// the assembled programmer (ports, simulator slot, clock: app::Assembly).
// main() and the GUI tests build it the same way; the tests hand in a virtual
// clock and virtual devices.
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

class QTimer;

namespace ostrel::qt {

struct DesktopOptions {
    // Empty: the process's current directory, or the per-user start folder
    // when the current directory has no ostrel.ini.
    std::string startDirectory;
    // The start folder as the caller chose it (it wins over startDirectory);
    // a per-user folder is announced as at a real start.
    std::optional<app::StartFolder> startFolder;
    Clock* clock = nullptr;        // null: the machine's steady clock
    SysCalls* sysCalls = nullptr;  // null: the C library's calls
    // Whether a parallel port can be reached; null: ask the ppdev backend.
    std::optional<bool> parallelAccess;
    // The ports the Port menu lists as found; empty: those of this machine,
    // looked for unless sysCalls or clock is given.
    std::optional<std::vector<FoundPort>> foundPorts;
};

class DesktopProgram {
  public:
    explicit DesktopProgram(const DesktopOptions& options = {});
    ~DesktopProgram();
    DesktopProgram(const DesktopProgram&) = delete;
    DesktopProgram& operator=(const DesktopProgram&) = delete;

    // Shows the main window and runs its start-up (the reopen offer, or the
    // write of a file named on the command line). False when the window has
    // been ended meanwhile and the program is to exit.
    bool Start(const std::optional<std::string>& commandLineFile);
    // The window goes: the settings are saved and the port is closed. Runs once.
    void Destroy();

    // A user's command. False when it was refused because another one runs.
    // While one runs, the Stop button (and Escape) asks it to stop, and
    // Exit or the close box asks whether to stop it and quit.
    bool Command(int command);
    // Asks the running command to end at its next activity refresh. False
    // (with a beep) when no command runs, or a dialog of the command is open:
    // its own handlers run the command's steps then, and a stop must not end
    // the command from inside them.
    bool RequestStop();
    // Port > Simulator > chip: the simulator becomes that chip and the port
    // "SIM" is selected. False while another command runs.
    bool ChooseSimulatorChip(const std::string& chip);
    // Port > Simulator > Chip Clock > clock (0: the chip's factory clock):
    // the simulator runs on that clock from now on, and the port "SIM" is
    // selected. False while another command runs.
    bool ChooseSimulatorClock(uint32_t hz);

    // A termination request, a hang-up or Ctrl-C came (the signal number): as
    // with a stop and Exit, a running command ends at its next refresh, the
    // target is released and the program then ends; with no command running
    // it ends now. Either way the settings and the simulated chip are saved,
    // as at every end of the program. Only the first one counts.
    void Interrupted(int signal);
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
    // Runs a command in the busy state; afterwards quits when the user asked to.
    void RunCommand(int command);
    // The close box or Exit while a command runs: asks whether to stop it and
    // quit; on OK the stop is asked for and the program quits once the
    // command has ended.
    void AskToStopAndQuit();
    // After a command: the stop request is spent; the quit asked for meanwhile follows.
    void AfterCommand();

    // Port > "Cable Test": the cable test in its window, as a command (no
    // other command starts while it runs).
    void RunCableTest();

    // Ticks the simulator's clock and names the chosen chip's factory clock.
    void ShowSimulatorClock();

    // Says where the start folder is: the activity line's tip, the line itself
    // for the per-user folder, and a box the time it was set up.
    void ShowStartFolder();
    // After a command that saved or wrote a file: the file on the activity line.
    void ShowWhereItWent(int command);
    static std::string Home();
    // The port in use, and its cable once detected, below the fields.
    void ShowPort();

    app::StartFolder startFolder_;  // chosen before anything opens a file there
    QtWindowSystem windows_;
    std::unique_ptr<app::Assembly> assembly_;
    std::unique_ptr<MainWindow> window_;
    bool destroyed_ = false;
    bool quitAfterCommand_ = false;  // the user chose to stop the command and quit
    bool interrupted_ = false;       // a signal asked the program to end
    std::function<int()> pendingInterrupt_;
    std::unique_ptr<QTimer> interruptTimer_;
};

}  // namespace ostrel::qt
