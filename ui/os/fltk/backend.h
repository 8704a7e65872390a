// The FLTK backend's shared parts: FLTK widgets that stand in for the Win32
// control classes (each draws what the control's Win32 style words mean in
// the Windows system colours and hands every event to the control that owns
// it), the one control class behind the interface, whose code is split by
// kind of control (button.cpp, comboBox.cpp, edit.cpp, form.cpp, ...), and
// the helpers these files share. Tests use it to check what is really on the
// screen.
#pragma once

#include <FL/Fl_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Image.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Widget.H>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ui/windowSystem.h"

// X11 class (res_name) of every top-level window of the program; search for
// it with `xdotool search --classname`.
inline constexpr const char* WindowClassName = "quilmatronx";

// 1251 to UTF-8, the text encoding of FLTK.
std::string utf8(const std::string& cp1251);

// FLTK colour of a 0x00BBGGRR colour, and of a Win32 system colour index.
Fl_Color flColor(TColor color);
Fl_Color flSystemColor(int32_t index);

// Frames around a control, outside in; Win32 draws them in the non-client
// area (the first five) or the control draws them itself (the last two).
namespace FrameBit {
constexpr unsigned DialogFrame = 1;  // WS_EX_DLGMODALFRAME: raised, 3 px
constexpr unsigned WindowEdge = 2;   // WS_EX_WINDOWEDGE: raised, 2 px
constexpr unsigned Border = 4;       // WS_BORDER: 1 px line
constexpr unsigned StaticEdge = 8;   // WS_EX_STATICEDGE: sunken, 1 px
constexpr unsigned ClientEdge = 16;  // WS_EX_CLIENTEDGE: sunken, 2 px
}  // namespace FrameBit

// The non-client frames of a child control's style words.
unsigned frameBits(uint32_t style, uint32_t exStyle);
int frameInset(unsigned bits);
// A box type that draws these frames and fills the inside with the box
// colour; FLTK then keeps text and mouse inside the frames.
Fl_Boxtype frameBox(unsigned bits);
// Registers the frame box types (once, before the first widget draws).
void registerFrameBoxes();

// How a control shows its text.
struct TWidgetLook {
  uint32_t Style = 0;
  uint32_t ExStyle = 0;
  std::string Text;  // UTF-8
  Fl_Font Font = FL_HELVETICA;
  int Size = 11;
  bool Underline = false;
  bool StrikeOut = false;
  Fl_Color TextColor = FL_BLACK;
  std::optional<Fl_Color> Background;
  bool Transparent = false;
};

// What a widget reports to the control that owns it.
class TWidgetOwner {
 public:
  virtual ~TWidgetOwner() = default;
  // Every event of the widget; native runs the widget's own handling.
  virtual int widgetEvent(int event, const std::function<int(int)>& native) = 0;
  // A move or resize of the widget (by the program or the window manager).
  virtual void widgetResize(int x, int y, int w, int h,
                            const std::function<void(int, int, int, int)>& native) = 0;
  // After the widget has drawn itself: the owner may draw over it.
  virtual void widgetDrawn() = 0;
};

class TOwnedWidget {
 public:
  virtual ~TOwnedWidget() = default;
  TWidgetOwner* Owner = nullptr;
  TWidgetLook Look;
};

// Routes events, resizes and drawing of an FLTK widget class through its
// owner; drawLook() is the class's own drawing.
template <class Base>
class TOwned : public Base, public TOwnedWidget {
 public:
  TOwned(int x, int y, int w, int h) : Base(x, y, w, h) {}

  int handle(int event) override {
    if (Owner == nullptr) return Base::handle(event);
    return Owner->widgetEvent(event, [this](int e) { return Base::handle(e); });
  }
  void resize(int x, int y, int w, int h) override {
    if (Owner == nullptr) return Base::resize(x, y, w, h);
    Owner->widgetResize(x, y, w, h,
                        [this](int a, int b, int c, int d) { Base::resize(a, b, c, d); });
  }
  void draw() override {
    drawLook();
    if (Owner != nullptr) Owner->widgetDrawn();
  }

 protected:
  virtual void drawLook() = 0;
};

// "STATIC": text or nothing, on its background unless transparent.
class TStaticWidget final : public TOwned<Fl_Widget> {
 public:
  using TOwned::TOwned;

 protected:
  void drawLook() override;
};

// "BUTTON" (push buttons): raised face, pressed look, default-button frame.
class TButtonWidget final : public TOwned<Fl_Button> {
 public:
  using TOwned::TOwned;

 protected:
  void drawLook() override;
};

// "EDIT": FLTK's single-line input in the frame of the style words.
class TEditWidget final : public TOwned<Fl_Input> {
 public:
  using TOwned::TOwned;

 protected:
  void drawLook() override { Fl_Input::draw(); }
};

// "COMBOBOX" as a drop-down list: sunken field, drop button, the chosen item.
class TComboWidget final : public TOwned<Fl_Choice> {
 public:
  using TOwned::TOwned;

 protected:
  void drawLook() override;
};

// "msctls_progress32".
class TProgressWidget final : public TOwned<Fl_Widget> {
 public:
  using TOwned::TOwned;
  int32_t Low = 0;
  int32_t High = 100;
  int32_t Position = 0;
  std::optional<Fl_Color> Bar;

 protected:
  void drawLook() override;
};

// The "App" and "Form" windows.
class TTopWindow final : public TOwned<Fl_Double_Window> {
 public:
  using TOwned::TOwned;

 protected:
  void drawLook() override { Fl_Double_Window::draw(); }
};

// The Windows system colours the widgets draw with.
namespace SysColor {
constexpr int32_t Window = 5;
constexpr int32_t WindowFrame = 6;
constexpr int32_t Highlight = 13;
constexpr int32_t HighlightText = 14;
constexpr int32_t ButtonFace = 15;
constexpr int32_t Shadow = 16;
constexpr int32_t GrayText = 17;
constexpr int32_t ButtonText = 18;
constexpr int32_t Hilight = 20;
constexpr int32_t DarkShadow = 21;
constexpr int32_t Light = 22;
}  // namespace SysColor

// One pixel wide rectangle outline: top and left in one colour, bottom and
// right in the other (DrawEdge).
void edge(int x, int y, int w, int h, Fl_Color topLeft, Fl_Color bottomRight);
void raisedEdge(int x, int y, int w, int h);
// Draws the frames of bits from outside in; answers the inside rectangle.
void drawFrames(unsigned bits, int& x, int& y, int& w, int& h);

// Text drawing shared by the widgets: lines split at line breaks and, when
// wrap is set, at spaces to fit the width; align is 0 left, 1 centre, 2
// right; vertical centring when middle is set.
void drawLookText(const TWidgetLook& look, int x, int y, int w, int h, int align, bool wrap,
                  bool middle, Fl_Color color);

// FLTK button 1 left, 2 middle, 3 right; Win32 1 left, 2 right, 3 middle.
int32_t win32Button(int button);
bool isMouseEvent(int event);

// The FLTK face of a Win32 font: family with bold and italic.
Fl_Font fontFamily(const std::string& name, uint8_t style);

// An icon handle is the address of an FLTK RGBA image.
Fl_RGB_Image* iconImage(TIconHandle icon);
void deleteIcon(TIconHandle icon);
TIconHandle makeIcon(const TBitmap& bitmap);

// The frame Windows (10, at 96 dpi) puts around the client area of a
// top-level window of these styles; the elements' rectangles include it.
struct TInsets {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
};
TInsets windowInsets(uint32_t style, uint32_t exStyle);

class TFltkPainter final : public TPainter {
 public:
  // Origin of the control's client area in its window's coordinates.
  TFltkPainter(int originX, int originY, int width, int height)
      : originX_(originX), originY_(originY), width_(width), height_(height) {}

  void fillRect(const TRect& r, TColor color) override;
  void drawBitmap(const TBitmap& bitmap, const TRect& dest, TStretchMode mode) override;

 private:
  int originX_;
  int originY_;
  int width_;
  int height_;
};

class TFltkTooltip;

class TFltkControl final : public TNativeControl, public TWidgetOwner {
 public:
  explicit TFltkControl(const TControlSpec& params);
  ~TFltkControl() override;
  TFltkControl(const TFltkControl&) = delete;
  TFltkControl& operator=(const TFltkControl&) = delete;

  static TFltkControl* of(Fl_Widget* widget) {
    auto* owned = dynamic_cast<TOwnedWidget*>(widget);
    return owned != nullptr ? dynamic_cast<TFltkControl*>(owned->Owner) : nullptr;
  }
  Fl_Widget* widget() const { return widget_; }

  const std::string& className() const override { return className_; }
  TNativeControl* parent() const override { return parent_; }
  void setEvents(TControlEvents* events) override { events_ = events; }

  void setText(const std::string& text) override;
  std::string text() const override;
  void setStyle(uint32_t style) override;
  uint32_t style() const override {
    return style_ | (visible_ ? WinStyle::Visible : 0) | (enabled_ ? 0 : WinStyle::Disabled);
  }
  void setExStyle(uint32_t exStyle) override {
    exStyle_ = exStyle;
    applyLook();
  }
  uint32_t exStyle() const override { return exStyle_; }

  void setBounds(const TRect& bounds) override;
  TRect bounds() const override;
  TSize clientSize() const override;
  void bringToTop() override;

  void setVisible(bool visible) override;
  bool isVisible() const override { return visible_; }
  void setEnabled(bool enabled) override;
  bool isEnabled() const override { return enabled_; }

  void setFont(const TFontSpec& font) override;
  TSize textExtent(const std::string& text) const override;
  void setBackgroundColor(TColor color) override {
    owned_->Look.Background = flColor(color);
    applyLook();
  }
  void setTransparent(bool transparent) override {
    owned_->Look.Transparent = transparent;
    repaint();
  }
  void setCursor(TCursorHandle cursor) override { cursor_ = cursor; }
  void setMouseCapture(bool capture) override;
  void setFocus() override { widget_->take_focus(); }
  void setIcon(TIconHandle icon) override;
  void invalidate() override { repaint(); }
  void setRedraw(bool redraw) override {
    if (redraw) repaint();
  }
  void dragWindow() override;
  void close() override {
    if (events_ != nullptr) events_->onCloseRequest(false);
  }

  int32_t caretPosition() const override;
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
  int32_t progressPosition() const override;
  void setBarColor(TColor color) override;

  int widgetEvent(int event, const std::function<int(int)>& native) override;
  void widgetResize(int x, int y, int w, int h,
                    const std::function<void(int, int, int, int)>& native) override;
  void widgetDrawn() override;

  // The window went away first: this widget is left out of every window.
  void windowGone();
  // Tooltips of this control, told when the control goes first.
  void attachTooltip(TFltkTooltip* tooltip) { tooltips_.push_back(tooltip); }
  void detachTooltip(TFltkTooltip* tooltip) { std::erase(tooltips_, tooltip); }

 private:
  struct TItem {
    std::string Text;  // 1251
    std::string Label;
    int32_t Data = 0;
  };

  // A transparent control shows its parent through: the parent repaints
  // the area under it first.
  void repaint();
  bool validItem(int32_t index) const { return index >= 0 && index < itemCount(); }
  // Where the parent's client area starts in the widget's window.
  void clientOrigin(int& x, int& y) const;
  void applyLook();
  void mouse(TMouseAction action, int32_t button);
  int key(int event, const std::function<int(int)>& native);
  // A character a handler replaced: the widget gets the replacement.
  int typeInstead(int32_t character, int event, const std::function<int(int)>& native);

  // Top-level windows (form.cpp).
  void applyWindowLook();
  void showTitle();
  void setWindowBounds(const TRect& bounds);
  TRect windowBounds() const;
  void showWindow();
  int windowEvent(int event, const std::function<int(int)>& native);

  // Edits (edit.cpp).
  void applyEditLook();

  // Drop-down lists (comboBox.cpp).
  void applyComboLook();
  void rebuildMenu();
  int comboFieldHeight() const;
  bool stepSelection(int key);
  static void selectionPosted(void* data);

  static void widgetCallback(Fl_Widget* widget, void* data);

  std::string className_;
  TFltkControl* parent_;
  TControlEvents* events_;
  uint32_t style_;
  uint32_t exStyle_;
  bool visible_ = false;
  bool enabled_ = true;
  bool dragging_ = false;
  TCursorHandle cursor_ = 0;
  TIconHandle icon_ = 0;
  std::string text_;  // 1251, for the classes FLTK keeps no text of

  Fl_Widget* widget_ = nullptr;
  TOwnedWidget* owned_ = nullptr;
  TTopWindow* window_ = nullptr;  // top-level windows
  TEditWidget* edit_ = nullptr;
  TComboWidget* combo_ = nullptr;
  TProgressWidget* progress_ = nullptr;
  std::vector<TItem> items_;
  std::vector<Fl_Menu_Item> menu_;
  int32_t selected_ = -1;
  std::vector<TFltkControl*> children_;
  std::vector<TFltkTooltip*> tooltips_;
};

class TFltkTooltip final : public TNativeTooltip {
 public:
  TFltkTooltip(TFltkControl& owner, const TTooltipSpec& params);
  ~TFltkTooltip() override;
  TFltkTooltip(const TFltkTooltip&) = delete;
  TFltkTooltip& operator=(const TFltkTooltip&) = delete;

  void setText(const std::string& text) override;
  void setTitle(int32_t icon, const std::string& title) override;
  // FLTK tooltips follow the mouse on their own.
  void trackActivate(bool) override {}
  void trackPosition(int16_t, int16_t) override {}
  // The control is destroyed before its tooltip.
  void ownerGone() { ownerGone_ = true; }

 private:
  void show();

  TFltkControl& owner_;
  bool ownerGone_ = false;
  std::string text_;
  std::string title_;
};

// The widget of a control made by the FLTK backend; null for any other.
Fl_Widget* nativeWidget(const TNativeControl& control);
