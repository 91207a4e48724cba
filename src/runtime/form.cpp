#include "runtime/form.h"

#include "runtime/application.h"

namespace rt {

Rgb ColorFromBgr(std::uint32_t bgr)
{
    if (bgr & 0x80000000u) {
        // A system colour: the classic Windows defaults of those the program uses.
        switch (bgr & 0xFF) {
        case 0x05: return {255, 255, 255};  // window background
        case 0x08: return {0, 0, 0};        // window text
        default: return {192, 192, 192};    // button face and the rest
        }
    }
    return {static_cast<std::uint8_t>(bgr & 0xFF), static_cast<std::uint8_t>((bgr >> 8) & 0xFF),
            static_cast<std::uint8_t>((bgr >> 16) & 0xFF)};
}

// ---- Control ---------------------------------------------------------------

Control::Control(Form& form, Object& container, std::string name, Place place)
    : form_(form),
      container_(container),
      name_(std::move(name)),
      place_(place)
{
    form_.controls_.items_.push_back(this);
}

void Control::changed() { form_.changed(); }
void Control::set(Single& field, Single v)
{
    field = v;
    changed();
}
void Control::Left(Single v) { set(place_.left, v); }
void Control::Top(Single v) { set(place_.top, v); }
void Control::Width(Single v) { set(place_.width, v); }
void Control::Height(Single v) { set(place_.height, v); }
void Control::Move(Single left, Single top)
{
    place_.left = left;
    place_.top = top;
    changed();
}
void Control::Visible(bool v)
{
    visible_ = v;
    changed();
}

PictureBox::PictureBox(Form& form, Object& container, std::string name, Place place, rt::Picture picture)
    : Control(form, container, std::move(name), place),
      picture_(std::move(picture))
{
}
void PictureBox::Picture(const rt::Picture& p)
{
    picture_ = p;
    changed();
}

Label::Label(Form& form, Object& container, std::string name, Place place, Look look, std::string caption)
    : Control(form, container, std::move(name), place),
      look_(std::move(look)),
      caption_(std::move(caption))
{
}
void Label::Caption(std::string c)
{
    caption_ = std::move(c);
    changed();
}

Frame::Frame(Form& form, Object& container, std::string name, Place place, Rgb backColor, std::string caption)
    : Control(form, container, std::move(name), place),
      backColor_(backColor),
      caption_(std::move(caption))
{
}

Timer::Timer(Form& form, std::string name, int intervalMs, bool enabled)
    : Control(form, form, std::move(name), {}),
      enabled_(enabled),
      interval_(intervalMs)
{
}

Timer::~Timer()
{
    if (platformTimer_ != 0) Application::Current().timerDestroyed(*this);
}

void Timer::Enabled(bool v)
{
    enabled_ = v;
    sync();
}
void Timer::Interval(int ms)
{
    interval_ = ms;
    sync();
}
void Timer::sync() { Application::Current().syncTimer(*this); }

Control& ControlsCollection::Item(Integer index) const
{
    const int i = index.value();
    if (i < 0 || i >= static_cast<int>(items_.size())) Raise(err::SubscriptOutOfRange);
    return *items_[static_cast<std::size_t>(i)];
}

// ---- Form ------------------------------------------------------------------

Form::Form(Design design) : design_(std::move(design)), picture_(design_.picture)
{
    width_ = design_.clientWidth + 2 * ClientLeft();
    height_ = design_.clientHeight + ClientTop() + ClientLeft();
}

Form::~Form() = default;

Single Form::ClientLeft() const { return design_.borderStyle == 0 ? 0.0f : 60.0f; }
Single Form::ClientTop() const { return design_.borderStyle == 0 ? 0.0f : 345.0f; }

Rgb Form::BackColor() const { return ColorFromBgr(design_.backColor); }

void Form::Left(Single v) { Move(v, top_); }
void Form::Top(Single v) { Move(left_, v); }
void Form::Width(Single v)
{
    const bool differs = v != width_;
    width_ = v;
    changed();
    if (differs) resized();
}
void Form::Height(Single v)
{
    const bool differs = v != height_;
    height_ = v;
    changed();
    if (differs) resized();
}
void Form::Move(Single left, Single top)
{
    left_ = left;
    top_ = top;
    changed();
}
void Form::Visible(bool v)
{
    if (v && !visible_) {
        Show();
        return;
    }
    visible_ = v;
    changed();
}
void Form::Picture(const rt::Picture& p)
{
    picture_ = p;
    changed();
}
void Form::Show() { Application::Current().Show(*this); }

// Form_Resize runs for a shown form whenever its size changes; before the
// form is first shown, size changes raise nothing.
void Form::resized()
{
    if (loaded_ && everShown_) Form_Resize();
}

}  // namespace rt
