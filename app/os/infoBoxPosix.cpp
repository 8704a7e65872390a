// Elsewhere a message box needs the toolkit, so the window system shows it.
#include "app/infoBox.h"
#include "ui/windowSystem.h"

void showInfoBox(const std::string& text, const std::string& caption) {
  windowSystem().messageBox(text, caption);
}
