// Bit transfer on the parallel cable and on the three serial wirings.
#include <gtest/gtest.h>

#include <algorithm>

#include "adapter/adapter.h"
#include "app/endings.h"
#include "avr/avr.h"
#include "tests/support/fixture.h"
#include "tests/support/recording_pin_port.h"
#include "tests/support/usb_bus_model.h"

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

// --- a streaming port of pins: an FTDI adapter in bit-bang mode ---------------

// A programmer whose COM1 is an FTDI adapter in synchronous bit-bang mode,
// recorded at the level of its pins, with the lines at rest and nothing sent
// since.
struct StreamingRig : RecordingRig {
    explicit StreamingRig(uint8_t cableRow = 0, uint32_t fixedRate = 0, int speed = 3) {
        pins.fixedRate = fixedRate;
        p.pins = &pins;
        p.state.adapterKind = AdapterKind::Serial;
        p.state.comName.Assign("COM1");
        p.state.portName.Assign("COM1");
        p.state.speed = speed;
        EXPECT_EQ(adapter::OpenSerialPort(p), 0);
        adapter::SelectSerialCable(p.state, cableRow);
        pins.transfers.clear();
    }
    RecordingPinPort pins;
};

// The FTDI pins of the serial lines, as the RS-232 transceiver inverts them:
// D0 TXD (break on: RESET high), D2 RTS, D4 DTR; a line on is its pin low.
uint8_t FtdiOutputs(bool rts, bool dtr, bool breakOn) {
    return static_cast<uint8_t>((breakOn ? 0 : 0x01) | (rts ? 0 : 0x04) | (dtr ? 0 : 0x10));
}

// Each bit is its states held for one SCK phase: SCK low with MOSI set, SCK
// high (and on Cablet2 MOSI raised), SCK and MOSI as the cable wires them
// (Cablet1 inverts both; RESET stays low).
TEST(StreamingTransfer, EachBitIsItsStatesOfOnePhase) {
    const struct {
        const char* cable;
        uint8_t row;
        uint32_t rate;  // 0: the rate asked
        int speed;
        int phase;  // states of one phase
    } kCases[] = {
        {"plain", 0, 0, 3, 1},      {"Cablet1", 1, 0, 3, 1},       {"Cablet2", 2, 0, 3, 1},
        {"plain", 0, 750000, 3, 2}, {"Cablet2", 2, 750000, 2, 10}, {"Cablet1", 1, 0, 0, 1},
    };
    for (const auto& c : kCases) {
        StreamingRig rig(c.row, c.rate, c.speed);
        rig.p.state.txWord = 0xAC53;
        adapter::TransferWord(rig.p);
        const bool inverted = c.row == 1;
        const bool cablet2 = c.row == 2;
        std::vector<uint8_t> expected;
        auto phase = [&](bool sck, bool mosi) {
            for (int i = 0; i < c.phase; ++i)
                expected.push_back(FtdiOutputs(sck != inverted, mosi != inverted, false));
        };
        for (int bit : kAc53Bits) {
            phase(false, bit != 0);
            phase(true, bit != 0);
            if (cablet2)
                phase(true, true);
        }
        // Cablet2 samples at the end of its last state: one state more brings
        // that sample back.
        if (cablet2)
            expected.push_back(expected.back());
        const std::string what = std::string(c.cable) + " at speed " + std::to_string(c.speed);
        EXPECT_EQ(rig.pins.AllStates(), expected) << what;
        EXPECT_EQ(rig.p.state.statesPerPhase, c.phase) << what;
        EXPECT_EQ(rig.pins.transfers.size(), (expected.size() + 511) / 512) << what;
    }
}

// MISO is sampled as SCK rises, at the end of the SCK-low state; Cablet2's at
// the end of the state with MOSI high. Here MISO (CTS) follows MOSI (DTR).
TEST(StreamingTransfer, MisoIsSampledAsSckRisesOrAfterCablet2RaisesMosi) {
    for (uint8_t row : {0, 2}) {
        StreamingRig rig(row);
        rig.pins.inputs = [](uint8_t state) {
            // CTS (D3) on, its pin low, while DTR (D4) is on.
            return static_cast<uint8_t>((state & 0x10) ? 0xFF : 0xF7);
        };
        rig.p.state.rxShift = 0;
        rig.p.state.txWord = 0xAC53;
        adapter::TransferWord(rig.p);
        EXPECT_EQ(rig.p.state.rxShift, row == 2 ? 0xFFFFu : 0xAC53u) << int(row);
    }
}

// Instructions wait in the queue until an answer is needed; then one transfer
// carries them all, and every answer is there.
TEST(StreamingTransfer, InstructionsGoOutTogetherWhenAnAnswerIsNeeded) {
    StreamingRig rig;
    rig.pins.inputs = [](uint8_t state) {
        return static_cast<uint8_t>((state & 0x10) ? 0xFF : 0xF7);
    };
    std::vector<uint32_t> tickets;
    for (int32_t word : {0x2000, 0x2800, 0xA000, 0x3000, 0x4C00})
        tickets.push_back(adapter::QueueInstruction(rig.p, word, 0x1234));
    EXPECT_TRUE(rig.pins.transfers.empty()) << "nothing needed an answer yet";
    EXPECT_EQ(adapter::AnswerOf(rig.p, tickets[2]), 0xA0001234u);
    EXPECT_EQ(rig.pins.transfers.size(), 1u);
    EXPECT_EQ(rig.pins.transfers[0].size(), 5u * 64) << "five instructions of 64 states";
    EXPECT_EQ(adapter::AnswerOf(rig.p, tickets[0]), 0x20001234u);
    EXPECT_EQ(adapter::AnswerOf(rig.p, tickets[4]), 0x4C001234u);
    EXPECT_EQ(rig.pins.transfers.size(), 1u) << "the other answers came with it";
}

// A transfer never carries more than the port holds; the sample of its last
// state comes back with the first state of the next.
TEST(StreamingTransfer, FullTransfersGoOutAsTheQueueFillsAndAnswersSpanThem) {
    StreamingRig rig;
    rig.pins.capacity = 100;
    rig.pins.inputs = [](uint8_t state) {
        return static_cast<uint8_t>((state & 0x10) ? 0xFF : 0xF7);
    };
    std::vector<uint32_t> tickets;
    for (uint16_t i = 0; i < 10; ++i)
        tickets.push_back(adapter::QueueInstruction(rig.p, 0x5A00 + i, 0xC3A5 - i));
    EXPECT_EQ(rig.pins.transfers.size(), 6u) << "640 states: six full transfers so far";
    for (uint16_t i = 0; i < 10; ++i) {
        EXPECT_EQ(adapter::AnswerOf(rig.p, tickets[i]),
                  (static_cast<uint32_t>(0x5A00 + i) << 16) | static_cast<uint16_t>(0xC3A5 - i))
            << i;
    }
    for (const auto& transfer : rig.pins.transfers)
        EXPECT_LE(transfer.size(), 100u);
    EXPECT_EQ(rig.pins.AllStates().size(), 640u);
}

// Before the program waits (the chip writes, or the lines must hold), what is
// queued goes out, ending with SCK low: the chip completes the last bit of an
// instruction on that edge.
TEST(StreamingTransfer, BeforeAWaitEverythingGoesOutWithSckLow) {
    StreamingRig rig;
    adapter::QueueInstruction(rig.p, 0x4C00, 0x0000);
    EXPECT_TRUE(rig.pins.transfers.empty());
    adapter::WaitMs(rig.p, 5);
    const std::vector<uint8_t> all = rig.pins.AllStates();
    ASSERT_EQ(all.size(), 65u);
    EXPECT_EQ(all.back(), FtdiOutputs(false, false, false)) << "SCK (RTS) low at the end";
    EXPECT_EQ(all[all.size() - 2], FtdiOutputs(true, false, false));
    // A line changed by itself after an instruction also comes after SCK falls.
    adapter::QueueInstruction(rig.p, 0xAC53, 0x0000);
    adapter::SetReset(rig.p, 1);
    adapter::Flush(rig.p);
    const std::vector<uint8_t> after = rig.pins.AllStates();
    EXPECT_EQ(after[after.size() - 2], FtdiOutputs(false, false, false));
    EXPECT_EQ(after.back(), FtdiOutputs(false, false, true)) << "then the break: RESET high";
}

// A port that fails stops the lines; answers read as all 1s and the command is
// told why.
TEST(StreamingTransfer, AFailedTransferLosesThePort) {
    StreamingRig rig;
    const uint32_t ticket = adapter::QueueInstruction(rig.p, 0x3000, 0x0000);
    rig.pins.failNext = true;
    EXPECT_EQ(adapter::AnswerOf(rig.p, ticket), 0xFFFFFFFFu);
    EXPECT_TRUE(rig.p.portLost);
    EXPECT_EQ(rig.p.portLostText,
              "COM1: the port stopped answering (the recording port failed).\n"
              "Was the USB adapter unplugged? Plug it in again and run the command once more.");
    EXPECT_EQ(adapter::ReadMiso(rig.p), 1);
    rig.pins.failNext = false;
    adapter::SetSck(rig.p, 1);
    adapter::Flush(rig.p);
    EXPECT_TRUE(rig.pins.transfers.empty()) << "nothing more reaches the lost port";
}

// On an immediate port of pins (GPIO lines) every line change is one write
// and every read one read, in the order ClockBit makes them.
TEST(ImmediatePins, EachLineChangeIsOneWrite) {
    RecordingRig rig;
    RecordingPinPort pins;
    pins.capacity = 0;
    rig.p.pins = &pins;
    rig.p.state.adapterKind = AdapterKind::Gpio;
    rig.p.state.portName.Assign("GPIO");
    rig.p.state.speed = 3;
    rig.p.state.delayLoops = 1;
    ASSERT_EQ(adapter::OpenPort(rig.p), 0);
    pins.writes.clear();
    pins.reads = 0;
    adapter::ClockBit(rig.p, 1);
    // RESET high at rest (bit 2); MOSI (bit 1), then SCK (bit 0), then SCK low.
    EXPECT_EQ(pins.writes, (std::vector<uint8_t>{0x06, 0x07, 0x06}));
    EXPECT_EQ(pins.reads, 4) << "three delay units and the sample";
    EXPECT_TRUE(rig.port.calls.empty()) << "neither the serial nor the parallel port";
}

// A port that keeps transfers in flight gets the same states as one used a
// transfer at a time, never more in flight than it allows, and every answer
// in order; the answer asked for waits only for the transfers up to its own.
// A collect that comes back short loses the port before any answer is
// trusted: all of them read as 1s, and the activity line says, once, that
// the port goes one transfer at a time from then on.
TEST(StreamingTransfer, TransfersInFlightCarryTheSameStatesAndEveryAnswer) {
    const struct {
        std::size_t capacity;
        std::size_t limit;
        int instructions;
        int askFor;  // the answer asked for first
        int shortCollectAt;
        std::size_t leftInFlight;  // states still in flight once it is there
        // With the port lost: the answers before `intact` came whole, those
        // from `allOnes` on read as the lost port's 1s.
        int intact;
        int allOnes;
    } kCases[] = {
        // 640 states: the answer asked for came with the first transfers,
        // the last 200 stay in flight and 40 queued; the last answer needs
        // them all.
        {100, 200, 10, 0, -1, 200, 10, 10},
        {100, 200, 10, 9, -1, 0, 10, 10},
        {128, 256, 20, 3, -1, 256, 20, 20},
        {512, 1024, 30, 29, -1, 0, 30, 30},
        {100, 100, 10, 9, -1, 0, 10, 10},
        // States 100-199 come back short: answer 1 is half 1s.
        {100, 300, 10, 2, 1, 0, 1, 2},
        {512, 1024, 30, 0, 0, 0, 0, 0},
    };
    auto inputs = [](uint8_t state) { return static_cast<uint8_t>((state & 0x10) ? 0xFF : 0xF7); };
    for (const auto& c : kCases) {
        const std::string what = std::to_string(c.capacity) + "/" + std::to_string(c.limit) +
                                 " ask " + std::to_string(c.askFor) + " short " +
                                 std::to_string(c.shortCollectAt);
        StreamingRig once;
        StreamingRig rig;
        for (StreamingRig* r : {&once, &rig}) {
            r->pins.capacity = c.capacity;
            r->pins.inputs = inputs;
        }
        rig.pins.inFlightLimit = c.limit;
        rig.pins.shortCollectAt = c.shortCollectAt;
        std::vector<uint32_t> tickets;
        std::vector<uint32_t> onceTickets;
        for (int i = 0; i < c.instructions; ++i) {
            const auto first = static_cast<int32_t>(0x5A00 + i);
            const auto second = static_cast<int32_t>(0xC3A5 - i);
            tickets.push_back(adapter::QueueInstruction(rig.p, first, second));
            onceTickets.push_back(adapter::QueueInstruction(once.p, first, second));
        }
        const uint32_t asked = adapter::AnswerOf(rig.p, tickets[c.askFor]);
        EXPECT_LE(rig.pins.mostInFlight, c.limit) << what;
        EXPECT_EQ(rig.p.pinQueue.inFlight, c.leftInFlight) << what;
        const bool lost = c.shortCollectAt >= 0;
        EXPECT_EQ(rig.p.portLost, lost) << what;
        EXPECT_EQ(rig.p.pinQueue.oneInFlight, lost) << what;
        for (int i = 0; i < c.instructions; ++i) {
            const uint32_t got = i == c.askFor ? asked : adapter::AnswerOf(rig.p, tickets[i]);
            if (i < c.intact) {
                EXPECT_EQ(got, adapter::AnswerOf(once.p, onceTickets[i])) << what << " " << i;
            } else if (i >= c.allOnes) {
                EXPECT_EQ(got, 0xFFFFFFFFu) << what << " " << i;
            }
        }
        adapter::Flush(rig.p);
        adapter::Flush(once.p);
        EXPECT_EQ(rig.p.pinQueue.inFlight, 0u) << what;
        const int notes = static_cast<int>(
            std::count_if(rig.windows.activity.begin(), rig.windows.activity.end(),
                          [](const std::string& t) { return t.find("one transfer") != t.npos; }));
        EXPECT_EQ(notes, lost ? 1 : 0) << what;
        if (!lost) {
            EXPECT_EQ(rig.pins.AllStates(), once.pins.AllStates()) << what;
        }
    }
}

// In flight the transfers carry whole packets of samples, as many as the
// port holds, and idle states fill the last packet; one at a time, or with a
// packet larger than the port, as many as it holds, and nothing is added.
// Either way every state goes out, in order.
TEST(StreamingTransfer, TransfersInFlightCarryWholePackets) {
    const struct {
        std::size_t capacity;
        std::size_t limit;
        std::size_t packet;
        std::size_t size;  // the states of every transfer but the last
    } kCases[] = {
        {128, 256, 62, 124}, {512, 1024, 62, 496}, {128, 0, 62, 128},
        {40, 80, 62, 40},    {100, 200, 1, 100},
    };
    for (const auto& c : kCases) {
        const std::string what = std::to_string(c.capacity) + "/" + std::to_string(c.limit) +
                                 " packet " + std::to_string(c.packet);
        StreamingRig once;
        StreamingRig rig;
        once.pins.capacity = rig.pins.capacity = c.capacity;
        rig.pins.inFlightLimit = c.limit;
        rig.pins.samplesPerPacket = c.packet;
        for (int i = 0; i < 40; ++i) {
            adapter::QueueInstruction(rig.p, 0x5A00 + i, 0xC3A5 - i);
            adapter::QueueInstruction(once.p, 0x5A00 + i, 0xC3A5 - i);
        }
        adapter::Flush(rig.p);
        adapter::Flush(once.p);
        ASSERT_GT(rig.pins.transfers.size(), 2u) << what;
        for (std::size_t i = 0; i + 1 < rig.pins.transfers.size(); ++i)
            EXPECT_EQ(rig.pins.transfers[i].size(), c.size) << what << " transfer " << i;
        EXPECT_LE(rig.pins.transfers.back().size(), c.size) << what;
        const std::vector<uint8_t> sent = rig.pins.AllStates();
        const std::vector<uint8_t> plain = once.pins.AllStates();
        ASSERT_GE(sent.size(), plain.size()) << what;
        EXPECT_TRUE(std::equal(plain.begin(), plain.end(), sent.begin())) << what;
        const auto fill = static_cast<std::ptrdiff_t>(sent.size() - plain.size());
        EXPECT_EQ(std::count(sent.end() - fill, sent.end(), plain.back()), fill)
            << what << ": the fill holds the pins";
        const bool filled = c.limit > 0 && c.size % c.packet == 0 && c.packet > 1;
        // Counted from the open, whose states the transfers recorded leave out.
        if (filled) {
            EXPECT_EQ(rig.p.pinQueue.sent % c.packet, 0u) << what << ": the last packet full";
        }
        EXPECT_EQ(fill > 0, filled && plain.size() % c.packet != 0) << what;
    }
}

// A write's wait on a port that keeps transfers in flight is idle states the
// adapter's clock times: one phase brings SCK low after the instruction, the
// idle states hold that level, as many as cover the time at the rate in
// force, and the port is not drained for it. A port used one transfer at a
// time, or lost, queues nothing: its caller waits by the clock.
TEST(StreamingTransfer, AWaitInFlightIsIdleStatesThatCoverIt) {
    const struct {
        uint8_t row;
        uint32_t rate;  // 0: the rate asked
        int speed;
        std::size_t limit;  // 0: one transfer at a time
        bool lost;
        uint32_t us;
        std::size_t idle;  // states queued for the wait; 0: none, not even the phase
    } kCases[] = {
        {1, 0, 3, 1024, false, 4500, 1688},     {2, 0, 3, 1024, false, 4500, 1688},
        {1, 750000, 3, 256, false, 4500, 3375}, {1, 0, 0, 1024, false, 9000, 34},
        {0, 750000, 3, 256, false, 1, 1},       {1, 0, 3, 0, false, 4500, 0},
        {1, 0, 3, 1024, true, 4500, 0},
    };
    for (const auto& c : kCases) {
        const std::string what = "row " + std::to_string(c.row) + " rate " +
                                 std::to_string(c.rate) + " speed " + std::to_string(c.speed) +
                                 " limit " + std::to_string(c.limit) + " " + std::to_string(c.us);
        StreamingRig rig(c.row, c.rate, c.speed);
        rig.pins.inFlightLimit = c.limit;
        if (c.limit > 0)
            rig.pins.capacity = c.limit / 2;  // the adapters hold two transfers in flight
        // States sent while the port was opened are not among the transfers recorded.
        const uint64_t opened = rig.p.pinQueue.sent;
        auto queued = [&] { return rig.p.pinQueue.states.size() + rig.p.pinQueue.sent - opened; };
        (void)adapter::QueueInstruction(rig.p, 0x4C00, 0x0000);
        const std::size_t before = queued();
        rig.p.portLost = c.lost;
        EXPECT_EQ(adapter::QueueIdleUs(rig.p, c.us), c.idle > 0) << what;
        rig.p.portLost = false;
        const auto phase = static_cast<std::size_t>(
            c.idle > 0 ? std::max<int32_t>(1, rig.p.state.statesPerPhase) : 0);
        EXPECT_EQ(queued() - before, phase + c.idle) << what;
        if (c.idle == 0)
            continue;
        EXPECT_GT(rig.p.pinQueue.inFlight + rig.p.pinQueue.states.size(), 0u) << what;
        adapter::Flush(rig.p);
        const std::vector<uint8_t> all = rig.pins.AllStates();
        ASSERT_GE(all.size(), before + phase + c.idle) << what;
        // The queue may already have gone out whole: the instruction's last
        // state (SCK high) is read back from what the port was sent.
        ASSERT_GT(before, 0u) << what;
        EXPECT_NE(all[before], all[before - 1]) << what;
        EXPECT_EQ(std::count(all.begin() + static_cast<std::ptrdiff_t>(before),
                             all.begin() + static_cast<std::ptrdiff_t>(before + phase + c.idle),
                             all[before]),
                  static_cast<std::ptrdiff_t>(phase + c.idle))
            << what;
    }
}

// Reads queued ahead keep a streaming port busy: each read is queued once,
// in order, never past the end of the run, and at least half a window (or
// what is left of the run) beyond the byte in use. Reading the run again
// from its start queues it afresh.
TEST(StreamingTransfer, ReadsAheadStayHalfAWindowAhead) {
    const struct {
        std::size_t capacity;
        std::size_t limit;
        int count;
        int passes;
    } kCases[] = {
        {128, 256, 10, 1},   {128, 256, 33, 1},  {128, 256, 200, 1},
        {512, 1024, 700, 1}, {128, 256, 100, 2}, {128, 0, 90, 1},
    };
    for (const auto& c : kCases) {
        const std::string what = std::to_string(c.capacity) + "/" + std::to_string(c.limit) +
                                 " count " + std::to_string(c.count);
        StreamingRig rig(1);
        rig.pins.capacity = c.capacity;
        rig.pins.inFlightLimit = c.limit;
        const int window = adapter::AnswerWindow(rig.p);
        ASSERT_GT(window, 1) << what;
        std::vector<int> queued;
        auto at = [&queued](int j) {
            queued.push_back(j);
            return std::pair<avr::Cell, int32_t>{avr::Cell::FlashLow, j};
        };
        avr::ReadAhead reads(rig.p);
        for (int pass = 0; pass < c.passes; ++pass) {
            const auto start = static_cast<int>(queued.size());
            for (int i = 0; i < c.count; ++i) {
                (void)reads.Byte(i, c.count, at);
                const int ahead = static_cast<int>(queued.size()) - start - i;
                EXPECT_GE(ahead, std::min(window / 2, c.count - i)) << what << " at " << i;
                EXPECT_LE(ahead, c.count - i) << what << " at " << i;
            }
        }
        ASSERT_EQ(queued.size(), static_cast<std::size_t>(c.count * c.passes)) << what;
        for (std::size_t j = 0; j < queued.size(); ++j)
            ASSERT_EQ(queued[j], static_cast<int>(j) % c.count) << what << " read " << j;
    }
}

// A driver that keeps a read pending (D2XX) gets each packet of samples when
// it is in and not before, in the order of the states: a full one 50 us
// after its last sample, a partial one 50 us after the latency timer has run
// out since its first. States of 1 us, the host's packets in at 50 and 100 us.
TEST(UsbBusModel, APendingReadGetsEachPacketWhenItIsIn) {
    const struct {
        std::size_t states;
        uint64_t atNs;
        std::size_t arrived;
    } kCases[] = {
        {62, 160000, 0},     {62, 161000, 62},     // the last sample at 111 us
        {10, 1099000, 0},    {10, 1100000, 10},    // the first at 50 us, 1 ms timer
        {124, 222000, 62},   {124, 223000, 124},   // the 124th at 173 us
        {130, 1223000, 124}, {130, 1224000, 130},  // 6 left, the first at 174 us
    };
    for (const auto& c : kCases) {
        UsbBusModel model;
        model.chip.stateNs = 1000;
        model.chip.latencyMs = 1;
        model.chip.toHostBytes = 256;
        model.chip.fromHostBytes = 256;
        std::vector<uint8_t> states(c.states);
        for (std::size_t i = 0; i < states.size(); ++i)
            states[i] = static_cast<uint8_t>(i + 1);
        model.Write(0, states);
        uint64_t lastNs = 0;
        const UsbBusModel::Apply echo = [&lastNs](uint8_t state, uint64_t atNs) {
            EXPECT_GE(atNs, lastNs + (lastNs > 0 ? 1000 : 0)) << "a state shorter than a tick";
            lastNs = atNs;
            return state;
        };
        std::vector<uint8_t> got;
        model.Arrived(c.atNs, echo, got);
        const std::string what = std::to_string(c.states) + " at " + std::to_string(c.atNs);
        ASSERT_EQ(got.size(), c.arrived) << what;
        EXPECT_TRUE(std::equal(got.begin(), got.end(), states.begin())) << what;
    }
}

}  // namespace
}  // namespace ostrel::testing
