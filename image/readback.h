// The programmer's output files: the readable dump readback.txt (flash and
// EEPROM), the flash image readback.hex, and the snapshot and difference
// files that the Write command keeps beside the file it wrote.
//
// The readback writers read the connected chip straight into the file, one
// read instruction per byte; no image of the memory is held.
#pragma once

#include <functional>
#include <string_view>

#include "core/programmer.h"

namespace ostrel::image {

inline constexpr std::string_view kDumpName = "readback.txt";
inline constexpr std::string_view kReadbackHexName = "readback.hex";

// The file WriteDump (`defaultName` kDumpName) or WriteReadbackHex
// (kReadbackHexName) writes: readbackFile when one is named, else the
// default name in the start directory.
std::string ReadbackPath(const Programmer& p, std::string_view defaultName);

// Asked once the whole chip has been read, before the new file takes the
// place of the earlier one: false (with errorText set) keeps the earlier
// file and fails the write (a chip that stopped answering reads as FF).
using BeforeReplacing = std::function<bool()>;

// Reads the whole flash and EEPROM into readback.txt in the start directory
// (or readbackFile).
// 0 written; 1 when the file cannot be created or written, with errorText
// naming it (nothing is read from the chip when it cannot be created), or
// when `beforeReplacing` says no. The file is replaced whole or not at all.
int WriteDump(Programmer& p, const BeforeReplacing& beforeReplacing = nullptr);

// Reads the whole flash into readback.hex in the start directory, one
// record per 8 words and an end record. Above 64 KB an extended linear
// address record (type 04) starts each further 64 KB. Results as WriteDump.
int WriteReadbackHex(Programmer& p, const BeforeReplacing& beforeReplacing = nullptr);

// Results of SaveSnapshot and WriteDifferenceFile.
inline constexpr int kFilesOk = 0;
inline constexpr int kInputFileFailed = 1;   // a file to read cannot be opened
inline constexpr int kOutputFileFailed = 2;  // the file to write cannot be created or written

// Copies the current file line for line into the snapshot file (extension
// "tmp" in place of the current file's, same folder).
int SaveSnapshot(Programmer& p);

// Writes the difference file (extension "dif"): every line of the current
// file that differs from the line with the same number in the snapshot
// file, then the end record ":00000001FF". Lines are compared in pieces of
// at most 79 characters; each piece that differs is written.
int WriteDifferenceFile(Programmer& p);

}  // namespace ostrel::image
