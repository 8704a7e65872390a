// The few places where the runtime reaches the operating system. Each
// platform installs its own functions (runtime/os); tests may replace them.
#pragma once

#include <string>
#include <string_view>

struct TSystemSeams {
  // Modal message box with an OK button; texts are Windows-1251 bytes.
  void (*messageBox)(const std::string& text, const std::string& caption);
  // Vertical pixels per inch of the screen.
  int (*screenPixelsPerInch)();
  // Raw bytes of the program's resource of type 100 with this name; empty
  // when there is none. The bytes live as long as the program.
  std::string_view (*findResource)(const std::string& name);
};

// The installed seams; starts with the platform's own.
TSystemSeams& systemSeams();
// The platform's own functions.
TSystemSeams platformSystemSeams();

// Resources linked into the program (platforms without a resource section):
// a build step registers each embedded blob under its name.
void registerEmbeddedResource(std::string name, std::string_view bytes);
std::string_view findEmbeddedResource(const std::string& name);
