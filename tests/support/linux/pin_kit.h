// The ports of pins for test rigs: the real LinuxFtdiPort and LinuxGpioPort,
// over the fake libftdi and the fake GPIO chips, with the simulated cable and chip (a
// sim::SimPort) at the far end. Everything a real machine would show them is
// prepared: a sysfs tree in which the tty of COM1 belongs to an FTDI chip on
// the USB bus, the tty itself as a virtual device (so the backend's check
// that nobody holds it works as on a machine), the variable that maps COM1
// to it, and a GPIO chip with four lines wired to the target.
#pragma once

#include <memory>
#include <string>

#include "core/clock.h"
#include "core/programmer.h"
#include "platform/linux/linux_ftdi_port.h"
#include "platform/linux/linux_gpio_port.h"
#include "platform/linux/linux_serial_port.h"
#include "sim/sim_port.h"
#include "tests/platform/port_test_env.h"
#include "tests/support/linux/fake_ftdi.h"
#include "tests/support/linux/fake_gpio.h"
#include "tests/support/recording_port.h"
#include "tests/support/temp_dir.h"
#include "tests/support/virtual_device.h"

namespace ostrel::testing {

enum class PinVia { Ft232r, Ft231x, Gpio };

const char* PinViaName(PinVia via);

struct PinKitOptions {
    PinVia via = PinVia::Ft232r;
    // The cable and chip at the far end. For an FTDI adapter any serial
    // cable; for GPIO lines the direct wiring (the kit sets it). The port
    // access costs are the fakes' own, so the board's are set to 0.
    sim::SimConfig board;
    // The COM name the adapter is reached by.
    std::string comName = "COM1";
};

class PinKit {
  public:
    PinKit(Clock& clock, const PinKitOptions& options);

    // Wires a programmer to the kit: the serial port (for the modem-line
    // path, the tty of the adapter), the ports of pins, the port selected.
    void Attach(Programmer& p);

    PinVia via;
    TempDir sysfs;
    VirtualDevices devices;
    std::shared_ptr<FakeEnvironment> env;
    sim::SimPort board;
    FakeUsbBus usb;
    FakeGpio gpio;
    FakeFtdiDevice* ftdiDevice = nullptr;
    FakeGpioChip* gpioChip = nullptr;
    LinuxSerialPort serial;
    RecordingPort parallel;
    LinuxFtdiPort ftdi;
    LinuxGpioPort gpioPort;
    // Routes "GPIO" to the GPIO port and every other name to the FTDI port.
    class Router : public PinPort {
      public:
        Router(PinPort& ftdi, PinPort& gpio) : ftdi_(ftdi), gpio_(gpio) {}
        PinOpenResult OpenPins(std::string_view name) override;
        void ClosePins() override { in_->ClosePins(); }
        std::string PinOpenNote() const override { return in_->PinOpenNote(); }
        std::string PinError() const override { return in_->PinError(); }
        std::size_t StreamCapacity() const override { return in_->StreamCapacity(); }
        uint32_t SetStateRate(uint32_t hz) override { return in_->SetStateRate(hz); }
        bool WritePins(uint8_t state) override { return in_->WritePins(state); }
        bool ReadPins(uint8_t* pins) override { return in_->ReadPins(pins); }
        bool Transfer(std::span<const uint8_t> states, std::span<uint8_t> samples) override {
            return in_->Transfer(states, samples);
        }
        std::size_t InFlightLimit() const override { return pipelined ? in_->InFlightLimit() : 0; }
        std::size_t SamplesPerPacket() const override { return in_->SamplesPerPacket(); }
        bool Submit(std::span<const uint8_t> states) override { return in_->Submit(states); }
        bool Collect(std::span<uint8_t> samples) override { return in_->Collect(samples); }
        // False: the port is used one transfer at a time, as a backend
        // without transfers in flight is.
        bool pipelined = true;

      private:
        PinPort& ftdi_;
        PinPort& gpio_;
        PinPort* in_ = &ftdi_;
    } router;

  private:
    static sim::SimConfig BoardConfig(const PinKitOptions& options);
    std::string comName_;
};

}  // namespace ostrel::testing
