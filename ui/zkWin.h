// Base of every child control element: the common properties become the
// control's styles, geometry, colour and font; the control's notifications
// become output events.
#pragma once

#include <string>

#include "runtime/helpers.h"
#include "windowElement.h"
#include "zkHintManager.h"

class TZKWin : public TWindowElement {
 public:
  explicit TZKWin(TNativeControl* parentControl);
  ~TZKWin() override;

  uint32_t ElementFlags = 0;  // bit 3: list items drawn by a draw manager
  std::string Hint;
  TFontRec Font;
  uint8_t ParentFont = 0;
  uint8_t Transparent = 0;
  uint8_t Flat = 0;
  uint8_t KeyToParent = 1;
  uint8_t EdgeStyle = 0;

  TEventLink outKeyDown;
  TEventLink outKeyUp;
  TEventLink outChar;
  TEventLink dataWidthChange;
  TEventLink dataHeightChange;

  // The base part of init; a derived init creates its control first.
  void init() override;
  virtual TNativeControl* controlRef();
  void attachHintManager(THintOps* ops);
  THintTool* hintTool() const { return tooltip_; }

 protected:
  virtual void keyDown(int32_t& key);
  virtual void keyUp(int32_t& key);
  virtual void keyChar(int32_t& key);
  void mouseMove(const TMouseInfo& info) override;
  void mouseEnter() override;
  void mouseLeave() override;

  // Creates the native control of a derived class: styles on top of the
  // base ones, geometry from the properties with the class default sizes.
  void createControl(const char* className, const std::string& text, uint32_t classStyles);
  // Text alignment 0 left, 1 right, 2 centre in the style bits of the
  // control's class (STATIC, BUTTON or EDIT); other values change nothing.
  void applyTextAlign(uint8_t align);
  // The font the properties describe, resolved for the window system.
  TFontSpec fontSpec(const TFontRec& font) const;

  void onKey(TKeyInfo& key) override;
  void onSizeRequest(int32_t& width, int32_t& height) override;
  void onClick() override;
  void onTextChange() override;
  void onSelectionChange() override;
  int32_t onMeasureItem() override;
  void onPaint(TPainter& painter) override;

  // The notifications a derived class connects, each when it says so.
  std::function<void()> clickHandler;
  std::function<void()> changeHandler;
  std::function<void()> selectHandler;
  std::function<int32_t()> measureHandler;
  std::function<void(TPainter&)> paintHandler;

  int32_t keyResult_ = -1;
  THintOps* hintOps_ = nullptr;
  THintTool* tooltip_ = nullptr;
};
