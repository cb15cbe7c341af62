// Millisecond waits on the tick counter and short delays counted in input
// reads. Nothing sleeps: every wait is a busy loop, so the clock edges of the
// bit transfer keep their spacing whatever the system's timer resolution.
#include <algorithm>

#include "adapter/adapter.h"
#include "adapter/pin_lines.h"

namespace ostrel::adapter {

namespace {
// Calibration runs the input read for this long ...
constexpr uint32_t kCalibrationMs = 50;
// ... and every this many passes in that time add one read to the delay unit.
constexpr int32_t kPassesPerLoop = 37000;
// A streaming port's pass is a round trip; this many tell what one costs.
constexpr int64_t kStreamingCalibrationReads = 4;
}  // namespace

int32_t SpeedFactor(int32_t speed) {
    switch (speed) {
        case 0:
            return 100;
        case 1:
            return 25;
        case 2:
            return 5;
        default:
            return 1;
    }
}

const char* SpeedName(int32_t speed) {
    switch (speed) {
        case 0:
            return "very low";
        case 1:
            return "Low";
        case 2:
            return "Medium";
        default:
            return "High";
    }
}

uint64_t SckPhaseNs(const Programmer& p, int32_t speed) {
    const ProgrammerState& s = p.state;
    if (Streaming(p))
        return StreamPhaseNs(speed);
    if (s.calibrationPasses <= 0)
        return 0;
    // A calibration pass is an input read and a tick read, which costs next
    // to nothing. A phase is at least its delay unit's reads, the line change
    // that starts it and the MISO read or line change before the next; one
    // access is left out for what the tick reads added to the passes.
    const uint64_t accessNs =
        kCalibrationMs * 1000000ull / static_cast<uint64_t>(s.calibrationPasses);
    const uint64_t reads = static_cast<uint64_t>(SpeedFactor(speed)) *
                               static_cast<uint64_t>(s.delayLoops > 0 ? s.delayLoops : 1) +
                           1;
    return reads * accessNs;
}

bool SpeedKeepsUp(const Programmer& p, int32_t speed, uint32_t hz) {
    if (hz == 0)
        return true;
    // Below 12 MHz more than 2 cycles; from 12 MHz more than 3, which at
    // 12 MHz is 250 ns: a clock that may be anywhere above hz needs the more.
    constexpr uint64_t kThreeCyclesAt12MHzNs = 250;
    const uint64_t need = hz < 12000000
                              ? std::max<uint64_t>(2000000000ull / hz, kThreeCyclesAt12MHzNs)
                              : 3000000000ull / hz;
    return SckPhaseNs(p, speed) > need;
}

int32_t FastestSpeedFor(const Programmer& p, uint32_t hz) {
    for (int32_t speed = 3; speed > 0; --speed) {
        if (SpeedKeepsUp(p, speed, hz) && SckPhaseNs(p, speed) > 0)
            return speed;
    }
    return 0;
}

void WaitMs(Programmer& p, uint32_t ms) {
    // A streaming port's queued states must be out before the wait starts:
    // a wait after a write instruction is the chip's time to write.
    Flush(p);
    uint32_t t0 = p.clock.TickMs();
    if (ms == 0)
        return;
    // Unsigned difference: a wrap of the counter neither lengthens nor shortens the wait.
    while (static_cast<uint32_t>(p.clock.TickMs() - t0) < ms) {
    }
}

void ReadingPause(Programmer& p) {
    if (!p.skipReadingPauses)
        WaitMs(p, 1000);
}

void Delay(Programmer& p, int32_t count) {
    if (p.state.delayLoops == 0)
        p.state.delayLoops = 1;
    if (count == 0)
        count = 1;
    if (Streaming(p)) {
        // A unit is an SCK phase of states; the speed is in its length.
        if (count > 0 && !p.portLost) {
            pins::Queue(p, static_cast<int64_t>(count) *
                               (p.state.statesPerPhase > 0 ? p.state.statesPerPhase : 1));
        }
        return;
    }
    int64_t units = static_cast<int64_t>(count) * SpeedFactor(p.state.speed);
    if (units <= 0)
        return;
    for (int64_t u = 0; u < units; ++u) {
        for (int32_t i = 0; i < p.state.delayLoops; ++i)
            PollInput(p);
    }
}

void CalibrateDelay(Programmer& p) {
    // A streaming port times its states itself: what is worth measuring is
    // a transfer, the round trip every answer costs. The passes count those.
    ConfigureStream(p);
    int64_t passes = 0;
    if (Streaming(p)) {
        // Round trips of a millisecond or so: a few of them, scaled to the
        // passes of the 50 ms, measure one as well as 50 ms of them, which
        // every connect would wait out.
        const uint64_t startNs = p.clock.NowNs();
        for (int64_t i = 0; i < kStreamingCalibrationReads; ++i)
            PollInput(p);
        const uint64_t ns = std::max<uint64_t>(1, p.clock.NowNs() - startNs);
        passes = std::max<int64_t>(
            1, static_cast<int64_t>(kStreamingCalibrationReads * kCalibrationMs * 1000000ull / ns));
    } else {
        uint32_t t0 = p.clock.TickMs();
        uint32_t t = t0;
        do {
            t = p.clock.TickMs();
            PollInput(p);
            ++passes;
        } while (static_cast<uint32_t>(t - t0) < kCalibrationMs);
    }
    p.state.calibrationPasses = passes > INT32_MAX ? INT32_MAX : static_cast<int32_t>(passes);
    int64_t loops = passes / kPassesPerLoop + 1;
    p.state.delayLoops = loops > INT32_MAX ? INT32_MAX : static_cast<int32_t>(loops);
}

}  // namespace ostrel::adapter
