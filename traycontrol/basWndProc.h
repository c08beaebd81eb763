// SPDX-License-Identifier: MIT
#pragma once

#include "traycontrol/WindowTable.h"

#include <cstdint>

namespace lumitray {

/// The notification code handed from the window procedure to the control:
/// 1 to 13, 0 for none.
using TrayEventCode = std::int32_t;

/// Subclassing of control windows: shell callbacks become character
/// messages that carry a `TrayEventCode` to the control. The previous
/// window procedure is kept per thread and shared by every control window
/// of that thread (they all start with the same procedure).
namespace basWndProc {

/// Makes `TrayWindowProc` the window's procedure and keeps the one it
/// replaces. A window already hooked is left as it is.
void HookWindow(WindowHandle window);
/// Puts the kept procedure back. A window that is not hooked is left alone.
void UnhookWindow(WindowHandle window);
/// The replacement window procedure: a callback message is translated and
/// sent to the same window as WM_CHAR with the code in wParam; every
/// message, the callback included, then goes to the previous procedure.
std::intptr_t TrayWindowProc(WindowHandle window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);
/// The code of a callback's lParam (mouse and balloon notifications).
TrayEventCode TranslateCallback(std::intptr_t lParam);

} // namespace basWndProc
} // namespace lumitray
