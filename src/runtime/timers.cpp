// The runtime's timers: each enabled timer of a loaded form has a backend
// timer; a tick that comes while the timer's own handler runs is merged into
// one more run when the handler returns.
#include "runtime/application.h"
#include "runtime/scope_guards.h"

namespace rt {

void Application::syncTimer(Timer& timer)
{
    const bool run = !ended_ && timer.Parent().loaded_ && timer.enabled_ && timer.interval_ > 0;
    if (timer.platformTimer_ != 0) {
        platform_.stopTimer(timer.platformTimer_);
        timers_.erase(timer.platformTimer_);
        timer.platformTimer_ = 0;
    }
    if (run) {
        const TimerId id = platform_.startTimer(timer.interval_);
        if (id == 0)
            RaiseNotMade("il timer " + timer.Name() + " di " + timer.Parent().Name() + " non si può avviare");
        timer.platformTimer_ = id;
        timers_[id] = &timer;
    }
}

void Application::syncTimers(Form& form)
{
    for (Control* c : form.Controls().all())
        if (auto* t = dynamic_cast<Timer*>(c)) syncTimer(*t);
}

void Application::timerDestroyed(Timer& timer)
{
    if (timer.platformTimer_ == 0) return;
    platform_.stopTimer(timer.platformTimer_);
    timers_.erase(timer.platformTimer_);
    timer.platformTimer_ = 0;
}

void Application::runTick(Timer& timer)
{
    if (timer.running_) {
        timer.pending_ = true;  // merged into the one that runs when the handler returns
        return;
    }
    Form& form = timer.Parent();
    dispatch(&form, [&] {
        bool merged = false;
        timer.pending_ = true;
        while (timer.pending_ && form.loaded_ && timer.enabled_ && !ended_) {
            if (merged) syncTimer(timer);  // the merged tick: the next one is a full interval away
            merged = true;
            timer.pending_ = false;
            timer.running_ = true;
            FlagGuard guard{timer.running_};
            if (timer.Tick) timer.Tick();
        }
        timer.pending_ = false;
    });
}

}  // namespace rt
