#include "forms/crash/frmBSOD.h"

#include "forms/crash/TimerForm.h"
#include "modules/AutocenterMOD.h"
#include "modules/PlayChime.h"
#include "runtime/winapi.h"

using namespace rt;

namespace {
constexpr std::uint32_t Navy = 0x00800000;
constexpr std::uint32_t LightGrey = 0x00C0C0C0;
constexpr std::uint32_t White = 0x00FFFFFF;

Form::Design design()
{
    Form::Design d;
    d.name = "frmBSOD";
    d.caption = "Windows BSOD";
    d.borderStyle = 0;
    d.clientWidth = 11145;
    d.clientHeight = 9180;
    d.backColor = Navy;
    d.showInTaskbar = false;
    d.startUpPosition = Form::StartUp::CenterScreen;
    return d;
}

Label::Look look(std::uint32_t back, std::uint32_t fore, Align alignment)
{
    return {ColorFromBgr(back), ColorFromBgr(fore), alignment, FontSpec{"Fixedsys", 9.0f, 400}};
}

const char CR = '\r';
const std::string CRLF = "\r\n";
}  // namespace

frmBSOD::frmBSOD()
    : Form(design()),
      Frame1(*this, *this, "Frame1", {1035, 2520, 9360, 5430}, ColorFromBgr(Navy), "Frame1"),
      lblWIndows(*this, Frame1, "lblWIndows", {3570, 315, 1815, 255}, look(LightGrey, Navy, Align::Center),
                 "QuadriLume"),
      lblError(*this, Frame1, "lblError", {405, 1095, 8535, 255}, look(Navy, White, Align::Left),
               "ERROR LINE 1"),
      lblErrorLine2(*this, Frame1, "lblErrorLine2", {405, 1335, 7455, 255}, look(Navy, White, Align::Left),
                    "ERROR LINE 2"),
      lblPressAny(*this, Frame1, "lblPressAny", {405, 2055, 7335, 255}, look(Navy, White, Align::Left),
                  "Press Any"),
      lblPressAny2(*this, Frame1, "lblPressAny2", {405, 2295, 7335, 855}, look(Navy, White, Align::Left),
                   "Press Any 2"),
      lblInsertCoin(*this, Frame1, "lblInsertCoin", {3225, 4380, 2775, 255},
                    look(LightGrey, Navy, Align::Center), "Insert Coin To Continue")
{
}

void frmBSOD::Form_Load()
{
    PressCount = 0;
    AutocenterMOD::RegisterForm(*this);  // the design layout, before any resize
    Height(Screen::Height());
    Width(Screen::Width());
    Default<TimerForm>().Show();
    Default<TimerForm>().Visible(false);
    CenterObject(Frame1);
    lblError.Caption(
        std::string("A fatal exception 0E has occurred at 0028:C00068F8 in VxD quadrilume ;-) (01) +"));
    lblErrorLine2.Caption(std::string("000059F8. oGGI BRUNDELMAR entra nello staff."));
    lblPressAny.Caption(std::string("*") + "      Premere un tasto per continuare.");
    lblPressAny2.Caption(
        std::string("*") + "      premere CTRL+ALT+DEL per riavviare. Altrimenti" + CRLF + " " +
        "Aprire una bella bottiglia di Spumante e brindare insieme allo staff di Quadrilume.");
}

// Centres the object across the form, and two fifths of the free height down.
void frmBSOD::CenterObject(Control& obj)
{
    const Single W = Width();
    const Single H = Height();
    const Single left = (W - obj.Width()) / 2;
    const double top = (H - obj.Height()) / 2.5;
    obj.Move(left, static_cast<Single>(top));
}

void frmBSOD::Form_Resize() { AutocenterMOD::CenterControls(*this); }

void frmBSOD::Form_Unload(Integer& Cancel)
{
    (void)Cancel;
    End();
}

void frmBSOD::Form_KeyPress(Integer& KeyAscii)
{
    (void)KeyAscii;  // every key counts the same
    const Integer entry = PressCount;
    if (entry == 3) {
        Beep(400, 300);
        lblInsertCoin.Caption("PREMERE UN TASTO");
        PressCount += 1;
    } else if (entry == 6) {
        PlayChime();
        PlayChime();
        Beep(800, 100);
        MsgBox(std::string("Nuovmente Auguri fratello BRUNDELMAR") + CR + CR + "di cuore ...da tutti NOI", 16,
               "BRUNDELMAR entry");
        PlayChime();
        PlayChime();
        Beep(500, 100);
        Unload(*this);
    } else {
        Default<TimerForm>().timBlinkerFluid.Enabled(false);
        lblInsertCoin.Visible(true);
        PressCount += 1;
        Beep(400, 300);
        Beep(400, 200);
        lblInsertCoin.Caption("CREDITI: " + CStr(PressCount));
    }
}
