// Recognising a USB-serial adapter in a prepared copy of the kernel's sysfs
// tree, and the note the adapter layer shows once when such a port opens.
#include "platform/linux/usb_serial.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "adapter/adapter.h"
#include "core/ids.h"
#include "core/programmer.h"
#include "platform/linux/linux_serial_port.h"
#include "tests/platform/port_test_env.h"
#include "tests/support/recording_port.h"
#include "tests/support/scripted_windows.h"
#include "tests/support/temp_dir.h"
#include "tests/support/virtual_device.h"

namespace ostrel {
namespace {

namespace fs = std::filesystem;

// A tty in the fake sysfs: its class entry links to `device` (under
// devices/), whose driver link names `driver` (none when empty).
void AddTty(const fs::path& root, const std::string& tty, const std::string& device,
            const std::string& driver) {
    fs::create_directories(root / "devices" / device);
    fs::create_directories(root / "class" / "tty" / tty);
    fs::create_symlink(fs::path("../../../devices") / device, root / "class/tty" / tty / "device");
    if (!driver.empty()) {
        fs::create_directories(root / "bus/drivers" / driver);
        fs::create_symlink(root / "bus/drivers" / driver, root / "devices" / device / "driver");
    }
}

class UsbSerialTest : public ::testing::Test {
  protected:
    UsbSerialTest() {
        const fs::path& root = temp.path();
        AddTty(root, "ttyUSB0", "pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/ttyUSB0", "ftdi_sio");
        AddTty(root, "ttyUSB1", "pci0000:00/0000:00:14.0/usb3/3-1/3-1:1.0/ttyUSB1", "ch341");
        AddTty(root, "ttyACM0", "pci0000:00/0000:00:14.0/usb1/1-4/1-4:1.0", "cdc_acm");
        AddTty(root, "ttyUSB2", "pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/ttyUSB2", "");
        AddTty(root, "ttyS0", "pnp0/00:05", "serial");
        // A tty whose device path only mentions USB in a name, not as a bus.
        AddTty(root, "ttyS1", "platform/usbmisc-serial8250", "serial8250");
        fs::create_directories(root / "class/tty/ttyS2");  // no device link at all
        fs::create_directories(root / "class/tty/loop");
        fs::create_symlink("device", root / "class/tty/loop/device");  // a link to itself
        fs::create_directories(root / "dev/serial/by-id");
        fs::create_symlink("../../ttyUSB1", root / "dev/serial/by-id/usb-1a86_USB_Serial-if00");
    }

    testing::TempDir temp;
};

TEST_F(UsbSerialTest, FindsTheAdapterAndItsDriver) {
    const struct {
        std::string path;
        std::optional<std::string> driver;  // none: not a USB adapter
    } kCases[] = {
        {"/dev/ttyUSB0", "ftdi_sio"},
        {"/dev/ttyUSB1", "ch341"},
        {"/dev/ttyACM0", "cdc_acm"},
        {"/dev/ttyUSB2", ""},
        {temp.File("dev/serial/by-id/usb-1a86_USB_Serial-if00"), "ch341"},
        {"/dev/ttyS0", std::nullopt},
        {"/dev/ttyS1", std::nullopt},
        {"/dev/ttyS2", std::nullopt},
        {"/dev/loop", std::nullopt},
        {"/dev/ttyS7", std::nullopt},
        {"", std::nullopt},
        {"/dev/..", std::nullopt},
    };
    for (const auto& c : kCases) {
        std::optional<UsbSerialAdapter> found = FindUsbSerialAdapter(c.path, temp.path());
        ASSERT_EQ(found.has_value(), c.driver.has_value()) << c.path;
        if (found) {
            EXPECT_EQ(found->driver, *c.driver) << c.path;
        }
    }
    EXPECT_FALSE(FindUsbSerialAdapter("/dev/ttyUSB0", temp.path() / "missing"));
}

TEST_F(UsbSerialTest, TheNoteSaysSlowAndForCachedStatusUnreliable) {
    const struct {
        const char* driver;
        const char* note;
    } kCases[] = {
        {"ftdi_sio",
         "COM3 is a USB-serial adapter (ftdi_sio): each line change is a USB request, so "
         "programming is slow"},
        {"cp210x",
         "COM3 is a USB-serial adapter (cp210x): each line change is a USB request, so "
         "programming is slow"},
        {"pl2303",
         "COM3 is a USB-serial adapter (pl2303): slow, each line change is a USB request; "
         "unreliable, its modem status may be stale"},
        {"",
         "COM3 is a USB-serial adapter: each line change is a USB request, so programming is "
         "slow"},
    };
    for (const auto& c : kCases)
        EXPECT_EQ(UsbSerialNote({"ttyUSB0", c.driver}, "COM3"), c.note);
}

TEST_F(UsbSerialTest, TheNoteIsShownOnceWhenThePortOpens) {
    testing::VirtualDevices devices;
    devices.AddTty("/dev/ttyUSB1");
    devices.AddTty("/dev/ttyS0");
    auto env = std::make_shared<testing::FakeEnvironment>();
    env->variables["OSTREL_PORT_COM3"] = "/dev/ttyUSB1";
    LinuxSerialPort port(devices, testing::LookupIn(env), temp.path());
    VirtualClock clock;
    testing::ScriptedWindows windows;
    testing::RecordingPort noParallel;
    Programmer p(port, noParallel, clock, windows);
    p.state.mainWindow = ids::kMainWindow;
    const std::string note = UsbSerialNote({"ttyUSB1", "ch341"}, "COM3");

    for (const char* name : {"COM3", "COM1"}) {
        windows.activity.clear();
        p.state.comName.Assign(name);
        adapter::CloseSerialPort(p);
        uint64_t before = clock.NowUs();
        ASSERT_EQ(adapter::OpenSerialPort(p), 0) << name;
        ASSERT_EQ(adapter::OpenSerialPort(p), 0) << name;  // already open: nothing more
        bool usb = std::string(name) == "COM3";
        EXPECT_EQ(port.SerialOpenNote(), usb ? note : "") << name;
        EXPECT_EQ(windows.activity,
                  usb ? std::vector<std::string>{note} : std::vector<std::string>{})
            << name;
        // Left up for a second to be read, on the virtual clock.
        EXPECT_EQ(clock.NowUs() - before >= 1000000u, usb) << name;
    }
}

}  // namespace
}  // namespace ostrel
