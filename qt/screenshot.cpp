#include "qt/screenshot.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QProgressBar>
#include <QTextBrowser>

#include <optional>
#include <string>
#include <vector>

#include "core/ids.h"
#include "qt/cable_test_window.h"
#include "qt/desktop_program.h"
#include "qt/modal_dialog.h"

namespace ostrel::qt {

namespace {

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

}  // namespace

void PrepareScreenshots(DesktopProgram& program, std::vector<std::string>& shownBoxes) {
    // Every box is answered OK once it shows; a dialog the pictures do not
    // ask for is closed at once.
    QtWindowSystem& windows = program.windows();
    windows.onMessageShown = [&shownBoxes](QMessageBox& box) {
        shownBoxes.push_back(box.windowTitle().toStdString() + ": " + box.text().toStdString());
        box.button(QMessageBox::Ok)->click();
    };
    windows.onDialogRunning = [](int /*dialog*/, QDialog& shown) { shown.done(0); };
    // No browser or file manager is started.
    windows.startLauncher = [](const Launcher&, const QUrl&) { return true; };
}

int TakeScreenshots(DesktopProgram& program, const QString& folder,
                    const std::vector<std::string>& shownBoxes) {
    QtWindowSystem& windows = program.windows();
    int saved = 0;
    const auto closeOnly = windows.onDialogRunning;
    windows.onDialogRunning = [&](int dialog, QDialog& shown) {
        if (dialog == kCableTestCommand) {
            shown.done(0);
            return;
        }
        auto& box = static_cast<ModalDialog&>(shown);
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
    const ProgrammerState& state = program.programmer().state;
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
    windows.onDialogRunning = closeOnly;
    program.session().Command(ids::kExit);
    for (const std::string& message : shownBoxes)
        qInfo("ostrel: message box %s", message.c_str());
    return saved == kScreenshots ? 0 : 1;
}

}  // namespace ostrel::qt
