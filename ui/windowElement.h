// What the child control elements and the form share: geometry, colour,
// visibility, the mouse, focus, size, show and move events, and the native
// control with its place in the window tree.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "runtime/link.h"
#include "windowSystem.h"
#include "windowTree.h"

// Told about the controls of elements that attach to it; this program never
// attaches one.
class TLayoutManager {
 public:
  virtual ~TLayoutManager() = default;
  virtual void attach(TNativeControl& control, int32_t first, int32_t second) = 0;
  virtual void detach(TNativeControl& control) = 0;
};

// Runs fn on the UI thread and returns once it ran (input points reached
// from the serial reader or the timer thread).
void onUiThread(const std::function<void()>& fn);

class TWindowElement : protected TControlEvents {
 public:
  explicit TWindowElement(TNativeControl* parentControl);
  ~TWindowElement() override;
  TWindowElement(const TWindowElement&) = delete;
  TWindowElement& operator=(const TWindowElement&) = delete;

  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Width = 0;
  int32_t Height = 0;
  uint8_t Align = 0;
  int32_t TabOrder = 0;
  uint32_t Color = 0;
  uint8_t Ctl3D = 2;
  uint8_t Visible = 1;
  uint8_t Enabled = 1;
  TCursorHandle Cursor = 0;
  uint8_t MouseCapture = 0;
  int32_t LayoutArgs[2] = {0, 0};

  TEventLink outMouseDown;
  TEventLink outMouseMove;
  TEventLink outMouseUp;
  TEventLink outMouseWheel;
  TEventLink outSetFocus;
  TEventLink outKillFocus;
  TEventLink outDblClick;
  TEventLink outResize;
  TEventLink outShow;
  TEventLink outMove;
  TEventLink outMouseEnter;
  TEventLink outMouseLeave;

  void inSetVisible(TData& d, uint16_t index);
  void inSetEnabled(TData& d, uint16_t index);

  virtual void init() = 0;
  void attachLayout(TLayoutManager* layout);

  // The native control; null before init created it.
  TNativeControl* nativeControl() const { return node_ ? &node_->control() : nullptr; }
  TWindowNode* windowNode() const { return node_.get(); }

 protected:
  virtual void mouseDown(int32_t button);
  virtual void mouseMove(const TMouseInfo& info);
  virtual void mouseEnter();
  virtual void mouseLeave();
  virtual void mouseUp(int32_t button);
  virtual void mouseWheel();
  virtual void controlDestroyed();
  virtual void resized();
  virtual void shown();

  // Makes the native control and its tree node; classStyles and exStyle come
  // on top of WS_CHILD | WS_VISIBLE and the clipping styles the library adds.
  void createNativeControl(const TControlSpec& params);
  // The parts of init both element kinds run: colour, position and size,
  // the Ctl3D request, enabled state and cursor.
  void applyCommonProperties();
  // TabOrder (after the styles), docking, z-order and Visible.
  void applyPlacement();
  // A value the caller does not wait for (a text, a position): on the UI
  // thread it is applied at once; from another thread it is applied later,
  // in order with that thread's other display changes, and only the latest
  // of several pending values is (TWindowSystem::invokeAsync).
  void showLater(std::function<void()> apply);
  void changeStyle(uint32_t set, uint32_t clear);
  void changeExStyle(uint32_t set, uint32_t clear);
  bool usable() const { return node_ != nullptr && !node_->isGone(); }
  // Detaches the layout, hides the control and frees it (unless the window
  // system destroyed it already).
  void destroyControl();

  void onMouse(const TMouseInfo& info) override;
  void onFocus(bool gained) override;
  void onResize() override;
  void onMove() override;
  void onShow() override;
  void onDestroyed() override;

  TNativeControl* parentControl_;
  std::unique_ptr<TWindowNode> node_;
  // The control's current 3D state (client edge instead of border).
  bool current3D_ = false;
  // Notifications are translated into events from init's connecting step on.
  bool connected_ = false;

  int32_t lastButton_ = 0;
  uint32_t lastState_ = 0;
  int16_t lastX_ = 0;
  int16_t lastY_ = 0;
  TLayoutManager* layout_ = nullptr;

 private:
  void storeMouse(const TMouseInfo& info);
};
