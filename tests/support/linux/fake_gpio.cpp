// The fake GPIO chips (see fake_gpio.h): the kernel's answers to the
// character device's version 2 ioctls, with its errno values.
#include "tests/support/linux/fake_gpio.h"

#include <linux/gpio.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "sim/cable.h"

namespace ostrel::testing {

namespace {

// One line ioctl: its time, and whether the chip still answers.
bool Call(Clock& clock, FakeGpioChip& chip) {
    clock.Spend(chip.accessNs);
    if (chip.failAfterCalls == 0) {
        errno = EIO;
        return false;
    }
    if (chip.failAfterCalls > 0)
        --chip.failAfterCalls;
    return true;
}

int Fail(int error) {
    errno = error;
    return -1;
}

void CopyName(char (&to)[GPIO_MAX_NAME_SIZE], const std::string& from) {
    std::memset(to, 0, sizeof to);
    std::memcpy(to, from.data(), std::min(from.size(), sizeof to - 1));
}

}  // namespace

void FakeGpioChip::DriveBoard() {
    if (board == nullptr)
        return;
    auto high = [this](unsigned line) {
        auto it = level.find(line);
        return it != level.end() && it->second != 0;
    };
    uint8_t data = 0;
    if (high(mosi))
        data |= sim::kParallelMosi;
    if (high(sck))
        data |= sim::kParallelSck;
    if (high(reset))
        data |= sim::kParallelReset;
    board->WriteData(0x378, data);
}

FakeGpio::FakeGpio(Clock& clockSource, SysCalls& rest) : clock(clockSource), rest_(rest) {}

FakeGpioChip& FakeGpio::Add(std::string path, sim::SimPort* board) {
    auto chip = std::make_unique<FakeGpioChip>();
    chip->path = std::move(path);
    chip->board = board;
    chips.push_back(std::move(chip));
    return *chips.back();
}

FakeGpioChip* FakeGpio::Find(const std::string& path) {
    for (auto& chip : chips) {
        if (chip->path == path)
            return chip.get();
    }
    return nullptr;
}

int FakeGpio::Open(const char* path, int flags) {
    FakeGpioChip* chip = path != nullptr ? Find(path) : nullptr;
    if (chip == nullptr)
        return rest_.Open(path, flags);
    if (chip->openError != 0 && chip->openError != ENOTTY)
        return Fail(chip->openError);
    const int fd = nextFd_++;
    open_[fd].chip = chip;
    ++chip->opens;
    ++chipsOpen;
    return fd;
}

int FakeGpio::Close(int fd) {
    auto it = open_.find(fd);
    if (it == open_.end())
        return rest_.Close(fd);
    FakeGpioChip& chip = *it->second.chip;
    if (it->second.lines.empty()) {
        --chipsOpen;
    } else {
        for (unsigned line : it->second.lines)
            chip.requestedBy.erase(line);
        ++chip.releases;
    }
    open_.erase(it);
    return 0;
}

int FakeGpio::Ioctl(int fd, unsigned long request, void* arg) {
    auto it = open_.find(fd);
    if (it == open_.end())
        return rest_.Ioctl(fd, request, arg);
    if (arg == nullptr)
        return Fail(EFAULT);
    return it->second.lines.empty() ? ChipIoctl(*it->second.chip, request, arg)
                                    : LineIoctl(it->second, request, arg);
}

int FakeGpio::ChipIoctl(FakeGpioChip& chip, unsigned long request, void* arg) {
    if (chip.openError == ENOTTY)
        return Fail(ENOTTY);
    if (request == GPIO_GET_CHIPINFO_IOCTL) {
        auto& info = *static_cast<gpiochip_info*>(arg);
        const std::size_t slash = chip.path.rfind('/');
        CopyName(info.name, chip.path.substr(slash == std::string::npos ? 0 : slash + 1));
        CopyName(info.label, chip.label);
        info.lines = chip.lines;
        return 0;
    }
    if (request == GPIO_V2_GET_LINEINFO_IOCTL) {
        auto& info = *static_cast<gpio_v2_line_info*>(arg);
        if (info.offset >= chip.lines)
            return Fail(EINVAL);
        const unsigned offset = info.offset;
        info = {};
        info.offset = offset;
        auto held = chip.heldBy.find(offset);
        if (held != chip.heldBy.end()) {
            info.flags = GPIO_V2_LINE_FLAG_USED;
            CopyName(info.consumer, held->second);
        } else if (chip.requestedBy.count(offset) != 0) {
            info.flags = GPIO_V2_LINE_FLAG_USED;
            CopyName(info.consumer, "ostrel");
        }
        return 0;
    }
    if (request != GPIO_V2_GET_LINE_IOCTL)
        return Fail(ENOTTY);
    auto& req = *static_cast<gpio_v2_line_request*>(arg);
    if (req.num_lines == 0 || req.num_lines > GPIO_V2_LINES_MAX ||
        req.config.num_attrs > GPIO_V2_LINE_NUM_ATTRS_MAX)
        return Fail(EINVAL);
    OpenFile file;
    file.chip = &chip;
    std::vector<int> values;
    for (uint32_t i = 0; i < req.num_lines; ++i) {
        const unsigned offset = req.offsets[i];
        if (offset >= chip.lines ||
            std::find(file.lines.begin(), file.lines.end(), offset) != file.lines.end())
            return Fail(EINVAL);
        // A line's flags: the last flags attribute that names it, else the config's.
        uint64_t flags = req.config.flags;
        int value = 0;
        for (uint32_t a = 0; a < req.config.num_attrs; ++a) {
            const gpio_v2_line_config_attribute& attr = req.config.attrs[a];
            if ((attr.mask & (uint64_t{1} << i)) == 0)
                continue;
            if (attr.attr.id == GPIO_V2_LINE_ATTR_ID_FLAGS)
                flags = attr.attr.flags;
            else if (attr.attr.id == GPIO_V2_LINE_ATTR_ID_OUTPUT_VALUES)
                value = (attr.attr.values & (uint64_t{1} << i)) != 0 ? 1 : 0;
        }
        const bool in = (flags & GPIO_V2_LINE_FLAG_INPUT) != 0;
        const bool out = (flags & GPIO_V2_LINE_FLAG_OUTPUT) != 0;
        if (in == out)  // both, or neither: this program always says which
            return Fail(EINVAL);
        file.lines.push_back(offset);
        file.output.push_back(out);
        values.push_back(value);
    }
    // One request of all the lines: either all or none.
    for (unsigned offset : file.lines) {
        if (chip.heldBy.count(offset) != 0 || chip.requestedBy.count(offset) != 0)
            return Fail(EBUSY);
    }
    if (!Call(clock, chip))
        return -1;
    for (std::size_t i = 0; i < file.lines.size(); ++i) {
        chip.requestedBy[file.lines[i]] = true;
        if (file.output[i])
            chip.level[file.lines[i]] = values[i];
    }
    ++chip.requests;
    chip.DriveBoard();
    req.fd = nextFd_++;
    open_[req.fd] = std::move(file);
    return 0;
}

int FakeGpio::LineIoctl(OpenFile& file, unsigned long request, void* arg) {
    FakeGpioChip& chip = *file.chip;
    if (request != GPIO_V2_LINE_SET_VALUES_IOCTL && request != GPIO_V2_LINE_GET_VALUES_IOCTL)
        return Fail(ENOTTY);
    auto& values = *static_cast<gpio_v2_line_values*>(arg);
    const uint64_t all =
        file.lines.size() >= 64 ? ~uint64_t{0} : (uint64_t{1} << file.lines.size()) - 1;
    if ((values.mask & all) == 0)
        return Fail(EINVAL);
    if (request == GPIO_V2_LINE_SET_VALUES_IOCTL) {
        for (std::size_t i = 0; i < file.lines.size(); ++i) {
            if ((values.mask & (uint64_t{1} << i)) != 0 && !file.output[i])
                return Fail(EPERM);
        }
        if (!Call(clock, chip))
            return -1;
        ++chip.sets;
        for (std::size_t i = 0; i < file.lines.size(); ++i) {
            if ((values.mask & (uint64_t{1} << i)) != 0)
                chip.level[file.lines[i]] = (values.bits & (uint64_t{1} << i)) != 0 ? 1 : 0;
        }
        chip.DriveBoard();
        return 0;
    }
    if (!Call(clock, chip))
        return -1;
    ++chip.gets;
    uint64_t bits = 0;
    for (std::size_t i = 0; i < file.lines.size(); ++i) {
        if ((values.mask & (uint64_t{1} << i)) == 0)
            continue;
        int level = 1;  // an unconnected input floats high
        if (file.output[i])
            level = chip.level[file.lines[i]];
        else if (file.lines[i] == chip.miso && chip.board != nullptr)
            level = (chip.board->ReadStatus(0x378) & sim::kParallelMiso) != 0 ? 1 : 0;
        if (level != 0)
            bits |= uint64_t{1} << i;
    }
    values.bits = bits;
    return 0;
}

}  // namespace ostrel::testing
