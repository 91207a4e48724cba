// What the system tells and does for the program: the cursor's position, the
// primary screen's size, the double-click time, and tones (kernel32 Beep).
#include "platform/win32/win32_platform.h"

#include <algorithm>

namespace win32 {

rt::PixelSize Win32Platform::screenSize()
{
    return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

bool Win32Platform::cursorPos(std::int32_t& x, std::int32_t& y)
{
    POINT at{};
    if (!GetCursorPos(&at)) return false;
    x = at.x;
    y = at.y;
    return true;
}

int Win32Platform::doubleClickTimeMs() { return static_cast<int>(GetDoubleClickTime()); }

void Win32Platform::beep(int frequencyHz, int durationMs)
{
    ::Beep(static_cast<DWORD>(frequencyHz), static_cast<DWORD>(std::max(durationMs, 0)));
}

}  // namespace win32
