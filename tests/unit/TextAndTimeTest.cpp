// SPDX-License-Identifier: MIT
#include "common/AutomationDate.h"
#include "common/Cp932.h"
#include "common/DataFolder.h"
#include "common/DateText.h"
#include "common/FileSystem.h"
#include "common/Json.h"
#include "common/NumericText.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <sys/stat.h>

namespace tessaly {
namespace {

TEST(Cp932, ConvertsBothWaysWithTheWindowsMappings)
{
    // 購読 full-width (two bytes each), ﾌｧｲﾙ half-width katakana (one byte each).
    EXPECT_EQ(Utf8ToCp932("購読ﾌｧｲﾙ"), "\x8d\x77\x93\xc7\xcc\xa7\xb2\xd9");
    EXPECT_EQ(Cp932ToUtf8("\x8d\x77\x93\xc7\xcc\xa7\xb2\xd9"), "購読ﾌｧｲﾙ");
    // Wave dash and the NEC/IBM extensions as Windows maps them.
    EXPECT_EQ(Cp932ToUtf8("\x81\x60"), "～");
    EXPECT_EQ(Cp932ToUtf8("\x87\x40"), "①");
    EXPECT_EQ(Cp932ToUtf8("\\~"), "\\~");
    EXPECT_EQ(Utf8ToCp932("～①"), "\x81\x60\x87\x40");
}

TEST(Cp932, ReplacesWhatCannotBeConvertedAndGoesOn)
{
    bool lossless = true;
    EXPECT_EQ(Utf8ToCp932("a😀b€c", &lossless), "a?b?c");
    EXPECT_FALSE(lossless);
    EXPECT_EQ(Utf8ToCp932(std::string("a\xff") + "b"), "a?b"); // invalid UTF-8
    // A lead byte without its trail byte, alone and at the end.
    EXPECT_EQ(Cp932ToUtf8(std::string("\x82") + "A\x8d"), "?A?");
    EXPECT_EQ(Cp932ToUtf8("x\xa0y"), "x?y");
    EXPECT_TRUE(IsCp932Representable("購読 ﾌｧｲﾙ abc"));
    EXPECT_FALSE(IsCp932Representable("Ελληνικά 😀"));
}

TEST(AutomationDate, CountsDaysFrom1899)
{
    EXPECT_DOUBLE_EQ(ToAutomationDate({1899, 12, 30, 0, 0, 0}), 0.0);
    EXPECT_DOUBLE_EQ(ToAutomationDate({1900, 1, 1, 0, 0, 0}), 2.0);
    EXPECT_DOUBLE_EQ(ToAutomationDate({1970, 1, 1, 12, 0, 0}), 25569.5);
    EXPECT_DOUBLE_EQ(ToAutomationDate({1601, 1, 1, 0, 0, 0}), kFileTimeZero);
    // Before 1899-12-30 the fraction still runs forward from midnight.
    EXPECT_DOUBLE_EQ(ToAutomationDate({1899, 12, 29, 6, 0, 0}), -1.25);
    EXPECT_EQ(FromAutomationDate(-1.25), (CivilDateTime{1899, 12, 29, 6, 0, 0}));
}

TEST(AutomationDate, RoundsToTheNearestSecondForDisplay)
{
    CivilDateTime late{2026, 12, 31, 23, 59, 59, 600000000};
    EXPECT_EQ(FormatDateTime(ToAutomationDate(late)), "2027/01/01 00:00:00");
    CivilDateTime early{2026, 12, 6, 9, 29, 59, 400000000};
    EXPECT_EQ(FormatDateTime(ToAutomationDate(early)), "2026/12/06 09:29:59");
}

TEST(DateText, FormatsThePatternsInUse)
{
    AutomationDate value = ToAutomationDate({2026, 12, 6, 14, 5, 9});
    EXPECT_EQ(FormatDateTime(value), "2026/12/06 14:05:09");
    EXPECT_EQ(FormatDate(value), "2026/12/06");
    EXPECT_EQ(FormatHistoryTime(value), "26年12月06_14:05:09");
    EXPECT_EQ(FormatManagementNo(value), "1405090612");
    EXPECT_EQ(FormatHistoryTime(ToAutomationDate({2005, 1, 2, 3, 4, 5})), "05年01月02_03:04:05");
}

TEST(DateText, ParsesTheAcceptedFormsOnly)
{
    const AutomationDate full = ToAutomationDate({2026, 12, 6, 14, 5, 9});
    const AutomationDate minute = ToAutomationDate({2026, 12, 6, 14, 5, 0});
    const AutomationDate day = ToAutomationDate({2026, 12, 6, 0, 0, 0});
    struct Case {
        const char* text;
        std::optional<AutomationDate> expected;
    } cases[] = {
        {"2026/12/06 14:05:09", full},
        {"2026/12/6 14:05:09", full},
        {"2026/12/06 14:05", minute},
        {"2026/12/6", day},
        {" 2026/12/06 ", day},
        {"2026/1/2 3:04:05", ToAutomationDate({2026, 1, 2, 3, 4, 5})},
        {"2026-12-06", day},
        {"2026-12-06 14:05:09", full},
        {"2026-12-06 14:05", minute},
        {"1900/01/01 00:00:00", ToAutomationDate({1900, 1, 1, 0, 0, 0})},
        {"2024/02/29", ToAutomationDate({2024, 2, 29, 0, 0, 0})},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseDateTime(c.text), c.expected) << c.text;
    for (const char* bad :
         {"", "2026/12", "2026/13/01", "2026/02/29", "2026/12/06 24:00:00", "2026/12/06 14:5", "2026-12-6",
          "2026/12-06", "26/12/06", "2026/12/06T14:05:09", "2026/12/06 14:05:09 extra", "yesterday"})
        EXPECT_EQ(ParseDateTime(bad), std::nullopt) << bad;
}

TEST(NumericText, ParsesNumbersAndRoundsHalvesToEven)
{
    const std::pair<const char*, int> numbers[] = {{"1", 1},     {" 2 ", 2},       {"-1", -1},
                                                   {"0.5", 0},   {"1.5", 2},       {"2.5", 2},
                                                   {"1e2", 100}, {"32767", 32767}, {"-32768.4", -32768}};
    for (auto [text, value] : numbers)
        EXPECT_EQ(ParseInt16(text), value) << text;
    for (const char* bad : {"", " ", "a", "1a", "1.2.3", "32768", "inf", "nan", "0x10", "1e", "+", "."})
        EXPECT_FALSE(ParseInt16(bad).has_value()) << bad;
    EXPECT_EQ(RoundHalfEven(4.5), 4.0);
    EXPECT_EQ(RoundHalfEven(4.6), 5.0);
    EXPECT_EQ(RoundHalfEven(-2.5), -2.0);
}

TEST(FlatJson, ReadsTheMembersOfATokenAnswerAndRefusesWhatIsNotJson)
{
    const std::optional<FlatJson> json =
        ParseFlatJson(R"( {"access_token":"a\/b\u00e9\ud83d\ude00","expires_in":3599,"ext":{"x":[1,{"y":"z"}]},)"
                      R"("ok":true,"none":null,"interval":"5","error":"x","error":"last"} )");
    ASSERT_TRUE(json.has_value());
    EXPECT_EQ(json->text("access_token"), "a/b\u00e9\U0001F600");
    EXPECT_EQ(json->integer("expires_in"), 3599);
    EXPECT_EQ(json->integer("interval"), 5);
    EXPECT_EQ(json->text("error"), "last");
    EXPECT_EQ(json->text("y"), ""); // nested members are passed over
    EXPECT_FALSE(json->integer("access_token").has_value());
    EXPECT_FALSE(json->integer("missing").has_value());
    const std::string deep = std::string(40, '[') + std::string(40, ']');
    for (const std::string& bad : std::vector<std::string>{
             "", "[]", "{", R"({"a":1,})", R"({"a":"\ud800"})", R"({"a":"\x"})", "{\"a\":\"\n\"}", R"({"a":01x})",
             R"({"a":1} x)", "{\"a\":" + deep + "}", R"({"a":tru})", R"({"a":-})", "<html>"})
        EXPECT_FALSE(ParseFlatJson(bad).has_value()) << bad;
}

TEST(DataFolder, PrefersDirThenPortableThenXdg)
{
    test::TempFolder temp;
    std::string error;
    DataFolderInputs inputs;
    inputs.executableFolder = temp.file("exe");
    inputs.xdgDataHome = temp.file("xdg");
    inputs.home = temp.file("home");
    ::mkdir(inputs.executableFolder.c_str(), 0755);

    EXPECT_EQ(ResolveDataFolder(inputs, &error), temp.file("xdg/tessaly"));
    struct stat st {};
    ASSERT_EQ(::stat(temp.file("xdg/tessaly").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    inputs.xdgDataHome = "relative/ignored";
    EXPECT_EQ(ResolveDataFolder(inputs, &error), temp.file("home/.local/share/tessaly"));

    test::WriteFile(JoinPath(inputs.executableFolder, "subscription.dat"), ",,,,,,,\r\n");
    EXPECT_EQ(ResolveDataFolder(inputs, &error), inputs.executableFolder);

    inputs.explicitFolder = temp.file("given/");
    EXPECT_EQ(ResolveDataFolder(inputs, &error), temp.file("given"));
    EXPECT_TRUE(IsDirectory(temp.file("given")));
}

TEST(DataFolder, DirBeatsTessalyDirBeatsTheConfigurationFileBeatsTheDefault)
{
    test::TempFolder temp;
    struct Case {
        const char* what;
        std::optional<std::string> dir;
        std::string environment;
        std::optional<std::string> config;
        std::string chosen;
    };
    const std::string conf = "dir=" + temp.file("conf") + "\n";
    const Case cases[] = {
        {"--dir", temp.file("dir"), temp.file("env"), conf, temp.file("dir")},
        {"TESSALY_DIR", std::nullopt, temp.file("env/"), conf, temp.file("env")},
        {"dir= among comments and blanks", std::nullopt, "",
         "# where the data lives\n\n  \t\r\n  dir =  " + temp.file("conf") + " \r\nlater=1\n", temp.file("conf")},
        {"dir= under the home folder", std::nullopt, "", "dir=~/data\n", temp.file("home/data")},
        {"a file without dir=", std::nullopt, "", "# nothing yet\nother=x\n", temp.file("xdg/tessaly")},
        {"no file", std::nullopt, "", std::nullopt, temp.file("xdg/tessaly")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DataFolderInputs inputs;
        inputs.explicitFolder = c.dir;
        inputs.environmentFolder = c.environment;
        inputs.configPath = temp.file("tessaly.conf");
        inputs.configText = c.config;
        inputs.xdgDataHome = temp.file("xdg");
        inputs.home = temp.file("home");
        std::string error;
        EXPECT_EQ(ResolveDataFolder(inputs, &error), c.chosen) << error;
    }
}

TEST(DataFolder, AConfigurationFileThatCannotBeUnderstoodIsAnError)
{
    test::TempFolder temp;
    for (const char* text : {"dir=data\n", "dir=\n", "# fine\ndir /x\n", "dir=~other/x\n"}) {
        DataFolderInputs inputs;
        inputs.configPath = temp.file("tessaly.conf");
        inputs.configText = text;
        inputs.home = temp.file("home");
        std::string error;
        EXPECT_FALSE(ResolveDataFolder(inputs, &error).has_value()) << text;
        EXPECT_NE(error.find(temp.file("tessaly.conf") + " line "), std::string::npos) << error;
        // Only consulted when neither --dir nor TESSALY_DIR decides.
        inputs.environmentFolder = temp.file("env");
        EXPECT_EQ(ResolveDataFolder(inputs, &error), temp.file("env")) << error;
    }
    // A file that is there but cannot be read is not taken for no file.
    ASSERT_EQ(::setenv("XDG_CONFIG_HOME", temp.path().c_str(), 1), 0);
    ::unsetenv("TESSALY_DIR");
    ASSERT_EQ(::mkdir(temp.file("tessaly").c_str(), 0700), 0);
    ASSERT_EQ(::mkfifo(temp.file("tessaly/tessaly.conf").c_str(), 0600), 0);
    const DataFolderInputs current = CurrentDataFolderInputs(std::nullopt);
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(current.configPath, temp.file("tessaly/tessaly.conf"));
    std::string error;
    EXPECT_FALSE(ResolveDataFolder(current, &error).has_value());
    EXPECT_NE(error.find("is not a regular file"), std::string::npos) << error;
}

TEST(DataFolder, AFolderThatMustExistIsNeverMade)
{
    test::TempFolder temp;
    DataFolderInputs inputs;
    inputs.explicitFolder = temp.file("typo/data");
    std::string error;
    EXPECT_FALSE(ResolveDataFolder(inputs, &error, DataFolderCreation::MustExist).has_value());
    EXPECT_EQ(error, "the data folder " + temp.file("typo/data") + " does not exist");
    EXPECT_FALSE(PathExists(temp.file("typo")));
    inputs.explicitFolder = temp.path();
    EXPECT_EQ(ResolveDataFolder(inputs, &error, DataFolderCreation::MustExist), temp.path()) << error;
}

TEST(DataFolder, ReportsAFolderThatCannotBeHad)
{
    test::TempFolder temp;
    test::WriteFile(temp.file("file"), "x");
    DataFolderInputs inputs;
    inputs.explicitFolder = temp.file("file");
    std::string error;
    EXPECT_FALSE(ResolveDataFolder(inputs, &error).has_value());
    EXPECT_NE(error.find("not a folder"), std::string::npos) << error;
    inputs.explicitFolder = "";
    EXPECT_FALSE(ResolveDataFolder(inputs, &error).has_value());
}

} // namespace
} // namespace tessaly
