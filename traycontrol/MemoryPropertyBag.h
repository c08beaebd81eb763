// SPDX-License-Identifier: MIT
#pragma once

#include "traycontrol/ControlSite.h"

#include <QString>

#include <utility>
#include <vector>

namespace lumitray {

/// A property bag kept in memory, in the order the keys were first written.
/// Values equal to their default are not stored.
class MemoryPropertyBag final : public PropertyBag {
public:
    Variant read(const QString& key, const Variant& defaultValue) const override;
    void write(const QString& key, const Variant& value, const Variant& defaultValue) override;

    /// Stores a value without comparing it with a default.
    void set(const QString& key, const Variant& value);
    /// The stored entries in the order they were written.
    const std::vector<std::pair<QString, Variant>>& entries() const { return m_entries; }

private:
    std::vector<std::pair<QString, Variant>> m_entries;
};

} // namespace lumitray
