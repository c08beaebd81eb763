// SPDX-License-Identifier: MIT
#include "traycontrol/Variant.h"

namespace lumitray {

Variant Variant::fromBoolean(bool value)
{
    return fromBooleanValue(value ? True : False);
}

Variant Variant::fromBooleanValue(Boolean value)
{
    Variant v;
    v.m_type = Type::Boolean;
    v.m_value = static_cast<std::int32_t>(value);
    return v;
}

Variant Variant::fromInteger(std::int16_t value)
{
    Variant v;
    v.m_type = Type::Integer;
    v.m_value = static_cast<std::int32_t>(value);
    return v;
}

bool Variant::toLong(std::int32_t* out) const
{
    switch (m_type) {
    case Type::Empty: *out = 0; return true;
    case Type::Boolean:
    case Type::Integer:
    case Type::Long: *out = std::get<std::int32_t>(m_value); return true;
    case Type::String: {
        bool ok = false;
        const QString text = std::get<QString>(m_value).trimmed();
        const qlonglong number = text.toLongLong(&ok);
        if (ok && number >= INT32_MIN && number <= INT32_MAX) {
            *out = static_cast<std::int32_t>(number);
            return true;
        }
        const double real = text.toDouble(&ok);
        if (!ok || real < INT32_MIN || real > INT32_MAX)
            return false;
        *out = static_cast<std::int32_t>(qRound64(real));
        return true;
    }
    case Type::Picture: return false;
    }
    return false;
}

bool Variant::toBoolean(Boolean* out) const
{
    if (m_type == Type::String) {
        const QString text = std::get<QString>(m_value).trimmed();
        if (text.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) {
            *out = True;
            return true;
        }
        if (text.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) {
            *out = False;
            return true;
        }
    }
    std::int32_t number = 0;
    if (!toLong(&number))
        return false;
    *out = number != 0 ? True : False;
    return true;
}

bool Variant::toString(QString* out) const
{
    switch (m_type) {
    case Type::Empty: out->clear(); return true;
    case Type::Boolean:
        *out = std::get<std::int32_t>(m_value) != 0 ? QStringLiteral("True") : QStringLiteral("False");
        return true;
    case Type::Integer:
    case Type::Long: *out = QString::number(std::get<std::int32_t>(m_value)); return true;
    case Type::String: *out = std::get<QString>(m_value); return true;
    case Type::Picture: return false;
    }
    return false;
}

bool Variant::toPicture(std::shared_ptr<Picture>* out) const
{
    if (m_type == Type::Empty) {
        out->reset();
        return true;
    }
    if (m_type != Type::Picture)
        return false;
    *out = std::get<std::shared_ptr<Picture>>(m_value);
    return true;
}

std::int32_t Variant::rawNumber() const
{
    const auto* number = std::get_if<std::int32_t>(&m_value);
    return number ? *number : 0;
}

bool operator==(const Variant& a, const Variant& b)
{
    return a.m_type == b.m_type && a.m_value == b.m_value;
}

} // namespace lumitray
