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

// A readback dump as the Read command writes it, of a chip with `flashBytes`
// of flash and `eepromBytes` of EEPROM: `image` in the flash, FF elsewhere.
std::string DumpText(uint32_t flashBytes, uint32_t eepromBytes, const ByteImage& image = {});

// The bytes of `image` whose value in `other` differs or is missing, as text
// ("0x0012: 3C != 3D"), at most `limit` of them.
std::string ImageDifferences(const ByteImage& image, const ByteImage& other, int limit = 10);

}  // namespace ostrel::testing
