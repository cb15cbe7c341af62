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

// The device names of the Linux rules, on whichever system the tests run.
constexpr PathStyle kLinux = PathStyle::Posix;

// Sets or removes a variable of the process environment.
void SetVariable(const char* name, const char* value) {
#ifdef _WIN32
    ASSERT_EQ(_putenv_s(name, value ? value : ""), 0);
#else
    ASSERT_EQ(value ? setenv(name, value, 1) : unsetenv(name), 0);
#endif
}

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
        EXPECT_EQ(SerialDevicePath(c.name, lookup, kLinux), c.path) << c.name;
    }
    // The settings file may hold the name in another letter case.
    EXPECT_EQ(SerialDevicePath("com3", lookup, kLinux), "/dev/ttyS2");
    EXPECT_EQ(SerialDevicePath("Com8", lookup, kLinux), "/dev/ttyS7");
}

TEST_F(PortNamesTest, NamesOfNoSerialPortHaveNoDevice) {
    for (const char* name : {"", "COM", "COM0", "COM257", "COM010", "COM1 ", " COM1", "CON1",
                             "LPT1", "SIM", "0378", "dev/ttyS0", "/dev/tty\x01", "COM\xb9"}) {
        EXPECT_EQ(SerialDevicePath(name, lookup, kLinux), std::nullopt) << "'" << name << "'";
        EXPECT_EQ(OverrideVariable(name), name == std::string("0378") ? "OSTREL_PORT_0378" : "")
            << name;
    }
    // Unknown names never consult the environment (no variable to look up).
    env->lookedUp.clear();
    SerialDevicePath("COM257", lookup, kLinux);
    EXPECT_TRUE(env->lookedUp.empty());
}

TEST_F(PortNamesTest, ParallelBasesMapToTheFirstThreePpdevDevices) {
    EXPECT_EQ(ParallelDevicePath(0x378, lookup, kLinux), "/dev/parport0");
    EXPECT_EQ(ParallelDevicePath(0x278, lookup, kLinux), "/dev/parport1");
    EXPECT_EQ(ParallelDevicePath(0x3BC, lookup, kLinux), "/dev/parport2");
    for (uint16_t base : {0x000, 0x3F8, 0x379, 0x37A, 0xFFFF}) {
        EXPECT_EQ(ParallelDevicePath(base, lookup, kLinux), std::nullopt) << base;
        EXPECT_EQ(ParallelPortName(base), "") << base;
    }
    EXPECT_EQ(ParallelPortName(0x378), "0378");
    EXPECT_EQ(ParallelPortName(0x278), "0278");
    EXPECT_EQ(ParallelPortName(0x3BC), "03BC");
}

TEST_F(PortNamesTest, AnEnvironmentVariablePerPortReplacesItsDevice) {
    env->variables["OSTREL_PORT_COM3"] = "/dev/ttyUSB0";
    env->variables["OSTREL_PORT_03BC"] = "/dev/parport7";
    EXPECT_EQ(SerialDevicePath("COM3", lookup, kLinux), "/dev/ttyUSB0");
    EXPECT_EQ(SerialDevicePath("com3", lookup, kLinux), "/dev/ttyUSB0");
    EXPECT_EQ(ParallelDevicePath(0x3BC, lookup, kLinux), "/dev/parport7");
    // Neighbours keep their defaults.
    EXPECT_EQ(SerialDevicePath("COM2", lookup, kLinux), "/dev/ttyS1");
    EXPECT_EQ(SerialDevicePath("COM4", lookup, kLinux), "/dev/ttyS3");
    EXPECT_EQ(ParallelDevicePath(0x378, lookup, kLinux), "/dev/parport0");
}

TEST_F(PortNamesTest, TheVariableIsNamedAfterThePortInUpperCase) {
    SerialDevicePath("com5", lookup, kLinux);
    ParallelDevicePath(0x3BC, lookup, kLinux);
    ParallelDevicePath(0x278, lookup, kLinux);
    EXPECT_EQ(env->lookedUp, (std::vector<std::string>{"OSTREL_PORT_COM5", "OSTREL_PORT_03BC",
                                                       "OSTREL_PORT_0278"}));
    EXPECT_EQ(OverrideVariable("03bc"), "OSTREL_PORT_03BC");
    EXPECT_EQ(OverrideVariable("cOm7"), "OSTREL_PORT_COM7");
}

TEST_F(PortNamesTest, AnEmptyVariableCountsAsUnset) {
    env->variables["OSTREL_PORT_COM1"] = "";
    env->variables["OSTREL_PORT_0378"] = "";
    EXPECT_EQ(SerialDevicePath("COM1", lookup, kLinux), "/dev/ttyS0");
    EXPECT_EQ(ParallelDevicePath(0x378, lookup, kLinux), "/dev/parport0");
}

TEST_F(PortNamesTest, WithoutALookupTheDefaultsApply) {
    EXPECT_EQ(SerialDevicePath("COM2", EnvironmentLookup{}, kLinux), "/dev/ttyS1");
    EXPECT_EQ(ParallelDevicePath(0x278, EnvironmentLookup{}, kLinux), "/dev/parport1");
    EXPECT_EQ(SerialDevicePath("COM2", EnvironmentLookup{}, PathStyle::Windows), "\\\\.\\COM2");
}

TEST_F(PortNamesTest, TheListNamesEveryPortWithItsDeviceInMenuOrder) {
    env->variables["OSTREL_PORT_COM3"] = "/dev/ttyUSB0";
    env->variables["OSTREL_PORT_0278"] = "/dev/parport0";
    env->variables["OSTREL_PORT_COM8"] = "";
    std::string seen;
    for (const PortDevice& d : ListPortDevices(lookup, kLinux)) {
        seen += d.name + "=" + d.device + (d.overridden ? "*" : "") + " ";
        EXPECT_EQ(d.variable, "OSTREL_PORT_" + d.name);
    }
    EXPECT_EQ(seen,
              "0278=/dev/parport0* 0378=/dev/parport0 03BC=/dev/parport2 COM1=/dev/ttyS0 "
              "COM2=/dev/ttyS1 COM3=/dev/ttyUSB0* COM4=/dev/ttyS3 COM5=/dev/ttyS4 COM6=/dev/ttyS5 "
              "COM7=/dev/ttyS6 COM8=/dev/ttyS7 ");
}

TEST_F(PortNamesTest, OnWindowsComPortsAreDevicesAndAParallelPortIsItsAddress) {
    env->variables["OSTREL_PORT_COM3"] = "COM12";
    env->variables["OSTREL_PORT_COM4"] = "\\\\.\\CNCA0";
    const struct {
        const char* name;
        const char* device;
    } kCases[] = {
        {"COM1", "\\\\.\\COM1"},
        {"com8", "\\\\.\\COM8"},
        {"COM3", "\\\\.\\COM12"},  // a bare name of the variable gets the device form
        {"COM4", "\\\\.\\CNCA0"},  // a device name stays as it is
    };
    for (const auto& c : kCases)
        EXPECT_EQ(SerialDevicePath(c.name, lookup, PathStyle::Windows), c.device) << c.name;
    EXPECT_EQ(SerialDevicePath("COM257", lookup, PathStyle::Windows), std::nullopt);
    EXPECT_EQ(ParallelDevicePath(0x378, lookup, PathStyle::Windows), "I/O 0378");
    EXPECT_EQ(ParallelDevicePath(0x3BC, lookup, PathStyle::Windows), "I/O 03BC");
    EXPECT_EQ(ParallelDevicePath(0x379, lookup, PathStyle::Windows), std::nullopt);
}

// Names as users write them: any letter case, or the device a port stands
// for (overrides applied); anything else is no port.
TEST_F(PortNamesTest, APortIsNamedInAnyCaseOrByItsDevice) {
    env->variables["OSTREL_PORT_COM3"] = "/dev/ttyUSB0";
    env->variables["OSTREL_PORT_COM4"] = "COM12";
    const std::string longest = "/dev/serial/by-id/" + std::string(kMaxPortNameLength - 18, 'x');
    const struct {
        std::string name;
        PathStyle style;
        std::string port;  // "": none
        bool serial;       // the port is a serial one of its own or a COM name
    } kCases[] = {
        {"com3", kLinux, "COM3", true},
        {"Com8", PathStyle::Windows, "COM8", true},
        {"sim", kLinux, "SIM", false},
        {"gpio", kLinux, "GPIO", false},
        {"03bc", kLinux, "03BC", false},
        {"/dev/ttyS0", kLinux, "COM1", true},
        {"/dev/ttyS7", kLinux, "COM8", true},
        {"/dev/ttyUSB0", kLinux, "COM3", true},
        {"/dev/parport1", kLinux, "0278", false},
        {"/dev/parport3", kLinux, "", false},  // only through a parallel name's variable
        {"/dev/ttyUSB1", kLinux, "/dev/ttyUSB1", true},
        {"/dev/ttyS8", kLinux, "/dev/ttyS8", true},
        {longest, kLinux, longest, true},
        {longest + "x", kLinux, "", false},
        {"FTDI:A50285BI", kLinux, "ftdi:A50285BI", true},
        {"ftdi:", kLinux, "ftdi:", true},
        {"ftdi:A50285BI", PathStyle::Windows, "", false},
        {"/dev/ttyUSB1", PathStyle::Windows, "", false},
        {"\\\\.\\COM2", PathStyle::Windows, "COM2", true},
        {"\\\\.\\com12", PathStyle::Windows, "COM4", true},  // the override's device
        {"\\\\.\\com200", PathStyle::Windows, "COM200", true},
        {"\\\\.\\COM257", PathStyle::Windows, "", false},
        {"COM9", PathStyle::Windows, "COM9", true},
        {"com256", PathStyle::Windows, "COM256", true},
        {"COM257", PathStyle::Windows, "", false},
        {"COM012", PathStyle::Windows, "", false},
        {"COM1x", kLinux, "", false},
        {"COM0", kLinux, "", false},
        {"", kLinux, "", false},
    };
    for (const auto& c : kCases) {
        const std::string port = CanonicalPortName(c.name, lookup, c.style);
        EXPECT_EQ(port, c.port) << c.name;
        EXPECT_EQ(IsSerialPortName(port, c.style), c.serial) << c.name;
    }
    // A port of its own is its device; COM9 on up are the further ttyS devices.
    EXPECT_EQ(SerialDevicePath("/dev/ttyUSB1", lookup, kLinux), "/dev/ttyUSB1");
    EXPECT_EQ(SerialDevicePath("ftdi:A5", lookup, kLinux), "ftdi:A5");
    EXPECT_EQ(SerialDevicePath("COM12", lookup, kLinux), "/dev/ttyS11");
    EXPECT_EQ(SerialDevicePath("COM200", lookup, PathStyle::Windows), "\\\\.\\COM200");
}

TEST_F(PortNamesTest, AnOpenAttemptForgetsTheLastOneAndFindsItsDevice) {
    env->variables["OSTREL_PORT_COM2"] = "/dev/ttyUSB3";
    const struct {
        const char* name;
        bool found;
        const char* path;
    } kCases[] = {
        {"COM1", true, "/dev/ttyS0"},
        {"COM2", true, "/dev/ttyUSB3"},
        {"/dev/ttyACM0", true, "/dev/ttyACM0"},
        {"LPT1", false, ""},
        {"COM0", false, ""},
        {"", false, ""},
    };
    SerialOpenAttempt attempt;
    for (const auto& c : kCases) {
        attempt.path = "/dev/earlier";
        attempt.note = "the last attempt's advice";
        EXPECT_EQ(attempt.Begin(c.name, lookup, kLinux), c.found) << c.name;
        EXPECT_EQ(attempt.portName, c.name);
        EXPECT_EQ(attempt.path, c.path) << c.name;
        EXPECT_EQ(attempt.note, "") << c.name;
    }
}

TEST(ComPortNumberTest, ANumberOnlyForACompleteComName) {
    const struct {
        const char* device;
        long number;
    } kCases[] = {
        {"COM1", 1},
        {"com12", 12},
        {"\\\\.\\COM5", 5},
        {"\\\\.\\com256", 256},
        {"COM256", 256},
        {"COM257", 0},
        {"COM0", 0},
        {"COM07", 0},
        {"COM", 0},
        {"COM1x", 0},
        {"XCOM1", 0},
        {"\\\\.\\LPT1", 0},
        {"COM1000", 0},
        {"/dev/ttyS0", 0},
        {"", 0},
        {"ftdi:COM1", 0},
    };
    for (const auto& c : kCases)
        EXPECT_EQ(ComPortNumberOf(c.device), c.number) << c.device;
}

TEST(ProcessEnvironmentTest, ReadsTheRealEnvironment) {
    EnvironmentLookup lookup = ProcessEnvironment();
    SetVariable("OSTREL_PORT_COM6", "/dev/ttyACM4");
    EXPECT_EQ(lookup("OSTREL_PORT_COM6"), "/dev/ttyACM4");
    EXPECT_EQ(SerialDevicePath("COM6", lookup, kLinux), "/dev/ttyACM4");
    SetVariable("OSTREL_PORT_COM6", nullptr);
    EXPECT_EQ(lookup("OSTREL_PORT_COM6"), std::nullopt);
    EXPECT_EQ(SerialDevicePath("COM6", lookup, kLinux), "/dev/ttyS5");
}

}  // namespace
}  // namespace ostrel
