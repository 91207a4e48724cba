#include "platform/pulse/pulse_library.h"

#include <dlfcn.h>

#include <type_traits>

namespace pulse {

const PulseLibrary& PulseLibrary::Get()
{
    static const PulseLibrary library;
    return library;
}

PulseLibrary::PulseLibrary()
{
    void* handle = dlopen("libpulse.so.0", RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        error = dlerror();
        return;
    }
    const auto find = [&](auto& fn, const char* name) {
        fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(dlsym(handle, name));
        if (!fn && error.empty()) error = std::string("libpulse: ") + name + " missing";
    };
#define BELMORA_PULSE_FIND(name) find(name, #name);
    BELMORA_PULSE_FUNCTIONS(BELMORA_PULSE_FIND)
#undef BELMORA_PULSE_FIND
    ok = error.empty();
}

}  // namespace pulse
