#include "devices/chip_lists.h"

namespace ostrel::devices {

bool LockBitsListed(std::string_view signatureHex) {
    if (signatureHex.size() < 6)
        return false;
    std::string_view code = signatureHex.substr(0, 6);
    for (std::string_view chip : kLockBitChips)
        if (code == chip)
            return true;
    return false;
}

bool IsRcenChip(int32_t partFamily, int32_t partNumber) {
    return partFamily == 0x91 && (partNumber == 0x03 || partNumber == 0x06);
}

}  // namespace ostrel::devices
