// The machine's monotonic high-resolution counter.
#pragma once

#include <cstdint>

// Current counter value; only differences are meaningful.
uint64_t highResTicks();
// Counter ticks per second.
uint64_t highResFrequency();
