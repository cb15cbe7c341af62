// ostrel: the desktop program. `ostrel [FILE]` opens the main window in the
// current directory (or, when it has no ostrel.ini, in the per-user start
// folder, set up on first use from the installed files); with FILE it writes
// that file to the chip at once and ends when the write succeeds. The command
// line is read before Qt starts, so --version and --help need no display.
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "platform/interrupts.h"
#include "qt/command_line.h"
#include "qt/desktop_program.h"
#include "qt/qt_window_system.h"
#include "ui/desktop_options.h"

#ifndef OSTREL_VERSION
#define OSTREL_VERSION "3.3"
#endif

namespace {

// Prints to standard output; false when it could not be written (a closed
// pipe, a full disk), which must not end as success.
bool Print(const std::string& text) {
    return std::fputs(text.c_str(), stdout) >= 0 && std::fflush(stdout) == 0;
}

bool Set(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0';
}

}  // namespace

int main(int argc, char** argv) {
    using ostrel::ui::DesktopCommandLine;
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const DesktopCommandLine line =
        ostrel::ui::ParseDesktopCommandLine(arguments, ostrel::qt::QtOptions());
    switch (line.action) {
        case DesktopCommandLine::Action::Help:
            return Print(ostrel::ui::DesktopHelp(OSTREL_VERSION)) ? 0 : 1;
        case DesktopCommandLine::Action::Version:
            return Print(std::string("ostrel ") + OSTREL_VERSION + "\n") ? 0 : 1;
        case DesktopCommandLine::Action::Usage:
            std::fprintf(stderr, "ostrel: %s\nTry 'ostrel --help' for the options.\n",
                         line.problem.c_str());
            return 2;
        case DesktopCommandLine::Action::Run:
            break;
    }
    for (const std::string& other : line.ignored)
        std::fprintf(stderr, "ostrel: only the first file is written; %s is left alone\n",
                     other.c_str());
    // Without a display Qt would abort; say what is missing instead.
    bool platformChosen = Set("QT_QPA_PLATFORM");
    for (const std::string& option : line.toolkit)
        platformChosen = platformChosen || option == "platform";
    if (!platformChosen && !Set("DISPLAY") && !Set("WAYLAND_DISPLAY")) {
        std::fprintf(stderr,
                     "ostrel: no display to show the window on (neither DISPLAY nor "
                     "WAYLAND_DISPLAY is set).\nostrel-cli runs the same commands without one.\n");
        return 1;
    }

    // Before Qt starts its threads, so that they all leave the three signals
    // to the watch: a logout or a kill then ends the program as Exit does.
    ostrel::InterruptWatch interrupts;
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ostrel"));
    QApplication::setApplicationVersion(QStringLiteral(OSTREL_VERSION));
    QApplication::setWindowIcon(ostrel::qt::ProgramIcon());

    std::optional<std::string> file;
    if (line.file) {
        std::error_code ec;
        std::filesystem::path absolute = std::filesystem::absolute(*line.file, ec);
        file = ec ? *line.file : absolute.string();
    }

    ostrel::qt::DesktopProgram program;
    program.WatchInterrupts([&interrupts] { return interrupts.Pending(); });
    if (program.session().Start(file))
        QApplication::exec();
    program.session().Destroy();
    return 0;
}
