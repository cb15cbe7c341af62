// The table of cables checks itself: every row is wired to lines of its own
// kind of port, the serial rows can be told apart by their flags, and every
// row has a simulated cable of the same name on which the detection, the
// programming enable and the cable test's verdict come out as the row says.
#include "adapter/cable_profile.h"

#include <gtest/gtest.h>

#include <set>
#include <utility>

#include "adapter/adapter.h"
#include "adapter/cable_test.h"
#include "avr/avr.h"
#include "sim/cable.h"
#include "sim/sim_port.h"
#include "tests/support/scripted_windows.h"
#include "tests/support/sim_rig.h"

namespace ostrel {
namespace {

using adapter::CableProfile;
using adapter::CableProfiles;
using adapter::IsSerialLine;

TEST(CableProfiles, EveryRowIsWiredToItsOwnPortAndTheSerialRowsDifferInTheirFlags) {
    const auto cables = CableProfiles();
    ASSERT_FALSE(cables.empty());
    EXPECT_EQ(cables[0].port, AdapterKind::Serial) << "row 0 is the plain serial wiring";
    EXPECT_FALSE(cables[0].hasLoopBack) << "row 0 is what an undetected serial port drives";
    std::set<std::pair<Flag, Flag>> flags;
    for (const CableProfile& c : cables) {
        const bool serial = c.port == AdapterKind::Serial;
        for (const adapter::Wire* w : {&c.sck, &c.mosi, &c.reset, &c.miso})
            EXPECT_EQ(IsSerialLine(w->line), serial) << c.name;
        if (serial) {
            EXPECT_NE(adapter::ModemStatusMask(c.miso.line), 0u) << c.name << ": MISO is an input";
            EXPECT_TRUE(flags.insert({c.cablet1, c.cablet2}).second) << c.name;
            // The same cable on an FTDI adapter in bit-bang mode: the outputs
            // on the pins that drive the transceiver, MISO on one it reads.
            for (const adapter::Wire* w : {&c.sck, &c.mosi, &c.reset}) {
                const adapter::PinWire pin = adapter::FtdiPin(w->line);
                EXPECT_NE(pin.mask & adapter::kFtdiOutputPins, 0) << c.name;
                EXPECT_TRUE(pin.inverted) << c.name << ": the transceiver inverts";
            }
            EXPECT_NE(adapter::FtdiPin(c.miso.line).mask, 0) << c.name;
            EXPECT_EQ(adapter::FtdiPin(c.miso.line).mask & adapter::kFtdiOutputPins, 0)
                << c.name << ": MISO is an input";
        } else if (c.port == AdapterKind::Gpio) {
            for (const adapter::Wire* w : {&c.sck, &c.mosi, &c.reset}) {
                EXPECT_NE(adapter::GpioPin(w->line).mask & adapter::kGpioOutputPins, 0) << c.name;
                EXPECT_FALSE(w->inverted) << c.name << ": straight wires";
            }
            EXPECT_NE(adapter::GpioPin(c.miso.line).mask, 0) << c.name;
            EXPECT_EQ(adapter::GpioPin(c.miso.line).mask & adapter::kGpioOutputPins, 0) << c.name;
            EXPECT_FALSE(c.hasLoopBack) << c.name << ": nothing to detect";
        } else {
            EXPECT_NE(adapter::StatusWordMask(c.miso.line), 0u) << c.name << ": MISO is an input";
        }
        if (c.hasLoopBack) {
            EXPECT_TRUE(serial) << c.name;
            EXPECT_EQ(adapter::ModemStatusMask(c.loopBack.out), 0u)
                << c.name << ": out is an output";
            EXPECT_NE(adapter::ModemStatusMask(c.loopBack.in), 0u) << c.name << ": in is an input";
            EXPECT_FALSE(c.detectedText.empty()) << c.name;
        }
    }
}

TEST(CableProfiles, EveryRowWorksOnItsSimulatedCable) {
    for (const CableProfile& c : CableProfiles()) {
        if (c.port == AdapterKind::Gpio)
            continue;  // wired straight: see the ports of pins below
        sim::CableKind kind{};
        ASSERT_TRUE(sim::ParseCableKind(c.name, &kind)) << c.name << " has no simulated cable";
        VirtualClock clock;
        sim::SimConfig config;
        config.cable = kind;
        sim::SimPort port(clock, config);
        testing::ScriptedWindows windows;
        Programmer p(port, clock, windows);
        p.state.adapterKind = c.port;
        p.state.directPortIo = 1;
        p.state.comName.Assign("SIM");
        p.state.portName.Assign("SIM");

        EXPECT_EQ(adapter::DetectSerialAdapter(p),
                  c.port == AdapterKind::Parallel || c.hasLoopBack ? 0 : 1)
            << c.name;
        EXPECT_EQ(&adapter::ActiveCable(p.state), &c) << c.name;
        ASSERT_EQ(adapter::HoldTargetInReset(p), 0) << c.name;
        EXPECT_EQ(avr::EnterProgrammingMode(p), 0) << c.name;
        EXPECT_EQ(avr::Synchronise(p), 0x53) << c.name << ": the chip answers through the cable";

        adapter::CableTestResult result = adapter::RunCableTest(p, {}, 100);
        EXPECT_EQ(result.verdict, c.verdict) << c.name;
        EXPECT_FALSE(adapter::VerdictText(result.verdict).empty()) << c.name;
    }
}

// Every serial row through an FTDI adapter in bit-bang mode (both chips),
// and the GPIO row on GPIO lines: the same detection, the same echo, the same
// verdict of the cable test as on a serial port.
TEST(CableProfiles, EveryRowWorksOnThePortsOfPins) {
    if (!testing::RigPortAvailable(testing::RigPort::Ft232r))
        GTEST_SKIP() << "this build has no ports of pins";
    for (testing::RigPort port :
         {testing::RigPort::Ft232r, testing::RigPort::Ft231x, testing::RigPort::Gpio}) {
        if (!testing::RigPortAvailable(port))
            continue;
        for (const CableProfile& c : CableProfiles()) {
            const bool gpio = port == testing::RigPort::Gpio;
            if (c.port != (gpio ? AdapterKind::Gpio : AdapterKind::Serial))
                continue;
            sim::CableKind kind = sim::CableKind::Parallel;
            ASSERT_TRUE(gpio || sim::ParseCableKind(c.name, &kind)) << c.name;
            testing::SimRigOptions options;
            options.cable = kind;
            options.port = port;
            testing::SimRig rig(options);
            Programmer& p = rig.p;
            const std::string what = std::string(c.name) + " on " + testing::RigPortName(port);

            EXPECT_EQ(adapter::DetectSerialAdapter(p), gpio || c.hasLoopBack ? 0 : 1) << what;
            EXPECT_EQ(&adapter::ActiveCable(p.state), &c) << what;
            ASSERT_EQ(adapter::HoldTargetInReset(p), 0) << what << p.state.errorText.view();
            EXPECT_TRUE(adapter::PinsInUse(p)) << what;
            EXPECT_EQ(avr::EnterProgrammingMode(p), 0) << what;
            EXPECT_EQ(avr::Synchronise(p), 0x53) << what << ": the chip answers through the cable";

            adapter::CableTestResult result = adapter::RunCableTest(p, {}, 100);
            EXPECT_EQ(result.verdict, c.verdict) << what;
            EXPECT_EQ(rig.chip().lostPulses() + rig.chip().mosiViolations(), 0u) << what;
        }
    }
}

}  // namespace
}  // namespace ostrel
