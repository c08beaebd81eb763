// SPDX-License-Identifier: MIT
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace tessaly::mail {

/// The bytes of one mail as the SMTP upload reads them: text pieces and
/// attachment files, the files base64-encoded while they are read so that
/// a large attachment is never held in memory whole. Not thread-safe.
class MessageSource final {
public:
    /// Appends text as it is.
    void AddText(std::string text);
    /// Appends the content of `file` (opened for reading, now owned here)
    /// as base64 lines; `path` names it in messages.
    void AddBase64File(std::FILE* file, std::string path);

    /// Copies up to `size` further bytes into `buffer` and returns how many;
    /// 0 at the end, or on a read error (then Failed() is true).
    size_t Read(char* buffer, size_t size);
    /// Starts again from the first byte, for a second attempt.
    bool Rewind();

    bool Failed() const { return !m_error.empty(); }
    /// Why reading failed, for the user.
    const std::string& Error() const { return m_error; }

    /// The whole message, for tests and small mails.
    std::string ReadAll();

private:
    struct FileCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    struct Segment {
        std::string text;
        std::unique_ptr<std::FILE, FileCloser> file;
        std::string path;
    };

    bool Refill();

    std::vector<Segment> m_segments;
    size_t m_current = 0;
    std::string m_pending;
    size_t m_pendingOffset = 0;
    std::string m_error;
};

} // namespace tessaly::mail
