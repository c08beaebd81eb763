// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <cstdint>
#include <map>
#include <mutex>

namespace lumitray {

/// A process-wide table of named 16-bit atoms with reference counts, in the
/// value range of string atoms (0xC000 to 0xFFFF). Names compare without
/// regard to case. Thread-safe.
class AtomTable final {
public:
    /// The global atom table of the process.
    static AtomTable& global();
    /// The table of registered window messages; a name always yields the
    /// same message number for the life of the process.
    static AtomTable& windowMessages();

    /// Adds a reference to `name` and returns its atom; 0 when the name is
    /// empty, longer than 255 characters, or the table is full.
    std::uint16_t add(const QString& name);
    /// Drops one reference; the atom is freed at the last one. Returns false
    /// for an atom that is not in the table.
    bool remove(std::uint16_t atom);
    /// The atom of `name` without adding a reference; 0 when absent.
    std::uint16_t find(const QString& name) const;
    /// The name of `atom`, empty when absent.
    QString name(std::uint16_t atom) const;

private:
    struct Entry {
        QString name;
        int references = 0;
    };

    mutable std::mutex m_mutex;
    std::map<std::uint16_t, Entry> m_entries;
    std::uint16_t m_next = 0xC000;
};

} // namespace lumitray
