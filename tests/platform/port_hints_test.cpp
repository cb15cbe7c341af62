// The line of advice below a failed open, for each kind of failure a user
// meets on a real machine, through the real backends and the virtual devices.
#include "platform/linux/port_hints.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include <functional>
#include <memory>
#include <string>

#include "adapter/adapter.h"
#include "core/programmer.h"
#include "platform/linux/linux_parallel_port.h"
#include "platform/linux/linux_serial_port.h"
#include "tests/platform/port_test_env.h"
#include "tests/support/recording_port.h"
#include "tests/support/scripted_windows.h"
#include "tests/support/virtual_device.h"

namespace ostrel {
namespace {

using testing::VirtualDevices;

struct HintCase {
    const char* what;
    PortKind kind;
    const char* port;  // the serial port opened
    std::function<void(VirtualDevices&, testing::FakeEnvironment&)> arrange;
    const char* hint;
};

TEST(OpenFailureHint, SaysWhatToDoForEachFailure) {
    const HintCase kCases[] = {
        {"serial, not in the device's group", PortKind::Serial, "COM1",
         [](VirtualDevices& d, auto&) { d.Faults("/dev/ttyS0").openErrno = EACCES; },
         "No permission for /dev/ttyS0: join its group with `sudo usermod -aG dialout $USER`, "
         "then log in again."},
        {"serial, another distribution's group", PortKind::Serial, "COM1",
         [](VirtualDevices& d, auto&) {
             d.AddGroup(14, "uucp");
             d.SetGroup("/dev/ttyS0", 14);
             d.Faults("/dev/ttyS0").openErrno = EACCES;
         },
         "No permission for /dev/ttyS0: join its group with `sudo usermod -aG uucp $USER`, "
         "then log in again."},
        {"serial, owned by root's group", PortKind::Serial, "COM1",
         [](VirtualDevices& d, auto&) {
             d.SetGroup("/dev/ttyS0", 0);
             d.Faults("/dev/ttyS0").openErrno = EACCES;
         },
         "No permission for /dev/ttyS0: your user needs read and write access to it."},
        {"serial, held by another program", PortKind::Serial, "COM1",
         [](VirtualDevices& d, auto&) {
             int fd = d.Open("/dev/ttyS0", O_RDWR | O_NOCTTY | O_NONBLOCK);
             d.Ioctl(fd, TIOCEXCL, nullptr);
         },
         "/dev/ttyS0 is in use by another program (a modem manager, a terminal, another "
         "Ostrel): close it and try again."},
        {"serial, no such port on the board", PortKind::Serial, "COM4",
         [](VirtualDevices&, auto&) {},  // COM4 is /dev/ttyS3, which does not exist
         "No serial port at /dev/ttyS3: for a USB adapter set OSTREL_PORT_COM4=/dev/ttyUSB0 "
         "(see ls /dev/ttyUSB* /dev/ttyACM*)."},
        {"serial, the USB adapter is unplugged", PortKind::Serial, "COM4",
         [](VirtualDevices&, testing::FakeEnvironment& env) {
             env.variables["OSTREL_PORT_COM4"] = "/dev/ttyUSB1";
         },
         "No serial port at /dev/ttyUSB1: plug the adapter in, or set OSTREL_PORT_COM4 to its "
         "device (see ls /dev/ttyUSB* /dev/ttyACM*)."},
        {"parallel, ppdev not loaded", PortKind::Parallel, "", [](VirtualDevices&, auto&) {},
         "No parallel port at /dev/parport0: load the driver with `sudo modprobe ppdev`, or set "
         "OSTREL_PORT_0378=/dev/parportN."},
        {"parallel, not in the lp group", PortKind::Parallel, "",
         [](VirtualDevices& d, auto&) {
             d.AddParport("/dev/parport0");
             d.Faults("/dev/parport0").openErrno = EACCES;
         },
         "No permission for /dev/parport0: join its group with `sudo usermod -aG lp $USER`, "
         "then log in again."},
        {"parallel, claimed by the printer", PortKind::Parallel, "",
         [](VirtualDevices& d, auto&) {
             d.AddParport("/dev/parport0");
             d.Faults("/dev/parport0").claimErrno = EBUSY;
         },
         "/dev/parport0 is in use by another program (a printer queue, another Ostrel): close "
         "it and try again."},
    };
    for (const HintCase& c : kCases) {
        VirtualDevices devices;
        devices.AddTty("/dev/ttyS0");
        auto env = std::make_shared<testing::FakeEnvironment>();
        c.arrange(devices, *env);
        std::string hint;
        if (c.kind == PortKind::Serial) {
            LinuxSerialPort port(devices, testing::LookupIn(env));
            EXPECT_EQ(port.OpenSerial(c.port), SerialOpenResult::OpenFailed) << c.what;
            hint = port.SerialOpenNote();
        } else {
            LinuxParallelPort port(devices, testing::LookupIn(env));
            EXPECT_FALSE(port.Available(0x378)) << c.what;
            hint = port.FailureHint(0x378);
        }
        EXPECT_EQ(hint, c.hint) << c.what;
    }
}

TEST(OpenFailureHint, StaysOnOneLineWithinTheFailureTextWhateverThePath) {
    VirtualDevices devices;
    auto env = std::make_shared<testing::FakeEnvironment>();
    std::string longPath = "/dev/serial/by-id/" + std::string(300, 'x') + "\n-if00-port0";
    env->variables["OSTREL_PORT_COM2"] = longPath;
    LinuxSerialPort port(devices, testing::LookupIn(env));
    VirtualClock clock;
    testing::ScriptedWindows windows;
    testing::RecordingPort noParallel;
    Programmer p(port, noParallel, clock, windows);
    p.state.comName.Assign("COM2");
    for (int error : {ENOENT, EACCES, EBUSY, ENOTTY, EROFS}) {
        std::string hint = OpenFailureHint(devices, error, longPath, PortKind::Serial, "COM2");
        EXPECT_LE(hint.size(), kMaxHintLength) << error;
        EXPECT_EQ(hint.back(), '.') << "the advice is not cut: " << hint;
        EXPECT_NE(hint.find("?-if00-port0"), std::string::npos) << "the device's own name stays";
        EXPECT_EQ(hint.find('\n'), std::string::npos) << hint;
    }
    EXPECT_EQ(OpenFailureHint(devices, 0, longPath, PortKind::Serial, "COM2"), "");

    // Through the adapter: the system's text whole, the whole hint beside it.
    EXPECT_EQ(adapter::OpenSerialPort(p), 1);
    EXPECT_FALSE(p.state.errorText.truncated());
    EXPECT_EQ(p.state.errorText.str(), "COM-Init-Error!");
    EXPECT_EQ(p.failureHint, port.SerialOpenNote());
}

}  // namespace
}  // namespace ostrel
