// Time as the programmer sees it: a millisecond tick counter that wraps
// modulo 2^32 (every wait and the delay calibration read it) and a clock of
// whole seconds (the time-out of write polling).
#pragma once

#include <cstdint>

namespace ostrel {

class Clock {
  public:
    virtual ~Clock() = default;
    // The millisecond tick counter; wraps modulo 2^32.
    virtual uint32_t TickMs() = 0;
    // Whole seconds since some fixed start.
    virtual int64_t Seconds() = 0;
    // Nanoseconds since some fixed start, read without side effects. The
    // simulated chip uses it to time its lines and its write operations.
    virtual uint64_t NowNs() const = 0;
    uint64_t NowUs() const { return NowNs() / 1000u; }
    // An operation that takes that many nanoseconds (one access of a simulated
    // port): the real clock waits it out, the virtual clock moves on by it.
    virtual void Spend(uint64_t ns) = 0;
};

// The real steady clock of the machine.
class SystemClock : public Clock {
  public:
    SystemClock();
    uint32_t TickMs() override;
    int64_t Seconds() override;
    uint64_t NowNs() const override;
    void Spend(uint64_t ns) override;

  private:
    int64_t startNs_;
};

// A clock for tests and fast simulation: time moves only when it is read or
// spent. A read of TickMs or Seconds that follows another read directly is a
// busy wait doing nothing else, so it moves time on by one step (1 ms by
// default): a wait of n milliseconds costs about n reads and no real time. A
// read that follows spent time (port accesses in between, as in the delay
// calibration or write polling) costs what reading the system clock costs,
// kReadCostNs. The outcome of a timed sequence is exactly repeatable.
class VirtualClock : public Clock {
  public:
    explicit VirtualClock(uint32_t startTickMs = 0, uint32_t stepUs = 1000)
        : tickOffsetMs_(startTickMs), stepUs_(stepUs) {}

    // Reading the system clock between two port accesses: a vDSO
    // clock_gettime or GetTickCount takes some tens of nanoseconds.
    static constexpr uint64_t kReadCostNs = 25;

    uint32_t TickMs() override;
    int64_t Seconds() override;
    uint64_t NowNs() const override { return nowNs_; }
    void Spend(uint64_t ns) override {
        nowNs_ += ns;
        spent_ = true;
    }

    // Moves time on without a read.
    void Advance(uint64_t us) { nowNs_ += us * 1000u; }
    // Number of TickMs and Seconds reads so far.
    uint64_t Reads() const { return reads_; }

  private:
    void Read();

    uint64_t nowNs_ = 0;
    bool spent_ = false;
    uint32_t tickOffsetMs_;
    uint32_t stepUs_;
    uint64_t reads_ = 0;
};

}  // namespace ostrel
