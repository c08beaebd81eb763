// SPDX-License-Identifier: MIT
#include "traycontrol/AtomTable.h"

namespace lumitray {
namespace {

constexpr int MaxNameLength = 255;
constexpr std::uint32_t FirstAtom = 0xC000;
constexpr std::uint32_t LastAtom = 0xFFFF;

} // namespace

AtomTable& AtomTable::global()
{
    static AtomTable table;
    return table;
}

AtomTable& AtomTable::windowMessages()
{
    static AtomTable table;
    return table;
}

std::uint16_t AtomTable::add(const QString& name)
{
    if (name.isEmpty() || name.size() > MaxNameLength)
        return 0;
    std::lock_guard lock(m_mutex);
    for (auto& [atom, entry] : m_entries) {
        if (entry.name.compare(name, Qt::CaseInsensitive) == 0) {
            ++entry.references;
            return atom;
        }
    }
    // Hand out the next free value, wrapping around once the range is used.
    for (std::uint32_t tried = 0; tried <= LastAtom - FirstAtom; ++tried) {
        const std::uint16_t candidate = m_next;
        m_next = m_next == LastAtom ? FirstAtom : static_cast<std::uint16_t>(m_next + 1);
        if (!m_entries.contains(candidate)) {
            m_entries[candidate] = Entry{name, 1};
            return candidate;
        }
    }
    return 0;
}

bool AtomTable::remove(std::uint16_t atom)
{
    std::lock_guard lock(m_mutex);
    auto it = m_entries.find(atom);
    if (it == m_entries.end())
        return false;
    if (--it->second.references == 0)
        m_entries.erase(it);
    return true;
}

std::uint16_t AtomTable::find(const QString& name) const
{
    std::lock_guard lock(m_mutex);
    for (const auto& [atom, entry] : m_entries) {
        if (entry.name.compare(name, Qt::CaseInsensitive) == 0)
            return atom;
    }
    return 0;
}

QString AtomTable::name(std::uint16_t atom) const
{
    std::lock_guard lock(m_mutex);
    auto it = m_entries.find(atom);
    return it == m_entries.end() ? QString() : it->second.name;
}

} // namespace lumitray
