// Per backend of the contract suite (backend_test.cpp): does what a user does, reads the screen.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "ui/windowSystem.h"

namespace driver {
// Whether input takes the platform's own path, so that what the platform filters is filtered.
extern const bool NativeInput;

std::unique_ptr<TWindowSystem> createSystem();
// Runs the UI thread until what the user did and what it posted is handled.
void settle(TWindowSystem& system);
// The left button down and up on the middle of the control.
void click(TWindowSystem& system, TNativeControl& control);
// Characters typed into the focused control, UTF-8; a tab is the Tab key.
void type(TWindowSystem& system, TNativeControl& control, const std::string& text);
// The user picks the item from the box's list, one step from the selection.
void chooseItem(TWindowSystem& system, TNativeControl& combo, int32_t index);
// The down arrow key on the box while its list is closed.
void pressDown(TWindowSystem& system, TNativeControl& combo);
// The close button of the window's caption.
void userClose(TWindowSystem& system, TNativeControl& window);
// Button down on the control, a move by (dx, dy), button up (NativeInput only).
void drag(TWindowSystem& system, TNativeControl& control, int dx, int dy);
// The caption as the desktop shows it, UTF-8.
std::string shownTitle(TWindowSystem& system, TNativeControl& window);
// The tooltip's text as the tooltip shows it, UTF-8.
std::string tooltipText(TNativeTooltip& tooltip, TNativeControl& owner);
// Items the opened list of a drop-down box has room for; none where it fits its items.
std::optional<int> listRoom(TNativeControl& combo);
// The colour on the screen at a client point as settle() left it; none where nothing is drawn.
std::optional<TColor> pixel(TNativeControl& control, int x, int y);
}  // namespace driver
