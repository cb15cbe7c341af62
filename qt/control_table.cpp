#include "qt/control_table.h"

#include <array>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>

#include "platform/ids.h"
#include "qt/widgets.h"

namespace ostrel::qt {

namespace {

using K = ControlKind;

constexpr std::array kMainWindow = {
    ControlSpec{0, K::GroupBox, "Code + Data", 12, 12, 86, 92},
    ControlSpec{ids::kRead, K::PushButton, "Read", 21, 25, 68, 15},
    ControlSpec{ids::kWrite, K::PushButton, "Write", 21, 47, 68, 14},
    ControlSpec{ids::kEraseBeforeWrite, K::CheckBox, "Erase bef. Write", 24, 64, 66, 8, kChecked},
    ControlSpec{ids::kVerify, K::PushButton, "Verify", 22, 78, 68, 15},
    ControlSpec{0, K::GroupBox, "HW", 108, 12, 77, 92},
    ControlSpec{ids::kCheck, K::PushButton, "Check", 117, 26, 58, 14},
    ControlSpec{ids::kDeviceList, K::ComboBox, "", 117, 48, 58, 67, kDisabled},
    ControlSpec{ids::kAutodetection, K::CheckBox, "Autodetection", 117, 63, 60, 12, kChecked},
    ControlSpec{ids::kResetRun, K::PushButton, "Reset/Run", 117, 82, 58, 14},
    ControlSpec{0, K::Label, "Current File:", 15, 123, 52, 8},
    ControlSpec{ids::kCurrentFile, K::Edit, "", 12, 134, 80, 12, kDisabled},
    ControlSpec{0, K::Label, "Activity:", 106, 123, 30, 8},
    ControlSpec{ids::kActivity, K::Edit, "", 104, 134, 80, 12, kDisabled},
    ControlSpec{ids::kQuick, K::PushButton, "quick", 45, 148, 21, 10, kHidden},
    ControlSpec{ids::kRelease, K::PushButton, "release", 12, 148, 30, 10, kHidden},
    ControlSpec{ids::kMosiBox, K::CheckBox, "MOSI", 96, 149, 35, 9, kHidden},
    ControlSpec{ids::kSckBox, K::CheckBox, "SCK", 139, 149, 35, 9, kHidden},
};

constexpr std::array kInstructionsDialog = {
    ControlSpec{0, K::GroupBox, "Lock Bits", 20, 8, 72, 58},
    ControlSpec{ids::kLb1, K::CheckBox, "LB1", 30, 20, 28, 8},
    ControlSpec{ids::kLb2, K::CheckBox, "LB2", 30, 32, 44, 8},
    ControlSpec{ids::kWriteLockBits, K::PushButton, "Write Lock Bits", 30, 48, 54, 12},
    ControlSpec{ids::kReadLockBits, K::PushButton, "Read Lock Bits", 140, 0, 54, 12, kHidden},
    ControlSpec{0, K::GroupBox, "RCEN", 104, 8, 74, 58},
    ControlSpec{ids::kReadRcen, K::PushButton, "Read RCEN", 114, 20, 55, 12},
    ControlSpec{ids::kRcenBox, K::CheckBox, "RCEN", 128, 36, 38, 8},
    ControlSpec{ids::kWriteRcen, K::PushButton, "Write RCEN", 114, 48, 56, 12},
    ControlSpec{0, K::Label, "Status", 44, 76, 28, 8},
    ControlSpec{ids::kInstrStatus, K::Edit, "", 74, 74, 74, 12, kDisabled},
    ControlSpec{0, K::WrappedLabel,
                "Use Serial Programming Instructions for all Fuse- and Lock Bits", 14, 106, 176,
                16},
    ControlSpec{0, K::GroupBox, "Byte", 13, 132, 105, 40},
    ControlSpec{0, K::Label, "1", 30, 143, 6, 8},
    ControlSpec{0, K::Label, "2", 52, 143, 6, 8},
    ControlSpec{0, K::Label, "3", 74, 143, 6, 8},
    ControlSpec{0, K::Label, "4", 97, 143, 6, 8},
    ControlSpec{ids::kByte1, K::ByteEdit, "", 23, 153, 18, 12},
    ControlSpec{ids::kByte2, K::ByteEdit, "", 45, 153, 18, 12},
    ControlSpec{ids::kByte3, K::ByteEdit, "", 67, 153, 18, 12},
    ControlSpec{ids::kByte4, K::ByteEdit, "", 90, 153, 18, 12},
    ControlSpec{ids::kSendRec, K::DefaultButton, "Send/Rec.", 136, 129, 50, 14},
    ControlSpec{ids::kInstrHelp, K::PushButton, "Help", 136, 150, 50, 14},
    ControlSpec{ids::kDone, K::PushButton, "Done", 136, 174, 50, 14},
    ControlSpec{0, K::Label, "Look in the AVR datasheet for details", 7, 177, 126, 8},
};

constexpr std::array kEepromWindow = {
    ControlSpec{ids::kListing, K::ListingEdit, "", 20, 10, 65, 75},
    ControlSpec{ids::kReadData, K::PushButton, "Read Data", 95, 10, 40, 12},
    ControlSpec{ids::kWriteData, K::PushButton, "Write Data", 95, 30, 40, 12},
    ControlSpec{ids::kEepromStatus, K::BorderlessEdit, "", 95, 50, 40, 12},
    ControlSpec{ids::kEepromExit, K::DefaultButton, "Exit", 95, 65, 40, 14},
};

QWidget* Create(const ControlSpec& spec, QWidget* parent, const DialogUnits& units) {
    const QString text = QString::fromLatin1(spec.text);
    QRect rect = units.Rect(spec.x, spec.y, spec.width, spec.height);
    QWidget* widget = nullptr;
    switch (spec.kind) {
        case K::GroupBox:
            widget = new QGroupBox(text, parent);
            break;
        case K::PushButton:
        case K::DefaultButton: {
            auto* button = new QPushButton(text, parent);
            button->setAutoDefault(false);
            button->setDefault(spec.kind == K::DefaultButton);
            widget = button;
            break;
        }
        case K::CheckBox: {
            auto* box = new QCheckBox(text, parent);
            box->setChecked((spec.start & kChecked) != 0);
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
            edit->setFrame(spec.kind == K::Edit);
            edit->setFocusPolicy(Qt::NoFocus);
            if (spec.kind == K::BorderlessEdit) {
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
    if ((spec.start & kDisabled) != 0)
        widget->setEnabled(false);
    widget->setVisible((spec.start & kHidden) == 0);
    if (spec.id != 0)
        widget->setObjectName(QStringLiteral("control%1").arg(spec.id));
    return widget;
}

}  // namespace

std::span<const ControlSpec> MainWindowControls() {
    return kMainWindow;
}
std::span<const ControlSpec> InstructionsDialogControls() {
    return kInstructionsDialog;
}
std::span<const ControlSpec> EepromWindowControls() {
    return kEepromWindow;
}

ControlMap BuildControls(QWidget* parent, std::span<const ControlSpec> table,
                         const DialogUnits& units) {
    ControlMap controls;
    for (const ControlSpec& spec : table) {
        QWidget* widget = Create(spec, parent, units);
        if (spec.id != 0)
            controls[spec.id] = widget;
    }
    return controls;
}

}  // namespace ostrel::qt
