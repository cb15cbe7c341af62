#include "platform/linux/linux_gpio_port.h"

#include <array>
#include <cerrno>
#include <charconv>
#include <cstring>

#include "platform/linux/port_hints.h"

namespace ostrel {

namespace {

// The outputs as the byte of pins has them: SCK, MOSI, RESET.
constexpr std::array<uint8_t, 3> kOutputBits{0x01, 0x02, 0x04};
constexpr uint8_t kMisoBit = 0x08;
// At rest and when let go: RESET high (the target runs), SCK and MOSI low.
constexpr std::array<int, 3> kRest{0, 0, 1};

bool ParseNumber(std::string_view text, unsigned* value) {
    if (text.empty() || text.size() > 6)
        return false;
    const char* end = text.data() + text.size();
    auto [at, error] = std::from_chars(text.data(), end, *value);
    return error == std::errc() && at == end;
}

}  // namespace

bool ParseGpioWiring(std::string_view text, GpioWiring* wiring, std::string* problem) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string_view::npos) {
        *problem = "expected CHIP:SCK,MOSI,RESET,MISO (for example 0:11,10,25,9)";
        return false;
    }
    std::string_view chip = text.substr(0, colon);
    GpioWiring w;
    unsigned number = 0;
    if (ParseNumber(chip, &number)) {
        w.chip = "/dev/gpiochip" + std::to_string(number);
    } else if (chip.substr(0, 8) == "gpiochip" && ParseNumber(chip.substr(8), &number)) {
        w.chip = "/dev/" + std::string(chip);
    } else if (chip.substr(0, 5) == "/dev/" && chip.size() < 200) {
        w.chip = std::string(chip);
    } else {
        *problem = "the chip is a number, gpiochipN or /dev/gpiochipN";
        return false;
    }
    unsigned* lines[] = {&w.sck, &w.mosi, &w.reset, &w.miso};
    std::string_view rest = text.substr(colon + 1);
    for (std::size_t i = 0; i < 4; ++i) {
        const std::size_t comma = rest.find(',');
        std::string_view item = i < 3 ? rest.substr(0, comma) : rest;
        if ((i < 3 && comma == std::string_view::npos) || !ParseNumber(item, lines[i])) {
            *problem = "expected four line numbers: SCK,MOSI,RESET,MISO";
            return false;
        }
        if (i < 3)
            rest = rest.substr(comma + 1);
    }
    for (std::size_t i = 0; i < 4; ++i) {
        for (std::size_t j = i + 1; j < 4; ++j) {
            if (*lines[i] == *lines[j]) {
                *problem = "line " + std::to_string(*lines[i]) + " is named twice";
                return false;
            }
        }
    }
    *wiring = w;
    return true;
}

std::string GpioWiringText(const GpioWiring& wiring) {
    if (wiring.chip.empty())
        return {};
    return wiring.chip + ":" + std::to_string(wiring.sck) + "," + std::to_string(wiring.mosi) +
           "," + std::to_string(wiring.reset) + "," + std::to_string(wiring.miso);
}

LinuxGpioPort::~LinuxGpioPort() {
    ClosePins();
}

PinOpenResult LinuxGpioPort::OpenPins(std::string_view portName) {
    if (portName != kPortName)
        return PinOpenResult::NotThisPort;
    ClosePins();
    note_.clear();
    error_.clear();
    if (wiring_.chip.empty()) {
        note_ =
            "No GPIO lines are chosen: give them with --gpio CHIP:SCK,MOSI,RESET,MISO "
            "(for example --gpio 0:11,10,25,9).";
        return PinOpenResult::Failed;
    }
    const std::array<unsigned, 3> outputs{wiring_.sck, wiring_.mosi, wiring_.reset};
    GpioLines::Failure failure;
    lines_ = GpioLines::Request(wiring_.chip, outputs, kRest, wiring_.miso, &failure);
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
            note_ = wiring_.chip + " has no line " + std::to_string(beyond) +
                    ": its lines are 0 to " +
                    std::to_string(failure.chipLines > 0 ? failure.chipLines - 1 : 0) + ".";
        } else if (failure.error == EBUSY && !failure.holder.empty()) {
            note_ = "A line of " + wiring_.chip + " is used by \"" + failure.holder.substr(0, 32) +
                    "\": choose other lines.";
        } else {
            note_ = OpenFailureHint(sys_, failure.error != 0 ? failure.error : EIO, wiring_.chip,
                                    PortKind::Gpio, kPortName);
        }
        return PinOpenResult::Failed;
    }
    note_ = "GPIO: " + GpioWiringText(wiring_) + " (SCK, MOSI, RESET, MISO)";
    return PinOpenResult::Ok;
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
