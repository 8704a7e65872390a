// Drop-down list (the port list).
#pragma once

#include "zkLWinList.h"

class TZKComboBox : public TZKLWinList {
 public:
  explicit TZKComboBox(TNativeControl* parentControl) : TZKLWinList(parentControl) {}

  uint8_t Editable = 0;
  std::string Text;     // initial edit text
  std::string Strings;  // initial items, one per line
  uint8_t Sorted = 0;
  int32_t ItemHeight = 0;

  void init() override;
};
