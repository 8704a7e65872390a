// The in-memory window system.
#include "headlessWindowSystem.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <utility>

#include "runtime/helpers.h"

namespace {
constexpr uint32_t ReportedStateBits = WinStyle::Visible | WinStyle::Disabled;
constexpr uint32_t ComboSort = 0x100;
constexpr uint32_t ComboDropDownList = 0x3;

// Frame width on each side, as Windows draws these borders.
int32_t frameWidth(uint32_t style, uint32_t exStyle) {
  int32_t width = 0;
  if (style & WinStyle::Border) width += 1;
  if (exStyle & WinExStyle::ClientEdge) width += 2;
  if (exStyle & WinExStyle::StaticEdge) width += 1;
  if (exStyle & WinExStyle::DlgModalFrame) width += 3;
  if ((style & WinStyle::SizeFrame) != 0) width += 4;
  return width;
}
}  // namespace

THeadlessControl::THeadlessControl(THeadlessWindowSystem& system, const TControlSpec& params)
    : system_(system),
      className_(params.ClassName),
      parent_(static_cast<THeadlessControl*>(params.Parent)),
      events_(params.Events),
      text_(params.Text),
      style_(params.Style & ~ReportedStateBits),
      exStyle_(params.ExStyle),
      bounds_(params.Bounds) {
  if (parent_ != nullptr) parent_->children_.push_back(this);
}

THeadlessControl::~THeadlessControl() {
  for (THeadlessControl* child : children_) child->parentGone();
  if (parent_ != nullptr) std::erase(parent_->children_, this);
  if (icon_ != 0) system_.destroyIcon(icon_);
  system_.forget(this);
}

void THeadlessControl::parentGone() {
  for (THeadlessControl* child : children_) child->parentGone();
  children_.clear();
  parent_ = nullptr;
  if (!alive_) return;
  alive_ = false;
  visible_ = false;
  TControlEvents* events = events_;
  events_ = nullptr;
  if (events != nullptr) events->onDestroyed();
}

void THeadlessControl::setText(const std::string& text) {
  if (!alive_) return;
  text_ = text;
  if (className_ == WinClass::Edit) {
    selectionStart_ = std::min<int32_t>(selectionStart_, static_cast<int32_t>(text_.size()));
    if (events_ != nullptr) events_->onTextChange();
  }
}

void THeadlessControl::setStyle(uint32_t style) { style_ = style & ~ReportedStateBits; }

uint32_t THeadlessControl::style() const {
  return style_ | (visible_ ? WinStyle::Visible : 0u) | (enabled_ ? 0u : WinStyle::Disabled);
}

void THeadlessControl::setBounds(const TRect& requested) {
  if (!alive_) return;
  int32_t width = requested.width();
  int32_t height = requested.height();
  if (events_ != nullptr) events_->onSizeRequest(width, height);
  const TRect old = bounds_;
  bounds_ = {requested.left, requested.top, requested.left + width, requested.top + height};
  if (events_ != nullptr && (old.left != bounds_.left || old.top != bounds_.top)) events_->onMove();
  if (events_ != nullptr && (old.width() != width || old.height() != height)) events_->onResize();
}

TSize THeadlessControl::clientSize() const {
  const int32_t frame = frameWidth(style_, exStyle_);
  const int32_t caption = (style_ & WinStyle::Caption) == WinStyle::Caption ? 23 : 0;
  return {std::max(0, bounds_.width() - 2 * frame),
          std::max(0, bounds_.height() - 2 * frame - caption)};
}

void THeadlessControl::setVisible(bool visible) {
  if (!alive_ || visible == visible_) return;
  visible_ = visible;
  if (visible && events_ != nullptr) events_->onShow();
}

TSize THeadlessControl::textExtent(const std::string& text) const {
  const int32_t height = font_.Height != 0 ? std::abs(font_.Height) : HeadlessDefaultLineHeight;
  return {HeadlessCharWidth * static_cast<int32_t>(text.size()), height};
}

void THeadlessControl::setFocus() {
  if (!alive_ || system_.focused_ == this) return;
  THeadlessControl* previous = system_.focused_;
  system_.focused_ = this;
  if (previous != nullptr && previous->events_ != nullptr) previous->events_->onFocus(false);
  if (events_ != nullptr) events_->onFocus(true);
}

void THeadlessControl::setIcon(TIconHandle icon) {
  if (icon_ != 0 && icon_ != icon) system_.destroyIcon(icon_);
  icon_ = icon;
}

void THeadlessControl::close() {
  if (alive_ && events_ != nullptr) events_->onCloseRequest(false);
}

void THeadlessControl::setSelection(int32_t start, int32_t end) {
  const auto length = static_cast<int32_t>(text_.size());
  selectionStart_ = std::clamp(start, 0, length);
  SelectionEnd = std::clamp(end, 0, length);
}

int32_t THeadlessControl::addItem(const std::string& text) {
  auto at = items_.end();
  if (style_ & ComboSort) {
    at = std::find_if(items_.begin(), items_.end(),
                      [&](const TComboItem& item) { return compareNoCase(item.Text, text) > 0; });
  }
  const auto index = static_cast<int32_t>(at - items_.begin());
  items_.insert(at, TComboItem{text, 0});
  if (selected_ >= index) ++selected_;
  return index;
}

int32_t THeadlessControl::insertItem(int32_t index, const std::string& text) {
  const auto count = static_cast<int32_t>(items_.size());
  if (index > count) return -1;
  if (index < 0) index = count;
  items_.insert(items_.begin() + index, TComboItem{text, 0});
  if (selected_ >= index) ++selected_;
  return index;
}

void THeadlessControl::deleteItem(int32_t index) {
  if (index < 0 || index >= itemCount()) return;
  items_.erase(items_.begin() + index);
  if (selected_ == index) {
    selected_ = -1;
  } else if (selected_ > index) {
    --selected_;
  }
}

void THeadlessControl::clearItems() {
  items_.clear();
  selected_ = -1;
  if ((style_ & ComboDropDownList) == ComboDropDownList) text_.clear();
}

std::string THeadlessControl::itemText(int32_t index) const {
  if (index < 0 || index >= itemCount()) return {};
  return items_[static_cast<size_t>(index)].Text;
}

int32_t THeadlessControl::itemData(int32_t index) const {
  if (index < 0 || index >= itemCount()) return -1;
  return items_[static_cast<size_t>(index)].Data;
}

void THeadlessControl::setItemData(int32_t index, int32_t data) {
  if (index >= 0 && index < itemCount()) items_[static_cast<size_t>(index)].Data = data;
}

void THeadlessControl::selectItem(int32_t index) {
  selected_ = index >= 0 && index < itemCount() ? index : -1;
  // The edit part of a combo box shows the selected item.
  text_ = selected_ >= 0 ? items_[static_cast<size_t>(selected_)].Text : std::string();
}

void THeadlessControl::setProgressRange(int32_t low, int32_t high) {
  low_ = low;
  high_ = high;
  position_ = std::clamp(position_, low_, std::max(low_, high_));
}

void THeadlessControl::setProgressPosition(int32_t position) {
  position_ = std::clamp(position, low_, std::max(low_, high_));
}

std::unique_ptr<TNativeControl> THeadlessWindowSystem::createControl(const TControlSpec& params) {
  auto control = std::make_unique<THeadlessControl>(*this, params);
  controls_.push_back(control.get());
  return control;
}

std::unique_ptr<TNativeTooltip> THeadlessWindowSystem::createTooltip(TNativeControl&,
                                                                     const TTooltipSpec& params) {
  return std::make_unique<THeadlessTooltip>(params);
}

TIconHandle THeadlessWindowSystem::loadIcon(const std::string& name) {
  if (name.empty()) return 0;
  ++liveIcons_;
  return nextIcon_++;
}

TIconHandle THeadlessWindowSystem::copyIcon(TIconHandle icon) {
  if (icon == 0) return 0;
  ++liveIcons_;
  return nextIcon_++;
}

void THeadlessWindowSystem::destroyIcon(TIconHandle icon) {
  if (icon != 0) --liveIcons_;
}

void THeadlessWindowSystem::messageBox(const std::string& text, const std::string& caption) {
  std::lock_guard lock(mutex_);
  messageBoxes_.push_back({text, caption});
}

std::vector<THeadlessWindowSystem::TMessageBox> THeadlessWindowSystem::messageBoxes() const {
  std::lock_guard lock(mutex_);
  return messageBoxes_;
}

int THeadlessWindowSystem::runMessageLoop() {
  for (;;) {
    pumpPending();
    std::unique_lock lock(mutex_);
    // A wake-up before the pump time leaves the time set: the posts it is
    // for may come after that wake-up's pumpPending.
    const auto pumpAt = pumpAt_;
    const auto due = [&] { return std::chrono::steady_clock::now() >= pumpAt; };
    wake_.wait_until(lock, pumpAt, [&] { return woken_ || quit_ || due(); });
    if (due()) pumpAt_ = std::chrono::steady_clock::time_point::max();
    woken_ = false;
    if (quit_) break;
  }
  shutdown();
  std::lock_guard lock(mutex_);
  return exitCode_;
}

void THeadlessWindowSystem::quit(int exitCode) {
  {
    std::lock_guard lock(mutex_);
    if (!quit_) exitCode_ = exitCode;
    quit_ = true;
  }
  wake_.notify_all();
}

bool THeadlessWindowSystem::quitRequested() const {
  std::lock_guard lock(mutex_);
  return quit_;
}

void THeadlessWindowSystem::pumpPendingAfter(std::chrono::milliseconds delay) {
  std::lock_guard lock(mutex_);
  pumpAt_ = std::min(pumpAt_, std::chrono::steady_clock::now() + delay);
}

void THeadlessWindowSystem::wakeUiThread() {
  {
    std::lock_guard lock(mutex_);
    woken_ = true;
  }
  wake_.notify_all();
}

void THeadlessWindowSystem::forget(THeadlessControl* control) {
  std::erase(controls_, control);
  if (focused_ == control) focused_ = nullptr;
}

THeadlessControl* THeadlessWindowSystem::find(const std::string& className,
                                              const std::string* text) const {
  for (THeadlessControl* control : controls_) {
    if (control->className() == className && (text == nullptr || control->text() == *text)) {
      return control;
    }
  }
  return nullptr;
}

THeadlessControl& THeadlessWindowSystem::of(TNativeControl& control) {
  return static_cast<THeadlessControl&>(control);
}

void THeadlessWindowSystem::click(TNativeControl& control) {
  THeadlessControl& target = of(control);
  if (target.alive() && target.isEnabled() && target.events() != nullptr) {
    target.events()->onClick();
  }
}

void THeadlessWindowSystem::chooseItem(TNativeControl& control, int32_t index) {
  THeadlessControl& target = of(control);
  target.selectItem(index);
  if (target.alive() && target.events() != nullptr) target.events()->onSelectionChange();
}

int32_t THeadlessWindowSystem::key(TNativeControl& control, TKeyAction action, int32_t key,
                                   uint32_t modifiers) {
  THeadlessControl& target = of(control);
  TKeyInfo info{action, key, modifiers};
  if (target.alive() && target.events() != nullptr) target.events()->onKey(info);
  return info.Key;
}

void THeadlessWindowSystem::press(TNativeControl& control, int32_t virtualKey, int32_t character,
                                  uint32_t modifiers) {
  THeadlessControl& target = of(control);
  // The character message is made before the key down is handled, as
  // TranslateMessage does, so a consumed key down still produces one.
  key(control, TKeyAction::Down, virtualKey, modifiers);
  if (character != 0) {
    const int32_t typed = key(control, TKeyAction::Char, character, modifiers);
    if (typed >= 32 && target.className() == WinClass::Edit && target.alive()) {
      std::string text = target.text();
      const auto at = static_cast<size_t>(target.caretPosition());
      text.insert(at, 1, static_cast<char>(typed));
      target.setText(text);
      target.setSelection(static_cast<int32_t>(at + 1), static_cast<int32_t>(at + 1));
    }
  }
  key(control, TKeyAction::Up, virtualKey, modifiers);
}

void THeadlessWindowSystem::type(TNativeControl& control, const std::string& text) {
  THeadlessControl& target = of(control);
  target.setText(text);
  target.setSelection(static_cast<int32_t>(text.size()), static_cast<int32_t>(text.size()));
}

void THeadlessWindowSystem::mouse(TNativeControl& control, const TMouseInfo& info) {
  THeadlessControl& target = of(control);
  if (target.alive() && target.events() != nullptr) target.events()->onMouse(info);
}

void THeadlessWindowSystem::resize(TNativeControl& control, int32_t width, int32_t height) {
  const TRect r = control.bounds();
  control.setBounds({r.left, r.top, r.left + width, r.top + height});
}

void THeadlessWindowSystem::move(TNativeControl& control, int32_t left, int32_t top) {
  const TRect r = control.bounds();
  control.setBounds({left, top, left + r.width(), top + r.height()});
}

void THeadlessWindowSystem::userClose(TNativeControl& control) {
  THeadlessControl& target = of(control);
  if (target.alive() && target.events() != nullptr) target.events()->onCloseRequest(true);
}

namespace {
class TRecordingPainter final : public TPainter {
 public:
  void fillRect(const TRect& r, TColor color) override {
    ops.push_back({TPaintOp::TKind::Fill, r, color, TStretchMode::ColorOnColor, {}});
  }
  void drawBitmap(const TBitmap& bitmap, const TRect& dest, TStretchMode mode) override {
    ops.push_back({TPaintOp::TKind::Bitmap, dest, 0, mode, {bitmap.Width, bitmap.Height}});
  }
  std::vector<TPaintOp> ops;
};
}  // namespace

std::vector<TPaintOp> THeadlessWindowSystem::paint(TNativeControl& control) {
  THeadlessControl& target = of(control);
  TRecordingPainter painter;
  if (target.alive() && target.events() != nullptr) target.events()->onPaint(painter);
  return painter.ops;
}

std::unique_ptr<TWindowSystem> createHeadlessWindowSystem() {
  return std::make_unique<THeadlessWindowSystem>();
}
