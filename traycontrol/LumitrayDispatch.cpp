// SPDX-License-Identifier: MIT
// The late-bound entry of the control: every member by dispatch identifier.
#include "traycontrol/Lumitray.h"

#include "traycontrol/Picture.h"

namespace lumitray {
namespace {

bool Accepts(const MemberInfo& member, DispatchKind kind)
{
    return (member.kinds & static_cast<std::uint16_t>(kind)) != 0;
}

/// How one property is read and written through the late-bound entry.
struct PropertyAccess {
    DispId id;
    Variant (*get)(const Lumitray&);
    HResult (*set)(Lumitray&, const Variant&);
};

template <void (Lumitray::*Setter)(const QString&)>
HResult SetText(Lumitray& control, const Variant& value)
{
    QString text;
    if (!value.toString(&text))
        return DISP_E_TYPEMISMATCH;
    (control.*Setter)(text);
    return S_OK;
}

template <void (Lumitray::*Setter)(Boolean)>
HResult SetFlag(Lumitray& control, const Variant& value)
{
    Boolean flag = False;
    if (!value.toBoolean(&flag))
        return DISP_E_TYPEMISMATCH;
    (control.*Setter)(flag);
    return S_OK;
}

template <typename Number, void (Lumitray::*Setter)(Number)>
HResult SetNumber(Lumitray& control, const Variant& value)
{
    std::int32_t number = 0;
    if (!value.toLong(&number))
        return DISP_E_TYPEMISMATCH;
    (control.*Setter)(number);
    return S_OK;
}

HResult SetIcon(Lumitray& control, const Variant& value)
{
    std::shared_ptr<Picture> picture;
    if (!value.toPicture(&picture))
        return DISP_E_TYPEMISMATCH;
    control.setIcon(std::move(picture));
    return S_OK;
}

// Every property with its getter and setter; read-only ones have no setter.
const PropertyAccess kProperties[] = {
    {DispIds::Icon, [](const Lumitray& c) { return c.icon() ? Variant(c.icon()) : Variant(); }, SetIcon},
    {DispIds::BalloonIcon, [](const Lumitray& c) { return Variant(c.balloonIcon()); },
     SetNumber<std::int32_t, &Lumitray::setBalloonIcon>},
    {DispIds::ToolTipText, [](const Lumitray& c) { return Variant(c.toolTipText()); },
     SetText<&Lumitray::setToolTipText>},
    {DispIds::BalloonTitle, [](const Lumitray& c) { return Variant(c.balloonTitle()); },
     SetText<&Lumitray::setBalloonTitle>},
    {DispIds::Balloon, [](const Lumitray& c) { return Variant::fromBooleanValue(c.balloon()); },
     SetFlag<&Lumitray::setBalloon>},
    {DispIds::BalloonSound, [](const Lumitray& c) { return Variant::fromBooleanValue(c.balloonSound()); },
     SetFlag<&Lumitray::setBalloonSound>},
    {DispIds::AutoRefresh, [](const Lumitray& c) { return Variant::fromBooleanValue(c.autoRefresh()); },
     SetFlag<&Lumitray::setAutoRefresh>},
    {DispIds::BalloonText, [](const Lumitray& c) { return Variant(c.balloonText()); },
     SetText<&Lumitray::setBalloonText>},
    {DispIds::IsNewVersion, [](const Lumitray& c) { return Variant::fromBooleanValue(c.isNewVersion()); }, nullptr},
    {DispIds::IconHandle, [](const Lumitray& c) { return Variant(c.iconHandle()); },
     SetNumber<ImageHandle, &Lumitray::setIconHandle>},
    {DispIds::BalloonTimeOut,
     [](const Lumitray& c) { return Variant::fromInteger(static_cast<std::int16_t>(c.balloonTimeOut())); },
     SetNumber<std::int32_t, &Lumitray::setBalloonTimeOut>},
};

const PropertyAccess* FindProperty(DispId id)
{
    for (const PropertyAccess& property : kProperties) {
        if (property.id == id)
            return &property;
    }
    return nullptr;
}

} // namespace

HResult Lumitray::invoke(DispId id, DispatchKind kind, std::span<Variant> arguments, Variant* result)
{
    const MemberInfo* member = FindMember(id);
    if (!member || !Accepts(*member, kind))
        return DISP_E_MEMBERNOTFOUND;
    if (kind == DispatchKind::Method)
        return invokeMethod(id, arguments);
    return invokeProperty(*member, kind, arguments, result);
}

HResult Lumitray::invokeProperty(const MemberInfo& member, DispatchKind kind, std::span<Variant> arguments,
                                 Variant* result)
{
    const PropertyAccess* property = FindProperty(member.id);
    if (kind == DispatchKind::PropertyGet) {
        if (!arguments.empty())
            return DISP_E_BADPARAMCOUNT;
        if (!result)
            return E_POINTER;
        if (!property)
            return DISP_E_MEMBERNOTFOUND;
        *result = property->get(*this);
        return S_OK;
    }
    if (arguments.size() != 1)
        return DISP_E_BADPARAMCOUNT;
    if (!property || !property->set)
        return DISP_E_MEMBERNOTFOUND;
    return property->set(*this, arguments.back());
}

HResult Lumitray::invokeMethod(DispId id, std::span<Variant> arguments)
{
    const std::size_t expected = id == DispIds::SetIconHandleFromResource ? 2
                                 : id == DispIds::SetIconHandleFromFile   ? 1
                                                                          : 0;
    if (arguments.size() != expected)
        return DISP_E_BADPARAMCOUNT;
    switch (id) {
    case DispIds::Refresh: refresh(); return S_OK;
    case DispIds::Show: show(); return S_OK;
    case DispIds::Vanish: vanish(); return S_OK;
    case DispIds::About: about(); return S_OK;
    case DispIds::SetIconHandleFromFile: {
        QString fileName;
        if (!arguments[0].toString(&fileName))
            return DISP_E_TYPEMISMATCH;
        setIconHandleFromFile(fileName);
        return S_OK;
    }
    case DispIds::SetIconHandleFromResource: {
        std::int32_t module = 0;
        if (!arguments[0].toLong(&module))
            return DISP_E_TYPEMISMATCH;
        return setIconHandleFromResource(module, arguments[1]);
    }
    default: return DISP_E_MEMBERNOTFOUND;
    }
}

} // namespace lumitray
