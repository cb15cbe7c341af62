#include "win32/modal_dialog.h"

#include <windows.h>
// The program's WindowSystem::MessageBox, not the system's macro for MessageBoxA.
#undef MessageBox

#include "core/ids.h"
#include "ui/control_table.h"
#include "win32/decoration.h"
#include "win32/dialog_template.h"
#include "win32/window_system.h"

namespace ostrel::win32 {

namespace {

ui::ControlKind KindOf(int dialog, int id) {
    for (const ui::ControlEntry& control : ui::ControlsOf(dialog)) {
        if (control.id == id)
            return control.kind;
    }
    return ui::ControlKind::Label;
}

bool IsEditNotification(WORD code) {
    switch (code) {
        case EN_CHANGE:
        case EN_UPDATE:
        case EN_VSCROLL:
        case EN_HSCROLL:
        case EN_SETFOCUS:
        case EN_KILLFOCUS:
            return true;
        default:
            return false;
    }
}

}  // namespace

ModalDialog::ModalDialog(Win32WindowSystem& windows, int dialog, DialogHandler& handler)
    : windows_(windows), dialog_(dialog), relay_(handler) {}

bool ModalDialog::Start() {
    HWND dialog = handle();
    HWND listing = nullptr;
    windows_.AddWindow(dialog_, dialog, [this](int result) { End(result); });
    for (int id : InitialChecks(dialog_))
        CheckDlgButton(dialog, id, BST_CHECKED);
    for (const ui::ControlEntry& control : ui::ControlsOf(dialog_)) {
        if (control.kind != ui::ControlKind::ListingEdit)
            continue;
        listing = GetDlgItem(dialog, control.id);
        SendMessageA(listing, WM_SETFONT, reinterpret_cast<WPARAM>(windows_.ListingFont()), FALSE);
        // Up to 2048 lines of 11 characters, and a pasted block more.
        SendMessageA(listing, EM_SETLIMITTEXT, 0, 0);
    }
    // The dialog shows before its behaviour sets it up (the EEPROM window reads the chip).
    ShowWindow(dialog, SW_SHOW);
    UpdateWindow(dialog);
    relay_.Init();
    if (!relay_.ended() && onShown)
        onShown();
    if (relay_.ended() || listing == nullptr)
        return false;
    // The listing takes the keys with its caret at the start; the dialog
    // manager would select all of it, and the first key typed would replace it.
    SetFocus(listing);
    SendMessageA(listing, EM_SETSEL, 0, 0);
    SendMessageA(listing, EM_SCROLLCARET, 0, 0);
    return true;
}

void ModalDialog::End(int result) {
    if (relay_.End(result))
        EndDialog(handle(), result);
}

void ModalDialog::Forward(int id) {
    relay_.Command(id);
}

void ModalDialog::ForwardNotify(int id) {
    relay_.EditNotify(id, windows_.settingText());
}

void ModalDialog::Fail(std::exception_ptr error) {
    windows_.Keep(std::move(error));
    // The dialog goes at once; RunModalDialog throws the error in the program's frames.
    End(0);
}

bool ModalDialog::Handle(unsigned message, std::uintptr_t wParam, std::intptr_t lParam,
                         std::intptr_t& result) {
    switch (message) {
        case WM_INITDIALOG:
            // TRUE: the system gives the focus to the first control that takes it.
            result = Start() ? FALSE : TRUE;
            return true;
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            const WORD code = HIWORD(wParam);
            const ui::ControlKind kind = lParam != 0 ? KindOf(dialog_, id) : ui::ControlKind::Label;
            if (kind == ui::ControlKind::ListingEdit) {
                if (IsEditNotification(code))
                    ForwardNotify(id);
            } else if (dialog_ == ids::kFusesWindow && kind == ui::ControlKind::ComboBox) {
                // The Fuses window follows a choice, and a byte field as it is typed in.
                if (code == CBN_SELCHANGE)
                    ForwardNotify(id);
            } else if (dialog_ == ids::kFusesWindow && kind == ui::ControlKind::ByteEdit) {
                if (code == EN_CHANGE)
                    ForwardNotify(id);
            } else if (code == BN_CLICKED) {
                // A button, a check box, or Enter and Escape (IDOK, IDCANCEL).
                Forward(id);
            }
            result = 0;
            return true;
        }
        case WM_CLOSE:
            // The close box: command 2, as Escape.
            Forward(ids::kCancelCommand);
            result = 0;
            return true;
        case WM_DRAWITEM:
            result = TRUE;
            return DrawDecoration(reinterpret_cast<const void*>(lParam));
        default:
            return false;
    }
}

}  // namespace ostrel::win32
