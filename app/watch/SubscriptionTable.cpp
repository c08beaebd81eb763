// SPDX-License-Identifier: MIT
#include "watch/SubscriptionTable.h"

#include "common/AtomicFile.h"
#include "common/Cp932.h"
#include "common/FileSystem.h"
#include "common/PathField.h"
#include "common/TextLines.h"
#include "common/UserMessages.h"

#include <stdexcept>

namespace tessaly {
namespace {

constexpr int kFolderColumn = 2;
constexpr std::string_view kTooManyLines = "購読設定ﾌｧｲﾙは最大10行です。\r\n以降は切り捨てられます。";
constexpr std::string_view kReadFailed = "購読ﾌｧｲﾙ読込みでエラーが発生しました\r\n";

std::string TooManyColumnsMessage()
{
    return "購読設定ﾌｧｲﾙは" + std::to_string(Subscription::kColumns) + "列です。\r\n以降は切り捨てられます。";
}

/// Stores the comma-terminated cells of one line into `row`. Text after the
/// last comma is not stored. False when the line had more than seven cells.
bool StoreLine(Subscription& row, std::string_view line)
{
    int column = 0;
    size_t start = 0;
    for (size_t comma = line.find(','); comma != std::string_view::npos; comma = line.find(',', start)) {
        if (column >= Subscription::kColumns)
            return false;
        const std::string_view bytes = line.substr(start, comma - start);
        row.cell(column) = column == kFolderColumn ? DecodePathField(bytes) : Cp932ToUtf8(bytes);
        ++column;
        start = comma + 1;
    }
    return true;
}

} // namespace

std::string& Subscription::cell(int column)
{
    return const_cast<std::string&>(static_cast<const Subscription*>(this)->cell(column));
}

const std::string& Subscription::cell(int column) const
{
    switch (column) {
    case 0: return Name;
    case 1: return Keyword;
    case 2: return Folder;
    case 3: return FileName;
    case 4: return Subfolders;
    case 5: return MailTo;
    case 6: return LastCheck;
    default: throw std::out_of_range("no subscription cell " + std::to_string(column));
    }
}

const std::array<std::string_view, Subscription::kColumns>& SubscriptionFieldNames()
{
    static const std::array<std::string_view, Subscription::kColumns> names = {
        "Name", "Keyword", "Folder", "FileName", "Subfolders", "MailTo", "LastCheck"};
    return names;
}

int SubscriptionColumn(std::string_view fieldName)
{
    const auto& names = SubscriptionFieldNames();
    for (int column = 0; column < Subscription::kColumns; ++column) {
        if (names[static_cast<size_t>(column)] == fieldName)
            return column;
    }
    return -1;
}

bool LoadSubscriptions(SubscriptionTable& table, const std::string& folder, UserMessages& messages,
                       SubscriptionLoad* outcome)
{
    SubscriptionLoad ignored;
    SubscriptionLoad& result = outcome ? *outcome : ignored;
    const std::string path = JoinPath(folder, kSubscriptionFileName);
    if (!FileHasContent(path)) {
        result = SubscriptionLoad::NoFile;
        return false;
    }
    std::string bytes;
    std::string error;
    if (!ReadWholeFile(path, &bytes, &error)) {
        messages.ShowMessage(std::string(kReadFailed) + error);
        result = SubscriptionLoad::Failed;
        return false;
    }
    result = SubscriptionLoad::Complete;
    TextLines lines(bytes);
    std::string_view line;
    for (size_t row = 0; lines.next(&line); ++row) {
        if (row >= table.size()) {
            messages.ShowMessage(kTooManyLines);
            result = SubscriptionLoad::Cut;
            break;
        }
        if (!StoreLine(table[row], line)) {
            messages.ShowMessage(TooManyColumnsMessage());
            result = SubscriptionLoad::Cut;
        }
    }
    return true;
}

bool SaveSubscriptions(const SubscriptionTable& table, const std::string& folder, std::string* error)
{
    std::string bytes;
    for (size_t row = 0; row < table.size(); ++row) {
        for (int column = 0; column < Subscription::kColumns; ++column) {
            const std::string& cell = table[row].cell(column);
            if (std::string problem = CellProblem(column, cell); !problem.empty()) {
                // Saving would change the cell; the file keeps what it has.
                if (error)
                    *error = "購読" + std::to_string(row + 1) + "の" +
                             std::string(SubscriptionFieldNames()[static_cast<size_t>(column)]) + ": " + problem;
                return false;
            }
            bytes += column == kFolderColumn ? EncodePathField(cell) : Utf8ToCp932(cell);
            bytes += ',';
        }
        bytes += "\r\n";
    }
    return WriteFileAtomically(JoinPath(folder, kSubscriptionFileName), bytes, error);
}

void Subscription::giveNewRowDefaults()
{
    if (FileName.empty())
        FileName = "*.*";
    if (Subfolders.empty())
        Subfolders = "0";
}

bool IsStorableCell(std::string_view text)
{
    return text.find_first_of(",\r\n") == std::string_view::npos;
}

std::string CellProblem(int column, std::string_view text)
{
    // The folder is a path field: any path is stored exactly.
    if (column == kFolderColumn)
        return {};
    if (!IsStorableCell(text))
        return "カンマと改行は使えません。";
    if (!IsCp932Representable(text))
        return "Shift-JIS で表せない文字は使えません。";
    return {};
}

} // namespace tessaly
