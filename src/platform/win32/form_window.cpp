// Form windows: creating them with their styles and owner, placing, showing,
// hiding and destroying them, their window procedure (painting, clicks, keys,
// close requests) and the geometry changes they report.
#include "platform/win32/form_window.h"

#include <windowsx.h>

#include <algorithm>

namespace win32 {

using detail::kCloseLeftWindows;
using detail::kFormClass;
using detail::kLeftWindowsLingerMs;

rt::WindowId Win32Platform::createWindow(const rt::WindowStyle& windowStyle)
{
    auto window = std::make_unique<FormWindow>();
    window->platform = this;
    window->id = nextWindow_;
    window->style = windowStyle.bordered ? WS_OVERLAPPEDWINDOW : WS_POPUP;
    window->exStyle = 0;
    // An owned window gets no taskbar button; its owner is never shown.
    HWND owner = windowStyle.showInTaskbar ? nullptr : helper_;
    HWND hwnd = CreateWindowExW(window->exStyle, kFormClass, Widen(windowStyle.caption).c_str(),
                                window->style, 0, 0, 0, 0, owner, nullptr, instance_, window.get());
    if (!hwnd) return 0;
    if (HICON icon = windowStyle.icon ? iconOf(windowStyle.icon) : nullptr) {
        SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
        SendMessageW(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
        if (!classIconSet_) {
            SetClassLongPtrW(hwnd, GCLP_HICON, reinterpret_cast<LONG_PTR>(icon));
            SetClassLongPtrW(hwnd, GCLP_HICONSM, reinterpret_cast<LONG_PTR>(icon));
            classIconSet_ = true;
        }
    }
    windows_[nextWindow_] = std::move(window);
    return nextWindow_++;
}

void Win32Platform::destroyWindow(rt::WindowId w)
{
    const auto it = windows_.find(w);
    if (it == windows_.end()) return;
    std::unique_ptr<FormWindow> window = std::move(it->second);
    windows_.erase(it);
    window->platform = nullptr;
    if (window->hwnd && window->hwnd == GetActiveWindow()) {
        // The active window, destroyed now, would hand the activation to another
        // program's window before the runtime shows and activates the form that
        // takes over (the banner goes just after the crash page is shown, and
        // the page reaches the screen only after the handler). Under wine with
        // unmanaged windows the X focus would fall to the root window, the
        // window manager would take it, and the page's activation, stamped
        // with an older time, would be ignored (see OwnerBeforeBoxEnds).
        // So the window stays, dead to input and not drawn, for a second: by
        // then its successor holds the keyboard, also where the window manager
        // grants it a while after asked (openbox), and it leaves handing nothing over.
        SetWindowLongPtrW(window->hwnd, GWLP_USERDATA, 0);
        // Nothing of it is drawn, yet it stays mapped: wine unmaps a hidden
        // window, or one wholly off the screen, and the X focus would go with it.
        SetWindowRgn(window->hwnd, CreateRectRgn(0, 0, 0, 0), TRUE);
        leftWindows_.push_back(window->hwnd);
        SetTimer(helper_, kCloseLeftWindows, kLeftWindowsLingerMs, nullptr);
    } else if (window->hwnd) {
        DestroyWindow(window->hwnd);
    }
    // The call may come from one of the window's own handlers: the record stays
    // until the event loop is back at the top.
    retired_.push_back(std::move(window));
}

void Win32Platform::closeLeftWindows()
{
    std::vector<HWND> left;
    left.swap(leftWindows_);
    for (HWND hwnd : left)
        if (IsWindow(hwnd)) DestroyWindow(hwnd);
}

void Win32Platform::setGeometry(rt::WindowId w, rt::PixelRect client)
{
    FormWindow* window = find(w);
    if (!window) return;
    RECT r{client.x, client.y, client.x + std::max(client.w, 0), client.y + std::max(client.h, 0)};
    if (window->style & WS_CAPTION) AdjustWindowRectEx(&r, window->style, FALSE, window->exStyle);
    window->placing = true;
    SetWindowPos(window->hwnd, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                 SWP_NOZORDER | SWP_NOOWNERZORDER | SWP_NOACTIVATE);
    window->placing = false;
    window->known = client;
}

void Win32Platform::setScene(rt::WindowId w, const rt::Scene& scene)
{
    FormWindow* window = find(w);
    if (!window) return;
    window->scene = scene;
    InvalidateRect(window->hwnd, nullptr, FALSE);
}

void Win32Platform::setTopMost(rt::WindowId w, bool topMost)
{
    FormWindow* window = find(w);
    if (!window) return;
    window->topMost = topMost;
    SetWindowPos(window->hwnd, topMost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void Win32Platform::show(rt::WindowId w, bool activate)
{
    FormWindow* window = find(w);
    if (!window) return;
    HWND hwnd = window->hwnd;
    if (activate) {
        // Foreground, active and holding the keyboard: the page must get the keys.
        ShowWindow(hwnd, SW_SHOW);
        SetForegroundWindow(hwnd);
        SetActiveWindow(hwnd);
        SetFocus(hwnd);
    } else {
        ShowWindow(hwnd, SW_SHOWNOACTIVATE);
        if (window->topMost)
            SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    UpdateWindow(hwnd);
}

void Win32Platform::hide(rt::WindowId w)
{
    if (FormWindow* window = find(w)) ShowWindow(window->hwnd, SW_HIDE);
}

bool Win32Platform::anyTopMostShown() const
{
    return std::any_of(windows_.begin(), windows_.end(),
                       [](const auto& e) { return e.second->topMost && IsWindowVisible(e.second->hwnd); });
}

LRESULT CALLBACK Win32Platform::FormProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* window =
            static_cast<FormWindow*>(reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
        window->hwnd = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));
    }
    auto* window = reinterpret_cast<FormWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == WM_NCDESTROY) SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    if (!window || !window->platform) return DefWindowProcW(hwnd, message, wParam, lParam);
    return window->platform->handleForm(*window, message, wParam, lParam);
}

// The host's handlers may destroy the window: nothing of it is used after one is called.
LRESULT Win32Platform::handleForm(FormWindow& window, UINT message, WPARAM wParam, LPARAM lParam)
{
    HWND hwnd = window.hwnd;
    const rt::WindowId id = window.id;
    switch (message) {
    case WM_ERASEBKGND: return 1;  // WM_PAINT covers every pixel
    case WM_PAINT: {
        ++paints_;
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        RECT client{};
        GetClientRect(hwnd, &client);
        painter_.paint(dc, window.scene, client.right, client.bottom);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_LBUTTONDOWN:
        window.pressed = true;
        window.pressAt = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        SetCapture(hwnd);  // the release comes here wherever it happens
        return 0;
    case WM_LBUTTONUP: {
        if (!window.pressed) return 0;  // the release of a double-click, or of a press elsewhere
        window.pressed = false;
        const POINT at = window.pressAt;
        if (GetCapture() == hwnd) ReleaseCapture();
        RECT client{};
        GetClientRect(hwnd, &client);
        const POINT up{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        if (PtInRect(&client, up) && host_) host_->onClick(id, at.x, at.y);
        return 0;
    }
    case WM_LBUTTONDBLCLK:
        window.pressed = false;
        if (host_) host_->onDoubleClick(id, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return 0;
    case WM_CAPTURECHANGED: window.pressed = false; return 0;
    case WM_CHAR: {
        int code = static_cast<int>(wParam);
        // Windows gives DEL (127) for Ctrl+Backspace; wine gives Backspace (8).
        // The scan code tells it from Ctrl+H, which gives 8 everywhere.
        if (code == 8 && GetKeyState(VK_CONTROL) < 0 &&
            MapVirtualKeyW((lParam >> 16) & 0xFF, MAPVK_VSC_TO_VK) == VK_BACK)
            code = 127;
        if (host_) host_->onKeyPress(id, code);
        return 0;
    }
    case WM_CLOSE:
        if (host_) host_->onCloseRequest(id);
        return 0;  // the runtime decides whether the window goes
    case WM_MOVE:
    case WM_SIZE: reportGeometry(window); return 0;
    default: return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

void Win32Platform::reportGeometry(FormWindow& window)
{
    HWND hwnd = window.hwnd;
    if (window.placing || !host_ || !IsWindowVisible(hwnd) || IsIconic(hwnd)) return;
    RECT client{};
    GetClientRect(hwnd, &client);
    POINT origin{0, 0};
    ClientToScreen(hwnd, &origin);
    const rt::PixelRect now{origin.x, origin.y, client.right, client.bottom};
    if (now == window.known) return;
    window.known = now;
    host_->onGeometryChanged(window.id, now);
}

}  // namespace win32
