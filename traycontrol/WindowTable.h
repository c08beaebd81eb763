// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <map>
#include <mutex>

namespace lumitray {

/// A 32-bit window handle; 0 is no window.
using WindowHandle = std::uint32_t;
/// A window procedure: receives every message sent to a window.
using WindowProc = std::intptr_t (*)(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                     std::intptr_t lParam);

/// The character message, used to hand a notification code to a control.
inline constexpr std::uint32_t WM_CHAR = 0x102;

/// The process-wide table of control windows: each window has a handle, a
/// replaceable window procedure and a pointer to the object that owns it.
/// Messages are delivered synchronously by `send`. Thread-safe; procedures
/// run on the caller's thread without the table locked.
class WindowTable final {
public:
    static WindowTable& instance();

    /// Creates a window whose procedure is `procedure`; `owner` is handed
    /// back by `owner()`. Never returns 0.
    WindowHandle create(WindowProc procedure, void* owner);
    /// Destroys the window; later messages to it are dropped.
    void destroy(WindowHandle window);
    bool exists(WindowHandle window) const;

    /// Installs `procedure` and returns the one it replaces; nullptr (and no
    /// change) when the window does not exist or `procedure` is null.
    WindowProc setWindowProc(WindowHandle window, WindowProc procedure);
    /// The current procedure, nullptr when the window does not exist.
    WindowProc windowProc(WindowHandle window) const;
    /// The owner given at creation, nullptr when the window does not exist.
    void* owner(WindowHandle window) const;

    /// Calls the window's current procedure and returns its result; 0 when
    /// the window does not exist.
    std::intptr_t send(WindowHandle window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);

private:
    struct Window {
        WindowProc procedure = nullptr;
        void* owner = nullptr;
    };

    mutable std::mutex m_mutex;
    std::map<WindowHandle, Window> m_windows;
    WindowHandle m_next = 0x00010010;
};

/// Calls `procedure` for the window; 0 when `procedure` is null.
std::intptr_t CallWindowProc(WindowProc procedure, WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                             std::intptr_t lParam);

} // namespace lumitray
