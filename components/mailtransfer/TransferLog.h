// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tessaly::mail {

/// mail.log: one block per exchange with the date, the protocol dialogue
/// and the result, appended to the file in one write when the exchange is
/// over. Passwords never reach it: an AUTH or PASS command keeps only its
/// name, the rest of an AUTH exchange is masked in both directions, and
/// every registered secret is blotted out wherever it occurs. Message
/// bodies are never handed to it. Not thread-safe.
class TransferLog final {
public:
    /// A log appending to `path` (its bytes, as given); nothing is written
    /// when it is "".
    /// When the file has grown past a mebibyte it is moved to `path`.old
    /// before the next block, so the log cannot fill the disk.
    explicit TransferLog(std::string path);
    ~TransferLog();
    TransferLog(const TransferLog&) = delete;
    TransferLog& operator=(const TransferLog&) = delete;

    /// The file, as given.
    const std::string& Path() const { return m_path; }

    /// Opens (creates, 0600) the file for the block, never through a link
    /// and without waiting on a pipe. False with `error` set (Japanese)
    /// only when something that is not a regular file has the log's name;
    /// a log that cannot be opened for another reason is skipped. Finish()
    /// opens it when this was not called.
    bool Open(std::string* error);

    /// Starts the block: the current local time and `title`.
    void Begin(std::string_view title);
    /// A command line sent to the server.
    void Sent(std::string_view line);
    /// A reply line received from the server.
    void Received(std::string_view line);
    /// A remark of the client (connection, TLS, certificate).
    void Note(std::string_view text);
    /// Text that must never be written (a password); ignored when shorter
    /// than four characters, which would blot out ordinary words.
    void AddSecret(std::string secret);

    /// Ends the block with its result ("" = accepted) and appends it to the
    /// file as UTF-8, every byte that is not UTF-8 shown as U+FFFD. A log
    /// that cannot be written is skipped: it never decides whether a mail
    /// goes out.
    void Finish(std::string_view result);

    /// The lines of the current block, masked, before they are written.
    const std::vector<std::string>& Lines() const { return m_lines; }

private:
    void Add(std::string_view prefix, std::string_view text);
    std::string Masked(std::string_view line);
    /// -1 when there is no usable file, -2 when something that is not a
    /// regular file has the name.
    int OpenFile() const;

    std::string m_path;
    int m_fd = -1;
    bool m_opened = false;
    std::vector<std::string> m_lines;
    std::vector<std::string> m_secrets;
    bool m_inAuth = false;
};

} // namespace tessaly::mail
