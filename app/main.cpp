// quilmatronx-bootloader: the window program. The window system is the
// platform's own, or the in-memory one when QUIL_HEADLESS is set.
#include "app/displayCheck.h"
#include "app/programEntry.h"
#include "runtime/systemSeams.h"

namespace {

// No screen to show the window on (sysexits' EX_UNAVAILABLE).
constexpr int NoDisplay = 69;

}  // namespace

int main(int argc, char** argv) {
  if (!displayAvailable()) return NoDisplay;
  const TProgramArguments arguments(argc, argv);
  return runBootloader(arguments.count(), arguments.values());
}
