// The device probe: opens the chosen port, sends "VERS", checks the
// three-word identity answer and tells the form what it found. Hosted by a
// container on the form; its points are those of probeIface.
#pragma once

#include "elements/zkCase.h"
#include "elements/zkCounter.h"
#include "elements/zkDoData.h"
#include "elements/zkFormatStr.h"
#include "elements/zkMultiStrPart.h"
#include "elements/zkStrMask.h"
#include "runtime/zkHub.h"
#include "runtime/zkMultiElementEx.h"

class TClassMultiElementEx_21686E0 : public TClassMultiBase {
 public:
  // Boundary points.
  enum : uint16_t { inOpened = 0, inSelect = 1, inAnswer = 2 };
  enum : uint16_t { outSend = 0, outMessage = 1, outOpenPort = 2, outFail = 3, outFound = 4 };
  enum : uint16_t { varRoute = 0 };

  TClassMultiElementEx_21686E0(TZKMultiElementEx* container, void* parentSchema);
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
};
