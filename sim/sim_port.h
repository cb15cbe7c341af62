// SimPort: a port backend with a simulated cable and AVR chip behind it. The
// program drives it through the two port interfaces exactly as it drives a real serial or
// parallel port, and cannot tell the difference.
//
// The simulated PC has both kinds of port; the cable hangs on one of them.
// The other port has nothing connected: its serial status lines read 0, its
// parallel status inputs float high (MISO reads 1).
//
// Serial side: OpenSerial succeeds for any name (or fails, with the fault
// NoPort). The port opens with RTS and DTR raised and break off, as Linux
// leaves a serial port that it opens, so a cable's SCK and MOSI start high;
// closing drops RTS, DTR and break, as the kernel does on the last close.
//
// Every access of either port costs its time on the program's clock
// (serialAccessNs, parallelAccessNs) before it takes effect, so the lines
// change, and MISO is read, at the times a real port would give.
// Parallel side: a plain output port; the data register drives the lines and
// reads back what was written. With bidirectionalParallel, setting control
// bit 5 switches the data lines to input: they are no longer driven, the
// target's own pull-up takes RESET high and a read of the data register gives
// 0xFF.
//
// The chip's memories, lock and fuse bits are loaded from the state file when
// the port is built (a chip that has no file yet is written at once) and
// written back when a command ends, when the serial port is closed, when the
// port is destroyed, and on Save(). The first change of each command is
// saved at once, marked as under way, until the command's end settles it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/clock.h"
#include "core/port_access.h"
#include "platform/file_system.h"
#include "sim/avr_target.h"
#include "sim/cable.h"
#include "sim/chip_table.h"

namespace ostrel::sim {

// The situations SimPort can present besides a working cable and chip.
enum class SimFault : uint8_t {
    None,
    NoPort,            // the serial port cannot be opened; the parallel port reads 0xFF
    NoCable,           // nothing on the port: no loop-backs, MISO reads 1
    NoTarget,          // the cable without a chip: loop-backs work, MISO reads 1
    OutOfStep,         // the chip is outOfStepBits bits behind after every reset
    ErasedSignature,   // the signature reads FF FF FF
    UnknownSignature,  // the signature reads unknownSignature
    Locked,            // LB1 and LB2 programmed; saved like any lock until a chip erase
    StuckByte,         // one cell (stuckMemory, stuckAddress) never takes a value
    Disappears,        // after disappearAfter instructions the chip is gone, as if unplugged
    // The chip takes and executes every instruction, but its MISO never
    // reaches the programmer (a broken or misrouted wire): the line reads 0.
    // No echo and no signature is seen while the chip is in programming mode.
    EchoLost,
};

// Default cost of one port access, in nanoseconds.
inline constexpr uint32_t kSerialAccessNs = 2000;
inline constexpr uint32_t kParallelAccessNs = 1500;

struct SimConfig {
    CableKind cable = CableKind::Cablet2;
    std::string chip = std::string(kDefaultChipName);
    SimFault fault = SimFault::None;
    uint32_t outOfStepBits = 1;
    std::array<uint8_t, 3> unknownSignature{0x1E, 0x97, 0x7E};
    Memory stuckMemory = Memory::Eeprom;
    uint32_t stuckAddress = 0;  // byte address (flash: 2 * word + 1 for the high byte)
    // Complete four-byte instructions the chip takes before it disappears
    // (Programming Enable and the signature reads count too).
    uint32_t disappearAfter = 64;
    bool bidirectionalParallel = false;
    // The chip's clock in Hz; 0: the chip's factory clock (ChipInfo::clockHz).
    uint32_t chipClockHz = 0;
    // What the board gives the chip to run on besides its own oscillators.
    Board board;
    // The fuses are set back to the chip's factory values before the chip is
    // used, as a high-voltage programmer would: the way back for a chip whose
    // fuses lock serial programming out.
    bool restoreFuses = false;
    // What one access of the port costs on the program's clock, in
    // nanoseconds (0: no time at all). One modem-control ioctl on an
    // on-board UART, or one ppdev ioctl, takes a syscall plus an ISA-speed
    // I/O cycle of about a microsecond: see docs/architecture.md.
    uint32_t serialAccessNs = kSerialAccessNs;
    uint32_t parallelAccessNs = kParallelAccessNs;
    // false: port accesses cost no time and the chip takes every edge however
    // short (for tests of the memories alone, and to compare in benchmarks).
    bool timing = true;
    // Where the chip's state lives; empty: nothing is loaded or saved.
    std::string stateFile;
    // The lock the owner holds on the state file for as long as the chip is
    // in use, or null. A save replaces the file, and the lock goes over to
    // the new one before the old one is let go, so no other program can
    // take the chip in between.
    std::optional<FileLock>* stateLock = nullptr;
};

class SimPort final : public PortAccess {
  public:
    explicit SimPort(Clock& clock, SimConfig config = {});
    ~SimPort() override;
    SimPort(const SimPort&) = delete;
    SimPort& operator=(const SimPort&) = delete;

    // --- SerialLines and ParallelRegisters ---
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

    // --- the simulation ---
    AvrTarget& target() { return target_; }
    const AvrTarget& target() const { return target_; }
    const SimConfig& config() const { return config_; }
    // Warnings of the set-up and of saving, one per line (an unknown chip
    // name, a state file that could not be used or written); empty when none.
    const std::string& warning() const { return warning_; }
    // Writes the state file now; false (and a warning) when it fails. True
    // without writing when no state file is configured. The file stays
    // marked as cut off while the memories it came with were neither read
    // nor written.
    bool Save();
    // The command that used the chip ended: its changes are saved, settled
    // unless a cut off mark is kept (see Save).
    void CommandEnded() override;

    bool serialOpen() const { return serialOpen_; }
    bool rts() const { return rts_; }
    bool dtr() const { return dtr_; }
    bool breakOn() const { return break_; }
    uint8_t dataRegister() const { return data_; }
    // Port calls so far.
    uint64_t portCalls() const { return portCalls_; }

  private:
    bool ChipOnCable() const {
        return config_.fault != SimFault::NoTarget && config_.fault != SimFault::NoCable;
    }
    // The MISO level the port sees from the chip.
    bool ChipMiso() {
        const bool level = target_.Miso();
        return config_.fault != SimFault::EchoLost && level;
    }
    bool ParallelDriven() const;
    // The status register as the cable and chip make it now.
    uint8_t Status();
    void DriveSerial();
    void DriveParallel();
    void AddWarning(const std::string& text);
    // Saves the chip as being changed by a command (see OnFirstChange).
    void SaveChanging();
    // Something to save: changes, or a cut off mark the memories' use settles.
    bool SaveDue() const;
    // One access of each port: counted, and its time spent.
    void SerialAccess() {
        ++portCalls_;
        if (config_.timing && config_.serialAccessNs != 0)
            clock_.Spend(config_.serialAccessNs);
    }
    void ParallelAccess() {
        ++portCalls_;
        if (config_.timing && config_.parallelAccessNs != 0)
            clock_.Spend(config_.parallelAccessNs);
    }

    Clock& clock_;
    SimConfig config_;
    std::string warning_;
    AvrTarget target_;
    // The state file was loaded marked as cut off, and no save settled it yet.
    bool uncertain_ = false;

    bool serialOpen_ = false;
    bool rts_ = false;
    bool dtr_ = false;
    bool break_ = false;
    uint8_t data_ = 0;
    uint8_t control_ = 0x0C;  // the usual value after the BIOS: INIT and SELECT IN high
    uint64_t portCalls_ = 0;
};

// "none", "noport", "nocable", "notarget", "outofstep", "erased", "unknown",
// "locked", "stuck", "disappears", "echolost".
std::string_view SimFaultName(SimFault fault);
bool ParseSimFault(std::string_view text, SimFault* fault);

}  // namespace ostrel::sim
