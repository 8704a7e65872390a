// The "App" and "Form" windows on FLTK: the Windows frame around the client
// area, the caption as the desktop shows it, the icon, input of the window
// itself and the move by the client area.
#include <FL/Fl.H>
#include <FL/x.H>
#include <X11/Xatom.h>

#include <algorithm>

#include "backend.h"
#include "ui/bitmap.h"

namespace {
bool hasCaption(uint32_t style) { return (style & WinStyle::Caption) == WinStyle::Caption; }

void setUtf8Property(Window window, const char* name, const std::string& value) {
  const Atom property = XInternAtom(fl_display, name, False);
  const Atom type = XInternAtom(fl_display, "UTF8_STRING", False);
  XChangeProperty(fl_display, window, property, type, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(value.data()),
                  static_cast<int>(value.size()));
}

bool isInputEvent(int event) {
  return isMouseEvent(event) || event == FL_KEYBOARD || event == FL_KEYUP || event == FL_SHORTCUT;
}
}  // namespace

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

void TFltkControl::applyWindowLook() {
  window_->color(owned_->Look.Background.value_or(flSystemColor(SysColor::ButtonFace)));
  window_->border(hasCaption(style_) ? 1 : 0);
}

// FLTK labels a UTF-8 caption as Latin-1; tools look for the UTF-8 names.
void TFltkControl::showTitle() {
  setUtf8Property(fl_xid(window_), "_NET_WM_NAME", owned_->Look.Text);
  setUtf8Property(fl_xid(window_), "WM_NAME", owned_->Look.Text);
}

void TFltkControl::setWindowBounds(const TRect& bounds) {
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
}

TRect TFltkControl::windowBounds() const {
  const TInsets insets = windowInsets(style_, exStyle_);
  return {window_->x() - insets.left, window_->y() - insets.top,
          window_->x() + window_->w() + insets.right, window_->y() + window_->h() + insets.bottom};
}

void TFltkControl::setIcon(TIconHandle icon) {
  if (icon_ != icon) deleteIcon(icon_);
  icon_ = icon;
  // FLTK keeps a copy for the window manager.
  if (window_ != nullptr && icon != 0) window_->icon(iconImage(icon));
}

void TFltkControl::showWindow() {
  // The program's only visible top-level window is the form: the "App"
  // window's task-bar role is the window manager's business on Linux.
  if (className_ == WinClass::App) return;
  window_->show();
  showTitle();
  XFlush(fl_display);
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
