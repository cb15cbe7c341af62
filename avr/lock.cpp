// Locking the chip in lock mode 3 with its family's Write Lock Bits
// instruction, and reading back that it took.
#include <string_view>

#include "adapter/adapter.h"
#include "avr/avr.h"
#include "devices/chip_lists.h"

namespace ostrel::avr {

namespace {

// The longest lock bit write of the chips (20 ms on the classic ones) with a margin.
constexpr int kLockWriteMs = 40;

void Send(Programmer& p, const std::array<uint8_t, 4>& bytes) {
    p.state.txWord = (bytes[0] << 8) | bytes[1];
    adapter::TransferWord(p);
    p.state.txWord = (bytes[2] << 8) | bytes[3];
    adapter::TransferWord(p);
}

int ReadSignatureByteAt(Programmer& p, uint8_t address) {
    Send(p, {0x30, 0x00, address, 0x00});
    return ReadByte(p);
}

}  // namespace

const devices::LockFamily& LockFamilyInUse(const Programmer& p) {
    const ProgrammerState& s = p.state;
    // The device line in use names the chip even when it was chosen by hand;
    // without one, the signature the chip answered.
    return devices::LockFamilyOf(s.deviceSignature.empty() ? s.signatureHex.view()
                                                           : s.deviceSignature.view());
}

int LockMode3(Programmer& p) {
    ProgrammerState& s = p.state;
    const devices::LockFamily& family = LockFamilyInUse(p);
    const std::array<uint8_t, 4>& w = family.lockMode3;
    p.chipChangeSent = true;
    Send(p, w);
    adapter::WaitMs(p, kLockWriteMs);
    if (family.readBits != 0) {
        Send(p, {0x58, 0x00, 0x00, 0x00});
        const int answer = ReadByte(p);
        if ((answer & family.readBits) == 0)
            return 0;
        s.errorText.Format(
            "The chip did not lock: after Write Lock Bits %02X %02X %02X %02X, Read Lock Bits "
            "58 00 00 00 answered %02X; lock mode 3 reads 0 in bits %02X (LB1 and LB2).\n",
            w[0], w[1], w[2], w[3], answer, family.readBits);
        return 1;
    }
    // No Read Lock Bits on these chips: in lock mode 3 they answer a
    // signature read with its address, 00 01 02.
    const int b0 = ReadSignatureByteAt(p, 0);
    const int b1 = ReadSignatureByteAt(p, 1);
    const int b2 = ReadSignatureByteAt(p, 2);
    if (b0 == 0x00 && b1 == 0x01 && b2 == 0x02)
        return 0;
    s.errorText.Format(
        "The chip did not lock: after Write Lock Bits %02X %02X %02X %02X its signature reads "
        "%02X %02X %02X; in lock mode 3 it reads 00 01 02.\n",
        w[0], w[1], w[2], w[3], b0, b1, b2);
    return 1;
}

LockLevel ReadLockLevel(Programmer& p) {
    const ProgrammerState& s = p.state;
    if (s.vendorCode == 0x00 && s.partFamily == 0x01 && s.partNumber == 0x02)
        return LockLevel::NoReadingEither;
    // The lock bits are read as the chip that answered reads them, where its
    // signature is a known one; a device chosen by hand may be of another family.
    const devices::LockFamily* answered = devices::FindLockFamily(s.signatureHex.view());
    const devices::LockFamily& family = answered != nullptr ? *answered : LockFamilyInUse(p);
    if (family.readBits == 0)
        return LockLevel::Open;
    Send(p, {0x58, 0x00, 0x00, 0x00});
    const int answer = ReadByte(p);
    if ((answer & family.readBits) == 0)
        return LockLevel::NoReadingEither;
    if ((answer & family.readLb1) == 0)
        return LockLevel::NoProgramming;
    return LockLevel::Open;
}

int CheckLockAllows(Programmer& p, ChipAccess access) {
    const LockLevel level = ReadLockLevel(p);
    if (level == LockLevel::Open ||
        (access == ChipAccess::Read && level == LockLevel::NoProgramming))
        return 0;
    // errorText holds 200 characters: both texts stay below that.
    const char* mode = level == LockLevel::NoReadingEither ? "lock mode 3: LB1 and LB2 programmed"
                                                           : "lock mode 2: LB1 programmed";
    if (access == ChipAccess::Read) {
        p.state.errorText.Format(
            "The chip is locked (%s) and lets nothing be read: nothing was read or "
            "compared.\nErase all removes the lock with the program.\n",
            mode);
    } else {
        p.state.errorText.Format(
            "The chip is locked (%s) and takes no write: nothing was written.\nErase all, or "
            "Write of a .hex file with \"Erase bef. Write\", removes the lock with the "
            "program.\n",
            mode);
    }
    return 1;
}

}  // namespace ostrel::avr
