// The memory instructions. Addresses are added into the first word, and only
// the low 16 bits of each word reach the wire.
#include <cstdio>

#include "adapter/adapter.h"
#include "avr/avr.h"
#include "core/activity.h"
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
}  // namespace

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

void WriteFlashPage(Programmer& p, int32_t page) {
    const int32_t n = p.state.pageShift;
    // The page address is page << n, split over the second and third byte.
    const int32_t first = n <= 8 ? (page >> (8 - n)) : (page << (n - 8));
    Send(p, 0x4C00 + first, page << (n + 8));
    // Page write time of the chips (4.5 ms and less) with a wide margin; no polling.
    adapter::WaitMs(p, 40);
}

void ChipErase(Programmer& p) {
    Send(p, 0xAC80, 0xAC80);
    adapter::WaitMs(p, 40);
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
        ReadEeprom(p);
        if (ReadByte(p) == 0xFF)
            continue;
        s.memData = 0xFF;
        WriteEeprom(p);
        adapter::WaitMs(p, 10);
        ReadEeprom(p);
        if (ReadByte(p) != 0xFF) {
            s.errorText.Format(texts::kErrorAtAdrFormat, static_cast<unsigned>(s.memAddress));
            return 1;
        }
    }
    return 0;
}

}  // namespace ostrel::avr
