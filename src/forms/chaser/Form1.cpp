#include "forms/chaser/Form1.h"

#include "forms/chaser/pictures.h"
#include "forms/crash/frmBSOD.h"
#include "modules/PlayChime.h"

using namespace rt;

namespace {
Form::Design design()
{
    Form::Design d;
    d.name = "Form1";
    d.caption = "Form1";
    d.borderStyle = 0;
    d.clientWidth = 6735;
    d.clientHeight = 4620;
    d.backColor = 0x00FFFFFF;
    d.picture = GreetingPicture();
    d.icon = SmileyIcon();
    d.showInTaskbar = false;
    d.startUpPosition = Form::StartUp::CenterScreen;
    return d;
}

// The greeting of a click on the window, and the shorter one of a picture box.
const std::string WindowGreeting = "Auguri fratello BRUNDELMAR\r\rbenvenuto fra di noi";
const std::string PictureGreeting = "Auguri fratello BRUNDELMAR\r\rbenvenuto";
}  // namespace

Form1::Form1()
    : Form(design()),
      PicRIDE(*this, *this, "PicRIDE", {1905, 2415, 1215, 420}, GreetingPicture()),
      PicPIANGE(*this, *this, "PicPIANGE", {3120, 2250, 1215, 420}, GrowlPicture()),
      Timer1(*this, "Timer1", 10, true)
{
    PicRIDE.Click = [this] { PicRIDE_Click(); };
    PicPIANGE.Click = [this] { PicPIANGE_Click(); };
    Timer1.Tick = [this] { Timer1_Timer(); };
}

void Form1::Form_Load()
{
    Beep(3000, 200);
    const Long window = hWnd();
    SetWindowPos(window, HWND_TOPMOST, 0, 0, 81, 28, SWP_SHOWWINDOW | SWP_NOACTIVATE);
}

// One step of the chase. The catch box is 480 twips (32 px) square, anchored
// at the window's top-left; the window steers so that the cursor rests at the
// box's centre, 240 twips in from each edge.
void Form1::Timer1_Timer()
{
    try {
        GetCursorPos(CursorPoint);
        TargetLeft = CursorPoint.x * 15 - 240;
        TargetTop = CursorPoint.y * 15 - 240;

        Form1& me = Default<Form1>();
        const double top1 = me.Top(), top2 = me.Top(), left1 = me.Left(), left2 = me.Left();
        const bool below = top1 < double(TargetTop + 240);
        const bool above = double(CheckedSingle(top2 + 480.0f)) > double(TargetTop + 240);
        const bool right = left1 < double(TargetLeft + 240);
        const bool left = double(CheckedSingle(left2 + 480.0f)) > double(TargetLeft + 240);

        if (below && above && right && left) {
            ChaseStep = 15;
            me.Picture(PicRIDE.Picture());
        } else {
            ChaseStep = 75;
            me.Picture(PicPIANGE.Picture());
            Beep(70, 10);
        }

        const Single step = ChaseStep.value();
        if (double(me.Left()) != double(TargetLeft)) {
            if (double(me.Left()) > double(TargetLeft))
                me.Left(CheckedSingle(me.Left() - step));
            else if (double(me.Left()) < double(TargetLeft))
                me.Left(CheckedSingle(step + me.Left()));
        }
        if (double(me.Top()) != double(TargetTop)) {
            if (double(me.Top()) > double(TargetTop))
                me.Top(CheckedSingle(me.Top() - step));
            else if (double(me.Top()) < double(TargetTop))
                me.Top(CheckedSingle(step + me.Top()));
        }
    } catch (const RuntimeError& e) {
        MsgBox(e.description(), 16, "OOPS!");
        Unload(Default<Form1>());
    }
}

void Form1::Form_Click()
{
    PlayChime();
    PlayChime();
    Beep(800, 100);
    MsgBox(WindowGreeting, 0);
    Default<frmBSOD>().Show();
    Unload(*this);
}

void Form1::Form_DblClick()
{
    Default<frmBSOD>().Show();
    Unload(*this);
}

void Form1::PicRIDE_Click() { MsgBox(PictureGreeting, 0); }

void Form1::PicPIANGE_Click() { MsgBox(PictureGreeting, 0); }
