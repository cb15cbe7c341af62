#include "win32/dialog_window.h"

#include <windows.h>

namespace ostrel::win32 {

void AttachDialog(DialogWindow& window, WindowHandle handle) {
    window.handle_ = handle;
}

namespace {

INT_PTR CALLBACK DialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* window = reinterpret_cast<DialogWindow*>(GetWindowLongPtrA(dialog, DWLP_USER));
    if (message == WM_INITDIALOG) {
        window = reinterpret_cast<DialogWindow*>(lParam);
        SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(window));
        AttachDialog(*window, dialog);
    }
    if (window == nullptr)
        return FALSE;  // the messages before WM_INITDIALOG
    try {
        std::intptr_t result = 0;
        if (!window->Handle(message, static_cast<std::uintptr_t>(wParam),
                            static_cast<std::intptr_t>(lParam), result))
            return message == WM_INITDIALOG ? TRUE : FALSE;
        // A dialog procedure gives most answers through DWLP_MSGRESULT; the
        // few that it returns itself are the handler's result as it is.
        switch (message) {
            case WM_INITDIALOG:
            case WM_CTLCOLORBTN:
            case WM_CTLCOLORDLG:
            case WM_CTLCOLOREDIT:
            case WM_CTLCOLORLISTBOX:
            case WM_CTLCOLORSCROLLBAR:
            case WM_CTLCOLORSTATIC:
            case WM_CHARTOITEM:
            case WM_VKEYTOITEM:
            case WM_COMPAREITEM:
            case WM_QUERYDRAGICON:
                return static_cast<INT_PTR>(result);
            default:
                SetWindowLongPtrA(dialog, DWLP_MSGRESULT, static_cast<LONG_PTR>(result));
                return TRUE;
        }
    } catch (...) {
        window->Fail(std::current_exception());
        return TRUE;
    }
}

}  // namespace

WindowHandle CreateModelessDialog(DialogWindow& window, const std::vector<std::uint32_t>& tmpl,
                                  WindowHandle owner) {
    return CreateDialogIndirectParamA(GetModuleHandleA(nullptr),
                                      reinterpret_cast<LPCDLGTEMPLATEA>(tmpl.data()), owner,
                                      DialogProcedure, reinterpret_cast<LPARAM>(&window));
}

std::intptr_t RunModalDialogBox(DialogWindow& window, const std::vector<std::uint32_t>& tmpl,
                                WindowHandle owner) {
    return DialogBoxIndirectParamA(GetModuleHandleA(nullptr),
                                   reinterpret_cast<LPCDLGTEMPLATEA>(tmpl.data()), owner,
                                   DialogProcedure, reinterpret_cast<LPARAM>(&window));
}

}  // namespace ostrel::win32
