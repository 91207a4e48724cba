#pragma once
// Inside the Win32 backend: the record of one form window, the names of the two
// window classes, and the helper window's own timer.
#include "platform/win32/win32_platform.h"

namespace win32 {

namespace detail {

inline constexpr const wchar_t* kFormClass = L"BelmoraForm";
inline constexpr const wchar_t* kHelperClass = L"BelmoraHelper";
// The helper's timer that destroys the windows left while active, beyond the runtime's ids.
inline constexpr UINT_PTR kCloseLeftWindows = 0x7FFF0001;
inline constexpr UINT kLeftWindowsLingerMs = 1000;

}  // namespace detail

struct Win32Platform::FormWindow {
    Win32Platform* platform = nullptr;  // null once the platform has let go of the window
    rt::WindowId id = 0;
    HWND hwnd = nullptr;
    DWORD style = 0, exStyle = 0;
    rt::Scene scene;
    rt::PixelRect known;   // the geometry the runtime knows: the last it set or was told
    bool placing = false;  // inside a move the runtime asked for
    bool topMost = false;
    bool pressed = false;  // the left button went down here and has not come up
    POINT pressAt{};
};

}  // namespace win32
