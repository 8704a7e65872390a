// The window library on Linux: FLTK 1.3 widgets at the exact rectangles the
// elements give, drawn as the Win32 style words ask, texts converted between
// 1251 and UTF-8 at this boundary. Other threads reach the widgets only
// through invokeSync: the UI thread holds Fl::lock and runs the handed-over
// calls from its loop (Fl::awake wakes it) or from waitPumping.
#include "windowSystemFltk.h"

#include <FL/Fl.H>
#include <FL/Fl_Image.H>
#include <FL/Fl_Tooltip.H>
#include <FL/fl_ask.H>
#include <FL/fl_draw.H>
#include <FL/x.H>
#include <X11/Xatom.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "runtime/codepage.h"
#include "runtime/systemSeams.h"
#include "ui/bitmap.h"
#include "widgetsFltk.h"

namespace {
std::string utf8(const std::string& cp1251) { return cp1251ToUtf8(cp1251); }

// An icon handle is the address of an FLTK RGBA image.
Fl_RGB_Image* iconImage(TIconHandle icon) { return reinterpret_cast<Fl_RGB_Image*>(icon); }
void deleteIcon(TIconHandle icon) { delete iconImage(icon); }

TIconHandle makeIcon(const TBitmap& bitmap) {
  if (bitmap.empty()) return 0;
  auto* rgba = new uchar[bitmap.Pixels.size() * 4];
  for (size_t i = 0; i < bitmap.Pixels.size(); ++i) {
    const uint32_t argb = bitmap.Pixels[i];
    rgba[4 * i] = static_cast<uchar>(argb >> 16);
    rgba[4 * i + 1] = static_cast<uchar>(argb >> 8);
    rgba[4 * i + 2] = static_cast<uchar>(argb);
    rgba[4 * i + 3] = static_cast<uchar>(argb >> 24);
  }
  auto* image = new Fl_RGB_Image(rgba, bitmap.Width, bitmap.Height, 4);
  image->alloc_array = 1;  // the image frees the pixels
  return reinterpret_cast<TIconHandle>(image);
}

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

// The frame Windows (10, at 96 dpi) puts around the client area of a
// top-level window of these styles; the elements' rectangles include it.
struct TInsets {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
};

TInsets windowInsets(uint32_t style, uint32_t exStyle) {
  int frame = 0;
  if ((style & WinStyle::SizeFrame) != 0) {
    frame = 8;
  } else if ((style & WinStyle::Caption) != 0 || (exStyle & WinExStyle::DlgModalFrame) != 0) {
    frame = 3;
  } else if ((style & WinStyle::Border) != 0) {
    frame = 1;
  }
  if ((exStyle & WinExStyle::ClientEdge) != 0) frame += 2;
  if ((exStyle & WinExStyle::StaticEdge) != 0) frame += 1;
  const int caption = (style & WinStyle::Caption) == WinStyle::Caption ? 23 : 0;
  return {frame, frame + caption, frame, frame};
}

bool hasCaption(uint32_t style) { return (style & WinStyle::Caption) == WinStyle::Caption; }

Fl_Font fontFamily(const std::string& name, uint8_t style) {
  std::string lower = name;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
  Fl_Font family = FL_HELVETICA;
  if (lower.find("courier") != std::string::npos || lower.find("console") != std::string::npos ||
      lower.find("mono") != std::string::npos || lower.find("fixedsys") != std::string::npos) {
    family = FL_COURIER;
  } else if (lower.find("times") != std::string::npos ||
             lower.find("georgia") != std::string::npos ||
             (lower.find("serif") != std::string::npos &&
              lower.find("sans") == std::string::npos)) {
    family = FL_TIMES;
  }
  if ((style & 1) != 0) family += FL_BOLD;
  if ((style & 2) != 0) family += FL_ITALIC;
  return family;
}

// Win32 virtual key code of an FLTK key.
int32_t virtualKey(int key) {
  if (key >= 'a' && key <= 'z') return key - 'a' + 'A';
  if ((key >= '0' && key <= '9') || key == ' ') return key;
  if (key >= FL_F + 1 && key <= FL_F + 24) return 0x70 + (key - FL_F - 1);
  if (key >= FL_KP + '0' && key <= FL_KP + '9') return 0x60 + (key - FL_KP - '0');
  switch (key) {
    case FL_BackSpace:
      return 8;
    case FL_Tab:
      return 9;
    case FL_Enter:
    case FL_KP_Enter:
      return 13;
    case FL_Shift_L:
    case FL_Shift_R:
      return 16;
    case FL_Control_L:
    case FL_Control_R:
      return 17;
    case FL_Alt_L:
    case FL_Alt_R:
      return 18;
    case FL_Pause:
      return 19;
    case FL_Caps_Lock:
      return 20;
    case FL_Escape:
      return 27;
    case FL_Page_Up:
      return 33;
    case FL_Page_Down:
      return 34;
    case FL_End:
      return 35;
    case FL_Home:
      return 36;
    case FL_Left:
      return 37;
    case FL_Up:
      return 38;
    case FL_Right:
      return 39;
    case FL_Down:
      return 40;
    case FL_Insert:
      return 45;
    case FL_Delete:
      return 46;
    case FL_KP + '*':
      return 0x6A;
    case FL_KP + '+':
      return 0x6B;
    case FL_KP + '-':
      return 0x6D;
    case FL_KP + '.':
      return 0x6E;
    case FL_KP + '/':
      return 0x6F;
    case ';':
      return 0xBA;
    case '=':
      return 0xBB;
    case ',':
      return 0xBC;
    case '-':
      return 0xBD;
    case '.':
      return 0xBE;
    case '/':
      return 0xBF;
    case '`':
      return 0xC0;
    case '[':
      return 0xDB;
    case '\\':
      return 0xDC;
    case ']':
      return 0xDD;
    case '\'':
      return 0xDE;
    default:
      return key & 0xFF;
  }
}

uint32_t modifiersOf(int state) {
  uint32_t modifiers = 0;
  if ((state & FL_SHIFT) != 0) modifiers |= KeyState::Shift;
  if ((state & FL_CTRL) != 0) modifiers |= KeyState::Ctrl;
  if ((state & FL_ALT) != 0) modifiers |= KeyState::Alt;
  return modifiers;
}

// The MK_ flags of a Win32 mouse message, plus Alt.
uint32_t mouseKeyState(int state) {
  uint32_t flags = modifiersOf(state);
  if ((state & FL_BUTTON1) != 0) flags |= KeyState::LeftButton;
  if ((state & FL_BUTTON3) != 0) flags |= KeyState::RightButton;
  if ((state & FL_BUTTON2) != 0) flags |= KeyState::MiddleButton;
  return flags;
}

// FLTK button 1 left, 2 middle, 3 right; Win32 1 left, 2 right, 3 middle.
int32_t win32Button(int button) {
  switch (button) {
    case FL_LEFT_MOUSE:
      return 1;
    case FL_RIGHT_MOUSE:
      return 2;
    case FL_MIDDLE_MOUSE:
      return 3;
    default:
      return 0;
  }
}

bool isMouseEvent(int event) {
  return event == FL_PUSH || event == FL_RELEASE || event == FL_DRAG || event == FL_MOVE ||
         event == FL_MOUSEWHEEL;
}

bool isInputEvent(int event) {
  return isMouseEvent(event) || event == FL_KEYBOARD || event == FL_KEYUP || event == FL_SHORTCUT;
}

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

class TFltkPainter final : public TPainter {
 public:
  // Origin of the control's client area in its window's coordinates.
  TFltkPainter(int originX, int originY, int width, int height)
      : originX_(originX), originY_(originY), width_(width), height_(height) {}

  void fillRect(const TRect& r, TColor color) override {
    if (r.width() <= 0 || r.height() <= 0) return;
    fl_color(flColor(color));
    fl_rectf(originX_ + r.left, originY_ + r.top, r.width(), r.height());
  }

  // Scales only the part of dest inside the control: sampling (colour on
  // colour) or averaging the covered source pixels (halftone).
  void drawBitmap(const TBitmap& bitmap, const TRect& dest, TStretchMode mode) override {
    if (bitmap.empty() || dest.width() <= 0 || dest.height() <= 0) return;
    const int left = std::max(dest.left, 0), right = std::min(dest.right, width_);
    const int top = std::max(dest.top, 0), bottom = std::min(dest.bottom, height_);
    if (left >= right || top >= bottom) return;
    auto span = [](int at, int size, int destSize, int& from, int& to) {
      from = static_cast<int>(static_cast<int64_t>(at) * size / destSize);
      to = static_cast<int>(static_cast<int64_t>(at + 1) * size / destSize);
      to = std::max(to, from + 1);
    };
    const int w = right - left, h = bottom - top;
    std::vector<uchar> rgb(static_cast<size_t>(w) * static_cast<size_t>(h) * 3);
    size_t out = 0;
    for (int y = top; y < bottom; ++y) {
      int y0 = 0, y1 = 0;
      span(y - dest.top, bitmap.Height, dest.height(), y0, y1);
      if (mode != TStretchMode::Halftone) y1 = y0 + 1;
      for (int x = left; x < right; ++x) {
        int x0 = 0, x1 = 0;
        span(x - dest.left, bitmap.Width, dest.width(), x0, x1);
        if (mode != TStretchMode::Halftone) x1 = x0 + 1;
        uint32_t red = 0, green = 0, blue = 0, count = 0;
        for (int sy = y0; sy < y1; ++sy) {
          for (int sx = x0; sx < x1; ++sx) {
            const uint32_t pixel = bitmap.pixel(sx, sy);
            red += (pixel >> 16) & 0xFF;
            green += (pixel >> 8) & 0xFF;
            blue += pixel & 0xFF;
            ++count;
          }
        }
        rgb[out++] = static_cast<uchar>(red / count);
        rgb[out++] = static_cast<uchar>(green / count);
        rgb[out++] = static_cast<uchar>(blue / count);
      }
    }
    fl_draw_image(rgb.data(), originX_ + left, originY_ + top, w, h, 3);
  }

 private:
  int originX_;
  int originY_;
  int width_;
  int height_;
};

void setUtf8Property(Window window, const char* name, const std::string& value) {
  const Atom property = XInternAtom(fl_display, name, False);
  const Atom type = XInternAtom(fl_display, "UTF8_STRING", False);
  XChangeProperty(fl_display, window, property, type, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(value.data()),
                  static_cast<int>(value.size()));
}
}  // namespace

class TFltkTooltip;

class TFltkControl final : public TNativeControl, public TWidgetOwner {
 public:
  TFltkControl(const TControlSpec& params);
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
  void setMouseCapture(bool capture) override {
    if (capture) {
      Fl::pushed(widget_);
    } else if (Fl::pushed() == widget_) {
      Fl::pushed(nullptr);
    }
  }
  void setFocus() override { widget_->take_focus(); }
  void setIcon(TIconHandle icon) override {
    if (icon_ != icon) deleteIcon(icon_);
    icon_ = icon;
    // FLTK keeps a copy for the window manager.
    if (window_ != nullptr && icon != 0) window_->icon(iconImage(icon));
  }
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
  std::string itemText(int32_t index) const override {
    return validItem(index) ? items_[static_cast<size_t>(index)].Text : std::string();
  }
  int32_t itemData(int32_t index) const override {
    return validItem(index) ? items_[static_cast<size_t>(index)].Data : -1;
  }
  void setItemData(int32_t index, int32_t data) override {
    if (validItem(index)) items_[static_cast<size_t>(index)].Data = data;
  }
  int32_t selectedIndex() const override { return selected_; }
  void selectItem(int32_t index) override;

  void setProgressRange(int32_t low, int32_t high) override;
  void setProgressPosition(int32_t position) override;
  int32_t progressPosition() const override { return progress_ ? progress_->Position : 0; }
  void setBarColor(TColor color) override {
    if (progress_ == nullptr) return;
    progress_->Bar = flColor(color);
    progress_->redraw();
  }

  int widgetEvent(int event, const std::function<int(int)>& native) override;
  void widgetResize(int x, int y, int w, int h,
                    const std::function<void(int, int, int, int)>& native) override;
  void widgetDrawn() override;

  // The window went away first: this widget is left out of every window.
  void windowGone();
  // Tooltips of this control, told when the control goes first.
  void attachTooltip(TFltkTooltip* tooltip) { tooltips_.push_back(tooltip); }
  void detachTooltip(TFltkTooltip* tooltip) {
    tooltips_.erase(std::remove(tooltips_.begin(), tooltips_.end(), tooltip), tooltips_.end());
  }

 private:
  struct TItem {
    std::string Text;  // 1251
    std::string Label;
    int32_t Data = -1;
  };

  // A transparent control shows its parent through: the parent repaints
  // the area under it first.
  void repaint() {
    if (owned_->Look.Transparent && window_ == nullptr && widget_->window() != nullptr) {
      widget_->window()->damage(FL_DAMAGE_ALL, widget_->x(), widget_->y(), widget_->w(),
                                widget_->h());
    } else {
      widget_->redraw();
    }
  }
  bool validItem(int32_t index) const { return index >= 0 && index < itemCount(); }
  // Where the parent's client area starts in the widget's window.
  void clientOrigin(int& x, int& y) const;
  void applyLook();
  void rebuildMenu();
  void mouse(TMouseAction action, int32_t button);
  int key(int event, const std::function<int(int)>& native);
  int windowEvent(int event, const std::function<int(int)>& native);
  void showWindow();
  int comboFieldHeight() const;
  bool stepSelection(int key);

  static void widgetCallback(Fl_Widget* widget, void* data);
  static void selectionPosted(void* data);

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
  TFltkTooltip(TFltkControl& owner, const TTooltipSpec& params) : owner_(owner) {
    // FLTK has one set of tooltip settings: the newest tooltip's apply.
    Fl_Tooltip::delay(static_cast<float>(params.InitialDelay) / 1000.0f);
    Fl_Tooltip::color(flColor(params.BackColor));
    Fl_Tooltip::textcolor(flColor(params.Font.Color));
    Fl_Tooltip::font(fontFamily(params.Font.Name, params.Font.Style));
    if (params.Font.Height != 0) Fl_Tooltip::size(std::abs(params.Font.Height));
    owner_.attachTooltip(this);
  }
  ~TFltkTooltip() override {
    if (ownerGone_) return;
    owner_.detachTooltip(this);
    owner_.widget()->copy_tooltip(nullptr);
  }
  TFltkTooltip(const TFltkTooltip&) = delete;
  TFltkTooltip& operator=(const TFltkTooltip&) = delete;

  void setText(const std::string& text) override {
    text_ = utf8(text);
    show();
  }
  void setTitle(int32_t, const std::string& title) override {
    title_ = utf8(title);
    show();
  }
  // FLTK tooltips follow the mouse on their own.
  void trackActivate(bool) override {}
  void trackPosition(int16_t, int16_t) override {}
  // The control is destroyed before its tooltip.
  void ownerGone() { ownerGone_ = true; }

 private:
  void show() {
    const std::string shown = title_.empty() ? text_ : title_ + "\n" + text_;
    if (!ownerGone_) owner_.widget()->copy_tooltip(shown.c_str());
  }

  TFltkControl& owner_;
  bool ownerGone_ = false;
  std::string text_;
  std::string title_;
};

class TFltkWindowSystem final : public TWindowSystem {
 public:
  TFltkWindowSystem() {
    // Other threads never call FLTK; the lock keeps Fl::awake well defined.
    Fl::lock();
    fl_open_display();
    registerFrameBoxes();
    Fl::scheme("none");
    Fl::visible_focus(1);
    // FLTK's own widgets (the drop-down menu, dialogs) in the Windows colours.
    const TColor face = systemColorRgb(15), window = systemColorRgb(5);
    Fl::background(static_cast<uchar>(face & 0xFF), static_cast<uchar>((face >> 8) & 0xFF),
                   static_cast<uchar>((face >> 16) & 0xFF));
    Fl::background2(static_cast<uchar>(window & 0xFF), static_cast<uchar>((window >> 8) & 0xFF),
                    static_cast<uchar>((window >> 16) & 0xFF));
    Fl::foreground(0, 0, 0);
    Fl::set_color(FL_SELECTION_COLOR, flSystemColor(13));
    fl_close = "OK";
    // Every loop FLTK runs (this one's, a drop-down list's, a message box's)
    // serves the calls handed over by other threads before it sleeps.
    Fl::add_check(&servePending, this);
  }
  ~TFltkWindowSystem() override {
    Fl::remove_check(&servePending, this);
    Fl::remove_timeout(&servePendingLater, this);
    shutdown();
  }
  TFltkWindowSystem(const TFltkWindowSystem&) = delete;
  TFltkWindowSystem& operator=(const TFltkWindowSystem&) = delete;

  std::unique_ptr<TNativeControl> createControl(const TControlSpec& params) override {
    return std::make_unique<TFltkControl>(params);
  }
  std::unique_ptr<TNativeTooltip> createTooltip(TNativeControl& owner,
                                                const TTooltipSpec& params) override {
    auto* control = dynamic_cast<TFltkControl*>(&owner);
    if (control == nullptr) return nullptr;
    return std::make_unique<TFltkTooltip>(*control, params);
  }
  TIconHandle loadIcon(const std::string& name) override {
    return makeIcon(decodeIcon(systemSeams().findResource(name)));
  }
  TIconHandle copyIcon(TIconHandle icon) override {
    if (icon == 0) return 0;
    return reinterpret_cast<TIconHandle>(static_cast<Fl_RGB_Image*>(iconImage(icon)->copy()));
  }
  void destroyIcon(TIconHandle icon) override { deleteIcon(icon); }
  TNativeControl* focusedControl() const override { return TFltkControl::of(Fl::focus()); }

  void messageBox(const std::string& text, const std::string& caption) override {
    invokeSync([&] {
      fl_message_title(utf8(caption).c_str());
      fl_message("%s", utf8(text).c_str());
    });
  }

  int runMessageLoop() override {
    while (!quitting_) Fl::wait(1.0);
    shutdown();
    return exitCode_;
  }
  void quit(int exitCode) override {
    exitCode_ = exitCode;
    quitting_ = true;
    Fl::awake();
  }

 protected:
  // One wake-up in flight at most: the pipe behind Fl::awake never fills,
  // however long the UI thread waits elsewhere.
  void wakeUiThread() override {
    if (!wakePending_.exchange(true)) Fl::awake();
  }
  void pumpPendingAfter(std::chrono::milliseconds delay) override {
    if (!Fl::has_timeout(&servePendingLater, this)) {
      Fl::add_timeout(std::chrono::duration<double>(delay).count(), &servePendingLater, this);
    }
  }

 private:
  static void servePending(void* data) {
    auto* system = static_cast<TFltkWindowSystem*>(data);
    system->wakePending_ = false;
    system->pumpPending();
  }
  static void servePendingLater(void* data) {
    static_cast<TFltkWindowSystem*>(data)->pumpPending();
  }

  std::atomic<bool> wakePending_{false};
  std::atomic<bool> quitting_{false};
  std::atomic<int> exitCode_{0};
};

// --- TFltkControl --------------------------------------------------------

TFltkControl::TFltkControl(const TControlSpec& params)
    : className_(params.ClassName),
      parent_(dynamic_cast<TFltkControl*>(params.Parent)),
      events_(params.Events),
      style_(params.Style & ~(WinStyle::Visible | WinStyle::Disabled)),
      exStyle_(params.ExStyle),
      text_(params.Text) {
  // A new widget joins the current group unless there is none.
  Fl_Group::current(nullptr);
  const bool topLevel = (params.Style & WinStyle::Child) == 0;
  if (topLevel) {
    window_ = new TTopWindow(0, 0, std::max(params.Bounds.width(), 1),
                             std::max(params.Bounds.height(), 1));
    window_->end();
    window_->xclass(WindowClassName);
    window_->callback(&widgetCallback, this);
    window_->color(flSystemColor(15));
    widget_ = window_;
    owned_ = window_;
  } else if (className_ == WinClass::Button) {
    auto* button = new TButtonWidget(0, 0, 1, 1);
    owned_ = button;
    widget_ = button;
  } else if (className_ == WinClass::Edit) {
    edit_ = new TEditWidget(0, 0, 1, 1);
    edit_->when(FL_WHEN_CHANGED);
    owned_ = edit_;
    widget_ = edit_;
  } else if (className_ == WinClass::ComboBox) {
    combo_ = new TComboWidget(0, 0, 1, 1);
    combo_->when(FL_WHEN_CHANGED);
    combo_->down_box(FL_FLAT_BOX);
    owned_ = combo_;
    widget_ = combo_;
  } else if (className_ == WinClass::Progress) {
    progress_ = new TProgressWidget(0, 0, 1, 1);
    owned_ = progress_;
    widget_ = progress_;
  } else {
    auto* label = new TStaticWidget(0, 0, 1, 1);
    owned_ = label;
    widget_ = label;
  }
  if (!topLevel) {
    widget_->callback(&widgetCallback, this);
    Fl_Group* group = parent_ != nullptr
                          ? (parent_->window_ != nullptr ? static_cast<Fl_Group*>(parent_->window_)
                                                         : parent_->widget_->window())
                          : nullptr;
    if (group != nullptr) group->add(widget_);
    if (parent_ != nullptr) parent_->children_.push_back(this);
  }
  owned_->Look.Text = utf8(params.Text);
  if (edit_ != nullptr) edit_->value(owned_->Look.Text.c_str());
  if (window_ != nullptr) window_->copy_label(owned_->Look.Text.c_str());
  widget_->hide();  // created hidden; setVisible shows it
  applyLook();
  setBounds(params.Bounds);
  owned_->Owner = this;
}

TFltkControl::~TFltkControl() {
  owned_->Owner = nullptr;
  Fl::remove_timeout(&selectionPosted, this);
  for (TFltkTooltip* tooltip : tooltips_) tooltip->ownerGone();
  if (Fl::pushed() == widget_) Fl::pushed(nullptr);
  for (TFltkControl* child : children_) child->windowGone();
  if (parent_ != nullptr) {
    auto& siblings = parent_->children_;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
  }
  if (Fl_Group* group = widget_->parent()) group->remove(widget_);
  delete widget_;
  deleteIcon(icon_);
}

void TFltkControl::windowGone() {
  if (Fl_Group* group = widget_->parent()) group->remove(widget_);
  parent_ = nullptr;
  if (events_ != nullptr) events_->onDestroyed();
}

void TFltkControl::applyLook() {
  TWidgetLook& look = owned_->Look;
  look.Style = style_;
  look.ExStyle = exStyle_;
  if (window_ != nullptr) {
    window_->color(look.Background.value_or(flSystemColor(15)));
    window_->border(hasCaption(style_) ? 1 : 0);
  } else if (edit_ != nullptr) {
    edit_->box(frameBox(frameBits(style_, exStyle_)));
    edit_->input_type((style_ & 0x20) != 0 ? FL_SECRET_INPUT : FL_NORMAL_INPUT);  // ES_PASSWORD
    const bool readOnly = (style_ & 0x800) != 0;                                  // ES_READONLY
    edit_->readonly(readOnly ? 1 : 0);
    // A read-only edit shows the button face unless given its own colour.
    edit_->color(look.Background.value_or(flSystemColor(readOnly ? 15 : 5)));
    edit_->textfont(look.Font);
    edit_->textsize(look.Size);
    edit_->textcolor(look.TextColor);
    edit_->cursor_color(look.TextColor);
  } else if (combo_ != nullptr) {
    // The drop-down list's own colours and font.
    combo_->color(look.Background.value_or(flSystemColor(5)));
    combo_->selection_color(flSystemColor(13));
    combo_->textfont(look.Font);
    combo_->textsize(look.Size);
    combo_->textcolor(look.TextColor);
  }
  repaint();
}

void TFltkControl::setText(const std::string& text) {
  text_ = text;
  owned_->Look.Text = utf8(text);
  if (edit_ != nullptr) {
    edit_->value(owned_->Look.Text.c_str());
    // As EN_CHANGE follows WM_SETTEXT.
    if (events_ != nullptr) events_->onTextChange();
    return;
  }
  if (combo_ != nullptr) {
    // A drop-down list shows the item of that text, if there is one.
    for (size_t i = 0; i < items_.size(); ++i) {
      if (items_[i].Text == text) selectItem(static_cast<int32_t>(i));
    }
    return;
  }
  if (window_ != nullptr) {
    window_->copy_label(owned_->Look.Text.c_str());
    if (window_->shown()) setUtf8Property(fl_xid(window_), "_NET_WM_NAME", owned_->Look.Text);
    if (window_->shown()) setUtf8Property(fl_xid(window_), "WM_NAME", owned_->Look.Text);
  }
  repaint();
}

std::string TFltkControl::text() const {
  if (edit_ != nullptr) return utf8To1251(edit_->value());
  if (combo_ != nullptr) return itemText(selected_);
  return text_;
}

void TFltkControl::setStyle(uint32_t style) {
  const TRect outer = bounds();
  style_ = style & ~(WinStyle::Visible | WinStyle::Disabled);
  applyLook();
  // A top-level window's frame follows its style: keep the outer rectangle.
  if (window_ != nullptr) setBounds(outer);
}

void TFltkControl::clientOrigin(int& x, int& y) const {
  x = 0;
  y = 0;
  // A child of a child sits in the grandparent's window, inside the parent's frame.
  if (parent_ != nullptr && parent_->window_ == nullptr) {
    const int inset = frameInset(frameBits(parent_->style_, parent_->exStyle_));
    x = parent_->widget_->x() + inset;
    y = parent_->widget_->y() + inset;
  }
}

int TFltkControl::comboFieldHeight() const {
  fl_font(owned_->Look.Font, owned_->Look.Size);
  return fl_height() + 8;
}

void TFltkControl::setBounds(const TRect& bounds) {
  if (window_ != nullptr) {
    const TInsets insets = windowInsets(style_, exStyle_);
    const int w = std::max(bounds.width() - insets.left - insets.right, 1);
    const int h = std::max(bounds.height() - insets.top - insets.bottom, 1);
    window_->resize(bounds.left + insets.left, bounds.top + insets.top, w, h);
    // Only a sizing frame lets the user resize the window.
    if ((style_ & WinStyle::SizeFrame) != 0) {
      window_->size_range(1, 1);
    } else {
      window_->size_range(w, h, w, h);
    }
    return;
  }
  int x = 0, y = 0;
  clientOrigin(x, y);
  int height = bounds.height();
  // Like Win32, a drop-down list's height covers the opened list; the
  // field itself is one line high.
  if (combo_ != nullptr) height = std::min(height, comboFieldHeight());
  widget_->resize(x + bounds.left, y + bounds.top, bounds.width(), height);
}

TRect TFltkControl::bounds() const {
  if (window_ != nullptr) {
    const TInsets insets = windowInsets(style_, exStyle_);
    return {window_->x() - insets.left, window_->y() - insets.top,
            window_->x() + window_->w() + insets.right,
            window_->y() + window_->h() + insets.bottom};
  }
  int x = 0, y = 0;
  clientOrigin(x, y);
  const int left = widget_->x() - x, top = widget_->y() - y;
  return {left, top, left + widget_->w(), top + widget_->h()};
}

TSize TFltkControl::clientSize() const {
  if (window_ != nullptr) return {window_->w(), window_->h()};
  const int inset = frameInset(frameBits(style_, exStyle_));
  return {std::max(widget_->w() - 2 * inset, 0), std::max(widget_->h() - 2 * inset, 0)};
}

void TFltkControl::bringToTop() {
  // FLTK draws later children over earlier ones.
  if (Fl_Group* group = widget_->parent()) group->insert(*widget_, group->children());
}

void TFltkControl::showWindow() {
  // The program's only visible top-level window is the form: the "App"
  // window's task-bar role is the window manager's business on Linux.
  if (className_ == WinClass::App) return;
  window_->show();
  // FLTK labels a UTF-8 caption as Latin-1; tools look for the UTF-8 names.
  setUtf8Property(fl_xid(window_), "_NET_WM_NAME", owned_->Look.Text);
  setUtf8Property(fl_xid(window_), "WM_NAME", owned_->Look.Text);
  XFlush(fl_display);
}

void TFltkControl::setVisible(bool visible) {
  if (visible == visible_) return;
  if (visible && events_ != nullptr) events_->onShow();
  visible_ = visible;
  if (window_ != nullptr) {
    if (visible) {
      showWindow();
    } else {
      window_->hide();
    }
    return;
  }
  if (visible) {
    widget_->show();
  } else {
    widget_->hide();
  }
}

void TFltkControl::setEnabled(bool enabled) {
  enabled_ = enabled;
  // A disabled window only stops taking input; its controls keep their look.
  if (window_ != nullptr) return;
  if (enabled) {
    widget_->activate();
  } else {
    widget_->deactivate();
  }
}

void TFltkControl::setFont(const TFontSpec& font) {
  TWidgetLook& look = owned_->Look;
  look.Font = fontFamily(font.Name, font.Style);
  // A negative height is the character height in pixels, as FLTK sizes
  // fonts; a positive one includes the line spacing.
  look.Size = font.Height < 0 ? -font.Height : font.Height > 0 ? font.Height * 4 / 5 : 11;
  look.Underline = (font.Style & 4) != 0;
  look.StrikeOut = (font.Style & 8) != 0;
  look.TextColor = flColor(font.Color);
  applyLook();
}

TSize TFltkControl::textExtent(const std::string& text) const {
  fl_font(owned_->Look.Font, owned_->Look.Size);
  const std::string line = utf8(text);
  return {static_cast<int32_t>(fl_width(line.c_str())), fl_height()};
}

void TFltkControl::dragWindow() {
  if (window_ == nullptr || !window_->shown()) return;
  // Follows the pointer until every button is up, as the system's move loop.
  Window root = 0, child = 0;
  int startX = 0, startY = 0, x = 0, y = 0, winX = 0, winY = 0;
  unsigned mask = 0;
  XQueryPointer(fl_display, fl_xid(window_), &root, &child, &startX, &startY, &winX, &winY, &mask);
  const int originX = window_->x(), originY = window_->y();
  dragging_ = true;
  while ((mask & (Button1Mask | Button2Mask | Button3Mask)) != 0 && window_->shown()) {
    Fl::wait(0.01);
    XQueryPointer(fl_display, fl_xid(window_), &root, &child, &x, &y, &winX, &winY, &mask);
    window_->position(originX + x - startX, originY + y - startY);
  }
  // The release that ended the move reached our queue before the pointer
  // query's answer did: handle it while the move still swallows input.
  Fl::check();
  dragging_ = false;
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
  items_.insert(items_.begin() + index, TItem{text, menuLabel(utf8(text)), -1});
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

void TFltkControl::setProgressRange(int32_t low, int32_t high) {
  if (progress_ == nullptr) return;
  progress_->Low = low;
  progress_->High = high;
  progress_->Position = std::clamp(progress_->Position, low, std::max(low, high));
  progress_->redraw();
}

void TFltkControl::setProgressPosition(int32_t position) {
  if (progress_ == nullptr) return;
  progress_->Position =
      std::clamp(position, progress_->Low, std::max(progress_->Low, progress_->High));
  progress_->redraw();
}

void TFltkControl::widgetCallback(Fl_Widget* widget, void* data) {
  auto* control = static_cast<TFltkControl*>(data);
  if (control->events_ == nullptr) return;
  if (widget == control->window_) {
    // The window manager's close button; Escape closes nothing on Windows.
    if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return;
    if (control->enabled_) control->events_->onCloseRequest(true);
  } else if (control->edit_ != nullptr) {
    control->events_->onTextChange();
  } else if (control->combo_ != nullptr) {
    control->selected_ = control->combo_->value();
    // Reported after the list has closed, never inside the pick.
    Fl::add_timeout(0.0, &selectionPosted, control);
  } else {
    control->events_->onClick();
  }
}

void TFltkControl::selectionPosted(void* data) {
  auto* control = static_cast<TFltkControl*>(data);
  if (control->events_ != nullptr) control->events_->onSelectionChange();
}

void TFltkControl::mouse(TMouseAction action, int32_t button) {
  TMouseInfo info;
  info.Action = action;
  info.Button = button;
  info.State = mouseKeyState(Fl::event_state());
  if (action == TMouseAction::Wheel) {
    // FLTK counts wheel steps downwards; Win32 counts 120 per step upwards.
    const int delta = -Fl::event_dy() * 120;
    info.State = (info.State & 0xFFFF) | (static_cast<uint32_t>(delta) << 16);
  }
  int x = 0, y = 0;
  if (window_ == nullptr) {
    x = Fl::event_x() - widget_->x() - frameInset(frameBits(style_, exStyle_));
    y = Fl::event_y() - widget_->y() - frameInset(frameBits(style_, exStyle_));
  } else {
    x = Fl::event_x();
    y = Fl::event_y();
  }
  info.X = static_cast<int16_t>(x);
  info.Y = static_cast<int16_t>(y);
  events_->onMouse(info);
}

int TFltkControl::key(int event, const std::function<int(int)>& native) {
  TKeyInfo down;
  down.Action = event == FL_KEYUP ? TKeyAction::Up : TKeyAction::Down;
  down.Key = virtualKey(Fl::event_key());
  down.Modifiers = modifiersOf(Fl::event_state());
  events_->onKey(down);
  bool consumed = down.Key == 0;
  // FLTK brings the typed character with the key; Win32 sends it as a
  // message of its own after the key down.
  if (event == FL_KEYBOARD && Fl::event_length() > 0) {
    int length = 0;
    const unsigned code =
        fl_utf8decode(Fl::event_text(), Fl::event_text() + Fl::event_length(), &length);
    TKeyInfo character;
    character.Action = TKeyAction::Char;
    character.Key = static_cast<unsigned char>(cp1251FromCodePoint(code));
    character.Modifiers = down.Modifiers;
    if (events_ != nullptr) events_->onKey(character);
    if (character.Key == 0) consumed = true;
  }
  if (consumed) return 1;
  return native(event);
}

int TFltkControl::windowEvent(int event, const std::function<int(int)>& native) {
  // A disabled window takes no input; a dragged one none but the drag.
  if ((!enabled_ || dragging_) && isInputEvent(event)) return 1;
  switch (event) {
    case FL_KEYBOARD:
    case FL_KEYUP:
      // Keys no control took end here: no focus moves, no Escape close.
      if (Fl::focus() == window_ && events_ != nullptr) key(event, [](int) { return 1; });
      return 1;
    case FL_PUSH:
    case FL_MOVE:
    case FL_MOUSEWHEEL:
    case FL_ENTER: {
      // The controls first; what they leave is the window's own.
      const int taken = native(event);
      if (taken != 0 || events_ == nullptr) return taken;
      if (event == FL_PUSH) {
        const int32_t button = win32Button(Fl::event_button());
        mouse(Fl::event_clicks() != 0 ? TMouseAction::DoubleClick : TMouseAction::Down, button);
      } else if (event == FL_MOUSEWHEEL) {
        if (Fl::event_dy() != 0) mouse(TMouseAction::Wheel, 0);
      } else {
        mouse(TMouseAction::Move, 0);
      }
      return 1;
    }
    case FL_DRAG:
      if (events_ != nullptr) mouse(TMouseAction::Move, 0);
      return native(event);
    case FL_RELEASE:
      if (events_ != nullptr) mouse(TMouseAction::Up, win32Button(Fl::event_button()));
      return native(event);
    case FL_LEAVE:
      if (events_ != nullptr) mouse(TMouseAction::Leave, 0);
      return native(event);
    case FL_FOCUS:
    case FL_UNFOCUS: {
      const int result = native(event);
      if (events_ != nullptr) events_->onFocus(event == FL_FOCUS);
      return result;
    }
    default:
      return native(event);
  }
}

int TFltkControl::widgetEvent(int event, const std::function<int(int)>& native) {
  if (window_ != nullptr) return windowEvent(event, native);
  if (events_ == nullptr) return native(event);
  // A "STATIC" without SS_NOTIFY lets the mouse through to its parent.
  const bool mouseTransparent = className_ == WinClass::Static && (style_ & 0x100) == 0;
  if (mouseTransparent && (isMouseEvent(event) || event == FL_ENTER || event == FL_LEAVE)) {
    return 0;
  }
  switch (event) {
    case FL_PUSH: {
      const int32_t button = win32Button(Fl::event_button());
      mouse(Fl::event_clicks() != 0 ? TMouseAction::DoubleClick : TMouseAction::Down, button);
      native(event);
      // STN_CLICKED: a notifying static reports the left button going down.
      if (className_ == WinClass::Static && button == 1 && events_ != nullptr) events_->onClick();
      return 1;
    }
    case FL_RELEASE:
      mouse(TMouseAction::Up, win32Button(Fl::event_button()));
      native(event);
      return 1;
    case FL_MOVE:
    case FL_DRAG:
      mouse(TMouseAction::Move, 0);
      native(event);
      return 1;
    case FL_MOUSEWHEEL:
      if (Fl::event_dy() != 0) mouse(TMouseAction::Wheel, 0);  // no sideways wheel on Win32
      return native(event);
    case FL_ENTER:
      native(event);
      if (cursor_ != 0 && widget_->window() != nullptr) {
        widget_->window()->cursor(static_cast<Fl_Cursor>(cursor_));
      }
      return 1;
    case FL_LEAVE:
      if (cursor_ != 0 && widget_->window() != nullptr)
        widget_->window()->cursor(FL_CURSOR_DEFAULT);
      mouse(TMouseAction::Leave, 0);
      native(event);
      return 1;
    case FL_KEYBOARD:
      if (combo_ != nullptr) {
        return key(event, [&](int e) { return stepSelection(Fl::event_key()) ? 1 : native(e); });
      }
      return key(event, native);
    case FL_KEYUP:
      return key(event, native);
    case FL_FOCUS: {
      const int taken = native(event);
      if (taken != 0 && events_ != nullptr) events_->onFocus(true);
      return taken;
    }
    case FL_UNFOCUS:
      native(event);
      events_->onFocus(false);
      return 1;
    default:
      return native(event);
  }
}

void TFltkControl::widgetResize(int x, int y, int w, int h,
                                const std::function<void(int, int, int, int)>& native) {
  const bool resized = w != widget_->w() || h != widget_->h();
  if (resized && events_ != nullptr) {
    // The handler sees and may change the outer size, as Win32 gives it.
    const TInsets insets = window_ != nullptr ? windowInsets(style_, exStyle_) : TInsets{};
    const int extraW = insets.left + insets.right, extraH = insets.top + insets.bottom;
    int32_t outerW = w + extraW, outerH = h + extraH;
    events_->onSizeRequest(outerW, outerH);
    w = std::max(outerW - extraW, 1);
    h = std::max(outerH - extraH, 1);
  }
  const bool moved = x != widget_->x() || y != widget_->y();
  const bool sized = w != widget_->w() || h != widget_->h();
  native(x, y, w, h);
  if (events_ == nullptr) return;
  if (moved) events_->onMove();
  if (sized) events_->onResize();
}

void TFltkControl::widgetDrawn() {
  if (events_ == nullptr) return;
  const int inset = window_ != nullptr ? 0 : frameInset(frameBits(style_, exStyle_));
  const int originX = window_ != nullptr ? 0 : widget_->x() + inset;
  const int originY = window_ != nullptr ? 0 : widget_->y() + inset;
  const TSize client = clientSize();
  fl_push_clip(originX, originY, client.width, client.height);
  TFltkPainter painter(originX, originY, client.width, client.height);
  events_->onPaint(painter);
  fl_pop_clip();
}

Fl_Widget* nativeWidget(const TNativeControl& control) {
  const auto* own = dynamic_cast<const TFltkControl*>(&control);
  return own != nullptr ? own->widget() : nullptr;
}

std::unique_ptr<TWindowSystem> createPlatformWindowSystem() {
  return std::make_unique<TFltkWindowSystem>();
}
