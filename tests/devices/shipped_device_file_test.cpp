// The shipped resources/ostrel.ini, read with the program's own reader and
// checked row by row against the chip facts in tests/data/chips.tsv.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/ids.h"
#include "devices/device_file.h"
#include "platform/text_line.h"
#include "tests/support/chip_facts.h"
#include "tests/support/fixture.h"
#include "tests/support/temp_dir.h"

namespace ostrel::testing {
namespace {

// Word addresses have 16 bits, and bit 16 from Load Extended Address: 128K
// words, 256 KB of flash.
constexpr int32_t kAddressableFlash = 262144;

using Chip = ChipFacts;

int32_t Log2(int32_t value) {
    int32_t shift = 0;
    while ((int32_t{1} << shift) < value)
        ++shift;
    return shift;
}

class ShippedDeviceFile : public ::testing::Test {
  protected:
    void SetUp() override {
        chips = ReadChipFacts();
        ASSERT_GE(chips.size(), 60u);
        shipped = ReadFileBytes(SourcePath("resources/ostrel.ini"));
        ASSERT_FALSE(shipped.empty());
        // The program opens the device file for update: work on a copy.
        dir.Write("ostrel.ini", shipped);
        p.state.startDirectory.Assign(dir.str());
    }

    std::vector<Chip> chips;
    std::string shipped;
    TempDir dir;
    RecordingRig rig;
    Programmer& p = rig.p;
};

TEST_F(ShippedDeviceFile, EveryLineReadsWholeAndEveryDeviceLineIsUsable) {
    EXPECT_EQ(shipped.find('\0'), std::string::npos);
    EXPECT_EQ(shipped.find('\xFF'), std::string::npos);
    ASSERT_EQ(shipped.back(), '\n');  // a last line without an end would be lost

    TextReader reader(SourcePath("resources/ostrel.ini"));
    ASSERT_TRUE(reader.IsOpen());
    std::set<std::string> names;
    std::set<std::string> signatures;
    int deviceLines = 0;
    int comments = 0;
    while (text::ReadTextLine(p.state.lineBuffer, reader) == 0) {
        std::string line = p.state.lineBuffer.str();
        EXPECT_FALSE(text::LineWasCut(p.state.lineBuffer)) << line;
        if (!devices::IsDeviceLine(line)) {
            // Headings and comments are marked as such, so nobody mistakes them for chips.
            EXPECT_TRUE(line.empty() || line[0] == ';') << line;
            comments += line.empty() ? 0 : 1;
            continue;
        }
        ++deviceLines;
        devices::DeviceEntry e = devices::ParseDeviceLine(line);
        ASSERT_TRUE(e.usable()) << line << ": " << devices::DescribeProblem(e.problem);
        EXPECT_LE(e.name.size(), devices::kMaxNameLength);
        EXPECT_EQ(devices::ListName(line), e.name.view()) << "list text and name differ";
        EXPECT_TRUE(names.insert(e.name.str()).second) << "name twice: " << e.name.str();
        EXPECT_TRUE(signatures.insert(e.signature.str()).second) << "signature twice: " << line;
        EXPECT_EQ(e.signature.view().find_first_not_of("0123456789ABCDEF"), std::string::npos);
        EXPECT_EQ(e.signature.size(), 6u);
        // Every row states its page shift, so nothing is carried from the row above.
        ASSERT_TRUE(e.pageShift.has_value()) << line;
        EXPECT_GT(e.flashBytes, 0);
        EXPECT_LE(e.flashBytes, kAddressableFlash);
        EXPECT_GT(e.eepromBytes, 0);
        if (e.paged()) {
            EXPECT_EQ(int32_t{1} << *e.pageShift, e.pageWords) << line;
            EXPECT_EQ(e.flashBytes % (2 * e.pageWords), 0) << line;
        } else {
            EXPECT_EQ(*e.pageShift, 0) << line;
        }
    }
    EXPECT_TRUE(p.state.lineBuffer.empty()) << "unterminated last line";
    EXPECT_EQ(deviceLines, static_cast<int>(names.size()));
    EXPECT_GT(comments, 10) << "the format is explained at the top";
}

TEST_F(ShippedDeviceFile, EveryRowAgreesWithTheChipFacts) {
    std::map<std::string, Chip> bySignature;
    for (const Chip& c : chips)
        bySignature[c.signatureHex] = c;

    TextReader reader(SourcePath("resources/ostrel.ini"));
    int rows = 0;
    while (text::ReadTextLine(p.state.lineBuffer, reader) == 0) {
        devices::DeviceEntry e = devices::ParseDeviceLine(p.state.lineBuffer.view());
        if (!e.usable())
            continue;
        ++rows;
        auto it = bySignature.find(e.signature.str());
        ASSERT_NE(it, bySignature.end()) << "unknown chip " << e.name.str();
        const Chip& c = it->second;
        EXPECT_EQ(e.name.view(), c.name);
        EXPECT_EQ(e.flashBytes, c.flashBytes) << c.name;
        EXPECT_EQ(e.eepromBytes, c.eepromBytes) << c.name;
        EXPECT_EQ(e.paged(), c.pageBytes > 0) << c.name;
        if (c.pageBytes > 0) {
            EXPECT_EQ(e.pageWords, c.pageBytes / 2) << c.name;
            EXPECT_EQ(e.pageShift, Log2(c.pageBytes / 2)) << c.name;
        }
    }
    EXPECT_GT(rows, 0);
}

TEST_F(ShippedDeviceFile, ListsEveryAddressableChipOnce) {
    devices::FillDeviceList(p);
    ASSERT_TRUE(rig.windows.messages.empty());
    std::vector<std::string> expected;
    for (const Chip& c : chips) {
        if (c.flashBytes <= kAddressableFlash && c.name != "ATmega103")
            expected.push_back(c.name);
    }
    std::vector<std::string> listed = rig.windows.ListEntries();
    std::multiset<std::string> listedSet(listed.begin(), listed.end());
    std::multiset<std::string> expectedSet(expected.begin(), expected.end());
    EXPECT_EQ(listedSet, expectedSet);
    EXPECT_EQ(listedSet.count("ATmega103"), 0u);
}

TEST_F(ShippedDeviceFile, EveryChipIsFoundBySignatureAndByName) {
    devices::FillDeviceList(p);
    for (const Chip& c : chips) {
        if (c.flashBytes > kAddressableFlash || c.name == "ATmega103")
            continue;
        SCOPED_TRACE(c.name);
        // Poison the geometry so every value must come from this lookup.
        p.state.flashWords = -1;
        p.state.eepromBytes = -1;
        p.state.pagedFlash = -1;
        p.state.pageWords = -1;
        p.state.pageShift = -1;
        p.state.deviceDetected = 0;
        p.state.signatureHex.Assign(c.signatureHex + " ");
        rig.windows.CheckItem(ids::kMainWindow, ids::kAutodetection, true);
        ASSERT_EQ(devices::FindDevice(p, core::ReadDeviceChoice(p)), 0);
        EXPECT_EQ(p.state.deviceDetected, 1);
        EXPECT_EQ(rig.windows.ListEntry(rig.windows.SelectedListEntry()), c.name);
        EXPECT_EQ(p.state.flashWords, c.flashBytes / 2);
        EXPECT_EQ(p.state.eepromBytes, c.eepromBytes);
        EXPECT_EQ(p.state.pagedFlash, c.pageBytes > 0 ? 1 : 0);
        if (c.pageBytes > 0) {
            EXPECT_EQ(p.state.pageWords, c.pageBytes / 2);
            EXPECT_EQ(p.state.pageShift, Log2(c.pageBytes / 2));
        } else {
            EXPECT_EQ(p.state.pageWords, -1);  // left as it was
            EXPECT_EQ(p.state.pageShift, 0);
        }

        // By name, with Autodetection off, the same values.
        int32_t words = p.state.flashWords;
        p.state.flashWords = -1;
        p.state.eepromBytes = -1;
        rig.windows.CheckItem(ids::kMainWindow, ids::kAutodetection, false);
        ASSERT_EQ(devices::FindDevice(p, core::ReadDeviceChoice(p)), 0);
        EXPECT_EQ(p.state.flashWords, words);
        EXPECT_EQ(p.state.eepromBytes, c.eepromBytes);
    }
    // The ATmega103 (byte-wise 128 KB) is unknown.
    rig.windows.CheckItem(ids::kMainWindow, ids::kAutodetection, true);
    p.state.signatureHex.Assign("1E9701 ");
    EXPECT_EQ(devices::FindDevice(p, core::ReadDeviceChoice(p)), 1);
    EXPECT_TRUE(rig.windows.messages.empty());
}

}  // namespace
}  // namespace ostrel::testing
