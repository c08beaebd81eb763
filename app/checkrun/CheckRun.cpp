// SPDX-License-Identifier: MIT
#include "checkrun/CheckRun.h"

#include "checkrun/SeenFilter.h"
#include "common/Balloon.h"
#include "common/Clock.h"
#include "common/DataFolderLock.h"
#include "common/DateText.h"
#include "common/FileSystem.h"
#include "common/NumericText.h"
#include "common/PathField.h"
#include "common/PathParts.h"
#include "common/Random.h"
#include "common/UserMessages.h"
#include "notify/ComponentMailTransfer.h"
#include "notify/ComponentZipArchiver.h"
#include "notify/NotificationMail.h"
#include "notify/ZipAttachment.h"
#include "settings/BasicSettings.h"
#include "watch/HistoryFile.h"
#include "watch/Keywords.h"
#include "watch/NameCase.h"
#include "watch/SeenComparison.h"
#include "watch/SeenRecord.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace tessaly {
namespace {

constexpr std::string_view kNeverChecked = "1900/01/01 00:00:00";
/// How often, and for how long in all, a row waits for its documents to
/// settle before it announces them as they are.
constexpr int kMaxSettleWaits = 5;
constexpr int64_t kMaxSettleSpan = 60;
constexpr std::string_view kHistoryFailed = "履歴ﾌｧｲﾙ作成に失敗しました";
constexpr std::string_view kUpdateMailFailed = "ﾒｰﾙ送信で失敗しました(1)。";
constexpr std::string_view kPasswordMailFailed = "ﾒｰﾙ送信で失敗しました(2)。";
constexpr std::string_view kReadTheLog = "ﾛｸﾞﾌｧｲﾙを確認してください。";
constexpr std::string_view kRunStopped = "ﾁｪｯｸを中断しました。";
constexpr std::string_view kSaveFailed = "購読ﾌｧｲﾙを保存できませんでした。";
constexpr std::string_view kFoldersSkipped = "次のﾌｫﾙﾀﾞは読めないため、ﾁｪｯｸから除きました。";
constexpr std::string_view kRecordFailed = "確認済みﾌｧｲﾙの記録を保存できませんでした。";

/// The folder text under which a walk of `watched` lists the files of the
/// data folder, when the data folder lies in that tree (or is that folder),
/// else "". The program's own files (its history, logs, archives) are no
/// documents.
std::string DataFolderInWalk(const std::string& watched, const std::string& dataFolder)
{
    char watchedReal[PATH_MAX];
    char dataReal[PATH_MAX];
    if (!::realpath(watched.c_str(), watchedReal) || !::realpath(dataFolder.c_str(), dataReal))
        return {};
    std::string base = watchedReal;
    const std::string data = dataReal;
    if (base == "/")
        base.clear();
    if (data.size() < base.size() || data.compare(0, base.size(), base) != 0 ||
        (data.size() > base.size() && data[base.size()] != '/'))
        return {};
    const std::string root = FolderWalkRoot(watched);
    return (root == "/" ? std::string() : root) + data.substr(base.size());
}

/// What identifies one state of a file: whether it exists, its inode, size
/// and modification time.
struct FileState {
    bool exists = false;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};

    static FileState Of(const std::string& path)
    {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0)
            return {};
        return FileState{true, st.st_ino, st.st_size, st.st_mtim};
    }

    bool sameAs(const FileState& other) const
    {
        return exists == other.exists && inode == other.inode && size == other.size &&
               modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec;
    }
};

bool Cancelled(const CheckRunContext& context)
{
    return context.cancel && context.cancel->load();
}

/// A row's new record of what it has seen, put in place once the history
/// is on the disk.
struct PendingRecord {
    std::string rowName;
    std::unique_ptr<SeenRecord> old;
    std::unique_ptr<SeenComparison> comparison;
    bool write = false; ///< something differs from the old record
};

/// What the whole run shares across its rows.
struct RunState {
    std::string previousManagementNo;
    bool recorded = false;                                      ///< a history line was written
    std::vector<std::pair<std::string, SkippedFolder>> skipped; ///< subscription name, folder
    std::vector<PendingRecord> records;
};

/// The work of one subscription row, kept while the row is processed.
class RowCheck final {
public:
    RowCheck(CheckRunContext& context, RunState& run, Subscription& row, size_t index, std::string password)
        : m_context(context), m_run(run), m_row(row), m_index(index), m_password(std::move(password))
    {
    }

    /// Walks, records and announces the row. False (after a message) when
    /// the run must end.
    bool run();

private:
    bool walk(std::optional<WalkResult>* files, int64_t* walkStart);
    void waitUntil(int64_t unixSecond);
    static int64_t LastChange(const WalkResult& files, int64_t walkStart);
    bool record(std::string_view path, const WalkResult& files, size_t index);
    bool decideAttachment(std::string_view path);
    std::string archiveName(std::string_view path);
    std::string managementNo();
    bool announce();
    bool sendFailed(std::string_view message, const MailOutcome& outcome, const FileState& logBefore);
    bool deleteArchives();
    bool stop(std::string_view cause);

    CheckRunContext& m_context;
    RunState& m_run;
    Subscription& m_row;
    size_t m_index;
    std::string m_password;
    std::vector<std::string> m_tokens;
    int64_t m_lastCheckInstant = 0;
    std::string m_ownFiles;                 ///< the data folder's own files, when in the walk
    std::unique_ptr<SeenRecord> m_record;   ///< what the row has seen
    std::unique_ptr<SeenComparison> m_seen; ///< the last walk held against it
    int64_t m_updates = 0;
    std::string m_updatedFileList;
    std::string m_attachmentList;
    std::vector<std::string> m_attachedArchives;
    std::set<std::string> m_archiveNames; ///< archives made for this row
};

bool RowCheck::stop(std::string_view cause)
{
    m_context.messages.ShowMessage(std::string(kRunStopped) + "\r\n" + "購読「" + m_row.Name +
                                   "」: " + std::string(cause));
    return false;
}

bool RowCheck::run()
{
    const std::string& lastCheckText = m_row.LastCheck.empty() ? std::string(kNeverChecked) : m_row.LastCheck;
    std::optional<AutomationDate> lastCheck = ParseDateTime(lastCheckText);
    if (!lastCheck)
        return stop("最終ﾁｪｯｸ日「" + m_row.LastCheck + "」が日付ではありません");
    // A missing folder, and a file where a folder should be, skip the row.
    if (m_row.Folder.empty() || !PathExists(m_row.Folder) || !IsDirectory(m_row.Folder))
        return true;
    // The last check names the earliest instant with its wall-clock time, so
    // that nothing of an hour the clocks repeat is missed.
    m_lastCheckInstant = EarliestInstantOf(*lastCheck);
    m_tokens = KeywordTokens(m_row.Keyword);
    m_ownFiles = DataFolderInWalk(m_row.Folder, m_context.folder);
    m_record = std::make_unique<SeenRecord>(SeenRecordPath(m_context.folder, m_index),
                                            SeenConfiguration(m_row, WalksSubfolders(m_row.Subfolders)));
    std::optional<WalkResult> files;
    int64_t walkStart = 0;
    if (!walk(&files, &walkStart))
        return false;
    const std::vector<SkippedFolder>& skipped = files->skippedFolders();
    for (const SkippedFolder& folder : skipped)
        m_run.skipped.emplace_back(m_row.Name, folder);
    // A row whose own folder could not be read was not walked: it keeps its
    // last check and its record, so that nothing is missed once the folder
    // can be read.
    if (!skipped.empty() && skipped.front().path == FolderWalkRoot(m_row.Folder))
        return true;
    for (size_t i = 0; i < files->size(); ++i) {
        if (!record(files->path(i), *files, i))
            return false;
    }
    const bool write = m_seen->finish(skipped);
    m_run.records.push_back(PendingRecord{m_row.Name, std::move(m_record), std::move(m_seen), write});
    // Everything the walk saw is older than the second it started in, so the
    // second before it is the new last check. The record decides what is
    // new; the last check serves a row that has no record. While the clocks
    // repeat an hour, that text would name an earlier instant than the last
    // check already does: then it stays, unless it lies after the walk's
    // start (a clock set back), which no longer hides anything.
    const std::string next = FormatDateTime(AutomationDateFromUnix(walkStart - 1));
    if (std::optional<AutomationDate> nextValue = ParseDateTime(next);
        nextValue && (EarliestInstantOf(*nextValue) >= m_lastCheckInstant || m_lastCheckInstant > walkStart))
        m_row.LastCheck = next;
    return m_updates == 0 || announce();
}

bool RowCheck::walk(std::optional<WalkResult>* files, int64_t* walkStart)
{
    const int settle = SettleSeconds(m_context.settings.Conf_Settle);
    const int64_t firstWalk = m_context.clock.UnixNow();
    int settleWaits = 0;
    for (;;) {
        *walkStart = m_context.clock.UnixNow();
        // Each walk is held against the record as it was before the run.
        m_seen = std::make_unique<SeenComparison>(*m_record, m_record->path());
        SeenFilter filter(*m_seen, {m_record->state() == SeenRecord::State::Ready, m_tokens, m_ownFiles,
                                    m_lastCheckInstant, *walkStart});
        WalkOptions options = m_context.walk;
        options.filter = &filter;
        std::string error;
        *files = GetFilesMostDeep(m_row.Folder, m_row.FileName, m_row.Subfolders, options, &error);
        if (!*files)
            return stop(error + " (" + ValidUtf8(m_row.Folder) + ")");
        // A document changed less than the settle time before the walk may
        // still be being written (a copy in progress): the row is walked
        // again once it has been left alone that long, so that it goes out
        // complete, and once. A document that never settles goes out as it
        // is after a few waits or a minute.
        const int64_t last = settle > 0 ? LastChange(**files, *walkStart) : 0;
        const int64_t quiet = last > 0 ? last + settle : 0;
        if (quiet > *walkStart && settleWaits < kMaxSettleWaits && quiet - firstWalk <= kMaxSettleSpan) {
            ++settleWaits;
            waitUntil(quiet);
            if (Cancelled(m_context))
                return false;
            continue;
        }
        return true;
    }
}

/// The clock's wait, a second at a time when the run may be cancelled.
void RowCheck::waitUntil(int64_t unixSecond)
{
    if (!m_context.cancel) {
        m_context.clock.WaitUntil(unixSecond);
        return;
    }
    while (!Cancelled(m_context) && m_context.clock.UnixNow() < unixSecond)
        m_context.clock.WaitForNextSecond();
}

/// The last second in which a document the walk found changed: its
/// creation, last write, or the inode change a write or a copy's closing
/// time stamp makes. 0 when the walk found none.
int64_t RowCheck::LastChange(const WalkResult& files, int64_t walkStart)
{
    int64_t last = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        int64_t changed = files.createdInstant(i).seconds;
        if (files.writtenInstant(i).seconds <= walkStart)
            changed = std::max(changed, files.writtenInstant(i).seconds);
        struct stat st {};
        if (::lstat(std::string(files.path(i)).c_str(), &st) == 0)
            changed = std::max(changed, static_cast<int64_t>(st.st_ctim.tv_sec));
        last = std::max(last, changed);
    }
    return last;
}

bool RowCheck::record(std::string_view path, const WalkResult& files, size_t index)
{
    ++m_updates;
    std::string error;
    if (!WriteHistory(m_context.folder,
                      UpdateRecord{m_row.Name, std::string(path), files.created(index), files.written(index)},
                      m_context.clock, &error)) {
        m_context.messages.ShowMessage(std::string(kHistoryFailed) + "\r\n" + error);
        return false;
    }
    m_run.recorded = true;
    m_updatedFileList.append(path).append("\r\n");
    return !IsOn(m_context.settings.Conf_Mail) || decideAttachment(path);
}

bool RowCheck::decideAttachment(std::string_view path)
{
    const BasicSettings& settings = m_context.settings;
    if (!IsOn(settings.Conf_MailAdd))
        return true;
    std::optional<double> maxSize = ParseNumber(settings.Conf_MaxSize);
    if (!maxSize)
        return stop("添付ﾌｧｲﾙの最大ｻｲｽﾞ「" + settings.Conf_MaxSize + "」が数値ではありません");
    std::string attachment(path);
    // A link is listed but never attached: whoever can write the watched
    // folder could point it at any file the program's user may read.
    struct stat entry {};
    if (::lstat(attachment.c_str(), &entry) != 0 || S_ISLNK(entry.st_mode))
        return true;
    int64_t size = 0;
    if (IsOn(settings.Conf_zip)) {
        ZipAttachment archive;
        std::string error;
        // A document that cannot be packed is listed in the mail but not
        // attached, like one over the size limit; without the component no
        // document can be, and the run ends.
        if (!MakeZipAttachment(path, m_password, m_context.folder, *m_context.zip, &archive, &error, archiveName(path)))
            return archive.componentUnavailable ? stop(error) : true;
        attachment = archive.archivePath;
        size = archive.archiveSize;
    } else {
        // Only a regular file can go out as it is.
        struct stat st {};
        if (::stat(attachment.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            return true;
        size = st.st_size;
    }
    // The list is separated by tabs: a path holding one cannot be in it.
    if (attachment.find('\t') != std::string::npos)
        return true;
    if (*maxSize > RoundHalfEven(static_cast<double>(size) / 1024.0 / 1024.0)) {
        m_attachmentList.append(attachment).append("\t");
        if (IsOn(settings.Conf_zip))
            m_attachedArchives.push_back(attachment);
    }
    return true;
}

/// The archive name of a document (see ArchiveNameFor), numbered when a
/// document of the same name in another folder of the row already has it,
/// so that one document's archive never replaces another's before the mail.
std::string RowCheck::archiveName(std::string_view path)
{
    const std::string fileName = FileNameOf(path);
    std::string name = ArchiveNameFor(fileName);
    for (int copy = 2; m_archiveNames.count(name) != 0; ++copy)
        name = ArchiveNameFor(fileName, copy);
    m_archiveNames.insert(name);
    return name;
}

/// The management number of the row's mails, never the same as the one of
/// the row announced before it in this run, so that a recipient of both can
/// tell their mails apart.
std::string RowCheck::managementNo()
{
    std::string number = FormatManagementNo(m_context.clock.Now());
    for (int wait = 0; wait < 3 && number == m_run.previousManagementNo; ++wait) {
        m_context.clock.WaitForNextSecond();
        number = FormatManagementNo(m_context.clock.Now());
    }
    m_run.previousManagementNo = number;
    return number;
}

bool RowCheck::announce()
{
    m_context.balloon.SetBalloonTitle(kUpdatedBalloonTitle);
    m_context.balloon.SetBalloonText(m_context.balloon.BalloonText() + m_row.Name + " " + std::to_string(m_updates) +
                                     "ﾌｧｲﾙ\r\n");
    const std::string number = managementNo();
    const BasicSettings& settings = m_context.settings;
    if (!IsOn(settings.Conf_Mail))
        return true;
    if (Cancelled(m_context))
        return false;
    if (!m_attachmentList.empty())
        m_attachmentList.pop_back();
    const MailDelivery delivery{*m_context.mail, settings, m_context.folder};
    FileState logBefore = FileState::Of(JoinPath(m_context.folder, kMailLogFileName));
    MailOutcome update =
        SendUpdateMail(delivery, m_row.MailTo, m_row.Name, m_updatedFileList, m_attachmentList, number);
    if (!update.isSent())
        return sendFailed(kUpdateMailFailed, update, logBefore);
    // The password is told only when an archive with a drawn password went out.
    if (settings.Conf_zipPasswd.empty() && IsOn(settings.Conf_zip) && !m_attachedArchives.empty()) {
        logBefore = FileState::Of(JoinPath(m_context.folder, kMailLogFileName));
        MailOutcome password = SendPasswordMail(delivery, m_row.MailTo, m_password, number);
        if (!password.isSent())
            return sendFailed(kPasswordMailFailed, password, logBefore);
    }
    return !IsOn(settings.Conf_zip) || deleteArchives();
}

/// Tells why a mail did not go out: the log when the component wrote to it,
/// the cause itself when it did not get that far.
bool RowCheck::sendFailed(std::string_view message, const MailOutcome& outcome, const FileState& logBefore)
{
    const std::string logPath = JoinPath(m_context.folder, kMailLogFileName);
    if (Cancelled(m_context))
        return false;
    const FileState logAfter = FileState::Of(logPath);
    std::string text(message);
    if (logAfter.exists && !logAfter.sameAs(logBefore))
        text += std::string(kReadTheLog) + "\r\n購読「" + m_row.Name + "」: " + outcome.text() +
                "\r\nﾛｸﾞﾌｧｲﾙ: " + ValidUtf8(logPath);
    else
        text += "\r\n購読「" + m_row.Name + "」: " + outcome.text();
    m_context.messages.ShowMessage(text);
    return false;
}

bool RowCheck::deleteArchives()
{
    for (const std::string& archive : m_attachedArchives) {
        if (::unlink(archive.c_str()) != 0 && errno != ENOENT)
            return stop("書庫ﾌｧｲﾙ " + ValidUtf8(archive) + " を削除できません: " + ErrorText(errno));
    }
    return true;
}

/// Tells the folders the run had to leave out in one message; with a set of
/// folders told before, only the new ones.
void TellSkippedFolders(CheckRunContext& context, const RunState& run)
{
    std::string lines;
    for (const auto& [name, folder] : run.skipped) {
        if (context.toldSkippedFolders && !context.toldSkippedFolders->insert(folder.path).second)
            continue;
        lines += "\r\n購読「" + name + "」: " + ValidUtf8(folder.path) + " (" + folder.reason + ")";
    }
    if (!lines.empty())
        context.messages.ShowMessage(std::string(kFoldersSkipped) + lines);
}

} // namespace

void TakeLastChecks(SubscriptionTable& table, const SubscriptionTable& before, const SubscriptionTable& after)
{
    for (size_t row = 0; row < after.size(); ++row) {
        if (after[row].LastCheck != before[row].LastCheck)
            table[row].LastCheck = after[row].LastCheck;
    }
}

namespace {

/// Writes the last checks the run changed over subscription.dat as it is
/// now, leaving every other cell as the file has it.
bool SaveLastChecks(CheckRunContext& context, const SubscriptionTable& before, const SubscriptionTable& after)
{
    SubscriptionTable onDisk;
    SubscriptionLoad loaded;
    LoadSubscriptions(onDisk, context.folder, context.messages, &loaded);
    if (loaded == SubscriptionLoad::Failed || loaded == SubscriptionLoad::Cut)
        return false;
    if (loaded == SubscriptionLoad::NoFile)
        onDisk = before;
    TakeLastChecks(onDisk, before, after);
    std::string error;
    if (!SaveSubscriptions(onDisk, context.folder, &error)) {
        context.messages.ShowMessage(std::string(kSaveFailed) + "\r\n" + error);
        return false;
    }
    TakeLastChecks(context.table, before, after);
    return true;
}

} // namespace

namespace {

/// Puts each row's new record in place; a damaged one is moved aside and
/// told first.
bool CommitRecords(CheckRunContext& context, RunState& run)
{
    std::string error;
    for (PendingRecord& pending : run.records) {
        if (pending.old->state() == SeenRecord::State::Damaged) {
            std::string text = "購読「" + pending.rowName + "」の確認済みﾌｧｲﾙの記録 " + ValidUtf8(pending.old->path()) +
                               " が壊れていたため、作り直しました (" + pending.old->reason() + ")";
            if (!pending.old->setAside(&error))
                text += "\r\n" + error;
            context.messages.ShowMessage(text);
        }
        if (pending.write && !pending.comparison->commit(&error)) {
            context.messages.ShowMessage(std::string(kRecordFailed) + "\r\n" + error);
            return false;
        }
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
    if (!context.mail)
        context.mail = &InstalledMailTransfer();
    if (!context.zip)
        context.zip = &InstalledZipArchiver();
    context.balloon.SetBalloonText("");
    std::string error;
    DataFolderLock lock = DataFolderLock::Acquire(context.folder, context.lockWaitSeconds, &error);
    if (!lock.held()) {
        context.messages.ShowMessage(std::string(kRunStopped) + "\r\n" + error);
        return false;
    }
    // Changes made since the last run (by tessalyctl, by a window) count.
    SubscriptionTable table;
    SubscriptionLoad loaded;
    LoadSubscriptions(table, context.folder, context.messages, &loaded);
    if (loaded == SubscriptionLoad::Failed || loaded == SubscriptionLoad::Cut)
        return false; // the load said why; nothing may be saved over the file
    if (loaded == SubscriptionLoad::NoFile)
        table = context.table;
    const SubscriptionTable before = table;

    RunState run;
    bool complete = true;
    for (size_t index = 0; index < table.size(); ++index) {
        Subscription& row = table[index];
        // Drawn for every row, used or not, as the random source expects.
        std::string password =
            context.settings.Conf_zipPasswd.empty() ? RandomLetters(10) : context.settings.Conf_zipPasswd;
        if (!row.inUse() || (context.rows & (1u << index)) == 0)
            continue;
        if (Cancelled(context)) {
            complete = false;
            break;
        }
        RowCheck check(context, run, row, index, std::move(password));
        if (!check.run()) {
            complete = false;
            break;
        }
    }
    TellSkippedFolders(context, run);
    if (!complete) {
        TakeLastChecks(context.table, before, table); // nothing is saved; the finished rows stay done in memory
        return false;
    }
    // The documents must be on the disk before the last checks that pass
    // them by: after a crash a document is in the history or found again.
    if (run.recorded && !SyncHistory(context.folder, &error)) {
        context.messages.ShowMessage(std::string(kHistoryFailed) + "\r\n" + error);
        return false;
    }
    if (context.atStep)
        context.atStep("history");
    // Then what each row has seen, then its last check: after a crash at
    // any point a document is reported again rather than lost.
    if (!CommitRecords(context, run))
        return false;
    if (context.atStep)
        context.atStep("records");
    return SaveLastChecks(context, before, table);
}

} // namespace tessaly
