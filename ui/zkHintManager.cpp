// Tooltip manager.
#include "zkHintManager.h"

namespace {
constexpr size_t MaxFaceName = 31;
constexpr uint32_t SystemTooltipBackground = 0xFF000018;
constexpr uint32_t SystemTooltipText = 0xFF000017;
}  // namespace

TZKHintManager::TZKHintManager() {
  ops_.hintCreateTool = [this](TNativeControl& window) { return createTool(window); };
  ops_.hintDestroyTool = [](THintTool* tool) { delete tool; };
  ops_.hintSetText = [](THintTool* tool, const std::string& text) { tool->Tooltip->setText(text); };
  ops_.hintSetTitle = [](THintTool* tool, int32_t icon, const std::string& title) {
    tool->Tooltip->setTitle(icon, title);
  };
  ops_.hintActivate = [this](THintTool* tool) {
    if (Tracking != 0) tool->Tooltip->trackActivate(true);
  };
  ops_.hintDeactivate = [this](THintTool* tool) {
    if (Tracking != 0) tool->Tooltip->trackActivate(false);
  };
  ops_.hintMoveTo = [this](THintTool* tool, int16_t x, int16_t y) {
    if (Tracking != 0) tool->Tooltip->trackPosition(x, y);
  };
}

void TZKHintManager::setDefaults() {
  Rectangular = 1;
  BackColor = SystemTooltipBackground;
  InitialDelay = 500;
  AutoPopDelay = 5000;
  Margin = 0;
  Tracking = 0;
  Font = makeFontRec("Tahoma", 8, 0, SystemTooltipText, 1);
}

THintTool* TZKHintManager::createTool(TNativeControl& window) {
  TTooltipSpec params;
  params.Balloon = Rectangular == 0;
  params.Font.Name = Font.Name.substr(0, MaxFaceName);
  params.Font.Height = fontHeight(Font.Size);
  params.Font.Style = Font.Style;
  params.Font.Color = resolveColor(Font.Color);
  params.Font.Charset = Font.Charset;
  params.BackColor = resolveColor(BackColor);
  params.InitialDelay = InitialDelay;
  params.AutoPopDelay = AutoPopDelay;
  params.Margin = Margin;
  auto* tool = new THintTool;
  tool->Tooltip = windowSystem().createTooltip(window, params);
  return tool;
}

namespace {
TZKHintManager* makeDefaultHintManager() {
  auto* manager = new TZKHintManager;
  manager->setDefaults();
  return manager;
}
}  // namespace

TZKHintManager* const HintManager = makeDefaultHintManager();
