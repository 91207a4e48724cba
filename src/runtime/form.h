#pragma once
// Forms and controls. A form class derives from Form, holds its controls as
// members (declared in creation order), wires their events in its constructor
// and overrides the Form_ handlers it needs. Positions and sizes are twips,
// single precision, 15 twips to the pixel.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "runtime/numbers.h"
#include "runtime/picture.h"
#include "runtime/platform.h"

namespace rt {

class Form;
class Application;

inline constexpr int TwipsPerPixel = 15;

// A colour as stored in a form's design: &H00BBGGRR&.
Rgb ColorFromBgr(std::uint32_t bgr);

// Anything with a name that can hold controls: a form or a frame.
class Object {
public:
    virtual ~Object() = default;
    virtual const std::string& Name() const = 0;
};

class Control : public Object {
public:
    struct Place {
        Single left = 0, top = 0, width = 0, height = 0;
    };
    // A control lies on `form`, inside `container` (the form itself or a frame of it).
    Control(Form& form, Object& container, std::string name, Place place);
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    const std::string& Name() const override { return name_; }
    virtual Object& Container() const { return container_; }
    virtual Single Left() const { return place_.left; }
    virtual void Left(Single v);
    virtual Single Top() const { return place_.top; }
    virtual void Top(Single v);
    virtual Single Width() const { return place_.width; }
    virtual void Width(Single v);
    virtual Single Height() const { return place_.height; }
    virtual void Height(Single v);
    // Moves the control, keeping its size.
    virtual void Move(Single left, Single top);
    bool Visible() const { return visible_; }
    void Visible(bool v);
    Form& Parent() const { return form_; }

protected:
    void changed();

private:
    void set(Single& field, Single v);  // a place's field, and the form repaints

    Form& form_;
    Object& container_;
    std::string name_;
    Place place_;
    bool visible_ = true;
};

class PictureBox : public Control {
public:
    PictureBox(Form& form, Object& container, std::string name, Place place, rt::Picture picture);
    const rt::Picture& Picture() const { return picture_; }
    void Picture(const rt::Picture& p);
    std::function<void()> Click;  // the Click event's handler, if any

private:
    rt::Picture picture_;
};

class Label : public Control {
public:
    struct Look {
        Rgb backColor, foreColor;
        Align alignment = Align::Left;
        FontSpec font;
    };
    Label(Form& form, Object& container, std::string name, Place place, Look look, std::string caption);
    const std::string& Caption() const { return caption_; }
    void Caption(std::string c);
    const Look& Appearance() const { return look_; }

private:
    Look look_;
    std::string caption_;
};

// A panel that holds other controls. Drawn without border or caption.
class Frame : public Control {
public:
    Frame(Form& form, Object& container, std::string name, Place place, Rgb backColor, std::string caption);
    const std::string& Caption() const { return caption_; }
    Rgb BackColor() const { return backColor_; }

private:
    Rgb backColor_;
    std::string caption_;
};

// Raises its Timer event every Interval milliseconds while Enabled and its form
// is loaded. A tick never re-enters its own handler: ticks that fall due while
// the handler runs are merged into one, run as soon as it returns.
class Timer : public Control {
public:
    Timer(Form& form, std::string name, int intervalMs, bool enabled);
    ~Timer() override;
    bool Enabled() const { return enabled_; }
    void Enabled(bool v);
    int Interval() const { return interval_; }
    void Interval(int ms);
    std::function<void()> Tick;  // the Timer event's handler

private:
    friend class Application;
    void sync();  // starts or stops the platform timer to match the properties
    bool enabled_;
    int interval_;
    TimerId platformTimer_ = 0;
    bool running_ = false;  // the handler is on the stack
    bool pending_ = false;  // a tick fell due meanwhile
};

// The form's Controls collection: every control, those inside frames too, in creation order.
class ControlsCollection {
public:
    Integer Count() const { return Integer(static_cast<int>(items_.size())); }
    // Zero-based; error 9 outside the collection.
    Control& Item(Integer index) const;
    Control& operator()(Integer index) const { return Item(index); }
    const std::vector<Control*>& all() const { return items_; }

private:
    friend class Control;
    std::vector<Control*> items_;
};

class Form : public Object {
public:
    enum class StartUp { Manual = 0, CenterOwner = 1, CenterScreen = 2, WindowsDefault = 3 };
    struct Design {
        std::string name;
        std::string caption;
        int borderStyle = 2;  // 0: none; 2: sizable, with title bar
        Single clientWidth = 0, clientHeight = 0;
        std::uint32_t backColor = 0x8000000F;  // &H00BBGGRR&, or a system colour
        rt::Picture picture;
        rt::Picture icon;
        bool showInTaskbar = true;
        StartUp startUpPosition = StartUp::WindowsDefault;
    };

    explicit Form(Design design);
    ~Form() override;
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    const std::string& Name() const override { return design_.name; }
    const std::string& Caption() const { return design_.caption; }
    Single Left() const { return left_; }
    void Left(Single v);
    Single Top() const { return top_; }
    void Top(Single v);
    Single Width() const { return width_; }
    void Width(Single v);
    Single Height() const { return height_; }
    void Height(Single v);
    void Move(Single left, Single top);
    bool Visible() const { return visible_; }
    void Visible(bool v);
    const rt::Picture& Picture() const { return picture_; }
    void Picture(const rt::Picture& p);
    const rt::Picture& Icon() const { return design_.icon; }
    Rgb BackColor() const;
    bool ShowInTaskbar() const { return design_.showInTaskbar; }
    // The window handle that the Win32-style calls take.
    Long hWnd() const { return Long(static_cast<std::int32_t>(handle_)); }
    // Loads the form if needed and shows it modelessly, giving it the focus.
    void Show();
    ControlsCollection& Controls() { return controls_; }
    const ControlsCollection& Controls() const { return controls_; }
    bool IsLoaded() const { return loaded_; }

    // Distance in twips from the window's outer edge to its client area.
    Single ClientLeft() const;
    Single ClientTop() const;

protected:
    // The events a form may handle.
    virtual void Form_Load() {}
    virtual void Form_Click() {}
    virtual void Form_DblClick() {}
    virtual void Form_KeyPress(Integer& KeyAscii) { (void)KeyAscii; }
    virtual void Form_Resize() {}
    virtual void Form_Unload(Integer& Cancel) { (void)Cancel; }

private:
    friend class Application;
    friend class Control;
    void changed() { dirty_ = true; }
    void resized();

    Design design_;
    ControlsCollection controls_;
    Single left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    rt::Picture picture_;
    bool visible_ = false;
    bool topMost_ = false;
    bool activateOnShow_ = true;

    // Runtime bookkeeping.
    bool loaded_ = false;
    bool everShown_ = false;  // the runtime has shown it once (first Form_Resize done)
    bool dirty_ = true;       // the window must be brought up to date
    bool shownOnPlatform_ = false;
    bool topMostOnPlatform_ = false;
    PixelRect platformRect_{0, 0, -1, -1};  // the client area the backend last had
    std::uint32_t handle_ = 0;              // the runtime's window handle (hWnd)
    WindowId window_ = 0;                   // the backend's window
    std::optional<Scene> sentScene_;        // the scene the backend's window last got
};

}  // namespace rt
