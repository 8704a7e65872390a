// Single-line text field.
#include "zkEdit.h"

namespace {
constexpr uint32_t EditStyles = WinStyle::Border | WinStyle::TabStop | 0x80 | 0x40;  // auto scroll
constexpr uint32_t PasswordStyle = 0x20;
constexpr uint32_t ReadOnlyStyle = 0x800;
constexpr int32_t EnterKey = 13;
}  // namespace

TZKEdit::TZKEdit(TNativeControl* parentControl) : TZKWin(parentControl) {
  ValueSource = [this](TData& d) { return currentText(d); };
}

void TZKEdit::init() {
  createControl(
      WinClass::Edit, "",
      EditStyles | (Password != 0 ? PasswordStyle : 0) | (ReadOnly != 0 ? ReadOnlyStyle : 0));
  applyTextAlign(TextAlign);
  TZKWin::init();
  changeHandler = [this] { textChanged(); };
  node_->control().setText(Text);
}

bool TZKEdit::currentText(TData& d) {
  std::string text;
  {
    std::lock_guard lock(textMutex_);
    text = shownText_;
  }
  makeString(d, std::move(text));
  return true;
}

void TZKEdit::rememberText() {
  std::string text = usable() ? node_->control().text() : std::string();
  std::lock_guard lock(textMutex_);
  shownText_ = std::move(text);
}

void TZKEdit::controlDestroyed() {
  TZKWin::controlDestroyed();
  rememberText();
}

void TZKEdit::textChanged() {
  if (!showingText_) rememberText();
  TData value;
  if (changeArmed_ && ValueSource && ValueSource(value)) fireEvent(outChange, value);
  changeArmed_ = true;
}

void TZKEdit::inSetText(TData& d, uint16_t) {
  std::string text = readString(d, dataText, std::string());
  {
    std::lock_guard lock(textMutex_);
    shownText_ = text;
  }
  showLater([this, text = std::move(text)] { showText(text); });
}

void TZKEdit::showText(const std::string& text) {
  if (!usable()) return;
  enterPending_ = false;
  TNativeControl& control = node_->control();
  const int32_t caret = control.caretPosition() & 0xFFFF;
  showingText_ = true;
  control.setText(text);
  showingText_ = false;
  control.setSelection(caret, caret);
}

void TZKEdit::varText(TData& d, uint16_t) {
  if (!ValueSource || !ValueSource(d)) makeNull(d);
}

void TZKEdit::keyDown(int32_t& key) {
  if (key != EnterKey || !outEnter.assigned()) {
    TZKWin::keyDown(key);
    return;
  }
  TData value;
  if (ValueSource && ValueSource(value)) {
    enterPending_ = true;
    fireEvent(outEnter, value);
    // An inSetText from the handler keeps its text.
    if (enterPending_) {
      changeArmed_ = false;
      node_->control().setText("");
    }
    enterPending_ = false;
  }
  key = 0;
}
