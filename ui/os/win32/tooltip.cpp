// "tooltips_class32" on Win32: a real tooltip control with one tool, the
// control it belongs to.
#include "backend.h"

TWin32Tooltip::TWin32Tooltip(HWND owner, const TTooltipSpec& params) : owner_(owner) {
  DWORD style = WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX;
  if (params.Balloon) style |= TTS_BALLOON;
  tip_ =
      CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, style, CW_USEDEFAULT, CW_USEDEFAULT,
                      CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr, moduleInstance(), nullptr);
  font_ = createFont(params.Font);
  SendMessageW(tip_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
  SetWindowPos(tip_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  TOOLINFOW info = toolInfo();
  SendMessageW(tip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
  SendMessageW(tip_, TTM_SETTIPTEXTCOLOR, params.Font.Color, 0);
  SendMessageW(tip_, TTM_SETTIPBKCOLOR, params.BackColor, 0);
  SendMessageW(tip_, TTM_SETDELAYTIME, TTDT_INITIAL, params.InitialDelay);
  SendMessageW(tip_, TTM_SETDELAYTIME, TTDT_AUTOPOP, params.AutoPopDelay);
  RECT margin{params.Margin, params.Margin, params.Margin, params.Margin};
  SendMessageW(tip_, TTM_SETMARGIN, 0, reinterpret_cast<LPARAM>(&margin));
}

TWin32Tooltip::~TWin32Tooltip() {
  // The owner's destruction may have taken the tooltip window along.
  if (IsWindow(tip_) != 0) {
    TOOLINFOW info = toolInfo();
    SendMessageW(tip_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&info));
    DestroyWindow(tip_);
  }
  DeleteObject(font_);
}

HWND nativeTooltipWindow(const TNativeTooltip& tooltip) {
  const auto* own = dynamic_cast<const TWin32Tooltip*>(&tooltip);
  return own != nullptr ? own->window() : nullptr;
}
