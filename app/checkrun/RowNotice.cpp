// SPDX-License-Identifier: MIT
#include "checkrun/RowNotice.h"

#include "common/FileSystem.h"
#include "common/PathField.h"
#include "common/PathParts.h"
#include "notify/ZipAttachment.h"
#include "settings/BasicSettings.h"
#include "settings/CheckedSettings.h"
#include "watch/FolderWalk.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaly {
namespace {

std::string OverLimit(double maxMegabytes)
{
    char limit[32];
    std::snprintf(limit, sizeof limit, "%g", maxMegabytes);
    return std::string("ｻｲｽﾞが上限 (") + limit + " MB) 以上のため添付しません";
}

/// Copies the open file `in` to a new owner-only file `path`. "" or why not.
std::string CopyTo(int in, const std::string& path)
{
    const int out = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (out < 0)
        return "添付用の写しを作れません: " + ErrorText(errno);
    char buffer[64 * 1024];
    std::string failure;
    for (;;) {
        const ssize_t n = RetryOnEintr([&] { return ::read(in, buffer, sizeof buffer); });
        if (n < 0) {
            failure = "読み込めません: " + ErrorText(errno);
            break;
        }
        if (n == 0)
            break;
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = RetryOnEintr([&] { return ::write(out, buffer + done, static_cast<size_t>(n - done)); });
            if (w < 0) {
                failure = "添付用の写しを書き込めません: " + ErrorText(errno);
                break;
            }
            done += w;
        }
        if (!failure.empty())
            break;
    }
    if (::close(out) != 0 && failure.empty())
        failure = "添付用の写しを書き込めません: " + ErrorText(errno);
    if (!failure.empty())
        ::unlink(path.c_str());
    return failure;
}

} // namespace

std::string VisibleInMail(std::string_view bytes)
{
    std::string text;
    for (char c : ValidUtf8(bytes)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            AppendPercentByte(&text, byte);
        else
            text += c;
    }
    return text;
}

RowNotice::RowNotice(const BasicSettings& settings, const CheckedSettings& checked, ZipArchiver& zip, Outbox& outbox,
                     std::string password, std::string_view folder)
    : m_settings(settings), m_checked(checked), m_zip(zip), m_outbox(outbox), m_password(std::move(password)),
      m_rootPath(FolderWalkRoot(folder))
{
}

RowNotice::~RowNotice()
{
    if (m_root >= 0)
        ::close(m_root);
    m_outbox.discard(m_draft);
}

void RowNotice::add(std::string_view path)
{
    std::string line = VisibleInMail(path);
    if (IsOn(m_settings.Conf_MailAdd)) {
        const std::string reason = attach(path);
        if (!reason.empty())
            line += " (" + reason + ")";
    }
    m_list += line + "\r\n";
}

std::string RowNotice::attach(std::string_view path)
{
    if (m_draft.folder.empty() && m_draftError.empty() && !m_outbox.begin(&m_draft, &m_draftError))
        m_draft.folder.clear();
    if (!m_draftError.empty())
        return "添付できません: " + m_draftError;
    // The document is opened beneath the row's folder one name at a time,
    // never through a link: whoever can write the watched folder could
    // point a link (or put one in place of a folder the walk listed) at any
    // file the program's user may read.
    const std::string_view relative = relativeToRoot(path);
    if (relative.empty())
        return "添付できません: " + ErrorText(EINVAL);
    if (m_root < 0) {
        m_root = ::open(m_rootPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (m_root < 0)
            return "添付できません: " + ErrorText(errno);
    }
    std::string error;
    const int in = OpenRegularFileBeneath(m_root, relative, &error);
    if (in < 0)
        return "添付できません: " + error;
    std::string reason;
    std::string copy;
    struct stat st {};
    if (::fstat(in, &st) != 0)
        reason = "添付できません: " + ErrorText(errno);
    else if (!IsOn(m_settings.Conf_zip) && !m_checked.attachable(st.st_size))
        reason = OverLimit(m_checked.maxSizeMegabytes);
    else
        reason = copyToDraft(in, path, &copy);
    ::close(in);
    if (!reason.empty())
        return reason;
    if (!IsOn(m_settings.Conf_zip)) {
        m_attachments.push_back(copy);
        return {};
    }
    // The archive is made from the copy, which nobody else can change.
    const std::string copyPath = JoinPath(m_draft.folder, copy);
    reason = attachArchive(copyPath, path);
    ::unlink(copyPath.c_str());
    ::rmdir(FolderOf(copyPath).c_str());
    return reason;
}

std::string_view RowNotice::relativeToRoot(std::string_view path) const
{
    const std::string_view root = m_rootPath == "/" ? std::string_view() : std::string_view(m_rootPath);
    if (!path.starts_with(root) || path.size() <= root.size() + 1 || path[root.size()] != '/')
        return {};
    return path.substr(root.size() + 1);
}

/// Copies the open document into a folder of its own in the draft, under
/// its own name; `copy` is then relative to the draft.
std::string RowNotice::copyToDraft(int in, std::string_view path, std::string* copy)
{
    const std::string folder = std::to_string(++m_copies);
    if (::mkdir(JoinPath(m_draft.folder, folder).c_str(), 0700) != 0)
        return "添付用の写しを作れません: " + ErrorText(errno);
    *copy = folder + "/" + FileNameOf(path);
    std::string reason = CopyTo(in, JoinPath(m_draft.folder, *copy));
    if (!reason.empty())
        ::rmdir(JoinPath(m_draft.folder, folder).c_str());
    return reason;
}

std::string RowNotice::attachArchive(const std::string& copyPath, std::string_view path)
{
    ZipAttachment archive;
    std::string error;
    if (!MakeZipAttachment(copyPath, m_password, m_draft.folder, m_zip, &archive, &error, archiveName(path)))
        return "添付できません: " + error;
    if (!m_checked.attachable(archive.archiveSize)) {
        ::unlink(archive.archivePath.c_str());
        return OverLimit(m_checked.maxSizeMegabytes);
    }
    m_attachments.push_back(FileNameOf(archive.archivePath));
    m_archived = true;
    return {};
}

/// The archive name of a document (see ArchiveNameFor), numbered when a
/// document of the same name in another folder of the row already has it,
/// so that one document's archive never replaces another's.
std::string RowNotice::archiveName(std::string_view path)
{
    const std::string fileName = FileNameOf(path);
    std::string name = ArchiveNameFor(fileName);
    for (int copy = 2; m_archiveNames.count(name) != 0; ++copy)
        name = ArchiveNameFor(fileName, copy);
    m_archiveNames.insert(name);
    return name;
}

bool RowNotice::needsPasswordMail() const
{
    return m_settings.Conf_zipPasswd.empty() && IsOn(m_settings.Conf_zip) && m_archived;
}

bool RowNotice::commit(size_t row, Notice notice, std::string* error)
{
    if (m_draft.folder.empty() && !m_outbox.begin(&m_draft, error))
        return false;
    notice.attachments = m_attachments;
    if (needsPasswordMail())
        notice.password = m_password;
    return m_outbox.add(m_draft, row, &notice, error);
}

} // namespace tessaly
