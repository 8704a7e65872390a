// Push button.
#pragma once

#include "zkWin.h"

class TZKButton : public TZKWin {
 public:
  explicit TZKButton(TNativeControl* parentControl) : TZKWin(parentControl) {}
  ~TZKButton() override;

  TEventLink outClick;
  TData Data;  // sent with every click
  std::string Caption;
  uint8_t DefaultButton = 0;  // Enter anywhere in the form clicks it
  uint8_t TextAlign = 2;      // 0 left, 1 right, 2 centre

  void init() override;
};
