// SPDX-License-Identifier: MIT
#include "windows/PlaceholderWindowFactory.h"

#include "windows/PlaceholderWindow.h"

namespace tessaly {

QWidget* PlaceholderWindowFactory::create(ChildWindow kind)
{
    return new PlaceholderWindow(kind);
}

} // namespace tessaly
