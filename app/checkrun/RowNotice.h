// SPDX-License-Identifier: MIT
#pragma once

#include "notify/Outbox.h"

#include <set>
#include <string>
#include <string_view>

namespace tessaly {

class ZipArchiver;
struct BasicSettings;
struct CheckedSettings;

/// The notice of one row, made while its documents are recorded: the list
/// of documents for the update mail (each path with its control characters
/// made visible, and, with attachments on, why a document is not attached
/// where it is not), and the attachments, copied or packed one at a time
/// into a draft of the outbox. So the mail never depends on documents that
/// change or vanish before it goes, and any number of documents never holds
/// more than one file open.
class RowNotice final {
public:
    /// `settings`, `checked` (their numbers), `zip` and `outbox` must
    /// outlive the notice; `password` protects the archives; `folder` is the
    /// row's folder, beneath which every document added lies.
    RowNotice(const BasicSettings& settings, const CheckedSettings& checked, ZipArchiver& zip, Outbox& outbox,
              std::string password, std::string_view folder);
    RowNotice(const RowNotice&) = delete;
    RowNotice& operator=(const RowNotice&) = delete;
    ~RowNotice();

    /// Adds one recorded document.
    void add(std::string_view path);
    /// Puts the notice into the outbox for row `row` with the mails'
    /// addressing and texts in `notice` (its body gets the list). False
    /// with `error` set.
    bool commit(size_t row, Notice notice, std::string* error);

    /// The lines of the update mail's list, CR LF after each.
    const std::string& documentList() const { return m_list; }
    /// True when an archive with a drawn password went into the notice.
    bool needsPasswordMail() const;

private:
    /// Why `path` cannot be attached ("" when it was).
    std::string attach(std::string_view path);
    std::string_view relativeToRoot(std::string_view path) const;
    std::string copyToDraft(int in, std::string_view path, std::string* copy);
    std::string attachArchive(const std::string& copyPath, std::string_view path);
    std::string archiveName(std::string_view path);

    const BasicSettings& m_settings;
    const CheckedSettings& m_checked;
    ZipArchiver& m_zip;
    Outbox& m_outbox;
    std::string m_password;
    std::string m_rootPath; ///< the row's folder as the walk names it
    int m_root = -1;        ///< that folder, once opened
    int m_copies = 0;
    Outbox::Draft m_draft;
    std::string m_draftError; ///< why no draft could be made
    std::string m_list;
    std::vector<std::string> m_attachments; ///< relative to the draft
    std::set<std::string> m_archiveNames;
    bool m_archived = false;
};

/// `bytes` as a line of a mail shows it: bytes that are no UTF-8 as U+FFFD,
/// control characters as %XX, so that no name can begin a line of its own.
std::string VisibleInMail(std::string_view bytes);

} // namespace tessaly
