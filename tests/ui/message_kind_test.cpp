// The kind of every message box the program shows, from its title, text and
// buttons: the same rule for every window front-end.
#include <gtest/gtest.h>

#include "platform/texts.h"
#include "ui/busy.h"
#include "ui/message_kind.h"

namespace ostrel::testing {
namespace {

using ui::MessageKind;

TEST(MessageKind, FollowsTheSystemsTitlesAndButtons) {
    struct Case {
        const char* title;
        const char* text;
        MsgButtons buttons;
        MessageKind kind;
    };
    const Case cases[] = {
        {"Error", "No Connection!\n\n", MsgButtons::Ok, MessageKind::Error},
        // The verify mismatch offers to go on, but it is still an error.
        {"Error", "Verify failed at Adr: 0010\n", MsgButtons::OkCancel, MessageKind::Error},
        {"ERROR!", "No File selected!", MsgButtons::Ok, MessageKind::Error},
        {"Error!", "Open Error 'ostrel.ini !'", MsgButtons::Ok, MessageKind::Error},
        {"ERROR", "ERRRRROOOOR!", MsgButtons::Ok, MessageKind::Error},
        {"Warning!", "This Command Deletes Memory!", MsgButtons::OkCancel, MessageKind::Warning},
        {"Warning!", "Checksum wrong, continue!", MsgButtons::OkCancel, MessageKind::Warning},
        {"Warning:", "Device Code erased!\n\n", MsgButtons::Ok, MessageKind::Warning},
        {"OSTREL:", "Unknown devicecode!", MsgButtons::Ok, MessageKind::Warning},
        {"ostrel.ini", "These lines of ostrel.ini cannot be used", MsgButtons::Ok,
         MessageKind::Warning},
        {"Info:", "Vendor Code: 1E\n", MsgButtons::Ok, MessageKind::Information},
        {"Ostrel  V3.3", "Ostrel - in-system programmer", MsgButtons::Ok, MessageKind::Information},
        {"Ostrel", "Open 'blink.hex' ?", MsgButtons::OkCancel, MessageKind::Question},
        {"Ostrel", "Ostrel keeps its device list", MsgButtons::Ok, MessageKind::Information},
        {"", "Write Error!", MsgButtons::Ok, MessageKind::Error},
        {"", "Function not available!", MsgButtons::Ok, MessageKind::Warning},
        {ui::kStopAndQuitTitle, ui::kStopAndQuitQuestion, MsgButtons::OkCancel,
         MessageKind::Warning},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ui::KindOf(c.title, c.text, c.buttons), c.kind)
            << "'" << c.title << "': " << c.text;
    }
}

}  // namespace
}  // namespace ostrel::testing
