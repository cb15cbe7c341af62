#include "core/clock.h"

#include <chrono>

namespace ostrel {

namespace {
int64_t SteadyNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
}  // namespace

SystemClock::SystemClock() : startNs_(SteadyNs()) {}

uint32_t SystemClock::TickMs() {
    return static_cast<uint32_t>(static_cast<uint64_t>(SteadyNs() - startNs_) / 1000000u);
}

int64_t SystemClock::Seconds() {
    return (SteadyNs() - startNs_) / 1000000000;
}

uint64_t SystemClock::NowUs() const {
    return static_cast<uint64_t>(SteadyNs() - startNs_) / 1000u;
}

uint32_t VirtualClock::TickMs() {
    ++reads_;
    nowUs_ += stepUs_;
    return static_cast<uint32_t>(nowUs_ / 1000u) + tickOffsetMs_;
}

int64_t VirtualClock::Seconds() {
    ++reads_;
    nowUs_ += stepUs_;
    return static_cast<int64_t>(nowUs_ / 1000000u);
}

}  // namespace ostrel
