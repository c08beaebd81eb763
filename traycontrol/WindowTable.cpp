// SPDX-License-Identifier: MIT
#include "traycontrol/WindowTable.h"

namespace lumitray {

WindowTable& WindowTable::instance()
{
    static WindowTable table;
    return table;
}

WindowHandle WindowTable::create(WindowProc procedure, void* owner)
{
    std::lock_guard lock(m_mutex);
    WindowHandle handle = 0;
    do {
        handle = m_next;
        m_next += 2;
        if (m_next < 0x00010010)
            m_next = 0x00010010;
    } while (handle == 0 || m_windows.contains(handle));
    m_windows[handle] = Window{procedure, owner};
    return handle;
}

void WindowTable::destroy(WindowHandle window)
{
    std::lock_guard lock(m_mutex);
    m_windows.erase(window);
}

bool WindowTable::exists(WindowHandle window) const
{
    std::lock_guard lock(m_mutex);
    return m_windows.contains(window);
}

WindowProc WindowTable::setWindowProc(WindowHandle window, WindowProc procedure)
{
    std::lock_guard lock(m_mutex);
    auto it = m_windows.find(window);
    if (it == m_windows.end() || !procedure)
        return nullptr;
    WindowProc previous = it->second.procedure;
    it->second.procedure = procedure;
    return previous;
}

WindowProc WindowTable::windowProc(WindowHandle window) const
{
    std::lock_guard lock(m_mutex);
    auto it = m_windows.find(window);
    return it == m_windows.end() ? nullptr : it->second.procedure;
}

void* WindowTable::owner(WindowHandle window) const
{
    std::lock_guard lock(m_mutex);
    auto it = m_windows.find(window);
    return it == m_windows.end() ? nullptr : it->second.owner;
}

std::intptr_t WindowTable::send(WindowHandle window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam)
{
    return CallWindowProc(windowProc(window), window, message, wParam, lParam);
}

std::intptr_t CallWindowProc(WindowProc procedure, WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                             std::intptr_t lParam)
{
    return procedure ? procedure(window, message, wParam, lParam) : 0;
}

} // namespace lumitray
