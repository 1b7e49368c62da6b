#include "link/codetext.h"
#include "link/receivedtext.h"

#include <gtest/gtest.h>

using namespace pj::link;

TEST(CodeText, separatorsAndSuffixedNotationReadTheSame) {
    const Bytes want{0xA0, 0x01, 0x0D};
    EXPECT_EQ(codeTextToBytes("A0 01 0d"), want);
    EXPECT_EQ(codeTextToBytes("a0010D"), want);
    EXPECT_EQ(codeTextToBytes("A0H 01H 0DH"), want);
}

TEST(CodeText, lowerCaseHSuffixesAreSeparatorsToo) {
    const Bytes want{0xA0, 0x01, 0x0D};
    EXPECT_EQ(codeTextToBytes("a0h 01h 0dh"), want);
    EXPECT_EQ(codeTextToBytes("a0h01h0dh"), want);
    EXPECT_EQ(codeTextToBytes("a0H 01h 0Dh"), want);
    EXPECT_EQ(parseCodeTextStrict("a0h 01h 0dh"), want);
}

TEST(CodeText, lenientReadingDropsLoneDigitAndTakesSeparatorAsSecondDigit) {
    EXPECT_EQ(codeTextToBytes("ABC"), (Bytes{0xAB}));
    EXPECT_EQ(codeTextToBytes("1 2"), (Bytes{0x10}));
    EXPECT_EQ(codeTextToBytes("zz"), (Bytes{0x00}));
    EXPECT_TRUE(codeTextToBytes("").empty());
    EXPECT_TRUE(codeTextToBytes("H").empty());
    EXPECT_TRUE(codeTextToBytes("   ").empty());
}

TEST(CodeText, asciiEntryRoundTrips) {
    EXPECT_EQ(asciiToCodeText("PWR"), "50 57 52 0d");
    EXPECT_EQ(asciiToCodeText(""), "00 0d");
    EXPECT_EQ(asciiToCodeText("\t\xB5"), "09 b5 0d");
    std::string ascii;
    EXPECT_EQ(codeTextToAscii("50 57 52 0d", ascii), 4u);
    EXPECT_EQ(ascii, "PWR");
    EXPECT_EQ(codeTextToAscii("41", ascii), 1u);
    EXPECT_EQ(ascii, "");
}

TEST(CodeText, strictReadingRefusesWhatLenientReadingGuesses) {
    EXPECT_EQ(parseCodeTextStrict("A0H 01H 0DH"), (Bytes{0xA0, 0x01, 0x0D}));
    EXPECT_EQ(parseCodeTextStrict(""), Bytes{});
    EXPECT_FALSE(parseCodeTextStrict("ABC"));
    EXPECT_FALSE(parseCodeTextStrict("1 2"));
    EXPECT_FALSE(parseCodeTextStrict("zz"));
    EXPECT_FALSE(parseCodeTextStrict("0x10"));
    EXPECT_EQ(bytesToCodeText({0xA0, 0x01, 0x0D}), "a0 01 0d");
}

TEST(ReceivedText, hexShowsTwoLowercaseDigitsAndASpacePerByte) {
    EXPECT_EQ(formatReceivedBlock(Bytes{0x41, 0x42, 0x0D}, false), "41 42 0d ");
    EXPECT_EQ(formatReceivedBlock(Bytes{0x05}, false), "05 ");
    EXPECT_EQ(formatReceivedBlock(Bytes{0xFF, 0x00}, false), "ff 00 ");
    EXPECT_EQ(formatReceivedBlock(Bytes{}, false), "");
}

TEST(ReceivedText, asciiShowsEachByteAsACharacterWithoutNulAndOneSpaceAfter) {
    EXPECT_EQ(formatReceivedBlock(Bytes{0x41, 0x42, 0x0D}, true), "AB\r ");
    EXPECT_EQ(formatReceivedBlock(Bytes{0x41, 0x00, 0x42}, true), "AB ");
    EXPECT_EQ(formatReceivedBlock(Bytes{0xB0, 0xA1}, true), "\xB0\xA1 ");
    EXPECT_EQ(formatReceivedBlock(Bytes{}, true), " ");
}
