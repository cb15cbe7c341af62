// The settings file: fixed offsets, CR LF pairs, and nothing at or past 303.
#include <gtest/gtest.h>

#include "app/commands.h"
#include "app/file_selection.h"
#include "app/settings.h"
#include "app/startup.h"
#include "core/ids.h"
#include "tests/support/fixture.h"
#include "tests/support/temp_dir.h"

namespace ostrel::testing {
namespace {

struct SettingsRig : RecordingRig {
    SettingsRig() {
        p.currentDirectory = dir.str();
        p.state.startDirectory.Assign(dir.str());
    }
    std::string Cfg() const { return dir.Read("ostrel.cfg"); }
    TempDir dir;
};

TEST(Settings, FirstRunCreatesTheFileWithTheDefaultPortAndSpeedAuto) {
    for (bool access : {true, false}) {
        SettingsRig rig;
        rig.p.state.directPortIo = access ? 1 : 0;
        app::RestorePortAndSpeed(rig.p);
        EXPECT_EQ(rig.Cfg(), std::string(access ? "0378" : "COM2") + std::string("\0\0A", 3));
        EXPECT_EQ(rig.p.state.autoSpeed, 1);
        EXPECT_TRUE(rig.windows.IsMenuChecked(ids::kSpeedAuto));
        EXPECT_FALSE(rig.windows.IsMenuChecked(ids::kSpeedHigh));
        EXPECT_EQ(rig.p.state.manualDevice, 0);
    }
}

// Without a settings file the port is one that is there: where the ports
// were looked for, COM2 only when found, else the first found, else the
// simulator.
TEST(Settings, AFirstStartPicksAPortThatIsThere) {
    const struct {
        bool access;
        bool searched;
        std::vector<std::string> found;
        std::string port;
    } kCases[] = {
        {true, true, {}, "0378"},
        {false, false, {}, "COM2"},
        {false, true, {}, "SIM"},
        {false, true, {kOwnSerialPort, "COM1"}, kOwnSerialPort},
        {false, true, {"COM1", "COM2"}, "COM2"},
        {false, true, {"GPIO"}, "GPIO"},
        {false, true, {std::string(70, '/')}, "SIM"},
    };
    for (const auto& c : kCases) {
        SettingsRig rig;
        rig.p.state.directPortIo = c.access ? 1 : 0;
        rig.p.portsSearched = c.searched;
        for (const std::string& name : c.found)
            rig.p.foundPorts.push_back({name, name});
        app::RestorePortAndSpeed(rig.p);
        EXPECT_EQ(rig.p.state.portName.view(), c.port) << c.found.size();
        // Stored at once: a second start without the search keeps it.
        SettingsRig next;
        next.dir.Write("ostrel.cfg", rig.Cfg());
        next.p.state.directPortIo = c.access ? 1 : 0;
        app::RestorePortAndSpeed(next.p);
        EXPECT_EQ(next.p.state.portName.view(), c.port);
    }
}

TEST(Settings, SpeedChangeAndExitGiveTheEightByteFile) {
    SettingsRig rig;
    app::RestorePortAndSpeed(rig.p);  // no port access: COM2
    rig.p.state.portName.Assign("COM2");
    app::OnCommand(rig.p, ids::kSpeedLow);
    app::OnDestroy(rig.p);
    EXPECT_EQ(rig.Cfg(), std::string("COM2\0\0"
                                     "1\0",
                                     8));
    EXPECT_TRUE(rig.windows.IsMenuChecked(ids::kSpeedLow));
    EXPECT_FALSE(rig.windows.IsMenuChecked(ids::kSpeedHigh));
}

TEST(Settings, SpeedCharacterAndStoredPortAreRestored) {
    struct Case {
        std::string file;
        int32_t speed;
        std::string port;
        int32_t autoSpeed = 0;
    };
    for (const Case& c : {Case{std::string("COM5\0\0"
                                           "0",
                                           7),
                               0, "COM5"},
                          Case{std::string("COM1\0\0\0", 7), 3, "COM1"},
                          Case{std::string("COM3\r\n9", 7), 3, "COM3"},
                          Case{std::string("SIM\0\0\0"
                                           "1",
                                           7),
                               1, "SIM"},
                          // Not a name of the Port menu: no stored port, the default.
                          Case{std::string("CO\nM4\0"
                                           "2",
                                           7),
                               2, "0378"},
                          Case{"com3", 3, "0378"}, Case{"Com1", 3, "0378"}, Case{"COM9", 3, "0378"},
                          // Auto's character; a file of before without a speed keeps High.
                          Case{std::string("COM4\0\0A", 7), 3, "COM4", 1},
                          Case{std::string("COM4\0\0a", 7), 3, "COM4"}, Case{"COM4", 3, "COM4"}}) {
        SettingsRig rig;
        rig.p.state.directPortIo = 1;
        rig.dir.Write("ostrel.cfg", c.file);
        app::RestorePortAndSpeed(rig.p);
        EXPECT_EQ(rig.p.state.speed, c.speed) << c.file;
        EXPECT_EQ(rig.p.state.autoSpeed, c.autoSpeed) << c.file;
        EXPECT_EQ(rig.windows.IsMenuChecked(ids::kSpeedAuto), c.autoSpeed == 1) << c.file;
        EXPECT_EQ(rig.p.state.portName.view(), c.port);
        EXPECT_EQ(rig.Cfg().substr(0, c.port.size()), c.port) << "the port in use is saved";
    }
}

// Our additions in the bytes the system never writes: the modem-line option
// at 8 and the GPIO lines at 9, written only once they hold something.
// A port of none of the fixed items is stored whole after the reserved
// offset, with "PORT" at offset 0 for it; a fixed name after it takes the
// file back to the old form. A damaged whole name is no stored port.
TEST(Settings, APortNameOfItsOwnIsStoredWholeAndReadBack) {
    const std::string reserved(303, '\0');
    const struct {
        std::string chosen;  // chosen in the run before, or "" for `file` as it is
        std::string file;
        std::string port;    // restored at the next start
        std::string atZero;  // offset 0 afterwards
    } kCases[] = {
        {"COM12", "", "COM12", "PORT"},
        {kOwnSerialPort, "", kOwnSerialPort, "PORT"},
#if !defined(_WIN32)
        // Ports named by their device are Linux's.
        {"/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "",
         "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "PORT"},
        {"ftdi:A50285BI", "", "ftdi:A50285BI", "PORT"},
#endif
        {"COM3", "PORT" + reserved.substr(4) + "COM12", "COM3", "COM3"},
        {"", "PORT", "0378", "0378"},
        {"", "PORT" + reserved.substr(4) + "COM0", "0378", "0378"},
        {"", "PORT" + reserved.substr(4) + "SIM", "0378", "0378"},
        {"", "PORT" + reserved.substr(4) + "/dev/tty\x01", "0378", "0378"},
        {"", "PORT" + reserved.substr(4) + std::string(70, '/'), "0378", "0378"},
    };
    for (const auto& c : kCases) {
        SettingsRig rig;
        rig.p.state.directPortIo = 1;
        rig.dir.Write("ostrel.cfg", c.file);
        if (!c.chosen.empty()) {
            app::RestorePortAndSpeed(rig.p);
            rig.p.state.portName.Assign(c.chosen);
            app::OnDestroy(rig.p);
        }
        SettingsRig next;
        next.p.state.directPortIo = 1;
        next.dir.Write("ostrel.cfg", rig.Cfg());
        app::RestorePortAndSpeed(next.p);
        app::SelectStoredPort(next.p);
        EXPECT_EQ(next.p.state.portName.view(), c.port) << c.chosen << c.file.size();
        EXPECT_EQ(next.Cfg().substr(0, 4), c.atZero) << c.chosen;
        const bool serial = c.port != "0378";
        EXPECT_EQ(next.p.state.adapterKind == AdapterKind::Serial, serial) << c.port;
        EXPECT_EQ(next.p.state.comName.view(), serial ? c.port : "") << c.port;
        // Nothing of a whole name is left once a fixed name is stored.
        if (c.atZero != "PORT") {
            EXPECT_EQ(next.Cfg().find("COM12"), std::string::npos) << c.chosen;
        }
    }
}

TEST(Settings, TheModemLineOptionAndTheGpioLinesRoundTrip) {
    const struct {
        const char* port;
        int modemLines;
        const char* lines;   // as set for the run
        std::string stored;  // the file after the run
        const char* back;    // the lines the next start restores
    } kCases[] = {
        {"COM2", 0, "", std::string("COM2\0\0\0\0", 8), ""},
        {"COM3", 1, "",
         std::string("COM3\0\0\0\0"
                     "1",
                     9),
         ""},
        {"GPIO", 0, "0:11,10,25,9",
         std::string("GPIO\0\0\0\0\0"
                     "0:11,10,25,9\0\0\0\0\0\0",
                     27),
         "0:11,10,25,9"},
        {"GPIO", 1, "/dev/gpiochip12:100,101,102,103",
         std::string("GPIO\0\0\0\0"
                     "1"
                     "12:100,101,102,103",
                     27),
         "12:100,101,102,103"},
        // A chip by its label is kept as written, when it fits.
        {"GPIO", 0, "pi:11,10,25,9",
         std::string("GPIO\0\0\0\0\0"
                     "pi:11,10,25,9\0\0\0\0\0",
                     27),
         "pi:11,10,25,9"},
        {"GPIO", 0, "pinctrl-rp1:11,10,25,9", std::string("GPIO\0\0\0\0", 8), ""},
        // A chip named by a path of its own has no short form: not stored.
        {"GPIO", 0, "/dev/gpio-header:1,2,3,4", std::string("GPIO\0\0\0\0", 8), ""},
    };
    for (const auto& c : kCases) {
        SettingsRig rig;
        app::RestorePortAndSpeed(rig.p);
        rig.p.state.portName.Assign(c.port);
        rig.p.state.modemLinesOnly = c.modemLines;
        rig.p.state.gpioLines.Assign(c.lines);
        app::OnDestroy(rig.p);
        // The new file holds Speed Auto's character at offset 6.
        std::string stored = c.stored;
        stored[6] = 'A';
        EXPECT_EQ(rig.Cfg(), stored) << c.port << " " << c.lines;

        SettingsRig next;
        next.dir.Write("ostrel.cfg", c.stored);
        app::RestorePortAndSpeed(next.p);
        EXPECT_EQ(next.p.state.portName.view(), c.port) << "no port access needed for " << c.port;
        EXPECT_EQ(next.p.state.modemLinesOnly, c.modemLines) << c.port;
        EXPECT_EQ(next.windows.IsMenuChecked(ids::kModemLinesOnly), c.modemLines != 0) << c.port;
        EXPECT_EQ(next.p.state.gpioLines.view(), c.back) << c.port << " " << c.lines;
    }
    // A damaged entry is no wiring.
    SettingsRig rig;
    rig.dir.Write("ostrel.cfg", std::string("GPIO\0\0\0\0\0"
                                            "0:11,10,11,9",
                                            21));
    app::RestorePortAndSpeed(rig.p);
    EXPECT_TRUE(rig.p.state.gpioLines.empty());
}

TEST(Settings, WithoutPortAccessAStoredParallelPortBecomesCom2) {
    SettingsRig rig;
    rig.dir.Write("ostrel.cfg", "0378");
    app::RestorePortAndSpeed(rig.p);
    EXPECT_EQ(rig.p.state.portName.view(), "COM2");
    EXPECT_EQ(rig.Cfg(), "COM2");
}

TEST(Settings, AnEmptyFileKeepsAnEmptyPortNameAndWritesNothing) {
    SettingsRig rig;
    rig.p.state.directPortIo = 1;
    rig.dir.Write("ostrel.cfg", "");
    app::RestorePortAndSpeed(rig.p);
    EXPECT_TRUE(rig.p.state.portName.empty());
    EXPECT_EQ(rig.Cfg(), "");
    app::SelectStoredPort(rig.p);
    EXPECT_EQ(rig.p.state.adapterKind, AdapterKind::Parallel);
    EXPECT_EQ(rig.p.state.portBase, 0x378);
}

TEST(Settings, PathsOf249CharactersRoundTripAndLongerOnesAreNotStored) {
    for (size_t length : {size_t{20}, size_t{249}, size_t{250}, size_t{279}}) {
        SettingsRig rig;
        rig.dir.Write("ostrel.cfg", "COM1");
        std::string path = "/" + std::string(length - 5, 'a') + ".hex";
        ASSERT_EQ(path.size(), length);
        rig.p.state.currentFileName.Assign(path);
        EXPECT_TRUE(app::StorePath(rig.p, true));
        std::string cfg = rig.Cfg();
        EXPECT_LE(cfg.size(), 303u) << "nothing at or past offset 303";
        EXPECT_EQ(cfg.substr(30, 2), "\r\n");

        bool declined = true;
        rig.p.state.currentFileName.Clear();
        ASSERT_TRUE(app::ReadReopenData(rig.p, &declined));
        EXPECT_FALSE(declined);
        EXPECT_EQ(rig.p.state.currentFileName.view(), length <= 249 ? path : "");
    }
}

TEST(Settings, OfferFlagAndDecline) {
    SettingsRig rig;
    rig.dir.Write("ostrel.cfg", "COM1");
    rig.p.state.currentFileName.Assign("/x/prog.hex");
    app::StorePath(rig.p, true);
    app::StoreOfferFlag(rig.p);
    bool declined = true;
    app::ReadReopenData(rig.p, &declined);
    EXPECT_FALSE(declined);
    EXPECT_EQ(rig.Cfg().substr(27, 3), "\r\n1");
    app::StoreDecline(rig.p);
    app::ReadReopenData(rig.p, &declined);
    EXPECT_TRUE(declined);
    EXPECT_EQ(rig.p.state.currentFileName.view(), "/x/prog.hex");
}

TEST(Settings, AShortOrGarbageFileHoldsNoUsablePath) {
    for (const std::string& content : {std::string("COM1\0\0"
                                                   "3",
                                                   7),
                                       std::string(40, '\xff'), std::string(400, '\0')}) {
        SettingsRig rig;
        rig.dir.Write("ostrel.cfg", content);
        bool declined = false;
        ASSERT_TRUE(app::ReadReopenData(rig.p, &declined));
        EXPECT_LE(rig.p.state.currentFileName.size(), 249u);
        // Whatever was read, loading it must fail quietly.
        EXPECT_EQ(app::LoadCurrentFile(rig.p), 1);
    }
}

TEST(Settings, WritersDoNothingWithoutTheFile) {
    SettingsRig rig;
    rig.p.state.currentFileName.Assign("/x/prog.hex");
    EXPECT_FALSE(app::StorePath(rig.p, true));
    app::StoreSpeed(rig.p);
    app::StoreOfferFlag(rig.p);
    app::SaveAtExit(rig.p);
    EXPECT_FALSE(std::filesystem::exists(rig.dir.File("ostrel.cfg")));
}

}  // namespace
}  // namespace ostrel::testing
