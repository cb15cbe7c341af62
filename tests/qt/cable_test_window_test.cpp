// Port > "Cable Test" on the simulated Cablet2 cable: the window lists every
// state as it happens, names the cable, can be stopped, and no other command
// starts while it runs.
#include <gtest/gtest.h>
#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "core/ids.h"
#include "qt/cable_test_window.h"
#include "tests/qt/gui_rig.h"

namespace ostrel::testing {
namespace {

qt::CableTestWindow* OpenCableTest() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<qt::CableTestWindow*>(w); box && box->isVisible())
            return box;
    return nullptr;
}

TEST(CableTestWindow, ListsTheStatesNamesTheCableAndCanBeStopped) {
    struct Case {
        bool stop;
        std::vector<std::string> rowStarts;
        std::string verdictStart;
    };
    const Case cases[] = {
        {false,
         {"start", "RESET high", "RESET low", "SCK high", "SCK low", "MOSI high", "MOSI low",
          "end"},
         "Cablet2:"},
        // Stopped while the start state is held: it still ends with the release.
        {true, {"start", "end"}, "Stopped before the loop-backs were driven"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stop ? "stopped" : "to its end");
        GuiRig rig;
        ASSERT_TRUE(rig.Start());
        rig.ChooseSimulator("ATmega8");
        ASSERT_EQ(rig.p().state.portName.view(), "SIM");

        // Runs at the first event processing inside the test.
        bool refused = false;
        QTimer::singleShot(0, [&] {
            qt::CableTestWindow* box = OpenCableTest();
            ASSERT_NE(box, nullptr) << "the window shows while the test runs";
            EXPECT_TRUE(box->running());
            refused = !rig.program().session().Command(ids::kCheck);
            if (c.stop)
                QTest::mouseClick(box->button(), Qt::LeftButton);
        });
        std::vector<std::string> rows;
        std::string verdict;
        rig.windows().automation.dialogScript = [&](int dialog, QDialog& shown) {
            EXPECT_EQ(dialog, qt::kCableTestCommand);
            auto& box = static_cast<qt::CableTestWindow&>(shown);
            for (int i = 0; i < box.list()->count(); ++i)
                rows.push_back(box.list()->item(i)->text().toStdString());
            verdict = box.verdict()->text().toStdString();
            EXPECT_EQ(box.button()->text().toStdString(), "Close");
            QTest::mouseClick(box.button(), Qt::LeftButton);
        };
        rig.Choose(qt::kCableTestCommand);
        rig.windows().automation.dialogScript = nullptr;

        EXPECT_TRUE(refused) << "no other command while the test runs";
        EXPECT_EQ(rig.windows().dialogsLeftOpen, 0);
        ASSERT_EQ(rows.size(), c.rowStarts.size());
        for (size_t i = 0; i < rows.size(); ++i)
            EXPECT_EQ(rows[i].rfind(c.rowStarts[i], 0), 0u) << rows[i];
        EXPECT_EQ(verdict.rfind(c.verdictStart, 0), 0u) << verdict;
        EXPECT_TRUE(rig.chip().Running()) << "the target is released at the end";
        EXPECT_FALSE(rig.p().commandRunning);
        EXPECT_TRUE(rig.program().session().Command(ids::kCheck))
            << "commands run again afterwards";
    }
}

}  // namespace
}  // namespace ostrel::testing
