#include "tests/support/usb_bus_model.h"

#include <algorithm>
#include <limits>

namespace ostrel::testing {

namespace {

constexpr uint64_t kNever = std::numeric_limits<uint64_t>::max();

}  // namespace

uint64_t UsbBusModel::Write(uint64_t nowNs, std::span<const uint8_t> states) {
    for (std::size_t at = 0; at < states.size(); at += kPacketBytes) {
        outFreeNs_ = std::max(nowNs, outFreeNs_) + kPacketNs;
        const std::size_t end = std::min(states.size(), at + kPacketBytes);
        for (std::size_t i = at; i < end; ++i)
            fromHost_.push_back({outFreeNs_, states[i]});
    }
    mostFromHost = std::max(mostFromHost, fromHost_.size());
    return std::max(nowNs, outFreeNs_);
}

uint64_t UsbBusModel::Read(uint64_t nowNs, std::size_t want, bool all, uint64_t timeoutNs,
                           const Apply& apply, std::vector<uint8_t>& out) {
    const uint64_t latencyNs = static_cast<uint64_t>(std::max(1u, chip.latencyMs)) * kFrameNs;
    std::size_t got = 0;
    for (;;) {
        // The next packet the chip can send on what it holds now.
        uint64_t nextIn = kNever;
        if (toHost_.size() >= kSamplesPerPacket) {
            nextIn = std::max({toHost_[kSamplesPerPacket - 1].atNs, lastInNs_, nowNs}) + kPacketNs;
        } else if (!toHost_.empty()) {
            nextIn = std::max(toHost_.front().atNs + latencyNs, nowNs) + kPacketNs;
        }
        // The next state the chip clocks, unless the buffer to the host is full.
        uint64_t nextState = kNever;
        if (!fromHost_.empty() && toHost_.size() < chip.toHostBytes)
            nextState = std::max(fromHost_.front().atNs, chipFreeNs_);
        if (nextState != kNever && nextState <= nextIn) {
            const uint8_t state = fromHost_.front().value;
            fromHost_.pop_front();
            if (chipFreeNs_ > 0 && nextState > chipFreeNs_ &&
                toHost_.size() + 1 >= chip.toHostBytes)
                stalledNs += nextState - chipFreeNs_;
            toHost_.push_back({nextState, apply(state, nextState)});
            chipFreeNs_ = nextState + NextStateNs();
            continue;
        }
        if (nextIn == kNever) {
            // Nothing will come: a plain read gets the status packet when the
            // latency timer runs out, a whole one waits to its time-out.
            return nowNs + (all ? timeoutNs : latencyNs);
        }
        const std::size_t n = std::min(kSamplesPerPacket, toHost_.size());
        // With more than wanted in the packet, the rest waits in the
        // library's buffer; the model hands out whole packets only up to it.
        const std::size_t take = all ? std::min(n, want - got) : std::min(n, want);
        for (std::size_t i = 0; i < take; ++i) {
            out.push_back(toHost_.front().value);
            toHost_.pop_front();
        }
        ++packetsToHost;
        lastInNs_ = nextIn;
        got += take;
        if (!all || got >= want)
            return nextIn;
    }
}

void UsbBusModel::Arrived(uint64_t nowNs, const Apply& apply, std::vector<uint8_t>& out) {
    const uint64_t latencyNs = static_cast<uint64_t>(std::max(1u, chip.latencyMs)) * kFrameNs;
    for (;;) {
        uint64_t nextIn = kNever;
        if (toHost_.size() >= kSamplesPerPacket) {
            nextIn = std::max(toHost_[kSamplesPerPacket - 1].atNs, lastInNs_) + kPacketNs;
        } else if (!toHost_.empty()) {
            nextIn = std::max(toHost_.front().atNs + latencyNs, lastInNs_) + kPacketNs;
        }
        uint64_t nextState = kNever;
        if (!fromHost_.empty() && toHost_.size() < chip.toHostBytes)
            nextState = std::max(fromHost_.front().atNs, chipFreeNs_);
        if (nextState != kNever && nextState <= nextIn && nextState <= nowNs) {
            const uint8_t state = fromHost_.front().value;
            fromHost_.pop_front();
            toHost_.push_back({nextState, apply(state, nextState)});
            chipFreeNs_ = nextState + NextStateNs();
            continue;
        }
        if (nextIn == kNever || nextIn > nowNs)
            return;
        const std::size_t n = std::min(kSamplesPerPacket, toHost_.size());
        for (std::size_t i = 0; i < n; ++i) {
            out.push_back(toHost_.front().value);
            toHost_.pop_front();
        }
        ++packetsToHost;
        lastInNs_ = nextIn;
    }
}

void UsbBusModel::Advance(uint64_t untilNs, const Apply& apply) {
    while (!fromHost_.empty() && toHost_.size() < chip.toHostBytes) {
        const uint64_t at = std::max(fromHost_.front().atNs, chipFreeNs_);
        if (at > untilNs)
            return;
        const uint8_t state = fromHost_.front().value;
        fromHost_.pop_front();
        toHost_.push_back({at, apply(state, at)});
        chipFreeNs_ = at + NextStateNs();
    }
}

void UsbBusModel::Purge() {
    fromHost_.clear();
    toHost_.clear();
}

}  // namespace ostrel::testing
