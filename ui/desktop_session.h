// The desktop program's session, free of any toolkit: how a user's command
// runs (the busy state, Stop, a close while a command runs), what the main
// window says after it (where a file went, the port in use), the start-up
// and its note about the start folder, and the simulator's chip and clock.
// A window front-end supplies its main window (DesktopWindow) and its
// WindowSystem; every front-end that draws windows then behaves alike.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "adapter/cable_test.h"
#include "app/assembly.h"
#include "app/start_folder.h"
#include "core/programmer.h"
#include "sim/simulator_slot.h"
#include "ui/menu.h"

namespace ostrel::ui {

// The cable test window as the session drives it; what it shows of each
// reading and what its button does is ui::CableTestFlow's.
class CableTestView {
  public:
    virtual ~CableTestView() = default;

    // A reading of the test, live or final.
    virtual void Show(const adapter::CableReading& reading) = 0;
    // Between two reads: the program's events go through (the window's Stop
    // button, repaints). False once a stop was asked for.
    virtual bool Idle() = 0;
    // The test failed before it ran (the port did not open): the window goes
    // before the failure is told.
    virtual void Close() = 0;
    // The test is over: the verdict shows; returns once the window is closed.
    virtual void FinishAndWait(const adapter::CableTestResult& result) = 0;
};

// What the session asks of the front-end's main window and its dialogs.
class DesktopWindow {
  public:
    virtual ~DesktopWindow() = default;

    // Shows the main window (the first step of the start-up).
    virtual void Show() = 0;
    // The program ended the main window (EndWindow): it is gone for good.
    virtual bool Ended() = 0;
    // The busy state while a command runs: what would start another command
    // is disabled (ui::kStartsCommand, every menu entry but those marked
    // whileBusy, the simulator's chips and clocks), the kWhileBusy controls
    // show, the cursor says busy, the progress bar has no figure yet and the
    // Stop button reads "Stop".
    virtual void SetBusy(bool busy) = 0;
    // The stop was asked for: the Stop button says so until the command ends.
    virtual void ShowStopping() = 0;
    // On the activity field the first of `lines` that fits it (the last,
    // shortened in its middle with an ellipsis, when none does), with `tip`.
    virtual void ShowOnActivityLine(const std::vector<std::string>& lines,
                                    const std::string& tip) = 0;
    // The tooltip of a main window control.
    virtual void SetTip(int item, const std::string& tip) = 0;
    // Ticks the simulator's chip, and its clock (0: the factory clock, whose
    // item names `factoryHz`), in Port > Simulator.
    virtual void ShowSimulatorChip(const std::string& chip) = 0;
    virtual void ShowSimulatorClock(uint32_t hz, uint32_t factoryHz) = 0;
    // A dialog of the running command is open (a modal dialog, the cable
    // test window): its own handlers run the command's steps meanwhile.
    virtual bool CommandDialogOpen() = 0;
    // A dialog or a question (a message box) of the running command is open;
    // it is brought to the front, as it is to be answered first.
    virtual bool RaiseOpenModal() = 0;
    // Port > "Cable Test": its window, open (and counted as a dialog of the
    // command) until the view goes.
    virtual std::unique_ptr<CableTestView> OpenCableTest(const std::string& portName) = 0;
    // One line for the program's console or debug output.
    virtual void Note(const std::string& line) = 0;
};

// How a desktop program is built: by main() with none of these, by the
// tests with a virtual clock, stand-in calls and the ports they want listed.
struct DesktopOptions {
    // Empty: the process's current directory, or the per-user start folder
    // when the current directory has no ostrel.ini.
    std::string startDirectory;
    // The start folder as the caller chose it (it wins over startDirectory);
    // a per-user folder is announced as at a real start.
    std::optional<app::StartFolder> startFolder;
    Clock* clock = nullptr;        // null: the machine's steady clock
    SysCalls* sysCalls = nullptr;  // null: the system's own calls
    // Whether a parallel port can be reached; null: as the start-up finds it.
    std::optional<bool> parallelAccess;
    // The ports the Port menu lists as found; empty: those of this machine,
    // looked for unless sysCalls or clock is given.
    std::optional<std::vector<FoundPort>> foundPorts;
};

// The start folder of a desktop program: the one the caller chose, else the
// start directory it named, else the process's (the current directory, or
// the per-user folder when the current directory has no ostrel.ini).
app::StartFolder ChooseDesktopStartFolder(const std::optional<app::StartFolder>& chosen,
                                          const std::string& startDirectory);
app::StartFolder ChooseDesktopStartFolder(const DesktopOptions& options);

// The parts of a desktop program's programmer: the machine's own ports,
// unless its calls or its clock are stand-ins (a test), or those given; the
// simulator's notes go to `report`.
app::AssemblyOptions DesktopAssemblyOptions(const DesktopOptions& options,
                                            const app::StartFolder& start,
                                            sim::SimulatorSlot::Reporter report);

// What the main window's menu shows of the machine the programmer has found.
MenuMachine MenuMachineOf(const Programmer& p);

class DesktopSession;

// What the main window's controls and menu items hand to the session: a
// command (false when it was refused), and the simulator's chip and clock
// from Port > Simulator.
struct SessionActions {
    std::function<bool(int command)> command;
    std::function<void(const std::string& chip)> simulatorChip;
    std::function<void(uint32_t hz)> simulatorClock;
};
// The actions of a session that is made after its main window: they go to
// `*session` once it is there; before, a command is refused and a choice
// dropped.
SessionActions ActionsOf(const std::unique_ptr<DesktopSession>& session);

class DesktopSession {
  public:
    // `home` is the user's home folder, written as "~" in what is shown.
    DesktopSession(app::Assembly& assembly, DesktopWindow& window, app::StartFolder startFolder,
                   std::string home);

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
    // Ticks the simulator's chip and clock in the menu as they are now.
    void ShowSimulator();
    // A termination request, a hang-up or Ctrl-C came (the signal number; 0:
    // none): as with a stop and Exit, a running command ends at its next
    // refresh, the target is released and the program then ends; with no
    // command running it ends now. Either way the settings and the simulated
    // chip are saved, as at every end of the program. Only the first one counts.
    void Interrupted(int signal);

    const app::StartFolder& startFolder() const { return startFolder_; }
    // The user chose to stop the running command and quit once it has ended.
    bool quitAfterCommand() const { return quitAfterCommand_; }

  private:
    Programmer& programmer() { return assembly_.programmer(); }
    // Runs a command in the busy state; afterwards quits when the user asked to.
    void RunCommand(int command);
    // The close box or Exit while a command runs: asks whether to stop it and
    // quit; on OK the stop is asked for and the program quits once the
    // command has ended.
    void AskToStopAndQuit();
    // After a command: the port shown, the stop request spent, the quit asked
    // for meanwhile carried out.
    void AfterCommand();
    // Says where the start folder is: the activity line's tip, the line itself
    // for the per-user folder, and a box the time it was set up.
    void ShowStartFolder();
    // After a command that saved or wrote a file: the file on the activity line.
    void ShowWhereItWent(int command);
    // The port in use, and its cable once detected, below the fields.
    void ShowPort();
    // Port > "Cable Test" in the front-end's window, as a command (no other
    // command starts while it runs).
    void RunCableTest();

    app::Assembly& assembly_;
    DesktopWindow& window_;
    app::StartFolder startFolder_;
    std::string home_;
    bool destroyed_ = false;
    bool quitAfterCommand_ = false;
    bool interrupted_ = false;  // a signal asked the program to end
};

}  // namespace ostrel::ui
