#include "systemSeams.h"

#include <map>
#include <mutex>

namespace {
std::mutex embeddedLock;
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
