#include "flashSchema.h"

#include "app/portSettings.h"
#include "app/probeSchema.h"
#include "app/uploadSchema.h"

using Probe = TClassMultiElementEx_21686E0;
using Upload = TClassMultiElementEx_2168BB0;

TFlashSchema::TFlashSchema(bool progressOnTerminal, TSerialSystem& serial) : comPort(serial) {
  consoleStatus.Stream = stdout;
  consolePorts.Stream = stdout;
  progress.Stream = stderr;
  progress.Terminal = progressOnTerminal;
  TData initialCrc;
  makeString(initialCrc, "FFFF");
  crcStore.inStore(initialCrc, 0);  // direct call: links are not live yet
  hubPortWrite.InCount = 2;
  hubPortWrite.setOutCount(1);
  probe.InstanceMode = 0;
  probe.outEvent.resize(5);
  upload.InstanceMode = 0;
  upload.outEvent.resize(6);
  upload.dataPoint.resize(1);
  routeAnswer.InCount = 1;
  routeAnswer.setOutCount(2);
  applyUploaderPortSettings(comPort);
  hubOpened.InCount = 1;
  hubOpened.setOutCount(2);
  hubPortSelected.InCount = 1;
  hubPortSelected.setOutCount(3);

  hubPortWrite.outEvent[0] = makeEventLink<&TZKComAsync::inWrite>(&comPort, 2);
  probe.outEvent[Probe::outSend] = makeEventLink<&TZKHub::inWork>(&hubPortWrite, 0);
  probe.outEvent[Probe::outMessage] = makeEventLink<&TZKConsoleLine::inWrite>(&consoleStatus);
  probe.outEvent[Probe::outOpenPort] = makeEventLink<&TZKComAsync::inOpen>(&comPort, 0);
  probe.outEvent[Probe::outFail] = makeEventLink<&TZKFlashOutcome::inFail>(&outcome);
  probe.outEvent[Probe::outFound] = makeEventLink<&TZKFlashOutcome::inFound>(&outcome);
  upload.outEvent[Upload::outProgress] =
      makeEventLink<&TZKProgressReport::inSetPosition>(&progress);
  upload.outEvent[Upload::outSend] = makeEventLink<&TZKHub::inWork>(&hubPortWrite, 1);
  upload.outEvent[Upload::outDone] = makeEventLink<&TZKFlashOutcome::inDone>(&outcome);
  upload.outEvent[Upload::outError] = makeEventLink<&TZKFlashOutcome::inError>(&outcome);
  upload.outEvent[Upload::outCrc] = makeEventLink<&TZKEventFromData::inStore>(&crcStore);
  upload.dataPoint[Upload::dataCrc] = makeEventLink<&TZKEventFromData::varStored>(&crcStore);
  routeAnswer.dataOutput = makeEventLink<&TZKMultiElementEx::varPoint>(&probe, Probe::varRoute);
  routeAnswer.outEvent[0] = makeEventLink<&TZKMultiElementEx::inWork>(&probe, Probe::inAnswer);
  routeAnswer.outEvent[1] = makeEventLink<&TZKMultiElementEx::inWork>(&upload, Upload::inAnswer);
  comPort.outRead = makeEventLink<&TZKCommutator::inWork>(&routeAnswer);
  comPort.dataPort = makeEventLink<&TZKEventFromData::varStored>(&portMemory);
  comPort.outRxChar = makeEventLink<&TZKComAsync::inRead>(&comPort, 3);
  comPort.outPort = makeEventLink<&TZKConsoleLine::inWrite>(&consolePorts);
  comPort.outOpen = makeEventLink<&TZKHub::inWork>(&hubOpened);
  hubOpened.outEvent[0] = makeEventLink<&TZKFlashOutcome::inOpened>(&outcome);
  hubOpened.outEvent[1] = makeEventLink<&TZKMultiElementEx::inWork>(&probe, Probe::inOpened);
  hubPortSelected.outEvent[0] = makeEventLink<&TZKComAsync::inClose>(&comPort, 1);
  hubPortSelected.outEvent[1] = makeEventLink<&TZKEventFromData::inStore>(&portMemory);
  hubPortSelected.outEvent[2] = makeEventLink<&TZKMultiElementEx::inWork>(&probe, Probe::inSelect);

  probe.setFactory(&Probe::create);
  upload.setFactory(&Upload::create);
}

TFlashSchema::~TFlashSchema() {
  TData none;
  comPort.inClose(none, 0);
  upload.stopThreads();
}

void TFlashSchema::selectPort(const std::string& port) {
  fireEvent(makeEventLink<&TZKHub::inWork>(&hubPortSelected), port);
}

void TFlashSchema::startUpload() {
  fireEvent(makeEventLink<&TZKMultiElementEx::inWork>(&upload, Upload::inUpload), 0);
}

void TFlashSchema::listPorts() { fireEvent(makeEventLink<&TZKComAsync::inEnumPorts>(&comPort, 4)); }

void TFlashSchema::closePort() { fireEvent(makeEventLink<&TZKComAsync::inClose>(&comPort, 1)); }
