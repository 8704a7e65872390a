#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>

#include "app/station/stationHost.h"
#include "serial/portNames.h"

std::string canonicalDevice(const std::string& port) {
  std::error_code error;
  // A port not there now still has one name: its path, tidied.
  const std::filesystem::path path = std::filesystem::weakly_canonical(devicePath(port), error);
  return error ? std::filesystem::path(devicePath(port)).lexically_normal().string()
               : path.string();
}

struct TStationKeys::TSaved {
  termios settings;
};

TStationKeys::TStationKeys() {
  termios settings{};
  if (::isatty(STDIN_FILENO) == 0 || ::tcgetattr(STDIN_FILENO, &settings) != 0) return;
  saved_ = new TSaved{settings};
  settings.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
  settings.c_cc[VMIN] = 0;
  settings.c_cc[VTIME] = 0;
  ::tcsetattr(STDIN_FILENO, TCSANOW, &settings);
}

TStationKeys::~TStationKeys() {
  if (saved_ == nullptr) return;
  ::tcsetattr(STDIN_FILENO, TCSANOW, &saved_->settings);
  delete saved_;
}

std::string TStationKeys::pressed() {
  std::string keys;
  pollfd input{STDIN_FILENO, POLLIN, 0};
  while (::poll(&input, 1, 0) > 0 && (input.revents & POLLIN) != 0) {
    char key = 0;
    if (::read(STDIN_FILENO, &key, 1) != 1) break;  // the end of a pipe
    keys += key;
  }
  return keys;
}
