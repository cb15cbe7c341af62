#include "sim/simulator_slot.h"

#include <filesystem>
#include <system_error>
#include <utility>

#include "platform/paths.h"
#include "sim/chip_clock.h"
#include "sim/chip_table.h"
#include "sim/sim_state_file.h"

namespace ostrel::sim {

std::string ChipOfStateFile(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(FsPath(path), ec))
        return {};
    for (const ChipInfo& chip : AllChips()) {
        StateLoad load = LoadChipState(path, chip);
        if (load.fromFile)
            return std::string(chip.name);
    }
    return {};
}

SimulatorSlot::SimulatorSlot(Clock& clock, std::string stateFile, Reporter report)
    : clock_(clock),
      stateFile_(std::move(stateFile)),
      report_(std::move(report)),
      clockFile_(ClockPathBeside(stateFile_)) {
    chip_ = ChipOfStateFile(stateFile_);
    if (chip_.empty())
        chip_ = std::string(kDefaultChipName);
    ClockLoad load = LoadChipClock(clockFile_);
    clockHz_ = storedClockHz_ = load.hz;
    clockWarning_ = std::move(load.warning);
    // A file that holds no clock is replaced at the first start.
    if (!clockWarning_.empty())
        storedClockHz_ = kUnknownClock;
}

SimulatorSlot::~SimulatorSlot() {
    try {
        Close();
    } catch (...) {
        // Nothing may leave a destructor; a state that cannot be saved is lost.
    }
}

void SimulatorSlot::ReportNew() {
    const std::string& warning = port_->warning();
    if (warning.size() <= reported_)
        return;
    std::size_t start = reported_;
    if (start > 0 && warning[start] == '\n')
        ++start;
    reported_ = warning.size();
    if (report_ && start < warning.size())
        report_(warning.substr(start));
}

bool SimulatorSlot::Close() {
    if (!port_)
        return true;
    port_->CloseSerial();
    bool saved = !port_->target().dirty() || port_->Save();
    ReportNew();
    port_.reset();
    reported_ = 0;
    lock_.reset();  // only now that the state is saved may another program take the chip
    return saved;
}

void SimulatorSlot::Choose(std::string_view chip) {
    Close();
    chip_ = std::string(chip);
}

void SimulatorSlot::SetChipClock(uint32_t hz) {
    Close();
    clockHz_ = hz;
}

void SimulatorSlot::SetBoard(const Board& board) {
    Close();
    board_ = board;
}

void SimulatorSlot::RestoreFusesOnStart(bool on) {
    Close();
    restoreFuses_ = on;
}

void SimulatorSlot::SetAccessCosts(uint32_t serialNs, uint32_t parallelNs) {
    Close();
    serialAccessNs_ = serialNs;
    parallelAccessNs_ = parallelNs;
}

bool SimulatorSlot::Start() {
    if (port_)
        return true;
    startProblem_.clear();
    if (!stateFile_.empty()) {
        std::string holder;
        lock_ = FileLock::TryLock(stateFile_, &holder);
        if (!lock_) {
            startProblem_ = holder.starts_with("cannot")
                                ? "The simulated chip cannot be used: " + holder + "."
                                : "The simulated chip (" + stateFile_ + ") is in use by " + holder +
                                      "; only one program at a time may use it.";
            if (report_)
                report_(startProblem_);
            return false;
        }
    }
    SimConfig config;
    config.cable = CableKind::Cablet2;
    config.chip = chip_;
    config.stateFile = stateFile_;
    config.stateLock = &lock_;
    config.chipClockHz = clockHz_;
    config.board = board_;
    config.restoreFuses = restoreFuses_;
    config.serialAccessNs = serialAccessNs_;
    config.parallelAccessNs = parallelAccessNs_;
    port_ = std::make_unique<SimPort>(clock_, config);
    restoreFuses_ = false;  // once: the restored fuses are in the state file now
    // A state file of another chip is replaced by this chip's: say why.
    ReportNew();
    // The clock goes with the chip the state file now holds.
    if (!clockWarning_.empty() && report_)
        report_(clockWarning_);
    clockWarning_.clear();
    if (clockHz_ != storedClockHz_) {
        // A clock that cannot be kept is said once; the next run then
        // starts on the clock the file still holds.
        std::string error;
        if (!SaveChipClock(clockFile_, clockHz_, &error) && report_)
            report_(error);
        storedClockHz_ = clockHz_;
    }
    return true;
}

SerialOpenResult SimulatorSlot::OpenSerial(std::string_view comName) {
    // A chip another program holds is a port that does not open.
    if (!Start())
        return SerialOpenResult::OpenFailed;
    return port_->OpenSerial(comName);
}

void SimulatorSlot::CloseSerial() {
    if (port_)
        port_->CloseSerial();
}

void SimulatorSlot::CommandEnded() {
    if (!port_)
        return;
    port_->CommandEnded();
    ReportNew();
}

void SimulatorSlot::EscapeCommFunction(CommFunction function) {
    if (port_)
        port_->EscapeCommFunction(function);
}

uint32_t SimulatorSlot::GetModemStatus() {
    return port_ ? port_->GetModemStatus() : 0;
}

void SimulatorSlot::WriteData(uint16_t base, uint8_t value) {
    if (port_)
        port_->WriteData(base, value);
}

uint8_t SimulatorSlot::ReadData(uint16_t base) {
    return port_ ? port_->ReadData(base) : 0xFF;
}

uint16_t SimulatorSlot::ReadWord(uint16_t base) {
    return port_ ? port_->ReadWord(base) : 0xFFFF;
}

uint8_t SimulatorSlot::ReadStatus(uint16_t base) {
    return port_ ? port_->ReadStatus(base) : 0xFF;
}

uint8_t SimulatorSlot::ReadControl(uint16_t base) {
    return port_ ? port_->ReadControl(base) : 0xFF;
}

void SimulatorSlot::WriteControl(uint16_t base, uint8_t value) {
    if (port_)
        port_->WriteControl(base, value);
}

}  // namespace ostrel::sim
