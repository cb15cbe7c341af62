// The time a full-speed USB bus and an FTDI chip in synchronous bit-bang
// mode take, for the stand-ins of the FTDI libraries in the tests and the
// benchmarks. Plain C++: no system of its own.
//
// What it models:
// - the host's transfers as they are submitted: the states go out in
//   64-byte packets, one after the other;
// - the chip's buffer from the host (states not clocked yet) and its buffer
//   to the host (samples not sent yet); the chip clocks one state per tick
//   of its rate and stalls while the buffer to the host is full, so no
//   sample is ever lost;
// - the packets to the host: 2 status bytes and up to 62 samples each. A
//   full packet goes as soon as it is full, while the host has a read
//   pending; a partial one only when the latency timer, which counts in the
//   bus's 1 ms frames, has run out since its first sample waited. (Timing
//   partial packets from the frames' starts instead would make a transfer
//   of one buffer cost two frames: twice what adapters are measured to take
//   one transfer at a time.)
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <span>
#include <vector>

namespace ostrel::testing {

class UsbBusModel {
  public:
    static constexpr uint64_t kFrameNs = 1000000;
    static constexpr std::size_t kPacketBytes = 64;
    static constexpr std::size_t kStatusBytes = 2;
    static constexpr std::size_t kSamplesPerPacket = kPacketBytes - kStatusBytes;
    // One 64-byte packet on the wire at 12 Mbit/s, with its token, handshake
    // and bit stuffing.
    static constexpr uint64_t kPacketNs = 50000;

    struct Chip {
        uint64_t stateNs = 1333;          // one tick of the state rate
        unsigned latencyMs = 16;          // the latency timer
        std::size_t fromHostBytes = 128;  // buffer of states
        std::size_t toHostBytes = 128;    // buffer of samples
        // The length of each state as the chip clocks it, asked once a
        // state (the FT232R's divided clock makes them uneven); null:
        // stateNs each.
        std::function<uint64_t()> stateLength;
    };
    // Applies a state to the pins at a time and gives the pins sampled just
    // before.
    using Apply = std::function<uint8_t(uint8_t state, uint64_t atNs)>;

    Chip chip;

    // The host sends `states` at `nowNs`; the time the last packet is in.
    uint64_t Write(uint64_t nowNs, std::span<const uint8_t> states);
    // The host reads from `nowNs` until `want` samples are in (`all`), or
    // until the first packet that brings any (a plain read: status packets
    // alone bring none, and it gives up after the latency timer). Fills
    // `out`; gives the time the read completes. With `all`, a read that can
    // never complete ends after `timeoutNs` with what came.
    uint64_t Read(uint64_t nowNs, std::size_t want, bool all, uint64_t timeoutNs,
                  const Apply& apply, std::vector<uint8_t>& out);
    // A driver that keeps a read pending all the time (D2XX): the samples of
    // every packet that is in by `nowNs`, the states due before clocked.
    void Arrived(uint64_t nowNs, const Apply& apply, std::vector<uint8_t>& out);
    // Clocks the states due up to `untilNs` (as far as the buffer to the
    // host has room), so that the host's clock can move on to it.
    void Advance(uint64_t untilNs, const Apply& apply);
    // Forgets everything in the buffers (a purge, a reset).
    void Purge();

    // What happened.
    uint64_t packetsToHost = 0;
    uint64_t stalledNs = 0;  // time the chip waited on a full buffer to the host
    std::size_t mostFromHost = 0;

  private:
    uint64_t NextStateNs() const { return chip.stateLength ? chip.stateLength() : chip.stateNs; }

    struct Timed {
        uint64_t atNs;
        uint8_t value;
    };
    std::deque<Timed> fromHost_;  // states, with the time each is in the chip
    std::deque<Timed> toHost_;    // samples, with the time each was taken
    uint64_t outFreeNs_ = 0;      // the end of the last packet from the host
    uint64_t chipFreeNs_ = 0;     // the end of the state being clocked
    uint64_t lastInNs_ = 0;       // the last packet to the host
};

}  // namespace ostrel::testing
