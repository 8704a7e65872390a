// Base of top-level window elements: the common properties without font,
// tooltip, transparency or key events.
#pragma once

#include "windowElement.h"

class TZKSimpleWin : public TWindowElement {
 public:
  TZKSimpleWin() : TWindowElement(nullptr) {}

  void init() override;
};
