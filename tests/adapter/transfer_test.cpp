// Bit transfer on the parallel cable and on the three serial wirings.
#include <gtest/gtest.h>

#include "adapter/adapter.h"
#include "app/endings.h"
#include "tests/support/fixture.h"

namespace ostrel::testing {
namespace {

using adapter::TransferWord;

// The MOSI level of each bit, read from the line changes a transfer made.
std::vector<int> ParallelMosiAtRisingEdges(const RecordingPort& port) {
    std::vector<int> bits;
    uint8_t previous = 0;
    for (const auto& call : port.calls) {
        if (call.kind != PortCall::Kind::WriteData)
            continue;
        auto value = static_cast<uint8_t>(call.value);
        if ((value & 0x02) && !(previous & 0x02))
            bits.push_back(value & 0x01);
        previous = value;
    }
    return bits;
}

const std::vector<int> kAc53Bits = {1, 0, 1, 0, 1, 1, 0, 0, 0, 1, 0, 1, 0, 0, 1, 1};

TEST(ParallelTransfer, SendsMostSignificantBitFirstAndOnlyTheLow16Bits) {
    RecordingRig rig;
    rig.p.state.directPortIo = 1;
    rig.p.state.txWord = 0x1AC53;  // bit 16 must never reach the wire
    TransferWord(rig.p);
    EXPECT_EQ(ParallelMosiAtRisingEdges(rig.port), kAc53Bits);
}

TEST(ParallelTransfer, EachBitIsMosiThenSckHighThenSampleThenSckLow) {
    RecordingRig rig;
    rig.p.state.directPortIo = 1;
    rig.p.state.speed = 3;
    rig.p.state.delayLoops = 1;
    rig.p.state.txWord = 0x8000;
    adapter::ClockBit(rig.p, 1);
    std::vector<std::string> seen;
    for (const auto& c : rig.port.calls)
        seen.push_back(ToString(c));
    // One delay unit is one input read at speed High with one loop; an input
    // read is the status register alone.
    EXPECT_EQ(seen, (std::vector<std::string>{"out 378 01", "in 379", "out 378 03", "in 379",
                                              "in 379", "out 378 01", "in 379"}));
}

TEST(ParallelTransfer, DataRegisterOnlyEverCarriesTheCableBits) {
    RecordingRig rig;
    rig.p.state.directPortIo = 1;
    rig.p.state.dataLatch = 0;
    for (int32_t word : {0xFFFF, 0x0000, 0xAC53, 0x5A5A}) {
        rig.p.state.txWord = word;
        TransferWord(rig.p);
    }
    adapter::HoldTargetInReset(rig.p);
    adapter::ReleaseTarget(rig.p);
    for (const auto& call : rig.port.Calls(PortCall::Kind::WriteData)) {
        // The release's port check writes its own test patterns; everything
        // else must be a combination of MOSI, SCK and RESET.
        if (call.value == 0xC0)
            continue;
        EXPECT_EQ(call.value & ~0x0Bu, 0u) << ToString(call);
    }
}

TEST(ParallelTransfer, ReceivesMisoFromStatusBit6Only) {
    RecordingRig rig;
    rig.p.state.directPortIo = 1;
    // Every other status bit set, MISO (word bit 14) clear: reads as 0.
    rig.port.word = 0xBFFF;
    rig.p.state.txWord = 0;
    TransferWord(rig.p);
    EXPECT_EQ(rig.p.state.rxShift & 0xFFFF, 0u);
    rig.port.word = 0x4000;
    TransferWord(rig.p);
    EXPECT_EQ(rig.p.state.rxShift, 0x0000FFFFu);
}

TEST(Transfer, RxShiftHoldsOlderBitsAfterOneWordAndOnlyNewOnesAfterTwo) {
    RecordingRig rig;
    rig.p.state.directPortIo = 1;
    rig.p.state.rxShift = 0x12345678;
    // The target answers 1,0,1,1 ... : a fixed pattern per clock.
    int n = 0;
    const uint32_t pattern = 0xB00F5A3C;
    rig.port.wordFn = [&]() -> uint16_t {
        // Four reads per bit at delayLoops 1 and speed High: the third one is the sample.
        int bitIndex = n / 4;
        bool sample = n % 4 == 2;
        ++n;
        if (!sample)
            return 0;
        return ((pattern >> (31 - bitIndex)) & 1) ? 0x4000 : 0;
    };
    rig.p.state.speed = 3;
    rig.p.state.delayLoops = 1;
    rig.p.state.txWord = 0;
    TransferWord(rig.p);
    EXPECT_EQ(rig.p.state.rxShift, 0x5678B00Fu);
    TransferWord(rig.p);
    EXPECT_EQ(rig.p.state.rxShift, pattern);
}

struct SerialCase {
    const char* name;
    Flag cablet1;
    Flag cablet2;
};

class SerialTransfer : public ::testing::TestWithParam<SerialCase> {};

TEST_P(SerialTransfer, LineSequencePerBitMatchesTheWiring) {
    RecordingRig rig;
    rig.p.state.adapterKind = AdapterKind::Serial;
    rig.p.state.cablet1 = GetParam().cablet1;
    rig.p.state.cablet2 = GetParam().cablet2;
    rig.p.state.speed = 3;
    rig.p.state.delayLoops = 1;
    rig.p.state.txWord = 0xAC53;
    TransferWord(rig.p);

    bool inverted = GetParam().cablet1 != 0;
    CommFunction sckHigh = inverted ? CommFunction::ClrRts : CommFunction::SetRts;
    CommFunction sckLow = inverted ? CommFunction::SetRts : CommFunction::ClrRts;
    CommFunction mosiHigh = inverted ? CommFunction::ClrDtr : CommFunction::SetDtr;
    CommFunction mosiLow = inverted ? CommFunction::SetDtr : CommFunction::ClrDtr;

    std::vector<CommFunction> expected;
    for (int bit : kAc53Bits) {
        expected.push_back(bit ? mosiHigh : mosiLow);
        expected.push_back(sckHigh);
        if (GetParam().cablet2)
            expected.push_back(mosiHigh);  // Cablet2's extra MOSI step
        expected.push_back(sckLow);
    }
    EXPECT_EQ(rig.port.Escapes(), expected);

    // Delay units per bit: 4, or 5 with Cablet2; plus the one sample read.
    int reads = static_cast<int>(rig.port.Calls(PortCall::Kind::ModemStatus).size());
    EXPECT_EQ(reads, 16 * (GetParam().cablet2 ? 6 : 5));
}

INSTANTIATE_TEST_SUITE_P(Wirings, SerialTransfer,
                         ::testing::Values(SerialCase{"plain", 0, 0}, SerialCase{"cablet1", 1, 0},
                                           SerialCase{"cablet2", 0, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SerialLines, Cablet1ReadsMisoFromInvertedDsrOthersFromCts) {
    RecordingRig rig;
    rig.p.state.adapterKind = AdapterKind::Serial;
    rig.port.modemStatus = kMsCtsOn;  // CTS on, DSR off
    EXPECT_EQ(adapter::ReadMiso(rig.p), 1);
    rig.p.state.cablet1 = 1;
    EXPECT_EQ(adapter::ReadMiso(rig.p), 1);  // DSR off reads as 1
    rig.port.modemStatus = kMsDsrOn;
    EXPECT_EQ(adapter::ReadMiso(rig.p), 0);
    rig.p.state.cablet1 = 0;
    EXPECT_EQ(adapter::ReadMiso(rig.p), 0);  // CTS off
}

TEST(SerialLines, ResetIsNeverInverted) {
    RecordingRig rig;
    rig.p.state.adapterKind = AdapterKind::Serial;
    rig.p.state.cablet1 = 1;
    adapter::SetReset(rig.p, 1);
    adapter::SetReset(rig.p, 0);
    EXPECT_EQ(rig.port.Escapes(),
              (std::vector<CommFunction>{CommFunction::SetBreak, CommFunction::ClrBreak}));
}

TEST(SerialTransfer, Cablet2LeavesMosiHighBetweenBits) {
    RecordingRig rig;
    rig.p.state.adapterKind = AdapterKind::Serial;
    rig.p.state.cablet2 = 1;
    rig.p.state.txWord = 0x0000;
    TransferWord(rig.p);
    // After every bit, including 0 bits, the last MOSI change was SETDTR.
    CommFunction lastMosi = CommFunction::ClrDtr;
    for (auto f : rig.port.Escapes()) {
        if (f == CommFunction::SetDtr || f == CommFunction::ClrDtr)
            lastMosi = f;
    }
    EXPECT_EQ(lastMosi, CommFunction::SetDtr);
}

TEST(ParallelAccess, WithoutPortAccessTheDriverErrorEndsTheMainWindow) {
    RecordingRig rig;
    rig.p.state.lastPortRead = 0x1234;
    adapter::ReadPort(rig.p);
    EXPECT_EQ(rig.p.state.lastPortRead, 0x1234);  // a failed read changes nothing
    EXPECT_TRUE(rig.port.calls.empty());
    // The line operations only record the failure; the command layer tells it.
    EXPECT_TRUE(rig.p.driverAccessFailed);
    EXPECT_TRUE(rig.windows.messages.empty());
    app::TellDriverAccessFailure(rig.p);
    app::TellDriverAccessFailure(rig.p);  // told once
    ASSERT_EQ(rig.windows.messages.size(), 1u);
    EXPECT_EQ(rig.windows.messages[0].text, "Error during driver access!");
    EXPECT_EQ(rig.windows.messages[0].title, "Error");
    int result = 0;
    EXPECT_TRUE(rig.windows.WindowEnded(103, &result));
    EXPECT_EQ(result, 1);
}

TEST(ParallelAccess, AReachedPortIsNotToldAsADriverError) {
    RecordingRig rig;
    rig.p.state.directPortIo = 1;
    adapter::ReadPort(rig.p);
    EXPECT_FALSE(rig.p.driverAccessFailed);
    app::TellDriverAccessFailure(rig.p);
    EXPECT_TRUE(rig.windows.messages.empty());
    EXPECT_FALSE(rig.windows.WindowEnded(103));
}

}  // namespace
}  // namespace ostrel::testing
