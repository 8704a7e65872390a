// A bitmap resource of the program (BITMAP0): the Windows resource section
// keeps bitmaps apart from the data streams that systemSeams() looks up.
#pragma once

#include <string>

#include "ui/bitmap.h"

// Empty when the resource is missing or unreadable.
TBitmap loadProgramBitmap(const std::string& name);
