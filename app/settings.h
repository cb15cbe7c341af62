// The settings file "ostrel.cfg": port, speed, device-selection mode, the
// last data file and whether to offer it again, each at a fixed byte offset.
// Every writer opens the file, writes its few bytes at its place and closes
// it again, leaving every other byte as it was. Line feeds are stored as
// CR LF and read back as one line feed.
//
//   offset  0  port name, 4 characters, no terminator; "PORT": see offset 303
//   offset  6  speed '0'..'3'
//   offset  7  device-selection mode, byte 0 or 1
//   offset  8  our addition: '1' keeps FTDI adapters on their modem lines
//              (Options > "Modem Lines Only"); anything else: bit-bang mode
//   offset  9  our addition: the GPIO lines "CHIP:SCK,MOSI,RESET,MISO" with
//              the chip as a number, at most 18 characters, a zero byte
//              after a shorter one; missing or unreadable: the usual wiring
//   offset 27  CR LF
//   offset 29  reopen offer '1' / '0'
//   offset 30  CR LF
//   offset 32  path of the data file, a zero byte, 20 blanks (never reaching offset 303)
//   offset 303 our addition: a port name of none of the fixed items ("COM12",
//              "/dev/ttyUSB0"), at most 64 characters and zero bytes up to
//              65, while offset 0 holds "PORT"
#pragma once

#include <string>

#include "core/programmer.h"

namespace ostrel::app {

inline constexpr const char* kSettingsFile = "ostrel.cfg";
// Longest path that can be read back whole from offset 32.
inline constexpr std::size_t kMaxStoredPath = 249;

// Start-up: restores portName and speed (creating the file when it cannot be
// opened), writes the port name back, sets the speed menu check marks; and
// the modem-line option and the GPIO lines, with the option's check mark.
void RestorePortAndSpeed(Programmer& p);
// Start-up: the stored path (into currentFileName) and whether the offer was declined.
// False when the file cannot be opened.
bool ReadReopenData(Programmer& p, bool* declined);
// Writes '0' at offset 29: do not offer the file at the next start.
void StoreDecline(Programmer& p);
// Speed menu: the speed character at offset 6.
void StoreSpeed(Programmer& p);
// Stores currentFileName at offset 32; with a line feed at offset 30 when
// `withLineFeed`. False when the file cannot be opened.
bool StorePath(Programmer& p, bool withLineFeed);
// File > Open: a line feed at 27 and '1' at 29.
void StoreOfferFlag(Programmer& p);
// Window destruction: port name at 0 and manualDevice at 7, the modem-line
// option at 8 and the GPIO lines at 9 (when they can be stored).
void SaveAtExit(Programmer& p);

}  // namespace ostrel::app
