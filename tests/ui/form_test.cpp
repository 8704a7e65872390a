// The main form: start, close, the application window and the message loop.
#include "support/boundedWait.h"
#include "ui/zkButton.h"
#include "ui/zkEdit.h"
#include "uiFixture.h"

TEST_F(UiTest, StartFiresCreateBeforeTheFormShows) {
  bool visibleAtCreate = true;
  TRecorder create;
  create.onReceive = [&](TData&, uint16_t) { visibleAtCreate = native(*form).isVisible(); };
  form->outCreate = create.link();
  disableDispatch();
  startApplication(*form);
  ASSERT_EQ(create.received.size(), 1u);
  EXPECT_FALSE(visibleAtCreate);
  EXPECT_TRUE(native(*form).isVisible());
  EXPECT_TRUE(ApplicationWindow->isVisible());
  EXPECT_TRUE(form->shownOnce());
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
  TTestThread("the late text", [&] {
    TData d = stringData("late");
    edit.inSetText(d, 0);
  }).join();
  pumpPendingCalls();
  EXPECT_EQ(native(edit).text(), "late");  // applied, but reported to nobody
  EXPECT_TRUE(clicks.received.empty());
  EXPECT_TRUE(changes.received.empty());
}

// The task-bar window follows the form; its close ends the loop without the form's protocol.
TEST_F(UiTest, TheApplicationWindowFollowsTheFormPassesFocusOnAndEndsTheLoopOnClose) {
  form->setCaption("Quilmatronx bootloader");
  EXPECT_EQ(native(*form).text(), "Quilmatronx bootloader");
  EXPECT_EQ(ApplicationWindow->text(), "Quilmatronx bootloader");

  form->setIcon(ui().loadIcon("ASMA"));
  EXPECT_NE(native(*form).icon(), 0);
  EXPECT_NE(THeadlessWindowSystem::of(*ApplicationWindow).icon(), 0);

  ui().move(*formControl(), 200, 150);
  ui().resize(*formControl(), 616, 171);
  EXPECT_EQ(ApplicationWindow->bounds().left, 200);
  EXPECT_EQ(ApplicationWindow->bounds().top, 150);
  EXPECT_EQ(ApplicationWindow->bounds().width(), 616);

  TZKEdit first(formControl()), second(formControl());
  first.init();
  second.init();
  second.nativeControl()->setFocus();
  ApplicationWindow->setFocus();
  EXPECT_EQ(ui().focusedControl(), second.nativeControl());

  TRecorder closed;
  form->outClose = closed.link();
  ui().userClose(*ApplicationWindow);
  EXPECT_TRUE(ui().quitRequested());
  EXPECT_TRUE(closed.received.empty());
}

TEST_F(UiTest, DragByClientMovesTheFormOnAnyButton) {
  form->DragByClient = 1;
  ui().mouse(*formControl(), {TMouseAction::Down, 2, KeyState::RightButton, 0, 0});
  EXPECT_EQ(native(*form).Drags, 1);
  form->DragByClient = 0;
  ui().mouse(*formControl(), {TMouseAction::Down, 1, KeyState::LeftButton, 0, 0});
  EXPECT_EQ(native(*form).Drags, 1);
}
