// GpioLines on the kernel's GPIO character device, version 2 of its
// interface (kernels from 5.10 on): the four lines are one request, the
// outputs set together by one GPIO_V2_LINE_SET_VALUES_IOCTL and the input read
// by one GPIO_V2_LINE_GET_VALUES_IOCTL. No library: the same source runs
// where libgpiod 1.6 is installed (Debian 12), where libgpiod 2.x replaced it
// (Debian 13, Raspberry Pi OS), and where neither is.
#include <fcntl.h>
#include <linux/gpio.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/linux/gpio_lines.h"

namespace ostrel {

namespace {

constexpr char kConsumer[] = "ostrel";

// The request's lines: the outputs first, the input last.
uint64_t OutputMask(std::size_t outputs) {
    return (uint64_t{1} << outputs) - 1;
}

}  // namespace

struct GpioLines::Handle {
    SysCalls& sys;
    int lines = -1;  // the request's descriptor
    std::size_t outputs = 0;

    explicit Handle(SysCalls& calls) : sys(calls) {}
    ~Handle() {
        if (lines >= 0)
            sys.Close(lines);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
};

GpioLines::GpioLines(std::unique_ptr<Handle> handle) : handle_(std::move(handle)) {}

GpioLines::~GpioLines() = default;

std::unique_ptr<GpioLines> GpioLines::Request(SysCalls& sys, const std::string& chipPath,
                                              std::span<const unsigned> outputs,
                                              std::span<const int> values, unsigned input,
                                              Failure* failure) {
    *failure = {};
    // The outputs, their values and the input fit in one request.
    if (outputs.size() != values.size() || outputs.size() + 1 > GPIO_V2_LINES_MAX) {
        failure->error = EINVAL;
        return nullptr;
    }
    errno = 0;
    const int chip = sys.Open(chipPath.c_str(), O_RDWR | O_CLOEXEC);
    if (chip < 0) {
        failure->error = errno != 0 ? errno : ENOENT;
        return nullptr;
    }
    struct ChipCloser {
        SysCalls& sys;
        int fd;
        ~ChipCloser() { sys.Close(fd); }
    } closer{sys, chip};

    gpiochip_info info{};
    errno = 0;
    if (sys.Ioctl(chip, GPIO_GET_CHIPINFO_IOCTL, &info) != 0) {
        // Any other device refuses the chip's ioctl (ENOTTY).
        failure->error = errno != 0 ? errno : ENOTTY;
        return nullptr;
    }
    failure->chipLines = info.lines;
    gpio_v2_line_request request{};
    std::size_t count = 0;
    for (unsigned offset : outputs)
        request.offsets[count++] = offset;
    request.offsets[count++] = input;
    for (std::size_t i = 0; i < count; ++i) {
        if (request.offsets[i] >= info.lines) {
            failure->error = EINVAL;
            return nullptr;
        }
    }
    request.num_lines = static_cast<uint32_t>(count);
    std::memcpy(request.consumer, kConsumer, sizeof kConsumer);
    const uint64_t outputMask = OutputMask(outputs.size());
    request.config.flags = GPIO_V2_LINE_FLAG_OUTPUT;
    request.config.num_attrs = 2;
    request.config.attrs[0].attr.id = GPIO_V2_LINE_ATTR_ID_FLAGS;
    request.config.attrs[0].attr.flags = GPIO_V2_LINE_FLAG_INPUT;
    request.config.attrs[0].mask = uint64_t{1} << outputs.size();
    request.config.attrs[1].attr.id = GPIO_V2_LINE_ATTR_ID_OUTPUT_VALUES;
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        if (values[i] != 0)
            request.config.attrs[1].attr.values |= uint64_t{1} << i;
    }
    request.config.attrs[1].mask = outputMask;
    errno = 0;
    if (sys.Ioctl(chip, GPIO_V2_GET_LINE_IOCTL, &request) != 0 || request.fd < 0) {
        failure->error = errno != 0 ? errno : EBUSY;
        // A line held by another program names its holder.
        if (failure->error == EBUSY) {
            for (std::size_t i = 0; i < count && failure->holder.empty(); ++i) {
                gpio_v2_line_info line{};
                line.offset = request.offsets[i];
                if (sys.Ioctl(chip, GPIO_V2_GET_LINEINFO_IOCTL, &line) == 0 &&
                    (line.flags & GPIO_V2_LINE_FLAG_USED) != 0)
                    failure->holder.assign(line.consumer,
                                           strnlen(line.consumer, sizeof line.consumer));
            }
        }
        return nullptr;
    }
    auto handle = std::make_unique<Handle>(sys);
    handle->lines = request.fd;
    handle->outputs = outputs.size();
    return std::unique_ptr<GpioLines>(new GpioLines(std::move(handle)));
}

std::vector<GpioLines::Chip> GpioLines::ListChips(SysCalls& sys) {
    std::vector<Chip> chips;
    for (unsigned n = 0; n < 64; ++n) {
        Chip chip;
        chip.path = "/dev/gpiochip" + std::to_string(n);
        const int fd = sys.Open(chip.path.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0)
            continue;
        gpiochip_info info{};
        if (sys.Ioctl(fd, GPIO_GET_CHIPINFO_IOCTL, &info) == 0) {
            chip.label.assign(info.label, strnlen(info.label, sizeof info.label));
            chip.lines = info.lines;
            chips.push_back(std::move(chip));
        }
        sys.Close(fd);
    }
    return chips;
}

bool GpioLines::Set(std::span<const int> values) {
    if (values.size() != handle_->outputs)
        return false;
    gpio_v2_line_values set{};
    set.mask = OutputMask(handle_->outputs);
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (values[i] != 0)
            set.bits |= uint64_t{1} << i;
    }
    return handle_->sys.Ioctl(handle_->lines, GPIO_V2_LINE_SET_VALUES_IOCTL, &set) == 0;
}

int GpioLines::Get() {
    gpio_v2_line_values get{};
    get.mask = uint64_t{1} << handle_->outputs;
    if (handle_->sys.Ioctl(handle_->lines, GPIO_V2_LINE_GET_VALUES_IOCTL, &get) != 0)
        return -1;
    return (get.bits & get.mask) != 0 ? 1 : 0;
}

}  // namespace ostrel
