// A notification sink for the real window backends: records what arrives and
// lets a test decide about keys and paint.
#pragma once

#include <functional>
#include <vector>

#include "ui/windowSystem.h"

struct TRecordingEvents : TControlEvents {
  int clicks = 0;
  int textChanges = 0;
  int selections = 0;
  int shows = 0;
  int paints = 0;
  int destroyed = 0;
  std::vector<bool> closeRequests;  // byUser of each
  std::vector<TKeyInfo> keys;
  std::vector<TMouseInfo> mice;
  std::vector<bool> focus;
  // Runs for every key before it is recorded; may consume or replace it.
  std::function<void(TKeyInfo&)> onKeyHook;
  std::function<void(TPainter&)> onPaintHook;
  std::function<void(const TMouseInfo&)> onMouseHook;
  // Runs inside onSelectionChange (the control's state at that moment).
  std::function<void()> onSelectionHook;

  void onClick() override { ++clicks; }
  void onTextChange() override { ++textChanges; }
  void onSelectionChange() override {
    ++selections;
    if (onSelectionHook) onSelectionHook();
  }
  void onShow() override { ++shows; }
  void onPaint(TPainter& painter) override {
    ++paints;
    if (onPaintHook) onPaintHook(painter);
  }
  void onMouse(const TMouseInfo& info) override {
    mice.push_back(info);
    if (onMouseHook) onMouseHook(info);
  }
  void onKey(TKeyInfo& key) override {
    if (onKeyHook) onKeyHook(key);
    keys.push_back(key);
  }
  void onFocus(bool gained) override { focus.push_back(gained); }
  void onCloseRequest(bool byUser) override { closeRequests.push_back(byUser); }
  void onDestroyed() override { ++destroyed; }

  int count(TMouseAction action) const {
    int n = 0;
    for (const TMouseInfo& info : mice) n += info.Action == action ? 1 : 0;
    return n;
  }
};

// Win32 style words of the controls as the window elements create them.
namespace BackendStyles {
constexpr uint32_t ChildBase =
    WinStyle::Child | WinStyle::Visible | WinStyle::ClipSiblings | WinStyle::ClipChildren;
constexpr uint32_t App = 0x90CA0000;
constexpr uint32_t Form = WinStyle::Popup | WinStyle::ClipChildren | WinStyle::Caption |
                          WinStyle::SysMenu | WinStyle::MinimizeBox;
constexpr uint32_t Label = ChildBase | 0x018C;
constexpr uint32_t Button = ChildBase | WinStyle::TabStop | 0x1000 | 0x2000;
constexpr uint32_t Edit = ChildBase | WinStyle::Border | WinStyle::TabStop | 0x80 | 0x40;
constexpr uint32_t ReadOnly = 0x800;
constexpr uint32_t Combo = ChildBase | WinStyle::VScroll | WinStyle::TabStop | 0x200 | 0x40 | 3;
constexpr uint32_t Progress = ChildBase | 1;  // PBS_SMOOTH
}  // namespace BackendStyles

inline TControlSpec controlSpec(const char* className, uint32_t style, TRect bounds,
                                TNativeControl* parent, TControlEvents* events,
                                std::string text = {}) {
  TControlSpec params;
  params.ClassName = className;
  params.Style = style;
  params.Bounds = bounds;
  params.Parent = parent;
  params.Events = events;
  params.Text = std::move(text);
  return params;
}
