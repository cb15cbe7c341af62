// Connecting to the chip and deciding, from its signature and the device
// file, whether a command may go on.
#include <cstdio>
#include <optional>
#include <string>

#include "adapter/adapter.h"
#include "avr/avr.h"
#include "core/activity.h"
#include "core/device_choice.h"
#include "core/ids.h"
#include "devices/chip_lists.h"
#include "devices/device_file.h"
#include "platform/texts.h"

namespace ostrel::avr {

namespace {
constexpr int kEcho = 0x53;
constexpr int kLockedFamily = 0x01;
constexpr int kErasedFamily = 0xFF;

bool InRange(int family) {
    return family >= 0x90 && family <= 0x97;
}
bool EchoInRx(const ProgrammerState& s) {
    return ((s.rxShift >> 8) & 0xFF) == kEcho;
}
bool EchoInWord(const ProgrammerState& s) {
    return ((s.echoWord >> 8) & 0xFF) == kEcho;
}

int Verdict(Programmer& p, const char* headline, int result) {
    p.state.errorText.Assign(headline);
    p.state.errorText.Append(p.state.signatureReport.view());
    return result;
}
int Locked(Programmer& p) {
    return Verdict(p, texts::kDeviceLocked, 2);
}
int Unknown(Programmer& p) {
    Verdict(p, texts::kUnknownDeviceCode, 1);
    // A chip of another programming interface is named with that advice;
    // any other is told which chips the device file does know.
    std::string advice = devices::UnreachableChipAdvice(p.state.signatureHex.view());
    if (advice.empty())
        advice = devices::KnownChipsLike(p, p.state.signatureHex.view());
    p.failureHint = advice;
    return 1;
}
// No echo at all: the verdict, and where to look. A chip whose clock is too
// slow for the speed misses SCK pulses just as a chip that is not there.
int NoConnection(Programmer& p) {
    Verdict(p, texts::kNoConnection, 1);
    p.failureHint = p.state.speed > 0 ? "Check the cable, the chip's power and its clock; a chip "
                                        "on a slow clock (below 1 MHz) needs a lower Speed."
                                      : "Check the cable, the chip's power and its clock.";
    return 1;
}

// Three signature bytes all FF or all 00 are what a MISO line that nothing
// drives (or one stuck at a level) reads: no chip answered them.
bool LineCannotAnswer(const ProgrammerState& s) {
    const bool allOnes = s.vendorCode == 0xFF && s.partFamily == 0xFF && s.partNumber == 0xFF;
    const bool allZeros = s.vendorCode == 0 && s.partFamily == 0 && s.partNumber == 0;
    return allOnes || allZeros;
}

uint32_t QueueSignatureRead(Programmer& p, int address) {
    return adapter::QueueInstruction(p, 0x3000, address * 0x100);
}

int ReadSignatureByte(Programmer& p, int address) {
    return ReadByteOf(p, QueueSignatureRead(p, address));
}
}  // namespace

int ReadSignature(Programmer& p) {
    ProgrammerState& s = p.state;
    s.deviceDetected = 0;
    // The three reads go out together: one round trip on a streaming port.
    const uint32_t vendor = QueueSignatureRead(p, 0);
    const uint32_t family = QueueSignatureRead(p, 1);
    const uint32_t number = QueueSignatureRead(p, 2);
    s.vendorCode = ReadByteOf(p, vendor);
    s.partFamily = ReadByteOf(p, family);
    s.partNumber = ReadByteOf(p, number);
    s.signatureHex.Format("%02X%02X%02X ", s.vendorCode, s.partFamily, s.partNumber);
    s.signatureReport.Format(texts::kSignatureReportFormat, s.vendorCode, s.partFamily,
                             s.partNumber,
                             s.echoReceived ? texts::kEcho53Received : texts::kNoEcho53Received);
    devices::FindDevice(p, core::ReadDeviceChoice(p));
    return s.partFamily;
}

bool StillAnswers(Programmer& p) {
    const ProgrammerState& s = p.state;
    return ReadSignatureByte(p, 0) == s.vendorCode && ReadSignatureByte(p, 1) == s.partFamily &&
           ReadSignatureByte(p, 2) == s.partNumber;
}

namespace {

// The chip may be out of step: reset and synchronise, with a long reset
// pulse as the second resort. True when the echo came.
bool BringInStep(Programmer& p) {
    ProgrammerState& s = p.state;
    EnterProgrammingMode(p);
    ProgrammingEnable(p);
    if (!EchoInRx(s))
        Synchronise(p);
    if (!EchoInWord(s)) {
        LongResetPulse(p);
        EnterProgrammingMode(p);
        if (ProgrammingEnable(p) != kEcho)
            Synchronise(p);
    }
    return EchoInWord(s);
}

// No echo at all, with a device chosen by hand.
int ManualDeviceWithoutEcho(Programmer& p) {
    ProgrammerState& s = p.state;
    LongResetPulse(p);
    EnterProgrammingMode(p);
    ProgrammingEnable(p);
    ReadSignature(p);
    // Without the echo a device chosen by hand is still used, but not on a
    // line that cannot answer: going on would report an erase, a lock or a
    // read of nothing as done, and a verify of data that the stuck level
    // matches (a page of 00 or of FF) as passed.
    if (LineCannotAnswer(s))
        return NoConnection(p);
    return 0;
}

// The second decision, once the chip is in step and its signature was read
// again.
int DecideInStep(Programmer& p, int family) {
    ProgrammerState& s = p.state;
    if (InRange(family) && s.manualDevice)
        return 0;
    if (s.deviceDetected)
        return 0;
    if (InRange(family))
        return Unknown(p);
    if (family == kLockedFamily) {
        EnterProgrammingMode(p);
        ProgrammingEnable(p);
        family = ReadSignature(p);
        if (family == kLockedFamily)
            return s.manualDevice ? 0 : Locked(p);
        // A repeated read that the device file knows counts as found, as it
        // does at every other point of the decision.
        if (s.deviceDetected)
            return 0;
    }
    if (family == kErasedFamily) {
        if (s.manualDevice)
            return 0;
        p.windows.MessageBox(0, texts::kDeviceCodeErased, texts::kTitleWarningColon, MsgButtons::Ok,
                             MessageKind::Warning);
        return Verdict(p, texts::kDeviceCodeErased, 1);
    }
    return s.manualDevice ? 0 : Unknown(p);
}

// A device chosen by hand gives the geometry, whatever the chip answers. A
// chip that answers (with the echo, or with a signature no stuck line
// reads) as another chip of the device file would be written at the wrong
// addresses: the user is asked before anything is sent beyond the
// signature's reads.
int ConfirmChosenDevice(Programmer& p) {
    ProgrammerState& s = p.state;
    if (!s.echoReceived && LineCannotAnswer(s))
        return 0;
    const std::string_view answered = s.signatureHex.view().substr(0, 6);
    if (answered == s.deviceSignature.view().substr(0, 6))
        return 0;
    const std::string other = devices::NameWithSignature(p, answered);
    const std::optional<std::string> chosen = core::ReadDeviceChoice(p).name;
    if (other.empty() || !chosen || other == *chosen)
        return 0;
    const std::string sig(answered);
    // Asked once a command: a write connects again after the erase.
    if (p.otherChipAccepted == sig)
        return 0;
    const std::string question =
        "The chip answers as " + other + " (signature " + sig + "), but " + *chosen +
        " is chosen by hand (Autodetection off).\nReading or writing it as " + *chosen +
        " would use the wrong addresses.\n\nGo on as " + *chosen + "?";
    if (p.windows.MessageBox(ids::kNoOwner, question.c_str(), texts::kTitleWarning,
                             MsgButtons::OkCancel, MessageKind::Warning) == MsgResult::Ok) {
        p.otherChipAccepted = sig;
        return 0;
    }
    s.errorText.Assign("The chip answers as " + other + ", not as " + *chosen +
                       " chosen by hand: nothing was read or written.\nSwitch Autodetection "
                       "on, or choose " +
                       other + ".");
    return 1;
}

int ConnectAndDecide(Programmer& p, bool autoStart = false);

// The clock the connected chip runs on, from its low fuse byte; 0 for a
// chip without a fuse table or a clock its fuses do not tell.
devices::ChipClock ClockInUse(Programmer& p) {
    const devices::FuseChip* chip = devices::FindFuseChip(p.state.signatureHex.view());
    if (chip == nullptr || !devices::HasByte(*chip, devices::FuseByte::kLow))
        return {0, false};
    return devices::ClockOfLowFuse(*chip, ReadFuseByte(p, *chip, devices::FuseByte::kLow));
}

void TakeSpeed(Programmer& p, int32_t speed) {
    p.state.speed = speed;
    // A streaming port holds the phase of its states per speed.
    adapter::ConfigureStream(p);
}

// Once the chip answers, its clock is known: Auto takes the fastest speed it
// allows; a speed chosen by hand that is too fast for it worked by chance,
// and the activity line says so.
// 0, or the result of the connection made again at the speed that answered.
int FollowChipClock(Programmer& p) {
    ProgrammerState& s = p.state;
    if (!s.echoReceived)
        return 0;
    const devices::ChipClock clock = ClockInUse(p);
    if (s.autoSpeed) {
        const int32_t answered = s.speed;
        std::string why = clock.hz != 0 ? " (the chip runs at " + devices::ClockWords(clock) + ")"
                                        : " (the chip's clock is not known)";
        if (clock.hz != 0)
            TakeSpeed(p, adapter::FastestSpeedFor(p, clock.hz));
        // A board may clock the chip slower than its fuses say: a faster
        // speed must still read the signature, else the one that did stays.
        int result = 0;
        if (s.speed > answered && !StillAnswers(p)) {
            TakeSpeed(p, answered);
            result = ConnectAndDecide(p);
            why = " (the chip runs slower than its fuses say)";
        }
        // Named once, not at every connection: again only when the choice changes.
        if (s.speed != s.autoSpeedShown) {
            s.autoSpeedShown = s.speed;
            const std::string line =
                std::string("Speed Auto: ") + adapter::SpeedName(s.speed) + why;
            s.activityText.Assign(line + "\n");
            core::ShowActivity(p);
        }
        return result;
    }
    if (clock.hz == 0 || adapter::SpeedKeepsUp(p, s.speed, clock.hz))
        return 0;
    s.activityText.Assign("Warning: this chip runs at " + devices::ClockWords(clock) + ": choose " +
                          adapter::SpeedName(adapter::FastestSpeedFor(p, clock.hz)) + " (speed " +
                          adapter::SpeedName(s.speed) + " is too fast for it)\n");
    core::ShowActivity(p);
    return 0;
}

// No echo at a speed chosen by hand: a chip on a slow clock misses SCK pulses
// just as a chip that is not there. One more try at the slowest speed tells
// the two apart; the command still fails, with the speed to choose.
void SlowClockHint(Programmer& p) {
    ProgrammerState& s = p.state;
    const int32_t chosen = s.speed;
    const std::string errorText(s.errorText.view());
    const std::string signatureReport(s.signatureReport.view());
    const std::string hint = p.failureHint;
    TakeSpeed(p, 0);
    const bool answers = ConnectAndDecide(p) != 1 && s.echoReceived;
    const devices::ChipClock clock = answers ? ClockInUse(p) : devices::ChipClock{0, false};
    TakeSpeed(p, chosen);
    s.errorText.Assign(errorText);
    s.signatureReport.Assign(signatureReport);
    s.echoReceived = 0;
    p.failureHint = hint;
    if (!answers)
        return;
    // Where the fuses explain it, the clock and the speed it needs are named.
    if (clock.hz != 0 && !adapter::SpeedKeepsUp(p, chosen, clock.hz)) {
        p.failureHint += "\nThis chip runs at " + devices::ClockWords(clock) + ": choose " +
                         adapter::SpeedName(adapter::FastestSpeedFor(p, clock.hz)) + ".";
    } else {
        p.failureHint += std::string("\nThe chip answers at speed very low but not at ") +
                         adapter::SpeedName(chosen) + ": choose a slower speed.";
    }
}

// Speed Auto: the start speed suits every factory clock; a chip that does not
// answer there (its fuses chose a slower clock) is tried at the slowest.
int ConnectAtAutoSpeed(Programmer& p) {
    const int result = ConnectAndDecide(p, true);
    if (result != 1 || p.state.echoReceived || p.state.speed == 0)
        return result;
    TakeSpeed(p, 0);
    return ConnectAndDecide(p);
}

}  // namespace

int Connect(Programmer& p) {
    ProgrammerState& s = p.state;
    int result = s.autoSpeed ? ConnectAtAutoSpeed(p) : ConnectAndDecide(p);
    if (result == 1 && !s.autoSpeed && !s.echoReceived && s.speed > 0)
        SlowClockHint(p);
    if (result == 0)
        result = FollowChipClock(p);
    if (result == 0 && s.manualDevice)
        return ConfirmChosenDevice(p);
    return result;
}

namespace {

int ConnectAndDecide(Programmer& p, bool autoStart) {
    ProgrammerState& s = p.state;
    p.failureHint.clear();
    s.echoReceived = 0;
    s.deviceDetected = 0;
    // A device chosen by hand is used for its geometry whatever the chip
    // answers, so it must be one the device file describes: without it the
    // command would go on with sizes that belong to no chip.
    if (s.manualDevice) {
        std::string problem = devices::ChosenDeviceProblem(p);
        if (!problem.empty()) {
            s.errorText.Assign(problem);
            s.errorText.Append("\nNothing was sent to the chip.");
            return 1;
        }
    }
    if (s.adapterKind == AdapterKind::Serial && adapter::DetectSerialAdapter(p) != 0)
        return 1;
    // GPIO lines have nothing to detect, but a failed open says what to do.
    if (s.adapterKind == AdapterKind::Gpio && adapter::OpenPort(p) != 0)
        return 1;
    adapter::HoldTargetInReset(p);
    if (autoStart) {
        // The start speed comes from the port's measured cost of an access.
        if (s.calibrationPasses <= 0)
            adapter::CalibrateDelay(p);
        TakeSpeed(p, adapter::FastestSpeedFor(p, devices::SlowestFactoryClockHz()));
    }
    s.activityText.Assign(texts::kConnectingLine);
    core::ShowActivity(p);
    s.rxShift = 0;
    s.echoWord = 0;
    if (EnterProgrammingMode(p) != 0) {
        s.errorText.Assign(texts::kComInitError);
        return 1;
    }
    // The reset and the calibration take a while: the window takes input.
    core::ServiceWindow(p);
    if (ProgrammingEnable(p) == kEcho)
        s.echoReceived = 1;
    int family = ReadSignature(p);
    // So do the signature's reads: the window takes input before the
    // command goes on to its own work.
    core::ServiceWindow(p);

    // First decision: answers that are clear at once. Without the echo, a
    // device file line with the signature FFFFFF or 000000 matches what a
    // stuck line reads, not a chip: that is decided after synchronisation.
    if (s.deviceDetected && (s.echoReceived || !LineCannotAnswer(s)))
        return 0;
    if (InRange(family))
        return s.manualDevice ? 0 : Unknown(p);
    if (family == kLockedFamily)
        return s.manualDevice ? 0 : Locked(p);

    // Anything else: the chip may be out of step.
    if (!BringInStep(p))
        return s.manualDevice ? ManualDeviceWithoutEcho(p) : NoConnection(p);
    s.echoReceived = 1;
    return DecideInStep(p, ReadSignature(p));
}

}  // namespace

}  // namespace ostrel::avr
