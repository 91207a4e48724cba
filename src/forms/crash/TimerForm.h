#pragma once
// TimerForm: a hidden form that only carries the blink timer of the crash page.
#include "runtime/application.h"

class TimerForm : public rt::Form {
public:
    TimerForm();

    rt::Timer timBlinkerFluid;  // once a second, until the first key press

private:
    void timBlinkerFluid_Timer();
};
