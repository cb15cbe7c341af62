// The desktop program on the offscreen platform, in a fresh start directory,
// with a virtual clock (no test ever waits) and virtual devices in place of
// the machine's ports (no test reaches real hardware). Message boxes and file
// dialogs are answered by the test; nothing is ever left open.
#pragma once

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QStringList>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/start_folder.h"
#include "core/clock.h"
#include "qt/desktop_program.h"
#include "tests/support/qt/scripted_qt_windows.h"
#include "tests/support/temp_dir.h"
#include "tests/support/virtual_device.h"
#include "ui/window_ends.h"

namespace ostrel::testing {

// The application object every GUI test needs, made once for the test program.
void EnsureApplication();

struct GuiRigOptions {
    bool deviceFile = true;       // ostrel.ini in the start directory
    bool parallelAccess = false;  // whether a parallel port can be reached
    // The rig's folder stands in for a start folder chosen this way (its
    // directory is replaced by the rig's folder).
    std::optional<app::StartFolder> startFolder = std::nullopt;
};

class GuiRig {
  public:
    explicit GuiRig(const GuiRigOptions& options = {});
    ~GuiRig();

    // Runs the start-up as main() does.
    bool Start(const std::optional<std::string>& commandLineFile = std::nullopt);
    // Ends the program as its window's destruction does and starts it again
    // in the same folder, as a user's next run.
    bool Restart();

    qt::DesktopProgram& program() { return *program_; }
    // The windows as the commands see them: scripted, and recorded.
    ScriptedQtWindows& windows() { return *scripted_; }
    // The program's own window system behind them.
    qt::QtWindowSystem& qtWindows() { return program_->windows(); }
    qt::MainWindow& window() { return program_->window(); }
    Programmer& p() { return program_->programmer(); }
    sim::AvrTarget& chip();

    // Controls of the main window.
    QWidget* Control(int id) { return window().Control(id); }
    QAbstractButton* Button(int id) { return qobject_cast<QAbstractButton*>(Control(id)); }
    QLineEdit* Field(int id) { return qobject_cast<QLineEdit*>(Control(id)); }
    QComboBox* DeviceList() { return qobject_cast<QComboBox*>(Control(1153)); }
    QAction* MenuItem(int command) { return window().MenuItem(command); }

    // A user's mouse click on a main window button or check box.
    void Click(int id);
    // A user's choice of a menu item.
    void Choose(int command);
    // Port > Simulator > chip.
    void ChooseSimulator(const std::string& chip);
    // File > Open answered with this file.
    void OpenFile(const std::string& path);

    // The texts the activity field showed, blanks at their ends dropped, in order.
    const std::vector<std::string>& activity() const { return activity_; }
    void ClearActivity() { activity_.clear(); }

    // The message boxes shown, as "title: text".
    std::vector<std::string> Messages() { return ui::TitledTexts(windows().messages); }
    std::string LastMessage();

    TempDir dir;
    VirtualClock clock;
    testing::VirtualDevices devices;

  private:
    void Build();

    GuiRigOptions options_;
    TempDir desktopDir_;  // the programs and desktop files of the rig's desktop
    std::unique_ptr<ScriptedQtWindows> scripted_;  // outlives the program it is in front of
    std::unique_ptr<qt::DesktopProgram> program_;
    std::vector<std::string> activity_;
};

// Desktops as the help and Look for new version meet them.
enum class DesktopKind {
    NoBrowser,       // no xdg-open, no browser at all
    TerminalEditor,  // xdg-open's choice for everything is a terminal editor
    Browser,         // a browser for web pages, a file manager for folders
};
// Builds such a desktop in `dir` (its programs are files that are never run).
qt::LauncherEnvironment FakeDesktop(const TempDir& dir, DesktopKind kind);

// True when `wanted` appear in `seen` in this order (other entries may lie
// between). A wanted text that begins with '*' matches any text ending in the rest.
bool InOrder(const std::vector<std::string>& seen, const std::vector<std::string>& wanted);

}  // namespace ostrel::testing
