#include "qt/main_window.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QIcon>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QScreen>
#include <QShortcut>

#include "app/commands.h"
#include "core/ids.h"
#include "platform/gpio_wiring.h"
#include "platform/port_names.h"
#include "qt/cable_test_window.h"
#include "qt/qt_window_system.h"
#include "qt/resources.h"
#include "qt/widgets.h"
#include "sim/chip_clock.h"
#include "sim/chip_table.h"
#include "ui/activity_line.h"
#include "ui/busy.h"
#include "ui/menu.h"

namespace ostrel::qt {

MainWindow::MainWindow(ui::SessionActions actions, ui::MenuMachine machine)
    : command_(std::move(actions.command)),
      simulatorChip_(std::move(actions.simulatorChip)),
      simulatorClock_(std::move(actions.simulatorClock)),
      units_(QApplication::font()),
      machine_(std::move(machine)) {
    // The GPIO lines are offered where the machine has a chip of them.
    machine_.gpio = GpioChipsPresent();
    InitResources();
    const ui::WindowFrame frame = ui::FrameOf(ids::kMainWindow);
    setWindowTitle(QString::fromLatin1(frame.title));
    setWindowIcon(ProgramIcon());
    // Caption, system menu and minimise box; the window keeps its size.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);

    panel_ = new QWidget(this);
    panel_->setObjectName(QStringLiteral("panel"));
    panel_->setFixedSize(units_.X(frame.width), units_.Y(frame.height));
    setCentralWidget(panel_);
    BuildDecoration(panel_, ids::kMainWindow, units_);
    controls_ = BuildControls(panel_, ui::MainWindowControls(), units_);
    for (const auto& [id, widget] : controls_) {
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            int commandId = id;
            connect(button, &QAbstractButton::clicked, this,
                    [this, commandId, button] { Trigger(commandId, button); });
        }
    }
    BuildMenu();
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    // Escape ends the program as the close box does (command 2); while a
    // command runs it is the Stop button's key.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this,
            [this] { Trigger(busy_ ? ids::kStop : ids::kCancelCommand, nullptr); });

    if (QWidget* stop = Control(ids::kStop))
        stop->setCursor(Qt::ArrowCursor);
}

void MainWindow::SetBusy(bool busy) {
    const ui::BusyPlan plan = ui::PlanBusy(busy);
    busy_ = busy;
    for (const ui::BusyControl& control : plan.controls) {
        QWidget* widget = Control(control.id);
        if (widget == nullptr)
            continue;
        if (control.enabled)
            widget->setEnabled(*control.enabled);
        if (control.shown)
            widget->setVisible(*control.shown);
    }
    for (const auto& [command, action] : menuItems_)
        action->setEnabled(plan.MenuItemEnabled(command));
    for (const auto& [name, action] : chipItems_)
        action->setEnabled(plan.simulatorItemsEnabled);
    for (const auto& [hz, action] : clockItems_)
        action->setEnabled(plan.simulatorItemsEnabled);
    otherClockItem_->setEnabled(plan.simulatorItemsEnabled);
    if (auto* stop = qobject_cast<QAbstractButton*>(Control(ids::kStop))) {
        stop->setText(QString::fromLatin1(plan.stopText));
        stop->setEnabled(plan.stopEnabled);
    }
    ShowProgress(std::nullopt);
    if (plan.busyCursor) {
        setCursor(Qt::BusyCursor);
    } else {
        unsetCursor();
    }
}

void MainWindow::ShowStopping() {
    if (auto* stop = qobject_cast<QAbstractButton*>(Control(ids::kStop))) {
        stop->setText(QString::fromLatin1(ui::kStopping));
        stop->setEnabled(false);
    }
}

void MainWindow::ShowOnActivityLine(const std::vector<std::string>& lines, const QString& tip) {
    auto* field = qobject_cast<QLineEdit*>(Control(ids::kActivity));
    if (field == nullptr || lines.empty())
        return;
    // The room for text: the field less its frame and the text margins.
    const int room = std::max(10, field->contentsRect().width() - 8);
    const QFontMetrics metrics = field->fontMetrics();
    const std::string shown = ui::FitActivityLine(lines, [&](std::string_view text) {
        return metrics.horizontalAdvance(
                   QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()))) <= room;
    });
    field->setText(QString::fromStdString(shown));
    field->setCursorPosition(0);
    field->setToolTip(tip);
}

void MainWindow::ShowProgress(std::optional<int> figure) {
    ShowFigure(Control(ids::kProgressBar), figure);
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

void MainWindow::AddEntry(QMenu* menu, const ui::ShownMenuEntry& entry) {
    const QString text = QString::fromLatin1(entry.text.c_str());
    switch (entry.kind) {
        case ui::MenuKind::CheckItem:
            AddItem(menu, entry.text.c_str(), entry.command)->setCheckable(true);
            break;
        case ui::MenuKind::BarCommand: {
            QAction* item = menuBar()->addAction(text);
            item->setObjectName(QStringLiteral("command%1").arg(entry.command));
            menuItems_[entry.command] = item;
            const int command = entry.command;
            connect(item, &QAction::triggered, this,
                    [this, item, command] { Trigger(command, item); });
            break;
        }
        case ui::MenuKind::ClockItem:
            clockMenu_ = menu;
            AddClockItem(menu, text, entry.hz);
            break;
        case ui::MenuKind::ChipItem:
            AddChipItem(menu, entry.text);
            break;
        default:
            AddItem(menu, entry.text.c_str(), entry.command);
            break;
    }
}

void MainWindow::BuildMenu() {
    // The menu bar is the walk's bottom menu, given as no menu.
    ui::WalkMenu(
        ui::ShownMainMenu(machine_), static_cast<QMenu*>(nullptr),
        [this](QMenu* menu, const ui::ShownMenuEntry& entry) {
            const QString text = QString::fromLatin1(entry.text.c_str());
            QMenu* sub = menu == nullptr ? menuBar()->addMenu(text) : menu->addMenu(text);
            if (entry.kind == ui::MenuKind::CheckMenu) {
                QAction* item = sub->menuAction();
                item->setCheckable(true);
                item->setObjectName(QStringLiteral("command%1").arg(entry.command));
                menuItems_[entry.command] = item;
                if (entry.command == ids::kPortSimulator)
                    simulatorMenu_ = sub;
            }
            return sub;
        },
        [this](QMenu* menu, const ui::ShownMenuEntry& entry) { AddEntry(menu, entry); },
        [](QMenu* menu) { menu->addSeparator(); });
    // A clock chosen elsewhere, shown as it is after the others; choosing it keeps it.
    otherClockItem_ = clockMenu_->addAction(QString());
    otherClockItem_->setCheckable(true);
    otherClockItem_->setVisible(false);
    connect(otherClockItem_, &QAction::triggered, this,
            [this](bool checked) { otherClockItem_->setChecked(!checked); });
    ShowPortDevices();
}

void MainWindow::ShowPortDevices() {
    // Which device each port name opens on this machine, shown as the item's
    // tip, so that a user can see what "COM1" is before choosing it.
    for (const PortDevice& d : ListPortDevices(ProcessEnvironment())) {
        for (const auto& [command, action] : menuItems_) {
            if (app::PortCommand(d.name) != command)
                continue;
            QString tip = QString::fromStdString(d.device);
            if (d.overridden)
                tip += QStringLiteral(" (from ") + QString::fromStdString(d.variable) +
                       QStringLiteral(")");
            action->setToolTip(tip);
            action->setStatusTip(tip);
            for (QObject* owner : action->associatedObjects()) {
                if (auto* menu = qobject_cast<QMenu*>(owner))
                    menu->setToolTipsVisible(true);
            }
        }
    }
}

void MainWindow::AddChipItem(QMenu* menu, const std::string& name) {
    QAction* action = menu->addAction(QString::fromStdString(name));
    action->setCheckable(true);
    chipItems_[name] = action;
    connect(action, &QAction::triggered, this, [this, action, name](bool checked) {
        action->setChecked(!checked);
        simulatorChip_(name);
    });
}

void MainWindow::AddClockItem(QMenu* menu, const QString& text, uint32_t hz) {
    QAction* action = menu->addAction(text);
    action->setCheckable(true);
    clockItems_[hz] = action;
    connect(action, &QAction::triggered, this, [this, action, hz](bool checked) {
        action->setChecked(!checked);
        simulatorClock_(hz);
    });
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
    clockItems_.at(0)->setText(QString::fromStdString(ui::FactoryClockText(factoryHz)));
    for (const auto& [itemHz, action] : clockItems_)
        action->setChecked(itemHz == hz);
    const bool other = !clockItems_.contains(hz);
    otherClockItem_->setVisible(other);
    otherClockItem_->setChecked(other);
    if (other)
        otherClockItem_->setText(QString::fromStdString(sim::ClockText(hz)));
}

void MainWindow::Trigger(int command, QObject* source) {
    const bool taken = command_(command);
    if (auto* box = qobject_cast<QCheckBox*>(source)) {
        if (std::optional<bool> state = ui::CheckBoxAfterCommand(taken, box->isChecked()))
            box->setChecked(*state);
    }
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
