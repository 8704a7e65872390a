// Top-level window element base.
#include "zkSimpleWin.h"

void TZKSimpleWin::init() {
  applyCommonProperties();
  node_->control().setEnabled(Enabled != 0);
  node_->control().setCursor(Cursor);
  applyPlacement();
}
