// The window system in memory: controls keep their state in fields, nothing
// is drawn. Tests inject what a user would do (clicks, keys, mouse, sizing,
// closing) and read back what the elements made of the controls.
#pragma once

#include <condition_variable>
#include <mutex>
#include <vector>

#include "bitmap.h"
#include "windowSystem.h"

class THeadlessWindowSystem;

// Text metrics of the headless backend: every byte is this wide, a line as
// high as the font's character height (or the default when no font is set).
constexpr int32_t HeadlessCharWidth = 7;
constexpr int32_t HeadlessDefaultLineHeight = 16;

struct TPaintOp {
  enum class TKind : uint8_t { Fill, Bitmap } Kind = TKind::Fill;
  TRect Rect;
  TColor Color = 0;                                // Fill
  TStretchMode Mode = TStretchMode::ColorOnColor;  // Bitmap
  TSize BitmapSize;                                // Bitmap
};

struct TComboItem {
  std::string Text;
  int32_t Data = 0;
};

class THeadlessControl final : public TNativeControl {
 public:
  THeadlessControl(THeadlessWindowSystem& system, const TControlSpec& params);
  ~THeadlessControl() override;

  const std::string& className() const override { return className_; }
  TNativeControl* parent() const override { return parent_; }
  void setEvents(TControlEvents* events) override { events_ = events; }
  void setText(const std::string& text) override;
  std::string text() const override { return text_; }
  void setStyle(uint32_t style) override;
  uint32_t style() const override;
  void setExStyle(uint32_t exStyle) override { exStyle_ = exStyle; }
  uint32_t exStyle() const override { return exStyle_; }
  void setBounds(const TRect& bounds) override;
  TRect bounds() const override { return bounds_; }
  TSize clientSize() const override;
  void bringToTop() override { ++TopRequests; }
  void setVisible(bool visible) override;
  bool isVisible() const override { return visible_; }
  void setEnabled(bool enabled) override { enabled_ = enabled; }
  bool isEnabled() const override { return enabled_; }
  void setFont(const TFontSpec& font) override { font_ = font; }
  TSize textExtent(const std::string& text) const override;
  void setBackgroundColor(TColor color) override { BackgroundColor = color; }
  void setTransparent(bool transparent) override { Transparent = transparent; }
  void setCursor(TCursorHandle cursor) override { Cursor = cursor; }
  void setMouseCapture(bool capture) override { Captured = capture; }
  void setFocus() override;
  void setIcon(TIconHandle icon) override;
  void invalidate() override { ++Invalidations; }
  void setRedraw(bool redraw) override { Redraw = redraw; }
  void dragWindow() override { ++Drags; }
  void close() override;
  int32_t caretPosition() const override { return selectionStart_; }
  void setSelection(int32_t start, int32_t end) override;
  int32_t addItem(const std::string& text) override;
  int32_t insertItem(int32_t index, const std::string& text) override;
  void deleteItem(int32_t index) override;
  void clearItems() override;
  int32_t itemCount() const override { return static_cast<int32_t>(items_.size()); }
  std::string itemText(int32_t index) const override;
  int32_t itemData(int32_t index) const override;
  void setItemData(int32_t index, int32_t data) override;
  int32_t selectedIndex() const override { return selected_; }
  void selectItem(int32_t index) override;
  void setProgressRange(int32_t low, int32_t high) override;
  void setProgressPosition(int32_t position) override;
  int32_t progressPosition() const override { return position_; }
  void setBarColor(TColor color) override { BarColor = color; }

  const TFontSpec& font() const { return font_; }
  const std::vector<TComboItem>& items() const { return items_; }
  TIconHandle icon() const { return icon_; }
  int32_t progressLow() const { return low_; }
  int32_t progressHigh() const { return high_; }
  bool alive() const { return alive_; }
  TControlEvents* events() const { return events_; }

  // What the element set that has no getter in the interface.
  TColor BackgroundColor = 0;
  TColor BarColor = 0;
  bool Transparent = false;
  TCursorHandle Cursor = 0;
  bool Captured = false;
  bool Redraw = true;
  int Invalidations = 0;
  int TopRequests = 0;
  int Drags = 0;
  int32_t SelectionEnd = 0;

 private:
  friend class THeadlessWindowSystem;
  void parentGone();

  THeadlessWindowSystem& system_;
  std::string className_;
  THeadlessControl* parent_;
  std::vector<THeadlessControl*> children_;
  TControlEvents* events_;
  std::string text_;
  uint32_t style_;
  uint32_t exStyle_;
  TRect bounds_;
  bool visible_ = false;
  bool enabled_ = true;
  bool alive_ = true;
  TFontSpec font_;
  TIconHandle icon_ = 0;
  int32_t selectionStart_ = 0;
  std::vector<TComboItem> items_;
  int32_t selected_ = -1;
  int32_t low_ = 0;
  int32_t high_ = 100;
  int32_t position_ = 0;
};

class THeadlessTooltip final : public TNativeTooltip {
 public:
  explicit THeadlessTooltip(const TTooltipSpec& params) : Params(params) {}
  void setText(const std::string& text) override { Text = text; }
  void setTitle(int32_t icon, const std::string& title) override {
    TitleIcon = icon;
    Title = title;
  }
  void trackActivate(bool active) override {
    Active = active;
    ++TrackCalls;
  }
  void trackPosition(int16_t x, int16_t y) override {
    Position = {x, y};
    ++TrackCalls;
  }

  TTooltipSpec Params;
  std::string Text;
  std::string Title;
  int32_t TitleIcon = 0;
  bool Active = false;
  TSize Position;
  int TrackCalls = 0;  // track activations and moves that reached the tooltip
};

class THeadlessWindowSystem final : public TWindowSystem {
 public:
  ~THeadlessWindowSystem() override { shutdown(); }
  std::unique_ptr<TNativeControl> createControl(const TControlSpec& params) override;
  std::unique_ptr<TNativeTooltip> createTooltip(TNativeControl& owner,
                                                const TTooltipSpec& params) override;
  TIconHandle loadIcon(const std::string& name) override;
  TIconHandle copyIcon(TIconHandle icon) override;
  void destroyIcon(TIconHandle icon) override;
  TNativeControl* focusedControl() const override { return focused_; }
  void messageBox(const std::string& text, const std::string& caption) override;
  int runMessageLoop() override;
  void quit(int exitCode) override;

  // Live controls in creation order.
  const std::vector<THeadlessControl*>& controls() const { return controls_; }
  // First live control of the class (and text, when given); null if none.
  THeadlessControl* find(const std::string& className, const std::string* text = nullptr) const;
  static THeadlessControl& of(TNativeControl& control);

  // What a user does.
  void click(TNativeControl& control);
  void chooseItem(TNativeControl& control, int32_t index);  // picks from the drop-down
  // One key message to the control; answers the key as the handlers left it
  // (0: consumed).
  int32_t key(TNativeControl& control, TKeyAction action, int32_t key, uint32_t modifiers = 0);
  // Down, Char (when character is not 0) and Up, as a keyboard types it; an
  // EDIT takes the printable characters its handlers let through.
  void press(TNativeControl& control, int32_t virtualKey, int32_t character,
             uint32_t modifiers = 0);
  void type(TNativeControl& control, const std::string& text);  // the user edits the text
  void mouse(TNativeControl& control, const TMouseInfo& info);
  void resize(TNativeControl& control, int32_t width, int32_t height);  // sizing frame
  void move(TNativeControl& control, int32_t left, int32_t top);
  void userClose(TNativeControl& control);  // caption button
  std::vector<TPaintOp> paint(TNativeControl& control);

  struct TMessageBox {
    std::string Text;
    std::string Caption;
  };
  std::vector<TMessageBox> messageBoxes() const;
  int liveIcons() const { return liveIcons_; }
  bool quitRequested() const;

 protected:
  void wakeUiThread() override;
  void pumpPendingAfter(std::chrono::milliseconds delay) override;

 private:
  friend class THeadlessControl;
  void forget(THeadlessControl* control);

  std::vector<THeadlessControl*> controls_;
  THeadlessControl* focused_ = nullptr;
  int liveIcons_ = 0;
  TIconHandle nextIcon_ = 1;
  mutable std::mutex mutex_;  // the loop state and message boxes: any thread
  std::condition_variable wake_;
  bool woken_ = false;
  // The loop's next pumpPending without a wake; max(): none.
  std::chrono::steady_clock::time_point pumpAt_ = std::chrono::steady_clock::time_point::max();
  bool quit_ = false;
  int exitCode_ = 0;
  std::vector<TMessageBox> messageBoxes_;
};
