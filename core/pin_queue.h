// The line states waiting to go out on a streaming port (an FTDI adapter in
// synchronous bit-bang mode), the MISO samples still to come back, and the
// answers that came. The adapter layer fills and empties it
// (adapter/stream.cpp); it lives in the Programmer so that nothing is global.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

namespace ostrel {

struct PinQueue {
    // States not sent yet, in order. states[0] has the index `sent`: the
    // number of states sent since the port was opened.
    std::vector<uint8_t> states;
    uint64_t sent = 0;

    // A sample of the pins at the end of the state with index `state`. The
    // port gives it with the state after, so it comes back one state late.
    // It is one bit of the answer with that ticket, or, for a read of all
    // pins, the whole byte (`raw`).
    struct Sample {
        uint64_t state;
        uint32_t ticket;
        bool raw;
    };
    std::deque<Sample> samples;  // in the order of `state`, not yet resolved

    // Answers, collected bit by bit, most significant first.
    struct Answer {
        uint32_t ticket;
        uint32_t value;
        uint8_t expected;  // samples it is made of
        uint8_t got;
    };
    std::deque<Answer> answers;
    uint32_t nextTicket = 1;
    // The last states queued are the end of an instruction bit, SCK high:
    // the chip completes the bit only when SCK falls again.
    bool sckHighAfterBits = false;

    // What the port has done since it was opened: the transfers (each a
    // write of states and the read of their samples, one USB round trip on
    // an FTDI adapter) and the states they carried.
    uint64_t transfers = 0;
    uint64_t statesSent = 0;

    // On a port that keeps transfers in flight (PinPort::InFlightLimit): the
    // sizes of the transfers submitted whose samples are not collected yet,
    // oldest first, and the states they hold together. The samples of the
    // states before sent - inFlight are all resolved.
    std::deque<std::size_t> inFlightSizes;
    std::size_t inFlight = 0;
    // A collect failed: from then on one transfer at a time (Transfer),
    // until the port is opened again.
    bool oneInFlight = false;

    void Clear() {
        states.clear();
        samples.clear();
        answers.clear();
        inFlightSizes.clear();
        inFlight = 0;
        oneInFlight = false;
        sent = 0;
        sckHighAfterBits = false;
    }
};

}  // namespace ostrel
