// SPDX-License-Identifier: MIT
// Readable failure output for the program's records.
#pragma once

#include "watch/SubscriptionTable.h"

#include <ostream>

namespace tessaly {

inline void PrintTo(const Subscription& row, std::ostream* os)
{
    *os << "{";
    for (int column = 0; column < Subscription::kColumns; ++column)
        *os << (column ? ", " : "") << '"' << row.cell(column) << '"';
    *os << "}";
}

} // namespace tessaly
