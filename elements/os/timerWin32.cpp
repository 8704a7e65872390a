// Windows: the multimedia timer of winmm. Its callback runs on the
// multimedia timer's own thread.
#include <windows.h>
// windows.h first: mmsystem.h needs its types.
#include <mmsystem.h>

#include "../timerSeam.h"

namespace {
void CALLBACK timerCallback(UINT, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
  deliverTimerTick(user);
}

uint32_t startMultimediaTimer(uint32_t interval, uint32_t resolution, uintptr_t context) {
  return timeSetEvent(interval, resolution, &timerCallback, context,
                      TIME_PERIODIC | TIME_CALLBACK_FUNCTION);
}

void stopMultimediaTimer(uint32_t id) { timeKillEvent(id); }
}  // namespace

TTimerSeam platformTimerSeam() { return TTimerSeam{&startMultimediaTimer, &stopMultimediaTimer}; }
