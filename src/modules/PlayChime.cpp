#include "modules/PlayChime.h"

#include "runtime/winapi.h"

void PlayChime()
{
    rt::Beep(800, 100);
    rt::Beep(1300, 100);
    rt::Beep(1000, 100);
}
