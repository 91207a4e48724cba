// The key probe on the Win32 backend: see key_probe.h. A console program, so
// that its lines reach the test through stdout.
#include "key_probe.h"
#include "platform/win32/win32_platform.h"

int main()
{
    win32::Win32Platform platform;
    return keyprobe::RunKeyProbe(platform);
}
