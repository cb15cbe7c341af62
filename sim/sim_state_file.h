// The simulated chip's memories on disk, so that consecutive runs of the
// program see the same chip.
//
// The file is small and binary, all numbers little endian:
//   "OSTRLSIM"  magic, 8 bytes
//   version     1 byte: 3 for a settled chip; 4 while a command is changing
//               it (the memories as they were at its first change), so a
//               program ended on the way (a kill, a power cut) leaves a file
//               that says the chip's contents are uncertain. Files of the
//               earlier versions, 1 (settled) and 2 (changing), still load;
//               they hold a stand-in fuse byte for the AT90S chips with fuse
//               bits and the ATtiny22, which such a chip of theirs loads with
//               its factory fuses in place of
//   name        1 length byte (1..31) and the chip's name
//   sizes       flash bytes and EEPROM bytes, 4 bytes each
//   lock, fuses 1 + 3 bytes (lock byte; low, high, extended fuse)
//   flash       the flash image
//   eeprom      the EEPROM image
//   checksum    CRC-32 of everything before it, 4 bytes
// It is written to a temporary file of this process beside it and renamed
// into place, so a run that stops half-way never leaves a half-written
// state behind, and two programs never write the same temporary file. An
// empty file is no state yet (the lock on a state file creates it empty).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/file_system.h"
#include "sim/avr_target.h"
#include "sim/chip_table.h"

namespace ostrel::sim {

// Name of the state file in the start directory.
inline constexpr std::string_view kStateFileName = "ostrel-sim.state";

// The state file inside `directory` (the directory itself when empty: the
// name alone, relative to the current directory).
std::string DefaultStatePath(std::string_view directory);

struct StateLoad {
    ChipMemory memory;
    // The file existed and was used.
    bool fromFile = false;
    // One line telling why a file that exists could not be used; or a line
    // each saying that the contents are uncertain because a command was cut
    // off, and that the fuses were set to the factory values; empty otherwise.
    std::string warning;
    // The file was saved while a command was changing the chip and that
    // command never ended: the memories are as they were at its first change.
    bool cutOff = false;
    // The file is of an earlier version that held no real fuses for this
    // chip: they are the factory values now, and the file is to be written
    // again in this version's form.
    bool factoryFuses = false;
};

// Reads the state of `chip` from `path`. A missing file gives a fresh erased
// chip without a warning; an unreadable, damaged or foreign file gives a
// fresh chip and a warning.
StateLoad LoadChipState(const std::string& path, const ChipInfo& chip);

// Writes the state; false with a one-line reason in *error when it fails.
// With `lock` (a lock held on the file at `path`), the new file is locked
// before it takes the old one's place, and the lock held moves over to it.
// Only this process's own temporary file is ever removed.
// With `changing`, the file says that a command is changing the chip (see
// the format above); a later save without it settles the chip again.
bool SaveChipState(const std::string& path, const ChipInfo& chip, const ChipMemory& memory,
                   std::string* error, std::optional<FileLock>* lock = nullptr,
                   bool changing = false);

// The file's bytes for a chip and its memory.
std::string EncodeChipState(const ChipInfo& chip, const ChipMemory& memory, bool changing = false);
// Checks and reads a file's bytes; false with the reason in *reason
// ("is truncated", "fails its checksum", ...) when they cannot be used.
// *changing, when given, tells a file saved while a command changed the chip.
// A file of an earlier version whose fuse byte for this chip was no real one
// gives the chip's factory fuses (the rest as the file holds it), and
// *factoryFuses, when given, says so.
bool DecodeChipState(std::string_view bytes, const ChipInfo& chip, ChipMemory* memory,
                     std::string* reason, bool* changing = nullptr, bool* factoryFuses = nullptr);

// The warning for a chip whose last command was cut off.
std::string CutOffWarning(const std::string& path);
// The note for a chip given its factory fuses in place of an earlier
// version's stand-in.
std::string FactoryFusesWarning(const std::string& path, const ChipInfo& chip);

// CRC-32 (the polynomial of zip and PNG), computed by zlib.
uint32_t Crc32(std::string_view bytes);

}  // namespace ostrel::sim
