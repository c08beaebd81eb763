// SPDX-License-Identifier: MIT
#pragma once

#include "traycontrol/Com.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <variant>

namespace lumitray {

class Picture;

/// A value crossing the dispatch entry, the property bag or an event: empty,
/// Boolean, 16- or 32-bit integer, string or picture reference. Conversions
/// follow the usual automation coercions and report a type mismatch instead
/// of guessing.
class Variant final {
public:
    /// Distinguishes the 16-bit kinds, which share one C++ type.
    enum class Type { Empty, Boolean, Integer, Long, String, Picture };

    Variant() = default;
    /// A 32-bit integer.
    Variant(std::int32_t value) : m_type(Type::Long), m_value(value) {}
    Variant(QString value) : m_type(Type::String), m_value(std::move(value)) {}
    Variant(const char* utf8) : Variant(QString::fromUtf8(utf8)) {}
    Variant(std::shared_ptr<Picture> picture) : m_type(Type::Picture), m_value(std::move(picture)) {}

    /// A Boolean: any non-zero value is stored as True (-1).
    static Variant fromBoolean(bool value);
    /// A Boolean holding exactly the given 16-bit value.
    static Variant fromBooleanValue(Boolean value);
    /// A 16-bit integer.
    static Variant fromInteger(std::int16_t value);

    Type type() const { return m_type; }
    bool isEmpty() const { return m_type == Type::Empty; }

    /// Coerces to a 32-bit integer. Strings must hold a decimal number;
    /// pictures never convert. Returns false on a type mismatch.
    bool toLong(std::int32_t* out) const;
    /// Coerces to a 16-bit Boolean (non-zero becomes True). Accepts numbers
    /// and the strings "True"/"False" or numeric text.
    bool toBoolean(Boolean* out) const;
    /// Coerces to a string; numbers give their decimal text, Booleans
    /// "True"/"False". Pictures do not convert.
    bool toString(QString* out) const;
    /// The picture when the value holds one (or empty for "none").
    bool toPicture(std::shared_ptr<Picture>* out) const;

    /// The value as it is stored, for tests and diagnostics.
    std::int32_t rawNumber() const;

    friend bool operator==(const Variant& a, const Variant& b);

private:
    Type m_type = Type::Empty;
    std::variant<std::monostate, std::int32_t, QString, std::shared_ptr<Picture>> m_value;
};

} // namespace lumitray
