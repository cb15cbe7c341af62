// The length of a write from the calibration, the port's cost per bit and
// the number of data bytes.
#include <gtest/gtest.h>

#include "adapter/adapter.h"
#include "tests/support/fixture.h"

namespace ostrel::testing {
namespace {

// A page takes 40 ms, a byte 10 ms: the polling reads last that long, or one
// read where a read takes longer.
constexpr adapter::ChipWriteTimes kTimes{.pageSeconds = 0.040, .byteSeconds = 0.010};

TEST(EstimateWriteSeconds, AddsTheInstructionsAtTheMeasuredCostAndThePolling) {
    const struct {
        const char* what;
        AdapterKind kind;
        Flag cablet2;
        int32_t speed;
        int32_t delayLoops;
        int32_t passes;  // input reads in the calibration's 50 ms
        Flag paged;
        int32_t pageWords;
        Flag eeprom;
        long bytes;
        int64_t accessesPerBit;
        double seconds;
    } kCases[] = {
        // 7 accesses per bit at 1 us, an instruction 224 us; 1024 bytes = 16 pages of 64:
        // 2 instructions a byte, and a page its write and 40 ms of polling (179 reads).
        {"parallel, page mode", AdapterKind::Parallel, 0, 3, 1, 50000, 1, 32, 0, 1024, 7,
         2048 * 224e-6 + 16 * (1 + 179) * 224e-6},
        // A USB adapter: 1 ms an access, Cablet2 at Medium: 5 + 5 x 5 accesses per bit, an
        // instruction 0.96 s; byte mode: the write, a read, and one polling read (longer
        // than the 10 ms write) a byte.
        {"USB serial, byte mode", AdapterKind::Serial, 1, 2, 1, 50, 0, 0, 0, 100, 30,
         100 * 3 * 0.96},
        // EEPROM on a page-mode chip is written byte-wise after a read of all 512 bytes;
        // very low speed and 2 reads a unit: 4 + 4 x 100 x 2 accesses per bit at 0.5 us, an
        // instruction 12.9 ms; a byte: a read, the write, one polling read and a read.
        {"serial, EEPROM", AdapterKind::Serial, 0, 0, 2, 100000, 1, 32, 1, 10, 804,
         (10 * 4 + 512) * 32 * 804 * 0.5e-6},
        {"no data", AdapterKind::Parallel, 0, 3, 1, 50000, 0, 0, 0, 0, 7, 0.0},
        {"not calibrated yet", AdapterKind::Parallel, 0, 3, 1, 0, 0, 0, 0, 100, 7, -1.0},
    };
    for (const auto& c : kCases) {
        RecordingRig rig;
        ProgrammerState& s = rig.p.state;
        s.adapterKind = c.kind;
        s.cablet2 = c.cablet2;
        s.speed = c.speed;
        s.delayLoops = c.delayLoops;
        s.calibrationPasses = c.passes;
        s.pagedFlash = c.paged;
        s.pageWords = c.pageWords;
        s.eepromFile = c.eeprom;
        s.eepromBytes = 512;
        EXPECT_EQ(adapter::PortAccessesPerBit(rig.p), c.accessesPerBit) << c.what;
        EXPECT_NEAR(adapter::EstimateWriteSeconds(rig.p, c.bytes, kTimes), c.seconds, 1e-9)
            << c.what;
    }
}

TEST(EstimateWriteSeconds, FollowsWhatTheCalibrationMeasured) {
    // One port access per virtual millisecond: 50 (or 51) passes, so 1 ms per access.
    RecordingRig rig;
    rig.p.state.directPortIo = 1;
    rig.p.state.speed = 3;
    adapter::CalibrateDelay(rig.p);
    ASSERT_GE(rig.p.state.calibrationPasses, 50);
    ASSERT_LE(rig.p.state.calibrationPasses, 51);
    // Three instructions of 32 bits, the 10 ms write within one of them.
    double perByte = adapter::EstimateWriteSeconds(rig.p, 1, kTimes);
    EXPECT_NEAR(perByte, 96 * 7 * 0.050 / rig.p.state.calibrationPasses, 1e-9);
}

}  // namespace
}  // namespace ostrel::testing
