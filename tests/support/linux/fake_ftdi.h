// A stand-in for libftdi1, linked into the tests in place of the library:
// its C functions (fake_libftdi.cpp, compiled against the real ftdi.h) talk
// to FTDI adapters on a fake USB bus, so LinuxFtdiPort runs in the tests as
// it is. What the fake models, as the chips and libftdi behave:
// - an RS-232 adapter: the chip's pins D0..D7 (TXD, RXD, RTS#, CTS#, DTR#,
//   DSR#, DCD#, RI#) reach a serial connector through a transceiver that
//   inverts every line; at the connector hangs a simulated cable and chip
//   (the serial side of a sim::SimPort);
// - synchronous bit-bang mode: for each byte written the chip samples the
//   pins, then applies the byte, then holds it for one tick of its state
//   rate, so what a read brings back is one sample per byte, one state late;
// - its receive buffer (128 bytes on the FT232R, 512 on the FT-X chips): a
//   write that would put more bytes in flight than it holds stalls until
//   the write time-out and fails, and is counted;
// - the USB: one round trip of time per write and the reads that drain it,
//   and reads that now and then bring only part of what is there;
// - the rate: libftdi multiplies the rate of a bit-bang mode by 4 for the
//   baud rate divisor; on the FT232R any divisor but the undivided clock
//   makes states of uneven length, many shorter than the rate asked (FTDI's
//   errata note TN_120), which the simulated chip then sees as lost pulses;
// - the kernel driver ftdi_sio, detached when libftdi opens the chip and
//   attached again on close when asked to; a device that is missing, one
//   claimed by another program, one without synchronous mode (FT232BM), and
//   one that goes away after a number of writes (pulled out).
// - libftdi's asynchronous transfers (ftdi_write_data_submit,
//   ftdi_read_data_submit, ftdi_transfer_data_done) over the time model of
//   the bus and the chip (tests/support/usb_bus_model.h): frames, packets
//   with their status bytes, the latency timer, the chip's two buffers and
//   its stall; the plain reads and writes use the same model when the bus's
//   frameModel is set, and the one round trip a transfer otherwise;
// - faults of the asynchronous reads: one that brings a sample too few, one
//   that comes after its time-out.
// The bus is installed for the fake functions while a FakeUsbBus lives.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "core/clock.h"
#include "sim/sim_port.h"
#include "tests/support/usb_bus_model.h"

namespace ostrel::testing {

enum class FakeFtdiChip { Ft232r, Ft231x, Ft232bm };

struct FakeFtdiDevice {
    FakeFtdiChip chip = FakeFtdiChip::Ft232r;
    uint8_t bus = 1;
    uint8_t address = 2;
    std::string serial = "FT000001";
    // The cable and chip at the connector; null: nothing plugged in.
    sim::SimPort* board = nullptr;
    bool present = true;       // on the bus
    bool kernelDriver = true;  // ftdi_sio is bound to it
    // The device goes away before write number n + 1 (-1: never).
    int64_t unplugAfterWrites = -1;
    // Asynchronous read number n + 1 brings one sample fewer than asked,
    // or comes after the read time-out with nothing (-1: never).
    int64_t shortReadAfter = -1;
    int64_t lateReadAfter = -1;

    // --- what happened ---
    int opens = 0;
    int detaches = 0;
    int reattaches = 0;
    uint64_t writes = 0;  // each a USB transfer of states
    uint64_t reads = 0;
    uint64_t shortReads = 0;
    uint64_t emptyReads = 0;
    uint64_t bytesWritten = 0;
    uint64_t overruns = 0;      // writes refused for a full buffer
    uint64_t mostInFlight = 0;  // bytes written and not yet read back, at most
    uint64_t roundTrips = 0;
    uint64_t pinReads = 0;  // ftdi_read_pins
    uint64_t asyncWrites = 0;
    uint64_t asyncReads = 0;
    uint64_t asyncInFlight = 0;      // states submitted whose samples no read brought yet
    uint64_t mostAsyncInFlight = 0;  // of those, at most
    uint32_t stateRateHz = 0;
    bool evenStates = true;  // false: the FT232R at a divided clock
    unsigned char latencyMs = 16;
    unsigned char mode = 0;       // BITMODE_RESET
    unsigned char direction = 0;  // output pins

    // --- the device's own state ---
    bool claimed = false;
    unsigned char outputs = 0xFF;
    std::deque<unsigned char> toHost;  // samples not read yet
    uint64_t inFlight = 0;
    bool roundTripOwed = false;
    uint32_t random = 12345;
    UsbBusModel model;

    std::size_t BufferBytes() const { return chip == FakeFtdiChip::Ft232r ? 128 : 512; }
    uint16_t Product() const { return chip == FakeFtdiChip::Ft231x ? 0x6015 : 0x6001; }
    // The pins now: outputs as driven, inputs from the connector.
    unsigned char Pins();
    // Applies the output pins to the connector's lines.
    void Drive(unsigned char pins);
};

class FakeUsbBus {
  public:
    explicit FakeUsbBus(Clock& clock);
    ~FakeUsbBus();
    FakeUsbBus(const FakeUsbBus&) = delete;
    FakeUsbBus& operator=(const FakeUsbBus&) = delete;

    // Plugs in an adapter with `board` at its connector (may be null).
    FakeFtdiDevice& Add(FakeFtdiChip chip, sim::SimPort* board, uint8_t bus = 1,
                        uint8_t address = 2, std::string serial = "FT000001");

    // The bus the fake functions use: the last one made that still lives.
    static FakeUsbBus* Installed();

    Clock& clock;
    // A write and the reads that drain it: one USB round trip.
    uint64_t roundTripNs = 1000000;
    // Every this many reads that find data, one brings only half (0: never).
    int shortReadEvery = 3;
    // The plain reads and writes take the time of the bus model too.
    bool frameModel = false;
    std::vector<std::unique_ptr<FakeFtdiDevice>> devices;
    // Contexts made by ftdi_new and not yet freed.
    int contextsAlive = 0;
    uint64_t readsWithData = 0;

  private:
    FakeUsbBus* previous_;
};

}  // namespace ostrel::testing
