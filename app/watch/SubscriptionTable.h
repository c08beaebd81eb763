// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace tessaly {

class UserMessages;

/// One watched folder and its settings: seven text cells in file order.
struct Subscription {
    std::string Name;       ///< empty: the row is unused
    std::string Keyword;    ///< filter words separated by blanks
    std::string Folder;     ///< the folder to watch, a full path (its bytes)
    std::string FileName;   ///< file-name pattern with wildcards
    std::string Subfolders; ///< "1": subfolders are walked too
    std::string MailTo;     ///< recipients, separated by ";"
    std::string LastCheck;  ///< date-time of the last check; "" = never

    static constexpr int kColumns = 7;

    bool inUse() const { return !Name.empty(); }
    /// What a row coming into use gets where it is empty: FileName "*.*"
    /// (every file) and Subfolders "0" (the folder alone). The editor and
    /// `tessalyctl subs set` both give these, so a new row can be checked
    /// at once.
    void giveNewRowDefaults();
    /// Cell `column` (0..6) in file order; std::out_of_range for any other.
    std::string& cell(int column);
    const std::string& cell(int column) const;

    friend bool operator==(const Subscription&, const Subscription&) = default;
};

/// The names of the seven cells in file order: Name, Keyword, Folder,
/// FileName, Subfolders, MailTo, LastCheck.
const std::array<std::string_view, Subscription::kColumns>& SubscriptionFieldNames();

/// The column of a field name (exact), or -1.
int SubscriptionColumn(std::string_view fieldName);

/// The ten subscriptions, row 0 first.
using SubscriptionTable = std::array<Subscription, 10>;

/// A set of rows of the table: bit i stands for row i.
using RowMask = std::uint16_t;
inline constexpr RowMask kAllRows = 0x3FF;

inline constexpr std::string_view kSubscriptionFileName = "subscription.dat";

/// How a load went, for callers that must know more than the result.
enum class SubscriptionLoad {
    Complete, ///< every line and cell of the file was taken
    Cut,      ///< read, but lines beyond the 10th or cells beyond the 7th were dropped
    NoFile,   ///< missing or empty file; the table is unchanged
    Failed,   ///< the file could not be read; a message said why
};

/// Reads subscription.dat from `folder` into `table`, cell by cell as far
/// as the file reaches; rows and cells the file does not reach keep their
/// content. Cuts and read failures are reported through `messages` with the
/// program's texts. True when the file was read (also when cut).
bool LoadSubscriptions(SubscriptionTable& table, const std::string& folder, UserMessages& messages,
                       SubscriptionLoad* outcome = nullptr);

/// Writes the whole table to subscription.dat in `folder`: ten lines of
/// seven comma-terminated cells, CR LF, code page 932, the Folder cell as a
/// path field (see PathField.h) so that any path is kept exactly. The old
/// file is replaced only once the new one is complete. A cell that the file
/// cannot hold unchanged (see CellProblem) fails the save before anything
/// is written. False on failure, with `error` set when given; no message is
/// shown.
bool SaveSubscriptions(const SubscriptionTable& table, const std::string& folder, std::string* error = nullptr);

/// True when `text` may stand in a cell: no comma, CR or LF, which would
/// split the cell when the file is read back.
bool IsStorableCell(std::string_view text);

/// Why `text` cannot be stored in cell `column` unchanged (a Japanese
/// sentence for messages), or "" when it can. The Folder cell takes any
/// path; every other cell must be free of commas and line breaks and
/// representable in code page 932.
std::string CellProblem(int column, std::string_view text);

} // namespace tessaly
