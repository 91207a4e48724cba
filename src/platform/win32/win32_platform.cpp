#include "platform/win32/win32_platform.h"

#include <windowsx.h>

#include <algorithm>
#include <cstring>

namespace win32 {

namespace {

constexpr const wchar_t* kFormClass = L"BelmoraForm";
constexpr const wchar_t* kHelperClass = L"BelmoraHelper";
constexpr int kAppIconResource = 1;
constexpr UINT_PTR kCloseLeftWindows = 0x7FFF0001;  // the helper's own timer, beyond the runtime's ids
constexpr UINT kLeftWindowsLingerMs = 1000;

std::string JoinLines(const std::vector<std::string>& lines)
{
    std::string out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) out += "\r\n";
        out += lines[i];
    }
    return out;
}

UINT MessageBoxFlags(int style, bool owned, bool aboveTopMost)
{
    UINT flags = MB_OK | MB_SETFOREGROUND;
    switch (style & 0x70) {
    case 16: flags |= MB_ICONHAND; break;
    case 32: flags |= MB_ICONQUESTION; break;
    case 48: flags |= MB_ICONEXCLAMATION; break;
    case 64: flags |= MB_ICONASTERISK; break;
    default: break;
    }
    if (!owned) flags |= MB_TASKMODAL;  // still blocks every window of the program
    if (!owned || aboveTopMost) flags |= MB_TOPMOST;
    return flags;
}

bool IsBox(HWND hwnd)
{
    wchar_t name[16] = {};
    return GetClassNameW(hwnd, name, 16) && std::wcscmp(name, L"#32770") == 0;
}

BOOL CALLBACK EndBox(HWND hwnd, LPARAM)
{
    if (IsBox(hwnd)) EndDialog(hwnd, IDOK);
    return TRUE;
}

// Runs before a box's own procedure sees a message sent to it. A box ends on
// the command its button, Return, Escape or its close gives; just before, its
// owner takes the activation back, so the keyboard focus passes straight from
// the box to the owner. Ended the usual way, the box is hidden first and only
// then is its owner activated: under wine with windows the X window manager
// does not manage, the X focus falls to the root window in between, the window
// manager takes it, and wine's later request, stamped with the time of the key
// that closed the box, is older than the window manager's and is ignored.
LRESULT CALLBACK OwnerBeforeBoxEnds(int code, WPARAM wParam, LPARAM lParam)
{
    const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && sent->message == WM_COMMAND &&
        (LOWORD(sent->wParam) == IDOK || LOWORD(sent->wParam) == IDCANCEL) &&
        sent->hwnd == GetActiveWindow() && IsBox(sent->hwnd)) {
        HWND owner = GetWindow(sent->hwnd, GW_OWNER);
        if (owner && IsWindowVisible(owner)) {
            EnableWindow(owner, TRUE);  // as the box's end does, a moment early
            SetForegroundWindow(owner);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

HICON IconFromPicture(const rt::Picture& picture)
{
    if (!picture) return nullptr;
    const int w = picture.width(), h = picture.height();

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HBITMAP colour = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ReleaseDC(nullptr, screen);
    if (!colour) return nullptr;
    // 0xAARRGGBB in memory is the B, G, R, A of a 32-bit DIB.
    auto* out = static_cast<std::uint32_t*>(bits);
    const std::vector<std::uint32_t>& argb = picture.pixels();
    for (std::size_t i = 0; i < argb.size(); ++i) out[i] = (argb[i] >> 24) == 0 ? 0 : argb[i];

    // The mask: one bit a pixel, rows padded to 16 bits, set where the picture is transparent.
    const int stride = ((w + 15) / 16) * 2;
    std::vector<BYTE> maskBits(static_cast<std::size_t>(stride) * h, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if ((picture.pixel(x, y) >> 24) == 0)
                maskBits[static_cast<std::size_t>(y) * stride + x / 8] |= static_cast<BYTE>(0x80 >> (x % 8));
    HBITMAP mask = CreateBitmap(w, h, 1, 1, maskBits.data());

    ICONINFO icon{};
    icon.fIcon = TRUE;
    icon.hbmMask = mask;
    icon.hbmColor = colour;
    HICON result = mask ? CreateIconIndirect(&icon) : nullptr;
    if (mask) DeleteObject(mask);
    DeleteObject(colour);
    return result;
}

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

Win32Platform::Win32Platform(HINSTANCE instance) : instance_(instance)
{
    appIcon_ =
        static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(kAppIconResource), IMAGE_ICON,
                                      GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), LR_SHARED));
    appIconSmall_ = static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(kAppIconResource), IMAGE_ICON,
                                                  GetSystemMetrics(SM_CXSMICON),
                                                  GetSystemMetrics(SM_CYSMICON), LR_SHARED));

    WNDCLASSEXW form{};
    form.cbSize = sizeof(form);
    form.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
    form.lpfnWndProc = &Win32Platform::FormProc;
    form.hInstance = instance_;
    form.hIcon = appIcon_;
    form.hIconSm = appIconSmall_;
    form.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    form.lpszClassName = kFormClass;
    formClass_ = RegisterClassExW(&form);  // 0 if another platform has it: used as it is

    WNDCLASSEXW helper{};
    helper.cbSize = sizeof(helper);
    helper.lpfnWndProc = &Win32Platform::HelperProc;
    helper.hInstance = instance_;
    helper.hIcon = appIcon_;
    helper.lpszClassName = kHelperClass;
    helperClass_ = RegisterClassExW(&helper);

    // Hidden for good: it receives the timers and owns the windows kept out of
    // the taskbar. A top-level window, as a message-only one can own nothing.
    helper_ = CreateWindowExW(WS_EX_TOOLWINDOW, kHelperClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                              instance_, this);
}

Win32Platform::~Win32Platform()
{
    for (auto& [id, window] : windows_) {
        window->platform = nullptr;
        if (window->hwnd) DestroyWindow(window->hwnd);
    }
    windows_.clear();
    retired_.clear();
    closeLeftWindows();
    for (rt::TimerId id : timers_) KillTimer(helper_, id);
    timers_.clear();
    if (helper_) DestroyWindow(helper_);
    if (formClass_) UnregisterClassW(kFormClass, instance_);
    if (helperClass_) UnregisterClassW(kHelperClass, instance_);
    for (auto& [picture, icon] : icons_) DestroyIcon(icon);
    // A quit no loop collected must not end the thread's next loop.
    MSG msg;
    if (quitting_) PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
}

void Win32Platform::attach(rt::Host& host) { host_ = &host; }

int Win32Platform::run()
{
    if (quitting_) return status_;
    MSG msg{};
    for (;;) {
        retired_.clear();  // no handler is running out here
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1) break;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return quitting_ ? status_ : static_cast<int>(msg.wParam);
}

void Win32Platform::quit(int status)
{
    if (!quitting_) {
        quitting_ = true;
        status_ = status;
    }
    if (boxDepth_ > 0) endOpenBoxes();
    PostQuitMessage(status_);
}

void Win32Platform::endOpenBoxes()
{
    // Message boxes are dialogs of this thread; the program opens no other dialog.
    EnumThreadWindows(GetCurrentThreadId(), &EndBox, 0);
}

Win32Platform::FormWindow* Win32Platform::find(rt::WindowId w) const
{
    const auto it = windows_.find(w);
    return it == windows_.end() ? nullptr : it->second.get();
}

HWND Win32Platform::handle(rt::WindowId w) const
{
    const FormWindow* window = find(w);
    return window ? window->hwnd : nullptr;
}

HICON Win32Platform::iconOf(const rt::Picture& picture)
{
    for (auto& [known, icon] : icons_)
        if (known == picture) return icon;
    HICON icon = IconFromPicture(picture);
    if (icon) icons_.emplace_back(picture, icon);
    return icon;
}

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

int Win32Platform::doubleClickTimeMs() { return static_cast<int>(GetDoubleClickTime()); }

bool Win32Platform::anyTopMostShown() const
{
    return std::any_of(windows_.begin(), windows_.end(),
                       [](const auto& e) { return e.second->topMost && IsWindowVisible(e.second->hwnd); });
}

void Win32Platform::messageBox(rt::WindowId owner, const std::string& prompt, int style,
                               const std::string& title)
{
    if (quitting_) return;
    HWND ownerHwnd = handle(owner);
    if (!ownerHwnd) ownerHwnd = GetActiveWindow();
    if (std::find(leftWindows_.begin(), leftWindows_.end(), ownerHwnd) != leftWindows_.end())
        ownerHwnd = nullptr;
    const std::wstring text = Widen(JoinLines(rt::SplitLines(prompt)));
    const std::wstring caption = Widen(title);
    ++boxDepth_;
    HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, &OwnerBeforeBoxEnds, nullptr, GetCurrentThreadId());
    MessageBoxW(ownerHwnd, text.c_str(), caption.c_str(),
                MessageBoxFlags(style, ownerHwnd != nullptr, anyTopMostShown()));
    if (hook) UnhookWindowsHookEx(hook);
    --boxDepth_;
    // The box's own loop may have taken the quit message: the program's loop needs it.
    if (quitting_) PostQuitMessage(status_);
}

void Win32Platform::beep(int frequencyHz, int durationMs)
{
    ::Beep(static_cast<DWORD>(frequencyHz), static_cast<DWORD>(std::max(durationMs, 0)));
}

// ---- window procedures ----------------------------------------------------------

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
