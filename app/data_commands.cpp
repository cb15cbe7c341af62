#include "app/data_commands.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "adapter/adapter.h"
#include "app/endings.h"
#include "app/fuse_script.h"
#include "app/settings.h"
#include "app/start_folder.h"
#include "avr/avr.h"
#include "core/ids.h"
#include "image/dump.h"
#include "image/engine.h"
#include "image/file_names.h"
#include "image/hex_check.h"
#include "image/readback.h"
#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform/text_file.h"
#include "platform/text_util.h"
#include "platform/texts.h"
#include "sim/chip_clock.h"
#include "sim/sim_state_file.h"

namespace ostrel::app {

namespace {

// Writes shorter than this are not announced: they are over before a person
// would wonder.
constexpr double kEstimateWorthShowing = 10.0;

CommandResult Failure(Programmer& p) {
    ReportFailure(p);
    return CommandResult::Failed;
}

// The target runs again, except on a parallel port reached through a port
// driver, where the original left it held.
void Release(Programmer& p) {
    if (p.state.directPortIo || p.state.adapterKind != AdapterKind::Parallel)
        adapter::ReleaseTarget(p);
}

void Refuse(Programmer& p, std::string_view text) {
    p.windows.MessageBox(ids::kNoOwner, text, texts::kTitleErrorLoud, MsgButtons::Ok,
                         MessageKind::Error);
}

bool FileExists(const std::string& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::is_regular_file(FsPath(path), ec);
}

// Whether anything stands under the name: a file that follows a write (the
// .eep of a flash file, the script) and cannot be read is no missing file,
// or the write would end "OK" without it.
bool AnythingNamed(const std::string& path) {
    std::error_code ec;
    return !path.empty() &&
           std::filesystem::exists(std::filesystem::symlink_status(FsPath(path), ec));
}

void RemoveFile(const std::string& path) {
    std::error_code ec;
    if (!path.empty())
        std::filesystem::remove(FsPath(path), ec);
}

// The whole message of a file check: the system's text, then our line that
// names the file, the line and the fault.
std::string CheckMessage(const std::string& systemText, const image::FileCheck& check,
                         const std::string& path) {
    std::string detail = check.detail.empty() ? "File: " + path : check.detail;
    return systemText.empty() ? detail : systemText + "\n\n" + detail;
}

// A file the command will send, and what its check found.
struct Judged {
    std::string path;
    image::FileCheck check;
    bool eeprom = false;    // its data goes to the EEPROM
    bool followUp = false;  // the .eep file that follows a flash file
};

// Asks whether a file without an end record may be sent as it is: a file cut
// off at a line end looks whole to every other test. Empty files are not
// asked about (an empty .eep follow-up clears the EEPROM, which is what it
// says).
bool MaySendWithoutEnd(Programmer& p, const Judged& f) {
    if (f.check.endRecord || f.check.records == 0)
        return true;
    const std::string name = std::filesystem::path(f.path).filename().string();
    std::string text = "The file has no end record: it may be cut off.\n\n" + name +
                       " ends after line " + std::to_string(f.check.lastRecordLine) +
                       " without the record of length 0 (usually :00000001FF) that ends an "
                       "Intel HEX file.\n\nOK goes on with the file as it is.";
    return p.windows.MessageBox(ids::kNoOwner, text, texts::kTitleWarning, MsgButtons::OkCancel,
                                MessageKind::Warning) == MsgResult::Ok;
}

// Why a file the command will write after it has changed the chip (the
// snapshot of a write, hex.tmp of a dump) cannot be written; empty when it
// can. Found out by starting the file and dropping it, so nothing changes.
std::string CannotWrite(const std::string& path) {
    TextWriter probe;
    if (probe.Create(path)) {
        probe.Discard();
        return {};
    }
    return std::filesystem::path(path).filename().string() + " cannot be written in " +
           FolderPart(path) + ": " + probe.why() + ".";
}

// The name of the program's own file in the start directory that `path`
// names (the device file, the settings, the simulated chip's state and
// clock), by the file itself where it exists and is no link, else by its
// path; empty when it names none. A readback written there would replace it:
// the state file with the chip in it, and under the lock that keeps other
// programs off the chip.
std::string OwnFileAt(const Programmer& p, const std::string& path) {
    // A link is replaced itself, not what it points to.
    std::error_code ec;
    const bool link = std::filesystem::is_symlink(FsPath(path), ec);
    const std::optional<FileIdentity> target = link ? std::nullopt : IdentityOf(path);
    const std::string_view names[] = {kDeviceFileName, kSettingsFile, sim::kStateFileName,
                                      sim::kClockFileName};
    for (std::string_view name : names) {
        const std::string own = JoinPath(p.state.startDirectory.view(), name);
        const std::optional<FileIdentity> ownId = IdentityOf(own);
        const bool same = target && ownId
                              ? target->volume == ownId->volume && target->index == ownId->index
                              : FsPath(path).lexically_normal() == FsPath(own).lexically_normal();
        if (same)
            return std::string(name);
    }
    return {};
}

// The one line after a refusal to write beside the data file (a folder of the
// system's, like the installed examples): where the user can work instead.
std::string WhereToWork(const Programmer& p) {
    const std::string examples = JoinPath(p.state.startDirectory.view(), kExamplesFolderName);
    std::error_code ec;
    if (std::filesystem::is_directory(FsPath(examples), ec))
        return "\nWork on a copy in a folder you can write; the examples can be used from " +
               examples + ".";
    return "\nWork on a copy in a folder you can write.";
}

// Judges the file at `path` and notes what it is, for the stream to compare
// with: a file replaced or rewritten while it was judged is refused, since
// what was judged may be neither the old file nor the new one.
image::FileCheck JudgeAndNote(Programmer& p, const std::string& path,
                              const std::function<image::FileCheck()>& judge) {
    const std::optional<FileIdentity> before = IdentityOf(path);
    image::FileCheck check = judge();
    if (check.verdict == image::FileVerdict::Refused)
        return check;
    if (!before || IdentityOf(path) != before) {
        return image::RefusedFile({}, "The file " + ShortenMiddle(FileNamePart(path), 60) +
                                          " changed while it was checked.");
    }
    p.checkedFiles.push_back({path, *before});
    return check;
}

// Notes that nothing stands under `path`, or what does, so that a file that
// appears or changes there later is not run unchecked.
void NoteAsFound(Programmer& p, const std::string& path) {
    p.checkedFiles.push_back({path, IdentityOf(path).value_or(FileIdentity{})});
}

// The first of the checked files that is no longer what was checked, or
// null when each still is.
const CheckedFile* FirstChangedFile(const Programmer& p) {
    for (const CheckedFile& f : p.checkedFiles) {
        if (!image::IsCheckedFile(p, f.path))
            return &f;
    }
    return nullptr;
}

// Before touching the chip, every file the command will send is judged as a
// whole: the current file, and for a write also the EEPROM file that follows
// a flash file and the script; and every file it must write once the chip
// has changed (`outputs`) is tried. A file that cannot be sent, or written,
// is refused before anything is erased; a checksum that does not add up, or
// a missing end record, is put to the user, who may go on. No value when the
// command may go on; otherwise how it ends.
std::optional<CommandResult> CheckFilesBeforeConnect(Programmer& p, bool withFollowUps,
                                                     const std::vector<std::string>& outputs,
                                                     std::vector<Judged>& files, long& dataBytes) {
    ProgrammerState& s = p.state;
    std::string path = image::CurrentFilePath(p);
    std::error_code ec;
    if (std::filesystem::file_size(FsPath(path), ec) == 0 && !ec) {
        // An empty file would let Write erase the chip and report success.
        std::string text = "The file " + s.baseName.str() + " is empty.";
        p.windows.MessageBox(ids::kNoOwner, text, texts::kTitleErrorLoud, MsgButtons::Ok,
                             MessageKind::Error);
        return CommandResult::Failed;
    }

    files.clear();
    p.checkedFiles.clear();
    files.push_back({path,
                     JudgeAndNote(p, path,
                                  [&] {
                                      return image::IsDumpFile(p)
                                                 ? image::CheckDumpFile(p, path)
                                                 : image::CheckDataFile(p, path, s.eepromFile != 0);
                                  }),
                     s.eepromFile != 0});
    if (withFollowUps) {
        std::string eepPath = image::SiblingFilePath(p, "eep");
        if (!s.eepromFile && s.programEepAfterHex) {
            if (AnythingNamed(eepPath)) {
                files.push_back(
                    {eepPath,
                     JudgeAndNote(p, eepPath,
                                  [&] { return image::CheckDataFile(p, eepPath, true); }),
                     true, true});
            } else {
                NoteAsFound(p, eepPath);
            }
        }
        std::string scrPath = image::SiblingFilePath(p, "scr");
        std::string problem;
        std::vector<std::string> memoryLines;
        const std::optional<FileIdentity> scriptBefore = IdentityOf(scrPath);
        bool scriptGood = CheckFuseScript(p, scrPath, problem, &memoryLines);
        if (scriptGood && IdentityOf(scrPath) != scriptBefore) {
            scriptGood = false;
            problem = "It changed while it was checked.";
        }
        if (scriptGood)
            p.checkedFiles.push_back({scrPath, scriptBefore.value_or(FileIdentity{})});
        if (!scriptGood) {
            image::FileCheck refused;
            refused.verdict = image::FileVerdict::Refused;
            refused.detail = "The script " + scrPath + " cannot be run.";
            if (!problem.empty())
                refused.detail += "\n" + problem;
            files.push_back({scrPath, refused});
        } else if (!memoryLines.empty()) {
            // A script that writes the memories after the verify may be meant
            // (a serial number after the program): the user decides now,
            // before anything is erased.
            std::string text = "The script " + FsPath(scrPath).filename().string() +
                               " changes the memory after the verify:\n";
            for (const std::string& line : memoryLines)
                text += "\n" + line;
            text += "\n\nWhat it writes is not verified. OK runs it as it is.";
            if (p.windows.MessageBox(ids::kNoOwner, text, texts::kTitleWarning,
                                     MsgButtons::OkCancel, MessageKind::Warning) != MsgResult::Ok)
                return CommandResult::Cancelled;
        }
    }

    // A file of blank lines is as empty as one of no bytes: a write would
    // erase the chip, or the EEPROM for an EEPROM file, and report success.
    // (A file holding only its end record is a real, if empty, program.) The
    // .eep file that follows a flash file is another matter: empty, it clears
    // the EEPROM, and the flash write goes on.
    for (Judged& f : files) {
        if (f.check.verdict == image::FileVerdict::Good && f.check.records == 0 && !f.followUp &&
            !(&f == &files.front() && image::IsDumpFile(p))) {
            f.check.verdict = image::FileVerdict::Refused;
            f.check.systemText.clear();
            f.check.detail =
                "The file " + FsPath(f.path).filename().string() + " is empty: it holds no record.";
        }
    }

    dataBytes = 0;
    for (const Judged& f : files)
        dataBytes += f.check.dataBytes;

    // Refusals first: no question is asked about a command that cannot run anyway.
    for (const Judged& f : files) {
        if (f.check.verdict != image::FileVerdict::Refused)
            continue;
        p.windows.MessageBox(
            ids::kNoOwner,
            CheckMessage(f.check.systemText, f.check, f.path) + "\n\nNothing was sent to the chip.",
            texts::kTitleErrorLoud, MsgButtons::Ok, MessageKind::Error);
        return CommandResult::Failed;
    }
    for (const std::string& output : outputs) {
        std::string problem = CannotWrite(output);
        if (problem.empty())
            continue;
        Refuse(p, std::string(texts::kOpenErrorOutputFile) + "\n\n" + problem +
                      "\nThe command would change the chip and then fail to write it." +
                      WhereToWork(p) + "\n\nNothing was sent to the chip.");
        return CommandResult::Failed;
    }
    for (const Judged& f : files) {
        if (f.check.verdict != image::FileVerdict::ChecksumWrong)
            continue;
        if (p.windows.MessageBox(
                ids::kNoOwner, CheckMessage(texts::kChecksumWrongContinue, f.check, f.path),
                texts::kTitleWarning, MsgButtons::OkCancel, MessageKind::Warning) != MsgResult::Ok)
            return CommandResult::Cancelled;
    }
    for (const Judged& f : files) {
        if (!MaySendWithoutEnd(p, f))
            return CommandResult::Cancelled;
    }
    return std::nullopt;
}

// Once the chip is known, and before anything is erased or written: every
// file must fit its memory, or the write would stop at the first record
// beyond it with the chip already erased and partly programmed.
bool FilesFitChip(Programmer& p, const std::vector<Judged>& files) {
    const ProgrammerState& s = p.state;
    for (const Judged& f : files) {
        const long size = f.eeprom ? s.eepromBytes : 2L * s.flashWords;
        const image::FileCheck::Reach* r = image::FirstReachBeyond(f.check, size);
        if (r == nullptr)
            continue;
        const long byte = std::max(r->start, size);
        // The system's text gives the word address for flash, the byte address for EEPROM.
        char text[256];
        // The name is shortened so that a long one cannot push the reason out.
        const std::string name = ShortenMiddle(FsPath(f.path).filename().string(), 60);
        std::snprintf(text, sizeof text,
                      "Out of memory: %04lX\n\n%s, line %d: byte address 0x%04lX lies beyond this "
                      "chip's %s (%ld bytes, 0x0000 to 0x%04lX).\n\nNothing was written to the "
                      "chip.",
                      f.eeprom ? byte : byte / 2, name.c_str(), r->line, byte,
                      f.eeprom ? "EEPROM" : "flash", size, size > 0 ? size - 1 : 0);
        SetActivityField(p, " ");
        Refuse(p, text);
        return false;
    }
    return true;
}

// A write that will take long (a slow port, a USB adapter, a low speed) says
// so before it starts, from the calibration just made and the file's size,
// so that nobody takes a slow write for a hung one.
void ShowWriteEstimate(Programmer& p, long dataBytes) {
    double seconds = EstimatedWriteSeconds(p, dataBytes);
    if (seconds < kEstimateWorthShowing)
        return;
    char text[96];
    if (seconds < 120)
        std::snprintf(text, sizeof text, "This write will take about %.0f s.\n", seconds);
    else if (seconds < 2 * 3600)
        std::snprintf(text, sizeof text, "This write will take about %.0f min.\n", seconds / 60);
    else
        std::snprintf(text, sizeof text, "This write will take about %.1f h.\n", seconds / 3600);
    p.state.activityText.Assign(text);
    ShowActivity(p);
}

// The shared start of Verify and Write: a file must be selected and pass the
// checks, then the chip is connected. No value when the command goes on.
// Work a command does once its files have passed the checks and before the
// chip is touched; a value ends the command.
using BeforeConnect = std::function<std::optional<CommandResult>()>;

std::optional<CommandResult> ConnectForFile(Programmer& p, bool withFollowUps,
                                            std::vector<std::string> outputs,
                                            long* dataBytes = nullptr,
                                            const BeforeConnect& beforeConnect = nullptr) {
    ProgrammerState& s = p.state;
    p.windows.SetItemText(s.mainWindow, ids::kActivity, "  ");
    if (!s.fileLoaded) {
        Refuse(p, texts::kNoFileSelected);
        return CommandResult::Failed;
    }
    long bytes = 0;
    std::vector<Judged> files;
    p.chipErasedByCommand = false;
    p.chipWrittenByCommand = false;
    // A dump is programmed through hex.tmp, made after the chip is erased.
    if (image::IsDumpFile(p))
        outputs.push_back(image::HexTmpPath(p));
    if (auto ending = CheckFilesBeforeConnect(p, withFollowUps, outputs, files, bytes))
        return ending;
    if (dataBytes)
        *dataBytes = bytes;
    if (beforeConnect) {
        if (auto ending = beforeConnect())
            return ending;
    }
    p.windows.EnableItem(s.mainWindow, ids::kActivity, true);
    if (avr::Connect(p) != 0)
        return Failure(p);
    if (!FilesFitChip(p, files)) {
        Release(p);
        return CommandResult::Failed;
    }
    // The checks took questions and a connection: the files must still be
    // the ones checked before anything is erased or written.
    if (const CheckedFile* changed = FirstChangedFile(p)) {
        image::SetChangedFileText(p, changed->path, "Nothing was written to the chip.");
        Release(p);
        return Failure(p);
    }
    p.windows.EnableItem(s.mainWindow, ids::kCurrentFile, true);
    return std::nullopt;
}

CommandResult Readback(Programmer& p, int (*writer)(Programmer&, const image::BeforeReplacing&),
                       std::string_view defaultName, const char* savedText) {
    p.state.mainWindow = ids::kMainWindow;
    p.windows.SetItemText(p.state.mainWindow, ids::kActivity, "  ");
    // A file named by the user says its own name; the default keeps the system's text.
    const std::string path = image::ReadbackPath(p, defaultName);
    const std::string savedFile = FsPath(path).filename().string();
    const std::string saved =
        p.readbackFile.empty() ? std::string(savedText) : ShortenMiddle(savedFile, 60) + " saved";
    // A place the copy cannot go (a folder, a FIFO, a folder that takes no
    // new file, a file of the program's own) is refused before the chip is
    // read for nothing.
    if (std::string own = OwnFileAt(p, path); !own.empty()) {
        Refuse(p, std::string(texts::kOpenErrorOutputFile) + "\n\n" + own +
                      " is a file of the program's own in the start directory; a copy of the "
                      "chip would replace it. Name another file.\n\nNothing was read from the "
                      "chip.");
        return CommandResult::Failed;
    }
    if (std::string problem = CannotWrite(path); !problem.empty()) {
        Refuse(p, std::string(texts::kOpenErrorOutputFile) + "\n\n" + problem +
                      "\n\nNothing was read from the chip.");
        return CommandResult::Failed;
    }
    p.windows.EnableItem(p.state.mainWindow, ids::kActivity, true);
    if (avr::Connect(p) != 0)
        return Failure(p);
    if (avr::CheckLockAllows(p, avr::ChipAccess::Read) != 0) {
        Release(p);
        return Failure(p);
    }
    SetActivityField(p, texts::kReading);
    // The writer replaces the file only with a whole copy of a chip that
    // still answered at its end: one that has gone reads FF everywhere.
    auto stillAnswers = [&p, name = ShortenMiddle(savedFile, 40)] {
        if (avr::StillAnswers(p))
            return true;
        p.state.errorText.Format(
            "The chip stopped answering while it was read: %s would be no "
            "copy of it; the earlier %s is as it was.\n",
            name.c_str(), name.c_str());
        return false;
    };
    if (writer(p, stillAnswers) != 0)
        return Failure(p);
    SetActivityField(p, saved);
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
    if (!AnythingNamed(eepPath))
        return true;
    SetActivityField(p, " ");
    if (!s.programEepAfterHex)
        return true;
    // The current file is the flash file again after the run, however it
    // ends: a failure, or a stop that unwinds through here.
    struct KeepCurrentFile {
        ProgrammerState& s;
        FixedString<280> kept;
        ~KeepCurrentFile() {
            s.eepromFile = 0;
            s.currentFileName = kept;
        }
    } keep{s, s.currentFileName};
    // The file found beside it, whatever the letter case of its name.
    if (!s.currentFileName.Assign(eepPath)) {
        s.currentFileName = keep.kept;
        s.errorText.Assign("The path of the EEPROM file is too long:\n" +
                           ShortenMiddle(eepPath, 120));
        ReportFailure(p);
        return false;
    }
    s.eepromFile = 1;
    s.verifyMode = 0;
    if (image::RunEngine(p) != image::kRunOk) {
        ReportFailure(p);
        return false;
    }
    return true;
}

// The snapshot could not be saved. The write stops there, before the EEPROM
// file and the script; the message says so, since the chip already holds
// the new flash or EEPROM data.
void RefuseSnapshot(Programmer& p, int snapshot) {
    ProgrammerState& s = p.state;
    bool input = snapshot == image::kInputFileFailed;
    std::string text = input ? texts::kOpenErrorInputFile : texts::kOpenErrorOutputFile;
    text += input ? "\n\nCannot read " + image::CurrentFilePath(p) + " again for its snapshot."
                  : "\n\nCannot create the snapshot " + image::SiblingFilePath(p, "tmp") + ".";
    text += "\nThe chip has been programmed from the file, but the write stopped here:";
    std::string eepPath = image::SiblingFilePath(p, "eep");
    if (!s.eepromFile && s.programEepAfterHex && AnythingNamed(eepPath))
        text += "\nthe EEPROM file " + eepPath + " was not programmed;";
    std::string scrPath = image::SiblingFilePath(p, "scr");
    if (FileExists(scrPath))
        text += "\nthe script " + scrPath + " was not run;";
    text += "\nthe target was not released.";
    Refuse(p, text);
}

// What a command checked is of no account once it has ended.
struct ForgetCheckedFiles {
    explicit ForgetCheckedFiles(Programmer& programmer) : p(programmer) {}
    ForgetCheckedFiles(const ForgetCheckedFiles&) = delete;
    ForgetCheckedFiles& operator=(const ForgetCheckedFiles&) = delete;
    ~ForgetCheckedFiles() {
        p.checkedFiles.clear();
        p.chipErasedByCommand = false;
        p.chipWrittenByCommand = false;
    }
    Programmer& p;
};

}  // namespace

double EstimatedWriteSeconds(Programmer& p, long dataBytes) {
    // The engine polls until the chip is done, so each page or byte takes
    // about the connected chip's own write time.
    const avr::WriteWaits waits = avr::WriteWaitsInUse(p);
    const adapter::ChipWriteTimes chip{
        .pageSeconds = waits.pageMs / 1000.0,
        .byteSeconds = (p.state.eepromFile ? waits.eepromMs : waits.flashByteMs) / 1000.0};
    return adapter::EstimateWriteSeconds(p, dataBytes, chip);
}

CommandResult ReadCommand(Programmer& p) {
    return Readback(p, image::WriteDump, image::kDumpName, texts::kReadbackTxtSaved);
}

CommandResult ReadbackHexCommand(Programmer& p) {
    return Readback(p, image::WriteReadbackHex, image::kReadbackHexName, texts::kReadbackHexSaved);
}

CommandResult VerifyCommand(Programmer& p) {
    ProgrammerState& s = p.state;
    ForgetCheckedFiles forget{p};
    s.noMismatchPrompt = 0;
    s.mainWindow = ids::kMainWindow;
    if (auto ending = ConnectForFile(p, false, {}))
        return *ending;
    if (avr::CheckLockAllows(p, avr::ChipAccess::Read) != 0) {
        Release(p);
        return Failure(p);
    }
    s.verifyMode = 1;
    SetActivityField(p, texts::kVerifying);
    int r = image::RunEngine(p);
    CommandResult result = CommandResult::Ok;
    if (r == image::kRunFailed)
        return Failure(p);
    if (r == image::kRunOk && s.mismatchesPassed == 0) {
        if (!ShowOk(p))
            return CommandResult::Failed;
        p.windows.Beep();
        ReadingPause(p);
    } else if (r == image::kRunOk) {
        // Mismatches the user passed with OK: the chip does not hold the
        // file, and the ending must not say OK.
        char text[64];
        std::snprintf(text, sizeof text, "%d mismatch%s passed", s.mismatchesPassed,
                      s.mismatchesPassed == 1 ? "" : "es");
        SetActivityField(p, text);
        if (p.summariseMismatches) {
            // One line for them all, where each had a box of its own.
            std::string summary = "Verify failed: " + std::to_string(s.mismatchesPassed) + " byte" +
                                  (s.mismatchesPassed == 1 ? "" : "s") +
                                  " differ from the file, at";
            char address[8];
            for (int32_t a : p.firstMismatches) {
                std::snprintf(address, sizeof address, " %04X", static_cast<unsigned>(a));
                summary += address;
            }
            if (static_cast<std::size_t>(s.mismatchesPassed) > p.firstMismatches.size())
                summary += " ...";
            p.windows.MessageBox(ids::kNoOwner, summary, texts::kTitleError, MsgButtons::Ok,
                                 MessageKind::Error);
        }
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

CommandResult WriteSequenceAfter(Programmer& p, bool fromWriteButton,
                                 const BeforeConnect& beforeConnect);

CommandResult QuickCommand(Programmer& p) {
    std::string difPath = image::SiblingFilePath(p, "dif");
    RemoveFile(difPath);
    std::string path = image::CurrentFilePath(p);
    if (p.state.currentFileName.empty() || !FileExists(path)) {
        Refuse(p, texts::kOpenErrorInputFile);
        return CommandResult::Failed;
    }
    // The difference file records what a write sends: it is made only for a
    // file that passed the checks, never for one that is refused.
    auto writeDifference = [&p]() -> std::optional<CommandResult> {
        if (!FileExists(image::SiblingFilePath(p, "tmp")))
            return std::nullopt;
        int r = image::WriteDifferenceFile(p);
        if (r == image::kOutputFileFailed) {
            Refuse(p, texts::kOpenErrorOutputFile);
            return CommandResult::Failed;
        }
        if (r == image::kInputFileFailed) {
            Refuse(p, texts::kOpenErrorInputFile);
            return CommandResult::Failed;
        }
        return std::nullopt;
    };
    p.state.noMismatchPrompt = 1;
    return WriteSequenceAfter(p, false, writeDifference);
}

CommandResult WriteSequence(Programmer& p, bool fromWriteButton) {
    return WriteSequenceAfter(p, fromWriteButton, nullptr);
}

CommandResult WriteSequenceAfter(Programmer& p, bool fromWriteButton,
                                 const BeforeConnect& beforeConnect) {
    ProgrammerState& s = p.state;
    ForgetCheckedFiles forget{p};
    s.mainWindow = ids::kMainWindow;
    long dataBytes = 0;
    // The snapshot is written after the chip has been programmed.
    if (auto ending =
            ConnectForFile(p, true, {image::SiblingFilePath(p, "tmp")}, &dataBytes, beforeConnect))
        return *ending;
    s.verifyMode = 0;
    // A script line the guard refuses would stop the script with the flash
    // already written: refused now, while the chip is as it was.
    // What the guard asks about it is asked now too, as at the other ways
    // of writing a fuse.
    const std::string scrPath = image::SiblingFilePath(p, "scr");
    const ScriptJudgement script = JudgeScriptWrites(p, scrPath);
    if (!script.refused.empty()) {
        SetActivityField(p, " ");
        Refuse(p, script.refused +
                      "\n\nThe script would stop before this line, after the write; it cannot "
                      "be run on this chip. Nothing was written to the chip.");
        Release(p);
        return CommandResult::Failed;
    }
    if (!script.asked.empty()) {
        std::string text = "The script " + FsPath(scrPath).filename().string() +
                           " writes fuses that change how the chip runs:\n";
        for (const std::string& line : script.asked)
            text += "\n" + line;
        text += "\n\nWrite the file and run the script?";
        if (p.windows.MessageBox(ids::kNoOwner, text, texts::kTitleWarning, MsgButtons::OkCancel,
                                 MessageKind::Warning) != MsgResult::Ok) {
            SetActivityField(p, " ");
            Release(p);
            return CommandResult::Cancelled;
        }
    }

    const bool eraseFirst =
        fromWriteButton && p.windows.IsItemChecked(ids::kMainWindow, ids::kEraseBeforeWrite);
    if (eraseFirst && !s.eepromFile) {
        avr::ChipErase(p);
        p.chipErasedByCommand = true;
        if (avr::Connect(p) != 0)
            return Failure(p);
    } else {
        // Only a chip erase clears the lock bits: a locked chip would ignore
        // every write of this way.
        if (avr::CheckLockAllows(p, avr::ChipAccess::Program) != 0) {
            Release(p);
            return Failure(p);
        }
        if (eraseFirst) {
            if (avr::Connect(p) != 0)
                return Failure(p);
            avr::EraseEepromBytes(p);  // the engine's own erase pass follows
            p.chipErasedByCommand = true;
        }
    }

    ShowWriteEstimate(p, dataBytes);
    SetActivityField(p, texts::kWriting);
    if (image::RunEngine(p) != image::kRunOk)
        return Failure(p);
    p.chipWrittenByCommand = true;

    if (s.pagedFlash && !s.verifyMode) {
        // Page writes are not read back while loading: a second pass compares.
        s.verifyMode = 1;
        p.windows.EnableItem(s.mainWindow, ids::kActivity, false);
        p.windows.EnableItem(s.mainWindow, ids::kCurrentFile, false);
        SetActivityField(p, texts::kVerifying);
        if (image::RunEngine(p) != image::kRunOk)
            return Failure(p);
    }

    RemoveFile(image::SiblingFilePath(p, "dif"));

    int snapshot = image::SaveSnapshot(p);
    if (snapshot != image::kFilesOk) {
        RefuseSnapshot(p, snapshot);
        return CommandResult::Failed;
    }

    if (!s.eepromFile && !EepromFollowUp(p))
        return CommandResult::Failed;

    // The script runs only as it was judged before the chip was touched.
    if (std::string scrPath = image::SiblingFilePath(p, "scr"); !image::IsCheckedFile(p, scrPath)) {
        image::SetChangedFileText(p, scrPath,
                                  "The chip holds the file, verified; the script was not run.");
        return Failure(p);
    }
    if (RunFuseScript(p) != 0)
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
