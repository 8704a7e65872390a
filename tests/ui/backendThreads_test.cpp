// Calls from other threads on a real window backend: the same checks for
// each backend, built into its suite.
#include <atomic>
#include <thread>

#include "backendSuite.h"

namespace {
using BackendThreads = TBackendSuite;
}  // namespace

TEST_F(BackendThreads, CallsFromAnotherThreadRunWhileTheUiThreadWaitsForThatThread) {
  TRecordingEvents events;
  auto progress = child(WinClass::Progress, BackendStyles::Progress, {5, 90, 605, 120}, &events);
  progress->setProgressRange(0, 507);
  std::atomic<bool> finished{false};
  std::thread worker([&] {
    for (int32_t i = 1; i <= 507; ++i) {
      system->invokeSync([&, i] { progress->setProgressPosition(i); });
    }
    finished = true;
  });
  // The UI thread joins the worker that calls in: no deadlock.
  system->waitPumping([&] { return finished.load(); });
  worker.join();
  EXPECT_EQ(progress->progressPosition(), 507);
}

TEST_F(BackendThreads, TheLoopServesCallsAndEndsOnQuitFromAnotherThread) {
  // A system of its own: the end of the loop shuts it down.
  auto own = createPlatformWindowSystem();
  TRecordingEvents events;
  auto label = own->createControl(
      controlSpec(WinClass::Static, BackendStyles::Label, {0, 0, 100, 20}, form, &events));
  std::thread worker([&] {
    own->invokeSync([&] { label->setText(cp("Готово")); });
    own->quit(3);
  });
  EXPECT_EQ(own->runMessageLoop(), 3);
  worker.join();
  EXPECT_EQ(label->text(), cp("Готово"));
  // After the loop the window system is shut down: calls return at once.
  bool ran = false;
  std::thread late([&] { own->invokeSync([&] { ran = true; }); });
  late.join();
  EXPECT_FALSE(ran);
}
