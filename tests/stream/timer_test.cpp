// The timer element over a platform timer that the test ticks.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

#include "elements/timerSeam.h"
#include "elements/zkMMTimer.h"
#include "support/boundedWait.h"
#include "support/recorder.h"
#include "ui/windowSystem.h"

namespace {

using namespace std::chrono_literals;

enum : uint16_t { Tick, Stop };

// outTimer as "T", outStop as "S", from whichever thread fires them.
struct TTimerLog : TEventLog {
  TTimerLog() : TEventLog({"T", "S"}) {}
  void attach(TZKMMTimer& timer) {
    timer.outTimer = link(Tick);
    timer.outStop = link(Stop);
  }
  // Runs f on the firing thread for each event of that kind.
  void on(uint16_t kind, std::function<void()> f) {
    onReceive = [kind, f](TData&, uint16_t index) {
      if (index == kind) f();
    };
  }
};

// A platform timer that only ticks when the test says so.
struct TManualTimers {
  static inline std::mutex lock;
  static inline std::vector<uintptr_t> starts;  // the contexts, in order
  static inline std::vector<uint32_t> stops;
  static inline bool failing = false;

  static uint32_t start(uint32_t, uint32_t, uintptr_t context) {
    std::lock_guard guard(lock);
    if (failing) return 0;
    starts.push_back(context);
    return static_cast<uint32_t>(starts.size());
  }
  static void stop(uint32_t id) {
    std::lock_guard guard(lock);
    stops.push_back(id);
  }
  static void tick(int times = 1) {
    uintptr_t context = 0;
    {
      std::lock_guard guard(lock);
      if (!starts.empty()) context = starts.back();
    }
    for (int i = 0; i < times; ++i) deliverTimerTick(context);
  }
};

class ManualTimer : public ::testing::Test {
 protected:
  ManualTimer() {
    TManualTimers::starts.clear();
    TManualTimers::stops.clear();
    TManualTimers::failing = false;
    log.attach(timer);
  }
  ~ManualTimer() override { timer.setEnable(false); }  // while the manual seam is still installed

  TTimerSeamScope manual{{&TManualTimers::start, &TManualTimers::stop}};
  TDispatchScope dispatch;
  TTimerLog log;  // outlives the timer
  TZKMMTimer timer;
  TData none;
};

// The watchdog's way: no automatic stop, ticks until stopped.
TEST_F(ManualTimer, RunsUntilStoppedAndStopAlwaysFires) {
  timer.inStop(none, 1);  // stopped already: still fires, stops nothing
  timer.inStart(none, 0);
  TManualTimers::tick(100);
  timer.inStop(none, 1);
  TManualTimers::tick();  // a late tick of the stopped timer is ignored
  EXPECT_EQ(log.text(), "S" + std::string(100, 'T') + "S");
  EXPECT_EQ(TManualTimers::stops, std::vector<uint32_t>{1});
}

TEST_F(ManualTimer, AFailedStartStaysStoppedAndTheNextStartTriesAgain) {
  TManualTimers::failing = true;
  timer.inStart(none, 0);
  TManualTimers::tick();
  timer.inStop(none, 1);
  EXPECT_TRUE(TManualTimers::stops.empty());
  TManualTimers::failing = false;
  timer.inStart(none, 0);
  TManualTimers::tick();
  EXPECT_EQ(log.text(), "ST");
}

TEST_F(ManualTimer, ATickArrivingWhileOneIsHandledIsDropped) {
  timer.inStart(none, 0);
  int nested = 0;
  log.on(Tick, [&] {
    if (nested++ > 0) return;
    TTestThread other("a second tick", [] { TManualTimers::tick(); });
  });
  TManualTimers::tick(2);
  EXPECT_EQ(log.text(), "TT");
}

// The watchdog's time-out tick stops its own timer; the schema's owner
// stopping it from another thread must still wait for that tick.
TEST_F(ManualTimer, StopFromAnotherThreadReturnsOnlyAfterTheRunningTick) {
  for (const bool tickStopsItself : {false, true}) {
    SCOPED_TRACE(tickStopsItself ? "the tick stops its own timer" : "the timer runs");
    timer.inStart(none, 0);
    std::atomic<bool> entered{false}, release{false}, stopped{false};
    log.on(Tick, [&] {
      if (tickStopsItself) timer.inStop(none, 1);
      entered = true;
      ASSERT_TRUE(eventually("the test to release the tick", release));
    });
    TTestThread ticker("the tick", [] { TManualTimers::tick(); });
    ASSERT_TRUE(eventually("the tick to start", entered));
    TTestThread stopper("the stop", [&] {
      timer.inStop(none, 1);
      stopped = true;
    });
    std::this_thread::sleep_for(30ms);
    EXPECT_FALSE(stopped);
    release = true;
    ticker.join();
    stopper.join();
    EXPECT_EQ(log.text(), tickStopsItself ? "TSS" : "TS");
    log.clear();
  }
}

// This thread is the UI thread of a window system in memory.
TEST_F(ManualTimer, AStopWaitingForATickKeepsServingSyncCalls) {
  installWindowSystem(createHeadlessWindowSystem());
  timer.inStart(none, 0);
  std::atomic<bool> entered{false};
  std::atomic<int> served{0};
  log.on(Tick, [&] {
    entered = true;
    windowSystem().invokeSync([&] { ++served; });
  });
  TTestThread ticker("the tick", [] { TManualTimers::tick(); });
  ASSERT_TRUE(eventually("the tick to start", entered));
  timer.inStop(none, 1);
  ticker.join();
  EXPECT_EQ(served, 1);
  EXPECT_EQ(log.text(), "TS");
}

// A handler may tear down the timer's schema on the timer's own thread.
TEST_F(ManualTimer, ATickMayDestroyItsOwnTimer) {
  auto* own = new TZKMMTimer;
  TTimerLog ownLog;
  ownLog.attach(*own);
  own->setAutoStop(1);
  own->inStart(none, 0);
  ownLog.on(Tick, [&] { delete own; });
  TManualTimers::tick();
  EXPECT_EQ(ownLog.text(), "T");
}

}  // namespace
