// The desktop session without a toolkit: the busy state around every command,
// Stop, a close while a command runs, what the main window says afterwards,
// and the simulator's chip and clock, against a main window that records
// what it is asked and the scripted window system.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/assembly.h"
#include "core/ids.h"
#include "tests/support/scripted_windows.h"
#include "tests/support/temp_dir.h"
#include "ui/busy.h"
#include "ui/cable_test.h"
#include "ui/desktop_session.h"

namespace ostrel::testing {
namespace {

// The cable test window: what it would list, by the flow both renderers follow.
struct CableTestRecord {
    std::string port;
    std::vector<std::string> rows;
    int idles = 0;
    int stopAtIdle = 0;             // the window's Stop is pressed at this idle (0: never)
    bool runningAtReadings = true;  // a command ran at every reading
    bool closed = false;
    std::string verdict;
    bool pressCloses = false;  // once over, the button closes the window
    bool open = false;
};

class RecordingCableView : public ui::CableTestView {
  public:
    RecordingCableView(CableTestRecord& record, const bool& commandRunning)
        : record_(record), commandRunning_(commandRunning) {
        record_.open = true;
    }
    ~RecordingCableView() override { record_.open = false; }
    void Show(const adapter::CableReading& reading) override {
        record_.runningAtReadings = record_.runningAtReadings && commandRunning_;
        ui::CableTestFlow::Row row = flow_.Take(reading);
        if (row.replacesLast && !record_.rows.empty())
            record_.rows.pop_back();
        record_.rows.push_back(row.line);
    }
    bool Idle() override {
        if (++record_.idles == record_.stopAtIdle) {
            EXPECT_FALSE(flow_.Press());
        }
        return !flow_.stopRequested();
    }
    void Close() override { record_.closed = true; }
    void FinishAndWait(const adapter::CableTestResult& result) override {
        record_.verdict = flow_.Finish(result);
        record_.pressCloses = flow_.Press();
    }

  private:
    ui::CableTestFlow flow_;
    CableTestRecord& record_;
    const bool& commandRunning_;
};

class RecordingWindow : public ui::DesktopWindow {
  public:
    explicit RecordingWindow(ScriptedWindows& windows) : windows_(windows) {}

    void Show() override { shown = true; }
    bool Ended() override { return windows_.WindowEnded(ids::kMainWindow); }
    void SetBusy(bool busyNow) override { busy.push_back(busyNow); }
    void ShowStopping() override { ++stopping; }
    void ShowOnActivityLine(const std::vector<std::string>& shownLines,
                            const std::string& tip) override {
        lines.push_back(shownLines);
        tips[ids::kActivity] = tip;
    }
    void SetTip(int item, const std::string& tip) override { tips[item] = tip; }
    void ShowSimulatorChip(const std::string& name) override { chip = name; }
    void ShowSimulatorClock(uint32_t hz, uint32_t factory) override {
        clockHz = hz;
        factoryHz = factory;
    }
    bool CommandDialogOpen() override { return dialogOpen; }
    bool RaiseOpenModal() override {
        if (modalOpen)
            ++raised;
        return modalOpen;
    }
    std::unique_ptr<ui::CableTestView> OpenCableTest(const std::string& port) override {
        ++cableTests;
        cableTest.port = port;
        return std::make_unique<RecordingCableView>(cableTest, *commandRunning);
    }
    void Note(const std::string& line) override { notes.push_back(line); }

    bool shown = false;
    std::vector<bool> busy;
    int stopping = 0;
    std::vector<std::vector<std::string>> lines;
    std::map<int, std::string> tips;
    std::string chip;
    uint32_t clockHz = 0, factoryHz = 0;
    bool dialogOpen = false;
    bool modalOpen = false;
    int raised = 0;
    int cableTests = 0;
    CableTestRecord cableTest;
    const bool* commandRunning = nullptr;
    std::vector<std::string> notes;

  private:
    ScriptedWindows& windows_;
};

// A session on the simulated chip: the start folder holds the device file
// and settings that choose the port "SIM", so no real port is touched.
struct SessionRig {
    SessionRig() {
        dir.Write("ostrel.ini", ReadFileBytes(SourcePath("resources/ostrel.ini")));
        // "SIM" with a zero byte at offset 0, speed High at offset 6.
        dir.Write("ostrel.cfg", std::string("SIM\0\r\n3", 7));
        app::AssemblyOptions options;
        options.startDirectory = dir.str();
        options.clock = &clock;
        options.parallelAccess = false;
        assembly = std::make_unique<app::Assembly>(windows, options);
        window.commandRunning = &assembly->programmer().commandRunning;
        session = std::make_unique<ui::DesktopSession>(
            *assembly, window, app::StartFolder{dir.str(), false, false, {}}, "/home/ada");
    }
    ~SessionRig() { session->Destroy(); }

    Programmer& p() { return assembly->programmer(); }
    // Makes an example the current data file, as File > Open does.
    void OpenExample(const std::string& name) {
        windows.fileChoices.push_back(
            dir.Write(name, ReadFileBytes(SourcePath("examples/" + name))));
        ASSERT_TRUE(session->Command(ids::kFileOpen));
    }
    // Runs `during` once, at the first activity refresh after it is set.
    void DuringNextRefresh(std::function<void()> during) {
        auto done = std::make_shared<bool>(false);
        windows.onPendingEvents = [done, during] {
            if (*done)
                return;
            *done = true;
            during();
        };
    }

    TempDir dir;
    VirtualClock clock;
    ScriptedWindows windows;
    RecordingWindow window{windows};
    std::unique_ptr<app::Assembly> assembly;
    std::unique_ptr<ui::DesktopSession> session;
};

TEST(DesktopSession, EveryChipCommandRunsInTheBusyStateAndTheStartUpShowsThePort) {
    SessionRig rig;
    ASSERT_TRUE(rig.session->Start(std::nullopt));
    EXPECT_TRUE(rig.window.shown);
    EXPECT_TRUE(rig.window.busy.empty());
    EXPECT_EQ(rig.windows.ItemText(ids::kMainWindow, ids::kPortDisplay), "Port: SIM");
    EXPECT_NE(rig.window.tips[ids::kPortDisplay].find("simulated chip"), std::string::npos);
    EXPECT_NE(rig.window.tips[ids::kActivity].find("Start folder: " + rig.dir.str()),
              std::string::npos);
    EXPECT_FALSE(rig.p().commandRunning);

    EXPECT_TRUE(rig.session->Command(ids::kCheck));
    EXPECT_EQ(rig.window.busy, (std::vector<bool>{true, false}));
    EXPECT_TRUE(rig.windows.messages.empty()) << rig.windows.MessageTexts()[0];
    EXPECT_EQ(rig.windows.ListEntry(rig.windows.SelectedListEntry()), "ATmega8");
    // Port > Cable Test is the front-end's window, run as a command.
    EXPECT_TRUE(rig.session->Command(ids::kCableTest));
    EXPECT_EQ(rig.window.cableTests, 1);
    EXPECT_EQ(rig.window.busy.size(), 4u);
}

// Port > Cable Test on the simulator: the window lists every state, a live
// reading in place of the held state's row, and ends with the verdict; its
// Stop ends the test early, the target released; once over, its button
// closes it. The test is a command while it runs, and only then.
TEST(DesktopSession, TheCableTestRunsInItsWindowAsACommand) {
    const struct {
        const char* what;
        int stopAtIdle;
        std::size_t rows;  // at least
        const char* verdictStart;
    } kCases[] = {
        {"run through", 0, 8, ""},
        {"stopped at once", 1, 1, "Stopped"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        SessionRig rig;
        ASSERT_TRUE(rig.session->Start(std::nullopt));
        rig.window.cableTest.stopAtIdle = c.stopAtIdle;
        EXPECT_TRUE(rig.session->Command(ids::kCableTest));
        const CableTestRecord& record = rig.window.cableTest;
        EXPECT_EQ(record.port, "SIM");
        EXPECT_GE(record.rows.size(), c.rows);
        if (c.stopAtIdle == 0) {
            EXPECT_LE(record.rows.size(), 8u) << "a live reading took a row of its own";
        }
        EXPECT_TRUE(record.runningAtReadings);
        EXPECT_FALSE(record.closed);
        EXPECT_FALSE(record.verdict.empty());
        EXPECT_EQ(record.verdict.rfind(c.verdictStart, 0), 0u) << record.verdict;
        EXPECT_TRUE(record.pressCloses);
        EXPECT_FALSE(record.open);
        EXPECT_FALSE(rig.p().commandRunning);
        EXPECT_TRUE(rig.windows.messages.empty()) << rig.windows.MessageTexts()[0];
    }
}

// The progress bar and Stop show only while a command runs: the busy state
// is on at every refresh of the command and off once it has ended, however
// it ended (done, failed, stopped); a command that only shows a box or a
// picture leaves the window as it is.
TEST(DesktopSession, TheBusyStateLastsExactlyAsLongAsTheCommand) {
    struct Case {
        const char* what;
        bool withFile;  // a data file is current
        int command;
        bool stop;   // Stop is pressed at the first refresh
        bool boxed;  // a box shows (an "Error" box when the command fails)
        bool busy;   // it runs in the busy state
    };
    const Case cases[] = {
        {"a Check that succeeds", true, ids::kCheck, false, false, true},
        {"a Write that succeeds", true, ids::kWrite, false, false, true},
        {"a Write without a file fails", false, ids::kWrite, false, true, true},
        {"a Write that is stopped", true, ids::kWrite, true, true, true},
        {"the About box", true, ids::kAbout, false, true, false},
        {"the wiring picture", true, ids::kWiringPicture, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SessionRig rig;
        ASSERT_TRUE(rig.session->Start(std::nullopt));
        if (c.withFile)
            rig.OpenExample("blink-atmega8.hex");
        rig.windows.messages.clear();
        std::size_t before = rig.window.busy.size();
        int refreshes = 0, idleRefreshes = 0;
        rig.windows.onPendingEvents = [&] {
            ++refreshes;
            if (rig.window.busy.empty() || !rig.window.busy.back())
                ++idleRefreshes;
            if (c.stop && refreshes == 1)
                rig.session->Command(ids::kStop);
        };
        rig.session->Command(c.command);
        if (c.withFile && c.busy) {
            EXPECT_GT(refreshes, 0);
        }
        if (c.busy) {
            EXPECT_EQ(idleRefreshes, 0);
        }
        ASSERT_EQ(rig.window.busy.size(), before + (c.busy ? 2 : 0));
        EXPECT_TRUE(rig.window.busy.empty() || !rig.window.busy.back());
        EXPECT_EQ(rig.window.stopping, c.stop ? 1 : 0);
        EXPECT_EQ(!rig.windows.messages.empty(), c.boxed)
            << ::testing::PrintToString(rig.windows.MessageTexts());
    }
}

// What a user can do while a Write runs: another command is refused; Stop
// ends the write at its next refresh; Exit and the close box ask whether to
// stop and quit.
TEST(DesktopSession, WhileACommandRunsOnlyStopAndQuittingAreTaken) {
    // The stop comes at the write's first refresh, before anything was sent.
    const std::string stopped =
        "Error: Stopped: nothing had been written yet; the chip is unchanged.";
    const std::string question =
        std::string(ui::kStopAndQuitTitle) + ": " + ui::kStopAndQuitQuestion;
    struct Case {
        const char* what;
        int command;
        std::optional<MsgResult> answer;  // to the stop-and-quit question
        bool taken;
        std::vector<std::string> messages;
        bool ended;
    };
    const Case cases[] = {
        {"Read", ids::kRead, std::nullopt, false, {}, false},
        {"Stop", ids::kStop, std::nullopt, true, {stopped}, false},
        {"Exit, Cancel", ids::kExit, MsgResult::Cancel, true, {question}, false},
        {"Exit, OK", ids::kExit, MsgResult::Ok, true, {question, stopped}, true},
        {"close box, OK", ids::kCancelCommand, MsgResult::Ok, true, {question, stopped}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SessionRig rig;
        ASSERT_TRUE(rig.session->Start(std::nullopt));
        rig.OpenExample("blink-atmega8.hex");
        if (c.answer)
            rig.windows.answers.push_back(*c.answer);
        bool taken = !c.taken;
        rig.DuringNextRefresh([&] { taken = rig.session->Command(c.command); });
        EXPECT_TRUE(rig.session->Command(ids::kWrite));
        EXPECT_EQ(taken, c.taken);
        EXPECT_EQ(rig.windows.MessageTexts(), c.messages);
        EXPECT_EQ(rig.window.stopping, c.messages.empty() || c.messages.back() != stopped ? 0 : 1);
        EXPECT_EQ(rig.window.Ended(), c.ended);
        EXPECT_FALSE(rig.p().commandRunning);
        EXPECT_FALSE(rig.p().stopRequested);
        EXPECT_FALSE(rig.session->quitAfterCommand());
        EXPECT_EQ(rig.window.busy.back(), false);
        if (c.ended)
            continue;
        // The next command runs as usual: a stop asked for before is spent.
        rig.windows.messages.clear();
        EXPECT_TRUE(rig.session->Command(ids::kCheck));
        EXPECT_TRUE(rig.windows.messages.empty()) << rig.windows.MessageTexts()[0];
    }
}

// A stop is refused, with a beep, when no command runs and while a dialog of
// the command is open; a quit is refused while a dialog or question is open.
TEST(DesktopSession, NoStopOrQuitWhileNothingRunsOrADialogIsOpen) {
    struct Case {
        const char* what;
        bool running, dialogOpen, modalOpen;
        int command;
        bool stopTaken;
        int beeps, raised;
        std::size_t questions;
    };
    const Case cases[] = {
        {"Stop, nothing runs", false, false, false, ids::kStop, false, 1, 0, 0},
        {"Stop, a dialog is open", true, true, true, ids::kStop, false, 1, 0, 0},
        {"Stop, a command runs", true, false, false, ids::kStop, true, 0, 0, 0},
        {"Exit, a dialog is open", true, true, true, ids::kExit, false, 1, 1, 0},
        {"Exit, a question is open", true, false, true, ids::kExit, false, 1, 1, 0},
        {"Exit, a command runs", true, false, false, ids::kExit, false, 0, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SessionRig rig;
        ASSERT_TRUE(rig.session->Start(std::nullopt));
        rig.windows.answers.push_back(MsgResult::Cancel);
        rig.p().commandRunning = c.running;
        rig.p().stoppable = c.running;
        rig.window.dialogOpen = c.dialogOpen;
        rig.window.modalOpen = c.modalOpen;
        rig.session->Command(c.command);
        EXPECT_EQ(rig.p().stopRequested, c.stopTaken);
        EXPECT_EQ(rig.window.stopping, c.stopTaken ? 1 : 0);
        EXPECT_EQ(rig.windows.beeps, c.beeps);
        EXPECT_EQ(rig.window.raised, c.raised);
        EXPECT_EQ(rig.windows.messages.size(), c.questions);
        EXPECT_FALSE(rig.window.Ended());
        rig.p().commandRunning = false;
        rig.p().stoppable = false;
    }
}

TEST(DesktopSession, AfterAReadOrAWriteTheActivityLineSaysWhereTheFileWent) {
    SessionRig rig;
    ASSERT_TRUE(rig.session->Start(std::nullopt));
    rig.OpenExample("blink-atmega8.hex");
    rig.window.lines.clear();
    ASSERT_TRUE(rig.session->Command(ids::kWrite));
    ASSERT_EQ(rig.window.lines.size(), 1u);
    EXPECT_EQ(rig.window.lines[0].back(), rig.dir.File("blink-atmega8.hex"));
    EXPECT_NE(rig.window.tips[ids::kActivity].find("Its copy as written: "), std::string::npos);

    ASSERT_TRUE(rig.session->Command(ids::kRead));
    ASSERT_EQ(rig.window.lines.size(), 2u);
    EXPECT_EQ(rig.window.lines[1].back(), rig.dir.File("readback.txt"));
    EXPECT_EQ(rig.window.tips[ids::kActivity], "Saved: " + rig.dir.File("readback.txt"));

    // A command that saves nothing leaves the line to the command, and the
    // tip says where the start folder is again.
    ASSERT_TRUE(rig.session->Command(ids::kCheck));
    EXPECT_EQ(rig.window.lines.size(), 2u);
    EXPECT_EQ(rig.window.tips[ids::kActivity].rfind("Start folder: ", 0), 0u);
}

TEST(DesktopSession, TheSimulatorsChipAndClockAreChosenAndShown) {
    SessionRig rig;
    ASSERT_TRUE(rig.session->Start(std::nullopt));
    rig.session->ShowSimulator();
    EXPECT_EQ(rig.window.chip, rig.assembly->simulator().chip());

    EXPECT_TRUE(rig.session->ChooseSimulatorChip("AT90S2313"));
    EXPECT_EQ(rig.window.chip, "AT90S2313");
    EXPECT_EQ(rig.window.clockHz, 0u);
    EXPECT_GT(rig.window.factoryHz, 0u);
    EXPECT_TRUE(rig.session->ChooseSimulatorClock(4000000));
    EXPECT_EQ(rig.window.clockHz, 4000000u);
    EXPECT_EQ(rig.assembly->simulator().chipClock(), 4000000u);
    ASSERT_TRUE(rig.session->Command(ids::kCheck));
    EXPECT_EQ(rig.windows.ListEntry(rig.windows.SelectedListEntry()), "AT90S2313");

    // Not while a command runs.
    rig.p().commandRunning = true;
    EXPECT_FALSE(rig.session->ChooseSimulatorChip("ATmega8"));
    EXPECT_FALSE(rig.session->ChooseSimulatorClock(0));
    EXPECT_EQ(rig.window.chip, "AT90S2313");
    rig.p().commandRunning = false;
}

// The main window is made before its session: what it hands on before the
// session is there is refused or dropped, afterwards it reaches the session.
TEST(DesktopSession, TheMainWindowsActionsReachTheSessionOnceItIsMade) {
    SessionRig rig;
    ASSERT_TRUE(rig.session->Start(std::nullopt));
    rig.session->ShowSimulator();
    const std::string firstChip = rig.window.chip;
    ASSERT_NE(firstChip, "AT90S2313");
    std::unique_ptr<ui::DesktopSession> later;
    const ui::SessionActions actions = ui::ActionsOf(later);
    struct Case {
        const char* what;
        bool made;
        bool taken;
        std::string chip;
        uint32_t clockHz;
    };
    const Case cases[] = {
        {"before the session is made", false, false, firstChip, 0},
        {"once it is there", true, true, "AT90S2313", 4000000},
    };
    for (const Case& c : cases) {
        if (c.made)
            later.swap(rig.session);
        EXPECT_EQ(actions.command(ids::kCheck), c.taken) << c.what;
        actions.simulatorChip("AT90S2313");
        actions.simulatorClock(4000000);
        EXPECT_EQ(rig.window.chip, c.chip) << c.what;
        EXPECT_EQ(rig.window.clockHz, c.clockHz) << c.what;
    }
    later.swap(rig.session);
}

TEST(DesktopSession, AStartFolderChosenByTheCallerWinsOverTheNamedDirectory) {
    const app::StartFolder chosen{"/home/ada/.local/share/ostrel", true, false, {}};
    EXPECT_EQ(ui::ChooseDesktopStartFolder(chosen, "/tmp/x").directory, chosen.directory);
    app::StartFolder named = ui::ChooseDesktopStartFolder(std::nullopt, "/tmp/x");
    EXPECT_EQ(named.directory, "/tmp/x");
    EXPECT_FALSE(named.perUser);
}

}  // namespace
}  // namespace ostrel::testing
