#include "sim/sim_port.h"

#include <cctype>

#include "sim/sim_state_file.h"

namespace ostrel::sim {

namespace {

// Data direction bit of the parallel control register (1 = data lines are inputs).
constexpr uint8_t kDirectionBit = 0x20;

const ChipInfo& ResolveChip(const SimConfig& config, std::string& warning) {
    if (const ChipInfo* chip = FindChip(config.chip))
        return *chip;
    const ChipInfo* fallback = FindChip(kDefaultChipName);
    warning =
        "Unknown simulated chip '" + config.chip + "'; using " + std::string(fallback->name) + ".";
    return *fallback;
}

constexpr SimFault kFaults[] = {
    SimFault::None,      SimFault::NoPort,          SimFault::NoCable,          SimFault::NoTarget,
    SimFault::OutOfStep, SimFault::ErasedSignature, SimFault::UnknownSignature, SimFault::Locked,
    SimFault::StuckByte, SimFault::Disappears,      SimFault::EchoLost};

}  // namespace

SimPort::SimPort(Clock& clock, SimConfig config)
    : clock_(clock), config_(std::move(config)), target_(ResolveChip(config_, warning_), clock) {
    target_.SetClockHz(config_.chipClockHz);
    target_.SetBoard(config_.board);
    target_.SetTimingChecks(config_.timing);
    if (!config_.stateFile.empty()) {
        StateLoad load = LoadChipState(config_.stateFile, target_.chip());
        target_.LoadMemory(load.memory);
        if (!load.warning.empty())
            AddWarning(load.warning);
        // A fresh chip in place of a missing, empty or damaged file is
        // written at once, so the file always holds a whole chip (never the
        // empty file a lock creates). A file that says its last command was
        // cut off keeps saying so until a command reads or writes the
        // memories (see Save), and its warning is given at every start until
        // then. A file of an earlier version whose fuses were replaced is
        // written again at once in this version's form, so its note is given
        // once.
        uncertain_ = load.fromFile && load.cutOff;
        if (!load.fromFile || load.factoryFuses)
            Save();
        else
            target_.ClearDirty();
        // The first change a command makes is on the disk before the command
        // goes on, marked as changing, so a program killed in the middle of
        // it leaves a chip that says so; the command's end settles it.
        target_.OnFirstChange([this] { SaveChanging(); });
    }
    if (config_.restoreFuses) {
        const std::array<uint8_t, 3>& factory = target_.chip().fuseDefaults;
        for (int index = 0; index < 3; ++index)
            target_.SetFuse(index, factory[static_cast<std::size_t>(index)]);
        if (!config_.stateFile.empty())
            Save();
    }
    switch (config_.fault) {
        case SimFault::OutOfStep:
            target_.SetStepOffset(config_.outOfStepBits);
            break;
        case SimFault::ErasedSignature:
            target_.SetSignature({0xFF, 0xFF, 0xFF});
            break;
        case SimFault::UnknownSignature:
            target_.SetSignature(config_.unknownSignature);
            break;
        case SimFault::Locked: {
            // Both lock bits programmed, as Write Lock Bits would leave them.
            const LockRules& rules = LockRulesOf(target_.chip());
            target_.SetLock(static_cast<uint8_t>(target_.Lock() & ~(rules.lb1 | rules.lb2)));
            break;
        }
        case SimFault::StuckByte:
            target_.SetStuckCell(config_.stuckMemory, config_.stuckAddress);
            break;
        case SimFault::Disappears:
            target_.DisappearAfter(config_.disappearAfter);
            break;
        default:
            break;
    }
    DriveSerial();
    DriveParallel();
}

SimPort::~SimPort() {
    try {
        if (SaveDue())
            Save();
    } catch (...) {
        // Nothing may leave a destructor; a state that cannot be saved is lost.
    }
}

bool SimPort::Save() {
    if (config_.stateFile.empty())
        return true;
    // Contents left uncertain by a cut off command stay marked until the
    // memories were read, written or erased: fuses and the signature alone
    // say nothing of them.
    const bool settled = !uncertain_ || target_.memoriesUsed();
    std::string error;
    if (!SaveChipState(config_.stateFile, target_.chip(), target_.memory(), &error,
                       config_.stateLock, !settled)) {
        AddWarning(error);
        return false;
    }
    uncertain_ = !settled;
    target_.ClearDirty();
    return true;
}

void SimPort::SaveChanging() {
    std::string error;
    if (!SaveChipState(config_.stateFile, target_.chip(), target_.memory(), &error,
                       config_.stateLock, true))
        AddWarning(error);
}

void SimPort::CommandEnded() {
    if (SaveDue())
        Save();
}

bool SimPort::SaveDue() const {
    return target_.dirty() || (uncertain_ && target_.memoriesUsed());
}

void SimPort::AddWarning(const std::string& text) {
    // A save that fails again (the port closed, then the simulator dropped)
    // has nothing new to say.
    const std::size_t lastLine = warning_.rfind('\n');
    if (warning_.substr(lastLine == std::string::npos ? 0 : lastLine + 1) == text)
        return;
    if (!warning_.empty())
        warning_.push_back('\n');
    warning_.append(text);
}

// --- serial ----------------------------------------------------------------

SerialOpenResult SimPort::OpenSerial(std::string_view /*comName*/) {
    SerialAccess();
    if (config_.fault == SimFault::NoPort)
        return SerialOpenResult::OpenFailed;
    if (!serialOpen_) {
        serialOpen_ = true;
        // The tty layer raises RTS and DTR when a port is opened.
        rts_ = dtr_ = true;
        break_ = false;
        DriveSerial();
    }
    return SerialOpenResult::Ok;
}

void SimPort::CloseSerial() {
    SerialAccess();
    if (!serialOpen_)
        return;
    serialOpen_ = false;
    rts_ = dtr_ = break_ = false;
    DriveSerial();
    if (target_.dirty())
        Save();
}

void SimPort::EscapeCommFunction(CommFunction function) {
    SerialAccess();
    if (!serialOpen_)
        return;
    switch (function) {
        case CommFunction::SetRts:
            rts_ = true;
            break;
        case CommFunction::ClrRts:
            rts_ = false;
            break;
        case CommFunction::SetDtr:
            dtr_ = true;
            break;
        case CommFunction::ClrDtr:
            dtr_ = false;
            break;
        case CommFunction::SetBreak:
            break_ = true;
            break;
        case CommFunction::ClrBreak:
            break_ = false;
            break;
    }
    DriveSerial();
}

uint32_t SimPort::GetModemStatus() {
    SerialAccess();
    if (!serialOpen_ || !IsSerialCable(config_.cable) || config_.fault == SimFault::NoCable) {
        return 0;
    }
    const bool miso = ChipOnCable() ? ChipMiso() : true;
    return SerialModemStatus(config_.cable, dtr_, break_, miso);
}

void SimPort::DriveSerial() {
    if (!IsSerialCable(config_.cable) || !ChipOnCable())
        return;
    const TargetLines lines = SerialTargetLines(config_.cable, rts_, dtr_, break_);
    target_.SetLines(lines.reset, lines.sck, lines.mosi);
}

// --- parallel --------------------------------------------------------------

bool SimPort::ParallelDriven() const {
    return !config_.bidirectionalParallel || (control_ & kDirectionBit) == 0;
}

void SimPort::DriveParallel() {
    if (config_.cable != CableKind::Parallel || !ChipOnCable())
        return;
    if (ParallelDriven()) {
        const TargetLines lines = ParallelTargetLines(data_);
        target_.SetLines(lines.reset, lines.sck, lines.mosi);
    } else {
        // Undriven lines: the target's pull-up holds RESET high, so it runs.
        target_.SetLines(true, false, false);
    }
}

void SimPort::WriteData(uint16_t /*base*/, uint8_t value) {
    ParallelAccess();
    if (config_.fault == SimFault::NoPort)
        return;
    data_ = value;
    DriveParallel();
}

uint8_t SimPort::ReadData(uint16_t /*base*/) {
    ParallelAccess();
    if (config_.fault == SimFault::NoPort || !ParallelDriven())
        return 0xFF;
    return data_;
}

uint8_t SimPort::Status() {
    if (config_.fault == SimFault::NoPort)
        return 0xFF;
    const bool miso = config_.cable == CableKind::Parallel && ChipOnCable() ? ChipMiso() : true;
    return ParallelStatus(miso);
}

uint16_t SimPort::ReadWord(uint16_t /*base*/) {
    ParallelAccess();
    if (config_.fault == SimFault::NoPort)
        return 0xFFFF;
    const uint8_t data = ParallelDriven() ? data_ : 0xFF;
    return static_cast<uint16_t>((Status() << 8) | data);
}

uint8_t SimPort::ReadStatus(uint16_t /*base*/) {
    ParallelAccess();
    return Status();
}

uint8_t SimPort::ReadControl(uint16_t /*base*/) {
    ParallelAccess();
    if (config_.fault == SimFault::NoPort)
        return 0xFF;
    return control_;
}

void SimPort::WriteControl(uint16_t /*base*/, uint8_t value) {
    ParallelAccess();
    if (config_.fault == SimFault::NoPort)
        return;
    control_ = value;
    DriveParallel();
}

// --- names -----------------------------------------------------------------

std::string_view SimFaultName(SimFault fault) {
    switch (fault) {
        case SimFault::None:
            return "none";
        case SimFault::NoPort:
            return "noport";
        case SimFault::NoCable:
            return "nocable";
        case SimFault::NoTarget:
            return "notarget";
        case SimFault::OutOfStep:
            return "outofstep";
        case SimFault::ErasedSignature:
            return "erased";
        case SimFault::UnknownSignature:
            return "unknown";
        case SimFault::Locked:
            return "locked";
        case SimFault::StuckByte:
            return "stuck";
        case SimFault::Disappears:
            return "disappears";
        case SimFault::EchoLost:
            return "echolost";
    }
    return "?";
}

bool ParseSimFault(std::string_view text, SimFault* fault) {
    for (SimFault f : kFaults) {
        const std::string_view name = SimFaultName(f);
        if (name.size() != text.size())
            continue;
        bool same = true;
        for (std::size_t i = 0; i < name.size() && same; ++i) {
            same = std::tolower(static_cast<unsigned char>(text[i])) == name[i];
        }
        if (same) {
            *fault = f;
            return true;
        }
    }
    return false;
}

}  // namespace ostrel::sim
