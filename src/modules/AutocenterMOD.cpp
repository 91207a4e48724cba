#include "modules/AutocenterMOD.h"

using namespace rt;

namespace AutocenterMOD {

namespace {
// The runtime reports no condition of its own as 2100; a control may.
constexpr int ResumeNext = 2100;

struct Variables {
    DynArray<FormLayout> FormLayouts;
};
}  // namespace

DynArray<FormLayout>& FormLayouts()
{
    return Application::Current().ModuleVariables<Variables>().FormLayouts;
}

Long ArrayCount(DynArray<FormLayout>& table)
{
    try {
        return table.UBound() + 1;
    } catch (const RuntimeError& e) {
        if (e.number() == err::SubscriptOutOfRange) return 0;  // never sized: no records
        throw;
    }
}

bool IsFormRegistered(const std::string& FormName)
{
    try {
        const Integer last = CInt(double(ArrayCount(FormLayouts()) - 1));
        for (Integer i = 0; i <= last; i += 1)
            if (FormLayouts()(i.value()).Name == FormName) return true;
        return false;
    } catch (const RuntimeError& e) {
        if (e.number() == err::SubscriptOutOfRange) return false;
        throw;
    }
}

Integer FindFormIndex(const std::string& FormName)
{
    const Integer last = CInt(double(ArrayCount(FormLayouts()) - 1));
    for (Integer i = 0; i <= last; i += 1)
        if (FormLayouts()(i.value()).Name == FormName) return i;
    return -1;
}

Long MaxLong(const Long& a, const Long& b) { return a < b ? b : a; }

void RegisterForm(Form& frm)
{
    if (IsFormRegistered(frm.Name())) return;  // the first registration stands

    const Integer k = CInt(double(ArrayCount(FormLayouts())));
    FormLayouts().ReDimPreserve(k.value());
    FormLayout& record = FormLayouts()(k.value());
    record.Name = frm.Name();
    record.Height = frm.Height();
    record.Width = frm.Width();

    const Integer last = frm.Controls().Count() - 1;
    for (Integer i = 0; i <= last; i += 1) {
        record.ControlLefts.ReDimPreserve(i.value());
        record.ControlLefts(i.value()) = CInt(frm.Controls()(i).Left());
    }
}

// Every error of the steps below is trapped: 2100 goes on with the next step,
// any other number is raised again to the caller.
void CenterControls(Form& frm)
{
    auto resumable = [](const RuntimeError& e) { return e.number() == ResumeNext; };

    Integer idx = 0;
    try {
        idx = FindFormIndex(frm.Name());
    } catch (const RuntimeError& e) {
        if (!resumable(e)) throw;
    }
    if (idx == -1) return;  // never registered: nothing moves

    Integer last = 0;
    try {
        last = frm.Controls().Count() - 1;
    } catch (const RuntimeError& e) {
        if (!resumable(e)) throw;
        return;  // without a count there is nothing to walk
    }

    for (Integer i = 0; i <= last; i += 1) {
        Control* ctl = nullptr;
        try {
            ctl = &frm.Controls()(i);
            if (ctl->Container().Name() != frm.Name()) continue;  // inside a frame: moves with it
        } catch (const RuntimeError& e) {
            if (!resumable(e)) throw;
        }
        try {
            if (ctl == nullptr) ctl = &frm.Controls()(i);
            const double W = frm.Width();
            const double W0 = FormLayouts()(idx.value()).Width;
            const double shift = W - (W / 2.0 + W0 / 2.0);
            const Long shiftLong = CLng(shift);
            const Long L0 = FormLayouts()(idx.value()).ControlLefts(i.value()).value();
            const Long newLeft = MaxLong(shiftLong, 0) + L0;
            ctl->Left(static_cast<Single>(newLeft.value()));
        } catch (const RuntimeError& e) {
            if (!resumable(e)) throw;
        }
    }
}

}  // namespace AutocenterMOD
