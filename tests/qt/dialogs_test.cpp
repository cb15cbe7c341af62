// The instructions dialog, the EEPROM window, help and the wiring picture,
// opened from the main window and driven through their real widgets.
#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QUrl>

#include <filesystem>
#include <functional>

#include "core/ids.h"
#include "dialogs/help.h"
#include "qt/modal_dialog.h"
#include "qt/resources.h"
#include "qt/widgets.h"
#include "tests/qt/gui_rig.h"

namespace ostrel::testing {
namespace {

using qt::ModalDialog;

QWidget* Control(QDialog& dialog, int id) {
    auto& box = static_cast<ModalDialog&>(dialog);
    auto it = box.controls().find(id);
    return it == box.controls().end() ? nullptr : it->second;
}
QLineEdit* Field(QDialog& dialog, int id) {
    return qobject_cast<QLineEdit*>(Control(dialog, id));
}
QAbstractButton* Button(QDialog& dialog, int id) {
    return qobject_cast<QAbstractButton*>(Control(dialog, id));
}
std::string Text(QDialog& dialog, int id) {
    return Field(dialog, id)->text().toStdString();
}

// Replaces a byte field's text as a user does: select all, type.
void Type(QDialog& dialog, int id, const char* text) {
    QLineEdit* field = Field(dialog, id);
    field->selectAll();
    QTest::keyClicks(field, QString::fromLatin1(text));
}

// Opens a dialog through a main window command and runs `script` inside it.
// Returns whether the dialog showed.
bool RunDialog(GuiRig& rig, int command, int expectedDialog,
               const std::function<void(QDialog&)>& script) {
    bool shown = false;
    rig.windows().automation.dialogScript = [&](int dialog, QDialog& box) {
        shown = true;
        EXPECT_EQ(dialog, expectedDialog);
        script(box);
    };
    rig.Choose(command);
    rig.windows().automation.dialogScript = nullptr;
    EXPECT_EQ(rig.windows().dialogsLeftOpen, 0) << "the dialog was not ended by its own button";
    return shown;
}

// --- Serial Programming Instructions -------------------------------------------

TEST(InstructionsDialog, SendRecReplacesFieldsThreeAndFourWithTheAnswer) {
    GuiRig rig;
    ASSERT_TRUE(rig.Start());
    rig.ChooseSimulator("ATmega8");
    rig.chip().SetLock(0xFC);  // LB1 and LB2 programmed

    bool ran = RunDialog(rig, ids::kFuseBits, ids::kInstructionsDialog, [&](QDialog& d) {
        EXPECT_EQ(d.windowTitle().toStdString(), "Serial Programming Instructions");
        EXPECT_EQ(Text(d, ids::kByte1), "58");
        EXPECT_EQ(Text(d, ids::kByte2), "00");
        EXPECT_EQ(Text(d, ids::kByte3), "00");
        EXPECT_EQ(Text(d, ids::kByte4), "00");
        // Typed letters are shown in capitals.
        Type(d, ids::kByte3, "5a");
        Type(d, ids::kByte4, "a5");
        EXPECT_EQ(Text(d, ids::kByte3), "5A");
        EXPECT_EQ(Text(d, ids::kByte4), "A5");

        QTest::mouseClick(Button(d, ids::kSendRec), Qt::LeftButton);
        // 58 00 reads the lock byte: the chip answers it while byte 4 goes out.
        EXPECT_EQ(Text(d, ids::kByte1), "58");
        EXPECT_EQ(Text(d, ids::kByte2), "00");
        EXPECT_EQ(Text(d, ids::kByte3), "00");
        EXPECT_EQ(Text(d, ids::kByte4), "FC");
        EXPECT_EQ(Text(d, ids::kInstrStatus), "OK");
        EXPECT_FALSE(Field(d, ids::kInstrStatus)->isEnabled());
        QTest::mouseClick(Button(d, ids::kDone), Qt::LeftButton);
    });
    EXPECT_TRUE(ran);
    EXPECT_TRUE(rig.windows().messages.empty()) << rig.LastMessage();
}

TEST(InstructionsDialog, AFieldThatIsNotTwoDigitsIsRefusedAndNothingIsSent) {
    GuiRig rig;
    ASSERT_TRUE(rig.Start());
    rig.ChooseSimulator("ATmega8");
    bool ran = RunDialog(rig, ids::kFuseBits, ids::kInstructionsDialog, [&](QDialog& d) {
        rig.chip().RecordInstructions(true);
        Type(d, ids::kByte2, "5");
        QTest::mouseClick(Button(d, ids::kSendRec), Qt::LeftButton);
        EXPECT_TRUE(rig.chip().instructions().empty());
        ASSERT_EQ(rig.windows().messages.size(), 1u);
        EXPECT_EQ(rig.windows().messages[0].owner, ids::kInstructionsDialog);
        EXPECT_NE(rig.windows().messages[0].text.find("Byte 2"), std::string::npos);
        EXPECT_EQ(Text(d, ids::kByte2), "5");
        QTest::keyClick(&d, Qt::Key_Escape);  // Escape is Done
    });
    EXPECT_TRUE(ran);
}

TEST(InstructionsDialog, WriteLockBitsIsOfferedOnlyForTheListedChips) {
    struct Case {
        const char* chip;
        bool offered;
    };
    for (Case c : {Case{"AT90S2313", true}, Case{"AT90S8515", true}, Case{"ATmega8", false},
                   Case{"AT90S2343", false}}) {
        GuiRig rig;
        ASSERT_TRUE(rig.Start());
        rig.ChooseSimulator(c.chip);
        bool ran = RunDialog(rig, ids::kFuseBits, ids::kInstructionsDialog, [&](QDialog& d) {
            EXPECT_EQ(Button(d, ids::kWriteLockBits)->isEnabled(), c.offered) << c.chip;
            EXPECT_FALSE(Button(d, ids::kWriteRcen)->isEnabled()) << c.chip;
            EXPECT_FALSE(Button(d, ids::kRcenBox)->isEnabled()) << c.chip;
            EXPECT_TRUE(Button(d, ids::kReadLockBits)->isHidden());
            QTest::mouseClick(Button(d, ids::kDone), Qt::LeftButton);
        });
        EXPECT_TRUE(ran) << c.chip;
    }
}

TEST(InstructionsDialog, WriteLockBitsLocksAClassicChip) {
    GuiRig rig;
    ASSERT_TRUE(rig.Start());
    rig.ChooseSimulator("AT90S2313");
    bool ran = RunDialog(rig, ids::kFuseBits, ids::kInstructionsDialog, [&](QDialog& d) {
        QTest::mouseClick(Button(d, ids::kLb1), Qt::LeftButton, Qt::NoModifier, QPoint(6, 6));
        QTest::mouseClick(Button(d, ids::kLb2), Qt::LeftButton, Qt::NoModifier, QPoint(6, 6));
        EXPECT_TRUE(Button(d, ids::kLb1)->isChecked());
        EXPECT_TRUE(Button(d, ids::kLb2)->isChecked());
        QTest::mouseClick(Button(d, ids::kWriteLockBits), Qt::LeftButton);
        QTest::mouseClick(Button(d, ids::kDone), Qt::LeftButton);
    });
    EXPECT_TRUE(ran);
    EXPECT_TRUE(rig.chip().ReadProtected());
}

TEST(InstructionsDialog, RcenIsReadAndWrittenOnAChipThatHasIt) {
    GuiRig rig;
    ASSERT_TRUE(rig.Start());
    rig.ChooseSimulator("AT90S2343");
    bool ran = RunDialog(rig, ids::kFuseBits, ids::kInstructionsDialog, [&](QDialog& d) {
        bool programmed = (rig.chip().Fuse(0) & 1) == 0;
        QTest::mouseClick(Button(d, ids::kReadRcen), Qt::LeftButton);
        EXPECT_TRUE(Button(d, ids::kRcenBox)->isEnabled());
        EXPECT_TRUE(Button(d, ids::kWriteRcen)->isEnabled());
        EXPECT_EQ(Button(d, ids::kRcenBox)->isChecked(), programmed);

        QTest::mouseClick(Button(d, ids::kRcenBox), Qt::LeftButton, Qt::NoModifier, QPoint(6, 6));
        EXPECT_EQ(Button(d, ids::kRcenBox)->isChecked(), !programmed);
        QTest::mouseClick(Button(d, ids::kWriteRcen), Qt::LeftButton);
        EXPECT_EQ((rig.chip().Fuse(0) & 1) == 0, !programmed);
        EXPECT_EQ(Button(d, ids::kRcenBox)->isChecked(), !programmed);
        QTest::mouseClick(Button(d, ids::kDone), Qt::LeftButton);
    });
    EXPECT_TRUE(ran);
    EXPECT_TRUE(rig.windows().messages.empty()) << rig.LastMessage();
}

TEST(InstructionsDialog, RcenOnAChipWithoutItIsNotAvailable) {
    GuiRig rig;
    ASSERT_TRUE(rig.Start());
    rig.ChooseSimulator("ATmega8");
    bool ran = RunDialog(rig, ids::kFuseBits, ids::kInstructionsDialog, [&](QDialog& d) {
        QTest::mouseClick(Button(d, ids::kReadRcen), Qt::LeftButton);
        EXPECT_FALSE(Button(d, ids::kRcenBox)->isEnabled());
        EXPECT_FALSE(Button(d, ids::kRcenBox)->isChecked());
        QTest::mouseClick(Button(d, ids::kDone), Qt::LeftButton);
    });
    EXPECT_TRUE(ran);
    EXPECT_EQ(rig.Messages(), std::vector<std::string>{": Function not available!"});
}

TEST(InstructionsDialog, IsNotOpenedWhenTheChipCannotBeReached) {
    GuiRig rig;
    ASSERT_TRUE(rig.Start());  // on COM2, which does not exist here
    bool ran =
        RunDialog(rig, ids::kFuseBits, ids::kInstructionsDialog, [](QDialog& d) { d.reject(); });
    EXPECT_FALSE(ran);
    ASSERT_EQ(rig.windows().messages.size(), 1u);
    EXPECT_EQ(rig.windows().messages[0].title, "Error");
}

TEST(InstructionsDialog, LayoutFollowsItsTableInDialogUnits) {
    GuiRig rig;
    ASSERT_TRUE(rig.Start());
    rig.ChooseSimulator("ATmega8");
    bool ran = RunDialog(rig, ids::kFuseBits, ids::kInstructionsDialog, [&](QDialog& d) {
        const qt::DialogUnits& u = static_cast<ModalDialog&>(d).units();
        EXPECT_EQ(d.size(), QSize(u.X(202), u.Y(205)));
        EXPECT_EQ(Control(d, ids::kByte1)->geometry(), u.Rect(23, 153, 18, 12));
        EXPECT_EQ(Control(d, ids::kSendRec)->geometry(), u.Rect(136, 129, 50, 14));
        EXPECT_EQ(Control(d, ids::kWriteRcen)->geometry(), u.Rect(114, 48, 56, 12));
        EXPECT_EQ(Control(d, ids::kInstrStatus)->geometry(), u.Rect(74, 74, 74, 12));
        auto* send = qobject_cast<QPushButton*>(Control(d, ids::kSendRec));
        ASSERT_NE(send, nullptr);
        EXPECT_TRUE(send->isDefault());
        // Enter in a byte field presses Send/Rec.
        rig.chip().RecordInstructions(true);
        QTest::keyClick(Field(d, ids::kByte1), Qt::Key_Return);
        EXPECT_FALSE(rig.chip().instructions().empty());
        QTest::mouseClick(Button(d, ids::kDone), Qt::LeftButton);
    });
    EXPECT_TRUE(ran);
}

// --- the EEPROM data window ------------------------------------------------------

qt::ListingEdit* Listing(QDialog& d) {
    return qobject_cast<qt::ListingEdit*>(Control(d, ids::kListing));
}

// Puts the caret at a character of the listing (counted as the program counts,
// both characters of each line end included), selecting `length` characters.
void Select(qt::ListingEdit* listing, int line, int column, int length) {
    int start = listing->ToWidgetPosition(line * 11 + column);
    QTextCursor cursor = listing->textCursor();
    cursor.setPosition(start);
    cursor.setPosition(start + length, QTextCursor::KeepAnchor);
    listing->setTextCursor(cursor);
}

std::string Line(qt::ListingEdit* listing, int line) {
    return listing->document()->findBlockByNumber(line).text().toStdString();
}

TEST(EepromWindow, ListsTheChipsEepromOneByteALine) {
    GuiRig rig;
    ASSERT_TRUE(rig.Start());
    rig.ChooseSimulator("ATmega8");
    rig.chip().SetEeprom(0x1FF, 0xA7);
    for (int i = 0; i < 16; ++i)  // every hex digit in the value column too
        rig.chip().SetEeprom(0x100 + i, static_cast<uint8_t>(i * 0x11));
    bool ran = RunDialog(rig, ids::kDataWindow, ids::kEepromWindow, [&](QDialog& d) {
        EXPECT_EQ(d.windowTitle().toStdString(), "EEPROM (max. 2048 bytes)");
        qt::ListingEdit* listing = Listing(d);
        ASSERT_NE(listing, nullptr);
        std::string text = listing->Listing();
        EXPECT_EQ(text.size(), 512u * 11u);
        EXPECT_EQ(text.substr(0, 11), "0000: FF \r\n");
        EXPECT_EQ(text.substr(511 * 11), "01FF: A7 \r\n");
        EXPECT_FALSE(listing->IsModified());
        // Readable whatever fixed font the machine has: every line is equally
        // wide in the listing's font, so the columns line up.
        QFontMetricsF metrics(listing->font());
        const qreal width = metrics.horizontalAdvance(QString::fromStdString(Line(listing, 0)));
        EXPECT_GT(width, 0);
        for (int line = 1; line < 512; ++line)
            ASSERT_EQ(metrics.horizontalAdvance(QString::fromStdString(Line(listing, line))), width)
                << Line(listing, line) << " in "
                << QFontInfo(listing->font()).family().toStdString();
        EXPECT_TRUE(qt::AlignsListingColumns(listing->font()));
        QTest::keyClick(&d, Qt::Key_Escape);  // does nothing here
        EXPECT_TRUE(d.isVisible());
        QTest::mouseClick(Button(d, ids::kEepromExit), Qt::LeftButton);
    });
    EXPECT_TRUE(ran);
    EXPECT_TRUE(rig.windows().messages.empty()) << rig.LastMessage();
}

TEST(EepromWindow, OnlyTheValueDigitsCanBeEditedAndOneChangedLineIsWritten) {
    GuiRig rig;
    ASSERT_TRUE(rig.Start());
    rig.ChooseSimulator("ATmega8");
    rig.chip().SetEeprom(5, 0x11);
    rig.chip().SetEeprom(7, 0x22);
    bool ran = RunDialog(rig, ids::kDataWindow, ids::kEepromWindow, [&](QDialog& d) {
        qt::ListingEdit* listing = Listing(d);
        ASSERT_NE(listing, nullptr);
        EXPECT_EQ(Line(listing, 5), "0005: 11 ");

        // The two digits of line 5, typed over in small letters.
        Select(listing, 5, 6, 2);
        QTest::keyClicks(listing, "3c");
        EXPECT_EQ(Line(listing, 5), "0005: 3C ");
        EXPECT_TRUE(listing->IsModified());

        // Typing into an address puts the listing back, keeping the accepted digits.
        Select(listing, 7, 1, 0);
        QTest::keyClicks(listing, "9");
        EXPECT_EQ(Line(listing, 7), "0007: 22 ");
        EXPECT_EQ(Line(listing, 5), "0005: 3C ");
        EXPECT_FALSE(listing->IsModified());
        EXPECT_EQ(listing->textCursor().position(), 0);

        rig.chip().RecordInstructions(true);
        QTest::mouseClick(Button(d, ids::kWriteData), Qt::LeftButton);
        // Reads, one Read Lock Bits before the first write, and the one write.
        int writes = 0;
        int lockReads = 0;
        for (const auto& instruction : rig.chip().instructions()) {
            if (instruction[0] == 0xC0) {
                ++writes;
                EXPECT_EQ(instruction[2], 5);
                EXPECT_EQ(instruction[3], 0x3C);
            } else if (instruction[0] == 0x58) {
                ++lockReads;
                EXPECT_EQ(writes, 0);
            } else {
                EXPECT_EQ(instruction[0], 0xA0);
            }
        }
        EXPECT_EQ(writes, 1);
        EXPECT_EQ(lockReads, 1);
        QTest::mouseClick(Button(d, ids::kEepromExit), Qt::LeftButton);
    });
    EXPECT_TRUE(ran);
    EXPECT_EQ(rig.chip().Eeprom(5), 0x3C);
    EXPECT_EQ(rig.chip().Eeprom(7), 0x22);
    EXPECT_EQ(rig.chip().Eeprom(6), 0xFF);
    EXPECT_TRUE(rig.windows().messages.empty()) << rig.LastMessage();
}

TEST(EepromWindow, AListingOutOfFormatIsRefusedNamingTheLineAndNothingIsWritten) {
    GuiRig rig;
    ASSERT_TRUE(rig.Start());
    rig.ChooseSimulator("ATmega8");
    bool ran = RunDialog(rig, ids::kDataWindow, ids::kEepromWindow, [&](QDialog& d) {
        qt::ListingEdit* listing = Listing(d);
        ASSERT_NE(listing, nullptr);
        Select(listing, 3, 6, 2);
        QTest::keyClicks(listing, "zz");
        EXPECT_EQ(Line(listing, 3), "0003: ZZ ");
        rig.chip().RecordInstructions(true);
        QTest::mouseClick(Button(d, ids::kWriteData), Qt::LeftButton);
        for (const auto& instruction : rig.chip().instructions())
            EXPECT_NE(instruction[0], 0xC0);
        ASSERT_EQ(rig.windows().messages.size(), 1u);
        EXPECT_NE(rig.windows().messages[0].text.find("Line 4"), std::string::npos)
            << rig.windows().messages[0].text;
        QTest::mouseClick(Button(d, ids::kEepromExit), Qt::LeftButton);
    });
    EXPECT_TRUE(ran);
    EXPECT_EQ(rig.chip().Eeprom(3), 0xFF);
}

TEST(EepromWindow, LayoutFollowsItsTableInDialogUnits) {
    GuiRig rig;
    ASSERT_TRUE(rig.Start());
    rig.ChooseSimulator("AT90S2313");
    bool ran = RunDialog(rig, ids::kDataWindow, ids::kEepromWindow, [&](QDialog& d) {
        const qt::DialogUnits& u = static_cast<ModalDialog&>(d).units();
        EXPECT_EQ(d.size(), QSize(u.X(154), u.Y(95)));
        EXPECT_EQ(Control(d, ids::kListing)->geometry(), u.Rect(20, 10, 65, 75));
        EXPECT_EQ(Control(d, ids::kWriteData)->geometry(), u.Rect(95, 30, 44, 12));
        EXPECT_EQ(Control(d, ids::kEepromExit)->geometry(), u.Rect(95, 65, 44, 14));
        EXPECT_FALSE(d.windowFlags().testFlag(Qt::WindowCloseButtonHint));
        EXPECT_EQ(Listing(d)->document()->blockCount(), 128 + 1);
        QTest::mouseClick(Button(d, ids::kEepromExit), Qt::LeftButton);
    });
    EXPECT_TRUE(ran);
}

// --- help, about and the wiring picture -------------------------------------------

TEST(Help, WithoutThePageSaysSo) {
    GuiRig rig;
    ASSERT_TRUE(rig.Start());
    rig.Choose(ids::kHelpTopics);
    ASSERT_EQ(rig.Messages(), std::vector<std::string>{"Error: ostrel-hlp.htm not found!"});
    EXPECT_EQ(rig.windows().messages[0].owner, ids::kNoOwner);
    EXPECT_TRUE(rig.windows().documents.empty());
}

TEST(Help, WithThePageOpensItInTheProgramsOwnViewer) {
    GuiRig rig;
    std::string page = ReadFileBytes(SourcePath("resources/ostrel-hlp.htm"));
    rig.dir.Write("ostrel-hlp.htm", page);
    ASSERT_TRUE(rig.Start());
    rig.Choose(ids::kHelpTopics);
    EXPECT_TRUE(rig.windows().messages.empty()) << rig.LastMessage();
    EXPECT_EQ(rig.windows().documents, std::vector<std::string>{rig.dir.File("ostrel-hlp.htm")});
    ASSERT_NE(rig.qtWindows().PageWindow(), nullptr);
    EXPECT_TRUE(rig.qtWindows().PageWindow()->isVisible());
}

TEST(Help, TheInstructionsDialogsHelpButtonOpensThePage) {
    GuiRig rig;
    rig.dir.Write("ostrel-hlp.htm", ReadFileBytes(SourcePath("resources/ostrel-hlp.htm")));
    ASSERT_TRUE(rig.Start());
    rig.ChooseSimulator("ATmega8");
    bool ran = RunDialog(rig, ids::kFuseBits, ids::kInstructionsDialog, [&](QDialog& d) {
        QTest::mouseClick(Button(d, ids::kInstrHelp), Qt::LeftButton);
        QTest::mouseClick(Button(d, ids::kDone), Qt::LeftButton);
    });
    EXPECT_TRUE(ran);
    EXPECT_EQ(rig.windows().documents, std::vector<std::string>{rig.dir.File("ostrel-hlp.htm")});
}

// The help page shows in the program's own viewer on every desktop, whether
// it has no browser at all, a browser, or an xdg-open that would hand the page
// to a terminal editor; nothing is started for it. Look for new version and
// the page's links to the web go to the browser where there is one, and say
// where to look where there is none.
TEST(Help, ThePageShowsInTheProgramsOwnViewerOnEveryDesktop) {
    const std::string page = ReadFileBytes(SourcePath("resources/ostrel-hlp.htm"));
    struct Case {
        const char* desktop;
        DesktopKind kind;
        bool browser;
    };
    const Case cases[] = {
        {"no browser at all", DesktopKind::NoBrowser, false},
        {"xdg-open pointing to a terminal editor", DesktopKind::TerminalEditor, false},
        {"a browser", DesktopKind::Browser, true},
    };
    const QUrl link(QStringLiteral("https://www.example.org/avr/datasheets"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.desktop);
        GuiRig rig;
        TempDir desktopDir;
        rig.qtWindows().launcherEnvironment = FakeDesktop(desktopDir, c.kind);
        const std::string path = rig.dir.Write("ostrel-hlp.htm", page);
        ASSERT_TRUE(rig.Start());
        rig.ChooseSimulator("ATmega8");
        rig.windows().messages.clear();
        std::vector<QUrl> started;
        rig.windows().automation.openUrl = [&](const QUrl& url) {
            started.push_back(url);
            return true;
        };

        rig.Choose(ids::kHelpTopics);
        EXPECT_TRUE(started.empty()) << "nothing is started for the help page";
        EXPECT_TRUE(rig.windows().messages.empty()) << rig.LastMessage();
        QTextBrowser* shown = rig.qtWindows().PageWindow();
        ASSERT_NE(shown, nullptr);
        EXPECT_TRUE(shown->isVisible());
        EXPECT_EQ(shown->windowModality(), Qt::NonModal);
        EXPECT_EQ(shown->source().toLocalFile().toStdString(), path);
        EXPECT_TRUE(shown->toPlainText().contains(QStringLiteral("Messages and what to do")));
        EXPECT_FALSE(shown->windowIcon().isNull());

        // A link to a section of the page stays in the viewer.
        emit shown->anchorClicked(QUrl(QStringLiteral("#versions")));
        EXPECT_TRUE(started.empty());
        EXPECT_EQ(shown->source().fragment().toStdString(), "versions");
        EXPECT_GT(shown->verticalScrollBar()->value(), 0) << "scrolled to the versions section";

        // A link to the web, and Look for new version.
        emit shown->anchorClicked(link);
        rig.Choose(ids::kNewVersion);
        if (c.browser) {
            ASSERT_EQ(started.size(), 2u);
            EXPECT_EQ(started[0], link);
            EXPECT_EQ(started[1].toString().toStdString(), dialogs::kProjectPage);
            EXPECT_TRUE(rig.windows().messages.empty()) << rig.LastMessage();
        } else {
            EXPECT_TRUE(started.empty());
            ASSERT_EQ(rig.windows().messages.size(), 2u);
            EXPECT_NE(rig.windows().messages[0].text.find(link.toString().toStdString()),
                      std::string::npos);
            EXPECT_EQ(rig.windows().messages[1].text, dialogs::NoBrowserText());
        }
        shown->close();

        // From the modal instructions dialog the page window is modal too, or
        // that dialog would keep it from being used.
        bool ran = RunDialog(rig, ids::kFuseBits, ids::kInstructionsDialog, [&](QDialog& d) {
            QTest::mouseClick(Button(d, ids::kInstrHelp), Qt::LeftButton);
            EXPECT_TRUE(shown->isVisible());
            EXPECT_EQ(shown->windowModality(), Qt::ApplicationModal);
            shown->close();
            QTest::mouseClick(Button(d, ids::kDone), Qt::LeftButton);
        });
        EXPECT_TRUE(ran);
        EXPECT_EQ(started.size(), c.browser ? 2u : 0u);
    }
}

// What the page window is given may be anything: a help page far too large,
// a link to a device that never ends. It says so instead of loading it.
TEST(Help, APageThatCannotBeAPageIsRefusedWithItsReason) {
    struct Case {
        const char* what;
        bool hugePage;     // the help page itself is too large
        const char* link;  // else: a link of the page to this file
        const char* told;
    };
    const Case cases[] = {
        {"a help page of 5 MB", true, "", "too large to be a help page"},
        {"a link to /dev/zero", false, "file:///dev/zero", "it is no file"},
        {"a link to a missing file", false, "missing.htm", "it is no file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        GuiRig rig;
        std::string path =
            rig.dir.Write("ostrel-hlp.htm", ReadFileBytes(SourcePath("resources/ostrel-hlp.htm")));
        if (c.hugePage)
            std::filesystem::resize_file(path, 5 * 1024 * 1024);
        ASSERT_TRUE(rig.Start());
        rig.Choose(ids::kHelpTopics);
        if (!c.hugePage) {
            ASSERT_NE(rig.qtWindows().PageWindow(), nullptr);
            EXPECT_TRUE(rig.windows().messages.empty()) << rig.LastMessage();
            emit rig.qtWindows().PageWindow()->anchorClicked(QUrl(QString::fromLatin1(c.link)));
            EXPECT_EQ(rig.qtWindows().PageWindow()->source().toLocalFile().toStdString(), path);
        }
        ASSERT_EQ(rig.windows().messages.size(), 1u);
        EXPECT_EQ(rig.windows().messages[0].title, "Error");
        EXPECT_NE(rig.windows().messages[0].text.find(c.told), std::string::npos)
            << rig.windows().messages[0].text;
    }
}

TEST(Help, AboutShowsTheVersion) {
    GuiRig rig;
    ASSERT_TRUE(rig.Start());
    rig.Choose(ids::kAbout);
    ASSERT_EQ(rig.windows().messages.size(), 1u);
    EXPECT_EQ(rig.windows().messages[0].title, "Ostrel  V3.3");
    EXPECT_EQ(rig.windows().messages[0].owner, ids::kNoOwner);
}

TEST(WiringPicture, ShowsTheRedrawnPictureAndClosesWithEnterOrEscape) {
    for (Qt::Key key : {Qt::Key_Escape, Qt::Key_Return}) {
        GuiRig rig;
        ASSERT_TRUE(rig.Start());
        bool ran = RunDialog(rig, ids::kWiringPicture, ids::kWiringDialog, [&](QDialog& d) {
            EXPECT_EQ(d.windowTitle().toStdString(), "PC-Parallel-Port <---> AVR");
            const qt::DialogUnits& u = static_cast<ModalDialog&>(d).units();
            EXPECT_EQ(d.size(), QSize(u.X(394), u.Y(206)));
            auto* picture = d.findChild<qt::SvgPicture*>();
            ASSERT_NE(picture, nullptr);
            EXPECT_TRUE(picture->IsValid());
            EXPECT_EQ(picture->geometry().topLeft(), QPoint(u.X(7), u.Y(7)));
            QTest::keyClick(&d, key);
        });
        EXPECT_TRUE(ran);
        EXPECT_FALSE(rig.program().ended());
    }
}

TEST(WiringPicture, TheDrawingHasTheCablesLabelsAndValues) {
    EnsureApplication();
    qt::InitResources();
    QFile file(QStringLiteral(":/ostrel/wiring.svg"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QString svg = QString::fromUtf8(file.readAll());
    for (const char* label :
         {"CONNECTION", "PC-Parallel-Port", "Microcontroller", "Pin10", "Pin3", "Pin5", "Pin2",
          "Pin18", "Vcc", "MISO", "SCK", "RESET", "MOSI", "GND", "1k", "100n", "1n", "+5V",
          // The ISP headers, pin by pin, and the table of where the lines go.
          "ISP 6-pin header", "MISO 1", "2 VCC", "SCK 3", "4 MOSI", "RESET 5", "6 GND",
          "ISP 10-pin header", "MOSI 1", "NC 3", "4 GND", "SCK 7", "8 GND", "MISO 9", "10 GND",
          "Where the lines go", "DTR 4 to DSR 6", "TXD 3 to RI 9", "GPIO25"}) {
        EXPECT_TRUE(svg.contains(QStringLiteral(">%1<").arg(QString::fromLatin1(label)))) << label;
    }
    EXPECT_EQ(svg.count(QStringLiteral(">1k<")), 2);
    EXPECT_TRUE(svg.contains(QStringLiteral("MOSI goes to PE0 and its MISO to PE1")));
}

// --- Fuses -------------------------------------------------------------------

// The Fuses window through its real widgets: the places the chip has are
// shown, a choice and a typed byte keep each other in step.
TEST(FusesWindow, ChoicesAndByteFieldsFollowEachOther) {
    GuiRig rig;
    ASSERT_TRUE(rig.Start());
    rig.ChooseSimulator("ATmega8");
    bool ran = RunDialog(rig, ids::kFuses, ids::kFusesWindow, [&](QDialog& d) {
        EXPECT_EQ(Text(d, ids::kFuseHex0), "E1");
        EXPECT_EQ(Text(d, ids::kFuseHex0 + 1), "D9");
        EXPECT_FALSE(Control(d, ids::kFuseHex0 + 2)->isVisible());  // no extended byte
        QComboBox* clock = nullptr;
        QCheckBox* bootReset = nullptr;
        for (int place = 0; place < 4 * ids::kFuseSlotsPerByte; ++place) {
            auto* name = qobject_cast<QLabel*>(Control(d, ids::kFuseName0 + place));
            auto* box = qobject_cast<QCheckBox*>(Control(d, ids::kFuseCheck0 + place));
            if (name->isVisible() && name->text() == "CKSEL")
                clock = qobject_cast<QComboBox*>(Control(d, ids::kFuseChoice0 + place));
            if (box->isVisible() && box->text().startsWith("BOOTRST:"))
                bootReset = box;
        }
        ASSERT_NE(clock, nullptr);
        ASSERT_NE(bootReset, nullptr);
        EXPECT_EQ(clock->count(), 16);
        EXPECT_TRUE(clock->currentText().startsWith("0001: internal 1 MHz"))
            << clock->currentText().toStdString();
        EXPECT_FALSE(bootReset->isChecked());
        clock->setCurrentIndex(4);
        emit clock->activated(4);
        EXPECT_EQ(Text(d, ids::kFuseHex0), "E4");
        Type(d, ids::kFuseHex0 + 1, "D8");
        EXPECT_TRUE(bootReset->isChecked());
        Button(d, ids::kFuseClose)->click();
    });
    EXPECT_TRUE(ran);
    EXPECT_EQ(rig.chip().Fuse(0), 0xE1);  // nothing written
}

}  // namespace
}  // namespace ostrel::testing
