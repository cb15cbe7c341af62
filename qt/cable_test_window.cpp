#include "qt/cable_test_window.h"

#include <QCoreApplication>
#include <QFontDatabase>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "ui/cable_test.h"

namespace ostrel::qt {

CableTestWindow::CableTestWindow(QtWindowSystem& windows, QWidget* parent, const QString& portName)
    : QDialog(parent), windows_(windows), open_(windows) {
    setWindowTitle(QString::fromLatin1(ui::kCableTestTitle));
    setObjectName(QStringLiteral("cableTest"));
    auto* layout = new QVBoxLayout(this);
    auto* intro =
        new QLabel(QString::fromStdString(ui::CableTestIntro(portName.toStdString())), this);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    list_ = new QListWidget(this);
    list_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    list_->setSelectionMode(QAbstractItemView::NoSelection);
    // Room for the eight states at their full width: the widest line is a
    // serial reading of the start state.
    const adapter::CableReading widest = ui::WidestCableReading();
    QFontMetrics metrics(list_->font());
    list_->setMinimumSize(
        metrics.horizontalAdvance(QString::fromStdString(adapter::FormatReading(widest))) +
            metrics.horizontalAdvance(QStringLiteral("MMMM")),
        metrics.lineSpacing() * 10);
    layout->addWidget(list_);

    verdict_ = new QLabel(this);
    verdict_->setWordWrap(true);
    layout->addWidget(verdict_);

    button_ = new QPushButton(QString::fromLatin1(ui::kCableTestStop), this);
    layout->addWidget(button_, 0, Qt::AlignRight);
    connect(button_, &QPushButton::clicked, this, [this] {
        if (flow_.Press())
            accept();
    });
    setWindowModality(Qt::ApplicationModal);
    show();
}

void CableTestWindow::Show(const adapter::CableReading& reading) {
    const ui::CableTestFlow::Row row = flow_.Take(reading);
    const QString line = QString::fromStdString(row.line);
    if (row.replacesLast && list_->count() > 0) {
        list_->item(list_->count() - 1)->setText(line);
    } else {
        list_->addItem(line);
    }
    list_->scrollToBottom();
}

void CableTestWindow::Finish(const adapter::CableTestResult& result) {
    verdict_->setText(QString::fromStdString(flow_.Finish(result)));
    button_->setText(QString::fromLatin1(ui::kCableTestClose));
}

bool CableTestWindow::Idle() {
    QCoreApplication::processEvents();
    return !stopRequested();
}

void CableTestWindow::FinishAndWait(const adapter::CableTestResult& result) {
    Finish(result);
    if (windows_.onDialogRunning)
        QTimer::singleShot(0, this, [this] { windows_.onDialogRunning(kCableTestCommand, *this); });
    exec();
}

void CableTestWindow::reject() {
    // Escape and the close box stop a running test; the window stays until
    // the target has been released.
    if (flow_.Press())
        QDialog::reject();
}

}  // namespace ostrel::qt
