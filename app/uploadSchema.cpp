#include "uploadSchema.h"

#include "elements/compareData.h"
#include "runtime/memoryStream.h"

TZKEditMultiEx* TClassMultiElementEx_2168BB0::create(TZKMultiElementEx* container, void*,
                                                     void* parentSchema) {
  return (new TClassMultiElementEx_2168BB0(container, parentSchema))->Boundary;
}

TClassMultiElementEx_2168BB0::TClassMultiElementEx_2168BB0(TZKMultiElementEx* container,
                                                           void* parentSchema)
    : ParentSchema(parentSchema) {
  Boundary = &uploadIface;
  uploadIface.Container = container;
  uploadIface.Owner = this;
  uploadIface.outWork.resize(3);

  convChar.Mode = 4;
  convChar.Digits = 1;
  readByte.ItemReader = &readByteItem;
  counterBlocks.Min = 0;
  counterBlocks.Max = 507;
  counterBlocks.Step = 1;
  counterBlocks.Direction = 0;
  counterBlocks.setDefault(0);
  hubNextBlock.InCount = 2;
  hubNextBlock.setOutCount(3);
  maskBlockAck.Mask = "SZ";
  maskBlockAck.IgnoreCase = 1;
  maskFinalAck.Mask = "FZ";
  maskFinalAck.IgnoreCase = 1;
  hubAnswer.InCount = 1;
  hubAnswer.setOutCount(2);
  firmwareStream.setStream(loadResourceStream("STREAM0"));
  loopBlock.Start = 0;
  loopBlock.End = 255;
  loopBlock.Step = 1;
  loopBlock.IncludeEnd = 1;
  loopBlock.UseEventData = 0;
  hubBlockAck.InCount = 1;
  hubBlockAck.setOutCount(3);
  hubSend.InCount = 2;
  hubSend.setOutCount(1);
  hubFinal.InCount = 1;
  hubFinal.setOutCount(2);
  makeString(dataPusk.Data, "PUSK");
  crcRunning.HexInput = 1;
  crcRunning.Mode = 0;
  crcRunning.Polynom = "$A001";
  crcRunning.Init = "$FFFF";
  crcRunning.SwapBytes = false;
  convHex.Mode = 6;
  convHex.Digits = 1;
  hubByte.InCount = 1;
  hubByte.setOutCount(2);
  hubCrc.InCount = 1;
  hubCrc.setOutCount(3);
  catFinal.Str1 = "";
  catFinal.Str2 = "465A";
  hubUploadFail.InCount = 3;
  hubUploadFail.setOutCount(1);
  timerWatch.setResolution(1);
  timerWatch.setInterval(1000);
  timerWatch.setEnable(false);
  timerWatch.setAutoStop(0);
  counterSeconds.Min = 0;
  counterSeconds.Max = 100;
  counterSeconds.Step = 1;
  counterSeconds.Direction = 0;
  counterSeconds.setDefault(0);
  hubStart.InCount = 1;
  hubStart.setOutCount(3);
  ifTimeout.Type = 0;
  makeInteger(ifTimeout.Op2, 3);
  ifLastBlock.Type = TCompareType::Equal;
  makeInteger(ifLastBlock.Op2, 507);
  counterStarted.Min = 0;
  counterStarted.Max = 1;
  counterStarted.Step = 1;
  counterStarted.Direction = 0;
  counterStarted.setDefault(0);
  ifStarted.Type = TCompareType::Equal;
  makeInteger(ifStarted.Op2, 1);
  latchOutcome.setCounts(4, 2);

  const auto boundaryOut = [this](uint16_t output) {
    return makeEventLink<&TZKEditMultiEx::inEvent>(&uploadIface, output);
  };
  const TEventLink readCrc = makeEventLink<&TZKEditMultiEx::varOuter>(&uploadIface, dataCrc);
  uploadIface.outWork[inAnswer] = makeEventLink<&TZKLatch::inPass>(&latchOutcome, passAnswer);
  uploadIface.outWork[inUpload] = makeEventLink<&TZKLatch::inPass>(&latchOutcome, passStart);
  uploadIface.outWork[inWriteFailed] = makeEventLink<&TZKIf_else::inCompare>(&ifStarted);
  ifStarted.dataOp1 = makeEventLink<&TZKCounter::varCount>(&counterStarted);
  ifStarted.outTrue = makeEventLink<&TZKHub::inWork>(&hubUploadFail, 2);
  latchOutcome.outPass[passAnswer] = makeEventLink<&TZKStrJoin::inAdd>(&joinAnswer);
  joinAnswer.outJoined = makeEventLink<&TZKHub::inWork>(&hubAnswer);
  latchOutcome.outPass[passStart] = makeEventLink<&TZKHub::inWork>(&hubStart);
  hubStart.outEvent[0] = makeEventLink<&TZKCounter::inNext>(&counterStarted);
  hubStart.outEvent[1] = makeEventLink<&TZKHub::inWork>(&hubNextBlock, 1);
  // Block 1 may have failed already: the watchdog starts only while the
  // transfer is undecided.
  hubStart.outEvent[2] = makeEventLink<&TZKLatch::inPass>(&latchOutcome, passWatch);
  latchOutcome.outPass[passWatch] = makeEventLink<&TZKMMTimer::inStart>(&timerWatch);
  hubNextBlock.outEvent[0] = makeEventLink<&TZKStrJoin::inClear>(&joinAnswer);
  hubNextBlock.outEvent[1] = makeEventLink<&TZKFor::inFor>(&loopBlock);
  hubNextBlock.outEvent[2] = makeEventLink<&TZKStrCollect::inFlush>(&collectBlock);
  loopBlock.outEvent = makeEventLink<&TZKDataToFile::inGet>(&readByte, 1);
  readByte.dataStream = makeEventLink<&TZKMemoryStream::varStream>(&firmwareStream);
  readByte.outGet = makeEventLink<&TZKHub::inWork>(&hubByte);
  // The check sum and the masks count each byte before its block goes out:
  // the device may answer the block at once, on the reader thread, while
  // this thread is still sending block 1; the answer must meet masks that
  // already count the whole block.
  hubByte.outEvent[0] = makeEventLink<&TZKConvertor::inConvert>(&convHex);
  hubByte.outEvent[1] = makeEventLink<&TZKConvertor::inConvert>(&convChar);
  convChar.outResult = makeEventLink<&TZKStrCollect::inAdd>(&collectBlock);
  collectBlock.outText = makeEventLink<&TZKLatch::inPass>(&latchOutcome, passBlock);
  latchOutcome.outPass[passBlock] = makeEventLink<&TZKHub::inWork>(&hubSend, 1);
  hubSend.outEvent[0] = boundaryOut(outSend);
  convHex.outResult = makeEventLink<&TZKCRC16_32::inCRC>(&crcRunning);
  crcRunning.dataInit = readCrc;
  crcRunning.outCRC = makeEventLink<&TZKHub::inWork>(&hubCrc);
  hubCrc.outEvent[0] = boundaryOut(outCrc);
  hubCrc.outEvent[1] = makeEventLink<&TZKStrCat::inStrCat>(&catFinal);
  hubCrc.outEvent[2] = makeEventLink<&TZKStrMask::inMask>(&maskBlockAck);
  // The new check sum comes with the event (Str1 is empty): the same text
  // that dataCrc now answers, without a second read through the form.
  catFinal.outResult = makeEventLink<&TZKStrMask::inMask>(&maskFinalAck);
  hubAnswer.outEvent[0] = makeEventLink<&TZKStream2Hex::inConvert>(&answerHex);
  hubAnswer.outEvent[1] = boundaryOut(outAnswered);
  // The joined bytes: the final answer, the beginning of it (the block's
  // answer is one), or wrong. A beginning that is not the block's answer
  // waits for more; only a whole answer resets the watchdog.
  answerHex.outResult = makeEventLink<&TZKStrMask::inCompare>(&maskFinalAck);
  maskFinalAck.outTrue = makeEventLink<&TZKLatch::inDecide>(&latchOutcome, decideDone);
  latchOutcome.outDecided[decideDone] = makeEventLink<&TZKHub::inWork>(&hubFinal);
  maskFinalAck.outPrefix = makeEventLink<&TZKStrMask::inCompare>(&maskBlockAck);
  maskFinalAck.outFalse = makeEventLink<&TZKHub::inWork>(&hubUploadFail, 0);
  maskBlockAck.outTrue = makeEventLink<&TZKIf_else::inCompare>(&ifLastBlock);
  ifLastBlock.dataOp1 = makeEventLink<&TZKCounter::varCount>(&counterBlocks);
  ifLastBlock.outFalse = makeEventLink<&TZKHub::inWork>(&hubBlockAck);
  hubBlockAck.outEvent[0] = makeEventLink<&TZKCounter::inNext>(&counterBlocks);
  hubBlockAck.outEvent[1] = makeEventLink<&TZKHub::inWork>(&hubNextBlock, 0);
  hubBlockAck.outEvent[2] = makeEventLink<&TZKCounter::inReset>(&counterSeconds);
  counterBlocks.outCount = boundaryOut(outProgress);
  hubFinal.outEvent[0] = makeEventLink<&TZKDoData::inDoData>(&dataPusk);
  hubFinal.outEvent[1] = boundaryOut(outDone);
  dataPusk.outEventData = makeEventLink<&TZKHub::inWork>(&hubSend, 0);
  timerWatch.outTimer = makeEventLink<&TZKCounter::inNext>(&counterSeconds);
  counterSeconds.outCount = makeEventLink<&TZKIf_else::inCompare>(&ifTimeout);
  ifTimeout.dataOp1 = makeEventLink<&TZKCounter::varCount>(&counterSeconds);
  ifTimeout.outTrue = makeEventLink<&TZKHub::inWork>(&hubUploadFail, 1);
  hubUploadFail.outEvent[0] = makeEventLink<&TZKLatch::inDecide>(&latchOutcome, decideFailed);
  latchOutcome.outDecided[decideFailed] = boundaryOut(outError);
  latchOutcome.outClosed = makeEventLink<&TZKMMTimer::inStop>(&timerWatch, 1);
}

void TClassMultiElementEx_2168BB0::writeEachByte() {
  collectBlock.Size = 1;
  // Nothing is left to flush at a block's end, and the sender must not touch
  // the collector once the block's last byte is out: the device's answer may
  // already be starting the next block on the reader's thread.
  hubNextBlock.outEvent[2] = {};
}

TClassMultiElementEx_2168BB0::~TClassMultiElementEx_2168BB0() { stopThreads(); }

void TClassMultiElementEx_2168BB0::stopThreads() { timerWatch.setEnable(false); }
