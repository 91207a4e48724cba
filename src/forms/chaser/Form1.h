#pragma once
// Form1: the start-up banner. A borderless 81 x 28 px window, top-most at the
// screen's top-left corner, that chases the mouse cursor every 10 ms.
#include "runtime/application.h"
#include "runtime/winapi.h"

class Form1 : public rt::Form {
public:
    Form1();

    rt::PictureBox PicRIDE;    // stores the greeting picture
    rt::PictureBox PicPIANGE;  // stores the growl picture
    rt::Timer Timer1;          // the chase, every 10 ms

protected:
    void Form_Load() override;
    void Form_Click() override;
    void Form_DblClick() override;

private:
    void Timer1_Timer();
    void PicRIDE_Click();
    void PicPIANGE_Click();

    rt::POINTAPI CursorPoint;  // screen pixels, as GetCursorPos last filled it
    rt::Long TargetLeft;       // twips: the Left that puts the cursor at the catch box's centre
    rt::Long TargetTop;        // twips: likewise for Top
    rt::Integer ChaseStep;     // twips moved per tick on each axis
};
