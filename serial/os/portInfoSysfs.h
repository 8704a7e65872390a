// The Linux reader's work, under a root of choice so a test can give it a
// fixture tree: ttys with a driver in <root>/sys/class/tty, their USB
// device's attributes, and the links in <root>/dev/serial/by-id and by-path
// for what sysfs does not say.
#pragma once

#include <filesystem>
#include <vector>

#include "serial/portInfo.h"

std::vector<TPortInfo> readSysfsPorts(const std::filesystem::path& root);
