// The pieces under the windows: dialog units, the listing's CR LF positions,
// capitals in the byte fields, the file dialog's filter and document URLs.
#include <gtest/gtest.h>
#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTest>
#include <QTextCursor>

#include <filesystem>
#include <optional>

#include "qt/desktop_launcher.h"
#include "qt/dialog_units.h"
#include "qt/qt_window_system.h"
#include "qt/widgets.h"
#include "tests/qt/gui_rig.h"

namespace ostrel::testing {
namespace {

TEST(DialogUnits, FollowTheClassicRounding) {
    // The classic dialog font: average width 6, height 13 pixels.
    qt::DialogUnits units(6, 13);
    EXPECT_EQ(units.X(4), 6);
    EXPECT_EQ(units.X(198), 297);
    EXPECT_EQ(units.Y(8), 13);
    EXPECT_EQ(units.Y(162), 263);
    EXPECT_EQ(units.Y(1), 2);  // 1.625 rounds up
    EXPECT_EQ(units.X(1), 2);  // 1.5 rounds up
    EXPECT_EQ(units.Y(3), 5);  // 4.875
    EXPECT_EQ(units.Rect(21, 47, 68, 14), QRect(32, 76, 102, 23));
}

TEST(DialogUnits, ComeFromTheFontsLetters) {
    EnsureApplication();
    QFont font = QApplication::font();
    qt::DialogUnits units(font);
    QFontMetrics metrics(font);
    EXPECT_GT(units.baseWidth(), 0);
    EXPECT_EQ(units.baseHeight(), metrics.height());
    // Twice the size of the font gives about twice the units.
    QFont large = font;
    large.setPointSizeF(font.pointSizeF() * 2);
    qt::DialogUnits larger(large);
    EXPECT_GE(larger.baseWidth(), 2 * units.baseWidth() - 2);
    EXPECT_GE(larger.baseHeight(), 2 * units.baseHeight() - 3);
}

TEST(ListingEdit, KeepsCrLfLinesAndCountsBothCharactersOfALineEnd) {
    EnsureApplication();
    qt::ListingEdit listing;
    std::string text = "0000: 12 \r\n0001: 34 \r\n0002: 56 \r\n";
    listing.SetListing(text);
    EXPECT_EQ(listing.Listing(), text);
    EXPECT_FALSE(listing.IsModified());
    EXPECT_EQ(listing.document()->blockCount(), 4);

    // Line 2, column 6 is character 2 * 11 + 6 of the listing.
    for (int position : {0, 5, 11, 17, 22, 28, 33}) {
        int widget = listing.ToWidgetPosition(position);
        EXPECT_EQ(listing.ToListingPosition(widget), position) << position;
    }
    QTextCursor cursor = listing.textCursor();
    cursor.setPosition(listing.ToWidgetPosition(28));
    cursor.setPosition(listing.ToWidgetPosition(30), QTextCursor::KeepAnchor);
    listing.setTextCursor(cursor);
    EXPECT_EQ(listing.ListingSelection().start, 28);
    EXPECT_EQ(listing.ListingSelection().end, 30);
    EXPECT_EQ(listing.textCursor().selectedText().toStdString(), "56");
}

TEST(ListingEdit, ReportsTypingButNotTheProgramsOwnText) {
    EnsureApplication();
    qt::ListingEdit listing;
    int notes = 0;
    QObject::connect(&listing, &qt::ListingEdit::Notified, [&] { ++notes; });
    listing.SetListing("0000: 12 \r\n");
    EXPECT_EQ(notes, 0);
    EXPECT_EQ(listing.textCursor().position(), 0);

    QTextCursor cursor = listing.textCursor();
    cursor.setPosition(6);
    listing.setTextCursor(cursor);
    int afterMove = notes;
    EXPECT_GT(afterMove, 0);
    QTest::keyClicks(&listing, "ab");
    EXPECT_GT(notes, afterMove);
    EXPECT_TRUE(listing.IsModified());
    EXPECT_EQ(listing.Listing(), "0000: AB12 \r\n");  // typed letters become capitals
}

TEST(UpperCaseValidator, TurnsTypedLettersIntoCapitals) {
    EnsureApplication();
    QLineEdit field;
    field.setValidator(new qt::UpperCaseValidator(&field));
    QTest::keyClicks(&field, "5a");
    EXPECT_EQ(field.text().toStdString(), "5A");
    QTest::keyClicks(&field, "f");
    EXPECT_EQ(field.text().toStdString(), "5AF");
}

TEST(FileDialogFilter, ShowsTheNameAndThePatterns) {
    EXPECT_EQ(qt::FileDialogFilter("*.hex, *.eep, readback.txt", "*.hex;*.eep;readback.txt")
                  .toStdString(),
              "*.hex, *.eep, readback.txt (*.hex *.eep readback.txt)");
}

TEST(DocumentUrl, KeepsWebAddressesAndTurnsPathsIntoFileUrls) {
    EXPECT_EQ(qt::DocumentUrl("https://example.org/ostrel").toString().toStdString(),
              "https://example.org/ostrel");
    QUrl page = qt::DocumentUrl("/tmp/ostrel help/ostrel-hlp.htm#versions");
    EXPECT_TRUE(page.isLocalFile());
    EXPECT_EQ(page.toLocalFile().toStdString(), "/tmp/ostrel help/ostrel-hlp.htm");
    EXPECT_EQ(page.fragment().toStdString(), "versions");
    EXPECT_FALSE(qt::DocumentUrl("/tmp/ostrel-hlp.htm").hasFragment());
}

// Desktop files as they come: only the [Desktop Entry] group counts, a file
// without an Exec line or far too long is no application.
TEST(DesktopLauncher, ReadsTheDesktopEntryOfADesktopFile) {
    struct Case {
        const char* what;
        std::string text;
        bool application;
        bool terminal;
    };
    const Case cases[] = {
        {"browser", "[Desktop Entry]\nName=Web\nExec=web %u\nTerminal=false\n", true, false},
        {"terminal editor", "[Desktop Entry]\r\nExec=vim %F\r\nTerminal=true\r\n", true, true},
        {"other group", "[Desktop Action New]\nTerminal=true\n[Desktop Entry]\nExec=a\n", true,
         false},
        {"no Exec", "[Desktop Entry]\nName=Nothing\n", false, false},
        {"Exec outside the entry", "[Other]\nExec=a\n", false, false},
        {"empty", "", false, false},
        {"binary", std::string("\0\xFF[Desktop Entry]\0Exec", 22), false, false},
        {"far too long", "[Desktop Entry]\nExec=a\n" + std::string(70000, '#'), false, false},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::optional<qt::DesktopEntry> entry =
            qt::ReadDesktopEntry(dir.Write("a.desktop", c.text));
        EXPECT_EQ(entry.has_value(), c.application);
        if (entry) {
            EXPECT_EQ(entry->terminal, c.terminal);
        }
    }
    EXPECT_FALSE(qt::ReadDesktopEntry(dir.File("missing.desktop")).has_value());
}

TEST(DesktopLauncher, FindsAProgramThatShowsPagesInAWindowOrNone) {
    struct Case {
        const char* what;
        DesktopKind desktop;
        const char* type;
        bool web;
        const char* launcher;  // the program's file name; empty: none
    };
    const Case cases[] = {
        {"no browser", DesktopKind::NoBrowser, "x-scheme-handler/https", true, ""},
        {"terminal editor", DesktopKind::TerminalEditor, "x-scheme-handler/https", true, ""},
        {"terminal editor for folders", DesktopKind::TerminalEditor, "inode/directory", false, ""},
        {"browser", DesktopKind::Browser, "x-scheme-handler/https", true, "xdg-open"},
        {"file manager", DesktopKind::Browser, "inode/directory", false, "xdg-open"},
        {"no handler for the type", DesktopKind::Browser, "x-scheme-handler/ftp", true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        qt::LauncherEnvironment desktop = FakeDesktop(dir, c.desktop);
        std::optional<qt::Launcher> found = qt::FindLauncher(desktop, c.type, c.web);
        std::string program =
            found ? std::filesystem::path(found->program).filename().string() : "";
        EXPECT_EQ(program, c.launcher);
    }
    // Without a desktop default, Debian's x-www-browser shows web pages.
    TempDir dir;
    qt::LauncherEnvironment desktop = FakeDesktop(dir, DesktopKind::TerminalEditor);
    std::string browser = dir.Write("bin/x-www-browser", "#!/bin/sh\n");
    std::filesystem::permissions(browser, std::filesystem::perms::owner_all);
    std::optional<qt::Launcher> found = qt::FindLauncher(desktop, "x-scheme-handler/https", true);
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->program, browser);
    EXPECT_FALSE(qt::FindLauncher(desktop, "inode/directory", false).has_value());
    // A file that is not executable, a relative or empty PATH entry: not found.
    dir.Write("bin/plain", "x");
    EXPECT_EQ(qt::FindInPath(desktop.path, "plain"), "");
    EXPECT_EQ(qt::FindInPath(":.:" + desktop.path, "x-www-browser"), browser);
    EXPECT_EQ(qt::FindInPath("", "x-www-browser"), "");
    EXPECT_EQ(qt::LauncherType(QUrl(QStringLiteral("https://example.org/"))),
              "x-scheme-handler/https");
    EXPECT_EQ(qt::LauncherType(QUrl::fromLocalFile(QStringLiteral("/tmp"))), "inode/directory");
}

}  // namespace
}  // namespace ostrel::testing
