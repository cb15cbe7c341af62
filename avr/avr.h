// The AVR serial programming protocol: reset into programming mode and the
// 0x53 echo, connecting and identifying the chip, and the memory instructions.
// Every instruction is four bytes sent as two 16-bit words (adapter::TransferWord).
#pragma once

#include <cstdint>

#include "core/programmer.h"
#include "devices/chip_lists.h"

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

// --- memory instructions (operands in memAddress, memData) ---
// Flash instructions take a word address; the byte read is rxShift & 0xFF.
void ReadFlashLow(Programmer& p);
void ReadFlashHigh(Programmer& p);
void WriteFlashLow(Programmer& p);
void WriteFlashHigh(Programmer& p);
void ReadEeprom(Programmer& p);
void WriteEeprom(Programmer& p);
// Burns the chip's page buffer into flash page `page` (page address page << pageShift); waits 40
// ms.
void WriteFlashPage(Programmer& p, int32_t page);
// Erases flash and EEPROM and clears the lock bits; waits 40 ms.
void ChipErase(Programmer& p);
// Reads lock (and RCEN) bits into lockBitsAnswer, showing the words on the activity line.
void ReadLockBits(Programmer& p);
// Writes the RCEN bit: 1 sends AC BF AC BF, 0 sends AC BE AC BE.
void WriteRcenBit(Programmer& p, int bit);
// Sends the word twice as one instruction (w w).
void SendWordTwice(Programmer& p, uint16_t word);
// Erases the EEPROM by writing FF to every byte that is not FF. 0, or 1 with errorText.
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

// The byte of the last read instruction.
inline int ReadByte(const Programmer& p) {
    return static_cast<int>(p.state.rxShift & 0xFF);
}

}  // namespace ostrel::avr
