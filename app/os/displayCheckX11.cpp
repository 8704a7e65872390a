// The toolkit would only print "Can't open display" and end the process.
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/displayCheck.h"

bool displayAvailable() {
  if (std::getenv("QUIL_HEADLESS") != nullptr) return true;  // the in-memory window system
  if (Display* display = XOpenDisplay(nullptr)) {
    XCloseDisplay(display);
    return true;
  }
  const char* name = std::getenv("DISPLAY");
  const std::string why = name != nullptr && *name != '\0'
                              ? std::string("cannot open display ") + name
                              : std::string("DISPLAY is not set");
  std::fprintf(stderr,
               "quilmatronx-bootloader: needs a graphical display (%s); on a terminal, "
               "quilmatronx-flash PORT does the same upload\n",
               why.c_str());
  return false;
}
