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
    // Microseconds since some fixed start, read without side effects. The
    // simulated chip uses it to know how far its write operations have come.
    virtual uint64_t NowUs() const = 0;
};

// The real steady clock of the machine.
class SystemClock : public Clock {
  public:
    SystemClock();
    uint32_t TickMs() override;
    int64_t Seconds() override;
    uint64_t NowUs() const override;

  private:
    int64_t startNs_;
};

// A clock for tests and fast simulation: time moves only when it is read.
// Every read of TickMs or Seconds first moves time on by one step (1 ms by
// default), so a busy wait of n milliseconds costs about n reads and no real
// time, and the outcome of a timed sequence is exactly repeatable.
class VirtualClock : public Clock {
  public:
    explicit VirtualClock(uint32_t startTickMs = 0, uint32_t stepUs = 1000)
        : tickOffsetMs_(startTickMs), stepUs_(stepUs) {}

    uint32_t TickMs() override;
    int64_t Seconds() override;
    uint64_t NowUs() const override { return nowUs_; }

    // Moves time on without a read.
    void Advance(uint64_t us) { nowUs_ += us; }
    // Number of TickMs and Seconds reads so far.
    uint64_t Reads() const { return reads_; }

  private:
    uint64_t nowUs_ = 0;
    uint32_t tickOffsetMs_;
    uint32_t stepUs_;
    uint64_t reads_ = 0;
};

}  // namespace ostrel
