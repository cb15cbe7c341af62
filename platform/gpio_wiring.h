// The GPIO lines the cable is wired to, as the user names them: the chip
// and four line numbers. Shared by the console's option, the settings file
// and the GPIO backend.
#pragma once

#include <string>
#include <string_view>

namespace ostrel {

struct GpioWiring {
    std::string chip;  // "/dev/gpiochip0"; empty: no lines chosen
    unsigned sck = 0;
    unsigned mosi = 0;
    unsigned reset = 0;
    unsigned miso = 0;
};

// Reads a wiring as the user writes it, "CHIP:SCK,MOSI,RESET,MISO": CHIP is
// a number (0 for /dev/gpiochip0), a name ("gpiochip0") or a path, the lines
// are numbers of that chip. False, with `problem` saying what is wrong, for
// anything else, or for a line named twice.
bool ParseGpioWiring(std::string_view text, GpioWiring* wiring, std::string* problem);
// The wiring as ParseGpioWiring reads it.
std::string GpioWiringText(const GpioWiring& wiring);
// The same with the chip as its number ("0:11,10,25,9") when it is a
// /dev/gpiochipN; empty when it is not one.
std::string ShortGpioWiringText(const GpioWiring& wiring);

// The wiring of the Raspberry Pi's header that most guides use: SCK on GPIO
// 11 (pin 23), MOSI on GPIO 10 (pin 19), RESET on GPIO 25 (pin 22), MISO on
// GPIO 9 (pin 21), all of /dev/gpiochip0. Taken when no lines are chosen.
inline constexpr std::string_view kDefaultGpioWiring = "0:11,10,25,9";

// Whether the machine has a GPIO chip (/dev/gpiochip*) at all.
bool GpioChipsPresent();

}  // namespace ostrel
