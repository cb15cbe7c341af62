#include "app/activity.h"

#include "platform/ids.h"

namespace ostrel::app {

namespace {
// Blanks that follow the text, so whatever the field showed before is wiped.
constexpr std::string_view kPadding =
    "                                                                                ";
static_assert(kPadding.size() == 80);
}  // namespace

void ShowActivity(Programmer& p) {
    FixedString<204>& text = p.state.activityText;
    // The text ends at its first control character or byte outside 7-bit
    // ASCII; a trailing line feed is thereby dropped.
    std::size_t end = 0;
    while (end < text.size()) {
        auto c = static_cast<unsigned char>(text.at(end));
        if (c < 32 || c >= 128)
            break;
        ++end;
    }
    text.Truncate(end);
    text.Append(kPadding);
    p.windows.SetItemText(p.state.mainWindow, ids::kActivity, text.view());
    p.windows.Repaint(p.state.mainWindow);
    p.windows.ProcessPendingEvents();
}

void ShowActivityEvery16(Programmer& p) {
    if ((p.state.memAddress & 0x0F) != 0)
        return;
    ShowActivity(p);
}

}  // namespace ostrel::app
