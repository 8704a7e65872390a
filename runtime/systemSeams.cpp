#include "systemSeams.h"

#include <map>
#include <mutex>

namespace {
std::mutex embeddedLock;
// Holds taken and not yet dropped; the first and the last reach the system.
std::mutex awakeLock;
int awakeHolds = 0;
std::map<std::string, std::string_view, std::less<>>& embedded() {
  static std::map<std::string, std::string_view, std::less<>> resources;
  return resources;
}
}  // namespace

TSystemSeams& systemSeams() {
  static TSystemSeams seams = platformSystemSeams();
  return seams;
}

void registerEmbeddedResource(std::string name, std::string_view bytes) {
  std::lock_guard lock(embeddedLock);
  embedded()[std::move(name)] = bytes;
}

std::string_view findEmbeddedResource(const std::string& name) {
  std::lock_guard lock(embeddedLock);
  const auto it = embedded().find(name);
  return it == embedded().end() ? std::string_view{} : it->second;
}

TAwakeHold::TAwakeHold() {
  std::lock_guard lock(awakeLock);
  if (awakeHolds++ == 0) systemSeams().keepAwake(true);
}

TAwakeHold::~TAwakeHold() {
  std::lock_guard lock(awakeLock);
  if (--awakeHolds == 0) systemSeams().keepAwake(false);
}

TProgramArguments::TProgramArguments(int argc, const char* const* argv)
    : texts_(programArguments(argc, argv)) {
  for (const std::string& text : texts_) pointers_.push_back(text.c_str());
}
