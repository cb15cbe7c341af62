// The memory instructions. A flash word address carries 16 bits in the
// instruction itself; bit 16 (chips above 64K words) goes to the chip in a
// Load Extended Address instruction of its own, from SelectExtendedAddress.
#include <algorithm>
#include <cstdio>

#include "adapter/adapter.h"
#include "avr/avr.h"
#include "core/activity.h"
#include "devices/chip_lists.h"
#include "platform/texts.h"

namespace ostrel::avr {

namespace {
// An instruction whose answer nobody reads: queued on a streaming port.
void Queue(Programmer& p, int32_t first, int32_t second) {
    adapter::QueueInstruction(p, first, second);
}

// An instruction whose answer the caller takes from rxShift at once: on a
// streaming port it goes out now, one round trip.
void Send(Programmer& p, int32_t first, int32_t second) {
    p.state.rxShift = adapter::AnswerOf(p, adapter::QueueInstruction(p, first, second));
}

// The two words of an instruction with a 16-bit address: its high byte
// beside the opcode, its low byte before the data.
int32_t FirstWord(int32_t opcode, int32_t address) {
    return opcode + ((address >> 8) & 0xFF);
}
int32_t SecondWord(int32_t address, int32_t data) {
    return ((address & 0xFF) << 8) + (data & 0xFF);
}

void AddressedInstruction(Programmer& p, int32_t opcode, int32_t data) {
    const int32_t a = p.state.memAddress;
    Send(p, FirstWord(opcode, a), SecondWord(a, data));
}

void AddressedWrite(Programmer& p, int32_t opcode) {
    p.chipChangeSent = true;
    const int32_t a = p.state.memAddress;
    Queue(p, FirstWord(opcode, a), SecondWord(a, p.state.memData));
}

int32_t ReadOpcode(Cell cell) {
    switch (cell) {
        case Cell::FlashHigh:
            return 0x2800;
        case Cell::Eeprom:
            return 0xA000;
        case Cell::FlashLow:
            break;
    }
    return 0x2000;
}

// The tick counter reads whole milliseconds, so a wait of n ticks may be up
// to one millisecond short: one more makes sure the full time has passed.
constexpr uint32_t kTickMarginMs = 1;
// The wait after the chip erase instruction that the system has always made.
constexpr uint32_t kSystemChipEraseMs = 40;
}  // namespace

bool WriteTimesKnown(const Programmer& p) {
    devices::WriteTimes t{};
    return devices::WriteTimesOf(p.state.signatureHex.view(), &t);
}

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

namespace {
// The page write time of the chip in use (4.5 ms on most chips), for a wait
// the adapter's state clock times instead of whole ticks. That clock is the
// adapter's own oscillator, not the host's, so a thirty-second of the time
// (and 50 us) is added as margin: a page cut short is a page lost.
uint32_t PageWriteUs(const Programmer& p) {
    devices::WriteTimes t{};
    if (!devices::WriteTimesOf(p.state.signatureHex.view(), &t))
        return kLongestPageWriteMs * 1000;
    return t.flashUs + t.flashUs / 32 + 50;
}
}  // namespace

bool NeedsExtendedAddress(const Programmer& p) {
    return p.state.flashWords > kWordsWithoutExtendedAddress;
}

void SelectExtendedAddress(Programmer& p, int32_t wordAddress) {
    ProgrammerState& s = p.state;
    if (!NeedsExtendedAddress(p))
        return;
    // The chip keeps the byte until it is sent again, and nobody knows what
    // it holds after programming enable: it goes out before the first flash
    // read, page load or page write of a run (extendedAddress -1) and again
    // whenever bit 16 changes, never only at the 64K-word boundary (a file
    // with a hole across it would land in the wrong half).
    const int32_t ext = (wordAddress >> 16) & 0xFF;
    if (ext == s.extendedAddress)
        return;
    Queue(p, 0x4D00, ext << 8);
    s.extendedAddress = ext;
}

void ReadFlashLow(Programmer& p) {
    SelectExtendedAddress(p, p.state.memAddress);
    AddressedInstruction(p, 0x2000, 0);
}
void ReadFlashHigh(Programmer& p) {
    SelectExtendedAddress(p, p.state.memAddress);
    AddressedInstruction(p, 0x2800, 0);
}
void WriteFlashLow(Programmer& p) {
    AddressedWrite(p, 0x4000);
}
void WriteFlashHigh(Programmer& p) {
    AddressedWrite(p, 0x4800);
}
void ReadEeprom(Programmer& p) {
    AddressedInstruction(p, 0xA000, 0);
}
void WriteEeprom(Programmer& p) {
    AddressedWrite(p, 0xC000);
}

uint32_t QueueRead(Programmer& p, Cell cell, int32_t address) {
    if (cell != Cell::Eeprom)
        SelectExtendedAddress(p, address);
    return adapter::QueueInstruction(p, FirstWord(ReadOpcode(cell), address),
                                     SecondWord(address, 0));
}

int ReadByteOf(Programmer& p, uint32_t ticket) {
    const uint32_t answer = adapter::AnswerOf(p, ticket);
    p.state.rxShift = answer;
    return static_cast<int>(answer & 0xFF);
}

void WriteFlashPage(Programmer& p, int32_t page, PageProbe probe) {
    // The page's word address is page << pageShift: bit 16 in the extended
    // address byte, the rest split over the second and third byte.
    const int32_t address = page << p.state.pageShift;
    p.chipChangeSent = true;
    SelectExtendedAddress(p, address);
    Queue(p, FirstWord(0x4C00, address), SecondWord(address, 0));
    // The chips take from 4.5 ms (most) to 56 ms (ATmega103) for a page, and
    // a page load before the end is lost. Every byte of the page reads a
    // polling value until then; a byte whose own value is none of those ends
    // the wait as soon as it reads anything else. On a streaming port each
    // poll is a USB round trip of its own, about a millisecond: for a chip
    // whose page time is known, waiting that time out costs none. A port
    // that keeps transfers in flight times it in idle states, which need no
    // tick of margin and let the next page's loads follow without a round trip.
    const uint32_t limit = WriteWaitsInUse(p).pageMs + kTickMarginMs;
    if (probe.wordAddress < 0 || (adapter::Streaming(p) && WriteTimesKnown(p))) {
        if (!adapter::QueueIdleUs(p, PageWriteUs(p)))
            adapter::WaitMs(p, limit);
        return;
    }
    ProgrammerState& s = p.state;
    const int32_t kept = s.memAddress;
    const uint32_t t0 = p.clock.TickMs();
    s.memAddress = probe.wordAddress;
    do {
        (probe.highByte ? ReadFlashHigh : ReadFlashLow)(p);
    } while (IsFlashPollingValue(ReadByte(p)) &&
             static_cast<uint32_t>(p.clock.TickMs() - t0) < limit);
    s.memAddress = kept;
}

void ChipErase(Programmer& p) {
    p.chipChangeSent = true;
    Queue(p, 0xAC80, 0xAC80);
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
    p.chipChangeSent = true;
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
    ReadAhead reads(p);
    auto eeprom = [](int a) { return std::pair<Cell, int32_t>{Cell::Eeprom, a}; };
    for (s.memAddress = 0; s.memAddress < s.eepromBytes; ++s.memAddress) {
        // The system shows nothing while it erases; the window still takes
        // input (a stop) every 16 bytes.
        if ((s.memAddress & 0x0F) == 0)
            core::ServiceWindow(p);
        if (reads.Byte(s.memAddress, s.eepromBytes, eeprom) == 0xFF)
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
    // A busy chip could read the value itself, so its write time passes
    // first. On a streaming port, where each read is a USB round trip, so it
    // does whenever the chip's own time is known: one read then shows the
    // value.
    if ((eeprom ? IsEepromPollingValue(s.memData) : IsFlashPollingValue(s.memData)) ||
        (adapter::Streaming(p) && WriteTimesKnown(p))) {
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
