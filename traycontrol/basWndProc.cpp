// SPDX-License-Identifier: MIT
#include "traycontrol/basWndProc.h"

#include "traycontrol/NotificationArea.h"
#include "traycontrol/basTaskTray.h"

namespace lumitray::basWndProc {
namespace {

thread_local WindowProc t_previousProc = nullptr;

} // namespace

void HookWindow(WindowHandle window)
{
    // Hooking a hooked window would keep TrayWindowProc as its own
    // predecessor and make it call itself for ever.
    WindowTable& windows = WindowTable::instance();
    if (windows.windowProc(window) == &TrayWindowProc)
        return;
    if (WindowProc previous = windows.setWindowProc(window, &TrayWindowProc))
        t_previousProc = previous;
}

void UnhookWindow(WindowHandle window)
{
    WindowTable& windows = WindowTable::instance();
    if (windows.windowProc(window) == &TrayWindowProc && t_previousProc)
        windows.setWindowProc(window, t_previousProc);
}

std::intptr_t TrayWindowProc(WindowHandle window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam)
{
    const std::uint32_t callback = basTaskTray::CallbackMessage();
    if (callback != 0 && message == callback) {
        const TrayEventCode code = TranslateCallback(lParam);
        std::int32_t zero = 0;
        WindowTable::instance().send(window, WM_CHAR, static_cast<std::uintptr_t>(code),
                                     reinterpret_cast<std::intptr_t>(&zero));
    }
    return CallWindowProc(t_previousProc, window, message, wParam, lParam);
}

TrayEventCode TranslateCallback(std::intptr_t lParam)
{
    switch (lParam) {
    case WM_MOUSEMOVE: return 1;
    case WM_LBUTTONDOWN: return 2;
    case WM_LBUTTONUP: return 3;
    case WM_LBUTTONDBLCLK: return 4;
    case WM_MBUTTONDOWN: return 5;
    case WM_MBUTTONUP: return 6;
    case WM_MBUTTONDBLCLK: return 7;
    case WM_RBUTTONDOWN: return 8;
    case WM_RBUTTONUP: return 9;
    case WM_RBUTTONDBLCLK: return 10;
    case NIN_BALLOONSHOW: return 11;
    case NIN_BALLOONUSERCLICK: return 12;
    case NIN_BALLOONHIDE:
    case NIN_BALLOONTIMEOUT: return 13;
    default: return 0;
    }
}

} // namespace lumitray::basWndProc
