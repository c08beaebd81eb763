// SPDX-License-Identifier: MIT
#include "resident/TrayControl.h"

namespace tessaly {

using lumitray::DispatchKind;
using lumitray::HResult;
using lumitray::Variant;

HResult TrayControl::put(lumitray::DispId id, Variant value)
{
    return invoke(id, DispatchKind::PropertyPut, std::span<Variant>(&value, 1), nullptr);
}

HResult TrayControl::putRef(lumitray::DispId id, Variant value)
{
    return invoke(id, DispatchKind::PropertyPutRef, std::span<Variant>(&value, 1), nullptr);
}

HResult TrayControl::get(lumitray::DispId id, Variant* value)
{
    return invoke(id, DispatchKind::PropertyGet, {}, value);
}

HResult TrayControl::call(lumitray::DispId id)
{
    return invoke(id, DispatchKind::Method, {}, nullptr);
}

void TrayControl::setMenu(QMenu*) {}

} // namespace tessaly
