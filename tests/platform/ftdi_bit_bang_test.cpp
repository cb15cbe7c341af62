// The part of the FTDI port that every system's backend shares, over a
// library stand-in that echoes each state as its sample: the rate rule, the
// names of the adapters, and what a transfer is checked against (the chip's
// buffers, what is in flight, an adapter that is not open or failed).
#include "platform/ftdi_bit_bang.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace ostrel {
namespace {

// The library's side: every state sent comes back as its own sample, so the
// order of what is collected shows; a gather or the rate can be made to fail.
class EchoFtdi : public FtdiBitBangPort {
  public:
    PinOpenResult OpenPins(std::string_view portName) override {
        ClosePins();
        portName_ = std::string(portName);
        open_ = true;
        chip_ = kind;
        return FinishOpen(FtdiAdapterName(std::nullopt, portName_));
    }

    FtdiBitBangKind kind = FtdiBitBangKind::Ft232r;
    bool rateFails = false;
    bool gatherFails = false;
    uint32_t divisorSent = 0;
    std::vector<uint8_t> sent;
    bool released = false;

  private:
    bool DeviceOpen() const override { return open_; }
    bool SendRate(const FtdiStateRate& rate) override {
        divisorSent = rate.divisor;
        if (rateFails)
            error_ = "the rate was refused";
        return !rateFails;
    }
    bool ReadPinsNow(uint8_t* pins) override {
        *pins = sent.empty() ? 0 : sent.back();
        return true;
    }
    bool SendStates(std::span<const uint8_t> states) override {
        sent.insert(sent.end(), states.begin(), states.end());
        echo_.insert(echo_.end(), states.begin(), states.end());
        return true;
    }
    bool GatherSamples(std::span<uint8_t> samples) override {
        if (gatherFails || echo_.size() < samples.size()) {
            error_ = "samples missing";
            return false;
        }
        for (uint8_t& s : samples) {
            s = echo_.front();
            echo_.pop_front();
        }
        return true;
    }
    void DropInFlight() override { echo_.clear(); }
    void Release() override {
        open_ = false;
        released = true;
        echo_.clear();
        Forget();
    }

    bool open_ = false;
    std::deque<uint8_t> echo_;
};

TEST(FtdiBitBang, TheRateRuleGivesEvenStatesNeverShorterThanAsked) {
    const struct {
        FtdiBitBangKind kind;
        uint32_t hz;
        uint32_t divisor;
        uint32_t statesPerSecond;
    } kCases[] = {
        {FtdiBitBangKind::Ft232r, 375000, 1, 750000},  // undivided, phases of two states
        {FtdiBitBangKind::Ft232r, 1000, 1, 750000},
        {FtdiBitBangKind::FtX, 375000, 2, 375000},
        {FtdiBitBangKind::FtX, 300000, 3, 250000},  // the next slower whole divisor
        {FtdiBitBangKind::FtX, 5000000, 1, 750000},
        {FtdiBitBangKind::FtX, 10, 16305, 46},  // the slowest there is
    };
    for (const auto& c : kCases) {
        const FtdiStateRate rate = FtdiRateFor(c.kind, c.hz);
        EXPECT_EQ(rate.divisor, c.divisor) << c.hz;
        EXPECT_EQ(rate.statesPerSecond, c.statesPerSecond) << c.hz;
        EchoFtdi port;
        port.kind = c.kind;
        ASSERT_EQ(port.OpenPins("COM1"), PinOpenResult::Ok) << port.PinOpenNote();
        EXPECT_EQ(port.SetStateRate(c.hz), c.statesPerSecond) << c.hz;
        EXPECT_EQ(port.divisorSent, c.divisor) << c.hz;
    }
}

TEST(FtdiBitBang, NamesTellAnAdapterBySerialNumberFromOneBehindAPort) {
    const struct {
        const char* device;
        std::optional<std::string> serial;
        const char* name;  // as the messages name it, behind COM3
    } kCases[] = {
        {"ftdi:A50285BI", "A50285BI", "FTDI adapter with serial number A50285BI"},
        {"ftdi:", "", "FTDI adapter"},
        {"/dev/ttyUSB0", std::nullopt, "FTDI adapter of COM3"},
        {"COM3", std::nullopt, "FTDI adapter of COM3"},
        {"FTDI:A5", std::nullopt, "FTDI adapter of COM3"},
        {"ftdi", std::nullopt, "FTDI adapter of COM3"},
    };
    for (const auto& c : kCases) {
        const std::optional<std::string> serial = FtdiSerialOf(c.device);
        EXPECT_EQ(serial, c.serial) << c.device;
        EXPECT_EQ(FtdiAdapterName(serial, "COM3"), c.name) << c.device;
    }
}

// One step on the port: transfer, submit or collect so many states; close
// or open it; make the next gathers fail.
enum class Op { Transfer, Submit, Collect, Close, Open, GatherFails };
struct Step {
    Op op;
    std::size_t count = 0;
    bool ok = true;
};

TEST(FtdiBitBang, TransfersKeepWithinTheBuffersAndTheOrderOfTheStates) {
    const struct {
        const char* what;
        FtdiBitBangKind kind;
        std::vector<Step> steps;
        const char* error;  // of the last step that failed
    } kCases[] = {
        {"a whole buffer", FtdiBitBangKind::Ft232r, {{Op::Transfer, 128}}, ""},
        {"more than a buffer",
         FtdiBitBangKind::Ft232r,
         {{Op::Transfer, 129, false}},
         "more states than the adapter holds"},
        {"both buffers in flight, and no more",
         FtdiBitBangKind::Ft232r,
         {{Op::Submit, 128}, {Op::Submit, 128}, {Op::Submit, 1, false}},
         "more states than the adapter holds"},
        {"a collect makes room",
         FtdiBitBangKind::FtX,
         {{Op::Submit, 512},
          {Op::Submit, 300},
          {Op::Collect, 512},
          {Op::Submit, 512},
          {Op::Collect, 700},
          {Op::Collect, 112}},
         ""},
        {"one submit beyond a buffer",
         FtdiBitBangKind::FtX,
         {{Op::Submit, 513, false}},
         "more states than the adapter holds"},
        {"a transfer waits for nothing in flight",
         FtdiBitBangKind::Ft232r,
         {{Op::Submit, 10}, {Op::Transfer, 1, false}, {Op::Collect, 10}, {Op::Transfer, 1}},
         "a transfer while others are in flight"},
        {"no more samples than states in flight",
         FtdiBitBangKind::Ft232r,
         {{Op::Submit, 10}, {Op::Collect, 11, false}, {Op::Collect, 10}},
         "more samples asked for than states in flight"},
        {"after a failed collect only a close makes the port usable again",
         FtdiBitBangKind::Ft232r,
         {{Op::Submit, 10},
          {Op::GatherFails},
          {Op::Collect, 4, false},
          {Op::Transfer, 1, false},
          {Op::Close},
          {Op::Open},
          {Op::Transfer, 1}},
         "a transfer while others are in flight"},
        {"a closed port takes nothing",
         FtdiBitBangKind::FtX,
         {{Op::Submit, 5}, {Op::Close}, {Op::Submit, 1, false}},
         "the adapter is not open"},
    };
    for (const auto& c : kCases) {
        EchoFtdi port;
        port.kind = c.kind;
        ASSERT_EQ(port.OpenPins("COM1"), PinOpenResult::Ok) << c.what;
        EXPECT_EQ(port.StreamCapacity(), FtdiBufferStates(c.kind)) << c.what;
        EXPECT_EQ(port.InFlightLimit(), 2 * FtdiBufferStates(c.kind)) << c.what;
        // Every state differs from its neighbours; what is collected must be
        // what was submitted, oldest first.
        uint8_t next = 1;
        std::deque<uint8_t> submitted;
        for (const Step& s : c.steps) {
            std::vector<uint8_t> states(s.count);
            for (uint8_t& st : states)
                st = next++;
            std::vector<uint8_t> samples(s.count, 0);
            bool ok = true;
            switch (s.op) {
                case Op::Transfer:
                    ok = port.Transfer(states, samples);
                    if (ok) {
                        EXPECT_EQ(samples, states) << c.what;
                    }
                    break;
                case Op::Submit:
                    ok = port.Submit(states);
                    if (ok)
                        submitted.insert(submitted.end(), states.begin(), states.end());
                    break;
                case Op::Collect:
                    ok = port.Collect(samples);
                    if (ok) {
                        ASSERT_LE(s.count, submitted.size()) << c.what;
                        EXPECT_TRUE(std::equal(samples.begin(), samples.end(), submitted.begin()))
                            << c.what;
                        submitted.erase(submitted.begin(), submitted.begin() + s.count);
                    }
                    break;
                case Op::Close:
                    port.sent.clear();
                    port.gatherFails = false;
                    port.ClosePins();
                    EXPECT_TRUE(port.released) << c.what;
                    EXPECT_EQ(port.sent, std::vector<uint8_t>{kFtdiRestPins})
                        << c.what << ": the lines at rest before the chip is let go";
                    submitted.clear();
                    break;
                case Op::Open:
                    ok = port.OpenPins("COM1") == PinOpenResult::Ok;
                    break;
                case Op::GatherFails:
                    port.gatherFails = true;
                    break;
            }
            EXPECT_EQ(ok, s.ok) << c.what << ": step of " << s.count << ", " << port.PinError();
        }
        EXPECT_EQ(port.PinError(), c.error) << c.what;
    }
}

TEST(FtdiBitBang, AnOpenEndsWithTheRateAndTheLinesAtRestOrFails) {
    const struct {
        FtdiBitBangKind kind;
        bool rateFails;
        PinOpenResult result;
        const char* note;
    } kCases[] = {
        {FtdiBitBangKind::Ft232r, false, PinOpenResult::Ok,
         "COM2: FTDI FT232R adapter in synchronous bit-bang mode"},
        {FtdiBitBangKind::FtX, false, PinOpenResult::Ok,
         "COM2: FTDI FT-X adapter in synchronous bit-bang mode"},
        {FtdiBitBangKind::FtX, true, PinOpenResult::Failed,
         "The FTDI adapter of COM2 failed at once (the rate was refused)."},
    };
    for (const auto& c : kCases) {
        EchoFtdi port;
        port.kind = c.kind;
        port.rateFails = c.rateFails;
        EXPECT_EQ(port.OpenPins("COM2"), c.result) << c.note;
        EXPECT_EQ(port.PinOpenNote().rfind(c.note, 0), 0u) << port.PinOpenNote();
        EXPECT_EQ(port.IsOpen(), c.result == PinOpenResult::Ok) << c.note;
        EXPECT_EQ(port.released, c.result != PinOpenResult::Ok) << c.note;
        if (c.result == PinOpenResult::Ok) {
            EXPECT_EQ(port.sent, std::vector<uint8_t>{kFtdiRestPins}) << c.note;
            EXPECT_EQ(port.SetStateRate(kFtdiTopStateRate), kFtdiTopStateRate) << c.note;
        } else {
            EXPECT_EQ(port.StreamCapacity(), 0u) << c.note;
            EXPECT_EQ(port.SetStateRate(kFtdiTopStateRate), 0u) << c.note;
        }
    }
}

}  // namespace
}  // namespace ostrel
