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

DesktopProgram::DesktopProgram(const DesktopOptions& options, const FrontWindows& front)
    : startFolder_(ui::ChooseDesktopStartFolder(options)),
      front_(front ? front(windows_) : windows_),
      assembly_(std::make_unique<app::Assembly>(
          front_, ui::DesktopAssemblyOptions(options, startFolder_, Warn))) {
    windows_.SetFront(front_);
    window_ = std::make_unique<MainWindow>(ui::ActionsOf(session_),
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
    session_->Destroy();
    windows_.RemoveWindow(ids::kMainWindow);
}

void DesktopProgram::WatchInterrupts(std::function<int()> pending) {
    pendingInterrupt_ = std::move(pending);
    interruptTimer_ = std::make_unique<QTimer>();
    QObject::connect(interruptTimer_.get(), &QTimer::timeout, [this] {
        if (pendingInterrupt_)
            session_->Interrupted(pendingInterrupt_());
    });
    interruptTimer_->start(100);
}

// --- the main window as the session sees it ---------------------------------

void DesktopProgram::ShowOnActivityLine(const std::vector<std::string>& lines,
                                        const std::string& tip) {
    window_->ShowOnActivityLine(lines, QString::fromStdString(tip));
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

std::unique_ptr<ui::CableTestView> DesktopProgram::OpenCableTest(const std::string& portName) {
    return std::make_unique<CableTestWindow>(windows_, window_.get(),
                                             QString::fromStdString(portName));
}

}  // namespace ostrel::qt
