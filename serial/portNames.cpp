#include "portNames.h"

#include <cstddef>

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

char upperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Printable ASCII only: no spaces, controls or bytes of another code page.
bool isNameChar(char c) { return c > ' ' && c < 0x7f; }

}  // namespace

int32_t comPortNumber(const std::string& name) {
  if (name.size() > 7 || name.size() < 4) return 0;
  if (upperAscii(name[0]) != 'C' || upperAscii(name[1]) != 'O' || upperAscii(name[2]) != 'M') {
    return 0;
  }
  // Windows numbers its ports without leading zeros.
  if (name[3] == '0') return 0;
  int32_t number = 0;
  for (size_t i = 3; i < name.size() && isDigit(name[i]); ++i)
    number = number * 10 + (name[i] - '0');
  return number >= 1 && number <= 4096 ? number : 0;
}

int32_t devicePortNumber(const std::string& name) {
  // Long enough for any device path, short enough to stay a name.
  constexpr size_t MaxLength = 255;
  if (name.empty() || name.size() > MaxLength) return 0;
  for (char c : name) {
    if (!isNameChar(c)) return 0;
  }
  if (name[0] == '/') {
    // A full path names one file; no climbing out of where it points.
    if (name.back() == '/' || name.find("/../") != std::string::npos || name.ends_with("/..") ||
        name.find("//") != std::string::npos) {
      return 0;
    }
  } else if (name.find('/') != std::string::npos || name == "." || name == "..") {
    return 0;
  }
  size_t digitsStart = name.size();
  while (digitsStart > 0 && isDigit(name[digitsStart - 1])) --digitsStart;
  const size_t digits = name.size() - digitsStart;
  // Longer numbers are no tty numbers; such a name still opens.
  if (digits == 0 || digits > 6) return 1;
  return std::stoi(name.substr(digitsStart)) + 1;
}

std::string devicePath(const std::string& name) {
  return name.starts_with('/') ? name : "/dev/" + name;
}

std::string canonicalComName(const std::string& name) {
  std::string canonical = name.starts_with("\\\\.\\") ? name.substr(4) : name;
  for (char& c : canonical) c = upperAscii(c);
  return canonical;
}

std::string portItemText(const std::string& name, bool bluetooth) {
  return bluetooth ? name + " Bluetooth" : name;
}

std::string portNameOfItem(const std::string& text) { return text.substr(0, text.find(' ')); }
