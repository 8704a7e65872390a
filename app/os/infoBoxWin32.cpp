// Windows: the system's own message box, with no window system set up (no
// window classes, no hidden windows) and no owner window.
#include "app/infoBox.h"
#include "runtime/systemSeams.h"

void showInfoBox(const std::string& text, const std::string& caption) {
  systemSeams().messageBox(text, caption);
}
