// The backends against the real kernel, with devices every Linux machine has:
// a pseudo-terminal stands in for a serial port, /dev/null and ordinary files
// for paths that are not ports. No serial or parallel hardware is needed.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string>

#include "platform/linux/linux_parallel_port.h"
#include "platform/linux/linux_serial_port.h"
#include "platform/linux/sys_calls.h"
#include "tests/platform/port_test_env.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace ostrel {
namespace {

using testing::FakeEnvironment;
using testing::LookupIn;

// Descriptors this process has open now.
int OpenDescriptorCount() {
    DIR* dir = opendir("/proc/self/fd");
    if (dir == nullptr)
        return -1;
    int n = 0;
    while (readdir(dir) != nullptr)
        ++n;
    closedir(dir);
    return n;
}

class RealDevicesTest : public ::testing::Test {
  protected:
    LinuxSysCalls sys;
    std::shared_ptr<FakeEnvironment> env = std::make_shared<FakeEnvironment>();
    testing::TempDir temp;
};

TEST_F(RealDevicesTest, APseudoTerminalGetsTheSettingsAndIsClosedAgain) {
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0)
        GTEST_SKIP() << "no pseudo-terminals here";
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const char* name = ptsname(master);
    ASSERT_NE(name, nullptr);
    std::string slave = name;
    env->variables["OSTREL_PORT_COM4"] = slave;

    int before = OpenDescriptorCount();
    {
        LinuxSerialPort port(sys, LookupIn(env));
        ASSERT_EQ(port.OpenSerial("COM4"), SerialOpenResult::Ok) << "errno " << port.LastError();
        EXPECT_EQ(OpenDescriptorCount(), before + 1);

        // The port is held for this program alone: a second programmer is
        // refused (by the lock, which binds the superuser too), and the
        // settings are read through the other side of the pair, which
        // shares them.
        LinuxSerialPort second(sys, LookupIn(env));
        EXPECT_EQ(second.OpenSerial("COM4"), SerialOpenResult::OpenFailed);
        EXPECT_EQ(second.LastError(), EBUSY);
        if (geteuid() != 0) {
            EXPECT_LT(open(slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK), 0);
            EXPECT_EQ(errno, EBUSY);
        }
        termios t{};
        ASSERT_EQ(tcgetattr(master, &t), 0);
        EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
        EXPECT_EQ(cfgetispeed(&t), static_cast<speed_t>(B9600));
        EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
        EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
        EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
        EXPECT_EQ(t.c_cc[VMIN], 0);
        EXPECT_EQ(t.c_cc[VTIME], 0);

        // Line changes and status reads must be harmless on a tty without
        // modem lines.
        port.EscapeCommFunction(CommFunction::SetRts);
        port.EscapeCommFunction(CommFunction::ClrDtr);
        port.GetModemStatus();

        port.CloseSerial();
        EXPECT_EQ(OpenDescriptorCount(), before);
        ASSERT_EQ(port.OpenSerial("COM4"), SerialOpenResult::Ok);
    }
    EXPECT_EQ(OpenDescriptorCount(), before) << "the destructor closes the port";
    close(master);
}

TEST_F(RealDevicesTest, PathsThatAreNotSerialPortsFailAtTheirStepAndLeakNothing) {
    const struct {
        std::string path;
        SerialOpenResult result;
        int error;
    } kCases[] = {
        {"/dev/null", SerialOpenResult::ReadSettingsFailed, ENOTTY},
        {temp.Write("file.bin", "\x01\x02"), SerialOpenResult::ReadSettingsFailed, ENOTTY},
        {temp.File("missing"), SerialOpenResult::OpenFailed, ENOENT},
        {temp.str(), SerialOpenResult::OpenFailed, EISDIR},
    };
    LinuxSerialPort port(sys, LookupIn(env));
    int before = OpenDescriptorCount();
    for (const auto& c : kCases) {
        env->variables["OSTREL_PORT_COM1"] = c.path;
        EXPECT_EQ(port.OpenSerial("COM1"), c.result) << c.path;
        EXPECT_EQ(port.LastError(), c.error) << c.path;
        EXPECT_FALSE(port.IsOpen());
        EXPECT_EQ(OpenDescriptorCount(), before) << c.path;
    }
}

TEST_F(RealDevicesTest, AFileWithoutPermissionIsNotOpened) {
    // Permissions do not stop the superuser: the port is opened by a child
    // that runs as an unprivileged user.
    std::string path = temp.Write("locked", "");
    ASSERT_EQ(chmod(path.c_str(), 0), 0);
    testing::GiveToUnprivileged(temp.path());
    env->variables["OSTREL_PORT_COM2"] = path;
    std::string why;
    EXPECT_TRUE(testing::RunInChild(
        [&] {
            LinuxSerialPort port(sys, LookupIn(env));
            EXPECT_EQ(port.OpenSerial("COM2"), SerialOpenResult::OpenFailed);
            EXPECT_EQ(port.LastError(), EACCES);
        },
        {.unprivileged = true, .fileSizeLimit = std::nullopt}, &why))
        << why;
}

TEST_F(RealDevicesTest, PathsThatAreNotParallelPortsAreNotAvailable) {
    env->variables["OSTREL_PORT_0378"] = "/dev/null";
    env->variables["OSTREL_PORT_0278"] = temp.Write("plain", "x");
    env->variables["OSTREL_PORT_03BC"] = temp.File("missing");
    int before = OpenDescriptorCount();
    {
        LinuxParallelPort port(sys, LookupIn(env));
        EXPECT_FALSE(port.AnyAvailable());
        EXPECT_EQ(OpenDescriptorCount(), before);
        port.WriteData(0x378, 0x08);
        EXPECT_EQ(port.ReadWord(0x378), 0xFFFF);
    }
    EXPECT_EQ(OpenDescriptorCount(), before);
}

}  // namespace
}  // namespace ostrel
