#pragma once
// AutocenterMOD: keeps each registered form's size and its controls' Left as
// they were at registration, and after a resize shifts the controls lying
// directly on the form by half the growth of its width.
#include <string>

#include "runtime/application.h"
#include "runtime/dynarray.h"

namespace AutocenterMOD {

struct FormLayout {
    rt::DynArray<rt::Integer> ControlLefts;  // Left of Controls(i) at registration
    double Height = 0;                       // recorded, never read back
    double Width = 0;                        // the reference width for re-centring
    std::string Name;                        // the key of the record
};

// The table of layouts, one record per registered form name, in order of registration.
rt::DynArray<FormLayout>& FormLayouts();

void RegisterForm(rt::Form& frm);
void CenterControls(rt::Form& frm);
rt::Integer FindFormIndex(const std::string& FormName);
bool IsFormRegistered(const std::string& FormName);
rt::Long ArrayCount(rt::DynArray<FormLayout>& table);
rt::Long MaxLong(const rt::Long& a, const rt::Long& b);

}  // namespace AutocenterMOD
