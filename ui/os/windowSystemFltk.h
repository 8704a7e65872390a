// The FLTK backend's widgets behind the interface, for tests that check what
// is really on the screen.
#pragma once

#include <FL/Fl_Widget.H>

#include "ui/windowSystem.h"

// X11 class (res_name) of every top-level window of the program; search for
// it with `xdotool search --classname`.
inline constexpr const char* WindowClassName = "quilmatronx";

// The widget of a control made by the FLTK backend; null for any other.
Fl_Widget* nativeWidget(const TNativeControl& control);
