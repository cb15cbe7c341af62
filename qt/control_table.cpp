#include "qt/control_table.h"

#include <array>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>

#include "core/ids.h"
#include "qt/widgets.h"

namespace ostrel::qt {

namespace {

using K = ControlKind;

constexpr std::array kMainWindow = {
    ControlEntry{0, K::GroupBox, "Code + Data", 12, 12, 86, 92},
    ControlEntry{ids::kRead, K::PushButton, "Read", 21, 25, 68, 15},
    ControlEntry{ids::kWrite, K::PushButton, "Write", 21, 47, 68, 14},
    ControlEntry{ids::kEraseBeforeWrite, K::CheckBox, "Erase bef. Write", 24, 64, 66, 8, kChecked},
    ControlEntry{ids::kVerify, K::PushButton, "Verify", 22, 78, 68, 15},
    ControlEntry{0, K::GroupBox, "HW", 108, 12, 77, 92},
    ControlEntry{ids::kCheck, K::PushButton, "Check", 117, 26, 58, 14},
    ControlEntry{ids::kDeviceList, K::ComboBox, "", 117, 48, 58, 67, kDisabled},
    ControlEntry{ids::kAutodetection, K::CheckBox, "Autodetection", 117, 63, 60, 12, kChecked},
    ControlEntry{ids::kResetRun, K::PushButton, "Reset/Run", 117, 82, 58, 14},
    ControlEntry{0, K::Label, "Current File:", 15, 123, 52, 8},
    ControlEntry{ids::kCurrentFile, K::Edit, "", 12, 134, 80, 12, kDisabled},
    ControlEntry{0, K::Label, "Activity:", 106, 123, 30, 8},
    ControlEntry{ids::kActivity, K::Edit, "", 104, 134, 80, 12, kDisabled},
    ControlEntry{ids::kQuick, K::PushButton, "quick", 45, 148, 21, 10, kHidden},
    ControlEntry{ids::kRelease, K::PushButton, "release", 12, 148, 30, 10, kHidden},
    ControlEntry{ids::kMosiBox, K::CheckBox, "MOSI", 96, 149, 35, 9, kHidden},
    ControlEntry{ids::kSckBox, K::CheckBox, "SCK", 139, 149, 35, 9, kHidden},
};

constexpr std::array kInstructionsDialog = {
    ControlEntry{0, K::GroupBox, "Lock Bits", 20, 8, 72, 58},
    ControlEntry{ids::kLb1, K::CheckBox, "LB1", 30, 20, 28, 8},
    ControlEntry{ids::kLb2, K::CheckBox, "LB2", 30, 32, 44, 8},
    ControlEntry{ids::kWriteLockBits, K::PushButton, "Write Lock Bits", 30, 48, 54, 12},
    ControlEntry{ids::kReadLockBits, K::PushButton, "Read Lock Bits", 140, 0, 54, 12, kHidden},
    ControlEntry{0, K::GroupBox, "RCEN", 104, 8, 74, 58},
    ControlEntry{ids::kReadRcen, K::PushButton, "Read RCEN", 114, 20, 55, 12},
    ControlEntry{ids::kRcenBox, K::CheckBox, "RCEN", 128, 36, 38, 8},
    ControlEntry{ids::kWriteRcen, K::PushButton, "Write RCEN", 114, 48, 56, 12},
    ControlEntry{0, K::Label, "Status", 44, 76, 28, 8},
    ControlEntry{ids::kInstrStatus, K::Edit, "", 74, 74, 74, 12, kDisabled},
    ControlEntry{0, K::WrappedLabel,
                 "Use Serial Programming Instructions for all Fuse- and Lock Bits", 14, 106, 176,
                 16},
    ControlEntry{0, K::GroupBox, "Byte", 13, 132, 105, 40},
    ControlEntry{0, K::Label, "1", 30, 143, 6, 8},
    ControlEntry{0, K::Label, "2", 52, 143, 6, 8},
    ControlEntry{0, K::Label, "3", 74, 143, 6, 8},
    ControlEntry{0, K::Label, "4", 97, 143, 6, 8},
    ControlEntry{ids::kByte1, K::ByteEdit, "", 23, 153, 18, 12},
    ControlEntry{ids::kByte2, K::ByteEdit, "", 45, 153, 18, 12},
    ControlEntry{ids::kByte3, K::ByteEdit, "", 67, 153, 18, 12},
    ControlEntry{ids::kByte4, K::ByteEdit, "", 90, 153, 18, 12},
    ControlEntry{ids::kSendRec, K::DefaultButton, "Send/Rec.", 136, 129, 50, 14},
    ControlEntry{ids::kInstrHelp, K::PushButton, "Help", 136, 150, 50, 14},
    ControlEntry{ids::kDone, K::PushButton, "Done", 136, 174, 50, 14},
    ControlEntry{0, K::Label, "Look in the AVR datasheet for details", 7, 177, 126, 8},
};

constexpr std::array kEepromWindow = {
    ControlEntry{ids::kListing, K::ListingEdit, "", 20, 10, 65, 75},
    ControlEntry{ids::kReadData, K::PushButton, "Read Data", 95, 10, 40, 12},
    ControlEntry{ids::kWriteData, K::PushButton, "Write Data", 95, 30, 40, 12},
    ControlEntry{ids::kEepromStatus, K::BorderlessEdit, "", 95, 50, 40, 12},
    ControlEntry{ids::kEepromExit, K::DefaultButton, "Exit", 95, 65, 40, 14},
};

QWidget* Create(const ControlEntry& control, QWidget* parent, const DialogUnits& units) {
    const QString text = QString::fromLatin1(control.text);
    QRect rect = units.Rect(control.x, control.y, control.width, control.height);
    QWidget* widget = nullptr;
    switch (control.kind) {
        case K::GroupBox:
            widget = new QGroupBox(text, parent);
            break;
        case K::PushButton:
        case K::DefaultButton: {
            auto* button = new QPushButton(text, parent);
            button->setAutoDefault(false);
            button->setDefault(control.kind == K::DefaultButton);
            widget = button;
            break;
        }
        case K::CheckBox: {
            auto* box = new QCheckBox(text, parent);
            box->setChecked((control.start & kChecked) != 0);
            widget = box;
            break;
        }
        case K::Label:
            widget = new QLabel(text, parent);
            break;
        case K::WrappedLabel: {
            auto* label = new QLabel(text, parent);
            label->setWordWrap(true);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            widget = label;
            break;
        }
        case K::Edit:
        case K::BorderlessEdit: {
            auto* edit = new QLineEdit(text, parent);
            edit->setReadOnly(true);
            edit->setFrame(control.kind == K::Edit);
            edit->setFocusPolicy(Qt::NoFocus);
            if (control.kind == K::BorderlessEdit) {
                // A read-only field without a border shows on the window's own ground.
                QPalette palette = edit->palette();
                palette.setColor(QPalette::Base, palette.color(QPalette::Window));
                edit->setPalette(palette);
            }
            widget = edit;
            break;
        }
        case K::ByteEdit: {
            auto* edit = new QLineEdit(text, parent);
            edit->setValidator(new UpperCaseValidator(edit));
            edit->setAlignment(Qt::AlignCenter);
            widget = edit;
            break;
        }
        case K::ListingEdit:
            widget = new ListingEdit(parent);
            break;
        case K::ComboBox: {
            auto* combo = new QComboBox(parent);
            combo->setEditable(false);
            combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
            // The closed box is one line high; the table's height is that of
            // the box with its list dropped down.
            int closed = std::min(combo->sizeHint().height(), units.Y(15));
            int itemHeight = std::max(1, combo->fontMetrics().height() + 2);
            combo->setMaxVisibleItems(std::max(3, (rect.height() - closed) / itemHeight));
            rect.setHeight(closed);
            widget = combo;
            break;
        }
    }
    widget->setGeometry(rect);
    if ((control.start & kDisabled) != 0)
        widget->setEnabled(false);
    widget->setVisible((control.start & kHidden) == 0);
    if (control.id != 0)
        widget->setObjectName(QStringLiteral("control%1").arg(control.id));
    return widget;
}

}  // namespace

std::span<const ControlEntry> MainWindowControls() {
    return kMainWindow;
}
std::span<const ControlEntry> InstructionsDialogControls() {
    return kInstructionsDialog;
}
std::span<const ControlEntry> EepromWindowControls() {
    return kEepromWindow;
}

ControlMap BuildControls(QWidget* parent, std::span<const ControlEntry> table,
                         const DialogUnits& units) {
    ControlMap controls;
    for (const ControlEntry& control : table) {
        QWidget* widget = Create(control, parent, units);
        if (control.id != 0)
            controls[control.id] = widget;
    }
    return controls;
}

}  // namespace ostrel::qt
