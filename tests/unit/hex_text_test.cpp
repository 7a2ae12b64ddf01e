// Hex text rules of the send and receive paths.
#include <gtest/gtest.h>

#include <cstdio>

#include "transmit/hex_text.h"

namespace quenlet {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes parse(std::string_view text) {
    const std::string digits = removeBlanks(text);
    EXPECT_TRUE(isHexDigits(digits)) << text;
    return hexDigitsToBytes(digits);
}

TEST(HexText, BlanksAreSpacesAndLineBreaksOnly) {
    EXPECT_EQ(removeBlanks("41 42\r\n43"), "414243");
    EXPECT_EQ(removeBlanks("4 1"), "41");
    EXPECT_EQ(removeBlanks("41\t42"), "41\t42");
    EXPECT_EQ(removeBlanks(" \r\n "), "");
}

TEST(HexText, OnlyHexDigitsPass) {
    EXPECT_TRUE(isHexDigits(""));
    EXPECT_TRUE(isHexDigits("0123456789abcdefABCDEF"));
    EXPECT_FALSE(isHexDigits("0x41"));
    EXPECT_FALSE(isHexDigits("41\t42"));
    EXPECT_FALSE(isHexDigits("4g"));
    EXPECT_FALSE(isHexDigits(std::string("4\xC1")));  // top bit set is never a digit
    EXPECT_FALSE(isHexDigits(std::string("41\0", 3)));
}

TEST(HexText, DigitsPairFromTheStartAndALoneLastDigitStandsAlone) {
    EXPECT_EQ(parse("41 42\r\n43"), (Bytes{0x41, 0x42, 0x43}));
    EXPECT_EQ(parse("4142 4"), (Bytes{0x41, 0x42, 0x04}));
    EXPECT_EQ(parse("ABC"), (Bytes{0xAB, 0x0C}));
    EXPECT_EQ(parse("ff Fe 0a"), (Bytes{0xFF, 0xFE, 0x0A}));
    EXPECT_EQ(parse("4 1"), (Bytes{0x41}));
    EXPECT_TRUE(parse("  \r\n").empty());
}

TEST(HexText, PairsRoundTripEveryByteValue) {
    Bytes all(256);
    for (int i = 0; i < 256; ++i) all[i] = static_cast<std::uint8_t>(i);
    std::string text;
    appendHexPairs(text, all.data(), all.size());
    ASSERT_EQ(text.size(), 768u);
    for (int i = 0; i < 256; ++i) {
        char expected[4];
        std::snprintf(expected, sizeof expected, "%02X ", i);
        EXPECT_EQ(text.substr(i * 3, 3), expected);
    }
    EXPECT_EQ(parse(text), all);
}

TEST(HexText, PairsRunOnAcrossChunks) {
    std::string text;
    const std::uint8_t first[] = {0x41, 0x42};
    const std::uint8_t second[] = {0x43};
    appendHexPairs(text, first, 2);
    appendHexPairs(text, second, 1);
    EXPECT_EQ(text, "41 42 43 ");
}

}  // namespace
}  // namespace quenlet
