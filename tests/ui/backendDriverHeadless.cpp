// The headless driver: input through the injection calls; nothing is drawn.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include "backendDriver.h"
#include "runtime/codepage.h"
#include "ui/headlessWindowSystem.h"

namespace driver {
namespace {
THeadlessWindowSystem& headless(TWindowSystem& system) {
  return static_cast<THeadlessWindowSystem&>(system);
}
}  // namespace

const bool NativeInput = false;

std::unique_ptr<TWindowSystem> createSystem() { return createHeadlessWindowSystem(); }

void settle(TWindowSystem& system) { system.pumpPending(); }

void click(TWindowSystem& system, TNativeControl& control) {
  headless(system).mouse(control, {TMouseAction::Down, 1, KeyState::LeftButton, 4, 4});
  headless(system).mouse(control, {TMouseAction::Up, 1, 0, 4, 4});
  headless(system).click(control);
}

void type(TWindowSystem& system, TNativeControl& control, const std::string& text) {
  for (const char c : utf8To1251(text)) {
    const auto character = static_cast<unsigned char>(c);
    headless(system).press(control, character < 0x80 ? std::toupper(character) : 0, character);
  }
}

void chooseItem(TWindowSystem& system, TNativeControl& combo, int32_t index) {
  combo.setFocus();  // the user's click
  headless(system).chooseItem(combo, index);
}

// What a Win32 combo box does with the key: the next item, reported.
void pressDown(TWindowSystem& system, TNativeControl& combo) {
  headless(system).chooseItem(combo, std::min(combo.selectedIndex() + 1, combo.itemCount() - 1));
}

void userClose(TWindowSystem& system, TNativeControl& window) {
  headless(system).userClose(window);
}

void drag(TWindowSystem&, TNativeControl&, int, int) { ADD_FAILURE() << "no pointer to drag"; }

std::string shownTitle(TWindowSystem&, TNativeControl& window) {
  return cp1251ToUtf8(window.text());
}

std::string tooltipText(TNativeTooltip& tooltip, TNativeControl&) {
  return cp1251ToUtf8(static_cast<THeadlessTooltip&>(tooltip).Text);
}

std::optional<int> listRoom(TNativeControl&) { return std::nullopt; }

std::optional<TColor> pixel(TNativeControl&, int, int) { return std::nullopt; }
}  // namespace driver
