// A simulated AVR chip seen through its serial programming interface only:
// three input lines (RESET, SCK, MOSI) and one output line (MISO).
//
// What the model does, edge by edge, as the data sheets describe it:
// - RESET low starts the programming interface; the chip accepts clock edges
//   only kResetEntryUs after RESET went low. RESET high leaves programming
//   mode and lets the chip run; it then ignores SCK and does not drive MISO.
// - MOSI is sampled on the rising edge of SCK; MISO changes on the falling
//   edge, so it is stable while SCK is high. Bits are counted in frames of
//   four bytes from the moment the interface started.
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
//   fuses stay; EESAVE is not modelled). Fuse and lock writes take effect at
//   once.
// - Write Lock Bits is decoded per family (LockRulesOf): classic chips take
//   LB1 and LB2 from bits 1 and 2 of byte 2 (AC 1111 1xxx), the newer ones
//   the lock byte from byte 4 (AC 111x xxxx). Lock bit LB1 stops flash and
//   EEPROM writes (and, on the newer chips, fuse writes); LB1 with LB2 also
//   stops reading them.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "core/clock.h"
#include "sim/chip_table.h"

namespace ostrel::sim {

// Time from RESET low until the chip takes serial programming instructions.
inline constexpr uint64_t kResetEntryUs = 20000;

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

    // --- faults ---
    // The chip loses that many SCK pulses after every start of the
    // programming interface, so it is that many bits behind the programmer.
    void SetStepOffset(uint32_t bits) { stepOffset_ = bits % 32; }
    // The three bytes the signature instruction answers instead of the chip's own.
    void SetSignature(const std::array<uint8_t, 3>& signature) { signature_ = signature; }
    // A cell that ignores every write and erase; the address is a byte
    // address (flash: 2 * word address + 1 for the high byte).
    void SetStuckCell(Memory memory, uint32_t address);
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
    bool ProgrammingEnabled() const { return enabled_; }
    // RESET is high: the chip runs its program.
    bool Running() const { return resetHigh_; }
    // True while a write or erase is under way.
    bool Busy() const;

    // The memories changed since the last ClearDirty (for saving).
    bool dirty() const { return dirty_; }
    void ClearDirty() { dirty_ = false; }

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

    void ResetChanged(bool high);
    bool InterfaceStarted();
    void RisingEdge();
    void FallingEdge();
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

    // Lines as the chip sees them.
    bool resetHigh_ = false;
    bool sck_ = false;
    bool mosi_ = false;

    // Programming interface.
    bool started_ = false;  // RESET low for at least kResetEntryUs
    uint64_t resetLowUs_ = 0;
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
    std::vector<uint32_t> pageWrites_;
    int chipErases_ = 0;
    uint64_t executed_ = 0;
    bool recording_ = false;
    std::vector<std::array<uint8_t, 4>> log_;
};

}  // namespace ostrel::sim
