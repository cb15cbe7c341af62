// Inside the adapter layer: the lines of a port of pins (an FTDI adapter in
// bit-bang mode, GPIO lines), shared by the line operations (lines.cpp) and
// the streaming queue (stream.cpp).
#pragma once

#include <cstdint>
#include <string_view>

#include "adapter/cable_profile.h"
#include "core/programmer.h"

namespace ostrel::adapter::pins {

// Sets a line of the connector (or a GPIO line) on or off in pinLatch, with
// the adapter's inversion; nothing is sent.
void SetLine(Programmer& p, PcLine line, bool on);
// Sets the signal a cable wire carries to a level in pinLatch, with the
// cable's inversion and the adapter's; nothing is sent.
void SetWire(Programmer& p, const Wire& wire, int level);
// Sends pinLatch: on an immediate port at once, on a streaming port as one
// SCK phase of states in the queue.
void Apply(Programmer& p);
// The pins as they are now: on a streaming port this sends the queue and
// waits for the sample. All 1s once the port is lost.
uint8_t Read(Programmer& p);
// The level of a wire's signal in a byte of pins, both inversions undone.
int Level(const ProgrammerState& s, const Wire& wire, uint8_t pins);
// Appends `count` copies of pinLatch to the queue of a streaming port,
// sending full transfers as they fill.
void Queue(Programmer& p, int64_t count);
// After instruction bits on a streaming port, SCK is still high: the chip
// completes the last bit when it falls. Queues that falling edge (one phase
// of SCK low) when it is due; nothing otherwise.
void EndBits(Programmer& p);
// The port failed in the middle of a command: see Programmer::portLost.
void Lost(Programmer& p);

}  // namespace ostrel::adapter::pins
