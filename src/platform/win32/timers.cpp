// The tick: periodic timers on the hidden helper window (they fire inside
// message box loops too), and the helper's window procedure that delivers them.
#include "platform/win32/form_window.h"

#include <algorithm>

namespace win32 {

using detail::kCloseLeftWindows;

rt::TimerId Win32Platform::startTimer(int intervalMs)
{
    const rt::TimerId id = nextTimer_++;
    const UINT interval = static_cast<UINT>(std::max(intervalMs, int(USER_TIMER_MINIMUM)));
    if (!SetTimer(helper_, id, interval, nullptr)) return 0;
    timers_.insert(id);
    return id;
}

void Win32Platform::stopTimer(rt::TimerId id)
{
    if (timers_.erase(id)) KillTimer(helper_, id);
}

LRESULT CALLBACK Win32Platform::HelperProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* platform = reinterpret_cast<Win32Platform*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == WM_TIMER && platform && wParam == kCloseLeftWindows) {
        KillTimer(hwnd, kCloseLeftWindows);
        platform->closeLeftWindows();
        return 0;
    }
    if (message == WM_TIMER && platform) {
        const auto id = static_cast<rt::TimerId>(wParam);
        if (platform->host_ && platform->timers_.count(id)) platform->host_->onTimer(id);
        return 0;
    }

    if (message == WM_NCDESTROY) SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace win32
