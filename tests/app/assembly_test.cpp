// The assembled program: the port name "SIM" reaches the simulator slot and
// every other name the serial backend; the simulator reports each of its
// warnings once and says when its chip could not be saved.
#include "app/assembly.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "sim/sim_state_file.h"
#include "tests/support/scripted_windows.h"
#include "tests/support/temp_dir.h"
#include "tests/support/virtual_device.h"

namespace ostrel::testing {
namespace {

struct Built {
    TempDir dir;
    testing::VirtualDevices devices;
    VirtualClock clock;
    ScriptedWindows windows;
    std::vector<std::string> reports;
    std::unique_ptr<app::Assembly> assembly;

    explicit Built(std::optional<bool> parallel = false) {
        devices.AddTty("/dev/ttyS0");
        app::AssemblyOptions options;
        options.startDirectory = dir.str();
        options.clock = &clock;
        options.sysCalls = &devices;
        options.parallelAccess = parallel;
        options.report = [this](const std::string& line) { reports.push_back(line); };
        assembly = std::make_unique<app::Assembly>(windows, std::move(options));
    }
};

TEST(Assembly, TheProgrammerStartsInTheStartDirectoryWithTheParallelAccessGiven) {
    for (bool parallel : {false, true}) {
        Built b(parallel);
        Programmer& p = b.assembly->programmer();
        EXPECT_EQ(p.currentDirectory, b.dir.str());
        EXPECT_EQ(p.state.directPortIo, parallel ? 1 : 0);
        EXPECT_EQ(p.state.dlPortIoLoaded, 0);
        EXPECT_EQ(&p.clock, &b.clock);
        EXPECT_EQ(&p.windows, &b.windows);
    }
}

TEST(Assembly, SimGoesToTheSimulatorAndOtherNamesToTheSerialDevice) {
    Built b;
    Programmer& p = b.assembly->programmer();
    sim::SimulatorSlot& slot = b.assembly->simulator();
    EXPECT_EQ(slot.port(), nullptr) << "nothing is simulated before the port is opened";

    EXPECT_TRUE(p.serial.OpenSerial("SIM") == SerialOpenResult::Ok);
    ASSERT_NE(slot.port(), nullptr);
    EXPECT_TRUE(slot.port()->serialOpen());
    EXPECT_TRUE(b.devices.CallsOf(testing::VirtualDevices::CallKind::Open).empty());

    EXPECT_TRUE(p.serial.OpenSerial("COM1") == SerialOpenResult::Ok);
    EXPECT_FALSE(slot.port()->serialOpen()) << "one serial port open at a time";
    ASSERT_EQ(b.devices.CallsOf(testing::VirtualDevices::CallKind::Open).size(), 1u);
    EXPECT_EQ(b.devices.CallsOf(testing::VirtualDevices::CallKind::Open)[0].path, "/dev/ttyS0");
    p.serial.CloseSerial();
}

TEST(SimulatorSlot, EachWarningIsReportedOnceAndAFailedSaveIsTold) {
    Built b;
    sim::SimulatorSlot& slot = b.assembly->simulator();
    std::string state = sim::DefaultStatePath(b.dir.str());

    // A chip that leaves a state file; the slot then finds its chip there.
    slot.Choose("AT90S2313");
    slot.Start();
    slot.port()->target().SetFlash(0, 0x12);
    EXPECT_TRUE(slot.Close());
    EXPECT_TRUE(b.reports.empty());
    EXPECT_EQ(sim::ChipOfStateFile(state), "AT90S2313");

    // Another chip replaces that file: one warning, however often the port opens.
    slot.Choose("ATmega8");
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(slot.OpenSerial("SIM") == SerialOpenResult::Ok);
        slot.CloseSerial();
    }
    ASSERT_EQ(b.reports.size(), 1u);
    EXPECT_NE(b.reports[0].find("ostrel-sim.state"), std::string::npos) << b.reports[0];

    // A changed chip that cannot be saved: Close says so, with the reason.
    // (The state file is a full folder now: the new state cannot take its place.)
    slot.port()->target().SetFlash(0, 0x34);
    std::filesystem::remove(state);
    std::filesystem::create_directory(state);
    b.dir.Write("ostrel-sim.state/keep", "x");
    EXPECT_FALSE(slot.Close());
    ASSERT_EQ(b.reports.size(), 2u);
    EXPECT_NE(b.reports[1].find("ostrel-sim.state"), std::string::npos) << b.reports[1];
    EXPECT_EQ(slot.port(), nullptr);
    EXPECT_TRUE(slot.Close()) << "nothing left to save";
}

}  // namespace
}  // namespace ostrel::testing
