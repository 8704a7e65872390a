// Tooltip manager and the tooltips of window elements.
#include "ui/zkHintManager.h"
#include "ui/zkLabel.h"
#include "uiFixture.h"

namespace {
THeadlessTooltip& tooltipOf(THintTool* tool) {
  return static_cast<THeadlessTooltip&>(*tool->Tooltip);
}
}  // namespace

TEST_F(UiTest, HintToolKeepsItsSettingsAndWithoutTrackingLeavesTheTooltipAlone) {
  TZKHintManager manager;
  manager.setDefaults();
  manager.Font.Style = 1;
  manager.Font.Name = std::string(40, 'F');
  manager.Rectangular = 0;
  THintTool* tool = manager.ops()->hintCreateTool(*formControl());
  manager.InitialDelay = 100;
  manager.Rectangular = 1;
  const TTooltipSpec& params = tooltipOf(tool).Params;
  EXPECT_EQ(params.Font.Style & 1, 1);
  EXPECT_EQ(params.Font.Name, std::string(31, 'F'));
  EXPECT_TRUE(params.Balloon);
  EXPECT_EQ(params.InitialDelay, 500);
  manager.ops()->hintSetText(tool, "tip");
  manager.ops()->hintSetTitle(tool, 1, "Title");
  EXPECT_EQ(tooltipOf(tool).Text, "tip");
  EXPECT_EQ(tooltipOf(tool).Title, "Title");
  EXPECT_EQ(tooltipOf(tool).TitleIcon, 1);
  manager.ops()->hintActivate(tool);
  manager.ops()->hintMoveTo(tool, 3, 4);
  manager.ops()->hintDeactivate(tool);
  EXPECT_EQ(tooltipOf(tool).TrackCalls, 0);
  manager.ops()->hintDestroyTool(tool);
}

TEST_F(UiTest, ElementTooltipFollowsTheMouseWhenTheManagerTracks) {
  TZKHintManager manager;
  manager.setDefaults();
  manager.Tracking = 1;
  TZKLabel label(formControl());
  label.Hint = "Port";
  label.init();
  label.attachHintManager(manager.ops());
  ASSERT_NE(label.hintTool(), nullptr);
  THeadlessTooltip& tooltip = tooltipOf(label.hintTool());
  EXPECT_EQ(tooltip.Text, "Port");
  ui().mouse(*label.nativeControl(), mouseAt(TMouseAction::Move, 0, 0, 5, 6));
  EXPECT_TRUE(tooltip.Active);
  ui().mouse(*label.nativeControl(), mouseAt(TMouseAction::Move, 0, 0, 7, 8));
  // A move places the tooltip at the previous mouse position.
  EXPECT_EQ(tooltip.Position, (TSize{5, 6}));
  ui().mouse(*label.nativeControl(), mouseAt(TMouseAction::Leave, 0, 0));
  EXPECT_FALSE(tooltip.Active);
}

TEST_F(UiTest, ElementWithoutHintGetsNoTooltip) {
  TZKLabel label(formControl());
  label.init();
  label.attachHintManager(nullptr);
  EXPECT_EQ(label.hintTool(), nullptr);
  TRecorder enter;
  label.outMouseEnter = enter.link();
  ui().mouse(*label.nativeControl(), mouseAt(TMouseAction::Move, 0, 0));
  EXPECT_EQ(enter.received.size(), 1u);
}

TEST_F(UiTest, ElementWithHintAndNoManagerUsesTheGlobalOne) {
  TZKLabel label(formControl());
  label.Hint = "Hint";
  label.init();
  label.attachHintManager(nullptr);
  ASSERT_NE(label.hintTool(), nullptr);
  EXPECT_EQ(tooltipOf(label.hintTool()).Text, "Hint");
  EXPECT_EQ(tooltipOf(label.hintTool()).Params.InitialDelay, HintManager->InitialDelay);
}
