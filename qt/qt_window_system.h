// The window system of the desktop program: window and control numbers are
// mapped to the widgets of the main window and of the dialog that is open.
//
// Whoever drives the windows other than a person (the screenshot mode, a
// wrapper of the tests in front of it) is told when a message box or a dialog
// of the program runs, from inside its loop, and may stand in for starting
// the desktop's browser or file manager.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QIcon>
#include <QMessageBox>
#include <QPointer>
#include <QUrl>
#include <QWidget>

#include "core/window_system.h"
#include "qt/control_builder.h"
#include "qt/desktop_launcher.h"
#include "ui/window_ends.h"

class QAction;
class QComboBox;
class QDialog;
class QTextBrowser;

namespace ostrel::qt {

class ListingEdit;

class QtWindowSystem : public WindowSystem {
  public:
    QtWindowSystem();
    ~QtWindowSystem() override;
    QtWindowSystem(const QtWindowSystem&) = delete;
    QtWindowSystem& operator=(const QtWindowSystem&) = delete;

    // --- the windows it serves ---
    // A window, its numbered controls and what ending it does.
    void AddWindow(int window, QWidget* widget, const ControlMap& controls,
                   std::function<void(int result)> onEnd);
    void RemoveWindow(int window);
    // A menu item's action, by command number.
    void AddMenuItem(int command, QAction* action);
    QWidget* Window(int window) const;
    QWidget* Item(int window, int item) const;

    // --- WindowSystem ---
    void SetItemText(int window, int item, std::string_view text) override;
    std::string ItemText(int window, int item) override;
    void EnableItem(int window, int item, bool enabled) override;
    void CheckItem(int window, int item, bool checked) override;
    bool IsItemChecked(int window, int item) override;
    void ShowItem(int window, int item, bool shown) override;
    void SetChoices(int window, int item, const std::vector<std::string>& choices) override;
    void CheckMenuItem(int command, bool checked) override;
    void Repaint(int window) override;
    // The main window's progress bar takes the figure.
    void ShowProgress(const std::optional<Progress>& progress) override;
    void ProcessPendingEvents() override;

    void AddListEntry(std::string_view name) override;
    int ListCount() override;
    std::string ListEntry(int index) override;
    void SelectListEntry(int index) override;
    int SelectedListEntry() override;

    TextSelection Selection(int window, int item) override;
    bool IsModified(int window, int item) override;
    void ResetText(int window, int item, std::string_view text) override;

    MsgResult MessageBox(int owner, std::string_view text, std::string_view title,
                         MsgButtons buttons, MessageKind kind) override;
    void Beep() override;
    std::optional<std::string> AskOpenFile(std::string_view title, std::string_view filterName,
                                           std::string_view patterns,
                                           std::string_view startFolder) override;
    bool OpenDocument(std::string_view pathOrUrl) override;
    int RunModalDialog(int dialog, int owner, DialogHandler& handler) override;
    void EndWindow(int window, int result) override;

    // --- for what drives the windows other than a person ---
    // Told once a message box shows, inside its loop, before it is answered.
    std::function<void(QMessageBox& box)> onMessageShown;
    // Told once a dialog of the program runs, inside its loop: a modal
    // dialog (by its number) once its behaviour has set it up, the cable
    // test window (kCableTestCommand) once its verdict shows.
    std::function<void(int dialog, QDialog& shown)> onDialogRunning;
    // Stands in for starting the desktop's program for a web page or a
    // folder, once one was found; unset, it is started.
    std::function<bool(const Launcher& launcher, const QUrl& url)> startLauncher;
    // The window system the program's commands see (a wrapper in front of
    // this one, or this one): the boxes this one shows of its own (a link
    // without a browser, a page that cannot be shown) go through it.
    void SetFront(WindowSystem& front) { front_ = &front; }

    // Dialogs of the program open now (RunModalDialog, the cable test
    // window). While one is open its own handlers may run a command's steps,
    // so a stop must not be asked for then (core/activity.h).
    int openDialogs() const { return openDialogs_; }
    // Counts a dialog as open for its lifetime.
    class DialogScope {
      public:
        explicit DialogScope(QtWindowSystem& windows) : windows_(windows) {
            ++windows_.openDialogs_;
        }
        ~DialogScope() { --windows_.openDialogs_; }
        DialogScope(const DialogScope&) = delete;
        DialogScope& operator=(const DialogScope&) = delete;

      private:
        QtWindowSystem& windows_;
    };

    // The program's own page window, where the help page shows; null until
    // it was needed. Links that leave the page go to the desktop's browser.
    QTextBrowser* PageWindow() const { return pageWindow_.get(); }

    // Where a browser or file manager is looked for; unset: this machine's
    // (the GUI tests set one of their own, so that nothing is started).
    std::optional<LauncherEnvironment> launcherEnvironment;

  private:
    struct WindowEntry {
        QPointer<QWidget> widget;
        std::map<int, QPointer<QWidget>> controls;
    };
    ListingEdit* Listing(int window, int item) const;
    QComboBox* DeviceList() const;

    bool ShowInPageWindow(const QUrl& url);
    // A web page or a folder, in the desktop's program for it when it has
    // one that shows it in a window; false when it has none.
    bool OpenOutside(const QUrl& url);
    // A link clicked in the page window.
    void FollowLink(const QUrl& link);

    std::map<int, WindowEntry> windows_;
    ui::WindowEnds ends_;
    std::map<int, QPointer<QAction>> menuItems_;
    std::unique_ptr<QTextBrowser> pageWindow_;
    WindowSystem* front_ = this;
    int openDialogs_ = 0;
};

// The largest file the page window shows: the help page is some 30 KB.
inline constexpr std::uintmax_t kMaxPageBytes = 4 * 1024 * 1024;
// Why a local file cannot be shown in the page window (no plain file, too
// large); empty when it can.
std::string PageProblem(const std::string& path);

// Sets a progress bar to a percentage, or, with none, to show that a command
// is busy without a figure. Does nothing for a widget that is no bar.
void ShowFigure(QWidget* bar, std::optional<int> percent);

// The program's icon, for its windows and message boxes.
QIcon ProgramIcon();

// Qt's filter line for a file dialog: the name and the patterns ("*.hex;*.eep")
// as "name (*.hex *.eep)".
QString FileDialogFilter(std::string_view filterName, std::string_view patterns);

// What OpenDocument hands to the desktop: a web address as it is, a file path
// (which may end in "#section") as a file URL.
QUrl DocumentUrl(std::string_view pathOrUrl);

}  // namespace ostrel::qt
