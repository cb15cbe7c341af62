#include "platform/system_ports.h"

#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include <string>
#include <vector>

#include "adapter/adapter.h"
#include "core/programmer.h"
#include "platform/linux/linux_parallel_port.h"
#include "platform/linux/linux_serial_port.h"
#include "tests/support/recording_port.h"
#include "tests/support/scripted_windows.h"
#include "tests/support/virtual_device.h"

namespace ostrel {
namespace {

using testing::PortCall;
using testing::RecordingPort;
using Kind = PortCall::Kind;

std::vector<std::string> Log(const RecordingPort& port) {
    std::vector<std::string> out;
    for (const PortCall& call : port.calls)
        out.push_back(testing::ToString(call));
    return out;
}

class SystemPortsTest : public ::testing::Test {
  protected:
    RecordingPort serial;
    RecordingPort parallel;
    RecordingPort simulator;
    SystemPorts ports{serial, parallel};
};

TEST_F(SystemPortsTest, SerialCallsGoToTheSerialBackendOnly) {
    serial.modemStatus = kMsCtsOn | kMsRingOn;
    EXPECT_EQ(ports.OpenSerial("COM2"), SerialOpenResult::Ok);
    ports.EscapeCommFunction(CommFunction::SetDtr);
    EXPECT_EQ(ports.GetModemStatus(), kMsCtsOn | kMsRingOn);
    ports.CloseSerial();
    EXPECT_EQ(Log(serial), (std::vector<std::string>{"open COM2", "SETDTR", "status 50", "close"}));
    EXPECT_TRUE(parallel.calls.empty());
}

TEST_F(SystemPortsTest, ASerialOpenFailurePassesThrough) {
    serial.openResult = SerialOpenResult::WriteTimeoutsFailed;
    EXPECT_EQ(ports.OpenSerial("COM1"), SerialOpenResult::WriteTimeoutsFailed);
}

TEST_F(SystemPortsTest, ParallelCallsGoToTheParallelBackendOnly) {
    parallel.word = 0x4012;
    parallel.control = 0x2C;
    parallel.dataReadsBack = true;
    ports.WriteData(0x278, 0x0B);
    EXPECT_EQ(ports.ReadData(0x278), 0x0B);
    EXPECT_EQ(ports.ReadWord(0x278), 0x4012);
    EXPECT_EQ(ports.ReadStatus(0x278), 0x40);
    EXPECT_EQ(ports.ReadControl(0x3BC), 0x2C);
    ports.WriteControl(0x3BC, 0x24);
    EXPECT_EQ(Log(parallel), (std::vector<std::string>{"out 278 0B", "in 278", "inw 278", "in 279",
                                                       "inc 3BC", "outc 3BC 24"}));
    EXPECT_TRUE(serial.calls.empty());
}

TEST_F(SystemPortsTest, WithoutAnExtraBackendSimIsJustAnotherSerialName) {
    serial.openResult = SerialOpenResult::OpenFailed;
    EXPECT_EQ(ports.OpenSerial("SIM"), SerialOpenResult::OpenFailed);
    EXPECT_EQ(Log(serial), std::vector<std::string>{"open SIM"});
}

TEST_F(SystemPortsTest, TheExtraBackendTakesTheSerialCallsOfSim) {
    ports.SetExtraBackend(&simulator);
    simulator.modemStatus = kMsDsrOn;
    serial.modemStatus = kMsCtsOn;
    EXPECT_EQ(ports.OpenSerial("SIM"), SerialOpenResult::Ok);
    ports.EscapeCommFunction(CommFunction::SetBreak);
    EXPECT_EQ(ports.GetModemStatus(), kMsDsrOn);
    ports.CloseSerial();
    EXPECT_EQ(Log(simulator),
              (std::vector<std::string>{"open SIM", "SETBREAK", "status 20", "close"}));
    // The real serial port only saw the close of a port change (a no-op there).
    for (const PortCall& call : serial.calls)
        EXPECT_EQ(call.kind, Kind::CloseSerial);
    // Parallel calls stay with the parallel backend.
    ports.WriteData(0x378, 0x01);
    EXPECT_EQ(parallel.calls.size(), 1u);
    EXPECT_EQ(simulator.calls.size(), 4u);
}

TEST_F(SystemPortsTest, ChangingBetweenSimAndARealPortClosesTheOther) {
    ports.SetExtraBackend(&simulator);
    ASSERT_EQ(ports.OpenSerial("COM1"), SerialOpenResult::Ok);
    ASSERT_EQ(ports.OpenSerial("SIM"), SerialOpenResult::Ok);
    EXPECT_FALSE(serial.serialOpen) << "COM1 still open behind the simulator";
    ports.EscapeCommFunction(CommFunction::SetRts);
    ASSERT_EQ(ports.OpenSerial("COM3"), SerialOpenResult::Ok);
    EXPECT_FALSE(simulator.serialOpen);
    ports.EscapeCommFunction(CommFunction::ClrRts);
    EXPECT_EQ(Log(serial), (std::vector<std::string>{"open COM1", "close", "open COM3", "CLRRTS"}));
    EXPECT_EQ(Log(simulator), (std::vector<std::string>{"open SIM", "SETRTS", "close"}));
}

TEST_F(SystemPortsTest, RemovingTheExtraBackendClosesItsPort) {
    ports.SetExtraBackend(&simulator);
    ASSERT_EQ(ports.OpenSerial("SIM"), SerialOpenResult::Ok);
    ports.SetExtraBackend(nullptr);
    EXPECT_FALSE(simulator.serialOpen);
    ports.EscapeCommFunction(CommFunction::SetDtr);
    EXPECT_EQ(Log(simulator), (std::vector<std::string>{"open SIM", "close"}));
    // (The serial backend's close came with the change to SIM; it had nothing open.)
    EXPECT_EQ(Log(serial), (std::vector<std::string>{"close", "SETDTR"}));
}

TEST_F(SystemPortsTest, ReplacingTheExtraBackendWhileARealPortIsOpenLeavesItOpen) {
    ports.SetExtraBackend(&simulator);
    ASSERT_EQ(ports.OpenSerial("COM1"), SerialOpenResult::Ok);
    ports.SetExtraBackend(nullptr);
    EXPECT_TRUE(serial.serialOpen);
    EXPECT_TRUE(simulator.calls.empty());
}

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
    EXPECT_EQ(p.state.errorText.str(), "COM-Init-Error!\n" + serial.SerialOpenNote());
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
