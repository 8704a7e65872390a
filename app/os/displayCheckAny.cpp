// Windows always has its desktop, and the in-memory window system needs no
// screen.
#include "app/displayCheck.h"

bool displayAvailable() { return true; }
