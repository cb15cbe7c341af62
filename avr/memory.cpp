// The memory instructions. Addresses are added into the first word, and only
// the low 16 bits of each word reach the wire.
#include <algorithm>
#include <cstdio>

#include "adapter/adapter.h"
#include "avr/avr.h"
#include "core/activity.h"
#include "devices/chip_lists.h"
#include "platform/texts.h"

namespace ostrel::avr {

namespace {
void Send(Programmer& p, int32_t first, int32_t second) {
    p.state.txWord = first;
    adapter::TransferWord(p);
    p.state.txWord = second;
    adapter::TransferWord(p);
}

void AddressedInstruction(Programmer& p, int32_t opcode, int32_t data) {
    const int32_t a = p.state.memAddress;
    Send(p, opcode + (a >> 8), (a << 8) + data);
}

// The tick counter reads whole milliseconds, so a wait of n ticks may be up
// to one millisecond short: one more makes sure the full time has passed.
constexpr uint32_t kTickMarginMs = 1;
// The wait after the chip erase instruction that the system has always made.
constexpr uint32_t kSystemChipEraseMs = 40;
}  // namespace

WriteWaits WriteWaitsInUse(const Programmer& p) {
    devices::WriteTimes t{};
    // The signature the chip itself answered: the device line may have been
    // chosen by hand for another chip.
    if (!devices::WriteTimesOf(p.state.signatureHex.view(), &t)) {
        return {kLongestEepromWriteMs, kLongestFlashByteWriteMs, kLongestPageWriteMs,
                kLongestChipEraseMs};
    }
    auto ms = [](uint32_t us) { return (us + 999) / 1000; };
    return {ms(t.eepromUs), ms(t.flashUs), ms(t.flashUs), ms(t.chipEraseUs)};
}

void ReadFlashLow(Programmer& p) {
    AddressedInstruction(p, 0x2000, 0);
}
void ReadFlashHigh(Programmer& p) {
    AddressedInstruction(p, 0x2800, 0);
}
void WriteFlashLow(Programmer& p) {
    AddressedInstruction(p, 0x4000, p.state.memData);
}
void WriteFlashHigh(Programmer& p) {
    AddressedInstruction(p, 0x4800, p.state.memData);
}
void ReadEeprom(Programmer& p) {
    AddressedInstruction(p, 0xA000, 0);
}
void WriteEeprom(Programmer& p) {
    AddressedInstruction(p, 0xC000, p.state.memData);
}

void WriteFlashPage(Programmer& p, int32_t page, PageProbe probe) {
    const int32_t n = p.state.pageShift;
    // The page address is page << n, split over the second and third byte.
    const int32_t first = n <= 8 ? (page >> (8 - n)) : (page << (n - 8));
    Send(p, 0x4C00 + first, page << (n + 8));
    // The chips take from 4.5 ms (most) to 56 ms (ATmega103) for a page, and
    // a page load before the end is lost. Every byte of the page reads a
    // polling value until then; a byte whose own value is none of those ends
    // the wait as soon as it reads anything else.
    const uint32_t limit = WriteWaitsInUse(p).pageMs + kTickMarginMs;
    if (probe.wordAddress < 0) {
        adapter::WaitMs(p, limit);
        return;
    }
    ProgrammerState& s = p.state;
    const int32_t address = s.memAddress;
    const uint32_t t0 = p.clock.TickMs();
    s.memAddress = probe.wordAddress;
    do {
        (probe.highByte ? ReadFlashHigh : ReadFlashLow)(p);
    } while (IsFlashPollingValue(ReadByte(p)) &&
             static_cast<uint32_t>(p.clock.TickMs() - t0) < limit);
    s.memAddress = address;
}

void ChipErase(Programmer& p) {
    Send(p, 0xAC80, 0xAC80);
    // An erased flash reads FF, which is also what most chips read while
    // they erase, so the end cannot be polled: wait the chip's erase time
    // (from 4 ms to the ATmega103's 112 ms), and never less than the
    // system's own 40 ms, which the chips that came after it were made to take.
    adapter::WaitMs(
        p, std::max<uint32_t>(kSystemChipEraseMs, WriteWaitsInUse(p).chipEraseMs + kTickMarginMs));
}

void SendWordTwice(Programmer& p, uint16_t word) {
    Send(p, word, word);
}

void ReadLockBits(Programmer& p) {
    ProgrammerState& s = p.state;
    s.txWord = 0x5800;
    s.activityText.Format(texts::kOutFormat, 0x5800);
    core::ShowActivity(p);
    adapter::WaitMs(p, 200);
    adapter::TransferWord(p);
    adapter::TransferWord(p);
    s.activityText.Format(texts::kInFormat, s.rxShift);
    core::ShowActivity(p);
    adapter::WaitMs(p, 200);
    s.lockBitsAnswer = s.rxShift;
}

void WriteRcenBit(Programmer& p, int bit) {
    ProgrammerState& s = p.state;
    s.txWord = bit ? 0xACBF : 0xACBE;
    s.activityText.Format(texts::kOutFormat, static_cast<unsigned>(s.txWord));
    core::ShowActivity(p);
    adapter::WaitMs(p, 200);
    if (bit) {
        adapter::TransferWord(p);
        adapter::TransferWord(p);
    } else {
        adapter::TransferWord(p);
        adapter::WaitMs(p, 20);
        adapter::TransferWord(p);
        adapter::WaitMs(p, 20);
    }
}

int EraseEepromBytes(Programmer& p) {
    ProgrammerState& s = p.state;
    for (s.memAddress = 0; s.memAddress < s.eepromBytes; ++s.memAddress) {
        // The system shows nothing while it erases; the window still takes
        // input (a stop) every 16 bytes.
        if ((s.memAddress & 0x0F) == 0)
            core::ServiceWindow(p);
        ReadEeprom(p);
        if (ReadByte(p) == 0xFF)
            continue;
        s.memData = 0xFF;
        WriteEeprom(p);
        if (!PollUntilWritten(p, WrittenByte::Eeprom)) {
            s.errorText.Format(texts::kErrorAtAdrFormat, static_cast<unsigned>(s.memAddress));
            return 1;
        }
    }
    return 0;
}

bool IsEepromPollingValue(int value) {
    return value == 0xFF || value == 0x00 || value == 0x7F || value == 0x80;
}

bool IsFlashPollingValue(int value) {
    return value == 0xFF || value == 0x00 || value == 0x7F;
}

bool PollUntilWritten(Programmer& p, WrittenByte what) {
    ProgrammerState& s = p.state;
    const bool eeprom = what == WrittenByte::Eeprom;
    void (*read)(Programmer&) =
        eeprom ? ReadEeprom : (what == WrittenByte::FlashHigh ? ReadFlashHigh : ReadFlashLow);
    if (eeprom ? IsEepromPollingValue(s.memData) : IsFlashPollingValue(s.memData)) {
        const WriteWaits waits = WriteWaitsInUse(p);
        adapter::WaitMs(p, (eeprom ? waits.eepromMs : waits.flashByteMs) + kTickMarginMs);
    }
    const int64_t t0 = p.clock.Seconds();
    read(p);
    while (ReadByte(p) != s.memData) {
        if (p.clock.Seconds() >= t0 + 2)
            return false;
        read(p);
    }
    return true;
}

}  // namespace ostrel::avr
