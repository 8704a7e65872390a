// What the station needs of the machine besides its ports' traffic: one
// name per serial device, and the operator's keys. One file per platform
// (app/station/os).
#pragma once

#include <string>

// The device a port name opens, the same for every name of it: the real
// path on Linux (ttyUSB0, /dev/ttyUSB0 and a /dev/serial/by-id link give
// /dev/ttyUSB0), the upper-cased name on Windows (com5 gives COM5).
std::string canonicalDevice(const std::string& port);

// The operator's keys: standard input taken key by key without echo while
// it lives, when it is a terminal; each key as it comes, when it is not.
class TStationKeys {
 public:
  TStationKeys();
  ~TStationKeys();
  TStationKeys(const TStationKeys&) = delete;
  TStationKeys& operator=(const TStationKeys&) = delete;
  // The keys pressed since the last call; never waits.
  std::string pressed();

 private:
  struct TSaved;
  TSaved* saved_ = nullptr;
};
