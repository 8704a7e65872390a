// The device probe: opens the chosen port, sends "VERS", checks the
// three-word identity answer and tells the form what it found. Hosted by a
// container on the form; its points are those of probeIface.
#pragma once

#include "elements/zkCase.h"
#include "elements/zkCounter.h"
#include "elements/zkDoData.h"
#include "elements/zkFormatStr.h"
#include "elements/zkIf_else.h"
#include "elements/zkMMTimer.h"
#include "elements/zkMultiStrPart.h"
#include "elements/zkStrJoin.h"
#include "elements/zkStrMask.h"
#include "runtime/zkHub.h"
#include "runtime/zkMultiElementEx.h"

class TClassMultiElementEx_21686E0 : public TClassMultiBase {
 public:
  // Boundary points.
  enum : uint16_t { inOpened = 0, inSelect = 1, inAnswer = 2 };
  enum : uint16_t { outSend = 0, outMessage = 1, outOpenPort = 2, outFail = 3, outFound = 4 };
  enum : uint16_t { varRoute = 0 };
  // Data input: 1 while received bytes wait to be handed on (the port's
  // varPending).
  enum : uint16_t { dataPending = 0 };

  // The answer is complete at a line end, or after this long without a
  // further byte. A USB-serial adapter holds bytes back until its latency
  // timer expires (16 ms by default, restarted at every send), so one
  // answer can come in pieces up to one timer period apart, plus the
  // host's scheduling (Windows wakes in 15.6 ms steps). 50 ms is three
  // timer periods: a cut answer is joined, and the operator does not
  // notice the wait. Two separate answers are further apart: each needs a
  // "VERS", which needs the operator to choose the port again. Only real
  // quiet on the line counts: a gap that ends while received bytes still
  // wait to be handed on (a busy machine did not run the reader) starts
  // afresh.
  static constexpr uint32_t QuietGapMs = 50;

  TClassMultiElementEx_21686E0(TZKMultiElementEx* container, void* parentSchema);
  ~TClassMultiElementEx_21686E0() override;
  // Stops the quiet-gap timer.
  void stopThreads() override;
  // The container's factory.
  static TZKEditMultiEx* create(TZKMultiElementEx* container, void* parentControl,
                                void* parentSchema);

  void* ParentSchema;
  // Members in creation order; C++ destroys them in reverse, the boundary
  // element last.
  TZKEditMultiEx probeIface;
  TZKFormatStr fmtDeviceInfo;
  TZKDoData dataNoDevice;
  TZKStrMask maskIdentity;
  TZKMultiStrPart splitAnswer;
  TZKHub hubSelect;
  TZKCase caseOpenFailed;
  TZKHub hubFail;
  TZKDoData dataVers;
  TZKHub hubMessage;
  TZKHub hubFound;
  TZKCounter counterRoute;
  TZKHub hubSendVers;
  // The pieces of the answer, joined until it is complete.
  TZKStrJoin joinAnswer;
  TZKHub hubGap;
  // At the gap's end: quiet (flush), or bytes still on their way (tick on).
  TZKIf_else ifQuiet;
  TZKHub hubQuiet;
  // Last member: stopped and gone first, so a tick never meets a member
  // already destroyed.
  TZKMMTimer timerGap;
};
