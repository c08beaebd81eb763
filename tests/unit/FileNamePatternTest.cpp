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

TEST(FileNamePattern, MatchesWholeNamesWithWildcardsListsAndAnyScript)
{
    // clang-format off
    const MatchCase cases[] = {
        // Whole name and wildcards
        {"", "", false}, {"", "a", false}, {"REPORT*", "report_01.doc", true},
        {"*.DOC", "a.doc", true}, {"*.DOC", "a.docx", false}, {"*.doc", "b.Doc", true},
        {"*.doc*", "x.DOCX", true}, {"*.doc*", "mydoc", false}, {"*.*", "readme", false},
        {"*.*", "a.b", true}, {"*.*", ".hidden", true}, {"*", "anything at all", true},
        {"**.doc", "a.doc", true}, {"a*b*c", "abc", true}, {"a*b*c", "aXbYcZc", true},
        {"a*b*c", "acb", false}, {"abc", "abcd", false}, {"abcd", "abc", false},
        {"?", "a", true}, {"?", "ab", false}, {"file#.txt", "file7.txt", true},
        {"file#.txt", "filea.txt", false}, {"file#.txt", "file12.txt", false}, {"a]", "A]", true},
        // Lists
        {"[a-c]*", "B.txt", true}, {"[a-c]*", "d.txt", false}, {"[!a-c]*", "d.txt", true},
        {"[!a-c]*", "a.txt", false}, {"[xa-cz]", "z", true}, {"[-a]x", "-x", true},
        {"[a-]x", "-x", true}, {"[a-]x", "bx", false}, {"[!-]", "-", false},
        {"[!-]", "q", true}, {"[*?#]", "?", true}, {"[*?#]", "x", false},
        {"[a-a]", "A", true}, {"[]x", "x", false}, {"[!]", "x", true},
        {"[[]", "[", true}, {"[あ-お]*", "い.doc", true}, {"[あ-お]*", "か.doc", false},
        // Characters beyond ASCII, and bytes that are not UTF-8
        {"?.doc", "報.doc", true}, {"??", "日本", true}, {"?", "日本", false},
        {"報告*.DOC", "報告書.doc", true}, {"ＡＢＣ*", "ａｂｃ.txt", true}, {"É*", "été.doc", true},
        {"÷", "÷", true}, {"÷", "×", false}, {"*Ω*", "ω.txt", true},
        {"*Σ", "ς", true}, {"ПРИВЕТ*", "привет.doc", true}, {"Ё", "ё", true},
        {"ß", "ß", true}, {"?.doc", "\xff.doc", true}, {"??A", "\xe3\x81" "a", true},
        {"?A", "\xe3\x81" "a", false}, {"\xff*", "\xff" "1", true}, {"\xff*", "\xfe" "1", false},
        {"?", "\xc0\xaf", false}, {"??", "\xc0\xaf", true},
    };
    // clang-format on
    for (const MatchCase& c : cases) {
        std::string error;
        std::optional<FileNamePattern> pattern = FileNamePattern::Compile(c.pattern, &error);
        ASSERT_TRUE(pattern) << c.pattern << ": " << error;
        EXPECT_EQ(pattern->matches(c.name), c.expected) << '"' << c.pattern << "\" vs \"" << c.name << '"';
    }
}

TEST(FileNamePattern, RejectsAnUnclosedListOrADescendingRange)
{
    for (const char* text : {"[abc", "*.[do", "[", "[!", "[z-a]*", "[b-A]"}) {
        std::string error;
        EXPECT_FALSE(FileNamePattern::Compile(text, &error)) << text;
        EXPECT_NE(error.find("が正しくありません"), std::string::npos) << error;
        EXPECT_NE(error.find(text), std::string::npos) << error;
    }
}

TEST(FileNamePattern, ManyStarsOnALongNameFinishQuickly)
{
    // A matcher that backtracks over every star would not end on this input.
    std::optional<FileNamePattern> pattern = FileNamePattern::Compile("*a*a*a*a*a*a*a*a*a*a*a*a*b");
    ASSERT_TRUE(pattern);
    EXPECT_FALSE(pattern->matches(std::string(5000, 'a')));
    EXPECT_TRUE(pattern->matches(std::string(5000, 'a') + "b"));
}

// Each letter as a one-letter list: the same meaning, without the byte-wise short cut.
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
    EXPECT_EQ(UpperCaseName(std::string("a\xff") + "b\xe3\x81"), std::string("A\xff") + "B\xe3\x81");
}

} // namespace
} // namespace tessaly
