// The simulated chip's clock as people write it (128k, 1M, 3.6864M), and the
// small file beside the simulator's state file that keeps a clock chosen by
// hand from one run to the next.
//
// The clock file holds one line, the clock in Hz ("128000"). It exists only
// while the clock differs from the chip's factory clock; without it the chip
// runs on its factory clock.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ostrel::sim {

// The clocks a simulated chip may run on: the slowest the data sheets allow
// for serial programming is some kHz, the fastest AVR parts take 32 MHz.
inline constexpr uint32_t kMinChipClockHz = 1000;
inline constexpr uint32_t kMaxChipClockHz = 32000000;

// Name of the clock file in the start directory.
inline constexpr std::string_view kClockFileName = "ostrel-sim.clock";

// Reads a clock: plain Hz ("32768"), or a number with a fraction and the
// suffix k, K (kHz) or M (MHz): "128k", "3.6864M". It must come to whole Hz
// within kMinChipClockHz..kMaxChipClockHz. Empty on success (with *hz set);
// otherwise one line that names the text and says what is wrong.
std::string ReadChipClock(std::string_view text, uint32_t* hz);

// "32.768 kHz", "128 kHz", "1 MHz", "3.6864 MHz", "999 Hz".
std::string ClockText(uint32_t hz);

// The clock file beside the state file `statePath` (empty when that is empty).
std::string ClockPathBeside(const std::string& statePath);

struct ClockLoad {
    uint32_t hz = 0;  // 0: the chip's factory clock
    // One line telling why a file that exists could not be used; empty otherwise.
    std::string warning;
};

// Reads the clock file at `path`. A missing file gives the factory clock
// without a warning; a file that cannot be read, is too long or holds no
// clock gives the factory clock and a warning.
ClockLoad LoadChipClock(const std::string& path);

// Keeps `hz` in the clock file (0: removes it). False with a one-line reason
// in *error when that fails.
bool SaveChipClock(const std::string& path, uint32_t hz, std::string* error);

}  // namespace ostrel::sim
