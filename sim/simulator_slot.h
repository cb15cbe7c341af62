// The simulated target behind the serial port "SIM", for the programs. It is
// built when that port is first opened (or when Start asks for it), as the
// chip last chosen (or the chip its state file holds, or the ATmega8), with a
// Cablet2 cable, keeping its memories in the state file of the start
// directory, locked while the simulator is in use. The chip runs on its factory clock unless a
// clock was chosen (SetChipClock); a chosen clock is kept in the clock file beside the state file
// whenever a simulator is built, and a new slot starts with it, as it starts with the chip of the
// state file. The simulator has no window of its own: what it has to say goes to the program's
// reporter, each line once.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/clock.h"
#include "core/port_access.h"
#include "platform/file_system.h"
#include "sim/sim_port.h"

namespace ostrel::sim {

class SimulatorSlot final : public PortAccess {
  public:
    using Reporter = std::function<void(const std::string& line)>;

    SimulatorSlot(Clock& clock, std::string stateFile, Reporter report);
    ~SimulatorSlot() override;
    SimulatorSlot(const SimulatorSlot&) = delete;
    SimulatorSlot& operator=(const SimulatorSlot&) = delete;

    // The chip for the next simulator; the current one (if any) is dropped
    // and its state saved. The serial port must be closed first.
    void Choose(std::string_view chip);
    const std::string& chip() const { return chip_; }
    // The chip's clock in Hz for the next simulator (0: the chip's factory
    // clock); the current one (if any) is dropped and its state saved, as
    // Choose does. The serial port must be closed first.
    void SetChipClock(uint32_t hz);
    uint32_t chipClock() const { return clockHz_; }
    // What the simulated board gives the chip (a crystal by default), for the
    // next simulator.
    void SetBoard(const Board& board);
    // The next simulator sets the chip's fuses back to their factory values
    // first, as a high-voltage programmer would, and saves them.
    void RestoreFusesOnStart(bool on);
    // What one access of the serial and of the parallel port costs on the
    // program's clock, in nanoseconds, for the next simulator; the current one
    // (if any) is dropped and its state saved.
    void SetAccessCosts(uint32_t serialNs, uint32_t parallelNs);
    // Builds the simulator now, so that what its state file makes it say is
    // said before the command runs. The simulated chip is held as a real
    // port is held: a lock on its state file, for as long as the simulator
    // is built, keeps a second program from using (and then overwriting)
    // the same chip. False, with the reason reported, when another program
    // holds it.
    bool Start();
    // Why the last Start failed ("the simulated chip ... is in use by the
    // process 1234 (ostrel-cli)"); empty after a start that worked.
    const std::string& startProblem() const { return startProblem_; }
    // The simulator, once the port has been opened.
    SimPort* port() { return port_.get(); }
    // Closes the port, saves a changed chip and drops the simulator. False
    // when the chip could not be saved (the reason has been reported): it is
    // lost for the next run.
    bool Close();

    SerialOpenResult OpenSerial(std::string_view comName) override;
    void CloseSerial() override;
    // Saves what the command changed, and reports what the save had to say.
    void CommandEnded() override;
    void EscapeCommFunction(CommFunction function) override;
    uint32_t GetModemStatus() override;
    void WriteData(uint16_t base, uint8_t value) override;
    uint8_t ReadData(uint16_t base) override;
    uint16_t ReadWord(uint16_t base) override;
    uint8_t ReadStatus(uint16_t base) override;
    uint8_t ReadControl(uint16_t base) override;
    void WriteControl(uint16_t base, uint8_t value) override;

  private:
    // Hands the simulator's warnings not yet reported to the reporter.
    void ReportNew();

    Clock& clock_;
    std::string stateFile_;
    Reporter report_;
    std::string chip_;
    std::string clockFile_;
    uint32_t clockHz_ = 0;
    static constexpr uint32_t kUnknownClock = 0xFFFFFFFF;
    uint32_t storedClockHz_ = 0;  // what the clock file holds (kUnknownClock: no clock)
    std::string clockWarning_;    // why the clock file could not be used, until said
    Board board_;
    bool restoreFuses_ = false;
    uint32_t serialAccessNs_ = kSerialAccessNs;
    uint32_t parallelAccessNs_ = kParallelAccessNs;
    std::optional<FileLock> lock_;  // held from Start to Close
    std::string startProblem_;
    std::unique_ptr<SimPort> port_;
    std::size_t reported_ = 0;  // characters of the warning already reported
};

// The chip whose state a simulator state file holds; empty when the file is
// missing or holds no chip of the table.
std::string ChipOfStateFile(const std::string& path);

}  // namespace ostrel::sim
