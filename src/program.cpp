#include "program.h"

#include "forms/chaser/Form1.h"
#include "runtime/application.h"

int RunBelmora(rt::Platform& platform)
{
    rt::Application app(platform);
    // Form1 is the startup form: the first and only window made at start.
    return app.Run([]() -> rt::Form& { return rt::Default<Form1>(); });
}
