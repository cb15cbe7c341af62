// The cable test window: lists the states of the cable test as they happen,
// updates the reading of the state being held, and ends with the cable the
// loop-backs indicate. "Stop" (and Escape, the close box) ends the test
// early (the target is still released); once the test is over the button
// closes the window. It is owned by the main window, which takes no input
// while it shows.
#pragma once

#include <string>
#include <vector>

#include "adapter/cable_test.h"
#include "ui/cable_test.h"
#include "ui/desktop_session.h"
#include "win32/dialog_window.h"
#include "win32/window_system.h"

namespace ostrel::win32 {

// Control numbers of the window.
inline constexpr int kCableTestList = 100;
inline constexpr int kCableTestVerdict = 101;
inline constexpr int kCableTestButton = 2;  // Escape and the close box press it too

// Counted as a dialog of the command while it is there.
class CableTestWindow : public DialogWindow, public ui::CableTestView {
  public:
    CableTestWindow(Win32WindowSystem& windows, WindowHandle owner, const std::string& portName);
    ~CableTestWindow() override;
    CableTestWindow(const CableTestWindow&) = delete;
    CableTestWindow& operator=(const CableTestWindow&) = delete;

    // A reading of the test: a live one replaces the row of the state being
    // held, a final one fixes it.
    void Show(const adapter::CableReading& reading) override;
    // The test is over: the verdict shows and the button closes the window.
    void Finish(const adapter::CableTestResult& result);
    // Runs the window's own loop until it is closed (after Finish).
    void WaitUntilClosed();
    void Close() override;

    // --- ui::CableTestView ---
    bool Idle() override;
    void FinishAndWait(const adapter::CableTestResult& result) override;

    bool stopRequested() const { return flow_.stopRequested(); }
    bool running() const { return flow_.running(); }
    bool closed() const { return closed_; }
    std::vector<std::string> Rows() const;

    bool Handle(unsigned message, std::uintptr_t wParam, std::intptr_t lParam,
                std::intptr_t& result) override;
    void Fail(std::exception_ptr error) override;

  private:
    void Fit();
    void Press();

    Win32WindowSystem& windows_;
    Win32WindowSystem::DialogScope open_;
    WindowHandle owner_;
    ui::CableTestFlow flow_;
    bool closed_ = false;
};

}  // namespace ostrel::win32
