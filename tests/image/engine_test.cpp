// The program-and-verify engine against the simulated chip, on a byte-mode
// chip (AT90S2313) and a page-mode chip (ATmega8).
#include <gtest/gtest.h>

#include "avr/avr.h"
#include "image/engine.h"
#include "image/readback.h"
#include "tests/image/image_test_util.h"
#include "tests/support/hex_image.h"
#include "tests/support/sim_rig.h"

namespace ostrel::testing {
namespace {

using sim::SimFault;

std::string Lines(std::initializer_list<std::string> lines) {
    std::string text;
    for (const auto& l : lines)
        text += l + "\r\n";
    return text;
}

int CountOps(const SimRig& rig, uint8_t op) {
    int n = 0;
    for (const auto& i : const_cast<SimRig&>(rig).chip().instructions())
        if (i[0] == op)
            ++n;
    return n;
}

// Connects, loads the file as the current file and runs the engine.
int RunFile(SimRig& rig, std::string_view name, std::string_view content, bool verify = false) {
    rig.Write(name, content);
    EXPECT_EQ(rig.Load(name), 0);
    EXPECT_EQ(avr::Connect(rig.p), 0);
    rig.p.state.verifyMode = verify ? 1 : 0;
    return image::RunEngine(rig.p);
}

class RealImage : public ::testing::TestWithParam<const char*> {};

TEST_P(RealImage, ProgrammedImageReadsBackByteForByte) {
    const std::string chip = GetParam();
    const std::string example =
        chip == "ATmega8" ? "examples/eecount-atmega8.hex" : "examples/eecount-at90s2313.hex";
    std::string source = ReadFileBytes(SourcePath(example));
    ASSERT_FALSE(source.empty());
    SimRig rig({.chip = chip});
    ASSERT_EQ(RunFile(rig, "prog.hex", source), image::kRunOk) << rig.p.state.errorText.view();
    if (rig.p.state.pagedFlash) {
        rig.p.state.verifyMode = 1;
        ASSERT_EQ(image::RunEngine(rig.p), image::kRunOk) << rig.p.state.errorText.view();
    }
    ASSERT_EQ(image::WriteReadbackHex(rig.p), 0);
    ByteImage file = ParseHexImage(source);
    ByteImage chipImage = ParseHexImage(rig.dir.Read("readback.hex"));
    EXPECT_EQ(ImageDifferences(file, chipImage), "");
    EXPECT_EQ(chipImage.size(), static_cast<size_t>(rig.p.state.flashWords) * 2);
}

INSTANTIATE_TEST_SUITE_P(Chips, RealImage, ::testing::Values("AT90S2313", "ATmega8"));

TEST(ByteMode, WritesNothingWhenTheChipAlreadyHoldsTheFile) {
    std::string file = Lines({Record(0, 0, Bytes(16, 0x10)), kEndRecord});
    SimRig rig({.chip = "AT90S2313"});
    ASSERT_EQ(RunFile(rig, "a.hex", file), image::kRunOk);
    rig.chip().RecordInstructions(true);
    rig.windows.activity.clear();
    rig.p.state.fileLineCount = 2;
    EXPECT_EQ(image::RunEngine(rig.p), image::kRunOk);
    EXPECT_EQ(CountOps(rig, 0x40) + CountOps(rig, 0x48), 0);
    EXPECT_EQ(CountOps(rig, 0x20) + CountOps(rig, 0x28), 16);
    ASSERT_FALSE(rig.windows.activity.empty());
    EXPECT_EQ(rig.windows.activity.back().substr(0, 14), "50% programmed");
}

TEST(ByteMode, ABitThatMustBecomeOneFailsAfterThePollingTimeOut) {
    SimRig rig({.chip = "AT90S2313"});
    ASSERT_EQ(avr::Connect(rig.p), 0);
    rig.chip().SetFlash(0x0101, 0x00);  // high byte of word 0x0080, programmed to 00
    std::string file = Lines({Record(0, 0x0100, {0x34, 0x12}), kEndRecord});
    rig.Write("a.hex", file);
    ASSERT_EQ(rig.Load("a.hex"), 0);
    uint64_t before = rig.clock.NowUs();
    EXPECT_EQ(image::RunEngine(rig.p), image::kRunFailed);
    EXPECT_EQ(rig.p.state.errorText.view(),
              "Write Error at Adr: 0080  \n\n     Wrote: 12  \n     Read: 00\n");
    uint64_t waited = rig.clock.NowUs() - before;
    EXPECT_GE(waited, 1000000u);
    EXPECT_LE(waited, 2100000u);
    EXPECT_EQ(rig.chip().Flash(0x0100), 0x34);  // the byte before it was written
}

TEST(PageMode, TwoPagesGiveExactlyTwoPageWritesAtTheirAddresses) {
    // ATmega8: 32-word pages. Bytes of page 0, then of page 1.
    std::string file =
        Lines({Record(0, 0x0000, Bytes(16)), Record(0, 0x0040, Bytes(16, 0x40)), kEndRecord});
    SimRig rig({.chip = "ATmega8"});
    rig.chip().RecordInstructions(true);
    ASSERT_EQ(RunFile(rig, "a.hex", file), image::kRunOk);
    EXPECT_EQ(rig.chip().pageWrites(), (std::vector<uint32_t>{0x0000, 0x0020}));
    EXPECT_EQ(rig.chip().Flash(0x0041), 0x41);
    // Nothing is read while a page is loaded; after each page write the
    // engine reads back only a byte of the page just burnt, to see it done.
    int readsWhileLoading = 0;
    int readsOutsideTheBurntPage = 0;
    bool loading = false;
    uint32_t burnt = 0;
    for (const auto& i : rig.chip().instructions()) {
        const uint32_t word = i[1] * 256u + i[2];
        if (i[0] == 0x40 || i[0] == 0x48)
            loading = true;
        if (i[0] == 0x4C) {
            loading = false;
            burnt = word;
        }
        if (i[0] != 0x20 && i[0] != 0x28)
            continue;
        readsWhileLoading += loading ? 1 : 0;
        readsOutsideTheBurntPage += (word & ~0x1Fu) != burnt ? 1 : 0;
    }
    EXPECT_EQ(readsWhileLoading, 0) << "page mode loads without reading";
    EXPECT_EQ(readsOutsideTheBurntPage, 0);
    EXPECT_GE(CountOps(rig, 0x20) + CountOps(rig, 0x28), 2) << "each page write is polled";
}

TEST(PageMode, AnOddRecordCompletesItsLastWordWithAnErasedHighByte) {
    std::string file = Lines({Record(0, 0x0010, {0xA1, 0xB2, 0xC3}), kEndRecord});
    SimRig rig({.chip = "ATmega8"});
    rig.chip().RecordInstructions(true);
    ASSERT_EQ(RunFile(rig, "a.hex", file), image::kRunOk);
    std::vector<std::array<uint8_t, 4>> loads;
    for (const auto& i : rig.chip().instructions())
        if (i[0] == 0x40 || i[0] == 0x48)
            loads.push_back(i);
    ASSERT_EQ(loads.size(), 4u);
    EXPECT_EQ(loads[0], (std::array<uint8_t, 4>{0x40, 0x00, 0x08, 0xA1}));
    EXPECT_EQ(loads[1], (std::array<uint8_t, 4>{0x48, 0x00, 0x08, 0xB2}));
    EXPECT_EQ(loads[2], (std::array<uint8_t, 4>{0x40, 0x00, 0x09, 0xC3}));
    EXPECT_EQ(loads[3], (std::array<uint8_t, 4>{0x48, 0x00, 0x09, 0xFF}));
    EXPECT_EQ(rig.chip().Flash(0x13), 0xFF) << "no byte from outside the record";
}

// Files whose records come in any order, odd lengths at either end of a
// word: a page-mode chip must end up holding exactly what a byte-mode chip
// holds, the file's bytes and FF everywhere else, and the verify pass must
// pass and then notice a byte changed behind its back.
TEST(PageMode, AnyRecordOrderAndOddLengthsGiveExactlyTheFile) {
    struct Rec {
        int address;
        std::vector<int> bytes;
    };
    struct Case {
        const char* name;
        std::vector<Rec> records;
    };
    const Case cases[] = {
        {"odd record from an even address", {{0x10, {0x11, 0x22, 0x33}}}},
        {"odd record from an odd address", {{0x11, {0x11, 0x22, 0x33}}}},
        {"odd record continued by the next", {{0x10, {0x11, 0x22, 0x33}}, {0x13, {0x44, 0x55}}}},
        {"high byte loaded before its low byte", {{0x13, {0xAA}}, {0x10, {0x01, 0x02, 0x03}}}},
        {"back to a lower page", {{0x40, Bytes(16, 0x40)}, {0x00, Bytes(16)}}},
        {"down and up across three pages",
         {{0x80, Bytes(5, 0x80)},
          {0x40, Bytes(7, 0x40)},
          {0x00, Bytes(3)},
          {0x85, Bytes(4, 0x90)},
          {0x47, Bytes(2, 0xA0)}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> lines;
        std::vector<int> expected(0x100, 0xFF);
        for (const Rec& r : c.records) {
            lines.push_back(Record(0, r.address, r.bytes));
            for (std::size_t i = 0; i < r.bytes.size(); ++i)
                expected[r.address + i] = r.bytes[i];
        }
        lines.push_back(kEndRecord);
        std::string file;
        for (const auto& l : lines)
            file += l + "\r\n";
        for (const char* chip : {"ATmega8", "AT90S2313"}) {
            SCOPED_TRACE(chip);
            SimRig rig({.chip = chip});
            ASSERT_EQ(RunFile(rig, "a.hex", file), image::kRunOk) << rig.p.state.errorText.view();
            for (uint32_t a = 0; a < expected.size(); ++a)
                ASSERT_EQ(rig.chip().Flash(a), expected[a]) << "byte " << a;
            rig.p.state.verifyMode = 1;
            rig.p.state.noMismatchPrompt = 1;
            EXPECT_EQ(image::RunEngine(rig.p), image::kRunOk) << rig.p.state.errorText.view();
            const Rec& last = c.records.back();
            uint32_t changed = static_cast<uint32_t>(last.address + last.bytes.size() - 1);
            rig.chip().SetFlash(changed, static_cast<uint8_t>(expected[changed] ^ 0x01));
            EXPECT_EQ(image::RunEngine(rig.p), image::kRunFailed);
            char headline[40];
            std::snprintf(headline, sizeof headline, "Verify failed at Adr: %04X\n", changed / 2);
            EXPECT_EQ(rig.p.state.errorText.view().substr(0, 27), headline);
        }
    }
}

TEST(PageMode, ARunStartsAtThePageOfItsFirstByte) {
    SimRig rig({.chip = "ATmega8"});
    // A first run leaves currentPage at page 5; the next run's data is in page 2.
    ASSERT_EQ(RunFile(rig, "a.hex", Lines({Record(0, 5 * 64, Bytes(2)), kEndRecord})),
              image::kRunOk);
    ASSERT_EQ(rig.p.state.currentPage, 5);
    rig.chip().ClearCounters();
    ASSERT_EQ(RunFile(rig, "b.hex", Lines({Record(0, 2 * 64, Bytes(2, 7)), kEndRecord})),
              image::kRunOk);
    EXPECT_EQ(rig.chip().pageWrites(), (std::vector<uint32_t>{2 * 32}));
    // A file without data burns no page at all.
    rig.chip().ClearCounters();
    ASSERT_EQ(RunFile(rig, "c.hex", Lines({kEndRecord})), image::kRunOk);
    EXPECT_TRUE(rig.chip().pageWrites().empty());
}

TEST(FlashPath, ByteBeyondTheFlashIsOutOfMemory) {
    SimRig rig({.chip = "AT90S2313"});  // 1024 words
    EXPECT_EQ(RunFile(rig, "a.hex", Lines({Record(0, 0x07FE, Bytes(4)), kEndRecord})),
              image::kRunFailed);
    EXPECT_EQ(rig.p.state.errorText.view(),
              "Out of memory: 0400\na.hex, line 1: byte address 0x0800 lies beyond this chip's "
              "flash (2048 bytes, 0x0000 to 0x07FF).\n");
    EXPECT_EQ(rig.chip().Flash(0x07FF), 0x01);
}

TEST(FlashPath, OutOfMemoryFromADumpNamesTheDumpsLine) {
    // The whole dump of an 8 KB chip for a chip of 1024 words: word 0400 is
    // on line 131, after the two header lines.
    const std::string dump = testing::DumpText(0x2000, 512);
    SimRig rig({.chip = "AT90S2313"});
    EXPECT_EQ(RunFile(rig, "readback.txt", dump), image::kRunFailed);
    EXPECT_EQ(rig.p.state.errorText.view(),
              "Out of memory: 0400\nreadback.txt, line 131: byte address 0x0800 lies beyond this "
              "chip's flash (2048 bytes, 0x0000 to 0x07FF).\n");
}

TEST(FlashPath, FormatErrorInTheMiddleStopsWithTheRecordStreamTexts) {
    SimRig rig({.chip = "AT90S2313"});
    // The second record lost its ':'.
    std::string file = Record(0, 0, Bytes(2)) + "\r\n" + Record(0, 2, Bytes(2)).substr(1) + "\r\n";
    EXPECT_EQ(RunFile(rig, "a.hex", file), image::kRunFailed);
    EXPECT_EQ(rig.p.state.errorText.view(), "No Intel Int.8/MDS-Format\n");
    std::vector<std::string> shown;
    for (auto& t : rig.windows.activity)
        shown.push_back(t.substr(0, t.find("  ")));
    ASSERT_GE(shown.size(), 2u);
    EXPECT_EQ(shown[shown.size() - 2], "Expected ':'");
    EXPECT_EQ(shown.back(), "fehllesung 0030");
    EXPECT_EQ(rig.chip().Flash(1), 0x01) << "records before the error stay programmed";
}

TEST(FlashPath, EmptyFileDoesNotDivideByZero) {
    SimRig rig({.chip = "AT90S2313"});
    rig.Write("a.hex", "");
    ASSERT_EQ(rig.Load("a.hex"), 0);
    EXPECT_EQ(rig.p.state.fileLineCount, 0);
    ASSERT_EQ(avr::Connect(rig.p), 0);
    EXPECT_EQ(image::RunEngine(rig.p), image::kRunOk);
    // A record without a line count behind it shows 100%.
    rig.Write("b.hex", Record(0, 0, Bytes(2)));
    rig.p.state.currentFileName.Assign(rig.dir.File("b.hex"));
    rig.p.state.fileLineCount = 0;
    EXPECT_EQ(image::RunEngine(rig.p), image::kRunOk);
    EXPECT_EQ(rig.windows.activity.back().substr(0, 15), "100% programmed");
}

TEST(Verify, MismatchPromptOkGoesOnAndCancelStops) {
    std::string file = Lines({Record(0, 0, {0x11, 0x22, 0x33, 0x44}), kEndRecord});
    for (MsgResult answer : {MsgResult::Ok, MsgResult::Cancel}) {
        SimRig rig({.chip = "ATmega8"});
        rig.Write("a.hex", file);
        ASSERT_EQ(rig.Load("a.hex"), 0);
        ASSERT_EQ(avr::Connect(rig.p), 0);
        rig.chip().SetFlash(0, 0x11);
        rig.chip().SetFlash(2, 0x33);  // bytes 1 and 3 still FF: two mismatches
        rig.p.state.verifyMode = 1;
        rig.p.state.noMismatchPrompt = 0;
        rig.windows.answers = {answer, answer};
        int result = image::RunEngine(rig.p);
        if (answer == MsgResult::Ok) {
            EXPECT_EQ(result, image::kRunOk);
            EXPECT_EQ(rig.windows.messages.size(), 2u);
            EXPECT_EQ(rig.p.state.mismatchesPassed, 2);
        } else {
            EXPECT_EQ(result, image::kRunCancelled);
            EXPECT_EQ(rig.windows.messages.size(), 1u);
        }
        EXPECT_EQ(rig.windows.messages[0].title, "Error");
        EXPECT_EQ(rig.windows.messages[0].text,
                  "Verify failed at Adr: 0000\n\n     File:    22\n     Read: FF\n");
        EXPECT_EQ(rig.chip().Flash(1), 0xFF) << "verify never writes";
    }
}

TEST(Verify, WithoutThePromptTheFirstMismatchFails) {
    SimRig rig({.chip = "AT90S2313"});
    rig.Write("a.hex", Lines({Record(0, 0, {0x11}), kEndRecord}));
    ASSERT_EQ(rig.Load("a.hex"), 0);
    ASSERT_EQ(avr::Connect(rig.p), 0);
    rig.p.state.verifyMode = 1;
    rig.p.state.noMismatchPrompt = 1;
    EXPECT_EQ(image::RunEngine(rig.p), image::kRunFailed);
    EXPECT_TRUE(rig.windows.messages.empty());
}

TEST(EepromPath, ErasePassThenRecordsAndEofWithoutEndRecord) {
    SimRig rig({.chip = "ATmega8"});
    ASSERT_EQ(avr::Connect(rig.p), 0);
    rig.chip().SetEeprom(0x100, 0x00);
    rig.chip().SetEeprom(0x002, 0x55);
    rig.Write("a.eep", Lines({Record(0, 0x0000, {0x01, 0x02, 0x03})}));  // no end record
    ASSERT_EQ(rig.Load("a.eep"), 0);
    ASSERT_EQ(rig.p.state.eepromFile, 1);
    rig.chip().RecordInstructions(true);
    EXPECT_EQ(image::RunEngine(rig.p), image::kRunOk);
    EXPECT_EQ(rig.chip().Eeprom(0x100), 0xFF);
    EXPECT_EQ(rig.chip().Eeprom(0), 0x01);
    EXPECT_EQ(rig.chip().Eeprom(2), 0x03);
    // Address 2 was erased first and then written: two writes there.
    int writesAt2 = 0;
    for (const auto& i : rig.chip().instructions())
        if (i[0] == 0xC0 && i[2] == 0x02)
            ++writesAt2;
    EXPECT_EQ(writesAt2, 2);
    EXPECT_EQ(rig.windows.activity.back().substr(0, 15), "eof aufgetreten");
}

TEST(EepromPath, RecordReachingTheEndIsOutOfMemoryAfterTheBytesBeforeIt) {
    SimRig rig({.chip = "AT90S2313"});  // 128 bytes
    EXPECT_EQ(RunFile(rig, "a.eep", Lines({Record(0, 0x007E, {0x0A, 0x0B, 0x0C}), kEndRecord})),
              image::kRunFailed);
    EXPECT_EQ(rig.p.state.errorText.view(),
              "Out of memory: 0080\na.eep, line 1: byte address 0x0080 lies beyond this chip's "
              "EEPROM (128 bytes, 0x0000 to 0x007F).\n");
    EXPECT_EQ(rig.chip().Eeprom(0x7F), 0x0B);
}

TEST(EepromPath, VerifyMismatchFailsWithoutAPrompt) {
    SimRig rig({.chip = "ATmega8"});
    EXPECT_EQ(RunFile(rig, "a.eep", Lines({Record(0, 0x0010, {0x42}), kEndRecord}), true),
              image::kRunFailed);
    EXPECT_EQ(rig.p.state.errorText.view(),
              "Verify failed at Adr: 0010\n\n     File:    42\n     Read: FF\n");
    EXPECT_TRUE(rig.windows.messages.empty());
}

TEST(EepromPath, AByteThatStaysInTheErasePassFails) {
    SimRig rig({.chip = "ATmega8",
                .fault = SimFault::StuckByte,
                .stuckAddress = 0x20,
                .stuckMemory = sim::Memory::Eeprom});
    ASSERT_EQ(avr::Connect(rig.p), 0);
    rig.chip().SetEeprom(0x20, 0x33);
    rig.Write("a.eep", Lines({kEndRecord}));
    ASSERT_EQ(rig.Load("a.eep"), 0);
    EXPECT_EQ(image::RunEngine(rig.p), image::kRunFailed);
    EXPECT_EQ(rig.p.state.errorText.view(), "Verify failed at Adr: 0020\n");
    EXPECT_EQ(rig.windows.activity.back().substr(0, 23), "Verify failed,rec: 0033");
}

TEST(Engine, MissingInputFile) {
    SimRig rig;
    rig.p.state.currentFileName.Assign(rig.dir.File("gone.hex"));
    EXPECT_EQ(image::RunEngine(rig.p), image::kRunFailed);
    EXPECT_EQ(rig.p.state.errorText.view(), "Cannot open input file.\n");
}

}  // namespace
}  // namespace ostrel::testing
