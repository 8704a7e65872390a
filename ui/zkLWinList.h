// List element that loads its items from a text, one item per line.
#pragma once

#include "zkWinList.h"

class TZKLWinList : public TZKWinList {
 public:
  explicit TZKLWinList(TNativeControl* parentControl) : TZKWinList(parentControl) {}

  // CR LF, LF and CR each end a line; a final line break adds no empty item.
  void loadItems(const std::string& text) override;
};
