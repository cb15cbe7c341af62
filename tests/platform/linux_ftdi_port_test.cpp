// The FTDI backend against the fake libftdi: which port names it takes, what
// it does to the adapter and its kernel driver, how it moves states, and how
// a missing, busy or pulled adapter ends.
#include "platform/linux/linux_ftdi_port.h"

#include <fcntl.h>
#include <sys/file.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <string>

#include "adapter/adapter.h"
#include "app/commands.h"
#include "avr/avr.h"
#include "core/ids.h"
#include "tests/support/linux/pin_kit.h"
#include "tests/support/sim_rig.h"

namespace ostrel::testing {
namespace {

namespace fs = std::filesystem;

// libftdi's modes: synchronous bit-bang, and back to the serial UART.
constexpr unsigned char kSyncBitBang = 0x04;
constexpr unsigned char kSerialMode = 0x00;

// A kit with an FT232R behind COM1, and what a test changes before opening.
struct FtdiKit {
    explicit FtdiKit(PinVia via = PinVia::Ft232r)
        : kit(clock, [&] {
              PinKitOptions o;
              o.via = via;
              return o;
          }()) {}
    VirtualClock clock;
    PinKit kit;
};

// Another tty in the fake sysfs tree: a USB adapter of another kind, or a
// port of the main board.
void AddOtherTty(const fs::path& root, const std::string& tty, const std::string& usbDevice,
                 const std::string& driver, const std::string& release) {
    const fs::path device = root / "devices" / usbDevice;
    const fs::path node = device / "1-3:1.0" / tty;
    fs::create_directories(node);
    fs::create_directories(root / "class/tty" / tty);
    fs::create_symlink(node, root / "class/tty" / tty / "device");
    fs::create_directories(root / "bus/drivers" / driver);
    fs::create_symlink(root / "bus/drivers" / driver, node / "driver");
    std::ofstream(device / "busnum") << "1\n";
    std::ofstream(device / "devnum") << "7\n";
    std::ofstream(device / "idVendor") << "0403\n";
    std::ofstream(device / "bcdDevice") << release << "\n";
}

TEST(LinuxFtdiPort, TakesOnlyTheNamesOfAdaptersWithSynchronousBitBang) {
    const struct {
        const char* what;
        PinVia via;
        const char* device;  // what COM1 is mapped to
        PinOpenResult result;
        std::size_t capacity;
    } kCases[] = {
        {"an FT232R behind its tty", PinVia::Ft232r, "/dev/ttyUSB0", PinOpenResult::Ok, 128},
        {"an FT231X behind its tty", PinVia::Ft231x, "/dev/ttyUSB0", PinOpenResult::Ok, 512},
        {"by its serial number", PinVia::Ft232r, "ftdi:FT000001", PinOpenResult::Ok, 128},
        {"the first one", PinVia::Ft231x, "ftdi:", PinOpenResult::Ok, 512},
        {"another serial number", PinVia::Ft232r, "ftdi:A50285BI", PinOpenResult::Failed, 0},
        {"a CH340", PinVia::Ft232r, "/dev/ttyUSB1", PinOpenResult::NotThisPort, 0},
        {"an FT232BM, without synchronous mode", PinVia::Ft232r, "/dev/ttyUSB2",
         PinOpenResult::NotThisPort, 0},
        {"a port of the main board", PinVia::Ft232r, "/dev/ttyS0", PinOpenResult::NotThisPort, 0},
    };
    for (const auto& c : kCases) {
        FtdiKit k(c.via);
        AddOtherTty(k.kit.sysfs.path(), "ttyUSB1", "usb1/1-3", "ch341", "0254");
        AddOtherTty(k.kit.sysfs.path(), "ttyUSB2", "usb1/1-4", "ftdi_sio", "0400");
        k.kit.env->variables["OSTREL_PORT_COM1"] = c.device;
        EXPECT_EQ(k.kit.ftdi.OpenPins("COM1"), c.result)
            << c.what << ": " << k.kit.ftdi.PinOpenNote();
        EXPECT_EQ(k.kit.ftdi.StreamCapacity(), c.capacity) << c.what;
        if (c.result == PinOpenResult::Ok) {
            EXPECT_NE(k.kit.ftdi.PinOpenNote().find("synchronous bit-bang mode"), std::string::npos)
                << c.what;
        }
        // A name that is no serial port name is never the backend's.
        EXPECT_EQ(k.kit.ftdi.OpenPins("GPIO"), PinOpenResult::NotThisPort) << c.what;
    }
}

TEST(LinuxFtdiPort, DetachesTheKernelDriverWhileItHoldsTheAdapterAndGivesItBack) {
    FtdiKit k;
    FakeFtdiDevice& dev = *k.kit.ftdiDevice;
    ASSERT_EQ(k.kit.ftdi.OpenPins("COM1"), PinOpenResult::Ok);
    EXPECT_FALSE(dev.kernelDriver) << "ftdi_sio lets go while Ostrel holds the chip";
    EXPECT_EQ(dev.detaches, 1);
    EXPECT_EQ(dev.mode, kSyncBitBang);
    EXPECT_EQ(dev.direction, adapter::kFtdiOutputPins)
        << "TXD, RTS and DTR drive; the rest are read";
    EXPECT_EQ(dev.latencyMs, 1) << "samples come back after a millisecond, not 16";
    // The lines at rest: every line off at the connector.
    EXPECT_FALSE(k.kit.board.rts() || k.kit.board.dtr() || k.kit.board.breakOn());

    k.kit.ftdi.ClosePins();
    EXPECT_TRUE(dev.kernelDriver) << "the tty comes back";
    EXPECT_EQ(dev.reattaches, 1);
    EXPECT_FALSE(dev.claimed);
    EXPECT_EQ(dev.mode, kSerialMode);
    EXPECT_EQ(k.kit.usb.contextsAlive, 0);
    // Opening again takes it again.
    ASSERT_EQ(k.kit.ftdi.OpenPins("COM1"), PinOpenResult::Ok);
    EXPECT_EQ(dev.detaches, 2);
}

TEST(LinuxFtdiPort, AnAdapterThatCannotBeUsedIsRefusedWithWhatToDo) {
    const struct {
        const char* what;
        void (*arrange)(PinKit&, int* holder);
        const char* note;
    } kCases[] = {
        {"not on the bus", [](PinKit& kit, int*) { kit.ftdiDevice->present = false; },
         "No FTDI adapter of COM1 on the USB bus: plug it in"},
        {"its tty held by a terminal",
         [](PinKit& kit, int* holder) {
             *holder = kit.devices.Open("/dev/ttyUSB0", O_RDWR | O_NONBLOCK);
             kit.devices.Flock(*holder, LOCK_EX | LOCK_NB);
         },
         "/dev/ttyUSB0 is in use by another program"},
        {"claimed by another program", [](PinKit& kit, int*) { kit.ftdiDevice->claimed = true; },
         "The FTDI adapter of COM1 is in use by another program"},
        {"an FT232BM answering for an FT232R",
         [](PinKit& kit, int*) { kit.ftdiDevice->chip = FakeFtdiChip::Ft232bm; },
         "has no synchronous bit-bang mode"},
    };
    for (const auto& c : kCases) {
        FtdiKit k;
        int holder = -1;
        c.arrange(k.kit, &holder);
        EXPECT_EQ(k.kit.ftdi.OpenPins("COM1"), PinOpenResult::Failed) << c.what;
        EXPECT_NE(k.kit.ftdi.PinOpenNote().find(c.note), std::string::npos)
            << c.what << ": " << k.kit.ftdi.PinOpenNote();
        EXPECT_FALSE(k.kit.ftdi.IsOpen()) << c.what;
        EXPECT_EQ(k.kit.usb.contextsAlive, 0) << c.what << ": nothing stays open";
        // A driver that was detached is given back.
        EXPECT_TRUE(k.kit.ftdiDevice->kernelDriver) << c.what;
    }
}

// The FT232R only clocks evenly undivided; the FT-X chips get a whole
// divisor, the rate asked or the next slower one.
TEST(LinuxFtdiPort, RatesTheChipsClockEvenly) {
    const struct {
        PinVia via;
        uint32_t asked;
        uint32_t given;
    } kCases[] = {
        {PinVia::Ft232r, 375000, 750000}, {PinVia::Ft232r, 3750, 750000},
        {PinVia::Ft231x, 375000, 375000}, {PinVia::Ft231x, 75000, 75000},
        {PinVia::Ft231x, 15000, 15000},   {PinVia::Ft231x, 3750, 3750},
        {PinVia::Ft231x, 100000, 93750},  {PinVia::Ft231x, 2000000, 750000},
    };
    for (const auto& c : kCases) {
        FtdiKit k(c.via);
        ASSERT_EQ(k.kit.ftdi.OpenPins("COM1"), PinOpenResult::Ok);
        EXPECT_EQ(k.kit.ftdi.SetStateRate(c.asked), c.given) << PinViaName(c.via) << " " << c.asked;
        EXPECT_EQ(k.kit.ftdiDevice->stateRateHz, c.given) << PinViaName(c.via) << " " << c.asked;
        EXPECT_TRUE(k.kit.ftdiDevice->evenStates) << PinViaName(c.via) << " " << c.asked;
    }
}

// Writing a chip, one transfer at a time or with transfers in flight (plain
// or over the bus model): no transfer carries more than the chip's buffer,
// nothing more is in flight than its two buffers hold, the refill loop picks
// up the reads that bring only part, and each plain transfer is one round
// trip. A read in flight that brings a sample too few or comes after its
// time-out loses the port before the write can end "OK", with the activity
// line saying the port goes one transfer at a time.
TEST(LinuxFtdiPort, TransfersStayWithinTheBuffersAndEverySampleIsCounted) {
    const struct {
        RigPort port;
        bool pipelined;
        bool frameModel;
        int64_t shortReadAfter;
        int64_t lateReadAfter;
        const char* error;  // in the message of the lost port; null: the write works
    } kCases[] = {
        {RigPort::Ft232r, false, false, -1, -1, nullptr},
        {RigPort::Ft231x, false, false, -1, -1, nullptr},
        {RigPort::Ft232r, false, true, -1, -1, nullptr},
        {RigPort::Ft232r, true, false, -1, -1, nullptr},
        {RigPort::Ft231x, true, false, -1, -1, nullptr},
        {RigPort::Ft232r, true, false, 300, -1, "fewer samples than states"},
        {RigPort::Ft231x, true, false, 40, -1, "fewer samples than states"},
        {RigPort::Ft232r, true, false, -1, 200, "sent nothing back in time"},
    };
    for (const auto& c : kCases) {
        const std::string what =
            std::string(RigPortName(c.port)) + (c.pipelined ? " in flight" : " one at a time") +
            (c.frameModel ? " framed" : "") + (c.error ? std::string(" ") + c.error : "");
        SimRigOptions options;
        options.port = c.port;
        options.cable = sim::CableKind::Cablet2;
        options.pipelined = c.pipelined;
        options.frameModel = c.frameModel;
        SimRig rig(options);
        rig.Write("hello.hex", ReadFileBytes(SourcePath("examples/hello-atmega8.hex")));
        ASSERT_EQ(rig.Load("hello.hex"), 0);
        FakeFtdiDevice& dev = *rig.kit->ftdiDevice;
        dev.shortReadAfter = c.shortReadAfter;
        dev.lateReadAfter = c.lateReadAfter;
        const app::CommandResult result = app::OnCommand(rig.p, ids::kWrite);
        EXPECT_EQ(dev.overruns, 0u) << what;
        if (c.error != nullptr) {
            EXPECT_EQ(result, app::CommandResult::Failed) << what;
            const std::vector<std::string> messages = rig.windows.MessageTexts();
            ASSERT_FALSE(messages.empty()) << what;
            EXPECT_NE(messages.back().find(c.error), std::string::npos) << messages.back();
            EXPECT_NE(messages.back().find("the port stopped answering"), std::string::npos)
                << messages.back();
            const auto notes = std::count_if(
                rig.windows.activity.begin(), rig.windows.activity.end(),
                [](const std::string& t) { return t.find("one transfer at a time") != t.npos; });
            EXPECT_EQ(notes, 1) << what;
            continue;
        }
        EXPECT_EQ(result, app::CommandResult::Ok)
            << what << " " << ::testing::PrintToString(rig.windows.MessageTexts());
        if (c.pipelined) {
            // Two transfers of whole packets of samples, as many as fit the buffer.
            const std::size_t packet = UsbBusModel::kSamplesPerPacket;
            EXPECT_EQ(dev.mostAsyncInFlight, 2 * (dev.BufferBytes() / packet * packet)) << what;
            EXPECT_GT(dev.asyncReads, 0u) << what;
            EXPECT_EQ(dev.asyncInFlight, 0u) << what << ": every sample read back";
        } else {
            EXPECT_EQ(dev.asyncWrites, 0u) << what;
            EXPECT_EQ(dev.mostInFlight, dev.BufferBytes()) << what << ": full transfers";
            EXPECT_EQ(dev.roundTrips, dev.writes) << what;
            if (!c.frameModel) {
                EXPECT_GT(dev.shortReads, 0u) << what;
            }
        }
        EXPECT_EQ(rig.p.pinQueue.transfers + 1, dev.writes)
            << what << ": the queue's transfers and the one that set the rest state";
    }
}

TEST(LinuxFtdiPort, APulledAdapterEndsTheCommandWithItsMessageAndIsOpenedAfresh) {
    SimRigOptions options;
    options.port = RigPort::Ft232r;
    options.cable = sim::CableKind::Cablet2;
    SimRig rig(options);
    rig.Write("hello.hex", ReadFileBytes(SourcePath("examples/hello-atmega8.hex")));
    ASSERT_EQ(rig.Load("hello.hex"), 0);
    FakeFtdiDevice& dev = *rig.kit->ftdiDevice;
    // Pulled after the connects, while the pages are loaded.
    dev.unplugAfterWrites = 90;
    EXPECT_EQ(app::OnCommand(rig.p, ids::kWrite), app::CommandResult::Failed);
    const std::vector<std::string> messages = rig.windows.MessageTexts();
    ASSERT_EQ(messages.size(), 1u) << "one message, the loss";
    EXPECT_EQ(messages.back(),
              "Error: COM1: the port stopped answering (usb bulk write failed).\n"
              "Was the USB adapter unplugged? Plug it in again and run the command once more.");
    EXPECT_EQ(rig.p.state.comOpen, 0) << "the lost port is let go";
    EXPECT_FALSE(rig.p.portLost);
    EXPECT_EQ(rig.kit->usb.contextsAlive, 0);

    // Plugged in again: the next command opens it afresh and works.
    dev.present = true;
    dev.unplugAfterWrites = -1;
    rig.windows.messages.clear();
    EXPECT_EQ(app::OnCommand(rig.p, ids::kCheck), app::CommandResult::Ok);
    EXPECT_TRUE(rig.windows.MessageTexts().empty());
}

TEST(LinuxFtdiPort, TheModemLineOptionOpensTheTtyInstead) {
    SimRigOptions options;
    options.port = RigPort::Ft232r;
    SimRig rig(options);
    rig.p.state.modemLinesOnly = 1;
    ASSERT_EQ(adapter::OpenSerialPort(rig.p), 0) << rig.p.state.errorText.view();
    EXPECT_FALSE(adapter::PinsInUse(rig.p));
    EXPECT_EQ(rig.kit->ftdiDevice->opens, 0) << "the adapter's pins are left alone";
    EXPECT_EQ(rig.kit->devices.OpenDescriptors("/dev/ttyUSB0"), 1);
    adapter::CloseSerialPort(rig.p);

    rig.p.state.modemLinesOnly = 0;
    rig.windows.activity.clear();
    ASSERT_EQ(adapter::OpenSerialPort(rig.p), 0);
    EXPECT_TRUE(adapter::Streaming(rig.p));
    ASSERT_FALSE(rig.windows.activity.empty());
    EXPECT_EQ(rig.windows.activity.front(),
              "COM1: FTDI FT232R adapter in synchronous bit-bang mode, many line changes to one "
              "USB transfer");
}

// Stopped in the middle of a write, the chip is let go as on any port.
TEST(LinuxFtdiPort, AStopReleasesTheTarget) {
    SimRigOptions options;
    options.port = RigPort::Ft231x;
    options.cable = sim::CableKind::Cablet2;
    SimRig rig(options);
    rig.Write("hello.hex", ReadFileBytes(SourcePath("examples/hello-atmega8.hex")));
    ASSERT_EQ(rig.Load("hello.hex"), 0);
    int refreshes = 0;
    rig.windows.onPendingEvents = [&] {
        if (++refreshes == 8)
            rig.p.stopRequested = true;
    };
    EXPECT_EQ(app::OnCommand(rig.p, ids::kWrite), app::CommandResult::Stopped);
    rig.clock.Spend(10000000);
    EXPECT_TRUE(rig.chip().Running()) << "RESET high: the chip runs";
    EXPECT_TRUE(rig.p.pinQueue.states.empty()) << "nothing left in the queue";
}

}  // namespace
}  // namespace ostrel::testing

namespace ostrel::testing {
namespace {

// Port > "Modem Lines Only" switches an FTDI adapter between its bit-bang
// mode and its modem lines; the open port is closed so the next command
// opens it the other way.
TEST(LinuxFtdiPort, TheModemLineItemSwitchesTheWayTheAdapterIsOpened) {
    SimRigOptions options;
    options.port = RigPort::Ft232r;
    SimRig rig(options);
    ASSERT_EQ(adapter::OpenSerialPort(rig.p), 0);
    ASSERT_TRUE(adapter::Streaming(rig.p));
    for (int flip = 0; flip < 2; ++flip) {
        const bool modemLines = flip == 0;
        EXPECT_EQ(app::OnCommand(rig.p, ids::kModemLinesOnly), app::CommandResult::Ok);
        EXPECT_EQ(rig.p.state.modemLinesOnly, modemLines ? 1 : 0);
        EXPECT_EQ(rig.windows.IsMenuChecked(ids::kModemLinesOnly), modemLines);
        EXPECT_EQ(rig.p.state.comOpen, 0) << "closed, to be opened the other way";
        EXPECT_TRUE(rig.kit->ftdiDevice->kernelDriver) << "the tty is back for the modem lines";
        ASSERT_EQ(adapter::OpenSerialPort(rig.p), 0);
        EXPECT_EQ(adapter::Streaming(rig.p), !modemLines);
    }
}

}  // namespace
}  // namespace ostrel::testing
