#include "qt/desktop_program.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDebug>
#include <QTimer>

#include "core/ids.h"
#include "qt/cable_test_window.h"

namespace ostrel::qt {

namespace {

// The desktop program's console is where the simulator's notes go.
void Warn(const std::string& line) {
    qWarning("ostrel: %s", line.c_str());
}

}  // namespace

DesktopProgram::DesktopProgram(const DesktopOptions& options)
    : startFolder_(ui::ChooseDesktopStartFolder(options)),
      assembly_(std::make_unique<app::Assembly>(
          windows_, ui::DesktopAssemblyOptions(options, startFolder_, Warn))) {
    window_ =
        std::make_unique<MainWindow>([this](int command) { return Command(command); },
                                     [this](const std::string& chip) { ChooseSimulatorChip(chip); },
                                     [this](uint32_t hz) { ChooseSimulatorClock(hz); },
                                     ui::MenuMachineOf(assembly_->programmer()));
    windows_.AddWindow(ids::kMainWindow, window_.get(), window_->controls(),
                       [this](int result) { window_->End(result); });
    for (const auto& [command, action] : window_->menuItems())
        windows_.AddMenuItem(command, action);
    session_ = std::make_unique<ui::DesktopSession>(
        *assembly_, static_cast<ui::DesktopWindow&>(*this), startFolder_,
        qEnvironmentVariable("HOME").toStdString());
    session_->ShowSimulator();
}

DesktopProgram::~DesktopProgram() {
    interruptTimer_.reset();
    Destroy();
    windows_.RemoveWindow(ids::kMainWindow);
}

void DesktopProgram::WatchInterrupts(std::function<int()> pending) {
    pendingInterrupt_ = std::move(pending);
    interruptTimer_ = std::make_unique<QTimer>();
    QObject::connect(interruptTimer_.get(), &QTimer::timeout, [this] {
        if (pendingInterrupt_)
            Interrupted(pendingInterrupt_());
    });
    interruptTimer_->start(100);
}

// --- the main window as the session sees it ---------------------------------

void DesktopProgram::ShowOnActivityLine(const std::vector<std::string>& lines,
                                        const std::string& tip) {
    QStringList shown;
    for (const std::string& line : lines)
        shown.push_back(QString::fromStdString(line));
    window_->ShowOnActivityLine(shown, QString::fromStdString(tip));
}

void DesktopProgram::SetTip(int item, const std::string& tip) {
    if (QWidget* control = window_->Control(item))
        control->setToolTip(QString::fromStdString(tip));
}

bool DesktopProgram::CommandDialogOpen() {
    return windows_.openDialogs() > 0;
}

bool DesktopProgram::RaiseOpenModal() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr)
        return false;
    modal->raise();
    modal->activateWindow();
    return true;
}

void DesktopProgram::Note(const std::string& line) {
    Warn(line);
}

namespace {

// The cable test window, modal, counted as a dialog of the command while it
// is open.
class CableTestView : public ui::CableTestView {
  public:
    CableTestView(QtWindowSystem& windows, QWidget* owner, const std::string& portName)
        : windows_(windows), open_(windows), box_(owner, QString::fromStdString(portName)) {
        box_.setWindowModality(Qt::ApplicationModal);
        box_.show();
    }

    void Show(const adapter::CableReading& reading) override { box_.Show(reading); }
    bool Idle() override {
        QCoreApplication::processEvents();
        return !box_.stopRequested();
    }
    void Close() override { box_.hide(); }
    void FinishAndWait(const adapter::CableTestResult& result) override {
        box_.Finish(result);
        if (windows_.automation.enabled) {
            QTimer::singleShot(0, &box_, [this] {
                if (windows_.automation.dialogScript)
                    windows_.automation.dialogScript(kCableTestCommand, box_);
                if (box_.isVisible()) {
                    ++windows_.dialogsLeftOpen;
                    box_.done(0);
                }
            });
        }
        box_.exec();
    }

  private:
    QtWindowSystem& windows_;
    QtWindowSystem::DialogScope open_;
    CableTestWindow box_;
};

}  // namespace

std::unique_ptr<ui::CableTestView> DesktopProgram::OpenCableTest(const std::string& portName) {
    return std::make_unique<CableTestView>(windows_, window_.get(), portName);
}

}  // namespace ostrel::qt
