// List element base.
#include "zkWinList.h"

void TZKWinList::inAdd(TData& d, uint16_t) {
  onUiThread([&] {
    if (!usable()) return;
    TNativeControl& control = node_->control();
    const std::string text = readString(d, dataAddText, std::string());
    int32_t index = -1;
    if (AddToTop == 0) {
      index = addItem(text);
    } else {
      index = control.insertItem(0, text);
      // A control without items keeps the new line at the top of its text.
      if (index == -1) control.setText(text + "\r\n" + control.text());
    }
    if (SelectAdded != 0) selectIndex(index);
    TData itemData;
    readValue(d, dataItemData, nullptr, itemData);
    if (isInteger(itemData)) control.setItemData(index, itemData.IntValue);
    freeChain(itemData);
    tailEvent(d, outListChanged);
  });
}

void TZKWinList::inRemove(TData& d, uint16_t) {
  onUiThread([&] {
    if (!usable()) return;
    TNativeControl& control = node_->control();
    const std::string text = toString(d);
    for (int32_t i = 0; i < control.itemCount(); ++i) {
      if (control.itemText(i) != text) continue;
      control.deleteItem(i);
      tailEvent(d, outListChanged);
      return;
    }
  });
}

std::vector<std::string> TZKWinList::collectItems() {
  std::vector<std::string> items;
  const TNativeControl& control = node_->control();
  for (int32_t i = 0; i < control.itemCount(); ++i) items.push_back(control.itemText(i));
  return items;
}

void TZKWinList::beginFill(size_t) {
  node_->control().setRedraw(false);
  node_->control().clearItems();
}

void TZKWinList::endFill() {
  node_->control().setRedraw(true);
  node_->control().invalidate();
}

int32_t TZKWinList::addItem(const std::string& text) { return node_->control().addItem(text); }

void TZKWinList::selectIndex(int32_t index) {
  TNativeControl& control = node_->control();
  control.selectItem(index >= 0 && index < control.itemCount() ? index : -1);
}

void TZKWinList::setItem(const TData& indexData, const TData& textData) {
  TNativeControl& control = node_->control();
  const int32_t index = toIndex(indexData);
  if (index < 0 || index >= control.itemCount()) return;
  const int32_t data = control.itemData(index);
  const int32_t selected = control.selectedIndex();
  control.deleteItem(index);
  control.insertItem(index, toString(textData));
  if (data != -1) control.setItemData(index, data);
  control.selectItem(selected);
}

void TZKWinList::clearItems(TData& d) {
  node_->control().clearItems();
  tailEvent(d, outListChanged);
}

void TZKWinList::itemsText(TData& d) {
  std::string text;
  const std::vector<std::string> items = collectItems();
  for (const std::string& item : items) text += item + "\r\n";
  // The closing line break goes unless the last item is empty.
  if (!items.empty() && !items.back().empty()) text.resize(text.size() - 2);
  makeString(d, std::move(text));
}

void TZKWinList::selectionChanged() {
  const TNativeControl& control = node_->control();
  const int32_t index = control.selectedIndex();
  TData first;
  if (SelectType == 1) {
    makeString(first, control.itemText(index));
  } else {
    makeInteger(first, index);
  }
  TData second;
  const int32_t data = control.itemData(index);
  if (data != -1) {
    makeInteger(second, data);
    setNext(first, second);
  }
  fireEvent(outSelect, first);
}
