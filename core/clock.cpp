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

uint64_t SystemClock::NowNs() const {
    return static_cast<uint64_t>(SteadyNs() - startNs_);
}

void SystemClock::Spend(uint64_t ns) {
    const int64_t end = SteadyNs() + static_cast<int64_t>(ns);
    while (SteadyNs() < end) {
    }
}

void VirtualClock::Read() {
    ++reads_;
    nowNs_ += spent_ ? kReadCostNs : static_cast<uint64_t>(stepUs_) * 1000u;
    spent_ = false;
}

uint32_t VirtualClock::TickMs() {
    Read();
    return static_cast<uint32_t>(nowNs_ / 1000000u) + tickOffsetMs_;
}

int64_t VirtualClock::Seconds() {
    Read();
    return static_cast<int64_t>(nowNs_ / 1000000000u);
}

}  // namespace ostrel
