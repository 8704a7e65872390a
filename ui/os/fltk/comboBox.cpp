// "COMBOBOX" on FLTK, as the drop-down list the elements use: a choice
// widget drawn as the Windows field with its drop button, items in 1251 and
// their data, the pick reported after the list has closed.
#include <FL/Fl.H>
#include <FL/fl_draw.H>

#include <algorithm>

#include "backend.h"

namespace {
// Menu labels are drawn with FLTK's label rules: '@' starts a symbol and
// '&' marks a shortcut unless doubled.
std::string menuLabel(const std::string& text) {
  std::string label;
  for (char c : text) {
    if (c == '@' || c == '&') label += c;
    label += c;
  }
  return label;
}
}  // namespace

void TComboWidget::drawLook() {
  // The field's own sunken edge, inside any frames of the style words.
  int X = x(), Y = y(), W = w(), H = h();
  drawFrames(frameBits(Look.Style, Look.ExStyle) | FrameBit::ClientEdge, X, Y, W, H);
  const Fl_Color field = Look.Background.value_or(flSystemColor(SysColor::Window));
  fl_color(active_r() ? field : flSystemColor(SysColor::ButtonFace));
  fl_rectf(X, Y, W, H);
  // The drop button, as wide as a scroll bar.
  const int buttonW = std::min(17, W);
  const int buttonX = X + W - buttonW;
  fl_color(flSystemColor(SysColor::ButtonFace));
  fl_rectf(buttonX, Y, buttonW, H);
  raisedEdge(buttonX, Y, buttonW, H);
  fl_color(active_r() ? flSystemColor(SysColor::ButtonText) : flSystemColor(SysColor::GrayText));
  const int cx = buttonX + buttonW / 2, cy = Y + H / 2;
  fl_polygon(cx - 4, cy - 2, cx + 4, cy - 2, cx, cy + 2);
  // The chosen item, highlighted while the list has the focus.
  const Fl_Menu_Item* item = mvalue();
  if (item == nullptr || item->label() == nullptr) return;
  TWidgetLook itemLook = Look;
  itemLook.Text = item->label();
  const bool focused = Fl::focus() == this && active_r();
  Fl_Color textColor = active_r() ? Look.TextColor : flSystemColor(SysColor::GrayText);
  if (focused) {
    fl_color(flSystemColor(SysColor::Highlight));
    fl_rectf(X + 1, Y + 1, buttonX - X - 2, H - 2);
    textColor = flSystemColor(SysColor::HighlightText);
  }
  drawLookText(itemLook, X + 3, Y, buttonX - X - 4, H, 0, false, true, textColor);
}

void TFltkControl::applyComboLook() {
  // The drop-down list's own colours and font.
  const TWidgetLook& look = owned_->Look;
  combo_->color(look.Background.value_or(flSystemColor(SysColor::Window)));
  combo_->selection_color(flSystemColor(SysColor::Highlight));
  combo_->textfont(look.Font);
  combo_->textsize(look.Size);
  combo_->textcolor(look.TextColor);
}

std::string TFltkControl::itemText(int32_t index) const {
  return validItem(index) ? items_[static_cast<size_t>(index)].Text : std::string();
}

int32_t TFltkControl::itemData(int32_t index) const {
  return validItem(index) ? items_[static_cast<size_t>(index)].Data : -1;
}

void TFltkControl::setItemData(int32_t index, int32_t data) {
  if (validItem(index)) items_[static_cast<size_t>(index)].Data = data;
}

int TFltkControl::comboFieldHeight() const {
  fl_font(owned_->Look.Font, owned_->Look.Size);
  return fl_height() + 8;
}

void TFltkControl::rebuildMenu() {
  if (combo_ == nullptr) return;
  menu_.assign(items_.size() + 1, Fl_Menu_Item{});
  for (size_t i = 0; i < items_.size(); ++i) menu_[i].text = items_[i].Label.c_str();
  combo_->menu(menu_.data());
  combo_->value(selected_ >= 0 ? &menu_[static_cast<size_t>(selected_)] : nullptr);
  combo_->redraw();
}

int32_t TFltkControl::insertItem(int32_t index, const std::string& text) {
  if (combo_ == nullptr || index < -1 || index > itemCount()) return -1;
  if (index == -1) index = itemCount();  // CB_INSERTSTRING with -1 appends
  items_.insert(items_.begin() + index, TItem{text, menuLabel(utf8(text)), 0});
  if (selected_ >= index) ++selected_;
  rebuildMenu();
  return index;
}

int32_t TFltkControl::addItem(const std::string& text) {
  if (combo_ == nullptr) return -1;
  int32_t index = itemCount();
  if ((style_ & 0x100) != 0) {  // CBS_SORT: case-insensitive order
    const auto at = std::find_if(items_.begin(), items_.end(), [&](const TItem& item) {
      return compareNoCase(text, item.Text) < 0;
    });
    index = static_cast<int32_t>(at - items_.begin());
  }
  return insertItem(index, text);
}

void TFltkControl::deleteItem(int32_t index) {
  if (!validItem(index)) return;
  items_.erase(items_.begin() + index);
  if (selected_ == index) {
    selected_ = -1;
  } else if (selected_ > index) {
    --selected_;
  }
  rebuildMenu();
}

void TFltkControl::clearItems() {
  items_.clear();
  selected_ = -1;
  rebuildMenu();
}

void TFltkControl::selectItem(int32_t index) {
  selected_ = validItem(index) ? index : -1;
  rebuildMenu();
}

bool TFltkControl::stepSelection(int key) {
  // A closed drop-down list moves its selection with the arrow keys and
  // reports it, as the Win32 one does.
  if (items_.empty()) return false;
  int32_t next = selected_;
  if (key == FL_Up || key == FL_Left) {
    next = std::max(selected_ - 1, 0);
  } else if (key == FL_Down || key == FL_Right) {
    next = std::min(selected_ + 1, itemCount() - 1);
  } else if (key == FL_Home) {
    next = 0;
  } else if (key == FL_End) {
    next = itemCount() - 1;
  } else {
    return false;
  }
  if (next != selected_) {
    selectItem(next);
    Fl::add_timeout(0.0, &selectionPosted, this);
  }
  return true;
}

void TFltkControl::selectionPosted(void* data) {
  auto* control = static_cast<TFltkControl*>(data);
  if (control->events_ != nullptr) control->events_->onSelectionChange();
}
