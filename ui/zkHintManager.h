// Tooltips for window elements: one tooltip window per element, configured
// from the manager's properties when the element asks for it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "runtime/helpers.h"
#include "windowSystem.h"

// What an element holds for its tooltip; owned by the element between
// hintCreateTool and hintDestroyTool.
struct THintTool {
  std::unique_ptr<TNativeTooltip> Tooltip;
};

// The manager's operations, bound to the manager.
struct THintOps {
  std::function<THintTool*(TNativeControl& window)> hintCreateTool;
  std::function<void(THintTool* tool)> hintDestroyTool;
  std::function<void(THintTool* tool, const std::string& text)> hintSetText;
  std::function<void(THintTool* tool, int32_t icon, const std::string& title)> hintSetTitle;
  std::function<void(THintTool* tool)> hintActivate;
  std::function<void(THintTool* tool)> hintDeactivate;
  std::function<void(THintTool* tool, int16_t x, int16_t y)> hintMoveTo;
};

class TZKHintManager {
 public:
  TZKHintManager();
  TZKHintManager(const TZKHintManager&) = delete;
  TZKHintManager& operator=(const TZKHintManager&) = delete;

  void setDefaults();
  THintOps* ops() { return &ops_; }

  uint8_t Rectangular = 1;
  uint32_t BackColor = 0;
  int32_t InitialDelay = 0;
  int32_t AutoPopDelay = 0;
  int32_t Margin = 0;
  uint8_t Tracking = 0;
  TFontRec Font;

 private:
  THintTool* createTool(TNativeControl& window);

  THintOps ops_;
};

// The process-wide manager, made with its defaults when the window elements
// start; never freed.
extern TZKHintManager* const HintManager;
