// The streaming port: an FTDI adapter in synchronous bit-bang mode takes a
// buffer full of pin states in one USB transfer, applies them one per tick of
// its state rate, and sends back, for each, the pins it sampled just before
// applying it. So a line change costs nothing until an answer is needed, and
// then a whole batch of instructions costs one USB round trip (about a
// millisecond) instead of one per line change.
//
// An instruction bit is two states (three on a cable that wants MOSI high
// while SCK is high), each held for one SCK phase:
//   A  SCK low, MOSI = the bit   the chip shifts its MISO bit out on the
//                                falling edge that starts A, valid tens of
//                                nanoseconds later; MISO is sampled at the
//                                end of A, as SCK rises (it comes back with
//                                the state after, B)
//   B  SCK high                  the chip takes MOSI on the rising edge and
//                                needs it a cycle before and two after
//   C  MOSI high (Cablet2 only)  this cable needs MOSI high before MISO is
//                                read: sampled at the end of C instead
// SCK falls with the next bit's A. Before the program waits or lets go of the
// port one more state brings SCK low, since the chip completes an
// instruction's last bit only on that edge; a batch whose answers are needed
// at once ends without it (Cablet2's needs one state after its last sample).
// The immediate ports play the same bit as ClockBit does, one call per line
// change, and sample while SCK is high: the same MISO level.
//
// The SCK phase of each speed lasts as long on every streaming port: 1 / 375
// kHz (2.67 us) at High, and 5, 25 and 100 times that at Medium, Low and very
// low. A phase longer than two cycles of the chip's clock is seen, so High
// serves every chip clocked above 750 kHz (every chip at its factory clock),
// Medium above 150 kHz, Low above 30 kHz (a 32.768 kHz watch crystal) and very
// low above 7.5 kHz. A port that cannot make the rate of a phase repeats
// states at a rate it can make (the FT232R, which only clocks evenly at its
// top rate: platform/linux/linux_ftdi_port.cpp).
#include <algorithm>
#include <cstdint>
#include <string>

#include "adapter/adapter.h"
#include "adapter/pin_lines.h"
#include "core/activity.h"

namespace ostrel::adapter {

namespace {

// The rate of one state per phase at High.
constexpr uint64_t kHighRateHz = 375000;
// Answers kept for AnswerOf: far more than any caller queues before it asks.
constexpr std::size_t kKeptAnswers = 4096;
// Instructions a caller may queue at most before it needs their answers.
constexpr int kMostQueued = 1024;
// The longest run of idle states that fills the last packet of samples.
constexpr uint64_t kMostFillUs = 500;

PinQueue::Answer* FindAnswer(PinQueue& q, uint32_t ticket) {
    for (auto it = q.answers.rbegin(); it != q.answers.rend(); ++it) {
        if (it->ticket == ticket)
            return &*it;
    }
    return nullptr;
}

uint32_t NewAnswer(Programmer& p, uint8_t expected) {
    PinQueue& q = p.pinQueue;
    const uint32_t ticket = q.nextTicket++;
    if (q.nextTicket == 0)
        q.nextTicket = 1;
    q.answers.push_back({ticket, 0, expected, 0});
    while (q.answers.size() > kKeptAnswers)
        q.answers.pop_front();
    return ticket;
}

// A MISO sample at the end of the last state queued (or sent).
void SampleHere(Programmer& p, uint32_t ticket, bool raw) {
    PinQueue& q = p.pinQueue;
    const uint64_t last = q.sent + q.states.size();
    q.samples.push_back({last == 0 ? 0 : last - 1, ticket, raw});
}

// One sample has come back: a bit of an instruction's answer (also shifted
// into rxShift, as the immediate transfer does), or a whole byte of pins.
void Resolve(Programmer& p, const PinQueue::Sample& sample, uint8_t pins) {
    ProgrammerState& s = p.state;
    PinQueue::Answer* answer = FindAnswer(p.pinQueue, sample.ticket);
    if (sample.raw) {
        if (answer) {
            answer->value = pins;
            answer->got = answer->expected;
        }
        s.modemStatus = s.adapterKind == AdapterKind::Gpio ? 0 : ModemStatusFromFtdiPins(pins);
        return;
    }
    const uint32_t bit =
        p.portLost ? 1u : static_cast<uint32_t>(pins::Level(s, ActiveCable(s).miso, pins));
    s.rxShift = (s.rxShift << 1) | bit;
    if (answer) {
        answer->value = (answer->value << 1) | bit;
        if (answer->got < answer->expected)
            ++answer->got;
    }
}

// Every sample still to come back, as a lost port gives them: all 1s.
void ResolveAllLost(Programmer& p) {
    PinQueue& q = p.pinQueue;
    while (!q.samples.empty()) {
        const PinQueue::Sample sample = q.samples.front();
        q.samples.pop_front();
        Resolve(p, sample, 0xFF);
    }
    q.states.clear();
    q.inFlightSizes.clear();
    q.inFlight = 0;
}

// The samples of `count` states from the one with index `first` are back:
// samples[j] was taken at the end of state first + j - 1.
void ResolveSamples(Programmer& p, uint64_t first, std::size_t count, const uint8_t* samples) {
    PinQueue& q = p.pinQueue;
    while (!q.samples.empty()) {
        const PinQueue::Sample sample = q.samples.front();
        if (sample.state + 1 < first) {
            // Taken before this port was opened: nothing will bring it.
            q.samples.pop_front();
            Resolve(p, sample, 0xFF);
            continue;
        }
        if (sample.state + 1 >= first + count)
            break;
        q.samples.pop_front();
        Resolve(p, sample, samples[sample.state + 1 - first]);
    }
}

// The first `count` queued states have gone to the port.
void Sent(PinQueue& q, std::size_t count) {
    ++q.transfers;
    q.statesSent += count;
    q.sent += count;
    q.states.erase(q.states.begin(), q.states.begin() + static_cast<std::ptrdiff_t>(count));
}

bool Pipelined(const Programmer& p) {
    return p.pins != nullptr && p.pins->InFlightLimit() > 0 && !p.pinQueue.oneInFlight;
}

// The states of one transfer: as many as the port holds, and in flight
// whole packets of samples. A transfer whose last samples only part fill a
// packet comes back when the next transfer's samples have filled it, and
// only then can the transfer after go, so the chip clocks no more than one
// transfer meanwhile. On the FT232R (128 states, 171 us at its top rate)
// that is less than the wait (up to 61 samples, a packet in, a packet out),
// and the chip would stand still for some microseconds before every
// transfer; with 124 states (two packets) it waits for none.
std::size_t TransferStates(const Programmer& p) {
    const std::size_t capacity = p.pins->StreamCapacity();
    const std::size_t packet = std::max<std::size_t>(1, p.pins->SamplesPerPacket());
    if (!Pipelined(p) || capacity < packet)
        return capacity;
    return capacity - capacity % packet;
}

// A collect failed: no sample in flight can be trusted, so the port is lost
// as when a transfer fails, and what is left of the command (nothing, once
// the port is lost) goes one transfer at a time. Said once on the activity line.
void CollectFailed(Programmer& p) {
    PinQueue& q = p.pinQueue;
    pins::Lost(p);
    ResolveAllLost(p);
    if (!q.oneInFlight) {
        q.oneInFlight = true;
        core::SetActivityField(p, std::string(p.state.portName.view()) +
                                      ": samples missing, one transfer at a time from now on");
    }
}

// Waits for the samples of the oldest transfer in flight. False when the
// port is lost.
bool CollectOldest(Programmer& p) {
    PinQueue& q = p.pinQueue;
    if (q.inFlightSizes.empty())
        return !p.portLost;
    uint8_t samples[4096];
    const std::size_t count = std::min(q.inFlightSizes.front(), sizeof samples);
    const uint64_t first = q.sent - q.inFlight;
    q.inFlightSizes.pop_front();
    q.inFlight -= count;
    if (!p.pins->Collect(std::span<uint8_t>(samples, count))) {
        CollectFailed(p);
        return false;
    }
    ResolveSamples(p, first, count, samples);
    return true;
}

// Collects the transfers in flight until the answer `ticket` is complete.
void CollectUntil(Programmer& p, uint32_t ticket) {
    PinQueue& q = p.pinQueue;
    while (!q.inFlightSizes.empty()) {
        const PinQueue::Answer* answer = FindAnswer(q, ticket);
        if (answer == nullptr || answer->got >= answer->expected || !CollectOldest(p))
            return;
    }
}

// Collects every transfer in flight.
void CollectAll(Programmer& p) {
    while (!p.pinQueue.inFlightSizes.empty() && CollectOldest(p)) {
    }
}

// Sends the first `count` queued states in one transfer. The sample that
// comes with a state belongs to the state before it. On a port that keeps
// transfers in flight they are submitted, and only the oldest transfers are
// collected, as far as the port's limit needs room.
void SendStates(Programmer& p, std::size_t count) {
    PinQueue& q = p.pinQueue;
    if (p.portLost || p.pins == nullptr) {
        ResolveAllLost(p);
        return;
    }
    uint8_t samples[4096];
    const std::size_t capacity = std::min(TransferStates(p), sizeof samples);
    count = std::min({count, q.states.size(), capacity});
    if (count == 0)
        return;
    const uint64_t first = q.sent;
    if (Pipelined(p)) {
        const std::size_t limit = std::max(p.pins->InFlightLimit(), count);
        while (q.inFlight + count > limit && !q.inFlightSizes.empty()) {
            if (!CollectOldest(p))
                return;
        }
        if (!p.pins->Submit(std::span<const uint8_t>(q.states.data(), count))) {
            pins::Lost(p);
            ResolveAllLost(p);
            return;
        }
        q.inFlightSizes.push_back(count);
        q.inFlight += count;
        Sent(q, count);
        return;
    }
    // Anything still in flight comes back before a transfer of its own.
    CollectAll(p);
    if (p.portLost)
        return;
    if (!p.pins->Transfer(std::span<const uint8_t>(q.states.data(), count),
                          std::span<uint8_t>(samples, count))) {
        pins::Lost(p);
        ResolveAllLost(p);
        return;
    }
    Sent(q, count);
    ResolveSamples(p, first, count, samples);
}

// Queues the states of one instruction bit; the sample is the answer's.
void QueueBit(Programmer& p, const CableProfile& cable, bool bit, uint32_t ticket) {
    const int64_t phase = std::max<int32_t>(1, p.state.statesPerPhase);
    pins::SetWire(p, cable.sck, 0);
    pins::SetWire(p, cable.mosi, bit ? 1 : 0);
    pins::Queue(p, phase);
    if (!cable.mosiHighWhileSckHigh)
        SampleHere(p, ticket, false);
    pins::SetWire(p, cable.sck, 1);
    pins::Queue(p, phase);
    if (cable.mosiHighWhileSckHigh) {
        pins::SetWire(p, cable.mosi, 1);
        pins::Queue(p, phase);
        SampleHere(p, ticket, false);
    }
}

void QueueBits(Programmer& p, uint32_t bits, int count, uint32_t ticket) {
    const CableProfile& cable = ActiveCable(p.state);
    for (int i = count - 1; i >= 0; --i)
        QueueBit(p, cable, ((bits >> i) & 1u) != 0, ticket);
    // SCK is high now; the next state queued brings it low, and so does Flush.
    p.pinQueue.sckHighAfterBits = true;
}

// The samples come back in packets, and a part full one only once the
// adapter's latency timer has run out (1 ms at the least). Transfers in
// flight carry whole packets, so the states sent so far end on a packet's
// end exactly when their count is a multiple of it: idle states that make
// it one (the pins as they are) bring the last packet back at once, when
// they last less than half the shortest latency timer.
void FillLastPacket(Programmer& p) {
    PinQueue& q = p.pinQueue;
    const std::size_t packet = p.pins->SamplesPerPacket();
    if (!Pipelined(p) || packet <= 1 || TransferStates(p) % packet != 0 || q.states.empty() ||
        p.state.stateRateHz <= 0)
        return;
    const uint64_t missing = (packet - (q.sent + q.states.size()) % packet) % packet;
    if (missing * 1000000 < kMostFillUs * static_cast<uint64_t>(p.state.stateRateHz))
        pins::Queue(p, static_cast<int64_t>(missing));
}

// Sends the queue and collects every sample, or with `until` only the
// transfers in flight up to the one that completes that answer: the later
// ones stay in flight. With `rest`, SCK is brought low after the last
// instruction bit first.
void SendQueue(Programmer& p, bool rest, uint32_t until = 0) {
    if (!Streaming(p))
        return;
    PinQueue& q = p.pinQueue;
    if (p.portLost) {
        ResolveAllLost(p);
        return;
    }
    if (rest)
        pins::EndBits(p);
    // A sample of the last state comes with a state after it.
    if (!q.samples.empty() && q.samples.back().state + 1 >= q.sent + q.states.size())
        pins::Queue(p, 1);
    FillLastPacket(p);
    while (!q.states.empty() && !p.portLost)
        SendStates(p, q.states.size());
    if (until == 0)
        CollectAll(p);
    else
        CollectUntil(p, until);
    if (p.portLost)
        ResolveAllLost(p);
}

}  // namespace

namespace pins {

void EndBits(Programmer& p) {
    if (!Streaming(p) || !p.pinQueue.sckHighAfterBits)
        return;
    SetWire(p, ActiveCable(p.state).sck, 0);
    Queue(p, std::max<int32_t>(1, p.state.statesPerPhase));
    p.pinQueue.sckHighAfterBits = false;
}

void Queue(Programmer& p, int64_t count) {
    PinQueue& q = p.pinQueue;
    if (p.portLost)
        return;
    const std::size_t capacity = p.pins ? TransferStates(p) : 0;
    for (int64_t i = 0; i < count; ++i) {
        q.states.push_back(p.state.pinLatch);
        if (capacity > 0 && q.states.size() >= capacity)
            SendStates(p, capacity);
    }
}

}  // namespace pins

bool PinsInUse(const Programmer& p) {
    return p.state.pinsOpen && p.pins != nullptr;
}

bool Streaming(const Programmer& p) {
    return PinsInUse(p) && p.pins->StreamCapacity() > 0;
}

int AnswerWindow(const Programmer& p) {
    if (!Streaming(p))
        return 1;
    // States of one instruction at the speed in force, and the state that
    // must follow the last sample of a cable that samples at a bit's end.
    const bool sampleAtEnd = ActiveCable(p.state).mosiHighWhileSckHigh;
    const int64_t perBit = (sampleAtEnd ? 3 : 2) * std::max<int32_t>(1, p.state.statesPerPhase);
    const auto capacity = static_cast<int64_t>(TransferStates(p));
    // As many instructions as fill sixteen transfers exactly: the answers
    // of a window cost sixteen round trips, none of them part full.
    const int64_t states = 16 * capacity - (sampleAtEnd ? 1 : 0);
    return static_cast<int>(std::clamp<int64_t>(states / (32 * perBit), 1, kMostQueued));
}

uint64_t StreamPhaseNs(int32_t speed) {
    return static_cast<uint64_t>(SpeedFactor(speed)) * 1000000000ull / kHighRateHz;
}

void ConfigureStream(Programmer& p) {
    if (!Streaming(p) || p.portLost)
        return;
    // The states in flight keep the rate they were sent at.
    CollectAll(p);
    if (p.portLost)
        return;
    ProgrammerState& s = p.state;
    const auto factor = static_cast<uint64_t>(SpeedFactor(s.speed));
    const auto asked = static_cast<uint32_t>(kHighRateHz / factor);
    const uint32_t rate = p.pins->SetStateRate(asked);
    if (rate == 0) {
        pins::Lost(p);
        return;
    }
    s.stateRateHz = rate;
    // Whole states that last at least one phase: rate x phase, rounded up.
    const uint64_t states = (static_cast<uint64_t>(rate) * factor + kHighRateHz - 1) / kHighRateHz;
    s.statesPerPhase =
        static_cast<int32_t>(std::max<uint64_t>(1, std::min<uint64_t>(states, 100000)));
}

uint32_t QueueInstruction(Programmer& p, int32_t first, int32_t second) {
    ProgrammerState& s = p.state;
    if (!Streaming(p)) {
        s.txWord = first;
        TransferWord(p);
        s.txWord = second;
        TransferWord(p);
        const uint32_t ticket = NewAnswer(p, 32);
        PinQueue::Answer* answer = FindAnswer(p.pinQueue, ticket);
        answer->value = s.rxShift;
        answer->got = 32;
        return ticket;
    }
    s.txWord = second;
    const uint32_t ticket = NewAnswer(p, 32);
    QueueBits(p,
              ((static_cast<uint32_t>(first) & 0xFFFFu) << 16) |
                  (static_cast<uint32_t>(second) & 0xFFFFu),
              32, ticket);
    return ticket;
}

uint32_t AnswerOf(Programmer& p, uint32_t ticket) {
    PinQueue::Answer* answer = FindAnswer(p.pinQueue, ticket);
    if (answer && answer->got < answer->expected) {
        SendQueue(p, false, ticket);
        answer = FindAnswer(p.pinQueue, ticket);
    }
    if (!answer || answer->got < answer->expected)
        return 0xFFFFFFFFu;
    return answer->value;
}

void Flush(Programmer& p) {
    SendQueue(p, true);
}

bool QueueIdleUs(Programmer& p, uint32_t us) {
    if (!Streaming(p) || !Pipelined(p) || p.portLost || p.state.stateRateHz <= 0)
        return false;
    pins::EndBits(p);
    pins::Queue(p, (static_cast<int64_t>(us) * p.state.stateRateHz + 999999) / 1000000);
    return true;
}

void TransferWord(Programmer& p) {
    if (!Streaming(p)) {
        for (int i = 0; i < 16; ++i)
            ClockBit(p, (p.state.txWord & (0x8000 >> i)) != 0 ? 1 : 0);
        return;
    }
    // Callers read rxShift right after: the word goes out now.
    const uint32_t ticket = NewAnswer(p, 16);
    QueueBits(p, static_cast<uint32_t>(p.state.txWord) & 0xFFFFu, 16, ticket);
    SendQueue(p, false);
}

namespace pins {

uint8_t Read(Programmer& p) {
    if (p.portLost || p.pins == nullptr)
        return 0xFF;
    if (!Streaming(p)) {
        uint8_t value = 0xFF;
        if (!p.pins->ReadPins(&value)) {
            Lost(p);
            return 0xFF;
        }
        return value;
    }
    const uint32_t ticket = NewAnswer(p, 1);
    SampleHere(p, ticket, true);
    SendQueue(p, false);
    const PinQueue::Answer* answer = FindAnswer(p.pinQueue, ticket);
    return answer && answer->got == answer->expected && !p.portLost
               ? static_cast<uint8_t>(answer->value)
               : 0xFF;
}

}  // namespace pins

}  // namespace ostrel::adapter
