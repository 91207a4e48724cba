#pragma once
// The three Windows calls the program makes, declared as it declares them:
// 32-bit arguments and a 32-bit result that it ignores. Each backend provides
// the outcome; on Windows they are the real user32/kernel32 calls.
#include "runtime/numbers.h"

namespace rt {

struct POINTAPI {
    Long x;
    Long y;
};

inline constexpr std::int32_t HWND_TOPMOST = -1;
inline constexpr std::int32_t SWP_NOACTIVATE = 0x10;
inline constexpr std::int32_t SWP_SHOWWINDOW = 0x40;

// Fills the point with the cursor's screen position in pixels; nonzero on success.
Long GetCursorPos(POINTAPI& lpPoint);
// Places a form's window (by hWnd) in the Z-order and on the screen, in pixels.
Long SetWindowPos(Long hWnd, Long hWndInsertAfter, Long x, Long y, Long cx, Long cy, Long wFlags);
// Plays a tone and returns when it has ended.
Long Beep(Long dwFreq, Long dwDuration);

}  // namespace rt
