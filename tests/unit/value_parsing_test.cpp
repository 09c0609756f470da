#include <gtest/gtest.h>

#include <limits>

#include "settings/value_parsing.h"

namespace ruvello {
namespace {

struct NumberCase {
    const char* text;
    std::int32_t expected;
    friend void PrintTo(const NumberCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }
};

class NumberTexts : public ::testing::TestWithParam<NumberCase> {};

TEST_P(NumberTexts, ReadAsIntervalWithDefault60) {
    EXPECT_EQ(ParseLongOrDefault(GetParam().text, 60), GetParam().expected)
        << '"' << GetParam().text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Settings, NumberTexts,
    ::testing::Values(NumberCase{" 30 ", 30}, NumberCase{"30s", 30}, NumberCase{"1.5", 2},
                      NumberCase{"2.5", 2}, NumberCase{"3.5", 4}, NumberCase{"0.4", 60},
                      NumberCase{"0.5", 60}, NumberCase{"-10", 60}, NumberCase{"abc", 60},
                      NumberCase{"", 60}, NumberCase{"1e3", 1000}, NumberCase{"1E+2", 100},
                      NumberCase{"1 000", 1000}, NumberCase{"&H1E", 30}, NumberCase{"&h1e", 30},
                      NumberCase{"&O17", 15}, NumberCase{"&HG", 60}, NumberCase{"&X5", 60},
                      NumberCase{"1,5", 1}, NumberCase{"\t4\n5", 45}, NumberCase{"+7", 7},
                      NumberCase{"--7", 60}, NumberCase{".5e1", 5}, NumberCase{"5.", 5},
                      NumberCase{"2e", 2}, NumberCase{"2e-", 2}, NumberCase{"1e-999", 60},
                      NumberCase{"0", 60}));

TEST(NumberTextsBeyondRange, CountAsTheLargestNumber) {
    constexpr auto kLargest = std::numeric_limits<std::int32_t>::max();
    EXPECT_EQ(ParseLongOrDefault("3000000000", 60), kLargest);
    EXPECT_EQ(ParseLongOrDefault("1e999", 60), kLargest);
    EXPECT_EQ(ParseLongOrDefault("&HFFFFFFFFFF", 60), kLargest);
    EXPECT_EQ(ParseLongOrDefault("2147483647", 60), kLargest);
    EXPECT_EQ(ParseLongOrDefault("-3000000000", 60), 60);
    EXPECT_EQ(ParseLongOrDefault("-1e999", 60), 60);
}

struct WordCase {
    const char* text;
    bool expected;
    friend void PrintTo(const WordCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }
};

class BooleanWords : public ::testing::TestWithParam<WordCase> {};

TEST_P(BooleanWords, ReadWithDefaultTrue) {
    EXPECT_EQ(ParseBool(GetParam().text, true), GetParam().expected)
        << '"' << GetParam().text << '"';
}

INSTANTIATE_TEST_SUITE_P(Settings, BooleanWords,
                         ::testing::Values(WordCase{"Ja", true}, WordCase{" NEIN ", false},
                                           WordCase{"Wahr", true}, WordCase{"falsch", false},
                                           WordCase{"FALSE", false}, WordCase{"0", false},
                                           WordCase{"no", false}, WordCase{"Off", false},
                                           WordCase{"2", true}, WordCase{"-1", true},
                                           WordCase{"01", true}, WordCase{"", true},
                                           WordCase{"\tno", true}, WordCase{"nope", true}));

TEST(BooleanWordsWithDefaultFalse, UnknownWordsGiveTheDefault) {
    EXPECT_FALSE(ParseBool("vielleicht", false));
    EXPECT_TRUE(ParseBool("yes", false));
    EXPECT_TRUE(ParseBool("ON", false));
    EXPECT_TRUE(ParseBool("1", false));
}

}  // namespace
}  // namespace ruvello
