// The port of pins for test rigs on Windows: the real Win32FtdiPort over the
// stand-in D2XX library (tests/win32/ftd2xx_standin.h), loaded by its name
// from the folder it is built in, with the simulated cable and chip (a
// sim::SimPort) at the adapter's connector. COM1 is mapped to the adapter's
// own COM port, COM7, as a user maps an adapter that got a number above 8.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "core/clock.h"
#include "core/programmer.h"
#include "platform/win32/sys_calls.h"
#include "platform/win32/win32_ftdi_port.h"
#include "sim/sim_port.h"
#include "tests/support/recording_port.h"
#include "tests/win32/ftd2xx_standin.h"

namespace ostrel::testing {

// GPIO lines are Linux's only; a Windows rig never asks for them.
enum class PinVia { Ft232r, Ft231x, Gpio };

const char* PinViaName(PinVia via);

struct PinKitOptions {
    PinVia via = PinVia::Ft232r;
    // The cable and chip at the far end (any serial cable); the stand-in
    // times the lines, so the board's own access costs are set to 0.
    sim::SimConfig board;
    std::string comName = "COM1";
};

// The stand-in library's bench, loaded by name from its folder; null (and a
// test failure) when it cannot be found.
StandInBench* LoadStandInBench();

// The clock the port waits on: the time it lets pass between the library's
// calls (its polls) passes on the adapter too, so the chip clocks the states
// due meanwhile each at its own time, as a real adapter does while the host
// waits, rather than all at once at the next call.
class BusClock : public Clock {
  public:
    BusClock(Clock& inner, StandInBench* bench) : inner_(inner), bench_(bench) {}
    uint32_t TickMs() override { return inner_.TickMs(); }
    int64_t Seconds() override { return inner_.Seconds(); }
    uint64_t NowNs() const override { return inner_.NowNs(); }
    void Spend(uint64_t ns) override;

  private:
    Clock& inner_;
    StandInBench* bench_;
};

class PinKit {
  public:
    PinKit(Clock& clock, const PinKitOptions& options);
    ~PinKit();
    PinKit(const PinKit&) = delete;
    PinKit& operator=(const PinKit&) = delete;

    void Attach(Programmer& p);

    PinVia via;
    sim::SimPort board;
    // The modem-line path: the adapter's COM port, its lines at the board.
    SerialLines& serial;
    RecordingPort parallel;
    StandInBench* bench = nullptr;
    StandInDevice* ftdiDevice = nullptr;
    std::shared_ptr<std::map<std::string, std::string>> variables;
    Win32SysCalls sys;
    BusClock busClock;
    Win32FtdiPort ftdi;

  private:
    static sim::SimConfig BoardConfig(const PinKitOptions& options);
    std::string comName_;
};

}  // namespace ostrel::testing
