// The fuse and lock byte instructions, in the forms of the chip's table.
#include "avr/avr.h"

namespace ostrel::avr {

uint8_t SendInstruction(Programmer& p, uint8_t b1, uint8_t b2, uint8_t b3, uint8_t b4) {
    // Through the queue, so a streaming port sends it as every other
    // instruction; on the other ports it goes out at once.
    p.state.rxShift =
        adapter::AnswerOf(p, adapter::QueueInstruction(p, b1 * 256 + b2, b3 * 256 + b4));
    return static_cast<uint8_t>(p.state.rxShift & 0xFF);
}

uint8_t ReadFuseByte(Programmer& p, const devices::FuseChip& chip, devices::FuseByte byte) {
    const auto& read = chip.instructions->read[static_cast<int>(byte)];
    return SendInstruction(p, read[0], read[1], 0x00, 0x00);
}

void WriteFuseByte(Programmer& p, const devices::FuseChip& chip, devices::FuseByte byte,
                   uint8_t value) {
    const std::array<uint8_t, 4> write = devices::FuseWriteInstruction(chip, byte, value);
    p.chipChangeSent = true;
    SendInstruction(p, write[0], write[1], write[2], write[3]);
    adapter::WaitMs(p, 10);
}

bool StillAnswersAfterFuses(Programmer& p, const devices::FuseChip& chip, uint8_t lock) {
    if (StillAnswers(p))
        return true;
    bool mode3 = false;
    for (const devices::FuseField& field : chip.fields) {
        if (field.byte == devices::FuseByte::kLock && field.role == devices::FieldRole::kLockBits)
            mode3 = devices::FieldBits(field, lock) == 0;
    }
    if (!mode3 || devices::LockFamilyOf(chip.signature).lockMode3[1] != 0xF9)
        return false;
    for (uint8_t address = 0; address < 3; ++address) {
        if (SendInstruction(p, 0x30, 0x00, address, 0x00) != address)
            return false;
    }
    return true;
}

devices::GuardResult JudgeFuseWrite(Programmer& p, const devices::FuseChip* chip,
                                    devices::FuseByte byte, uint8_t oldValue, uint8_t newValue) {
    devices::GuardResult result = devices::JudgeFuseWrite(chip, byte, oldValue, newValue);
    if (result.slowClockHz == 0)
        return result;
    const std::string speed = adapter::SpeedName(adapter::FastestSpeedFor(p, result.slowClockHz));
    result.words += p.state.autoSpeed
                        ? " Speed Auto takes " + speed + " for it from the next connection."
                        : " Choose speed " + speed + " afterwards.";
    return result;
}

}  // namespace ostrel::avr
