// The platform's life: the window classes, the hidden helper window, the
// event loop and the quit; finding a form window by its id.
#include "platform/win32/win32_platform.h"

#include "platform/win32/form_window.h"

namespace win32 {

namespace {

using detail::kFormClass;
using detail::kHelperClass;
constexpr int kAppIconResource = 1;

}  // namespace

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

}  // namespace win32
