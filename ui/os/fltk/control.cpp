// The FLTK backend's control: what every kind of control shares (texts,
// geometry, visibility, fonts and the owner's painting). Input is in
// input.cpp, the parts of one kind of control in the file of that kind.
#include <FL/Fl.H>
#include <FL/fl_draw.H>

#include <algorithm>

#include "backend.h"
#include "runtime/codepage.h"

std::string utf8(const std::string& cp1251) { return cp1251ToUtf8(cp1251); }

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
    window_->color(flSystemColor(SysColor::ButtonFace));
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
    std::erase(parent_->children_, this);
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
    applyWindowLook();
  } else if (edit_ != nullptr) {
    applyEditLook();
  } else if (combo_ != nullptr) {
    applyComboLook();
  }
  repaint();
}

void TFltkControl::repaint() {
  if (owned_->Look.Transparent && window_ == nullptr && widget_->window() != nullptr) {
    widget_->window()->damage(FL_DAMAGE_ALL, widget_->x(), widget_->y(), widget_->w(),
                              widget_->h());
  } else {
    widget_->redraw();
  }
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
    if (window_->shown()) showTitle();
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

void TFltkControl::setBounds(const TRect& bounds) {
  if (window_ != nullptr) {
    setWindowBounds(bounds);
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
  if (window_ != nullptr) return windowBounds();
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

void TFltkControl::setMouseCapture(bool capture) {
  if (capture) {
    Fl::pushed(widget_);
  } else if (Fl::pushed() == widget_) {
    Fl::pushed(nullptr);
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
