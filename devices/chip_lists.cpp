#include "devices/chip_lists.h"

#include <string>

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
    {"1E9587", &kNewerLock},            // ATmega32U4
    {"1E930B", &kNewerLock},            // ATtiny85
    {"1E9489", &kNewerLock},            // ATmega16U2
    {"1E9516", &kNewerLock},            // ATmega328PB
    {"1E930C", &kNewerLock},            // ATtiny84/84A
    {"1E9705", &kNewerLock},            // ATmega1284P
    {"1E960A", &kNewerLock},            // ATmega644P/PA
    {"1E9206", &kNewerLock},            // ATtiny45
    {"1E9108", &kNewerLock},            // ATtiny25
    {"1E940B", &kNewerLock},            // ATmega168P/PA
    {"1E920D", &kNewerLock},            // ATtiny4313
    {"1E9207", &kNewerLock},            // ATtiny44/44A
    {"1E910B", &kNewerLock},            // ATtiny24/24A
    {"1E9702", &kNewerLock},            // ATmega128/128A
    {"1E9704", &kNewerLock},            // ATmega1281
    {"1E9703", &kNewerLock},            // ATmega1280
    {"1E9511", &kNewerLock},            // ATmega324PA
    {"1E940A", &kNewerLock},            // ATmega164P/PA
    {"1E930D", &kNewerLock},            // ATtiny861/861A
    {"1E9487", &kNewerLock},            // ATtiny167
    {"1E9311", &kNewerLock},            // ATtiny88
    {"1E9315", &kNewerLock},            // ATtiny841
    {"1E9412", &kNewerLock},            // ATtiny1634
    {"1E930F", &kNewerLock},            // ATmega88P/PA
    {"1E920A", &kNewerLock},            // ATmega48P/PA
    {"1E9514", &kNewerLock},            // ATmega328
    {"1E9389", &kNewerLock},            // ATmega8U2
    {"1E958A", &kNewerLock},            // ATmega32U2
    {"1E9782", &kNewerLock},            // AT90USB1286
    {"1E9482", &kNewerLock},            // AT90USB162
    {"1E9608", &kNewerLock},            // ATmega640
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
    {"1E9105", {20000, 20000, 20000}},  // AT90S2333
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
    {"1E9801", {9000, 4500, 9000}},     // ATmega2560
    {"1E9587", {9000, 4500, 9000}},     // ATmega32U4
    {"1E930B", {4000, 4500, 4500}},     // ATtiny85
    {"1E9489", {9000, 4500, 9000}},     // ATmega16U2
    {"1E9516", {3600, 4500, 10500}},    // ATmega328PB
    {"1E930C", {4000, 4500, 4500}},     // ATtiny84/84A
    {"1E9705", {9000, 4500, 55000}},    // ATmega1284P
    {"1E960A", {9000, 4500, 55000}},    // ATmega644P/PA
    {"1E9206", {4000, 4500, 4500}},     // ATtiny45
    {"1E9108", {4000, 4500, 4500}},     // ATtiny25
    {"1E940B", {3600, 4500, 9000}},     // ATmega168P/PA
    {"1E920D", {4000, 4500, 9000}},     // ATtiny4313
    {"1E9207", {4000, 4500, 4500}},     // ATtiny44/44A
    {"1E910B", {4000, 4500, 4500}},     // ATtiny24/24A
    {"1E9702", {9000, 5000, 10000}},    // ATmega128/128A
    {"1E9802", {9000, 4500, 9000}},     // ATmega2561
    {"1E9704", {9000, 4500, 9000}},     // ATmega1281
    {"1E9703", {9000, 4500, 9000}},     // ATmega1280
    {"1E9511", {9000, 4500, 55000}},    // ATmega324PA
    {"1E940A", {9000, 4500, 55000}},    // ATmega164P/PA
    {"1E930D", {4000, 4500, 4000}},     // ATtiny861/861A
    {"1E9487", {4000, 4500, 15000}},    // ATtiny167
    {"1E9311", {3600, 4500, 9000}},     // ATtiny88
    {"1E9315", {4000, 4500, 4500}},     // ATtiny841
    {"1E9412", {3600, 4500, 9000}},     // ATtiny1634
    {"1E930F", {3600, 4500, 9000}},     // ATmega88P/PA
    {"1E920A", {3600, 4500, 45000}},    // ATmega48P/PA
    {"1E9514", {3600, 4500, 9000}},     // ATmega328
    {"1E9389", {9000, 4500, 9000}},     // ATmega8U2
    {"1E958A", {9000, 4500, 9000}},     // ATmega32U2
    {"1E9782", {9000, 4500, 9000}},     // AT90USB1286
    {"1E9482", {9000, 4500, 9000}},     // AT90USB162
    {"1E9608", {9000, 4500, 9000}},     // ATmega640
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

namespace {

struct UnreachableRow {
    std::string_view signature;
    std::string_view name;
    std::string_view how;
};

constexpr std::string_view kTpi = "over TPI";
constexpr std::string_view kUpdi = "over UPDI";
constexpr std::string_view kHighVoltage = "with 12 V on RESET";

constexpr UnreachableRow kUnreachable[] = {
    {"1E8F0A", "ATtiny4", kTpi},          {"1E8F09", "ATtiny5", kTpi},
    {"1E9008", "ATtiny9", kTpi},          {"1E9003", "ATtiny10", kTpi},
    {"1E910F", "ATtiny20", kTpi},         {"1E920E", "ATtiny40", kTpi},
    {"1E9090", "ATtiny102", kTpi},        {"1E900B", "ATtiny104", kTpi},
    {"1E9651", "ATmega4809", kUpdi},      {"1E9004", "ATtiny11", kHighVoltage},
    {"1E9107", "ATtiny28", kHighVoltage},
};

}  // namespace

std::string UnreachableChipAdvice(std::string_view signatureHex) {
    std::string_view code = signatureHex.substr(0, 6);
    for (const UnreachableRow& row : kUnreachable) {
        if (EqualsNoCase(code, row.signature)) {
            return "This is an " + std::string(row.name) + ": it is programmed only " +
                   std::string(row.how) + ": not with this programmer.";
        }
    }
    return {};
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
