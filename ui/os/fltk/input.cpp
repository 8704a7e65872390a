// Input on FLTK as Win32 reports it: virtual key codes, key-state flags,
// mouse buttons and coordinates, the handler's say over every key first.
#include <FL/Fl.H>
#include <FL/fl_utf8.h>

#include "backend.h"
#include "runtime/codepage.h"

namespace {
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
}  // namespace

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
    const int32_t typed = character.Key;
    if (events_ != nullptr) events_->onKey(character);
    if (character.Key == 0) consumed = true;
    if (!consumed && character.Key != typed) return typeInstead(character.Key, event, native);
  }
  if (consumed) return 1;
  return native(event);
}

int TFltkControl::typeInstead(int32_t character, int event, const std::function<int(int)>& native) {
  // The widget takes the event's text as what was typed.
  std::string text = utf8(std::string(1, static_cast<char>(character)));
  char* const typed = Fl::e_text;
  const int length = Fl::e_length;
  Fl::e_text = text.data();
  Fl::e_length = static_cast<int>(text.size());
  const int result = native(event);
  Fl::e_text = typed;
  Fl::e_length = length;
  return result;
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
