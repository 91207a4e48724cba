#pragma once
// What a form looks like to the backend: its client area in screen pixels, and
// the scene that paints it, built from the form's properties and controls.
#include "runtime/form.h"
#include "runtime/platform.h"

namespace rt {

// Twips to the nearest whole pixel, kept well inside int's range.
int ToPixels(double twips);

// The form's client area in screen pixels.
PixelRect ClientRectOf(const Form& form);

// The form's background and picture, then its visible controls in creation
// order, a frame's contents right after it and clipped to it.
Scene SceneOf(const Form& form);

}  // namespace rt
