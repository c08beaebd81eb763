// SPDX-License-Identifier: MIT
#include "resident/LiveChecks.h"

#include "common/FileSystem.h"
#include "common/PathField.h"
#include "common/UserMessages.h"
#include "resident/ResidentData.h"
#include "settings/CheckedSettings.h"

#include <algorithm>
#include <sys/stat.h>
#include <utility>

namespace tessaly {
namespace {

/// How often a row whose folder is away is looked for.
constexpr int64_t kLookAgainMs = 1000;

/// Why a row is not watched live, in the words the start-up message uses;
/// "" for a row that is.
std::string CauseOf(const LiveRow& row)
{
    switch (row.state) {
    case LiveState::Remote: return "ﾈｯﾄﾜｰｸ上のﾌｫﾙﾀﾞ (" + row.detail + ")";
    case LiveState::NoWatches: return "監視できるﾌｫﾙﾀﾞ数の上限 (fs.inotify.max_user_watches)";
    case LiveState::Unreadable: return row.detail;
    default: return {};
    }
}

} // namespace

LiveChecks::LiveChecks(UserMessages& messages, std::function<void(RowMask, std::vector<uint64_t>)> check,
                       LiveWatch::System system)
    : m_messages(messages), m_check(std::move(check)), m_watch(std::move(system))
{
}

void LiveChecks::apply(const ResidentData& data, bool watching)
{
    m_quiet.setSettle(int64_t{1000} * ReadCheckedSettings(data.settings).settleSeconds);
    Key key;
    key.on = watching && IsOn(data.settings.Conf_Instant);
    key.dataFolder = data.folder;
    for (size_t row = 0; row < data.subscriptions.size(); ++row) {
        const Subscription& subscription = data.subscriptions[row];
        key.rows[row] = {subscription.Name, subscription.Keyword, subscription.Folder, subscription.FileName,
                         subscription.Subfolders};
    }
    if (m_key == key)
        return;
    m_key = key;
    m_quiet.clear();
    m_nextLook.reset();
    if (!key.on) {
        m_watch.clear();
        m_shown = m_watch.rows();
        return;
    }
    for (size_t row = 0; row < data.subscriptions.size(); ++row) {
        m_names[row] = data.subscriptions[row].Name;
        m_folders[row] = data.subscriptions[row].Folder;
    }
    std::string error;
    if (!m_watch.watch(data.subscriptions, data.folder, &error)) {
        if (m_told.insert("inotify").second)
            m_messages.ShowMessage("更新をすぐにﾁｪｯｸできません。ｲﾝﾀｰﾊﾞﾙごとにﾁｪｯｸします。\r\n" + error);
        return;
    }
    tellUnwatchedRows(data);
    // What the settings decide is told above, or by the runs (a folder that
    // cannot be read); a link is told here.
    for (size_t row = 0; row < m_shown.size(); ++row) {
        const LiveRow& now = m_watch.rows()[row];
        if (!now.target.empty() && now.target != m_shown[row].target)
            log("購読「" + m_names[row] + "」: " + ValidUtf8(m_folders[row]) + " はﾘﾝｸです。ﾘﾝｸ先 " +
                ValidUtf8(now.target) + " を監視します");
    }
    m_shown = m_watch.rows();
}

void LiveChecks::tellUnwatchedRows(const ResidentData& data)
{
    std::string lines;
    for (size_t row = 0; row < data.subscriptions.size(); ++row) {
        const LiveRow& state = m_watch.rows()[row];
        if (state.state != LiveState::Remote && state.state != LiveState::NoWatches)
            continue; // a folder that cannot be read is told by the runs
        const std::string cause = CauseOf(state);
        const Subscription& subscription = data.subscriptions[row];
        if (m_told.insert(subscription.Name + '\n' + subscription.Folder + '\n' + cause).second)
            lines += "\r\n購読「" + subscription.Name + "」: " + ValidUtf8(subscription.Folder) + " (" + cause + ")";
    }
    // One message for all of them, as the runs tell skipped folders.
    if (!lines.empty())
        m_messages.ShowMessage("次の購読は更新をすぐにﾁｪｯｸできないため、ｲﾝﾀｰﾊﾞﾙごとにﾁｪｯｸします。" + lines);
}

void LiveChecks::log(const std::string& line)
{
    if (m_log)
        m_log(line);
    else
        m_messages.ShowMessage(line);
}

void LiveChecks::tellChanges()
{
    bool changed = false;
    for (size_t row = 0; row < m_shown.size(); ++row) {
        const LiveRow& now = m_watch.rows()[row];
        const LiveRow before = std::exchange(m_shown[row], now);
        if (now == before)
            continue;
        changed = true;
        const std::string subscription = "購読「" + m_names[row] + "」: " + ValidUtf8(m_folders[row]);
        if (now.state != LiveState::Live) {
            if (now.state != LiveState::Off)
                log(subscription + " は更新をすぐにﾁｪｯｸできないため、ｲﾝﾀｰﾊﾞﾙごとにﾁｪｯｸします (" + CauseOf(now) + ")");
        } else if (before.state != LiveState::Live) {
            log(subscription + " の更新を再びすぐにﾁｪｯｸします" +
                (now.target.empty() ? std::string() : " (ﾘﾝｸ先 " + ValidUtf8(now.target) + ")"));
        } else if (now.target != before.target) {
            log(subscription + " のﾘﾝｸ先が変わりました。ﾘﾝｸ先 " +
                (now.target.empty() ? ValidUtf8(m_folders[row]) : ValidUtf8(now.target)) + " を監視します");
        }
    }
    if (changed && m_changed)
        m_changed();
}

void LiveChecks::check(RowMask rows, int64_t nowMs)
{
    if (rows == 0 || !m_check)
        return;
    // The documents still changing wait for their own settle time.
    std::vector<uint64_t> busy;
    for (const std::string& path : m_quiet.busy(nowMs)) {
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            busy.push_back(st.st_ino);
    }
    std::sort(busy.begin(), busy.end());
    m_check(rows, std::move(busy));
}

void LiveChecks::readEvents(int64_t nowMs)
{
    LiveEvents events = m_watch.readEvents();
    for (const LiveChange& change : events.changes)
        m_quiet.changed(change, nowMs);
    if (events.overflowed)
        log("ﾌｧｲﾙの変更の知らせが多すぎて一部失われたため (fs.inotify.max_queued_events)、"
            "すべての購読の監視を設定し直してﾁｪｯｸします");
    tellChanges();
    if (m_watch.waiting() == 0)
        m_nextLook.reset();
    check(events.rearmed, nowMs);
}

std::optional<int64_t> LiveChecks::nextDue() const
{
    std::optional<int64_t> due = m_quiet.nextDue();
    if (m_watch.waiting() != 0) {
        // Looked for at once the first time, then every second.
        const int64_t look = m_nextLook.value_or(0);
        due = due ? std::min(*due, look) : look;
    }
    return due;
}

void LiveChecks::runDue(int64_t nowMs)
{
    RowMask due = m_quiet.takeDue(nowMs);
    if (m_watch.waiting() != 0 && (!m_nextLook || nowMs >= *m_nextLook)) {
        due |= m_watch.rearmWaiting();
        tellChanges();
        m_nextLook = nowMs + kLookAgainMs;
    }
    if (m_watch.waiting() == 0)
        m_nextLook.reset();
    check(due, nowMs);
}

std::string LiveChecks::summary() const
{
    if (!m_key || !m_key->on)
        return {};
    std::string names;
    std::string others;
    for (size_t row = 0; row < m_names.size(); ++row) {
        const LiveRow& state = m_watch.rows()[row];
        if (state.state == LiveState::Live) {
            names += names.empty() ? "" : ", ";
            names += m_names[row];
        } else if (state.state != LiveState::Off) {
            others += " / " + m_names[row] + ": " + CauseOf(state);
        }
    }
    return "即時ﾁｪｯｸ: " + (names.empty() ? std::string("なし") : names) + others;
}

} // namespace tessaly
