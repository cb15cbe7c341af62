#include "qt/main_window.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QIcon>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QShortcut>

#include "core/ids.h"
#include "platform/gpio_wiring.h"
#include "platform/port_names.h"
#include "qt/cable_test_window.h"
#include "qt/resources.h"
#include "qt/widgets.h"
#include "sim/chip_clock.h"
#include "sim/chip_table.h"

namespace ostrel::qt {

MainWindow::MainWindow(std::function<bool(int command)> command,
                       std::function<void(const std::string& chip)> simulatorChip,
                       std::function<void(uint32_t hz)> simulatorClock)
    : command_(std::move(command)),
      simulatorChip_(std::move(simulatorChip)),
      simulatorClock_(std::move(simulatorClock)),
      units_(QApplication::font()) {
    InitResources();
    setWindowTitle(QStringLiteral("AVR-Programmer"));
    setWindowIcon(QIcon(QStringLiteral(":/ostrel/ostrel.svg")));
    // Caption, system menu and minimise box; the window keeps its size.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);

    panel_ = new QWidget(this);
    panel_->setObjectName(QStringLiteral("panel"));
    panel_->setFixedSize(units_.X(kMainWidth), units_.Y(kMainHeight));
    setCentralWidget(panel_);
    BuildDecoration();
    controls_ = BuildControls(panel_, MainWindowControls(), units_);
    for (const auto& [id, widget] : controls_) {
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            int commandId = id;
            connect(button, &QAbstractButton::clicked, this,
                    [this, commandId, button] { Trigger(commandId, button); });
        }
    }
    BuildMenu();
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    // Escape ends the program as the close box does (command 2).
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, [this] { Trigger(ids::kCancelCommand, nullptr); });
}

void MainWindow::BuildDecoration() {
    // A thin line at the top and one above the file fields, each of two line
    // pieces 100 units long, with a row of dots at its right end.
    struct Row {
        int y, firstDot, lastDot;
    };
    for (Row row : {Row{3, 138, 177}, Row{115, 141, 180}}) {
        for (int x : {12, 86}) {
            auto* line = new DecorationLine(panel_);
            QRect r = units_.Rect(x, row.y, 100, 0);
            line->setGeometry(r.x(), r.y() - 2, r.width(), 4);
        }
        auto* dots = new DotRow(panel_);
        int diameter = std::max(2, units_.X(2) - 1);
        int left = units_.X(row.firstDot);
        int right = units_.X(row.lastDot) + diameter;
        dots->setGeometry(left, units_.Y(row.y) - diameter - 2, right - left, diameter);
    }
}

QAction* MainWindow::AddItem(QMenu* menu, const char* text, int command) {
    QAction* action = menu->addAction(QString::fromLatin1(text));
    action->setObjectName(QStringLiteral("command%1").arg(command));
    menuItems_[command] = action;
    connect(action, &QAction::triggered, this, [this, action, command](bool checked) {
        // Check marks are the program's to set: undo the item's own toggle.
        if (action->isCheckable())
            action->setChecked(!checked);
        Trigger(command, action);
    });
    return action;
}

void MainWindow::BuildMenu() {
    QMenuBar* bar = menuBar();

    QMenu* file = bar->addMenu(QStringLiteral("File"));
    AddItem(file, "Open", ids::kFileOpen);
    AddItem(file, "Exit", ids::kExit);

    QMenu* port = bar->addMenu(QStringLiteral("Port"));
    struct PortItem {
        const char* text;
        int command;
    };
    for (PortItem item :
         {PortItem{"PP 0278", ids::kPort0278}, PortItem{"PP 0378", ids::kPort0378},
          PortItem{"PP 03BC", ids::kPort03BC}, PortItem{"COM1", ids::kCom1},
          PortItem{"COM2", ids::kCom2}, PortItem{"COM3", ids::kCom3}, PortItem{"COM4", ids::kCom4},
          PortItem{"COM5", ids::kCom5}, PortItem{"COM6", ids::kCom6}, PortItem{"COM7", ids::kCom7},
          PortItem{"COM8", ids::kCom8}}) {
        AddItem(port, item.text, item.command)->setCheckable(true);
    }
    // Which device each port name opens on this machine, shown as the item's
    // tip, so that a user can see what "COM1" is before choosing it.
    port->setToolTipsVisible(true);
    for (const PortDevice& d : ListPortDevices(ProcessEnvironment())) {
        for (QAction* action : port->actions()) {
            const QString text = action->text();
            if (text == QString::fromStdString(d.name) ||
                text == QStringLiteral("PP ") + QString::fromStdString(d.name)) {
                QString tip = QString::fromStdString(d.device);
                if (d.overridden)
                    tip += QStringLiteral(" (from ") + QString::fromStdString(d.variable) +
                           QStringLiteral(")");
                action->setToolTip(tip);
                action->setStatusTip(tip);
            }
        }
    }
    // The GPIO lines of a single-board computer, where the machine has a GPIO chip.
    if (GpioChipsPresent()) {
        QAction* gpio = AddItem(port, "GPIO Lines", ids::kPortGpio);
        gpio->setCheckable(true);
        gpio->setToolTip(QStringLiteral("SCK, MOSI, RESET, MISO: ") +
                         QString::fromUtf8(kDefaultGpioWiring.data(),
                                           static_cast<qsizetype>(kDefaultGpioWiring.size())) +
                         QStringLiteral(" unless ostrel.cfg or ostrel-cli --gpio names others"));
    }
    AddItem(port, "Modem Lines Only (no FTDI bit-bang)", ids::kModemLinesOnly)->setCheckable(true);
    port->addSeparator();
    simulatorMenu_ = port->addMenu(QStringLiteral("Simulator"));
    QAction* simulator = simulatorMenu_->menuAction();
    simulator->setCheckable(true);
    simulator->setObjectName(QStringLiteral("command%1").arg(ids::kPortSimulator));
    menuItems_[ids::kPortSimulator] = simulator;
    BuildClockMenu();
    simulatorMenu_->addSeparator();
    for (const sim::ChipInfo& chip : sim::AllChips()) {
        std::string name(chip.name);
        QAction* action = simulatorMenu_->addAction(QString::fromStdString(name));
        action->setCheckable(true);
        chipItems_[name] = action;
        connect(action, &QAction::triggered, this, [this, action, name](bool checked) {
            action->setChecked(!checked);
            simulatorChip_(name);
        });
    }
    port->addSeparator();
    AddItem(port, "Cable Test", kCableTestCommand);

    QMenu* memory = bar->addMenu(QStringLiteral("Memory"));
    AddItem(memory, "Disable Codeprotection (Erase all)", ids::kEraseAll);
    AddItem(memory, "Bulk Erase Data", ids::kBulkEraseData);
    AddItem(memory, "Data Window", ids::kDataWindow);

    // A command on the menu bar itself.
    QAction* fuseBits = bar->addAction(QStringLiteral("FuseBits"));
    fuseBits->setObjectName(QStringLiteral("command%1").arg(ids::kFuseBits));
    menuItems_[ids::kFuseBits] = fuseBits;
    connect(fuseBits, &QAction::triggered, this,
            [this, fuseBits] { Trigger(ids::kFuseBits, fuseBits); });

    QMenu* options = bar->addMenu(QStringLiteral("Options"));
    QMenu* speed = options->addMenu(QStringLiteral("Speed"));
    AddItem(speed, "very low", ids::kSpeedVeryLow)->setCheckable(true);
    AddItem(speed, "Low", ids::kSpeedLow)->setCheckable(true);
    AddItem(speed, "Medium", ids::kSpeedMedium)->setCheckable(true);
    AddItem(speed, "High", ids::kSpeedHigh)->setCheckable(true);
    AddItem(options, "Program eep- after hexfile", ids::kProgramEepAfterHex)->setCheckable(true);
    AddItem(options, "Read Signature Bytes", ids::kReadSignature);
    AddItem(options, "Readback INHX format", ids::kReadbackInhx);

    QMenu* help = bar->addMenu(QStringLiteral("Help"));
    AddItem(help, "Help Topics", ids::kHelpTopics);
    AddItem(help, "Look for new version", ids::kNewVersion);
    AddItem(help, "About...", ids::kAbout);
    help->addSeparator();
    AddItem(help, "Wiring Picture", ids::kWiringPicture);
}

void MainWindow::BuildClockMenu() {
    clockMenu_ = simulatorMenu_->addMenu(QStringLiteral("Chip Clock"));
    // The factory clock first (its text names the chosen chip's), then the
    // usual crystals and the slow clocks that need a slow programming speed.
    for (uint32_t hz : {0u, 32768u, 128000u, 1000000u, 4000000u, 8000000u, 16000000u, 20000000u}) {
        QAction* action = clockMenu_->addAction(
            hz == 0 ? QStringLiteral("Factory clock") : QString::fromStdString(sim::ClockText(hz)));
        action->setCheckable(true);
        clockItems_[hz] = action;
        connect(action, &QAction::triggered, this, [this, action, hz](bool checked) {
            action->setChecked(!checked);
            simulatorClock_(hz);
        });
    }
    // A clock chosen elsewhere, shown as it is; choosing it keeps it.
    otherClockItem_ = clockMenu_->addAction(QString());
    otherClockItem_->setCheckable(true);
    otherClockItem_->setVisible(false);
    connect(otherClockItem_, &QAction::triggered, this,
            [this](bool checked) { otherClockItem_->setChecked(!checked); });
}

QWidget* MainWindow::Control(int id) const {
    auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second;
}

QAction* MainWindow::MenuItem(int command) const {
    auto it = menuItems_.find(command);
    return it == menuItems_.end() ? nullptr : it->second;
}

QAction* MainWindow::SimulatorChipItem(const std::string& chip) const {
    auto it = chipItems_.find(chip);
    return it == chipItems_.end() ? nullptr : it->second;
}

void MainWindow::ShowSimulatorChip(const std::string& chip) {
    for (const auto& [name, action] : chipItems_)
        action->setChecked(name == chip);
}

QAction* MainWindow::SimulatorClockItem(uint32_t hz) const {
    auto it = clockItems_.find(hz);
    return it == clockItems_.end() ? nullptr : it->second;
}

void MainWindow::ShowSimulatorClock(uint32_t hz, uint32_t factoryHz) {
    clockItems_.at(0)->setText(QStringLiteral("Factory clock (%1)")
                                   .arg(QString::fromStdString(sim::ClockText(factoryHz))));
    for (const auto& [itemHz, action] : clockItems_)
        action->setChecked(itemHz == hz);
    const bool other = !clockItems_.contains(hz);
    otherClockItem_->setVisible(other);
    otherClockItem_->setChecked(other);
    if (other)
        otherClockItem_->setText(QString::fromStdString(sim::ClockText(hz)));
}

void MainWindow::Trigger(int command, QObject* source) {
    if (command_(command))
        return;
    // Refused because another command runs: a check box that toggled itself
    // goes back, so the box keeps showing the state the program uses.
    if (auto* box = qobject_cast<QCheckBox*>(source))
        box->setChecked(!box->isChecked());
}

void MainWindow::End(int result) {
    ended_ = true;
    endResult_ = result;
    if (!inCloseEvent_)
        close();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!ended_) {
        // The close box sends command 2, which ends the window unless a command runs.
        inCloseEvent_ = true;
        Trigger(ids::kCancelCommand, nullptr);
        inCloseEvent_ = false;
    }
    if (ended_) {
        event->accept();
    } else {
        event->ignore();
    }
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (centred_)
        return;
    centred_ = true;
    if (QScreen* screen = this->screen()) {
        QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
}

}  // namespace ostrel::qt
