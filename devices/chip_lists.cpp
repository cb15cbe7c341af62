#include "devices/chip_lists.h"

#include "platform/text_util.h"

namespace ostrel::devices {

namespace {

struct LockFamilyRow {
    std::string_view signature;
    const LockFamily* family;
};

// Every chip whose family is not the newer one, and the newer chips that
// ostrel.ini ships, so that the list says what it knows of each.
constexpr LockFamilyRow kLockFamilies[] = {
    {"1E9001", &kClassicLock},          // AT90S1200
    {"1E9101", &kClassicLock},          // AT90S2313
    {"1E9201", &kClassicLock},          // AT90S4414
    {"1E9301", &kClassicLock},          // AT90S8515
    {"1E9102", &kClassicFuseBitLock},   // AT90S2323
    {"1E9103", &kClassicFuseBitLock},   // AT90S2343
    {"1E9202", &kClassicFuseBitLock},   // AT90S4434
    {"1E9303", &kClassicFuseBitLock},   // AT90S8535
    {"1E9106", &kClassicFuseBitLock},   // ATtiny22
    {"1E9105", &kClassicFuseByteLock},  // AT90S2333
    {"1E9203", &kClassicFuseByteLock},  // AT90S4433
    {"1E9005", &kClassicFuseByteLock},  // ATtiny12
    {"1E9006", &kClassicFuseByteLock},  // ATtiny15
    {"1E9701", &kClassicFuseByteLock},  // ATmega103
    {"1E9601", &kClassicFuseByteLock},  // ATmega603
    {"1E9109", &kNewerLock},            // ATtiny26
    {"1E910A", &kNewerLock},            // ATtiny2313
    {"1E9007", &kNewerLock},            // ATtiny13
    {"1E9307", &kNewerLock},            // ATmega8
    {"1E9403", &kNewerLock},            // ATmega16
    {"1E9502", &kNewerLock},            // ATmega32
    {"1E9205", &kNewerLock},            // ATmega48
    {"1E930A", &kNewerLock},            // ATmega88
    {"1E9406", &kNewerLock},            // ATmega168
    {"1E950F", &kNewerLock},            // ATmega328P
    {"1E9401", &kNewerLock},            // ATmega161
    {"1E9402", &kNewerLock},            // ATmega163
    {"1E9306", &kNewerLock},            // ATmega8515
    {"1E9308", &kNewerLock},            // ATmega8535
    {"1E9602", &kNewerLock},            // ATmega64
};

}  // namespace

bool LockBitsListed(std::string_view signatureHex) {
    if (signatureHex.size() < 6)
        return false;
    std::string_view code = signatureHex.substr(0, 6);
    for (std::string_view chip : kLockBitChips)
        if (code == chip)
            return true;
    return false;
}

namespace {

struct WriteTimesRow {
    std::string_view signature;
    WriteTimes times;
};

// The data sheets' maximum write times (flash: per byte on the chips that
// write byte by byte, per page on the others).
constexpr WriteTimesRow kWriteTimes[] = {
    {"1E9001", {9000, 9000, 20000}},    // AT90S1200
    {"1E9101", {9000, 9000, 20000}},    // AT90S2313
    {"1E9102", {20000, 20000, 18000}},  // AT90S2323
    {"1E9103", {20000, 20000, 18000}},  // AT90S2343
    {"1E9201", {20000, 20000, 20000}},  // AT90S4414
    {"1E9301", {9000, 9000, 20000}},    // AT90S8515
    {"1E9203", {20000, 20000, 20000}},  // AT90S4433
    {"1E9303", {20000, 20000, 20000}},  // AT90S8535
    {"1E9202", {20000, 20000, 20000}},  // AT90S4434
    {"1E9005", {20000, 20000, 20000}},  // ATtiny12
    {"1E9006", {8200, 4100, 8200}},     // ATtiny15
    {"1E9106", {20000, 20000, 18000}},  // ATtiny22
    {"1E9109", {9000, 4500, 9000}},     // ATtiny26
    {"1E910A", {4500, 4500, 9000}},     // ATtiny2313
    {"1E9007", {4000, 4500, 4000}},     // ATtiny13
    {"1E9307", {9000, 4500, 10000}},    // ATmega8
    {"1E9403", {9000, 4500, 9000}},     // ATmega16
    {"1E9502", {9000, 4500, 9000}},     // ATmega32
    {"1E9205", {3600, 4500, 45000}},    // ATmega48
    {"1E930A", {3600, 4500, 9000}},     // ATmega88
    {"1E9406", {3600, 4500, 9000}},     // ATmega168
    {"1E950F", {3600, 4500, 9000}},     // ATmega328P
    {"1E9401", {3400, 14000, 28000}},   // ATmega161
    {"1E9402", {4000, 16000, 32000}},   // ATmega163
    {"1E9306", {9000, 4500, 9000}},     // ATmega8515
    {"1E9308", {9000, 4500, 9000}},     // ATmega8535
    {"1E9602", {9000, 4500, 9000}},     // ATmega64
    {"1E9701", {9000, 56000, 112000}},  // ATmega103
};

}  // namespace

bool WriteTimesOf(std::string_view signatureHex, WriteTimes* times) {
    std::string_view code = signatureHex.substr(0, 6);
    for (const WriteTimesRow& row : kWriteTimes) {
        if (EqualsNoCase(code, row.signature)) {
            *times = row.times;
            return true;
        }
    }
    return false;
}

const LockFamily* FindLockFamily(std::string_view signatureHex) {
    std::string_view code = signatureHex.substr(0, 6);
    for (const LockFamilyRow& row : kLockFamilies)
        if (EqualsNoCase(code, row.signature))
            return row.family;
    return nullptr;
}

const LockFamily& LockFamilyOf(std::string_view signatureHex) {
    const LockFamily* family = FindLockFamily(signatureHex);
    return family != nullptr ? *family : kNewerLock;
}

bool IsRcenChip(int32_t partFamily, int32_t partNumber) {
    return partFamily == 0x91 && (partNumber == 0x03 || partNumber == 0x06);
}

}  // namespace ostrel::devices
