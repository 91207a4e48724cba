#include "runtime/application.h"

#include <algorithm>
#include <cstdio>

#include "runtime/scene_builder.h"

namespace rt {

namespace {
Application* current = nullptr;

// Clears a flag when a scope is left, however it is left.
struct FlagGuard {
    bool& flag;
    ~FlagGuard() { flag = false; }
};

// Gives a variable a value for the length of a scope, however it is left.
template <class T>
struct ValueGuard {
    T& var;
    T saved;
    ValueGuard(T& v, T value) : var(v), saved(v) { var = value; }
    ~ValueGuard() { var = saved; }
    ValueGuard(const ValueGuard&) = delete;
    ValueGuard& operator=(const ValueGuard&) = delete;
};

// Error 7 for what the desktop could not make: windows and timers fail for want
// of system resources, as memory does.
[[noreturn]] void NotMade(const std::string& what)
{
    throw RuntimeError(err::OutOfMemory, ErrorDescription(err::OutOfMemory) + ": " + what);
}
}  // namespace

void Platform::reportError(const std::string& line)
{
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}

Application::Application(Platform& platform) : platform_(platform)
{
    current = this;
    platform_.attach(*this);
}

Application::~Application()
{
    // A program stopped from outside (a test's time limit) leaves no window behind.
    for (auto& f : forms_)
        if (f->loaded_) closeForm(*f);
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
    if (form.window_ == 0) NotMade("la finestra di " + form.Name() + " non si può creare");
    form.loaded_ = true;
    form.changed();
    try {
        syncTimers(form);
        form.Form_Load();
    } catch (const RuntimeError&) {
        closeForm(form);
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

    closeForm(form);
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
    // With the last form gone the program ends here, as with End: open boxes
    // close and no handler goes on past its Unload.
    if (!ended_ && loadedForms().empty()) End(0);
}

void Application::End(int status) { throw ProgramEnded{status}; }

void Application::closeForm(Form& form)
{
    form.loaded_ = false;
    form.visible_ = false;
    syncTimers(form);  // an unloaded form's timers stop
    if (held_.timer != 0 && held_.window == form.window_) {
        platform_.stopTimer(held_.timer);
        held_ = {};
    }
    if (form.window_ != 0) platform_.destroyWindow(form.window_);
    form.window_ = 0;
    form.sentScene_.reset();
}

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

// ---- services ----------------------------------------------------------------

void Application::MsgBox(const std::string& prompt, int style, const std::string& title)
{
    if (ended_) throw ProgramEnded{status_};
    showBox(prompt, style, title.empty() ? ApplicationTitle : title);
    if (ended_) throw ProgramEnded{status_};
}

void Application::showBox(const std::string& prompt, int style, const std::string& title)
{
    sync();  // the box shows over the windows as the handler has left them
    const WindowId owner = activeForm_ && activeForm_->loaded_ ? activeForm_->window_ : 0;
    ValueGuard<int> open{boxes_, boxes_ + 1};
    ValueGuard<int> base{boxBaseDepth_, depth_};
    platform_.messageBox(owner, prompt, style, title);
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
        const TimerId id = platform_.startTimer(timer.interval_);
        if (id == 0) NotMade("il timer " + timer.Name() + " di " + timer.Parent().Name() + " non si può avviare");
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

// ---- running handlers -------------------------------------------------------

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
    if (depth_ == 0)
        afterHandlers();
    else if (boxes_ > 0 && depth_ == boxBaseDepth_ && !ended_)
        sync();  // a handler run from an open box's loop: the screen shows what it did
}

void Application::handleUntrapped(const RuntimeError& e)
{
    if (ended_) return;
    if (!reportingError_) {
        FlagGuard guard{reportingError_};
        reportingError_ = true;
        const std::string number = "Errore di run-time '" + std::to_string(e.number()) + "':";
        std::string line = "belmora: " + number + " " + e.description();
        std::replace_if(line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
        platform_.reportError(line);
        try {
            showBox(number + "\r\n\r\n" + e.description(), 16, ApplicationTitle);
        } catch (const std::exception&) {
            // No box can be shown: the line above is the report.
        }
    }
    endNow(1);
}

void Application::endNow(int status)
{
    if (ended_) return;
    ended_ = true;
    status_ = reportingError_ ? 1 : status;  // an end behind the error's box is still a failure
    if (held_.timer != 0) platform_.stopTimer(held_.timer);
    held_ = {};
    for (auto& f : forms_)
        if (f->loaded_) closeForm(*f);
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

// ---- bringing the backend up to date -------------------------------------------

void Application::sync()
{
    for (auto& f : forms_)
        if (f->loaded_) syncForm(*f);
}

void Application::syncForm(Form& form)
{
    if (!form.dirty_) return;
    form.dirty_ = false;
    const PixelRect rect = ClientRectOf(form);
    if (rect != form.platformRect_) {
        form.platformRect_ = rect;
        platform_.setGeometry(form.window_, rect);
    }
    // The scene goes to the backend only when it differs from the last one
    // sent: the chase assigns the same picture on every tick.
    Scene scene = SceneOf(form);
    if (!form.sentScene_ || scene != *form.sentScene_) {
        platform_.setScene(form.window_, scene);
        form.sentScene_ = std::move(scene);
    }
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

}  // namespace rt
