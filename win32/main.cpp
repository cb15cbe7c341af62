// ostrel.exe: the native Windows desktop program. `ostrel [FILE]` opens the
// main window in the current folder (or, when it has no ostrel.ini, in the
// per-user start folder, set up on first use from the program's own folder);
// with FILE it writes that file to the chip at once and ends when the write
// succeeds.
#include <windows.h>
// The program's WindowSystem::MessageBox, not the system's macro for MessageBoxA.
#undef MessageBox

#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#include "win32/desktop_program.h"

int main(int argc, char** argv) {
    // The first argument is the file (in UTF-8, the program's code page).
    std::optional<std::string> file;
    if (argc > 1) {
        std::error_code ec;
        std::filesystem::path absolute = std::filesystem::absolute(argv[1], ec);
        file = ec ? std::string(argv[1]) : absolute.string();
    }
    try {
        ostrel::win32::DesktopProgram program;
        if (program.session().Start(file))
            program.Run();
        program.session().Destroy();
        return 0;
    } catch (const std::exception& error) {
        MessageBoxA(nullptr, error.what(), "Ostrel", MB_OK | MB_ICONERROR | MB_TASKMODAL);
    } catch (...) {
        MessageBoxA(nullptr, "The program met an error it cannot go on from.", "Ostrel",
                    MB_OK | MB_ICONERROR | MB_TASKMODAL);
    }
    return 1;
}
