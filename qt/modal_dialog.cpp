#include "qt/modal_dialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

#include "core/ids.h"
#include "qt/resources.h"
#include "qt/widgets.h"

namespace ostrel::qt {

ModalDialog::ModalDialog(int dialog, QWidget* owner, DialogHandler& handler)
    : QDialog(owner), dialog_(dialog), relay_(handler), units_(QApplication::font()) {
    InitResources();
    ui::WindowFrame frame = ui::FrameOf(dialog);
    setWindowTitle(QString::fromLatin1(frame.title));
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    // The EEPROM window has no close box; it ends only by its Exit button.
    if (dialog != ids::kEepromWindow)
        flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    setWindowFlags(flags);
    setFixedSize(units_.X(frame.width), units_.Y(frame.height));
    setModal(true);

    if (dialog == ids::kInstructionsDialog) {
        BuildInstructionsDialog();
    } else if (dialog == ids::kEepromWindow) {
        controls_ = BuildControls(this, ui::EepromWindowControls(), units_);
    } else if (dialog == ids::kWiringDialog) {
        BuildWiringDialog();
    } else {
        controls_ = BuildControls(this, ui::ControlsOf(dialog), units_);
    }
    Connect();
}

void ModalDialog::BuildInstructionsDialog() {
    controls_ = BuildControls(this, ui::InstructionsDialogControls(), units_);
    BuildDecoration(this, ids::kInstructionsDialog, units_);
}

void ModalDialog::BuildWiringDialog() {
    auto* picture = new SvgPicture(QStringLiteral(":/ostrel/wiring.svg"), this);
    picture->setObjectName(QStringLiteral("wiringPicture"));
    const ui::PicturePlace place = ui::WiringPicturePlace();
    picture->setGeometry(units_.Rect(place.x, place.y, place.width, place.height));
}

void ModalDialog::Connect() {
    for (const auto& [id, widget] : controls_) {
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            int command = id;
            connect(button, &QAbstractButton::clicked, this, [this, command] { Forward(command); });
        } else if (auto* listing = qobject_cast<ListingEdit*>(widget)) {
            int item = id;
            connect(listing, &ListingEdit::Notified, this, [this, item] { ForwardNotify(item); });
        } else if (dialog_ == ids::kFusesWindow) {
            // The Fuses window follows what the user chooses or types, not
            // what the window itself puts there.
            int item = id;
            if (auto* combo = qobject_cast<QComboBox*>(widget)) {
                connect(combo, &QComboBox::activated, this, [this, item] { ForwardNotify(item); });
            } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
                connect(edit, &QLineEdit::textEdited, this, [this, item] { ForwardNotify(item); });
            }
        }
    }
}

void ModalDialog::Start() {
    if (parentWidget() != nullptr && dialog_ != ids::kWiringDialog) {
        // Placed at the owner's top left corner, not centred over it.
        move(parentWidget()->mapToGlobal(QPoint(0, 0)));
    }
    show();
    relay_.Init();
}

void ModalDialog::End(int result) {
    if (relay_.End(result))
        done(result);
}

void ModalDialog::Forward(int id) {
    relay_.Command(id);
}

void ModalDialog::ForwardNotify(int id) {
    relay_.EditNotify(id);
}

void ModalDialog::reject() {
    Forward(ids::kCancelCommand);
}

void ModalDialog::keyPressEvent(QKeyEvent* event) {
    bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && findChildren<QPushButton*>().isEmpty()) {
        Forward(ids::kOkCommand);
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace ostrel::qt
