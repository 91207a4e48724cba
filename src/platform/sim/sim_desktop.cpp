#include "platform/sim/sim_desktop.h"

#include <algorithm>
#include <limits>

namespace sim {

namespace {
// Orders the heap of scheduled actions: earliest first, then in scheduling order.
template <class A>
bool later(const A& a, const A& b) { return a.t != b.t ? a.t > b.t : a.order > b.order; }

std::string pictureAtOrigin(const rt::Scene& scene)
{
    for (const auto& item : scene.items)
        if (item.kind == rt::DrawItem::Kind::Image && item.rect.x == 0 && item.rect.y == 0)
            return item.picture.name();
    return {};
}
}  // namespace

SimDesktop::SimDesktop(int screenWidth, int screenHeight) : screen_{screenWidth, screenHeight} {}

// ---- the script ----------------------------------------------------------

void SimDesktop::at(long long t, std::function<void()> action, bool isInput)
{
    actions_.push_back({t, order_++, std::move(action), isInput});
    std::push_heap(actions_.begin(), actions_.end(), later<Action>);
}

void SimDesktop::moveCursor(std::int32_t x, std::int32_t y)
{
    cursorX_ = x;
    cursorY_ = y;
    cursorReadable_ = true;
}

const SimWindow* SimDesktop::windowAt(int x, int y) const
{
    const SimWindow* best = nullptr;
    for (const auto& [id, w] : windows_) {
        if (!w.alive || !w.visible) continue;
        if (x < w.rect.x || y < w.rect.y || x >= w.rect.x + w.rect.w || y >= w.rect.y + w.rect.h) continue;
        if (best == nullptr || w.topMost > best->topMost ||
            (w.topMost == best->topMost && w.raisedAt >= best->raisedAt))
            best = &w;
    }
    return best;
}

void SimDesktop::clickAt(int x, int y)
{
    if (const SimWindow* w = windowAt(x, y)) host_->onClick(w->id, x - w->rect.x, y - w->rect.y);
}

void SimDesktop::doubleClickAt(int x, int y, long long gapMs)
{
    clickAt(x, y);
    at(now_ + gapMs, [this, x, y, gapMs] {
        const SimWindow* w = windowAt(x, y);
        if (w == nullptr) return;
        if (gapMs <= doubleClickMs_)
            host_->onDoubleClick(w->id, x - w->rect.x, y - w->rect.y);
        else
            host_->onClick(w->id, x - w->rect.x, y - w->rect.y);
    });
}

void SimDesktop::key(int charCode)
{
    const SimWindow* w = window(focus_);
    if (w != nullptr && w->visible) host_->onKeyPress(w->id, charCode);
}

// ---- what happened ---------------------------------------------------------

std::vector<const SimWindow*> SimDesktop::windows() const
{
    std::vector<const SimWindow*> out;
    for (const auto& [id, w] : windows_)
        if (w.alive) out.push_back(&w);
    return out;
}

const SimWindow* SimDesktop::window(WindowId id) const
{
    auto it = windows_.find(id);
    return it == windows_.end() || !it->second.alive ? nullptr : &it->second;
}

const SimWindow* SimDesktop::windowCaptioned(const std::string& caption) const
{
    for (const auto& [id, w] : windows_)
        if (w.alive && w.windowStyle.caption == caption) return &w;
    return nullptr;
}

SimWindow* SimDesktop::find(WindowId id)
{
    auto it = windows_.find(id);
    return it == windows_.end() || !it->second.alive ? nullptr : &it->second;
}

void SimDesktop::record(WindowChange::Kind kind, SimWindow& w)
{
    WindowChange c{now_, kind, w.id, w.windowStyle.caption, w.rect, {}, false};
    if (kind == WindowChange::Kind::Picture) c.picture = pictureAtOrigin(w.scene);
    changes_.push_back(std::move(c));
}

// ---- the event loop --------------------------------------------------------

void SimDesktop::loop(long long until)
{
    const long long target = std::min(until, limit_);
    while (!quit_) {
        // The earliest timer; ties go to the one started first.
        auto timer = timers_.end();
        for (auto it = timers_.begin(); it != timers_.end(); ++it)
            if (timer == timers_.end() || it->second.due < timer->second.due ||
                (it->second.due == timer->second.due && it->second.order < timer->second.order))
                timer = it;
        const long long timerAt = timer == timers_.end() ? std::numeric_limits<long long>::max() : timer->second.due;
        const long long actionAt = actions_.empty() ? std::numeric_limits<long long>::max() : actions_.front().t;
        const long long next = std::min(timerAt, actionAt);
        if (next > target) {
            now_ = std::max(now_, target);
            break;
        }
        now_ = std::max(now_, next);
        if (actionAt <= timerAt) {  // scripted actions go before timers due at the same time
            std::pop_heap(actions_.begin(), actions_.end(), later<Action>);
            Action action = std::move(actions_.back());
            actions_.pop_back();
            if (action.isInput && boxDepth_ > 0)
                dropped_.push_back(now_);  // a modal box is up: the input goes nowhere
            else
                action.run();
        } else {
            const rt::TimerId id = timer->first;
            TimerState& t = timer->second;
            t.due += t.interval;
            if (t.due < now_) t.due = now_ + t.interval;
            host_->onTimer(id);
        }
    }
    if (!quit_ && now_ >= limit_) {
        quit_ = true;
        status_ = 124;
        stoppedAtLimit_ = true;
    }
}

int SimDesktop::run()
{
    loop(limit_);
    return status_;
}

void SimDesktop::quit(int status)
{
    if (quit_) return;
    quit_ = true;
    status_ = status;
}

// ---- windows ---------------------------------------------------------------

WindowId SimDesktop::createWindow(const rt::WindowStyle& windowStyle)
{
    if (windowFails_ && windowFails_(windowStyle)) return 0;
    SimWindow w;
    w.id = nextWindow_++;
    w.windowStyle = windowStyle;
    auto& stored = windows_[w.id] = std::move(w);
    record(WindowChange::Kind::Created, stored);
    return stored.id;
}

void SimDesktop::destroyWindow(WindowId id)
{
    SimWindow* w = find(id);
    if (w == nullptr) return;
    w->alive = false;
    w->visible = false;
    if (focus_ == id) focus_ = 0;
    record(WindowChange::Kind::Destroyed, *w);
}

void SimDesktop::setGeometry(WindowId id, PixelRect client)
{
    SimWindow* w = find(id);
    if (w == nullptr || w->rect == client) return;
    w->rect = client;
    record(WindowChange::Kind::Geometry, *w);
}

void SimDesktop::setScene(WindowId id, const rt::Scene& scene)
{
    SimWindow* w = find(id);
    if (w == nullptr) return;
    const std::string before = pictureAtOrigin(w->scene);
    w->scene = scene;
    ++w->scenes;
    if (pictureAtOrigin(scene) != before) record(WindowChange::Kind::Picture, *w);
}

void SimDesktop::setTopMost(WindowId id, bool topMost)
{
    SimWindow* w = find(id);
    if (w == nullptr) return;
    w->topMost = topMost;
    w->raisedAt = now_;
    record(WindowChange::Kind::TopMost, *w);
}

void SimDesktop::show(WindowId id, bool activate)
{
    SimWindow* w = find(id);
    if (w == nullptr) return;
    w->visible = true;
    w->raisedAt = now_;
    if (activate) focus_ = id;
    record(WindowChange::Kind::Shown, *w);
    changes_.back().activated = activate;
}

void SimDesktop::hide(WindowId id)
{
    SimWindow* w = find(id);
    if (w == nullptr) return;
    w->visible = false;
    if (focus_ == id) focus_ = 0;
    record(WindowChange::Kind::Hidden, *w);
}

// ---- the rest of the port --------------------------------------------------

bool SimDesktop::cursorPos(std::int32_t& x, std::int32_t& y)
{
    if (!cursorReadable_) return false;
    x = cursorX_;
    y = cursorY_;
    return true;
}

rt::TimerId SimDesktop::startTimer(int intervalMs)
{
    if (timerFails_ && timerFails_(intervalMs)) return 0;
    const rt::TimerId id = nextTimer_++;
    const int interval = std::max(intervalMs, 1);
    timers_[id] = {interval, now_ + interval, order_++};
    return id;
}

void SimDesktop::stopTimer(rt::TimerId id) { timers_.erase(id); }

void SimDesktop::messageBox(WindowId owner, const std::string& prompt, int style, const std::string& title)
{
    boxes_.push_back({now_, prompt, style, title, owner});
    const long long delay = std::max(0LL, responder_(boxes_.back()));
    ++boxDepth_;
    loop(now_ + delay);
    --boxDepth_;
}

void SimDesktop::beep(int frequencyHz, int durationMs)
{
    tones_.push_back({now_, frequencyHz, durationMs});
    now_ += std::max(0, durationMs);
}

}  // namespace sim
