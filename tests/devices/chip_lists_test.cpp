// The chips that the instructions dialog offers lock bits and RCEN for.
#include "devices/chip_lists.h"

#include <gtest/gtest.h>

namespace ostrel::testing {
namespace {

TEST(ChipLists, LockBitListHoldsExactlyTheElevenClassicSignatures) {
    for (const char* sig : {"1E9001 ", "1E9101 ", "1E9102 ", "1E9105 ", "1E9203 ", "1E9201 ",
                            "1E9301 ", "1E9202 ", "1E9303 ", "1E9005 ", "1E9006 "})
        EXPECT_TRUE(devices::LockBitsListed(sig)) << sig;
    for (const char* sig :
         {"1E9307 ", "1E9103 ", "1E9106 ", "1E9403 ", "1E930", "", "1e9301 ", "009301 ", "FFFFFF "})
        EXPECT_FALSE(devices::LockBitsListed(sig)) << sig;
    // Only the first six characters count.
    EXPECT_TRUE(devices::LockBitsListed("1E9301"));
    EXPECT_TRUE(devices::LockBitsListed("1E9301xyz"));
}

TEST(ChipLists, RcenChipsAreFamily91WithPart03Or06) {
    EXPECT_TRUE(devices::IsRcenChip(0x91, 0x03));
    EXPECT_TRUE(devices::IsRcenChip(0x91, 0x06));
    EXPECT_FALSE(devices::IsRcenChip(0x91, 0x01));
    EXPECT_FALSE(devices::IsRcenChip(0x91, 0x02));
    EXPECT_FALSE(devices::IsRcenChip(0x93, 0x03));
    EXPECT_FALSE(devices::IsRcenChip(0x90, 0x06));
}

}  // namespace
}  // namespace ostrel::testing
