#include "platform/port_names.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <memory>
#include <string>

#include "tests/platform/port_test_env.h"

namespace ostrel {
namespace {

using testing::FakeEnvironment;
using testing::LookupIn;

class PortNamesTest : public ::testing::Test {
  protected:
    std::shared_ptr<FakeEnvironment> env = std::make_shared<FakeEnvironment>();
    EnvironmentLookup lookup = LookupIn(env);
};

TEST_F(PortNamesTest, ComPortsMapToTheFirstEightSerialDevices) {
    const struct {
        const char* name;
        const char* path;
    } kCases[] = {
        {"COM1", "/dev/ttyS0"}, {"COM2", "/dev/ttyS1"}, {"COM3", "/dev/ttyS2"},
        {"COM4", "/dev/ttyS3"}, {"COM5", "/dev/ttyS4"}, {"COM6", "/dev/ttyS5"},
        {"COM7", "/dev/ttyS6"}, {"COM8", "/dev/ttyS7"},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(SerialDevicePath(c.name, lookup), c.path) << c.name;
    }
    // The settings file may hold the name in another letter case.
    EXPECT_EQ(SerialDevicePath("com3", lookup), "/dev/ttyS2");
    EXPECT_EQ(SerialDevicePath("Com8", lookup), "/dev/ttyS7");
}

TEST_F(PortNamesTest, NamesOutsideCom1ToCom8HaveNoDevice) {
    for (const char* name : {"", "COM", "COM0", "COM9", "COM10", "COM1 ", " COM1", "CON1", "LPT1",
                             "SIM", "0378", "/dev/ttyS0", "COM\xb9"}) {
        EXPECT_EQ(SerialDevicePath(name, lookup), std::nullopt) << "'" << name << "'";
        EXPECT_EQ(OverrideVariable(name), name == std::string("0378") ? "OSTREL_PORT_0378" : "")
            << name;
    }
    // Unknown names never consult the environment (no variable to look up).
    env->lookedUp.clear();
    SerialDevicePath("COM9", lookup);
    EXPECT_TRUE(env->lookedUp.empty());
}

TEST_F(PortNamesTest, ParallelBasesMapToTheFirstThreePpdevDevices) {
    EXPECT_EQ(ParallelDevicePath(0x378, lookup), "/dev/parport0");
    EXPECT_EQ(ParallelDevicePath(0x278, lookup), "/dev/parport1");
    EXPECT_EQ(ParallelDevicePath(0x3BC, lookup), "/dev/parport2");
    for (uint16_t base : {0x000, 0x3F8, 0x379, 0x37A, 0xFFFF}) {
        EXPECT_EQ(ParallelDevicePath(base, lookup), std::nullopt) << base;
        EXPECT_EQ(ParallelPortName(base), "") << base;
    }
    EXPECT_EQ(ParallelPortName(0x378), "0378");
    EXPECT_EQ(ParallelPortName(0x278), "0278");
    EXPECT_EQ(ParallelPortName(0x3BC), "03BC");
}

TEST_F(PortNamesTest, AnEnvironmentVariablePerPortReplacesItsDevice) {
    env->variables["OSTREL_PORT_COM3"] = "/dev/ttyUSB0";
    env->variables["OSTREL_PORT_03BC"] = "/dev/parport7";
    EXPECT_EQ(SerialDevicePath("COM3", lookup), "/dev/ttyUSB0");
    EXPECT_EQ(SerialDevicePath("com3", lookup), "/dev/ttyUSB0");
    EXPECT_EQ(ParallelDevicePath(0x3BC, lookup), "/dev/parport7");
    // Neighbours keep their defaults.
    EXPECT_EQ(SerialDevicePath("COM2", lookup), "/dev/ttyS1");
    EXPECT_EQ(SerialDevicePath("COM4", lookup), "/dev/ttyS3");
    EXPECT_EQ(ParallelDevicePath(0x378, lookup), "/dev/parport0");
}

TEST_F(PortNamesTest, TheVariableIsNamedAfterThePortInUpperCase) {
    SerialDevicePath("com5", lookup);
    ParallelDevicePath(0x3BC, lookup);
    ParallelDevicePath(0x278, lookup);
    EXPECT_EQ(env->lookedUp, (std::vector<std::string>{"OSTREL_PORT_COM5", "OSTREL_PORT_03BC",
                                                       "OSTREL_PORT_0278"}));
    EXPECT_EQ(OverrideVariable("03bc"), "OSTREL_PORT_03BC");
    EXPECT_EQ(OverrideVariable("cOm7"), "OSTREL_PORT_COM7");
}

TEST_F(PortNamesTest, AnEmptyVariableCountsAsUnset) {
    env->variables["OSTREL_PORT_COM1"] = "";
    env->variables["OSTREL_PORT_0378"] = "";
    EXPECT_EQ(SerialDevicePath("COM1", lookup), "/dev/ttyS0");
    EXPECT_EQ(ParallelDevicePath(0x378, lookup), "/dev/parport0");
}

TEST_F(PortNamesTest, WithoutALookupTheDefaultsApply) {
    EXPECT_EQ(SerialDevicePath("COM2", EnvironmentLookup{}), "/dev/ttyS1");
    EXPECT_EQ(ParallelDevicePath(0x278, EnvironmentLookup{}), "/dev/parport1");
}

TEST_F(PortNamesTest, TheListNamesEveryPortWithItsDeviceInMenuOrder) {
    env->variables["OSTREL_PORT_COM3"] = "/dev/ttyUSB0";
    env->variables["OSTREL_PORT_0278"] = "/dev/parport0";
    env->variables["OSTREL_PORT_COM8"] = "";
    std::string seen;
    for (const PortDevice& d : ListPortDevices(lookup)) {
        seen += d.name + "=" + d.device + (d.overridden ? "*" : "") + " ";
        EXPECT_EQ(d.variable, "OSTREL_PORT_" + d.name);
    }
    EXPECT_EQ(seen,
              "0278=/dev/parport0* 0378=/dev/parport0 03BC=/dev/parport2 COM1=/dev/ttyS0 "
              "COM2=/dev/ttyS1 COM3=/dev/ttyUSB0* COM4=/dev/ttyS3 COM5=/dev/ttyS4 COM6=/dev/ttyS5 "
              "COM7=/dev/ttyS6 COM8=/dev/ttyS7 ");
}

TEST(ProcessEnvironmentTest, ReadsTheRealEnvironment) {
    EnvironmentLookup lookup = ProcessEnvironment();
    ASSERT_EQ(setenv("OSTREL_PORT_COM6", "/dev/ttyACM4", 1), 0);
    EXPECT_EQ(lookup("OSTREL_PORT_COM6"), "/dev/ttyACM4");
    EXPECT_EQ(SerialDevicePath("COM6", lookup), "/dev/ttyACM4");
    ASSERT_EQ(unsetenv("OSTREL_PORT_COM6"), 0);
    EXPECT_EQ(lookup("OSTREL_PORT_COM6"), std::nullopt);
    EXPECT_EQ(SerialDevicePath("COM6", lookup), "/dev/ttyS5");
}

}  // namespace
}  // namespace ostrel
