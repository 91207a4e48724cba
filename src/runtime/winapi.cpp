#include "runtime/winapi.h"

#include "runtime/application.h"

namespace rt {

Long GetCursorPos(POINTAPI& lpPoint)
{
    std::int32_t x = 0, y = 0;
    if (!Application::Current().platform().cursorPos(x, y)) return 0;
    lpPoint.x = x;
    lpPoint.y = y;
    return 1;
}

Long SetWindowPos(Long hWnd, Long hWndInsertAfter, Long x, Long y, Long cx, Long cy, Long wFlags)
{
    if (hWndInsertAfter != Long(HWND_TOPMOST)) return 0;  // the top-most band is all this program asks for
    const bool show = (wFlags.value() & SWP_SHOWWINDOW) != 0;
    const bool activate = (wFlags.value() & SWP_NOACTIVATE) == 0;
    Application::Current().PlaceTopMost(hWnd, x.value(), y.value(), cx.value(), cy.value(), show, activate);
    return 1;
}

Long Beep(Long dwFreq, Long dwDuration)
{
    // Like the Windows call: frequencies outside 37..32767 Hz fail.
    if (dwFreq.value() < 37 || dwFreq.value() > 32767 || dwDuration.value() < 0) return 0;
    Application::Current().Beep(dwFreq.value(), dwDuration.value());
    return 1;
}

}  // namespace rt
