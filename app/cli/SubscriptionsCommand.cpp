// SPDX-License-Identifier: MIT
// tessalyctl subs show | subs set ROW FIELD VALUE
#include "cli/Ctl.h"

#include "common/Cp932.h"
#include "common/DataFolderLock.h"
#include "common/DateText.h"
#include "common/Json.h"
#include "common/PathField.h"
#include "common/StreamMessages.h"
#include "watch/SubscriptionTable.h"

namespace tessaly {
namespace {

void PrintSubscriptions(const SubscriptionTable& table, CtlContext& context)
{
    const auto& names = SubscriptionFieldNames();
    if (!context.json) {
        context.out << "Row";
        for (std::string_view name : names)
            context.out << '\t' << name;
        context.out << '\n';
        for (size_t row = 0; row < table.size(); ++row) {
            context.out << row + 1;
            for (int column = 0; column < Subscription::kColumns; ++column)
                context.out << '\t' << ValidUtf8(table[row].cell(column));
            context.out << '\n';
        }
        return;
    }
    context.out << "[";
    for (size_t row = 0; row < table.size(); ++row) {
        context.out << (row == 0 ? "\n  {" : ",\n  {");
        for (int column = 0; column < Subscription::kColumns; ++column) {
            context.out << (column == 0 ? "" : ", ") << JsonQuote(names[static_cast<size_t>(column)]) << ": "
                        << JsonQuote(ValidUtf8(table[row].cell(column)));
        }
        context.out << "}";
    }
    context.out << "\n]\n";
}

/// The row index 0..9 of a row number text "1".."10", or -1.
int RowIndex(const std::string& text)
{
    if (text.empty() || text.size() > 2 || text.find_first_not_of("0123456789") != std::string::npos)
        return -1;
    int row = std::stoi(text);
    return row >= 1 && row <= 10 ? row - 1 : -1;
}

/// Why `value` cannot be stored in the cell `field`, or "" when it can.
std::string ValueProblem(const std::string& field, const std::string& value)
{
    // Any folder is stored exactly; the other cells are plain text.
    if (field != "Folder" && !IsStorableCell(value))
        return "a subscription value cannot contain a comma or a line break";
    if (field != "Folder" && !IsCp932Representable(value))
        return "the value has characters that Shift-JIS cannot store";
    if (field == "Subfolders" && value != "0" && value != "1")
        return "Subfolders is 1 (walk subfolders too) or 0";
    if (field == "LastCheck" && !value.empty() && !ParseDateTime(value))
        return "LastCheck takes a date-time such as 2026/12/06 14:05:09, not \"" + value + "\"";
    return {};
}

} // namespace

int RunSubsShow(CtlContext& context)
{
    SubscriptionTable table;
    StreamMessages messages(context.err);
    SubscriptionLoad outcome;
    LoadSubscriptions(table, context.folder, messages, &outcome);
    PrintSubscriptions(table, context);
    return outcome == SubscriptionLoad::Complete || outcome == SubscriptionLoad::NoFile ? kCtlOk : kCtlFailed;
}

int RunSubsSet(CtlContext& context, const std::string& rowText, const std::string& field, const std::string& value)
{
    const int row = RowIndex(rowText);
    if (row < 0) {
        context.err << "tessalyctl: ROW is a number from 1 to 10, not \"" << rowText << "\"\n";
        return kCtlUsage;
    }
    const int column = SubscriptionColumn(field);
    if (column < 0) {
        context.err << "tessalyctl: unknown field " << field
                    << " (Name, Keyword, Folder, FileName, Subfolders, MailTo, LastCheck)\n";
        return kCtlUsage;
    }
    if (std::string problem = ValueProblem(field, value); !problem.empty()) {
        context.err << "tessalyctl: " << problem << '\n';
        return kCtlUsage;
    }
    std::string lockError;
    DataFolderLock lock = DataFolderLock::Acquire(context.folder, kCtlLockWaitSeconds, &lockError);
    if (!lock.held())
        return LockNotTaken(context, lock, lockError, "saved");
    SubscriptionTable table;
    StreamMessages messages(context.err);
    SubscriptionLoad outcome;
    LoadSubscriptions(table, context.folder, messages, &outcome);
    if (outcome == SubscriptionLoad::Cut || outcome == SubscriptionLoad::Failed) {
        context.err << "tessalyctl: the subscription file could not be loaded completely, nothing was saved\n";
        return kCtlFailed;
    }
    Subscription& subscription = table[static_cast<size_t>(row)];
    const bool wasInUse = subscription.inUse();
    subscription.cell(column) = value;
    // A row taken into use gets what the editor gives a new row, so that
    // it can be checked at once.
    if (!wasInUse)
        subscription.giveNewRowDefaults();
    std::string error;
    if (!SaveSubscriptions(table, context.folder, &error)) {
        context.err << "tessalyctl: the subscriptions could not be saved: " << error << '\n';
        return kCtlFailed;
    }
    return kCtlOk;
}

} // namespace tessaly
