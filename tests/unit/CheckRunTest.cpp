// SPDX-License-Identifier: MIT
// The check run over real folders; mails recorded, archives made by the real zip component.
#include "checkrun/CheckRun.h"
#include "common/Balloon.h"
#include "common/DataFolderLock.h"
#include "common/DateText.h"
#include "common/FileSystem.h"
#include "common/PathParts.h"
#include "notify/ComponentZipArchiver.h"
#include "notify/Outbox.h"
#include "settings/BasicSettings.h"
#include "support/ChildProcess.h"
#include "support/FixedClock.h"
#include "support/PermissionBits.h"
#include "support/Printers.h"
#include "support/RecordingMailTransfer.h"
#include "support/RecordingMessages.h"
#include "support/ScopedTimeZone.h"
#include "support/TempFolder.h"
#include "watch/HistoryFile.h"
#include "watch/SeenRecord.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <set>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

namespace tessaly {
namespace {

struct RecordingBalloon final : Balloon {
    std::string BalloonText() const override { return text; }
    void SetBalloonText(std::string_view value) override { text = value; }
    void SetBalloonTitle(std::string_view value) override { title = value; }
    std::string text = "previous run", title;
};

void SetWritten(const std::string& path, int64_t seconds)
{
    timespec times[2] = {{static_cast<time_t>(seconds), 0}, {static_cast<time_t>(seconds), 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

class CheckRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_docs = m_temp.file("docs");
        m_data = m_temp.file("data");
        ASSERT_EQ(::mkdir(m_docs.c_str(), 0700), 0);
        ASSERT_EQ(::mkdir(m_data.c_str(), 0700), 0);
        m_settings.Conf_MaxSize = "10";
    }

    std::string document(const std::string& relative, const std::string& bytes = "content")
    {
        std::string path = m_docs + "/" + relative;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        test::WriteFile(path, bytes);
        return path;
    }

    Subscription& row(size_t index, const std::string& name, const std::string& pattern = "*.*")
    {
        m_table[index] = {name, "", m_docs, pattern, "1", "a@example.jp;b@example.jp", ""};
        return m_table[index];
    }

    // The run reads subscription.dat when there is one: edits of the table
    // between runs are saved first, as the editor would.
    bool run() { return run(m_clock); }
    bool run(const Clock& clock)
    {
        if (PathExists(m_data + "/subscription.dat")) {
            EXPECT_TRUE(SaveSubscriptions(m_table, m_data));
        }
        CheckRunContext run = context(clock);
        run.rows = m_rows;
        run.atStep = m_atStep;
        return CheckSubscriptions(run);
    }
    CheckRunContext context(const Clock& clock)
    {
        return {m_data, m_settings, m_table, m_balloon, m_messages, clock, &m_mail, &m_zip};
    }
    SubscriptionTable saved()
    {
        SubscriptionTable table;
        EXPECT_TRUE(LoadSubscriptions(table, m_data, m_messages));
        return table;
    }

    std::vector<HistoryEntry> history()
    {
        std::vector<std::string> lines;
        std::string error;
        EXPECT_TRUE(ReadHistoryLines(m_data + "/history.dat", &lines, &error)) << error;
        std::vector<HistoryEntry> entries;
        entries.reserve(lines.size());
        for (const std::string& line : lines)
            entries.push_back(ParseHistoryLine(line));
        return entries;
    }

    std::vector<std::string> recordedFiles(bool sorted = false)
    {
        std::vector<std::string> files;
        for (const HistoryEntry& entry : history())
            files.push_back(entry.file);
        if (sorted)
            std::sort(files.begin(), files.end());
        return files;
    }

    void forgetHistory() { ::unlink((m_data + "/history.dat").c_str()); }
    /// Starts row 0 afresh: its folder seen as new (no last check, no
    /// record), no history, no mail sent.
    void again()
    {
        forgetHistory();
        m_table[0].LastCheck.clear();
        ::unlink(SeenRecordPath(m_data, 0).c_str());
        m_mail.sent.clear();
    }

    void mailOn(bool attach, bool zip, const std::string& zipPassword = "")
    {
        m_settings.Conf_Mail = 1;
        m_settings.Conf_MailAdd = attach;
        m_settings.Conf_zip = zip;
        m_settings.Conf_zipPasswd = zipPassword;
        m_settings.Conf_SmtpSrv = "127.0.0.1";
        m_settings.Conf_SmtpPort = "25";
        m_settings.Conf_SmtpAddr = "tessaly@example.jp";
    }

    test::TempFolder m_temp;
    RowMask m_rows = kAllRows;
    std::function<void(std::string_view)> m_atStep;
    std::string m_docs;
    std::string m_data;
    BasicSettings m_settings;
    SubscriptionTable m_table;
    RecordingBalloon m_balloon;
    test::RecordingMessages m_messages;
    test::FixedClock m_clock{ToAutomationDate({2026, 12, 6, 14, 5, 9})};
    test::RecordingMailTransfer m_mail;
    ComponentZipArchiver m_zip;
};

TEST_F(CheckRun, RecordsAndAnnouncesEveryRowWithUpdates)
{
    document("a.doc");
    document("sub/b.doc");
    document("sub/deeper/c.doc");
    row(0, "日報");
    row(3, "週報", "*.DOC");
    row(5, "空き").Folder = m_temp.file("missing");
    m_table[5].LastCheck = "2020/01/01 00:00:00";
    EXPECT_TRUE(run());
    EXPECT_EQ(m_balloon.title, kUpdatedBalloonTitle);
    EXPECT_EQ(m_balloon.text, "日報 3ﾌｧｲﾙ\r\n週報 3ﾌｧｲﾙ\r\n");
    // Own files first, then each subfolder depth first; rows in order.
    EXPECT_EQ(recordedFiles(), (std::vector<std::string>{"a.doc", "b.doc", "c.doc", "a.doc", "b.doc", "c.doc"}));
    std::vector<HistoryEntry> lines = history();
    EXPECT_EQ(lines[0].detected, "26年12月06_14:05:09");
    EXPECT_EQ(lines[0].subscription, "日報");
    EXPECT_EQ(lines[1].folder, m_docs + "/sub");
    // Walked rows get the new last check; the skipped row keeps its own.
    EXPECT_EQ(m_table[0].LastCheck, "2026/12/06 14:05:08");
    EXPECT_EQ(m_table[3].LastCheck, "2026/12/06 14:05:08");
    EXPECT_EQ(m_table[5].LastCheck, "2020/01/01 00:00:00");
    EXPECT_TRUE(m_mail.sent.empty());
    EXPECT_TRUE(m_messages.messages.empty());
    EXPECT_EQ(saved(), m_table); // one save at the end
}

TEST_F(CheckRun, ARowReportsWhatItHasNotSeenHoweverItArrivedAndWhateverTheClocksSay)
{
    const int64_t now = ::time(nullptr);
    const std::string a = document("a.doc");
    const std::string outside = m_temp.file("outside");
    ASSERT_EQ(::mkdir(outside.c_str(), 0700), 0);
    const auto old = [&](const std::string& path) {
        test::WriteFile(path, "old content " + path);
        SetWritten(path, now - 30 * 86400);
    };
    const auto move = [](const std::string& from, const std::string& to) {
        ASSERT_EQ(::rename(from.c_str(), to.c_str()), 0) << from;
    };
    // The first run builds the record; a last check after every file time
    // reports nothing, as before.
    m_clock.now = AutomationDateFromUnix(now + 2);
    row(0, "seen").LastCheck = FormatDateTime(AutomationDateFromUnix(now + 1));
    ASSERT_TRUE(run());
    EXPECT_TRUE(recordedFiles().empty());
    ASSERT_TRUE(PathExists(SeenRecordPath(m_data, 0)));

    using Files = std::vector<std::string>;
    const std::pair<std::string, std::function<void()>> steps[] = {
        {"", [] {}},
        {"", [&] { ASSERT_EQ(::chmod(a.c_str(), 0400), 0); }},
        {"", [&] { EXPECT_FALSE(test::ReadFile(a).empty()); }},
        {"moved.doc", [&] { old(outside + "/moved.doc"), move(outside + "/moved.doc", m_docs + "/moved.doc"); }},
        {"renamed.doc", [&] { move(m_docs + "/moved.doc", m_docs + "/renamed.doc"); }},
        {"deep.doc",
         [&] {
             ASSERT_EQ(::mkdir((outside + "/folder").c_str(), 0700), 0);
             old(outside + "/folder/deep.doc");
             move(outside + "/folder", m_docs + "/folder");
         }},
        {"a.doc", [&] { SetWritten(a, now + 86400 * 400); }}, // a server's clock far ahead
        {"", [] {}},                                          // once only
        {"copy.doc", [&] { old(m_docs + "/copy.doc"); }},     // copied with its old times
        // A last check in the future (a clock set back) hides nothing.
        {"late.doc",
         [&] {
             m_table[0].LastCheck = "2099/01/01 00:00:00";
             old(m_docs + "/late.doc");
         }},
    };
    for (const auto& [reported, step] : steps) {
        forgetHistory();
        step();
        ASSERT_TRUE(run());
        EXPECT_EQ(recordedFiles(), reported.empty() ? Files{} : Files{reported}) << reported;
        EXPECT_EQ(m_balloon.text.empty(), reported.empty()) << m_balloon.text; // a quiet run clears it
    }
    EXPECT_TRUE(m_messages.messages.empty());
    // A last check in the future gives way to the walk's time.
    EXPECT_EQ(m_table[0].LastCheck, FormatDateTime(AutomationDateFromUnix(now + 1)));
}

TEST_F(CheckRun, ARowWithoutAUsableRecordUsesItsLastCheckOnce)
{
    const int64_t now = ::time(nullptr);
    document("a.doc");
    document("sub/b.doc");
    m_clock.now = AutomationDateFromUnix(now + 2);
    row(0, "row").LastCheck = FormatDateTime(AutomationDateFromUnix(now + 1));
    const std::string record = SeenRecordPath(m_data, 0);
    // Copied from an installation without records, or upgraded: no flood.
    ASSERT_TRUE(run());
    EXPECT_TRUE(recordedFiles().empty());
    // A damaged record is set aside and told once, then rebuilt; the last
    // check stands in for it meanwhile.
    test::WriteFile(record, std::string(200, 'x'));
    document("c.doc");
    SetWritten(m_docs + "/c.doc", now + 2); // written after the last check
    ASSERT_TRUE(run());
    EXPECT_EQ(recordedFiles(), std::vector<std::string>{"c.doc"});
    ASSERT_EQ(m_messages.messages.size(), 1u);
    EXPECT_NE(m_messages.messages[0].find("が壊れていたため、作り直しました"), std::string::npos);
    EXPECT_EQ(test::ReadFile(record + ".damaged"), std::string(200, 'x'));
    forgetHistory();
    m_clock.now = AutomationDateFromUnix(now + 5); // past every file time
    ASSERT_TRUE(run());
    EXPECT_TRUE(recordedFiles().empty());
    EXPECT_EQ(m_messages.messages.size(), 1u);
    // Another pattern starts a fresh record the same way: nothing new yet.
    m_table[0].FileName = "*.DOC";
    ASSERT_TRUE(run());
    EXPECT_TRUE(recordedFiles().empty());
    // Nothing changed: the record is not written again.
    struct stat before {};
    ASSERT_EQ(::stat(record.c_str(), &before), 0);
    ASSERT_TRUE(run());
    struct stat after {};
    ASSERT_EQ(::stat(record.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
}

TEST_F(CheckRun, AFolderLeftOutKeepsItsRecordAndIsCaughtUpOnceReadable)
{
    const int64_t now = ::time(nullptr);
    document("open/a.doc");
    document("closed/inner/b.doc");
    m_clock.now = AutomationDateFromUnix(now + 2);
    row(0, "row").LastCheck = FormatDateTime(AutomationDateFromUnix(now + 1));
    ASSERT_TRUE(run());
    // Added, and the folder above it unreadable while the row is checked.
    document("closed/inner/added.doc");
    const std::string closed = m_docs + "/closed";
    ASSERT_EQ(::chmod(closed.c_str(), 0), 0);
    {
        test::PermissionBitsApply permissions;
        if (!permissions.active())
            GTEST_SKIP() << "cannot make permission bits apply";
        ASSERT_TRUE(run());
    }
    EXPECT_TRUE(recordedFiles().empty());
    ASSERT_EQ(::chmod(closed.c_str(), 0700), 0);
    ASSERT_TRUE(run());
    // The old documents there are known still; the new one is caught up.
    EXPECT_EQ(recordedFiles(), std::vector<std::string>{"added.doc"});
}

TEST_F(CheckRun, EitherTimeLaterThanTheLastCheckCounts)
{
    const int64_t now = ::time(nullptr);
    SetWritten(document("old.doc"), now - 7200);
    SetWritten(document("fresh.doc"), now + 7200);
    m_clock.now = AutomationDateFromUnix(now + 7300); // both times have come
    // A row without a record: created after the last check but written
    // before it, created before and written after, both before it.
    const std::pair<int64_t, std::vector<std::string>> cases[] = {
        {-3600, {"fresh.doc", "old.doc"}}, {3600, {"fresh.doc"}}, {7200, {}}};
    for (const auto& [lastCheck, expected] : cases) {
        again();
        row(0, "a").LastCheck = FormatDateTime(AutomationDateFromUnix(now + lastCheck));
        ASSERT_TRUE(run());
        EXPECT_EQ(recordedFiles(true), expected) << lastCheck;
    }
}

TEST_F(CheckRun, KeywordsPickDocumentsByName)
{
    for (const char* name : {"会議録.doc", "Minutes.doc", "plan.doc", "議事録まとめ.doc"})
        document(name);
    using Files = std::vector<std::string>; // sorted
    const Files all = {"Minutes.doc", "plan.doc", "会議録.doc", "議事録まとめ.doc"};
    const std::pair<const char*, Files> cases[] = {{"", all},
                                                   {"会議 minutes", {"Minutes.doc", "会議録.doc"}},
                                                   {"会議\u3000MINUTES", {"Minutes.doc", "会議録.doc"}},
                                                   {"会議  minutes", all},
                                                   {" plan", all},
                                                   {"まとめ", {"議事録まとめ.doc"}},
                                                   {"none", {}}};
    for (const auto& [keyword, expected] : cases) {
        forgetHistory();
        row(0, "kw").Keyword = keyword;
        ASSERT_TRUE(run());
        EXPECT_EQ(recordedFiles(true), expected) << keyword;
    }
}

TEST_F(CheckRun, RowsThatCannotBeWalkedAreSkippedOrStopTheRun)
{
    document("a.doc");
    test::WriteFile(m_temp.file("plain-file"), "x");
    row(0, "file as folder").Folder = m_temp.file("plain-file");
    row(1, "empty folder").Folder = "";
    m_table[1].LastCheck = "2001/02/03 04:05:06";
    row(2, "unused").Name = "";
    row(4, "good");
    EXPECT_TRUE(run());
    EXPECT_EQ(m_table[0].LastCheck, "");
    EXPECT_EQ(m_table[1].LastCheck, "2001/02/03 04:05:06");
    EXPECT_EQ(m_table[2].LastCheck, "");
    EXPECT_EQ(recordedFiles(), std::vector<std::string>{"a.doc"});

    // A row saved before its subfolders box was ever ticked (an empty
    // cell), or a hand-edited value, is checked like "0".
    for (const char* subfolders : {"", "yes"}) {
        m_table[4].Subfolders = subfolders;
        m_table[4].LastCheck = "";
        EXPECT_TRUE(run()) << subfolders;
        EXPECT_TRUE(m_messages.messages.empty()) << subfolders;
    }
}

TEST_F(CheckRun, AFailingRowIsToldAndLeavesTheOthersCommitted)
{
    document("a.doc");
    row(0, "first");
    row(1, "second").LastCheck = "not a date";
    ASSERT_TRUE(SaveSubscriptions(m_table, m_data));
    for (int round = 0; round < 2; ++round) {
        EXPECT_FALSE(run());
        EXPECT_NE(saved()[0].LastCheck, "");
        EXPECT_EQ(saved()[1].LastCheck, "not a date");
        // The first row's document is recorded once, whatever the second does.
        EXPECT_EQ(recordedFiles(), std::vector<std::string>{"a.doc"});
    }
    EXPECT_NE(m_messages.messages.at(0).find("最終ﾁｪｯｸ日「not a date」が日付ではありません"), std::string::npos);
}

TEST_F(CheckRun, HistoryFailureEndsTheRunWithItsMessage)
{
    document("a.doc");
    row(0, "first");
    ASSERT_EQ(::mkdir((m_data + "/history.dat").c_str(), 0700), 0);
    EXPECT_FALSE(run());
    ASSERT_EQ(m_messages.messages.size(), 1u);
    EXPECT_EQ(m_messages.messages[0].rfind("履歴ﾌｧｲﾙ作成に失敗しました\r\n", 0), 0u);
    EXPECT_FALSE(FileHasContent(m_data + "/subscription.dat"));
}

TEST_F(CheckRun, UpdateMailListsTheRowsDocumentsWithoutAttachments)
{
    mailOn(false, true); // archives on, but nothing attached: no password mail either
    document("a.doc");
    document("sub/b.doc");
    row(0, "日報");
    ASSERT_TRUE(run());
    ASSERT_EQ(m_mail.sent.size(), 1u);
    const SendMailExArguments& mail = m_mail.sent[0];
    EXPECT_EQ(mail.subject, "【Tessaly!】日報 の文書が更新されました。管理No:1405090612");
    EXPECT_EQ(mail.body, "日報 の文書が更新されました。\r\n\r\n" + m_docs + "/a.doc\r\n" + m_docs + "/sub/b.doc\r\n");
    EXPECT_EQ(mail.recipients, "bcc\ta@example.jp\tb@example.jp");
    EXPECT_TRUE(mail.attachments.empty());
}

TEST_F(CheckRun, DocumentsAreAttachedAsCopiesUnderTheSizeLimitAndTheRestListedWithTheReason)
{
    mailOn(true, false);
    m_settings.Conf_MaxSize = "2";
    const std::string small = document("small.doc", std::string(1536 * 1024 - 1, 's')); // rounds to 1 MB
    document("large.doc", std::string(1536 * 1024, 'l'));                               // rounds to 2 MB
    document("sub/line\nbreak.doc");
    document("sub/tab\tname.doc", "tabbed");
    ASSERT_EQ(::chmod(document("sub/private.doc").c_str(), 0), 0);
    row(0, "att");
    std::vector<std::string> copies;
    m_mail.onSend = [&](const SendMailExArguments& mail) {
        for (const std::string& path : mail.attachments)
            copies.push_back(FileNameOf(path) + "=" + test::ReadFile(path).substr(0, 6));
    };
    {
        test::PermissionBitsApply permissions;
        ASSERT_TRUE(run());
    }
    ASSERT_EQ(m_mail.sent.size(), 1u);
    const SendMailExArguments& mail = m_mail.sent[0];
    // A copy made when the document was found goes out, then goes away;
    // a name may hold any byte.
    ASSERT_EQ(mail.attachments.size(), 3u);
    EXPECT_TRUE(mail.attachments[0].starts_with(m_data + "/outbox/")) << mail.attachments[0];
    std::sort(copies.begin(), copies.end());
    EXPECT_EQ(copies, (std::vector<std::string>{"line\nbreak.doc=conten", "small.doc=ssssss", "tab\tname.doc=tabbed"}));
    EXPECT_TRUE(Outbox(m_data).list().empty());
    EXPECT_TRUE(FileHasContent(small)); // the user's document stays
    // What is not attached says why; no name starts a line of its own.
    EXPECT_NE(mail.body.find("/large.doc (ｻｲｽﾞが上限 (2 MB) 以上のため添付しません)\r\n"), std::string::npos);
    EXPECT_NE(mail.body.find("/sub/line%0Abreak.doc\r\n"), std::string::npos) << mail.body;
    EXPECT_NE(mail.body.find("/sub/private.doc (添付できません: "), std::string::npos) << mail.body;

    // Without a number, nothing over 10 MB is attached, and the run says so.
    m_settings.Conf_MaxSize = "";
    again();
    ASSERT_TRUE(run());
    ASSERT_EQ(m_mail.sent.size(), 1u);
    EXPECT_EQ(m_mail.sent[0].attachments.size(), 5u);
    ASSERT_EQ(m_messages.messages.size(), 1u);
    EXPECT_EQ(m_messages.messages[0].rfind("Conf_MaxSize「」は", 0), 0u) << m_messages.messages[0];
}

TEST_F(CheckRun, ArchivesAreAttachedTheirPasswordToldAfterThemAndThenDeleted)
{
    mailOn(true, true);
    m_settings.Conf_MaxSize = "1";
    document("a.doc", "alpha");
    document("b.doc", "bravo");
    // Random bytes do not compress: this archive stays above 0.5 MB and is left out.
    std::string noise(700 * 1024, '\0');
    uint32_t x = 12345;
    for (char& c : noise)
        c = static_cast<char>((x = x * 1103515245 + 12345) >> 24);
    document("big.doc", noise);
    row(0, "zip");
    ASSERT_TRUE(run()) << (m_messages.messages.empty() ? "" : m_messages.messages[0]);
    ASSERT_EQ(m_mail.sent.size(), 2u);
    const std::vector<std::string>& attachments = m_mail.sent[0].attachments;
    ASSERT_EQ(attachments.size(), 2u);
    const std::string folder = FolderOf(attachments[0]);
    EXPECT_EQ(attachments, (std::vector<std::string>{folder + "/a.doc.zip", folder + "/b.doc.zip"}));
    EXPECT_NE(m_mail.sent[0].body.find("/big.doc (ｻｲｽﾞが上限 (1 MB) 以上のため添付しません)"), std::string::npos);
    // The password mail shares the management number and tells ten letters.
    EXPECT_EQ(m_mail.sent[1].subject, "【Tessaly!】管理No:1405090612 のパスワードを通知します。");
    const std::string& body = m_mail.sent[1].body;
    const size_t at = body.find("のパスワードは ");
    ASSERT_NE(at, std::string::npos);
    const std::string password = body.substr(at + std::string("のパスワードは ").size(), 10);
    EXPECT_TRUE(std::all_of(password.begin(), password.end(), [](char c) { return c >= 'A' && c <= 'Z'; }));
    EXPECT_FALSE(PathExists(folder));
}

TEST_F(CheckRun, DocumentsOfTheSameNameGetArchivesOfTheirOwn)
{
    mailOn(true, true, "fixed pass");
    document("a/report.doc", "first report");
    document("b/report.doc", "second report");
    row(0, "twins");
    std::vector<std::string> contents;
    m_mail.onSend = [&](const SendMailExArguments& mail) {
        const std::string folder = FolderOf(mail.attachments.at(0));
        for (const char* archive : {"/report.doc.zip", "/report.doc(2).zip"}) {
            const std::string command = "unzip -p -P 'fixed pass' '" + folder + archive + "' report.doc";
            FILE* pipe = ::popen(command.c_str(), "r");
            char buffer[64] = {};
            contents.emplace_back(buffer, pipe ? std::fread(buffer, 1, sizeof buffer, pipe) : 0);
            if (pipe)
                ::pclose(pipe);
        }
    };
    ASSERT_TRUE(run());
    std::sort(contents.begin(), contents.end());
    EXPECT_EQ(contents, (std::vector<std::string>{"first report", "second report"}));
    ASSERT_EQ(m_mail.sent.size(), 1u);
    EXPECT_EQ(m_mail.sent[0].attachments.size(), 2u);
}

TEST_F(CheckRun, AMailRefusedForGoodIsToldAndDroppedAndOneThatFailsWaitsForItsNextAttempt)
{
    mailOn(true, true);
    document("a.doc");
    row(0, "first");
    m_mail.refuseFrom = 1; // the password mail
    m_mail.refusal =
        "550 5.1.1 <a@example.jp>: Recipient address rejected (127.0.0.1:25 の RCPT TO:<a@example.jp> への応答)";
    EXPECT_TRUE(run());
    // Nothing was logged: the message gives the cause itself.
    EXPECT_EQ(m_messages.messages,
              std::vector<std::string>{"ﾒｰﾙ送信で失敗しました(2)。\r\n購読「first」: " + m_mail.refusal +
                                       "\r\nサーバーが受け付けないため、このﾒｰﾙは再送しません。"});
    EXPECT_NE(m_table[0].LastCheck, ""); // the row was committed all the same
    EXPECT_TRUE(Outbox(m_data).list().empty());

    // A server that cannot take the mail now: the notices wait, and go out,
    // once each, at the first run after their pause.
    row(1, "second");
    again();
    m_messages.messages.clear();
    m_mail.refuseFrom = 0;
    m_mail.refusal = "451 4.3.0 try again later";
    m_mail.logRefusals = true;
    ASSERT_TRUE(run());
    ASSERT_FALSE(m_messages.messages.empty());
    EXPECT_NE(m_messages.messages[0].find("ﾛｸﾞﾌｧｲﾙを確認してください。"), std::string::npos);
    EXPECT_NE(m_messages.messages[0].find("後で再送します"), std::string::npos);
    const size_t waiting = Outbox(m_data).list().size();
    EXPECT_GE(waiting, 2u);
    m_mail.refuseFrom = 1 << 30;
    m_clock.now += 30.0 / 86400.0;
    ASSERT_TRUE(run());
    EXPECT_TRUE(m_mail.sent.empty()); // within the first pause of a minute
    m_clock.now += 60.0 / 86400.0;
    ASSERT_TRUE(run());
    EXPECT_EQ(m_mail.sent.size(), 4u); // both rows' update and password mails
    EXPECT_TRUE(Outbox(m_data).list().empty());
    EXPECT_EQ(recordedFiles(), (std::vector<std::string>{"a.doc", "a.doc"})); // once per row
}

TEST_F(CheckRun, OnlyAnAddressTheServerDoesNotKnowIsRefusedForGood)
{
    const std::pair<std::string, bool> refusals[] = {
        {"550 5.1.1 <a@example.jp>: User unknown (127.0.0.1:25 の RCPT TO:<a@example.jp> への応答)", true},
        {"553 sorry, that address is not ours (127.0.0.1:25 の RCPT TO:<a@example.jp> への応答)", true},
        // Policy, a full mailbox, the sender or the login: a setting or time mends them.
        {"554 5.7.1 <a@example.jp>: Relay access denied (127.0.0.1:25 の RCPT TO:<a@example.jp> への応答)", false},
        {"552 5.2.2 <a@example.jp>: Mailbox full (127.0.0.1:25 の RCPT TO:<a@example.jp> への応答)", false},
        {"553 5.1.8 <me@example.jp>: Sender address rejected (127.0.0.1:25 の MAIL FROM:<me@example.jp> への応答)",
         false},
        {"535 5.7.8 Authentication failed (127.0.0.1:25 の AUTH PLAIN への応答)", false},
    };
    mailOn(false, false);
    document("a.doc");
    row(0, "first");
    for (const auto& [refusal, permanent] : refusals) {
        again();
        const size_t before = Outbox(m_data).list().size();
        m_mail.refuseFrom = 0;
        m_mail.refusal = refusal;
        EXPECT_TRUE(run());
        EXPECT_EQ(Outbox(m_data).list().size(), before + (permanent ? 0 : 1)) << refusal;
    }
}

TEST_F(CheckRun, RowsAnnouncedInOneSecondGetManagementNumbersOfTheirOwn)
{
    mailOn(true, true);
    document("a.doc");
    row(0, "first");
    row(1, "second");
    m_settings.Conf_Settle = "0";
    ASSERT_TRUE(run(test::SteppingClock(EarliestInstantOf(ToAutomationDate({2026, 12, 6, 14, 5, 9})))));
    ASSERT_EQ(m_mail.sent.size(), 4u);
    const auto number = [&](size_t mail) {
        return m_mail.sent[mail].subject.substr(m_mail.sent[mail].subject.find("管理No:"), 19);
    };
    EXPECT_EQ(number(0), "管理No:1405090612");
    EXPECT_EQ(number(1), number(0)); // the password mail of the same row
    EXPECT_EQ(number(2), "管理No:1405100612");
    EXPECT_EQ(number(3), number(2));
}

TEST_F(CheckRun, FoldersAndFilesThatCannotBeReadNeverStopTheRun)
{
    document("a.doc");
    document("locked/hidden.doc");
    document("elsewhere/secret.doc");
    ASSERT_EQ(::symlink((m_docs + "/elsewhere/secret.doc").c_str(), (m_docs + "/link.doc").c_str()), 0);
    row(0, "open").Subfolders = "0";
    row(1, "partly");
    row(2, "closed").Folder = m_docs + "/elsewhere";
    m_table[2].LastCheck = "2001/02/03 04:05:06";
    row(3, "last").Subfolders = "0";
    for (const char* folder : {"/locked", "/elsewhere"})
        ASSERT_EQ(::chmod((m_docs + folder).c_str(), 0), 0);
    {
        test::PermissionBitsApply permissions;
        if (!permissions.active())
            GTEST_SKIP() << "cannot make permission bits apply";
        EXPECT_TRUE(run());
        // The link whose target cannot be examined is passed over.
        EXPECT_EQ(recordedFiles(), (std::vector<std::string>{"a.doc", "a.doc", "a.doc"}));
        // A row whose own folder cannot be read keeps its last check.
        EXPECT_EQ(m_table[2].LastCheck, "2001/02/03 04:05:06");
        EXPECT_EQ(m_table[3].LastCheck, "2026/12/06 14:05:08");
        ASSERT_EQ(m_messages.messages.size(), 1u);
        EXPECT_EQ(m_messages.messages[0], "次のﾌｫﾙﾀﾞは読めないため、ﾁｪｯｸから除きました。\r\n"
                                          "購読「partly」: " +
                                              m_docs +
                                              "/elsewhere (フォルダを開けません: アクセスが拒否されました)\r\n"
                                              "購読「partly」: " +
                                              m_docs +
                                              "/locked (フォルダを開けません: アクセスが拒否されました)\r\n"
                                              "購読「closed」: " +
                                              m_docs + "/elsewhere (フォルダを開けません: アクセスが拒否されました)");
        // A caller that keeps what was told is told each folder once.
        std::set<std::string> told;
        CheckRunContext keeping = context(m_clock);
        keeping.toldSkippedFolders = &told;
        ASSERT_TRUE(CheckSubscriptions(keeping));
        ASSERT_TRUE(CheckSubscriptions(keeping));
        EXPECT_EQ(m_messages.messages.size(), 2u);
        EXPECT_EQ(told.size(), 2u);
    }
    for (const char* folder : {"/locked", "/elsewhere"})
        ::chmod((m_docs + folder).c_str(), 0700);
}

TEST_F(CheckRun, NothingOfAnHourTheClocksRepeatIsMissedAndTheLastCheckNeverGoesBack)
{
    // A zone whose summer time (two hours ahead of UTC, one hour in winter)
    // ended twenty minutes ago: it is now the second pass through the hour
    // the clocks repeat. The last check was ten minutes before the change,
    // so its wall-clock time lies later in that hour than the new document's.
    const int64_t now = ::time(nullptr);
    const int64_t change = now - 20 * 60;
    const time_t summerWall = static_cast<time_t>(change + 2 * 3600);
    struct tm rule {};
    ::gmtime_r(&summerWall, &rule);
    char zone[64];
    std::snprintf(zone, sizeof zone, "XST-1XDT-2,0/0,%d/%02d:%02d:%02d", rule.tm_yday, rule.tm_hour, rule.tm_min,
                  rule.tm_sec);
    if (rule.tm_yday == 0)
        GTEST_SKIP() << "the change would have to fall on the first day of the year";
    test::ScopedTimeZone scoped(zone);
    document("new.doc");
    SetWritten(m_docs + "/new.doc", now - 86400); // only its creation is new
    const std::string lastCheck = FormatDateTime(AutomationDateFromUnix(change - 10 * 60));
    row(0, "repeat").LastCheck = lastCheck;
    ASSERT_LT(EarliestInstantOf(AutomationDateFromUnix(now)), change - 10 * 60); // the wall clock went back
    test::SteppingClock clock(now + 2);
    ASSERT_TRUE(run(clock));
    EXPECT_EQ(recordedFiles(), std::vector<std::string>{"new.doc"});
    EXPECT_EQ(m_table[0].LastCheck, lastCheck);
    // Once the repeated hour is over, the last check moves on again.
    clock.now = change + 3600 + 60;
    forgetHistory();
    ASSERT_TRUE(run(clock));
    EXPECT_EQ(m_table[0].LastCheck, FormatDateTime(AutomationDateFromUnix(change + 3600 + 59)));
}

TEST_F(CheckRun, ChangesMadeOnDiskMeanwhileAreKeptAndOnlyLastChecksWritten)
{
    const int64_t now = ::time(nullptr);
    document("a.doc");
    row(0, "first");
    row(1, "second").Folder = m_temp.file("missing");
    m_clock.now = AutomationDateFromUnix(now + 2);
    ASSERT_TRUE(run());
    // Another writer (tessalyctl, a window) changes the file; the table in
    // memory still holds the old cells.
    SubscriptionTable onDisk = m_table;
    onDisk[1].Name = "renamed";
    onDisk[2] = {"new row", "", m_docs, "*.doc", "0", "", ""};
    ASSERT_TRUE(SaveSubscriptions(onDisk, m_data));
    forgetHistory();
    m_table[3].Keyword = "not saved yet";
    m_clock.now = AutomationDateFromUnix(now + 62);
    CheckRunContext unsaved = context(m_clock); // the table in memory is not saved first
    ASSERT_TRUE(CheckSubscriptions(unsaved));
    EXPECT_EQ(recordedFiles(), std::vector<std::string>{"a.doc"}); // the new row's first run
    const SubscriptionTable onFile = saved();
    EXPECT_EQ(onFile[1].Name, "renamed");
    EXPECT_EQ(onFile[2].Name, "new row");
    const std::string lastCheck = FormatDateTime(AutomationDateFromUnix(now + 61));
    EXPECT_EQ(onFile[2].LastCheck, lastCheck);
    EXPECT_EQ(onFile[0].LastCheck, lastCheck);
    // The program's table takes the new last checks and keeps what a
    // window has not saved yet.
    EXPECT_EQ(m_table[0].LastCheck, lastCheck);
    EXPECT_EQ(m_table[3].Keyword, "not saved yet");
    EXPECT_EQ(onFile[3].Keyword, "");
}

TEST_F(CheckRun, ACrashAtAnyStepOfARowsCommitLosesNothingAndRepeatsAMailAtMostOnce)
{
    document("a.doc");
    mailOn(false, false);
    // Killed with the history on the disk: the document is found again and
    // mailed once. Killed with its mail in the outbox too: found again, so
    // two mails. Killed with the record written as well: its mail goes out
    // once, and the record knows the document.
    const std::tuple<std::string_view, size_t, size_t> steps[] = {
        {"history", 2, 1}, {"outbox", 2, 2}, {"records", 1, 1}};
    for (const auto& [step, lines, mails] : steps) {
        again();
        row(0, "crash");
        ASSERT_TRUE(SaveSubscriptions(m_table, m_data));
        const std::string before = test::ReadFile(m_data + "/subscription.dat");
        EXPECT_EQ(test::RunInChild([&, at = step] {
                      m_atStep = [at](std::string_view now) {
                          if (now == at)
                              ::_exit(9);
                      };
                      run();
                      return 0;
                  }),
                  9)
            << step;
        EXPECT_EQ(recordedFiles(), std::vector<std::string>{"a.doc"});
        EXPECT_EQ(test::ReadFile(m_data + "/subscription.dat"), before);
        ASSERT_TRUE(run());
        EXPECT_EQ(recordedFiles().size(), lines) << step;
        EXPECT_EQ(m_mail.sent.size(), mails) << step;
        EXPECT_TRUE(Outbox(m_data).list().empty()) << step;
    }
}

TEST_F(CheckRun, ARunWaitsForTheDataFolderAndGivesUpWithAMessage)
{
    document("a.doc");
    row(0, "busy");
    DataFolderLock other = DataFolderLock::Acquire(m_data, 0);
    ASSERT_TRUE(other.held());
    CheckRunContext waiting = context(m_clock);
    waiting.lockWaitSeconds = 0.1;
    EXPECT_FALSE(CheckSubscriptions(waiting));
    EXPECT_EQ(m_messages.messages, std::vector<std::string>{"ﾁｪｯｸを中断しました。\r\n" + std::string(kDataFolderBusy)});
    EXPECT_FALSE(PathExists(m_data + "/history.dat"));
}

TEST_F(CheckRun, LinksAreListedButNeverAttachedAndTheProgramsOwnFilesAreNoDocuments)
{
    const std::string secret = m_temp.file("secret.txt");
    test::WriteFile(secret, "private key");
    ASSERT_EQ(::symlink(secret.c_str(), (m_docs + "/innocent.txt").c_str()), 0);
    document("plain.txt");
    // A folder swapped for a link to a private one after the walk listed it.
    const std::string privateFolder = m_temp.file("private");
    std::filesystem::create_directories(privateFolder + "/zz");
    test::WriteFile(privateFolder + "/zz/report.txt", "private report");
    document("zz/report.txt", "public report");
    m_atStep = [&](std::string_view step) {
        if (step != "walked")
            return;
        std::filesystem::rename(m_docs + "/zz", m_docs + "/zz-old");
        ASSERT_EQ(::symlink((privateFolder + "/zz").c_str(), (m_docs + "/zz").c_str()), 0);
    };
    // The data folder inside the watched tree.
    const std::string inside = m_docs + "/tessaly-data";
    ASSERT_EQ(::mkdir(inside.c_str(), 0700), 0);
    m_data = inside;
    test::WriteFile(inside + "/mail.log", "log");
    document("tessaly-data/sub/kept.txt");
    row(0, "links");
    for (bool zip : {false, true}) {
        mailOn(true, zip, "fixed pass");
        m_mail.sent.clear();
        again();
        ::unlink((m_docs + "/zz").c_str());
        std::filesystem::remove_all(m_docs + "/zz-old");
        document("zz/report.txt", "public report");
        ASSERT_TRUE(run()) << (m_messages.messages.empty() ? "" : m_messages.messages[0]);
        EXPECT_EQ(recordedFiles(true),
                  (std::vector<std::string>{"innocent.txt", "kept.txt", "plain.txt", "report.txt"}));
        ASSERT_EQ(m_mail.sent.size(), 1u);
        const std::string& body = m_mail.sent[0].body;
        EXPECT_NE(body.find(m_docs + "/innocent.txt (添付できません: シンボリックリンクのため読み込みません)\r\n"),
                  std::string::npos)
            << body;
        EXPECT_NE(body.find(m_docs + "/zz/report.txt (添付できません: フォルダ「zz」がシンボリックリンクのため"),
                  std::string::npos)
            << body;
        std::vector<std::string> attached;
        for (const std::string& path : m_mail.sent[0].attachments)
            attached.push_back(FileNameOf(path));
        std::sort(attached.begin(), attached.end());
        const std::string suffix = zip ? ".zip" : "";
        EXPECT_EQ(attached, (std::vector<std::string>{"kept.txt" + suffix, "plain.txt" + suffix}));
    }
}

TEST(RandomLetters, DrawsEveryCapitalLetterAndNothingElse)
{
    std::string seen;
    for (int i = 0; i < 200; ++i) {
        std::string letters = RandomLetters(10);
        ASSERT_EQ(letters.size(), 10u);
        seen += letters;
    }
    EXPECT_TRUE(std::all_of(seen.begin(), seen.end(), [](char c) { return c >= 'A' && c <= 'Z'; }));
    for (char c = 'A'; c <= 'Z'; ++c)
        EXPECT_NE(seen.find(c), std::string::npos) << c;
}

// A document still being written when the walk sees it goes out once the
// writer has left it alone for the settle time, complete and once; a
// document that never settles goes out as it is after a bounded wait.
TEST_F(CheckRun, WaitsForDocumentsToSettleBeforeAnnouncingThem)
{
    mailOn(true, false);
    row(0, "日報");
    const std::string path = document("report.doc", "first half");
    std::string attached;
    m_mail.onSend = [&](const SendMailExArguments& mail) {
        attached = mail.attachments.empty() ? std::string() : test::ReadFile(mail.attachments[0]);
    };
    // The run's clock starts where the file's times are; each wait lets the
    // writer add its next piece, with the file's times at the clock's time.
    test::SteppingClock clock(static_cast<int64_t>(::time(nullptr)) + 2);
    int pieces = 0;
    clock.onWait = [&](int64_t now) {
        if (pieces++ == 0) {
            std::FILE* file = std::fopen(path.c_str(), "ab");
            std::fputs(" and the rest", file);
            std::fclose(file);
            SetWritten(path, now - 1);
        }
    };
    SetWritten(path, clock.now - 1);
    EXPECT_TRUE(run(clock));
    EXPECT_GE(clock.waits, 2);
    ASSERT_EQ(m_mail.sent.size(), 1u);
    EXPECT_EQ(attached, "first half and the rest");
    EXPECT_EQ(recordedFiles(), std::vector<std::string>{"report.doc"});
    // The last check passes the finished document by: the next run is quiet.
    const int64_t later = clock.now + 60;
    test::SteppingClock next(later);
    EXPECT_TRUE(run(next));
    EXPECT_EQ(next.waits, 0);
    EXPECT_EQ(m_mail.sent.size(), 1u);
}

TEST_F(CheckRun, SettleTimeZeroOrAQuietDocumentMeansNoWaitAndAWriterThatNeverStopsIsBounded)
{
    row(0, "日報");
    const std::string path = document("report.doc");
    const int64_t now = static_cast<int64_t>(::time(nullptr)) + 2;
    SetWritten(path, now - 1);
    // Settle time 0; left alone for longer than the settle time; written
    // again at every wait (announced after a few waits, within a minute).
    const struct {
        const char* settle;
        int64_t start;
        bool busy;
        int fewestWaits, mostWaits;
    } cases[] = {{"0", now, false, 0, 0}, {"5", now + 10, false, 0, 0}, {"5", now + 20, true, 3, 12}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.start - now);
        m_settings.Conf_Settle = c.settle;
        again();
        test::SteppingClock clock(c.start);
        if (c.busy) {
            SetWritten(path, c.start);
            clock.onWait = [&](int64_t second) { SetWritten(path, second); };
        }
        EXPECT_TRUE(run(clock));
        EXPECT_GE(clock.waits, c.fewestWaits);
        EXPECT_LE(clock.waits, c.mostWaits);
        EXPECT_LE(clock.now - c.start, 62);
        EXPECT_EQ(m_balloon.text, "日報 1ﾌｧｲﾙ\r\n");
    }
}

// A check of the rows a change was seen in leaves the others as they are.
TEST_F(CheckRun, ACheckOfSomeRowsLeavesTheOthersAlone)
{
    document("a.doc");
    row(0, "日報");
    row(1, "週報");
    row(2, "月報");
    m_settings.Conf_Settle = "0";
    const test::SteppingClock clock(static_cast<int64_t>(::time(nullptr)) + 2);
    m_rows = 0b110;
    EXPECT_TRUE(run(clock));
    EXPECT_EQ(m_balloon.text, "週報 1ﾌｧｲﾙ\r\n月報 1ﾌｧｲﾙ\r\n");
    EXPECT_EQ(m_table[0].LastCheck, "");
    EXPECT_FALSE(m_table[1].LastCheck.empty());
    m_rows = kAllRows;
    EXPECT_TRUE(run(clock));
    EXPECT_EQ(m_balloon.text, "日報 1ﾌｧｲﾙ\r\n");
}

} // namespace
} // namespace tessaly
