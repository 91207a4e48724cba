#pragma once
// frmBSOD: the full-screen fake crash page. A navy page with a navy panel
// holding six labels; key presses count credits, the seventh ends the program.
#include "runtime/application.h"

class frmBSOD : public rt::Form {
public:
    frmBSOD();

    rt::Frame Frame1;
    rt::Label lblWIndows;
    rt::Label lblError;
    rt::Label lblErrorLine2;
    rt::Label lblPressAny;
    rt::Label lblPressAny2;
    rt::Label lblInsertCoin;

    rt::Integer PressCount;  // key presses counted so far: 0 to 6

protected:
    void Form_Load() override;
    void Form_KeyPress(rt::Integer& KeyAscii) override;
    void Form_Resize() override;
    void Form_Unload(rt::Integer& Cancel) override;

private:
    void CenterObject(rt::Control& obj);
};
