// A simulated AVR chip seen through its serial programming interface only:
// three input lines (RESET, SCK, MOSI) and one output line (MISO).
//
// What the model does, edge by edge, as the data sheets describe it:
// - The chip runs on its own clock (clockHz; one period is tCLCL). It sees
//   its inputs through synchronisers clocked by that clock, which is why the
//   data sheets ask for SCK low and high phases of more than 2 cycles (3 from
//   12 MHz; the AT90S1200: low more than 1, high more than 4), MOSI valid one
//   cycle before SCK rises and held two cycles after. A shorter SCK phase is
//   not seen: the pulse is lost and the chip falls a bit behind. MOSI that
//   changes less than one cycle before the rising edge is sampled at its old
//   level; MOSI that changes less than two cycles after it, at its new one.
// - RESET: a positive pulse shorter than two chip cycles and a low pulse
//   shorter than kResetLowMinNs are not seen at all. RESET low starts the
//   programming interface; the chip accepts clock edges only kResetEntryUs
//   after RESET went low. RESET high leaves programming mode and lets the
//   chip run; it then ignores SCK and does not drive MISO.
// - SCK must be held low while the interface starts: an SCK high level
//   while RESET goes low, or during the kResetEntryUs that follow, leaves the
//   interface out of synchronisation, so that it answers nothing and takes no
//   Programming Enable until RESET gets a positive pulse with SCK low.
// - MOSI is sampled on the rising edge of SCK; MISO changes on the falling
//   edge (valid kMisoValidNs after it), so it is stable while SCK is high.
//   Bits are counted in frames of four bytes from the moment the interface
//   started.
// - Until it has received Programming Enable (AC 53 xx xx) in step with its
//   own frame count, the chip executes nothing; it answers 0x53 while the
//   third byte of a Programming Enable in step is clocked in (not on the
//   AT90S1200). A chip out of step sees shifted frames and gives no echo;
//   every extra SCK pulse moves it one bit.
// - Outside the 0x53 echo and the data byte of read instructions, MISO is low.
//   A read the chip refuses (locked memories) repeats the third instruction
//   byte, which is how a locked classic chip answers its signature as
//   00 01 02.
// - Writes take the data sheets' times; a location being written reads the
//   first polling value for the first half of that time and the second for
//   the second half. A memory that is busy ignores further writes.
// - Flash programming can only clear bits; an EEPROM write replaces the byte.
//   Chip erase sets flash and EEPROM to 0xFF and clears the lock bits (the
//   fuses stay; EESAVE is not modelled). Lock writes take effect at once;
//   the fuses the chip runs on are taken when it leaves reset (and when it is
//   powered up with a memory; the one-bit chips, AT90S2343 and its kin, at
//   power-up only): SPIEN unprogrammed, RSTDISBL or DWEN
//   programmed, or a clock source the board lacks, and the chip never takes
//   Programming Enable again; CKSEL and CKDIV8 set the chip clock. SPIEN
//   itself cannot be changed over the serial interface, as on silicon.
// - Write Lock Bits is decoded per family (LockRulesOf): classic chips take
//   LB1 and LB2 from bits 1 and 2 of byte 2 (AC 1111 1xxx), the newer ones
//   the lock byte from byte 4 (AC 111x xxxx). Lock bit LB1 stops flash and
//   EEPROM writes (and, on the newer chips, fuse writes); LB1 with LB2 also
//   stops reading them.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "core/clock.h"
#include "sim/chip_table.h"

namespace ostrel::sim {

// Time from RESET low until the chip takes serial programming instructions.
inline constexpr uint64_t kResetEntryUs = 20000;
// Shortest low pulse on RESET that resets the chip (the data sheets' t_RST:
// 1.5 to 2.5 us on the newer chips; the longest is taken for all).
inline constexpr uint64_t kResetLowMinNs = 2500;
// SCK low to MISO valid: tens of nanoseconds, not tied to the chip clock.
inline constexpr uint64_t kMisoValidNs = 32;

enum class Memory : uint8_t { Flash, Eeprom };

// What the chip keeps when it is switched off: the contents that the state
// file stores.
struct ChipMemory {
    std::vector<uint8_t> flash;  // word w: low byte at 2w, high byte at 2w+1
    std::vector<uint8_t> eeprom;
    uint8_t lock = 0xFF;  // 1 = unprogrammed; bit layout per instruction set
    std::array<uint8_t, 3> fuses{0xFF, 0xFF, 0xFF};  // low, high, extended

    // An erased chip of that kind with its factory fuses.
    static ChipMemory Fresh(const ChipInfo& chip);
    bool operator==(const ChipMemory&) const = default;
};

class AvrTarget {
  public:
    AvrTarget(const ChipInfo& chip, const Clock& clock);

    // --- lines ---
    // New levels of the three input lines. When several change at once,
    // RESET acts first, then MOSI, then SCK: the cable's capacitor on SCK
    // makes the clock edge the slowest of them.
    void SetLines(bool resetHigh, bool sckHigh, bool mosiHigh);
    // The MISO level: true also while the chip does not drive the line (in
    // reset before the interface has started, running, or gone).
    bool Miso();
    // Whether the chip drives MISO at all right now.
    bool DrivesMiso();

    // --- clock ---
    // The chip's clock in Hz; 0 gives the clock its fuses select.
    void SetClockHz(uint32_t hz);
    // What the board gives the chip: a crystal (by default) or an external
    // clock signal.
    void SetBoard(const Board& board);
    // Power removed and applied again: the chip takes its fuses as it does
    // when it leaves reset, the fuse bit of the one-bit chips included.
    void PowerUp();
    // What the fuses the chip took at its last reset do.
    const FuseEffects& fuseEffects() const { return effects_; }
    // The chip answers its serial programming interface at all.
    bool Reachable() const { return effects_.serialProgramming && effects_.clockRuns; }
    uint32_t clockHz() const { return clockHz_; }
    // Off: every edge and pulse is seen, however short (the lines still act
    // in the order RESET, MOSI, SCK).
    void SetTimingChecks(bool on);
    // SCK pulses, and RESET pulses, the chip did not see because they were
    // too short; MOSI levels it took wrongly because they changed too close
    // to the rising edge of SCK.
    uint64_t lostPulses() const { return lostPulses_; }
    uint64_t mosiViolations() const { return mosiViolations_; }
    // How long RESET was high the last time it went low again (seen or not).
    uint64_t lastResetHighNs() const { return lastResetHighNs_; }
    // The interface is out of synchronisation (SCK was high while it started).
    bool OutOfSync() const;

    // --- faults ---
    // The chip loses that many SCK pulses after every start of the
    // programming interface, so it is that many bits behind the programmer.
    void SetStepOffset(uint32_t bits) { stepOffset_ = bits % 32; }
    // The three bytes the signature instruction answers instead of the chip's own.
    void SetSignature(const std::array<uint8_t, 3>& signature) { signature_ = signature; }
    // A cell that ignores every write and erase; the address is a byte
    // address (flash: 2 * word address + 1 for the high byte).
    void SetStuckCell(Memory memory, uint32_t address);
    // The extended address byte the chip holds (bit 16 of the flash word
    // address on chips above 64K words, set by Load Extended Address). It
    // survives reset and programming enable, so a programmer that does not
    // send it works on whatever half an earlier command left selected.
    void SetExtendedAddress(uint8_t value) { extendedAddress_ = value; }
    uint8_t extendedAddress() const { return extendedAddress_; }
    // The chip is gone once it has received that many complete four-byte
    // instructions (counted from now, whatever they were): as when the cable
    // is pulled in the middle of a write. The last of them is still carried
    // out; from then on the chip ignores its lines and leaves MISO to float.
    void DisappearAfter(uint64_t instructions);
    // The chip has disappeared.
    bool Gone() const { return gone_; }
    // Complete four-byte instructions received while the interface was started.
    uint64_t instructionsReceived() const { return received_; }

    // --- state ---
    const ChipInfo& chip() const { return chip_; }
    const std::array<uint8_t, 3>& signature() const { return signature_; }
    const ChipMemory& memory() const { return memory_; }
    // Replaces the whole memory (sizes must match the chip; others are refused).
    bool LoadMemory(const ChipMemory& memory);
    // Direct access for tests and for setting up a chip.
    uint8_t Flash(uint32_t byteAddress) const;
    void SetFlash(uint32_t byteAddress, uint8_t value);
    uint8_t Eeprom(uint32_t address) const;
    void SetEeprom(uint32_t address, uint8_t value);
    uint8_t Lock() const { return memory_.lock; }
    void SetLock(uint8_t value);
    uint8_t Fuse(int index) const { return memory_.fuses[static_cast<std::size_t>(index % 3)]; }
    void SetFuse(int index, uint8_t value);
    // Lock bits LB1 and LB2 both programmed: memories cannot be read.
    bool ReadProtected() const;
    // LB1 programmed: memories cannot be written.
    bool WriteProtected() const;

    // True after a Programming Enable in step, until RESET changes.
    bool ProgrammingEnabled() const { return enabled_ && ResetSeen() == resetHigh_; }
    // RESET is high: the chip runs its program.
    bool Running() const { return ResetSeen(); }
    // True while a write or erase is under way.
    bool Busy() const;

    // The memories changed since the last ClearDirty (for saving).
    bool dirty() const { return dirty_; }
    void ClearDirty() { dirty_ = false; }
    // Called when an instruction changes memories that were clean (saved):
    // the first change a command makes, for the owner to note on the disk.
    void OnFirstChange(std::function<void()> hook) { firstChange_ = std::move(hook); }
    // An instruction read flash or EEPROM (the lock let it), wrote them or
    // erased the chip since the target was made; fuse and lock bits, the
    // signature and a page buffer's loads do not count.
    bool memoriesUsed() const { return memoriesUsed_; }

    // --- counters ---
    // Word addresses of the pages burnt, in order.
    const std::vector<uint32_t>& pageWrites() const { return pageWrites_; }
    int chipErases() const { return chipErases_; }
    // Instructions executed after Programming Enable.
    uint64_t instructionsExecuted() const { return executed_; }
    // Every complete four-byte frame the chip received while its interface
    // was started, recorded only while recording is on.
    void RecordInstructions(bool on) { recording_ = on; }
    const std::vector<std::array<uint8_t, 4>>& instructions() const { return log_; }
    void ClearCounters();

  private:
    struct BusyRange {
        uint32_t lo = 0;
        uint32_t hi = 0;  // exclusive
        uint64_t startUs = 0;
        uint64_t endUs = 0;
        std::array<uint8_t, 2> poll{0xFF, 0xFF};
    };

    void ResetChanged(bool high, uint64_t atNs);
    // Takes the fuses as a reset does, and the clock they give.
    void TakeFuses();
    void ApplyClock();
    // The RESET level the chip acts on now, a change that has lasted its
    // minimum included.
    bool ResetSeen() const;
    uint64_t ResetMinimumNs() const;
    // A RESET change waits to be taken and has lasted its minimum.
    bool ResetChangeLasted(uint64_t nowNs) const;
    // Takes a RESET change that has lasted long enough to be seen.
    void SettleReset(uint64_t nowNs);
    bool InterfaceStarted(uint64_t nowNs);
    void SckChanged(bool high, uint64_t nowNs);
    void RisingEdge(bool bit);
    void FallingEdge(uint64_t nowNs);
    void ByteReceived();
    uint8_t ReadAnswer();
    void Execute();
    void ExecuteAc();
    // Write Lock Bits with the bits as the family's instruction carries them.
    void WriteLockBits(uint8_t bits);
    uint8_t LockAndFuseAnswer(uint8_t b1, uint8_t b2);
    uint8_t FuseAnswer(uint8_t b1);
    uint8_t ReadCell(Memory memory, uint32_t index, uint64_t nowUs) const;
    bool IsBusy(const BusyRange& busy, uint64_t nowUs) const { return nowUs < busy.endUs; }
    void StartBusy(BusyRange& busy, uint32_t lo, uint32_t hi, uint32_t us,
                   const std::array<uint8_t, 2>& poll, uint64_t nowUs);
    bool Stuck(Memory memory, uint32_t index) const;
    void WriteFlashByte(uint32_t index, uint8_t value, uint64_t nowUs);
    void WriteFlashPage(uint32_t wordAddress, uint64_t nowUs);
    void WriteEepromByte(uint32_t index, uint8_t value, uint64_t nowUs);
    void ChipErase(uint64_t nowUs);

    const ChipInfo& chip_;
    const Clock& clock_;
    ChipMemory memory_;
    std::array<uint8_t, 3> signature_;
    std::vector<uint8_t> pageBuffer_;
    uint32_t flashMask_;   // byte index mask of the flash
    uint32_t eepromMask_;  // address mask of the EEPROM

    // Clock and the timing limits it gives, in nanoseconds: a phase is seen
    // when it lasts longer than its limit.
    uint32_t clockHz_ = 0;
    uint32_t chosenClockHz_ = 0;  // 0: the fuses' clock
    Board board_;
    FuseEffects effects_;
    bool timing_ = true;
    uint64_t sckLowLimitNs_ = 0;
    uint64_t sckHighLimitNs_ = 0;
    uint64_t setupNs_ = 0;         // MOSI valid before SCK rises: one cycle
    uint64_t holdNs_ = 0;          // MOSI held after SCK rises: two cycles
    uint64_t resetHighMinNs_ = 0;  // a positive RESET pulse: two cycles

    // Lines as the chip sees them.
    bool resetHigh_ = false;
    bool sck_ = false;
    bool mosi_ = false;
    // RESET as the pin has it; a change is taken once it has lasted its
    // minimum (resetPinNs_ is when it changed).
    bool resetPin_ = false;
    uint64_t resetPinNs_ = 0;
    bool resetPending_ = false;
    // MOSI before its last change, and when that was.
    bool mosiBefore_ = false;
    uint64_t mosiChangeNs_ = 0;
    // SCK edges: the last falling edge the chip saw, the rising edge whose bit
    // waits for its falling edge, and a rising edge it did not see.
    uint64_t fallNs_ = 0;
    uint64_t riseNs_ = 0;
    bool risePending_ = false;
    bool pendingBit_ = false;
    bool riseLost_ = false;
    // MISO: the level before the last falling edge, until misoValidNs_.
    bool misoBefore_ = false;
    uint64_t misoValidNs_ = 0;
    bool outOfSync_ = false;
    uint64_t lostPulses_ = 0;
    uint64_t mosiViolations_ = 0;
    uint64_t resetRoseNs_ = 0;
    uint64_t lastResetHighNs_ = 0;

    // Programming interface.
    bool started_ = false;  // RESET low for at least kResetEntryUs
    uint64_t resetLowNs_ = 0;
    bool enabled_ = false;
    uint32_t bitCount_ = 0;  // rising edges counted since the interface started
    uint8_t inShift_ = 0;
    std::array<uint8_t, 4> frame_{};
    uint8_t outByte_ = 0;  // byte being shifted out on MISO
    uint8_t nextOut_ = 0;  // byte to shift out in the next byte time
    bool miso_ = false;
    uint32_t stepOffset_ = 0;
    uint32_t pulsesToLose_ = 0;
    bool loseFallingEdge_ = false;

    BusyRange flashBusy_;
    BusyRange eepromBusy_;
    uint64_t eraseEndUs_ = 0;

    bool stuckSet_ = false;
    Memory stuckMemory_ = Memory::Flash;
    uint32_t stuckIndex_ = 0;

    bool disappearSet_ = false;
    uint64_t disappearAt_ = 0;
    uint64_t received_ = 0;
    bool gone_ = false;

    bool dirty_ = false;
    bool memoriesUsed_ = false;
    std::function<void()> firstChange_;
    // An instruction changed the memories: dirty, and the first change told.
    void Changed();
    // The flash word address of a read or page write: the instruction's 16
    // bits, and above 64K words the extended address byte as bit 16.
    uint32_t FlashWordAddress(uint32_t address16) const;
    uint8_t extendedAddress_ = 0;
    std::vector<uint32_t> pageWrites_;
    int chipErases_ = 0;
    uint64_t executed_ = 0;
    bool recording_ = false;
    std::vector<std::array<uint8_t, 4>> log_;
};

}  // namespace ostrel::sim
