// The maker's box of "/ih": a message box with an OK button and no owner,
// shown with as little set up around it as the platform allows.
#pragma once

#include <string>

void showInfoBox(const std::string& text, const std::string& caption);
