// Belmora on Windows: a GUI-subsystem program that takes no command line.
#include <windows.h>

#include "platform/win32/win32_platform.h"
#include "program.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    win32::Win32Platform platform(instance);
    return RunBelmora(platform);
}
