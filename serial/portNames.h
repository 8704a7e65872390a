// Port name rules. Each backend answers TSerialSystem::portNumber with the
// rule of its platform; both live here so either can be tested anywhere.
#pragma once

#include <cstdint>
#include <string>

// Windows: "COM" in any letter case, then the number 1..4096 (Windows hands
// out numbers beyond 255) without a leading zero, at most seven characters;
// characters after the digits are not examined. 0 rejects.
int32_t comPortNumber(const std::string& name);

// Linux: a device name under /dev ("ttyUSB0", "ttyS1", "pts/3" is not one:
// no slash) or a full path ("/dev/pts/3"). A valid name reports its trailing
// number + 1 (ttyUSB0 -> 1, /dev/pts/3 -> 4), or 1 without one, so a
// successful open is always positive. 0 rejects.
int32_t devicePortNumber(const std::string& name);

// The path a device name opens: a full path as given, a bare name under /dev.
std::string devicePath(const std::string& name);

// A Windows port name as one device has it: upper case, without the
// "\\.\" device prefix ("com5" and "\\.\COM5" give "COM5").
std::string canonicalComName(const std::string& name);

// The port list's item for a port: its name, and after a space what the
// operator should know of it ("COM5 Bluetooth").
std::string portItemText(const std::string& name, bool bluetooth);
// The port name in such an item: the text up to its first space (no port
// name has one).
std::string portNameOfItem(const std::string& text);
