// The fake libgpiod 1.x: the library's functions that GpioLines calls, over
// the chips of the installed FakeGpio (see fake_gpio.h). Return values and
// errno follow the library and the kernel.
#include <gpiod.h>

#include <cerrno>
#include <string>
#include <vector>

#include "sim/cable.h"
#include "tests/support/linux/fake_gpio.h"

struct gpiod_line {
    struct gpiod_chip* owner = nullptr;
    unsigned offset = 0;
    bool requested = false;
    bool output = false;
    std::string consumer;
};

struct gpiod_chip {
    ostrel::testing::FakeGpioChip* fake = nullptr;
    std::vector<gpiod_line> lines;
};

namespace ostrel::testing {

namespace {

FakeGpio* gInstalled = nullptr;

// One ioctl: its time, and whether the chip still answers.
bool Call(FakeGpioChip& chip) {
    if (FakeGpio* gpio = FakeGpio::Installed())
        gpio->clock.Spend(chip.accessNs);
    if (chip.failAfterCalls == 0) {
        errno = EIO;
        return false;
    }
    if (chip.failAfterCalls > 0)
        --chip.failAfterCalls;
    return true;
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

FakeGpio::FakeGpio(Clock& clockSource) : clock(clockSource), previous_(gInstalled) {
    gInstalled = this;
}

FakeGpio::~FakeGpio() {
    gInstalled = previous_;
}

FakeGpio* FakeGpio::Installed() {
    return gInstalled;
}

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

}  // namespace ostrel::testing

using ostrel::testing::FakeGpio;
using ostrel::testing::FakeGpioChip;

struct gpiod_chip* gpiod_chip_open(const char* path) {
    FakeGpio* gpio = FakeGpio::Installed();
    FakeGpioChip* fake = gpio != nullptr && path != nullptr ? gpio->Find(path) : nullptr;
    if (fake == nullptr) {
        errno = ENOENT;
        return nullptr;
    }
    if (fake->openError != 0) {
        errno = fake->openError;
        return nullptr;
    }
    auto* chip = new gpiod_chip;
    chip->fake = fake;
    chip->lines.resize(fake->lines);
    for (unsigned i = 0; i < fake->lines; ++i) {
        chip->lines[i].owner = chip;
        chip->lines[i].offset = i;
    }
    ++fake->opens;
    ++gpio->chipsOpen;
    return chip;
}

void gpiod_chip_close(struct gpiod_chip* chip) {
    if (chip == nullptr)
        return;
    for (gpiod_line& line : chip->lines) {
        if (line.requested)
            gpiod_line_release(&line);
    }
    if (FakeGpio* gpio = FakeGpio::Installed())
        --gpio->chipsOpen;
    delete chip;
}

unsigned int gpiod_chip_num_lines(struct gpiod_chip* chip) {
    return static_cast<unsigned>(chip->lines.size());
}

struct gpiod_line* gpiod_chip_get_line(struct gpiod_chip* chip, unsigned int offset) {
    if (offset >= chip->lines.size()) {
        errno = EINVAL;
        return nullptr;
    }
    return &chip->lines[offset];
}

int gpiod_chip_get_lines(struct gpiod_chip* chip, unsigned int* offsets, unsigned int num_offsets,
                         struct gpiod_line_bulk* bulk) {
    gpiod_line_bulk_init(bulk);
    for (unsigned i = 0; i < num_offsets; ++i) {
        gpiod_line* line = gpiod_chip_get_line(chip, offsets[i]);
        if (line == nullptr)
            return -1;
        gpiod_line_bulk_add(bulk, line);
    }
    return 0;
}

bool gpiod_line_is_used(struct gpiod_line* line) {
    return line->requested || line->owner->fake->heldBy.count(line->offset) != 0;
}

const char* gpiod_line_consumer(struct gpiod_line* line) {
    if (line->requested)
        return line->consumer.c_str();
    auto it = line->owner->fake->heldBy.find(line->offset);
    return it == line->owner->fake->heldBy.end() ? nullptr : it->second.c_str();
}

namespace {

int Request(gpiod_line* line, const char* consumer, bool output, int value) {
    FakeGpioChip& fake = *line->owner->fake;
    if (line->requested || fake.heldBy.count(line->offset) != 0) {
        errno = EBUSY;
        return -1;
    }
    line->requested = true;
    line->output = output;
    line->consumer = consumer != nullptr ? consumer : "";
    fake.requestedBy[line->offset] = true;
    if (output)
        fake.level[line->offset] = value != 0 ? 1 : 0;
    return 0;
}

}  // namespace

int gpiod_line_request_bulk_output(struct gpiod_line_bulk* bulk, const char* consumer,
                                   const int* default_vals) {
    if (bulk->num_lines == 0)
        return 0;
    FakeGpioChip& fake = *bulk->lines[0]->owner->fake;
    // One request of all the lines: either all or none.
    for (unsigned i = 0; i < bulk->num_lines; ++i) {
        gpiod_line* line = bulk->lines[i];
        if (line->requested || fake.heldBy.count(line->offset) != 0) {
            errno = EBUSY;
            return -1;
        }
    }
    if (!ostrel::testing::Call(fake))
        return -1;
    for (unsigned i = 0; i < bulk->num_lines; ++i)
        Request(bulk->lines[i], consumer, true, default_vals != nullptr ? default_vals[i] : 0);
    ++fake.requests;
    fake.DriveBoard();
    return 0;
}

int gpiod_line_request_input(struct gpiod_line* line, const char* consumer) {
    FakeGpioChip& fake = *line->owner->fake;
    if (line->requested || fake.heldBy.count(line->offset) != 0) {
        errno = EBUSY;
        return -1;
    }
    if (!ostrel::testing::Call(fake))
        return -1;
    ++fake.requests;
    return Request(line, consumer, false, 0);
}

int gpiod_line_set_value_bulk(struct gpiod_line_bulk* bulk, const int* values) {
    if (bulk->num_lines == 0)
        return 0;
    FakeGpioChip& fake = *bulk->lines[0]->owner->fake;
    for (unsigned i = 0; i < bulk->num_lines; ++i) {
        if (!bulk->lines[i]->requested || !bulk->lines[i]->output) {
            errno = EPERM;
            return -1;
        }
    }
    if (!ostrel::testing::Call(fake))
        return -1;
    ++fake.sets;
    for (unsigned i = 0; i < bulk->num_lines; ++i)
        fake.level[bulk->lines[i]->offset] = values[i] != 0 ? 1 : 0;
    fake.DriveBoard();
    return 0;
}

int gpiod_line_get_value(struct gpiod_line* line) {
    FakeGpioChip& fake = *line->owner->fake;
    if (!line->requested) {
        errno = EPERM;
        return -1;
    }
    if (!ostrel::testing::Call(fake))
        return -1;
    ++fake.gets;
    if (line->output)
        return fake.level[line->offset];
    if (line->offset != fake.miso || fake.board == nullptr)
        return 1;  // an unconnected input floats high
    return (fake.board->ReadStatus(0x378) & ostrel::sim::kParallelMiso) != 0 ? 1 : 0;
}

void gpiod_line_release(struct gpiod_line* line) {
    if (line == nullptr || !line->requested)
        return;
    FakeGpioChip& fake = *line->owner->fake;
    line->requested = false;
    fake.requestedBy.erase(line->offset);
    ++fake.releases;
}

void gpiod_line_release_bulk(struct gpiod_line_bulk* bulk) {
    for (unsigned i = 0; i < bulk->num_lines; ++i)
        gpiod_line_release(bulk->lines[i]);
}
