#include "image/engine.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "adapter/adapter.h"
#include "avr/avr.h"
#include "core/activity.h"
#include "core/ids.h"
#include "image/dump.h"
#include "image/file_names.h"
#include "image/hex_check.h"
#include "image/hex_records.h"
#include "platform/paths.h"
#include "platform/text_util.h"
#include "platform/texts.h"

namespace ostrel::image {

namespace {

// The failure texts are built from a headline, a file-value line and a
// chip-value line, each piece without its final line break but the last.
void VerifyFailureText(ProgrammerState& s, int32_t address, int fileValue, int chipValue) {
    s.errorText.Format(texts::kVerifyFailedDetailFormat, static_cast<unsigned>(address),
                       static_cast<unsigned>(fileValue), static_cast<unsigned>(chipValue));
}

void WriteFailureText(ProgrammerState& s, int32_t address, int wrote, int chipValue) {
    s.errorText.Format(texts::kWriteErrorAtFormat, static_cast<unsigned>(address),
                       static_cast<unsigned>(wrote), static_cast<unsigned>(chipValue));
}

// Where the records come from, for the texts that name a file line.
struct Source {
    std::string name;    // the file's name without its folder
    int lineOffset = 0;  // added to the stream's line numbers (a dump's header lines)
};

// "Out of memory: %04X\n" with the word address for flash (the byte address
// for EEPROM), then our line with the byte address, the file line and the
// size of the memory, since a word address reads like a byte address.
void OutOfMemory(ProgrammerState& s, const Source& src, const HexRecordStream& in, int32_t address,
                 int32_t byteAddress, bool flash) {
    const int32_t size = flash ? s.flashWords * 2 : s.eepromBytes;
    char detail[160];
    std::snprintf(detail, sizeof detail,
                  ", line %d: byte address 0x%04X lies beyond this chip's %s (%d bytes, 0x0000 to "
                  "0x%04X).\n",
                  in.lineNumber() + src.lineOffset, static_cast<unsigned>(byteAddress),
                  flash ? "flash" : "EEPROM", static_cast<int>(size),
                  static_cast<unsigned>(size > 0 ? size - 1 : 0));
    s.errorText.Format(texts::kOutOfMemoryFormat, static_cast<unsigned>(address));
    s.errorText.Append(ShortenMiddle(src.name, 60));
    s.errorText.Append(detail);
}

void ShowAddress(Programmer& p) {
    p.state.activityText.Format(texts::kContrAdrFormat, static_cast<unsigned>(p.state.memAddress));
    core::ShowActivityEvery16(
        p, Progress{ProgressStage::EepromAddress, p.state.memAddress, p.state.eepromBytes});
}

int EepromPath(Programmer& p, HexRecordStream& in, const Source& src) {
    ProgrammerState& s = p.state;
    auto eeprom = [](int a) { return std::pair<avr::Cell, int32_t>{avr::Cell::Eeprom, a}; };
    if (!s.verifyMode) {
        // Every byte that is not FF is erased first, one by one, even those
        // the file then writes.
        avr::ReadAhead reads(p);
        for (int32_t a = 0; a < s.eepromBytes; ++a) {
            s.memAddress = a;
            ShowAddress(p);
            if (reads.Byte(a, s.eepromBytes, eeprom) != 0xFF) {
                s.memData = 0xFF;
                avr::WriteEeprom(p);
                if (!avr::PollUntilWritten(p, avr::WrittenByte::Eeprom)) {
                    s.activityText.Format(texts::kVerifyFailedRecFormat,
                                          static_cast<unsigned>(avr::ReadByte(p)));
                    core::ShowActivity(p);
                    s.errorText.Format(texts::kVerifyFailedFormat, static_cast<unsigned>(a));
                    in.Close();
                    return kRunFailed;
                }
            }
            ShowAddress(p);
        }
    }

    for (;;) {
        HexRecord record;
        switch (in.NextRecord(record)) {
            case RecordResult::EndOfFile:
                s.activityText.Assign(texts::kEofOccurred);
                core::ShowActivity(p);
                in.Close();
                return kRunOk;
            case RecordResult::EndOfData:
                in.Close();
                return kRunOk;
            case RecordResult::FormatError:
                in.Close();
                return kRunFailed;
            case RecordResult::Record:
                break;
        }
        s.memAddress = record.address;
        // Reads only of bytes inside the EEPROM: the first one beyond it ends the run.
        const int inMemory = std::clamp(s.eepromBytes - record.address, 0, record.length);
        auto at = [&record](int j) {
            return std::pair<avr::Cell, int32_t>{avr::Cell::Eeprom, record.address + j};
        };
        avr::ReadAhead reads(p);
        for (int i = 0; i < record.length; ++i) {
            ShowAddress(p);
            if (s.memAddress + 1 > s.eepromBytes) {
                OutOfMemory(s, src, in, s.memAddress, s.memAddress, false);
                in.Close();
                return kRunFailed;
            }
            s.memData = in.NextDataByte();
            if (reads.Byte(i, inMemory, at) != s.memData) {
                if (s.verifyMode) {
                    VerifyFailureText(s, s.memAddress, s.memData, avr::ReadByte(p));
                    in.Close();
                    return kRunFailed;
                }
                avr::WriteEeprom(p);
                if (!avr::PollUntilWritten(p, avr::WrittenByte::Eeprom)) {
                    WriteFailureText(s, s.memAddress, s.memData, avr::ReadByte(p));
                    in.Close();
                    return kRunFailed;
                }
            }
            s.memAddress += 1;
            s.activityText.Assign("\n");
            core::ShowActivity(p);
        }
        in.FinishRecord();
    }
}

void ShowRecordProgress(Programmer& p) {
    ProgrammerState& s = p.state;
    s.recordsDone += 1;
    // A file of no lines has nothing to count against: show the records themselves as done.
    int32_t lines = s.fileLineCount > 0 ? s.fileLineCount : s.recordsDone;
    int64_t percent = static_cast<int64_t>(s.recordsDone) * 100 / lines;
    s.activityText.Format("%1.0f%%%s", static_cast<double>(percent),
                          s.verifyMode ? " verified" : " programmed");
    core::ShowActivity(
        p, Progress{s.verifyMode ? ProgressStage::Verifying : ProgressStage::Programming,
                    s.recordsDone, lines});
}

// The next data byte of a flash record, for byte address b: sets wordAddress,
// highByteSelect and memData. False (input closed, errorText set) when the
// byte lies beyond the flash.
bool TakeFlashByte(Programmer& p, HexRecordStream& in, const Source& src, int32_t b) {
    ProgrammerState& s = p.state;
    s.wordAddress = b / 2;
    s.highByteSelect = b & 1;
    if (s.wordAddress + 1 > s.flashWords) {
        OutOfMemory(s, src, in, s.wordAddress, b, true);
        in.Close();
        return false;
    }
    s.memData = in.NextDataByte();
    return true;
}

// The flash byte at byte address b as a read.
std::pair<avr::Cell, int32_t> FlashByte(int32_t b) {
    return {(b & 1) ? avr::Cell::FlashHigh : avr::Cell::FlashLow, b / 2};
}

// `flashReads` serves a pass that only reads: its reads run on along the
// flash past the end of the record, since the next one nearly always starts
// where this one ended and nothing is written meanwhile (a read that is not
// needed costs nothing).
int ProgramRecordBytewise(Programmer& p, HexRecordStream& in, const Source& src,
                          const HexRecord& record, avr::ReadAhead& flashReads) {
    ProgrammerState& s = p.state;
    ShowRecordProgress(p);
    // Reads only of bytes inside the flash: the first one beyond it ends the run.
    const int32_t flashBytes = s.flashWords * 2;
    const int inMemory = std::clamp(flashBytes - record.address, 0, record.length);
    auto at = [&record](int j) { return FlashByte(record.address + j); };
    avr::ReadAhead reads(p);
    for (int i = 0; i < record.length; ++i) {
        s.memAddress = (record.address + i) / 2;
        if (!TakeFlashByte(p, in, src, record.address + i))
            return kRunFailed;
        const int chip = s.verifyMode ? flashReads.Byte(record.address + i, flashBytes, FlashByte)
                                      : reads.Byte(i, inMemory, at);
        if (chip == s.memData)
            continue;
        // A port that stopped answering reads 1s: no byte of the chip's to
        // pass or to write again. The command tells the loss.
        if (p.portLost) {
            in.Close();
            return kRunFailed;
        }
        if (s.verifyMode) {
            VerifyFailureText(s, s.wordAddress, s.memData, avr::ReadByte(p));
        } else {
            (s.highByteSelect ? avr::WriteFlashHigh : avr::WriteFlashLow)(p);
            if (avr::PollUntilWritten(
                    p, s.highByteSelect ? avr::WrittenByte::FlashHigh : avr::WrittenByte::FlashLow))
                continue;
            WriteFailureText(s, s.wordAddress, s.memData, avr::ReadByte(p));
        }
        if (s.noMismatchPrompt || !s.verifyMode) {
            in.Close();
            return kRunFailed;
        }
        if (p.summariseMismatches) {
            if (p.firstMismatches.size() < kMismatchesNamed)
                p.firstMismatches.push_back(s.wordAddress);
        } else if (p.windows.MessageBox(ids::kNoOwner, s.errorText.view(), texts::kTitleError,
                                        MsgButtons::OkCancel,
                                        MessageKind::Error) == MsgResult::Cancel) {
            in.Close();
            return kRunCancelled;
        }
        s.mismatchesPassed += 1;
    }
    return kRunOk;
}

// Page mode: the chip's page buffer collects one page; WriteFlashPage burns
// it and leaves the buffer erased (all FF).
struct PageRun {
    bool loaded = false;  // a byte of this run is in the page buffer
    // Per word of the page in the buffer: its high byte when one was
    // loaded, -1 when none was.
    std::vector<int> high;
    // A byte of this page loaded with a value that no busy flash reads, by
    // which WriteFlashPage sees the end of the page write.
    avr::PageProbe probe;

    // Notes the byte just loaded (wordAddress, highByteSelect, memData) as
    // the probe when it can be one and there is none yet.
    void Loaded(const ProgrammerState& s) {
        if (probe.wordAddress < 0 && !avr::IsFlashPollingValue(s.memData))
            probe = {.wordAddress = s.wordAddress, .highByte = s.highByteSelect != 0};
    }

    void Burn(Programmer& p) {
        avr::WriteFlashPage(p, p.state.currentPage, probe);
        std::fill(high.begin(), high.end(), -1);
        probe = {};
    }
};

int LoadRecordIntoPages(Programmer& p, HexRecordStream& in, const Source& src,
                        const HexRecord& record, PageRun& run) {
    ProgrammerState& s = p.state;
    ShowRecordProgress(p);
    if (s.pageWords <= 0) {
        s.errorText.Assign(texts::kPageSizeZero);
        in.Close();
        return kRunFailed;
    }
    if (run.high.size() != static_cast<std::size_t>(s.pageWords))
        run.high.assign(static_cast<std::size_t>(s.pageWords), -1);
    for (int i = 0; i < record.length; ++i) {
        if (!TakeFlashByte(p, in, src, record.address + i))
            return kRunFailed;
        int32_t page = s.wordAddress / s.pageWords;
        // The run starts at the page of its first byte, so it never burns a
        // page it did not load (currentPage outlives runs).
        if (!run.loaded) {
            s.currentPage = page;
            run.loaded = true;
        }
        // Any change of page burns the page in hand, also a step back to a
        // lower page (records out of order): flash bits only clear, so a
        // page burnt twice keeps what both loads put there.
        if (page != s.currentPage)
            run.Burn(p);
        // A page begins: on a chip above 64K words its half of the flash is
        // selected before its first load (the load itself names only the
        // word inside the page).
        if (page != s.currentPage || i == 0)
            avr::SelectExtendedAddress(p, page * s.pageWords);
        s.currentPage = page;
        s.memAddress = s.wordAddress - page * s.pageWords;
        int& high = run.high[static_cast<std::size_t>(s.memAddress)];
        run.Loaded(s);
        if (s.highByteSelect) {
            avr::WriteFlashHigh(p);
            high = s.memData;
        } else {
            avr::WriteFlashLow(p);
            // The chip takes a word's low byte before its high byte: when an
            // earlier record loaded the high byte, load it again after.
            if (high >= 0) {
                int low = s.memData;
                s.memData = high;
                avr::WriteFlashHigh(p);
                s.memData = low;
            }
        }
    }
    // A record that ends on a low byte leaves its word without a high byte:
    // load FF there (the erased value, which burns nothing), never a byte
    // from outside the record. A later record that continues the word loads
    // its real high byte before the page is burnt.
    if (record.length > 0 && !s.highByteSelect &&
        run.high[static_cast<std::size_t>(s.memAddress)] < 0) {
        s.memData = 0xFF;
        avr::WriteFlashHigh(p);
    }
    return kRunOk;
}

int FlashPath(Programmer& p, HexRecordStream& in, const Source& src) {
    ProgrammerState& s = p.state;
    const bool pages = s.pagedFlash && !s.verifyMode;
    PageRun run;
    avr::ReadAhead flashReads(p);
    for (;;) {
        HexRecord record;
        RecordResult r = in.NextRecord(record);
        if (r == RecordResult::FormatError) {
            in.Close();
            return kRunFailed;
        }
        if (r == RecordResult::EndOfFile || r == RecordResult::EndOfData) {
            in.Close();
            if (r == RecordResult::EndOfFile) {
                std::error_code ec;
                std::filesystem::remove(FsPath(HexTmpPath(p)), ec);
            }
            if (pages && run.loaded)
                run.Burn(p);
            return kRunOk;
        }
        int result = pages ? LoadRecordIntoPages(p, in, src, record, run)
                           : ProgramRecordBytewise(p, in, src, record, flashReads);
        if (result != kRunOk)
            return result;
        in.FinishRecord();
    }
}

}  // namespace

int RunEngine(Programmer& p) {
    ProgrammerState& s = p.state;
    s.recordsDone = 0;
    s.mismatchesPassed = 0;
    // Each run sends the extended address byte before its first flash access.
    s.extendedAddress = -1;
    p.firstMismatches.clear();
    std::string path;
    const std::string source = CurrentFilePath(p);
    if (!IsCheckedFile(p, source)) {
        SetChangedFileText(p, source, ChipStateBeforePass(p));
        return kRunFailed;
    }
    Source src;
    std::string_view fileName = s.currentFileName.view();
    src.name = std::string(FileNameOf(fileName, PathStyle::Windows));  // either separator
    if (IsDumpFile(p)) {
        p.currentDirectory = s.startDirectory.str();
        int firstFlashLine = 1;
        if (ConvertDumpToHex(p, &firstFlashLine) != 0)
            return kRunFailed;
        src.lineOffset = firstFlashLine - 1;  // hex.tmp holds one record per flash line
        path = HexTmpPath(p);
    } else {
        path = CurrentFilePath(p);
    }
    // A run stopped on the way (core::CommandStopped) takes the hex.tmp of a
    // dump with it: it was made for this run only.
    struct DropTempOnStop {
        std::string path;
        int exceptions = std::uncaught_exceptions();
        ~DropTempOnStop() {
            std::error_code ec;
            if (!path.empty() && std::uncaught_exceptions() > exceptions)
                std::filesystem::remove(path, ec);
        }
    } dropTemp{IsDumpFile(p) ? path : std::string()};
    HexRecordStream in(p);
    if (!in.Open(path)) {
        s.errorText.Assign(texts::kCannotOpenInputFile);
        return kRunFailed;
    }
    // The stream must read the file that was checked: the one opened now is
    // compared with it (a dump was compared as it was converted).
    if (!IsDumpFile(p)) {
        const std::optional<FileIdentity> opened = in.Identity();
        if (!IsCheckedFile(p, source, &opened)) {
            SetChangedFileText(p, source, ChipStateBeforePass(p));
            return kRunFailed;
        }
    }
    const int result = s.eepromFile ? EepromPath(p, in, src) : FlashPath(p, in, src);
    // Rewritten while it was streamed: what reached the chip may be part old, part new.
    if (result == kRunOk && !IsCheckedFile(p, source)) {
        SetChangedFileText(p, source, ChipStateAfterPass(p));
        return kRunFailed;
    }
    return result;
}

}  // namespace ostrel::image
