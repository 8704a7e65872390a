// The portable bookkeeping of the window library over the native controls:
// who is whose child, tab positions, docking, the 3D flag children inherit,
// the font a child may copy, and the key hooks a form installs.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "windowSystem.h"

class TWindowNode {
 public:
  // Registers the control as a child of the node of its parent (if any);
  // tab positions count up in creation order per top-level window.
  explicit TWindowNode(std::unique_ptr<TNativeControl> control);
  ~TWindowNode();
  TWindowNode(const TWindowNode&) = delete;
  TWindowNode& operator=(const TWindowNode&) = delete;

  // The node of a native control, or null.
  static TWindowNode* of(const TNativeControl* control);

  TNativeControl& control() const { return *control_; }
  TWindowNode* parent() const { return parent_; }
  TWindowNode& topLevel();
  const std::vector<TWindowNode*>& children() const { return children_; }
  // The window system destroyed the control itself; the inert object is
  // still freed with the node.
  void controlGone() { gone_ = true; }
  bool isGone() const { return gone_; }

  // Tab position; a new position makes room: siblings at or above it move up.
  int32_t tabPosition() const { return tabPosition_; }
  void setTabPosition(int32_t position);
  bool TabSkipped = false;  // TabOrder < 0: never focused by tabbing
  bool AcceptsTab = false;  // Tab in this control navigates
  // 3D flag for the control's own future children.
  bool Ctl3D = true;
  TFontSpec Font;
  uint32_t Color = 0;  // the element's colour property, copied by new children
  // Docking in the parent: 0 none, 1 left, 2 top, 3 right, 4 bottom, 5 client.
  uint8_t Align = 0;

  // A top-level window's hook over every key of its controls, run before the
  // control's own handling (tab navigation, the default button).
  std::function<void(TWindowNode& focused, TKeyInfo& key)> KeyFilter;
  // A window's own key handler offered to its children (KeyToParent).
  std::function<void(TKeyInfo& key)> ChildKeyHandler;
  // The default button of a top-level window: clicked by Enter.
  TControlEvents* DefaultButton = nullptr;
  // The tab position last reached by tabbing (top-level windows).
  int32_t LastTabPosition = 0;
  // The control of this top-level window that had the focus last.
  TWindowNode* LastFocused = nullptr;

  // Visible itself and every parent.
  bool isShowing() const;
  // Places the children with Align in three passes: top and bottom, left and
  // right, then client.
  void redockChildren();

 private:
  std::unique_ptr<TNativeControl> control_;
  TWindowNode* parent_;
  std::vector<TWindowNode*> children_;
  int32_t tabPosition_ = 0;
  int32_t nextTabPosition_ = 1;  // top-level: the next creation position
  bool gone_ = false;
};

// The hooks of the control's top-level window over a key for the control:
// its KeyFilter, then Enter for the default button. A consumed key is 0.
void applyWindowKeyHooks(TWindowNode& focused, TKeyInfo& key);

// Installs tab navigation on a top-level window: Tab and Shift+Tab move the
// focus through the controls in tab order.
void enableTabNavigation(TNativeControl* form);
