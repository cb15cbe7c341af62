#include "platform/linux/linux_gpio_port.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <vector>

#include "platform/linux/port_hints.h"

namespace ostrel {

namespace {

// The outputs as the byte of pins has them: SCK, MOSI, RESET.
constexpr std::array<uint8_t, 3> kOutputBits{0x01, 0x02, 0x04};
constexpr uint8_t kMisoBit = 0x08;
// At rest and when let go: RESET high (the target runs), SCK and MOSI low.
constexpr std::array<int, 3> kRest{0, 0, 1};

}  // namespace

LinuxGpioPort::~LinuxGpioPort() {
    ClosePins();
}

PinOpenResult LinuxGpioPort::OpenPins(std::string_view portName) {
    if (portName.substr(0, kPortName.size()) != kPortName ||
        (portName.size() > kPortName.size() && portName[kPortName.size()] != ':'))
        return PinOpenResult::NotThisPort;
    ClosePins();
    note_.clear();
    error_.clear();
    if (portName.size() > kPortName.size()) {
        std::string problem;
        if (!ParseGpioWiring(portName.substr(kPortName.size() + 1), &wiring_, &problem)) {
            note_ = "The GPIO lines '" + std::string(portName.substr(kPortName.size() + 1, 40)) +
                    "': " + problem + ".";
            return PinOpenResult::Failed;
        }
    }
    if (wiring_.chip.empty()) {
        note_ =
            "No GPIO lines are chosen: give them with --gpio CHIP:SCK,MOSI,RESET,MISO "
            "(for example --gpio pinctrl-bcm2711:11,10,25,9).";
        return PinOpenResult::Failed;
    }
    std::string chipPath = wiring_.chip;
    if (GpioChipIsLabel(wiring_)) {
        chipPath = FindChip();
        if (chipPath.empty())
            return PinOpenResult::Failed;
    }
    const std::array<unsigned, 3> outputs{wiring_.sck, wiring_.mosi, wiring_.reset};
    GpioLines::Failure failure;
    lines_ = GpioLines::Request(sys_, chipPath, outputs, kRest, wiring_.miso, &failure);
    if (lines_ == nullptr) {
        unsigned beyond = 0;
        bool found = false;
        for (unsigned line : {wiring_.sck, wiring_.mosi, wiring_.reset, wiring_.miso}) {
            if (!found && line >= failure.chipLines) {
                beyond = line;
                found = true;
            }
        }
        if (failure.error == EINVAL && found) {
            note_ = chipPath + " has no line " + std::to_string(beyond) + ": its lines are 0 to " +
                    std::to_string(failure.chipLines > 0 ? failure.chipLines - 1 : 0) + ".";
        } else if (failure.error == EBUSY && !failure.holder.empty()) {
            note_ = "A line of " + chipPath + " is used by \"" + failure.holder.substr(0, 32) +
                    "\": choose other lines.";
        } else {
            note_ = OpenFailureHint(sys_, failure.error != 0 ? failure.error : EIO, chipPath,
                                    PortKind::Gpio, kPortName);
        }
        return PinOpenResult::Failed;
    }
    note_ = "GPIO: " + GpioWiringText(wiring_) + " (SCK, MOSI, RESET, MISO)";
    if (chipPath != wiring_.chip)
        note_ += " on " + chipPath;
    return PinOpenResult::Ok;
}

std::string LinuxGpioPort::FindChip() {
    const std::vector<GpioLines::Chip> chips = GpioLines::ListChips(sys_);
    const bool header = wiring_.chip == kHeaderChip;
    // The header's labels in order (a Pi has one of them), or the one named.
    std::vector<std::string_view> wanted;
    if (header)
        wanted.assign(std::begin(kHeaderChipLabels), std::end(kHeaderChipLabels));
    else
        wanted.push_back(wiring_.chip);
    for (std::string_view label : wanted) {
        for (const GpioLines::Chip& chip : chips) {
            if (chip.label == label)
                return chip.path;
        }
    }
    note_ = header ? "No GPIO chip of a Raspberry Pi's header (pinctrl-rp1, pinctrl-bcm2711 or "
                     "pinctrl-bcm2835) is here"
                   : "No GPIO chip is labelled \"" + wiring_.chip + "\"";
    if (chips.empty()) {
        note_ += ", nor any other GPIO chip.";
        return {};
    }
    note_ += ": the chips are";
    for (std::size_t i = 0; i < chips.size() && i < 16; ++i) {
        note_ += (i == 0 ? " " : ", ") + chips[i].path.substr(5) + " (\"" +
                 chips[i].label.substr(0, 32) + "\", " + std::to_string(chips[i].lines) + " lines)";
    }
    note_ += ". Name one with --gpio CHIP:SCK,MOSI,RESET,MISO.";
    return {};
}

void LinuxGpioPort::ClosePins() {
    if (lines_ == nullptr)
        return;
    // Whatever the command did, the target is let run.
    lines_->Set(kRest);
    lines_.reset();
}

bool LinuxGpioPort::WritePins(uint8_t state) {
    if (lines_ == nullptr) {
        error_ = "the GPIO lines are not open";
        return false;
    }
    std::array<int, 3> values{};
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = (state & kOutputBits[i]) != 0 ? 1 : 0;
    if (!lines_->Set(values)) {
        error_ = std::string("setting the lines failed: ") + std::strerror(errno);
        return false;
    }
    return true;
}

bool LinuxGpioPort::ReadPins(uint8_t* pins) {
    if (lines_ == nullptr) {
        error_ = "the GPIO lines are not open";
        return false;
    }
    const int level = lines_->Get();
    if (level < 0) {
        error_ = std::string("reading MISO failed: ") + std::strerror(errno);
        return false;
    }
    *pins = level != 0 ? kMisoBit : 0;
    return true;
}

bool LinuxGpioPort::Transfer(std::span<const uint8_t> states, std::span<uint8_t> samples) {
    for (std::size_t i = 0; i < states.size() && i < samples.size(); ++i) {
        if (!ReadPins(&samples[i]) || !WritePins(states[i]))
            return false;
    }
    return true;
}

}  // namespace ostrel
