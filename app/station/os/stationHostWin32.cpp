#include <conio.h>

#include "app/station/stationHost.h"
#include "serial/portNames.h"

std::string canonicalDevice(const std::string& port) { return canonicalComName(port); }

struct TStationKeys::TSaved {};

TStationKeys::TStationKeys() = default;

TStationKeys::~TStationKeys() = default;

std::string TStationKeys::pressed() {
  std::string keys;
  while (::_kbhit() != 0) {
    const int key = ::_getch();
    // A function or arrow key comes as two codes: neither is a slot's key.
    if (key == 0 || key == 0xe0) {
      ::_getch();
      continue;
    }
    keys += static_cast<char>(key);
  }
  return keys;
}
