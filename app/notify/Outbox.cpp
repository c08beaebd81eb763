// SPDX-License-Identifier: MIT
#include "notify/Outbox.h"

#include "common/AtomicFile.h"
#include "common/FileSystem.h"
#include "common/PathField.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <dirent.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaly {
namespace {

constexpr std::string_view kNoticeFileName = "notice.txt";
constexpr std::string_view kDraftPrefix = ".draft-";

std::string Escaped(std::string_view value)
{
    std::string out;
    for (char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '%' || byte < 0x20 || byte == 0x7F)
            AppendPercentByte(&out, byte);
        else
            out += c;
    }
    return out;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool Unescaped(std::string_view value, std::string* out)
{
    out->clear();
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '%') {
            out->push_back(value[i]);
            continue;
        }
        const int high = i + 2 < value.size() ? HexDigit(value[i + 1]) : -1;
        const int low = i + 2 < value.size() ? HexDigit(value[i + 2]) : -1;
        if (high < 0 || low < 0)
            return false;
        out->push_back(static_cast<char>(high * 16 + low));
        i += 2;
    }
    return true;
}

bool ParseInteger(const std::string& text, int64_t* value)
{
    if (text.empty() || text.size() > 18)
        return false;
    int64_t result = 0;
    for (size_t i = text[0] == '-' ? 1 : 0; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        result = result * 10 + (text[i] - '0');
    }
    *value = text[0] == '-' ? -result : result;
    return text != "-";
}

std::string Stamp(int64_t unixSeconds)
{
    const time_t seconds = static_cast<time_t>(unixSeconds);
    struct tm utc {};
    ::gmtime_r(&seconds, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d%H%M%S", &utc);
    return text;
}

} // namespace

std::string FormatNotice(const Notice& notice)
{
    std::string text;
    const auto line = [&text](std::string_view key, std::string_view value) {
        text.append(key).append("=").append(Escaped(value)).append("\n");
    };
    line("row", notice.rowName);
    line("recipients", notice.recipients);
    line("number", notice.managementNo);
    line("subject", notice.subject);
    line("body", notice.body);
    for (const std::string& attachment : notice.attachments)
        line("attachment", attachment);
    line("password", notice.password);
    line("update-sent", notice.updateSent ? "1" : "0");
    line("created", std::to_string(notice.created));
    line("next-attempt", std::to_string(notice.nextAttempt));
    line("attempts", std::to_string(notice.attempts));
    line("last-failure", notice.lastFailure);
    return text;
}

bool ParseNotice(std::string_view text, Notice* notice)
{
    Notice read;
    read.id = notice->id;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        if (end == std::string_view::npos)
            return false;
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end + 1);
        const size_t equals = line.find('=');
        std::string value;
        if (equals == std::string_view::npos || !Unescaped(line.substr(equals + 1), &value))
            return false;
        const std::string_view key = line.substr(0, equals);
        int64_t number = 0;
        if (key == "row")
            read.rowName = value;
        else if (key == "recipients")
            read.recipients = value;
        else if (key == "number")
            read.managementNo = value;
        else if (key == "subject")
            read.subject = value;
        else if (key == "body")
            read.body = value;
        else if (key == "attachment")
            read.attachments.push_back(value);
        else if (key == "password")
            read.password = value;
        else if (key == "update-sent")
            read.updateSent = value == "1";
        else if (key == "last-failure")
            read.lastFailure = value;
        else if (!ParseInteger(value, &number))
            return false;
        else if (key == "created")
            read.created = number;
        else if (key == "next-attempt")
            read.nextAttempt = number;
        else if (key == "attempts")
            read.attempts = static_cast<int>(std::clamp<int64_t>(number, 0, 1 << 20));
    }
    // An attachment never names a file outside its notice.
    for (const std::string& attachment : read.attachments) {
        if (attachment.empty() || attachment.front() == '/' || attachment.find("..") != std::string::npos)
            return false;
    }
    *notice = std::move(read);
    return true;
}

Outbox::Outbox(const std::string& dataFolder) : m_folder(JoinPath(dataFolder, kOutboxFolderName)) {}

bool Outbox::begin(Draft* draft, std::string* error)
{
    if (::mkdir(m_folder.c_str(), 0700) != 0 && errno != EEXIST) {
        *error = m_folder + " を作成できません: " + ErrorText(errno);
        return false;
    }
    struct stat st {};
    if (::lstat(m_folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        *error = m_folder + " はフォルダではありません";
        return false;
    }
    std::string path = JoinPath(m_folder, std::string(kDraftPrefix) + "XXXXXX");
    if (!::mkdtemp(path.data())) {
        *error = path + " を作成できません: " + ErrorText(errno);
        return false;
    }
    draft->folder = path;
    draft->suffix = path.substr(path.size() - 6);
    return true;
}

bool Outbox::add(Draft& draft, size_t row, Notice* notice, std::string* error)
{
    char rowText[8];
    std::snprintf(rowText, sizeof rowText, "%02zu", row + 1);
    notice->id = Stamp(notice->created) + "-" + rowText + "-" + draft.suffix;
    AtomicFile file(JoinPath(draft.folder, kNoticeFileName));
    const std::string target = JoinPath(m_folder, notice->id);
    if (!file.open() || !file.write(FormatNotice(*notice)) || !file.commit()) {
        *error = file.error();
        discard(draft);
        return false;
    }
    if (::rename(draft.folder.c_str(), target.c_str()) != 0) {
        *error = target + " に移せません: " + ErrorText(errno);
        discard(draft);
        return false;
    }
    SyncFolder(m_folder);
    draft.folder.clear();
    return true;
}

void Outbox::discard(Draft& draft)
{
    if (draft.folder.empty())
        return;
    std::error_code ignored;
    std::filesystem::remove_all(draft.folder, ignored);
    draft.folder.clear();
}

void Outbox::removeDrafts()
{
    DIR* folder = ::opendir(m_folder.c_str());
    if (!folder)
        return;
    std::vector<std::string> drafts;
    while (const dirent* entry = ::readdir(folder)) {
        if (std::string_view(entry->d_name).starts_with(kDraftPrefix))
            drafts.push_back(JoinPath(m_folder, entry->d_name));
    }
    ::closedir(folder);
    for (const std::string& draft : drafts) {
        std::error_code ignored;
        std::filesystem::remove_all(draft, ignored);
    }
}

std::vector<Notice> Outbox::list(std::vector<std::string>* problems) const
{
    std::vector<Notice> notices;
    DIR* folder = ::opendir(m_folder.c_str());
    if (!folder)
        return notices;
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(folder)) {
        const std::string_view name = entry->d_name;
        if (!name.starts_with(".") && entry->d_type == DT_DIR)
            names.emplace_back(name);
    }
    ::closedir(folder);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        Notice notice;
        notice.id = name;
        std::string text;
        std::string error;
        if (!ReadWholeFile(JoinPath(JoinPath(m_folder, name), kNoticeFileName), &text, &error) ||
            !ParseNotice(text, &notice)) {
            if (problems)
                problems->push_back(JoinPath(m_folder, name) + ": " + (error.empty() ? "読み取れません" : error));
            continue;
        }
        notices.push_back(std::move(notice));
    }
    return notices;
}

bool Outbox::update(const Notice& notice, std::string* error)
{
    return WriteFileAtomically(JoinPath(folderOf(notice), kNoticeFileName), FormatNotice(notice), error);
}

bool Outbox::remove(const Notice& notice, std::string* error)
{
    std::error_code failure;
    std::filesystem::remove_all(folderOf(notice), failure);
    if (failure) {
        *error = folderOf(notice) + " を削除できません: " + failure.message();
        return false;
    }
    SyncFolder(m_folder);
    return true;
}

std::string Outbox::folderOf(const Notice& notice) const
{
    return JoinPath(m_folder, notice.id);
}

} // namespace tessaly
