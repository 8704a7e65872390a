#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "serialDevice.h"

namespace {

// What the checks share with the list; a check that outlives the list's
// wait keeps it alive.
struct TChecks {
  std::mutex Lock;
  std::condition_variable Done;
  std::vector<int> Opens;  // per port: -1 not known yet, 0 no, 1 yes
  size_t Pending = 0;
};

}  // namespace

std::vector<TListedPort> openablePorts(TSerialSystem& system, std::vector<TListedPort> ports,
                                       std::chrono::milliseconds limit) {
  const auto checks = std::make_shared<TChecks>();
  checks->Opens.assign(ports.size(), -1);
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (size_t i = 0; i < ports.size(); ++i) {
    if (ports[i].Bluetooth) {
      checks->Opens[i] = 1;
      continue;
    }
    // Counted before the check starts: a check that ends at once must not
    // find the count lower than its own.
    {
      std::lock_guard lock(checks->Lock);
      ++checks->Pending;
    }
    try {
      std::thread([checks, i, &system, name = ports[i].Name] {
        const bool opens = system.portOpens(name);
        std::lock_guard lock(checks->Lock);
        checks->Opens[i] = opens ? 1 : 0;
        --checks->Pending;
        checks->Done.notify_all();
      }).detach();
    } catch (const std::system_error&) {
      // Not checked, so not offered.
      std::lock_guard lock(checks->Lock);
      --checks->Pending;
    }
  }
  std::vector<TListedPort> openable;
  std::unique_lock lock(checks->Lock);
  checks->Done.wait_until(lock, deadline, [&] { return checks->Pending == 0; });
  for (size_t i = 0; i < ports.size(); ++i)
    if (checks->Opens[i] == 1) openable.push_back(std::move(ports[i]));
  return openable;
}

std::vector<std::string> TSerialSystem::listPorts(bool checkPorts) {
  TSerialSystem& system = listingSystem();
  std::vector<TListedPort> ports = system.systemPorts();
  if (checkPorts) ports = openablePorts(system, std::move(ports), PortCheckLimit);
  std::vector<std::string> names;
  for (TListedPort& port : ports) names.push_back(std::move(port.Name));
  return names;
}
