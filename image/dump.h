// The readback dump readback.txt as a source of Write and Verify: it is the
// whole chip, flash and EEPROM, as Read wrote it. Its flash section is
// judged whole before the chip is touched (CheckDumpFile) and turned into
// the temporary Intel HEX file hex.tmp in the start directory
// (ConvertDumpToHex) for the engine; both read it through one reader, so
// they refuse the same dumps.
#pragma once

#include <string>

#include "core/programmer.h"
#include "image/hex_check.h"

namespace ostrel::image {

// True when the file named by currentFileName is a readback dump: its name
// without the folder is any one character followed by "eadback.txt".
bool IsDumpFile(const Programmer& p);

// Turns the flash section of the dump named by currentFileName into hex.tmp
// in the start directory (which becomes the current directory), one record
// per flash line. The dump is judged as CheckDumpFile judges its layout and
// refused the same way: 0 on success; 1 with errorText "Cannot open input
// file.\n", "Cannot open output file.\n" or "Wrong input file!\n", followed
// by a line of ours naming the file, the line and the fault. Flash above
// 64 KB gets an extended linear address record before each further 64 KB.
// hex.tmp is written whole or not at all.
// `firstFlashLine`, when given, receives the number of the dump line that
// became hex.tmp's line 1.
int ConvertDumpToHex(Programmer& p, int* firstFlashLine = nullptr);

// Checks the readback dump at `path` exactly as ConvertDumpToHex reads it,
// and as a whole chip: up to three lines before the flash line of address
// 0000 (00000 for a chip above 64K words); flash lines of an address as wide
// as the first one's (at most 1FFF8), ':', eight blanks each followed
// by four digits (trailing blanks allowed), each address 8 words past the
// one before; an empty line, the "EEPROM-Memory:" heading and the EEPROM
// lines (address, ':', up to eight bytes, each address 8 past the one
// before). A dump that ends before its EEPROM section, or whose flash and
// EEPROM sizes together are those of no chip in ostrel.ini, has been cut
// short, at a line end or elsewhere. Problems are always Refused.
FileCheck CheckDumpFile(Programmer& p, const std::string& path);

}  // namespace ostrel::image
