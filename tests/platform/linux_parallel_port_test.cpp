#include "platform/linux/linux_parallel_port.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>

#include <memory>
#include <ostream>
#include <string>
#include <type_traits>
#include <vector>

#include "adapter/adapter.h"
#include "core/programmer.h"
#include "tests/platform/port_test_env.h"
#include "tests/support/recording_port.h"
#include "tests/support/scripted_windows.h"
#include "tests/support/virtual_device.h"

namespace ostrel {
namespace {

using testing::VirtualDevices;
using CallKind = testing::VirtualDevices::CallKind;
using testing::FakeEnvironment;
using testing::LookupIn;

// The ioctl requests made, by name, in order.
std::vector<std::string> IoctlNames(const VirtualDevices& devices) {
    std::vector<std::string> names;
    for (const auto& call : devices.Calls()) {
        if (call.kind == CallKind::Ioctl)
            names.push_back(VirtualDevices::RequestName(call.request));
    }
    return names;
}

class LinuxParallelPortTest : public ::testing::Test {
  protected:
    LinuxParallelPortTest() { lpt1 = &devices.AddParport("/dev/parport0"); }

    VirtualDevices devices;
    testing::VirtualParport* lpt1 = nullptr;
    std::shared_ptr<FakeEnvironment> env = std::make_shared<FakeEnvironment>();
    std::unique_ptr<LinuxParallelPort> port =
        std::make_unique<LinuxParallelPort>(devices, LookupIn(env));
};

TEST_F(LinuxParallelPortTest, OpensAndClaimsOnFirstUseAndOnlyOnce) {
    EXPECT_TRUE(devices.Calls().empty()) << "nothing is opened before the port is used";
    port->WriteData(0x378, 0x01);
    port->ReadWord(0x378);
    port->WriteData(0x378, 0x03);
    port->ReadControl(0x378);
    port->WriteControl(0x378, 0x04);
    port->ReadData(0x378);
    EXPECT_EQ(devices.CallsOf(CallKind::Open).size(), 1u);
    EXPECT_EQ(devices.CallsOf(CallKind::Open)[0].path, "/dev/parport0");
    EXPECT_EQ(devices.CallsOf(CallKind::Open)[0].flags & O_ACCMODE, O_RDWR);
    EXPECT_EQ(lpt1->claims, 1);
    EXPECT_GE(lpt1->claimedBy, 0);
    EXPECT_EQ(devices.OpenDescriptors(), 1);
}

TEST_F(LinuxParallelPortTest, ReleasesAndClosesWhenItGoes) {
    port->WriteData(0x378, 0x08);
    devices.ClearCalls();
    port.reset();
    ASSERT_EQ(devices.Calls().size(), 2u);
    EXPECT_EQ(VirtualDevices::RequestName(devices.Calls()[0].request), "PPRELEASE");
    EXPECT_EQ(devices.Calls()[0].result, 0);
    EXPECT_EQ(devices.Calls()[1].kind, CallKind::Close);
    EXPECT_EQ(devices.OpenDescriptors(), 0);
    EXPECT_EQ(lpt1->claimedBy, -1);
}

TEST_F(LinuxParallelPortTest, AClaimLeavesTheDataLinesDriving) {
    lpt1->reverse = true;  // as another user left them
    port->WriteData(0x378, 0x00);
    EXPECT_FALSE(lpt1->reverse);
    EXPECT_EQ(port->ReadControl(0x378) & 0x20, 0);
}

TEST_F(LinuxParallelPortTest, EachRegisterAccessIsOneIoctl) {
    port->WriteData(0x378, 0);  // claim first
    const struct {
        const char* request;
        void (*access)(LinuxParallelPort&);
    } kCases[] = {
        {"PPWDATA", [](LinuxParallelPort& p) { p.WriteData(0x378, 0x0A); }},
        {"PPRDATA", [](LinuxParallelPort& p) { p.ReadData(0x378); }},
        {"PPRSTATUS", [](LinuxParallelPort& p) { p.ReadStatus(0x378); }},
        {"PPRCONTROL", [](LinuxParallelPort& p) { p.ReadControl(0x378); }},
        {"PPWCONTROL", [](LinuxParallelPort& p) { p.WriteControl(0x378, 0x0C); }},
    };
    for (const auto& c : kCases) {
        devices.ClearCalls();
        c.access(*port);
        EXPECT_EQ(IoctlNames(devices), std::vector<std::string>{c.request});
        EXPECT_EQ(devices.Calls().size(), 1u) << c.request;
    }
}

TEST_F(LinuxParallelPortTest, DataAndStatusReachTheirRegisters) {
    port->WriteData(0x378, 0x0B);
    EXPECT_EQ(lpt1->data, 0x0B);
    EXPECT_EQ(port->ReadData(0x378), 0x0B);
    lpt1->status = 0x87;
    lpt1->data = 0x5A;
    EXPECT_EQ(port->ReadData(0x378), 0x5A);
    EXPECT_EQ(port->ReadWord(0x378), 0x875A);
}

TEST_F(LinuxParallelPortTest, TheWordHoldsDataLowAndStatusHighWithMisoAtBit14) {
    lpt1->data = 0x00;
    lpt1->status = 0x40;  // ACK, status bit 6
    EXPECT_EQ(port->ReadWord(0x378), adapter::kMisoWordBit);
    lpt1->status = 0xBF;  // every status bit but ACK
    EXPECT_EQ(port->ReadWord(0x378) & adapter::kMisoWordBit, 0);
    lpt1->status = 0x00;
    lpt1->data = 0xFF;
    EXPECT_EQ(port->ReadWord(0x378), 0x00FF);
    devices.ClearCalls();
    port->ReadWord(0x378);
    EXPECT_EQ(IoctlNames(devices), (std::vector<std::string>{"PPRDATA", "PPRSTATUS"}));
}

TEST_F(LinuxParallelPortTest, ControlBitsZeroToThreeGoThroughPpwcontrol) {
    port->WriteControl(0x378, 0x0B);
    EXPECT_EQ(lpt1->control, 0x0B);
    EXPECT_FALSE(lpt1->reverse);
    EXPECT_EQ(port->ReadControl(0x378), 0x0B);
    lpt1->control = 0x04;  // changed from outside (another mode of the driver)
    EXPECT_EQ(port->ReadControl(0x378), 0x04);
}

TEST_F(LinuxParallelPortTest, TheDirectionBitBecomesPpdatadirAndReadsBack) {
    port->WriteControl(0x378, 0x04);
    devices.ClearCalls();

    port->WriteControl(0x378, 0x24);  // data lines to input
    EXPECT_EQ(IoctlNames(devices), (std::vector<std::string>{"PPWCONTROL", "PPDATADIR"}));
    EXPECT_EQ(devices.Ioctls()[0].value, 0x04) << "bit 5 must not go through PPWCONTROL";
    EXPECT_EQ(devices.Ioctls()[1].value, 1);
    EXPECT_TRUE(lpt1->reverse);
    EXPECT_EQ(lpt1->directionThroughControl, 0);
    EXPECT_EQ(port->ReadControl(0x378), 0x24);

    // No change of the bit, no PPDATADIR.
    devices.ClearCalls();
    port->WriteControl(0x378, 0x25);
    EXPECT_EQ(IoctlNames(devices), std::vector<std::string>{"PPWCONTROL"});
    EXPECT_EQ(port->ReadControl(0x378), 0x25);

    devices.ClearCalls();
    port->WriteControl(0x378, 0x05);  // data lines drive again
    EXPECT_EQ(IoctlNames(devices), (std::vector<std::string>{"PPWCONTROL", "PPDATADIR"}));
    EXPECT_EQ(devices.Ioctls()[1].value, 0);
    EXPECT_FALSE(lpt1->reverse);
    EXPECT_EQ(port->ReadControl(0x378), 0x05);
}

TEST_F(LinuxParallelPortTest, WithTheDataLinesInputTheDataRegisterReadsTheOutside) {
    port->WriteData(0x378, 0xC0);
    lpt1->externalLines = 0x3C;
    port->WriteControl(0x378, 0x20);
    EXPECT_EQ(port->ReadData(0x378), 0x3C);
    port->WriteControl(0x378, 0x00);
    EXPECT_EQ(port->ReadData(0x378), 0xC0);
}

TEST_F(LinuxParallelPortTest, EachBaseHasItsOwnDeviceAndDirection) {
    testing::VirtualParport& lpt2 = devices.AddParport("/dev/parport1");
    testing::VirtualParport& lpt3 = devices.AddParport("/dev/parport2");
    port->WriteData(0x378, 0x01);
    port->WriteData(0x278, 0x02);
    port->WriteData(0x3BC, 0x08);
    port->WriteControl(0x278, 0x20);
    EXPECT_EQ(lpt1->data, 0x01);
    EXPECT_EQ(lpt2.data, 0x02);
    EXPECT_EQ(lpt3.data, 0x08);
    EXPECT_TRUE(lpt2.reverse);
    EXPECT_FALSE(lpt1->reverse);
    EXPECT_EQ(port->ReadControl(0x378) & 0x20, 0);
    EXPECT_EQ(port->ReadControl(0x278) & 0x20, 0x20);
    EXPECT_EQ(devices.OpenDescriptors(), 3);
    port.reset();
    EXPECT_EQ(devices.OpenDescriptors(), 0);
}

// A base whose device cannot be used: writes do nothing, reads give the idle
// value, and the device is not tried again at every access.
struct UnusableParport {
    const char* what;
    void (*arrange)(VirtualDevices&);
};

void PrintTo(const UnusableParport& u, std::ostream* os) {
    *os << u.what;
}

class UnusableParportTest : public ::testing::TestWithParam<UnusableParport> {};

TEST_P(UnusableParportTest, ReadsIdleWritesNothingAndKeepsNothingOpen) {
    VirtualDevices devices;
    GetParam().arrange(devices);
    LinuxParallelPort port(devices, EnvironmentLookup{});

    EXPECT_FALSE(port.Available(0x378));
    EXPECT_EQ(devices.OpenDescriptors(), 0);
    std::size_t attempts = devices.Calls().size();
    port.WriteData(0x378, 0x0B);
    port.WriteControl(0x378, 0x20);
    EXPECT_EQ(port.ReadData(0x378), 0xFF);
    EXPECT_EQ(port.ReadWord(0x378), 0xFFFF);
    EXPECT_EQ(port.ReadStatus(0x378), 0xFF);
    EXPECT_EQ(port.ReadControl(0x378), 0xFF);
    EXPECT_FALSE(port.Available(0x378));
    EXPECT_EQ(devices.Calls().size(), attempts) << "tried again";
    EXPECT_EQ(devices.OpenDescriptors(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Devices, UnusableParportTest,
    ::testing::Values(
        UnusableParport{"missing", [](VirtualDevices&) {}},
        UnusableParport{"notpermitted",
                        [](VirtualDevices& d) {
                            d.AddParport("/dev/parport0");
                            d.Faults("/dev/parport0").openErrno = EACCES;
                        }},
        UnusableParport{"claimrefused",
                        [](VirtualDevices& d) {
                            d.AddParport("/dev/parport0");
                            d.Faults("/dev/parport0").claimErrno = ENXIO;
                        }},
        UnusableParport{"plainfile", [](VirtualDevices& d) { d.AddFile("/dev/parport0"); }},
        UnusableParport{"serialtty", [](VirtualDevices& d) { d.AddTty("/dev/parport0"); }}),
    [](const ::testing::TestParamInfo<UnusableParport>& info) { return info.param.what; });

TEST_F(LinuxParallelPortTest, AFailedClaimClosesTheDevice) {
    devices.Faults("/dev/parport0").claimErrno = ENXIO;
    EXPECT_FALSE(port->Available(0x378));
    EXPECT_EQ(devices.CallsOf(CallKind::Open).size(), 1u);
    EXPECT_EQ(devices.CallsOf(CallKind::Close).size(), 1u);
    EXPECT_EQ(devices.OpenDescriptors(), 0);
}

TEST_F(LinuxParallelPortTest, ABaseWithoutADeviceMakesNoSystemCall) {
    port->WriteData(0x3F8, 0x01);
    EXPECT_EQ(port->ReadWord(0x3F8), 0xFFFF);
    EXPECT_FALSE(port->Available(0x3F8));
    EXPECT_TRUE(devices.Calls().empty());
}

TEST_F(LinuxParallelPortTest, AvailabilityIsDecidedByOpenAndClaim) {
    EXPECT_TRUE(port->Available(0x378));
    EXPECT_FALSE(port->Available(0x278));  // no /dev/parport1
    EXPECT_EQ(lpt1->claims, 1);
    // The probe's claim is the one later accesses use.
    port->WriteData(0x378, 0x02);
    EXPECT_EQ(lpt1->claims, 1);
    EXPECT_EQ(lpt1->data, 0x02);
}

TEST(LinuxParallelPortProbeTest, AnyAvailableTakesTheFirstUsableStandardPort) {
    VirtualDevices devices;
    testing::VirtualParport& lpt2 = devices.AddParport("/dev/parport1");
    testing::VirtualParport& lpt3 = devices.AddParport("/dev/parport2");
    LinuxParallelPort port(devices, EnvironmentLookup{});
    EXPECT_TRUE(port.AnyAvailable());
    std::vector<VirtualDevices::Call> opens = devices.CallsOf(CallKind::Open);
    ASSERT_EQ(opens.size(), 2u);
    EXPECT_EQ(opens[0].path, "/dev/parport0");
    EXPECT_EQ(opens[1].path, "/dev/parport1");
    EXPECT_EQ(lpt2.claims, 1);
    EXPECT_EQ(lpt3.claims, 0) << "only the first usable port is claimed";

    VirtualDevices none;
    LinuxParallelPort without(none, EnvironmentLookup{});
    EXPECT_FALSE(without.AnyAvailable());
    EXPECT_EQ(none.CallsOf(CallKind::Open).size(), 3u);
    EXPECT_EQ(none.OpenDescriptors(), 0);
}

TEST_F(LinuxParallelPortTest, APortHeldByAnotherProgramIsNotAvailable) {
    int other = devices.Open("/dev/parport0", O_RDWR);
    ASSERT_EQ(devices.Ioctl(other, PPCLAIM, nullptr), 0);
    EXPECT_FALSE(port->Available(0x378));
    EXPECT_EQ(lpt1->claimedBy, other);
    EXPECT_EQ(devices.OpenDescriptors(), 1);
}

TEST_F(LinuxParallelPortTest, AnOverriddenBaseUsesTheDeviceItNames) {
    testing::VirtualParport& lpt5 = devices.AddParport("/dev/parport4");
    env->variables["OSTREL_PORT_0378"] = "/dev/parport4";
    port->WriteData(0x378, 0x09);
    EXPECT_EQ(lpt5.data, 0x09);
    EXPECT_EQ(lpt1->claims, 0);
}

// The parallel backend has no serial side at all, not even one that does nothing.
static_assert(!std::is_base_of_v<SerialLines, LinuxParallelPort>);

// The adapter's parallel line operations through this backend, with a target
// that echoes MOSI on MISO.
class ParallelAdapterTest : public LinuxParallelPortTest {
  protected:
    ParallelAdapterTest() {
        p.state.adapterKind = AdapterKind::Parallel;
        p.state.portBase = 0x378;
        p.state.directPortIo = port->Available(0x378) ? 1 : 0;
        lpt1->statusFn = [](const testing::VirtualParport& pp) -> uint8_t {
            return (pp.data & adapter::kMosiBit) ? 0x40 : 0x00;
        };
    }

    VirtualClock clock;
    testing::ScriptedWindows windows;
    testing::RecordingPort noSerial;
    Programmer p{noSerial, *port, clock, windows};
};

TEST_F(ParallelAdapterTest, LinesAndMisoTravelThroughTheRegisters) {
    ASSERT_EQ(p.state.directPortIo, 1);
    adapter::SetMosi(p, 1);
    adapter::SetSck(p, 1);
    EXPECT_EQ(lpt1->data, adapter::kMosiBit | adapter::kSckBit);
    EXPECT_EQ(adapter::ReadMiso(p), 1);
    adapter::SetMosi(p, 0);
    EXPECT_EQ(adapter::ReadMiso(p), 0);
    EXPECT_EQ(lpt1->data, adapter::kSckBit);
}

TEST_F(ParallelAdapterTest, HoldingTheTargetInResetMakesTheDataLinesDrive) {
    port->WriteControl(0x378, 0x2C);  // left in the input direction
    ASSERT_TRUE(lpt1->reverse);
    lpt1->data = 0xFF;
    EXPECT_EQ(adapter::HoldTargetInReset(p), 0);
    EXPECT_FALSE(lpt1->reverse);
    EXPECT_EQ(lpt1->control, 0x0C) << "the other control bits stay";
    EXPECT_EQ(lpt1->data & adapter::kCableBits, 0u);
    EXPECT_EQ(lpt1->directionThroughControl, 0);
}

TEST_F(ParallelAdapterTest, ReleaseOnAPortWhoseLinesFloatLeavesThemUndriven) {
    // With the drivers off the lines float high: the port check sees 0xFF, not
    // 0xC0, and stops with the lines switched to input.
    lpt1->externalLines = 0xFF;
    EXPECT_EQ(adapter::ReleaseTarget(p), 0);
    EXPECT_TRUE(lpt1->reverse);
    EXPECT_EQ(port->ReadControl(0x378) & 0x20, 0x20);
    EXPECT_EQ(lpt1->directionThroughControl, 0);
}

// One bit of the transfer at speed High with a one-read delay unit: three
// data writes and four status reads (three delay units and the MISO sample),
// whether the data lines drive or the port check left them as inputs. MISO
// comes from status bit 6 alone, and the data byte of the read is the one
// last written.
TEST_F(ParallelAdapterTest, OneBitIsThreeDataWritesAndFourStatusReads) {
    const std::vector<std::string> kOneBit{"PPWDATA",   "PPRSTATUS", "PPWDATA",  "PPRSTATUS",
                                           "PPRSTATUS", "PPWDATA",   "PPRSTATUS"};
    const struct {
        bool linesInput;
        uint8_t status;
        uint32_t miso;
    } kCases[] = {{false, 0x40, 1}, {false, 0xBF, 0}, {true, 0x40, 1}, {true, 0xBF, 0}};
    lpt1->statusFn = nullptr;
    p.state.speed = 3;
    p.state.delayLoops = 1;
    for (const auto& c : kCases) {
        ASSERT_EQ(adapter::HoldTargetInReset(p), 0);
        if (c.linesInput) {
            lpt1->externalLines = 0xFF;  // the port check stops at once
            ASSERT_EQ(adapter::ReleaseTarget(p), 0);
            ASSERT_TRUE(lpt1->reverse);
        }
        lpt1->status = c.status;
        p.state.rxShift = 0;
        devices.ClearCalls();
        adapter::ClockBit(p, 1);
        EXPECT_EQ(IoctlNames(devices), kOneBit) << "lines input " << c.linesInput;
        EXPECT_EQ(p.state.rxShift, c.miso) << "status " << int{c.status};
        EXPECT_EQ(p.state.lastPortRead, (c.status << 8) | (p.state.dataLatch & 0xFF));
    }
}

// The port check of the release reads the data register itself, never the
// latch of the program: only a port whose register reads back 0xC0 and then
// 0x00 with the lines switched to input gets them driving again.
TEST_F(ParallelAdapterTest, ThePortCheckReadsTheRealDataRegister) {
    const struct {
        const char* what;
        bool bidirectional;
        uint8_t outside;
        std::vector<int> dataReads;
        bool drivesAfter;
    } kCases[] = {
        {"lines float high", true, 0xFF, {0xFF}, false},
        {"outside holds C0", true, 0xC0, {0xC0, 0xC0}, false},
        {"output-only port", false, 0xFF, {0xC0, 0x00}, true},
    };
    for (const auto& c : kCases) {
        ASSERT_EQ(adapter::HoldTargetInReset(p), 0);
        lpt1->bidirectional = c.bidirectional;
        lpt1->externalLines = c.outside;
        devices.ClearCalls();
        EXPECT_EQ(adapter::ReleaseTarget(p), 0) << c.what;
        std::vector<int> reads;
        for (const auto& call : devices.Ioctls()) {
            if (VirtualDevices::RequestName(call.request) == "PPRDATA")
                reads.push_back(call.value);
        }
        EXPECT_EQ(reads, c.dataReads) << c.what;
        EXPECT_EQ(lpt1->reverse, !c.drivesAfter) << c.what;
        EXPECT_EQ((lpt1->data & adapter::kResetBit) != 0, c.drivesAfter) << c.what;
    }
}

}  // namespace
}  // namespace ostrel
