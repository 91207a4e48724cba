// The Host side of the running program: the events the backend reports.
// A click waits for the double-click time before it is raised, so that a
// second press can make it a double-click instead.
#include "runtime/application.h"
#include "runtime/scene_builder.h"

namespace rt {

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
        const int bx = ToPixels(box->Left()), by = ToPixels(box->Top());
        if (x >= bx && y >= by && x < bx + ToPixels(box->Width()) && y < by + ToPixels(box->Height()))
            target = box->Name();
    }
    // The click waits for the double-click time: a second press makes it a double-click.
    const TimerId timer = platform_.startTimer(platform_.doubleClickTimeMs());
    if (timer == 0) {
        dispatch(form, [] {
            throw RuntimeError(err::OutOfMemory,
                               ErrorDescription(err::OutOfMemory) + ": il timer del clic non si può avviare");
        });
        return;
    }
    held_ = {w, target, timer};
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

}  // namespace rt
