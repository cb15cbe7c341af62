// Opening the serial port, cable detection, and the two resting states.
#include <gtest/gtest.h>

#include "adapter/adapter.h"
#include "tests/support/fixture.h"

namespace ostrel::testing {
namespace {

using adapter::DetectSerialAdapter;

struct SerialRig : RecordingRig {
    SerialRig() {
        p.state.adapterKind = AdapterKind::Serial;
        p.state.portName.Assign("COM2");
        p.state.comName.Assign("COM2");
    }
};

TEST(OpenSerialPort, OpensOnceAndThenDoesNothing) {
    SerialRig rig;
    EXPECT_EQ(adapter::OpenSerialPort(rig.p), 0);
    EXPECT_EQ(adapter::OpenSerialPort(rig.p), 0);
    EXPECT_EQ(rig.port.openCount, 1);
    ASSERT_EQ(rig.port.calls.size(), 1u);
    EXPECT_EQ(ToString(rig.port.calls[0]), "open COM2");
    EXPECT_EQ(rig.p.state.comOpen, 1);
}

TEST(OpenSerialPort, EachFailingStepHasItsOwnTextAndTheNextTryOpensAgain) {
    struct Case {
        SerialOpenResult result;
        const char* text;
    };
    for (Case c :
         {Case{SerialOpenResult::OpenFailed, "COM-Init-Error!"},
          Case{SerialOpenResult::ReadSettingsFailed, "Kann COM-Port Einstellung nicht lesen."},
          Case{SerialOpenResult::WriteSettingsFailed, "Kann COM-Port Einstellung nicht schreiben."},
          Case{SerialOpenResult::WriteTimeoutsFailed, "Kann TIMEOUTS nicht schreiben."}}) {
        SerialRig rig;
        rig.port.openResult = c.result;
        EXPECT_EQ(adapter::OpenSerialPort(rig.p), 1);
        EXPECT_EQ(rig.p.state.errorText.view(), c.text);
        EXPECT_EQ(rig.p.state.comOpen, 0);
        rig.port.openResult = SerialOpenResult::Ok;
        EXPECT_EQ(adapter::OpenSerialPort(rig.p), 0);
        EXPECT_EQ(rig.port.openCount, 2);
    }
}

// Modem status that follows the cable's loop-backs: `ringFollowsBreak` for
// Cablet1, `dsrFollowsDtr` for Cablet2, `ringStuck` for an RI line that is always on.
void WireCable(SerialRig& rig, bool ringFollowsBreak, bool dsrFollowsDtr, bool ringStuck = false) {
    auto breakOn = std::make_shared<bool>(false);
    auto dtrOn = std::make_shared<bool>(false);
    rig.port.modemStatusFn = [&rig, breakOn, dtrOn, ringFollowsBreak, dsrFollowsDtr, ringStuck]() {
        for (const auto& c : rig.port.calls) {
            if (c.kind != PortCall::Kind::Escape)
                continue;
            if (c.function == CommFunction::SetBreak)
                *breakOn = true;
            if (c.function == CommFunction::ClrBreak)
                *breakOn = false;
            if (c.function == CommFunction::SetDtr)
                *dtrOn = true;
            if (c.function == CommFunction::ClrDtr)
                *dtrOn = false;
        }
        uint32_t status = 0;
        if ((ringFollowsBreak && *breakOn) || ringStuck)
            status |= kMsRingOn;
        if (dsrFollowsDtr && *dtrOn)
            status |= kMsDsrOn;
        return status;
    };
}

TEST(DetectSerialAdapter, FindsCablet1ByTheRingLoopBack) {
    SerialRig rig;
    WireCable(rig, true, false);
    EXPECT_EQ(DetectSerialAdapter(rig.p), 0);
    EXPECT_EQ(rig.p.state.cablet1, 1);
    EXPECT_EQ(rig.p.state.cablet2, 0);
    EXPECT_EQ(rig.port.Escapes(),
              (std::vector<CommFunction>{CommFunction::SetBreak, CommFunction::ClrBreak}));
}

TEST(DetectSerialAdapter, FindsCablet2ByTheDsrLoopBack) {
    SerialRig rig;
    WireCable(rig, false, true);
    EXPECT_EQ(DetectSerialAdapter(rig.p), 0);
    EXPECT_EQ(rig.p.state.cablet1, 0);
    EXPECT_EQ(rig.p.state.cablet2, 1);
    EXPECT_EQ(rig.port.Escapes(),
              (std::vector<CommFunction>{CommFunction::SetBreak, CommFunction::SetDtr,
                                         CommFunction::ClrDtr}));
}

TEST(DetectSerialAdapter, BothLoopBacksCountAsCablet1) {
    SerialRig rig;
    WireCable(rig, true, true);
    EXPECT_EQ(DetectSerialAdapter(rig.p), 0);
    EXPECT_EQ(rig.p.state.cablet1, 1);
    EXPECT_EQ(rig.p.state.cablet2, 0);
}

TEST(DetectSerialAdapter, RingStuckOnFallsThroughToTheDsrTest) {
    SerialRig rig;
    WireCable(rig, false, true, true);
    EXPECT_EQ(DetectSerialAdapter(rig.p), 0);
    EXPECT_EQ(rig.p.state.cablet2, 1);
}

TEST(DetectSerialAdapter, NoLoopBackFailsWithThePortName) {
    for (bool dsrStuck : {false, true}) {
        SerialRig rig;
        rig.p.state.cablet1 = 1;  // flags from an earlier detection are cleared
        rig.port.modemStatus = dsrStuck ? kMsDsrOn : 0;
        EXPECT_EQ(DetectSerialAdapter(rig.p), 1);
        EXPECT_EQ(rig.p.state.errorText.view(), "No Adaptor found at COM2\n");
        EXPECT_EQ(rig.p.state.cablet1, 0);
        EXPECT_EQ(rig.p.state.cablet2, 0);
    }
}

TEST(DetectSerialAdapter, WaitsLetTheLinesSettle) {
    SerialRig rig;
    WireCable(rig, false, true);
    uint64_t before = rig.clock.NowUs();
    DetectSerialAdapter(rig.p);
    // 50 ms after the break, 150 ms after each DTR change.
    EXPECT_GE(rig.clock.NowUs() - before, 350000u);
}

TEST(DetectSerialAdapter, ParallelPortDoesNothing) {
    RecordingRig rig;
    rig.p.state.cablet2 = 1;
    EXPECT_EQ(DetectSerialAdapter(rig.p), 0);
    EXPECT_TRUE(rig.port.calls.empty());
    EXPECT_EQ(rig.p.state.cablet2, 1);
}

TEST(DetectSerialAdapter, OpenFailureIsReported) {
    SerialRig rig;
    rig.port.openResult = SerialOpenResult::OpenFailed;
    EXPECT_EQ(DetectSerialAdapter(rig.p), 1);
    EXPECT_EQ(rig.p.state.errorText.view(), "COM-Init-Error!");
    EXPECT_TRUE(rig.port.Escapes().empty());
}

TEST(HoldTargetInReset, ParallelDirectDrivesTheDataLinesAndClearsTheCableBits) {
    RecordingRig rig;
    rig.p.state.directPortIo = 1;
    rig.p.state.dataLatch = 0x0B;
    rig.port.control = 0x2C;
    EXPECT_EQ(adapter::HoldTargetInReset(rig.p), 0);
    std::vector<std::string> seen;
    for (const auto& c : rig.port.calls)
        seen.push_back(ToString(c));
    EXPECT_EQ(seen, (std::vector<std::string>{"inc 378", "outc 378 0C", "out 378 00"}));
    EXPECT_EQ(rig.port.Calls(PortCall::Kind::ReadControl)[0].base, 0x378);
}

TEST(HoldTargetInReset, SerialLowersResetOnly) {
    SerialRig rig;
    EXPECT_EQ(adapter::HoldTargetInReset(rig.p), 0);
    EXPECT_EQ(rig.port.Escapes(), (std::vector<CommFunction>{CommFunction::ClrBreak}));
}

TEST(ReleaseTarget, SerialRaisesReset) {
    SerialRig rig;
    EXPECT_EQ(adapter::ReleaseTarget(rig.p), 0);
    EXPECT_EQ(rig.port.Escapes(), (std::vector<CommFunction>{CommFunction::SetBreak}));
}

TEST(ReleaseTarget, WithoutPortAccessItFails) {
    RecordingRig rig;
    EXPECT_EQ(adapter::ReleaseTarget(rig.p), 1);
    EXPECT_EQ(rig.p.state.errorText.view(), "DLPORTIO not installed");
    EXPECT_TRUE(rig.port.calls.empty());
}

TEST(ReleaseTarget, PortCheckPassesOnAPortThatDrivesItsDataLines) {
    RecordingRig rig;
    rig.p.state.directPortIo = 1;
    rig.p.state.portBase = 0x278;
    rig.port.control = 0x04;
    EXPECT_EQ(adapter::ReleaseTarget(rig.p), 0);
    EXPECT_EQ(rig.port.DataWrites(), (std::vector<uint8_t>{0x00, 0xC0, 0x00, 0x08}));
    auto controls = rig.port.Calls(PortCall::Kind::WriteControl);
    ASSERT_EQ(controls.size(), 2u);
    EXPECT_EQ(controls[0].value, 0x24u);  // data lines to input for the check
    EXPECT_EQ(controls[1].value, 0x04u);  // and back to output before RESET rises
}

TEST(ReleaseTarget, PortCheckStopsEarlyWhenTheDataDoesNotReadBack) {
    for (uint8_t answer : {0xFF, 0x00}) {
        RecordingRig rig;
        rig.p.state.directPortIo = 1;
        rig.port.dataReadsBack = false;
        rig.port.dataValue = answer;
        EXPECT_EQ(adapter::ReleaseTarget(rig.p), 0);
        // RESET is not raised and the data lines stay switched to input.
        for (uint8_t v : rig.port.DataWrites())
            EXPECT_EQ(v & 0x08, 0);
        EXPECT_EQ(rig.port.control & 0x20, 0x20);
    }
}

TEST(ReleaseTarget, DriverPathSkipsThePortCheck) {
    RecordingRig rig;
    rig.p.state.dlPortIoLoaded = 1;
    EXPECT_EQ(adapter::ReleaseTarget(rig.p), 0);
    EXPECT_TRUE(rig.port.Calls(PortCall::Kind::ReadControl).empty());
    EXPECT_TRUE(rig.port.Calls(PortCall::Kind::WriteControl).empty());
    EXPECT_EQ(rig.port.DataWrites(), (std::vector<uint8_t>{0x00, 0x08}));
}

TEST(CloseSerialPort, ClosesAndAllowsAFreshOpen) {
    SerialRig rig;
    adapter::OpenSerialPort(rig.p);
    adapter::CloseSerialPort(rig.p);
    EXPECT_EQ(rig.p.state.comOpen, 0);
    EXPECT_FALSE(rig.port.serialOpen);
    adapter::OpenSerialPort(rig.p);
    EXPECT_EQ(rig.port.openCount, 2);
}

}  // namespace
}  // namespace ostrel::testing
