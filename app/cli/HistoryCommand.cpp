// SPDX-License-Identifier: MIT
// tessalyctl history: history.hst, then history.dat, without merging them.
// The lines are streamed: however long the history, only one block of the
// file and one line are held at a time.
#include "cli/Ctl.h"

#include "common/Cp932.h"
#include "common/FileSystem.h"
#include "common/Json.h"
#include "common/PathField.h"
#include "watch/HistoryFile.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace tessaly {
namespace {

/// An open history file; a missing one reads as no lines.
class HistorySource final {
public:
    explicit HistorySource(std::string path) : m_path(std::move(path)) {}
    ~HistorySource()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    HistorySource(const HistorySource&) = delete;
    HistorySource& operator=(const HistorySource&) = delete;

    bool open(std::string* error)
    {
        if (!PathExists(m_path))
            return true;
        m_fd = OpenRegularFile(m_path, error);
        if (m_fd < 0)
            *error = m_path + ": " + *error;
        return m_fd >= 0;
    }

    /// Calls `each` with every line, split as TextLines splits a text: at
    /// CR LF, CR or LF, a last line without line end included.
    template <typename Each>
    bool forEachLine(Each each, std::string* error)
    {
        if (m_fd < 0)
            return true;
        char block[65536];
        std::string pending;
        bool afterCr = false; // a CR ended the last block: a LF may follow
        for (;;) {
            const ssize_t n = RetryOnEintr([&] { return ::read(m_fd, block, sizeof block); });
            if (n < 0) {
                *error = m_path + ": " + ErrorText(errno);
                return false;
            }
            if (n == 0)
                break;
            const std::string_view data(block, static_cast<size_t>(n));
            size_t at = 0;
            if (afterCr && data[0] == '\n')
                at = 1;
            afterCr = false;
            while (at < data.size()) {
                const size_t end = data.find_first_of("\r\n", at);
                if (end == std::string_view::npos) {
                    pending.append(data.substr(at));
                    break;
                }
                if (pending.empty()) {
                    each(data.substr(at, end - at));
                } else {
                    pending.append(data.substr(at, end - at));
                    each(std::string_view(pending));
                    pending.clear();
                }
                at = end + 1;
                if (data[end] == '\r') {
                    if (at == data.size())
                        afterCr = true;
                    else if (data[at] == '\n')
                        ++at;
                }
            }
        }
        if (!pending.empty())
            each(std::string_view(pending));
        return true;
    }

private:
    std::string m_path;
    int m_fd = -1;
};

} // namespace

int RunHistory(CtlContext& context)
{
    HistorySource sources[] = {HistorySource(JoinPath(context.folder, kHistoryFileName)),
                               HistorySource(JoinPath(context.folder, kHistoryInboxFileName))};
    std::string error;
    // Both files are opened before anything is printed, so that a file
    // that cannot be read gives no output at all.
    for (HistorySource& source : sources) {
        if (!source.open(&error)) {
            context.err << "tessalyctl: " << error << '\n';
            return kCtlFailed;
        }
    }
    bool any = false;
    const auto print = [&context, &any](std::string_view line) {
        if (!context.json) {
            // The lines as the files hold them, escaped path fields included.
            context.out << Cp932ToUtf8(line) << '\n';
            return;
        }
        HistoryEntry e = ParseHistoryLine(line);
        context.out << (any ? ",\n  " : "\n  ") << "{\"detected\": " << JsonQuote(e.detected)
                    << ", \"subscription\": " << JsonQuote(e.subscription)
                    << ", \"folder\": " << JsonQuote(ValidUtf8(e.folder))
                    << ", \"file\": " << JsonQuote(ValidUtf8(e.file)) << ", \"file_time\": " << JsonQuote(e.fileTime)
                    << "}";
        any = true;
    };
    if (context.json)
        context.out << "[";
    for (HistorySource& source : sources) {
        if (!source.forEachLine(print, &error)) {
            context.out << std::flush;
            context.err << "tessalyctl: " << error << '\n';
            return kCtlFailed;
        }
    }
    if (context.json)
        context.out << (any ? "\n]\n" : "]\n");
    return kCtlOk;
}

} // namespace tessaly
