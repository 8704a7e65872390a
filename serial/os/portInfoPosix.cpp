#include <algorithm>
#include <fstream>
#include <map>
#include <system_error>

#include "portInfoSysfs.h"

namespace fs = std::filesystem;

namespace {

// A sysfs attribute's first line; empty when there is none.
std::string attribute(const fs::path& dir, const char* name) {
  std::ifstream file(dir / name);
  std::string line;
  std::getline(file, line);
  while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) line.pop_back();
  return line;
}

// Link name by the tty it points at, for one /dev/serial folder.
std::map<std::string, std::string> linksByTarget(const fs::path& dir) {
  std::map<std::string, std::string> links;
  std::error_code error;
  for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
    std::error_code unreadable;
    const fs::path target = fs::read_symlink(it->path(), unreadable);
    if (!unreadable) links[target.filename().string()] = it->path().filename().string();
  }
  return links;
}

// The USB device above a tty's device: the first folder upwards that has a
// vendor id (a ttyUSB's device is its port below the interface, a ttyACM's
// the interface itself).
fs::path usbDevice(const fs::path& ttyDevice) {
  std::error_code error;
  fs::path dir = fs::canonical(ttyDevice, error);
  if (error) return {};
  for (; dir.has_relative_path(); dir = dir.parent_path()) {
    if (fs::exists(dir / "idVendor", error)) return dir;
  }
  return {};
}

bool naturalLess(const TPortInfo& a, const TPortInfo& b) {
  // ttyS2 before ttyS10: shorter names first within one prefix.
  const auto stem = [](const std::string& s) { return s.substr(0, s.find_first_of("0123456789")); };
  const std::string sa = stem(a.Port), sb = stem(b.Port);
  if (sa != sb) return sa < sb;
  if (a.Port.size() != b.Port.size()) return a.Port.size() < b.Port.size();
  return a.Port < b.Port;
}

class TSysfsPortInfo final : public TPortInfoSource {
 public:
  std::vector<TPortInfo> ports() override { return readSysfsPorts("/"); }
};

}  // namespace

std::vector<TPortInfo> readSysfsPorts(const fs::path& root) {
  const auto byId = linksByTarget(root / "dev/serial/by-id");
  const auto byPath = linksByTarget(root / "dev/serial/by-path");
  std::vector<TPortInfo> ports;
  std::error_code error;
  for (fs::directory_iterator it(root / "sys/class/tty", error), end; !error && it != end;
       it.increment(error)) {
    std::error_code missing;
    // Virtual consoles and ptys have no device driver; serial ports do.
    if (!fs::exists(it->path() / "device" / "driver", missing)) continue;
    TPortInfo info;
    info.Port = it->path().filename().string();
    if (const fs::path usb = usbDevice(it->path() / "device"); !usb.empty()) {
      info.VendorId = attribute(usb, "idVendor");
      info.ProductId = attribute(usb, "idProduct");
      info.SerialNumber = attribute(usb, "serial");
      info.Description = attribute(usb, "product");
      info.Location = usb.filename().string();
    }
    if (const auto id = byId.find(info.Port); info.Description.empty() && id != byId.end())
      info.Description = id->second;
    if (const auto path = byPath.find(info.Port); info.Location.empty() && path != byPath.end())
      info.Location = path->second;
    ports.push_back(std::move(info));
  }
  std::sort(ports.begin(), ports.end(), naturalLess);
  return ports;
}

TPortInfoSource& platformPortInfo() {
  static TSysfsPortInfo source;
  return source;
}
