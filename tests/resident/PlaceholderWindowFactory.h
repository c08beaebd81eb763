// SPDX-License-Identifier: MIT
#pragma once

#include "resident/ChildWindowFactory.h"
#include "resident/WindowContext.h"

namespace tessaly {

/// Makes light stand-in windows for every kind, so the resident tests can
/// exercise the one-child rule without the real windows behind them.
class PlaceholderWindowFactory final : public ChildWindowFactory {
public:
    explicit PlaceholderWindowFactory(const WindowContext& context) : m_context(context) {}

    /// What every window made gets.
    const WindowContext& context() const { return m_context; }

    QWidget* create(ChildWindow kind) override;

private:
    WindowContext m_context;
};

} // namespace tessaly
