#include "tests/support/win32/scripted_win32_windows.h"

#include <windows.h>
// The program's WindowSystem::MessageBox, not the system's macro for MessageBoxA.
#undef MessageBox

#include <commdlg.h>
#include <dlgs.h>

#include <algorithm>
#include <memory>

#include "core/ids.h"
#include "ui/window_ends.h"

namespace ostrel::testing {

namespace {

using win32::IsClass;
using win32::WindowText;

// How often the wrapper looks for a box before it gives up finding it (each
// look waits for the next pass of the box's message loop).
constexpr int kLooksForABox = 50;

HICON IconOf(MessageKind kind) {
    switch (kind) {
        case MessageKind::Error:
            return LoadIcon(nullptr, IDI_ERROR);
        case MessageKind::Warning:
            return LoadIcon(nullptr, IDI_WARNING);
        case MessageKind::Question:
            return LoadIcon(nullptr, IDI_QUESTION);
        case MessageKind::Information:
            break;
    }
    return LoadIcon(nullptr, IDI_INFORMATION);
}

struct BoxSearch {
    std::string title;
    std::vector<HWND> known;  // the program's own windows
    HWND found = nullptr;
};

BOOL CALLBACK FindBox(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<BoxSearch*>(context);
    if (!IsClass(window, "#32770") || !IsWindowVisible(window) || !IsWindowEnabled(window))
        return TRUE;
    if (std::find(search->known.begin(), search->known.end(), window) != search->known.end())
        return TRUE;
    if (WindowText(window) == search->title)
        search->found = window;  // the last one: the newest of the thread's windows
    return TRUE;
}

struct BoxContents {
    std::string text;
    std::vector<int> buttons;
    HICON icon = nullptr;
    HWND ok = nullptr;
    HWND cancel = nullptr;
};

BOOL CALLBACK ReadBoxChild(HWND child, LPARAM context) {
    auto* contents = reinterpret_cast<BoxContents*>(context);
    const LONG style = GetWindowLongA(child, GWL_STYLE);
    if (IsClass(child, "Static")) {
        if ((style & SS_TYPEMASK) == SS_ICON) {
            contents->icon = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
        } else {
            std::string text = WindowText(child);
            if (!text.empty())
                contents->text = text;
        }
    } else if (IsClass(child, "Button") && IsWindowVisible(child)) {
        int id = GetDlgCtrlID(child);
        contents->buttons.push_back(id);
        if (id == IDOK)
            contents->ok = child;
        if (id == IDCANCEL)
            contents->cancel = child;
    }
    return TRUE;
}

// The file-open dialog's hook: once the dialog is set up, the answer is typed
// into its file name field and Open pressed, or Cancel is.
UINT_PTR CALLBACK FileDialogHook(HWND hook, UINT message, WPARAM /*wParam*/, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* dialog = reinterpret_cast<OPENFILENAMEA*>(lParam);
        SetWindowLongPtrA(hook, DWLP_USER, static_cast<LONG_PTR>(dialog->lCustData));
        return TRUE;
    }
    if (message != WM_NOTIFY)
        return FALSE;
    auto* note = reinterpret_cast<OFNOTIFYA*>(lParam);
    if (note->hdr.code != CDN_INITDONE)
        return FALSE;
    auto* answer =
        reinterpret_cast<ScriptedWin32Windows::FileAnswer*>(GetWindowLongPtrA(hook, DWLP_USER));
    HWND dialog = GetParent(hook);
    if (answer == nullptr || answer->answered)
        return FALSE;
    answer->answered = true;
    if (answer->path) {
        SendMessageA(dialog, CDM_SETCONTROLTEXT, cmb13,
                     reinterpret_cast<LPARAM>(answer->path->c_str()));
        SendMessageA(dialog, CDM_SETCONTROLTEXT, edt1,
                     reinterpret_cast<LPARAM>(answer->path->c_str()));
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    } else {
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    }
    return FALSE;
}

}  // namespace

ScriptedWin32Windows::ScriptedWin32Windows(win32::Win32WindowSystem& inner) : inner_(inner) {
    inner_.onDialogRunning = [this](const win32::RunningDialog& running) {
        DialogRunning(running);
    };
    inner_.prepareFileDialog = [this](void* dialog) {
        if (fileAnswer_ == nullptr)
            return;
        auto* open = static_cast<OPENFILENAMEA*>(dialog);
        open->Flags |= OFN_ENABLEHOOK;
        open->lpfnHook = FileDialogHook;
        open->lCustData = reinterpret_cast<LPARAM>(fileAnswer_);
    };
    inner_.startDocument = [this](const std::string& target) {
        if (automation.openDocument)
            return automation.openDocument(target);
        if (automation.enabled)
            return true;  // answered by the script: nothing is started
        return win32::StartDocument(target);
    };
}

void ScriptedWin32Windows::SetItemText(int window, int item, std::string_view text) {
    inner_.SetItemText(window, item, text);
}
std::string ScriptedWin32Windows::ItemText(int window, int item) {
    return inner_.ItemText(window, item);
}
void ScriptedWin32Windows::EnableItem(int window, int item, bool enabled) {
    inner_.EnableItem(window, item, enabled);
}
void ScriptedWin32Windows::CheckItem(int window, int item, bool checked) {
    inner_.CheckItem(window, item, checked);
}
bool ScriptedWin32Windows::IsItemChecked(int window, int item) {
    return inner_.IsItemChecked(window, item);
}
void ScriptedWin32Windows::ShowItem(int window, int item, bool shown) {
    inner_.ShowItem(window, item, shown);
}
void ScriptedWin32Windows::SetChoices(int window, int item,
                                      const std::vector<std::string>& choices) {
    inner_.SetChoices(window, item, choices);
}
void ScriptedWin32Windows::CheckMenuItem(int command, bool checked) {
    inner_.CheckMenuItem(command, checked);
}
void ScriptedWin32Windows::Repaint(int window) {
    inner_.Repaint(window);
}
void ScriptedWin32Windows::ShowProgress(const std::optional<Progress>& progress) {
    inner_.ShowProgress(progress);
}
void ScriptedWin32Windows::ProcessPendingEvents() {
    inner_.ProcessPendingEvents();
}
void ScriptedWin32Windows::AddListEntry(std::string_view name) {
    inner_.AddListEntry(name);
}
int ScriptedWin32Windows::ListCount() {
    return inner_.ListCount();
}
std::string ScriptedWin32Windows::ListEntry(int index) {
    return inner_.ListEntry(index);
}
void ScriptedWin32Windows::SelectListEntry(int index) {
    inner_.SelectListEntry(index);
}
int ScriptedWin32Windows::SelectedListEntry() {
    return inner_.SelectedListEntry();
}
TextSelection ScriptedWin32Windows::Selection(int window, int item) {
    return inner_.Selection(window, item);
}
bool ScriptedWin32Windows::IsModified(int window, int item) {
    return inner_.IsModified(window, item);
}
void ScriptedWin32Windows::ResetText(int window, int item, std::string_view text) {
    inner_.ResetText(window, item, text);
}
int ScriptedWin32Windows::RunModalDialog(int dialog, int owner, DialogHandler& handler) {
    running_.push_back(dialog);
    struct Leave {
        std::vector<int>& running;
        ~Leave() { running.pop_back(); }
    } leave{running_};
    return inner_.RunModalDialog(dialog, owner, handler);
}
void ScriptedWin32Windows::EndWindow(int window, int result) {
    inner_.EndWindow(window, result);
}

MsgResult ScriptedWin32Windows::MessageBox(int owner, std::string_view text, std::string_view title,
                                           MsgButtons buttons, MessageKind kind) {
    ShownWin32Message shown;
    shown.owner = owner;
    shown.text = std::string(text);
    shown.title = std::string(title);
    shown.buttons = buttons;
    shown.kind = kind;
    // `shown` lives as long as the box, which `alive` tells the search.
    auto alive = std::make_shared<bool>(true);
    if (automation.enabled) {
        const MsgResult answer = ui::TakeScriptedAnswer(automation.messageAnswers, buttons);
        inner_.Later(
            [this, alive, &shown, answer] { AnswerBox(shown, answer, kLooksForABox, alive); });
    }
    struct Gone {
        std::shared_ptr<bool>& alive;
        ~Gone() { *alive = false; }
    } gone{alive};
    try {
        shown.answer = inner_.MessageBox(owner, text, title, buttons, kind);
    } catch (...) {
        messages.push_back(shown);  // a handler failed while it showed: it was shown still
        throw;
    }
    messages.push_back(shown);
    return shown.answer;
}

void ScriptedWin32Windows::AnswerBox(ShownWin32Message& shown, MsgResult answer, int attemptsLeft,
                                     const std::shared_ptr<bool>& alive) {
    if (!*alive)
        return;
    BoxSearch search;
    search.title = shown.title;
    for (int window : {ids::kMainWindow, ids::kCableTest})
        search.known.push_back(inner_.Window(window));
    for (int dialog : running_)
        search.known.push_back(inner_.Window(dialog));
    EnumThreadWindows(GetCurrentThreadId(), FindBox, reinterpret_cast<LPARAM>(&search));
    if (search.found == nullptr) {
        if (attemptsLeft > 0) {
            inner_.Later([this, &shown, answer, attemptsLeft, alive] {
                AnswerBox(shown, answer, attemptsLeft - 1, alive);
            });
        }
        return;
    }
    BoxContents contents;
    EnumChildWindows(search.found, ReadBoxChild, reinterpret_cast<LPARAM>(&contents));
    shown.shownTitle = WindowText(search.found);
    shown.shownText = contents.text;
    shown.shownButtons = contents.buttons;
    shown.shownIcon = contents.icon != nullptr && contents.icon == IconOf(shown.kind);
    if (automation.onMessage) {
        shown.box = search.found;
        automation.onMessage(shown);
        shown.box = nullptr;
    }
    const bool cancel = answer == MsgResult::Cancel && contents.cancel != nullptr;
    HWND button = cancel ? contents.cancel : contents.ok;
    PostMessageA(search.found, WM_COMMAND, MAKEWPARAM(cancel ? IDCANCEL : IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
}

void ScriptedWin32Windows::DialogRunning(const win32::RunningDialog& running) {
    if (!automation.enabled)
        return;
    if (automation.dialogScript)
        automation.dialogScript(running.dialog, running.handle);
    if (running.ended())
        return;
    ++dialogsLeftOpen;
    inner_.EndWindow(running.dialog, 0);
}

void ScriptedWin32Windows::Beep() {
    ++beeps;
    inner_.Beep();
}

std::optional<std::string> ScriptedWin32Windows::AskOpenFile(std::string_view title,
                                                             std::string_view filterName,
                                                             std::string_view patterns,
                                                             std::string_view startFolder) {
    fileDialogs.push_back(std::string(title) + "|" + std::string(filterName) + " (" +
                          std::string(patterns) + ")|" + std::string(startFolder));
    if (!automation.enabled)
        return inner_.AskOpenFile(title, filterName, patterns, startFolder);
    FileAnswer answer;
    if (!automation.fileAnswers.empty()) {
        answer.path = automation.fileAnswers.front();
        automation.fileAnswers.pop_front();
    }
    FileAnswer* outer = fileAnswer_;
    fileAnswer_ = &answer;
    struct Restore {
        FileAnswer*& current;
        FileAnswer* outer;
        ~Restore() { current = outer; }
    } restore{fileAnswer_, outer};
    std::optional<std::string> chosen =
        inner_.AskOpenFile(title, filterName, patterns, startFolder);
    if (!answer.answered)
        ++dialogsLeftOpen;
    return chosen;
}

bool ScriptedWin32Windows::OpenDocument(std::string_view pathOrUrl) {
    documents.emplace_back(pathOrUrl);
    return inner_.OpenDocument(pathOrUrl);
}

}  // namespace ostrel::testing
