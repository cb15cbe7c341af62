// The device file: the number rule, splitting a device line, the device
// list and the lookup of the chip in use.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "core/ids.h"
#include "devices/device_file.h"
#include "tests/support/fixture.h"
#include "tests/support/temp_dir.h"

namespace ostrel::testing {
namespace {

using devices::DeviceEntry;
using devices::DeviceLineProblem;
using devices::FillDeviceList;
using devices::FindDevice;
using devices::ParseDeviceLine;
using devices::ReadNumber;
using devices::ReadPageShift;
using Names = std::vector<std::string>;

// --- the number rule and the page shift ---

TEST(ReadNumber, DecimalWithKilo) {
    EXPECT_EQ(ReadNumber("512"), 512);
    EXPECT_EQ(ReadNumber("0"), 0);
    EXPECT_EQ(ReadNumber("8k"), 8192);
    EXPECT_EQ(ReadNumber("8K"), 8192);
    EXPECT_EQ(ReadNumber("64K"), 65536);
    EXPECT_EQ(ReadNumber("  64"), 64);
    EXPECT_EQ(ReadNumber("1kK"), 1048576);
    EXPECT_EQ(ReadNumber("2 kB"), 2048);  // every k counts, wherever it is
    EXPECT_EQ(ReadNumber("007"), 7);
    EXPECT_EQ(ReadNumber("12x3"), 12);  // digits end at the first other character
    // At most six digits are read.
    EXPECT_EQ(ReadNumber("1234567"), 123456);
    EXPECT_EQ(ReadNumber("999999"), 999999);
}

TEST(ReadNumber, NoDigitsOrTooLargeGiveNoValue) {
    EXPECT_FALSE(ReadNumber(""));
    EXPECT_FALSE(ReadNumber("   "));
    EXPECT_FALSE(ReadNumber("k"));
    EXPECT_FALSE(ReadNumber("k8"));
    EXPECT_FALSE(ReadNumber("-5"));
    EXPECT_FALSE(ReadNumber("+5"));
    EXPECT_FALSE(ReadNumber("x12"));
    // 2^31 and beyond do not fit the signed sizes of the state.
    EXPECT_FALSE(ReadNumber("2kkk"));
    EXPECT_FALSE(ReadNumber("9kkkkk"));
    EXPECT_EQ(ReadNumber("1kkk"), 1073741824);
    EXPECT_EQ(ReadNumber("0kkkkk"), 0);
}

TEST(ReadPageShift, NumberAfterTheLastColonWithDigits) {
    EXPECT_EQ(ReadPageShift("PB:5"), 5);
    EXPECT_EQ(ReadPageShift(":0"), 0);
    EXPECT_EQ(ReadPageShift(":12"), 12);
    EXPECT_EQ(ReadPageShift(":123"), 12);  // at most two digits
    EXPECT_EQ(ReadPageShift("x: 7"), 7);
    EXPECT_EQ(ReadPageShift(":5:3"), 3);
    EXPECT_EQ(ReadPageShift(":5:"), 5);  // a ':' without a digit changes nothing
    EXPECT_EQ(ReadPageShift(":5:x"), 5);
    EXPECT_FALSE(ReadPageShift(""));
    EXPECT_FALSE(ReadPageShift("5"));
    EXPECT_FALSE(ReadPageShift("PB:"));
    EXPECT_FALSE(ReadPageShift(":-4"));
}

// --- splitting a line ---

TEST(ParseDeviceLine, EightFieldsByTabAndSemicolon) {
    DeviceEntry e = ParseDeviceLine("ATmega8\t1E9307\t8k\t32\tr\t1\tPB:5\t512");
    ASSERT_TRUE(e.usable()) << devices::DescribeProblem(e.problem);
    EXPECT_EQ(e.name, "ATmega8");
    EXPECT_EQ(e.signature, "1E9307");
    EXPECT_EQ(e.flashSize, "8k");
    EXPECT_EQ(e.pageSize, "32");
    EXPECT_EQ(e.reserved, "r");
    EXPECT_EQ(e.pageMode, "1");
    EXPECT_EQ(e.pageBits, "PB:5");
    EXPECT_EQ(e.eepromSize, "512");
    EXPECT_EQ(e.flashBytes, 8192);
    EXPECT_EQ(e.pageWords, 32);
    EXPECT_EQ(e.pageModeValue, 1);
    EXPECT_EQ(e.eepromBytes, 512);
    EXPECT_EQ(e.pageShift, 5);

    DeviceEntry s = ParseDeviceLine("ATmega8;1E9307;8k;32;r;1;PB:5;512");
    EXPECT_EQ(s.name.view(), e.name.view());
    EXPECT_EQ(s.signature.view(), e.signature.view());
    EXPECT_EQ(s.pageBits.view(), e.pageBits.view());
    EXPECT_EQ(s.eepromSize.view(), e.eepromSize.view());
    EXPECT_TRUE(s.usable());
}

TEST(ParseDeviceLine, OneOrTwoTabsAfterTheNameButEmptyFieldsElsewhere) {
    DeviceEntry one = ParseDeviceLine("ATtiny13\t1E9007\t1k\t16\t0\t1\t:4\t64");
    DeviceEntry two = ParseDeviceLine("ATtiny13\t\t1E9007\t1k\t16\t0\t1\t:4\t64");
    DeviceEntry semi = ParseDeviceLine("ATtiny13;\t1E9007\t1k\t16\t0\t1\t:4\t64");
    for (const DeviceEntry* e : {&one, &two, &semi}) {
        EXPECT_EQ(e->name, "ATtiny13");
        EXPECT_EQ(e->signature, "1E9007");
        EXPECT_EQ(e->eepromSize, "64");
        EXPECT_TRUE(e->usable());
    }
    // A third TAB after the name is an empty signature, and shifts the rest.
    DeviceEntry three = ParseDeviceLine("ATtiny13\t\t\t1E9007\t1k\t16\t0\t1\t:4\t64");
    EXPECT_EQ(three.signature, "");
    EXPECT_EQ(three.flashSize, "1E9007");
    EXPECT_EQ(three.eepromSize, ":4");
    EXPECT_EQ(three.problem, DeviceLineProblem::kNoEepromSize);
    // Two separators in a row make an empty field.
    DeviceEntry gap = ParseDeviceLine("ATx\t1E9001\t1k\t\t\t0;;64");
    EXPECT_EQ(gap.pageSize, "");
    EXPECT_EQ(gap.reserved, "");
    EXPECT_EQ(gap.pageMode, "0");
    EXPECT_EQ(gap.pageBits, "");
    EXPECT_EQ(gap.eepromSize, "64");
    EXPECT_TRUE(gap.usable());
    EXPECT_FALSE(gap.pageShift);
}

TEST(ParseDeviceLine, MissingFieldsAreEmptyAndTextAfterTheEighthIsIgnored) {
    DeviceEntry shortLine = ParseDeviceLine("ATshort\t1E9001\t1k");
    EXPECT_EQ(shortLine.flashSize, "1k");
    EXPECT_EQ(shortLine.pageMode, "");
    EXPECT_EQ(shortLine.eepromSize, "");
    EXPECT_EQ(shortLine.problem, DeviceLineProblem::kNoEepromSize);

    DeviceEntry comment =
        ParseDeviceLine("AT90S1200\t1E9001\t1k\t0\t0\t0\t:0\t64\t; the very first one");
    EXPECT_EQ(comment.eepromSize, "64");
    EXPECT_TRUE(comment.usable());
    // A NUL ends the line.
    using namespace std::string_literals;
    DeviceEntry nul = ParseDeviceLine("ATn\t1E9001\t1k\t0\t0\t0\t:0\t64\0garbage"s);
    EXPECT_EQ(nul.eepromSize, "64");
    EXPECT_TRUE(nul.usable());
}

TEST(ParseDeviceLine, OnlyLinesBeginningWithUpperCaseAtAreDeviceLines) {
    EXPECT_EQ(ParseDeviceLine("at90s1200\t1E9001\t1k\t0\t0\t0\t:0\t64").problem,
              DeviceLineProblem::kNotDeviceLine);
    EXPECT_EQ(ParseDeviceLine(" AT90S1200\t1E9001\t1k\t0\t0\t0\t:0\t64").problem,
              DeviceLineProblem::kNotDeviceLine);
    EXPECT_EQ(ParseDeviceLine("At90S1200\t1E9001\t1k\t0\t0\t0\t:0\t64").problem,
              DeviceLineProblem::kNotDeviceLine);
    EXPECT_EQ(ParseDeviceLine(";AT90S1200").problem, DeviceLineProblem::kNotDeviceLine);
    EXPECT_EQ(ParseDeviceLine("A").problem, DeviceLineProblem::kNotDeviceLine);
    EXPECT_EQ(ParseDeviceLine("").problem, DeviceLineProblem::kNotDeviceLine);
    EXPECT_TRUE(devices::IsDeviceLine("AT"));
    EXPECT_FALSE(devices::IsDeviceLine("aT"));
}

TEST(ParseDeviceLine, OverlongPartsMakeTheLineUnusable) {
    const std::string tail = "\t1E9001\t1k\t0\t0\t0\t:0\t64";
    EXPECT_TRUE(ParseDeviceLine("AT345678901234" + tail).usable());
    DeviceEntry longName = ParseDeviceLine("AT3456789012345" + tail);
    EXPECT_EQ(longName.problem, DeviceLineProblem::kNameTooLong);
    EXPECT_EQ(longName.name.size(), devices::kMaxNameLength);  // kept cut, never overrun

    EXPECT_TRUE(ParseDeviceLine("ATx\t1E9001\t262144\t0\t0\t0\t:0\t64").usable());
    EXPECT_EQ(ParseDeviceLine("ATx\t1E9001\t262145\t0\t0\t0\t:0\t64").problem,
              DeviceLineProblem::kFlashTooLarge);
    EXPECT_EQ(ParseDeviceLine("ATx\t1E9001\t999999\t0\t0\t0\t:0\t64").problem,
              DeviceLineProblem::kFlashTooLarge);
    EXPECT_EQ(ParseDeviceLine("ATx\t1E9001\t1000000\t0\t0\t0\t:0\t64").problem,
              DeviceLineProblem::kFieldTooLong);
    EXPECT_EQ(ParseDeviceLine("ATx\t1E90011\t1k\t0\t0\t0\t:0\t64").problem,
              DeviceLineProblem::kFieldTooLong);
    EXPECT_EQ(ParseDeviceLine("ATx\t1E9001\t1k\t0\treserve\t0\t:0\t64").problem,
              DeviceLineProblem::kFieldTooLong);
    EXPECT_EQ(ParseDeviceLine("ATx\t1E9001\t1k\t32\t0\t1\tPBits:5\t64").problem,
              DeviceLineProblem::kFieldTooLong);
    // A line of page mode 0 never reads its page fields: whatever stands there is kept.
    EXPECT_TRUE(ParseDeviceLine("ATx\t1E9001\t1k\t0\t0\t0\tPBits:0\t64").usable());
    EXPECT_TRUE(ParseDeviceLine("ATx\t1E9001\t1k\t1234567\t0\t0\t:0\t64").usable());
    EXPECT_EQ(ParseDeviceLine("ATx\t1E9001\t1k\t0\t0\t0\t:0\t64bytes").problem,
              DeviceLineProblem::kFieldTooLong);

    std::string line = "ATx\t1E9001\t1k\t0\t0\t0\t:0\t64;";
    EXPECT_TRUE(ParseDeviceLine(line + std::string(98 - line.size(), '-')).usable());
    EXPECT_EQ(ParseDeviceLine(line + std::string(99 - line.size(), '-')).problem,
              DeviceLineProblem::kLineTooLong);
}

TEST(ParseDeviceLine, NumbersThatCannotBeUsedMakeTheLineUnusable) {
    EXPECT_EQ(ParseDeviceLine("ATx\t1E9001\t\t0\t0\t0\t:0\t64").problem,
              DeviceLineProblem::kNoFlashSize);
    EXPECT_EQ(ParseDeviceLine("ATx\t1E9001\tk\t0\t0\t0\t:0\t64").problem,
              DeviceLineProblem::kNoFlashSize);
    EXPECT_EQ(ParseDeviceLine("ATx\t1E9001\t1k\t0\t0\t0\t:0\tnone").problem,
              DeviceLineProblem::kNoEepromSize);
    EXPECT_EQ(ParseDeviceLine("ATx\t1E9001\t1k\t0\t0\t\t:0\t64").problem,
              DeviceLineProblem::kNoPageMode);
    // A byte-mode line needs no page size; a page-mode line needs one above 0.
    EXPECT_TRUE(ParseDeviceLine("ATx\t1E9001\t1k\t\t\t0\t\t64").usable());
    EXPECT_EQ(ParseDeviceLine("ATx\t1E9001\t1k\t\t0\t1\t:4\t64").problem,
              DeviceLineProblem::kNoPageSize);
    EXPECT_EQ(ParseDeviceLine("ATx\t1E9001\t1k\t0\t0\t1\t:4\t64").problem,
              DeviceLineProblem::kNoPageSize);
    // The page shift goes up to 8 (256-word pages).
    EXPECT_TRUE(ParseDeviceLine("ATx\t1E9001\t1k\t256\t0\t1\t:8\t64").usable());
    EXPECT_EQ(ParseDeviceLine("ATx\t1E9001\t1k\t512\t0\t1\t:9\t64").problem,
              DeviceLineProblem::kPageShiftTooLarge);
    // ... but a line of page mode 0 does not use it: the device stays, the shift is dropped.
    DeviceEntry byteMode = ParseDeviceLine("ATx\t1E9001\t1k\t0\t0\t0\t:99\t64");
    EXPECT_TRUE(byteMode.usable());
    EXPECT_FALSE(byteMode.pageShift.has_value());
    // Every problem has a description of its own.
    EXPECT_STRNE(devices::DescribeProblem(DeviceLineProblem::kNoFlashSize),
                 devices::DescribeProblem(DeviceLineProblem::kNoEepromSize));
}

TEST(ParseDeviceLine, SignatureMatchesTheFirstSixCharactersExactly) {
    DeviceEntry e = ParseDeviceLine("ATmega88\t1E930A\t8k\t32\t0\t1\t:5\t512");
    EXPECT_TRUE(devices::SignatureMatches(e, "1E930A "));
    EXPECT_TRUE(devices::SignatureMatches(e, "1E930A"));
    EXPECT_FALSE(devices::SignatureMatches(e, "1E930a "));
    EXPECT_FALSE(devices::SignatureMatches(e, "1E930B "));
    EXPECT_FALSE(devices::SignatureMatches(e, "1E930"));
    EXPECT_FALSE(devices::SignatureMatches(e, ""));
    DeviceEntry lower = ParseDeviceLine("ATmega88\t1e930a\t8k\t32\t0\t1\t:5\t512");
    EXPECT_FALSE(devices::SignatureMatches(lower, "1E930A "));
    // A short signature field matches nothing, not even an empty signature.
    DeviceEntry empty = ParseDeviceLine("ATnone\t\t\t8k\t32\t0\t1\t:5\t512");
    EXPECT_EQ(empty.signature, "");
    EXPECT_FALSE(devices::SignatureMatches(empty, ""));
    DeviceEntry shortSig = ParseDeviceLine("ATshort\t1E93\t8k\t32\t0\t1\t:5\t512");
    EXPECT_FALSE(devices::SignatureMatches(shortSig, "1E93"));
}

TEST(ParseDeviceLine, RandomBytesNeverOverrunTheFields) {
    std::mt19937 gen(4711);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> length(0, 120);
    std::uniform_int_distribution<int> pick(0, 3);
    for (int i = 0; i < 5000; ++i) {
        std::string line = "AT";
        int n = length(gen);
        for (int k = 0; k < n; ++k) {
            // Plenty of separators, digits and colons so every field gets some text.
            int kind = pick(gen);
            line.push_back(kind == 0 ? '\t' : kind == 1 ? ';' : static_cast<char>(byte(gen)));
        }
        DeviceEntry e = ParseDeviceLine(line);
        EXPECT_LE(e.name.size(), devices::kMaxNameLength);
        EXPECT_LE(e.signature.size(), devices::kMaxFieldLength);
        EXPECT_LE(e.eepromSize.size(), devices::kMaxFieldLength);
        if (e.usable()) {
            EXPECT_GE(e.flashBytes, 0);
            EXPECT_GE(e.eepromBytes, 0);
            if (e.paged()) {
                EXPECT_GT(e.pageWords, 0);
            }
            if (e.pageShift) {
                EXPECT_LE(*e.pageShift, devices::kMaxPageShift);
            }
        }
    }
}

// --- the device list and the lookup, through the file ---

class DeviceFileTest : public ::testing::Test {
  protected:
    void SetUp() override { p.state.startDirectory.Assign(dir.str()); }

    void WriteIni(std::string_view content) { dir.Write("ostrel.ini", content); }
    void SetAutodetection(bool on) {
        rig.windows.CheckItem(ids::kMainWindow, ids::kAutodetection, on);
    }
    // Looks the signature up with Autodetection on.
    int FindBySignature(std::string_view sixDigits) {
        p.state.signatureHex.Assign(sixDigits);
        p.state.signatureHex.Append(" ");
        SetAutodetection(true);
        return FindDevice(p, core::ReadDeviceChoice(p));
    }
    // Selects `name` in the list (adding it when it is not there) and looks it
    // up with Autodetection off.
    int FindByName(std::string_view name) {
        int index = IndexOf(name);
        if (index < 0) {
            rig.windows.AddListEntry(name);
            index = IndexOf(name);
        }
        rig.windows.SelectListEntry(index);
        SetAutodetection(false);
        return FindDevice(p, core::ReadDeviceChoice(p));
    }
    int IndexOf(std::string_view name) {
        const auto& list = rig.windows.ListEntries();
        for (std::size_t i = 0; i < list.size(); ++i) {
            if (list[i] == name)
                return static_cast<int>(i);
        }
        return -1;
    }
    std::string Selected() { return rig.windows.ListEntry(rig.windows.SelectedListEntry()); }

    TempDir dir;
    RecordingRig rig;
    Programmer& p = rig.p;
};

const char* const kSmallFile =
    "; test chips\n"
    "ATmega8\t\t1E9307\t8k\t32\t0\t1\tPB:5\t512\n"
    "AT90S2313\t1E9101\t2K\t0\t0\t0\t:0\t128\n"
    "ATmega64\t1E9602\t64k\t128\t0\t1\tPB:7\t2048\n"
    "ATtiny13\t1E9007\t1024\t16\t0\t1\tPB:4\t64\n";

TEST_F(DeviceFileTest, ListIsSortedWithoutRegardToCaseAndKeepsDuplicates) {
    WriteIni(
        "; heading\n"
        "\n"
        "ATtiny13\t1E9007\t1k\t16\t0\t1\t:4\t64\n"
        "ATMEGA8\t1E9307\t8k\t32\t0\t1\t:5\t512\n"
        "AT90S2313\t1E9101\t2k\t0\t0\t0\t:0\t128\n"
        "ATmega16\t\t1E9403\t16k\t64\t0\t1\t:6\t512\n"
        "ATtiny13\t1E9007\t1k\t16\t0\t1\t:4\t64\n"
        "ATmega161\t1E9401\t16k\t64\t0\t1\t:6\t512\n"
        "ATmega162\t1E9404\t16k\t64\t0\t1\t:6\t512\n");
    FillDeviceList(p);
    EXPECT_EQ(rig.windows.ListEntries(), (Names{"AT90S2313", "ATmega16", "ATmega161", "ATmega162",
                                                "ATMEGA8", "ATtiny13", "ATtiny13"}));
    EXPECT_TRUE(rig.windows.messages.empty());
    EXPECT_EQ(p.currentDirectory, dir.str());
}

TEST_F(DeviceFileTest, ListShowsUsableLinesByTheirNameAndTellsTheOthers) {
    WriteIni(
        "at90s1200\t1E9001\t1k\t0\t0\t0\t:0\t64\n"        // lower case: a comment
        " AT90S1200\t1E9001\t1k\t0\t0\t0\t:0\t64\n"       // blank first: a comment
        ";AT90S1200\t1E9001\t1k\t0\t0\t0\t:0\t64\n"       // comment
        "ATname;with\t1E9001\t1k\t0\t0\t0\t:0\t64\n"      // ';' in the name
        "ATsemi;1E9002;1k;0;0;0;:0;64\n"                  // no TAB at all
        "AT3456789012345\t1E9003\t1k\t0\t0\t0\t:0\t64\n"  // name too long
        "ATnoflash\t1E9005\t\t0\t0\t0\t:0\t64\n"          // flash without a number
        "ATlong\t1E9006\t1k\t0\t0\t0\t:0\t64;" +
        std::string(70, '-') +
        "\n"  // 99+
        "ATok\t1E9007\t1k\t0\t0\t0\t:0\t64\n"
        "AT\n"
        "ATlast\t1E9008\t1k\t0\t0\t0\t:0\t64");  // no line end
    FillDeviceList(p);
    // Lines the lookup cannot use are neither listed nor found; the last
    // line counts without its line end; a name ends at TAB or ';'.
    EXPECT_EQ(rig.windows.ListEntries(), (Names{"ATlast", "ATok", "ATsemi"}));
    ASSERT_EQ(rig.windows.messages.size(), 1u);
    EXPECT_EQ(rig.windows.messages[0].title, "ostrel.ini");
    const std::string& told = rig.windows.messages[0].text;
    for (const char* line : {"line 4 (ATname)", "line 6 (AT3456789012345)", "line 7 (ATnoflash)",
                             "line 8 (ATlong)", "line 10 (AT)"}) {
        EXPECT_NE(told.find(line), std::string::npos) << line << " in " << told;
    }
    EXPECT_EQ(told.find("line 5"), std::string::npos);
    EXPECT_EQ(FindByName("AT3456789012345"), 1);
    EXPECT_EQ(FindByName("ATnoflash"), 1);
    EXPECT_EQ(FindByName("ATok"), 0);
}

TEST_F(DeviceFileTest, ListReadingStopsAtNulOrFf) {
    using namespace std::string_literals;
    WriteIni("ATa\t1E9001\t1k\t0\t0\t0\t:0\t64\n\0ATb\t1E9002\t1k\t0\t0\t0\t:0\t64\n"s);
    FillDeviceList(p);
    EXPECT_EQ(rig.windows.ListEntries(), (Names{"ATa"}));
    EXPECT_EQ(rig.windows.MessageTexts(),
              (Names{"ostrel.ini: These lines of ostrel.ini cannot be used and are left out of the "
                     "device list:\n\nline 2 holds a byte 00, which is no text; reading stops "
                     "there"}));

    RecordingRig other;
    other.p.state.startDirectory.Assign(dir.str());
    WriteIni(
        "ATa\t1E9001\t1k\t0\t0\t0\t:0\t64\nATb\t1E9002\t1k\t0\t0\t0\t:0\t64\xFF\n"
        "ATc\t1E9003\t1k\t0\t0\t0\t:0\t64\n");
    FillDeviceList(other.p);
    EXPECT_EQ(other.windows.ListEntries(), (Names{"ATa"}));
}

TEST_F(DeviceFileTest, MissingFileLeavesTheListAsItWas) {
    rig.windows.AddListEntry("ATkept");
    FillDeviceList(p);
    EXPECT_EQ(rig.windows.ListEntries(), (Names{"ATkept"}));
    ASSERT_EQ(rig.windows.messages.size(), 1u);
    EXPECT_EQ(rig.windows.messages[0].text, "Open Error ostrel.ini !");
    EXPECT_EQ(rig.windows.messages[0].title, "Error!");
    EXPECT_EQ(rig.windows.messages[0].buttons, MsgButtons::Ok);
    EXPECT_FALSE(rig.windows.WindowEnded(ids::kMainWindow));
}

TEST_F(DeviceFileTest, FileIsOpenedInTheStartDirectoryWhateverTheCurrentOne) {
    WriteIni(kSmallFile);
    TempDir elsewhere;
    elsewhere.Write("ostrel.ini", "ATother\t1E9307\t2k\t0\t0\t0\t:0\t64\n");
    p.currentDirectory = elsewhere.str();
    ASSERT_EQ(FindBySignature("1E9307"), 0);
    EXPECT_EQ(p.state.flashWords, 4096);
    EXPECT_EQ(p.currentDirectory, dir.str());
}

TEST_F(DeviceFileTest, LookupBySignatureSetsTheGeometryAndSelectsTheName) {
    WriteIni(kSmallFile);
    FillDeviceList(p);
    ASSERT_EQ(FindBySignature("1E9307"), 0);
    EXPECT_EQ(p.state.deviceDetected, 1);
    EXPECT_EQ(p.state.flashWords, 4096);
    EXPECT_EQ(p.state.eepromBytes, 512);
    EXPECT_EQ(p.state.pagedFlash, 1);
    EXPECT_EQ(p.state.pageWords, 32);
    EXPECT_EQ(p.state.pageShift, 5);
    EXPECT_EQ(Selected(), "ATmega8");

    ASSERT_EQ(FindBySignature("1E9602"), 0);
    EXPECT_EQ(p.state.flashWords, 32768);
    EXPECT_EQ(p.state.eepromBytes, 2048);
    EXPECT_EQ(p.state.pageWords, 128);
    EXPECT_EQ(p.state.pageShift, 7);
    EXPECT_EQ(Selected(), "ATmega64");

    // A byte-mode chip clears pagedFlash but keeps pageWords.
    ASSERT_EQ(FindBySignature("1E9101"), 0);
    EXPECT_EQ(p.state.flashWords, 1024);  // 2K
    EXPECT_EQ(p.state.eepromBytes, 128);
    EXPECT_EQ(p.state.pagedFlash, 0);
    EXPECT_EQ(p.state.pageWords, 128);
    EXPECT_EQ(p.state.pageShift, 0);
    EXPECT_EQ(Selected(), "AT90S2313");
    EXPECT_TRUE(rig.windows.messages.empty());
}

TEST_F(DeviceFileTest, FailedLookupClearsDetectionAndKeepsTheGeometry) {
    WriteIni(kSmallFile);
    FillDeviceList(p);
    ASSERT_EQ(FindBySignature("1E9007"), 0);
    int selected = rig.windows.SelectedListEntry();
    EXPECT_EQ(FindBySignature("1E930A"), 1);
    EXPECT_EQ(p.state.deviceDetected, 0);
    EXPECT_EQ(p.state.flashWords, 512);
    EXPECT_EQ(p.state.eepromBytes, 64);
    EXPECT_EQ(p.state.pagedFlash, 1);
    EXPECT_EQ(p.state.pageWords, 16);
    // The page shift of the last line scanned does not leak into a failed lookup.
    EXPECT_EQ(p.state.pageShift, 4);
    EXPECT_EQ(rig.windows.SelectedListEntry(), selected);
}

TEST_F(DeviceFileTest, StartValuesStayUntilTheFirstMatch) {
    WriteIni(kSmallFile);
    EXPECT_EQ(FindBySignature("000000"), 1);
    EXPECT_EQ(p.state.flashWords, 4096);
    EXPECT_EQ(p.state.eepromBytes, 1298);
    EXPECT_EQ(p.state.pagedFlash, 0);
    EXPECT_EQ(p.state.pageWords, 0);
    EXPECT_EQ(p.state.pageShift, 0);
}

TEST_F(DeviceFileTest, LowerCaseSignatureNeverMatches) {
    WriteIni("ATmega8\t\t1e9307\t8k\t32\t0\t1\tPB:5\t512\n");
    p.state.deviceDetected = 1;
    EXPECT_EQ(FindBySignature("1E9307"), 1);
    EXPECT_EQ(p.state.deviceDetected, 0);
    // By name the line is found.
    EXPECT_EQ(FindByName("ATmega8"), 0);
    EXPECT_EQ(p.state.flashWords, 4096);
}

TEST_F(DeviceFileTest, FirstOfTwoEqualSignaturesWinsWhileTheListShowsBoth) {
    WriteIni(
        "ATtiny2313\t1E910A\t2k\t16\t0\t1\t:4\t128\n"
        "AT90S2313\t1E9101\t2k\t0\t0\t0\t:0\t128\n"
        "ATtiny2313A\t1E910A\t2k\t16\t0\t1\t:4\t256\n");
    FillDeviceList(p);
    EXPECT_EQ(rig.windows.ListEntries(), (Names{"AT90S2313", "ATtiny2313", "ATtiny2313A"}));
    ASSERT_EQ(FindBySignature("1E910A"), 0);
    EXPECT_EQ(p.state.eepromBytes, 128);
    EXPECT_EQ(Selected(), "ATtiny2313");
    // By name, the second one is reachable.
    ASSERT_EQ(FindByName("ATtiny2313A"), 0);
    EXPECT_EQ(p.state.eepromBytes, 256);
}

TEST_F(DeviceFileTest, SelectionSearchesTheWholeNameWithoutRegardToCase) {
    WriteIni(kSmallFile);
    rig.windows.AddListEntry("ATmega8515");
    rig.windows.AddListEntry("ATmega64");
    rig.windows.SelectListEntry(0);
    // "ATmega8" is not in this list: "ATmega8515" begins with it but is not it.
    ASSERT_EQ(FindBySignature("1E9307"), 0);
    EXPECT_EQ(rig.windows.SelectedListEntry(), -1);
    rig.windows.AddListEntry("ATMEGA8");
    ASSERT_EQ(FindBySignature("1E9307"), 0);
    EXPECT_EQ(Selected(), "ATMEGA8");
}

TEST_F(DeviceFileTest, PageShiftIsCarriedFromEarlierLines) {
    WriteIni(
        "ATfirst\t1E9001\t1k\t0\t0\t0\tnone\t64\n"
        "ATsix\t1E9002\t16k\t64\t0\t1\tPB:6\t512\n"
        "ATskip\t1E9003\t1k\t0\t0\t0\tPB:\t64\n"  // ':' without digits: unchanged
        "ATcarry\t1E9004\t16k\t64\t0\t1\t\t512\n"
        "ATfive\t1E9005\t8k\t32\t0\t1\tPB:5\t512\n"
        "ATbad\t1E9006\t8k\t32\t0\t1\t:9\t512\n"  // unusable: its 9 is not taken
        "ATlater\t1E9007\t8k\t32\t0\t1\tx\t512\n");
    p.state.pageShift = 3;
    ASSERT_EQ(FindBySignature("1E9001"), 0);
    EXPECT_EQ(p.state.pageShift, 3);  // nothing earlier: the value from before the lookup
    ASSERT_EQ(FindBySignature("1E9004"), 0);
    EXPECT_EQ(p.state.pageShift, 6);
    EXPECT_EQ(p.state.pageWords, 64);
    ASSERT_EQ(FindBySignature("1E9003"), 0);
    EXPECT_EQ(p.state.pageShift, 6);
    ASSERT_EQ(FindBySignature("1E9007"), 0);
    EXPECT_EQ(p.state.pageShift, 5);
    EXPECT_EQ(FindBySignature("1E9006"), 1);
    EXPECT_EQ(p.state.pageShift, 5);
    // By name the same carrying applies.
    p.state.pageShift = 0;
    ASSERT_EQ(FindByName("ATcarry"), 0);
    EXPECT_EQ(p.state.pageShift, 6);
}

TEST_F(DeviceFileTest, LookupByNameUsesTheListSelectionExactly) {
    WriteIni(kSmallFile);
    FillDeviceList(p);
    p.state.deviceDetected = 0;
    ASSERT_EQ(FindByName("ATtiny13"), 0);
    EXPECT_EQ(p.state.flashWords, 512);  // 1024 bytes
    EXPECT_EQ(p.state.pageWords, 16);
    EXPECT_EQ(p.state.pageShift, 4);
    EXPECT_EQ(p.state.deviceDetected, 0);  // only a signature match sets it
    EXPECT_EQ(Selected(), "ATtiny13");     // the selection is left alone

    // Letter case counts when the name is compared.
    EXPECT_EQ(FindByName("ATTINY13"), 1);
    // With no entry selected nothing matches.
    rig.windows.SelectListEntry(-1);
    EXPECT_EQ(FindDevice(p, core::ReadDeviceChoice(p)), 1);
    EXPECT_EQ(p.state.deviceDetected, 0);
}

TEST_F(DeviceFileTest, LookupFollowsTheChoiceItIsGivenNotTheWindow) {
    WriteIni(kSmallFile);
    FillDeviceList(p);
    // The window says Autodetection with an unknown signature; the caller's
    // choice names ATtiny13, and that is what is found.
    SetAutodetection(true);
    p.state.signatureHex.Assign("FFFFFF ");
    ASSERT_EQ(FindDevice(p, core::DeviceChoice{false, "ATtiny13"}), 0);
    EXPECT_EQ(p.state.flashWords, 512);
    EXPECT_EQ(FindDevice(p, core::DeviceChoice{false, std::nullopt}), 1);
    // And the other way round: the window has it off, the choice says by signature.
    SetAutodetection(false);
    p.state.signatureHex.Assign("1E9007 ");
    ASSERT_EQ(FindDevice(p, core::DeviceChoice{true, std::nullopt}), 0);
    EXPECT_EQ(Selected(), "ATtiny13");
    EXPECT_EQ(p.state.deviceDetected, 1);
}

TEST_F(DeviceFileTest, NameWithSemicolonIsListedAsTheLookupReadsIt) {
    // The name field ends at the ';': the text after it is the signature, so
    // this line's fields are shifted and it is refused.
    WriteIni("ATmega8;new\t1E9307\t8k\t32\t0\t1\t:5\t512\n");
    FillDeviceList(p);
    EXPECT_TRUE(rig.windows.ListEntries().empty());
    EXPECT_EQ(FindBySignature("1E9307"), 1);
    EXPECT_EQ(FindByName("ATmega8"), 1);
}

TEST_F(DeviceFileTest, UnterminatedLastLineIsListedAndFound) {
    WriteIni(
        "ATmega8\t\t1E9307\t8k\t32\t0\t1\tPB:5\t512\nATmega16\t1E9403\t16k\t64\t0\t1\t:6\t512");
    FillDeviceList(p);
    EXPECT_EQ(rig.windows.ListEntries(), (Names{"ATmega16", "ATmega8"}));
    EXPECT_EQ(FindBySignature("1E9403"), 0);
    EXPECT_EQ(FindByName("ATmega16"), 0);
    EXPECT_EQ(FindBySignature("1E9307"), 0);
    EXPECT_TRUE(rig.windows.messages.empty());
}

// One line after a usable first chip (":0", so its shift carries on), read
// as the last lines of the file: listed and found, or refused and told.
TEST_F(DeviceFileTest, EachLineIsListedAndFoundOrRefusedAndTold) {
    using namespace std::string_literals;
    struct Case {
        std::string lines;  // the file's lines after the first chip
        int eepromBytes;    // when found by signature 1E9307 and by name ATm8; 0: refused
        std::string told;   // what the message says of it; empty: no message
    };
    const std::string tail = "\t1E9307\t8k\t32\t0\t1\t";
    const Case cases[] = {
        {"ATm8" + tail + "PB:5\t512\n", 512, ""},
        {"ATm8" + tail + "PB:5\t512", 512, ""},                         // no line end
        {"ATm8;1E9307;8k;32;0;1;PB:5;512\n", 512, ""},                  // ';' only
        {"ATm8;\t1E9307\t8k\t32\t0\t1\t:5\t512 ; comment\n", 512, ""},  // ';' and TAB
        {"ATm8" + tail + "PB:5\t64k\n", 65536, ""},
        {"ATm8\t1E9307\t128k\t32\t0\t1\t:5\t512\n", 512, ""},
        {"ATm8" + tail + "PB:4\t512\n", 0,
         "line 3 (ATm8): page shift 4 does not fit a page of 32 words (that needs 5)"},
        {"ATm8" + tail + "\t512\n", 0,
         "line 3 (ATm8): page shift 0 (from a line above) does not fit a page of 32 words"},
        {"ATx\t1E9002\t1k\t16\t0\t1\t:4\t64\nATm8" + tail + "\t512\n", 0,
         "line 4 (ATm8): page shift 4 (from a line above) does not fit"},
        {"ATm8\t1E9307\t8k\t48\t0\t1\t:5\t512\n", 0,
         "line 3 (ATm8): page size 48 words is not a power of two"},
        {"ATm8" + tail + "PB:5\t2047kk\n", 0,
         "line 3 (ATm8): EEPROM size 2146435072 bytes is above 65536"},
        {"ATm8" + tail + "PB:5\t65537\n", 0, "line 3 (ATm8): EEPROM size 65537 bytes is above"},
        {"ATm8\t1E9307\t257k\t32\t0\t1\t:5\t512\n", 0,
         "line 3 (ATm8): flash size 263168 bytes is above 262144"},
        {"ATm8" + tail +
             "PB:5\t51\xFF"
             "2\n",
         0, "line 3 holds a byte FF"},
        {"; note\0"s + "ATm8" + tail + "PB:5\t512\n", 0, "line 3 holds a byte 00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines);
        RecordingRig fresh;
        fresh.p.state.startDirectory.Assign(dir.str());
        WriteIni("; chips\nATfirst\t1E9001\t1k\t0\t0\t0\t:0\t64\n" + c.lines);
        FillDeviceList(fresh.p);
        bool listed = fresh.windows.ListEntries() == Names{"ATfirst", "ATm8"};
        EXPECT_EQ(listed, c.eepromBytes > 0) << fresh.windows.ListEntries().size();
        if (c.told.empty()) {
            EXPECT_TRUE(fresh.windows.messages.empty());
        } else {
            ASSERT_EQ(fresh.windows.messages.size(), 1u);
            EXPECT_EQ(fresh.windows.messages[0].title, "ostrel.ini");
            EXPECT_NE(fresh.windows.messages[0].text.find(c.told), std::string::npos)
                << fresh.windows.messages[0].text;
        }
        // The lookup agrees with the list, and says nothing more.
        fresh.windows.CheckItem(ids::kMainWindow, ids::kAutodetection, true);
        fresh.p.state.signatureHex.Assign("1E9307 ");
        fresh.p.state.eepromBytes = -1;
        EXPECT_EQ(FindDevice(fresh.p, core::ReadDeviceChoice(fresh.p)), c.eepromBytes > 0 ? 0 : 1);
        EXPECT_EQ(fresh.p.state.eepromBytes, c.eepromBytes > 0 ? c.eepromBytes : -1);
        fresh.windows.CheckItem(ids::kMainWindow, ids::kAutodetection, false);
        fresh.windows.AddListEntry("ATm8");
        for (int i = 0; i < fresh.windows.ListCount(); ++i) {
            if (fresh.windows.ListEntry(i) == "ATm8")
                fresh.windows.SelectListEntry(i);
        }
        EXPECT_EQ(FindDevice(fresh.p, core::ReadDeviceChoice(fresh.p)), c.eepromBytes > 0 ? 0 : 1);
        EXPECT_EQ(devices::ChosenDeviceProblem(fresh.p).empty(), c.eepromBytes > 0);
        EXPECT_LE(fresh.windows.messages.size(), 1u);
    }
}

TEST_F(DeviceFileTest, LinesThatAreNotDeviceLinesAreNeverFound) {
    WriteIni(
        "at90s1200\t1E9001\t1k\t0\t0\t0\t:0\t64\n"
        " AT90S2313\t1E9101\t2k\t0\t0\t0\t:0\t128\n"
        ";ATmega8\t1E9307\t8k\t32\t0\t1\t:5\t512\n");
    EXPECT_EQ(FindBySignature("1E9001"), 1);
    EXPECT_EQ(FindBySignature("1E9101"), 1);
    EXPECT_EQ(FindBySignature("1E9307"), 1);
    EXPECT_EQ(FindByName("at90s1200"), 1);
    EXPECT_EQ(FindByName(" AT90S2313"), 1);
}

TEST_F(DeviceFileTest, EveryLineEndWorks) {
    for (std::string end : {"\n", "\r\n", "\r"}) {
        std::string text;
        for (const char* line : {"; chips", "ATmega8\t\t1E9307\t8k\t32\t0\t1\tPB:5\t512",
                                 "AT90S2313\t1E9101\t2K\t0\t0\t0\t:0\t128",
                                 "ATmega64\t1E9602\t64k\t128\t0\t1\tPB:7\t2048"}) {
            text += line + end;
        }
        WriteIni(text);
        ASSERT_EQ(FindBySignature("1E9307"), 0) << "line end " << end.size();
        EXPECT_EQ(p.state.eepromBytes, 512);
        ASSERT_EQ(FindBySignature("1E9101"), 0);
        EXPECT_EQ(p.state.eepromBytes, 128);
        ASSERT_EQ(FindBySignature("1E9602"), 0);
        EXPECT_EQ(p.state.eepromBytes, 2048);
    }
}

TEST_F(DeviceFileTest, NulAndFfEndTheLookup) {
    using namespace std::string_literals;
    WriteIni("ATa\t1E9001\t1k\t0\t0\t0\t:0\t64\n\0ATb\t1E9002\t2k\t0\t0\t0\t:0\t64\n"s);
    EXPECT_EQ(FindBySignature("1E9001"), 0);
    EXPECT_EQ(FindBySignature("1E9002"), 1);
    // A NUL inside a line stops the reading as well: it is no line end.
    WriteIni("; note\0ATb\t1E9002\t2k\t0\t0\t0\t:0\t64\n"s);
    EXPECT_EQ(FindBySignature("1E9002"), 1);
    // 0xFF anywhere stops reading.
    WriteIni("; \xFF\nATb\t1E9002\t2k\t0\t0\t0\t:0\t64\n");
    EXPECT_EQ(FindBySignature("1E9002"), 1);
    WriteIni("ATb\t1E9002\t2k\t0\t0\t0\t:0\t6\xFF\n");
    EXPECT_EQ(FindBySignature("1E9002"), 1);
}

TEST_F(DeviceFileTest, OverlongLinesAndFieldsAreIgnored) {
    std::string base = "ATmega8\t\t1E9307\t8k\t32\t0\t1\tPB:5\t512;";
    std::string fits = base + std::string(98 - base.size(), '.');
    std::string over = base + std::string(99 - base.size(), '.');
    WriteIni(over + "\n" + "ATmega8\t\t1E9307\t4k\t32\t0\t1\tPB:5\t256\n");
    ASSERT_EQ(FindBySignature("1E9307"), 0);
    EXPECT_EQ(p.state.flashWords, 2048);  // the second line
    WriteIni(fits + "\n" + "ATmega8\t\t1E9307\t4k\t32\t0\t1\tPB:5\t256\n");
    ASSERT_EQ(FindBySignature("1E9307"), 0);
    EXPECT_EQ(p.state.flashWords, 4096);  // the first line, exactly 98 characters

    // A line of thousands of characters costs nothing but reading over it.
    WriteIni("AT" + std::string(5000, 'x') + "\nATok\t1E9001\t1k\t0\t0\t0\t:0\t64\n");
    EXPECT_EQ(FindBySignature("1E9001"), 0);

    WriteIni(
        "AT3456789012345\t1E9001\t1k\t0\t0\t0\t:0\t64\n"
        "ATx\t1E9002\t1000000\t0\t0\t0\t:0\t64\n"
        "ATy\t1E9003\t1k\t0\t0\t0\t:0\t1000000\n");
    EXPECT_EQ(FindBySignature("1E9001"), 1);
    EXPECT_EQ(FindByName("AT3456789012345"), 1);
    EXPECT_EQ(FindBySignature("1E9002"), 1);
    EXPECT_EQ(FindBySignature("1E9003"), 1);
}

TEST_F(DeviceFileTest, LinesWithUnusableNumbersAreSkippedForTheNextMatch) {
    WriteIni(
        "ATa\t1E9001\t\t0\t0\t0\t:0\t64\n"       // no flash size
        "ATa\t1E9001\t1k\t0\t0\t0\t:0\t\n"       // no EEPROM size
        "ATa\t1E9001\t1k\t16\t0\t\t:4\t64\n"     // no page mode
        "ATa\t1E9001\t1k\t0\t0\t1\t:4\t64\n"     // page mode, page size 0
        "ATa\t1E9001\t3k\t16\t0\t1\t:4\t96\n");  // the first usable one
    ASSERT_EQ(FindBySignature("1E9001"), 0);
    EXPECT_EQ(p.state.flashWords, 1536);
    EXPECT_EQ(p.state.eepromBytes, 96);
    EXPECT_EQ(p.state.pageWords, 16);
    ASSERT_EQ(FindByName("ATa"), 0);
    EXPECT_EQ(p.state.flashWords, 1536);
}

TEST_F(DeviceFileTest, BinaryGarbageFindsNothingAndDoesNotCrash) {
    std::mt19937 gen(1234);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 30; ++round) {
        std::string garbage;
        for (int i = 0; i < 3000; ++i) {
            // No NUL or 0xFF, so the whole file is read.
            garbage.push_back(static_cast<char>(1 + byte(gen) % 254));
        }
        WriteIni(garbage + "\nATreal\t1ED00D\t2k\t0\t0\t0\t:0\t99\n");
        FillDeviceList(p);
        EXPECT_EQ(FindBySignature("1ED00D"), 0) << "round " << round;
        EXPECT_EQ(p.state.eepromBytes, 99);
        EXPECT_GE(p.state.pageShift, 0);
        EXPECT_LE(p.state.pageShift, devices::kMaxPageShift);
    }
    // Every listed name comes from a usable line: never longer than a line.
    for (const auto& name : rig.windows.ListEntries())
        EXPECT_LE(name.size(), 98u);
}

TEST_F(DeviceFileTest, MissingFileEndsTheMainWindow) {
    p.state.flashWords = 1234;
    EXPECT_EQ(FindBySignature("1E9307"), 1);
    ASSERT_EQ(rig.windows.messages.size(), 1u);
    EXPECT_EQ(rig.windows.messages[0].text, "Open Error ostrel.ini !");
    EXPECT_EQ(rig.windows.messages[0].title, "Error!");
    int result = 0;
    ASSERT_TRUE(rig.windows.WindowEnded(ids::kMainWindow, &result));
    EXPECT_EQ(result, 1);
    EXPECT_EQ(p.state.flashWords, 1234);
}

TEST_F(DeviceFileTest, FileThatCannotBeOpenedForWritingCountsAsMissing) {
    // A folder of that name opens for reading on some systems, never for writing.
    std::filesystem::create_directory(dir.File("ostrel.ini"));
    EXPECT_FALSE(devices::DeviceFileOpens(p));
    FillDeviceList(p);
    EXPECT_EQ(FindBySignature("1E9307"), 1);
    EXPECT_EQ(rig.windows.MessageTexts(),
              (Names{"Error!: Open Error ostrel.ini !", "Error!: Open Error ostrel.ini !"}));
    EXPECT_TRUE(rig.windows.WindowEnded(ids::kMainWindow));
}

TEST_F(DeviceFileTest, EditedFileTakesEffectAtTheNextLookup) {
    WriteIni("ATmega8\t\t1E9307\t8k\t32\t0\t1\tPB:5\t512\n");
    EXPECT_TRUE(devices::DeviceFileOpens(p));
    ASSERT_EQ(FindBySignature("1E9307"), 0);
    EXPECT_EQ(p.state.eepromBytes, 512);
    WriteIni("ATmega8\t\t1E9307\t8k\t32\t0\t1\tPB:5\t500\n");
    ASSERT_EQ(FindBySignature("1E9307"), 0);
    EXPECT_EQ(p.state.eepromBytes, 500);
}

}  // namespace
}  // namespace ostrel::testing
