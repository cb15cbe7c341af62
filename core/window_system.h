// What the commands ask of windows, by window, control and command numbers
// (platform/ids.h). The desktop front-end maps the numbers to widgets, the
// console front-end prints, and the tests' scripted fake records every call.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel {

// OkCancelDefaultCancel: a question whose default answer is Cancel (Enter
// answers No), for a step that cannot be undone.
enum class MsgButtons { Ok, OkCancel, OkCancelDefaultCancel };
enum class MsgResult { Ok, Cancel };
// What a message box says, from where it is raised: each front-end shows the
// icon of its kind (an error, a warning, a question, information).
enum class MessageKind { Error, Warning, Question, Information };

// Behaviour of a modal dialog. The front-end builds the dialog's controls,
// calls OnInit once it shows, and forwards the user's actions.
class DialogHandler {
  public:
    virtual ~DialogHandler() = default;
    virtual void OnInit() = 0;
    // A button or check box was clicked; `id` is its number.
    virtual void OnCommand(int id) = 0;
    // An edit control reported a change, update, scroll or focus event.
    virtual void OnEditNotify(int /*id*/) {}
};

// Selection of a text control, in characters from the start of its text.
struct TextSelection {
    int start = 0;
    int end = 0;
};

// How far the running command is through its current stage, sent beside the
// activity text that says it in the system's words ("45% programmed"), so
// that a progress bar or a log never reads the figure back out of the text.
enum class ProgressStage { Programming, Verifying, ReadingFlash, ReadingEeprom, EepromAddress };
struct Progress {
    ProgressStage stage = ProgressStage::Programming;
    int64_t done = 0;
    int64_t total = 0;
    // The whole percentage done, 0 to 100 (0 for a stage of no known size).
    int Percent() const {
        if (total <= 0 || done <= 0)
            return 0;
        return done >= total ? 100 : static_cast<int>(done * 100 / total);
    }
    bool operator==(const Progress&) const = default;
};

// The second filter of every file-open dialog: any name at all.
inline constexpr char kAllFilesFilter[] = "All files";

class WindowSystem {
  public:
    virtual ~WindowSystem() = default;

    // --- controls of a window ---
    virtual void SetItemText(int window, int item, std::string_view text) = 0;
    virtual std::string ItemText(int window, int item) = 0;
    virtual void EnableItem(int window, int item, bool enabled) = 0;
    virtual void CheckItem(int window, int item, bool checked) = 0;
    virtual bool IsItemChecked(int window, int item) = 0;
    // Shows or hides a control (a window whose controls depend on the chip).
    virtual void ShowItem(int window, int item, bool shown) = 0;
    // The entries of a choice list other than the device list; SetItemText
    // selects one by its text and ItemText gives the one selected.
    virtual void SetChoices(int window, int item, const std::vector<std::string>& choices) = 0;
    // Menu check marks, by command number.
    virtual void CheckMenuItem(int command, bool checked) = 0;
    // Repaints the window at once.
    virtual void Repaint(int window) = 0;
    // The progress of the running command, sent just before each activity
    // text the system shows (field 1018 of the main window); no value before
    // a text that tells no progress ("connecting....").
    virtual void ShowProgress(const std::optional<Progress>& progress) { (void)progress; }
    // Processes the events that are pending, once, without waiting for more.
    virtual void ProcessPendingEvents() = 0;

    // --- the device list of the main window (a list sorted without regard to case) ---
    virtual void AddListEntry(std::string_view name) = 0;
    virtual int ListCount() = 0;
    virtual std::string ListEntry(int index) = 0;
    virtual void SelectListEntry(int index) = 0;
    // The selected entry, or -1 when none is selected.
    virtual int SelectedListEntry() = 0;

    // --- multi-line text control (the EEPROM listing) ---
    virtual TextSelection Selection(int window, int item) = 0;
    virtual bool IsModified(int window, int item) = 0;
    // Puts the text into the control, clears its modified state and moves the caret to the start.
    virtual void ResetText(int window, int item, std::string_view text) = 0;

    // --- messages, files, documents, dialogs ---
    virtual MsgResult MessageBox(int owner, std::string_view text, std::string_view title,
                                 MsgButtons buttons, MessageKind kind) = 0;
    virtual void Beep() = 0;
    // The file-open dialog: it offers the filter given, then kAllFilesFilter,
    // starts in startFolder (the platform's choice when empty) and accepts
    // only the name of a file that exists. No value when the user cancelled.
    virtual std::optional<std::string> AskOpenFile(std::string_view title,
                                                   std::string_view filterName,
                                                   std::string_view patterns,
                                                   std::string_view startFolder) = 0;
    // Opens a document (a local page, which may end in "#section"), a folder
    // or a web page with the user's program for it; false when nothing here
    // can show it.
    virtual bool OpenDocument(std::string_view pathOrUrl) = 0;
    // Runs a modal dialog until its handler ends it; returns the dialog's result.
    virtual int RunModalDialog(int dialog, int owner, DialogHandler& handler) = 0;
    // Ends a window (a dialog or the main window) with a result.
    virtual void EndWindow(int window, int result) = 0;
};

}  // namespace ostrel
