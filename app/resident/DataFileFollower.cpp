// SPDX-License-Identifier: MIT
#include "resident/DataFileFollower.h"

#include "common/FileSystem.h"
#include "common/StreamMessages.h"
#include "resident/ResidentData.h"

#include <array>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaly {
namespace {

constexpr int kLastCheckColumn = 6;

} // namespace

DataFileFollower::Stamp DataFileFollower::Stamp::Of(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return {};
    return Stamp{true, st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
}

bool DataFileFollower::Stamp::operator==(const Stamp& other) const
{
    const auto same = [](const timespec& a, const timespec& b) {
        return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
    };
    return exists == other.exists && device == other.device && inode == other.inode && size == other.size &&
           same(modified, other.modified) && same(changed, other.changed);
}

DataFileFollower::DataFileFollower(ResidentData& data, std::ostream& log)
    : m_data(data), m_log(log), m_settingsStamp(Stamp::Of(JoinPath(data.folder, kSettingsFileName))),
      m_subscriptionsStamp(Stamp::Of(JoinPath(data.folder, kSubscriptionFileName))), m_settingsRead(data.settings),
      m_subscriptionsRead(data.subscriptions)
{
    // Every file of the folder is replaced by a rename, or written and
    // closed when copied in by hand.
    m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd >= 0 && ::inotify_add_watch(m_fd, data.folder.c_str(), IN_CLOSE_WRITE | IN_MOVED_TO | IN_ONLYDIR) < 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

DataFileFollower::~DataFileFollower()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

DataFileFollower::Changes DataFileFollower::refresh()
{
    // The events only say that something was written; the stamps tell what.
    std::array<char, 4096> events{};
    while (m_fd >= 0 && ::read(m_fd, events.data(), events.size()) > 0) {
    }
    Changes changes;
    const Stamp settings = Stamp::Of(JoinPath(m_data.folder, kSettingsFileName));
    if (!(settings == m_settingsStamp)) {
        m_settingsStamp = settings;
        changes.settings = settings.exists && takeSettings();
    }
    const Stamp subscriptions = Stamp::Of(JoinPath(m_data.folder, kSubscriptionFileName));
    if (!(subscriptions == m_subscriptionsStamp)) {
        m_subscriptionsStamp = subscriptions;
        changes.subscriptions = subscriptions.exists && takeSubscriptions();
    }
    return changes;
}

bool DataFileFollower::takeSettings()
{
    BasicSettings read;
    std::string error;
    // A link or a FIFO under the name is refused before the reader meets it.
    const std::string path = JoinPath(m_data.folder, kSettingsFileName);
    if (!IsRegularOrMissing(path, &error) || !LoadBasicSettings(read, m_data.folder, &error)) {
        m_log << "tessaly: " << kSettingsFileName << " was changed but cannot be read: " << error << std::endl;
        return false;
    }
    bool changed = false;
    for (const BasicSettingField& field : BasicSettingFields()) {
        const std::string value = BasicSettingText(read, field);
        if (value == BasicSettingText(m_settingsRead, field) || value == BasicSettingText(m_data.settings, field))
            continue;
        SetBasicSetting(m_data.settings, field, value);
        changed = true;
    }
    m_settingsRead = read;
    return changed;
}

bool DataFileFollower::takeSubscriptions()
{
    SubscriptionTable read;
    SubscriptionLoad loaded = SubscriptionLoad::Failed;
    StreamMessages log(m_log);
    LoadSubscriptions(read, m_data.folder, log, &loaded);
    if (loaded != SubscriptionLoad::Complete)
        return false;
    // A new last check alone (every run writes them) changes nothing the
    // program follows.
    bool changed = false;
    for (size_t row = 0; row < read.size(); ++row) {
        for (int column = 0; column < Subscription::kColumns; ++column) {
            const std::string& value = read[row].cell(column);
            if (value == m_subscriptionsRead[row].cell(column) || value == m_data.subscriptions[row].cell(column))
                continue;
            m_data.subscriptions[row].cell(column) = value;
            changed = changed || column != kLastCheckColumn;
        }
    }
    m_subscriptionsRead = read;
    return changed;
}

} // namespace tessaly
