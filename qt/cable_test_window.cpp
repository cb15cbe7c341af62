#include "qt/cable_test_window.h"

#include <QFontDatabase>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace ostrel::qt {

CableTestWindow::CableTestWindow(QWidget* parent, const QString& portName) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Cable Test"));
    setObjectName(QStringLiteral("cableTest"));
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(
        QStringLiteral("Port %1: RESET, SCK and MOSI go high and low one at a time, each state "
                       "held %2 s. Follow them with an LED or a meter at the target's connector; "
                       "MISO and the loop-back inputs are read all the while.")
            .arg(portName)
            .arg(adapter::kCableTestPauseMs / 1000),
        this);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    list_ = new QListWidget(this);
    list_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    list_->setSelectionMode(QAbstractItemView::NoSelection);
    // Room for the eight states at their full width: the widest line is a
    // serial reading of the start state.
    adapter::CableReading widest;
    widest.step = "start: all low (target held in reset)";
    widest.serial = true;
    QFontMetrics metrics(list_->font());
    list_->setMinimumSize(
        metrics.horizontalAdvance(QString::fromStdString(adapter::FormatReading(widest))) +
            metrics.horizontalAdvance(QStringLiteral("MMMM")),
        metrics.lineSpacing() * 10);
    layout->addWidget(list_);

    verdict_ = new QLabel(this);
    verdict_->setWordWrap(true);
    layout->addWidget(verdict_);

    button_ = new QPushButton(QStringLiteral("Stop"), this);
    layout->addWidget(button_, 0, Qt::AlignRight);
    connect(button_, &QPushButton::clicked, this, [this] {
        if (running_) {
            stopRequested_ = true;
        } else {
            accept();
        }
    });
}

void CableTestWindow::Show(const adapter::CableReading& reading) {
    QString line = QString::fromStdString(adapter::FormatReading(reading));
    if (rowOpen_) {
        list_->item(list_->count() - 1)->setText(line);
    } else {
        list_->addItem(line);
    }
    rowOpen_ = !reading.final;
    list_->scrollToBottom();
}

void CableTestWindow::Finish(const adapter::CableTestResult& result) {
    running_ = false;
    QString text = QString::fromUtf8(adapter::VerdictText(result.verdict).data(),
                                     static_cast<int>(adapter::VerdictText(result.verdict).size()));
    if (result.stopped && result.verdict != adapter::CableVerdict::Unknown)
        text = QStringLiteral("Stopped. ") + text;
    else if (result.stopped)
        text = QStringLiteral("Stopped before the loop-backs were driven.");
    verdict_->setText(text);
    button_->setText(QStringLiteral("Close"));
}

void CableTestWindow::reject() {
    // Escape and the close box stop a running test; the window stays until
    // the target has been released.
    if (running_) {
        stopRequested_ = true;
        return;
    }
    QDialog::reject();
}

}  // namespace ostrel::qt
