// The few widgets the windows need beyond Qt's own: fields that show typed
// letters in capitals, the EEPROM listing, and the decoration lines.
#pragma once

#include <string>
#include <string_view>

#include <QPlainTextEdit>
#include <QSvgRenderer>
#include <QValidator>
#include <QWidget>

#include "core/window_system.h"
#include "ui/control_table.h"

namespace ostrel::qt {

// Accepts any text and turns its letters into capitals as they are typed.
class UpperCaseValidator : public QValidator {
    Q_OBJECT
  public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override;
};

// Whether every letter of the EEPROM listing (hex digits, colon, blank) is
// equally wide in `font`, so its columns line up.
bool AlignsListingColumns(const QFont& font);
// The listing's font: the system's fixed font when its columns line up, else
// the first well-known monospace family whose columns do.
QFont ListingFont();

// The EEPROM listing. The program sees its text with CR LF line ends and
// selection positions that count both characters of each line end, as the
// listing format is defined; the widget keeps one character per line end.
// Typed letters are shown in capitals.
class ListingEdit : public QPlainTextEdit {
    Q_OBJECT
  public:
    explicit ListingEdit(QWidget* parent = nullptr);

    // Puts a text in, clears the modified state and moves the caret to the start,
    // without reporting it as an edit.
    void SetListing(std::string_view text);
    std::string Listing() const;
    TextSelection ListingSelection() const;
    bool IsModified() const;

    // The program's character position of a widget position, and back.
    int ToListingPosition(int widgetPosition) const;
    int ToWidgetPosition(int listingPosition) const;

  signals:
    // Any change, caret move, scroll or focus change the user causes.
    void Notified();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    void Notify();
    bool setting_ = false;
};

// A thin etched line with, optionally, a row of fifteen small dots along it
// (the decoration of the main window and the instructions dialog).
class DecorationLine : public QWidget {
    Q_OBJECT
  public:
    explicit DecorationLine(QWidget* parent = nullptr) : QWidget(parent) {}

  protected:
    void paintEvent(QPaintEvent* event) override;
};

class DotRow : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kDots = ui::kDotsInARow;
    explicit DotRow(QWidget* parent = nullptr) : QWidget(parent) {}

  protected:
    void paintEvent(QPaintEvent* event) override;
};

// A drawing from an SVG file, scaled to the widget keeping its proportions,
// on a white ground.
class SvgPicture : public QWidget {
    Q_OBJECT
  public:
    SvgPicture(const QString& file, QWidget* parent = nullptr);
    bool IsValid() const { return renderer_.isValid(); }
    QSize DefaultSize() const { return renderer_.defaultSize(); }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QSvgRenderer renderer_;
};

}  // namespace ostrel::qt
