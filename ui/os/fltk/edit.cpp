// "EDIT" on FLTK: a single-line input in the frame of the style words, with
// password and read-only styles; the caret counts characters.
#include <FL/fl_utf8.h>

#include <algorithm>

#include "backend.h"

namespace {
// Offsets inside UTF-8 text: FLTK counts bytes, the interface characters.
int byteOffset(const std::string& text, int32_t characters) {
  int offset = 0;
  const int size = static_cast<int>(text.size());
  for (int32_t n = 0; n < characters && offset < size; ++n) {
    offset += std::max(1, fl_utf8len1(text[static_cast<size_t>(offset)]));
  }
  return std::min(offset, size);
}

int32_t characterCount(const std::string& text, int bytes) {
  return fl_utf_nb_char(reinterpret_cast<const unsigned char*>(text.data()),
                        std::min(bytes, static_cast<int>(text.size())));
}
}  // namespace

void TFltkControl::applyEditLook() {
  const TWidgetLook& look = owned_->Look;
  edit_->box(frameBox(frameBits(style_, exStyle_)));
  edit_->input_type((style_ & 0x20) != 0 ? FL_SECRET_INPUT : FL_NORMAL_INPUT);  // ES_PASSWORD
  const bool readOnly = (style_ & 0x800) != 0;                                  // ES_READONLY
  edit_->readonly(readOnly ? 1 : 0);
  // A read-only edit shows the button face unless given its own colour.
  edit_->color(
      look.Background.value_or(flSystemColor(readOnly ? SysColor::ButtonFace : SysColor::Window)));
  edit_->textfont(look.Font);
  edit_->textsize(look.Size);
  edit_->textcolor(look.TextColor);
  edit_->cursor_color(look.TextColor);
}

int32_t TFltkControl::caretPosition() const {
  if (edit_ == nullptr) return 0;
  const std::string value = edit_->value();
  return characterCount(value, std::min(edit_->position(), edit_->mark()));
}

void TFltkControl::setSelection(int32_t start, int32_t end) {
  if (edit_ == nullptr) return;
  const std::string value = edit_->value();
  const int count = characterCount(value, static_cast<int>(value.size()));
  // -1 as the end selects to the end of the text, as EM_SETSEL does.
  if (end < 0 || end > count) end = count;
  start = std::clamp(start, 0, count);
  edit_->position(byteOffset(value, end), byteOffset(value, start));
}
