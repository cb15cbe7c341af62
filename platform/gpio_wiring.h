// The GPIO lines the cable is wired to, as the user names them: the chip
// and four line numbers. Shared by the console's option, the settings file
// and the GPIO backend.
#pragma once

#include <string>
#include <string_view>

namespace ostrel {

struct GpioWiring {
    // "/dev/gpiochip0", or a chip's label ("pinctrl-rp1"; kHeaderChip: the
    // Raspberry Pi header's chip) found among the chips when the lines are
    // opened; empty: no lines chosen.
    std::string chip;
    unsigned sck = 0;
    unsigned mosi = 0;
    unsigned reset = 0;
    unsigned miso = 0;
};

// Reads a wiring as the user writes it, "CHIP:SCK,MOSI,RESET,MISO": CHIP is
// a number (0 for /dev/gpiochip0), a name ("gpiochip0"), a path or a chip's
// label ("pinctrl-bcm2711"), the lines are numbers of that chip. False, with `problem` saying what
// is wrong, for anything else, or for a line named twice.
bool ParseGpioWiring(std::string_view text, GpioWiring* wiring, std::string* problem);
// The wiring as ParseGpioWiring reads it.
std::string GpioWiringText(const GpioWiring& wiring);
// The same with the chip as its number ("0:11,10,25,9") when it is a
// /dev/gpiochipN, or by its label; empty for a path of another form.
std::string ShortGpioWiringText(const GpioWiring& wiring);

// Whether the wiring names its chip by a label, to be found when it opens.
bool GpioChipIsLabel(const GpioWiring& wiring);

// The chip name that means the Raspberry Pi header's chip, whatever its
// number: the first chip labelled as one of kHeaderChipLabels (Pi 5; Pi
// 4/400/CM4; Pi Zero/1/2/3), whose lines are the BCM GPIO numbers.
inline constexpr std::string_view kHeaderChip = "pi";
inline constexpr std::string_view kHeaderChipLabels[] = {"pinctrl-rp1", "pinctrl-bcm2711",
                                                         "pinctrl-bcm2835"};

// The wiring of the Raspberry Pi's header that most guides use: SCK on GPIO
// 11 (pin 23), MOSI on GPIO 10 (pin 19), RESET on GPIO 25 (pin 22), MISO on
// GPIO 9 (pin 21), of the header's chip. Taken when no lines are chosen.
inline constexpr std::string_view kDefaultGpioWiring = "pi:11,10,25,9";

// Whether the machine has a GPIO chip (/dev/gpiochip*) at all.
bool GpioChipsPresent();

}  // namespace ostrel
