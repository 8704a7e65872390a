// Drop-down list.
#include "zkComboBox.h"

namespace {
constexpr uint32_t ComboStyles =
    WinStyle::VScroll | WinStyle::TabStop | 0x200 | 0x40;  // strings, auto scroll
constexpr uint32_t DropDown = 2;
constexpr uint32_t DropDownList = 3;
constexpr uint32_t SortStyle = 0x100;
constexpr uint32_t OwnerDrawFixed = 0x10;
constexpr uint32_t DrawManagerFlag = 8;
}  // namespace

void TZKComboBox::init() {
  createControl(WinClass::ComboBox, "",
                ComboStyles | (Editable != 0 ? DropDown : DropDownList) |
                    (Sorted != 0 ? SortStyle : 0) |
                    ((ElementFlags & DrawManagerFlag) != 0 ? OwnerDrawFixed : 0));
  measureHandler = [this] { return ItemHeight; };
  TZKWin::init();
  loadItems(Strings);
  node_->control().setText(Text);
  selectHandler = [this] { selectionChanged(); };
}
