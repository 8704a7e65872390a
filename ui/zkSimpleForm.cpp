// Main form, application window and the program's message loop.
#include "zkSimpleForm.h"

#include "runtime/startList.h"

namespace {
constexpr uint32_t AppStyle = 0x90CA0000;   // popup, visible, caption, system menu, minimise box
constexpr uint32_t FormStyle = 0x00CF0000;  // overlapped window
constexpr uint32_t BorderStyleMask = 0x00C70000;
constexpr uint32_t BorderExStyleMask = 0x181;
constexpr uint32_t NoTaskButtonExStyle = WinExStyle::ToolWindow | WinExStyle::DlgModalFrame;

struct TBorderStyle {
  uint32_t Style;
  uint32_t ExStyle;
};
constexpr TBorderStyle BorderStyles[] = {
    {0, 0},
    {0x00C20000, 0},
    {0x00C70000, 0},
    {0x00C00000, 0x100},
    {0x00C00000, 0x80},
    {0x00C40000, 0x80},
    {0, 0x1},
    {0x00040000, 0x80},
    {0, 0x201},
    {0x00040000, 0x200},
};

class TApplicationWindowEvents final : public TControlEvents {
 public:
  // A close that reaches the application window itself ends the loop at once.
  void onCloseRequest(bool) override { windowSystem().quit(0); }
  // Focus given to the task-bar window goes on to the form's last focused
  // control.
  void onFocus(bool gained) override {
    TWindowNode* form = TWindowNode::of(Form);
    if (gained && form != nullptr && form->LastFocused != nullptr) {
      form->LastFocused->control().setFocus();
    }
  }

  TNativeControl* Form = nullptr;  // the form that made the window
};
TApplicationWindowEvents applicationWindowEvents;

std::unique_ptr<TNativeControl>& applicationWindowOwner() {
  static std::unique_ptr<TNativeControl> window;
  return window;
}

void freeApplicationWindow() {
  applicationWindowEvents.Form = nullptr;
  applicationWindowOwner().reset();
  ApplicationWindow = nullptr;
}
}  // namespace

TNativeControl* ApplicationWindow = nullptr;

TZKSimpleForm::TZKSimpleForm() {
  if (ApplicationWindow == nullptr) {
    TControlSpec app;
    app.ClassName = WinClass::App;
    app.Style = AppStyle;
    app.ExStyle = WinExStyle::AppWindow;
    app.Events = &applicationWindowEvents;
    applicationWindowOwner() = windowSystem().createControl(app);
    ApplicationWindow = applicationWindowOwner().get();
    ownsApplicationWindow_ = true;
  }
  TControlSpec form;
  form.ClassName = WinClass::Form;
  form.Text = "Form";
  form.Style = FormStyle;
  form.Owner = ApplicationWindow;
  createNativeControl(form);
  if (ownsApplicationWindow_) applicationWindowEvents.Form = nativeControl();
  addStartProc([this] { start(); });
}

TZKSimpleForm::~TZKSimpleForm() {
  destroyControl();
  if (ownsApplicationWindow_ && ApplicationWindow != nullptr) freeApplicationWindow();
}

void TZKSimpleForm::setCaption(const std::string& caption) {
  node_->control().setText(caption);
  if (ApplicationWindow != nullptr) ApplicationWindow->setText(caption);
}

void TZKSimpleForm::setBorderStyle(int32_t style) {
  if (style < 0 || style > 9) return;
  const TBorderStyle& border = BorderStyles[style];
  changeStyle(border.Style, BorderStyleMask & ~border.Style);
  changeExStyle(border.ExStyle, BorderExStyleMask & ~border.ExStyle);
}

void TZKSimpleForm::setIcon(TIconHandle icon) {
  if (ApplicationWindow != nullptr) ApplicationWindow->setIcon(windowSystem().copyIcon(icon));
  node_->control().setIcon(icon);
}

void TZKSimpleForm::setNoTaskButton(int32_t noTaskButton) {
  if (noTaskButton == 1 && ApplicationWindow != nullptr) {
    ApplicationWindow->setExStyle(NoTaskButtonExStyle);
  }
}

void TZKSimpleForm::init() {
  // The form exists hidden until the application starts.
  const uint8_t visible = Visible;
  Visible = 0;
  TZKSimpleWin::init();
  Visible = visible;
}

void TZKSimpleForm::start() {
  fireEvent(outCreate);
  if (usable()) node_->control().setVisible(Visible != 0);
}

void TZKSimpleForm::inClose(TData&, uint16_t) {
  onUiThread([&] {
    if (usable()) node_->control().close();
  });
}

void TZKSimpleForm::mouseDown(int32_t button) {
  if (DragByClient != 0 && usable()) {
    node_->control().setMouseCapture(false);
    node_->control().dragWindow();
  }
  TZKSimpleWin::mouseDown(button);
}

void TZKSimpleForm::shown() {
  shownOnce_ = true;
  fireEvent(outShow);
}

void TZKSimpleForm::followWithApplicationWindow() {
  if (ApplicationWindow == nullptr || !usable()) return;
  const TRect form = node_->control().bounds();
  const TRect app = ApplicationWindow->bounds();
  ApplicationWindow->setBounds(
      {form.left, form.top, form.left + form.width(), form.top + app.height()});
}

void TZKSimpleForm::onMove() {
  followWithApplicationWindow();
  TZKSimpleWin::onMove();
}

void TZKSimpleForm::onResize() {
  followWithApplicationWindow();
  if (usable()) node_->redockChildren();
  TZKSimpleWin::onResize();
}

void TZKSimpleForm::onCloseRequest(bool byUser) {
  if (byUser && readLinkInteger(dataBlockClose) != 0) return;
  fireEvent(outClose);
  disableDispatch();
  // The main form's close takes the application window with it and ends
  // the message loop.
  if (usable()) node_->control().setVisible(false);
  if (ApplicationWindow != nullptr) ApplicationWindow->setVisible(false);
  windowSystem().quit(0);
}

void startApplication(TZKSimpleForm& form) {
  if (ApplicationWindow != nullptr) ApplicationWindow->setVisible(form.Visible != 0);
  enableDispatch();
  runStartProcs();
}

int runMessageLoop() {
  const int exitCode = windowSystem().runMessageLoop();
  freeApplicationWindow();
  return exitCode;
}
