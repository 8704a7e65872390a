// The limit of every wait in a test, also where no test framework is at hand
// (the fuzzer): a wait that outlasts it is a hang, and the program ends.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

// Generous: only a fault ever waits this long.
inline constexpr std::chrono::milliseconds WaitLimit = std::chrono::seconds(5);

// A thread that hangs may still use the test's data: nothing can go on.
[[noreturn]] inline void endHungTest(const std::string& what,
                                     std::chrono::milliseconds limit = WaitLimit) {
  std::fprintf(stderr, "waited %lld ms in vain for %s: the test program ends here\n",
               static_cast<long long>(limit.count()), what.c_str());
  std::fflush(nullptr);
  std::_Exit(EXIT_FAILURE);
}

// Waits under the lock until done() holds.
template <class Done>
void waitOrEnd(const std::string& what, std::condition_variable& changed,
               std::unique_lock<std::mutex>& lock, Done done) {
  if (!changed.wait_for(lock, WaitLimit, done)) endHungTest(what);
}
