#include "runtime/application.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "runtime/winapi.h"

namespace rt {

namespace {
Application* current = nullptr;

int toPixels(double twips)
{
    const double px = std::nearbyint(twips / TwipsPerPixel);
    constexpr double lo = std::numeric_limits<int>::min() / 2, hi = std::numeric_limits<int>::max() / 2;
    return static_cast<int>(std::clamp(px, lo, hi));
}

PixelRect intersect(PixelRect a, PixelRect b)
{
    const int x1 = std::max(a.x, b.x), y1 = std::max(a.y, b.y);
    const int x2 = std::min(a.x + a.w, b.x + b.w), y2 = std::min(a.y + a.h, b.y + b.h);
    return {x1, y1, std::max(0, x2 - x1), std::max(0, y2 - y1)};
}

// Clears a flag when a scope is left, however it is left.
struct FlagGuard {
    bool& flag;
    ~FlagGuard() { flag = false; }
};
}  // namespace

Application::Application(Platform& platform) : platform_(platform)
{
    current = this;
    platform_.attach(*this);
}

Application::~Application()
{
    // A program stopped from outside (a test's time limit) leaves no window behind.
    for (auto& f : forms_)
        if (f->loaded_ && f->window_ != 0) platform_.destroyWindow(f->window_);
    unloaded_.clear();
    defaults_.clear();
    forms_.clear();
    if (held_.timer != 0) platform_.stopTimer(held_.timer);
    current = nullptr;
}

Application& Application::Current()
{
    if (current == nullptr) throw std::logic_error("no program is running");
    return *current;
}

int Application::Run(const std::function<Form&()>& startup)
{
    dispatch(nullptr, [&] { Show(startup()); });
    if (ended_) return status_;
    const int status = platform_.run();
    return ended_ ? status_ : status;
}

// ---- forms -----------------------------------------------------------------

Form* Application::findDefault(std::type_index type) const
{
    auto it = defaults_.find(type);
    return it == defaults_.end() ? nullptr : it->second;
}

void Application::adoptDefault(std::type_index type, std::unique_ptr<Form> form)
{
    Form* f = form.get();
    forms_.push_back(std::move(form));
    defaults_[type] = f;
    try {
        Load(*f);
    } catch (...) {
        // A form whose Form_Load failed is not loaded; it goes once its callers return.
        defaults_.erase(type);
        auto it = std::find_if(forms_.begin(), forms_.end(), [f](auto& p) { return p.get() == f; });
        unloaded_.push_back(std::move(*it));
        forms_.erase(it);
        throw;
    }
}

void Application::Load(Form& form)
{
    if (form.loaded_) return;
    form.handle_ = nextHandle_++;
    WindowStyle windowStyle;
    windowStyle.caption = form.Caption();
    windowStyle.bordered = form.design_.borderStyle != 0;
    windowStyle.showInTaskbar = form.ShowInTaskbar();
    windowStyle.icon = form.Icon();
    form.window_ = platform_.createWindow(windowStyle);
    form.loaded_ = true;
    form.changed();
    for (Control* c : form.Controls().all())
        if (auto* t = dynamic_cast<Timer*>(c)) syncTimer(*t);
    try {
        form.Form_Load();
    } catch (const RuntimeError&) {
        form.loaded_ = false;
        for (Control* c : form.Controls().all())
            if (auto* t = dynamic_cast<Timer*>(c)) syncTimer(*t);
        platform_.destroyWindow(form.window_);
        form.window_ = 0;
        throw;
    }
}

void Application::Show(Form& form)
{
    if (!form.loaded_) Load(form);
    if (ended_ || !form.loaded_) return;
    if (!form.everShown_) {
        // Centring at the first show is for forms that Form_Load has not already shown.
        if (!form.visible_ && form.design_.startUpPosition == Form::StartUp::CenterScreen) {
            form.left_ = (Screen::Width() - form.width_) / 2;
            form.top_ = (Screen::Height() - form.height_) / 2;
        }
        form.everShown_ = true;
        if (!form.visible_) {
            form.visible_ = true;
            form.activateOnShow_ = true;
        }
        form.changed();
        form.Form_Resize();
        return;
    }
    if (!form.visible_) {
        form.visible_ = true;
        form.activateOnShow_ = true;
        form.changed();
    }
}

void Application::Unload(Form& form)
{
    if (!form.loaded_) return;
    Integer cancel = 0;
    form.Form_Unload(cancel);
    if (cancel != Integer(0) || !form.loaded_) return;

    form.loaded_ = false;
    form.visible_ = false;
    for (Control* c : form.Controls().all())
        if (auto* t = dynamic_cast<Timer*>(c)) syncTimer(*t);
    if (held_.timer != 0 && held_.window == form.window_) {
        platform_.stopTimer(held_.timer);
        held_ = {};
    }
    platform_.destroyWindow(form.window_);
    form.window_ = 0;
    for (auto it = defaults_.begin(); it != defaults_.end(); ++it)
        if (it->second == &form) {
            defaults_.erase(it);
            break;
        }
    // The form object lives on until no handler of it can be on the stack.
    auto it = std::find_if(forms_.begin(), forms_.end(), [&](auto& p) { return p.get() == &form; });
    if (it != forms_.end()) {
        unloaded_.push_back(std::move(*it));
        forms_.erase(it);
    }
}

void Application::End(int status) { throw ProgramEnded{status}; }

std::vector<Form*> Application::loadedForms() const
{
    std::vector<Form*> out;
    for (auto& f : forms_)
        if (f->loaded_) out.push_back(f.get());
    return out;
}

Form* Application::formOfWindow(WindowId w) const
{
    for (auto& f : forms_)
        if (f->loaded_ && f->window_ == w && w != 0) return f.get();
    return nullptr;
}

Form* Application::formOfHandle(std::int32_t handle) const
{
    for (auto& f : forms_)
        if (f->loaded_ && static_cast<std::int32_t>(f->handle_) == handle) return f.get();
    return nullptr;
}

void Application::formChanged(Form& form) { form.dirty_ = true; }

// ---- services ----------------------------------------------------------------

void Application::MsgBox(const std::string& prompt, int style, const std::string& title)
{
    if (ended_) throw ProgramEnded{status_};
    sync();
    const WindowId owner = activeForm_ && activeForm_->loaded_ ? activeForm_->window_ : 0;
    ++boxes_;
    platform_.messageBox(owner, prompt, style, title.empty() ? ApplicationTitle : title);
    --boxes_;
    if (ended_) throw ProgramEnded{status_};
}

void Application::Beep(int frequencyHz, int durationMs)
{
    if (ended_) throw ProgramEnded{status_};
    platform_.beep(frequencyHz, durationMs);
}

void Application::PlaceTopMost(Long hWnd, int xPx, int yPx, int widthPx, int heightPx, bool show,
                               bool activate)
{
    Form* form = formOfHandle(hWnd.value());
    if (form == nullptr) return;
    form->topMost_ = true;
    form->Move(static_cast<Single>(xPx) * TwipsPerPixel, static_cast<Single>(yPx) * TwipsPerPixel);
    form->Width(static_cast<Single>(widthPx) * TwipsPerPixel);
    form->Height(static_cast<Single>(heightPx) * TwipsPerPixel);
    if (show && !form->visible_) {
        form->visible_ = true;
        form->activateOnShow_ = activate;
    }
    form->changed();
}

// ---- timers ----------------------------------------------------------------

void Application::syncTimer(Timer& timer)
{
    const bool run = !ended_ && timer.Parent().loaded_ && timer.enabled_ && timer.interval_ > 0;
    if (timer.platformTimer_ != 0) {
        platform_.stopTimer(timer.platformTimer_);
        timers_.erase(timer.platformTimer_);
        timer.platformTimer_ = 0;
    }
    if (run) {
        timer.platformTimer_ = platform_.startTimer(timer.interval_);
        timers_[timer.platformTimer_] = &timer;
    }
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

// ---- events ----------------------------------------------------------------

void Application::dispatch(Form* form, const std::function<void()>& handler)
{
    if (ended_) return;
    Form* const previous = activeForm_;
    if (form != nullptr) activeForm_ = form;
    ++depth_;
    try {
        handler();
    } catch (const ProgramEnded& e) {
        endNow(ended_ ? status_ : e.status);
    } catch (const RuntimeError& e) {
        handleUntrapped(e);
    } catch (const std::exception&) {
        handleUntrapped(RuntimeError(err::Internal));  // nothing else may reach the backend's loop
    }
    --depth_;
    activeForm_ = previous;
    if (depth_ == 0) afterHandlers();
}

void Application::handleUntrapped(const RuntimeError& e)
{
    if (ended_) return;
    if (!reportingError_) {
        reportingError_ = true;
        sync();
        const WindowId owner = activeForm_ && activeForm_->loaded_ ? activeForm_->window_ : 0;
        ++boxes_;
        platform_.messageBox(owner,
                             "Errore di run-time '" + std::to_string(e.number()) + "':\r\n\r\n" +
                                 e.description(),
                             16, ApplicationTitle);
        --boxes_;
        reportingError_ = false;
    }
    endNow(1);
}

void Application::endNow(int status)
{
    if (ended_) return;
    ended_ = true;
    status_ = status;
    if (held_.timer != 0) platform_.stopTimer(held_.timer);
    held_ = {};
    for (auto& f : forms_) {
        if (!f->loaded_) continue;
        f->loaded_ = false;
        f->visible_ = false;
        for (Control* c : f->Controls().all())
            if (auto* t = dynamic_cast<Timer*>(c)) syncTimer(*t);
        platform_.destroyWindow(f->window_);
        f->window_ = 0;
    }
    platform_.quit(status);
}

void Application::afterHandlers()
{
    unloaded_.clear();
    if (!ended_ && loadedForms().empty()) endNow(0);  // no form stays loaded: the program ends
    if (ended_) {
        defaults_.clear();
        forms_.clear();
        return;
    }
    sync();
}

void Application::releaseHeldClick()
{
    if (held_.timer == 0) return;
    HeldClick click = held_;
    platform_.stopTimer(click.timer);
    held_ = {};
    if (Form* form = formOfWindow(click.window)) raiseClick(*form, click.target);
}

void Application::raiseClick(Form& form, const std::string& target)
{
    if (target.empty()) {
        dispatch(&form, [&] { form.Form_Click(); });
        return;
    }
    for (Control* c : form.Controls().all())
        if (auto* box = dynamic_cast<PictureBox*>(c); box && box->Name() == target && box->Click) {
            dispatch(&form, [box] { box->Click(); });
            return;
        }
}

void Application::onTimer(TimerId id)
{
    if (ended_) return;
    if (id == held_.timer) {
        // No second click came in time: it was a single click. While a message
        // box is up the click waits: the box is modal to the program's windows.
        if (boxes_ == 0) releaseHeldClick();
        return;
    }
    auto it = timers_.find(id);
    if (it != timers_.end()) runTick(*it->second);
}

void Application::onClick(WindowId w, int x, int y)
{
    if (ended_) return;
    releaseHeldClick();
    Form* form = formOfWindow(w);
    if (form == nullptr) return;
    // Hit-test the picture boxes lying on the form, the last created on top.
    std::string target;
    for (Control* c : form->Controls().all()) {
        auto* box = dynamic_cast<PictureBox*>(c);
        if (box == nullptr || !box->Visible() || &box->Container() != form) continue;
        const int bx = toPixels(box->Left()), by = toPixels(box->Top());
        if (x >= bx && y >= by && x < bx + toPixels(box->Width()) && y < by + toPixels(box->Height()))
            target = box->Name();
    }
    // The click waits for the double-click time: a second press makes it a double-click.
    held_ = {w, target, platform_.startTimer(platform_.doubleClickTimeMs())};
}

void Application::onDoubleClick(WindowId w, int, int)
{
    if (ended_) return;
    std::string target;
    if (held_.timer != 0 && held_.window == w) {
        target = held_.target;
        platform_.stopTimer(held_.timer);
        held_ = {};
    } else {
        releaseHeldClick();
    }
    Form* form = formOfWindow(w);
    if (form == nullptr) return;
    if (target.empty()) dispatch(form, [form] { form->Form_DblClick(); });
    // Picture boxes handle no double-click.
}

void Application::onKeyPress(WindowId w, int charCode)
{
    if (ended_) return;
    releaseHeldClick();
    Form* form = formOfWindow(w);
    if (form == nullptr) return;
    dispatch(form, [&] {
        Integer keyAscii = charCode >= 0 && charCode <= 32767 ? charCode : '?';
        form->Form_KeyPress(keyAscii);
    });
}

void Application::onGeometryChanged(WindowId w, PixelRect client)
{
    if (ended_) return;
    Form* form = formOfWindow(w);
    if (form == nullptr || client == form->platformRect_) return;
    form->platformRect_ = client;
    dispatch(form, [&] {
        form->left_ = static_cast<Single>(client.x) * TwipsPerPixel - form->ClientLeft();
        form->top_ = static_cast<Single>(client.y) * TwipsPerPixel - form->ClientTop();
        const Single width = static_cast<Single>(client.w) * TwipsPerPixel + 2 * form->ClientLeft();
        const Single height =
            static_cast<Single>(client.h) * TwipsPerPixel + form->ClientTop() + form->ClientLeft();
        if (width != form->width_ || height != form->height_) {
            form->width_ = width;
            form->height_ = height;
            form->changed();
            form->resized();
        }
    });
}

void Application::onCloseRequest(WindowId w)
{
    if (ended_) return;
    releaseHeldClick();
    Form* form = formOfWindow(w);
    if (form == nullptr) return;
    dispatch(form, [&] { Unload(*form); });
}

// ---- bringing the backend up to date -------------------------------------------

void Application::sync()
{
    for (auto& f : forms_)
        if (f->loaded_) syncForm(*f);
}

PixelRect Application::clientRectOf(const Form& form) const
{
    return {toPixels(form.left_ + form.ClientLeft()), toPixels(form.top_ + form.ClientTop()),
            std::max(0, toPixels(form.width_ - 2 * form.ClientLeft())),
            std::max(0, toPixels(form.height_ - form.ClientTop() - form.ClientLeft()))};
}

void Application::syncForm(Form& form)
{
    if (!form.dirty_) return;
    form.dirty_ = false;
    const PixelRect rect = clientRectOf(form);
    if (rect != form.platformRect_) {
        form.platformRect_ = rect;
        platform_.setGeometry(form.window_, rect);
    }
    platform_.setScene(form.window_, sceneOf(form));
    if (form.topMost_ != form.topMostOnPlatform_) {
        form.topMostOnPlatform_ = form.topMost_;
        platform_.setTopMost(form.window_, form.topMost_);
    }
    if (form.visible_ != form.shownOnPlatform_) {
        form.shownOnPlatform_ = form.visible_;
        if (form.visible_)
            platform_.show(form.window_, form.activateOnShow_);
        else
            platform_.hide(form.window_);
    }
}

Scene Application::sceneOf(const Form& form) const
{
    Scene scene;
    scene.background = form.BackColor();
    const PixelRect client = clientRectOf(form);
    const PixelRect all{0, 0, client.w, client.h};
    if (form.Picture()) {
        DrawItem image;
        image.kind = DrawItem::Kind::Image;
        image.rect = {0, 0, form.Picture().width(), form.Picture().height()};
        image.clip = all;
        image.picture = form.Picture();
        image.owner = form.Name();
        scene.items.push_back(std::move(image));
    }
    // Controls in creation order; a frame's contents right after it, clipped to it.
    std::function<void(const Object&, int, int, PixelRect)> paint = [&](const Object& container, int ox,
                                                                         int oy, PixelRect clip) {
        for (Control* c : form.Controls().all()) {
            if (&c->Container() != &container || !c->Visible()) continue;
            const PixelRect r{ox + toPixels(c->Left()), oy + toPixels(c->Top()), toPixels(c->Width()),
                              toPixels(c->Height())};
            DrawItem item;
            item.rect = r;
            item.clip = clip;
            item.owner = c->Name();
            if (auto* box = dynamic_cast<const PictureBox*>(c)) {
                item.kind = DrawItem::Kind::Fill;
                item.back = ColorFromBgr(0x8000000F);
                scene.items.push_back(item);
                if (box->Picture()) {
                    item.kind = DrawItem::Kind::Image;
                    item.picture = box->Picture();
                    item.clip = intersect(clip, r);
                    scene.items.push_back(item);
                }
            } else if (auto* label = dynamic_cast<const Label*>(c)) {
                item.kind = DrawItem::Kind::Fill;
                item.back = label->Appearance().backColor;
                scene.items.push_back(item);
                item.kind = DrawItem::Kind::Text;
                item.clip = intersect(clip, r);
                item.fore = label->Appearance().foreColor;
                item.align = label->Appearance().alignment;
                item.font = label->Appearance().font;
                item.text = label->Caption();
                scene.items.push_back(std::move(item));
            } else if (auto* frame = dynamic_cast<const Frame*>(c)) {
                item.kind = DrawItem::Kind::Fill;
                item.back = frame->BackColor();
                scene.items.push_back(item);
                paint(*frame, r.x, r.y, intersect(clip, r));
            }
        }
    };
    paint(form, 0, 0, all);
    return scene;
}

// ---- the program's view ----------------------------------------------------

void Unload(Form& form) { Application::Current().Unload(form); }
void End() { Application::Current().End(0); }

Integer MsgBox(const std::string& prompt, int style, const std::string& title)
{
    Application::Current().MsgBox(prompt, style, title);
    return 1;
}

Single Screen::Width()
{
    return static_cast<Single>(Application::Current().platform().screenSize().w) * TwipsPerPixel;
}
Single Screen::Height()
{
    return static_cast<Single>(Application::Current().platform().screenSize().h) * TwipsPerPixel;
}

Long GetCursorPos(POINTAPI& lpPoint)
{
    std::int32_t x = 0, y = 0;
    if (!Application::Current().platform().cursorPos(x, y)) return 0;
    lpPoint.x = x;
    lpPoint.y = y;
    return 1;
}

Long SetWindowPos(Long hWnd, Long hWndInsertAfter, Long x, Long y, Long cx, Long cy, Long wFlags)
{
    if (hWndInsertAfter != Long(HWND_TOPMOST)) return 0;  // the top-most band is all this program asks for
    const bool show = (wFlags.value() & SWP_SHOWWINDOW) != 0;
    const bool activate = (wFlags.value() & SWP_NOACTIVATE) == 0;
    Application::Current().PlaceTopMost(hWnd, x.value(), y.value(), cx.value(), cy.value(), show, activate);
    return 1;
}

Long Beep(Long dwFreq, Long dwDuration)
{
    // Like the Windows call: frequencies outside 37..32767 Hz fail.
    if (dwFreq.value() < 37 || dwFreq.value() > 32767 || dwDuration.value() < 0) return 0;
    Application::Current().Beep(dwFreq.value(), dwDuration.value());
    return 1;
}

}  // namespace rt
