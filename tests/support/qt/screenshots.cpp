// ostrel-screenshots FOLDER: the desktop program as tools/screenshot shows
// it, not installed. It starts as ostrel does in the current folder, with its
// window system behind the scripted one of the GUI tests (every box answered
// OK, no browser started), runs Check (and, when a data file was reopened,
// Write with "Program eep- after hexfile" on), saves pictures of the main
// window while the Write runs and after it, the help page in its viewer, the
// instructions dialog, the EEPROM window, the Fuses window and the wiring
// picture into FOLDER, and ends; 0 when all were saved.
#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QProgressBar>
#include <QTextBrowser>

#include <cstdio>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/ids.h"
#include "qt/cable_test_window.h"
#include "qt/desktop_program.h"
#include "qt/modal_dialog.h"
#include "tests/support/qt/scripted_qt_windows.h"
#include "ui/window_ends.h"

namespace {

using ostrel::qt::ModalDialog;
using ostrel::testing::ScriptedQtWindows;
namespace ids = ostrel::ids;

// How many pictures a full run saves.
constexpr int kScreenshots = 7;

bool Save(QWidget& widget, const QString& folder, const QString& name) {
    QCoreApplication::processEvents();
    widget.repaint();
    QString path = QDir(folder).filePath(name);
    bool saved = widget.grab().save(path, "PNG");
    if (!saved)
        qWarning("ostrel: cannot save %s", qPrintable(path));
    return saved;
}

QString PictureName(int dialog) {
    switch (dialog) {
        case ids::kInstructionsDialog:
            return QStringLiteral("screenshot-instructions.png");
        case ids::kEepromWindow:
            return QStringLiteral("screenshot-eeprom.png");
        case ids::kWiringDialog:
            return QStringLiteral("screenshot-wiring.png");
        case ids::kFusesWindow:
            return QStringLiteral("screenshot-fuses.png");
        default:
            return QStringLiteral("screenshot-%1.png").arg(dialog);
    }
}

void Click(ModalDialog& dialog, int id) {
    auto it = dialog.controls().find(id);
    if (it == dialog.controls().end())
        return;
    if (auto* button = qobject_cast<QAbstractButton*>(it->second))
        button->click();
}

int TakeScreenshots(ostrel::qt::DesktopProgram& program, ScriptedQtWindows& scripted,
                    const QString& folder) {
    ostrel::qt::QtWindowSystem& windows = program.windows();
    int saved = 0;
    // A dialog the script leaves open (the cable test window) is ended.
    scripted.automation.dialogScript = [&](int dialog, QDialog& shown) {
        auto* modal = dynamic_cast<ModalDialog*>(&shown);
        if (modal == nullptr)
            return;
        ModalDialog& box = *modal;
        // The instructions dialog is shown after one Send/Rec. of its default instruction.
        if (dialog == ids::kInstructionsDialog)
            Click(box, ids::kSendRec);
        if (Save(box, folder, PictureName(dialog)))
            ++saved;
        if (dialog == ids::kEepromWindow) {
            Click(box, ids::kEepromExit);
        } else {
            box.reject();
        }
    };

    program.session().Command(ids::kCheck);
    const ostrel::ProgrammerState& state = program.programmer().state;
    if (state.fileLoaded) {
        // A flash file is written together with its EEPROM file, so the
        // EEPROM window has data to show. Half-way through, the window is
        // taken as it looks while a command runs: progress bar and Stop.
        if (!state.eepromFile)
            program.session().Command(ids::kProgramEepAfterHex);
        bool taken = false;
        auto* activity = qobject_cast<QLineEdit*>(program.window().Control(ids::kActivity));
        QMetaObject::Connection during =
            QObject::connect(activity, &QLineEdit::textChanged, activity, [&](const QString&) {
                // The bar has the figure of this text already: the progress
                // event comes just before the text.
                auto* bar =
                    qobject_cast<QProgressBar*>(program.window().Control(ids::kProgressBar));
                if (taken || bar == nullptr || bar->maximum() != 100 || bar->value() < 40 ||
                    !program.window().busy())
                    return;
                taken = true;
                // The signal comes before the field scrolls back to the text's start.
                activity->setCursorPosition(0);
                if (Save(program.window(), folder, QStringLiteral("screenshot-write.png")))
                    ++saved;
            });
        program.session().Command(ids::kWrite);
        QObject::disconnect(during);
    }
    if (Save(program.window(), folder, QStringLiteral("screenshot-main.png")))
        ++saved;
    // The help page in the program's own viewer, at the main window's section.
    program.session().Command(ids::kHelpTopics);
    if (QTextBrowser* page = windows.PageWindow()) {
        page->scrollToAnchor(QStringLiteral("window"));
        if (Save(*page, folder, QStringLiteral("screenshot-help.png")))
            ++saved;
        page->close();
    }
    program.session().Command(ids::kFuseBits);
    program.session().Command(ids::kDataWindow);
    program.session().Command(ids::kFuses);
    program.session().Command(ids::kWiringPicture);
    scripted.automation.dialogScript = nullptr;
    program.session().Command(ids::kExit);
    for (const std::string& message : ostrel::ui::TitledTexts(scripted.messages))
        qInfo("ostrel: message box %s", message.c_str());
    return saved == kScreenshots ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: ostrel-screenshots FOLDER\n");
        return 2;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ostrel"));
    QApplication::setWindowIcon(ostrel::qt::ProgramIcon());
    const QString folder = QString::fromLocal8Bit(argv[1]);
    try {
        std::unique_ptr<ScriptedQtWindows> scripted;  // outlives the program it is in front of
        ostrel::qt::DesktopProgram program(
            {}, [&](ostrel::qt::QtWindowSystem& own) -> ostrel::WindowSystem& {
                scripted = std::make_unique<ScriptedQtWindows>(own);
                return *scripted;
            });
        scripted->automation.enabled = true;
        int status = 1;  // no pictures when the program did not start
        if (program.session().Start(std::nullopt))
            status = TakeScreenshots(program, *scripted, folder);
        program.session().Destroy();
        return status;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "ostrel-screenshots: %s\n", error.what());
    }
    return 1;
}
