#include "sim/avr_target.h"

#include <algorithm>

namespace ostrel::sim {

namespace {

constexpr uint8_t kEnable1 = 0xAC;
constexpr uint8_t kEnable2 = 0x53;

}  // namespace

ChipMemory ChipMemory::Fresh(const ChipInfo& chip) {
    ChipMemory m;
    m.flash.assign(chip.flashBytes, 0xFF);
    m.eeprom.assign(chip.eepromBytes, 0xFF);
    m.lock = 0xFF;
    m.fuses = chip.fuseDefaults;
    return m;
}

AvrTarget::AvrTarget(const ChipInfo& chip, const Clock& clock)
    : chip_(chip),
      clock_(clock),
      memory_(ChipMemory::Fresh(chip)),
      signature_(chip.signature),
      pageBuffer_(chip.pageBytes, 0xFF),
      flashMask_(chip.flashBytes - 1),
      eepromMask_(chip.eepromBytes - 1),
      resetPinNs_(clock.NowNs()),
      resetLowNs_(clock.NowNs()) {
    TakeFuses();
}

void AvrTarget::SetClockHz(uint32_t hz) {
    chosenClockHz_ = hz;
    ApplyClock();
}

void AvrTarget::SetBoard(const Board& board) {
    board_ = board;
    TakeFuses();
}

void AvrTarget::PowerUp() {
    TakeFuses();
}

void AvrTarget::TakeFuses() {
    effects_ = EffectsOf(chip_, memory_.fuses, board_);
    ApplyClock();
}

void AvrTarget::ApplyClock() {
    clockHz_ = chosenClockHz_ != 0 ? chosenClockHz_ : effects_.clockHz;
    // Times of whole cycles in nanoseconds, rounded down and up, so that the
    // checks below compare exactly with "more than" and "at least".
    auto floorNs = [&](uint64_t cycles) { return cycles * 1000000000ull / clockHz_; };
    auto ceilNs = [&](uint64_t cycles) {
        return (cycles * 1000000000ull + clockHz_ - 1) / clockHz_;
    };
    // A phase is seen when it lasts longer than its limit: "more than 2
    // cycles" below 12 MHz, "at least 3 cycles" from 12 MHz.
    const bool fast = clockHz_ >= 12000000;
    auto limit = [&](uint8_t cycles) {
        if (cycles != 0)
            return floorNs(cycles);
        return fast ? ceilNs(3) - 1 : floorNs(2);
    };
    sckLowLimitNs_ = limit(chip_.sckLowCycles);
    sckHighLimitNs_ = limit(chip_.sckHighCycles);
    setupNs_ = ceilNs(1);
    holdNs_ = ceilNs(2);
    resetHighMinNs_ = ceilNs(2);
}

void AvrTarget::SetTimingChecks(bool on) {
    timing_ = on;
}

uint64_t AvrTarget::ResetMinimumNs() const {
    if (!timing_)
        return 0;
    // A positive pulse must last two chip cycles, a low pulse t_RST.
    return resetPin_ ? resetHighMinNs_ : kResetLowMinNs;
}

bool AvrTarget::ResetChangeLasted(uint64_t nowNs) const {
    return resetPending_ && nowNs - resetPinNs_ >= ResetMinimumNs();
}

bool AvrTarget::OutOfSync() const {
    // A RESET fall that has lasted its minimum restarts the interface, in
    // step when SCK is low.
    if (ResetChangeLasted(clock_.NowNs()) && !resetPin_)
        return sck_;
    return outOfSync_;
}

bool AvrTarget::ResetSeen() const {
    if (ResetChangeLasted(clock_.NowNs()))
        return resetPin_;
    return resetHigh_;
}

// --- lines ---------------------------------------------------------------

void AvrTarget::SetLines(bool resetHigh, bool sckHigh, bool mosiHigh) {
    if (gone_)
        return;
    const uint64_t now = clock_.NowNs();
    SettleReset(now);
    if (resetHigh != resetPin_) {
        if (resetHigh)
            resetRoseNs_ = now;
        else
            lastResetHighNs_ = now - resetRoseNs_;
        if (resetPending_ && timing_) {
            // Back before the chip took the change: a pulse too short to see.
            resetPending_ = false;
            ++lostPulses_;
        } else {
            resetPending_ = true;
            resetPinNs_ = now;
        }
        resetPin_ = resetHigh;
        if (!timing_) {
            resetPending_ = false;
            ResetChanged(resetHigh, now);
        }
    }
    if (mosiHigh != mosi_) {
        mosiBefore_ = mosi_;
        mosiChangeNs_ = now;
        mosi_ = mosiHigh;
        // MOSI must be held two cycles after SCK rises: the chip takes the
        // level it finds when its synchroniser has seen the edge.
        if (timing_ && risePending_ && now - riseNs_ < holdNs_) {
            pendingBit_ = mosiHigh;
            ++mosiViolations_;
        }
    }
    if (sckHigh != sck_)
        SckChanged(sckHigh, now);
}

void AvrTarget::SettleReset(uint64_t nowNs) {
    if (!ResetChangeLasted(nowNs))
        return;
    resetPending_ = false;
    ResetChanged(resetPin_, resetPinNs_);
}

void AvrTarget::SckChanged(bool high, uint64_t nowNs) {
    sck_ = high;
    if (resetHigh_)
        return;
    if (!InterfaceStarted(nowNs)) {
        // SCK must stay low while the interface starts.
        if (high)
            outOfSync_ = true;
        else
            fallNs_ = nowNs;
        return;
    }
    if (high) {
        if (timing_ && nowNs - fallNs_ <= sckLowLimitNs_) {
            // The low phase was too short: the chip never saw SCK go low,
            // so this pulse is lost.
            riseLost_ = true;
            ++lostPulses_;
            return;
        }
        riseNs_ = nowNs;
        risePending_ = true;
        // MOSI must be valid one cycle before the edge.
        const bool settled = !timing_ || nowNs - mosiChangeNs_ >= setupNs_;
        pendingBit_ = settled ? mosi_ : mosiBefore_;
        if (!settled)
            ++mosiViolations_;
        return;
    }
    if (riseLost_) {
        riseLost_ = false;
        return;
    }
    if (!risePending_) {
        fallNs_ = nowNs;
        return;
    }
    risePending_ = false;
    if (timing_ && nowNs - riseNs_ <= sckHighLimitNs_) {
        // The high phase was too short: the pulse is lost.
        ++lostPulses_;
        return;
    }
    fallNs_ = nowNs;
    RisingEdge(pendingBit_);
    FallingEdge(nowNs);
}

bool AvrTarget::Miso() {
    if (gone_)
        return true;
    const uint64_t now = clock_.NowNs();
    SettleReset(now);
    if (resetHigh_ || !InterfaceStarted(now))
        return true;
    return now >= misoValidNs_ ? miso_ : misoBefore_;
}

bool AvrTarget::DrivesMiso() {
    if (gone_)
        return false;
    const uint64_t now = clock_.NowNs();
    SettleReset(now);
    return !resetHigh_ && InterfaceStarted(now);
}

void AvrTarget::ResetChanged(bool high, uint64_t atNs) {
    resetHigh_ = high;
    // Any change of RESET restarts the interface: the bit count begins again
    // and Programming Enable is needed again.
    started_ = false;
    enabled_ = false;
    bitCount_ = 0;
    inShift_ = 0;
    outByte_ = 0;
    nextOut_ = 0;
    miso_ = false;
    misoBefore_ = false;
    misoValidNs_ = 0;
    pulsesToLose_ = 0;
    loseFallingEdge_ = false;
    risePending_ = false;
    riseLost_ = false;
    std::fill(pageBuffer_.begin(), pageBuffer_.end(), 0xFF);
    // The AT90S2323/2343/4434/8535 and the ATtiny22 take their fuse bit
    // (RCEN, FSTRT) at power-up only: their data sheets ask for a power
    // cycle after it is changed.
    if (high && chip_.isa != InstructionSet::ClassicFuseBit)
        TakeFuses();
    if (!high) {
        resetLowNs_ = atNs;
        fallNs_ = atNs;
        // The interface starts in step only with SCK low as RESET falls.
        outOfSync_ = sck_;
    }
}

bool AvrTarget::InterfaceStarted(uint64_t nowNs) {
    if (started_)
        return true;
    if (resetHigh_)
        return false;
    if (nowNs - resetLowNs_ < kResetEntryUs * 1000u)
        return false;
    started_ = true;
    pulsesToLose_ = stepOffset_;
    return true;
}

void AvrTarget::RisingEdge(bool bit) {
    if (pulsesToLose_ > 0) {
        --pulsesToLose_;
        loseFallingEdge_ = true;
        return;
    }
    inShift_ = static_cast<uint8_t>((inShift_ << 1) | (bit ? 1 : 0));
    ++bitCount_;
    if ((bitCount_ & 7) == 0)
        ByteReceived();
}

void AvrTarget::FallingEdge(uint64_t nowNs) {
    if (loseFallingEdge_) {
        loseFallingEdge_ = false;
        return;
    }
    // The falling edge after the last bit of a byte starts the next answer
    // byte with its most significant bit; the others move one bit on.
    const uint32_t pos = bitCount_ & 7;
    if (pos == 0)
        outByte_ = nextOut_;
    misoBefore_ = nowNs >= misoValidNs_ ? miso_ : misoBefore_;
    miso_ = ((outByte_ >> (7 - pos)) & 1) != 0;
    misoValidNs_ = timing_ ? nowNs + kMisoValidNs : nowNs;
}

void AvrTarget::ByteReceived() {
    const uint32_t k = ((bitCount_ >> 3) - 1) & 3;
    frame_[k] = inShift_;
    switch (k) {
        case 1:
            nextOut_ = (chip_.echoesEnable && !outOfSync_ && Reachable() && frame_[0] == kEnable1 &&
                        frame_[1] == kEnable2)
                           ? kEnable2
                           : 0;
            break;
        case 2:
            nextOut_ = enabled_ ? ReadAnswer() : 0;
            break;
        case 3:
            nextOut_ = 0;
            Execute();
            ++received_;
            if (disappearSet_ && received_ >= disappearAt_)
                gone_ = true;
            break;
        default:
            nextOut_ = 0;
            break;
    }
}

// --- instructions --------------------------------------------------------

uint8_t AvrTarget::ReadAnswer() {
    const uint8_t b0 = frame_[0];
    const uint8_t b1 = frame_[1];
    const uint8_t b2 = frame_[2];
    const uint32_t address = (static_cast<uint32_t>(b1) << 8) | b2;
    switch (b0) {
        case 0x20:
        case 0x28: {
            if (ReadProtected())
                return b2;
            const uint32_t index =
                ((FlashWordAddress(address) << 1) | (b0 == 0x28 ? 1u : 0u)) & flashMask_;
            memoriesUsed_ = true;
            return ReadCell(Memory::Flash, index, clock_.NowUs());
        }
        case 0xA0:
            if (ReadProtected())
                return b2;
            memoriesUsed_ = true;
            return ReadCell(Memory::Eeprom, address & eepromMask_, clock_.NowUs());
        case 0x30:
            // Classic chips hide their signature in lock mode 3; the newer
            // ones keep answering it.
            if (ReadProtected() && LockRulesOf(chip_).hidesSignature)
                return b2;
            return (b2 & 3) < 3 ? signature_[b2 & 3] : 0xFF;
        case 0x58:
            return LockAndFuseAnswer(b1, b2);
        case 0x50:
            return FuseAnswer(b1);
        case 0xF0:
            if (chip_.isa != InstructionSet::Modern)
                return 0;
            return Busy() ? 0x01 : 0x00;
        default:
            return 0;
    }
}

uint8_t AvrTarget::LockAndFuseAnswer(uint8_t b1, uint8_t /*b2*/) {
    const uint8_t lock = memory_.lock;
    switch (chip_.isa) {
        case InstructionSet::Classic:
            return 0;
        case InstructionSet::ClassicFuseBit: {
            // "12Sx xxxF": LB1, LB2, SPIEN, the fuse bit; the fuse byte keeps
            // SPIEN and the fuse bit where this answer has them.
            const uint8_t lb1 = (lock >> 1) & 1;
            const uint8_t lb2 = (lock >> 2) & 1;
            return static_cast<uint8_t>((lb1 << 7) | (lb2 << 6) | 0x1E | (memory_.fuses[0] & 0x21));
        }
        case InstructionSet::TinyFuseByte:
            return static_cast<uint8_t>(lock | 0xF9);
        case InstructionSet::Modern:
            if (b1 == 0x00)
                return static_cast<uint8_t>(lock | ~chip_.lockMask);
            if (b1 == 0x08 && chip_.fuseCount >= 2)
                return memory_.fuses[1];
            return 0;
    }
    return 0;
}

uint8_t AvrTarget::FuseAnswer(uint8_t b1) {
    switch (chip_.isa) {
        case InstructionSet::TinyFuseByte:
            return memory_.fuses[0];
        case InstructionSet::Modern:
            if (b1 == 0x00)
                return memory_.fuses[0];
            if (b1 == 0x08 && chip_.fuseCount >= 3)
                return memory_.fuses[2];
            return 0;
        default:
            return 0;
    }
}

void AvrTarget::Execute() {
    if (recording_)
        log_.push_back(frame_);
    if (!enabled_) {
        if (!outOfSync_ && Reachable() && frame_[0] == kEnable1 && frame_[1] == kEnable2)
            enabled_ = true;
        return;
    }
    ++executed_;
    const uint8_t b0 = frame_[0];
    const uint32_t address = (static_cast<uint32_t>(frame_[1]) << 8) | frame_[2];
    const uint8_t data = frame_[3];
    const uint64_t now = clock_.NowUs();
    switch (b0) {
        case 0x40:
        case 0x48: {
            if (IsBusy(flashBusy_, now))
                return;
            const uint32_t index = ((address << 1) | (b0 == 0x48 ? 1u : 0u)) & flashMask_;
            if (chip_.Paged()) {
                // Page mode: the byte goes to the page buffer at its place in the page.
                pageBuffer_[index & (chip_.pageBytes - 1)] = data;
            } else if (!WriteProtected()) {
                WriteFlashByte(index, data, now);
            }
            return;
        }
        case 0x4C:
            if (chip_.Paged() && !WriteProtected() && !IsBusy(flashBusy_, now)) {
                WriteFlashPage(FlashWordAddress(address), now);
            }
            return;
        case 0x4D:
            // Load Extended Address: only the chips above 64K words have it.
            if (chip_.FlashWords() > 0x10000 && frame_[1] == 0x00)
                extendedAddress_ = frame_[2];
            return;
        case 0xC0:
            if (!WriteProtected() && !IsBusy(eepromBusy_, now)) {
                WriteEepromByte(address & eepromMask_, data, now);
            }
            return;
        case 0xAC:
            ExecuteAc();
            return;
        default:
            return;
    }
}

void AvrTarget::ExecuteAc() {
    const uint8_t b1 = frame_[1];
    const uint8_t data = frame_[3];
    const uint64_t now = clock_.NowUs();
    const bool erasing = now < eraseEndUs_;
    if ((b1 & 0xE0) == 0x80) {
        if (!erasing)
            ChipErase(now);
        return;
    }
    if (erasing)
        return;
    const LockRules& rules = LockRulesOf(chip_);
    if ((b1 & rules.writeMask) == rules.writeMatch) {
        WriteLockBits(rules.dataInByte4 ? data : b1);
        return;
    }
    if (rules.locksFuses && WriteProtected())
        return;
    std::array<uint8_t, 3>& fuses = memory_.fuses;
    switch (chip_.isa) {
        case InstructionSet::Classic:
        case InstructionSet::ClassicFuseBit:
        case InstructionSet::TinyFuseByte:
            if (chip_.isa == InstructionSet::ClassicFuseBit && (b1 & 0xFE) == 0xBE) {
                fuses[0] = static_cast<uint8_t>((fuses[0] & 0xFE) | (b1 & 0x01));
                Changed();
            } else if (chip_.isa == InstructionSet::TinyFuseByte && (b1 & 0xE0) == 0xA0) {
                const uint8_t value = chip_.variant != 0 ? b1 : data;
                const uint8_t mask = chip_.fuseWriteMasks[0];
                fuses[0] = static_cast<uint8_t>((fuses[0] & ~mask) | (value & mask));
                Changed();
            }
            return;
        case InstructionSet::Modern: {
            int index = -1;
            if (b1 == 0xA0)
                index = 0;
            if (b1 == 0xA8 && chip_.fuseCount >= 2)
                index = 1;
            if (b1 == 0xA4 && chip_.fuseCount >= 3)
                index = 2;
            if (index < 0)
                return;
            const uint8_t mask = chip_.fuseWriteMasks[static_cast<std::size_t>(index)];
            // SPIEN cannot be reached over the serial interface: it keeps its value.
            const FuseLayout* layout = chip_.fuseLayout;
            const uint8_t kept =
                layout != nullptr && layout->spien.byte == index ? layout->spien.mask : 0;
            uint8_t& fuse = fuses[static_cast<std::size_t>(index)];
            fuse = static_cast<uint8_t>((data & mask & ~kept) | (fuse & kept) | (~mask & ~kept));
            Changed();
            return;
        }
    }
}

// --- memories ------------------------------------------------------------

uint8_t AvrTarget::ReadCell(Memory memory, uint32_t index, uint64_t nowUs) const {
    const BusyRange& busy = memory == Memory::Flash ? flashBusy_ : eepromBusy_;
    if (nowUs < busy.endUs && index >= busy.lo && index < busy.hi) {
        const uint64_t half = busy.startUs + (busy.endUs - busy.startUs) / 2;
        return nowUs < half ? busy.poll[0] : busy.poll[1];
    }
    return memory == Memory::Flash ? memory_.flash[index] : memory_.eeprom[index];
}

void AvrTarget::StartBusy(BusyRange& busy, uint32_t lo, uint32_t hi, uint32_t us,
                          const std::array<uint8_t, 2>& poll, uint64_t nowUs) {
    busy.lo = lo;
    busy.hi = hi;
    busy.startUs = nowUs;
    busy.endUs = nowUs + us;
    busy.poll = poll;
}

bool AvrTarget::Stuck(Memory memory, uint32_t index) const {
    return stuckSet_ && stuckMemory_ == memory && stuckIndex_ == index;
}

uint32_t AvrTarget::FlashWordAddress(uint32_t address16) const {
    if (chip_.FlashWords() <= 0x10000)
        return address16;
    return (static_cast<uint32_t>(extendedAddress_) << 16) | address16;
}

void AvrTarget::WriteFlashByte(uint32_t index, uint8_t value, uint64_t nowUs) {
    memoriesUsed_ = true;
    if (!Stuck(Memory::Flash, index)) {
        // Programming only clears bits; only an erase sets them again.
        memory_.flash[index] &= value;
        Changed();
    }
    StartBusy(flashBusy_, index, index + 1, chip_.flashWriteUs, chip_.flashPoll, nowUs);
}

void AvrTarget::WriteFlashPage(uint32_t wordAddress, uint64_t nowUs) {
    memoriesUsed_ = true;
    const uint32_t pageWords = chip_.PageWords();
    const uint32_t base = wordAddress & (chip_.FlashWords() - 1) & ~(pageWords - 1);
    const uint32_t lo = base * 2;
    for (uint32_t i = 0; i < chip_.pageBytes; ++i) {
        if (!Stuck(Memory::Flash, lo + i))
            memory_.flash[lo + i] &= pageBuffer_[i];
    }
    std::fill(pageBuffer_.begin(), pageBuffer_.end(), 0xFF);
    Changed();
    pageWrites_.push_back(base);
    StartBusy(flashBusy_, lo, lo + chip_.pageBytes, chip_.flashWriteUs, chip_.flashPoll, nowUs);
}

void AvrTarget::WriteEepromByte(uint32_t index, uint8_t value, uint64_t nowUs) {
    memoriesUsed_ = true;
    if (!Stuck(Memory::Eeprom, index)) {
        // The EEPROM erases the byte before writing it, so the value replaces the old one.
        memory_.eeprom[index] = value;
        Changed();
    }
    StartBusy(eepromBusy_, index, index + 1, chip_.eepromWriteUs, chip_.eepromPoll, nowUs);
}

void AvrTarget::ChipErase(uint64_t nowUs) {
    memoriesUsed_ = true;
    const uint8_t keep = stuckSet_ ? (stuckMemory_ == Memory::Flash ? memory_.flash[stuckIndex_]
                                                                    : memory_.eeprom[stuckIndex_])
                                   : 0;
    std::fill(memory_.flash.begin(), memory_.flash.end(), 0xFF);
    std::fill(memory_.eeprom.begin(), memory_.eeprom.end(), 0xFF);
    if (stuckSet_) {
        (stuckMemory_ == Memory::Flash ? memory_.flash : memory_.eeprom)[stuckIndex_] = keep;
    }
    std::fill(pageBuffer_.begin(), pageBuffer_.end(), 0xFF);
    memory_.lock = 0xFF;
    Changed();
    ++chipErases_;
    eraseEndUs_ = nowUs + chip_.chipEraseUs;
    StartBusy(flashBusy_, 0, chip_.flashBytes, chip_.chipEraseUs, chip_.flashPoll, nowUs);
    StartBusy(eepromBusy_, 0, chip_.eepromBytes, chip_.chipEraseUs, chip_.eepromPoll, nowUs);
}

void AvrTarget::WriteLockBits(uint8_t bits) {
    // A 0 programs a lock bit that exists; a 1 leaves it as it is, so only a
    // chip erase unprograms one.
    memory_.lock &= static_cast<uint8_t>(bits | ~chip_.lockMask);
    Changed();
}

bool AvrTarget::ReadProtected() const {
    const LockRules& rules = LockRulesOf(chip_);
    return (memory_.lock & (rules.lb1 | rules.lb2)) == 0;
}

bool AvrTarget::WriteProtected() const {
    return (memory_.lock & LockRulesOf(chip_).lb1) == 0;
}

bool AvrTarget::Busy() const {
    const uint64_t now = clock_.NowUs();
    return IsBusy(flashBusy_, now) || IsBusy(eepromBusy_, now);
}

// --- direct access ---------------------------------------------------------

bool AvrTarget::LoadMemory(const ChipMemory& memory) {
    if (memory.flash.size() != chip_.flashBytes || memory.eeprom.size() != chip_.eepromBytes) {
        return false;
    }
    memory_ = memory;
    dirty_ = true;
    TakeFuses();
    return true;
}

uint8_t AvrTarget::Flash(uint32_t byteAddress) const {
    return byteAddress < memory_.flash.size() ? memory_.flash[byteAddress] : 0xFF;
}

void AvrTarget::SetFlash(uint32_t byteAddress, uint8_t value) {
    if (byteAddress >= memory_.flash.size())
        return;
    memory_.flash[byteAddress] = value;
    dirty_ = true;
}

uint8_t AvrTarget::Eeprom(uint32_t address) const {
    return address < memory_.eeprom.size() ? memory_.eeprom[address] : 0xFF;
}

void AvrTarget::SetEeprom(uint32_t address, uint8_t value) {
    if (address >= memory_.eeprom.size())
        return;
    memory_.eeprom[address] = value;
    dirty_ = true;
}

void AvrTarget::SetLock(uint8_t value) {
    memory_.lock = value;
    dirty_ = true;
}

void AvrTarget::SetFuse(int index, uint8_t value) {
    if (index < 0 || index > 2)
        return;
    memory_.fuses[static_cast<std::size_t>(index)] = value;
    dirty_ = true;
    TakeFuses();
}

void AvrTarget::SetStuckCell(Memory memory, uint32_t address) {
    const std::size_t size = memory == Memory::Flash ? memory_.flash.size() : memory_.eeprom.size();
    if (address >= size)
        return;
    stuckSet_ = true;
    stuckMemory_ = memory;
    stuckIndex_ = address;
}

void AvrTarget::DisappearAfter(uint64_t instructions) {
    disappearSet_ = true;
    disappearAt_ = received_ + instructions;
    gone_ = instructions == 0;
}

void AvrTarget::ClearCounters() {
    pageWrites_.clear();
    chipErases_ = 0;
    executed_ = 0;
    log_.clear();
}

void AvrTarget::Changed() {
    const bool first = !dirty_;
    dirty_ = true;
    if (first && firstChange_)
        firstChange_();
}

}  // namespace ostrel::sim
