// Reset into programming mode and the Programming Enable handshake. The chip
// answers the second byte of AC 53 00 00 (0x53) while the third byte is
// clocked; seeing it proves that chip and programmer count bits alike.
#include "adapter/adapter.h"
#include "avr/avr.h"
#include "core/activity.h"

namespace ostrel::avr {

using adapter::Delay;
using adapter::WaitMs;

namespace {
constexpr int kEcho = 0x53;
constexpr int kSyncAttempts = 35;
constexpr uint32_t kResetEntryMs = 21;

bool EchoSeen(const ProgrammerState& s) {
    return ((s.echoWord >> 8) & 0xFF) == kEcho;
}

// Serial cable (and GPIO lines): all outputs low, then RESET high for
// `pulseMs` and low again. The target needs 100 ms of low RESET before it
// takes instructions.
int SerialResetPulse(Programmer& p, uint32_t pulseMs) {
    if (adapter::OpenPort(p) != 0)
        return 1;
    adapter::SetSck(p, 0);
    adapter::SetMosi(p, 0);
    adapter::SetReset(p, 0);
    WaitMs(p, 100);
    adapter::SetReset(p, 1);
    WaitMs(p, pulseMs);
    adapter::SetReset(p, 0);
    WaitMs(p, 100);
    return 0;
}
// A missing echo does not prove that the chip stayed out of programming
// mode: a MISO line that does not reach the programmer hides an echo that
// was given. A chip in programming mode executes what it is sent, so a
// retry that reached it out of step would run the shifted bits as
// instructions (an EEPROM or a page write). Every retry therefore first
// gives RESET a positive pulse with SCK low, which ends programming mode on
// every chip (the newer ATmega and ATtiny data sheets ask for exactly this),
// and only then adds the SCK pulses that move a chip that counts behind:
// one more for each attempt, as the old AT90S chips are brought in step.
// A chip out of programming mode takes nothing but Programming Enable in
// step, which the shifted bits never form.
void RestartOneBitLater(Programmer& p, int shiftBits) {
    adapter::SetSck(p, 0);
    adapter::SetMosi(p, 0);
    adapter::SetReset(p, 1);
    WaitMs(p, 1);
    adapter::SetReset(p, 0);
    // The chip takes clock edges 20 ms after RESET went low.
    WaitMs(p, kResetEntryMs);
    for (int i = 0; i < shiftBits; ++i) {
        adapter::SetSck(p, 1);
        WaitMs(p, 1);
        adapter::SetSck(p, 0);
        WaitMs(p, 1);
    }
}
}  // namespace

int EnterProgrammingMode(Programmer& p) {
    adapter::CalibrateDelay(p);
    if (p.state.adapterKind == AdapterKind::Parallel) {
        adapter::HoldTargetInReset(p);
        WaitMs(p, 30);
        p.state.dataLatch |= adapter::kResetBit;
        adapter::WritePort(p);
        Delay(p, 10);
        p.state.dataLatch &= ~adapter::kResetBit;
        adapter::WritePort(p);
        WaitMs(p, 100);
        return 0;
    }
    return SerialResetPulse(p, 1);
}

int LongResetPulse(Programmer& p) {
    if (p.state.adapterKind == AdapterKind::Parallel) {
        adapter::HoldTargetInReset(p);
        p.state.dataLatch &= ~adapter::kCableBits;
        adapter::WritePort(p);
        WaitMs(p, 1);
        p.state.dataLatch |= adapter::kResetBit;
        adapter::WritePort(p);
        WaitMs(p, 1);
        WaitMs(p, 200);
        p.state.dataLatch &= ~adapter::kResetBit;
        adapter::WritePort(p);
        WaitMs(p, 100);
        return 0;
    }
    return SerialResetPulse(p, 200);
}

int ProgrammingEnable(Programmer& p) {
    // The echo decides what comes next: on a streaming port this is a round trip.
    p.state.rxShift = adapter::AnswerOf(p, adapter::QueueInstruction(p, 0xAC53, 0x0000));
    p.state.echoWord = static_cast<int32_t>(p.state.rxShift & 0xFFFF);
    // What the chip holds as its extended address byte is unknown from here on.
    p.state.extendedAddress = -1;
    return static_cast<int>((p.state.rxShift >> 8) & 0xFF);
}

int Synchronise(Programmer& p) {
    for (int attempt = 0; !EchoSeen(p.state) && attempt < kSyncAttempts; ++attempt) {
        // Up to 32 attempts: the window takes input between them.
        core::ServiceWindow(p);
        ProgrammingEnable(p);
        if (!EchoSeen(p.state))
            RestartOneBitLater(p, attempt + 1);
    }
    return p.state.echoWord >> 8;
}

}  // namespace ostrel::avr
