// The cable test window: lists the states of the cable test as they happen,
// updates the reading of the state being held, and ends with the cable the
// loop-backs indicate. "Stop" ends the test early (the target is still
// released); once the test is over the button closes the window.
#pragma once

#include <QDialog>
#include <QString>

#include "adapter/cable_test.h"
#include "core/ids.h"
#include "qt/qt_window_system.h"
#include "ui/cable_test.h"
#include "ui/desktop_session.h"

class QLabel;
class QListWidget;
class QPushButton;

namespace ostrel::qt {

// Port > "Cable Test": a command number of our own, next to the simulator's.
inline constexpr int kCableTestCommand = ids::kCableTest;

// Modal, and counted as a dialog of the command while it is there.
class CableTestWindow : public QDialog, public ui::CableTestView {
    Q_OBJECT
  public:
    CableTestWindow(QtWindowSystem& windows, QWidget* parent, const QString& portName);

    // A reading of the test: a live one replaces the row of the state being
    // held, a final one fixes it.
    void Show(const adapter::CableReading& reading) override;
    // The test is over: the verdict shows and the button closes the window.
    void Finish(const adapter::CableTestResult& result);

    // --- ui::CableTestView ---
    bool Idle() override;
    void Close() override { hide(); }
    void FinishAndWait(const adapter::CableTestResult& result) override;

    bool stopRequested() const { return flow_.stopRequested(); }
    bool running() const { return flow_.running(); }
    QListWidget* list() const { return list_; }
    QLabel* verdict() const { return verdict_; }
    QPushButton* button() const { return button_; }

  protected:
    void reject() override;

  private:
    QtWindowSystem& windows_;
    QtWindowSystem::DialogScope open_;
    QListWidget* list_ = nullptr;
    QLabel* verdict_ = nullptr;
    QPushButton* button_ = nullptr;
    ui::CableTestFlow flow_;
};

}  // namespace ostrel::qt
