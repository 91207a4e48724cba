#pragma once
// Runs the whole program on the simulated desktop, with probes scheduled in
// virtual time that read the program's state while it runs.
#include <functional>

#include "platform/sim/sim_desktop.h"
#include "program.h"
#include "runtime/application.h"

namespace testing_support {

// The default instance of a form, if loaded; never creates one.
template <class T>
T* Loaded()
{
    T* form = rt::Application::Current().Existing<T>();
    return form != nullptr && form->IsLoaded() ? form : nullptr;
}

struct SimRun {
    sim::SimDesktop desk;
    int status = -1;

    SimRun() { desk.setTimeLimit(60'000); }
    // Schedules a probe (not an input: it runs even while a box is up).
    void probe(long long t, std::function<void()> f) { desk.at(t, std::move(f), false); }
    void input(long long t, std::function<void()> f) { desk.at(t, std::move(f), true); }
    int run() { return status = RunBelmora(desk); }
};

}  // namespace testing_support
