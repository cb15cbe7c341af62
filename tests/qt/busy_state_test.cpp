// The main window while a command runs: what would start another command is
// disabled, the cursor is busy, the progress bar follows the activity line's
// figure, Stop and Escape end the command with the target released, and a
// close asks whether to stop and quit.
#include <gtest/gtest.h>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "core/ids.h"
#include "platform/interrupts.h"
#include "sim/chip_table.h"
#include "sim/sim_state_file.h"
#include "tests/qt/gui_rig.h"
#include "tests/support/scripted_windows.h"
#include "ui/busy.h"
#include "ui/control_table.h"

namespace ostrel::testing {
namespace {

std::string CopyExample(GuiRig& rig, std::string_view name) {
    return rig.dir.Write(name, ReadFileBytes(SourcePath("examples/" + std::string(name))));
}

// A started program on the simulated ATmega8 with a flash file chosen.
void ReadyToWrite(GuiRig& rig) {
    ASSERT_TRUE(rig.Start());
    rig.ChooseSimulator("ATmega8");
    rig.OpenFile(CopyExample(rig, "blink-atmega8.hex"));
    rig.windows().messages.clear();
}

// Runs `during` once, inside the command's activity refresh, the first time
// the activity line shows a figure of at least `figure` percent.
void AtFigure(GuiRig& rig, int figure, const std::function<void()>& during) {
    auto done = std::make_shared<bool>(false);
    QObject::connect(rig.Field(ids::kActivity), &QLineEdit::textChanged, &rig.window(),
                     [done, figure, during](const QString& text) {
                         std::optional<int> shown = ShownPercent(text.toStdString());
                         if (*done || !shown || *shown < figure)
                             return;
                         *done = true;
                         // Inside the refresh's event processing, as a user's click is.
                         QTimer::singleShot(0, during);
                     });
}

QProgressBar* Bar(GuiRig& rig) {
    return qobject_cast<QProgressBar*>(rig.Control(ids::kProgressBar));
}

struct Snapshot {
    std::vector<int> enabledCommandControls;  // controls that start a command, enabled
    std::vector<std::string> enabledMenuItems;
    bool chipItemEnabled = false;
    bool stopShown = false, stopEnabled = false, barShown = false;
    int barValue = -1, barMaximum = -1;
    bool busyCursor = false;
};

Snapshot Take(GuiRig& rig) {
    Snapshot s;
    for (const ui::ControlEntry& entry : ui::MainWindowControls()) {
        if ((entry.start & ui::kStartsCommand) != 0 && rig.Control(entry.id)->isEnabled())
            s.enabledCommandControls.push_back(entry.id);
    }
    for (const auto& [command, action] : rig.window().menuItems()) {
        if (action->isEnabled())
            s.enabledMenuItems.push_back(action->text().toStdString());
    }
    s.chipItemEnabled = rig.window().SimulatorChipItem("ATmega8")->isEnabled();
    s.stopShown = rig.Control(ids::kStop)->isVisible();
    s.stopEnabled = rig.Control(ids::kStop)->isEnabled();
    s.barShown = Bar(rig)->isVisible();
    s.barValue = Bar(rig)->value();
    s.barMaximum = Bar(rig)->maximum();
    s.busyCursor = rig.window().testAttribute(Qt::WA_SetCursor) &&
                   rig.window().cursor().shape() == Qt::BusyCursor;
    return s;
}

TEST(BusyState, WhileAWriteRunsOnlyStopAndExitAreOfferedAndTheBarFollowsTheFigure) {
    GuiRig rig;
    ReadyToWrite(rig);
    const Snapshot idle = Take(rig);
    EXPECT_EQ(idle.enabledCommandControls.size(), 10u);  // the hidden ones too
    EXPECT_GT(idle.enabledMenuItems.size(), 25u);
    EXPECT_FALSE(idle.stopShown);
    EXPECT_FALSE(idle.barShown);
    EXPECT_FALSE(idle.busyCursor);

    std::optional<Snapshot> busy;
    std::string figureShown;
    AtFigure(rig, 40, [&] {
        busy = Take(rig);
        figureShown = rig.Field(ids::kActivity)->text().toStdString();
    });
    rig.Click(ids::kWrite);
    ASSERT_TRUE(busy.has_value());
    EXPECT_TRUE(busy->enabledCommandControls.empty());
    EXPECT_EQ(busy->enabledMenuItems, std::vector<std::string>{"Exit"});
    EXPECT_FALSE(busy->chipItemEnabled);
    EXPECT_TRUE(busy->stopShown);
    EXPECT_TRUE(busy->stopEnabled);
    EXPECT_TRUE(busy->barShown);
    EXPECT_EQ(busy->barMaximum, 100);
    EXPECT_EQ(std::optional<int>(busy->barValue), ShownPercent(figureShown)) << figureShown;
    EXPECT_GE(busy->barValue, 40);
    EXPECT_TRUE(busy->busyCursor);

    // Afterwards everything is as it was.
    EXPECT_TRUE(rig.windows().messages.empty()) << rig.LastMessage();
    const Snapshot after = Take(rig);
    EXPECT_EQ(after.enabledCommandControls, idle.enabledCommandControls);
    EXPECT_EQ(after.enabledMenuItems, idle.enabledMenuItems);
    EXPECT_FALSE(after.stopShown);
    EXPECT_FALSE(after.barShown);
    EXPECT_FALSE(after.busyCursor);
}

// Stop, the Escape key: the write ends at its next refresh, the target is
// released, the user is told what the chip is left like, and the next
// command runs as usual.
TEST(BusyState, StopAndEscapeEndTheCommandWithTheChipReleased) {
    struct Case {
        const char* how;
        std::function<void(GuiRig&)> ask;
    };
    const Case cases[] = {
        {"Stop button", [](GuiRig& rig) { rig.Click(ids::kStop); }},
        {"Escape", [](GuiRig& rig) { QTest::keyClick(&rig.window(), Qt::Key_Escape); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        GuiRig rig;
        ReadyToWrite(rig);
        bool stopping = false;
        AtFigure(rig, 30, [&] {
            c.ask(rig);
            stopping = rig.Button(ids::kStop)->text().toStdString() == ui::kStopping &&
                       !rig.Control(ids::kStop)->isEnabled();
        });
        rig.Click(ids::kWrite);
        EXPECT_TRUE(stopping);
        EXPECT_EQ(rig.Messages(), std::vector<std::string>{
                                      "Error: Stopped: the chip may be partly programmed: write "
                                      "it again."});
        EXPECT_FALSE(rig.program().ended());
        EXPECT_FALSE(rig.p().commandRunning);
        EXPECT_FALSE(rig.p().stopRequested);
        rig.clock.Advance(10);  // RESET high is seen after two chip cycles
        EXPECT_TRUE(rig.chip().Running());
        EXPECT_FALSE(rig.Control(ids::kStop)->isVisible());
        EXPECT_TRUE(rig.Control(ids::kWrite)->isEnabled());

        rig.windows().messages.clear();
        rig.Click(ids::kCheck);
        EXPECT_TRUE(rig.windows().messages.empty()) << rig.LastMessage();
        EXPECT_EQ(rig.DeviceList()->currentText().toStdString(), "ATmega8");
    }
}

// The close box and File > Exit during a command ask whether to stop it and
// quit: Cancel lets it run to its end, OK stops it and the program ends once
// the command has ended.
TEST(BusyState, CloseDuringACommandAsksWhetherToStopAndQuit) {
    struct Case {
        const char* how;
        bool viaExitItem;
        MsgResult answer;
    };
    const Case cases[] = {
        {"close box, Cancel", false, MsgResult::Cancel},
        {"close box, OK", false, MsgResult::Ok},
        {"File > Exit, Cancel", true, MsgResult::Cancel},
        {"File > Exit, OK", true, MsgResult::Ok},
    };
    const std::string question =
        std::string(ui::kStopAndQuitTitle) + ": " + ui::kStopAndQuitQuestion;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        GuiRig rig;
        ReadyToWrite(rig);
        rig.windows().automation.messageAnswers.push_back(c.answer);
        bool closed = true;
        AtFigure(rig, 20, [&] {
            if (c.viaExitItem) {
                rig.Choose(ids::kExit);
                closed = false;
            } else {
                closed = rig.window().close();
            }
        });
        rig.Click(ids::kWrite);
        EXPECT_FALSE(closed) << "the window went while the command ran";
        ASSERT_FALSE(rig.windows().messages.empty());
        EXPECT_EQ(rig.windows().messages[0].buttons, MsgButtons::OkCancel);
        EXPECT_EQ(rig.Messages()[0], question);
        if (c.answer == MsgResult::Cancel) {
            EXPECT_EQ(rig.Messages().size(), 1u) << rig.LastMessage();
            EXPECT_FALSE(rig.program().ended());
            EXPECT_TRUE(InOrder(rig.activity(), {"OK", "*.hex"}))
                << ::testing::PrintToString(rig.activity());
            continue;
        }
        EXPECT_EQ(rig.LastMessage(),
                  "Error: Stopped: the chip may be partly programmed: write it again.");
        EXPECT_TRUE(rig.program().ended());
        EXPECT_FALSE(rig.window().isVisible());
        rig.clock.Advance(10);
        // Exit holds the target in reset, as at every end of the program.
        EXPECT_FALSE(rig.chip().Running());
    }
}

// A termination request or a hang-up (a kill, a logout) ends the program as
// Exit does: a running write stops at its next refresh with the target let go,
// and the settings and the simulated chip are on the disk, whole and settled.
TEST(BusyState, TerminationAndHangUpEndTheProgramWithNothingLost) {
    struct Case {
        const char* how;
        int signal;
        bool duringWrite;  // else after the write, with nothing running
        const char* lastMessage;
    };
    const Case cases[] = {
        {"SIGTERM during a write", kTerminateSignal, true,
         "Error: Stopped: the chip may be partly programmed: write it again."},
        {"SIGHUP during a write", kHangUpSignal, true,
         "Error: Stopped: the chip may be partly programmed: write it again."},
        {"SIGTERM when idle", kTerminateSignal, false, ""},
        {"SIGHUP when idle", kHangUpSignal, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        GuiRig rig;
        ReadyToWrite(rig);
        if (c.duringWrite)
            AtFigure(rig, 30, [&] { rig.program().session().Interrupted(c.signal); });
        rig.Click(ids::kWrite);
        const bool endedByWrite = rig.program().ended();
        if (!c.duringWrite)
            rig.program().session().Interrupted(c.signal);
        EXPECT_EQ(endedByWrite, c.duringWrite);
        EXPECT_TRUE(rig.program().ended());
        EXPECT_EQ(rig.Messages().empty() ? "" : rig.LastMessage(), c.lastMessage);
        rig.program().session().Destroy();
        rig.clock.Advance(10);
        EXPECT_FALSE(rig.p().commandRunning);
        EXPECT_TRUE(std::filesystem::exists(rig.dir.File("ostrel.cfg")));
        const sim::StateLoad state =
            sim::LoadChipState(sim::DefaultStatePath(rig.dir.str()), *sim::FindChip("ATmega8"));
        EXPECT_TRUE(state.fromFile) << state.warning;
        EXPECT_FALSE(state.cutOff);
        // A whole write is kept (the example starts with a jump), a stopped
        // one as far as it came (its first page is burnt last).
        EXPECT_EQ(state.memory.flash[0] != 0xFF, !c.duringWrite);
    }
}

// While a dialog of the command is open, its own handlers run the command's
// steps: a stop is refused then (with a beep), and a close says so the same
// way; the dialog ends as usual and the command with it.
TEST(BusyState, NoStopWhileADialogOfTheCommandIsOpen) {
    GuiRig rig;
    ASSERT_TRUE(rig.Start());
    rig.ChooseSimulator("ATmega8");
    rig.windows().messages.clear();
    bool stopTaken = true;
    bool closed = true;
    int beepsBefore = rig.windows().beeps;
    rig.windows().automation.dialogScript = [&](int dialog, QDialog& box) {
        EXPECT_EQ(dialog, ids::kInstructionsDialog);
        stopTaken = rig.program().session().RequestStop();
        closed = rig.window().close();
        box.reject();
    };
    rig.Choose(ids::kFuseBits);
    rig.windows().automation.dialogScript = nullptr;
    EXPECT_FALSE(stopTaken);
    EXPECT_FALSE(closed);
    EXPECT_EQ(rig.windows().beeps, beepsBefore + 2);
    EXPECT_FALSE(rig.p().stopRequested);
    EXPECT_TRUE(rig.windows().messages.empty()) << rig.LastMessage();
    EXPECT_FALSE(rig.program().ended());
    EXPECT_TRUE(rig.MenuItem(ids::kFuseBits)->isEnabled());
}

}  // namespace
}  // namespace ostrel::testing
