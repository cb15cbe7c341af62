// A modal dialog of the program, built from its control table and driven by
// its behaviour (a DialogHandler): clicks become the behaviour's commands,
// changes of the EEPROM listing its edit notifications, Escape and the close
// box command 2, and Enter in a dialog without buttons command 1.
#pragma once

#include <QDialog>

#include "core/window_system.h"
#include "qt/control_builder.h"
#include "qt/dialog_units.h"
#include "ui/dialog_relay.h"

namespace ostrel::qt {

class ModalDialog : public QDialog {
    Q_OBJECT
  public:
    ModalDialog(int dialog, QWidget* owner, DialogHandler& handler);

    int dialogId() const { return dialog_; }
    const ControlMap& controls() const { return controls_; }
    const DialogUnits& units() const { return units_; }

    // Shows the dialog at its place and lets the behaviour set it up.
    void Start();
    // Ends the dialog with a result (the behaviour asked for it).
    void End(int result);
    bool ended() const { return relay_.ended(); }
    int endResult() const { return relay_.endResult(); }

    // Runs a command of the behaviour. While the behaviour is busy with one
    // (its work lets pending events through), further clicks are dropped.
    void Forward(int id);
    void ForwardNotify(int id);

    // Escape and the close box: command 2 to the behaviour.
    void reject() override;

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void BuildInstructionsDialog();
    void BuildWiringDialog();
    void Connect();

    int dialog_;
    ui::DialogRelay relay_;
    DialogUnits units_;
    ControlMap controls_;
};

}  // namespace ostrel::qt
