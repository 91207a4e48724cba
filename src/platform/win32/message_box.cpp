// Message boxes: MessageBoxW with its owner, icon and top-most choice; the owner
// activated just before a box ends; every open box ended by a quit.
#include "platform/win32/win32_platform.h"

#include <algorithm>
#include <cstring>

namespace win32 {

namespace {

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

void Win32Platform::endOpenBoxes()
{
    // Message boxes are dialogs of this thread; the program opens no other dialog.
    EnumThreadWindows(GetCurrentThreadId(), &EndBox, 0);
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

}  // namespace win32
