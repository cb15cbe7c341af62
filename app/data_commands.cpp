#include "app/data_commands.h"

#include <filesystem>
#include <optional>
#include <system_error>

#include "adapter/adapter.h"
#include "app/endings.h"
#include "avr/avr.h"
#include "dialogs/fuse_script.h"
#include "image/engine.h"
#include "image/hex_reader.h"
#include "image/readback.h"
#include "platform/ids.h"

namespace ostrel::app {

namespace {

CommandResult Failure(Programmer& p) {
    ReportFailure(p);
    return CommandResult::Failed;
}

// The target runs again, except on a parallel port reached through a port
// driver, where the original left it held.
void Release(Programmer& p) {
    if (p.state.directPortIo || p.state.adapterKind == AdapterKind::Serial)
        adapter::ReleaseTarget(p);
}

void Refuse(Programmer& p, const char* text) {
    p.windows.MessageBox(ids::kNoOwner, text, "ERROR!", MsgButtons::Ok);
}

bool FileExists(const std::string& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::is_regular_file(path, ec);
}

void RemoveFile(const std::string& path) {
    std::error_code ec;
    if (!path.empty())
        std::filesystem::remove(path, ec);
}

// Before touching the chip: the file must hold something, and a hex file is
// checked for syntax and checksums; the user may go on past a failed check.
// A file that places data above 64 KB or holds record types this program
// does not know is refused outright, so none of its bytes reaches the chip.
// No value when the command may go on; otherwise how it ends.
std::optional<CommandResult> CheckFileBeforeConnect(Programmer& p) {
    std::error_code ec;
    if (std::filesystem::file_size(image::CurrentFilePath(p), ec) == 0 && !ec) {
        // An empty file would let Write erase the chip and report success.
        std::string text = "The file " + p.state.baseName.str() + " is empty.";
        p.windows.MessageBox(ids::kNoOwner, text, "ERROR!", MsgButtons::Ok);
        return CommandResult::Failed;
    }
    if (image::IsDumpFile(p) || image::CheckHexFile(p) == 0)
        return std::nullopt;
    std::string_view reason = p.state.errorText.view();
    if (reason != "Open Error!" && reason != "Wrong File-Format!" && reason != "Checksum wrong!") {
        p.windows.MessageBox(ids::kNoOwner, reason, "ERROR!", MsgButtons::Ok);
        return CommandResult::Failed;
    }
    if (p.windows.MessageBox(ids::kNoOwner, "Checksum wrong, continue!", "Warning!",
                             MsgButtons::OkCancel) == MsgResult::Ok)
        return std::nullopt;
    return CommandResult::Cancelled;
}

// The shared start of Verify and Write: a file must be selected and pass the
// checks, then the chip is connected. No value when the command goes on.
std::optional<CommandResult> ConnectForFile(Programmer& p) {
    ProgrammerState& s = p.state;
    p.windows.SetItemText(s.mainWindow, ids::kActivity, "  ");
    if (!s.fileLoaded) {
        Refuse(p, "No File selected!");
        return CommandResult::Failed;
    }
    if (auto ending = CheckFileBeforeConnect(p))
        return ending;
    p.windows.EnableItem(s.mainWindow, ids::kActivity, true);
    if (avr::Connect(p) != 0)
        return Failure(p);
    p.windows.EnableItem(s.mainWindow, ids::kCurrentFile, true);
    return std::nullopt;
}

CommandResult Readback(Programmer& p, int (*writer)(Programmer&), const char* savedText) {
    p.state.mainWindow = ids::kMainWindow;
    p.windows.SetItemText(p.state.mainWindow, ids::kActivity, "  ");
    p.windows.EnableItem(p.state.mainWindow, ids::kActivity, true);
    if (avr::Connect(p) != 0)
        return Failure(p);
    SetActivityField(p, "reading.....     ");
    if (writer(p) != 0)
        return Failure(p);
    SetActivityField(p, savedText);
    p.windows.Beep();
    ReadingPause(p);
    EnableField(p, ids::kActivity, false);
    Release(p);
    return CommandResult::Ok;
}

// Runs the engine on the EEPROM file that belongs to a flash file, when it
// exists and the option asks for it. False after a reported failure.
bool EepromFollowUp(Programmer& p) {
    ProgrammerState& s = p.state;
    std::string eepPath = image::SiblingFilePath(p, "eep");
    if (!FileExists(eepPath))
        return true;
    SetActivityField(p, " ");
    if (!s.programEepAfterHex)
        return true;
    FixedString<280> kept = s.currentFileName;
    std::string_view name = kept.view();
    s.currentFileName.Assign(name.substr(0, name.size() - 3));
    s.currentFileName.Append("eep");
    s.eepromFile = 1;
    s.verifyMode = 0;
    int result = image::RunEngine(p);
    s.eepromFile = 0;
    s.currentFileName = kept;
    if (result != image::kRunOk) {
        ReportFailure(p);
        return false;
    }
    return true;
}

}  // namespace

CommandResult ReadCommand(Programmer& p) {
    return Readback(p, image::WriteDump, "readback.txt saved");
}

CommandResult ReadbackHexCommand(Programmer& p) {
    return Readback(p, image::WriteReadbackHex, "readback.hex saved");
}

CommandResult VerifyCommand(Programmer& p) {
    ProgrammerState& s = p.state;
    s.noMismatchPrompt = 0;
    s.mainWindow = ids::kMainWindow;
    if (auto ending = ConnectForFile(p))
        return *ending;
    s.verifyMode = 1;
    SetActivityField(p, "verifying.....");
    int r = image::RunEngine(p);
    CommandResult result = CommandResult::Ok;
    if (r == image::kRunFailed)
        return Failure(p);
    if (r == image::kRunOk && s.mismatchesPassed == 0) {
        SetActivityField(p, "OK");
        p.windows.Beep();
        ReadingPause(p);
    } else if (r == image::kRunOk) {
        // Mismatches the user passed with OK: the chip does not hold the
        // file, and the ending must not say OK.
        char text[64];
        std::snprintf(text, sizeof text, "%d mismatch%s passed", s.mismatchesPassed,
                      s.mismatchesPassed == 1 ? "" : "es");
        SetActivityField(p, text);
        ReadingPause(p);
        result = CommandResult::Failed;
    } else {
        SetActivityField(p, " ");
        result = CommandResult::Cancelled;
    }
    p.windows.EnableItem(s.mainWindow, ids::kActivity, false);
    p.windows.EnableItem(s.mainWindow, ids::kCurrentFile, false);
    p.windows.Repaint(s.mainWindow);
    Release(p);
    return result;
}

CommandResult WriteCommand(Programmer& p) {
    p.state.noMismatchPrompt = 1;
    return WriteSequence(p, true);
}

CommandResult QuickCommand(Programmer& p) {
    std::string difPath = image::SiblingFilePath(p, "dif");
    RemoveFile(difPath);
    std::string path = image::CurrentFilePath(p);
    if (p.state.currentFileName.empty() || !FileExists(path)) {
        Refuse(p, "open error input file!");
        return CommandResult::Failed;
    }
    if (FileExists(image::SiblingFilePath(p, "tmp"))) {
        int r = image::WriteDifferenceFile(p);
        if (r == image::kOutputFileFailed) {
            Refuse(p, "open error output file!");
            return CommandResult::Failed;
        }
        if (r == image::kInputFileFailed) {
            Refuse(p, "open error input file!");
            return CommandResult::Failed;
        }
    }
    p.state.noMismatchPrompt = 1;
    return WriteSequence(p, false);
}

CommandResult WriteSequence(Programmer& p, bool fromWriteButton) {
    ProgrammerState& s = p.state;
    s.mainWindow = ids::kMainWindow;
    if (auto ending = ConnectForFile(p))
        return *ending;
    s.verifyMode = 0;

    if (fromWriteButton && p.windows.IsItemChecked(ids::kMainWindow, ids::kEraseBeforeWrite)) {
        if (!s.eepromFile) {
            avr::ChipErase(p);
            if (avr::Connect(p) != 0)
                return Failure(p);
        } else {
            if (avr::Connect(p) != 0)
                return Failure(p);
            avr::EraseEepromBytes(p);  // the engine's own erase pass follows
        }
    }

    SetActivityField(p, "writing.....     ");
    if (image::RunEngine(p) != image::kRunOk)
        return Failure(p);

    if (s.pagedFlash && !s.verifyMode) {
        // Page writes are not read back while loading: a second pass compares.
        s.verifyMode = 1;
        p.windows.EnableItem(s.mainWindow, ids::kActivity, false);
        p.windows.EnableItem(s.mainWindow, ids::kCurrentFile, false);
        SetActivityField(p, "verifying.....");
        if (image::RunEngine(p) != image::kRunOk)
            return Failure(p);
    }

    RemoveFile(image::SiblingFilePath(p, "dif"));

    int snapshot = image::SaveSnapshot(p);
    if (snapshot == image::kInputFileFailed) {
        Refuse(p, "open error input file!");
        return CommandResult::Failed;
    }
    if (snapshot == image::kOutputFileFailed) {
        Refuse(p, "open error output file!");
        return CommandResult::Failed;
    }

    if (!s.eepromFile && !EepromFollowUp(p))
        return CommandResult::Failed;

    if (dialogs::RunFuseScript(p) != 0)
        return CommandResult::Failed;
    // The script has put its closing text ("OK" or "F+L Bits programmed") in the field.
    ReadingPause(p);
    p.windows.EnableItem(s.mainWindow, ids::kActivity, false);
    p.windows.EnableItem(s.mainWindow, ids::kCurrentFile, false);
    p.windows.Repaint(s.mainWindow);
    Release(p);

    if (s.launchedWithFile)
        p.windows.EndWindow(ids::kMainWindow, 1);
    return CommandResult::Ok;
}

}  // namespace ostrel::app
