// Damaged data files and the files that follow a Write (.eep and .scr):
// each must be refused before the first port operation, with a message
// that names the file, and the command must fail (console exit status 1).
// A file whose damage is only in its layout may instead be accepted, if the
// chip then holds exactly the program the file describes.
//
// The Write runs in process as the console runs it without a terminal:
// every question is answered Cancel. Rows marked pending state the sound
// outcome the program does not reach yet; they are skipped with their reason
// (set OSTREL_RUN_PENDING to run them anyway).
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/commands.h"
#include "core/ids.h"
#include "sim/chip_table.h"
#include "tests/support/hex_image.h"
#include "tests/support/sim_rig.h"

namespace ostrel::testing {
namespace {

using app::CommandResult;

const std::string& Hello() {
    static const std::string text = ReadFileBytes(SourcePath("examples/hello-atmega8.hex"));
    return text;
}

// The lines of `text`, without their line ends.
std::vector<std::string> LinesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    for (char c : text) {
        if (c == '\r')
            continue;
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line.push_back(c);
        }
    }
    if (!line.empty())
        lines.push_back(line);
    return lines;
}

std::vector<std::string> HelloLines() {
    return LinesOf(Hello());
}

std::string Join(const std::vector<std::string>& lines, const std::string& end) {
    std::string text;
    for (const std::string& line : lines)
        text += line + end;
    return text;
}

// The example with `extra` put in as a line of its own before line `at`.
std::string Inserted(std::size_t at, const std::string& extra) {
    std::vector<std::string> lines = HelloLines();
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), extra);
    return Join(lines, "\n");
}

std::string Utf16(const std::string& text) {
    std::string out = "\xFF\xFE";
    for (char c : text) {
        out.push_back(c);
        out.push_back('\0');
    }
    return out;
}

// A short readback dump of the example, as the Read command writes it.
std::string HelloDump() {
    std::vector<uint8_t> flash(64, 0xFF);
    for (const auto& [address, value] : ParseHexImage(Hello()))
        if (address < flash.size())
            flash[address] = value;
    std::string text = "FLASH-Memory:\r\n";
    char cell[16];
    for (unsigned w = 0; w < flash.size() / 2; ++w) {
        if (w % 8 == 0) {
            std::snprintf(cell, sizeof cell, "\r\n%.4X:", w);
            text += cell;
        }
        std::snprintf(cell, sizeof cell, " %.2X%.2X", flash[2 * w + 1], flash[2 * w]);
        text += cell;
    }
    return text + "\r\n\r\n\r\nEEPROM-Memory:\r\n\r\n0000: FF FF FF FF FF FF FF FF";
}

std::string WithoutLine(const std::string& text, std::size_t number) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < number; ++i)
        start = text.find('\n', start) + 1;
    return text.substr(0, start) + text.substr(text.find('\n', start) + 1);
}

struct Row {
    const char* name;     // for the test's name
    const char* file;     // the data file written
    std::string content;  // its bytes
    // A file that follows the Write (.eep with "Program eep- after hexfile",
    // or .scr) and its bytes; the data file is then the intact example.
    const char* follower = nullptr;
    std::string followerContent = {};
    // Accepting the file is right too, when the chip then holds the example.
    bool acceptable = false;
    bool pending = false;
    const char* why = "";
    // Anything else the row needs in the start directory (a folder or a
    // FIFO in a file's place).
    std::function<void(SimRig&)> prepare = nullptr;
    // Done to the files once while the command runs, after the activity line
    // has shown `when` (at the first refresh when null): the command must
    // fail, naming the file and that it changed. The port is used, and the
    // chip may change only with `chipMayChange`.
    std::function<void(SimRig&)> meanwhile = nullptr;
    const char* when = nullptr;
    bool chipMayChange = false;
    // The chip (null: the ATmega8 of the example) and the file whose image
    // it must hold when the file is accepted (empty: the example).
    const char* chip = nullptr;
    std::string expect = {};
};

// Another program put in the place of `name` by a rename, as a build does.
std::function<void(SimRig&)> ReplacedByRename(const std::string& name) {
    return [name](SimRig& rig) {
        rig.Write("other.part", ReadFileBytes(SourcePath("examples/blink-atmega8.hex")));
        std::error_code error;
        std::filesystem::rename(rig.dir.File("other.part"), rig.dir.File(name), error);
#ifdef _WIN32
        // Windows keeps a file that is open for reading from being replaced.
        if (error)
            GTEST_SKIP() << "the file is open: " << error.message();
#endif
        ASSERT_FALSE(error) << error.message();
    };
}
// The same file rewritten in place with another program.
std::function<void(SimRig&)> RewrittenInPlace(const std::string& name) {
    return [name](SimRig& rig) {
        std::FILE* f = std::fopen(rig.dir.File(name).c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fputs(":0200000011228B\n:00000001FF\n", f);
        std::fclose(f);
    };
}
std::function<void(SimRig&)> RenamedAway(const std::string& name) {
    return [name](SimRig& rig) {
        std::filesystem::rename(rig.dir.File(name), rig.dir.File(name + ".old"));
    };
}
// The data file is a link to the example, switched meanwhile to a device.
std::function<void(SimRig&)> LinkTo([[maybe_unused]] const std::string& name,
                                    [[maybe_unused]] const std::string& target) {
#ifdef _WIN32
    return [](SimRig&) { GTEST_SKIP() << "links need a privilege on Windows"; };
#else
    return [name, target](SimRig& rig) {
        std::filesystem::remove(rig.dir.File(name));
        std::filesystem::create_symlink(target, rig.dir.File(name));
    };
#endif
}

// The example with its last line (the end record) left out.
std::string WithoutEndRecord() {
    std::vector<std::string> lines = HelloLines();
    lines.pop_back();
    return Join(lines, "\n");
}

// The whole readback dump of an ATmega8 holding the example, as Read writes it.
std::string WholeDump() {
    return DumpText(0x2000, 512, ParseHexImage(Hello()));
}

// `text` up to the end of its line `lines` (counted from 1), that line end included.
std::string FirstLines(const std::string& text, int lines) {
    std::size_t end = 0;
    for (int i = 0; i < lines; ++i)
        end = text.find('\n', end) + 1;
    return text.substr(0, end);
}

// Something that is no file in the place of `name`.
std::function<void(SimRig&)> FolderNamed(const std::string& name) {
    return [name](SimRig& rig) { std::filesystem::create_directory(rig.dir.File(name)); };
}
std::function<void(SimRig&)> FifoNamed([[maybe_unused]] const std::string& name) {
#ifdef _WIN32
    // Windows has no named pipes among the files of a folder.
    return [](SimRig&) { GTEST_SKIP() << "no FIFOs in a Windows folder"; };
#else
    return [name](SimRig& rig) { ASSERT_EQ(::mkfifo(rig.dir.File(name).c_str(), 0600), 0); };
#endif
}

// A link of that name to nothing: the file the user meant is not there.
std::function<void(SimRig&)> LinkToNothingNamed([[maybe_unused]] const std::string& name) {
#ifdef _WIN32
    return [](SimRig&) { GTEST_SKIP() << "links need a privilege on Windows"; };
#else
    return [name](SimRig& rig) {
        std::filesystem::create_symlink(rig.dir.File("nothing-here"), rig.dir.File(name));
    };
#endif
}

std::vector<Row> Rows() {
    const std::vector<std::string> lines = HelloLines();
    std::string noEnd = Join(std::vector<std::string>(lines.begin(), lines.end() - 1), "\n");
    noEnd.back() = noEnd.back() == '0' ? '1' : '0';  // the last data record's checksum, wrong
    std::string binary = "\xFF";
    for (int i = 0; i < 600; ++i)
        binary.push_back(static_cast<char>((i * 73 + 11) & 0xFF));
    std::string withNul = Join(lines, "\n");
    withNul[lines[0].size() + 1 + 15] = '\0';
    std::vector<std::string> twoOnOne(lines.begin() + 1, lines.end());
    twoOnOne[0] = lines[0] + lines[1];
    const std::string joined = Join(twoOnOne, "\n");
    const std::string dump = HelloDump();
    std::string noColon = dump;
    noColon.erase(noColon.find("0008:") + 4, 1);

    std::vector<Row> rows = {
        // The intact example, to show that the rig programs a good file right.
        {"IntactExample", "intact.hex", Hello(), nullptr, {}, true, false, ""},
        {"Utf16", "utf16.hex", Utf16(Hello()), nullptr, {}, true, false, ""},
        {"FfLedBinary", "ffled.hex", binary, nullptr, {}, false, false, ""},
        {"FfLineMidFile", "ffline.hex", Inserted(3, "\xFF"), nullptr, {}, true, false, ""},
        {"LastLineUnendedBadChecksum", "unended.hex", noEnd, nullptr, {}, false, false, ""},
        {"BlankLineThenGarbage",
         "blank.hex",
         Inserted(4, "\ngarbage"),
         nullptr,
         {},
         false,
         false,
         ""},
        {"TrailingBlanks", "blanks.hex", Join(lines, "  \n"), nullptr, {}, true, false, ""},
        {"CrCrLf", "crcrlf.hex", Join(lines, "\r\r\n"), nullptr, {}, true, false, ""},
        {"LfCr", "lfcr.hex", Join(lines, "\n\r"), nullptr, {}, true, false, ""},
        {"NulBytes", "nul.hex", withNul, nullptr, {}, false, false, ""},
        {"BlankLinesOnly", "blanklines.hex", "\r\n  \r\n\t\n", nullptr, {}, false, false, ""},
        {"OverlongUnterminatedLine",
         "long.hex",
         Join(std::vector<std::string>(lines.begin(), lines.end() - 1), "\n") + ":" +
             std::string(3000, '0'),
         nullptr,
         {},
         false,
         false,
         ""},
        {"TwoRecordsOnOneLine", "tworecords.hex", joined, nullptr, {}, true, false, ""},
        {"TruncatedMidRecord",
         "cut.hex",
         Hello().substr(0, Hello().find('\n', 50) + 12),
         nullptr,
         {},
         false,
         false,
         ""},
        {"DumpLineWithoutColon", "readback.txt", noColon, nullptr, {}, false, false, ""},
        {"DumpLineDeleted", "readback.txt", WithoutLine(dump, 3), nullptr, {}, false, false, ""},
        {"BadEepFollowUp", "eepbad.hex", Hello(), "eepbad.eep", ":10000000GARBAGE\n:0000", false,
         false, ""},
        {"ScriptOneDigitByte", "scrbad.hex", Hello(), "scrbad.scr", "AC A0 00 E\n50 00 00 E1\n",
         false, false, ""},
        // Every data record is sent, or the file is refused.
        {"ZeroLengthRecordMidFile",
         "zerolen.hex",
         Inserted(3, ":00001000F0"),
         nullptr,
         {},
         false,
         false,
         ""},
        {"ZeroLengthRecordOfAnotherTypeMidFile",
         "zerolen2.hex",
         Inserted(3, ":00000003FD"),
         nullptr,
         {},
         false,
         false,
         ""},
        {"TwoValuesForOneAddress",
         "twovalues.hex",
         Inserted(3, ":0100000055AA"),
         nullptr,
         {},
         false,
         false,
         ""},
        {"SameValueTwice",
         "samevalue.hex",
         Inserted(3, HelloLines()[0]),
         nullptr,
         {},
         true,
         false,
         ""},
        // Cut off at a line end: asked about, and Cancel sends nothing.
        {"NoEndRecord", "noend.hex", WithoutEndRecord(), nullptr, {}, false, false, ""},
        {"EepFollowUpWithoutEndRecord", "eepnoend.hex", Hello(), "eepnoend.eep", ":0100000055AA\n",
         false, false, ""},
        // A dump is the whole chip: cut at a line end, it is refused as if cut mid-line.
        {"WholeDump", "readback.txt", WholeDump(), nullptr, {}, true, false, ""},
        {"DumpCutAtALineEndInTheFlash",
         "readback.txt",
         FirstLines(WholeDump(), 200),
         nullptr,
         {},
         false,
         false,
         ""},
        {"DumpCutAtALineEndInTheEeprom",
         "readback.txt",
         FirstLines(WholeDump(), 540),
         nullptr,
         {},
         false,
         false,
         ""},
        {"DumpCutBeforeItsEepromSection",
         "readback.txt",
         FirstLines(WholeDump(), 516),
         nullptr,
         {},
         false,
         false,
         ""},
        // Files that follow a write and are there but cannot be read.
        {"EepFollowUpIsAFolder",
         "eepdir.hex",
         Hello(),
         nullptr,
         {},
         false,
         false,
         "",
         FolderNamed("eepdir.eep")},
        {"EepFollowUpIsAFifo",
         "eepfifo.hex",
         Hello(),
         nullptr,
         {},
         false,
         false,
         "",
         FifoNamed("eepfifo.eep")},
        {"ScriptIsAFifo",
         "scrfifo.hex",
         Hello(),
         nullptr,
         {},
         false,
         false,
         "",
         FifoNamed("scrfifo.scr")},
        {"ScriptIsALinkToNothing",
         "scrlink.hex",
         Hello(),
         nullptr,
         {},
         false,
         false,
         "",
         LinkToNothingNamed("scrlink.scr")},
        {"EepFollowUpIsALinkToNothing",
         "eeplink.hex",
         Hello(),
         nullptr,
         {},
         false,
         false,
         "",
         LinkToNothingNamed("eeplink.eep")},
        // An empty .eep beside a .hex clears the EEPROM; the flash write goes on.
        {"EmptyEepFollowUp", "eepempty.hex", Hello(), "eepempty.eep", "\r\n \r\n", true, false, ""},
        // Script lines as the system reads them: separators whatever they
        // hold, a comment after character 11; a line too short is refused.
        {"ScriptDashSeparatorsAndComment", "scrdash.hex", Hello(), "scrdash.scr",
         "AC-A0-00-E1\nAC A0 00 E1 fuse low\n", true, false, ""},
        {"ScriptLineTooShort", "scrshort.hex", Hello(), "scrshort.scr", "AC A0 00\n", false, false,
         ""},
        // What is programmed is the file that was checked: one replaced,
        // rewritten, renamed or switched to a device meanwhile ends the
        // command failed, with the chip's state named.
        {"ReplacedBeforeTheChipIsErased",
         "swap1.hex",
         Hello(),
         nullptr,
         {},
         false,
         false,
         "",
         nullptr,
         ReplacedByRename("swap1.hex")},
        {"ReplacedWhileStreamed",
         "swap2.hex",
         Hello(),
         nullptr,
         {},
         false,
         false,
         "",
         nullptr,
         ReplacedByRename("swap2.hex"),
         " programmed",
         true},
        {"RewrittenInPlaceWhileStreamed",
         "swap3.hex",
         Hello(),
         nullptr,
         {},
         false,
         false,
         "",
         nullptr,
         RewrittenInPlace("swap3.hex"),
         " programmed",
         true},
        {"RenamedAwayBeforeTheChipIsErased",
         "swap4.hex",
         Hello(),
         nullptr,
         {},
         false,
         false,
         "",
         nullptr,
         RenamedAway("swap4.hex")},
        {"LinkSwitchedToADeviceWhileStreamed",
         "swap5.hex",
         Hello(),
         nullptr,
         {},
         false,
         false,
         "",
         [](SimRig& rig) {
             rig.Write("swap5.real", Hello());
             LinkTo("swap5.hex", rig.dir.File("swap5.real"))(rig);
         },
         LinkTo("swap5.hex", "/dev/zero"),
         " programmed",
         true},
        {"EepFollowUpReplacedMeanwhile", "swap6.hex", Hello(), "swap6.eep",
         ":0100000055AA\n:00000001FF\n", false, false, "", nullptr, ReplacedByRename("swap6.eep"),
         " programmed", true},
        {"ScriptAppearsAfterTheCheck",
         "swap7.hex",
         Hello(),
         nullptr,
         {},
         false,
         false,
         "",
         nullptr,
         [](SimRig& rig) { rig.Write("swap7.scr", "AC E0 00 00\n"); },
         " programmed",
         true},
    };
    // The damage that is in the records, on a small chip, one of 64K words
    // and one above: an image on both sides of the middle of the flash (of
    // 64K words on the ATmega2560), holes, and its last page at the top.
    static std::deque<std::string> names;
    for (const char* chip : {"ATtiny85", "ATmega1284P", "ATmega2560"}) {
        const sim::ChipInfo* info = sim::FindChip(chip);
        if (info == nullptr) {
            ADD_FAILURE() << "no chip " << chip;
            continue;
        }
        const std::string image = HexText(SpreadImage(info->flashBytes, info->pageBytes));
        const std::vector<std::string> l = LinesOf(image);
        std::vector<std::string> two(l.begin() + 1, l.end());
        two[0] = l[0] + l[1];
        std::vector<std::string> extra = l;
        extra.insert(extra.begin() + 1, ":0100000055AA");  // address 0 holds 03
        const struct {
            const char* what;
            std::string content;
            bool acceptable;
        } kDamage[] = {
            {"Intact", image, true},
            {"TwoRecordsOnOneLine", Join(two, "\n"), true},
            {"TwoValuesForOneAddress", Join(extra, "\n"), false},
            {"TruncatedMidRecord", image.substr(0, image.find('\n', image.size() / 2) + 12), false},
            {"NoEndRecord", Join(std::vector<std::string>(l.begin(), l.end() - 1), "\n"), false},
        };
        for (const auto& d : kDamage) {
            Row row{};
            row.name = names.emplace_back(std::string(d.what) + "_" + chip).c_str();
            row.file = "spread.hex";
            row.content = d.content;
            row.acceptable = d.acceptable;
            row.chip = chip;
            row.expect = image;
            rows.push_back(row);
        }
    }
    return rows;
}

void PrintTo(const Row& row, std::ostream* os) {
    *os << row.name;
}

class DamagedFile : public ::testing::TestWithParam<Row> {};

TEST_P(DamagedFile, IsRefusedBeforeThePortOrProgrammedRight) {
    const Row& row = GetParam();
    if (row.pending && std::getenv("OSTREL_RUN_PENDING") == nullptr)
        GTEST_SKIP() << "pending: " << row.why;
    SimRig rig({.chip = row.chip ? row.chip : "ATmega8", .cable = sim::CableKind::Cablet2});
    // The chip holds another program, so that any write shows.
    for (const auto& [address, value] :
         ParseHexImage(ReadFileBytes(SourcePath("examples/blink-atmega8.hex"))))
        rig.chip().SetFlash(address, value);
    const sim::ChipMemory before = rig.chip().memory();
    rig.Write(row.file, row.content);
    if (row.follower != nullptr)
        rig.Write(row.follower, row.followerContent);
    if (row.prepare)
        row.prepare(rig);
    if (IsSkipped())
        return;
    bool changed = false;
    if (row.meanwhile) {
        rig.windows.onPendingEvents = [&] {
            if (changed || (row.when != nullptr &&
                            (rig.windows.activity.empty() ||
                             rig.windows.activity.back().find(row.when) == std::string::npos)))
                return;
            changed = true;
            row.meanwhile(rig);
        };
    }
    app::OnCommand(rig.p, ids::kProgramEepAfterHex);
    rig.Load(row.file);
    for (int i = 0; i < 8; ++i)
        rig.windows.answers.push_back(MsgResult::Cancel);

    const uint64_t callsBefore = rig.sim->portCalls();
    const CommandResult result = app::OnCommand(rig.p, ids::kWrite);
    if (IsSkipped())
        return;  // what the row does cannot be done on this system
    std::string named = row.follower != nullptr ? row.follower : row.file;
    if (row.meanwhile && row.file == std::string("swap7.hex"))
        named = "swap7.scr";
    if (row.prepare && !row.meanwhile) {
        // The file in another's place: the data file's name with its extension.
        for (const char* ext : {".eep", ".scr"})
            for (const auto& entry : std::filesystem::directory_iterator(rig.dir.path()))
                if (entry.path().extension() == ext && !entry.is_regular_file())
                    named = entry.path().filename().string();
    }
    std::string messages;
    for (const std::string& m : rig.windows.MessageTexts())
        messages += m + "\n";

    if (result == CommandResult::Ok && row.acceptable) {
        ByteImage expected = ParseHexImage(row.expect.empty() ? Hello() : row.expect);
        for (uint32_t a = 0; a < before.flash.size(); ++a) {
            const uint8_t want = expected.count(a) ? expected[a] : 0xFF;
            ASSERT_EQ(rig.chip().Flash(a), want) << "accepted, but flash byte " << a << " is wrong";
        }
        return;
    }
    EXPECT_NE(result, CommandResult::Ok) << "the console must end with exit status 1";
    if (row.meanwhile) {
        ASSERT_TRUE(changed) << "the command ended before the file was changed";
        EXPECT_NE(messages.find("changed after it was checked"), std::string::npos) << messages;
        EXPECT_NE(messages.find(row.chipMayChange ? "chip" : "Nothing was written to the chip"),
                  std::string::npos)
            << messages;
        if (!row.chipMayChange) {
            EXPECT_TRUE(rig.chip().memory() == before) << "the chip was changed";
        }
    } else {
        EXPECT_EQ(rig.sim->portCalls(), callsBefore) << "the port was used before the refusal";
        EXPECT_TRUE(rig.chip().memory() == before) << "the chip was changed";
    }
    EXPECT_NE(messages.find(named), std::string::npos) << "no message names " << named << ":\n"
                                                       << messages;
}

INSTANTIATE_TEST_SUITE_P(Table, DamagedFile, ::testing::ValuesIn(Rows()),
                         [](const ::testing::TestParamInfo<Row>& info) { return info.param.name; });

}  // namespace
}  // namespace ostrel::testing
