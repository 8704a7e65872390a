// Child control element base.
#include "zkWin.h"

namespace {
constexpr size_t MaxFaceName = 31;

TSize classDefaultSize(const std::string& className) {
  if (className == WinClass::Progress) return {300, 20};
  if (className == WinClass::Button) return {75, 22};
  return {100, 22};
}

// Extended style for each EdgeStyle 1..4.
constexpr uint32_t EdgeExStyles[] = {0, WinExStyle::StaticEdge, WinExStyle::DlgModalFrame,
                                     WinExStyle::DlgModalFrame | WinExStyle::ClientEdge};
}  // namespace

TZKWin::TZKWin(TNativeControl* parentControl) : TWindowElement(parentControl) {}

TZKWin::~TZKWin() {
  if (tooltip_ != nullptr) hintOps_->hintDestroyTool(tooltip_);
}

TNativeControl* TZKWin::controlRef() { return nativeControl(); }

void TZKWin::createControl(const char* className, const std::string& text, uint32_t classStyles) {
  const TSize size = classDefaultSize(className);
  TControlSpec params;
  params.ClassName = className;
  params.Text = text;
  params.Style = classStyles;
  params.Bounds = {Left, Top, Left + (Width != 0 ? Width : size.width),
                   Top + (Height != 0 ? Height : size.height)};
  createNativeControl(params);
}

void TZKWin::applyTextAlign(uint8_t align) {
  struct TAlignBits {
    const char* ClassName;
    uint32_t Mask;
    uint32_t Left, Right, Centre;
  };
  // Aligning a label also drops SS_LEFTNOWORDWRAP, so aligned labels wrap.
  static constexpr TAlignBits Classes[] = {{WinClass::Static, 0xF, 0, 2, 1},
                                           {WinClass::Button, 0x300, 0x100, 0x200, 0x300},
                                           {WinClass::Edit, 0x3, 0, 2, 1}};
  if (align > 2 || !node_) return;
  for (const TAlignBits& bits : Classes) {
    if (node_->control().className() != bits.ClassName) continue;
    const uint32_t value = align == 0 ? bits.Left : align == 1 ? bits.Right : bits.Centre;
    changeStyle(value, bits.Mask);
  }
}

TFontSpec TZKWin::fontSpec(const TFontRec& font) const {
  TFontSpec params;
  params.Name = font.Name.substr(0, MaxFaceName);
  params.Height = fontHeight(font.Size);
  params.Style = font.Style;
  params.Color = resolveColor(font.Color);
  params.Charset = font.Charset;
  return params;
}

void TZKWin::init() {
  TNativeControl& control = node_->control();
  applyCommonProperties();
  control.setTransparent(Transparent != 0);
  control.setEnabled(Enabled != 0);
  control.setCursor(Cursor);
  if (Flat != 0) changeStyle(WinStyle::FlatLook, 0);
  const TWindowNode* parent = node_->parent();
  node_->Font = ParentFont != 0 && parent != nullptr ? parent->Font : fontSpec(Font);
  control.setFont(node_->Font);
  // Every control of this library takes Tab for navigation; one that is
  // given a tab position of its own does in any case.
  node_->AcceptsTab = true;
  applyPlacement();
  if (Ctl3D == 0 && EdgeStyle >= 1 && EdgeStyle <= 4) {
    control.setExStyle(EdgeExStyles[EdgeStyle - 1]);
  }
}

void TZKWin::attachHintManager(THintOps* ops) {
  if (Hint.empty() || !usable()) return;
  hintOps_ = ops != nullptr ? ops : HintManager->ops();
  tooltip_ = hintOps_->hintCreateTool(node_->control());
  hintOps_->hintSetText(tooltip_, Hint);
}

void TZKWin::onKey(TKeyInfo& key) {
  if (!connected_) return;
  applyWindowKeyHooks(*node_, key);
  if (key.Key == 0) return;
  const TWindowNode* parent = node_->parent();
  if (KeyToParent != 0 && parent != nullptr && parent->ChildKeyHandler) {
    parent->ChildKeyHandler(key);
    if (key.Key == 0) return;
  }
  switch (key.Action) {
    case TKeyAction::Down:
      keyResult_ = -1;
      keyDown(key.Key);
      if (keyResult_ >= 0) {
        key.Key = keyResult_;
      } else if (key.Key == 0) {
        keyResult_ = 0;
      }
      break;
    case TKeyAction::Up:
      keyResult_ = -1;
      keyUp(key.Key);
      if (keyResult_ >= 0) key.Key = keyResult_;
      break;
    case TKeyAction::Char:
      // A key down consumed by the element also swallows its character.
      if (keyResult_ == 0) {
        key.Key = 0;
        break;
      }
      keyResult_ = -1;
      keyChar(key.Key);
      if (keyResult_ >= 0) key.Key = keyResult_;
      break;
  }
}

void TZKWin::keyDown(int32_t& key) { fireEvent(outKeyDown, key); }

void TZKWin::keyUp(int32_t& key) { fireEvent(outKeyUp, key); }

void TZKWin::keyChar(int32_t& key) { fireEvent(outChar, std::string(1, static_cast<char>(key))); }

void TZKWin::mouseMove(const TMouseInfo& info) {
  if (tooltip_ != nullptr) hintOps_->hintMoveTo(tooltip_, lastX_, lastY_);
  TWindowElement::mouseMove(info);
}

void TZKWin::mouseEnter() {
  if (tooltip_ != nullptr) hintOps_->hintActivate(tooltip_);
  TWindowElement::mouseEnter();
}

void TZKWin::mouseLeave() {
  if (tooltip_ != nullptr) hintOps_->hintDeactivate(tooltip_);
  TWindowElement::mouseLeave();
}

void TZKWin::onSizeRequest(int32_t& width, int32_t& height) {
  if (!connected_) return;
  const TRect current = node_->control().bounds();
  auto constrain = [](int32_t& requested, int32_t now, TEventLink link) {
    if (requested == now) return;
    TData d;
    makeInteger(d, requested - now);
    readForward(d, link);
    if (isInteger(d)) requested = now + d.IntValue;
    freeChain(d);
  };
  constrain(height, current.height(), dataHeightChange);
  constrain(width, current.width(), dataWidthChange);
}

void TZKWin::onClick() {
  if (clickHandler) clickHandler();
}

void TZKWin::onTextChange() {
  if (changeHandler) changeHandler();
}

void TZKWin::onSelectionChange() {
  if (selectHandler) selectHandler();
}

int32_t TZKWin::onMeasureItem() { return measureHandler ? measureHandler() : 0; }

void TZKWin::onPaint(TPainter& painter) {
  if (paintHandler) paintHandler(painter);
}
