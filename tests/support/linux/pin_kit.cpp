#include "tests/support/linux/pin_kit.h"

#include <filesystem>
#include <fstream>

namespace ostrel::testing {

namespace fs = std::filesystem;

namespace {

void WriteAttribute(const fs::path& file, const std::string& value) {
    std::ofstream(file) << value << "\n";
}

// The kernel's view of an FTDI adapter: the tty under the USB interface
// under the USB device, the ftdi_sio driver, the device's attributes.
void AddFtdiTty(const fs::path& root, PinVia via, const FakeFtdiDevice& dev) {
    const std::string usbDevice = "pci0000:00/0000:00:14.0/usb1/1-2";
    const fs::path device = root / "devices" / usbDevice;
    const fs::path tty = device / "1-2:1.0" / "ttyUSB0";
    fs::create_directories(tty);
    fs::create_directories(root / "class/tty/ttyUSB0");
    fs::create_symlink(fs::path("../../../devices") / usbDevice / "1-2:1.0/ttyUSB0",
                       root / "class/tty/ttyUSB0/device");
    fs::create_directories(root / "bus/usb-serial/drivers/ftdi_sio");
    fs::create_symlink(root / "bus/usb-serial/drivers/ftdi_sio", tty / "driver");
    WriteAttribute(device / "1-2:1.0" / "bInterfaceNumber", "00");
    WriteAttribute(device / "busnum", std::to_string(dev.bus));
    WriteAttribute(device / "devnum", std::to_string(dev.address));
    WriteAttribute(device / "idVendor", "0403");
    WriteAttribute(device / "idProduct", via == PinVia::Ft231x ? "6015" : "6001");
    WriteAttribute(device / "bcdDevice", via == PinVia::Ft231x ? "1000" : "0600");
    WriteAttribute(device / "serial", dev.serial);
}

}  // namespace

const char* PinViaName(PinVia via) {
    switch (via) {
        case PinVia::Ft232r:
            return "FT232R";
        case PinVia::Ft231x:
            return "FT231X";
        case PinVia::Gpio:
            return "GPIO";
    }
    return "?";
}

sim::SimConfig PinKit::BoardConfig(const PinKitOptions& options) {
    sim::SimConfig config = options.board;
    // The fakes time the lines; the board's own access costs would count twice.
    config.serialAccessNs = 0;
    config.parallelAccessNs = 0;
    if (options.via == PinVia::Gpio)
        config.cable = sim::CableKind::Parallel;  // the same direct wiring
    else if (!sim::IsSerialCable(config.cable))
        config.cable = sim::CableKind::Cablet2;
    return config;
}

PinKit::PinKit(Clock& clock, const PinKitOptions& options)
    : via(options.via),
      env(std::make_shared<FakeEnvironment>()),
      board(clock, BoardConfig(options)),
      usb(clock),
      gpio(clock, devices),
      serial(devices, LookupIn(env), sysfs.path()),
      ftdi(devices, LookupIn(env), sysfs.path()),
      gpioPort(gpio),
      router(ftdi, gpioPort),
      comName_(options.comName) {
    // A port that is not there: no adapter on the bus (and so no tty), or no GPIO chip.
    const bool missing = options.board.fault == sim::SimFault::NoPort;
    if (via == PinVia::Gpio) {
        if (!missing) {
            gpioChip = &gpio.Add("/dev/gpiochip0", &board);
            gpioPort.SetWiring(
                {"/dev/gpiochip0", gpioChip->sck, gpioChip->mosi, gpioChip->reset, gpioChip->miso});
        } else {
            gpioPort.SetWiring({"/dev/gpiochip0", 11, 10, 25, 9});
        }
        return;
    }
    env->variables["OSTREL_PORT_" + comName_] = "/dev/ttyUSB0";
    if (missing)
        return;
    ftdiDevice =
        &usb.Add(via == PinVia::Ft231x ? FakeFtdiChip::Ft231x : FakeFtdiChip::Ft232r, &board);
    AddFtdiTty(sysfs.path(), via, *ftdiDevice);
    devices.AddTty("/dev/ttyUSB0");
}

void PinKit::Attach(Programmer& p) {
    p.pins = &router;
    ProgrammerState& s = p.state;
    if (via == PinVia::Gpio) {
        s.adapterKind = AdapterKind::Gpio;
        s.portName.Assign("GPIO");
        s.comName.Assign("GPIO");
    } else {
        s.adapterKind = AdapterKind::Serial;
        s.portName.Assign(comName_);
        s.comName.Assign(comName_);
    }
}

PinOpenResult PinKit::Router::OpenPins(std::string_view name) {
    in_ = name.substr(0, LinuxGpioPort::kPortName.size()) == LinuxGpioPort::kPortName ? &gpio_
                                                                                      : &ftdi_;
    return in_->OpenPins(name);
}

}  // namespace ostrel::testing
