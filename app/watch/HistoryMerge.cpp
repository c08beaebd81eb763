// SPDX-License-Identifier: MIT
#include "watch/HistoryMerge.h"

#include "common/AtomicFile.h"
#include "common/FileSystem.h"

#include <cerrno>
#include <unistd.h>

namespace tessaly {
namespace {

bool Fail(std::string* error, std::string text)
{
    if (error)
        *error = std::move(text);
    return false;
}

bool EndsWithLineEnd(std::string_view bytes)
{
    return bytes.empty() || bytes.back() == '\n' || bytes.back() == '\r';
}

} // namespace

bool MergeHistory(const std::string& historyPath, const std::string& inboxPath, std::string* error)
{
    std::string history;
    if (FileHasContent(historyPath) && !ReadWholeFile(historyPath, &history, error))
        return false;
    std::string inbox;
    if (!ReadWholeFile(inboxPath, &inbox, error))
        return false;

    AtomicFile file(historyPath);
    const bool written = file.open() && file.write(history) && (EndsWithLineEnd(history) || file.write("\r\n")) &&
                         file.write(inbox) && file.commit();
    if (!written)
        return Fail(error, file.error());
    // The lines are safe in the history file now; only then may the inbox go.
    if (::unlink(inboxPath.c_str()) != 0 && errno != ENOENT)
        return Fail(error, inboxPath + " を削除できません: " + ErrorText(errno));
    return true;
}

bool RewriteHistory(const std::string& historyPath, std::span<const HistoryCells> rows, std::string* error)
{
    constexpr size_t kChunk = 1 << 16;
    AtomicFile file(historyPath);
    if (!file.open())
        return Fail(error, file.error());
    std::string buffer;
    buffer.reserve(kChunk + 1024);
    for (const HistoryCells& row : rows) {
        for (std::string_view cell : row) {
            buffer += cell;
            buffer += ',';
        }
        buffer += "\r\n";
        if (buffer.size() >= kChunk) {
            if (!file.write(buffer))
                return Fail(error, file.error());
            buffer.clear();
        }
    }
    if (!file.write(buffer) || !file.commit())
        return Fail(error, file.error());
    return true;
}

bool RemoveHistory(const std::string& historyPath, std::string* error)
{
    if (::unlink(historyPath.c_str()) == 0 || errno == ENOENT)
        return true;
    return Fail(error, historyPath + " を削除できません: " + ErrorText(errno));
}

} // namespace tessaly
