#pragma once
#include "runtime/platform.h"

// Runs Belmora on a desktop: loads and shows the startup form, then handles
// events until the program ends. Returns the process exit status.
int RunBelmora(rt::Platform& platform);
