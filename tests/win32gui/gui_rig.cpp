#include "tests/win32gui/gui_rig.h"

#include <windows.h>
// The program's WindowSystem::MessageBox, not the system's macro for MessageBoxA.
#undef MessageBox

#include <gtest/gtest.h>

#include "core/ids.h"
#include "tests/support/scripted_windows.h"
#include "ui/busy.h"

namespace ostrel::testing {

std::string Settings(std::string_view port, char speed, char offer, std::string_view path) {
    std::string cfg(port);
    cfg.resize(4, '\0');
    cfg += "\r\n";
    cfg += speed;
    cfg += '\0';
    cfg.resize(27, ' ');
    cfg += "\r\n";
    cfg += offer;
    cfg += "\r\n";
    cfg += path;
    cfg += '\0';
    cfg += std::string(20, ' ');
    return cfg;
}

namespace {

std::string Trimmed(const std::string& text) {
    std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace

GuiRig::GuiRig(const GuiRigOptions& options) : options_(options) {
    if (options.deviceFile)
        dir.Write("ostrel.ini", ReadFileBytes(SourcePath("resources/ostrel.ini")));
    dir.Write("ostrel.cfg", options.settings ? *options.settings : Settings("SIM", '3'));
    Build();
}

void GuiRig::Build() {
    win32::DesktopOptions desktop;
    desktop.startDirectory = dir.str();
    desktop.clock = &clock;
    desktop.parallelAccess = options_.parallelAccess;
    program_ = std::make_unique<win32::DesktopProgram>(
        desktop, [this](win32::Win32WindowSystem& own) -> WindowSystem& {
            scripted_ = std::make_unique<ScriptedWin32Windows>(own);
            return *scripted_;
        });
    windows().automation.enabled = true;
    win32Windows().textObservers.push_back(
        [activity = activity_](int window, int item, const std::string& text) {
            if (window == ids::kMainWindow && item == ids::kActivity)
                activity->push_back(Trimmed(text));
        });
}

GuiRig::~GuiRig() {
    program_->session().Destroy();
    program_.reset();
}

bool GuiRig::Start(const std::optional<std::string>& commandLineFile) {
    return program_->session().Start(commandLineFile);
}

bool GuiRig::Restart() {
    program_->session().Destroy();
    program_.reset();
    activity_->clear();
    Build();
    return Start();
}

sim::AvrTarget& GuiRig::chip() {
    sim::SimPort* port = program_->simulator().port();
    if (port == nullptr) {
        ADD_FAILURE() << "the simulator has not been opened yet";
        ChooseSimulator(program_->simulator().chip());
        port = program_->simulator().port();
    }
    return port->target();
}

std::string GuiRig::Text(int id) {
    return windows().ItemText(ids::kMainWindow, id);
}

bool GuiRig::Enabled(int id) {
    HWND control = Control(id);
    return control != nullptr && IsWindowEnabled(control);
}

bool GuiRig::Visible(int id) {
    HWND control = Control(id);
    return control != nullptr && IsWindowVisible(control);
}

bool GuiRig::Checked(int id) {
    return windows().IsItemChecked(ids::kMainWindow, id);
}

void GuiRig::Click(int id) {
    HWND control = Control(id);
    ASSERT_NE(control, nullptr) << "no control " << id;
    ASSERT_TRUE(IsWindowVisible(control)) << "control " << id << " is not visible";
    ASSERT_TRUE(IsWindowEnabled(control)) << "control " << id << " is not enabled";
    // A click reaches a dialog's button when the dialog is the active window.
    SetActiveWindow(GetAncestor(control, GA_ROOT));
    SendMessageA(control, BM_CLICK, 0, 0);
}

void GuiRig::Key(unsigned virtualKey) {
    KeyIn(window().handle(), virtualKey);
}

void GuiRig::KeyIn(win32::WindowHandle dialog, unsigned virtualKey) {
    HWND focus = GetFocus();
    MSG message = {};
    message.hwnd = focus != nullptr && IsChild(dialog, focus) ? focus : dialog;
    message.message = WM_KEYDOWN;
    message.wParam = virtualKey;
    message.lParam = 1;
    win32Windows().Dispatch(&message);
}

void GuiRig::ClickIn(win32::WindowHandle dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    ASSERT_NE(control, nullptr) << "no control " << id;
    ASSERT_TRUE(IsWindowVisible(control)) << "control " << id << " is not visible";
    ASSERT_TRUE(IsWindowEnabled(control)) << "control " << id << " is not enabled";
    SetActiveWindow(dialog);
    SendMessageA(control, BM_CLICK, 0, 0);
}

void GuiRig::AtFigure(int figure, std::function<void()> action) {
    auto done = std::make_shared<bool>(false);
    win32Windows().textObservers.push_back(
        [this, done, figure, action](int window, int item, const std::string& text) {
            if (*done || window != ids::kMainWindow || item != ids::kActivity)
                return;
            std::optional<int> shown = ShownPercent(text);
            if (!shown || *shown < figure)
                return;
            *done = true;
            // At the next refresh's message processing, as a user's click is.
            win32Windows().Later(action);
        });
}

namespace {

std::optional<win32::MainWindow::MenuPlace> Item(win32::MainWindow& window, int command) {
    return window.MenuItem(command);
}

}  // namespace

bool GuiRig::MenuEnabled(int command) {
    auto place = Item(window(), command);
    if (!place)
        return false;
    UINT state = GetMenuState(place->menu, static_cast<UINT>(place->position), MF_BYPOSITION);
    return state != static_cast<UINT>(-1) && (state & (MF_GRAYED | MF_DISABLED)) == 0;
}

bool GuiRig::MenuChecked(int command) {
    auto place = Item(window(), command);
    if (!place)
        return false;
    UINT state = GetMenuState(place->menu, static_cast<UINT>(place->position), MF_BYPOSITION);
    return state != static_cast<UINT>(-1) && (state & MF_CHECKED) != 0;
}

void GuiRig::Choose(int command) {
    ASSERT_TRUE(Item(window(), command).has_value()) << "no menu item " << command;
    ASSERT_TRUE(MenuEnabled(command)) << "menu item " << command << " is not enabled";
    SendMessageA(window().handle(), WM_COMMAND, MAKEWPARAM(command, 0), 0);
}

void GuiRig::ChooseSimulator(const std::string& chip) {
    auto place = window().SimulatorChipItem(chip);
    ASSERT_TRUE(place.has_value()) << "the simulator has no chip " << chip;
    SendMessageA(window().handle(), WM_COMMAND, MAKEWPARAM(place->command, 0), 0);
}

void GuiRig::OpenFile(const std::string& path) {
    windows().automation.fileAnswers.push_back(path);
    Choose(ids::kFileOpen);
}

std::string GuiRig::LastMessage() {
    auto texts = Messages();
    return texts.empty() ? std::string() : texts.back();
}

std::string GuiRig::CopyExample(std::string_view name) {
    return dir.Write(name, ReadFileBytes(SourcePath("examples/" + std::string(name))));
}

bool InOrder(const std::vector<std::string>& seen, const std::vector<std::string>& wanted) {
    std::size_t next = 0;
    for (const std::string& text : seen) {
        if (next == wanted.size())
            break;
        const std::string& w = wanted[next];
        bool match = text == w;
        if (!match && !w.empty() && w[0] == '*') {
            std::string_view tail = std::string_view(w).substr(1);
            match = text.size() >= tail.size() &&
                    text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
        }
        if (match)
            ++next;
    }
    return next == wanted.size();
}

}  // namespace ostrel::testing
