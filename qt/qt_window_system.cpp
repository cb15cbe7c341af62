#include "qt/qt_window_system.h"

#include <cstdint>
#include <filesystem>
#include <system_error>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTextBrowser>
#include <QTimer>
#include <QUrl>

#include "core/ids.h"
#include "platform/model_window_system.h"
#include "platform/texts.h"
#include "qt/desktop_launcher.h"
#include "qt/modal_dialog.h"
#include "qt/resources.h"
#include "qt/widgets.h"
#include "ui/window_ends.h"

namespace ostrel::qt {

namespace {

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToUtf8(const QString& text) {
    return text.toUtf8().toStdString();
}

QMessageBox::Icon IconOf(MessageKind kind) {
    switch (kind) {
        case MessageKind::Error:
            return QMessageBox::Critical;
        case MessageKind::Warning:
            return QMessageBox::Warning;
        case MessageKind::Question:
            return QMessageBox::Question;
        case MessageKind::Information:
            break;
    }
    return QMessageBox::Information;
}

}  // namespace

QIcon ProgramIcon() {
    InitResources();
    return QIcon(QStringLiteral(":/ostrel/ostrel.svg"));
}

QString FileDialogFilter(std::string_view filterName, std::string_view patterns) {
    QString list = FromUtf8(patterns);
    list.replace(QLatin1Char(';'), QLatin1Char(' '));
    return FromUtf8(filterName) + QStringLiteral(" (") + list + QStringLiteral(")");
}

QUrl DocumentUrl(std::string_view pathOrUrl) {
    QString target = FromUtf8(pathOrUrl);
    if (target.contains(QStringLiteral("://")))
        return QUrl(target);
    // A file path may end in "#section"; the part before it names the file.
    QString file = target;
    QString fragment;
    qsizetype hash = target.lastIndexOf(QLatin1Char('#'));
    if (hash > 0 && !QFileInfo::exists(target)) {
        file = target.left(hash);
        fragment = target.mid(hash + 1);
    }
    QUrl url = QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath());
    if (!fragment.isEmpty())
        url.setFragment(fragment);
    return url;
}

// --- the windows it serves ---------------------------------------------------

void QtWindowSystem::AddWindow(int window, QWidget* widget, const ControlMap& controls,
                               std::function<void(int result)> onEnd) {
    WindowEntry entry;
    entry.widget = widget;
    for (const auto& [id, control] : controls)
        entry.controls[id] = control;
    windows_[window] = std::move(entry);
    ends_.Set(window, std::move(onEnd));
}

void QtWindowSystem::RemoveWindow(int window) {
    windows_.erase(window);
    ends_.Remove(window);
}

void QtWindowSystem::AddMenuItem(int command, QAction* action) {
    menuItems_[command] = action;
}

QWidget* QtWindowSystem::Window(int window) const {
    auto it = windows_.find(window);
    return it == windows_.end() ? nullptr : it->second.widget.data();
}

QWidget* QtWindowSystem::Item(int window, int item) const {
    auto it = windows_.find(window);
    if (it == windows_.end())
        return nullptr;
    auto control = it->second.controls.find(item);
    return control == it->second.controls.end() ? nullptr : control->second.data();
}

ListingEdit* QtWindowSystem::Listing(int window, int item) const {
    return qobject_cast<ListingEdit*>(Item(window, item));
}

QComboBox* QtWindowSystem::DeviceList() const {
    return qobject_cast<QComboBox*>(Item(ids::kMainWindow, ids::kDeviceList));
}

// --- controls -------------------------------------------------------------

void QtWindowSystem::SetItemText(int window, int item, std::string_view text) {
    QWidget* widget = Item(window, item);
    if (auto* listing = qobject_cast<ListingEdit*>(widget)) {
        listing->SetListing(text);
    } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        edit->setText(FromUtf8(text));
        edit->setCursorPosition(0);
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        button->setText(FromUtf8(text));
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setText(FromUtf8(text));
    } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
        combo->setCurrentIndex(combo->findText(FromUtf8(text)));
    }
}

std::string QtWindowSystem::ItemText(int window, int item) {
    QWidget* widget = Item(window, item);
    if (auto* listing = qobject_cast<ListingEdit*>(widget))
        return listing->Listing();
    if (auto* edit = qobject_cast<QLineEdit*>(widget))
        return ToUtf8(edit->text());
    if (auto* button = qobject_cast<QAbstractButton*>(widget))
        return ToUtf8(button->text());
    if (auto* label = qobject_cast<QLabel*>(widget))
        return ToUtf8(label->text());
    if (auto* combo = qobject_cast<QComboBox*>(widget))
        return ToUtf8(combo->currentText());
    return {};
}

void QtWindowSystem::EnableItem(int window, int item, bool enabled) {
    if (QWidget* widget = Item(window, item))
        widget->setEnabled(enabled);
}

void QtWindowSystem::CheckItem(int window, int item, bool checked) {
    if (auto* button = qobject_cast<QAbstractButton*>(Item(window, item))) {
        if (button->isCheckable())
            button->setChecked(checked);
    }
}

bool QtWindowSystem::IsItemChecked(int window, int item) {
    auto* button = qobject_cast<QAbstractButton*>(Item(window, item));
    return button != nullptr && button->isChecked();
}

void QtWindowSystem::ShowItem(int window, int item, bool shown) {
    if (QWidget* widget = Item(window, item))
        widget->setVisible(shown);
}

void QtWindowSystem::SetChoices(int window, int item, const std::vector<std::string>& choices) {
    auto* combo = qobject_cast<QComboBox*>(Item(window, item));
    if (combo == nullptr || combo == DeviceList())
        return;
    const QSignalBlocker quiet(combo);
    combo->clear();
    for (const std::string& choice : choices)
        combo->addItem(FromUtf8(choice));
    combo->setCurrentIndex(-1);
}

void QtWindowSystem::CheckMenuItem(int command, bool checked) {
    auto it = menuItems_.find(command);
    if (it == menuItems_.end() || it->second.isNull())
        return;
    it->second->setChecked(checked);
}

void QtWindowSystem::Repaint(int window) {
    if (QWidget* widget = Window(window))
        widget->repaint();
}

void ShowFigure(QWidget* widget, std::optional<int> percent) {
    auto* bar = qobject_cast<QProgressBar*>(widget);
    if (bar == nullptr)
        return;
    if (percent) {
        bar->setRange(0, 100);
        bar->setValue(*percent);
    } else {
        // Busy without a figure: the bar shows that something runs.
        bar->setRange(0, 0);
    }
}

void QtWindowSystem::ShowProgress(const std::optional<Progress>& progress) {
    ShowFigure(Item(ids::kMainWindow, ids::kProgressBar),
               progress ? std::optional<int>(progress->Percent()) : std::nullopt);
}

void QtWindowSystem::ProcessPendingEvents() {
    QCoreApplication::processEvents();
}

// --- the device list ----------------------------------------------------------

void QtWindowSystem::AddListEntry(std::string_view name) {
    QComboBox* combo = DeviceList();
    if (combo == nullptr)
        return;
    std::vector<std::string> entries;
    entries.reserve(static_cast<std::size_t>(combo->count()));
    for (int i = 0; i < combo->count(); ++i)
        entries.push_back(ToUtf8(combo->itemText(i)));
    int selected = combo->currentIndex();
    int position = SortedInsertPosition(entries, name);
    combo->insertItem(position, FromUtf8(name));
    // A list gets its selection only when it is asked to select.
    if (selected < 0)
        combo->setCurrentIndex(-1);
}

int QtWindowSystem::ListCount() {
    QComboBox* combo = DeviceList();
    return combo == nullptr ? 0 : combo->count();
}

std::string QtWindowSystem::ListEntry(int index) {
    QComboBox* combo = DeviceList();
    if (combo == nullptr || index < 0 || index >= combo->count())
        return {};
    return ToUtf8(combo->itemText(index));
}

void QtWindowSystem::SelectListEntry(int index) {
    QComboBox* combo = DeviceList();
    if (combo == nullptr)
        return;
    combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
}

int QtWindowSystem::SelectedListEntry() {
    QComboBox* combo = DeviceList();
    return combo == nullptr ? -1 : combo->currentIndex();
}

// --- the EEPROM listing ---------------------------------------------------

TextSelection QtWindowSystem::Selection(int window, int item) {
    ListingEdit* listing = Listing(window, item);
    return listing == nullptr ? TextSelection{} : listing->ListingSelection();
}

bool QtWindowSystem::IsModified(int window, int item) {
    ListingEdit* listing = Listing(window, item);
    return listing != nullptr && listing->IsModified();
}

void QtWindowSystem::ResetText(int window, int item, std::string_view text) {
    if (ListingEdit* listing = Listing(window, item))
        listing->SetListing(text);
}

// --- messages, files, documents, dialogs ------------------------------------

MsgResult QtWindowSystem::MessageBox(int owner, std::string_view text, std::string_view title,
                                     MsgButtons buttons, MessageKind kind) {
    QMessageBox box(
        IconOf(kind), FromUtf8(title), FromUtf8(text),
        buttons == MsgButtons::Ok ? QMessageBox::Ok : QMessageBox::Ok | QMessageBox::Cancel,
        owner == ids::kNoOwner ? nullptr : Window(owner));
    box.setWindowIcon(ProgramIcon());
    box.setDefaultButton(buttons == MsgButtons::OkCancelDefaultCancel ? QMessageBox::Cancel
                                                                      : QMessageBox::Ok);
    box.setEscapeButton(buttons == MsgButtons::Ok ? QMessageBox::Ok : QMessageBox::Cancel);

    if (onMessageShown)
        QTimer::singleShot(0, &box, [this, &box] { onMessageShown(box); });
    box.exec();
    if (buttons == MsgButtons::Ok)
        return MsgResult::Ok;
    return box.clickedButton() == box.button(QMessageBox::Cancel) ? MsgResult::Cancel
                                                                  : MsgResult::Ok;
}

void QtWindowSystem::Beep() {
    QApplication::beep();
}

std::optional<std::string> QtWindowSystem::AskOpenFile(std::string_view title,
                                                       std::string_view filterName,
                                                       std::string_view patterns,
                                                       std::string_view startFolder) {
    QString filter = FileDialogFilter(filterName, patterns);
    QFileDialog dialog(nullptr, FromUtf8(title),
                       QFile::decodeName(std::string(startFolder).c_str()));
    dialog.setNameFilters({filter, FromUtf8(kAllFilesFilter) + QStringLiteral(" (*)")});
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // Only a file that exists can be chosen: a typed name of none is refused
    // in the dialog, not later by the command that would read it.
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return std::string(QFile::encodeName(dialog.selectedFiles().constFirst()).constData());
}

QtWindowSystem::QtWindowSystem() = default;

QtWindowSystem::~QtWindowSystem() = default;

bool QtWindowSystem::OpenDocument(std::string_view pathOrUrl) {
    QUrl url = DocumentUrl(pathOrUrl);
    // A local page (the help page) shows in the program's own window: it needs
    // no browser and looks the same on every machine.
    if (url.isLocalFile() && !QFileInfo(url.toLocalFile()).isDir())
        return ShowInPageWindow(url);
    return OpenOutside(url);
}

bool QtWindowSystem::OpenOutside(const QUrl& url) {
    const LauncherEnvironment environment =
        launcherEnvironment ? *launcherEnvironment : SystemLauncherEnvironment();
    std::optional<Launcher> launcher =
        FindLauncher(environment, LauncherType(url), !url.isLocalFile());
    if (!launcher)
        return false;
    if (startLauncher)
        return startLauncher(*launcher, url);
    return StartLauncher(*launcher, url);
}

void QtWindowSystem::FollowLink(const QUrl& link) {
    const QUrl target = pageWindow_->source().resolved(link);
    if (target.isLocalFile()) {
        // A section of the page itself, or another local page (judged first).
        if (target.adjusted(QUrl::RemoveFragment) ==
            pageWindow_->source().adjusted(QUrl::RemoveFragment)) {
            pageWindow_->setSource(target);
        } else {
            ShowInPageWindow(target);
        }
        return;
    }
    if (OpenOutside(target))
        return;
    front_->MessageBox(ids::kNoOwner,
                       "No web browser was found on this computer to show\n" +
                           ToUtf8(target.toString()) +
                           "\n\nOpen that address in a browser on any computer.",
                       "Ostrel", MsgButtons::Ok, MessageKind::Information);
}

std::string PageProblem(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return path + " cannot be shown: it is no file.";
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (error)
        return path + " cannot be shown: " + error.message() + ".";
    if (size > kMaxPageBytes)
        return path + " cannot be shown: at " + std::to_string(size / (1024 * 1024)) +
               " MB it is too large to be a help page.";
    return {};
}

bool QtWindowSystem::ShowInPageWindow(const QUrl& url) {
    if (!url.isLocalFile())
        return false;
    // The page is read whole into the window: a device, or a file far larger
    // than any page, would never finish loading.
    if (std::string problem = PageProblem(url.toLocalFile().toStdString()); !problem.empty()) {
        front_->MessageBox(ids::kNoOwner, problem, texts::kTitleError, MsgButtons::Ok,
                           MessageKind::Error);
        return false;
    }
    if (!pageWindow_) {
        pageWindow_ = std::make_unique<QTextBrowser>();
        pageWindow_->setObjectName(QStringLiteral("pageWindow"));
        pageWindow_->setWindowIcon(ProgramIcon());
        // Every link comes here: the page's own and its sections stay in the
        // window, the others go to the desktop's browser when there is one.
        pageWindow_->setOpenLinks(false);
        QObject::connect(pageWindow_.get(), &QTextBrowser::anchorClicked,
                         [this](const QUrl& link) { FollowLink(link); });
        pageWindow_->resize(720, 560);
    }
    pageWindow_->setSource(url);
    QString title = pageWindow_->documentTitle();
    pageWindow_->setWindowTitle(title.isEmpty() ? QFileInfo(url.toLocalFile()).fileName() : title);
    // Asked from a modal dialog (the instructions dialog's Help button), the
    // page must be modal too, or that dialog would block it.
    Qt::WindowModality modality =
        QApplication::activeModalWidget() ? Qt::ApplicationModal : Qt::NonModal;
    if (pageWindow_->windowModality() != modality) {
        pageWindow_->hide();
        pageWindow_->setWindowModality(modality);
    }
    pageWindow_->show();
    pageWindow_->raise();
    pageWindow_->activateWindow();
    return true;
}

int QtWindowSystem::RunModalDialog(int dialog, int owner, DialogHandler& handler) {
    DialogScope open(*this);
    ModalDialog box(dialog, Window(owner), handler);
    AddWindow(dialog, &box, box.controls(), [&box](int result) { box.End(result); });
    box.Start();
    if (!box.ended()) {
        if (onDialogRunning) {
            QTimer::singleShot(0, &box, [this, &box, dialog] {
                if (!box.ended())
                    onDialogRunning(dialog, box);
            });
        }
        box.exec();
    }
    RemoveWindow(dialog);
    return box.ended() ? box.endResult() : 0;
}

void QtWindowSystem::EndWindow(int window, int result) {
    ends_.End(window, result);
}

}  // namespace ostrel::qt
