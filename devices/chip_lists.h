// Chips that some commands treat apart, named by their signatures: the chips
// with the classic Write Lock Bits instruction and those with an RCEN fuse bit.
// The serial programming instructions dialog offers its lock-bit and RCEN
// buttons from these lists.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace ostrel::devices {

// Signatures of the chips whose lock bits are written with AC F9..FF AC F9..FF.
inline constexpr std::array<std::string_view, 11> kLockBitChips = {
    "1E9001", "1E9101", "1E9102", "1E9105", "1E9203", "1E9201",
    "1E9301", "1E9202", "1E9303", "1E9005", "1E9006",
};

// True when the first six characters of signatureHex name one of kLockBitChips
// (letter case included).
bool LockBitsListed(std::string_view signatureHex);

// The chips with an RCEN bit (the AT90S2343 and ATtiny22 family): signature
// bytes 1 and 2 are 91 03 or 91 06.
bool IsRcenChip(int32_t partFamily, int32_t partNumber);

}  // namespace ostrel::devices
