// ostrel: the desktop program. `ostrel [FILE]` opens the main window in the
// current directory (or, when it has no ostrel.ini, in the per-user start
// folder, set up on first use from the installed files); with FILE it writes
// that file to the chip at once and ends when the write succeeds.
#include <QApplication>
#include <QDir>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#include "qt/desktop_program.h"
#include "qt/screenshot.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ostrel"));

    // QApplication has taken its own options out of argv; the first argument left is the file.
    std::optional<std::string> file;
    if (argc > 1) {
        std::error_code ec;
        std::filesystem::path absolute = std::filesystem::absolute(argv[1], ec);
        file = ec ? std::string(argv[1]) : absolute.string();
    }

    ostrel::qt::DesktopProgram program;
    QString screenshots = qEnvironmentVariable(ostrel::qt::kScreenshotVariable);
    if (!screenshots.isEmpty())
        ostrel::qt::PrepareScreenshots(program);

    if (!program.Start(file)) {
        program.Destroy();
        return 0;
    }
    int status = 0;
    if (!screenshots.isEmpty()) {
        status = ostrel::qt::TakeScreenshots(program, screenshots);
    } else {
        QApplication::exec();
    }
    program.Destroy();
    return status;
}
