// A modal dialog of the program, made from its control table and driven by
// its behaviour (a DialogHandler): clicks become the behaviour's commands,
// the EEPROM listing's notifications its edit notifications, Escape and the
// close box command 2, Enter the default button's command (1).
#pragma once

#include <functional>

#include "core/window_system.h"
#include "ui/dialog_relay.h"
#include "win32/dialog_window.h"

namespace ostrel::win32 {

class Win32WindowSystem;

class ModalDialog : public DialogWindow {
  public:
    ModalDialog(Win32WindowSystem& windows, int dialog, DialogHandler& handler);

    int dialogId() const { return dialog_; }
    // Ends the dialog with a result (the behaviour asked for it).
    void End(int result);
    bool ended() const { return relay_.ended(); }
    int endResult() const { return relay_.endResult(); }

    // Runs once the dialog shows and its behaviour has set it up.
    std::function<void()> onShown;

    bool Handle(unsigned message, std::uintptr_t wParam, std::intptr_t lParam,
                std::intptr_t& result) override;
    void Fail(std::exception_ptr error) override;

  private:
    // Sets the dialog up and lets the behaviour do so; true when it gave the
    // focus to a control itself.
    bool Start();
    // Runs a command of the behaviour. While the behaviour is busy with one
    // (its work lets pending events through), further clicks are dropped.
    void Forward(int id);
    void ForwardNotify(int id);

    Win32WindowSystem& windows_;
    int dialog_;
    ui::DialogRelay relay_;
};

}  // namespace ostrel::win32
