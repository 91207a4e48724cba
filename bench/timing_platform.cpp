#include "timing_platform.h"

namespace bench {

void TimingPlatform::attach(rt::Host& host)
{
    host_ = &host;
    inner_.attach(*this);
}

rt::TimerId TimingPlatform::startTimer(int intervalMs)
{
    const rt::TimerId id = inner_.startTimer(intervalMs);
    if (intervalMs == kChaseIntervalMs) chaseTimers_.insert(id);
    return id;
}

void TimingPlatform::stopTimer(rt::TimerId id)
{
    chaseTimers_.erase(id);
    inner_.stopTimer(id);
}

void TimingPlatform::beep(int frequencyHz, int durationMs)
{
    if (inTick_ && frequencyHz == 70) ticks_.back().growled = true;
    inner_.beep(frequencyHz, durationMs);
}

void TimingPlatform::onTimer(rt::TimerId id)
{
    if (!chaseTimers_.count(id)) {
        host_->onTimer(id);
        return;
    }
    ticks_.push_back({Clock::now(), false});
    inTick_ = true;
    host_->onTimer(id);
    inTick_ = false;
}

std::vector<double> TimingPlatform::periods(bool growled) const
{
    std::vector<double> out;
    for (std::size_t k = 0; k + 1 < ticks_.size(); ++k) {
        if (ticks_[k].growled != growled || ticks_[k + 1].growled != growled) continue;
        out.push_back(
            std::chrono::duration<double, std::milli>(ticks_[k + 1].start - ticks_[k].start).count());
    }
    return out;
}

}  // namespace bench
