#include "probeSchema.h"

#include "app/texts.h"
#include "elements/compareData.h"

TZKEditMultiEx* TClassMultiElementEx_21686E0::create(TZKMultiElementEx* container, void*,
                                                     void* parentSchema) {
  return (new TClassMultiElementEx_21686E0(container, parentSchema))->Boundary;
}

TClassMultiElementEx_21686E0::TClassMultiElementEx_21686E0(TZKMultiElementEx* container,
                                                           void* parentSchema)
    : ParentSchema(parentSchema) {
  Boundary = &probeIface;
  probeIface.Container = container;
  probeIface.Owner = this;
  probeIface.outWork.resize(3);
  probeIface.dataInner.resize(1);

  fmtDeviceInfo.setCount(2);
  fmtDeviceInfo.Mask = texts::deviceInfo();
  makeString(dataNoDevice.Data, texts::noDevice());
  maskIdentity.Mask = "QUILMATRONX";
  maskIdentity.IgnoreCase = 1;
  splitAnswer.Delimiters = " ";
  splitAnswer.Skip = 0;
  splitAnswer.setCount(3);
  hubSelect.InCount = 1;
  hubSelect.setOutCount(2);
  makeInteger(caseOpenFailed.Value, 0);
  hubFail.InCount = 4;
  hubFail.setOutCount(2);
  makeString(dataVers.Data, "VERS");
  hubMessage.InCount = 2;
  hubMessage.setOutCount(1);
  hubFound.InCount = 1;
  hubFound.setOutCount(3);
  counterRoute.Min = 0;
  counterRoute.Max = 1;
  counterRoute.Step = 1;
  counterRoute.Direction = 0;
  counterRoute.setDefault(0);
  hubSendVers.InCount = 2;
  hubSendVers.setOutCount(1);
  joinAnswer.LineEnd = 1;
  hubGap.InCount = 1;
  hubGap.setOutCount(2);
  makeInteger(ifQuiet.Op1, 0);  // no port linked: quiet
  makeInteger(ifQuiet.Op2, 0);
  ifQuiet.Type = TCompareType::Equal;
  hubQuiet.InCount = 1;
  hubQuiet.setOutCount(2);
  timerGap.setResolution(1);
  timerGap.setInterval(QuietGapMs);
  timerGap.setEnable(false);
  timerGap.setAutoStop(0);

  const auto boundaryOut = [this](uint16_t output) {
    return makeEventLink<&TZKEditMultiEx::inEvent>(&probeIface, output);
  };
  probeIface.outWork[inOpened] = makeEventLink<&TZKCase::inCase>(&caseOpenFailed);
  probeIface.outWork[inSelect] = makeEventLink<&TZKHub::inWork>(&hubSelect);
  probeIface.outWork[inAnswer] = makeEventLink<&TZKStrJoin::inAdd>(&joinAnswer);
  joinAnswer.outJoined = makeEventLink<&TZKMultiStrPart::inSplit>(&splitAnswer);
  // Every piece that leaves the answer incomplete starts the gap afresh.
  joinAnswer.outWaiting = makeEventLink<&TZKHub::inWork>(&hubGap);
  hubGap.outEvent[0] = makeEventLink<&TZKMMTimer::inStop>(&timerGap);
  hubGap.outEvent[1] = makeEventLink<&TZKMMTimer::inStart>(&timerGap);
  // The timer ticks on while bytes are on their way: each tick is a gap
  // started afresh. At a quiet one it stops before the flush, so a piece
  // handled after the flush restarts it.
  timerGap.outTimer = makeEventLink<&TZKIf_else::inCompare>(&ifQuiet);
  ifQuiet.dataOp1 = makeEventLink<&TZKEditMultiEx::varOuter>(&probeIface, dataPending);
  ifQuiet.outTrue = makeEventLink<&TZKHub::inWork>(&hubQuiet);
  hubQuiet.outEvent[0] = makeEventLink<&TZKMMTimer::inStop>(&timerGap);
  hubQuiet.outEvent[1] = makeEventLink<&TZKStrJoin::inFlush>(&joinAnswer);
  probeIface.dataInner[varRoute] = makeEventLink<&TZKCounter::varCount>(&counterRoute);
  fmtDeviceInfo.dataParam[0] = makeEventLink<&TZKMultiStrPart::varPart>(&splitAnswer, 1);
  fmtDeviceInfo.dataParam[1] = makeEventLink<&TZKMultiStrPart::varPart>(&splitAnswer, 2);
  fmtDeviceInfo.outString = makeEventLink<&TZKHub::inWork>(&hubMessage, 1);
  dataNoDevice.outEventData = makeEventLink<&TZKHub::inWork>(&hubMessage, 0);
  maskIdentity.dataStr = makeEventLink<&TZKMultiStrPart::varPart>(&splitAnswer, 0);
  maskIdentity.outTrue = makeEventLink<&TZKHub::inWork>(&hubFound);
  maskIdentity.outFalse = makeEventLink<&TZKHub::inWork>(&hubFail, 1);
  splitAnswer.outSplit = makeEventLink<&TZKStrMask::inCompare>(&maskIdentity);
  splitAnswer.outNotFound = makeEventLink<&TZKHub::inWork>(&hubFail, 2);
  // Pieces from the port chosen before belong to no answer on this one.
  hubSelect.outEvent[0] = makeEventLink<&TZKStrJoin::inClear>(&joinAnswer);
  hubSelect.outEvent[1] = boundaryOut(outOpenPort);
  caseOpenFailed.outMatch = makeEventLink<&TZKHub::inWork>(&hubFail, 0);
  caseOpenFailed.outNext = makeEventLink<&TZKHub::inWork>(&hubSendVers);
  hubFail.outEvent[0] = boundaryOut(outFail);
  hubFail.outEvent[1] = makeEventLink<&TZKDoData::inDoData>(&dataNoDevice);
  dataVers.outEventData = boundaryOut(outSend);
  hubMessage.outEvent[0] = boundaryOut(outMessage);
  hubFound.outEvent[0] = makeEventLink<&TZKFormatStr::inString>(&fmtDeviceInfo);
  hubFound.outEvent[1] = makeEventLink<&TZKCounter::inNext>(&counterRoute);
  hubFound.outEvent[2] = boundaryOut(outFound);
  hubSendVers.outEvent[0] = makeEventLink<&TZKDoData::inDoData>(&dataVers);
}

TClassMultiElementEx_21686E0::~TClassMultiElementEx_21686E0() { stopThreads(); }

void TClassMultiElementEx_21686E0::stopThreads() { timerGap.setEnable(false); }
