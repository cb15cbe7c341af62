#include "platform/gpio_wiring.h"

#include <charconv>
#include <filesystem>
#include <system_error>

namespace ostrel {

namespace {

bool ParseNumber(std::string_view text, unsigned* value) {
    if (text.empty() || text.size() > 6)
        return false;
    const char* end = text.data() + text.size();
    auto [at, error] = std::from_chars(text.data(), end, *value);
    return error == std::errc() && at == end;
}

constexpr std::string_view kChipPrefix = "/dev/gpiochip";

// A chip's label as the kernel has it (pinctrl-rp1, pinctrl-bcm2711): at most
// 31 letters, digits and - _ . characters.
bool IsLabel(std::string_view text) {
    if (text.empty() || text.size() > 31)
        return false;
    for (char c : text) {
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!letter && !(c >= '0' && c <= '9') && c != '-' && c != '_' && c != '.')
            return false;
    }
    return true;
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
    } else if ((chip.substr(0, 5) == "/dev/" && chip.size() < 200) || IsLabel(chip)) {
        w.chip = std::string(chip);
    } else {
        *problem = "the chip is a number, gpiochipN, /dev/gpiochipN or a chip's label";
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

std::string ShortGpioWiringText(const GpioWiring& wiring) {
    if (GpioChipIsLabel(wiring))
        return GpioWiringText(wiring);
    unsigned number = 0;
    if (wiring.chip.substr(0, kChipPrefix.size()) != kChipPrefix ||
        !ParseNumber(std::string_view(wiring.chip).substr(kChipPrefix.size()), &number))
        return {};
    return std::to_string(number) + ":" + std::to_string(wiring.sck) + "," +
           std::to_string(wiring.mosi) + "," + std::to_string(wiring.reset) + "," +
           std::to_string(wiring.miso);
}

bool GpioChipIsLabel(const GpioWiring& wiring) {
    return !wiring.chip.empty() && wiring.chip.front() != '/';
}

bool GpioChipsPresent() {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/dev", error)) {
        if (entry.path().filename().string().rfind("gpiochip", 0) == 0)
            return true;
    }
    return false;
}

}  // namespace ostrel
