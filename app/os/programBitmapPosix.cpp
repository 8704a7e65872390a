// Elsewhere the bitmap file is linked in whole and registered by name.
#include "app/programBitmap.h"

TBitmap loadProgramBitmap(const std::string& name) { return loadBitmapResource(name); }
