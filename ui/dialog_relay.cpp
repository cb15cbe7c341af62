#include "ui/dialog_relay.h"

namespace ostrel::ui {

template <typename Call>
void DialogRelay::Run(Call call) {
    busy_ = true;
    // A handler that throws is over too: the dialog takes the next action.
    struct Done {
        bool& busy;
        ~Done() { busy = false; }
    } done{busy_};
    call();
}

void DialogRelay::Init() {
    Run([this] { handler_.OnInit(); });
}

void DialogRelay::Command(int id) {
    if (busy_ || ended_)
        return;
    Run([this, id] { handler_.OnCommand(id); });
}

void DialogRelay::EditNotify(int id, bool programsOwn) {
    if (busy_ || ended_ || programsOwn)
        return;
    Run([this, id] { handler_.OnEditNotify(id); });
}

bool DialogRelay::End(int result) {
    if (ended_)
        return false;
    ended_ = true;
    endResult_ = result;
    return true;
}

}  // namespace ostrel::ui
