#include "core/activity.h"

#include "core/ids.h"

namespace ostrel::core {

namespace {
// Blanks that follow the text, so whatever the field showed before is wiped.
constexpr std::string_view kPadding =
    "                                                                                ";
static_assert(kPadding.size() == 80);

void Refresh(Programmer& p, const std::optional<Progress>& progress = std::nullopt) {
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
    p.windows.ShowProgress(progress);
    p.windows.SetItemText(p.state.mainWindow, ids::kActivity, text.view());
    p.windows.Repaint(p.state.mainWindow);
    p.windows.ProcessPendingEvents();
}

void StopIfAsked(const Programmer& p) {
    // A port that stopped answering ends the command as a stop does; the
    // command runner then tells why.
    if ((p.stopRequested || p.portLost) && p.stoppable)
        throw CommandStopped{};
}

}  // namespace

void ShowActivity(Programmer& p) {
    Refresh(p);
    StopIfAsked(p);
}

void ShowActivity(Programmer& p, const Progress& progress) {
    Refresh(p, progress);
    StopIfAsked(p);
}

void ServiceWindow(Programmer& p) {
    p.windows.Repaint(p.state.mainWindow);
    p.windows.ProcessPendingEvents();
    if (p.stopRequested && p.stoppable)
        throw CommandStopped{};
}

void ShowActivityEvery16(Programmer& p) {
    if ((p.state.memAddress & 0x0F) != 0)
        return;
    ShowActivity(p);
}

void ShowActivityEvery16(Programmer& p, const Progress& progress) {
    if ((p.state.memAddress & 0x0F) != 0)
        return;
    ShowActivity(p, progress);
}

void SetActivityField(Programmer& p, std::string_view text) {
    p.windows.ShowProgress(std::nullopt);
    p.windows.SetItemText(p.state.mainWindow, ids::kActivity, text);
    p.windows.Repaint(p.state.mainWindow);
}

void EnableField(Programmer& p, int item, bool enabled) {
    p.windows.EnableItem(p.state.mainWindow, item, enabled);
    p.windows.Repaint(p.state.mainWindow);
}

void UsualStart(Programmer& p) {
    p.state.mainWindow = ids::kMainWindow;
    p.windows.SetItemText(p.state.mainWindow, ids::kActivity, "  ");
    EnableField(p, ids::kActivity, true);
}

std::string FailureText(const Programmer& p) {
    std::string text(p.state.errorText.view());
    if (!p.failureHint.empty())
        text += "\n\n" + p.failureHint;
    return text;
}

void ReportFailure(Programmer& p) {
    EnableField(p, ids::kActivity, true);
    p.state.activityText.Assign(" ");
    // The failure is told whatever the user asks meanwhile.
    Refresh(p);
    // After a failed driver access, or with the port lost, the user gets the
    // one message of that instead.
    if (!p.driverAccessFailed && !p.portLost)
        p.windows.MessageBox(p.state.mainWindow, FailureText(p), "Error", MsgButtons::Ok,
                             MessageKind::Error);
    p.failureHint.clear();
    p.windows.EnableItem(p.state.mainWindow, ids::kActivity, false);
    p.windows.EnableItem(p.state.mainWindow, ids::kCurrentFile, false);
    p.windows.Repaint(p.state.mainWindow);
}

}  // namespace ostrel::core
