// The router on the real Linux backends, on virtual devices.
#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include <string>

#include "adapter/adapter.h"
#include "core/programmer.h"
#include "platform/linux/linux_parallel_port.h"
#include "platform/linux/linux_serial_port.h"
#include "platform/system_ports.h"
#include "tests/support/scripted_windows.h"
#include "tests/support/virtual_device.h"

namespace ostrel {
namespace {

// The whole stack the program uses: the adapter on the router, on the real
// backends, on virtual devices.
TEST(SystemPortsStackTest, TheAdapterReachesBothRealBackendsThroughTheRouter) {
    testing::VirtualDevices devices;
    testing::VirtualTty& tty = devices.AddTty("/dev/ttyS0");
    testing::VirtualParport& lpt = devices.AddParport("/dev/parport0");
    tty.inputsFn = [](const testing::VirtualTty& t) { return t.dtr ? TIOCM_DSR : 0; };
    LinuxSerialPort serial(devices, EnvironmentLookup{});
    LinuxParallelPort parallel(devices, EnvironmentLookup{});
    SystemPorts ports(serial, parallel);
    VirtualClock clock;
    testing::ScriptedWindows windows;
    Programmer p(ports, clock, windows);

    p.state.adapterKind = AdapterKind::Serial;
    // The advice after a failed open reaches the adapter through the router.
    p.state.comName.Assign("COM2");
    ASSERT_EQ(adapter::OpenSerialPort(p), 1);
    EXPECT_NE(serial.SerialOpenNote().find("/dev/ttyS1"), std::string::npos);
    EXPECT_EQ(p.state.errorText.str(), "COM-Init-Error!");
    EXPECT_EQ(p.failureHint, serial.SerialOpenNote());
    p.state.comName.Assign("COM1");
    p.state.portName.Assign("COM1");
    ASSERT_EQ(adapter::DetectSerialAdapter(p), 0);
    EXPECT_EQ(p.state.cablet2, 1);
    adapter::SetSck(p, 1);
    EXPECT_TRUE(tty.rts);

    p.state.adapterKind = AdapterKind::Parallel;
    p.state.directPortIo = parallel.Available(0x378) ? 1 : 0;
    ASSERT_EQ(p.state.directPortIo, 1);
    adapter::SetReset(p, 1);
    EXPECT_EQ(lpt.data, adapter::kResetBit);
    EXPECT_TRUE(tty.rts) << "parallel access left the serial lines alone";

    adapter::CloseSerialPort(p);
    EXPECT_EQ(devices.OpenDescriptors("/dev/ttyS0"), 0);
    EXPECT_EQ(devices.OpenDescriptors("/dev/parport0"), 1);
}

}  // namespace
}  // namespace ostrel
