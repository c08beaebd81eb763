// SPDX-License-Identifier: MIT
#include "checkrun/CheckRun.h"

#include "checkrun/RowNotice.h"
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
#include "notify/Outbox.h"
#include "notify/OutboxDelivery.h"
#include "settings/BasicSettings.h"
#include "settings/CheckedSettings.h"
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
constexpr int64_t kMaxSettleSpan = kMaxSettleSeconds;
constexpr std::string_view kHistoryFailed = "履歴ﾌｧｲﾙ作成に失敗しました";
constexpr std::string_view kRunStopped = "ﾁｪｯｸを中断しました。";
constexpr std::string_view kSaveFailed = "購読ﾌｧｲﾙを保存できませんでした。";
constexpr std::string_view kFoldersSkipped = "次のﾌｫﾙﾀﾞは読めないため、ﾁｪｯｸから除きました。";
constexpr std::string_view kRecordFailed = "確認済みﾌｧｲﾙの記録を保存できませんでした。";
constexpr std::string_view kNoticeFailed = "送信するﾒｰﾙを保存できませんでした。";

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

bool Cancelled(const CheckRunContext& context)
{
    return context.cancel && context.cancel->load();
}

void Step(const CheckRunContext& context, std::string_view step)
{
    if (context.atStep)
        context.atStep(step);
}

/// subscription.dat as it is now into `table`, or `fallback` when there is
/// no file. False when it cannot be read whole: the load said why, and
/// nothing may be saved over the file.
bool LoadCurrentTable(CheckRunContext& context, const SubscriptionTable& fallback, SubscriptionTable* table)
{
    SubscriptionLoad loaded;
    LoadSubscriptions(*table, context.folder, context.messages, &loaded);
    if (loaded == SubscriptionLoad::Failed || loaded == SubscriptionLoad::Cut)
        return false;
    if (loaded == SubscriptionLoad::NoFile)
        *table = fallback;
    return true;
}

/// What the whole run shares across its rows.
struct RunState {
    RunState(const std::string& folder, CheckedSettings numbers) : checked(numbers), outbox(folder) {}

    CheckedSettings checked; ///< the numbers of the settings, read safely
    std::string previousManagementNo;
    std::vector<std::pair<std::string, SkippedFolder>> skipped; ///< subscription name, folder
    Outbox outbox;
    bool noticed = false; ///< a notice went into the outbox
};

/// The work of one subscription row: walk, record, then commit on its own,
/// in the order that loses nothing in a crash: the history on the disk,
/// the notice in the outbox, the record of what the row has seen, its last
/// check. A failure is told and ends this row only.
class RowCheck final {
public:
    RowCheck(CheckRunContext& context, RunState& run, SubscriptionTable& table, size_t index, std::string password)
        : m_context(context), m_run(run), m_table(table), m_row(table[index]), m_index(index),
          m_password(std::move(password))
    {
    }

    /// False (after a message) when the row could not be checked or
    /// committed; the other rows are not affected.
    bool run();

private:
    bool walk(std::optional<WalkResult>* files, int64_t* walkStart);
    void waitUntil(int64_t unixSecond);
    static int64_t LastChange(const WalkResult& files, int64_t walkStart);
    bool record(std::string_view path, const WalkResult& files, size_t index);
    std::string managementNo();
    bool commit(bool writeRecord, const std::string& nextLastCheck);
    bool saveLastCheck(const std::string& value);
    bool stop(std::string_view cause);

    CheckRunContext& m_context;
    RunState& m_run;
    SubscriptionTable& m_table;
    Subscription& m_row;
    size_t m_index;
    std::string m_password;
    std::vector<std::string> m_tokens;
    int64_t m_lastCheckInstant = 0;
    std::string m_ownFiles;                 ///< the data folder's own files, when in the walk
    std::unique_ptr<SeenRecord> m_record;   ///< what the row has seen
    std::unique_ptr<SeenComparison> m_seen; ///< the last walk held against it
    std::unique_ptr<RowNotice> m_notice;    ///< with mail on
    int64_t m_updates = 0;
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
    Step(m_context, "walked");
    const std::vector<SkippedFolder>& skipped = files->skippedFolders();
    for (const SkippedFolder& folder : skipped)
        m_run.skipped.emplace_back(m_row.Name, folder);
    // A row whose own folder could not be read was not walked: it keeps its
    // last check and its record, so that nothing is missed once the folder
    // can be read.
    if (!skipped.empty() && skipped.front().path == FolderWalkRoot(m_row.Folder))
        return true;
    if (IsOn(m_context.settings.Conf_Mail))
        m_notice = std::make_unique<RowNotice>(m_context.settings, m_run.checked, *m_context.zip, m_run.outbox,
                                               m_password, m_row.Folder);
    for (size_t i = 0; i < files->size(); ++i) {
        if (!record(files->path(i), *files, i))
            return false;
        if (Cancelled(m_context))
            return false;
    }
    const bool writeRecord = m_seen->finish(skipped);
    // Everything the walk saw is older than the second it started in, so the
    // second before it is the new last check. The record decides what is
    // new; the last check serves a row that has no record. While the clocks
    // repeat an hour, that text would name an earlier instant than the last
    // check already does: then it stays, unless it lies after the walk's
    // start (a clock set back), which no longer hides anything.
    std::string nextLastCheck = m_row.LastCheck;
    const std::string next = FormatDateTime(AutomationDateFromUnix(walkStart - 1));
    if (std::optional<AutomationDate> nextValue = ParseDateTime(next);
        nextValue && (EarliestInstantOf(*nextValue) >= m_lastCheckInstant || m_lastCheckInstant > walkStart))
        nextLastCheck = next;
    return commit(writeRecord, nextLastCheck);
}

bool RowCheck::walk(std::optional<WalkResult>* files, int64_t* walkStart)
{
    const int settle = m_run.checked.settleSeconds;
    const int64_t firstWalk = m_context.clock.UnixNow();
    int settleWaits = 0;
    for (;;) {
        *walkStart = m_context.clock.UnixNow();
        // Each walk is held against the record as it was before the run.
        m_seen = std::make_unique<SeenComparison>(*m_record, m_record->path());
        SeenFilter filter(*m_seen, {m_record->state() == SeenRecord::State::Ready, m_tokens, m_ownFiles,
                                    m_lastCheckInstant, *walkStart, m_context.holdBack});
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
    if (m_notice)
        m_notice->add(path);
    return true;
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

bool RowCheck::commit(bool writeRecord, const std::string& nextLastCheck)
{
    std::string error;
    if (m_updates > 0) {
        // The documents must be on the disk before anything that passes
        // them by: after a crash a document is in the history or found
        // again.
        if (!SyncHistory(m_context.folder, &error)) {
            m_context.messages.ShowMessage(std::string(kHistoryFailed) + "\r\n" + error);
            return false;
        }
        Step(m_context, "history");
        m_context.balloon.SetBalloonTitle(kUpdatedBalloonTitle);
        m_context.balloon.SetBalloonText(m_context.balloon.BalloonText() + m_row.Name + " " +
                                         std::to_string(m_updates) + "ﾌｧｲﾙ\r\n");
        const std::string number = managementNo();
        if (m_notice) {
            Notice notice;
            notice.rowName = m_row.Name;
            notice.recipients = m_row.MailTo;
            notice.managementNo = number;
            const NotificationMail mail = ComposeUpdateMail(m_row.Name, m_notice->documentList(), number);
            notice.subject = mail.subject;
            notice.body = mail.body;
            notice.created = m_context.clock.UnixNow();
            if (!m_notice->commit(m_index, std::move(notice), &error)) {
                m_context.messages.ShowMessage(std::string(kNoticeFailed) + "\r\n購読「" + m_row.Name + "」: " + error);
                return false;
            }
            m_run.noticed = true;
            Step(m_context, "outbox");
        }
    }
    if (m_record->state() == SeenRecord::State::Damaged) {
        std::string text = "購読「" + m_row.Name + "」の確認済みﾌｧｲﾙの記録 " + ValidUtf8(m_record->path()) +
                           " が壊れていたため、作り直しました (" + m_record->reason() + ")";
        if (!m_record->setAside(&error))
            text += "\r\n" + error;
        m_context.messages.ShowMessage(text);
    }
    if (writeRecord && !m_seen->commit(&error)) {
        m_context.messages.ShowMessage(std::string(kRecordFailed) + "\r\n購読「" + m_row.Name + "」: " + error);
        return false;
    }
    Step(m_context, "records");
    return nextLastCheck == m_row.LastCheck || saveLastCheck(nextLastCheck);
}

/// Writes the row's new last check over subscription.dat as it is now,
/// leaving every other cell as the file has it, and into the program's
/// table.
bool RowCheck::saveLastCheck(const std::string& value)
{
    SubscriptionTable onDisk;
    if (!LoadCurrentTable(m_context, m_table, &onDisk))
        return false;
    onDisk[m_index].LastCheck = value;
    std::string error;
    if (!SaveSubscriptions(onDisk, m_context.folder, &error)) {
        m_context.messages.ShowMessage(std::string(kSaveFailed) + "\r\n" + error);
        return false;
    }
    m_row.LastCheck = value;
    m_context.table[m_index].LastCheck = value;
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

/// False, after telling why, when `lock` was not taken; an untrusted data
/// folder is told only once when the context keeps track of it.
bool TellLockNotTaken(CheckRunContext& context, const DataFolderLock& lock, const std::string& error)
{
    const bool untrusted = lock.trust() != DataFolderTrust::Trusted;
    if (context.toldUntrustedFolder) {
        const bool toldBefore = std::exchange(*context.toldUntrustedFolder, untrusted);
        if (untrusted && toldBefore)
            return false;
    }
    if (!lock.held())
        context.messages.ShowMessage(std::string(kRunStopped) + "\r\n" + error);
    return lock.held();
}

} // namespace

void TakeLastChecks(SubscriptionTable& table, const SubscriptionTable& before, const SubscriptionTable& after)
{
    for (size_t row = 0; row < after.size(); ++row) {
        if (after[row].LastCheck != before[row].LastCheck)
            table[row].LastCheck = after[row].LastCheck;
    }
}

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
    if (!TellLockNotTaken(context, lock, error))
        return false;
    // Changes made since the last run (by tessalyctl, by a window) count.
    SubscriptionTable table;
    if (!LoadCurrentTable(context, context.table, &table))
        return false;

    // A setting that cannot work is told and read safely; the run goes on.
    std::vector<SettingProblem> problems;
    RunState run(context.folder, ReadCheckedSettings(context.settings, &problems));
    for (const SettingProblem& problem : problems)
        context.messages.ShowMessage(problem.text());
    run.outbox.removeDrafts();
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
        RowCheck check(context, run, table, index, std::move(password));
        if (!check.run())
            complete = false;
    }
    TellSkippedFolders(context, run);
    lock.release();
    // Mail goes out without the data folder's lock: a slow server never
    // holds up a save or another check.
    if (IsOn(context.settings.Conf_Mail) && !Cancelled(context)) {
        OutboxDeliveryContext delivery{context.folder, *context.mail, context.settings, context.messages,
                                       context.clock};
        delivery.lockWaitSeconds = context.lockWaitSeconds;
        delivery.now = run.noticed;
        delivery.cancel = context.cancel;
        DeliverOutbox(delivery);
    }
    return complete;
}

} // namespace tessaly
