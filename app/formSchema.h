// The main form: the window, its controls, the serial port and the two
// hosted schemas (device probe, firmware upload), wired so that the
// operator's whole workflow follows from the links alone.
#pragma once

#include "elements/zkDoData.h"
#include "elements/zkEventFromData.h"
#include "elements/zkIf_else.h"
#include "elements/zkSleep.h"
#include "elements/zkSwitch.h"
#include "runtime/zkCommutator.h"
#include "runtime/zkHub.h"
#include "runtime/zkMultiElementEx.h"
#include "serial/zkComAsync.h"
#include "ui/zkButton.h"
#include "ui/zkComboBox.h"
#include "ui/zkEdit.h"
#include "ui/zkImage.h"
#include "ui/zkLabel.h"
#include "ui/zkProgressBar.h"
#include "ui/zkSimpleForm.h"

class TClassSimpleForm_20F8870 {
 public:
  // Needs the window system installed; builds with event delivery off. The
  // port goes through `serial` (the platform's, or one that records it).
  explicit TClassSimpleForm_20F8870(TSerialSystem& serial = platformSerialSystem());
  // Closes the port and stops the watchdog before any element goes; on the
  // UI thread it keeps serving the display calls of those threads meanwhile.
  virtual ~TClassSimpleForm_20F8870();
  TClassSimpleForm_20F8870(const TClassSimpleForm_20F8870&) = delete;
  TClassSimpleForm_20F8870& operator=(const TClassSimpleForm_20F8870&) = delete;

  // Members in creation order; C++ destroys them in reverse, the form last.
  // Every control is created on the form's window, so the form is set up
  // (setters, then init) before the first control member is constructed.
  TZKSimpleForm formMain;
  TNativeControl* const formWindow;
  TZKLabel labelError{formWindow};
  TZKLabel labelCheck{formWindow};
  TZKButton buttonWrite{formWindow};
  TZKEdit editStatus{formWindow};
  TZKComboBox comboPort{formWindow};
  TZKHub hubPortWrite;
  TZKMultiElementEx probe{formWindow};
  TZKMultiElementEx upload{formWindow};
  TZKCommutator routeAnswer;
  TZKComAsync comPort;
  TZKHub hubWriteClicked;
  TZKProgressBar progressBlocks{formWindow};
  TZKHub hubDeviceFound;
  TZKDoData dataPortLock;
  TZKHub hubClosePort;
  TZKLabel labelVersion{formWindow};
  TZKEdit editCrc{formWindow};
  TZKLabel labelCrcReceived{formWindow};
  TZKLabel labelCrc{formWindow};
  TZKHub hubWriteEnable;
  TZKEventFromData portMemory;
  TZKHub hubPortSelected;
  TZKHub hubFinish;
  TZKDoData dataHide;
  TZKDoData dataShow;
  TZKHub hubHideControls;
  TZKHub hubFormEnable;
  TZKHub hubShowOk;
  TZKButton buttonOk{formWindow};
  TZKHub hubAfterPause;
  TZKDoData dataErrorShow;
  TZKHub hubError;
  TZKHub hubErrorShow;
  TZKImage imageMark{formWindow};
  TZKEventFromData errorMemory;
  TZKDoData dataClearError;
  TZKLabel labelSuccess{formWindow};
  TZKDoData dataSuccessShow;
  TZKSleep sleepAfterDone;
  TZKSwitch switchDone;
  TZKIf_else ifNotDone;

 private:
  TNativeControl* setUpForm();
  void setProperties();
  void link();
  void attachHintsAndLayouts(std::initializer_list<TZKWin*> elements);
};

// The schema the program runs: set while it is constructed, cleared when it
// is destroyed.
extern TClassSimpleForm_20F8870* ClassSimpleForm_20F8870;
