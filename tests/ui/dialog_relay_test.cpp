// A modal dialog's actions reach its behaviour one at a time and not after
// the dialog has ended, in the Qt and the Win32 dialog alike.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>

#include "ui/dialog_relay.h"

namespace ostrel::testing {
namespace {

struct RecordingHandler : DialogHandler {
    void OnInit() override { calls += "init "; }
    void OnCommand(int id) override {
        calls += "command" + std::to_string(id) + " ";
        if (id == 9)
            throw std::runtime_error("the chip went away");
        if (during)
            during(id);
    }
    void OnEditNotify(int id) override { calls += "edit" + std::to_string(id) + " "; }
    std::string calls;
    std::function<void(int)> during;  // runs inside OnCommand: events let through
};

TEST(DialogRelay, ActionsReachTheBehaviourOneAtATimeAndNotAfterTheEnd) {
    const struct {
        const char* what;
        std::function<void(ui::DialogRelay&, RecordingHandler&)> act;
        const char* calls;
        int endResult;  // -1: not ended
    } kCases[] = {
        {"a click while a click's handler runs is dropped",
         [](ui::DialogRelay& relay, RecordingHandler& h) {
             h.during = [&relay](int) {
                 relay.Command(2);
                 relay.EditNotify(3);
             };
             relay.Command(1);
             h.during = nullptr;
             relay.Command(4);
         },
         "init command1 command4 ", -1},
        {"nothing after the end, and the first result stands",
         [](ui::DialogRelay& relay, RecordingHandler&) {
             EXPECT_TRUE(relay.End(5));
             relay.Command(1);
             relay.EditNotify(1);
             EXPECT_FALSE(relay.End(7));
         },
         "init ", 5},
        {"the program's own text change is no user's edit",
         [](ui::DialogRelay& relay, RecordingHandler&) {
             relay.EditNotify(4, true);
             relay.EditNotify(4);
         },
         "init edit4 ", -1},
        {"a handler that failed takes the next action",
         [](ui::DialogRelay& relay, RecordingHandler&) {
             EXPECT_THROW(relay.Command(9), std::runtime_error);
             relay.Command(1);
         },
         "init command9 command1 ", -1},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        RecordingHandler handler;
        ui::DialogRelay relay(handler);
        relay.Init();
        c.act(relay, handler);
        EXPECT_EQ(handler.calls, c.calls);
        EXPECT_EQ(relay.ended(), c.endResult >= 0);
        if (c.endResult >= 0) {
            EXPECT_EQ(relay.endResult(), c.endResult);
        }
    }
}

}  // namespace
}  // namespace ostrel::testing
