// The AVR serial programming protocol: reset into programming mode and the
// 0x53 echo, connecting and identifying the chip, and the memory instructions.
// Every instruction is four bytes sent as two 16-bit words (adapter::TransferWord).
#pragma once

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "adapter/adapter.h"
#include "core/programmer.h"
#include "devices/chip_lists.h"
#include "devices/fuse_tables.h"

namespace ostrel::avr {

// --- programming enable and synchronisation ---
// Calibrates the delay unit and gives the target a short RESET pulse, ending
// with RESET low. 0, or 1 when the serial port cannot be opened.
int EnterProgrammingMode(Programmer& p);
// The same with a 200 ms RESET pulse and without calibration.
int LongResetPulse(Programmer& p);
// Sends AC 53 00 00; returns the third answer byte (0x53 when in step) and sets echoWord.
int ProgrammingEnable(Programmer& p);
// Up to 35 enable attempts with one extra SCK pulse after each miss; returns the last echo byte.
int Synchronise(Programmer& p);

// --- connect and identify ---
// Reads the three signature bytes, builds signatureHex and signatureReport,
// looks the chip up in the device file; returns partFamily.
int ReadSignature(Programmer& p);
// 0 connected, 1 failure (errorText says why), 2 the chip is locked. With a
// device chosen by hand (manualDevice) that device must be in the device
// file: otherwise 1 before anything is sent to the chip.
int Connect(Programmer& p);
// Reads the three signature bytes again and compares them with those the
// last ReadSignature found, changing nothing else: false when the chip no
// longer answers as it did (a cable pulled, power lost), so that a command
// that only read or erased does not call a page of FF bytes a success.
bool StillAnswers(Programmer& p);

// --- fuse and lock bytes ---
// Sends one four-byte instruction and returns the byte clocked in with its
// fourth byte (a read instruction's answer).
uint8_t SendInstruction(Programmer& p, uint8_t b1, uint8_t b2, uint8_t b3, uint8_t b4);
// Reads one fuse or lock byte with the chip's read instruction.
uint8_t ReadFuseByte(Programmer& p, const devices::FuseChip& chip, devices::FuseByte byte);
// Writes one fuse or lock byte with the chip's write instruction and waits
// out the write (the data sheets' 4.5 ms, rounded up).
void WriteFuseByte(Programmer& p, const devices::FuseChip& chip, devices::FuseByte byte,
                   uint8_t value);
// StillAnswers after the fuse and lock bytes were written, lock holding what
// was read back of the lock byte: a chip that the lock byte put in lock mode
// 3 and that hides its signature then (the classic chips) answers 00 01 02.
bool StillAnswersAfterFuses(Programmer& p, const devices::FuseChip& chip, uint8_t lock);
// The guard's verdict on a fuse or lock byte write, and where the write slows
// the chip down, the speed that keeps up with its new clock on this port
// (Speed Auto: that it will take it).
devices::GuardResult JudgeFuseWrite(Programmer& p, const devices::FuseChip* chip,
                                    devices::FuseByte byte, uint8_t oldValue, uint8_t newValue);

// --- memory instructions (operands in memAddress, memData) ---
// Chips of up to 64K flash words take the whole word address in their
// instructions; those above (ATmega2560, 2561) take bit 16 from Load
// Extended Address (4D 00 ext 00), which they keep until it is sent again.
inline constexpr int32_t kWordsWithoutExtendedAddress = 0x10000;
bool NeedsExtendedAddress(const Programmer& p);
// The one place Load Extended Address is sent: for a chip above 64K words,
// when the byte for `wordAddress` is not the one last sent in this run
// (extendedAddress; -1 after programming enable and at a run's start).
// The flash reads and WriteFlashPage call it; the engine calls it before the
// first page load of each page.
void SelectExtendedAddress(Programmer& p, int32_t wordAddress);
// Flash instructions take a word address; the byte read is rxShift & 0xFF.
void ReadFlashLow(Programmer& p);
void ReadFlashHigh(Programmer& p);
void WriteFlashLow(Programmer& p);
void WriteFlashHigh(Programmer& p);
void ReadEeprom(Programmer& p);
void WriteEeprom(Programmer& p);
// The write instructions (and WriteFlashPage's and ChipErase's) are queued
// on a streaming port: they go out with the next read, wait or flush.

// --- reading many bytes ---
// On a streaming port every answer that is needed at once costs a USB round
// trip, so a caller that reads a range queues its reads and takes the
// answers afterwards, at most adapter::AnswerWindow at a time: on the other
// ports that window is 1, and the reads go out exactly as one by one.
enum class Cell { FlashLow, FlashHigh, Eeprom };
// Queues the read of one byte: flash at a word address, EEPROM at a byte
// address. memAddress is not touched.
uint32_t QueueRead(Programmer& p, Cell cell, int32_t address);
// The byte a queued read answered (also left in rxShift); sends the queue
// when the read has not gone out yet.
int ReadByteOf(Programmer& p, uint32_t ticket);

// Reads of a run of bytes, queued a window ahead of their use. Byte(i) gives
// read i of the run; `at(j)` names read j as a std::pair<Cell, int32_t>
// (cell, address). Reading i queues reads i to i + AnswerWindow - 1 when they
// are not queued yet, and once half of them are taken the next window, so a
// streaming port always has reads in flight; a caller that decides after each
// byte (and may stop there) still sends its reads one by one on an immediate
// port.
class ReadAhead {
  public:
    explicit ReadAhead(Programmer& p) : p_(p), window_(adapter::AnswerWindow(p)) {}

    template <class At>
    int Byte(int i, int count, At at) {
        const int end = start_ + static_cast<int>(tickets_.size());
        if (i < start_ || i >= end) {
            start_ = i;
            tickets_.clear();
            for (int j = i; j < std::min(count, i + window_); ++j) {
                const std::pair<Cell, int32_t> read = at(j);
                tickets_.push_back(QueueRead(p_, read.first, read.second));
            }
            if (tickets_.empty()) {
                const std::pair<Cell, int32_t> read = at(i);
                tickets_.push_back(QueueRead(p_, read.first, read.second));
            }
        } else if (window_ > 1 && i >= end - window_ / 2 && end < count) {
            // Half of the window is used: the next one is queued now, so
            // that its reads are in flight while these answers are taken
            // and the port never waits a round trip with nothing to send.
            tickets_.erase(tickets_.begin(), tickets_.begin() + (i - start_));
            start_ = i;
            for (int j = end; j < std::min(count, end + window_); ++j) {
                const std::pair<Cell, int32_t> read = at(j);
                tickets_.push_back(QueueRead(p_, read.first, read.second));
            }
        }
        return ReadByteOf(p_, tickets_[static_cast<std::size_t>(i - start_)]);
    }

  private:
    Programmer& p_;
    int window_;
    int start_ = 0;
    std::vector<uint32_t> tickets_;
};
// A byte of the page being burnt whose loaded value no busy flash reads
// (IsFlashPollingValue false): reading it back tells when the page is done.
struct PageProbe {
    int32_t wordAddress = -1;  // -1: no such byte was loaded
    bool highByte = false;
};
// Burns the chip's page buffer into flash page `page` (page address page <<
// pageShift) and returns when the page write is over: as soon as the probe
// reads a value that no busy flash reads, at the latest after the longest
// page write time; without a probe after that time.
void WriteFlashPage(Programmer& p, int32_t page, PageProbe probe = {});
// Erases flash and EEPROM and clears the lock bits; waits the longest chip
// erase time.
void ChipErase(Programmer& p);
// Reads lock (and RCEN) bits into lockBitsAnswer, showing the words on the activity line.
void ReadLockBits(Programmer& p);
// Writes the RCEN bit: 1 sends AC BF AC BF, 0 sends AC BE AC BE.
void WriteRcenBit(Programmer& p, int bit);
// Sends the word twice as one instruction (w w).
void SendWordTwice(Programmer& p, uint16_t word);
// Erases the EEPROM by writing FF to every byte that is not FF, each polled
// as PollUntilWritten does. 0, or 1 with errorText.
int EraseEepromBytes(Programmer& p);

// --- lock bits ---
// The lock family of the chip in use: from the signature of its device line,
// or the signature it answered when no line was found.
const devices::LockFamily& LockFamilyInUse(const Programmer& p);
// Sends the family's Write Lock Bits for lock mode 3 (LB1 and LB2
// programmed), waits for the write and checks that it took: Read Lock Bits
// where the chip has it, otherwise the signature, which a locked classic chip
// answers as 00 01 02. 0, or 1 with errorText naming what was sent, what was
// read and what lock mode 3 reads.
int LockMode3(Programmer& p);

// What a command needs of the chip's memories, and what its lock bits allow.
enum class ChipAccess { Read, Program };
enum class LockLevel {
    Open,             // no lock mode, or one the chip cannot tell
    NoProgramming,    // lock mode 2: LB1 programmed
    NoReadingEither,  // lock mode 3: LB1 and LB2 programmed
};
// The lock level of the connected chip: a chip that answered its signature as
// 00 01 02 is a classic chip in lock mode 3; otherwise Read Lock Bits, where
// the family of the signature it answered (or, for a signature the program
// does not know, of the device in use) has it. Chips without it cannot show
// lock mode 2 (Open).
LockLevel ReadLockLevel(Programmer& p);
// 0 when the lock bits allow what a command needs; 1 with errorText naming
// the lock mode, what it forbids and how to remove it. A locked chip answers
// reads with the bytes clocked in and ignores writes, so going on would save a
// file that is no copy of the chip or fail at the first byte for no clear reason.
int CheckLockAllows(Programmer& p, ChipAccess access);

// --- write times ---
// The longest times the data sheets give, over every chip Ostrel knows (the
// simulator's table and the ATmega103), for one EEPROM byte (AT90S2323,
// 2343, 4414, 4433, 4434, 8535, ATtiny12, 22), one flash byte of the chips
// that write flash byte by byte (the same chips), one flash page (ATmega103;
// ATmega163 16 ms) and a chip erase (ATmega103; ATmega48 45 ms, ATmega163
// 32 ms). Where the program cannot see the end of a write, it waits the
// chip's own time when the signature it answered is one it knows
// (`devices::WriteTimesOf`), and these otherwise.
inline constexpr uint32_t kLongestEepromWriteMs = 20;
inline constexpr uint32_t kLongestFlashByteWriteMs = 20;
inline constexpr uint32_t kLongestPageWriteMs = 56;
inline constexpr uint32_t kLongestChipEraseMs = 112;
// The times to wait for the chip in use, in whole milliseconds: its own,
// from the signature it answered, or the longest above for a chip the
// program does not know.
struct WriteWaits {
    uint32_t eepromMs;
    uint32_t flashByteMs;
    uint32_t pageMs;
    uint32_t chipEraseMs;
};
WriteWaits WriteWaitsInUse(const Programmer& p);
// The signature the chip answered is one whose write times the program knows.
bool WriteTimesKnown(const Programmer& p);
// Values that a location reads on one chip or another while it is being
// written (EEPROM: 00 then FF, 80 then 7F, or FF; flash: FF, 7F or 00).
// Reading such a value back does not show that the write is over.
bool IsEepromPollingValue(int value);
bool IsFlashPollingValue(int value);

enum class WrittenByte { Eeprom, FlashLow, FlashHigh };
// After a write of memData to memAddress: reads the byte back until it holds
// memData. Other values show the write still under way, so polling ends as
// soon as the chip is done; but when memData is itself a polling value, a
// busy chip could read it too, so the chip's write time for that memory
// (WriteWaitsInUse) passes first. Gives up when the seconds clock has moved on by two (between
// one and two seconds, fifty times the longest write). True when the value
// arrived; the last byte read stays in rxShift.
bool PollUntilWritten(Programmer& p, WrittenByte what);

// The byte of the last read instruction.
inline int ReadByte(const Programmer& p) {
    return static_cast<int>(p.state.rxShift & 0xFF);
}

}  // namespace ostrel::avr
