// The few places where the runtime reaches the operating system. Each
// platform installs its own functions (runtime/os); tests may replace them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct TSystemSeams {
  // Modal message box with an OK button; texts are Windows-1251 bytes.
  void (*messageBox)(const std::string& text, const std::string& caption);
  // Vertical pixels per inch of the screen.
  int (*screenPixelsPerInch)();
  // Raw bytes of the program's resource of type 100 with this name; empty
  // when there is none. The bytes live as long as the program.
  std::string_view (*findResource)(const std::string& name);
  // Holds off the system's idle sleep (true) or lets it go (false); called
  // by TAwakeHold only.
  void (*keepAwake)(bool awake);
};

// The installed seams; starts with the platform's own.
TSystemSeams& systemSeams();
// The platform's own functions.
TSystemSeams platformSystemSeams();

// Resources linked into the program (platforms without a resource section):
// a build step registers each embedded blob under its name.
void registerEmbeddedResource(std::string name, std::string_view bytes);
std::string_view findEmbeddedResource(const std::string& name);

// While one exists, the machine does not fall asleep for want of input:
// serial traffic is no activity to the system, and idle sleep would suspend
// an upload half way. Windows keeps the hold with the thread that takes it:
// take and drop holds on one long-lived thread (the UI thread, the main
// thread).
class TAwakeHold {
 public:
  TAwakeHold();
  ~TAwakeHold();
  TAwakeHold(const TAwakeHold&) = delete;
  TAwakeHold& operator=(const TAwakeHold&) = delete;
};

// The program's arguments in UTF-8, the program's name first. Windows hands
// main() its arguments in the ANSI code page (1251 on the operators' PCs,
// and a letter outside it lost): there they are read again from the wide
// command line.
std::vector<std::string> programArguments(int argc, const char* const* argv);

// The same as main()'s argc and argv.
class TProgramArguments {
 public:
  TProgramArguments(int argc, const char* const* argv);
  int count() const { return static_cast<int>(pointers_.size()); }
  const char* const* values() const { return pointers_.data(); }

 private:
  std::vector<std::string> texts_;
  std::vector<const char*> pointers_;
};
