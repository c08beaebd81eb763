// SPDX-License-Identifier: MIT
#include "watch/FileNamePattern.h"
#include "watch/NameCase.h"

#include <gtest/gtest.h>

#include <string>

namespace tessaly {
namespace {

struct MatchCase {
    const char* pattern;
    const char* name;
    bool expected;
};

void PrintTo(const MatchCase& c, std::ostream* out)
{
    *out << '"' << c.pattern << "\" vs \"" << c.name << '"';
}

class FileNamePatternMatch : public ::testing::TestWithParam<MatchCase> {};

TEST_P(FileNamePatternMatch, GivesTheExpectedAnswer)
{
    const MatchCase& c = GetParam();
    std::string error;
    std::optional<FileNamePattern> pattern = FileNamePattern::Compile(c.pattern, &error);
    ASSERT_TRUE(pattern) << error;
    EXPECT_EQ(pattern->matches(c.name), c.expected);
}

INSTANTIATE_TEST_SUITE_P(WholeNameAndWildcards, FileNamePatternMatch, ::testing::Values(
    MatchCase{"", "", false},
    MatchCase{"", "a", false},
    MatchCase{"REPORT*", "report_01.doc", true},
    MatchCase{"*.DOC", "a.doc", true},
    MatchCase{"*.DOC", "A.DOC", true},
    MatchCase{"*.DOC", "a.docx", false},
    MatchCase{"*.doc", "b.Doc", true},
    MatchCase{"*.doc*", "x.DOCX", true},
    MatchCase{"*.doc*", "mydoc", false},
    MatchCase{"*.*", "readme", false},
    MatchCase{"*.*", "a.b", true},
    MatchCase{"*.*", ".hidden", true},
    MatchCase{"*", "anything at all", true},
    MatchCase{"**.doc", "a.doc", true},
    MatchCase{"a*b*c", "abc", true},
    MatchCase{"a*b*c", "aXbYcZc", true},
    MatchCase{"a*b*c", "acb", false},
    MatchCase{"abc", "abcd", false},
    MatchCase{"abcd", "abc", false},
    MatchCase{"?", "a", true},
    MatchCase{"?", "ab", false},
    MatchCase{"file#.txt", "file7.txt", true},
    MatchCase{"file#.txt", "filea.txt", false},
    MatchCase{"file#.txt", "file12.txt", false},
    MatchCase{"a]", "A]", true}));

INSTANTIATE_TEST_SUITE_P(Lists, FileNamePatternMatch, ::testing::Values(
    MatchCase{"[a-c]*", "B.txt", true},
    MatchCase{"[a-c]*", "d.txt", false},
    MatchCase{"[!a-c]*", "d.txt", true},
    MatchCase{"[!a-c]*", "a.txt", false},
    MatchCase{"[xa-cz]", "z", true},
    MatchCase{"[-a]x", "-x", true},
    MatchCase{"[a-]x", "-x", true},
    MatchCase{"[a-]x", "bx", false},
    MatchCase{"[!-]", "-", false},
    MatchCase{"[!-]", "q", true},
    MatchCase{"[*?#]", "?", true},
    MatchCase{"[*?#]", "x", false},
    MatchCase{"[a-a]", "A", true},
    MatchCase{"[]x", "x", false},
    MatchCase{"[!]", "x", true},
    MatchCase{"[[]", "[", true},
    MatchCase{"[あ-お]*", "い.doc", true},
    MatchCase{"[あ-お]*", "か.doc", false}));

INSTANTIATE_TEST_SUITE_P(CharactersBeyondAscii, FileNamePatternMatch, ::testing::Values(
    MatchCase{"?.doc", "報.doc", true},
    MatchCase{"??", "日本", true},
    MatchCase{"?", "日本", false},
    MatchCase{"報告*.DOC", "報告書.doc", true},
    MatchCase{"ＡＢＣ*", "ａｂｃ.txt", true},
    MatchCase{"É*", "été.doc", true},
    MatchCase{"÷", "÷", true},
    MatchCase{"÷", "×", false},
    MatchCase{"*Ω*", "ω.txt", true},
    MatchCase{"*Σ", "ς", true},
    MatchCase{"ПРИВЕТ*", "привет.doc", true},
    MatchCase{"Ё", "ё", true},
    MatchCase{"ß", "ß", true},
    MatchCase{"?.doc", "\xff.doc", true},
    MatchCase{"??A", "\xe3\x81" "a", true},
    MatchCase{"?A", "\xe3\x81" "a", false},
    MatchCase{"\xff*", "\xff" "1", true},
    MatchCase{"\xff*", "\xfe" "1", false},
    MatchCase{"?", "\xc0\xaf", false},
    MatchCase{"??", "\xc0\xaf", true}));

TEST(FileNamePattern, RejectsAnUnclosedListOrADescendingRange)
{
    for (const char* text : {"[abc", "*.[do", "[", "[!", "[z-a]*", "[b-A]"}) {
        std::string error;
        EXPECT_FALSE(FileNamePattern::Compile(text, &error)) << text;
        EXPECT_NE(error.find("invalid file-name pattern"), std::string::npos) << error;
        EXPECT_NE(error.find(text), std::string::npos) << error;
    }
}

TEST(FileNamePattern, ManyStarsOnALongNameFinishQuickly)
{
    // A matcher that backtracks over every star would not end in a test's
    // lifetime on this input.
    std::optional<FileNamePattern> pattern = FileNamePattern::Compile("*a*a*a*a*a*a*a*a*a*a*a*a*b");
    ASSERT_TRUE(pattern);
    EXPECT_FALSE(pattern->matches(std::string(5000, 'a')));
    EXPECT_TRUE(pattern->matches(std::string(5000, 'a') + "b"));
}

// Writes every letter of a star-and-letters pattern as a one-letter list,
// which means the same but cannot take the byte-wise short cut.
std::string AsLists(const std::string& pattern)
{
    std::string out;
    for (char c : pattern)
        out += c == '*' ? std::string("*") : std::string("[") + c + "]";
    return out;
}

TEST(FileNamePattern, ByteWiseShortCutAgreesWithCharacterMatching)
{
    const char* pieces[] = {"a", "B", ".", "doc", "*", "x", "報", "\xff", "Ｄ", "é"};
    const char* patternPieces[] = {"a", "b", ".", "DOC", "*", "*", "x", "."};
    unsigned state = 12345;
    auto next = [&state](unsigned n) { return (state = state * 1103515245u + 12345u) / 65536 % n; };
    int matched = 0;
    for (int round = 0; round < 20000; ++round) {
        std::string pattern, name;
        for (unsigned k = 1 + next(5); k > 0; --k)
            pattern += patternPieces[next(8)];
        for (unsigned k = next(7); k > 0; --k)
            name += pieces[next(10)];
        auto fast = FileNamePattern::Compile(pattern);
        auto slow = FileNamePattern::Compile(AsLists(pattern));
        ASSERT_TRUE(fast && slow);
        ASSERT_EQ(fast->matches(name), slow->matches(name)) << pattern << " vs " << name;
        matched += fast->matches(name);
    }
    EXPECT_GT(matched, 1000);
}

TEST(UpperCaseName, MapsTheLettersThePatternFolds)
{
    EXPECT_EQ(UpperCaseName("abc.Doc"), "ABC.DOC");
    EXPECT_EQ(UpperCaseName("äöüßÿ÷"), "ÄÖÜßÿ÷");
    EXPECT_EQ(UpperCaseName("ｔｅｓｔ報告"), "ＴＥＳＴ報告");
    EXPECT_EQ(UpperCaseName("αβγ жё"), "ΑΒΓ ЖЁ");
    EXPECT_EQ(UpperCaseName("a\xff" "b\xe3\x81"), "A\xff" "B\xe3\x81");
}

} // namespace
} // namespace tessaly
