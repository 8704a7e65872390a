// Static text.
#pragma once

#include "zkWin.h"

class TZKLabel : public TZKWin {
 public:
  explicit TZKLabel(TNativeControl* parentControl);

  TEventLink outClick;
  uint32_t HoverColor = 0;  // 0: no hover colour
  uint8_t HoverUnderline = 0;
  std::string Caption;

  // 0 left, 1 right, 2 centre; an aligned label wraps words.
  void setTextAlign(uint8_t align) { applyTextAlign(align); }
  // Sizes the label to its text now and after every text change.
  void setAutoSize(uint8_t autoSize);

  void init() override;

 protected:
  void mouseEnter() override;
  void mouseLeave() override;

 private:
  void fitToText();

  bool autoSize_ = false;
};
