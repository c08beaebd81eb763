// SPDX-License-Identifier: MIT
#include "common/PathField.h"
#include "common/Cp932.h"

#include <gtest/gtest.h>

namespace tessaly {
namespace {

TEST(PathField, PathsShiftJisHoldsAreWrittenAsTheWindowsProgramWritesThem)
{
    for (const char* path : {"", "/srv/共有/plan.doc", "C:\\docs\\plan.doc", "/a%41b/100%.doc", "/x|y", "ｶﾀｶﾅ～"}) {
        EXPECT_TRUE(IsPlainPathField(path)) << path;
        EXPECT_EQ(EncodePathField(path), Utf8ToCp932(path)) << path;
        EXPECT_EQ(DecodePathField(Utf8ToCp932(path)), path) << path;
    }
}

TEST(PathField, AnyOtherPathIsEscapedAndComesBackExactly)
{
    const std::pair<std::string, std::string> cases[] = {
        {"/home/u/Résumés", "|/home/u/R%C3%A9sum%C3%A9s"},
        {"/文書/〜.txt", Utf8ToCp932("|/文書/") + "%E3%80%9C.txt"}, // U+301C would come back as U+FF5E
        {"😀.doc", "|%F0%9F%98%80.doc"},
        {"カ\u3099", Utf8ToCp932("|カ") + "%E3%82%99"}, // decomposed kana
        {"bad\xFF\xC3.doc", "|bad%FF%C3.doc"},          // not UTF-8
        {"a,b.doc", "|a%2Cb.doc"},
        {"a\r\nb\tc", "|a%0D%0Ab%09c"},
        {"|lead|mid", "|%7Clead|mid"},
        {"100%,", "|100%25%2C"},
    };
    for (const auto& [path, field] : cases) {
        EXPECT_FALSE(IsPlainPathField(path)) << path;
        EXPECT_EQ(EncodePathField(path), field) << path;
        EXPECT_EQ(DecodePathField(field), path) << path;
        EXPECT_EQ(field.find_first_of(",\r\n\t"), std::string::npos) << path;
    }
}

TEST(PathField, DecodingIsLenientWithFieldsItDidNotWrite)
{
    EXPECT_EQ(DecodePathField("|%41%4a%zz%4"), "AJ%zz%4");
    EXPECT_EQ(DecodePathField("|"), "");
    EXPECT_EQ(DecodePathField("|%"), "%");
    // Bytes that are not Shift-JIS never stop a read.
    EXPECT_EQ(DecodePathField("\x81"), "?");
}

TEST(PathField, ValidUtf8ReplacesEveryBadByte)
{
    EXPECT_EQ(ValidUtf8("Résumé 😀"), "Résumé 😀");
    EXPECT_EQ(ValidUtf8("a\xFF"
                        "b"),
              "a\uFFFDb");
    EXPECT_EQ(ValidUtf8("\xE3\x80"), "\uFFFD\uFFFD");           // cut short
    EXPECT_EQ(ValidUtf8("\xED\xA0\x80"), "\uFFFD\uFFFD\uFFFD"); // a surrogate
    EXPECT_EQ(ValidUtf8("\xC0\xAF"), "\uFFFD\uFFFD");           // overlong
}

} // namespace
} // namespace tessaly
