// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

/// The name of the outbox folder in the data folder.
inline constexpr std::string_view kOutboxFolderName = "outbox";

/// One row's notice waiting in the outbox: its update mail and, when its
/// archives carry a drawn password, the password mail that goes after it.
struct Notice {
    std::string id;           ///< its folder's name; sorts by creation
    std::string rowName;      ///< the subscription, for messages
    std::string recipients;   ///< the row's addresses, ";" between them
    std::string managementNo; ///< shared by both mails
    std::string subject;      ///< of the update mail
    std::string body;         ///< of the update mail
    /// Files to attach, relative to the notice's folder (copies of the
    /// documents or their archives, made when the notice was).
    std::vector<std::string> attachments;
    std::string password;    ///< the password mail's, "" for none
    bool updateSent = false; ///< only the password mail is left
    int64_t created = 0;     ///< Unix seconds
    int64_t nextAttempt = 0; ///< Unix seconds; 0: at once
    int attempts = 0;
    std::string lastFailure; ///< why the last attempt failed

    friend bool operator==(const Notice&, const Notice&) = default;
};

/// The notices that wait to be sent, each a folder of its own in the data
/// folder's outbox: the notice's text file and the files it attaches. A
/// notice is made in a draft folder (where its attachments are put) and
/// appears under its name only once complete and on the disk, so that a
/// crash leaves either the whole notice or none. Every change holds the
/// data folder's lock (the caller's); files are owner-only and never
/// opened through a link. Not thread-safe.
class Outbox final {
public:
    explicit Outbox(const std::string& dataFolder);

    /// A notice being made.
    struct Draft {
        std::string folder; ///< where its attachments go; "" when none was made
        std::string suffix; ///< what makes its name its own
    };

    /// Makes a draft folder for a notice of row `row` (0..9). False with
    /// `error` set.
    bool begin(Draft* draft, std::string* error);
    /// Writes `notice` into the draft and puts it in place (its id set
    /// from `created`, the row number and the draft). False with `error`
    /// set; the draft is then removed.
    bool add(Draft& draft, size_t row, Notice* notice, std::string* error);
    /// Removes a draft that will not become a notice.
    void discard(Draft& draft);
    /// Removes drafts left by a run that ended before its notices were
    /// complete.
    void removeDrafts();

    /// Every notice, oldest first. A notice whose file cannot be read is
    /// left out, with its cause in `problems` (one line each).
    std::vector<Notice> list(std::vector<std::string>* problems = nullptr) const;
    /// Replaces the stored state of `notice` (attempts, next attempt, what
    /// was sent).
    bool update(const Notice& notice, std::string* error);
    /// Removes `notice` with its files.
    bool remove(const Notice& notice, std::string* error);
    /// The folder of `notice`.
    std::string folderOf(const Notice& notice) const;

private:
    std::string m_folder;
};

/// The notice's text: one "key=value" line each, values with "%", control
/// characters and bytes that are no UTF-8 written as %XX.
std::string FormatNotice(const Notice& notice);
/// Reads a notice's text; false when a line is not of the form.
bool ParseNotice(std::string_view text, Notice* notice);

} // namespace tessaly
