// SPDX-License-Identifier: MIT
#include "resident/LiveChecks.h"

#include "common/FileSystem.h"
#include "common/PathField.h"
#include "common/UserMessages.h"
#include "resident/ResidentData.h"
#include "settings/BasicSettings.h"

#include <utility>

namespace tessaly {

LiveChecks::LiveChecks(UserMessages& messages, std::function<void(RowMask)> check, LiveWatch::System system)
    : m_messages(messages), m_check(std::move(check)), m_watch(std::move(system))
{
}

void LiveChecks::apply(const ResidentData& data, bool watching)
{
    m_quiet.setSettle(int64_t{1000} * SettleSeconds(data.settings.Conf_Settle));
    Key key;
    key.on = watching && IsOn(data.settings.Conf_Instant);
    key.dataFolder = data.folder;
    for (size_t row = 0; row < data.subscriptions.size(); ++row) {
        const Subscription& subscription = data.subscriptions[row];
        key.rows[row] = {subscription.Name, subscription.Keyword, subscription.Folder, subscription.FileName,
                         subscription.Subfolders};
    }
    if (m_key == key && !lostFolderIsBack(data))
        return;
    m_key = key;
    m_quiet.clear();
    if (!key.on) {
        m_watch.clear();
        return;
    }
    for (size_t row = 0; row < data.subscriptions.size(); ++row)
        m_names[row] = data.subscriptions[row].Name;
    std::string error;
    if (!m_watch.watch(data.subscriptions, data.folder, &error)) {
        if (m_told.insert("inotify").second)
            m_messages.ShowMessage("更新をすぐにﾁｪｯｸできません。ｲﾝﾀｰﾊﾞﾙごとにﾁｪｯｸします。\r\n" + error);
        return;
    }
    tellUnwatchedRows(data);
}

bool LiveChecks::lostFolderIsBack(const ResidentData& data) const
{
    for (size_t row = 0; row < data.subscriptions.size(); ++row) {
        if ((m_watch.lostRows() & (1u << row)) != 0 && IsDirectory(data.subscriptions[row].Folder))
            return true;
    }
    return false;
}

void LiveChecks::tellUnwatchedRows(const ResidentData& data)
{
    std::string lines;
    for (size_t row = 0; row < data.subscriptions.size(); ++row) {
        const LiveRow& state = m_watch.rows()[row];
        std::string cause;
        if (state.state == LiveState::Remote)
            cause = "ﾈｯﾄﾜｰｸ上のﾌｫﾙﾀﾞ (" + state.detail + ")";
        else if (state.state == LiveState::NoWatches)
            cause = "監視できるﾌｫﾙﾀﾞ数の上限 (fs.inotify.max_user_watches)";
        else
            continue; // a folder that cannot be read is told by the runs
        const Subscription& subscription = data.subscriptions[row];
        if (m_told.insert(subscription.Name + '\n' + subscription.Folder + '\n' + cause).second)
            lines += "\r\n購読「" + subscription.Name + "」: " + ValidUtf8(subscription.Folder) + " (" + cause + ")";
    }
    // One message for all of them, as the runs tell skipped folders.
    if (!lines.empty())
        m_messages.ShowMessage("次の購読は更新をすぐにﾁｪｯｸできないため、ｲﾝﾀｰﾊﾞﾙごとにﾁｪｯｸします。" + lines);
}

void LiveChecks::readEvents(int64_t nowMs)
{
    const RowMask rows = m_watch.readEvents();
    if (rows != 0)
        m_quiet.changed(rows, nowMs);
}

void LiveChecks::runDue(int64_t nowMs)
{
    const RowMask due = m_quiet.takeDue(nowMs);
    if (due != 0 && m_check)
        m_check(due);
}

std::string LiveChecks::summary() const
{
    if (!m_key || !m_key->on)
        return {};
    std::string names;
    for (size_t row = 0; row < m_names.size(); ++row) {
        if (m_watch.rows()[row].state != LiveState::Live)
            continue;
        names += names.empty() ? "" : ", ";
        names += m_names[row];
    }
    return "即時ﾁｪｯｸ: " + (names.empty() ? std::string("なし") : names);
}

} // namespace tessaly
