// How a modal dialog's window hands the user's actions to its behaviour, for
// both renderers: one at a time (a click that comes in while a handler runs,
// through the events the handler lets through, is dropped, as is an edit
// notification the program's own text change caused), and none once the
// dialog has ended.
#pragma once

#include "core/window_system.h"

namespace ostrel::ui {

class DialogRelay {
  public:
    explicit DialogRelay(DialogHandler& handler) : handler_(handler) {}

    // The dialog shows: its behaviour sets it up.
    void Init();
    // A button or check box was clicked.
    void Command(int id);
    // An edit control reported a change; `programsOwn`: the program set
    // the text itself.
    void EditNotify(int id, bool programsOwn = false);
    // The dialog ends with `result`; false when it had ended already (the
    // first result stands).
    bool End(int result);

    bool ended() const { return ended_; }
    int endResult() const { return endResult_; }

  private:
    template <typename Call>
    void Run(Call call);

    DialogHandler& handler_;
    bool busy_ = false;
    bool ended_ = false;
    int endResult_ = 0;
};

}  // namespace ostrel::ui
