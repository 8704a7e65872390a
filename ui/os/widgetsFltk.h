// FLTK widgets that stand in for the Win32 control classes: each draws what
// the control's Win32 style words mean (borders, sunken and raised edges,
// alignment, word wrap, bold, underline) in the Windows system colours, and
// hands every event to the control that owns it.
#pragma once

#include <FL/Fl_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Widget.H>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "ui/windowSystem.h"

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

// Text drawing shared by the widgets: lines split at line breaks and, when
// wrap is set, at spaces to fit the width; align is 0 left, 1 centre, 2
// right; vertical centring when middle is set.
void drawLookText(const TWidgetLook& look, int x, int y, int w, int h, int align, bool wrap,
                  bool middle, Fl_Color color);
