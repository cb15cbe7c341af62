// A stand-in for libgpiod 1.x, linked into the tests in place of the
// library: its functions (fake_libgpiod.cpp, compiled against the real
// gpiod.h) act on fake GPIO chips, so GpioLines and LinuxGpioPort run in the
// tests as they are. A chip has its lines; four of them are wired straight
// to a simulated chip (the parallel side of a sim::SimPort, whose cable is
// the same direct wiring: MOSI, SCK and RESET in, MISO out). Every request,
// set and get is one ioctl of the character device and costs its time on the
// clock; the simulated chip sees each set as one change of its lines. A chip
// can be missing or refuse the user, lines can be held by other programs,
// and the chip can start failing after a number of calls.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/clock.h"
#include "sim/sim_port.h"

namespace ostrel::testing {

struct FakeGpioChip {
    std::string path = "/dev/gpiochip0";
    unsigned lines = 54;
    int openError = 0;                       // errno of gpiod_chip_open (0: opens)
    std::map<unsigned, std::string> heldBy;  // lines another program holds, by consumer
    // The lines wired to the target, and the target.
    unsigned sck = 11;
    unsigned mosi = 10;
    unsigned reset = 25;
    unsigned miso = 9;
    sim::SimPort* board = nullptr;
    // One line ioctl of the character device (a GPIOHANDLE_SET_LINE_VALUES
    // or GET_LINE_VALUES): a system call and the GPIO block's register
    // access; about a microsecond on a Raspberry Pi.
    uint64_t accessNs = 1000;
    // Calls after which every set and get fails with EIO (-1: never).
    int64_t failAfterCalls = -1;

    // --- what happened ---
    int opens = 0;
    int requests = 0;
    int releases = 0;
    uint64_t sets = 0;
    uint64_t gets = 0;
    std::map<unsigned, int> level;         // last level driven per output line
    std::map<unsigned, bool> requestedBy;  // lines this program holds now

    // Drives the target from the levels of the wired output lines.
    void DriveBoard();
};

class FakeGpio {
  public:
    explicit FakeGpio(Clock& clock);
    ~FakeGpio();
    FakeGpio(const FakeGpio&) = delete;
    FakeGpio& operator=(const FakeGpio&) = delete;

    FakeGpioChip& Add(std::string path, sim::SimPort* board);
    FakeGpioChip* Find(const std::string& path);

    static FakeGpio* Installed();

    Clock& clock;
    std::vector<std::unique_ptr<FakeGpioChip>> chips;
    int chipsOpen = 0;

  private:
    FakeGpio* previous_;
};

}  // namespace ostrel::testing
