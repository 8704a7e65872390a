// Linux: CLOCK_MONOTONIC in nanoseconds.
#include <time.h>

#include "../highResClock.h"

uint64_t highResTicks() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1'000'000'000u + static_cast<uint64_t>(now.tv_nsec);
}

uint64_t highResFrequency() { return 1'000'000'000u; }
