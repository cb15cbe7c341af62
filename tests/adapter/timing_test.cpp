// Waits on the tick counter, counted delays and their calibration.
#include <gtest/gtest.h>

#include "adapter/adapter.h"
#include "tests/support/fixture.h"

namespace ostrel::testing {
namespace {

size_t PollCount(const RecordingPort& port) {
    return port.Calls(PortCall::Kind::ReadStatus).size();
}

TEST(Delay, SpeedFactorsAndLoopsMultiply) {
    struct Case {
        int32_t speed;
        int32_t loops;
        int32_t count;
        size_t reads;
    };
    for (Case c : {Case{0, 1, 1, 100}, Case{1, 1, 1, 25}, Case{2, 1, 1, 5}, Case{3, 1, 1, 1},
                   Case{3, 7, 3, 21}, Case{0, 2, 10, 2000}, Case{9, 3, 2, 6}, Case{-1, 1, 4, 4}}) {
        RecordingRig rig;
        rig.p.state.directPortIo = 1;
        rig.p.state.speed = c.speed;
        rig.p.state.delayLoops = c.loops;
        adapter::Delay(rig.p, c.count);
        EXPECT_EQ(PollCount(rig.port), c.reads) << "speed " << c.speed << " count " << c.count;
    }
}

TEST(Delay, CountZeroWaitsAsLongAsOneAndNegativeNotAtAll) {
    RecordingRig rig;
    rig.p.state.directPortIo = 1;
    rig.p.state.speed = 2;
    rig.p.state.delayLoops = 3;
    adapter::Delay(rig.p, 0);
    EXPECT_EQ(PollCount(rig.port), 15u);
    rig.port.Clear();
    adapter::Delay(rig.p, -4);
    EXPECT_EQ(PollCount(rig.port), 0u);
}

TEST(Delay, UncalibratedLoopsCountAsOne) {
    RecordingRig rig;
    rig.p.state.directPortIo = 1;
    rig.p.state.speed = 3;
    ASSERT_EQ(rig.p.state.delayLoops, 0);
    adapter::Delay(rig.p, 4);
    EXPECT_EQ(rig.p.state.delayLoops, 1);
    EXPECT_EQ(PollCount(rig.port), 4u);
}

// A clock whose time only moves when the port is read, by `usPerRead`.
struct CalibrationRig {
    explicit CalibrationRig(uint64_t usPerRead) : clock(0, 0) {
        rig.p.state.directPortIo = 1;
        rig.port.wordFn = [this, usPerRead]() -> uint16_t {
            clock.Advance(usPerRead);
            return 0;
        };
    }
    RecordingRig rig;
    VirtualClock clock;
    Programmer p{rig.port, clock, rig.windows};
};

TEST(CalibrateDelay, OneLoopPer37000PassesInFiftyMilliseconds) {
    // 2 us per read: 25,001 passes fit into 50 ms (the pass that sees 50 counts).
    CalibrationRig slow(2);
    slow.p.state.directPortIo = 1;
    adapter::CalibrateDelay(slow.p);
    EXPECT_EQ(PollCount(slow.rig.port), 25001u);
    EXPECT_EQ(slow.p.state.delayLoops, 1);
    EXPECT_EQ(slow.p.state.calibrationPasses, 25001) << "kept for the write estimate";

    // 1 us per read: 50,001 passes, between 37,000 and 73,999: two reads per unit.
    CalibrationRig fast(1);
    fast.p.state.directPortIo = 1;
    adapter::CalibrateDelay(fast.p);
    EXPECT_EQ(PollCount(fast.rig.port), 50001u);
    EXPECT_EQ(fast.p.state.delayLoops, 2);
}

TEST(CalibrateDelay, WorksAcrossTheTickWrap) {
    RecordingRig rig;
    VirtualClock clock(0xFFFFFFF0u);  // wraps 16 ms into the calibration
    Programmer p(rig.port, clock, rig.windows);
    p.state.directPortIo = 1;
    adapter::CalibrateDelay(p);
    EXPECT_EQ(PollCount(rig.port), 50u);  // one pass per millisecond tick
    EXPECT_EQ(p.state.delayLoops, 1);
}

TEST(WaitMs, ZeroReturnsAfterOneTickRead) {
    RecordingRig rig;
    adapter::WaitMs(rig.p, 0);
    EXPECT_EQ(rig.clock.Reads(), 1u);
}

TEST(WaitMs, WaitsTheFullTimeAcrossTheWrap) {
    for (uint32_t start : {0u, 0xFFFFFFFFu - 500u, 0xFFFFFFFFu}) {
        VirtualClock clock(start);
        RecordingRig rig;
        Programmer p(rig.port, clock, rig.windows);
        uint64_t before = clock.NowUs();
        adapter::WaitMs(p, 1000);
        uint64_t waited = clock.NowUs() - before;
        EXPECT_GE(waited, 1000000u) << "start " << start;
        EXPECT_LE(waited, 1002000u) << "start " << start;
    }
}

TEST(WaitMs, OneMillisecondEndsWhenTheCounterMovesOn) {
    RecordingRig rig;
    adapter::WaitMs(rig.p, 1);
    EXPECT_EQ(rig.clock.Reads(), 2u);
}

}  // namespace
}  // namespace ostrel::testing
