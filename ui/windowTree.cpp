// Window tree bookkeeping, docking and tab navigation.
#include "windowTree.h"

#include <algorithm>
#include <map>

namespace {
// Nodes are made and looked up on the UI thread only.
std::map<const TNativeControl*, TWindowNode*>& registry() {
  static std::map<const TNativeControl*, TWindowNode*> nodes;
  return nodes;
}

constexpr int32_t TabKey = 9;
constexpr int32_t EnterKey = 13;
}  // namespace

TWindowNode::TWindowNode(std::unique_ptr<TNativeControl> control)
    : control_(std::move(control)), parent_(of(control_->parent())) {
  registry()[control_.get()] = this;
  if (parent_ != nullptr) {
    parent_->children_.push_back(this);
    tabPosition_ = topLevel().nextTabPosition_++;
  }
}

TWindowNode::~TWindowNode() {
  if (topLevel().LastFocused == this) topLevel().LastFocused = nullptr;
  for (TWindowNode* child : children_) child->parent_ = nullptr;
  if (parent_ != nullptr) std::erase(parent_->children_, this);
  registry().erase(control_.get());
}

TWindowNode* TWindowNode::of(const TNativeControl* control) {
  if (control == nullptr) return nullptr;
  const auto found = registry().find(control);
  return found == registry().end() ? nullptr : found->second;
}

TWindowNode& TWindowNode::topLevel() {
  TWindowNode* node = this;
  while (node->parent_ != nullptr) node = node->parent_;
  return *node;
}

void TWindowNode::setTabPosition(int32_t position) {
  if (parent_ != nullptr) {
    for (TWindowNode* sibling : parent_->children_) {
      if (sibling != this && sibling->tabPosition_ >= position) ++sibling->tabPosition_;
    }
  }
  tabPosition_ = position;
}

bool TWindowNode::isShowing() const {
  for (const TWindowNode* node = this; node != nullptr; node = node->parent_) {
    if (!node->control_->isVisible()) return false;
  }
  return true;
}

void TWindowNode::redockChildren() {
  const TSize client = control_->clientSize();
  TRect free{0, 0, client.width, client.height};
  auto place = [](TWindowNode* child, const TRect& r) {
    if (child->control_->bounds() != r) child->control_->setBounds(r);
  };
  for (TWindowNode* child : children_) {
    const TRect r = child->control_->bounds();
    if (child->Align == 2) {
      place(child, {free.left, free.top, free.right, free.top + r.height()});
      free.top += child->control_->bounds().height();
    } else if (child->Align == 4) {
      place(child, {free.left, free.bottom - r.height(), free.right, free.bottom});
      free.bottom -= child->control_->bounds().height();
    }
  }
  for (TWindowNode* child : children_) {
    const TRect r = child->control_->bounds();
    if (child->Align == 1) {
      place(child, {free.left, free.top, free.left + r.width(), free.bottom});
      free.left += child->control_->bounds().width();
    } else if (child->Align == 3) {
      place(child, {free.right - r.width(), free.top, free.right, free.bottom});
      free.right -= child->control_->bounds().width();
    }
  }
  for (TWindowNode* child : children_) {
    if (child->Align == 5) place(child, free);
  }
}

namespace {
void collectTabStops(TWindowNode& node, std::vector<TWindowNode*>& stops) {
  for (TWindowNode* child : node.children()) {
    const TNativeControl& control = child->control();
    if ((control.style() & WinStyle::TabStop) != 0 && !child->TabSkipped && control.isEnabled() &&
        child->isShowing()) {
      stops.push_back(child);
    }
    collectTabStops(*child, stops);
  }
}

void moveFocus(TWindowNode& form, bool backwards) {
  std::vector<TWindowNode*> stops;
  collectTabStops(form, stops);
  const int32_t b = form.LastTabPosition;
  TWindowNode* nextAfter = nullptr;  // nearest past b in the direction
  TWindowNode* wrapped = nullptr;    // the extreme one to wrap around to
  for (TWindowNode* stop : stops) {
    const int32_t p = stop->tabPosition();
    if (p == b) continue;
    const bool ahead = backwards ? p < b : p > b;
    if (ahead && (nextAfter == nullptr ||
                  (backwards ? p > nextAfter->tabPosition() : p < nextAfter->tabPosition()))) {
      nextAfter = stop;
    }
    if (wrapped == nullptr ||
        (backwards ? p > wrapped->tabPosition() : p < wrapped->tabPosition())) {
      wrapped = stop;
    }
  }
  TWindowNode* chosen = nextAfter != nullptr ? nextAfter : wrapped;
  if (chosen == nullptr) return;
  form.LastTabPosition = chosen->tabPosition();
  chosen->control().setFocus();
}
}  // namespace

void enableTabNavigation(TNativeControl* form) {
  TWindowNode* node = TWindowNode::of(form);
  if (node == nullptr) return;
  node->KeyFilter = [node](TWindowNode& focused, TKeyInfo& key) {
    if ((key.Modifiers & (KeyState::Ctrl | KeyState::Alt)) != 0 || key.Key != TabKey) return;
    if (key.Action == TKeyAction::Char) {
      key.Key = 0;
      return;
    }
    if (!focused.AcceptsTab) return;
    key.Key = 0;
    if (key.Action == TKeyAction::Down) moveFocus(*node, (key.Modifiers & KeyState::Shift) != 0);
  };
}

void applyWindowKeyHooks(TWindowNode& focused, TKeyInfo& key) {
  TWindowNode& top = focused.topLevel();
  if (top.KeyFilter) top.KeyFilter(focused, key);
  if (key.Key != EnterKey || top.DefaultButton == nullptr ||
      (key.Modifiers & (KeyState::Ctrl | KeyState::Alt)) != 0) {
    return;
  }
  if (key.Action == TKeyAction::Down) top.DefaultButton->onClick();
  key.Key = 0;
}
