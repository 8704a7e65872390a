// Base of the list elements: adding items from events, reporting the
// user's selection.
#pragma once

#include <string>
#include <vector>

#include "zkWin.h"

class TZKWinList : public TZKWin {
 public:
  explicit TZKWinList(TNativeControl* parentControl) : TZKWin(parentControl) {}

  uint8_t AddToTop = 0;
  uint8_t SelectAdded = 0;
  uint8_t SelectType = 0;  // 1: events carry the item text, otherwise the index
  TEventLink dataAddText;
  TEventLink dataItemData;
  TEventLink outListChanged;
  TEventLink outSelect;

  void inAdd(TData& d, uint16_t index);
  // Removes the first item with the text of d.
  void inRemove(TData& d, uint16_t index);

  // Item operations of the list (UI thread).
  virtual std::vector<std::string> collectItems();
  virtual void loadItems(const std::string& text) = 0;
  virtual void beginFill(size_t sizeHint);
  virtual void endFill();
  virtual int32_t addItem(const std::string& text);
  // An index outside the items clears the selection.
  virtual void selectIndex(int32_t index);
  // Replaces the text of an existing item, keeping its data and the
  // selection.
  virtual void setItem(const TData& index, const TData& text);
  // Removes every item; outListChanged follows as d's tail event.
  virtual void clearItems(TData& d);
  // The item texts joined with CR LF.
  virtual void itemsText(TData& d);

 protected:
  // Fires outSelect for the current selection.
  void selectionChanged();
};
