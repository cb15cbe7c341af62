#include "qt/control_builder.h"

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QProgressBar>
#include <QPushButton>

#include "qt/widgets.h"

namespace ostrel::qt {

namespace {

using K = ui::ControlKind;

QWidget* Create(const ui::ControlEntry& control, QWidget* parent, const DialogUnits& units) {
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
            box->setChecked((control.start & ui::kChecked) != 0);
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
        case K::ProgressBar: {
            auto* bar = new QProgressBar(parent);
            bar->setRange(0, 100);
            bar->setValue(0);
            // The activity line beside it shows the figure.
            bar->setTextVisible(false);
            widget = bar;
            break;
        }
    }
    widget->setGeometry(rect);
    if ((control.start & ui::kDisabled) != 0)
        widget->setEnabled(false);
    widget->setVisible((control.start & ui::kHidden) == 0);
    if (control.id != 0)
        widget->setObjectName(QStringLiteral("control%1").arg(control.id));
    return widget;
}

}  // namespace

ControlMap BuildControls(QWidget* parent, std::span<const ui::ControlEntry> table,
                         const DialogUnits& units) {
    ControlMap controls;
    for (const ui::ControlEntry& control : table) {
        QWidget* widget = Create(control, parent, units);
        if (control.id != 0)
            controls[control.id] = widget;
    }
    return controls;
}

void BuildDecoration(QWidget* parent, int window, const DialogUnits& units) {
    for (const ui::DecorationLine& piece : ui::DecorationLinesOf(window)) {
        auto* line = new DecorationLine(parent);
        QRect r = units.Rect(piece.x, piece.y, piece.width, piece.height);
        if (piece.height == 0) {
            line->setGeometry(r.x(), r.y() - 2, r.width(), 4);
        } else {
            line->setGeometry(r.adjusted(0, -1, 0, 1));
        }
    }
    for (const ui::DotRow& row : ui::DotRowsOf(window)) {
        auto* dots = new DotRow(parent);
        int diameter = std::max(2, units.X(2) - 1);
        int left = units.X(row.firstX);
        int right = units.X(row.lastX) + diameter;
        dots->setGeometry(left, units.Y(row.y) - diameter - 2, right - left, diameter);
    }
}

}  // namespace ostrel::qt
