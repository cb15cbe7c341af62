// Test-side reading of Intel HEX text into a map of byte address to value,
// written independently of the program's reader so the two check each other.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace ostrel::testing {

using ByteImage = std::map<uint32_t, uint8_t>;

// Data records (type 00) up to the end record; type 04/02 records move the
// base address. Lines that are not records are skipped.
ByteImage ParseHexImage(const std::string& text);

// `image` as Intel HEX text: records of up to 16 bytes over runs of
// consecutive addresses (holes stay holes), an extended linear address record
// (type 04) wherever the upper 16 bits change, and the end record.
std::string HexText(const ByteImage& image);

// An image for a chip of `flashBytes`: its first page, a hole, a run across
// the middle of the flash (for 128K words: across 64K words, for 64K words
// across 64 KB), another hole and its last page, at the top of the flash.
ByteImage SpreadImage(uint32_t flashBytes, uint32_t pageBytes);

// A readback dump as the Read command writes it, of a chip with `flashBytes`
// of flash and `eepromBytes` of EEPROM: `image` in the flash, FF elsewhere.
std::string DumpText(uint32_t flashBytes, uint32_t eepromBytes, const ByteImage& image = {});

// The bytes of `image` whose value in `other` differs or is missing, as text
// ("0x0012: 3C != 3D"), at most `limit` of them.
std::string ImageDifferences(const ByteImage& image, const ByteImage& other, int limit = 10);

}  // namespace ostrel::testing
