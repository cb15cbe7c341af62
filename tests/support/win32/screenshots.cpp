// ostrel-screenshots FOLDER: the native Windows desktop program as
// tools/screenshot-win32 shows it, not installed. It starts as ostrel.exe does
// in the current folder, with its window system behind the scripted one of
// the GUI tests (every box answered OK), runs Check (and, when a data file
// was reopened, Write with "Program eep- after hexfile" on), saves pictures
// of the main window, the instructions dialog, the EEPROM window, the Fuses
// window, the wiring picture and the About box into FOLDER as BMP files, and
// ends; 0 when all were saved.
#include <windows.h>
// The program's WindowSystem::MessageBox, not the system's macro for MessageBoxA.
#undef MessageBox

#include <cstdio>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/ids.h"
#include "tests/support/win32/scripted_win32_windows.h"
#include "ui/window_ends.h"
#include "win32/desktop_program.h"

namespace {

using ostrel::testing::ScriptedWin32Windows;
using ostrel::testing::ShownWin32Message;
using ostrel::win32::Win32WindowSystem;
namespace ids = ostrel::ids;

// Lets every pending message through, so the window is drawn as it shows.
void Settle(Win32WindowSystem& windows, HWND window) {
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    windows.ProcessPendingEvents();
}

// The window as it is on the screen, its frame included, as a 24-bit BMP.
bool Save(Win32WindowSystem& windows, HWND window, const std::string& folder,
          const std::string& name) {
    Settle(windows, window);
    RECT r;
    if (!GetWindowRect(window, &r))
        return false;
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    if (width <= 0 || height <= 0)
        return false;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;  // bottom-up, as a BMP file keeps its rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP picture = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool saved = false;
    if (picture != nullptr) {
        HGDIOBJ old = SelectObject(memory, picture);
        BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
        SelectObject(memory, old);
        GdiFlush();
        const DWORD rowBytes = ((static_cast<DWORD>(width) * 3 + 3) / 4) * 4;
        const DWORD imageBytes = rowBytes * static_cast<DWORD>(height);
        BITMAPFILEHEADER file = {};
        file.bfType = 0x4D42;  // "BM"
        file.bfOffBits = sizeof file + sizeof info.bmiHeader;
        file.bfSize = file.bfOffBits + imageBytes;
        const std::string path = folder + "\\" + name;
        if (std::FILE* out = std::fopen(path.c_str(), "wb")) {
            saved = std::fwrite(&file, sizeof file, 1, out) == 1 &&
                    std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out) == 1 &&
                    std::fwrite(bits, 1, imageBytes, out) == imageBytes;
            saved = std::fclose(out) == 0 && saved;
            if (!saved)
                std::remove(path.c_str());
        }
        DeleteObject(picture);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    if (!saved)
        OutputDebugStringA(("ostrel: cannot save " + folder + "\\" + name + "\n").c_str());
    return saved;
}

std::string PictureName(int dialog) {
    switch (dialog) {
        case ids::kInstructionsDialog:
            return "screenshot-win32-instructions.bmp";
        case ids::kEepromWindow:
            return "screenshot-win32-eeprom.bmp";
        case ids::kWiringDialog:
            return "screenshot-win32-wiring.bmp";
        case ids::kFusesWindow:
            return "screenshot-win32-fuses.bmp";
        default:
            return "screenshot-win32-" + std::to_string(dialog) + ".bmp";
    }
}

void Click(HWND dialog, int id) {
    if (HWND button = GetDlgItem(dialog, id))
        SendMessageA(button, BM_CLICK, 0, 0);
}

int TakeScreenshots(ostrel::win32::DesktopProgram& program, ScriptedWin32Windows& scripted,
                    const std::string& folder) {
    Win32WindowSystem& windows = program.windows();
    int saved = 0;
    scripted.automation.dialogScript = [&](int dialog, HWND shown) {
        // The instructions dialog is shown after one Send/Rec. of its default instruction.
        if (dialog == ids::kInstructionsDialog)
            Click(shown, ids::kSendRec);
        if (Save(windows, shown, folder, PictureName(dialog)))
            ++saved;
        Click(shown, dialog == ids::kEepromWindow ? ids::kEepromExit : ids::kCancelCommand);
    };

    program.session().Command(ids::kCheck);
    const ostrel::ProgrammerState& state = program.programmer().state;
    if (state.fileLoaded) {
        // A flash file is written together with its EEPROM file, so the
        // EEPROM window has data to show.
        if (!state.eepromFile)
            program.session().Command(ids::kProgramEepAfterHex);
        program.session().Command(ids::kWrite);
    }
    if (Save(windows, program.window().handle(), folder, "screenshot-win32-main.bmp"))
        ++saved;
    program.session().Command(ids::kFuseBits);
    program.session().Command(ids::kDataWindow);
    program.session().Command(ids::kFuses);
    program.session().Command(ids::kWiringPicture);
    scripted.automation.dialogScript = nullptr;
    // A message box of the system, with the icon of its kind.
    scripted.automation.onMessage = [&](const ShownWin32Message& message) {
        if (message.box != nullptr &&
            Save(windows, message.box, folder, "screenshot-win32-about.bmp"))
            ++saved;
    };
    program.session().Command(ids::kAbout);
    scripted.automation.onMessage = nullptr;
    program.session().Command(ids::kExit);
    for (const std::string& message : ostrel::ui::TitledTexts(scripted.messages))
        OutputDebugStringA(("ostrel: message box " + message + "\n").c_str());
    return saved == 6 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        OutputDebugStringA("ostrel-screenshots: the folder for the pictures is missing\n");
        return 2;
    }
    try {
        std::unique_ptr<ScriptedWin32Windows> scripted;
        ostrel::win32::DesktopProgram program(
            {}, [&](Win32WindowSystem& own) -> ostrel::WindowSystem& {
                scripted = std::make_unique<ScriptedWin32Windows>(own);
                return *scripted;
            });
        scripted->automation.enabled = true;
        int status = 1;  // no pictures when the program did not start
        if (program.session().Start(std::nullopt))
            status = TakeScreenshots(program, *scripted, argv[1]);
        program.session().Destroy();
        return status;
    } catch (const std::exception& error) {
        OutputDebugStringA(("ostrel-screenshots: " + std::string(error.what()) + "\n").c_str());
    }
    return 1;
}
