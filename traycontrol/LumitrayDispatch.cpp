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
    if (kind == DispatchKind::PropertyGet) {
        if (!arguments.empty())
            return DISP_E_BADPARAMCOUNT;
        if (!result)
            return E_POINTER;
        switch (member.id) {
        case DispIds::Icon: *result = m_fields.icon ? Variant(m_fields.icon) : Variant(); break;
        case DispIds::BalloonIcon: *result = Variant(m_fields.balloonIcon); break;
        case DispIds::ToolTipText: *result = Variant(m_fields.toolTipText); break;
        case DispIds::BalloonTitle: *result = Variant(m_fields.balloonTitle); break;
        case DispIds::Balloon: *result = Variant::fromBooleanValue(m_fields.balloon); break;
        case DispIds::BalloonSound: *result = Variant::fromBooleanValue(m_fields.balloonSound); break;
        case DispIds::AutoRefresh: *result = Variant::fromBooleanValue(m_autoRefresh); break;
        case DispIds::BalloonText: *result = Variant(m_fields.balloonText); break;
        case DispIds::IsNewVersion: *result = Variant::fromBooleanValue(m_fields.isNewVersion); break;
        case DispIds::IconHandle: *result = Variant(m_fields.iconHandle); break;
        case DispIds::BalloonTimeOut: *result = Variant::fromInteger(static_cast<std::int16_t>(m_fields.balloonTimeOut)); break;
        default: return DISP_E_MEMBERNOTFOUND;
        }
        return S_OK;
    }

    if (arguments.size() != 1)
        return DISP_E_BADPARAMCOUNT;
    const Variant& value = arguments.back();
    switch (member.id) {
    case DispIds::Icon: {
        std::shared_ptr<Picture> picture;
        if (!value.toPicture(&picture))
            return DISP_E_TYPEMISMATCH;
        setIcon(std::move(picture));
        return S_OK;
    }
    case DispIds::ToolTipText:
    case DispIds::BalloonTitle:
    case DispIds::BalloonText: {
        QString text;
        if (!value.toString(&text))
            return DISP_E_TYPEMISMATCH;
        if (member.id == DispIds::ToolTipText)
            setToolTipText(text);
        else if (member.id == DispIds::BalloonTitle)
            setBalloonTitle(text);
        else
            setBalloonText(text);
        return S_OK;
    }
    case DispIds::Balloon:
    case DispIds::BalloonSound:
    case DispIds::AutoRefresh: {
        Boolean flag = False;
        if (!value.toBoolean(&flag))
            return DISP_E_TYPEMISMATCH;
        if (member.id == DispIds::Balloon)
            setBalloon(flag);
        else if (member.id == DispIds::BalloonSound)
            setBalloonSound(flag);
        else
            setAutoRefresh(flag);
        return S_OK;
    }
    case DispIds::BalloonIcon:
    case DispIds::IconHandle:
    case DispIds::BalloonTimeOut: {
        std::int32_t number = 0;
        if (!value.toLong(&number))
            return DISP_E_TYPEMISMATCH;
        if (member.id == DispIds::BalloonIcon)
            setBalloonIcon(number);
        else if (member.id == DispIds::IconHandle)
            setIconHandle(number);
        else
            setBalloonTimeOut(number);
        return S_OK;
    }
    default:
        return DISP_E_MEMBERNOTFOUND;
    }
}

HResult Lumitray::invokeMethod(DispId id, std::span<Variant> arguments)
{
    const std::size_t expected = id == DispIds::SetIconHandleFromResource ? 2
        : id == DispIds::SetIconHandleFromFile                          ? 1
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
    default:
        return DISP_E_MEMBERNOTFOUND;
    }
}

} // namespace lumitray
