#include "version.h"

const char* const version::firmware = QUIL_FIRMWARE_VERSION;

std::string version::line(const std::string& program) {
  return program + " " + QUIL_VERSION_LINE + "\n";
}
