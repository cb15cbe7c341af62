#include "tests/e2e/cli_rig.h"

#include "tests/support/child_process.h"

#include <cstdio>
#include <sstream>

namespace ostrel::testing {

std::string CliProgram() {
#ifdef OSTREL_CLI
    return OSTREL_CLI;
#else
    return {};
#endif
}

CliRig::CliRig(std::string simChip) : chip_(std::move(simChip)) {
    dir.Write("ostrel.ini", ReadFileBytes(SourcePath("resources/ostrel.ini")));
}

void ExpectNoCrash(const ProcessResult& r) {
    EXPECT_TRUE(r.started) << r.Describe();
    EXPECT_FALSE(r.timedOut) << r.Describe();
    EXPECT_TRUE(r.exited) << "a console run must end through exit\n" << r.Describe();
    EXPECT_TRUE(!r.exited || (r.status >= 0 && r.status <= 2)) << "exit statuses are 0, 1 or 2\n"
                                                               << r.Describe();
}

ProcessResult CliRig::RunBare(const std::vector<std::string>& args,
                              const ProcessOptions& options) const {
    ProcessResult r = RunProcess(CliProgram(), args, options);
    ExpectNoCrash(r);
    return r;
}

ProcessResult CliRig::Run(const std::vector<std::string>& args,
                          const ProcessOptions& options) const {
    std::vector<std::string> all{"--port", "SIM",     "--virtual-clock", "--no-pause",
                                 "--dir",  dir.str(), "--sim-chip",      chip_};
    all.insert(all.end(), args.begin(), args.end());
    return RunBare(all, options);
}

ProcessResult CliRig::RunUnprivileged(const std::vector<std::string>& args,
                                      const ProcessOptions& options) const {
    GiveToUnprivileged(dir.path());
    std::vector<std::string> command = UnprivilegedCommand(CliProgram());
    std::vector<std::string> all(command.begin() + 1, command.end());
    for (const char* a : {"--port", "SIM", "--virtual-clock", "--no-pause", "--dir"})
        all.emplace_back(a);
    all.push_back(dir.str());
    all.emplace_back("--sim-chip");
    all.push_back(chip_);
    all.insert(all.end(), args.begin(), args.end());
    ProcessResult r = RunProcess(command.front(), all, options);
    ExpectNoCrash(r);
    return r;
}

std::string CliRig::CopyIn(std::string_view sourceRelative) const {
    std::string name(sourceRelative.substr(sourceRelative.rfind('/') + 1));
    return dir.Write(name, ReadFileBytes(SourcePath(sourceRelative)));
}

ByteImage CliRig::ReadHex() const {
    ProcessResult r = Run({"readhex"});
    EXPECT_TRUE(ExitedWith(r, 0));
    if (!r.exited || r.status != 0)
        return {};
    EXPECT_EQ(r.out, dir.File("readback.hex") + "\n") << "readhex prints where the file went";
    return ParseHexImage(dir.Read("readback.hex"));
}

namespace {

bool HexDigits(const std::string& text, size_t pos, size_t count, unsigned* value) {
    if (pos + count > text.size())
        return false;
    unsigned v = 0;
    for (size_t i = 0; i < count; ++i) {
        char c = text[pos + i];
        unsigned d;
        if (c >= '0' && c <= '9') {
            d = static_cast<unsigned>(c - '0');
        } else if (c >= 'A' && c <= 'F') {
            d = static_cast<unsigned>(c - 'A' + 10);
        } else {
            return false;
        }
        v = v * 16 + d;
    }
    *value = v;
    return true;
}

// One data line "AAAA: G G G ..." with groups of `digits` hex digits; the
// groups are appended to `groups`. False when the line is malformed.
bool ParseDumpLine(const std::string& line, size_t digits, unsigned* address,
                   std::vector<unsigned>* groups) {
    if (line.size() < 5 || line[4] != ':' || !HexDigits(line, 0, 4, address))
        return false;
    size_t pos = 5;
    while (pos < line.size()) {
        if (line[pos] != ' ')
            return false;
        unsigned v;
        if (!HexDigits(line, pos + 1, digits, &v))
            return false;
        groups->push_back(v);
        pos += 1 + digits;
    }
    return !groups->empty();
}

}  // namespace

DumpImage ParseDump(const std::string& text) {
    DumpImage dump;
    enum class Section { None, Flash, Eeprom } section = Section::None;
    uint32_t nextFlashWord = 0;
    uint32_t nextEepromByte = 0;
    bool sawFlash = false;
    bool sawEeprom = false;
    int lineNumber = 0;
    for (const std::string& line : SplitLines(text)) {
        ++lineNumber;
        auto fail = [&](const std::string& why) {
            dump.problem = "line " + std::to_string(lineNumber);
            dump.problem += ": " + why;
            dump.problem += " ('" + line + "')";
            return dump;
        };
        if (line == "FLASH-Memory:") {
            if (sawFlash || sawEeprom)
                return fail("second or late flash heading");
            section = Section::Flash;
            sawFlash = true;
            continue;
        }
        if (line == "EEPROM-Memory:") {
            if (!sawFlash || sawEeprom)
                return fail("EEPROM heading out of place");
            section = Section::Eeprom;
            sawEeprom = true;
            continue;
        }
        if (line.empty())
            continue;
        unsigned address = 0;
        std::vector<unsigned> groups;
        if (section == Section::Flash) {
            // Eight words per line, each high byte first.
            if (!ParseDumpLine(line, 4, &address, &groups))
                return fail("not a flash line");
            if (address != nextFlashWord)
                return fail("flash address out of sequence");
            for (unsigned word : groups) {
                dump.flash[2 * nextFlashWord] = static_cast<uint8_t>(word & 0xFF);
                dump.flash[2 * nextFlashWord + 1] = static_cast<uint8_t>(word >> 8);
                ++nextFlashWord;
            }
        } else if (section == Section::Eeprom) {
            if (!ParseDumpLine(line, 2, &address, &groups))
                return fail("not an EEPROM line");
            if (address != nextEepromByte)
                return fail("EEPROM address out of sequence");
            for (unsigned byte : groups)
                dump.eeprom[nextEepromByte++] = static_cast<uint8_t>(byte);
        } else {
            return fail("data before the flash heading");
        }
    }
    if (!sawFlash || !sawEeprom) {
        dump.problem = "a heading is missing";
        return dump;
    }
    dump.valid = true;
    return dump;
}

ByteImage ErasedWith(uint32_t size, const ByteImage& image) {
    ByteImage memory;
    for (uint32_t a = 0; a < size; ++a)
        memory[a] = 0xFF;
    for (const auto& [address, value] : image)
        memory[address] = value;
    return memory;
}

std::string CompareImages(const ByteImage& expected, const ByteImage& actual) {
    std::string differences = ImageDifferences(expected, actual);
    int extra = 0;
    for (const auto& [address, value] : actual)
        if (!expected.count(address))
            ++extra;
    if (differences.empty() && extra == 0)
        return {};
    std::ostringstream text;
    text << "expected " << expected.size() << " bytes, read " << actual.size() << " (" << extra
         << " beyond the expected addresses)\n"
         << differences;
    return text.str();
}

}  // namespace ostrel::testing
