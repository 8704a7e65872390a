// "COMBOBOX" on Win32: the items through the CB_ messages, the room for the
// dropped list, and the items of an owner-drawn box measured and drawn by
// the owner.
#include <algorithm>

#include "backend.h"
#include "runtime/codepage.h"

int32_t TWin32Control::addItem(const std::string& text) {
  return send(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(text).c_str()));
}

int32_t TWin32Control::insertItem(int32_t index, const std::string& text) {
  return send(CB_INSERTSTRING, static_cast<WPARAM>(index),
              reinterpret_cast<LPARAM>(wide(text).c_str()));
}

void TWin32Control::deleteItem(int32_t index) {
  send(CB_DELETESTRING, static_cast<WPARAM>(index), 0);
}

void TWin32Control::clearItems() { send(CB_RESETCONTENT, 0, 0); }

int32_t TWin32Control::itemCount() const { return send(CB_GETCOUNT, 0, 0); }

std::string TWin32Control::itemText(int32_t index) const {
  const int32_t length = send(CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length <= 0) return {};
  std::wstring buffer(static_cast<size_t>(length) + 1, L'\0');
  const int32_t copied =
      send(CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer.data()));
  buffer.resize(static_cast<size_t>(std::max(copied, 0)));
  return wideTo1251(buffer);
}

int32_t TWin32Control::itemData(int32_t index) const {
  return send(CB_GETITEMDATA, static_cast<WPARAM>(index), 0);
}

void TWin32Control::setItemData(int32_t index, int32_t data) {
  send(CB_SETITEMDATA, static_cast<WPARAM>(index), data);
}

int32_t TWin32Control::selectedIndex() const { return send(CB_GETCURSEL, 0, 0); }

void TWin32Control::selectItem(int32_t index) { send(CB_SETCURSEL, static_cast<WPARAM>(index), 0); }

int TWin32Control::droppedListHeight() const {
  constexpr int ListItems = 8;
  if (className_ != WinClass::ComboBox || (style() & CBS_DROPDOWNLIST) < CBS_DROPDOWN) return 0;
  return ListItems * std::max(send(CB_GETITEMHEIGHT, 0, 0), 1) + 2;
}

bool TWin32Control::drawnItemNotification(UINT message, LPARAM lParam, LRESULT& result) {
  if (message == WM_MEASUREITEM) {
    auto* measure = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
    if (measure->CtlType != ODT_COMBOBOX) return false;
    TWin32Control* child = of(GetDlgItem(window_, static_cast<int>(measure->CtlID)));
    if (child == nullptr) child = system_.Creating;
    if (child == nullptr) return false;
    const int32_t height = child->measureItem();
    if (height > 0) measure->itemHeight = static_cast<UINT>(height);
    result = TRUE;
    return true;
  }
  auto* draw = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
  TWin32Control* child = of(draw->hwndItem);
  if (draw->CtlType != ODT_COMBOBOX || child == nullptr || child->events_ == nullptr) {
    return false;
  }
  TGdiPainter painter(draw->hDC);
  TDrawItemInfo item;
  item.Index = draw->itemID == static_cast<UINT>(-1) ? -1 : static_cast<int32_t>(draw->itemID);
  item.Rect = {draw->rcItem.left, draw->rcItem.top, draw->rcItem.right, draw->rcItem.bottom};
  item.Selected = (draw->itemState & ODS_SELECTED) != 0;
  item.InEditField = (draw->itemState & ODS_COMBOBOXEDIT) != 0;
  child->events_->onDrawItem(painter, item);
  result = TRUE;
  return true;
}
