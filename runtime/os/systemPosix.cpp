// Linux: no resource section (resources are linked in and registered), and
// without a window library a message box goes to standard error.
#include <cstdio>

#include "../codepage.h"
#include "../systemSeams.h"

namespace {
void stderrMessageBox(const std::string& text, const std::string& caption) {
  std::fprintf(stderr, "[%s] %s\n", cp1251ToUtf8(caption).c_str(), cp1251ToUtf8(text).c_str());
}

int assumedPixelsPerInch() { return 96; }
}  // namespace

TSystemSeams platformSystemSeams() {
  return TSystemSeams{&stderrMessageBox, &assumedPixelsPerInch, &findEmbeddedResource};
}
