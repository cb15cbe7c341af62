// Every text of every window fits its control at the default font: each
// control of the tables, with every text the program gives it, measured with
// the control's own font and style, and each window's title against its
// caption bar. Widths are compared (a text too wide is cut off or wraps out
// of sight); heights only for labels over several lines.
#include <gtest/gtest.h>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOption>
#include <QTest>
#include <QTimer>

#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "core/ids.h"
#include "qt/cable_test_window.h"
#include "qt/modal_dialog.h"
#include "tests/qt/gui_rig.h"
#include "tests/support/shown_texts.h"
#include "ui/cable_test.h"

namespace ostrel::testing {
namespace {

using K = ui::ControlKind;

// A control with the texts it shows.
struct Shown {
    QWidget* widget;
    K kind;
    std::vector<std::string> texts;
    std::string name;  // as the report names it
};

std::string NameOf(const ui::ControlEntry& e) {
    return e.id != 0 ? "control " + std::to_string(e.id) : "the unnumbered control";
}

// The widget of a table entry: by number, or a label or frame by its text.
QWidget* WidgetOf(QWidget* window, const qt::ControlMap& numbered, const ui::ControlEntry& e) {
    if (e.id != 0)
        return numbered.count(e.id) != 0 ? numbered.at(e.id) : nullptr;
    const QString text = QString::fromLatin1(e.text);
    for (auto* box : window->findChildren<QGroupBox*>())
        if (e.kind == K::GroupBox && box->title() == text)
            return box;
    for (auto* label : window->findChildren<QLabel*>())
        if (e.kind != K::GroupBox && label->text() == text)
            return label;
    return nullptr;
}

std::vector<Shown> TableControls(QWidget* window, const qt::ControlMap& numbered, int id) {
    std::vector<Shown> shown;
    for (const ui::ControlEntry& e : ui::ControlsOf(id)) {
        std::vector<std::string> texts = ShownTexts(id, e);
        if (texts.empty())
            continue;
        QWidget* widget = WidgetOf(window, numbered, e);
        EXPECT_NE(widget, nullptr) << e.text << " " << e.id;
        if (widget != nullptr)
            shown.push_back({widget, e.kind, texts, NameOf(e)});
    }
    return shown;
}

// The width a push button needs for its text: what the common style adds
// around a button's contents (the margin and the frame on both sides, the
// default-button indicator of an auto-default button), without the minimum
// width some styles give every button with a text.
int ButtonNeeds(QPushButton* button, const QString& text) {
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = text;
    QStyle* style = button->style();
    int width = button->fontMetrics().size(Qt::TextShowMnemonic, text).width() +
                style->pixelMetric(QStyle::PM_ButtonMargin, &option, button) +
                2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, button);
    if (button->autoDefault())
        width += 2 * style->pixelMetric(QStyle::PM_ButtonDefaultIndicator, &option, button);
    return width;
}

// The room a line edit has for its text: the style's contents rectangle
// inside the frame, less the two pixels QLineEdit keeps clear on each side.
int EditRoom(QLineEdit* edit) {
    QStyleOptionFrame option;
    option.initFrom(edit);
    option.rect = edit->rect();
    option.lineWidth = edit->hasFrame()
                           ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit)
                           : 0;
    const QRect inside = edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit);
    const QMargins margins = edit->textMargins();
    return inside.width() - margins.left() - margins.right() - 2 * 2;
}

// The room of the title in a caption bar as wide as the window: the style's
// title bar label beside the system menu icon and the minimise, maximise and
// close buttons, which are counted whatever the window's flags ask for (a
// window manager may draw them all).
int TitleRoom(QWidget* window) {
    QStyleOptionTitleBar option;
    option.initFrom(window);
    option.text = window->windowTitle();
    option.titleBarFlags = window->windowFlags() | Qt::WindowSystemMenuHint |
                           Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint;
    option.subControls = QStyle::SC_All;
    option.rect = QRect(0, 0, window->frameGeometry().width(),
                        window->style()->pixelMetric(QStyle::PM_TitleBarHeight, &option, window));
    return window->style()
        ->subControlRect(QStyle::CC_TitleBar, &option, QStyle::SC_TitleBarLabel, nullptr)
        .width();
}

// "window: control "text" needs N px, has M" for each text that does not fit.
void Measure(QWidget* window, const std::vector<Shown>& controls,
             std::vector<std::string>& misfits) {
    const std::string name = window->windowTitle().toStdString();
    auto check = [&](const std::string& what, int needs, int has, const char* unit = "wide") {
        if (needs > has)
            misfits.push_back(name + ": " + what + " needs " + std::to_string(needs) + " px " +
                              unit + ", has " + std::to_string(has));
    };
    // Window managers draw titles in bold, mostly: so is the title measured.
    QFont title = window->font();
    title.setBold(true);
    check("the title", QFontMetrics(title).horizontalAdvance(window->windowTitle()),
          TitleRoom(window));
    for (const Shown& c : controls) {
        for (const std::string& t : c.texts) {
            const QString text = QString::fromStdString(t);
            const std::string what = c.name + " \"" + t + "\"";
            const int width = c.widget->width();
            if (auto* box = qobject_cast<QGroupBox*>(c.widget)) {
                box->setTitle(text);
                check(what, box->minimumSizeHint().width(), width);
            } else if (auto* button = qobject_cast<QPushButton*>(c.widget)) {
                check(what, ButtonNeeds(button, text), width);
            } else if (auto* check_box = qobject_cast<QCheckBox*>(c.widget)) {
                const QString before = check_box->text();
                check_box->setText(text);
                check(what, check_box->sizeHint().width(), width);
                check_box->setText(before);
            } else if (auto* label = qobject_cast<QLabel*>(c.widget)) {
                const QString before = label->text();
                label->setText(text);
                if (c.kind == K::WrappedLabel) {
                    check(what, label->heightForWidth(width), c.widget->height(), "high");
                } else {
                    check(what, label->sizeHint().width(), width);
                }
                label->setText(before);
            } else if (auto* edit = qobject_cast<QLineEdit*>(c.widget)) {
                check(what, edit->fontMetrics().horizontalAdvance(text), EditRoom(edit));
            } else {
                ADD_FAILURE() << name << ": " << what << " on a control of no known kind";
            }
        }
    }
}

// The windows made from the tables, each opened by its command and closed by
// its own button (0: Escape).
struct TableWindow {
    int window;
    int command;
    int close;
};

TEST(TextFit, EveryTextFitsItsControlAndEveryTitleItsCaption) {
    const TableWindow dialogs[] = {
        {ids::kInstructionsDialog, ids::kFuseBits, ids::kDone},
        {ids::kEepromWindow, ids::kDataWindow, ids::kEepromExit},
        {ids::kFusesWindow, ids::kFuses, ids::kFuseClose},
        {ids::kWiringDialog, ids::kWiringPicture, 0},
    };
    GuiRig rig;
    ASSERT_TRUE(rig.Start());
    rig.ChooseSimulator("ATmega8");
    std::vector<std::string> misfits;
    std::vector<int> measured;
    {
        std::map<int, QWidget*> numbered;
        for (const ui::ControlEntry& e : ui::MainWindowControls())
            if (e.id != 0)
                numbered[e.id] = rig.Control(e.id);
        Measure(&rig.window(), TableControls(&rig.window(), numbered, ids::kMainWindow), misfits);
        measured.push_back(ids::kMainWindow);
    }
    for (const TableWindow& w : dialogs) {
        rig.windows().automation.dialogScript = [&](int dialog, QDialog& d) {
            auto& box = static_cast<qt::ModalDialog&>(d);
            Measure(&d, TableControls(&d, box.controls(), dialog), misfits);
            measured.push_back(dialog);
            if (w.close != 0) {
                qobject_cast<QAbstractButton*>(box.controls().at(w.close))->click();
            } else {
                QTest::keyClick(&d, Qt::Key_Escape);
            }
        };
        rig.Choose(w.command);
    }
    // The cable test window is laid out by Qt; its button takes both texts.
    rig.windows().automation.dialogScript = [&](int, QDialog& shown) {
        auto& box = static_cast<qt::CableTestWindow&>(shown);
        Measure(&box,
                {{box.button(),
                  K::PushButton,
                  {ui::kCableTestStop, ui::kCableTestClose},
                  "its button"}},
                misfits);
        measured.push_back(ids::kCableTest);
        box.button()->click();
    };
    rig.Choose(qt::kCableTestCommand);
    rig.windows().automation.dialogScript = nullptr;

    std::vector<int> expected(std::begin(kTableWindows), std::end(kTableWindows));
    expected.push_back(ids::kCableTest);
    EXPECT_EQ(measured, expected);
    EXPECT_EQ(rig.windows().dialogsLeftOpen, 0);
    std::string report;
    for (const std::string& m : misfits)
        report += m + "\n";
    EXPECT_TRUE(misfits.empty()) << report;
}

}  // namespace
}  // namespace ostrel::testing
