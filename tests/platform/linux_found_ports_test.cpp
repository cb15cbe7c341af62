// The ports found on this machine, from a prepared copy of the kernel's
// sysfs tree and a /dev folder: which ttys count, the names they are listed
// under, the FTDI adapters by serial number and the GPIO chips by the labels
// they answer with.
#include "platform/linux/found_ports.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "core/clock.h"
#include "tests/platform/port_test_env.h"
#include "tests/support/linux/fake_gpio.h"
#include "tests/support/temp_dir.h"
#include "tests/support/virtual_device.h"

namespace ostrel {
namespace {

namespace fs = std::filesystem;

struct Tty {
    std::string name;
    std::string device;   // under devices/; "": no device link
    std::string type;     // the "type" attribute; "": none
    std::string release;  // bcdDevice of the USB device above it; "": not USB
    std::string serial;
};

struct Chip {
    std::string path;
    std::string label;
    int openError = 0;
};

TEST(FoundPorts, TheKernelsTtysAdaptersAndGpioChipsAreListed) {
    const struct {
        std::vector<Tty> ttys;
        std::vector<std::string> dev;  // names under /dev
        std::string com3;              // OSTREL_PORT_COM3, "": unset
        std::vector<Chip> chips;       // the GPIO chips that answer
        std::string listed;            // "name=text[=lines];" for each port found
    } kCases[] = {
        {{}, {}, "", {}, ""},
        {{{"ttyS0", "pnp0/00:05", "4", "", ""},
          {"ttyS1", "platform/serial8250", "0", "", ""},
          {"ttyS10", "pnp0/00:06", "4", "", ""},
          {"ttyS2", "pnp0/00:07", "", "", ""},
          {"tty1", "", "", "", ""}},
         {},
         "",
         {},
         "COM1=COM1 (/dev/ttyS0);/dev/ttyS10=/dev/ttyS10;"},
        {{{"ttyUSB0", "usb1/1-2/1-2:1.0/ttyUSB0", "", "0600", "A50285BI"},
          {"ttyUSB1", "usb1/1-3/1-3:1.0/ttyUSB1", "", "0400", "OLD1"},
          {"ttyACM0", "usb2/2-1/2-1:1.0/tty/ttyACM0", "", "1000", ""}},
         {"ttyUSB0", "parport0"},
         "/dev/ttyUSB1",
         {{"/dev/gpiochip0", "pinctrl-bcm2711"}, {"/dev/gpiochip4", "pinctrl-rp1"}},
         "/dev/ttyACM0=/dev/ttyACM0, USB ftdi_sio;/dev/ttyUSB0=/dev/ttyUSB0, USB ftdi_sio;"
         "COM3=COM3 (/dev/ttyUSB1), USB ftdi_sio;ftdi:A50285BI=FTDI FT232R A50285BI;"
         "0378=PP 0378 (/dev/parport0);"
         "GPIO=GPIO pinctrl-bcm2711 (gpiochip0)=pi:11,10,25,9;"
         "GPIO=GPIO pinctrl-rp1 (gpiochip4)=pi:11,10,25,9;"},
        // A short label that reads back as itself is kept; one too long for
        // the settings file, one two chips share, one that is no label the
        // wiring can name, and an empty one fall back to the chip's number.
        // A device that is no GPIO chip is not listed.
        {{},
         {},
         "",
         {{"/dev/gpiochip0", "mock"},
          {"/dev/gpiochip1", "gpio-aggregator-long"},
          {"/dev/gpiochip2", "twin"},
          {"/dev/gpiochip3", "twin"},
          {"/dev/gpiochip5", "a:b&c\n"},
          {"/dev/gpiochip6", ""},
          {"/dev/gpiochip7", "tty", ENOTTY},
          {"/dev/gpiochip12", "pinctrl-bcm2835"}},
         "GPIO=GPIO mock (gpiochip0)=mock:11,10,25,9;"
         "GPIO=GPIO gpio-aggregator-long (gpiochip1)=1:11,10,25,9;"
         "GPIO=GPIO twin (gpiochip2)=2:11,10,25,9;GPIO=GPIO twin (gpiochip3)=3:11,10,25,9;"
         "GPIO=GPIO a:b?c? (gpiochip5)=5:11,10,25,9;GPIO=GPIO gpiochip6 (gpiochip6)=6:11,10,25,9;"
         "GPIO=GPIO pinctrl-bcm2835 (gpiochip12)=pi:11,10,25,9;"},
    };
    for (const auto& c : kCases) {
        testing::TempDir temp;
        const fs::path sys = temp.path() / "sys";
        const fs::path dev = temp.path() / "dev";
        fs::create_directories(sys / "class/tty");
        fs::create_directories(dev);
        for (const Tty& t : c.ttys) {
            const fs::path entry = sys / "class/tty" / t.name;
            fs::create_directories(entry);
            if (!t.type.empty())
                std::ofstream(entry / "type") << t.type << "\n";
            if (t.device.empty())
                continue;
            const fs::path device = sys / "devices" / t.device;
            fs::create_directories(device);
            fs::create_symlink(device, entry / "device");
            if (t.release.empty())
                continue;
            fs::create_directories(sys / "bus/drivers/ftdi_sio");
            fs::create_symlink(sys / "bus/drivers/ftdi_sio", device / "driver");
            // The USB device: two steps up from an interface's tty.
            const fs::path usb = device.parent_path().parent_path();
            std::ofstream(usb / "busnum") << "1\n";
            std::ofstream(usb / "devnum") << "7\n";
            std::ofstream(usb / "idVendor") << "0403\n";
            std::ofstream(usb / "bcdDevice") << t.release << "\n";
            if (!t.serial.empty())
                std::ofstream(usb / "serial") << t.serial << "\n";
        }
        for (const std::string& name : c.dev)
            std::ofstream(dev / name) << "";
        auto env = std::make_shared<testing::FakeEnvironment>();
        if (!c.com3.empty())
            env->variables["OSTREL_PORT_COM3"] = c.com3;
        VirtualClock clock;
        testing::VirtualDevices devices;
        testing::FakeGpio gpio(clock, devices);
        for (const Chip& chip : c.chips) {
            testing::FakeGpioChip& added = gpio.Add(chip.path, nullptr);
            added.label = chip.label;
            added.openError = chip.openError;
        }
        std::string listed;
        for (const FoundPort& port : FindLinuxPorts(sys, dev, testing::LookupIn(env), gpio))
            listed += port.name + "=" + port.text +
                      (port.gpioLines.empty() ? "" : "=" + port.gpioLines) + ";";
        EXPECT_EQ(listed, c.listed);
    }
}

}  // namespace
}  // namespace ostrel
