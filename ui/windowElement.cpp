// Shared part of the window elements.
#include "windowElement.h"

namespace {
constexpr uint32_t BaseStyles =
    WinStyle::Child | WinStyle::Visible | WinStyle::ClipSiblings | WinStyle::ClipChildren;

// The classes that ask for the sunken 3D edge when their parent's flag is set.
bool asks3D(const std::string& className) {
  return className == WinClass::Edit || className == WinClass::ComboBox ||
         className == WinClass::Progress;
}

// Key-state bits that alone stand for one held button in a mouse move.
int32_t moveCode(uint32_t state) {
  switch (state) {
    case KeyState::LeftButton:
      return 0;
    case KeyState::RightButton:
      return 1;
    case KeyState::MiddleButton:
      return 2;
    default:
      return -1;
  }
}
}  // namespace

void onUiThread(const std::function<void()>& fn) { windowSystem().invokeSync(fn); }

TWindowElement::TWindowElement(TNativeControl* parentControl) : parentControl_(parentControl) {
  // A child starts with its parent's background colour.
  if (const TWindowNode* parent = TWindowNode::of(parentControl)) Color = parent->Color;
}

TWindowElement::~TWindowElement() {
  windowSystem().cancelAsync(this);
  destroyControl();
}

void TWindowElement::showLater(std::function<void()> apply) {
  windowSystem().invokeAsync(this, std::move(apply));
}

void TWindowElement::destroyControl() {
  if (!node_) return;
  if (layout_ != nullptr) layout_->detach(node_->control());
  if (!node_->isGone()) {
    node_->control().setEvents(nullptr);
    node_->control().setVisible(false);
  }
  node_.reset();
}

void TWindowElement::inSetVisible(TData& d, uint16_t) {
  const bool visible = toBool(d);
  onUiThread([&] {
    Visible = visible ? 1 : 0;
    if (usable()) node_->control().setVisible(visible);
  });
}

void TWindowElement::inSetEnabled(TData& d, uint16_t) {
  const bool enabled = toBool(d);
  onUiThread([&] {
    Enabled = enabled ? 1 : 0;
    if (usable()) node_->control().setEnabled(enabled);
  });
}

void TWindowElement::attachLayout(TLayoutManager* layout) {
  layout_ = layout;
  if (layout_ != nullptr && node_) layout_->attach(node_->control(), LayoutArgs[0], LayoutArgs[1]);
}

void TWindowElement::createNativeControl(const TControlSpec& given) {
  TControlSpec params = given;
  params.Parent = params.Parent != nullptr ? params.Parent : parentControl_;
  params.Events = this;
  const TWindowNode* parentNode = TWindowNode::of(params.Parent);
  if (params.Parent != nullptr) {
    params.Style |= BaseStyles;
    current3D_ = parentNode != nullptr && parentNode->Ctl3D && asks3D(params.ClassName);
    if (current3D_) {
      params.ExStyle |= WinExStyle::ClientEdge;
      params.Style &= ~WinStyle::Border;
    }
  }
  node_ = std::make_unique<TWindowNode>(windowSystem().createControl(params));
}

void TWindowElement::changeStyle(uint32_t set, uint32_t clear) {
  TNativeControl& control = node_->control();
  const uint32_t style = (control.style() & ~clear) | set;
  if (style != control.style()) control.setStyle(style);
}

void TWindowElement::changeExStyle(uint32_t set, uint32_t clear) {
  TNativeControl& control = node_->control();
  control.setExStyle((control.exStyle() & ~clear) | set);
}

void TWindowElement::applyCommonProperties() {
  TNativeControl& control = node_->control();
  node_->Color = Color;
  control.setBackgroundColor(resolveColor(Color));
  const TRect current = control.bounds();
  const int32_t width = Width != 0 ? Width : current.width();
  const int32_t height = Height != 0 ? Height : current.height();
  control.setBounds({Left, Top, Left + width, Top + height});
  if (Ctl3D < 2) {
    const bool want3D = Ctl3D == 0;
    node_->Ctl3D = want3D;
    if (want3D != current3D_) {
      current3D_ = want3D;
      if (want3D) {
        changeStyle(0, WinStyle::Border);
        changeExStyle(WinExStyle::ClientEdge, 0);
      } else {
        changeStyle(WinStyle::Border, 0);
        changeExStyle(0, WinExStyle::ClientEdge);
      }
    }
  }
}

void TWindowElement::applyPlacement() {
  TNativeControl& control = node_->control();
  if (TabOrder > 0) {
    changeStyle(WinStyle::TabStop, 0);
    node_->setTabPosition(TabOrder);
  }
  node_->TabSkipped = TabOrder < 0;
  connected_ = true;
  node_->Align = Align;
  if (Align != 0 && node_->parent() != nullptr) node_->parent()->redockChildren();
  control.bringToTop();
  control.setVisible(Visible != 0);
}

void TWindowElement::storeMouse(const TMouseInfo& info) {
  lastButton_ = info.Button;
  lastState_ = info.State;
  lastX_ = info.X;
  lastY_ = info.Y;
}

void TWindowElement::onMouse(const TMouseInfo& info) {
  if (!connected_) return;
  switch (info.Action) {
    case TMouseAction::Hover:
      mouseEnter();
      return;
    case TMouseAction::Leave:
      mouseLeave();
      return;
    default:
      break;
  }
  // Every mouse message inside the control counts as an entry.
  mouseEnter();
  switch (info.Action) {
    case TMouseAction::Down:
      storeMouse(info);
      mouseDown(info.Button);
      break;
    case TMouseAction::Up:
      storeMouse(info);
      mouseUp(info.Button);
      break;
    case TMouseAction::Move:
      mouseMove(info);
      break;
    case TMouseAction::Wheel:
      storeMouse(info);
      mouseWheel();
      break;
    case TMouseAction::DoubleClick:
      fireEvent(outDblClick, info.Button - 1);
      break;
    default:
      break;
  }
}

void TWindowElement::mouseDown(int32_t button) {
  fireEvent(outMouseDown, button - 1);
  if (MouseCapture != 0 && usable()) {
    node_->control().setMouseCapture(false);
    node_->control().setMouseCapture(true);
  }
}

void TWindowElement::mouseUp(int32_t button) {
  fireEvent(outMouseUp, button - 1);
  if (MouseCapture != 0 && usable()) node_->control().setMouseCapture(false);
}

void TWindowElement::mouseMove(const TMouseInfo& info) {
  // The code tells the buttons of the previous mouse message.
  const int32_t code = moveCode(lastState_);
  storeMouse(info);
  fireEvent(outMouseMove, code);
}

void TWindowElement::mouseWheel() {
  // The state word carries the delta in its high half; the division
  // truncates toward zero, so key flags shift a negative turn by one.
  fireEvent(outMouseWheel, static_cast<int32_t>(lastState_) / 65536);
}

void TWindowElement::mouseEnter() { fireEvent(outMouseEnter); }

void TWindowElement::mouseLeave() { fireEvent(outMouseLeave); }

void TWindowElement::onFocus(bool gained) {
  if (gained && node_) node_->topLevel().LastFocused = node_.get();
  if (connected_) fireEvent(gained ? outSetFocus : outKillFocus);
}

void TWindowElement::onResize() {
  if (connected_) resized();
}

void TWindowElement::resized() { fireEvent(outResize); }

void TWindowElement::onMove() {
  if (connected_) fireEvent(outMove);
}

void TWindowElement::onShow() {
  if (connected_) shown();
}

void TWindowElement::shown() { fireEvent(outShow); }

void TWindowElement::onDestroyed() { controlDestroyed(); }

void TWindowElement::controlDestroyed() {
  if (node_) node_->controlGone();
}
