// The command-line uploader's schema: the serial port, the answer router and
// the two hosted schemas wired as on the form, with console elements where
// the form has controls. The running check sum lives in a store that starts
// at "FFFF" (the form keeps it in a hidden edit field).
#pragma once

#include <cstdio>

#include "app/flash/zkConsoleLine.h"
#include "app/flash/zkFlashOutcome.h"
#include "app/flash/zkProgressReport.h"
#include "elements/zkEventFromData.h"
#include "runtime/zkCommutator.h"
#include "runtime/zkHub.h"
#include "runtime/zkMultiElementEx.h"
#include "serial/zkComAsync.h"

class TFlashSchema {
 public:
  explicit TFlashSchema(bool progressOnTerminal, TSerialSystem& serial = platformSerialSystem());
  // Closes the port and stops the watchdog before any element goes.
  ~TFlashSchema();
  TFlashSchema(const TFlashSchema&) = delete;
  TFlashSchema& operator=(const TFlashSchema&) = delete;

  // What the operator's port choice does on the form: close any open port,
  // remember the name, let the probe open it and ask the device.
  void selectPort(const std::string& port);
  // What "Записать" does: start the transfer.
  void startUpload();
  void listPorts();
  void closePort();

  // Members in creation order; C++ destroys them in reverse.
  TZKConsoleLine consoleStatus;
  TZKConsoleLine consolePorts;
  TZKFlashOutcome outcome;
  TZKProgressReport progress;
  TZKEventFromData crcStore;
  TZKHub hubPortWrite;
  TZKMultiElementEx probe{nullptr};
  TZKMultiElementEx upload{nullptr};
  TZKCommutator routeAnswer;
  TZKComAsync comPort;
  TZKHub hubOpened;
  TZKEventFromData portMemory;
  TZKHub hubPortSelected;
};
