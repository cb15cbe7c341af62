// The GPIO backend against the fake GPIO chips at the system-call level: the
// request of the lines as the kernel sees it, the wiring as the user writes it, what a chip that
// cannot be used says, one system call per line change, and RESET left high whenever the lines are
// let go.
#include "platform/linux/linux_gpio_port.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "adapter/adapter.h"
#include "app/commands.h"
#include "core/ids.h"
#include "platform/linux/gpio_lines.h"
#include "sim/cable.h"
#include "tests/support/linux/pin_kit.h"
#include "tests/support/sim_rig.h"

namespace ostrel::testing {
namespace {

TEST(GpioWiring, IsReadAsChipAndFourLines) {
    const struct {
        const char* text;
        const char* chip;  // null: refused
        unsigned sck, mosi, reset, miso;
        const char* problem;
    } kCases[] = {
        {"0:11,10,25,9", "/dev/gpiochip0", 11, 10, 25, 9, ""},
        {"gpiochip4:2,3,4,5", "/dev/gpiochip4", 2, 3, 4, 5, ""},
        {"/dev/gpiochip1:0,1,2,3", "/dev/gpiochip1", 0, 1, 2, 3, ""},
        {"11,10,25,9", nullptr, 0, 0, 0, 0, "expected CHIP:SCK,MOSI,RESET,MISO"},
        {"0:11,10,25", nullptr, 0, 0, 0, 0, "four line numbers"},
        {"0:11,10,25,9,8", nullptr, 0, 0, 0, 0, "four line numbers"},
        {"0:11,10,11,9", nullptr, 0, 0, 0, 0, "line 11 is named twice"},
        {"0:11,-1,25,9", nullptr, 0, 0, 0, 0, "four line numbers"},
        {"pinctrl-rp1:11,10,25,9", "pinctrl-rp1", 11, 10, 25, 9, ""},
        {"pi:11,10,25,9", "pi", 11, 10, 25, 9, ""},
        {"my chip:1,2,3,4", nullptr, 0, 0, 0, 0, "a chip's label"},
        {"a-label-of-more-than-31-letters-:1,2,3,4", nullptr, 0, 0, 0, 0, "the chip is a number"},
        {"0:1,2,3,99999999", nullptr, 0, 0, 0, 0, "four line numbers"},
        {"", nullptr, 0, 0, 0, 0, "expected CHIP"},
    };
    for (const auto& c : kCases) {
        GpioWiring w;
        std::string problem;
        const bool ok = ParseGpioWiring(c.text, &w, &problem);
        ASSERT_EQ(ok, c.chip != nullptr) << c.text << ": " << problem;
        if (!ok) {
            EXPECT_NE(problem.find(c.problem), std::string::npos) << c.text << ": " << problem;
            continue;
        }
        EXPECT_EQ(w.chip, c.chip) << c.text;
        EXPECT_EQ(w.sck, c.sck) << c.text;
        EXPECT_EQ(w.mosi, c.mosi) << c.text;
        EXPECT_EQ(w.reset, c.reset) << c.text;
        EXPECT_EQ(w.miso, c.miso) << c.text;
        GpioWiring again;
        EXPECT_TRUE(ParseGpioWiring(GpioWiringText(w), &again, &problem)) << c.text;
        EXPECT_EQ(GpioWiringText(again), GpioWiringText(w)) << c.text;
    }
}

struct GpioKit {
    GpioKit()
        : kit(clock, [] {
              PinKitOptions o;
              o.via = PinVia::Gpio;
              return o;
          }()) {}
    VirtualClock clock;
    PinKit kit;
};

// One request of the four lines through the character device: the outputs
// at their first values, the input read, the kernel's refusals passed on,
// and no descriptor left behind.
TEST(GpioLines, AreOneRequestOfTheCharacterDeviceOrTheKernelsReason) {
    const struct {
        const char* what;
        void (*arrange)(FakeGpioChip&);
        std::vector<unsigned> outputs;
        std::vector<int> values;
        unsigned input;
        int error;  // 0: granted
        const char* holder;
    } kCases[] = {
        {"granted", [](FakeGpioChip&) {}, {11, 10, 25}, {0, 1, 1}, 9, 0, ""},
        {"granted, other lines", [](FakeGpioChip&) {}, {2, 3, 4}, {1, 0, 0}, 5, 0, ""},
        {"input held by a driver",
         [](FakeGpioChip& c) { c.heldBy[9] = "spi0 MISO"; },
         {11, 10, 25},
         {0, 0, 1},
         9,
         EBUSY,
         "spi0 MISO"},
        {"output held",
         [](FakeGpioChip& c) { c.heldBy[25] = "led0"; },
         {11, 10, 25},
         {0, 0, 1},
         9,
         EBUSY,
         "led0"},
        {"a line named twice", [](FakeGpioChip&) {}, {11, 10, 25}, {0, 0, 1}, 11, EINVAL, ""},
        {"a line beyond the chip", [](FakeGpioChip&) {}, {11, 10, 54}, {0, 0, 1}, 9, EINVAL, ""},
        {"values not one per output", [](FakeGpioChip&) {}, {11, 10, 25}, {0, 1}, 9, EINVAL, ""},
        {"no GPIO chip",
         [](FakeGpioChip& c) { c.openError = ENOTTY; },
         {11, 10, 25},
         {0, 0, 1},
         9,
         ENOTTY,
         ""},
        {"no permission",
         [](FakeGpioChip& c) { c.openError = EACCES; },
         {11, 10, 25},
         {0, 0, 1},
         9,
         EACCES,
         ""},
    };
    for (const auto& c : kCases) {
        GpioKit k;
        FakeGpioChip& chip = *k.kit.gpioChip;
        c.arrange(chip);
        GpioLines::Failure failure;
        auto lines =
            GpioLines::Request(k.kit.gpio, chip.path, c.outputs, c.values, c.input, &failure);
        EXPECT_EQ(k.kit.gpio.chipsOpen, 0) << c.what << ": the chip is closed after the request";
        if (c.error != 0) {
            EXPECT_EQ(lines, nullptr) << c.what;
            EXPECT_EQ(failure.error, c.error) << c.what;
            EXPECT_EQ(failure.holder, c.holder) << c.what;
            EXPECT_TRUE(chip.requestedBy.empty()) << c.what << ": all lines or none";
            continue;
        }
        ASSERT_NE(lines, nullptr) << c.what << ": error " << failure.error;
        EXPECT_EQ(chip.requests, 1) << c.what << ": one request of all four";
        EXPECT_EQ(chip.requestedBy.size(), 4u) << c.what;
        for (std::size_t i = 0; i < c.outputs.size(); ++i)
            EXPECT_EQ(chip.level[c.outputs[i]], c.values[i]) << c.what << " output " << i;
        std::vector<int> flipped;
        for (int v : c.values)
            flipped.push_back(v != 0 ? 0 : 1);
        EXPECT_TRUE(lines->Set(flipped)) << c.what;
        EXPECT_EQ(chip.sets, 1u) << c.what << ": one call sets every output";
        for (std::size_t i = 0; i < c.outputs.size(); ++i)
            EXPECT_EQ(chip.level[c.outputs[i]], flipped[i]) << c.what << " output " << i;
        EXPECT_FALSE(lines->Set(c.values.front() == 0 ? std::vector<int>{1} : std::vector<int>{0}))
            << c.what << ": not every output";
        // An input off the target's wiring floats high; the target's MISO is what it drives.
        const int level = lines->Get();
        EXPECT_EQ(chip.gets, 1u) << c.what;
        const int miso = (k.kit.board.ReadStatus(0x378) & sim::kParallelMiso) != 0 ? 1 : 0;
        EXPECT_EQ(level, c.input == chip.miso ? miso : 1) << c.what;
        chip.failAfterCalls = 0;
        EXPECT_FALSE(lines->Set(c.values)) << c.what << ": a failed call is a failure";
        EXPECT_EQ(lines->Get(), -1) << c.what;
        lines.reset();
        EXPECT_TRUE(chip.requestedBy.empty()) << c.what << ": the lines are given back";
        EXPECT_EQ(chip.releases, 1) << c.what;
    }
}

TEST(LinuxGpioPort, LinesThatCannotBeUsedAreRefusedWithWhatToDo) {
    const struct {
        const char* what;
        void (*arrange)(PinKit&);
        const char* note;
    } kCases[] = {
        {"no lines chosen", [](PinKit& kit) { kit.gpioPort.SetWiring({}); },
         "No GPIO lines are chosen: give them with --gpio CHIP:SCK,MOSI,RESET,MISO"},
        {"no such chip",
         [](PinKit& kit) {
             kit.gpioPort.SetWiring({"/dev/gpiochip7", 11, 10, 25, 9});
         },
         "No GPIO chip at /dev/gpiochip7"},
        {"no permission",
         [](PinKit& kit) {
             kit.gpioChip->openError = EACCES;
             kit.devices.AddFile("/dev/gpiochip0");
             kit.devices.AddGroup(997, "gpio");
             kit.devices.SetGroup("/dev/gpiochip0", 997);
         },
         "join its group with `sudo usermod -aG gpio $USER`"},
        {"a device that is no GPIO chip (its chip-info ioctl refused)",
         [](PinKit& kit) {
             kit.gpioChip->openError = ENOTTY;
             kit.devices.AddFile("/dev/gpiochip0");
         },
         "/dev/gpiochip0 is not a GPIO chip: name a /dev/gpiochipN with --gpio"},
        {"a line held by a driver", [](PinKit& kit) { kit.gpioChip->heldBy[10] = "spi0 CS0"; },
         "is used by \"spi0 CS0\""},
        {"a line the chip does not have",
         [](PinKit& kit) {
             kit.gpioPort.SetWiring({"/dev/gpiochip0", 11, 10, 60, 9});
         },
         "/dev/gpiochip0 has no line 60: its lines are 0 to 53."},
    };
    for (const auto& c : kCases) {
        GpioKit k;
        c.arrange(k.kit);
        EXPECT_EQ(k.kit.gpioPort.OpenPins("GPIO"), PinOpenResult::Failed) << c.what;
        EXPECT_NE(k.kit.gpioPort.PinOpenNote().find(c.note), std::string::npos)
            << c.what << ": " << k.kit.gpioPort.PinOpenNote();
        EXPECT_FALSE(k.kit.gpioPort.IsOpen()) << c.what;
        EXPECT_EQ(k.kit.gpio.chipsOpen, 0) << c.what << ": nothing stays open";
        EXPECT_TRUE(k.kit.gpioChip == nullptr || k.kit.gpioChip->requestedBy.empty()) << c.what;
    }
    GpioKit k;
    EXPECT_EQ(k.kit.gpioPort.OpenPins("COM1"), PinOpenResult::NotThisPort);
}

// A chip named by its label is found among /dev/gpiochip0 to 63 whatever
// its number, "pi" finds the header's chip of any Raspberry Pi, and a label
// that no chip has lists the chips there are.
TEST(LinuxGpioPort, AChipNamedByItsLabelIsFoundOrTheChipsAreListed) {
    const struct {
        const char* what;
        std::vector<std::pair<const char*, const char*>> chips;  // path, label
        const char* chip;
        const char* opened;  // null: refused
        const char* note;
    } kCases[] = {
        {"Pi 5, older kernel",
         {{"/dev/gpiochip0", "gpio-brcmstb@107d508500"}, {"/dev/gpiochip4", "pinctrl-rp1"}},
         "pi",
         "/dev/gpiochip4",
         "on /dev/gpiochip4"},
        {"Pi 5, newer kernel",
         {{"/dev/gpiochip0", "pinctrl-rp1"}, {"/dev/gpiochip10", "gpio-brcmstb@107d508500"}},
         "pi",
         "/dev/gpiochip0",
         "on /dev/gpiochip0"},
        {"Pi 4",
         {{"/dev/gpiochip0", "pinctrl-bcm2711"}, {"/dev/gpiochip1", "raspberrypi-exp-gpio"}},
         "pi",
         "/dev/gpiochip0",
         ""},
        {"Pi Zero", {{"/dev/gpiochip0", "pinctrl-bcm2835"}}, "pi", "/dev/gpiochip0", ""},
        {"by its label",
         {{"/dev/gpiochip0", "gpio-mockup-A"}, {"/dev/gpiochip3", "pinctrl-rp1"}},
         "pinctrl-rp1",
         "/dev/gpiochip3",
         ""},
        {"another board",
         {{"/dev/gpiochip0", "1c20800.pinctrl"}, {"/dev/gpiochip1", "axp20x-gpio"}},
         "pi",
         nullptr,
         "the chips are gpiochip0 (\"1c20800.pinctrl\", 54 lines), gpiochip1 (\"axp20x-gpio\", 54 "
         "lines)."},
        {"a label nobody has",
         {{"/dev/gpiochip2", "pinctrl-bcm2711"}},
         "pinctrl-rp1",
         nullptr,
         "No GPIO chip is labelled \"pinctrl-rp1\": the chips are gpiochip2"},
        {"no chip at all", {}, "pi", nullptr, "nor any other GPIO chip."},
    };
    for (const auto& c : kCases) {
        VirtualClock clock;
        VirtualDevices devices;
        FakeGpio gpio(clock, devices);
        sim::SimPort board(clock, sim::SimConfig{});
        for (const auto& [path, label] : c.chips)
            gpio.Add(path, &board).label = label;
        LinuxGpioPort port(gpio);
        port.SetWiring({c.chip, 11, 10, 25, 9});
        const PinOpenResult result = port.OpenPins("GPIO");
        EXPECT_EQ(result, c.opened != nullptr ? PinOpenResult::Ok : PinOpenResult::Failed)
            << c.what << ": " << port.PinOpenNote();
        EXPECT_NE(port.PinOpenNote().find(c.note), std::string::npos)
            << c.what << ": " << port.PinOpenNote();
        for (const auto& chip : gpio.chips) {
            const bool expected = c.opened != nullptr && chip->path == c.opened;
            EXPECT_EQ(chip->requestedBy.size(), expected ? 4u : 0u) << c.what << " " << chip->path;
        }
        port.ClosePins();
        EXPECT_EQ(gpio.chipsOpen, 0) << c.what;
    }
}

// Each line change is one set of all three outputs; each MISO read one get.
TEST(LinuxGpioPort, EachLineChangeIsOneSetAndEachReadOneGet) {
    SimRigOptions options;
    options.port = RigPort::Gpio;
    SimRig rig(options);
    Programmer& p = rig.p;
    ASSERT_EQ(adapter::OpenPort(p), 0) << p.state.errorText.view();
    FakeGpioChip& chip = *rig.kit->gpioChip;
    const uint64_t sets = chip.sets;
    const uint64_t gets = chip.gets;
    adapter::SetReset(p, 0);
    adapter::SetSck(p, 1);
    adapter::SetMosi(p, 1);
    adapter::SetSck(p, 0);
    EXPECT_EQ(chip.sets - sets, 4u);
    EXPECT_EQ(chip.level[chip.reset], 0);
    EXPECT_EQ(chip.level[chip.mosi], 1);
    EXPECT_EQ(chip.level[chip.sck], 0);
    adapter::ReadMiso(p);
    EXPECT_EQ(chip.gets - gets, 1u);
    // A bit: MOSI, SCK up, the sample, SCK down, and one read per delay unit.
    p.state.speed = 3;
    p.state.delayLoops = 1;
    const uint64_t setsBefore = chip.sets;
    const uint64_t getsBefore = chip.gets;
    adapter::ClockBit(p, 1);
    EXPECT_EQ(chip.sets - setsBefore, 3u);
    EXPECT_EQ(chip.gets - getsBefore, 4u);
}

// Whatever ends the use of the lines, RESET is left high and the lines are
// given back.
TEST(LinuxGpioPort, ResetIsLeftHighWhateverEnds) {
    const struct {
        const char* what;
        void (*end)(SimRig&);
    } kCases[] = {
        {"the port closed", [](SimRig& rig) { adapter::CloseSerialPort(rig.p); }},
        {"a command that failed",
         [](SimRig& rig) {
             rig.chip().SetSignature({0x1E, 0x97, 0x7E});  // no line of ostrel.ini
             EXPECT_EQ(app::OnCommand(rig.p, ids::kCheck), app::CommandResult::Failed);
             adapter::CloseSerialPort(rig.p);
         }},
        {"a command that was stopped",
         [](SimRig& rig) {
             rig.windows.onPendingEvents = [&rig] { rig.p.stopRequested = rig.p.commandRunning; };
             EXPECT_EQ(app::OnCommand(rig.p, ids::kCheck), app::CommandResult::Stopped);
             adapter::CloseSerialPort(rig.p);
         }},
    };
    for (const auto& c : kCases) {
        SimRigOptions options;
        options.port = RigPort::Gpio;
        SimRig rig(options);
        ASSERT_EQ(adapter::HoldTargetInReset(rig.p), 0) << c.what;
        FakeGpioChip& chip = *rig.kit->gpioChip;
        ASSERT_EQ(chip.level[chip.reset], 0) << c.what;
        c.end(rig);
        EXPECT_EQ(chip.level[chip.reset], 1) << c.what;
        EXPECT_TRUE(chip.requestedBy.empty()) << c.what;
        EXPECT_EQ(rig.kit->gpio.chipsOpen, 0) << c.what;
        rig.clock.Spend(1000000);
        EXPECT_TRUE(rig.chip().Running()) << c.what;
    }
}

// The port goes with the program: its destructor lets the target run.
TEST(LinuxGpioPort, ResetIsLeftHighWhenThePortGoes) {
    GpioKit k;
    FakeGpioChip& chip = *k.kit.gpioChip;
    auto port = std::make_unique<LinuxGpioPort>(k.kit.gpio);
    port->SetWiring(k.kit.gpioPort.Wiring());
    ASSERT_EQ(port->OpenPins("GPIO"), PinOpenResult::Ok);
    ASSERT_TRUE(port->WritePins(0x00));  // RESET low: the target held
    EXPECT_EQ(chip.level[chip.reset], 0);
    port.reset();
    EXPECT_EQ(chip.level[chip.reset], 1);
    EXPECT_TRUE(chip.requestedBy.empty());
    EXPECT_EQ(k.kit.gpio.chipsOpen, 0);
}

TEST(LinuxGpioPort, LinesThatStopAnsweringEndTheCommandWithTheirMessage) {
    SimRigOptions options;
    options.port = RigPort::Gpio;
    SimRig rig(options);
    rig.Write("hello.hex", ReadFileBytes(SourcePath("examples/hello-atmega8.hex")));
    ASSERT_EQ(rig.Load("hello.hex"), 0);
    ASSERT_EQ(adapter::OpenPort(rig.p), 0);
    rig.kit->gpioChip->failAfterCalls = 20000;
    EXPECT_EQ(app::OnCommand(rig.p, ids::kWrite), app::CommandResult::Failed);
    const std::vector<std::string> messages = rig.windows.MessageTexts();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages.back().rfind("Error: GPIO: the port stopped answering (", 0), 0u)
        << messages.back();
    EXPECT_NE(messages.back().find("failed: Input/output error)."), std::string::npos)
        << messages.back();
    EXPECT_EQ(rig.p.state.comOpen, 0);
}

}  // namespace
}  // namespace ostrel::testing

namespace ostrel::testing {
namespace {

// Port > "GPIO Lines" opens the lines at once: the choice stands when they
// can be had, and the failure says why when they cannot.
TEST(LinuxGpioPort, ThePortMenuItemOpensTheLinesOrSaysWhy) {
    // `found`: the lines of the found chip's entry that is chosen instead
    // of the fixed item; they replace the lines chosen before only when the
    // chip opens.
    const struct {
        const char* lines;
        const char* found;
        app::CommandResult result;
        const char* message;
    } kCases[] = {
        {"", nullptr, app::CommandResult::Ok, ""},
        {"0:11,10,25,9", nullptr, app::CommandResult::Ok, ""},
        {"3:11,10,25,9", nullptr, app::CommandResult::Failed, "No GPIO chip at /dev/gpiochip3"},
        {"0:11,10,25,99", nullptr, app::CommandResult::Failed,
         "/dev/gpiochip0 has no line 99: its lines are 0 to 53."},
        {"0:11,10,25,99", "pi:11,10,25,9", app::CommandResult::Ok, ""},
        {"0:11,10,25,9", "pinctrl-bcm2835:11,10,25,9", app::CommandResult::Ok, ""},
        {"0:11,10,25,9", "3:11,10,25,9", app::CommandResult::Failed,
         "No GPIO chip at /dev/gpiochip3"},
    };
    for (const auto& c : kCases) {
        SimRigOptions options;
        options.port = RigPort::Gpio;
        SimRig rig(options);
        rig.p.state.portName.Assign("COM1");
        rig.p.state.adapterKind = AdapterKind::Serial;
        rig.p.state.gpioLines.Assign(c.lines);
        if (c.found != nullptr)
            rig.p.foundPorts = {{"COM1", "COM1"}, {"GPIO", "GPIO pinctrl-bcm2835", c.found}};
        const int item = c.found != nullptr ? ids::kFirstFoundPort + 1 : ids::kPortGpio;
        EXPECT_EQ(app::OnCommand(rig.p, item), c.result) << c.lines;
        const bool ok = c.result == app::CommandResult::Ok;
        EXPECT_EQ(rig.windows.IsMenuChecked(item), ok) << c.lines;
        EXPECT_FALSE(rig.windows.IsMenuChecked(ids::kFirstFoundPort) && c.found != nullptr && ok)
            << c.lines;
        EXPECT_EQ(rig.p.state.gpioLines.view(), ok && c.found != nullptr ? c.found : c.lines)
            << c.lines;
        EXPECT_EQ(rig.p.state.adapterKind, ok ? AdapterKind::Gpio : AdapterKind::Serial)
            << c.lines << ": lines that cannot be had are no choice to keep";
        EXPECT_EQ(rig.p.state.portName.view(), ok ? "GPIO" : "COM1") << c.lines;
        const std::vector<std::string> messages = rig.windows.MessageTexts();
        if (ok) {
            EXPECT_TRUE(messages.empty()) << c.lines;
            EXPECT_TRUE(adapter::PinsInUse(rig.p)) << c.lines;
        } else {
            ASSERT_EQ(messages.size(), 1u) << c.lines;
            // The system's text, then the advice on a line of its own.
            EXPECT_EQ(messages[0].rfind("Error: COM-Init-Error!\n", 0), 0u) << messages[0];
            EXPECT_NE(messages[0].find("\n\n" + std::string(c.message)), std::string::npos)
                << messages[0];
            EXPECT_NE(messages[0].find("\nThe port stays COM1."), std::string::npos) << messages[0];
        }
    }
}

}  // namespace
}  // namespace ostrel::testing
