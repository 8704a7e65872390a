// The main form: start, close protocol, border styles, the application
// window and the message loop.
#include <atomic>
#include <thread>

#include "ui/zkButton.h"
#include "ui/zkEdit.h"
#include "ui/zkLabel.h"
#include "uiFixture.h"

TEST_F(UiTest, StartFiresCreateBeforeTheFormShows) {
  bool visibleAtCreate = true;
  TRecorder create, shown;
  create.onReceive = [&](TData&, uint16_t) { visibleAtCreate = native(*form).isVisible(); };
  form->outCreate = create.link();
  form->outShow = shown.link();
  EXPECT_FALSE(native(*form).isVisible());  // init keeps it hidden
  EXPECT_EQ(form->Visible, 1);
  disableDispatch();
  startApplication(*form);
  ASSERT_EQ(create.received.size(), 1u);
  EXPECT_FALSE(visibleAtCreate);
  EXPECT_TRUE(native(*form).isVisible());
  EXPECT_TRUE(ApplicationWindow->isVisible());
  EXPECT_TRUE(form->shownOnce());
  EXPECT_EQ(shown.received.size(), 1u);
}

TEST_F(UiTest, UserCloseIsRefusedWhileBlockCloseAnswersNonZero) {
  TProvider block;
  block.answer = integerData(1);
  form->dataBlockClose = block.link();
  TRecorder closed;
  form->outClose = closed.link();
  ui().userClose(*formControl());
  EXPECT_TRUE(closed.received.empty());
  EXPECT_FALSE(ui().quitRequested());
  EXPECT_EQ(block.reads, 1);

  form->inClose(EmptyData, 0);  // the program's own close is not asked
  EXPECT_EQ(closed.received.size(), 1u);
  EXPECT_EQ(block.reads, 1);
  EXPECT_TRUE(ui().quitRequested());
}

TEST_F(UiTest, UserCloseProceedsWhenBlockCloseIsUnlinkedOrZero) {
  TRecorder closed;
  form->outClose = closed.link();
  ui().userClose(*formControl());
  EXPECT_EQ(closed.received.size(), 1u);
  EXPECT_TRUE(ui().quitRequested());
  EXPECT_FALSE(native(*form).isVisible());
}

TEST_F(UiTest, NothingFiresAfterCloseNotEvenFromOtherThreads) {
  TZKButton button(formControl());
  button.init();
  TZKEdit edit(formControl());
  edit.init();
  TRecorder clicks, changes;
  button.outClick = clicks.link();
  edit.outChange = changes.link();
  form->inClose(EmptyData, 0);
  ui().click(*button.nativeControl());
  std::atomic<bool> done{false};
  std::thread timer([&] {
    TData d = stringData("late");
    edit.inSetText(d, 0);
    done = true;
  });
  timer.join();
  pumpPendingCalls();
  EXPECT_EQ(native(edit).text(), "late");  // applied, but reported to nobody
  EXPECT_TRUE(clicks.received.empty());
  EXPECT_TRUE(changes.received.empty());
}

TEST_F(UiTest, MessageLoopEndsWhenAnotherThreadClosesTheForm) {
  TRecorder closed;
  form->outClose = closed.link();
  disableDispatch();
  startApplication(*form);
  std::thread timer([&] { form->inClose(EmptyData, 0); });
  EXPECT_EQ(runMessageLoop(), 0);
  timer.join();
  EXPECT_EQ(closed.received.size(), 1u);
  EXPECT_EQ(ApplicationWindow, nullptr);
}

TEST_F(UiTest, ClosingTheApplicationWindowEndsTheLoopWithoutTheProtocol) {
  TRecorder closed;
  form->outClose = closed.link();
  ui().userClose(*ApplicationWindow);
  EXPECT_TRUE(ui().quitRequested());
  EXPECT_TRUE(closed.received.empty());
}

TEST_F(UiTest, BorderStylesKeepUnrelatedBitsAndIgnoreUnknownValues) {
  TNativeControl& c = *formControl();
  c.setExStyle(WinExStyle::Topmost);
  form->setBorderStyle(1);
  EXPECT_EQ(c.exStyle(), WinExStyle::Topmost);
  form->setBorderStyle(8);  // a dialog frame of its own
  EXPECT_NE(c.exStyle(), WinExStyle::Topmost);
  EXPECT_NE(c.exStyle() & WinExStyle::Topmost, 0u);
  const uint32_t style = c.style(), exStyle = c.exStyle();
  form->setBorderStyle(10);
  form->setBorderStyle(-1);
  EXPECT_EQ(c.style(), style);
  EXPECT_EQ(c.exStyle(), exStyle);
}

TEST_F(UiTest, ApplicationWindowCarriesCaptionIconAndFollowsTheForm) {
  form->setCaption("Quilmatronx bootloader");
  EXPECT_EQ(native(*form).text(), "Quilmatronx bootloader");
  EXPECT_EQ(ApplicationWindow->text(), "Quilmatronx bootloader");

  form->setIcon(ui().loadIcon("ASMA"));
  form->setIcon(ui().loadIcon("ASMA"));  // the previous icons are freed
  EXPECT_NE(native(*form).icon(), 0);
  EXPECT_NE(THeadlessWindowSystem::of(*ApplicationWindow).icon(), 0);
  EXPECT_EQ(ui().liveIcons(), 2);

  ui().move(*formControl(), 200, 150);
  ui().resize(*formControl(), 616, 171);
  EXPECT_EQ(ApplicationWindow->bounds().left, 200);
  EXPECT_EQ(ApplicationWindow->bounds().top, 150);
  EXPECT_EQ(ApplicationWindow->bounds().width(), 616);

  EXPECT_NE(ApplicationWindow->exStyle() & WinExStyle::AppWindow, 0u);
  form->setNoTaskButton(1);
  EXPECT_EQ(ApplicationWindow->exStyle() & WinExStyle::AppWindow, 0u);
}

TEST_F(UiTest, DragByClientMovesTheFormBeforeReportingTheButton) {
  int dragsAtDown = -1;
  TRecorder down;
  down.onReceive = [&](TData&, uint16_t) { dragsAtDown = native(*form).Drags; };
  form->outMouseDown = down.link();
  form->DragByClient = 1;
  ui().mouse(*formControl(), mouseAt(TMouseAction::Down, 2, KeyState::RightButton));
  EXPECT_EQ(dragsAtDown, 1);
  EXPECT_EQ(down.received.at(0).IntValue, 1);
  form->DragByClient = 0;
  ui().mouse(*formControl(), mouseAt(TMouseAction::Down, 1, KeyState::LeftButton));
  EXPECT_EQ(native(*form).Drags, 1);
}

TEST_F(UiTest, EnterAnywhereClicksTheDefaultButton) {
  TZKButton ok(formControl());
  ok.DefaultButton = 1;
  ok.init();
  TZKLabel label(formControl());
  label.init();
  TRecorder clicks, keys;
  ok.outClick = clicks.link();
  label.outKeyDown = keys.link();
  ui().press(*label.nativeControl(), 13, 13);
  EXPECT_EQ(clicks.received.size(), 1u);
  EXPECT_TRUE(keys.received.empty());
}

TEST_F(UiTest, FocusGivenToTheApplicationWindowGoesToTheLastFocusedControl) {
  TZKEdit first(formControl()), second(formControl());
  first.init();
  second.init();
  second.nativeControl()->setFocus();
  ApplicationWindow->setFocus();
  EXPECT_EQ(ui().focusedControl(), second.nativeControl());
}
