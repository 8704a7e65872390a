// The firmware upload: sends the embedded image in 256-byte blocks, checks
// each block against the running CRC the device answers, and reports
// progress, success and failure. Hosted by a container on the form; its
// points are those of uploadIface.
#pragma once

#include "elements/zkCRC16_32.h"
#include "elements/zkConvertor.h"
#include "elements/zkCounter.h"
#include "elements/zkDataToFile.h"
#include "elements/zkDoData.h"
#include "elements/zkFor.h"
#include "elements/zkIf_else.h"
#include "elements/zkLatch.h"
#include "elements/zkMMTimer.h"
#include "elements/zkMemoryStream.h"
#include "elements/zkStrCat.h"
#include "elements/zkStrCollect.h"
#include "elements/zkStrJoin.h"
#include "elements/zkStrMask.h"
#include "elements/zkStream2Hex.h"
#include "runtime/zkHub.h"
#include "runtime/zkMultiElementEx.h"

class TClassMultiElementEx_2168BB0 : public TClassMultiBase {
 public:
  // Boundary points.
  // inWriteFailed: a write did not go out whole (failed, timed out,
  // refused).
  enum : uint16_t { inAnswer = 0, inUpload = 1, inWriteFailed = 2 };
  enum : uint16_t {
    outProgress = 0,
    outSend = 1,
    outDone = 2,
    outError = 3,
    outCrc = 4,
    outAnswered = 5
  };
  enum : uint16_t { dataCrc = 0 };

  TClassMultiElementEx_2168BB0(TZKMultiElementEx* container, void* parentSchema);
  ~TClassMultiElementEx_2168BB0() override;
  // Stops the watchdog.
  void stopThreads() override;
  // The container's factory.
  static TZKEditMultiEx* create(TZKMultiElementEx* container, void* parentControl,
                                void* parentSchema);
  // Writes each image byte by itself, as soon as it is counted, instead of
  // each block in one write: for a device that needs the gaps between bytes.
  void writeEachByte();

  void* ParentSchema;
  // Members in creation order; C++ destroys them in reverse, the boundary
  // element last.
  TZKEditMultiEx uploadIface;
  TZKConvertor convChar;
  TZKDataToFile readByte;
  TZKCounter counterBlocks;
  TZKHub hubNextBlock;
  TZKStrMask maskBlockAck;
  TZKStrMask maskFinalAck;
  TZKHub hubAnswer;
  TZKMemoryStream firmwareStream;
  TZKFor loopBlock;
  TZKHub hubBlockAck;
  TZKHub hubSend;
  TZKHub hubFinal;
  TZKDoData dataPusk;
  TZKCRC16_32 crcRunning;
  TZKConvertor convHex;
  TZKHub hubByte;
  TZKHub hubCrc;
  TZKStream2Hex answerHex;
  TZKStrCat catFinal;
  TZKHub hubUploadFail;
  TZKMMTimer timerWatch;
  TZKCounter counterSeconds;
  TZKHub hubStart;
  TZKIf_else ifTimeout;
  // A plain check sum after the last block is the final answer's beginning:
  // no block is left to send, so it waits for "FZ" (bounded by the
  // watchdog).
  TZKIf_else ifLastBlock;
  // The bytes received since the block was sent: an answer cut by an
  // adapter arrives in pieces.
  TZKStrJoin joinAnswer;
  // A write that did not go out ends the transfer; writes before the start
  // (the probe's) do not count.
  TZKCounter counterStarted;
  TZKIf_else ifStarted;
  // A block's bytes, counted one by one, go to the port in one write once
  // the block is complete.
  TZKStrCollect collectBlock;
  // The transfer's one outcome: the final answer or the first failure,
  // whichever comes first. Once decided, the watchdog stops and no image
  // byte, answer or start gets through any more: a device that was told of
  // a failure is not written to.
  TZKLatch latchOutcome;
  enum : uint16_t { passBlock = 0, passAnswer = 1, passStart = 2, passWatch = 3 };
  enum : uint16_t { decideDone = 0, decideFailed = 1 };
};
