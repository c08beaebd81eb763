// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tessaly::mail {

/// What the component remembers about the mail servers it has talked to, in
/// tls-fingerprints.txt of the data folder: the certificate it trusted on
/// first use for a server whose certificate the system cannot verify, and
/// which servers offer STARTTLS. One line per fact, "#" starts a comment:
///
///   mail.example.jp:587 sha256 AB:CD:...:EF
///   mail.example.jp:587 starttls
///
/// A user who trusts a server's new certificate deletes its "sha256" line;
/// a server that was moved to one without TLS on purpose loses its
/// "starttls" line the same way. The file is private (0600), never read or
/// written through a link, and replaced whole by a rename, so a reader
/// never sees half of it. Not thread-safe; processes may share the file.
class ServerTrust final {
public:
    static constexpr std::string_view kFileName = "tls-fingerprints.txt";

    /// The record in `folder`; with "" there is none and nothing is
    /// remembered.
    explicit ServerTrust(std::string folder);

    /// The folder of a file path ("." for a bare name, "" for "").
    static std::string FolderOf(std::string_view filePath);
    /// The key of a server in the file: "host:port", the host in lower case.
    static std::string KeyOf(std::string_view hostAndPort);

    bool Enabled() const { return !m_path.empty(); }
    /// The file, for messages.
    const std::string& Path() const { return m_path; }

    /// Reads the file; a missing one is an empty record. False with `error`
    /// set (Japanese) when it cannot be read or is not a regular file.
    bool Load(std::string* error);

    /// The fingerprint trusted for `key`, "" when none is recorded.
    std::string Fingerprint(std::string_view key) const;
    /// True when `key` has offered STARTTLS before.
    bool OffersStartTls(std::string_view key) const;

    /// Adds the facts not recorded yet: `fingerprint` unless "" (a
    /// fingerprint recorded meanwhile by another process stays), and the
    /// STARTTLS offer when `startTls`. The file is read again under a lock
    /// first, so that nothing another process recorded is lost. False with
    /// `error` set when it cannot be written.
    bool Record(std::string_view key, std::string_view fingerprint, bool startTls, std::string* error);

private:
    struct Line {
        std::string text;
        std::string key;  ///< "" for comments and lines not understood
        std::string kind; ///< "sha256" or "starttls"
        std::string value;
    };

    bool Read(std::vector<Line>* lines, std::string* error) const;
    bool Write(const std::vector<Line>& lines, std::string* error) const;
    const Line* Find(std::string_view key, std::string_view kind) const;

    std::string m_folder;
    std::string m_path;
    std::vector<Line> m_lines;
};

/// A digest as upper-case hexadecimal pairs joined by ":" ("AB:CD:...").
std::string FingerprintText(const unsigned char* digest, size_t size);

} // namespace tessaly::mail
