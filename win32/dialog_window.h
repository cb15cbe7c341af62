// Every window of the program is a dialog made from a template: the main
// window (modeless, the program's loop runs it) and the modal dialogs. One
// dialog procedure serves them all and hands each message to the object
// behind the window. No exception ever leaves it into the system's frames:
// what a handler throws is caught there, given to the object (Fail), and
// thrown again by the program's own code once the system call that
// dispatched the message has returned.
#pragma once

#include <cstdint>
#include <exception>
#include <vector>

struct HWND__;

namespace ostrel::win32 {

using WindowHandle = HWND__*;

class DialogWindow {
  public:
    virtual ~DialogWindow() = default;
    WindowHandle handle() const { return handle_; }

    // The procedure's part: the object's answer to one message. True when it
    // handled the message; `result` is then the procedure's return value.
    virtual bool Handle(unsigned message, std::uintptr_t wParam, std::intptr_t lParam,
                        std::intptr_t& result) = 0;
    // A handler threw: the object keeps the exception for its caller.
    virtual void Fail(std::exception_ptr error) = 0;

  private:
    friend void AttachDialog(DialogWindow& window, WindowHandle handle);
    WindowHandle handle_ = nullptr;
};

// Creates a modeless dialog from a template; null when the system refused.
WindowHandle CreateModelessDialog(DialogWindow& window, const std::vector<std::uint32_t>& tmpl,
                                  WindowHandle owner);
// Runs a modal dialog from a template to its end; -1 when the system refused.
std::intptr_t RunModalDialogBox(DialogWindow& window, const std::vector<std::uint32_t>& tmpl,
                                WindowHandle owner);

}  // namespace ostrel::win32
