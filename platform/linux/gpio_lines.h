// The GPIO character device as the GPIO port uses it: three output lines set
// together and one input line, requested by this program. A thin seam over
// the kernel's GPIO interface (gpio_lines_v2.cpp, the character device's
// version 2 ioctls through SysCalls), so the tests drive it against a fake
// chip at the system-call level. No kernel header here, so nothing above
// sees it.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/linux/sys_calls.h"

namespace ostrel {

class GpioLines {
  public:
    // Why a request failed: the system's error number (ENOENT: no such chip;
    // EACCES: no permission; EBUSY: a line is held, by `holder` when the
    // kernel says; EINVAL: the chip has no such line, it has `chipLines`).
    struct Failure {
        int error = 0;
        std::string holder;
        unsigned chipLines = 0;
    };

    // Requests `outputs` as outputs at `values` (as many) and `input` as an
    // input, on the chip at `chipPath`, for the consumer "ostrel", through
    // `sys` (which must outlive the lines). Null on failure, with `failure`
    // filled in.
    static std::unique_ptr<GpioLines> Request(SysCalls& sys, const std::string& chipPath,
                                              std::span<const unsigned> outputs,
                                              std::span<const int> values, unsigned input,
                                              Failure* failure);
    // A GPIO chip of the machine: /dev/gpiochipN, its label and its lines.
    struct Chip {
        std::string path;
        std::string label;
        unsigned lines = 0;
    };
    // The chips /dev/gpiochip0 to /dev/gpiochip63 that answer as GPIO chips.
    static std::vector<Chip> ListChips(SysCalls& sys);

    // Releases the lines (the outputs keep their last values) and the chip.
    ~GpioLines();
    GpioLines(const GpioLines&) = delete;
    GpioLines& operator=(const GpioLines&) = delete;

    // Sets every output at once: one system call. False on failure.
    bool Set(std::span<const int> values);
    // The input's level (0 or 1): one system call. -1 on failure.
    int Get();

  private:
    struct Handle;
    explicit GpioLines(std::unique_ptr<Handle> handle);
    std::unique_ptr<Handle> handle_;
};

}  // namespace ostrel
