#include "tests/qt/gui_rig.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QCheckBox>
#include <QTest>

#include <algorithm>
#include <filesystem>

#include "core/ids.h"

namespace ostrel::testing {

void EnsureApplication() {
    // One QApplication for the whole test program; it lives until the program ends.
    static QApplication* application = nullptr;
    if (application != nullptr)
        return;
    static int argc = 1;
    static char name[] = "tests_qt";
    static char* argv[] = {name, nullptr};
    application = new QApplication(argc, argv);
}

namespace {

std::string Trimmed(const QString& text) {
    return text.trimmed().toStdString();
}

}  // namespace

GuiRig::GuiRig(const GuiRigOptions& options) : options_(options) {
    EnsureApplication();
    if (options.deviceFile) {
        dir.Write("ostrel.ini", ReadFileBytes(SourcePath("resources/ostrel.ini")));
    }
    Build();
}

void GuiRig::Build() {
    qt::DesktopOptions desktop;
    desktop.startDirectory = dir.str();
    if (options_.startFolder) {
        desktop.startFolder = options_.startFolder;
        desktop.startFolder->directory = dir.str();
    }
    desktop.clock = &clock;
    desktop.sysCalls = &devices;
    desktop.parallelAccess = options_.parallelAccess;
    program_ = std::make_unique<qt::DesktopProgram>(
        desktop, [this](qt::QtWindowSystem& own) -> WindowSystem& {
            scripted_ = std::make_unique<ScriptedQtWindows>(own);
            return *scripted_;
        });
    windows().automation.enabled = true;
    // No test starts a browser: this desktop has none unless a test gives one.
    qtWindows().launcherEnvironment = FakeDesktop(desktopDir_, DesktopKind::NoBrowser);
    QObject::connect(Field(ids::kActivity), &QLineEdit::textChanged,
                     [this](const QString& text) { activity_.push_back(Trimmed(text)); });
}

bool GuiRig::Restart() {
    program_->session().Destroy();
    program_.reset();
    activity_.clear();
    Build();
    return Start();
}

GuiRig::~GuiRig() {
    program_->session().Destroy();
    program_.reset();
}

bool GuiRig::Start(const std::optional<std::string>& commandLineFile) {
    return program_->session().Start(commandLineFile);
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

void GuiRig::Click(int id) {
    QWidget* widget = Control(id);
    ASSERT_NE(widget, nullptr) << "no control " << id;
    ASSERT_TRUE(widget->isVisible()) << "control " << id << " is not visible";
    // A check box takes clicks on its box and its text; its middle may lie beyond both.
    QPoint where(widget->width() / 2, widget->height() / 2);
    if (qobject_cast<QCheckBox*>(widget) != nullptr)
        where.setX(std::min(6, widget->width() / 2));
    QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, where);
}

void GuiRig::Choose(int command) {
    QAction* action = MenuItem(command);
    ASSERT_NE(action, nullptr) << "no menu item " << command;
    action->trigger();
}

void GuiRig::ChooseSimulator(const std::string& chip) {
    QAction* action = window().SimulatorChipItem(chip);
    ASSERT_NE(action, nullptr) << "the simulator has no chip " << chip;
    action->trigger();
}

void GuiRig::OpenFile(const std::string& path) {
    windows().automation.fileAnswers.push_back(path);
    Choose(ids::kFileOpen);
}

std::string GuiRig::LastMessage() {
    auto texts = Messages();
    return texts.empty() ? std::string() : texts.back();
}

qt::LauncherEnvironment FakeDesktop(const TempDir& dir, DesktopKind kind) {
    namespace fs = std::filesystem;
    qt::LauncherEnvironment desktop;
    fs::create_directories(dir.path() / "bin");
    fs::create_directories(dir.path() / "applications");
    desktop.path = (dir.path() / "bin").string();
    desktop.applicationDirs = {(dir.path() / "applications").string()};
    auto program = [&](const char* name) {
        std::string file = dir.Write(std::string("bin/") + name, "#!/bin/sh\nexit 0\n");
        fs::permissions(file, fs::perms::owner_all);
    };
    if (kind == DesktopKind::NoBrowser) {
        desktop.defaultApplication = [](const std::string&) { return std::string(); };
        return desktop;
    }
    program("xdg-open");
    program("vim");
    dir.Write("applications/vim.desktop",
              "[Desktop Entry]\nType=Application\nName=Vim\nExec=vim %F\nTerminal=true\n"
              "MimeType=text/plain;text/html;\n");
    if (kind == DesktopKind::TerminalEditor) {
        desktop.defaultApplication = [](const std::string&) { return std::string("vim.desktop"); };
        return desktop;
    }
    program("firefox-esr");
    dir.Write("applications/firefox-esr.desktop",
              "[Desktop Entry]\nType=Application\nName=Firefox ESR\nExec=firefox-esr %u\n"
              "Terminal=false\n");
    program("pcmanfm");
    dir.Write("applications/pcmanfm.desktop",
              "[Desktop Entry]\nType=Application\nName=File Manager\nExec=pcmanfm %U\n");
    desktop.defaultApplication = [](const std::string& type) {
        if (type.starts_with("x-scheme-handler/http"))
            return std::string("firefox-esr.desktop");
        return std::string(type == "inode/directory" ? "pcmanfm.desktop" : "vim.desktop");
    };
    return desktop;
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
