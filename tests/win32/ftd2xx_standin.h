// A stand-in for FTDI's D2XX library, ftd2xx.dll, for the tests of the
// Windows programs: it exports the library's calls by their plain names, as
// the real library does, over FTDI adapters whose connector leads to a
// simulated serial cable and chip. The program loads it by name from the
// folder it is put in, exactly as it would load the real one.
//
// What it models, as the chips and the library behave:
// - the RS-232 adapter: pins D0..D7 (TXD, RXD, RTS#, CTS#, DTR#, DSR#, DCD#,
//   RI#) through a transceiver that inverts every line;
// - synchronous bit-bang mode (FT_SetBitMode 0x04): for each byte written
//   the chip samples the pins, then applies the byte, then holds it for one
//   state; the samples go back to the host;
// - the chip's buffers: a write that would put more bytes in flight than
//   the buffer from the host and the one of samples to it hold together
//   (twice 128 on the FT232R, twice 512 on the FT-X chips, counting the
//   smaller) stalls until the write time-out and comes back short;
// - the USB, timed by the model of the bus and the chip that the Linux
//   stand-in of libftdi uses too (tests/support/usb_bus_model.h): packets
//   from the host as they are written, the chip clocking states at its rate
//   and stalling while its buffer to the host is full, samples back in
//   packets of 62 with their status bytes, a full one as soon as it is
//   full, a partial one once the latency timer has run out; the driver
//   keeps a read pending all the time, so FT_GetQueueStatus counts what
//   has arrived, FT_Read gives what has arrived and no more, waiting out
//   its time-out when asked for more;
// - the rate: the baud rate is the 3 MHz reference over a whole divisor, a
//   state lasts four baud periods; on the FT232R a divided clock makes
//   states of uneven length, many shorter than the rate asked, which the
//   chip clocks at those lengths (so the simulated chip refuses the short
//   ones) and counts;
// - a device that another program holds, one without synchronous mode
//   (FT232BM), and one that goes away after a number of writes.
//
// A test in the same process reaches the bench through the library's extra
// export OstrelD2xxStandInBench and puts its own clock and boards in. A
// program run alone gets one adapter from the environment:
// OSTREL_D2XX_ADAPTER ("FT232R", "FT231X"), OSTREL_D2XX_SERIAL, OSTREL_D2XX_COM
// (its COM port number), OSTREL_D2XX_CHIP (the AVR chip, default ATmega8)
// and OSTREL_D2XX_STATE (the chip's state file, saved when the program ends).
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/clock.h"
#include "core/port_access.h"
#include "tests/support/usb_bus_model.h"

namespace ostrel::testing {

enum class StandInChip { Ft232r, Ft231x, Ft232bm };

struct StandInDevice {
    StandInChip chip = StandInChip::Ft232r;
    std::string serial = "FT000001";
    long comPort = 3;
    // The cable and chip at the connector; null: nothing plugged in.
    SerialLines* board = nullptr;
    bool present = true;
    bool heldElsewhere = false;  // another program has it open
    // The device goes away before write number n + 1 (-1: never).
    int64_t unplugAfterWrites = -1;
    // Takes the states but sends nothing back (a stalled USB link).
    bool mute = false;

    // --- what happened ---
    int opens = 0;
    uint64_t writes = 0;
    uint64_t reads = 0;
    uint64_t emptyReads = 0;  // FT_Read calls that found nothing
    uint64_t queueLooks = 0;  // FT_GetQueueStatus calls
    uint64_t overruns = 0;
    uint64_t mostInFlight = 0;
    uint64_t unevenStates = 0;
    uint32_t baud = 9600;
    unsigned char latencyMs = 16;
    unsigned char mode = 0;
    unsigned char direction = 0;
    unsigned long inTransferSize = 4096;
    unsigned long readTimeoutMs = 0;
    unsigned long writeTimeoutMs = 0;
    int purges = 0;

    // --- the device's own state ---
    bool open = false;
    unsigned char outputs = 0xFF;
    // The bus and the chip's buffers, and the samples that have reached the
    // driver and wait for FT_Read.
    UsbBusModel model;
    std::deque<unsigned char> toHost;
    uint64_t inFlight = 0;
    uint32_t random = 12345;  // draws the lengths of uneven states

    std::size_t BufferBytes() const { return chip == StandInChip::Ft232r ? 128 : 512; }
    unsigned long Type() const {
        return chip == StandInChip::Ft232r ? 5 : chip == StandInChip::Ft231x ? 9 : 0;
    }
};

struct StandInBench {
    Clock* clock = nullptr;
    // A control request (FT_GetBitMode).
    uint64_t roundTripNs = 1000000;
    std::vector<std::unique_ptr<StandInDevice>> devices;
    // The host's time moves on to `untilNs` outside the library's calls (a
    // driver's poll between them): the chips clock the states due by then,
    // each at its own time, before the clock gets there. Set by the library.
    void (*passTime)(StandInBench& bench, uint64_t untilNs) = nullptr;

    // Plugs in an adapter with `board` at its connector (may be null).
    StandInDevice& Add(StandInChip chip, SerialLines* board, std::string serial = "FT000001",
                       long comPort = 3) {
        auto dev = std::make_unique<StandInDevice>();
        dev->chip = chip;
        dev->board = board;
        dev->serial = std::move(serial);
        dev->comPort = comPort;
        if (board != nullptr) {
            board->OpenSerial("FTDI");
            board->EscapeCommFunction(CommFunction::ClrRts);
            board->EscapeCommFunction(CommFunction::ClrDtr);
            board->EscapeCommFunction(CommFunction::ClrBreak);
        }
        devices.push_back(std::move(dev));
        return *devices.back();
    }
};

// The export's name and type.
inline constexpr const char* kStandInBenchExport = "OstrelD2xxStandInBench";
using StandInBenchFn = StandInBench* (*)();

}  // namespace ostrel::testing
