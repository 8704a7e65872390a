// The command-line uploader's schema for one port: the serial port, the
// answer router and the two hosted schemas wired as on the form, with
// console elements where the form has controls, and taps that record what
// happened on the port. The running check sum lives in a store that starts
// at "FFFF" (the form keeps it in a hidden edit field). Several instances
// run side by side in one process, one per port, each with its own port,
// reader thread and upload watchdog.
#pragma once

#include <string>

#include "app/flash/consoleBoard.h"
#include "app/flash/zkConsoleLine.h"
#include "app/flash/zkFlashOutcome.h"
#include "app/flash/zkPortRecord.h"
#include "app/flash/zkProgressReport.h"
#include "elements/zkEventFromData.h"
#include "runtime/zkCommutator.h"
#include "runtime/zkHub.h"
#include "runtime/zkMultiElementEx.h"
#include "serial/zkComAsync.h"

class TFlashSchema {
 public:
  // board: where the port's messages go (null: nowhere).
  TFlashSchema(std::string port, TConsoleBoard* board,
               TSerialSystem& serial = platformSerialSystem());
  // Stops the port's threads (stop()) before any element goes.
  ~TFlashSchema();
  TFlashSchema(const TFlashSchema&) = delete;
  TFlashSchema& operator=(const TFlashSchema&) = delete;

  const std::string& port() const { return port_; }
  // What the operator's port choice does on the form: close any open port,
  // remember the name, let the probe open it and ask the device.
  void selectPort();
  // Writes each image byte by itself instead of each block in one write
  // (before the upload starts).
  void writeEachByte();
  // What "Записать" does: start the transfer.
  void startUpload();
  // Closes the port, which ends its reader thread.
  void closePort();
  // Ends the port's part for good: closes the port and stops the upload's
  // watchdog. Nothing fires into the schema afterwards, so it can be
  // destroyed while other ports go on, whatever the dispatch switch says.
  void stop();

  // Members in creation order; C++ destroys them in reverse.
  TZKConsoleLine consoleStatus;
  TZKFlashOutcome outcome;
  TZKPortRecord record;
  TZKProgressReport progress;
  TZKEventFromData crcStore;
  TZKHub hubProgress;
  TZKHub hubError;
  TZKHub hubMessage;
  TZKHub hubProbeAnswer;
  TZKHub hubUploadAnswer;
  TZKHub hubPortWrite;
  TZKMultiElementEx probe{nullptr};
  TZKMultiElementEx upload{nullptr};
  TZKCommutator routeAnswer;
  TZKHub hubWriteFailed;
  TZKComAsync comPort;
  TZKHub hubOpened;
  TZKEventFromData portMemory;
  TZKHub hubPortSelected;
  TZKHub hubVanished;

 private:
  const std::string port_;
};
