#include "forms/crash/TimerForm.h"

#include "forms/crash/frmBSOD.h"

using namespace rt;

namespace {
Form::Design design()
{
    Form::Design d;
    d.name = "TimerForm";
    d.caption = "TimerForm";
    d.borderStyle = 2;
    d.clientWidth = 1560;
    d.clientHeight = 465;
    d.startUpPosition = Form::StartUp::WindowsDefault;
    return d;
}
}  // namespace

TimerForm::TimerForm() : Form(design()), timBlinkerFluid(*this, "timBlinkerFluid", 1000, true)
{
    timBlinkerFluid.Tick = [this] { timBlinkerFluid_Timer(); };
}

// Flips "Insert Coin To Continue" on the page.
void TimerForm::timBlinkerFluid_Timer()
{
    Label& coin = Default<frmBSOD>().lblInsertCoin;
    if (!coin.Visible())
        coin.Visible(true);
    else
        coin.Visible(false);
}
