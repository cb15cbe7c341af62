// The cable test: which line goes where and when, on the recording port, and
// what it reports about the simulated cables.
#include <gtest/gtest.h>

#include <map>

#include "adapter/cable_test.h"
#include "tests/support/fixture.h"
#include "tests/support/sim_rig.h"

namespace ostrel::testing {
namespace {

using adapter::CableReading;
using adapter::CableTestHooks;
using adapter::CableVerdict;
using adapter::RunCableTest;

constexpr uint32_t kPause = 500;

std::vector<std::string> Steps(const adapter::CableTestResult& result) {
    std::vector<std::string> steps;
    for (const CableReading& r : result.readings)
        steps.emplace_back(r.step);
    return steps;
}

const std::vector<std::string> kAllSteps = {"start: all low (target held in reset)",
                                            "RESET high",
                                            "RESET low",
                                            "SCK high",
                                            "SCK low",
                                            "MOSI high",
                                            "MOSI low",
                                            "end: RESET high (target runs)"};

TEST(CableTest, ParallelDrivesOneLineAtATimeAndHoldsEachStateForThePause) {
    RecordingRig rig;
    rig.p.state.adapterKind = AdapterKind::Parallel;
    rig.p.state.directPortIo = 1;
    rig.p.state.portBase = 0x378;
    // MISO wired to MOSI, as a bench test with a jumper would have it; and the
    // time each data register value was seen by an input read.
    std::map<uint8_t, std::pair<uint64_t, uint64_t>> seen;
    rig.port.wordFn = [&] {
        auto writes = rig.port.DataWrites();
        uint8_t data = writes.empty() ? 0 : writes.back();
        auto [it, fresh] = seen.try_emplace(data, rig.clock.NowUs(), rig.clock.NowUs());
        it->second.second = rig.clock.NowUs();
        return static_cast<uint16_t>((data & 0x01) ? 0x4000 | data : data);
    };
    auto result = RunCableTest(rig.p, {}, kPause);

    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.verdict, CableVerdict::Parallel);
    EXPECT_EQ(Steps(result), kAllSteps);
    // All low, then each line high and low; the release then checks the port
    // (0xC0, 0x00 read back) and raises RESET.
    EXPECT_EQ(rig.port.DataWrites(), (std::vector<uint8_t>{0x00, 0x08, 0x00, 0x02, 0x00, 0x01, 0x00,
                                                           0x00, 0xC0, 0x00, 0x08}));
    for (const auto& [data, times] : seen) {
        if (data == 0x00)
            continue;  // 0x00 is held several times over
        EXPECT_GE(times.second - times.first, (kPause - adapter::kCableTestPollMs) * 1000)
            << "state " << int(data) << " held too short";
    }
    for (const CableReading& r : result.readings) {
        SCOPED_TRACE(r.step);
        EXPECT_EQ(r.miso, r.mosi) << "MISO as the port read it";
        EXPECT_FALSE(r.serial);
    }
}

// Serial line states as the escapes left them.
struct SerialLines {
    bool breakOn = false, dtr = false;
};
SerialLines LinesNow(const RecordingPort& port) {
    SerialLines lines;
    for (CommFunction f : port.Escapes()) {
        if (f == CommFunction::SetBreak || f == CommFunction::ClrBreak)
            lines.breakOn = f == CommFunction::SetBreak;
        if (f == CommFunction::SetDtr || f == CommFunction::ClrDtr)
            lines.dtr = f == CommFunction::SetDtr;
    }
    return lines;
}

TEST(CableTest, SerialLinesFollowTheDetectedCableAndTheLoopBacksNameIt) {
    using F = CommFunction;
    struct Case {
        const char* name;
        bool ringLoop, dsrLoop;
        std::vector<F> escapes;
        CableVerdict verdict;
    };
    const std::vector<F> plainSteps = {F::ClrBreak, F::ClrRts, F::ClrDtr, F::SetBreak, F::ClrBreak,
                                       F::SetRts,   F::ClrRts, F::SetDtr, F::ClrDtr,   F::SetBreak};
    auto with = [](std::vector<F> detection, const std::vector<F>& steps) {
        detection.insert(detection.end(), steps.begin(), steps.end());
        return detection;
    };
    const Case cases[] = {
        {"Cablet2", false, true, with({F::SetBreak, F::SetDtr, F::ClrDtr}, plainSteps),
         CableVerdict::Cablet2},
        // Cablet1 inverts SCK and MOSI: high is the cleared line.
        {"Cablet1", true, false,
         with({F::SetBreak, F::ClrBreak},
              {F::ClrBreak, F::SetRts, F::SetDtr, F::SetBreak, F::ClrBreak, F::ClrRts, F::SetRts,
               F::ClrDtr, F::SetDtr, F::SetBreak}),
         CableVerdict::Cablet1},
        // No loop-back: the detection fails, the test goes on with the plain wiring.
        {"none", false, false, with({F::SetBreak, F::SetDtr}, plainSteps),
         CableVerdict::NoLoopBack},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingRig rig;
        rig.p.state.adapterKind = AdapterKind::Serial;
        rig.p.state.portName.Assign("COM1");
        rig.p.state.comName.Assign("COM1");
        rig.port.modemStatusFn = [&] {
            SerialLines lines = LinesNow(rig.port);
            return (c.ringLoop && lines.breakOn ? kMsRingOn : 0u) |
                   (c.dsrLoop && lines.dtr ? kMsDsrOn : 0u);
        };
        int live = 0;
        CableTestHooks hooks;
        hooks.show = [&](const CableReading& r) { live += r.final ? 0 : 1; };
        auto result = RunCableTest(rig.p, hooks, kPause);

        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(rig.port.Escapes(), c.escapes);
        EXPECT_EQ(result.verdict, c.verdict);
        EXPECT_EQ(Steps(result), kAllSteps);
        EXPECT_EQ(live, 7) << "one live reading as each held state begins";
        for (const CableReading& r : result.readings) {
            SCOPED_TRACE(r.step);
            EXPECT_TRUE(r.serial);
            EXPECT_EQ(r.ri, c.ringLoop && r.reset == 1);
        }
    }
}

TEST(CableTest, APortThatCannotBeUsedEndsBeforeAnyLineMoves) {
    RecordingRig serial;
    serial.p.state.adapterKind = AdapterKind::Serial;
    serial.p.state.comName.Assign("COM3");
    serial.port.openResult = SerialOpenResult::OpenFailed;
    EXPECT_EQ(RunCableTest(serial.p, {}, kPause).status, 1);
    EXPECT_EQ(serial.p.state.errorText.view(), "COM-Init-Error!");
    EXPECT_TRUE(serial.port.Escapes().empty());

    RecordingRig parallel;
    parallel.p.state.adapterKind = AdapterKind::Parallel;
    EXPECT_EQ(RunCableTest(parallel.p, {}, kPause).status, 1);
    EXPECT_EQ(parallel.p.state.errorText.view(), "DLPORTIO not installed");
    EXPECT_TRUE(parallel.port.calls.empty());
}

TEST(CableTest, StoppingStillReleasesTheTarget) {
    RecordingRig rig;
    rig.p.state.adapterKind = AdapterKind::Serial;
    rig.p.state.comName.Assign("COM1");
    int polls = 0;
    CableTestHooks hooks;
    hooks.idle = [&] { return ++polls < 15; };  // stopped while RESET is high
    auto result = RunCableTest(rig.p, hooks, kPause);
    EXPECT_TRUE(result.stopped);
    EXPECT_EQ(result.verdict, CableVerdict::Unknown);
    EXPECT_EQ(Steps(result),
              (std::vector<std::string>{kAllSteps[0], kAllSteps[1], kAllSteps.back()}));
    EXPECT_EQ(rig.port.Escapes().back(), CommFunction::SetBreak) << "RESET high: the target runs";
}

TEST(CableTest, TheSimulatedCablesReportWhatRealOnesWould) {
    struct Case {
        sim::CableKind cable;
        CableVerdict verdict;
    };
    for (Case c : {Case{sim::CableKind::Parallel, CableVerdict::Parallel},
                   Case{sim::CableKind::SerialPlain, CableVerdict::NoLoopBack},
                   Case{sim::CableKind::Cablet1, CableVerdict::Cablet1},
                   Case{sim::CableKind::Cablet2, CableVerdict::Cablet2}}) {
        SCOPED_TRACE(sim::CableName(c.cable));
        SimRigOptions options;
        options.cable = c.cable;
        SimRig rig(options);
        auto result = RunCableTest(rig.p, {});
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.verdict, c.verdict);
        ASSERT_EQ(result.readings.size(), kAllSteps.size());
        // A running chip leaves MISO to its pull-up; held in reset it drives it low.
        for (const CableReading& r : result.readings)
            EXPECT_EQ(r.miso, r.reset) << r.step;
        EXPECT_TRUE(rig.chip().Running()) << "released at the end";
    }
}

}  // namespace
}  // namespace ostrel::testing
