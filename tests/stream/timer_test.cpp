// The multimedia timer element: counting, stopping and threading, first over
// a manual platform timer that the test ticks, then over the real one.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "elements/timerSeam.h"
#include "elements/zkMMTimer.h"
#include "runtime/threadStop.h"
#include "support/recorder.h"

namespace {

using namespace std::chrono_literals;

// What the element fired, in order: 'T' for outTimer, 'S' for outStop, and
// on which thread. Safe to fill from the timer's thread.
struct TEventLog {
  std::mutex lock;
  std::condition_variable changed;
  std::string events;
  std::vector<std::thread::id> threads;
  std::function<void(char)> onEvent;  // runs on the firing thread, unlocked

  void inTimer(TData&, uint16_t) { add('T'); }
  void inStop(TData&, uint16_t) { add('S'); }
  void attach(TZKMMTimer& timer) {
    timer.outTimer = makeEventLink<&TEventLog::inTimer>(this);
    timer.outStop = makeEventLink<&TEventLog::inStop>(this);
  }
  void add(char event) {
    {
      std::lock_guard guard(lock);
      events += event;
      threads.push_back(std::this_thread::get_id());
    }
    changed.notify_all();
    if (onEvent) onEvent(event);
  }
  std::string text() {
    std::lock_guard guard(lock);
    return events;
  }
  size_t count(char event) {
    std::lock_guard guard(lock);
    return static_cast<size_t>(std::count(events.begin(), events.end(), event));
  }
  // Generous: only a broken timer ever waits this long.
  bool waitUntil(const std::function<bool(const std::string&)>& done) {
    std::unique_lock guard(lock);
    return changed.wait_for(guard, 10s, [&] { return done(events); });
  }
};

// A platform timer that only ticks when the test says so.
struct TManualTimers {
  struct TStart {
    uint32_t interval;
    uint32_t resolution;
    uintptr_t context;
  };
  static inline std::mutex lock;
  static inline std::vector<TStart> starts;
  static inline std::vector<uint32_t> stops;
  static inline bool failing = false;

  static uint32_t start(uint32_t interval, uint32_t resolution, uintptr_t context) {
    std::lock_guard guard(lock);
    if (failing) return 0;
    starts.push_back({interval, resolution, context});
    return static_cast<uint32_t>(starts.size());
  }
  static void stop(uint32_t id) {
    std::lock_guard guard(lock);
    stops.push_back(id);
  }
  static uintptr_t lastContext() {
    std::lock_guard guard(lock);
    return starts.empty() ? 0 : starts.back().context;
  }
  static void tick(int times = 1) {
    for (int i = 0; i < times; ++i) deliverTimerTick(lastContext());
  }
};

class ManualTimer : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = timerSeam();
    timerSeam() = TTimerSeam{&TManualTimers::start, &TManualTimers::stop};
    TManualTimers::starts.clear();
    TManualTimers::stops.clear();
    TManualTimers::failing = false;
    log.attach(timer);
  }
  void TearDown() override {
    timer.setEnable(false);  // while the manual seam is still installed
    timerSeam() = saved_;
  }

  TDispatchScope dispatch;
  TEventLog log;
  TZKMMTimer timer;
  TData none;

 private:
  TTimerSeam saved_{};
};

TEST_F(ManualTimer, AutoStopFiresExactlyThatManyTicksThenStopsThenSilence) {
  timer.setAutoStop(3);
  EXPECT_EQ(timer.Count.load(), 3);
  timer.inStart(none, 0);
  ASSERT_EQ(TManualTimers::starts.size(), 1u);
  const uintptr_t context = TManualTimers::lastContext();
  TManualTimers::tick(3);
  EXPECT_EQ(log.text(), "TTTS");
  EXPECT_EQ(TManualTimers::stops, std::vector<uint32_t>{1});
  // A late tick of the stopped timer is ignored.
  deliverTimerTick(context);
  EXPECT_EQ(log.text(), "TTTS");
  EXPECT_EQ(timer.Count.load(), 0);
  EXPECT_FALSE(timer.Busy.load());
}

TEST_F(ManualTimer, AutoStopZeroRunsUntilStoppedAndStopAlwaysFires) {
  timer.inStop(none, 1);  // stopped already: still fires, stops nothing
  EXPECT_EQ(log.text(), "S");
  EXPECT_TRUE(TManualTimers::stops.empty());

  timer.inStart(none, 0);
  TManualTimers::tick(100);
  EXPECT_EQ(log.count('T'), 100u);
  EXPECT_EQ(log.count('S'), 1u);
  EXPECT_EQ(timer.Count.load(), -1);
  timer.inStop(none, 1);
  EXPECT_EQ(log.text().back(), 'S');
  EXPECT_EQ(TManualTimers::stops.size(), 1u);
}

TEST_F(ManualTimer, NegativeAutoStopNeverStopsByItself) {
  timer.setAutoStop(-1);
  timer.inStart(none, 0);
  TManualTimers::tick(10);
  EXPECT_EQ(log.text(), "TTTTTTTTTT");
  EXPECT_EQ(timer.Count.load(), -1);
}

TEST_F(ManualTimer, StartWhileRunningOnlyResetsTheCount) {
  timer.setAutoStop(2);
  timer.inStart(none, 0);
  TManualTimers::tick();
  EXPECT_EQ(timer.Count.load(), 1);
  timer.inStart(none, 0);
  EXPECT_EQ(TManualTimers::starts.size(), 1u);
  EXPECT_EQ(timer.Count.load(), 2);
  TManualTimers::tick(2);
  EXPECT_EQ(log.text(), "TTTS");
  // Stopped by itself, it starts again.
  timer.inStart(none, 0);
  TManualTimers::tick(2);
  EXPECT_EQ(log.text(), "TTTSTTS");
  EXPECT_EQ(TManualTimers::starts.size(), 2u);
}

TEST_F(ManualTimer, PropertiesReachThePlatformTimerAndEnableLeavesTheCount) {
  timer.setEnable(true);
  timer.setEnable(false);
  timer.setInterval(25);
  timer.setResolution(3);
  timer.setAutoStop(5);
  timer.setEnable(true);
  ASSERT_EQ(TManualTimers::starts.size(), 2u);
  EXPECT_EQ(TManualTimers::starts[0].interval, 1000u);
  EXPECT_EQ(TManualTimers::starts[1].interval, 25u);
  EXPECT_EQ(TManualTimers::starts[1].resolution, 3u);
  TManualTimers::tick();
  EXPECT_EQ(timer.Count.load(), 4);
  timer.setEnable(false);
  EXPECT_EQ(log.text(), "T");  // no outStop
  EXPECT_EQ(TManualTimers::stops.size(), 2u);
}

TEST_F(ManualTimer, AFailedStartStaysStoppedAndTheNextStartTriesAgain) {
  TManualTimers::failing = true;
  timer.inStart(none, 0);
  TManualTimers::tick();
  timer.inStop(none, 1);
  EXPECT_EQ(log.text(), "S");
  EXPECT_TRUE(TManualTimers::stops.empty());
  TManualTimers::failing = false;
  timer.inStart(none, 0);
  TManualTimers::tick();
  EXPECT_EQ(log.text(), "ST");
}

TEST_F(ManualTimer, ATickArrivingWhileOneIsHandledIsDropped) {
  timer.setAutoStop(5);
  timer.inStart(none, 0);
  int nested = 0;
  log.onEvent = [&](char event) {
    if (event != 'T' || nested++ > 0) return;
    std::thread other([] { TManualTimers::tick(); });
    other.join();
  };
  TManualTimers::tick();
  EXPECT_EQ(log.text(), "T");
  EXPECT_EQ(timer.Count.load(), 4);
  TManualTimers::tick();
  EXPECT_EQ(log.text(), "TT");
}

TEST_F(ManualTimer, StopFromAnotherThreadReturnsOnlyAfterTheRunningTick) {
  timer.inStart(none, 0);
  std::atomic<bool> entered{false};
  std::atomic<bool> release{false};
  log.onEvent = [&](char event) {
    if (event != 'T') return;
    entered = true;
    while (!release) std::this_thread::sleep_for(1ms);
  };
  std::thread ticker([] { TManualTimers::tick(); });
  while (!entered) std::this_thread::sleep_for(1ms);
  std::atomic<bool> stopped{false};
  std::thread stopper([&] {
    timer.inStop(none, 1);
    stopped = true;
  });
  std::this_thread::sleep_for(30ms);
  EXPECT_FALSE(stopped);
  release = true;
  ticker.join();
  stopper.join();
  EXPECT_TRUE(stopped);
  EXPECT_EQ(log.text(), "TS");
}

std::atomic<bool> served{false};
void serveOnce(const std::function<bool()>& done) {
  while (!done()) {
    served = true;
    std::this_thread::sleep_for(1ms);
  }
}

TEST_F(ManualTimer, AStopWaitingForATickKeepsServingThroughTheHook) {
  setWaitService(&serveOnce);
  served = false;
  timer.inStart(none, 0);
  std::atomic<bool> entered{false};
  bool sawService = false;
  log.onEvent = [&](char event) {
    if (event != 'T') return;
    entered = true;
    // Like a window call waiting for the thread that is stopping the timer.
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!served && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(1ms);
    sawService = served;
  };
  std::thread ticker([] { TManualTimers::tick(); });
  while (!entered) std::this_thread::sleep_for(1ms);
  timer.inStop(none, 1);
  ticker.join();
  setWaitService(nullptr);
  EXPECT_TRUE(sawService);
  EXPECT_EQ(log.text(), "TS");
}

TEST_F(ManualTimer, DestructionWaitsForAnAutomaticStopStillFinishing) {
  auto* own = new TZKMMTimer;
  TEventLog ownLog;
  ownLog.attach(*own);
  own->setAutoStop(1);
  own->inStart(none, 0);
  std::atomic<bool> entered{false};
  std::atomic<bool> release{false};
  ownLog.onEvent = [&](char event) {
    if (event != 'S') return;
    entered = true;
    while (!release) std::this_thread::sleep_for(1ms);
  };
  std::thread ticker([] { TManualTimers::tick(); });
  while (!entered) std::this_thread::sleep_for(1ms);
  std::atomic<bool> destroyed{false};
  std::thread destroyer([&] {
    delete own;
    destroyed = true;
  });
  std::this_thread::sleep_for(30ms);
  EXPECT_FALSE(destroyed);
  release = true;
  ticker.join();
  destroyer.join();
  EXPECT_TRUE(destroyed);
  EXPECT_EQ(ownLog.text(), "TS");
}

// A handler that tears down the timer's schema from the timer's own thread:
// neither the element nor its automatic stop may touch it afterwards.
TEST_F(ManualTimer, ATickMayDestroyItsOwnTimer) {
  auto* own = new TZKMMTimer;
  TEventLog ownLog;
  ownLog.attach(*own);
  own->setAutoStop(1);
  own->inStart(none, 0);
  ownLog.onEvent = [&](char event) {
    if (event == 'T') delete own;
  };
  TManualTimers::tick();
  EXPECT_EQ(ownLog.text(), "T");
}

// The platform's own timer: short periods, counted ticks, no timing asserts.
TEST(PlatformTimer, AutoStopTicksOnTheTimersThreadThenRestarts) {
  TDispatchScope on;
  TEventLog log;
  TZKMMTimer timer;
  log.attach(timer);
  timer.setResolution(1);
  timer.setInterval(5);
  timer.setAutoStop(3);
  TData none;
  timer.inStart(none, 0);
  ASSERT_TRUE(log.waitUntil([](const std::string& e) { return e.find('S') != e.npos; }));
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(log.text(), "TTTS");
  {
    std::lock_guard guard(log.lock);
    for (const std::thread::id id : log.threads) {
      EXPECT_NE(id, std::this_thread::get_id());
      EXPECT_EQ(id, log.threads.front());
    }
  }
  timer.inStart(none, 0);
  ASSERT_TRUE(log.waitUntil([](const std::string& e) { return e.size() >= 8; }));
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(log.text(), "TTTSTTTS");
}

TEST(PlatformTimer, RunsUntilStoppedAndNoTickFollowsTheStop) {
  TDispatchScope on;
  TEventLog log;
  TZKMMTimer timer;
  log.attach(timer);
  timer.setInterval(2);
  TData none;
  timer.inStart(none, 0);
  ASSERT_TRUE(log.waitUntil([](const std::string& e) { return e.size() >= 5; }));
  timer.inStop(none, 1);
  const std::string atStop = log.text();
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(log.text(), atStop);
  EXPECT_EQ(atStop.find('S'), atStop.size() - 1);
  std::lock_guard guard(log.lock);
  EXPECT_EQ(log.threads.back(), std::this_thread::get_id());
}

TEST(PlatformTimer, AZeroIntervalDoesNotStart) {
  TDispatchScope on;
  TEventLog log;
  TZKMMTimer timer;
  log.attach(timer);
  timer.setInterval(0);
  TData none;
  timer.inStart(none, 0);
  std::this_thread::sleep_for(30ms);
  timer.inStop(none, 1);
  EXPECT_EQ(log.text(), "S");
}

}  // namespace
