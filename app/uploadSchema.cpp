#include "uploadSchema.h"

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
  uploadIface.outWork.resize(2);

  convChar.Mode = 4;
  convChar.Digits = 1;
  readByte.ItemReader = &readByteItem;
  counterBlocks.Min = 0;
  counterBlocks.Max = 507;
  counterBlocks.Step = 1;
  counterBlocks.Direction = 0;
  counterBlocks.setDefault(0);
  hubNextBlock.InCount = 2;
  hubNextBlock.setOutCount(1);
  maskBlockAck.Mask = "SZ";
  maskBlockAck.IgnoreCase = 1;
  maskFinalAck.Mask = "FZ";
  maskFinalAck.IgnoreCase = 1;
  hubAnswer.InCount = 1;
  hubAnswer.setOutCount(3);
  firmwareStream.setStream(loadResourceStream("STREAM0"));
  loopBlock.Start = 0;
  loopBlock.End = 255;
  loopBlock.Step = 1;
  loopBlock.IncludeEnd = 1;
  loopBlock.UseEventData = 0;
  hubBlockAck.InCount = 1;
  hubBlockAck.setOutCount(2);
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
  hubStart.setOutCount(2);
  ifTimeout.Type = 0;
  makeInteger(ifTimeout.Op2, 3);
  ifImageLeft.Type = 0;
  makeInteger(ifImageLeft.Op2, 0);
  latchOutcome.setCounts(3, 2);

  const auto boundaryOut = [this](uint16_t output) {
    return makeEventLink<&TZKEditMultiEx::inEvent>(&uploadIface, output);
  };
  const TEventLink readCrc = makeEventLink<&TZKEditMultiEx::varOuter>(&uploadIface, dataCrc);
  uploadIface.outWork[inAnswer] = makeEventLink<&TZKLatch::inPass>(&latchOutcome, passAnswer);
  uploadIface.outWork[inUpload] = makeEventLink<&TZKLatch::inPass>(&latchOutcome, passStart);
  latchOutcome.outPass[passAnswer] = makeEventLink<&TZKHub::inWork>(&hubAnswer);
  latchOutcome.outPass[passStart] = makeEventLink<&TZKHub::inWork>(&hubStart);
  hubStart.outEvent[0] = makeEventLink<&TZKHub::inWork>(&hubNextBlock, 1);
  hubStart.outEvent[1] = makeEventLink<&TZKMMTimer::inStart>(&timerWatch);
  hubNextBlock.outEvent[0] = makeEventLink<&TZKFor::inFor>(&loopBlock);
  loopBlock.outEvent = makeEventLink<&TZKDataToFile::inGet>(&readByte, 1);
  readByte.dataStream = makeEventLink<&TZKMemoryStream::varStream>(&firmwareStream);
  readByte.outGet = makeEventLink<&TZKHub::inWork>(&hubByte);
  // The check sum and the masks move on before the byte goes out: the
  // device may answer the block's last byte at once, on the reader thread,
  // while this thread is still sending block 1; the answer must meet masks
  // that already count that byte.
  hubByte.outEvent[0] = makeEventLink<&TZKConvertor::inConvert>(&convHex);
  hubByte.outEvent[1] = makeEventLink<&TZKConvertor::inConvert>(&convChar);
  convChar.outResult = makeEventLink<&TZKLatch::inPass>(&latchOutcome, passByte);
  latchOutcome.outPass[passByte] = makeEventLink<&TZKHub::inWork>(&hubSend, 1);
  hubSend.outEvent[0] = boundaryOut(outSend);
  convHex.outResult = makeEventLink<&TZKCRC16_32::inCRC>(&crcRunning);
  crcRunning.dataInit = readCrc;
  crcRunning.outCRC = makeEventLink<&TZKHub::inWork>(&hubCrc);
  hubCrc.outEvent[0] = boundaryOut(outCrc);
  hubCrc.outEvent[1] = makeEventLink<&TZKStrCat::inStrCat>(&catFinal);
  hubCrc.outEvent[2] = makeEventLink<&TZKStrMask::inMask>(&maskBlockAck);
  catFinal.dataStr1 = readCrc;
  catFinal.outResult = makeEventLink<&TZKStrMask::inMask>(&maskFinalAck);
  hubAnswer.outEvent[0] = makeEventLink<&TZKStream2Hex::inConvert>(&answerHex);
  hubAnswer.outEvent[1] = boundaryOut(outAnswered);
  hubAnswer.outEvent[2] = makeEventLink<&TZKCounter::inReset>(&counterSeconds);
  answerHex.outResult = makeEventLink<&TZKStrMask::inCompare>(&maskFinalAck);
  maskFinalAck.outTrue = makeEventLink<&TZKLatch::inDecide>(&latchOutcome, decideDone);
  latchOutcome.outDecided[decideDone] = makeEventLink<&TZKHub::inWork>(&hubFinal);
  maskFinalAck.outFalse = makeEventLink<&TZKStrMask::inCompare>(&maskBlockAck);
  maskBlockAck.outTrue = makeEventLink<&TZKHub::inWork>(&hubBlockAck);
  maskBlockAck.outFalse = makeEventLink<&TZKHub::inWork>(&hubUploadFail, 0);
  hubBlockAck.outEvent[0] = makeEventLink<&TZKCounter::inNext>(&counterBlocks);
  hubBlockAck.outEvent[1] = makeEventLink<&TZKIf_else::inCompare>(&ifImageLeft);
  ifImageLeft.dataOp1 = makeEventLink<&TZKCounter::varCount>(&counterBlocks);
  ifImageLeft.outTrue = makeEventLink<&TZKHub::inWork>(&hubUploadFail, 2);
  ifImageLeft.outFalse = makeEventLink<&TZKHub::inWork>(&hubNextBlock, 0);
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

TClassMultiElementEx_2168BB0::~TClassMultiElementEx_2168BB0() { stopThreads(); }

void TClassMultiElementEx_2168BB0::stopThreads() { timerWatch.setEnable(false); }
