#include "qt/widgets.h"

#include <algorithm>
#include <cmath>

#include <QFocusEvent>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>

namespace ostrel::qt {

QValidator::State UpperCaseValidator::validate(QString& input, int& /*pos*/) const {
    input = input.toUpper();
    return Acceptable;
}

bool AlignsListingColumns(const QFont& font) {
    QFontMetricsF metrics(font);
    const QString letters = QStringLiteral("0123456789ABCDEF: ");
    qreal width = metrics.horizontalAdvance(letters.front());
    if (width <= 0)
        return false;
    for (QChar letter : letters)
        if (metrics.horizontalAdvance(letter) != width)
            return false;
    return true;
}

QFont ListingFont() {
    // The system's fixed font first; a machine may name one whose letters
    // are not all equally wide (or not report it as fixed-pitch), so the
    // widths themselves decide, and well-known monospace families follow.
    QFont system = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (AlignsListingColumns(system))
        return system;
    for (const char* family : {"DejaVu Sans Mono", "Liberation Mono", "Noto Sans Mono", "Noto Mono",
                               "Nimbus Mono PS", "Courier New", "monospace"}) {
        QFont candidate(QString::fromLatin1(family), system.pointSize());
        candidate.setStyleHint(QFont::Monospace, QFont::PreferMatch);
        candidate.setFixedPitch(true);
        if (AlignsListingColumns(candidate))
            return candidate;
    }
    QFont hinted = system;
    hinted.setStyleHint(QFont::TypeWriter);
    hinted.setFixedPitch(true);
    return hinted;
}

ListingEdit::ListingEdit(QWidget* parent) : QPlainTextEdit(parent) {
    setFont(ListingFont());
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setTabChangesFocus(true);
    connect(this, &QPlainTextEdit::textChanged, this, &ListingEdit::Notify);
    connect(this, &QPlainTextEdit::cursorPositionChanged, this, &ListingEdit::Notify);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &ListingEdit::Notify);
}

void ListingEdit::Notify() {
    if (!setting_)
        emit Notified();
}

void ListingEdit::SetListing(std::string_view text) {
    // One character per line end in the widget: CR LF becomes a new paragraph.
    QString widgetText;
    widgetText.reserve(static_cast<qsizetype>(text.size()));
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        widgetText.append(QChar::fromLatin1(text[i]));
    }
    setting_ = true;
    setPlainText(widgetText);
    document()->setModified(false);
    QTextCursor cursor = textCursor();
    cursor.setPosition(0);
    setTextCursor(cursor);
    setting_ = false;
}

std::string ListingEdit::Listing() const {
    QString widgetText = toPlainText();
    std::string text;
    text.reserve(static_cast<std::size_t>(widgetText.size()) * 11 / 10 + 2);
    for (QChar c : widgetText) {
        if (c == QLatin1Char('\n')) {
            text.append("\r\n");
        } else {
            text.push_back(c.unicode() < 256 ? static_cast<char>(c.unicode()) : '?');
        }
    }
    return text;
}

int ListingEdit::ToListingPosition(int widgetPosition) const {
    QTextBlock block = document()->findBlock(widgetPosition);
    int blockNumber = block.isValid() ? block.blockNumber() : document()->blockCount() - 1;
    return widgetPosition + blockNumber;
}

int ListingEdit::ToWidgetPosition(int listingPosition) const {
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        int widgetStart = block.position();
        int listingStart = widgetStart + block.blockNumber();
        int length = block.length() - 1;  // without the line end
        if (listingPosition <= listingStart + length + 1)
            return widgetStart + std::min(listingPosition - listingStart, length);
    }
    return document()->characterCount() - 1;
}

TextSelection ListingEdit::ListingSelection() const {
    QTextCursor cursor = textCursor();
    return TextSelection{ToListingPosition(cursor.selectionStart()),
                         ToListingPosition(cursor.selectionEnd())};
}

bool ListingEdit::IsModified() const {
    return document()->isModified();
}

void ListingEdit::keyPressEvent(QKeyEvent* event) {
    QString text = event->text();
    QString upper = text.toUpper();
    if (upper != text) {
        QKeyEvent capital(event->type(), event->key(), event->modifiers(), upper,
                          event->isAutoRepeat(), static_cast<quint16>(event->count()));
        QPlainTextEdit::keyPressEvent(&capital);
        event->setAccepted(capital.isAccepted());
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void ListingEdit::focusInEvent(QFocusEvent* event) {
    QPlainTextEdit::focusInEvent(event);
    Notify();
}

void ListingEdit::focusOutEvent(QFocusEvent* event) {
    QPlainTextEdit::focusOutEvent(event);
    Notify();
}

void DecorationLine::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    int y = height() / 2;
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawLine(0, y - 1, width() - 1, y - 1);
    painter.setPen(palette().color(QPalette::Light));
    painter.drawLine(0, y, width() - 1, y);
}

void DotRow::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    int size = std::max(2, height());
    double step = kDots > 1 ? static_cast<double>(width() - size) / (kDots - 1) : 0.0;
    int y = (height() - size) / 2;
    for (int i = 0; i < kDots; ++i) {
        int x = static_cast<int>(std::lround(i * step));
        painter.setBrush(palette().color(QPalette::Dark));
        painter.drawEllipse(QRect(x, y, size, size));
    }
}

SvgPicture::SvgPicture(const QString& file, QWidget* parent) : QWidget(parent), renderer_(file) {}

void SvgPicture::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    QSizeF size = renderer_.defaultSize();
    if (size.isEmpty())
        return;
    size.scale(QSizeF(width(), height()), Qt::KeepAspectRatio);
    QRectF target(QPointF((width() - size.width()) / 2, (height() - size.height()) / 2), size);
    renderer_.render(&painter, target);
}

}  // namespace ostrel::qt
