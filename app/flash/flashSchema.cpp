#include "flashSchema.h"

#include "app/portSettings.h"
#include "app/probeSchema.h"
#include "app/uploadSchema.h"

using Probe = TClassMultiElementEx_21686E0;
using Upload = TClassMultiElementEx_2168BB0;

namespace {
void fan(TZKHub& hub, std::initializer_list<TEventLink> outputs) {
  hub.InCount = 1;
  hub.setOutCount(static_cast<uint16_t>(outputs.size()));
  size_t i = 0;
  for (const TEventLink& output : outputs) hub.outEvent[i++] = output;
}
}  // namespace

TFlashSchema::TFlashSchema(std::string port, TConsoleBoard* board, TSerialSystem& serial)
    : comPort(serial), port_(std::move(port)) {
  consoleStatus.Board = board;
  consoleStatus.Prefix = port_ + ": ";
  record.Port = port_;
  TData initialCrc;
  makeString(initialCrc, "FFFF");
  crcStore.inStore(initialCrc, 0);  // direct call: links are not live yet
  probe.InstanceMode = 0;
  probe.outEvent.resize(5);
  probe.dataPoint.resize(1);
  upload.InstanceMode = 0;
  upload.outEvent.resize(6);
  upload.dataPoint.resize(1);
  routeAnswer.InCount = 1;
  routeAnswer.setOutCount(2);
  applyUploaderPortSettings(comPort);

  // Each tap records before the schema goes on, so the record is complete
  // when an outcome that depends on it is decided.
  record.outCrc = makeEventLink<&TZKEventFromData::inStore>(&crcStore);
  fan(hubProgress, {makeEventLink<&TZKPortRecord::inProgress>(&record),
                    makeEventLink<&TZKProgressReport::inSetPosition>(&progress)});
  fan(hubError, {makeEventLink<&TZKPortRecord::inError>(&record),
                 makeEventLink<&TZKFlashOutcome::inError>(&outcome)});
  fan(hubMessage, {makeEventLink<&TZKPortRecord::inMessage>(&record),
                   makeEventLink<&TZKConsoleLine::inWrite>(&consoleStatus)});
  fan(hubProbeAnswer, {makeEventLink<&TZKPortRecord::inProbeAnswer>(&record),
                       makeEventLink<&TZKMultiElementEx::inWork>(&probe, Probe::inAnswer)});
  fan(hubUploadAnswer, {makeEventLink<&TZKPortRecord::inAnswer>(&record),
                        makeEventLink<&TZKMultiElementEx::inWork>(&upload, Upload::inAnswer),
                        makeEventLink<&TZKPortRecord::inAnswerHandled>(&record)});
  fan(hubPortWrite, {makeEventLink<&TZKComAsync::inWrite>(&comPort, 2)});
  hubPortWrite.InCount = 2;
  probe.outEvent[Probe::outSend] = makeEventLink<&TZKHub::inWork>(&hubPortWrite, 0);
  probe.outEvent[Probe::outMessage] = makeEventLink<&TZKHub::inWork>(&hubMessage);
  probe.outEvent[Probe::outOpenPort] = makeEventLink<&TZKComAsync::inOpen>(&comPort, 0);
  probe.outEvent[Probe::outFail] = makeEventLink<&TZKFlashOutcome::inFail>(&outcome);
  probe.outEvent[Probe::outFound] = makeEventLink<&TZKFlashOutcome::inFound>(&outcome);
  upload.outEvent[Upload::outProgress] = makeEventLink<&TZKHub::inWork>(&hubProgress);
  upload.outEvent[Upload::outSend] = makeEventLink<&TZKHub::inWork>(&hubPortWrite, 1);
  upload.outEvent[Upload::outDone] = makeEventLink<&TZKFlashOutcome::inDone>(&outcome);
  upload.outEvent[Upload::outError] = makeEventLink<&TZKHub::inWork>(&hubError);
  upload.outEvent[Upload::outCrc] = makeEventLink<&TZKPortRecord::inCrc>(&record);
  upload.dataPoint[Upload::dataCrc] = makeEventLink<&TZKEventFromData::varStored>(&crcStore);
  probe.dataPoint[Probe::dataPending] = makeEventLink<&TZKComAsync::varPending>(&comPort);
  routeAnswer.dataOutput = makeEventLink<&TZKMultiElementEx::varPoint>(&probe, Probe::varRoute);
  routeAnswer.outEvent[0] = makeEventLink<&TZKHub::inWork>(&hubProbeAnswer);
  routeAnswer.outEvent[1] = makeEventLink<&TZKHub::inWork>(&hubUploadAnswer);
  comPort.outRead = makeEventLink<&TZKCommutator::inWork>(&routeAnswer);
  fan(hubWriteFailed, {makeEventLink<&TZKPortRecord::inWriteFailed>(&record),
                       makeEventLink<&TZKMultiElementEx::inWork>(&upload, Upload::inWriteFailed)});
  comPort.outWriteFailed = makeEventLink<&TZKHub::inWork>(&hubWriteFailed);
  record.dataWriteFailure = makeEventLink<&TZKComAsync::varWriteFailure>(&comPort);
  record.dataCrc = makeEventLink<&TZKEventFromData::varStored>(&crcStore);
  comPort.dataPort = makeEventLink<&TZKEventFromData::varStored>(&portMemory);
  comPort.outRxChar = makeEventLink<&TZKComAsync::inRead>(&comPort, 3);
  comPort.outOpen = makeEventLink<&TZKHub::inWork>(&hubOpened);
  fan(hubOpened, {makeEventLink<&TZKFlashOutcome::inOpened>(&outcome),
                  makeEventLink<&TZKMultiElementEx::inWork>(&probe, Probe::inOpened)});
  // A port gone ends the transfer at once, not by the watchdog.
  fan(hubVanished, {makeEventLink<&TZKPortRecord::inVanished>(&record),
                    makeEventLink<&TZKFlashOutcome::inError>(&outcome)});
  comPort.outVanished = makeEventLink<&TZKHub::inWork>(&hubVanished);
  fan(hubPortSelected, {makeEventLink<&TZKComAsync::inClose>(&comPort, 1),
                        makeEventLink<&TZKEventFromData::inStore>(&portMemory),
                        makeEventLink<&TZKMultiElementEx::inWork>(&probe, Probe::inSelect)});

  probe.setFactory(&Probe::create);
  upload.setFactory(&Upload::create);
}

TFlashSchema::~TFlashSchema() { stop(); }

void TFlashSchema::selectPort() {
  fireEvent(makeEventLink<&TZKHub::inWork>(&hubPortSelected), port_);
}

void TFlashSchema::writeEachByte() {
  static_cast<Upload*>(upload.Instances.front()->Owner)->writeEachByte();
}

void TFlashSchema::startUpload() {
  fireEvent(makeEventLink<&TZKMultiElementEx::inWork>(&upload, Upload::inUpload), 0);
}

void TFlashSchema::closePort() {
  // Called directly, not fired: this also works while dispatch is off.
  TData none;
  comPort.inClose(none, 1);
}

void TFlashSchema::stop() {
  closePort();
  probe.stopThreads();
  upload.stopThreads();
}
