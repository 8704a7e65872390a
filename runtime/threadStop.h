// What the owner of a thread that fires into a schema (the serial reader, a
// timer's ticks) needs to end it soundly.
//
// Stop tokens: the owner gives its thread a stop token; a wait inside an
// element on that thread (the pause after an upload) ends early once the
// owner asks the thread to stop, so ending it never waits for such a wait.
//
// Waiting for the thread: the thread may itself wait for the waiting one (a
// synchronous call to the UI thread), so waits go through a service that
// the window library installs to keep serving such calls meanwhile.
#pragma once

#include <functional>
#include <stop_token>

// The stop token of the calling thread; an empty one (never stopped) on a
// thread without an owner that stops it.
std::stop_token currentStopToken();

// Gives the calling thread a stop token for the scope's lifetime.
class TStopScope {
 public:
  explicit TStopScope(std::stop_token token);
  ~TStopScope();
  TStopScope(const TStopScope&) = delete;
  TStopScope& operator=(const TStopScope&) = delete;

 private:
  friend std::stop_token currentStopToken();
  const std::stop_token token_;
  const TStopScope* previous_;
};

// Waits until done() answers true, checking it at least every few
// milliseconds, and does whatever work is due on the calling thread.
using TWaitService = void (*)(const std::function<bool()>& done);
// Installs the service (null: plain short sleeps); call before other threads
// run.
void setWaitService(TWaitService service);
// Waits until done() answers true, through the installed service.
void waitUntilDone(const std::function<bool()>& done);
