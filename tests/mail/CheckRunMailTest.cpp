// SPDX-License-Identifier: MIT
// The check run end to end: tessalyctl check on real folders, real archives,
// a real Postfix delivering into Maildirs, and unzip opening what arrived.
#include "MailServer.h"
#include "TokenClient.h"
#include "common/DateText.h"
#include "common/FileSystem.h"
#include "notify/OAuthSignIn.h"
#include "notify/Outbox.h"
#include "settings/BasicSettings.h"
#include "support/RecordingMessages.h"
#include "support/TempFolder.h"
#include "watch/HistoryFile.h"
#include "watch/SeenRecord.h"
#include "watch/SubscriptionTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <random>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace tessaly {
namespace {

struct DeliveredMail {
    std::string subject;
    std::string body;
    std::vector<std::pair<std::string, std::string>> attachments; ///< name, saved file
};

std::string RunCommand(const std::string& command, int* status = nullptr)
{
    std::FILE* pipe = ::popen(command.c_str(), "r");
    std::string output;
    if (!pipe)
        return output;
    char buffer[4096];
    while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
        output.append(buffer, n);
    int result = ::pclose(pipe);
    if (status)
        *status = WIFEXITED(result) ? WEXITSTATUS(result) : -1;
    return output;
}

std::string Quote(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

/// The mails in `maildir` whose subject contains `marker`.
std::vector<DeliveredMail> Delivered(const std::string& maildir, const std::string& marker, const std::string& saveTo)
{
    std::string output =
        RunCommand("/usr/bin/python3 " + Quote(DUMP_MAIL_SCRIPT) + " " + Quote(maildir) + " " + Quote(saveTo));
    std::vector<DeliveredMail> mails;
    size_t start = 0;
    while (start < output.size()) {
        size_t end = output.find('\n', start);
        std::string line = output.substr(start, end - start);
        start = end == std::string::npos ? output.size() : end + 1;
        if (line == "MAIL")
            mails.emplace_back();
        else if (line.rfind("SUBJECT ", 0) == 0)
            mails.back().subject = line.substr(8);
        else if (line.rfind("BODY ", 0) == 0)
            mails.back().body = line.substr(5);
        else if (line.rfind("ATTACH ", 0) == 0) {
            size_t tab = line.find('\t');
            mails.back().attachments.emplace_back(line.substr(7, tab - 7), line.substr(tab + 1));
        }
    }
    std::erase_if(mails, [&](const DeliveredMail& m) { return m.subject.find(marker) == std::string::npos; });
    return mails;
}

/// Waits until `count` mails with `marker` are in `maildir` (delivery runs
/// behind the SMTP reply), then gives them.
std::vector<DeliveredMail> WaitForMails(const std::string& maildir, const std::string& marker, size_t count,
                                        const std::string& saveTo)
{
    std::vector<DeliveredMail> mails;
    for (int attempt = 0; attempt < 200; ++attempt) {
        mails = Delivered(maildir, marker, saveTo);
        if (mails.size() >= count)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return mails;
}

class CheckRunMail : public ::testing::Test {
protected:
    void SetUp() override
    {
        const test::MailServer& server = test::MailServer::Get();
        m_data = m_temp.file("data");
        ASSERT_EQ(::mkdir(m_data.c_str(), 0700), 0);
        // Subjects carry the subscription names; a marker keeps this test's mails apart.
        m_marker = "T" + std::to_string(std::random_device{}() % 1000000);
        m_settings.Conf_Mail = 1;
        m_settings.Conf_MailAdd = 1;
        m_settings.Conf_zip = 1;
        m_settings.Conf_MaxSize = "10";
        m_settings.Conf_SmtpSrv = "127.0.0.1";
        m_settings.Conf_SmtpPort = std::to_string(server.submitPort());
        m_settings.Conf_SmtpAddr = server.address("sender");
    }

    std::string folder(const std::string& name)
    {
        std::string path = m_temp.file(name);
        ::mkdir(path.c_str(), 0700);
        return path;
    }

    /// A new subscription in `row`: no last check, and nothing seen yet.
    void subscribe(size_t row, const std::string& name, const std::string& watched, const std::string& mailTo)
    {
        m_table[row] = {name + m_marker, "", watched, "*.*", "1", mailTo, ""};
        ::unlink(SeenRecordPath(m_data, row).c_str());
    }

    /// tessalyctl with `command` ("check", "outbox retry") on the data folder,
    /// after `setup` (shell words, such as a lower limit).
    int check(std::string* out = nullptr, std::string* err = nullptr, const char* command = "check",
              const std::string& setup = {})
    {
        std::string error;
        EXPECT_TRUE(SaveBasicSettings(m_settings, m_data, &error)) << error;
        EXPECT_TRUE(SaveSubscriptions(m_table, m_data, &error)) << error;
        int status = -1;
        std::string output = RunCommand(setup + std::string(TESSALYCTL_PATH) + " --dir " + Quote(m_data) + " " +
                                            command + " 2>" + Quote(m_temp.file("stderr")),
                                        &status);
        if (out)
            *out = output;
        if (err)
            *err = test::ReadFile(m_temp.file("stderr"));
        // What the run saved is what the next run starts from.
        test::RecordingMessages quiet;
        LoadSubscriptions(m_table, m_data, quiet);
        return status;
    }

    std::string mailbox(const char* user) const { return test::MailServer::Get().maildir(user); }

    size_t historyLines()
    {
        std::vector<std::string> lines;
        std::string error;
        EXPECT_TRUE(ReadHistoryLines(m_data + "/history.dat", &lines, &error));
        return lines.size();
    }

    test::TempFolder m_temp;
    std::string m_data;
    std::string m_marker;
    BasicSettings m_settings;
    SubscriptionTable m_table;
};

/// The update mail with `marker` in its subject and the password mail that
/// shares its management number, once both have arrived.
std::pair<DeliveredMail, DeliveredMail> UpdateAndPasswordMail(const std::string& maildir, const std::string& marker,
                                                              const std::string& saveTo)
{
    std::vector<DeliveredMail> updates = WaitForMails(maildir, marker, 1, saveTo);
    if (updates.size() != 1) {
        ADD_FAILURE() << updates.size() << " update mails with " << marker;
        return {};
    }
    const std::string& subject = updates[0].subject;
    const std::string number = subject.substr(subject.find("管理No:") + std::string("管理No:").size(), 10);
    std::vector<DeliveredMail> told = WaitForMails(maildir, "管理No:" + number + " のパスワード", 1, saveTo + "-p");
    if (told.empty()) {
        ADD_FAILURE() << "no password mail for " << number;
        return {updates[0], {}};
    }
    return {updates[0], told.back()};
}

std::string PasswordIn(const DeliveredMail& mail)
{
    const std::string lead = "のパスワードは ";
    size_t at = mail.body.find(lead);
    return at == std::string::npos ? std::string() : mail.body.substr(at + lead.size(), 10);
}

/// The bytes of `entry` in the archive `zip`, opened with `password`.
std::string Unzipped(const std::string& zip, const std::string& password, const std::string& entry, int* status)
{
    return RunCommand("unzip -p -P " + Quote(password) + " " + Quote(zip) + " " + Quote(entry) + " 2>/dev/null",
                      status);
}

TEST_F(CheckRunMail, EachSubscriptionsRecipientsGetItsMailsAndOpenItsArchives)
{
    const std::string sales = folder("sales");
    const std::string weekly = folder("weekly");
    test::WriteFile(sales + "/見積書.doc", "見積 estimate bytes");
    test::WriteFile(sales + "/plan.xls", std::string(3000, 'p'));
    test::WriteFile(weekly + "/week.txt", "weekly report");
    const test::MailServer& server = test::MailServer::Get();
    subscribe(0, "営業資料", sales, server.address("alice") + ";" + server.address("bob"));
    subscribe(4, "週報", weekly, server.address("carol"));
    const std::time_t before = ::time(nullptr);

    std::string out;
    std::string err;
    ASSERT_EQ(check(&out, &err), 0) << err;
    EXPECT_EQ(out, "Tessaly! ﾌｧｲﾙが更新されました\n営業資料" + m_marker + " 2ﾌｧｲﾙ\n週報" + m_marker + " 1ﾌｧｲﾙ\n");
    EXPECT_EQ(historyLines(), 3u);
    for (size_t row : {0u, 4u}) {
        std::optional<AutomationDate> last = ParseDateTime(m_table[row].LastCheck);
        ASSERT_TRUE(last.has_value()) << m_table[row].LastCheck;
        EXPECT_GE(*last, AutomationDateFromUnix(before - 1));
        EXPECT_LE(*last, AutomationDateFromUnix(::time(nullptr)));
    }
    EXPECT_FALSE(FileHasContent(m_data + "/見積書.doc.zip"));
    EXPECT_FALSE(FileHasContent(m_data + "/week.txt.zip"));

    // Every mail of the run is in its mailbox: one missing below was never sent.
    ASSERT_TRUE(server.queueHoldsNothingFor({"alice", "bob", "carol"}));
    for (const char* user : {"alice", "bob"}) {
        SCOPED_TRACE(user);
        const auto [update, told] = UpdateAndPasswordMail(mailbox(user), "営業資料" + m_marker, m_temp.file(user));
        EXPECT_EQ(update.subject.rfind("【Tessaly!】営業資料" + m_marker + " の文書が更新されました。管理No:", 0), 0u);
        const std::string password = PasswordIn(told);
        ASSERT_EQ(password.size(), 10u) << told.body;
        ASSERT_EQ(update.attachments.size(), 2u);
        for (const auto& [name, saved] : update.attachments) {
            const std::string document = name.substr(0, name.size() - 4);
            int status = -1;
            EXPECT_EQ(Unzipped(saved, password, document, &status), test::ReadFile(sales + "/" + document));
            EXPECT_EQ(status, 0) << name;
            Unzipped(saved, "WRONGPASSW", document, &status);
            EXPECT_NE(status, 0) << name;
        }
        EXPECT_TRUE(Delivered(mailbox(user), "週報" + m_marker, m_temp.file("x")).empty());
    }
    const auto [weeklyUpdate, weeklyTold] =
        UpdateAndPasswordMail(mailbox("carol"), "週報" + m_marker, m_temp.file("c"));
    ASSERT_EQ(weeklyUpdate.attachments.size(), 1u);
    int status = -1;
    EXPECT_EQ(Unzipped(weeklyUpdate.attachments[0].second, PasswordIn(weeklyTold), "week.txt", &status),
              "weekly report");
    EXPECT_TRUE(Delivered(mailbox("carol"), "営業資料" + m_marker, m_temp.file("y")).empty());

    // Nothing changed: the second run sends and records nothing.
    ASSERT_EQ(check(&out, &err), 0) << err;
    EXPECT_EQ(out, "");
    EXPECT_EQ(historyLines(), 3u);
    ASSERT_TRUE(server.queueHoldsNothingFor({"alice"}));
    EXPECT_EQ(Delivered(mailbox("alice"), m_marker, m_temp.file("again")).size(), 1u);
}

TEST_F(CheckRunMail, DocumentsThemselvesNoAttachmentsAndTheSizeLimit)
{
    const std::string docs = folder("docs");
    test::WriteFile(docs + "/small.doc", "small document");
    std::string noise(3 * 1024 * 1024, '\0');
    uint32_t x = 7;
    for (char& c : noise) {
        x = x * 1103515245 + 12345;
        c = static_cast<char>(x >> 24);
    }
    test::WriteFile(docs + "/big.doc", noise);
    const test::MailServer& server = test::MailServer::Get();

    // Zip off: the documents themselves are attached and stay where they are.
    m_settings.Conf_zip = 0;
    subscribe(0, "原本", docs, server.address("alice"));
    ASSERT_EQ(check(), 0);
    std::vector<DeliveredMail> mails = WaitForMails(mailbox("alice"), "原本" + m_marker, 1, m_temp.file("a"));
    ASSERT_EQ(mails.size(), 1u);
    ASSERT_EQ(mails[0].attachments.size(), 2u);
    for (const auto& [name, saved] : mails[0].attachments)
        EXPECT_EQ(test::ReadFile(saved), test::ReadFile(docs + "/" + name)) << name;
    EXPECT_TRUE(FileHasContent(docs + "/big.doc"));

    // Attachments off: the mail only lists the documents.
    m_settings.Conf_MailAdd = 0;
    subscribe(0, "一覧", docs, server.address("alice"));
    ASSERT_EQ(check(), 0);
    mails = WaitForMails(mailbox("alice"), "一覧" + m_marker, 1, m_temp.file("b"));
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_TRUE(mails[0].attachments.empty());
    EXPECT_NE(mails[0].body.find(docs + "/big.doc"), std::string::npos);

    // A size limit of 2 MB keeps the 3 MB archive out, and it stays behind.
    m_settings.Conf_MailAdd = 1;
    m_settings.Conf_zip = 1;
    m_settings.Conf_MaxSize = "2";
    subscribe(0, "上限", docs, server.address("alice"));
    ASSERT_EQ(check(), 0);
    const auto [update, told] = UpdateAndPasswordMail(mailbox("alice"), "上限" + m_marker, m_temp.file("c"));
    ASSERT_EQ(update.attachments.size(), 1u);
    EXPECT_EQ(PasswordIn(told).size(), 10u);
    EXPECT_EQ(update.attachments[0].first, "small.doc.zip");
    EXPECT_NE(update.body.find("/big.doc (ｻｲｽﾞが上限 (2 MB) 以上のため添付しません)"), std::string::npos)
        << update.body;
    EXPECT_TRUE(Outbox(m_data).list().empty());
}

TEST_F(CheckRunMail, DocumentsOfAnyNameArriveWithTheirNamesAndContents)
{
    // A data folder and documents whose names Shift-JIS cannot carry.
    m_data = m_temp.file("データ Résumé");
    ASSERT_EQ(::mkdir(m_data.c_str(), 0700), 0);
    const std::string docs = folder("Résumés 〜");
    const std::vector<std::string> names = {"é.doc",       "〜.txt",  "😀.doc",           "カ\u3099.doc",
                                            "bad\xFF.doc", "a,b.doc", "line\nbreak.doc", "tab\there.doc"};
    std::vector<std::string> contents;
    for (size_t i = 0; i < names.size(); ++i) {
        contents.push_back("document " + std::to_string(i));
        test::WriteFile(docs + "/" + names[i], contents.back());
    }
    std::sort(contents.begin(), contents.end());
    // A link to a private file outside the watched folder is listed, never sent.
    test::WriteFile(m_temp.file("secret.key"), "private key");
    ASSERT_EQ(::symlink(m_temp.file("secret.key").c_str(), (docs + "/innocent.txt").c_str()), 0);
    const test::MailServer& server = test::MailServer::Get();

    // Zipped: every document in an archive of its own, opened with the password told.
    subscribe(0, "書庫", docs, server.address("alice"));
    std::string err;
    ASSERT_EQ(check(nullptr, &err), 0) << err;
    const auto [update, told] = UpdateAndPasswordMail(mailbox("alice"), "書庫" + m_marker, m_temp.file("z"));
    ASSERT_EQ(update.attachments.size(), names.size());
    std::vector<std::string> unpacked;
    for (const auto& [name, saved] : update.attachments) {
        int status = -1;
        unpacked.push_back(RunCommand("unzip -p -P " + Quote(PasswordIn(told)) + " " + Quote(saved), &status));
        EXPECT_EQ(status, 0) << name;
    }
    std::sort(unpacked.begin(), unpacked.end());
    EXPECT_EQ(unpacked, contents);
    for (const std::string name : {"é.doc", "〜.txt", "😀.doc", "bad\uFFFD.doc"})
        EXPECT_NE(update.body.find(docs + "/" + name + "\\n"), std::string::npos) << name << "\n" << update.body;
    EXPECT_TRUE(FileHasContent(m_data + "/mail.log"));

    // The documents themselves, copied when found, a name with a Tab too.
    m_settings.Conf_zip = 0;
    subscribe(0, "原本", docs, server.address("alice"));
    ASSERT_EQ(check(nullptr, &err), 0) << err;
    std::vector<DeliveredMail> mails = WaitForMails(mailbox("alice"), "原本" + m_marker, 1, m_temp.file("d"));
    ASSERT_EQ(mails.size(), 1u);
    std::vector<std::string> attached;
    for (const auto& [name, saved] : mails[0].attachments)
        attached.push_back(test::ReadFile(saved));
    std::sort(attached.begin(), attached.end());
    EXPECT_EQ(attached, contents);
    std::vector<std::string> sentNames;
    for (const auto& attachment : mails[0].attachments)
        sentNames.push_back(attachment.first);
    for (const std::string name :
         {"é.doc", "〜.txt", "😀.doc", "カ\u3099.doc", "a,b.doc", "line\\nbreak.doc", "tab\\there.doc"})
        EXPECT_NE(std::find(sentNames.begin(), sentNames.end(), name), sentNames.end()) << name;
    // The history keeps every name exactly.
    std::vector<std::string> lines;
    std::string error;
    ASSERT_TRUE(ReadHistoryLines(m_data + "/history.dat", &lines, &error));
    std::vector<std::string> recorded;
    for (const std::string& line : lines)
        recorded.push_back(ParseHistoryLine(line).file);
    std::vector<std::string> twice = names;
    twice.insert(twice.end(), names.begin(), names.end());
    twice.insert(twice.end(), 2, "innocent.txt");
    EXPECT_NE(mails[0].body.find(docs + "/innocent.txt"), std::string::npos);
    EXPECT_NE(update.body.find(docs + "/innocent.txt"), std::string::npos);
    std::sort(recorded.begin(), recorded.end());
    std::sort(twice.begin(), twice.end());
    EXPECT_EQ(recorded, twice);
}

TEST_F(CheckRunMail, AMailTheServerCannotTakeWaitsInTheOutboxAndGoesOutOnce)
{
    const std::string docs = folder("docs");
    test::WriteFile(docs + "/a.doc", "a");
    const test::MailServer& server = test::MailServer::Get();
    subscribe(0, "拒否", docs, server.address("alice"));
    // The AUTH-only submission refuses a sender who did not log in.
    m_settings.Conf_SmtpPort = std::to_string(server.authPort());
    std::string out;
    std::string err;
    EXPECT_EQ(check(&out, &err), 0);
    // The message says which mail failed and why, in the component's words;
    // the row is committed, and its notice waits.
    EXPECT_EQ(err.rfind("ﾒｰﾙ送信で失敗しました(1)。", 0), 0u) << err;
    EXPECT_NE(err.find("Access denied"), std::string::npos) << err;
    EXPECT_NE(m_table[0].LastCheck, "");
    EXPECT_EQ(historyLines(), 1u);
    ASSERT_EQ(Outbox(m_data).list().size(), 1u);
    EXPECT_FALSE(test::ReadFile(m_data + "/mail.log").empty());

    // A server that is down: nothing is recorded again, the notice waits.
    m_settings.Conf_SmtpPort = "1";
    EXPECT_EQ(check(&out, &err, "outbox retry"), 1);
    EXPECT_NE(err.find("127.0.0.1:1 に接続を拒否されました"), std::string::npos) << err;
    EXPECT_EQ(check(&out, &err), 0);
    EXPECT_EQ(historyLines(), 1u);

    // Once the server takes mail again, the notice goes out, once.
    m_settings.Conf_SmtpPort = std::to_string(server.submitPort());
    EXPECT_EQ(check(&out, &err, "outbox retry"), 0) << err;
    EXPECT_EQ(out, "1 sent, 0 waiting\n");
    const auto [update, told] = UpdateAndPasswordMail(mailbox("alice"), "拒否" + m_marker, m_temp.file("m"));
    ASSERT_EQ(update.attachments.size(), 1u);
    int status = -1;
    EXPECT_EQ(Unzipped(update.attachments[0].second, PasswordIn(told), "a.doc", &status), "a");
    EXPECT_TRUE(Outbox(m_data).list().empty());
    EXPECT_EQ(historyLines(), 1u);
}

TEST_F(CheckRunMail, ARecipientRefusedInOneRowNeverMakesAnotherRowMailAgain)
{
    const std::string first = folder("first");
    const std::string second = folder("second");
    const std::string third = folder("third");
    test::WriteFile(first + "/a.doc", "a");
    test::WriteFile(second + "/b.doc", "b");
    test::WriteFile(third + "/c.doc", "c");
    const test::MailServer& server = test::MailServer::Get();
    subscribe(0, "一", first, server.address("alice"));
    subscribe(1, "二", second, server.address("nobody"));
    // The other recipients of a row get its mail where the server allows it.
    subscribe(2, "三", third, server.address("nobody") + ";" + server.address("bob"));
    for (int run = 0; run < 3; ++run) {
        std::string err;
        EXPECT_EQ(check(nullptr, &err), 0) << err;
        if (run == 0) {
            EXPECT_NE(err.find("このﾒｰﾙは再送しません"), std::string::npos) << err;
            EXPECT_NE(err.find("ほかの宛先には送信しました"), std::string::npos) << err;
        }
        EXPECT_TRUE(Outbox(m_data).list().empty());
    }
    EXPECT_FALSE(
        PasswordIn(UpdateAndPasswordMail(mailbox("bob"), "三" + m_marker, m_temp.file("third")).second).empty());
    // The update mail and its password mail, once.
    const auto [update, told] = UpdateAndPasswordMail(mailbox("alice"), "一" + m_marker, m_temp.file("once"));
    EXPECT_FALSE(PasswordIn(told).empty());
    EXPECT_EQ(Delivered(mailbox("alice"), "一" + m_marker, m_temp.file("again")).size(), 1u);
    EXPECT_EQ(Delivered(mailbox("bob"), "三" + m_marker, m_temp.file("again3")).size(), 1u);
    EXPECT_EQ(historyLines(), 3u);
}

TEST_F(CheckRunMail, TwoThousandDocumentsGoOutUnderASoftLimitOfAThousandDescriptors)
{
    const std::string docs = folder("many");
    for (int i = 0; i < 2000; ++i)
        test::WriteFile(docs + "/doc" + std::to_string(i) + ".txt", "document " + std::to_string(i));
    m_settings.Conf_zip = 0;
    const test::MailServer& server = test::MailServer::Get();
    subscribe(0, "大量", docs, server.address("alice"));
    std::string err;
    ASSERT_EQ(check(nullptr, &err, "check", "ulimit -S -n 1024; "), 0) << err;
    const std::vector<DeliveredMail> mails = WaitForMails(mailbox("alice"), "大量" + m_marker, 1, m_temp.file("many"));
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].attachments.size(), 2000u);
    EXPECT_TRUE(Outbox(m_data).list().empty());
}

} // namespace
} // namespace tessaly

namespace tessaly {
namespace {

/// Check runs whose SMTP login signs in by OAuth 2.0 against the fixture's
/// token service and Dovecot's bearer-token check.
class OAuthCheckRun : public CheckRunMail {
protected:
    void SetUp() override
    {
        CheckRunMail::SetUp();
        const test::MailServer& server = test::MailServer::Get();
        m_settings.Conf_SmtpPort = std::to_string(server.authPort());
        m_settings.Conf_SmtpAuth = 1;
        m_settings.Conf_SmtpAuthUser = server.address("sender");
        m_settings.Conf_MailAuth = kMailAuthOther;
        m_settings.Conf_OAuthClient = test::TokenClient::kClientId;
        m_settings.Conf_OAuthTokenUrl = server.tokenUrl() + "/token";
        m_settings.Conf_OAuthDeviceUrl = server.tokenUrl() + "/device_authorization";
        m_settings.Conf_OAuthScope = "mail";
        m_docs = folder("docs");
        test::WriteFile(m_docs + "/a.doc", "a");
    }

    /// tessalyctl mail login, approved at the token service as `user` (with
    /// `answer` added to the approval: "&deny=1", "&expire=1"): its exit
    /// status, output and errors.
    int login(std::string* out, std::string* err, const std::string& user = "sender", const std::string& answer = {})
    {
        std::string error;
        EXPECT_TRUE(SaveBasicSettings(m_settings, m_data, &error)) << error;
        const std::string command = std::string(TESSALYCTL_PATH) + " --dir " + Quote(m_data) + " mail login 2>" +
                                    Quote(m_temp.file("login-err"));
        std::FILE* pipe = ::popen(command.c_str(), "r");
        if (!pipe)
            return -1;
        char line[1024];
        while (std::fgets(line, sizeof line, pipe)) {
            *out += line;
            // The first line names the code the user types in.
            const std::string text(line);
            const std::string lead = "コード ";
            if (size_t at = text.find(lead); at != std::string::npos) {
                const std::string code =
                    text.substr(at + lead.size(), text.find(' ', at + lead.size()) - at - lead.size());
                test::TokenClient(test::MailServer::Get().tokenUrl())
                    .Post("/test/approve", "user_code=" + code + "&username=" +
                                               FormEncode(test::MailServer::Get().address(user)) + answer);
            }
        }
        const int result = ::pclose(pipe);
        *err = test::ReadFile(m_temp.file("login-err"));
        return WIFEXITED(result) ? WEXITSTATUS(result) : -1;
    }

    /// tessalyctl mail login --browser, with the test as the browser: it
    /// opens the printed address at the token service (with `consent`
    /// added: "&deny=1"), and follows the redirect back to the program,
    /// its state changed when `wrongState`. Its exit status, output and
    /// errors; the page the program showed in `page`.
    int browserLogin(std::string* out, std::string* err, std::string* page, const std::string& consent, bool wrongState)
    {
        std::string error;
        EXPECT_TRUE(SaveBasicSettings(m_settings, m_data, &error)) << error;
        const std::string command = std::string(TESSALYCTL_PATH) + " --dir " + Quote(m_data) +
                                    " mail login --browser 2>" + Quote(m_temp.file("login-err"));
        std::FILE* pipe = ::popen(command.c_str(), "r");
        if (!pipe)
            return -1;
        char line[4096];
        while (std::fgets(line, sizeof line, pipe)) {
            *out += line;
            std::string text(line);
            if (!text.starts_with("  http"))
                continue;
            text = text.substr(2, text.find('\n') - 2);
            std::string back;
            test::BrowserGet(text + consent, &back);
            EXPECT_TRUE(back.starts_with("http://127.0.0.1:")) << back;
            if (wrongState)
                back.replace(back.find("state=") + 6, 0, "x");
            *page = test::BrowserGet(back);
        }
        const int result = ::pclose(pipe);
        *err = test::ReadFile(m_temp.file("login-err"));
        return WIFEXITED(result) ? WEXITSTATUS(result) : -1;
    }

    /// Tokens for the sender straight from the service, stored as a sign-in
    /// would store them, the access token expired or (`valid`) good.
    StoredTokens storeTokens(bool valid = false)
    {
        const std::string json =
            test::TokenClient(test::MailServer::Get().tokenUrl()).Issue(test::MailServer::Get().address("sender"));
        StoredTokens tokens{test::TokenClient::kClientId,
                            m_settings.Conf_SmtpAuthUser,
                            test::JsonString(json, "refresh_token"),
                            test::JsonString(json, "access_token"),
                            ::time(nullptr) + (valid ? 3000 : -5),
                            {}};
        std::string error;
        EXPECT_TRUE(SaveStoredTokens(m_data, tokens, 5, &error)) << error;
        return tokens;
    }

    StoredTokens stored()
    {
        StoredTokens tokens;
        std::string error;
        EXPECT_TRUE(LoadStoredTokens(m_data, &tokens, &error)) << error;
        return tokens;
    }

    /// No file of the data folder (but the token file), none of `texts` and
    /// no command line holds `secret`.
    void expectNowhere(const std::string& secret, const std::vector<std::string>& texts)
    {
        ASSERT_FALSE(secret.empty());
        for (const std::string& text : texts)
            EXPECT_EQ(text.find(secret), std::string::npos);
        // Nor does the command line of any process (the servers', the
        // token service's).
        EXPECT_EQ(RunCommand("cat /proc/[0-9]*/cmdline 2>/dev/null | tr '\\0' ' '").find(secret), std::string::npos);
        const std::string listing =
            RunCommand("grep -rl -F -- " + Quote(secret) + " " + Quote(m_data) + " | grep -v /oauth-token.dat$");
        EXPECT_EQ(listing, "");
    }

    std::string m_docs;
};

TEST_F(OAuthCheckRun, DeviceSignInThenACheckRunMailsThroughXOAuth2AndNoTokenLeaks)
{
    std::string out;
    std::string err;
    // The service asks to poll more slowly once (slow_down).
    ASSERT_EQ(login(&out, &err, "sender", "&slow=1"), 0) << out << err;
    const std::string sender = test::MailServer::Get().address("sender");
    EXPECT_NE(out.find("/device"), std::string::npos) << out;
    EXPECT_NE(out.find("サインインしました: " + sender), std::string::npos) << out;
    const StoredTokens tokens = stored();
    EXPECT_EQ(tokens.account, sender);
    struct stat st {};
    ASSERT_EQ(::stat((m_data + "/oauth-token.dat").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    subscribe(0, "OAuth", m_docs, test::MailServer::Get().address("alice"));
    ASSERT_EQ(check(&out, &err), 0) << err;
    EXPECT_EQ(err, "");
    EXPECT_EQ(WaitForMails(mailbox("alice"), "OAuth" + m_marker, 1, m_temp.file("m")).size(), 1u);
    EXPECT_TRUE(Outbox(m_data).list().empty());
    EXPECT_NE(test::ReadFile(m_data + "/mail.log").find("AUTH XOAUTH2"), std::string::npos);
    for (const std::string& secret : {tokens.accessToken, tokens.refreshToken})
        expectNowhere(secret, {out, err});
}

TEST_F(OAuthCheckRun, BrowserSignInWithPkceAndASecretThenMailsThroughXOAuth2)
{
    m_settings.Conf_OAuthClient = "tessaly-installed";
    m_settings.Conf_OAuthSecret = "installed-secret";
    m_settings.Conf_OAuthAuthUrl = test::MailServer::Get().tokenUrl() + "/authorize";
    std::string out;
    std::string err;
    std::string page;
    ASSERT_EQ(browserLogin(&out, &err, &page, "", false), 0) << out << err;
    const std::string sender = test::MailServer::Get().address("sender");
    EXPECT_NE(out.find("code_challenge_method=S256"), std::string::npos) << out;
    EXPECT_NE(out.find("サインインしました: " + sender), std::string::npos) << out;
    EXPECT_NE(page.find("サインインを受け付けました"), std::string::npos) << page;
    // The access token is let run out: the renewal sends the secret too.
    StoredTokens tokens = stored();
    tokens.accessExpires = 0;
    std::string error;
    ASSERT_TRUE(SaveStoredTokens(m_data, tokens, 5, &error)) << error;

    subscribe(0, "Browser", m_docs, test::MailServer::Get().address("alice"));
    ASSERT_EQ(check(&out, &err), 0) << err;
    EXPECT_EQ(err, "");
    EXPECT_EQ(WaitForMails(mailbox("alice"), "Browser" + m_marker, 1, m_temp.file("m")).size(), 1u);
    EXPECT_NE(test::ReadFile(m_data + "/mail.log").find("AUTH XOAUTH2"), std::string::npos);
    expectNowhere(stored().refreshToken, {out, err, page});
}

TEST_F(OAuthCheckRun, AnExpiredAccessTokenIsRenewedWithoutTheUser)
{
    const StoredTokens before = storeTokens();
    subscribe(0, "Renew", m_docs, test::MailServer::Get().address("alice"));
    std::string out;
    std::string err;
    ASSERT_EQ(check(&out, &err), 0) << err;
    EXPECT_EQ(err, "");
    EXPECT_EQ(WaitForMails(mailbox("alice"), "Renew" + m_marker, 1, m_temp.file("m")).size(), 1u);
    const StoredTokens after = stored();
    EXPECT_NE(after.accessToken, before.accessToken);
    EXPECT_GT(after.accessExpires, ::time(nullptr) + 600);
    EXPECT_EQ(after.refreshToken, before.refreshToken);
    expectNowhere(after.accessToken, {out, err});
}

TEST_F(OAuthCheckRun, ARevokedSignInIsToldOnceAndTheMailWaitsForANewOne)
{
    // Revoking the refresh token takes its access tokens with it.
    const StoredTokens tokens = storeTokens(true);
    test::TokenClient(test::MailServer::Get().tokenUrl()).Revoke(tokens.refreshToken);
    subscribe(0, "Revoked", m_docs, test::MailServer::Get().address("alice"));
    std::string out;
    std::string err;
    // The cached access token is refused by the server and forgotten.
    EXPECT_EQ(check(&out, &err), 0);
    EXPECT_NE(err.find("アクセストークンを受け付けませんでした"), std::string::npos) << err;
    EXPECT_EQ(stored().accessToken, "");
    ASSERT_EQ(Outbox(m_data).list().size(), 1u);
    // Renewing finds the sign-in revoked: told once, then the mail waits
    // quietly.
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_EQ(check(&out, &err, "outbox retry"), 1);
        EXPECT_EQ(err.find("tessalyctl mail login") != std::string::npos, attempt == 0) << err;
        EXPECT_EQ(Outbox(m_data).list().size(), 1u);
    }

    ASSERT_EQ(login(&out, &err), 0) << out << err;
    EXPECT_EQ(check(&out, &err, "outbox retry"), 0) << err;
    EXPECT_EQ(out, "1 sent, 0 waiting\n");
    EXPECT_EQ(WaitForMails(mailbox("alice"), "Revoked" + m_marker, 1, m_temp.file("m")).size(), 1u);
}

TEST_F(OAuthCheckRun, SignInsThatCannotGoOnSayWhy)
{
    struct Case {
        const char* name;
        std::string client;
        const char* answer;
        const char* told;
        bool browser = false;
        bool wrongState = false;
    };
    const std::string client = test::TokenClient::kClientId;
    const Case cases[] = {
        {"wrong client id", "not-registered", "", "クライアントIDが正しくない"},
        {"refused by the user", client, "&deny=1", "サインインが拒否されました"},
        {"code run out", client, "&expire=1", "コードの有効期限が切れました"},
        {"refused in the browser", client, "&deny=1", "サインインが拒否されました", true},
        {"another sign-in's redirect", client, "", "state が一致しません", true, true},
        {"secret missing", "tessaly-installed", "", "シークレットが違う", true},
    };
    m_settings.Conf_OAuthAuthUrl = test::MailServer::Get().tokenUrl() + "/authorize";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_settings.Conf_OAuthClient = c.client;
        std::string out;
        std::string err;
        std::string page;
        EXPECT_EQ(c.browser ? browserLogin(&out, &err, &page, c.answer, c.wrongState)
                            : login(&out, &err, "sender", c.answer),
                  1)
            << out;
        EXPECT_NE(err.find(c.told), std::string::npos) << err;
        StoredTokens tokens;
        std::string error;
        EXPECT_FALSE(LoadStoredTokens(m_data, &tokens, &error));
    }
}

} // namespace
} // namespace tessaly
