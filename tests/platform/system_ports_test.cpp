#include "platform/system_ports.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/recording_port.h"

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

}  // namespace
}  // namespace ostrel
