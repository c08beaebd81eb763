// SPDX-License-Identifier: MIT
// tessalyctl: commands, exit statuses, and what reaches the files.
#include "cli/Ctl.h"
#include "common/Autostart.h"
#include "common/Cp932.h"
#include "settings/BasicSettings.h"
#include "support/PermissionBits.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <sys/stat.h>

namespace tessaly {
namespace {

class Ctl : public ::testing::Test {
protected:
    struct Result {
        int status;
        std::string out;
        std::string err;
    };

    Result run(std::vector<std::string> args)
    {
        args.insert(args.begin(), {"--dir", m_temp.path()});
        std::ostringstream out;
        std::ostringstream err;
        int status = RunCtl(args, out, err);
        return {status, out.str(), err.str()};
    }

    std::string file(const char* name) const { return test::ReadFile(m_temp.file(name)); }

    test::TempFolder m_temp;
};

TEST_F(Ctl, SettingsRoundTripJapaneseValuesAndFlags)
{
    EXPECT_EQ(run({"settings", "set", "Conf_SmtpSrv", "メール.例.jp"}).status, kCtlOk);
    EXPECT_EQ(run({"settings", "set", "Conf_zipPasswd", "  ﾊﾟｽ=ﾜｰﾄﾞ "}).status, kCtlOk);
    EXPECT_EQ(run({"settings", "set", "Conf_Mail", "1"}).status, kCtlOk);
    EXPECT_EQ(run({"settings", "set", "--", "Conf_PopUser", "--user"}).status, kCtlOk);
    Result json = run({"settings", "show", "--json"});
    EXPECT_EQ(json.status, kCtlOk);
    EXPECT_NE(json.out.find("\"Conf_SmtpSrv\": \"メール.例.jp\""), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"Conf_zipPasswd\": \"  ﾊﾟｽ=ﾜｰﾄﾞ \""), std::string::npos);
    EXPECT_NE(json.out.find("\"Conf_Mail\": 1,"), std::string::npos);
    EXPECT_NE(json.out.find("\"Conf_PopUser\": \"--user\""), std::string::npos);
    Result text = run({"settings", "show"});
    EXPECT_NE(text.out.find("Conf_SmtpSrv       =メール.例.jp\n"), std::string::npos) << text.out;
    // The client secret is kept, but never shown.
    EXPECT_EQ(run({"settings", "set", "Conf_OAuthSecret", "GOCSPX-kept"}).status, kCtlOk);
    const Result shown[] = {run({"settings", "show"}), run({"settings", "show", "--json"}),
                            run({"settings", "set", "Conf_OAuthSecret", "GOCSPX kept"})};
    for (const Result& result : shown)
        EXPECT_EQ((result.out + result.err).find("GOCSPX"), std::string::npos) << result.out << result.err;
    EXPECT_NE(shown[0].out.find("Conf_OAuthSecret   =********\n"), std::string::npos);
    BasicSettings saved;
    ASSERT_TRUE(LoadBasicSettings(saved, m_temp.path()));
    EXPECT_EQ(saved.Conf_OAuthSecret, "GOCSPX-kept");
}

TEST_F(Ctl, SetRefusesWhatCannotBeStoredAndLeavesTheFiles)
{
    ASSERT_EQ(run({"settings", "set", "Conf_SmtpSrv", "before"}).status, kCtlOk);
    ASSERT_EQ(run({"subs", "set", "1", "Name", "a"}).status, kCtlOk);
    const std::string settings = file("sysconfig.dat"), subs = file("subscription.dat");
    for (auto args : std::vector<std::vector<std::string>>{{"settings", "set", "Conf_Unknown", "1"},
                                                           {"settings", "set", "conf_mail", "1"},
                                                           {"settings", "set", "Conf_Mail", "yes"},
                                                           {"settings", "set", "Conf_Mail", "40000"},
                                                           {"settings", "set", "Conf_Mail", "2"},
                                                           {"settings", "set", "Conf_MaxSize", "abc"},
                                                           {"settings", "set", "Conf_MaxSize", "10MB"},
                                                           {"settings", "set", "Conf_MaxSize", ""},
                                                           {"settings", "set", "Conf_MaxSize", "-5"},
                                                           {"settings", "set", "Conf_Interval", "abc"},
                                                           {"settings", "set", "Conf_Interval", "-5"},
                                                           {"settings", "set", "Conf_Interval", "0"},
                                                           {"settings", "set", "Conf_Interval", "50000"},
                                                           {"settings", "set", "Conf_SmtpPort", "70000"},
                                                           {"settings", "set", "Conf_PopPort", "0"},
                                                           {"settings", "set", "Conf_Settle", "5000"},
                                                           {"settings", "set", "Conf_SmtpSrv", "😀"},
                                                           {"settings", "set", "Conf_SmtpSrv", std::string(40000, 'x')},
                                                           {"subs", "set", "0", "Name", "x"},
                                                           {"subs", "set", "11", "Name", "x"},
                                                           {"subs", "set", "one", "Name", "x"},
                                                           {"subs", "set", "1", "name", "x"},
                                                           {"subs", "set", "1", "Name", "a,b"},
                                                           {"subs", "set", "1", "Keyword", "a\nb"},
                                                           {"subs", "set", "1", "Subfolders", "2"},
                                                           {"subs", "set", "1", "LastCheck", "tomorrow"},
                                                           {"subs", "set", "1", "MailTo", "한@example.kr"}}) {
        Result result = run(args);
        EXPECT_EQ(result.status, kCtlUsage) << args[2] << " " << args[3].substr(0, 20);
        EXPECT_FALSE(result.err.empty());
    }
    EXPECT_EQ(file("sysconfig.dat"), settings);
    EXPECT_EQ(file("subscription.dat"), subs);
}

TEST_F(Ctl, SetSaysWhyAValueCannotWorkAndShowWarnsOfOneInTheFile)
{
    for (auto [key, value] : std::vector<std::pair<const char*, const char*>>{
             {"Conf_MaxSize", "2.5"}, {"Conf_Interval", ""}, {"Conf_SmtpPort", ""}, {"Conf_Settle", "60"}})
        EXPECT_EQ(run({"settings", "set", key, value}).status, kCtlOk) << key;
    EXPECT_EQ(run({"settings", "show"}).err, "");
    EXPECT_EQ(run({"settings", "set", "Conf_Interval", "１０"}).err,
              "tessalyctl: Conf_Interval「１０」は使えません。半角数字で指定してください。\n");

    // A file may hold anything: it is shown as it is, with a warning.
    BasicSettings written;
    written.Conf_Mail = 1;
    written.Conf_MailAdd = 1;
    written.Conf_MaxSize = "abc";
    written.Conf_Interval = "-5";
    ASSERT_TRUE(SaveBasicSettings(written, m_temp.path(), nullptr));
    Result show = run({"settings", "show"});
    EXPECT_EQ(show.status, kCtlOk);
    EXPECT_NE(show.out.find("Conf_MaxSize       =abc\n"), std::string::npos) << show.out;
    EXPECT_EQ(show.err, "tessalyctl: Conf_MaxSize「abc」は使えません。0以上の数値(MB)で指定してください。"
                        "最大ｻｲｽﾞを10MBとして扱います。\n"
                        "tessalyctl: Conf_Interval「-5」は使えません。1から44640までの整数(分)で指定してください。"
                        "定期的なﾁｪｯｸはしません。\n");
}

TEST_F(Ctl, DamagedSettingsAreShownButNeverOverwritten)
{
    test::WriteFile(m_temp.file("sysconfig.dat"), "damaged");
    Result show = run({"settings", "show"});
    EXPECT_EQ(show.status, kCtlFailed);
    EXPECT_NE(show.out.find("Conf_Interval      ="), std::string::npos);
    EXPECT_EQ(run({"settings", "set", "Conf_Mail", "1"}).status, kCtlFailed);
    EXPECT_EQ(file("sysconfig.dat"), "damaged");
}

TEST_F(Ctl, SubscriptionsRoundTripEveryField)
{
    const std::vector<std::pair<std::string, std::string>> values = {{"Name", "週報 ﾁｪｯｸ"},
                                                                     {"Keyword", "会議　議事録"},
                                                                     {"Folder", "/srv/共有 フォルダ"},
                                                                     {"FileName", "*.DOC*"},
                                                                     {"Subfolders", "1"},
                                                                     {"MailTo", "a@example.jp;b@example.jp"},
                                                                     {"LastCheck", "2026/12/06 14:05:09"}};
    for (const auto& [field, value] : values)
        ASSERT_EQ(run({"subs", "set", "10", field, value}).status, kCtlOk) << field;
    Result json = run({"subs", "show", "--json"});
    EXPECT_EQ(json.status, kCtlOk);
    EXPECT_NE(
        json.out.find("{\"Name\": \"週報 ﾁｪｯｸ\", \"Keyword\": \"会議　議事録\", \"Folder\": \"/srv/共有 フォルダ\", "
                      "\"FileName\": \"*.DOC*\", \"Subfolders\": \"1\", \"MailTo\": \"a@example.jp;b@example.jp\", "
                      "\"LastCheck\": \"2026/12/06 14:05:09\"}\n]"),
        std::string::npos)
        << json.out;
}

TEST_F(Ctl, AnyFolderIsStoredExactlyAndANewRowGetsWhatTheEditorGives)
{
    const std::string folder = "/home/u/Résumés, 〜 😀\n\xFF";
    ASSERT_EQ(run({"subs", "set", "2", "Folder", folder}).status, kCtlOk);
    ASSERT_EQ(run({"subs", "set", "2", "Name", "週報"}).status, kCtlOk);
    std::string expected =
        Utf8ToCp932(",,,,,,,\r\n週報,,|/home/u/R%C3%A9sum%C3%A9s%2C %E3%80%9C %F0%9F%98%80%0A%FF,*.*,0,,,\r\n");
    for (int row = 3; row <= 10; ++row)
        expected += ",,,,,,,\r\n";
    EXPECT_EQ(file("subscription.dat"), expected);
    Result json = run({"subs", "show", "--json"});
    EXPECT_NE(json.out.find("\"Folder\": \"/home/u/Résumés, 〜 😀\\n\uFFFD\""), std::string::npos) << json.out;
    // Cells already set are kept when a row is taken into use.
    ASSERT_EQ(run({"subs", "set", "3", "FileName", "*.pdf"}).status, kCtlOk);
    ASSERT_EQ(run({"subs", "set", "3", "Name", "x"}).status, kCtlOk);
    EXPECT_NE(run({"subs", "show"}).out.find("3\tx\t\t\t*.pdf\t0\t"), std::string::npos);
}

TEST_F(Ctl, CheckTellsTheFoldersItCouldNotReadAtEveryRun)
{
    const std::string docs = m_temp.file("docs");
    ASSERT_EQ(::mkdir(docs.c_str(), 0700), 0);
    ASSERT_EQ(::mkdir((docs + "/lost+found").c_str(), 0), 0);
    test::WriteFile(docs + "/a.doc", "a");
    ASSERT_EQ(run({"subs", "set", "1", "Folder", docs}).status, kCtlOk);
    ASSERT_EQ(run({"subs", "set", "1", "Subfolders", "1"}).status, kCtlOk);
    ASSERT_EQ(run({"subs", "set", "1", "Name", "docs"}).status, kCtlOk);
    test::PermissionBitsApply permissions;
    if (!permissions.active())
        GTEST_SKIP() << "cannot make permission bits apply";
    const std::string told = "次のﾌｫﾙﾀﾞは読めないため、ﾁｪｯｸから除きました。 / 購読「docs」: " + docs +
                             "/lost+found (フォルダを開けません: アクセスが拒否されました)\n";
    for (const char* expectedOut : {"Tessaly! ﾌｧｲﾙが更新されました\ndocs 1ﾌｧｲﾙ\n", ""}) {
        Result check = run({"check"});
        EXPECT_EQ(check.status, kCtlOk);
        EXPECT_EQ(check.out, expectedOut);
        EXPECT_EQ(check.err, told);
    }
    ::chmod((docs + "/lost+found").c_str(), 0700); // so that the folder can be removed
}

TEST_F(Ctl, ACutSubscriptionFileIsReportedAndNeverOverwritten)
{
    std::string text;
    for (int i = 0; i < 11; ++i)
        text += "row,,,,,,,\r\n";
    test::WriteFile(m_temp.file("subscription.dat"), text);
    Result show = run({"subs", "show"});
    EXPECT_EQ(show.status, kCtlFailed);
    EXPECT_EQ(show.err, "購読設定ﾌｧｲﾙは最大10行です。 / 以降は切り捨てられます。\n");
    EXPECT_NE(show.out.find("10\trow\t"), std::string::npos) << show.out;
    EXPECT_EQ(run({"subs", "set", "1", "Name", "new"}).status, kCtlFailed);
    EXPECT_EQ(file("subscription.dat"), text);
}

TEST_F(Ctl, HistoryListsTheKeptLinesBeforeTheNewOnes)
{
    test::WriteFile(m_temp.file("history.dat"),
                    Utf8ToCp932("26年12月06_14:05:09,新,/srv,b.doc,26年12月05_09:30:00,\r\n"));
    test::WriteFile(m_temp.file("history.hst"),
                    Utf8ToCp932("25年01月01_00:00:00,旧,/srv,a.doc,24年12月31_23:59:59,\r\nshort,line\r\n"));
    Result text = run({"history"});
    EXPECT_EQ(text.status, kCtlOk);
    EXPECT_EQ(text.out, "25年01月01_00:00:00,旧,/srv,a.doc,24年12月31_23:59:59,\nshort,line\n"
                        "26年12月06_14:05:09,新,/srv,b.doc,26年12月05_09:30:00,\n");
    Result json = run({"history", "--json"});
    EXPECT_EQ(json.out, "[\n"
                        "  {\"detected\": \"25年01月01_00:00:00\", \"subscription\": \"旧\", \"folder\": \"/srv\", "
                        "\"file\": \"a.doc\", \"file_time\": \"24年12月31_23:59:59\"},\n"
                        "  {\"detected\": \"short\", \"subscription\": \"line\", \"folder\": \"\", \"file\": \"\", "
                        "\"file_time\": \"\"},\n"
                        "  {\"detected\": \"26年12月06_14:05:09\", \"subscription\": \"新\", \"folder\": \"/srv\", "
                        "\"file\": \"b.doc\", \"file_time\": \"26年12月05_09:30:00\"}\n]\n");
    // Nothing was merged or moved.
    EXPECT_FALSE(file("history.dat").empty());
}

TEST_F(Ctl, WrongUsageExitsTwoAndCreatesNothing)
{
    const std::string missing = m_temp.file("not-yet");
    for (auto args : std::vector<std::vector<std::string>>{{},
                                                           {"settings"},
                                                           {"settings", "show", "extra"},
                                                           {"subs", "set", "1", "Name"},
                                                           {"check-all"},
                                                           {"--verbose", "history"},
                                                           {"--dir"}}) {
        std::ostringstream out;
        std::ostringstream err;
        std::vector<std::string> full = {"--dir", missing};
        full.insert(full.end(), args.begin(), args.end());
        EXPECT_EQ(RunCtl(full, out, err), kCtlUsage);
        EXPECT_NE(err.str().find("usage:"), std::string::npos);
    }
    struct stat st {};
    EXPECT_NE(::stat(missing.c_str(), &st), 0);
}

TEST_F(Ctl, HelpAndVersionSucceedWithoutTouchingTheDataFolder)
{
    const std::string missing = m_temp.file("not-yet");
    for (auto args : std::vector<std::vector<std::string>>{{"--help"}, {"-h"}, {"check", "--help"}, {"--version"}}) {
        std::ostringstream out;
        std::ostringstream err;
        std::vector<std::string> full = {"--dir", missing};
        full.insert(full.end(), args.begin(), args.end());
        EXPECT_EQ(RunCtl(full, out, err), kCtlOk) << args.back();
        EXPECT_EQ(err.str(), "");
        const std::string text = out.str();
        if (args.back() == "--version") {
            EXPECT_EQ(text.rfind("tessalyctl ", 0), 0u) << text;
            EXPECT_EQ(std::count(text.begin(), text.end(), '.'), 2) << text;
        } else {
            EXPECT_NE(text.find("usage: tessalyctl"), std::string::npos);
            EXPECT_NE(text.find("Exit status"), std::string::npos);
            // Every key, as a word of its own: bash completion takes them from here.
            for (const BasicSettingField& field : BasicSettingFields()) {
                const std::string word = " " + std::string(field.key);
                EXPECT_TRUE(text.find(word + " ") != std::string::npos || text.find(word + "\n") != std::string::npos)
                    << field.key;
            }
        }
    }
    // After "--" it is a word like any other.
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(RunCtl({"--dir", missing, "--", "--help"}, out, err), kCtlUsage);
    struct stat st {};
    EXPECT_NE(::stat(missing.c_str(), &st), 0);
}

TEST_F(Ctl, ReadingCommandsNeverMakeTheDataFolderOrAFileInIt)
{
    const std::string missing = m_temp.file("typo");
    const std::string empty = m_temp.file("empty");
    ASSERT_EQ(::mkdir(empty.c_str(), 0700), 0);
    for (auto args : std::vector<std::vector<std::string>>{
             {"settings", "show"}, {"subs", "show", "--json"}, {"history"}, {"outbox"}, {"balloon", "T", "x"}}) {
        std::ostringstream out;
        std::ostringstream err;
        std::vector<std::string> full = {"--dir", missing};
        full.insert(full.end(), args.begin(), args.end());
        EXPECT_EQ(RunCtl(full, out, err), kCtlFailed) << args[0];
        EXPECT_EQ(err.str(), "tessalyctl: the data folder " + missing + " does not exist; nothing was read\n");
        // An existing folder is read, and stays as it was.
        full[1] = empty;
        EXPECT_EQ(RunCtl(full, out, err), args[0] == "balloon" ? kCtlFailed : kCtlOk) << args[0] << err.str();
    }
    EXPECT_FALSE(std::filesystem::exists(missing));
    EXPECT_TRUE(std::filesystem::is_empty(empty));
    // A command that writes makes the folder, as the program does.
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(RunCtl({"--dir", missing, "settings", "set", "Conf_Mail", "1"}, out, err), kCtlOk) << err.str();
    EXPECT_TRUE(std::filesystem::exists(missing + "/sysconfig.dat"));
}

TEST_F(Ctl, AutostartTurnsTheUsersEntryOnAndOff)
{
    const std::string config = m_temp.file("config");
    const std::string entry = config + "/autostart/tessaly.desktop";
    ASSERT_EQ(::setenv("XDG_CONFIG_HOME", config.c_str(), 1), 0);
    const auto autostart = [this](std::vector<std::string> words) {
        // No data folder is needed, nor made.
        words.insert(words.begin(), {"--dir", m_temp.file("no-data"), "autostart"});
        std::ostringstream out;
        std::ostringstream err;
        const int status = RunCtl(words, out, err);
        return Result{status, out.str(), err.str()};
    };
    struct Step {
        std::vector<std::string> words;
        int status;
        std::string out;
        bool entry;
    };
    const Step steps[] = {{{}, kCtlOk, "off\n", false},         {{"on"}, kCtlOk, "", true},
                          {{}, kCtlOk, "on\n", true},           {{"off"}, kCtlOk, "", false},
                          {{"off"}, kCtlOk, "", false},         {{"maybe"}, kCtlUsage, "", false},
                          {{"on", "now"}, kCtlUsage, "", false}};
    for (const Step& step : steps) {
        const Result result = autostart(step.words);
        EXPECT_EQ(result.status, step.status) << result.err;
        EXPECT_EQ(result.out, step.out);
        EXPECT_EQ(std::filesystem::exists(entry), step.entry);
    }
    EXPECT_FALSE(std::filesystem::exists(m_temp.file("no-data")));

    // An entry the user hid is off, and turning it on writes the program's own.
    test::WriteFile(entry, "[Desktop Entry]\nType=Application\nName=Tessaly\nExec=tessaly\nHidden=true\n");
    EXPECT_EQ(autostart({}).out, "off\n");
    ASSERT_EQ(autostart({"on"}).status, kCtlOk);
    EXPECT_EQ(test::ReadFile(entry), AutostartEntryText());
    EXPECT_EQ(autostart({}).out, "on\n");
    if (std::system("command -v desktop-file-validate >/dev/null") == 0) {
        EXPECT_EQ(std::system(("desktop-file-validate '" + entry + "'").c_str()), 0);
    }

    // Where the entry cannot be written, the reason is told.
    test::WriteFile(m_temp.file("plain"), "x");
    ASSERT_EQ(::setenv("XDG_CONFIG_HOME", m_temp.file("plain").c_str(), 1), 0);
    const Result refused = autostart({"on"});
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(refused.status, kCtlFailed);
    EXPECT_NE(refused.err.find("tessalyctl: autostart could not be turned on: " + m_temp.file("plain")),
              std::string::npos)
        << refused.err;
}

TEST_F(Ctl, TheExecutablePrintsUtf8AndReturnsTheStatus)
{
    const std::string command = std::string(TESSALYCTL_PATH) + " --dir '" + m_temp.path() +
                                "' subs set 2 Name 日報 && " + TESSALYCTL_PATH + " --dir '" + m_temp.path() +
                                "' subs show";
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string out;
    char buffer[4096];
    while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
        out.append(buffer, n);
    EXPECT_EQ(::pclose(pipe), 0);
    EXPECT_NE(out.find("\n2\t日報\t"), std::string::npos) << out;
    EXPECT_EQ(
        std::system((std::string(TESSALYCTL_PATH) + " --dir '" + m_temp.path() + "' nonsense 2>/dev/null").c_str()),
        2 << 8);
}

} // namespace
} // namespace tessaly
