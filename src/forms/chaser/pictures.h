#pragma once
#include "runtime/picture.h"

// The banner's two pictures (81 x 28) and the smiley icon (32 x 32), compiled
// in from assets/: the program reads no file.
const rt::Picture& GreetingPicture();
const rt::Picture& GrowlPicture();
const rt::Picture& SmileyIcon();
