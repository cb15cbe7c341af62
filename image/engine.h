// The program-and-verify engine: streams the current file's records to the
// chip (or compares the chip with them), byte by byte or page by page, with
// no image of the memory held in between.
#pragma once

#include "core/programmer.h"

namespace ostrel::image {

// How many mismatch addresses a summarised verify names.
inline constexpr std::size_t kMismatchesNamed = 8;

// Result of a run.
inline constexpr int kRunOk = 0;         // programmed, or compared without a reported mismatch
inline constexpr int kRunFailed = 1;     // errorText says why
inline constexpr int kRunCancelled = 2;  // the user said Cancel at a verify mismatch

// Programs (verifyMode 0) or verifies (verifyMode 1) the current file:
// EEPROM data when eepromFile is set, flash data otherwise. The input file is
// closed on every path.
int RunEngine(Programmer& p);

}  // namespace ostrel::image
