// The main window driven through its real widgets: the start-up, the
// buttons, the menus, the simulator and the ending of the window.
#include <gtest/gtest.h>
#include <QApplication>
#include <QCheckBox>
#include <QFontMetrics>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <functional>

#include "core/ids.h"
#include "platform/gpio_wiring.h"
#include "platform/port_names.h"
#include "qt/control_builder.h"
#include "sim/chip_table.h"
#include "tests/qt/gui_rig.h"
#include "tests/qt/hex_bytes.h"

namespace ostrel::testing {
namespace {

// A settings file: port name, speed, the reopen offer flag and the stored path.
std::string Settings(std::string_view port, char speed, char offer, std::string_view path) {
    std::string cfg(port);
    cfg.resize(4, '\0');
    cfg += "\r\n";
    cfg += speed;
    cfg += '\0';
    cfg.resize(27, ' ');
    cfg += "\r\n";
    cfg += offer;
    cfg += "\r\n";
    cfg += path;
    cfg += '\0';
    cfg += std::string(20, ' ');
    return cfg;
}

std::string CopyExample(GuiRig& rig, std::string_view name, std::string_view as = {}) {
    return rig.dir.Write(as.empty() ? name : as,
                         ReadFileBytes(SourcePath("examples/" + std::string(name))));
}

std::vector<std::string> MenuTexts(const QMenu* menu) {
    std::vector<std::string> texts;
    for (QAction* action : menu->actions())
        texts.push_back(action->isSeparator() ? "-" : action->text().toStdString());
    return texts;
}

TEST(StartUp, FirstStartInAnEmptyFolderCreatesTheSettingsAndAsksNothing) {
    GuiRig rig;
    ASSERT_TRUE(rig.Start());

    std::string cfg = rig.dir.Read("ostrel.cfg");
    ASSERT_GE(cfg.size(), 4u);
    EXPECT_EQ(cfg.substr(0, 4), "COM2");  // no parallel port access here
    EXPECT_TRUE(rig.MenuItem(ids::kCom2)->isChecked());
    // A new settings file starts at Auto.
    EXPECT_TRUE(rig.MenuItem(ids::kSpeedAuto)->isChecked());
    for (int item :
         {ids::kSpeedVeryLow, ids::kSpeedLow, ids::kSpeedMedium, ids::kSpeedHigh, ids::kPort0378})
        EXPECT_FALSE(rig.MenuItem(item)->isChecked()) << item;
    EXPECT_TRUE(rig.windows().messages.empty());

    QComboBox* list = rig.DeviceList();
    ASSERT_GT(list->count(), 20);
    EXPECT_EQ(list->currentIndex(), 0);
    EXPECT_FALSE(list->isEnabled());
    for (int i = 1; i < list->count(); ++i) {
        EXPECT_LE(list->itemText(i - 1).compare(list->itemText(i), Qt::CaseInsensitive), 0)
            << list->itemText(i - 1).toStdString() << " before " << list->itemText(i).toStdString();
    }
    EXPECT_TRUE(rig.Button(ids::kAutodetection)->isChecked());
    EXPECT_TRUE(rig.Button(ids::kEraseBeforeWrite)->isChecked());
    EXPECT_FALSE(rig.Field(ids::kCurrentFile)->isEnabled());
    EXPECT_FALSE(rig.Field(ids::kActivity)->isEnabled());
    EXPECT_EQ(rig.window().windowTitle().toStdString(), "AVR-Programmer");
}

TEST(StartUp, WithParallelPortAccessTheFirstPortIsPP0378) {
    GuiRig rig({.parallelAccess = true});
    ASSERT_TRUE(rig.Start());
    EXPECT_EQ(rig.dir.Read("ostrel.cfg").substr(0, 4), "0378");
    EXPECT_TRUE(rig.MenuItem(ids::kPort0378)->isChecked());
    EXPECT_FALSE(rig.MenuItem(ids::kCom2)->isChecked());
}

TEST(StartUp, WithoutTheDeviceFileTheProgramSaysSoAndEnds) {
    GuiRig rig({.deviceFile = false});
    EXPECT_FALSE(rig.Start());
    ASSERT_EQ(rig.Messages(), std::vector<std::string>{"Error!: Open Error 'ostrel.ini !'"});
    EXPECT_EQ(rig.windows().messages[0].owner, ids::kNoOwner);
    EXPECT_TRUE(rig.program().ended());
    EXPECT_FALSE(rig.window().isVisible());
}

TEST(StartUp, APerUserStartFolderIsShownOnTheActivityLineAndInABoxWhenSetUp) {
    for (bool setUpNow : {true, false}) {
        SCOPED_TRACE(setUpNow ? "first use" : "later start");
        GuiRig rig({.startFolder = app::StartFolder{"", true, setUpNow, ""}});
        ASSERT_TRUE(rig.Start());
        QLineEdit* activity = rig.Field(ids::kActivity);
        // The folder, shortened in its middle when it is longer than the field.
        const QString shown = activity->text();
        EXPECT_TRUE(shown == QString::fromStdString(rig.dir.str()) || shown.contains(QChar(0x2026)))
            << shown.toStdString();
        EXPECT_LE(activity->fontMetrics().horizontalAdvance(shown), activity->width());
        const std::string tip = activity->toolTip().toStdString();
        EXPECT_NE(tip.find("Start folder: " + rig.dir.str()), std::string::npos) << tip;
        EXPECT_EQ(tip.find("set up now"), std::string::npos) << tip;
        if (!setUpNow) {
            EXPECT_TRUE(rig.windows().messages.empty()) << rig.LastMessage();
            continue;
        }
        ASSERT_EQ(rig.windows().messages.size(), 1u);
        EXPECT_EQ(rig.windows().messages[0].title, "Ostrel");
        EXPECT_EQ(rig.windows().messages[0].text.rfind(
                      "Ostrel keeps its device list, settings and read-back files in " +
                          rig.dir.str() + ".",
                      0),
                  0u)
            << rig.windows().messages[0].text;
        EXPECT_EQ(rig.windows().messages[0].icon, QMessageBox::Information);
    }
}

TEST(StartUp, TheReopenQuestionDeclinedLeavesNoFileAndIsNotAskedAgain) {
    GuiRig rig;
    std::string hex = CopyExample(rig, "blink-atmega8.hex", "my blink.hex");
    rig.dir.Write("ostrel.cfg", Settings("COM2", '1', '1', hex));
    rig.windows().automation.messageAnswers.push_back(MsgResult::Cancel);
    ASSERT_TRUE(rig.Start());

    // The name is cut at its first blank.
    ASSERT_EQ(rig.Messages(), std::vector<std::string>{"Ostrel: Open 'my' ?"});
    EXPECT_EQ(rig.windows().messages[0].buttons, MsgButtons::OkCancel);
    EXPECT_EQ(rig.windows().messages[0].owner, ids::kNoOwner);
    EXPECT_TRUE(rig.MenuItem(ids::kSpeedLow)->isChecked());
    std::string cfg = rig.dir.Read("ostrel.cfg");
    ASSERT_GT(cfg.size(), 29u);
    EXPECT_EQ(cfg[29], '0');

    rig.Click(ids::kWrite);
    EXPECT_EQ(rig.LastMessage(), "ERROR!: No File selected!");

    ASSERT_TRUE(rig.Restart());
    EXPECT_TRUE(rig.windows().messages.empty());
}

TEST(StartUp, TheReopenQuestionAcceptedShowsTheFileName) {
    GuiRig rig;
    std::string hex = CopyExample(rig, "blink-atmega8.hex");
    rig.dir.Write("ostrel.cfg", Settings("COM2", '3', '1', hex));
    ASSERT_TRUE(rig.Start());
    EXPECT_EQ(rig.Messages(), std::vector<std::string>{"Ostrel: Open 'blink-atmega8.hex' ?"});
    EXPECT_EQ(rig.Field(ids::kCurrentFile)->text().toStdString(), "blink-atmega8.hex");
    EXPECT_FALSE(rig.Field(ids::kCurrentFile)->isEnabled());
    EXPECT_EQ(rig.p().state.fileLoaded, 1);
}

// After a command that saved or wrote a file, the activity line names it
// with its folder, the whole path in its tooltip.
TEST(WhereThingsWent, TheActivityLineNamesTheFileAndItsFolder) {
    struct Case {
        const char* what;
        int command;
        const char* file;  // the file named, in the rig's folder
        const char* more;  // a further file the tooltip names, or ""
    };
    const Case cases[] = {
        {"Read", ids::kRead, "readback.txt", ""},
        {"Readback INHX format", ids::kReadbackInhx, "readback.hex", ""},
        {"Write", ids::kWrite, "blink-atmega8.hex", "blink-atmega8.tmp"},
        {"quick", ids::kQuick, "blink-atmega8.hex", "blink-atmega8.dif"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        GuiRig rig;
        ASSERT_TRUE(rig.Start());
        rig.ChooseSimulator("ATmega8");
        rig.OpenFile(CopyExample(rig, "blink-atmega8.hex"));
        rig.windows().messages.clear();
        EXPECT_TRUE(rig.program().session().Command(c.command));
        EXPECT_TRUE(rig.windows().messages.empty()) << rig.LastMessage();
        QLineEdit* activity = rig.Field(ids::kActivity);
        // The file, with as much of its folder as fits (its end at least).
        const std::string line = activity->text().toStdString();
        const std::string name(c.file);
        EXPECT_TRUE(line.find(name) != std::string::npos ||
                    (activity->text().contains(QChar(0x2026)) &&
                     line.ends_with(name.substr(name.size() - 5))))
            << line;
        EXPECT_LE(activity->fontMetrics().horizontalAdvance(activity->text()), activity->width());
        const std::string tip = activity->toolTip().toStdString();
        EXPECT_NE(tip.find(rig.dir.File(c.file)), std::string::npos) << tip;
        EXPECT_TRUE(std::filesystem::exists(rig.dir.File(c.file)));
        if (*c.more != '\0') {
            EXPECT_NE(tip.find(rig.dir.File(c.more)), std::string::npos) << tip;
        }
        // The next command starts with the start folder in the tooltip again.
        rig.Click(ids::kCheck);
        EXPECT_NE(activity->toolTip().toStdString().find("Start folder: " + rig.dir.str()),
                  std::string::npos);
    }
}

// File > Open Start Folder: in the desktop's file manager, or, without one,
// a box that names the folder.
TEST(WhereThingsWent, OpenStartFolderShowsTheFolderOrNamesIt) {
    for (DesktopKind kind : {DesktopKind::Browser, DesktopKind::NoBrowser}) {
        GuiRig rig;
        TempDir desktopDir;
        rig.qtWindows().launcherEnvironment = FakeDesktop(desktopDir, kind);
        ASSERT_TRUE(rig.Start());
        std::vector<QUrl> started;
        rig.windows().automation.openUrl = [&](const QUrl& url) {
            started.push_back(url);
            return true;
        };
        rig.Choose(ids::kOpenStartFolder);
        if (kind == DesktopKind::Browser) {
            ASSERT_EQ(started.size(), 1u);
            EXPECT_EQ(started[0].toLocalFile().toStdString(), rig.dir.str());
            EXPECT_TRUE(rig.windows().messages.empty()) << rig.LastMessage();
            continue;
        }
        EXPECT_TRUE(started.empty());
        ASSERT_EQ(rig.windows().messages.size(), 1u);
        EXPECT_NE(rig.windows().messages[0].text.find(rig.dir.str()), std::string::npos);
        EXPECT_EQ(rig.qtWindows().PageWindow(), nullptr) << "a folder is no page";
    }
}

TEST(Write, WithoutAFileIsRefused) {
    GuiRig rig;
    ASSERT_TRUE(rig.Start());
    rig.Click(ids::kWrite);
    ASSERT_EQ(rig.Messages(), std::vector<std::string>{"ERROR!: No File selected!"});
    EXPECT_EQ(rig.windows().messages[0].owner, ids::kNoOwner);
    rig.Click(ids::kVerify);
    EXPECT_EQ(rig.LastMessage(), "ERROR!: No File selected!");
}

TEST(Write, ThroughTheButtonsProgramsTheSimulatedChip) {
    GuiRig rig;
    ASSERT_TRUE(rig.Start());
    rig.ChooseSimulator("ATmega8");
    EXPECT_TRUE(rig.MenuItem(ids::kPortSimulator)->isChecked());
    EXPECT_FALSE(rig.MenuItem(ids::kCom2)->isChecked());
    EXPECT_TRUE(InOrder(rig.activity(), {"Cablet2 detected"}));
    EXPECT_EQ(rig.p().state.portName.view(), "SIM");

    std::string hex = CopyExample(rig, "blink-atmega8.hex");
    rig.OpenFile(hex);
    EXPECT_EQ(rig.Field(ids::kCurrentFile)->text().toStdString(), "blink-atmega8.hex");
    ASSERT_EQ(rig.windows().fileDialogs.size(), 1u);
    EXPECT_EQ(rig.windows().fileDialogs[0],
              "Open a File|*.hex, *.eep, readback.txt (*.hex *.eep readback.txt)|" + rig.dir.str());

    rig.ClearActivity();
    rig.Click(ids::kWrite);
    EXPECT_TRUE(rig.windows().messages.empty()) << rig.LastMessage();
    EXPECT_TRUE(InOrder(rig.activity(), {"connecting....", "writing.....", "* programmed",
                                         "verifying.....", "* verified", "OK"}))
        << ::testing::PrintToString(rig.activity());
    EXPECT_FALSE(rig.Field(ids::kActivity)->isEnabled());
    // Then the file written, with as much of its folder as fits.
    EXPECT_TRUE(rig.Field(ids::kActivity)->text().endsWith(QStringLiteral(".hex")))
        << rig.Field(ids::kActivity)->text().toStdString();
    EXPECT_NE(rig.Field(ids::kActivity)->toolTip().toStdString().find(hex), std::string::npos);

    auto bytes = HexBytes(rig.dir.Read("blink-atmega8.hex"));
    ASSERT_FALSE(bytes.empty());
    for (const auto& [address, value] : bytes)
        ASSERT_EQ(rig.chip().Flash(address), value) << "flash byte " << address;

    // The next File > Open starts in the folder of the current file.
    rig.OpenFile("");
    ASSERT_EQ(rig.windows().fileDialogs.size(), 2u);
    EXPECT_EQ(rig.windows().fileDialogs[1].substr(rig.windows().fileDialogs[1].rfind('|') + 1),
              rig.dir.str());
}

TEST(Write, ASecondCommandDuringARunningOneIsRefused) {
    GuiRig rig;
    ASSERT_TRUE(rig.Start());
    rig.ChooseSimulator("ATmega8");
    rig.OpenFile(CopyExample(rig, "blink-atmega8.hex"));

    // Clicks that arrive while the write lets pending events through; the
    // close asks whether to stop the write and quit, and is answered Cancel.
    rig.windows().automation.messageAnswers.push_back(MsgResult::Cancel);
    bool attempted = false;
    bool closed = true;
    QTimer::singleShot(0, &rig.window(), [&] {
        attempted = true;
        rig.Click(ids::kRead);
        rig.Click(ids::kAutodetection);
        closed = rig.window().close();
    });
    rig.Click(ids::kWrite);
    EXPECT_TRUE(attempted);
    EXPECT_FALSE(closed);
    EXPECT_TRUE(rig.window().isVisible());
    EXPECT_FALSE(rig.program().ended());
    EXPECT_FALSE(std::filesystem::exists(rig.dir.File("readback.txt")));
    EXPECT_TRUE(rig.Button(ids::kAutodetection)->isChecked());
    EXPECT_EQ(rig.p().state.manualDevice, 0);
    ASSERT_EQ(rig.windows().messages.size(), 1u) << rig.LastMessage();
    EXPECT_EQ(rig.windows().messages[0].title, "Warning!");
    EXPECT_EQ(rig.windows().messages[0].answer, MsgResult::Cancel);
    EXPECT_TRUE(InOrder(rig.activity(), {"OK", "*.hex"}))
        << ::testing::PrintToString(rig.activity());
}

TEST(Check, WithAutodetectionOffIdentifiesTheChipAndKeepsTheHandChoice) {
    GuiRig rig;
    ASSERT_TRUE(rig.Start());
    rig.ChooseSimulator("ATmega48");

    rig.Click(ids::kAutodetection);
    EXPECT_FALSE(rig.Button(ids::kAutodetection)->isChecked());
    EXPECT_TRUE(rig.DeviceList()->isEnabled());
    EXPECT_EQ(rig.p().state.manualDevice, 1);
    rig.DeviceList()->setCurrentIndex(rig.DeviceList()->findText("AT90S2313"));

    rig.ClearActivity();
    rig.Click(ids::kCheck);
    EXPECT_TRUE(rig.windows().messages.empty()) << rig.LastMessage();
    EXPECT_EQ(rig.DeviceList()->currentText().toStdString(), "ATmega48");
    EXPECT_TRUE(rig.Button(ids::kAutodetection)->isChecked());
    EXPECT_FALSE(rig.DeviceList()->isEnabled());
    EXPECT_EQ(rig.p().state.manualDevice, 1);
    EXPECT_TRUE(InOrder(rig.activity(), {"connecting....", "OK"}));
}

TEST(Ports, AParallelPortWithoutAccessIsRefusedAndThePreviousPortStays) {
    GuiRig rig;
    ASSERT_TRUE(rig.Start());
    rig.Choose(ids::kPort0378);
    ASSERT_EQ(rig.windows().messages.size(), 1u);
    EXPECT_EQ(rig.windows().messages[0].title, "ERROR!");
    EXPECT_EQ(rig.windows().messages[0].text.rfind(
                  "Driver 'DlPortIO' must be installed!\n\nDownload:\n", 0),
              0u);
    EXPECT_EQ(rig.windows().messages[0].owner, ids::kNoOwner);
    EXPECT_TRUE(rig.MenuItem(ids::kCom2)->isChecked());
    EXPECT_FALSE(rig.MenuItem(ids::kPort0378)->isChecked());
    EXPECT_EQ(rig.p().state.portName.view(), "COM2");
}

// A port that cannot be opened is reported, and the port chosen before stays:
// checked, shown, and saved for the next start.
TEST(Ports, ASerialPortThatCannotBeOpenedIsReportedAndThePreviousOneStays) {
    GuiRig rig;
    ASSERT_TRUE(rig.Start());
    rig.Choose(ids::kCom5);
    ASSERT_EQ(rig.windows().messages.size(), 1u);
    EXPECT_EQ(rig.windows().messages[0].title, "Error");
    EXPECT_EQ(rig.windows().messages[0].owner, ids::kMainWindow);
    // The system's text, the port that stays, then the advice on a line of its own.
    EXPECT_EQ(rig.windows().messages[0].text.rfind("COM-Init-Error!\nThe port stays COM2.\n\n", 0),
              0u)
        << rig.windows().messages[0].text;
    EXPECT_FALSE(rig.MenuItem(ids::kCom5)->isChecked());
    EXPECT_TRUE(rig.MenuItem(ids::kCom2)->isChecked());
    EXPECT_EQ(rig.windows().ItemText(ids::kMainWindow, ids::kPortDisplay), "Port: COM2");
    ASSERT_TRUE(rig.Restart());
    EXPECT_EQ(rig.dir.Read("ostrel.cfg").substr(0, 4), "COM2");
    EXPECT_TRUE(rig.MenuItem(ids::kCom2)->isChecked());
}

// The port in use below the fields, with the cable once it answered.
TEST(Ports, TheMainWindowShowsThePortInUseAndItsCable) {
    struct Step {
        const char* what;
        std::function<void(GuiRig&)> choose;
        const char* shown;
        const char* tipHas;
    };
    const Step steps[] = {
        {"at the start", [](GuiRig&) {}, "Port: COM2", "/dev/ttyS1"},
        {"the simulator", [](GuiRig& rig) { rig.ChooseSimulator("ATmega8"); }, "Port: SIM, Cablet2",
         "Cablet2 detected"},
        {"a check on it", [](GuiRig& rig) { rig.Click(ids::kCheck); }, "Port: SIM, Cablet2",
         "simulated"},
        {"a parallel port", [](GuiRig& rig) { rig.Choose(ids::kPort0378); }, "Port: PP 0378",
         "Parallel port 0378"},
    };
    GuiRig rig({.parallelAccess = true});
    rig.dir.Write("ostrel.cfg", Settings("COM2", '3', '0', ""));
    ASSERT_TRUE(rig.Start());
    QWidget* label = rig.Control(ids::kPortDisplay);
    ASSERT_NE(label, nullptr);
    EXPECT_TRUE(label->isVisible());
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.choose(rig);
        EXPECT_EQ(rig.windows().ItemText(ids::kMainWindow, ids::kPortDisplay), step.shown);
        EXPECT_NE(label->toolTip().toStdString().find(step.tipHas), std::string::npos)
            << label->toolTip().toStdString();
    }
    EXPECT_TRUE(rig.windows().messages.empty()) << rig.LastMessage();
}

TEST(Ports, TheSimulatorIsStoredAsItsPortAndComesBackWithItsChip) {
    GuiRig rig;
    ASSERT_TRUE(rig.Start());
    rig.ChooseSimulator("AT90S2313");
    EXPECT_TRUE(rig.window().SimulatorChipItem("AT90S2313")->isChecked());
    EXPECT_FALSE(rig.window().SimulatorChipItem("ATmega8")->isChecked());
    rig.chip().SetEeprom(5, 0x3C);

    ASSERT_TRUE(rig.Restart());
    EXPECT_EQ(rig.dir.Read("ostrel.cfg").substr(0, 3), "SIM");
    EXPECT_EQ(rig.p().state.portName.view(), "SIM");
    EXPECT_TRUE(rig.MenuItem(ids::kPortSimulator)->isChecked());
    EXPECT_FALSE(rig.MenuItem(ids::kCom2)->isChecked());
    EXPECT_TRUE(rig.window().SimulatorChipItem("AT90S2313")->isChecked());

    rig.Click(ids::kCheck);
    EXPECT_EQ(rig.DeviceList()->currentText().toStdString(), "AT90S2313");
    EXPECT_EQ(rig.chip().Eeprom(5), 0x3C);
}

// Port > Simulator > Chip Clock: each item sets the clock the simulated chip
// runs on, selects the simulator and is the one ticked; the factory item names
// the chosen chip's clock; the clock chosen comes back at the next start.
TEST(Ports, EachChipClockItemSetsTheSimulatedChipsClockAndTheClockIsKept) {
    GuiRig rig;
    ASSERT_TRUE(rig.Start());
    rig.ChooseSimulator("ATtiny13");
    QAction* factory = rig.window().SimulatorClockItem(0);
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(factory->text().toStdString(), "Factory clock (1.2 MHz)");
    const std::vector<uint32_t> clocks = {32768,   128000,   1000000,  4000000,
                                          8000000, 16000000, 20000000, 0};
    for (uint32_t hz : clocks) {
        SCOPED_TRACE(hz);
        rig.Choose(ids::kCom2);
        QAction* item = rig.window().SimulatorClockItem(hz);
        ASSERT_NE(item, nullptr);
        item->trigger();
        EXPECT_EQ(rig.program().simulator().chipClock(), hz);
        EXPECT_EQ(rig.p().state.portName.view(), "SIM");
        EXPECT_EQ(rig.chip().clockHz(), hz != 0 ? hz : 1200000u);
        for (uint32_t other : clocks)
            EXPECT_EQ(rig.window().SimulatorClockItem(other)->isChecked(), other == hz) << other;
    }
    rig.ChooseSimulator("AT90S2313");
    EXPECT_EQ(factory->text().toStdString(), "Factory clock (4 MHz)");
    EXPECT_TRUE(factory->isChecked());

    rig.window().SimulatorClockItem(128000)->trigger();
    ASSERT_TRUE(rig.Restart());
    EXPECT_TRUE(rig.window().SimulatorClockItem(128000)->isChecked());
    EXPECT_FALSE(rig.window().SimulatorClockItem(0)->isChecked());
    rig.Choose(ids::kSpeedVeryLow);
    rig.Click(ids::kCheck);
    EXPECT_EQ(rig.DeviceList()->currentText().toStdString(), "AT90S2313");
    EXPECT_EQ(rig.chip().clockHz(), 128000u);

    // A clock given to the console has no item of its own: it is shown ticked.
    rig.dir.Write("ostrel-sim.clock", "3686400\n");
    ASSERT_TRUE(rig.Restart());
    std::vector<std::string> ticked;
    for (QAction* action : rig.window().clockMenu()->actions()) {
        if (action->isVisible() && action->isChecked())
            ticked.push_back(action->text().toStdString());
    }
    EXPECT_EQ(ticked, std::vector<std::string>{"3.6864 MHz"});
}

TEST(Ports, ChangingTheSimulatedChipReplacesTheChip) {
    GuiRig rig;
    ASSERT_TRUE(rig.Start());
    rig.ChooseSimulator("ATmega8");
    rig.Click(ids::kCheck);
    EXPECT_EQ(rig.DeviceList()->currentText().toStdString(), "ATmega8");
    rig.ChooseSimulator("AT90S2313");
    rig.Click(ids::kCheck);
    EXPECT_EQ(rig.DeviceList()->currentText().toStdString(), "AT90S2313");
    EXPECT_TRUE(rig.windows().messages.empty()) << rig.LastMessage();
}

TEST(Options, SpeedIsCheckedAndStoredAtOnce) {
    GuiRig rig;
    ASSERT_TRUE(rig.Start());
    rig.Choose(ids::kSpeedLow);
    EXPECT_TRUE(rig.MenuItem(ids::kSpeedLow)->isChecked());
    EXPECT_FALSE(rig.MenuItem(ids::kSpeedHigh)->isChecked());
    EXPECT_EQ(rig.p().state.speed, 1);
    EXPECT_EQ(rig.dir.Read("ostrel.cfg")[6], '1');

    rig.Choose(ids::kProgramEepAfterHex);
    EXPECT_TRUE(rig.MenuItem(ids::kProgramEepAfterHex)->isChecked());
    rig.Choose(ids::kProgramEepAfterHex);
    EXPECT_FALSE(rig.MenuItem(ids::kProgramEepAfterHex)->isChecked());
    EXPECT_EQ(rig.p().state.programEepAfterHex, 0);
}

TEST(CommandLine, AFileIsWrittenAndTheProgramEnds) {
    GuiRig rig;
    std::string hex = CopyExample(rig, "blink-atmega8.hex");
    rig.dir.Write("ostrel.cfg", Settings("SIM", '3', '1', ""));
    EXPECT_FALSE(rig.Start(hex));
    EXPECT_TRUE(rig.program().ended());
    EXPECT_TRUE(rig.windows().messages.empty()) << rig.LastMessage();
    for (const auto& [address, value] : HexBytes(rig.dir.Read("blink-atmega8.hex")))
        ASSERT_EQ(rig.chip().Flash(address), value) << "flash byte " << address;
}

TEST(CommandLine, APathLongerThanTheBufferIsRefusedWithAMessage) {
    GuiRig rig;
    EXPECT_TRUE(rig.Start(rig.dir.str() + "/" + std::string(300, 'x') + ".hex"));
    ASSERT_EQ(rig.windows().messages.size(), 1u);
    EXPECT_EQ(rig.windows().messages[0].title, "ERROR!");
    EXPECT_NE(rig.windows().messages[0].text.find("too long"), std::string::npos);
    EXPECT_EQ(rig.p().state.fileLoaded, 0);
}

TEST(Ending, TheCloseBoxEndsTheWindowAndSavesTheSettings) {
    GuiRig rig;
    ASSERT_TRUE(rig.Start());
    rig.ChooseSimulator("ATmega8");
    EXPECT_TRUE(rig.window().close());
    EXPECT_TRUE(rig.program().ended());
    rig.program().session().Destroy();
    EXPECT_EQ(rig.dir.Read("ostrel.cfg").substr(0, 3), "SIM");
}

TEST(Ending, FileExitEndsTheWindow) {
    GuiRig rig;
    ASSERT_TRUE(rig.Start());
    rig.Choose(ids::kExit);
    EXPECT_TRUE(rig.program().ended());
    EXPECT_FALSE(rig.window().isVisible());
}

// Every box carries the icon of its kind and the program's window icon.
TEST(MessageBoxes, CarryTheIconOfTheirKindAndTheProgramsIcon) {
    struct Case {
        const char* what;
        std::function<void(GuiRig&)> show;
        const char* title;
        QMessageBox::Icon icon;
    };
    const Case cases[] = {
        {"Write without a file", [](GuiRig& rig) { rig.Click(ids::kWrite); }, "ERROR!",
         QMessageBox::Critical},
        {"Check without a cable", [](GuiRig& rig) { rig.Click(ids::kCheck); }, "Error",
         QMessageBox::Critical},
        {"Erase all", [](GuiRig& rig) { rig.Choose(ids::kEraseAll); }, "Warning!",
         QMessageBox::Warning},
        {"Read Signature Bytes", [](GuiRig& rig) { rig.Choose(ids::kReadSignature); },
         "Info:", QMessageBox::Information},
        {"About", [](GuiRig& rig) { rig.Choose(ids::kAbout); }, "Ostrel  V3.3",
         QMessageBox::Information},
        {"the reopen offer at the start", nullptr, "Ostrel", QMessageBox::Question},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        GuiRig rig;
        rig.dir.Write("ostrel.cfg",
                      Settings("COM2", '3', '1', CopyExample(rig, "blink-atmega8.hex")));
        rig.windows().automation.messageAnswers.push_back(MsgResult::Cancel);
        ASSERT_TRUE(rig.Start());
        if (c.show) {
            rig.windows().messages.clear();
            rig.windows().automation.messageAnswers.push_back(MsgResult::Cancel);
            c.show(rig);
        }
        ASSERT_FALSE(rig.windows().messages.empty());
        const ShownQtMessage& shown = rig.windows().messages.front();
        EXPECT_EQ(shown.title, c.title);
        EXPECT_EQ(shown.icon, c.icon);
        EXPECT_TRUE(shown.windowIcon);
    }
}

TEST(Layout, ControlsSitAtTheirPlacesInDialogUnits) {
    GuiRig rig;
    ASSERT_TRUE(rig.Start());
    const qt::DialogUnits& units = rig.window().units();
    EXPECT_EQ(rig.window().panel()->size(), QSize(units.X(198), units.Y(162)));
    EXPECT_EQ(rig.Control(ids::kRead)->geometry(), units.Rect(21, 25, 68, 15));
    EXPECT_EQ(rig.Control(ids::kWrite)->geometry(), units.Rect(21, 47, 68, 14));
    EXPECT_EQ(rig.Control(ids::kEraseBeforeWrite)->geometry(), units.Rect(24, 64, 70, 8));
    EXPECT_EQ(rig.Control(ids::kResetRun)->geometry(), units.Rect(117, 82, 58, 14));
    EXPECT_EQ(rig.Control(ids::kActivity)->geometry(), units.Rect(104, 134, 80, 12));
    EXPECT_EQ(rig.Control(ids::kCurrentFile)->geometry(), units.Rect(12, 134, 80, 12));
    // The device list is one line high when closed; it starts at its place.
    EXPECT_EQ(rig.Control(ids::kDeviceList)->geometry().topLeft(),
              units.Rect(117, 48, 58, 67).topLeft());
    EXPECT_LT(rig.Control(ids::kDeviceList)->geometry().bottom(), units.Y(63));

    for (int hidden : {ids::kQuick, ids::kRelease, ids::kMosiBox, ids::kSckBox}) {
        EXPECT_TRUE(rig.Control(hidden)->isHidden()) << hidden;
    }
    for (int shown : {ids::kRead, ids::kWrite, ids::kVerify, ids::kCheck, ids::kResetRun,
                      ids::kDeviceList, ids::kAutodetection, ids::kEraseBeforeWrite}) {
        EXPECT_TRUE(rig.Control(shown)->isVisible()) << shown;
    }
    // The base units follow the classic rule from the dialog font's letters.
    QFontMetrics metrics(QApplication::font());
    int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    EXPECT_EQ(units.baseWidth(), (letters / 26 + 1) / 2);
    EXPECT_EQ(units.baseHeight(), metrics.height());
}

TEST(Layout, TheMenuHasItsEntriesInOrder) {
    GuiRig rig;
    ASSERT_TRUE(rig.Start());
    std::vector<std::string> bar;
    for (QAction* action : rig.window().menuBar()->actions())
        bar.push_back(action->text().toStdString());
    EXPECT_EQ(bar,
              (std::vector<std::string>{"File", "Port", "Memory", "FuseBits", "Options", "Help"}));

    auto menu = [&](int index) { return rig.window().menuBar()->actions()[index]->menu(); };
    EXPECT_EQ(MenuTexts(menu(0)), (std::vector<std::string>{"Open", "Open Start Folder", "Exit"}));
    std::vector<std::string> ports{"PP 0278", "PP 0378", "PP 03BC", "COM1", "COM2", "COM3",
                                   "COM4",    "COM5",    "COM6",    "COM7", "COM8"};
    // The GPIO lines where the machine has a GPIO chip.
    if (GpioChipsPresent())
        ports.push_back("GPIO Lines");
    for (const char* text :
         {"Modem Lines Only (no FTDI bit-bang)", "-", "Simulator", "-", "Cable Test"})
        ports.push_back(text);
    EXPECT_EQ(MenuTexts(menu(1)), ports);
    // Each port item tells which device it opens here.
    for (const PortDevice& d : ListPortDevices(ProcessEnvironment())) {
        for (QAction* action : menu(1)->actions()) {
            if (action->text().endsWith(QString::fromStdString(d.name))) {
                EXPECT_TRUE(action->toolTip().startsWith(QString::fromStdString(d.device)))
                    << d.name << ": " << action->toolTip().toStdString();
            }
        }
    }
    EXPECT_EQ(MenuTexts(menu(2)), (std::vector<std::string>{"Disable Codeprotection (Erase all)",
                                                            "Bulk Erase Data", "Data Window"}));
    EXPECT_EQ(MenuTexts(menu(3)),
              (std::vector<std::string>{"Serial Programming Instructions", "Fuses"}));
    EXPECT_EQ(MenuTexts(menu(4)),
              (std::vector<std::string>{"Speed", "Program eep- after hexfile",
                                        "Read Signature Bytes", "Readback INHX format"}));
    EXPECT_EQ(MenuTexts(menu(4)->actions()[0]->menu()),
              (std::vector<std::string>{"very low", "Low", "Medium", "High", "Auto"}));
    EXPECT_EQ(MenuTexts(menu(5)), (std::vector<std::string>{"Help Topics", "Look for new version",
                                                            "About...", "-", "Wiring Picture"}));
    // Chip Clock and a separator, then the chips.
    const QList<QAction*> simulator = rig.window().simulatorMenu()->actions();
    ASSERT_EQ(static_cast<std::size_t>(simulator.size()), sim::AllChips().size() + 2);
    EXPECT_EQ(simulator[0]->menu(), rig.window().clockMenu());
    EXPECT_EQ(simulator[0]->text().toStdString(), "Chip Clock");
    EXPECT_TRUE(simulator[1]->isSeparator());
    std::vector<std::string> clocks;
    for (QAction* action : rig.window().clockMenu()->actions()) {
        if (action->isVisible())
            clocks.push_back(action->text().toStdString());
    }
    EXPECT_EQ(clocks, (std::vector<std::string>{"Factory clock (1 MHz)", "32.768 kHz", "128 kHz",
                                                "1 MHz", "4 MHz", "8 MHz", "16 MHz", "20 MHz"}));
}

}  // namespace
}  // namespace ostrel::testing
