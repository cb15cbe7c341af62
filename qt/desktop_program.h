// The desktop program as one object: the ports (with the simulator plugged
// in under the serial port name "SIM"), the clock, the window system, the
// main window and the programmer context. main() and the GUI tests build it
// the same way; the tests hand in a virtual clock and virtual devices.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/start_folder.h"
#include "core/clock.h"
#include "core/port_access.h"
#include "core/programmer.h"
#include "platform/linux_parallel_port.h"
#include "platform/linux_serial_port.h"
#include "platform/sys_calls.h"
#include "platform/system_ports.h"
#include "qt/main_window.h"
#include "qt/qt_window_system.h"
#include "sim/sim_port.h"

namespace ostrel::qt {

// The simulated target behind the serial port "SIM". It is built when that
// port is first opened, as the chip last chosen (or the chip its state file
// holds, or the ATmega8), with a Cablet2 cable, keeping its memories in the
// state file of the start directory.
class SimulatorSlot final : public PortAccess {
  public:
    SimulatorSlot(const Clock& clock, std::string stateFile);
    ~SimulatorSlot() override;

    // The chip for the next simulator; the current one (if any) is dropped
    // and its state saved. The serial port must be closed first.
    void Choose(std::string_view chip);
    const std::string& chip() const { return chip_; }
    // The simulator, once the port has been opened.
    sim::SimPort* port() { return port_.get(); }

    SerialOpenResult OpenSerial(std::string_view comName) override;
    void CloseSerial() override;
    void EscapeCommFunction(CommFunction function) override;
    uint32_t GetModemStatus() override;
    void WriteData(uint16_t base, uint8_t value) override;
    uint8_t ReadData(uint16_t base) override;
    uint16_t ReadWord(uint16_t base) override;
    uint8_t ReadStatus(uint16_t base) override;
    uint8_t ReadControl(uint16_t base) override;
    void WriteControl(uint16_t base, uint8_t value) override;

  private:
    void Drop();

    const Clock& clock_;
    std::string stateFile_;
    std::string chip_;
    std::unique_ptr<sim::SimPort> port_;
};

// The chip whose state a simulator state file holds; empty when the file is
// missing or holds no chip of the table.
std::string ChipOfStateFile(const std::string& path);

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
};

class DesktopProgram {
  public:
    explicit DesktopProgram(DesktopOptions options = {});
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
    bool Command(int command);
    // Port > Simulator > chip: the simulator becomes that chip and the port
    // "SIM" is selected. False while another command runs.
    bool ChooseSimulatorChip(const std::string& chip);

    Programmer& programmer() { return *programmer_; }
    QtWindowSystem& windows() { return windows_; }
    MainWindow& window() { return *window_; }
    SimulatorSlot& simulator() { return simulator_; }
    bool ended() const { return window_->ended(); }

  private:
    // Port > "Cable Test": the cable test in its window, as a command (no
    // other command starts while it runs).
    void RunCableTest();

    // Says where the per-user start folder is, when it is used.
    void ShowStartFolder();

    app::StartFolder startFolder_;  // chosen before anything opens a file there
    std::unique_ptr<LinuxSysCalls> ownSysCalls_;
    SysCalls& sys_;
    LinuxSerialPort serial_;
    LinuxParallelPort parallel_;
    SystemPorts ports_;
    std::unique_ptr<SystemClock> ownClock_;
    Clock& clock_;
    SimulatorSlot simulator_;
    QtWindowSystem windows_;
    std::unique_ptr<Programmer> programmer_;
    std::unique_ptr<MainWindow> window_;
    bool destroyed_ = false;
};

}  // namespace ostrel::qt
