// SPDX-License-Identifier: MIT
#include "watch/HistoryFile.h"

#include "common/Clock.h"
#include "common/Cp932.h"
#include "common/DataFolderLock.h"
#include "common/DateText.h"
#include "common/FileSystem.h"
#include "common/PathField.h"
#include "common/PathParts.h"
#include "common/TextLines.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaly {
namespace {

/// Opens the history inbox for appending: created owner-only when missing,
/// never through a link, and only when it is a regular file (a FIFO in its
/// place must not block the run); under the data folder's lock, only while
/// the folder is still to be trusted.
int OpenInbox(const std::string& path, std::string* error)
{
    std::string reason;
    const int fd = OpenDataFileForWriting(path, &reason, O_WRONLY | O_APPEND | O_CREAT);
    if (fd < 0 && error)
        *error = path + " を開けません: " + reason;
    return fd;
}

/// Appends `bytes` to the file at `path` with one write; on failure the file
/// is cut back to its previous length.
bool AppendWhole(const std::string& path, std::string_view bytes, std::string* error)
{
    int fd = OpenInbox(path, error);
    if (fd < 0)
        return false;
    struct stat before {};
    ::fstat(fd, &before);
    std::string_view rest = bytes;
    int failure = 0;
    while (!rest.empty()) {
        const ssize_t n = RetryOnEintr([&] { return ::write(fd, rest.data(), rest.size()); });
        if (n <= 0) {
            failure = n < 0 ? errno : ENOSPC;
            break;
        }
        rest.remove_prefix(static_cast<size_t>(n));
    }
    if (failure != 0 && ::ftruncate(fd, before.st_size) != 0) {
        // Nothing more can be done; the error below still reports the write.
    }
    if (::close(fd) != 0 && failure == 0)
        failure = errno;
    if (failure != 0 && error)
        *error = path + " に書き込めません: " + ErrorText(failure);
    return failure == 0;
}

} // namespace

std::string HistoryLine(const UpdateRecord& record, AutomationDate detected)
{
    const AutomationDate fileTime = record.Created > record.Written ? record.Created : record.Written;
    std::string line;
    for (const std::string& field :
         {Utf8ToCp932(FormatHistoryTime(detected)), Utf8ToCp932(record.SubscriptionName),
          EncodePathField(FolderOf(record.FilePath)), EncodePathField(FileNameOf(record.FilePath)),
          Utf8ToCp932(FormatHistoryTime(fileTime))}) {
        line += field;
        line += ',';
    }
    return line;
}

bool WriteHistory(const std::string& folder, const UpdateRecord& record, const Clock& clock, std::string* error)
{
    std::string line = HistoryLine(record, clock.Now());
    line += "\r\n";
    return AppendWhole(JoinPath(folder, kHistoryInboxFileName), line, error);
}

bool SyncHistory(const std::string& folder, std::string* error)
{
    const std::string path = JoinPath(folder, kHistoryInboxFileName);
    int fd = OpenInbox(path, error);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    const int cause = errno;
    ::close(fd);
    if (!synced) {
        if (error)
            *error = path + " をディスクに書き出せません: " + ErrorText(cause);
        return false;
    }
    SyncFolder(folder); // a new file's name must reach the disk as well
    return true;
}

HistoryEntry ParseHistoryLine(std::string_view line)
{
    std::string_view cells[5];
    size_t start = 0;
    for (std::string_view& cell : cells) {
        if (start > line.size())
            break;
        size_t comma = line.find(',', start);
        size_t end = comma == std::string_view::npos ? line.size() : comma;
        cell = line.substr(start, end - start);
        start = end + 1;
    }
    return HistoryEntry{Cp932ToUtf8(cells[0]), Cp932ToUtf8(cells[1]), DecodePathField(cells[2]),
                        DecodePathField(cells[3]), Cp932ToUtf8(cells[4])};
}

bool ReadHistoryLines(const std::string& path, std::vector<std::string>* lines, std::string* error)
{
    lines->clear();
    if (!PathExists(path))
        return true;
    std::string bytes;
    if (!ReadWholeFile(path, &bytes, error))
        return false;
    TextLines reader(bytes);
    std::string_view line;
    while (reader.next(&line))
        lines->emplace_back(line);
    return true;
}

} // namespace tessaly
