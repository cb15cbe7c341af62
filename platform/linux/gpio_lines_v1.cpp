// GpioLines on libgpiod 1.x: a chip, a bulk of output lines requested and set
// together (GPIOHANDLE_SET_LINE_VALUES_IOCTL underneath, one call for all),
// and the input line.
#include <gpiod.h>

#include <cerrno>
#include <utility>
#include <vector>

#include "platform/linux/gpio_lines.h"

namespace ostrel {

namespace {
constexpr char kConsumer[] = "ostrel";
}  // namespace

struct GpioLines::Handle {
    gpiod_chip* chip = nullptr;
    gpiod_line_bulk outputs{};
    gpiod_line* input = nullptr;
    bool outputsRequested = false;

    ~Handle() {
        if (input != nullptr)
            gpiod_line_release(input);
        if (outputsRequested)
            gpiod_line_release_bulk(&outputs);
        if (chip != nullptr)
            gpiod_chip_close(chip);
    }
};

GpioLines::GpioLines(std::unique_ptr<Handle> handle) : handle_(std::move(handle)) {}

GpioLines::~GpioLines() = default;

std::unique_ptr<GpioLines> GpioLines::Request(const std::string& chipPath,
                                              std::span<const unsigned> outputs,
                                              std::span<const int> values, unsigned input,
                                              Failure* failure) {
    *failure = {};
    auto handle = std::make_unique<Handle>();
    errno = 0;
    handle->chip = gpiod_chip_open(chipPath.c_str());
    if (handle->chip == nullptr) {
        failure->error = errno != 0 ? errno : ENOENT;
        return nullptr;
    }
    failure->chipLines = gpiod_chip_num_lines(handle->chip);
    std::vector<unsigned> all(outputs.begin(), outputs.end());
    all.push_back(input);
    for (unsigned offset : all) {
        if (offset >= failure->chipLines || outputs.size() != values.size() ||
            outputs.size() > GPIOD_LINE_BULK_MAX_LINES) {
            failure->error = EINVAL;
            return nullptr;
        }
    }
    errno = 0;
    std::vector<unsigned> offsets(outputs.begin(), outputs.end());
    if (gpiod_chip_get_lines(handle->chip, offsets.data(), static_cast<unsigned>(offsets.size()),
                             &handle->outputs) != 0) {
        failure->error = errno != 0 ? errno : EINVAL;
        return nullptr;
    }
    handle->input = gpiod_chip_get_line(handle->chip, input);
    if (handle->input == nullptr) {
        failure->error = errno != 0 ? errno : EINVAL;
        return nullptr;
    }
    // A line held by another program names its holder.
    for (unsigned i = 0; i < handle->outputs.num_lines; ++i) {
        gpiod_line* line = handle->outputs.lines[i];
        if (gpiod_line_is_used(line) && gpiod_line_consumer(line) != nullptr)
            failure->holder = gpiod_line_consumer(line);
    }
    if (gpiod_line_is_used(handle->input) && gpiod_line_consumer(handle->input) != nullptr)
        failure->holder = gpiod_line_consumer(handle->input);
    errno = 0;
    if (gpiod_line_request_bulk_output(&handle->outputs, kConsumer, values.data()) != 0) {
        failure->error = errno != 0 ? errno : EBUSY;
        return nullptr;
    }
    handle->outputsRequested = true;
    errno = 0;
    if (gpiod_line_request_input(handle->input, kConsumer) != 0) {
        failure->error = errno != 0 ? errno : EBUSY;
        handle->input = nullptr;
        return nullptr;
    }
    failure->holder.clear();
    return std::unique_ptr<GpioLines>(new GpioLines(std::move(handle)));
}

bool GpioLines::Set(std::span<const int> values) {
    if (values.size() != handle_->outputs.num_lines)
        return false;
    return gpiod_line_set_value_bulk(&handle_->outputs, values.data()) == 0;
}

int GpioLines::Get() {
    return gpiod_line_get_value(handle_->input);
}

}  // namespace ostrel
