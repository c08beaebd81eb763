// SPDX-License-Identifier: MIT
#include "watch/CheckRun.h"

#include "common/Balloon.h"
#include "common/Clock.h"
#include "common/DateText.h"
#include "common/FileSystem.h"
#include "common/NumericText.h"
#include "common/Random.h"
#include "common/UserMessages.h"
#include "notify/MailDelivery.h"
#include "notify/PasswordMail.h"
#include "notify/UpdateMail.h"
#include "notify/ZipAttachment.h"
#include "settings/BasicSettings.h"
#include "watch/HistoryFile.h"
#include "watch/NameCase.h"
#include "watch/PathParts.h"

#include <cerrno>
#include <cmath>
#include <sys/stat.h>
#include <unistd.h>
#include <set>
#include <vector>

namespace tessaly {
namespace {

constexpr std::string_view kNeverChecked = "1900/01/01 00:00:00";
constexpr std::string_view kHistoryFailed = "履歴ﾌｧｲﾙ作成に失敗しました";
constexpr std::string_view kUpdateMailFailed = "ﾒｰﾙ送信で失敗しました(1)。ﾛｸﾞﾌｧｲﾙを確認してください。";
constexpr std::string_view kPasswordMailFailed = "ﾒｰﾙ送信で失敗しました(2)。ﾛｸﾞﾌｧｲﾙを確認してください。";
constexpr std::string_view kRunStopped = "ﾁｪｯｸを中断しました。";
constexpr std::string_view kSaveFailed = "購読ﾌｧｲﾙを保存できませんでした。";

bool IsOn(int16_t flag)
{
    return flag == 1;
}

/// Whole seconds since 1899-12-30 of a date-time, cut (not rounded) to the
/// second: last checks are kept to the second, so file times are compared at
/// that precision too. The small allowance absorbs the rounding error of a
/// value that lies exactly on a second.
int64_t WholeSeconds(AutomationDate value)
{
    return static_cast<int64_t>(std::floor(value * 86400.0 + 1e-4));
}

/// True when a found file was created or written in `second`.
bool ChangedInSecond(const WalkResult& files, int64_t second)
{
    for (size_t i = 0; i < files.size(); ++i) {
        if (WholeSeconds(files.created(i)) == second || WholeSeconds(files.written(i)) == second)
            return true;
    }
    return false;
}

/// The keyword words of a subscription: ideographic spaces count as blanks,
/// and every blank separates, so two blanks in a row give an empty word
/// (which every name contains). An empty keyword gives no words at all.
std::vector<std::string> KeywordTokens(const std::string& keyword)
{
    std::vector<std::string> tokens;
    if (keyword.empty())
        return tokens;
    std::string text = keyword;
    for (size_t pos = text.find("\u3000"); pos != std::string::npos; pos = text.find("\u3000", pos))
        text.replace(pos, 3, " ");
    size_t start = 0;
    for (;;) {
        size_t blank = text.find(' ', start);
        tokens.push_back(UpperCaseName(text.substr(start, blank - start)));
        if (blank == std::string::npos)
            break;
        start = blank + 1;
    }
    return tokens;
}

bool PassesKeywords(const std::vector<std::string>& tokens, std::string_view path)
{
    if (tokens.empty())
        return true;
    const std::string name = UpperCaseName(FileNameOf(path));
    for (const std::string& token : tokens) {
        if (name.find(token) != std::string::npos)
            return true;
    }
    return false;
}

/// The work of one subscription row, kept while the row is processed.
class RowCheck final {
public:
    RowCheck(CheckRunContext& context, Subscription& row, std::string password)
        : m_context(context), m_row(row), m_password(std::move(password))
    {
    }

    /// Walks, records and announces the row. False (after a message) when
    /// the run must end.
    bool run();

private:
    bool walk(std::optional<WalkResult>* files, AutomationDate* walkSecond);
    bool record(std::string_view path, AutomationDate created, AutomationDate written);
    bool decideAttachment(std::string_view path);
    std::string archiveName(std::string_view path);
    bool announce();
    bool deleteArchives();
    bool stop(std::string_view cause);

    CheckRunContext& m_context;
    Subscription& m_row;
    std::string m_password;
    std::vector<std::string> m_tokens;
    int m_updates = 0;
    std::string m_updatedFileList;
    std::string m_attachmentList;
    std::vector<std::string> m_attachedArchives;
    std::set<std::string> m_archiveNames; ///< archives made for this row
};

bool RowCheck::stop(std::string_view cause)
{
    m_context.messages.ShowMessage(std::string(kRunStopped) + "\r\n" + "購読「" + m_row.Name + "」: " +
                                   std::string(cause));
    return false;
}

bool RowCheck::run()
{
    const std::string& lastCheckText = m_row.LastCheck.empty() ? std::string(kNeverChecked) : m_row.LastCheck;
    std::optional<AutomationDate> lastCheck = ParseDateTime(lastCheckText);
    if (!lastCheck)
        return stop("the last check \"" + m_row.LastCheck + "\" is not a date");
    // A missing folder, and a file where a folder should be, skip the row.
    if (m_row.Folder.empty() || !PathExists(m_row.Folder) || !IsDirectory(m_row.Folder))
        return true;
    std::optional<WalkResult> files;
    AutomationDate walkSecond = 0;
    if (!walk(&files, &walkSecond))
        return false;
    const int64_t lastCheckSecond = WholeSeconds(*lastCheck);
    m_tokens = KeywordTokens(m_row.Keyword);
    for (size_t i = 0; i < files->size(); ++i) {
        const AutomationDate created = files->created(i);
        const AutomationDate written = files->written(i);
        const bool changed = WholeSeconds(created) > lastCheckSecond || WholeSeconds(written) > lastCheckSecond;
        if (!changed || !PassesKeywords(m_tokens, files->path(i)))
            continue;
        if (!record(files->path(i), created, written))
            return false;
    }
    // Everything the walk saw is older than the second it started in, so the
    // second before it is the new last check: what changes from then on is
    // reported by the next run, nothing seen now is reported again.
    m_row.LastCheck = FormatDateTime(walkSecond - 1.0 / 86400.0);
    return m_updates == 0 || announce();
}

bool RowCheck::walk(std::optional<WalkResult>* files, AutomationDate* walkSecond)
{
    // Last checks are kept to the second. A file that changed in the very
    // second a walk starts cannot be told apart from one that changes later
    // in that second, after the walk has read it; so such a walk is done
    // again once the clock has moved on (rare outside of tests).
    for (int attempt = 0;; ++attempt) {
        *walkSecond = m_context.clock.Now();
        std::string error;
        *files = GetFilesMostDeep(m_row.Folder, m_row.FileName, m_row.Subfolders, m_context.walk, &error);
        if (!*files)
            return stop(error);
        if (attempt == 2 || !ChangedInSecond(**files, WholeSeconds(*walkSecond)))
            return true;
        m_context.clock.WaitForNextSecond();
    }
}

bool RowCheck::record(std::string_view path, AutomationDate created, AutomationDate written)
{
    ++m_updates;
    std::string error;
    if (!WriteHistory(m_context.folder, UpdateRecord{m_row.Name, std::string(path), created, written},
                      m_context.clock, &error)) {
        m_context.messages.ShowMessage(std::string(kHistoryFailed) + "\r\n" + error);
        return false;
    }
    m_updatedFileList.append(path).append("\r\n");
    return !IsOn(m_context.settings.Conf_Mail) || decideAttachment(path);
}

bool RowCheck::decideAttachment(std::string_view path)
{
    const BasicSettings& settings = m_context.settings;
    if (!IsOn(settings.Conf_MailAdd))
        return true;
    std::string attachment(path);
    int64_t size = 0;
    if (IsOn(settings.Conf_zip)) {
        ZipAttachment archive;
        std::string error;
        if (!MakeZipAttachment(path, m_password, m_context.folder, m_context.zip, &archive, &error,
                               archiveName(path)))
            return stop(error);
        attachment = archive.archivePath;
        size = archive.archiveSize;
    } else {
        struct stat st {};
        if (::stat(attachment.c_str(), &st) != 0)
            return stop("cannot read the size of " + attachment + ": " + ErrorText(errno));
        size = st.st_size;
    }
    std::optional<double> maxSize = ParseNumber(settings.Conf_MaxSize);
    if (!maxSize)
        return stop("the attachment size limit \"" + settings.Conf_MaxSize + "\" is not a number");
    if (*maxSize > RoundHalfEven(static_cast<double>(size) / 1024.0 / 1024.0)) {
        m_attachmentList.append(attachment).append("\t");
        if (IsOn(settings.Conf_zip))
            m_attachedArchives.push_back(attachment);
    }
    return true;
}

/// "<file name>.zip", or "<file name>(2).zip" and so on when a document of
/// the same name in another folder of the row already has that archive, so
/// that one document's archive never replaces another's before the mail.
std::string RowCheck::archiveName(std::string_view path)
{
    const std::string fileName = FileNameOf(path);
    std::string name = fileName + ".zip";
    for (int n = 2; m_archiveNames.count(name) != 0; ++n)
        name = fileName + "(" + std::to_string(n) + ").zip";
    m_archiveNames.insert(name);
    return name;
}

bool RowCheck::announce()
{
    m_context.balloon.SetBalloonTitle(kUpdatedBalloonTitle);
    m_context.balloon.SetBalloonText(m_context.balloon.BalloonText() + m_row.Name + " " +
                                     std::to_string(m_updates) + "ﾌｧｲﾙ\r\n");
    const std::string managementNo = FormatManagementNo(m_context.clock.Now());
    const BasicSettings& settings = m_context.settings;
    if (!IsOn(settings.Conf_Mail))
        return true;
    if (!m_attachmentList.empty())
        m_attachmentList.pop_back();
    const MailDelivery delivery{m_context.mail, settings, m_context.folder};
    if (!SendUpdateMail(delivery, m_row.MailTo, m_row.Name, m_updatedFileList, m_attachmentList, managementNo)
             .isSent()) {
        m_context.messages.ShowMessage(kUpdateMailFailed);
        return false;
    }
    // The password is told only when an archive with a drawn password went out.
    if (settings.Conf_zipPasswd.empty() && IsOn(settings.Conf_zip) && !m_attachedArchives.empty() &&
        !SendPasswordMail(delivery, m_row.MailTo, m_row.Name, m_password, "", managementNo).isSent()) {
        m_context.messages.ShowMessage(kPasswordMailFailed);
        return false;
    }
    return !IsOn(settings.Conf_zip) || deleteArchives();
}

bool RowCheck::deleteArchives()
{
    for (const std::string& archive : m_attachedArchives) {
        if (::unlink(archive.c_str()) != 0 && errno != ENOENT)
            return stop("cannot delete " + archive + ": " + ErrorText(errno));
    }
    return true;
}

} // namespace

std::string RandomLetters(int count)
{
    std::string letters;
    for (int i = 0; i < count; ++i)
        letters.push_back(static_cast<char>('A' + static_cast<int>(RoundHalfEven(25.0 * UniformRandom()))));
    return letters;
}

bool CheckSubscriptions(CheckRunContext& context)
{
    context.balloon.SetBalloonText("");
    for (Subscription& row : context.table) {
        // Drawn for every row, used or not, as the random source expects.
        std::string password =
            context.settings.Conf_zipPasswd.empty() ? RandomLetters(10) : context.settings.Conf_zipPasswd;
        if (!row.inUse())
            continue;
        RowCheck check(context, row, std::move(password));
        if (!check.run())
            return false;
    }
    std::string error;
    if (!SaveSubscriptions(context.table, context.folder, &error)) {
        context.messages.ShowMessage(std::string(kSaveFailed) + "\r\n" + error);
        return false;
    }
    return true;
}

} // namespace tessaly
