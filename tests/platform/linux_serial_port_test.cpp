#include "platform/linux/linux_serial_port.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include <cctype>
#include <memory>
#include <ostream>
#include <string>
#include <type_traits>
#include <vector>

#include "adapter/adapter.h"
#include "core/programmer.h"
#include "tests/platform/port_test_env.h"
#include "tests/support/recording_port.h"
#include "tests/support/scripted_windows.h"
#include "tests/support/virtual_device.h"

namespace ostrel {
namespace {

using testing::VirtualDevices;
using CallKind = testing::VirtualDevices::CallKind;
using testing::FakeEnvironment;
using testing::LookupIn;

class LinuxSerialPortTest : public ::testing::Test {
  protected:
    LinuxSerialPortTest() {
        devices.AddTty("/dev/ttyS0");
        devices.AddTty("/dev/ttyS1");
    }

    // The settings a port keeps from its previous user: all different from
    // what the programmer needs.
    void LeaveForeignSettings(const std::string& path) {
        termios& t = devices.Tty(path).settings;
        cfsetispeed(&t, B115200);
        cfsetospeed(&t, B115200);
        t.c_cflag = (t.c_cflag & ~CSIZE) | CS7 | PARENB | PARODD | CSTOPB | CRTSCTS | HUPCL;
        t.c_cflag &= ~(CLOCAL | CREAD);
        t.c_iflag = IXON | IXOFF | ICRNL;
        t.c_oflag = OPOST | ONLCR;
        t.c_lflag = ICANON | ECHO;
        t.c_cc[VMIN] = 5;
        t.c_cc[VTIME] = 10;
        t.c_cc[VINTR] = 3;
    }

    VirtualDevices devices;
    std::shared_ptr<FakeEnvironment> env = std::make_shared<FakeEnvironment>();
    LinuxSerialPort port{devices, LookupIn(env)};
};

TEST_F(LinuxSerialPortTest, OpensTheMappedTtyWithoutBecomingItsTerminalOrWaitingForCarrier) {
    // CLOCAL clear and no carrier: a blocking open would hang here.
    LeaveForeignSettings("/dev/ttyS1");
    ASSERT_EQ(port.OpenSerial("COM2"), SerialOpenResult::Ok);
    EXPECT_TRUE(port.IsOpen());
    EXPECT_EQ(devices.BlockedOpens(), 0);

    std::vector<VirtualDevices::Call> opens = devices.CallsOf(CallKind::Open);
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].path, "/dev/ttyS1");
    EXPECT_EQ(opens[0].flags & O_ACCMODE, O_RDWR);
    EXPECT_NE(opens[0].flags & O_NOCTTY, 0);
    EXPECT_NE(opens[0].flags & O_NONBLOCK, 0);
    EXPECT_EQ(devices.OpenDescriptors("/dev/ttyS1"), 1);

    // Non-blocking mode is only for the open: it is gone afterwards.
    int flags = devices.Fcntl(opens[0].fd, F_GETFL, 0);
    ASSERT_GE(flags, 0);
    EXPECT_EQ(flags & O_NONBLOCK, 0);
    EXPECT_EQ(flags & O_ACCMODE, O_RDWR);
}

TEST_F(LinuxSerialPortTest, Sets9600Baud8N1WithReceiverOnAndModemLinesIgnored) {
    LeaveForeignSettings("/dev/ttyS0");
    ASSERT_EQ(port.OpenSerial("COM1"), SerialOpenResult::Ok);
    const termios& t = devices.Tty("/dev/ttyS0").settings;
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
    EXPECT_EQ(cfgetispeed(&t), static_cast<speed_t>(B9600));
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & PARENB, 0u) << "no parity";
    EXPECT_EQ(t.c_cflag & CSTOPB, 0u) << "one stop bit";
    EXPECT_NE(t.c_cflag & CLOCAL, 0u);
    EXPECT_NE(t.c_cflag & CREAD, 0u);
    // RTS is the clock line: no hardware flow control may move it.
    EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
    // The read time-outs: a read never waits.
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);
}

TEST_F(LinuxSerialPortTest, KeepsEveryOtherSettingAsRead) {
    LeaveForeignSettings("/dev/ttyS0");
    const termios before = devices.Tty("/dev/ttyS0").settings;
    ASSERT_EQ(port.OpenSerial("COM1"), SerialOpenResult::Ok);
    const termios& after = devices.Tty("/dev/ttyS0").settings;
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(after.c_oflag, before.c_oflag);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_NE(after.c_cflag & HUPCL, 0u);
    EXPECT_EQ(after.c_cc[VINTR], before.c_cc[VINTR]);
}

TEST_F(LinuxSerialPortTest, LineSettingsAndTimeoutsAreTwoSeparateWrites) {
    LeaveForeignSettings("/dev/ttyS0");
    ASSERT_EQ(port.OpenSerial("COM1"), SerialOpenResult::Ok);
    std::vector<VirtualDevices::Call> writes = devices.CallsOf(CallKind::TcSetAttr);
    ASSERT_EQ(writes.size(), 2u);
    // The first write carries the line settings with the time-outs still as read.
    EXPECT_EQ(cfgetospeed(&writes[0].settings), static_cast<speed_t>(B9600));
    EXPECT_EQ(writes[0].settings.c_cc[VMIN], 5);
    EXPECT_EQ(writes[0].settings.c_cc[VTIME], 10);
    // The second adds the time-outs and keeps the line settings.
    EXPECT_EQ(cfgetospeed(&writes[1].settings), static_cast<speed_t>(B9600));
    EXPECT_EQ(writes[1].settings.c_cc[VMIN], 0);
    EXPECT_EQ(writes[1].settings.c_cc[VTIME], 0);
    for (const auto& w : writes)
        EXPECT_EQ(w.flags, TCSANOW);
}

// Each failing step of the open, through the adapter: its own result, its own
// text, and no descriptor left behind.
struct OpenFailure {
    const char* what;
    void (*arrange)(VirtualDevices&);
    SerialOpenResult result;
    const char* text;
};

void PrintTo(const OpenFailure& f, std::ostream* os) {
    *os << f.what;
}

class SerialOpenFailureTest : public ::testing::TestWithParam<OpenFailure> {};

TEST_P(SerialOpenFailureTest, ReportsItsStepAndLeavesNothingOpen) {
    const OpenFailure& f = GetParam();
    VirtualDevices devices;
    devices.AddTty("/dev/ttyS2");
    f.arrange(devices);
    LinuxSerialPort port(devices, EnvironmentLookup{});

    EXPECT_EQ(port.OpenSerial("COM3"), f.result);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(devices.OpenDescriptors(), 0);
    EXPECT_NE(port.LastError(), 0);

    // The same failure through the adapter gives the system's text.
    devices.ClearCalls();
    VirtualClock clock;
    testing::ScriptedWindows windows;
    testing::RecordingPort noParallel;
    Programmer p(port, noParallel, clock, windows);
    p.state.comName.Assign("COM3");
    EXPECT_EQ(adapter::OpenSerialPort(p), 1);
    // The system's text, and one line of advice of our own as the failure's hint.
    EXPECT_EQ(p.state.errorText.str(), f.text);
    EXPECT_EQ(p.failureHint, port.SerialOpenNote());
    EXPECT_FALSE(port.SerialOpenNote().empty());
    EXPECT_EQ(p.state.comOpen, 0);
    EXPECT_EQ(devices.OpenDescriptors(), 0);
    EXPECT_EQ(devices.LockHolders("/dev/ttyS2"), 0);
    EXPECT_FALSE(devices.Tty("/dev/ttyS2").exclusive);
    // Every descriptor opened was closed exactly once, and nothing else was.
    std::size_t opened = 0;
    for (const auto& c : devices.CallsOf(CallKind::Open))
        opened += c.result >= 0 ? 1 : 0;
    std::vector<VirtualDevices::Call> closes = devices.CallsOf(CallKind::Close);
    EXPECT_EQ(closes.size(), opened) << f.what;
    for (const auto& c : closes)
        EXPECT_EQ(c.result, 0) << f.what;
}

INSTANTIATE_TEST_SUITE_P(
    Steps, SerialOpenFailureTest,
    ::testing::Values(
        OpenFailure{"missing device",
                    [](VirtualDevices& d) { d.Faults("/dev/ttyS2").openErrno = ENOENT; },
                    SerialOpenResult::OpenFailed, "COM-Init-Error!"},
        OpenFailure{"not permitted",
                    [](VirtualDevices& d) { d.Faults("/dev/ttyS2").openErrno = EACCES; },
                    SerialOpenResult::OpenFailed, "COM-Init-Error!"},
        OpenFailure{"flags cannot be changed",
                    [](VirtualDevices& d) { d.Faults("/dev/ttyS2").fcntlErrno = EBADF; },
                    SerialOpenResult::OpenFailed, "COM-Init-Error!"},
        OpenFailure{"settings unreadable",
                    [](VirtualDevices& d) { d.Faults("/dev/ttyS2").tcgetattrErrno = EIO; },
                    SerialOpenResult::ReadSettingsFailed, "Kann COM-Port Einstellung nicht lesen."},
        OpenFailure{"not a tty", [](VirtualDevices& d) { d.AddFile("/dev/ttyS2"); },
                    SerialOpenResult::ReadSettingsFailed, "Kann COM-Port Einstellung nicht lesen."},
        OpenFailure{"a parallel port", [](VirtualDevices& d) { d.AddParport("/dev/ttyS2"); },
                    SerialOpenResult::ReadSettingsFailed, "Kann COM-Port Einstellung nicht lesen."},
        OpenFailure{"line settings refused",
                    [](VirtualDevices& d) { d.Faults("/dev/ttyS2").tcsetattrFailAt = 1; },
                    SerialOpenResult::WriteSettingsFailed,
                    "Kann COM-Port Einstellung nicht schreiben."},
        OpenFailure{"time-outs refused",
                    [](VirtualDevices& d) { d.Faults("/dev/ttyS2").tcsetattrFailAt = 2; },
                    SerialOpenResult::WriteTimeoutsFailed, "Kann TIMEOUTS nicht schreiben."}),
    [](const ::testing::TestParamInfo<OpenFailure>& info) {
        std::string name;
        for (const char* c = info.param.what; *c != '\0'; ++c) {
            if (std::isalnum(static_cast<unsigned char>(*c)))
                name += *c;
        }
        return name;
    });

TEST_F(LinuxSerialPortTest, AFailedOpenNamesTheDeviceAndTheReason) {
    EXPECT_EQ(port.OpenSerial("COM5"), SerialOpenResult::OpenFailed);
    EXPECT_EQ(port.LastPath(), "/dev/ttyS4");
    EXPECT_EQ(port.LastError(), ENOENT);
    devices.Faults("/dev/ttyS0").openErrno = EACCES;
    EXPECT_EQ(port.OpenSerial("COM1"), SerialOpenResult::OpenFailed);
    EXPECT_EQ(port.LastPath(), "/dev/ttyS0");
    EXPECT_EQ(port.LastError(), EACCES);
    EXPECT_EQ(devices.OpenDescriptors(), 0);
}

TEST_F(LinuxSerialPortTest, AnUnknownNameFailsWithoutAnySystemCall) {
    for (const char* name : {"LPT1", "SIM", "", "COM257"}) {
        EXPECT_EQ(port.OpenSerial(name), SerialOpenResult::OpenFailed) << name;
    }
    EXPECT_EQ(port.SerialOpenNote(),
              "No device is known for the port name 'COM257': the serial ports are COM1 to COM256 "
              "and ttys by their paths.");
    EXPECT_TRUE(devices.Calls().empty());
    EXPECT_EQ(port.LastError(), ENODEV);
}

TEST_F(LinuxSerialPortTest, ANewAttemptAfterAFailureStartsAfresh) {
    devices.Faults("/dev/ttyS0").tcsetattrFailAt = 2;
    EXPECT_EQ(port.OpenSerial("COM1"), SerialOpenResult::WriteTimeoutsFailed);
    devices.Faults("/dev/ttyS0").tcsetattrFailAt = 0;
    EXPECT_EQ(port.OpenSerial("COM1"), SerialOpenResult::Ok);
    EXPECT_EQ(devices.OpenDescriptors(), 1);
    EXPECT_EQ(port.LastError(), 0);
}

TEST_F(LinuxSerialPortTest, OpeningAnotherPortClosesTheFirst) {
    ASSERT_EQ(port.OpenSerial("COM1"), SerialOpenResult::Ok);
    ASSERT_EQ(port.OpenSerial("COM2"), SerialOpenResult::Ok);
    EXPECT_EQ(devices.OpenDescriptors("/dev/ttyS0"), 0);
    EXPECT_EQ(devices.OpenDescriptors("/dev/ttyS1"), 1);
    // And a failed open of another port leaves none open either.
    ASSERT_EQ(port.OpenSerial("COM4"), SerialOpenResult::OpenFailed);
    EXPECT_EQ(devices.OpenDescriptors(), 0);
}

TEST_F(LinuxSerialPortTest, TheAdapterOpensThePortOnlyOnce) {
    VirtualClock clock;
    testing::ScriptedWindows windows;
    testing::RecordingPort noParallel;
    Programmer p(port, noParallel, clock, windows);
    p.state.comName.Assign("COM1");
    EXPECT_EQ(adapter::OpenSerialPort(p), 0);
    std::size_t callsAfterFirst = devices.Calls().size();
    EXPECT_EQ(adapter::OpenSerialPort(p), 0);
    EXPECT_EQ(devices.Calls().size(), callsAfterFirst) << "second open made system calls";
    EXPECT_EQ(devices.CallsOf(CallKind::Open).size(), 1u);
    EXPECT_EQ(p.state.comOpen, 1);

    adapter::CloseSerialPort(p);
    EXPECT_EQ(devices.OpenDescriptors(), 0);
    EXPECT_EQ(p.state.comOpen, 0);
}

TEST_F(LinuxSerialPortTest, CloseClosesOnceAndTheDestructorClosesWhatIsOpen) {
    ASSERT_EQ(port.OpenSerial("COM1"), SerialOpenResult::Ok);
    port.CloseSerial();
    port.CloseSerial();
    EXPECT_EQ(devices.OpenDescriptors(), 0);
    EXPECT_EQ(devices.CallsOf(CallKind::Close).size(), 1u);
    for (const auto& c : devices.CallsOf(CallKind::Close))
        EXPECT_EQ(c.result, 0);

    {
        LinuxSerialPort other(devices, EnvironmentLookup{});
        ASSERT_EQ(other.OpenSerial("COM2"), SerialOpenResult::Ok);
        EXPECT_EQ(devices.OpenDescriptors(), 1);
    }
    EXPECT_EQ(devices.OpenDescriptors(), 0);
}

TEST_F(LinuxSerialPortTest, AnOpenPortIsHeldForThisProgramAloneUntilClosed) {
    ASSERT_EQ(port.OpenSerial("COM1"), SerialOpenResult::Ok);
    EXPECT_TRUE(devices.Tty("/dev/ttyS0").exclusive);
    EXPECT_EQ(devices.LockHolders("/dev/ttyS0"), 1);

    // Another program (a terminal) and a second programmer, as a user and
    // as the superuser, whom only the lock stops.
    LinuxSerialPort second(devices, EnvironmentLookup{});
    for (bool superuser : {false, true}) {
        devices.superuser = superuser;
        int terminal = devices.Open("/dev/ttyS0", O_RDWR | O_NOCTTY | O_NONBLOCK);
        EXPECT_EQ(terminal < 0, !superuser);
        if (terminal >= 0)
            devices.Close(terminal);
        EXPECT_EQ(second.OpenSerial("COM1"), SerialOpenResult::OpenFailed) << superuser;
        EXPECT_EQ(second.LastError(), EBUSY) << superuser;
        EXPECT_FALSE(second.IsOpen());
    }
    EXPECT_EQ(devices.OpenDescriptors("/dev/ttyS0"), 1);
    EXPECT_EQ(devices.BlockedLocks(), 0) << "the lock is asked for without waiting";

    // Closing gives both up, so the next program gets the port.
    devices.superuser = false;
    port.CloseSerial();
    EXPECT_FALSE(devices.Tty("/dev/ttyS0").exclusive);
    EXPECT_EQ(devices.LockHolders("/dev/ttyS0"), 0);
    EXPECT_EQ(second.OpenSerial("COM1"), SerialOpenResult::Ok);
    EXPECT_EQ(port.OpenSerial("COM1"), SerialOpenResult::OpenFailed);
}

TEST_F(LinuxSerialPortTest, EachLineChangeIsExactlyOneIoctl) {
    const struct {
        CommFunction function;
        unsigned long request;
        int bits;  // -1: the request takes no argument
    } kCases[] = {
        {CommFunction::SetRts, TIOCMBIS, TIOCM_RTS}, {CommFunction::ClrRts, TIOCMBIC, TIOCM_RTS},
        {CommFunction::SetDtr, TIOCMBIS, TIOCM_DTR}, {CommFunction::ClrDtr, TIOCMBIC, TIOCM_DTR},
        {CommFunction::SetBreak, TIOCSBRK, -1},      {CommFunction::ClrBreak, TIOCCBRK, -1},
    };
    ASSERT_EQ(port.OpenSerial("COM1"), SerialOpenResult::Ok);
    for (const auto& c : kCases) {
        devices.ClearCalls();
        port.EscapeCommFunction(c.function);
        ASSERT_EQ(devices.Calls().size(), 1u) << VirtualDevices::RequestName(c.request);
        const VirtualDevices::Call& call = devices.Calls()[0];
        EXPECT_EQ(call.kind, CallKind::Ioctl);
        EXPECT_EQ(call.request, c.request) << VirtualDevices::RequestName(call.request);
        EXPECT_EQ(call.result, 0);
        if (c.bits >= 0) {
            EXPECT_EQ(call.value, c.bits);
        }
    }
}

TEST_F(LinuxSerialPortTest, LineChangesReachTheRightLineAndLeaveTheOthers) {
    ASSERT_EQ(port.OpenSerial("COM1"), SerialOpenResult::Ok);
    const testing::VirtualTty& tty = devices.Tty("/dev/ttyS0");
    port.EscapeCommFunction(CommFunction::SetRts);
    EXPECT_TRUE(tty.rts);
    EXPECT_FALSE(tty.dtr);
    EXPECT_FALSE(tty.breakOn);
    port.EscapeCommFunction(CommFunction::SetDtr);
    port.EscapeCommFunction(CommFunction::SetBreak);
    EXPECT_TRUE(tty.rts && tty.dtr && tty.breakOn);
    port.EscapeCommFunction(CommFunction::ClrRts);
    EXPECT_FALSE(tty.rts);
    EXPECT_TRUE(tty.dtr && tty.breakOn);
    port.EscapeCommFunction(CommFunction::ClrBreak);
    EXPECT_FALSE(tty.breakOn);
    EXPECT_TRUE(tty.dtr);
    port.EscapeCommFunction(CommFunction::ClrDtr);
    EXPECT_FALSE(tty.rts || tty.dtr || tty.breakOn);
}

TEST_F(LinuxSerialPortTest, NothingHappensOnTheLinesWhileClosed) {
    port.EscapeCommFunction(CommFunction::SetRts);
    EXPECT_EQ(port.GetModemStatus(), 0u);
    EXPECT_TRUE(devices.Calls().empty());
}

TEST_F(LinuxSerialPortTest, ModemStatusGivesTheClassicBitsOfCtsDsrAndRing) {
    ASSERT_EQ(port.OpenSerial("COM1"), SerialOpenResult::Ok);
    testing::VirtualTty& tty = devices.Tty("/dev/ttyS0");
    // The Linux line bits differ from the classic ones (TIOCM_CTS has the value
    // of the classic DSR bit, TIOCM_CD that of the classic ring bit), so a
    // copy of the bits fails here.
    const struct {
        int lines;
        uint32_t status;
    } kCases[] = {
        {0, 0},
        {TIOCM_CTS, kMsCtsOn},
        {TIOCM_DSR, kMsDsrOn},
        {TIOCM_RI, kMsRingOn},
        {TIOCM_CD, 0},
        {TIOCM_CTS | TIOCM_DSR | TIOCM_RI | TIOCM_CD, kMsCtsOn | kMsDsrOn | kMsRingOn},
        {TIOCM_DSR | TIOCM_CD, kMsDsrOn},
    };
    for (const auto& c : kCases) {
        tty.inputs = c.lines;
        EXPECT_EQ(port.GetModemStatus(), c.status) << "lines " << c.lines;
    }
    // The outputs read back by TIOCMGET are not inputs.
    tty.inputs = 0;
    port.EscapeCommFunction(CommFunction::SetRts);
    port.EscapeCommFunction(CommFunction::SetDtr);
    EXPECT_EQ(port.GetModemStatus(), 0u);
    devices.ClearCalls();
    port.GetModemStatus();
    ASSERT_EQ(devices.Calls().size(), 1u);
    EXPECT_EQ(devices.Calls()[0].request, static_cast<unsigned long>(TIOCMGET));
}

TEST_F(LinuxSerialPortTest, AFailedStatusReadGivesNoLines) {
    ASSERT_EQ(port.OpenSerial("COM1"), SerialOpenResult::Ok);
    devices.Tty("/dev/ttyS0").inputs = TIOCM_CTS | TIOCM_DSR;
    devices.Faults("/dev/ttyS0").modemGetErrno = EIO;
    EXPECT_EQ(port.GetModemStatus(), 0u);
}

TEST_F(LinuxSerialPortTest, AnOverriddenNameOpensTheDeviceItNames) {
    devices.AddTty("/dev/ttyUSB0");
    env->variables["OSTREL_PORT_COM3"] = "/dev/ttyUSB0";
    ASSERT_EQ(port.OpenSerial("COM3"), SerialOpenResult::Ok);
    EXPECT_EQ(devices.OpenDescriptors("/dev/ttyUSB0"), 1);
    EXPECT_EQ(port.LastPath(), "/dev/ttyUSB0");
}

// The serial backend has no parallel side at all, not even one that does nothing.
static_assert(!std::is_base_of_v<ParallelRegisters, LinuxSerialPort>);

// The cable detection of the adapter, run through this backend against
// virtual cables: every line change and status read is a real system call.
class SerialCableDetectionTest : public ::testing::Test {
  protected:
    SerialCableDetectionTest() {
        tty = &devices.AddTty("/dev/ttyS1");
        p.state.adapterKind = AdapterKind::Serial;
        p.state.comName.Assign("COM2");
        p.state.portName.Assign("COM2");
    }

    VirtualDevices devices;
    testing::VirtualTty* tty = nullptr;
    LinuxSerialPort port{devices, EnvironmentLookup{}};
    VirtualClock clock;
    testing::ScriptedWindows windows;
    testing::RecordingPort noParallel;
    Programmer p{port, noParallel, clock, windows};
};

TEST_F(SerialCableDetectionTest, TransmitLineLoopedToRingIsCablet1) {
    tty->inputsFn = [](const testing::VirtualTty& t) { return t.breakOn ? TIOCM_RI : 0; };
    EXPECT_EQ(adapter::DetectSerialAdapter(p), 0);
    EXPECT_EQ(p.state.cablet1, 1);
    EXPECT_EQ(p.state.cablet2, 0);
}

TEST_F(SerialCableDetectionTest, DtrLoopedToDsrIsCablet2) {
    tty->inputsFn = [](const testing::VirtualTty& t) { return t.dtr ? TIOCM_DSR : 0; };
    EXPECT_EQ(adapter::DetectSerialAdapter(p), 0);
    EXPECT_EQ(p.state.cablet1, 0);
    EXPECT_EQ(p.state.cablet2, 1);
    EXPECT_FALSE(tty->dtr) << "detection ends with DTR cleared";
}

TEST_F(SerialCableDetectionTest, NoLoopBackIsNoAdaptor) {
    tty->inputs = TIOCM_CD;
    EXPECT_EQ(adapter::DetectSerialAdapter(p), 1);
    EXPECT_EQ(p.state.errorText.str(), "No Adaptor found at COM2\n");
    // The port stays open for the next attempt, as after any detection.
    EXPECT_EQ(devices.OpenDescriptors("/dev/ttyS1"), 1);
}

}  // namespace
}  // namespace ostrel
