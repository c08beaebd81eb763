// SPDX-License-Identifier: MIT
#include "PlaceholderWindowFactory.h"

#include "PlaceholderWindow.h"

namespace tessaly {

QWidget* PlaceholderWindowFactory::create(ChildWindow kind)
{
    return new PlaceholderWindow(kind);
}

} // namespace tessaly
