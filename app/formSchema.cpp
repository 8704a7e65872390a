#include "formSchema.h"

#include <iterator>

#include "app/portSettings.h"
#include "app/probeSchema.h"
#include "app/programBitmap.h"
#include "app/texts.h"
#include "app/uploadSchema.h"
#include "app/version.h"
#include "runtime/codepage.h"
#include "ui/windowTree.h"

using Probe = TClassMultiElementEx_21686E0;
using Upload = TClassMultiElementEx_2168BB0;

TClassSimpleForm_20F8870* ClassSimpleForm_20F8870 = nullptr;

namespace {
// A colour word whose top byte is 0xFF names a system colour.
constexpr uint32_t systemColor(uint8_t index) { return 0xFF000000u | index; }

TFontRec formFont(uint8_t size = 8, uint8_t style = 0) {
  return makeFontRec("MS Sans Serif", size, style, 0, 1);
}

void place(TWindowElement& element, int32_t left, int32_t top, int32_t width, int32_t height) {
  element.Left = left;
  element.Top = top;
  element.Width = width;
  element.Height = height;
}

// Every control shares the flat look and the form's font unless told apart.
void setCommon(TZKWin& control, int32_t left, int32_t top, int32_t width, int32_t height) {
  place(control, left, top, width, height);
  control.Ctl3D = 1;
  control.Font = formFont();
}

void setLabel(TZKLabel& label, const std::string& caption, uint8_t textAlign, uint8_t autoSize) {
  label.Caption = caption;
  label.setTextAlign(textAlign);
  label.setAutoSize(autoSize);
}

void setInteger(TData& d, int32_t value) { makeInteger(d, value); }

}  // namespace

TClassSimpleForm_20F8870::TClassSimpleForm_20F8870(TSerialSystem& serial)
    : formWindow(setUpForm()), comPort(serial) {
  setProperties();
  link();
  attachHintsAndLayouts({&labelError, &labelCheck, &buttonWrite, &editStatus, &comboPort});
  // The hosted schemas come to life here; the upload loads the image.
  probe.setFactory(&Probe::create);
  upload.setFactory(&Upload::create);
  attachHintsAndLayouts({&progressBlocks, &labelVersion, &editCrc, &labelCrcReceived, &labelCrc,
                         &buttonOk, &imageMark, &labelSuccess});
  enableTabNavigation(formMain.nativeControl());
}

TClassSimpleForm_20F8870::~TClassSimpleForm_20F8870() {
  // The serial reader (also in the pause after an upload) and the watchdog
  // fire into the elements below: both end before any of them goes.
  TData none;
  comPort.stopWatch();
  comPort.inClose(none, 0);
  probe.stopThreads();
  upload.stopThreads();
  if (ClassSimpleForm_20F8870 == this) ClassSimpleForm_20F8870 = nullptr;
}

TNativeControl* TClassSimpleForm_20F8870::setUpForm() {
  ClassSimpleForm_20F8870 = this;
  place(formMain, 200, 200, 616, 171);
  formMain.Color = systemColor(15);
  formMain.Ctl3D = 1;
  formMain.setCaption("Quilmatronx bootloader");
  formMain.setBorderStyle(1);
  formMain.setIcon(windowSystem().loadIcon("ASMA"));
  formMain.setNoTaskButton(0);
  formMain.DragByClient = 1;
  formMain.init();
  return formMain.nativeControl();
}

void TClassSimpleForm_20F8870::setProperties() {
  setCommon(labelError, 0, 0, 610, 24);
  labelError.Align = 2;
  labelError.Font = formFont(10);
  setLabel(labelError, texts::transferError(), 2, 1);
  labelError.Visible = 0;
  labelError.init();

  setCommon(labelCheck, 0, 24, 610, 24);
  labelCheck.Align = 2;
  labelCheck.Font = formFont(10);
  setLabel(labelCheck, texts::checkCables(), 2, 1);
  labelCheck.Visible = 0;
  labelCheck.init();

  setCommon(buttonWrite, 5, 50, 85, 30);
  buttonWrite.Caption = utf8To1251("Записать");
  setInteger(buttonWrite.Data, 0);
  buttonWrite.Enabled = 0;
  buttonWrite.init();

  setCommon(editStatus, 110, 10, 320, 25);
  editStatus.Color = systemColor(22);
  editStatus.Ctl3D = 0;
  editStatus.Text = texts::choosePort();
  editStatus.ReadOnly = 1;
  editStatus.init();

  setCommon(comboPort, 10, 10, 85, 24);
  comboPort.Color = systemColor(5);
  comboPort.SelectType = 1;
  comboPort.ItemHeight = 20;
  comboPort.init();

  hubPortWrite.InCount = 2;
  hubPortWrite.setOutCount(1);

  probe.InstanceMode = 0;
  probe.ParentSchema = this;
  probe.outEvent.resize(5);
  probe.dataPoint.resize(1);
  upload.InstanceMode = 0;
  upload.ParentSchema = this;
  upload.outEvent.resize(6);
  upload.dataPoint.resize(1);

  routeAnswer.InCount = 1;
  routeAnswer.setOutCount(2);

  applyUploaderPortSettings(comPort);
  // Adapters plugged in or pulled while the operator chooses.
  comPort.WatchPorts = true;

  hubWriteClicked.InCount = 1;
  hubWriteClicked.setOutCount(3);

  setCommon(progressBlocks, 5, 90, 600, 30);
  progressBlocks.Ctl3D = 0;
  progressBlocks.Max = 507;
  progressBlocks.Vertical = 0;
  progressBlocks.Smooth = 1;
  progressBlocks.BarColor = systemColor(16);
  progressBlocks.init();

  hubDeviceFound.InCount = 1;
  hubDeviceFound.setOutCount(3);
  setInteger(dataPortLock.Data, 0);
  hubClosePort.InCount = 2;
  hubClosePort.setOutCount(1);

  setCommon(labelVersion, 110, 55, 272, 20);
  setLabel(labelVersion,
           utf8To1251(std::string("Версия ПО для обновления:") + version::firmware +
                      " (KVM3,LNT3,DS470)"),
           0, 1);
  labelVersion.init();

  setCommon(editCrc, 45, 145, 85, 25);
  editCrc.Color = systemColor(5);
  editCrc.Ctl3D = 0;
  editCrc.Text = "FFFF";
  editCrc.Visible = 0;
  editCrc.init();

  setCommon(labelCrcReceived, 140, 150, 101, 20);
  setLabel(labelCrcReceived, utf8To1251("CRC принятый:"), 0, 1);
  labelCrcReceived.init();

  setCommon(labelCrc, 10, 150, 35, 20);
  setLabel(labelCrc, "CRC:", 0, 1);
  labelCrc.init();

  hubWriteEnable.InCount = 2;
  hubWriteEnable.setOutCount(1);
  hubPortSelected.InCount = 1;
  hubPortSelected.setOutCount(3);
  hubFinish.InCount = 2;
  hubFinish.setOutCount(2);
  setInteger(dataHide.Data, 0);
  setInteger(dataShow.Data, 1);
  hubHideControls.InCount = 1;
  hubHideControls.setOutCount(5);
  hubFormEnable.InCount = 2;
  hubFormEnable.setOutCount(1);
  hubShowOk.InCount = 1;
  hubShowOk.setOutCount(2);

  setCommon(buttonOk, 245, 60, 115, 30);
  buttonOk.Caption = "OK";
  buttonOk.Visible = 0;
  buttonOk.init();

  hubAfterPause.InCount = 1;
  hubAfterPause.setOutCount(3);
  setInteger(dataErrorShow.Data, 1);
  hubError.InCount = 1;
  hubError.setOutCount(2);
  hubErrorShow.InCount = 1;
  hubErrorShow.setOutCount(3);

  setCommon(imageMark, 145, 3, 15, 14);
  imageMark.setBitmap(loadProgramBitmap("BITMAP0"));
  // The 290-pixel mark shrinks to 15 by 14: smoothed where the system can.
  imageMark.setHalftone(1);
  imageMark.Visible = 0;
  imageMark.init();

  setInteger(dataClearError.Data, 0);

  setCommon(labelSuccess, 5, 0, 492, 49);
  labelSuccess.Font = formFont(10, 1);
  setLabel(labelSuccess,
           std::string(29, ' ') + texts::successLine1() + "\r\n" + std::string(24, ' ') +
               texts::successLine2(),
           2, 0);
  labelSuccess.Visible = 0;
  labelSuccess.init();

  setInteger(dataSuccessShow.Data, 1);
  sleepAfterDone.Delay = 15000000;
  setInteger(switchDone.DataOn, 1);
  setInteger(switchDone.DataOff, 0);
  switchDone.setDefault(1);
  ifNotDone.Type = 0;
  setInteger(ifNotDone.Op2, 0);
}

void TClassSimpleForm_20F8870::link() {
  formMain.outCreate = makeEventLink<&TZKComAsync::inEnumPorts>(&comPort, 4);
  formMain.outClose = makeEventLink<&TZKHub::inWork>(&hubClosePort, 0);
  buttonWrite.outClick = makeEventLink<&TZKHub::inWork>(&hubWriteClicked);
  comboPort.outSelect = makeEventLink<&TZKHub::inWork>(&hubPortSelected);
  hubPortWrite.outEvent[0] = makeEventLink<&TZKComAsync::inWrite>(&comPort, 2);

  probe.outEvent[Probe::outSend] = makeEventLink<&TZKHub::inWork>(&hubPortWrite, 0);
  probe.outEvent[Probe::outMessage] = makeEventLink<&TZKEdit::inSetText>(&editStatus);
  probe.outEvent[Probe::outOpenPort] = makeEventLink<&TZKComAsync::inOpen>(&comPort, 0);
  probe.outEvent[Probe::outFound] = makeEventLink<&TZKHub::inWork>(&hubDeviceFound);

  upload.outEvent[Upload::outProgress] =
      makeEventLink<&TZKProgressBar::inSetPosition>(&progressBlocks);
  upload.outEvent[Upload::outSend] = makeEventLink<&TZKHub::inWork>(&hubPortWrite, 1);
  upload.outEvent[Upload::outDone] = makeEventLink<&TZKSwitch::inSwitch>(&switchDone);
  upload.outEvent[Upload::outError] = makeEventLink<&TZKIf_else::inCompare>(&ifNotDone);
  upload.outEvent[Upload::outCrc] = makeEventLink<&TZKEdit::inSetText>(&editCrc);
  upload.dataPoint[Upload::dataCrc] = makeEventLink<&TZKEdit::varText>(&editCrc);

  probe.dataPoint[Probe::dataPending] = makeEventLink<&TZKComAsync::varPending>(&comPort);
  routeAnswer.dataOutput = makeEventLink<&TZKMultiElementEx::varPoint>(&probe, Probe::varRoute);
  routeAnswer.outEvent[0] = makeEventLink<&TZKMultiElementEx::inWork>(&probe, Probe::inAnswer);
  routeAnswer.outEvent[1] = makeEventLink<&TZKMultiElementEx::inWork>(&upload, Upload::inAnswer);

  comPort.outRead = makeEventLink<&TZKCommutator::inWork>(&routeAnswer);
  comPort.outWriteFailed =
      makeEventLink<&TZKMultiElementEx::inWork>(&upload, Upload::inWriteFailed);
  comPort.dataPort = makeEventLink<&TZKEventFromData::varStored>(&portMemory);
  comPort.outRxChar = makeEventLink<&TZKComAsync::inRead>(&comPort, 3);
  comPort.outPort = makeEventLink<&TZKComboBox::inAdd>(&comboPort);
  comPort.outPortGone = makeEventLink<&TZKComboBox::inRemove>(&comboPort);
  hubDeviceFound.outEvent[2] = makeEventLink<&TZKComAsync::inStopWatch>(&comPort, 5);
  comPort.outOpen = makeEventLink<&TZKMultiElementEx::inWork>(&probe, Probe::inOpened);

  // The window is disabled before block 1 goes out: a write that fails
  // decides the transfer on this thread at once, and its display (which
  // enables the window for "OK") must come after.
  hubWriteClicked.outEvent[0] = makeEventLink<&TZKHub::inWork>(&hubWriteEnable, 1);
  hubWriteClicked.outEvent[1] = makeEventLink<&TZKHub::inWork>(&hubFormEnable, 0);
  hubWriteClicked.outEvent[2] =
      makeEventLink<&TZKMultiElementEx::inWork>(&upload, Upload::inUpload);

  hubDeviceFound.outEvent[0] = makeEventLink<&TZKDoData::inDoData>(&dataPortLock);
  hubDeviceFound.outEvent[1] = makeEventLink<&TZKHub::inWork>(&hubWriteEnable, 0);
  dataPortLock.outEventData = makeEventLink<&TWindowElement::inSetEnabled>(&comboPort);
  hubClosePort.outEvent[0] = makeEventLink<&TZKComAsync::inClose>(&comPort, 1);
  hubWriteEnable.outEvent[0] = makeEventLink<&TWindowElement::inSetEnabled>(&buttonWrite);

  hubPortSelected.outEvent[0] = makeEventLink<&TZKHub::inWork>(&hubClosePort, 1);
  hubPortSelected.outEvent[1] = makeEventLink<&TZKEventFromData::inStore>(&portMemory);
  hubPortSelected.outEvent[2] = makeEventLink<&TZKMultiElementEx::inWork>(&probe, Probe::inSelect);

  hubFinish.outEvent[0] = makeEventLink<&TZKDoData::inDoData>(&dataHide);
  hubFinish.outEvent[1] = makeEventLink<&TZKDoData::inDoData>(&dataShow);
  dataHide.outEventData = makeEventLink<&TZKHub::inWork>(&hubHideControls);
  dataShow.outEventData = makeEventLink<&TZKHub::inWork>(&hubShowOk);
  TWindowElement* const hidden[] = {&comboPort, &editStatus, &progressBlocks, &buttonWrite,
                                    &labelVersion};
  for (size_t i = 0; i < std::size(hidden); ++i) {
    hubHideControls.outEvent[i] = makeEventLink<&TWindowElement::inSetVisible>(hidden[i]);
  }
  hubFormEnable.outEvent[0] = makeEventLink<&TWindowElement::inSetEnabled>(&formMain);
  hubShowOk.outEvent[0] = makeEventLink<&TZKHub::inWork>(&hubFormEnable, 1);
  hubShowOk.outEvent[1] = makeEventLink<&TWindowElement::inSetVisible>(&buttonOk);
  buttonOk.outClick = makeEventLink<&TZKSimpleForm::inClose>(&formMain);

  hubAfterPause.outEvent[0] = makeEventLink<&TZKHub::inWork>(&hubFinish, 0);
  hubAfterPause.outEvent[1] = makeEventLink<&TZKDoData::inDoData>(&dataClearError);
  hubAfterPause.outEvent[2] = makeEventLink<&TZKDoData::inDoData>(&dataSuccessShow);
  dataErrorShow.outEventData = makeEventLink<&TZKHub::inWork>(&hubErrorShow);
  dataErrorShow.dataData = makeEventLink<&TZKEventFromData::varStored>(&errorMemory);
  hubError.outEvent[0] = makeEventLink<&TZKHub::inWork>(&hubFinish, 1);
  hubError.outEvent[1] = makeEventLink<&TZKDoData::inDoData>(&dataErrorShow);
  TWindowElement* const errorShown[] = {&labelCheck, &labelError, &imageMark};
  for (size_t i = 0; i < std::size(errorShown); ++i) {
    hubErrorShow.outEvent[i] = makeEventLink<&TWindowElement::inSetVisible>(errorShown[i]);
  }
  dataClearError.outEventData = makeEventLink<&TZKEventFromData::inStore>(&errorMemory);
  dataSuccessShow.outEventData = makeEventLink<&TWindowElement::inSetVisible>(&labelSuccess);
  sleepAfterDone.outEnd = makeEventLink<&TZKHub::inWork>(&hubAfterPause);
  switchDone.outSwitch = makeEventLink<&TZKSleep::inSleep>(&sleepAfterDone);
  ifNotDone.outTrue = makeEventLink<&TZKHub::inWork>(&hubError);
  ifNotDone.dataOp1 = makeEventLink<&TZKSwitch::varState>(&switchDone);
}

// No tooltip texts and no layout manager are configured, so nothing gets
// attached; the calls keep the place where a configured one would be.
void TClassSimpleForm_20F8870::attachHintsAndLayouts(std::initializer_list<TZKWin*> elements) {
  for (TZKWin* element : elements) {
    element->attachHintManager(nullptr);
    element->attachLayout(nullptr);
  }
}
