// The virtual devices stand in for the kernel in the backends' tests, so the
// behaviours those tests rely on are checked here against what the Linux
// drivers do.
#include "tests/support/virtual_device.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/ppdev.h>
#include <sys/file.h>
#include <sys/ioctl.h>

#include <cerrno>

namespace ostrel::testing {
namespace {

using CallKind = VirtualDevices::CallKind;

TEST(VirtualDevicesTest, DescriptorsAreCountedAndNeverReused) {
    VirtualDevices d;
    d.AddTty("/dev/ttyS0");
    int a = d.Open("/dev/ttyS0", O_RDWR | O_NONBLOCK);
    int b = d.Open("/dev/ttyS0", O_RDWR | O_NONBLOCK);
    ASSERT_GE(a, 3);
    ASSERT_GE(b, 3);
    EXPECT_NE(a, b);
    EXPECT_EQ(d.OpenDescriptors(), 2);
    EXPECT_EQ(d.Close(a), 0);
    EXPECT_EQ(d.OpenDescriptors("/dev/ttyS0"), 1);
    int c = d.Open("/dev/ttyS0", O_RDWR | O_NONBLOCK);
    EXPECT_NE(c, a);
    // A closed descriptor is dead for every call.
    termios t{};
    int bits = TIOCM_RTS;
    EXPECT_EQ(d.Close(a), -1);
    EXPECT_EQ(errno, EBADF);
    EXPECT_EQ(d.Ioctl(a, TIOCMBIS, &bits), -1);
    EXPECT_EQ(errno, EBADF);
    EXPECT_EQ(d.TcGetAttr(a, &t), -1);
    EXPECT_EQ(errno, EBADF);
    EXPECT_FALSE(d.Tty("/dev/ttyS0").rts);
}

TEST(VirtualDevicesTest, PathsOutsideTheTableDoNotExist) {
    VirtualDevices d;
    EXPECT_EQ(d.Open("/dev/ttyS0", O_RDWR), -1);
    EXPECT_EQ(errno, ENOENT);
    ASSERT_EQ(d.Calls().size(), 1u);
    EXPECT_EQ(d.Calls()[0].error, ENOENT);
    EXPECT_EQ(d.OpenDescriptors(), 0);
}

TEST(VirtualDevicesTest, OnlyATtyHasTerminalSettingsAndModemLines) {
    VirtualDevices d;
    d.AddFile("/tmp/file");
    d.AddParport("/dev/parport0");
    for (const char* path : {"/tmp/file", "/dev/parport0"}) {
        int fd = d.Open(path, O_RDWR);
        termios t{};
        int lines = 0;
        EXPECT_EQ(d.TcGetAttr(fd, &t), -1);
        EXPECT_EQ(errno, ENOTTY) << path;
        EXPECT_EQ(d.TcSetAttr(fd, TCSANOW, &t), -1);
        EXPECT_EQ(errno, ENOTTY) << path;
        EXPECT_EQ(d.Ioctl(fd, TIOCMGET, &lines), -1);
        EXPECT_EQ(errno, ENOTTY) << path;
    }
    int fd = d.Open("/tmp/file", O_RDWR);
    EXPECT_EQ(d.Ioctl(fd, PPCLAIM, nullptr), -1);
    EXPECT_EQ(errno, ENOTTY);
}

TEST(VirtualDevicesTest, ABlockingOpenWithoutCarrierWouldHang) {
    VirtualDevices d;
    VirtualTty& tty = d.AddTty("/dev/ttyS0");
    tty.settings.c_cflag &= ~CLOCAL;
    EXPECT_EQ(d.Open("/dev/ttyS0", O_RDWR | O_NOCTTY), -1);
    EXPECT_EQ(d.BlockedOpens(), 1);
    tty.inputs = TIOCM_CD;
    EXPECT_GE(d.Open("/dev/ttyS0", O_RDWR | O_NOCTTY), 0);
    tty.inputs = 0;
    tty.settings.c_cflag |= CLOCAL;
    EXPECT_GE(d.Open("/dev/ttyS0", O_RDWR | O_NOCTTY), 0);
    EXPECT_EQ(d.BlockedOpens(), 1);
}

TEST(VirtualDevicesTest, TheNthSettingsWriteOfADescriptorFails) {
    VirtualDevices d;
    d.AddTty("/dev/ttyS0");
    d.Faults("/dev/ttyS0").tcsetattrFailAt = 2;
    termios t{};
    int fd = d.Open("/dev/ttyS0", O_RDWR | O_NONBLOCK);
    ASSERT_EQ(d.TcGetAttr(fd, &t), 0);
    EXPECT_EQ(d.TcSetAttr(fd, TCSANOW, &t), 0);
    EXPECT_EQ(d.TcSetAttr(fd, TCSANOW, &t), -1);
    EXPECT_EQ(errno, EIO);
    EXPECT_EQ(d.TcSetAttr(fd, TCSANOW, &t), 0);
    // A new descriptor counts from one again.
    int other = d.Open("/dev/ttyS0", O_RDWR | O_NONBLOCK);
    EXPECT_EQ(d.TcSetAttr(other, TCSANOW, &t), 0);
    EXPECT_EQ(d.TcSetAttr(other, TCSANOW, &t), -1);
}

TEST(VirtualDevicesTest, ModemInputsComeFromTheTestOrTheCable) {
    VirtualDevices d;
    VirtualTty& tty = d.AddTty("/dev/ttyS0");
    int fd = d.Open("/dev/ttyS0", O_RDWR | O_NONBLOCK);
    int lines = 0;
    tty.inputs = TIOCM_CTS | TIOCM_RTS;  // an output bit among the inputs is ignored
    ASSERT_EQ(d.Ioctl(fd, TIOCMGET, &lines), 0);
    EXPECT_EQ(lines, TIOCM_CTS);
    tty.inputsFn = [](const VirtualTty& t) { return t.rts ? TIOCM_CTS : 0; };
    int rts = TIOCM_RTS;
    ASSERT_EQ(d.Ioctl(fd, TIOCMBIS, &rts), 0);
    ASSERT_EQ(d.Ioctl(fd, TIOCMGET, &lines), 0);
    EXPECT_EQ(lines, TIOCM_CTS | TIOCM_RTS);
    ASSERT_EQ(d.Ioctl(fd, TIOCMBIC, &rts), 0);
    ASSERT_EQ(d.Ioctl(fd, TIOCMGET, &lines), 0);
    EXPECT_EQ(lines, 0);
}

TEST(VirtualDevicesTest, PpdevRegistersNeedAClaimAndCloseGivesItUp) {
    VirtualDevices d;
    VirtualParport& lpt = d.AddParport("/dev/parport0");
    int fd = d.Open("/dev/parport0", O_RDWR);
    unsigned char value = 0x55;
    EXPECT_EQ(d.Ioctl(fd, PPWDATA, &value), -1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(lpt.data, 0);
    ASSERT_EQ(d.Ioctl(fd, PPCLAIM, nullptr), 0);
    EXPECT_EQ(d.Ioctl(fd, PPCLAIM, nullptr), -1) << "a second claim is refused";
    EXPECT_EQ(d.Ioctl(fd, PPWDATA, &value), 0);
    EXPECT_EQ(lpt.data, 0x55);
    int other = d.Open("/dev/parport0", O_RDWR);
    EXPECT_EQ(d.Ioctl(other, PPCLAIM, nullptr), -1);
    ASSERT_EQ(d.Close(fd), 0);
    EXPECT_EQ(lpt.claimedBy, -1);
    EXPECT_EQ(d.Ioctl(other, PPCLAIM, nullptr), 0);
}

TEST(VirtualDevicesTest, ControlRegisterBehavesLikeThePcStyleDriver) {
    VirtualDevices d;
    VirtualParport& lpt = d.AddParport("/dev/parport0");
    int fd = d.Open("/dev/parport0", O_RDWR);
    ASSERT_EQ(d.Ioctl(fd, PPCLAIM, nullptr), 0);
    unsigned char control = 0xFF;
    ASSERT_EQ(d.Ioctl(fd, PPWCONTROL, &control), 0);
    EXPECT_EQ(lpt.control, 0x0F) << "only bits 0-3 are kept";
    EXPECT_TRUE(lpt.reverse) << "bit 5 of PPWCONTROL reverses the data lines";
    EXPECT_EQ(lpt.directionThroughControl, 1);
    unsigned char read = 0;
    ASSERT_EQ(d.Ioctl(fd, PPRCONTROL, &read), 0);
    EXPECT_EQ(read, 0x0F) << "the direction is not in PPRCONTROL";
    control = 0x00;  // clearing bit 5 in PPWCONTROL does not turn the lines round
    ASSERT_EQ(d.Ioctl(fd, PPWCONTROL, &control), 0);
    EXPECT_TRUE(lpt.reverse);
    int forward = 0;
    ASSERT_EQ(d.Ioctl(fd, PPDATADIR, &forward), 0);
    EXPECT_FALSE(lpt.reverse);
}

TEST(VirtualDevicesTest, LocksBelongToTheOpenFileAsWithFlock) {
    VirtualDevices d;
    d.AddTty("/dev/ttyS0");
    int a = d.Open("/dev/ttyS0", O_RDWR | O_NONBLOCK);
    int b = d.Open("/dev/ttyS0", O_RDWR | O_NONBLOCK);
    const struct {
        int fd;
        int operation;
        int result;
        int error;
    } kSteps[] = {
        {a, LOCK_SH | LOCK_NB, 0, 0},
        {b, LOCK_SH | LOCK_NB, 0, 0},             // shared locks mix
        {a, LOCK_EX | LOCK_NB, -1, EWOULDBLOCK},  // not with an exclusive one
        {b, LOCK_UN, 0, 0},
        {a, LOCK_EX | LOCK_NB, 0, 0},  // the holder may upgrade
        {b, LOCK_SH | LOCK_NB, -1, EWOULDBLOCK},
        {b, LOCK_EX, -1, EINTR},  // a blocking request would wait for ever
        {a, LOCK_EX | LOCK_NB, 0, 0},
        {a, 0, -1, EINVAL},
    };
    for (const auto& step : kSteps) {
        errno = 0;
        EXPECT_EQ(d.Flock(step.fd, step.operation), step.result) << step.operation;
        EXPECT_EQ(errno, step.error) << step.operation;
    }
    EXPECT_EQ(d.BlockedLocks(), 1);
    d.Close(a);  // closing drops the lock
    EXPECT_EQ(d.Flock(b, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(d.LockHolders("/dev/ttyS0"), 1);
}

TEST(VirtualDevicesTest, AnExclusiveTtyRefusesOpensUntilReleasedOrLastClosed) {
    VirtualDevices d;
    d.AddTty("/dev/ttyS0");
    int a = d.Open("/dev/ttyS0", O_RDWR | O_NONBLOCK);
    ASSERT_EQ(d.Ioctl(a, TIOCEXCL, nullptr), 0);
    EXPECT_EQ(d.Open("/dev/ttyS0", O_RDWR | O_NONBLOCK), -1);
    EXPECT_EQ(errno, EBUSY);
    d.superuser = true;
    int root = d.Open("/dev/ttyS0", O_RDWR | O_NONBLOCK);
    EXPECT_GE(root, 0);
    d.superuser = false;
    ASSERT_EQ(d.Ioctl(a, TIOCNXCL, nullptr), 0);
    int b = d.Open("/dev/ttyS0", O_RDWR | O_NONBLOCK);
    EXPECT_GE(b, 0);
    ASSERT_EQ(d.Ioctl(a, TIOCEXCL, nullptr), 0);
    d.Close(a);
    d.Close(root);
    EXPECT_TRUE(d.Tty("/dev/ttyS0").exclusive) << "one user is left";
    d.Close(b);
    EXPECT_FALSE(d.Tty("/dev/ttyS0").exclusive);

    // stat: the owner group, and nothing for a path outside the table.
    struct stat info {};
    ASSERT_EQ(d.Stat("/dev/ttyS0", &info), 0);
    EXPECT_TRUE(S_ISCHR(info.st_mode));
    EXPECT_EQ(d.GroupName(info.st_gid), "dialout");
    EXPECT_EQ(d.Stat("/dev/ttyS9", &info), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(d.GroupName(4242), std::nullopt);
}

TEST(VirtualDevicesTest, EveryCallIsRecordedWithItsResult) {
    VirtualDevices d;
    d.AddTty("/dev/ttyS0");
    d.Faults("/dev/ttyS0").tcgetattrErrno = EIO;
    int fd = d.Open("/dev/ttyS0", O_RDWR | O_NONBLOCK);
    termios t{};
    d.TcGetAttr(fd, &t);
    d.Ioctl(fd, TIOCSBRK, nullptr);
    d.Close(fd);
    ASSERT_EQ(d.Calls().size(), 4u);
    EXPECT_EQ(d.Calls()[0].kind, CallKind::Open);
    EXPECT_EQ(d.Calls()[0].result, fd);
    EXPECT_EQ(d.Calls()[1].kind, CallKind::TcGetAttr);
    EXPECT_EQ(d.Calls()[1].error, EIO);
    EXPECT_EQ(d.Calls()[2].path, "/dev/ttyS0");
    EXPECT_EQ(VirtualDevices::RequestName(d.Calls()[2].request), "TIOCSBRK");
    EXPECT_EQ(d.Calls()[3].kind, CallKind::Close);
    EXPECT_TRUE(d.Tty("/dev/ttyS0").breakOn);

    d.recordCalls = false;
    d.Open("/dev/ttyS0", O_RDWR | O_NONBLOCK);
    EXPECT_EQ(d.Calls().size(), 4u);
    EXPECT_EQ(d.OpenDescriptors(), 1);
}

}  // namespace
}  // namespace ostrel::testing
