// SPDX-License-Identifier: MIT
// Which values of the settings can work, and how a value that cannot is read.
#include "settings/CheckedSettings.h"

#include <gtest/gtest.h>

namespace tessaly {
namespace {

constexpr const char* kHalfWidth = "半角数字で指定してください。";

TEST(SettingValueProblem, EachNumericKeyTakesWhatCanWork)
{
    struct Case {
        const char* key;
        std::vector<std::string> works;
        std::vector<std::string> fails;
    };
    const std::vector<Case> cases = {
        // The limit is compared as a number: every form that compares stays good.
        {"Conf_MaxSize", {"10", "0", " 2.5 ", ".5", "1e2", "+3"}, {"", "abc", "10MB", "-5", "-0.1", "1,5"}},
        {"Conf_Interval", {"", "1", "05", "44640"}, {"0", "44641", "50000", "-5", "2.5", " 5", "abc", "99999999999"}},
        {"Conf_SmtpPort", {"", "25", " 587 ", "0025", "65535"}, {"0", "70000", "-5", "+25", "abc", "2 5"}},
        {"Conf_PopPort", {"", "110"}, {"65536", "pop3"}},
        {"Conf_Settle", {"0", "60", "060"}, {"", "61", "5000", "-1", "2.5", " 5"}},
        {"Conf_Mail", {"0", "1", " 1 ", "0.5"}, {"2", "-1", "1.5", "yes", ""}},
        {"Conf_Instant", {"1"}, {"40000"}},
        {"Conf_SmtpSrv", {"", "１０", "smtp.example.jp"}, {}},
        {"Conf_MailAuth", {"0", "1", "2", "3"}, {"4", "-1", "oauth", ""}},
        // Token addresses: https with a host, plain http only to this machine.
        {"Conf_OAuthTokenUrl",
         {"", "https://login.example.com/token", "http://127.0.0.1:8080/token", "http://localhost/t"},
         {"http://login.example.com/token", "https://", "https:///x", "http://127.0.0.1.evil.example/", "ftp://x",
          "https://a b", "login.example.com"}},
        {"Conf_OAuthDeviceUrl", {"https://oauth2.googleapis.com/device/code"}, {"http://10.0.0.1/device"}},
        {"Conf_OAuthAuthUrl", {"", "https://id.example.com/authorize"}, {"http://id.example.com/authorize"}},
        {"Conf_OAuthSecret", {"", "GOCSPX-abc_123"}, {"two words", "line\nbreak"}},
    };
    for (const Case& c : cases) {
        for (const std::string& value : c.works)
            EXPECT_EQ(SettingValueProblem(c.key, value), "") << c.key << " 「" << value << "」";
        for (const std::string& value : c.fails) {
            const std::string reason = SettingValueProblem(c.key, value);
            EXPECT_FALSE(reason.empty()) << c.key << " 「" << value << "」";
            EXPECT_NE(reason, kHalfWidth) << c.key << " 「" << value << "」";
        }
    }
    // Full-width digits are told apart, for every numeric key.
    for (const char* key : {"Conf_MaxSize", "Conf_Interval", "Conf_SmtpPort", "Conf_Settle", "Conf_Balloon"})
        EXPECT_EQ(SettingValueProblem(key, "１０"), kHalfWidth) << key;
    EXPECT_EQ(SettingValueProblem("Conf_Interval", "0"), "1から44640までの整数(分)で指定してください。");
    EXPECT_EQ(SettingValueProblem("Conf_Settle", "5000"), "0から60までの整数(秒)で指定してください。");
}

TEST(OAuthSettingsProblem, OAuthNeedsAClientIdAndForOtherProvidersATokenAddress)
{
    BasicSettings settings;
    EXPECT_EQ(OAuthSettingsProblem(settings), "");
    settings.Conf_MailAuth = kMailAuthGoogle;
    EXPECT_NE(OAuthSettingsProblem(settings).find("Conf_OAuthClient"), std::string::npos);
    settings.Conf_OAuthClient = "id";
    EXPECT_EQ(OAuthSettingsProblem(settings), "");
    settings.Conf_MailAuth = kMailAuthOther;
    EXPECT_NE(OAuthSettingsProblem(settings).find("Conf_OAuthTokenUrl"), std::string::npos);
    settings.Conf_OAuthTokenUrl = "https://id.example.com/token";
    EXPECT_EQ(OAuthSettingsProblem(settings), "");
    // OAUTHBEARER for any provider but Microsoft 365, which takes XOAUTH2.
    settings.Conf_OAuthBearer = 1;
    EXPECT_EQ(OAuthSettingsProblem(settings), "");
    settings.Conf_MailAuth = kMailAuthMicrosoft;
    EXPECT_NE(OAuthSettingsProblem(settings).find("Conf_OAuthBearer"), std::string::npos);
}

TEST(ReadCheckedSettings, BadValuesAreReadSafelyAndToldWhenInUse)
{
    struct Case {
        const char* name;
        BasicSettings settings;
        double maxSize;
        std::optional<int> interval;
        int settle;
        std::vector<std::string_view> problems;
    };
    // "KEY=VALUE|KEY=VALUE" over the settings of a new data folder.
    const auto with = [](std::string_view values) {
        BasicSettings settings = FreshBasicSettings();
        while (!values.empty()) {
            const std::string_view pair = values.substr(0, values.find('|'));
            values.remove_prefix(std::min(values.size(), pair.size() + 1));
            const std::string_view key = pair.substr(0, pair.find('='));
            EXPECT_TRUE(SetBasicSetting(settings, *FindBasicSetting(key), pair.substr(key.size() + 1))) << pair;
        }
        return settings;
    };
    const std::vector<Case> cases = {
        {"a new folder", with(""), 10, 10, 5, {}},
        {"good values",
         with("Conf_Mail=1|Conf_MailAdd=1|Conf_MaxSize= 2.5 |Conf_Interval=05|Conf_Settle=0|Conf_SmtpPort=587"),
         2.5,
         5,
         0,
         {}},
        {"no timed checks", with("Conf_Interval="), 10, std::nullopt, 5, {}},
        {"unused bad values", with("Conf_MaxSize=abc|Conf_SmtpPort=x|Conf_PopPort=x"), 10, 10, 5, {}},
        {"bad values in use",
         with("Conf_Mail=1|Conf_MailAdd=1|Conf_MaxSize=10MB|Conf_Interval=-5|Conf_Settle=abc|Conf_SmtpPort=70000|"
              "Conf_PopPort=x"),
         10,
         std::nullopt,
         5,
         {"Conf_SmtpPort", "Conf_MaxSize", "Conf_Interval", "Conf_Settle"}},
        {"POP before SMTP", with("Conf_Mail=1|Conf_PopBeforeSMTP=1|Conf_PopPort=0"), 10, 10, 5, {"Conf_PopPort"}},
        {"odd flags", with("Conf_Balloon=2|Conf_zip=-1"), 10, 10, 5, {"Conf_Balloon", "Conf_zip"}},
        {"a long settle", with("Conf_Settle=600"), 10, 10, 60, {"Conf_Settle"}},
        {"an endless settle", with("Conf_Settle=99999999999999999999"), 10, 10, 60, {"Conf_Settle"}},
        {"a full-width settle", with("Conf_Settle=５"), 10, 10, 5, {"Conf_Settle"}},
        {"no settle", with("Conf_Settle="), 10, 10, 5, {"Conf_Settle"}},
    };
    for (const Case& c : cases) {
        std::vector<SettingProblem> problems;
        const CheckedSettings checked = ReadCheckedSettings(c.settings, &problems);
        EXPECT_EQ(checked.maxSizeMegabytes, c.maxSize) << c.name;
        EXPECT_EQ(checked.intervalMinutes, c.interval) << c.name;
        EXPECT_EQ(checked.settleSeconds, c.settle) << c.name;
        std::vector<std::string_view> keys;
        for (const SettingProblem& problem : problems)
            keys.push_back(problem.key);
        EXPECT_EQ(keys, c.problems) << c.name;
        EXPECT_EQ(ReadCheckedSettings(c.settings).settleSeconds, c.settle) << c.name;
    }
}

TEST(ReadCheckedSettings, AProblemIsOneLineThatSaysWhatIsDoneInstead)
{
    BasicSettings settings;
    settings.Conf_Mail = 1;
    settings.Conf_MailAdd = 1;
    settings.Conf_MaxSize = "１０";
    settings.Conf_Interval = "5\r\n" + std::string(60, '9');
    settings.Conf_Settle = "あいうえおかきくけこさしすせそ"; // 45 bytes: cut at a character
    std::vector<SettingProblem> problems;
    ReadCheckedSettings(settings, &problems);
    ASSERT_EQ(problems.size(), 3u);
    EXPECT_EQ(problems[0].text(),
              "Conf_MaxSize「１０」は使えません。半角数字で指定してください。最大ｻｲｽﾞを10MBとして扱います。");
    EXPECT_EQ(problems[1].text(), "Conf_Interval「5??" + std::string(37, '9') +
                                      "…」は使えません。1から44640までの整数(分)で指定してください。"
                                      "定期的なﾁｪｯｸはしません。");
    EXPECT_EQ(problems[2].text(), "Conf_Settle「あいうえおかきくけこさしす…」は使えません。"
                                  "0から60までの整数(秒)で指定してください。5秒として扱います。");
}

TEST(CheckedSettings, AnAttachmentGoesWhenItsRoundedSizeIsBelowTheLimit)
{
    constexpr int64_t kMiB = 1024 * 1024;
    struct Case {
        double limit;
        int64_t bytes;
        bool attachable;
    };
    for (const Case& c : std::vector<Case>{{10, 9 * kMiB, true},
                                           {10, 9 * kMiB + kMiB / 2, false}, // 9.5 rounds to 10
                                           {10, 8 * kMiB + kMiB / 2, true},  // 8.5 rounds to 8
                                           {10, 10 * kMiB, false},
                                           {0, 0, false},
                                           {0.5, 0, true},
                                           {2.5, 2 * kMiB, true}}) {
        CheckedSettings checked;
        checked.maxSizeMegabytes = c.limit;
        EXPECT_EQ(checked.attachable(c.bytes), c.attachable) << c.limit << " MB, " << c.bytes << " bytes";
    }
}

} // namespace
} // namespace tessaly
