// The GPIO character device as the GPIO port uses it: three output lines set
// together and one input line, requested by this program. A thin seam over
// libgpiod, one file per API of the library: gpio_lines_v1.cpp for libgpiod
// 1.x (Debian 12); libgpiod 2.x, whose calls differ, needs a twin of that
// file implementing this class with its calls (gpiod_chip_open,
// gpiod_request_config, gpiod_line_settings, gpiod_line_request_set_values,
// gpiod_line_request_get_value), and nothing else changes. No libgpiod
// header here, so nothing above sees it.
#pragma once

#include <memory>
#include <span>
#include <string>

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
    // input, on the chip at `chipPath`, for the consumer "ostrel". Null on
    // failure, with `failure` filled in.
    static std::unique_ptr<GpioLines> Request(const std::string& chipPath,
                                              std::span<const unsigned> outputs,
                                              std::span<const int> values, unsigned input,
                                              Failure* failure);
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
