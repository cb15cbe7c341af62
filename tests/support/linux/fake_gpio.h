// Fake GPIO chips behind the system calls: a SysCalls that answers the
// opens, ioctls and closes of its chips' character devices as the kernel's
// GPIO interface (version 2) does, and passes every other call on to the
// SysCalls behind it, so GpioLines and LinuxGpioPort run in the tests as
// they are. A chip has its lines; four of them are wired straight
// to a simulated chip (the parallel side of a sim::SimPort, whose cable is
// the same direct wiring: MOSI, SCK and RESET in, MISO out). Every line
// request, set and get is one ioctl and costs its time on the clock; the simulated chip sees each
// set as one change of its lines. A chip can be missing or refuse the user, lines can be held by
// other programs, and the chip can start failing after a number of calls.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/clock.h"
#include "platform/linux/sys_calls.h"
#include "sim/sim_port.h"

namespace ostrel::testing {

struct FakeGpioChip {
    std::string path = "/dev/gpiochip0";
    std::string label = "pinctrl-bcm2835";
    unsigned lines = 54;
    // errno of opening the chip (0: opens); ENOTTY: it opens but is no GPIO
    // chip, its chip-info ioctl is refused.
    int openError = 0;
    std::map<unsigned, std::string> heldBy;  // lines another program holds, by consumer
    // The lines wired to the target, and the target.
    unsigned sck = 11;
    unsigned mosi = 10;
    unsigned reset = 25;
    unsigned miso = 9;
    sim::SimPort* board = nullptr;
    // One line ioctl of the character device (GPIO_V2_LINE_SET_VALUES or
    // GET_VALUES): a system call and the GPIO block's register
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

class FakeGpio : public SysCalls {
  public:
    // `rest` answers every call that is not for a chip of this fake.
    FakeGpio(Clock& clock, SysCalls& rest);
    FakeGpio(const FakeGpio&) = delete;
    FakeGpio& operator=(const FakeGpio&) = delete;

    FakeGpioChip& Add(std::string path, sim::SimPort* board);
    FakeGpioChip* Find(const std::string& path);

    int Open(const char* path, int flags) override;
    int Close(int fd) override;
    int Ioctl(int fd, unsigned long request, void* arg) override;
    int TcGetAttr(int fd, termios* settings) override { return rest_.TcGetAttr(fd, settings); }
    int TcSetAttr(int fd, int action, const termios* settings) override {
        return rest_.TcSetAttr(fd, action, settings);
    }
    int Fcntl(int fd, int cmd, int arg) override { return rest_.Fcntl(fd, cmd, arg); }
    int Flock(int fd, int operation) override { return rest_.Flock(fd, operation); }
    int Stat(const char* path, struct stat* info) override { return rest_.Stat(path, info); }
    std::optional<std::string> GroupName(gid_t gid) override { return rest_.GroupName(gid); }

    Clock& clock;
    std::vector<std::unique_ptr<FakeGpioChip>> chips;
    int chipsOpen = 0;

  private:
    // An open chip, or a request of lines on one.
    struct OpenFile {
        FakeGpioChip* chip = nullptr;
        std::vector<unsigned> lines;  // empty: the chip itself
        std::vector<bool> output;
    };
    int ChipIoctl(FakeGpioChip& chip, unsigned long request, void* arg);
    int LineIoctl(OpenFile& file, unsigned long request, void* arg);

    SysCalls& rest_;
    std::map<int, OpenFile> open_;
    int nextFd_ = 5000;
};

}  // namespace ostrel::testing
