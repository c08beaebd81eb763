// SPDX-License-Identifier: MIT
#include "traycontrol/MemoryPropertyBag.h"

namespace lumitray {

Variant MemoryPropertyBag::read(const QString& key, const Variant& defaultValue) const
{
    for (const auto& [name, value] : m_entries) {
        if (name == key)
            return value;
    }
    return defaultValue;
}

void MemoryPropertyBag::write(const QString& key, const Variant& value, const Variant& defaultValue)
{
    if (value == defaultValue) {
        std::erase_if(m_entries, [&](const auto& entry) { return entry.first == key; });
        return;
    }
    set(key, value);
}

void MemoryPropertyBag::set(const QString& key, const Variant& value)
{
    for (auto& [name, stored] : m_entries) {
        if (name == key) {
            stored = value;
            return;
        }
    }
    m_entries.emplace_back(key, value);
}

} // namespace lumitray
