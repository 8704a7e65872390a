// Single-line text field.
#pragma once

#include <functional>
#include <mutex>
#include <string>

#include "zkWin.h"

class TZKEdit : public TZKWin {
 public:
  explicit TZKEdit(TNativeControl* parentControl);

  // Answers the current value into the record; false when it has none. The
  // edit's own currentText unless the schema binds another.
  std::function<bool(TData&)> ValueSource;
  uint8_t Password = 0;
  std::string Text;  // initial text
  uint8_t ReadOnly = 0;
  uint8_t TextAlign = 0;  // 0 left, 1 right, 2 centre
  TEventLink dataText;
  TEventLink outEnter;
  TEventLink outChange;

  void init() override;
  // From another thread the text is shown later (showLater), but varText
  // answers it at once.
  void inSetText(TData& d, uint16_t index);
  void varText(TData& d, uint16_t index);
  // The control's window text as a String. Answered from a copy kept on
  // every change and on every text set, so a reader on another thread does
  // not wait for the UI thread (the upload reads the running check sum once
  // per image byte) and reads exactly the text last set.
  bool currentText(TData& d);

 protected:
  void keyDown(int32_t& key) override;
  void controlDestroyed() override;

 private:
  void textChanged();
  // UI thread: copies the control's text on a change notification that is
  // not one of inSetText's own (the user typed, or init set the text).
  void rememberText();
  // UI thread: what inSetText does to the control.
  void showText(const std::string& text);

  mutable std::mutex textMutex_;
  std::string shownText_;
  bool showingText_ = false;  // UI thread: showText is setting the control's text

  bool changeArmed_ = false;  // the change that init causes fires nothing
  bool enterPending_ = false;
};
