// The FTDI backend on Windows against the stand-in D2XX library: which port
// names it takes, how it sets the chip up, how the samples are gathered, and
// how a missing, busy or pulled adapter ends.
#include "platform/win32/win32_ftdi_port.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/commands.h"
#include "avr/avr.h"
#include "core/ids.h"
#include "tests/support/scripted_windows.h"
#include "tests/support/sim_rig.h"
#include "tests/support/win32/pin_kit.h"

namespace ostrel::testing {
namespace {

struct FtdiKit {
    explicit FtdiKit(PinVia via = PinVia::Ft232r)
        : kit(clock, [&] {
              PinKitOptions o;
              o.via = via;
              return o;
          }()) {}
    VirtualClock clock;
    PinKit kit;
};

TEST(Win32FtdiPort, OpensTheAdaptersItShouldAndSaysWhyNotTheOthers) {
    const struct {
        const char* what;
        PinVia via;
        const char* device;  // what COM1 is mapped to
        void (*arrange)(PinKit&);
        PinOpenResult result;
        std::size_t capacity;
        const char* note;  // in the note after the open
    } kCases[] = {
        {"an FT232R by its COM port", PinVia::Ft232r, "COM7", nullptr, PinOpenResult::Ok, 128,
         "FTDI FT232R adapter in synchronous bit-bang mode"},
        {"an FT231X by its COM port", PinVia::Ft231x, "\\\\.\\com7", nullptr, PinOpenResult::Ok,
         512, "FTDI FT-X adapter"},
        {"by its serial number", PinVia::Ft232r, "ftdi:FT000001", nullptr, PinOpenResult::Ok, 128,
         "synchronous bit-bang mode"},
        {"the first one", PinVia::Ft231x, "ftdi:", nullptr, PinOpenResult::Ok, 512, "FT-X"},
        {"another COM port", PinVia::Ft232r, "COM4", nullptr, PinOpenResult::NotThisPort, 0, ""},
        {"another serial number", PinVia::Ft232r, "ftdi:A50285BI", nullptr, PinOpenResult::Failed,
         0, "No FTDI adapter with serial number A50285BI is plugged in"},
        {"held by a terminal, by COM port", PinVia::Ft232r, "COM7",
         [](PinKit& k) { k.ftdiDevice->heldElsewhere = true; }, PinOpenResult::NotThisPort, 0, ""},
        {"held by a terminal, by serial", PinVia::Ft232r, "ftdi:FT000001",
         [](PinKit& k) { k.ftdiDevice->heldElsewhere = true; }, PinOpenResult::Failed, 0,
         "is in use by another program"},
        {"an FT232BM by its COM port", PinVia::Ft232r, "COM7",
         [](PinKit& k) { k.ftdiDevice->chip = StandInChip::Ft232bm; }, PinOpenResult::NotThisPort,
         0, ""},
        {"an FT232BM by serial", PinVia::Ft232r, "ftdi:FT000001",
         [](PinKit& k) { k.ftdiDevice->chip = StandInChip::Ft232bm; }, PinOpenResult::Failed, 0,
         "has no synchronous bit-bang mode"},
        {"unplugged", PinVia::Ft232r, "ftdi:FT000001",
         [](PinKit& k) { k.ftdiDevice->present = false; }, PinOpenResult::Failed, 0,
         "is plugged in: plug it in, or set OSTREL_PORT_COM1"},
    };
    for (const auto& c : kCases) {
        FtdiKit k(c.via);
        ASSERT_NE(k.kit.ftdiDevice, nullptr);
        if (c.arrange)
            c.arrange(k.kit);
        (*k.kit.variables)["OSTREL_PORT_COM1"] = c.device;
        EXPECT_EQ(k.kit.ftdi.OpenPins("COM1"), c.result)
            << c.what << ": " << k.kit.ftdi.PinOpenNote();
        EXPECT_EQ(k.kit.ftdi.StreamCapacity(), c.capacity) << c.what;
        EXPECT_EQ(k.kit.ftdi.InFlightLimit(), 2 * c.capacity) << c.what;
        EXPECT_NE(k.kit.ftdi.PinOpenNote().find(c.note), std::string::npos)
            << c.what << ": " << k.kit.ftdi.PinOpenNote();
        const StandInDevice& dev = *k.kit.ftdiDevice;
        if (c.result == PinOpenResult::Ok) {
            EXPECT_EQ(dev.mode, 0x04) << c.what;
            EXPECT_EQ(dev.direction, kFtdiDrivenPins) << c.what;
            EXPECT_EQ(dev.latencyMs, 2) << c.what << ": set from its 16 ms";
            EXPECT_EQ(k.kit.ftdi.LatencyMs(), 2) << c.what << ": read back";
            // The FT232R runs undivided; an FT-X at half the top rate to start.
            EXPECT_EQ(dev.baud, c.via == PinVia::Ft232r ? 3000000u : 1500000u) << c.what;
            EXPECT_FALSE(k.kit.board.rts() || k.kit.board.dtr() || k.kit.board.breakOn())
                << c.what << ": every line at rest";
            k.kit.ftdi.ClosePins();
            EXPECT_EQ(dev.mode, 0x00) << c.what << ": back to the serial mode";
        }
        EXPECT_FALSE(dev.open) << c.what << ": nothing stays open";
        EXPECT_EQ(k.kit.ftdi.OpenPins("GPIO"), PinOpenResult::NotThisPort) << c.what;
    }
}

// A chip written and read back through each chip kind: the transfers stay
// within the buffer, the samples are gathered from reads that bring what has
// arrived, and the chip holds what was written.
TEST(Win32FtdiPort, WritesAndVerifiesAChipWithinTheBuffers) {
    for (RigPort port : {RigPort::Ft232r, RigPort::Ft231x}) {
        SimRigOptions options;
        options.port = port;
        options.cable = sim::CableKind::Cablet2;
        SimRig rig(options);
        rig.Write("hello.hex", ReadFileBytes(SourcePath("examples/hello-atmega8.hex")));
        ASSERT_EQ(rig.Load("hello.hex"), 0);
        EXPECT_EQ(app::OnCommand(rig.p, ids::kWrite), app::CommandResult::Ok) << RigPortName(port);
        EXPECT_EQ(app::OnCommand(rig.p, ids::kVerify), app::CommandResult::Ok) << RigPortName(port);
        const StandInDevice& dev = *rig.kit->ftdiDevice;
        EXPECT_EQ(dev.overruns, 0u) << RigPortName(port);
        const std::size_t packet = UsbBusModel::kSamplesPerPacket;
        EXPECT_EQ(dev.mostInFlight, 2 * (dev.BufferBytes() / packet * packet))
            << RigPortName(port) << ": two transfers of whole packets in flight";
        EXPECT_EQ(dev.unevenStates, 0u) << RigPortName(port);
        EXPECT_GT(dev.queueLooks, dev.writes) << RigPortName(port) << ": the samples come later";
        EXPECT_EQ(dev.emptyReads, 0u) << RigPortName(port) << ": only what is there is read";
        EXPECT_EQ(rig.chip().lostPulses(), 0u) << RigPortName(port);
    }
}

// The FT232R only clocks evenly undivided; the FT-X chips get a whole
// divisor, the rate asked or the next slower one. The library is given the
// baud rate of that divisor, four times the rate of states.
TEST(Win32FtdiPort, RatesTheChipsClockEvenly) {
    const struct {
        PinVia via;
        uint32_t asked;
        uint32_t given;
    } kCases[] = {
        {PinVia::Ft232r, 375000, 750000}, {PinVia::Ft232r, 3750, 750000},
        {PinVia::Ft231x, 375000, 375000}, {PinVia::Ft231x, 15000, 15000},
        {PinVia::Ft231x, 100000, 93750},  {PinVia::Ft231x, 2000000, 750000},
    };
    for (const auto& c : kCases) {
        FtdiKit k(c.via);
        ASSERT_EQ(k.kit.ftdi.OpenPins("COM1"), PinOpenResult::Ok);
        EXPECT_EQ(k.kit.ftdi.SetStateRate(c.asked), c.given) << PinViaName(c.via) << " " << c.asked;
        EXPECT_EQ(k.kit.ftdiDevice->baud, c.given * 4) << PinViaName(c.via) << " " << c.asked;
    }
}

// The FT232R clocks evenly only undivided (its erratum), so the backend never
// divides it. What a divided clock would do, set on the stand-in by hand:
// states of uneven length, many shorter than the phase, and a chip at 1 MHz
// that loses pulses.
TEST(Win32FtdiPort, TheFt232rAtADividedClockWouldLosePulses) {
    const struct {
        uint32_t baud;
        int32_t statesPerPhase;
        bool uneven;
    } kCases[] = {
        {3000000, 2, false},  // the backend's own: two states a phase
        {1500000, 1, true},   // the same phase of one divided state
    };
    for (const auto& c : kCases) {
        VirtualClock clock;
        PinKitOptions options;
        options.board.cable = sim::CableKind::Cablet2;
        options.board.chipClockHz = 1000000;
        PinKit kit(clock, options);
        ScriptedWindows windows;
        Programmer p{kit.serial, kit.parallel, clock, windows};
        kit.Attach(p);
        p.state.speed = 3;
        p.state.delayLoops = 0;
        p.state.cablet2 = 1;
        ASSERT_EQ(avr::EnterProgrammingMode(p), 0) << c.baud;
        StandInDevice& dev = *kit.ftdiDevice;
        ASSERT_EQ(dev.baud, 3000000u) << "the undivided clock";
        dev.baud = c.baud;
        p.state.statesPerPhase = c.statesPerPhase;
        const uint64_t lostBefore = kit.board.target().lostPulses();
        const uint64_t unevenBefore = dev.unevenStates;
        const bool echoed = avr::ProgrammingEnable(p) == 0x53;
        EXPECT_EQ(dev.unevenStates > unevenBefore, c.uneven) << c.baud;
        EXPECT_EQ(kit.board.target().lostPulses() > lostBefore, c.uneven)
            << c.baud << ": uneven states are refused";
        EXPECT_EQ(echoed, !c.uneven) << c.baud;
    }
}

// The system's calls, with the D2XX library missing or lacking a call.
class LibraryCalls : public Win32SysCalls {
  public:
    explicit LibraryCalls(const char* missingCall) : missingCall_(missingCall) {}
    void* LoadLibraryA(const char* name) override {
        ++loads;
        return missingCall_ == nullptr ? nullptr : Win32SysCalls::LoadLibraryA(name);
    }
    ProcAddress GetProcAddress(void* module, const char* name) override {
        if (missingCall_ != nullptr && std::string_view(name) == missingCall_)
            return nullptr;
        return Win32SysCalls::GetProcAddress(module, name);
    }
    int loads = 0;

  private:
    const char* missingCall_;
};

// Without the library a COM name is a serial port like any other; an
// adapter named by its serial number says what is missing and where it
// comes from. The library is looked for once.
TEST(Win32FtdiPort, WithoutTheLibraryACOMPortIsASerialPort) {
    const struct {
        const char* missingCall;  // null: no library at all
        const char* device;
        PinOpenResult result;
        const char* note;
    } kCases[] = {
        {nullptr, "COM7", PinOpenResult::NotThisPort, ""},
        {nullptr, "ftdi:FT000001", PinOpenResult::Failed,
         "FTDI's D2XX library (ftd2xx.dll) was not found: it comes with FTDI's driver"},
        {"FT_GetQueueStatus", "COM7", PinOpenResult::NotThisPort, ""},
        {"FT_GetQueueStatus", "ftdi:", PinOpenResult::Failed,
         "(ftd2xx.dll) has no FT_GetQueueStatus"},
    };
    for (const auto& c : kCases) {
        FtdiKit k;
        LibraryCalls calls(c.missingCall);
        auto variables = std::make_shared<std::map<std::string, std::string>>();
        (*variables)["OSTREL_PORT_COM1"] = c.device;
        Win32FtdiPort port(calls, k.clock, [variables](std::string_view name) {
            auto it = variables->find(std::string(name));
            return it == variables->end() ? std::nullopt : std::optional<std::string>(it->second);
        });
        for (int twice = 0; twice < 2; ++twice) {
            EXPECT_EQ(port.OpenPins("COM1"), c.result) << c.device << ": " << port.PinOpenNote();
            EXPECT_NE(port.PinOpenNote().find(c.note), std::string::npos)
                << c.device << ": " << port.PinOpenNote();
        }
        EXPECT_EQ(calls.loads, c.missingCall == nullptr ? 2 : 1) << "both names, once";
        EXPECT_FALSE(k.kit.ftdiDevice->open) << c.device;
    }
}

// Samples that never come: the wait ends at the backend's own deadline (the
// states' time and a second), looking at the queue often rather than
// sleeping long, and says how many came.
TEST(Win32FtdiPort, SamplesThatNeverComeEndTheTransferAtItsDeadline) {
    FtdiKit k;
    ASSERT_EQ(k.kit.ftdi.OpenPins("COM1"), PinOpenResult::Ok);
    k.kit.ftdiDevice->mute = true;
    const uint8_t states[128] = {};
    uint8_t samples[128] = {};
    const uint64_t start = k.clock.NowNs();
    const uint64_t looks = k.kit.ftdiDevice->queueLooks;
    EXPECT_FALSE(k.kit.ftdi.Transfer(states, samples));
    EXPECT_EQ(k.kit.ftdi.PinError(), "the adapter sent 0 of 128 samples back");
    const uint64_t waited = k.clock.NowNs() - start;
    EXPECT_GT(waited, 1000000000ull);
    EXPECT_LT(waited, 1010000000ull);
    EXPECT_GT(k.kit.ftdiDevice->queueLooks - looks, 50000u) << "looked every 10 us";
}

TEST(Win32FtdiPort, APulledAdapterEndsTheCommandWithItsMessage) {
    SimRigOptions options;
    options.port = RigPort::Ft232r;
    options.cable = sim::CableKind::Cablet2;
    SimRig rig(options);
    rig.Write("hello.hex", ReadFileBytes(SourcePath("examples/hello-atmega8.hex")));
    ASSERT_EQ(rig.Load("hello.hex"), 0);
    rig.kit->ftdiDevice->unplugAfterWrites = 90;
    EXPECT_EQ(app::OnCommand(rig.p, ids::kWrite), app::CommandResult::Failed);
    const std::vector<std::string> messages = rig.windows.MessageTexts();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(
        messages.back().find("COM1: the port stopped answering (FT_Write failed: FT_IO_ERROR)"),
        std::string::npos)
        << messages.back();
    EXPECT_EQ(rig.p.state.comOpen, 0);
    EXPECT_FALSE(rig.kit->ftdiDevice->open) << "the lost adapter is let go";
}

}  // namespace
}  // namespace ostrel::testing
