// SPDX-License-Identifier: MIT
#pragma once

#include "windows/ChildWindowFactory.h"
#include "windows/WindowContext.h"

namespace tessaly {

/// Makes placeholder windows for every kind, until the real windows exist.
class PlaceholderWindowFactory final : public ChildWindowFactory {
public:
    explicit PlaceholderWindowFactory(const WindowContext& context) : m_context(context) {}

    QWidget* create(ChildWindow kind) override;

private:
    WindowContext m_context;
};

} // namespace tessaly
