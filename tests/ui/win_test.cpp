// The child element base: notifications into events, keys, tab navigation,
// size constraints and docking.
#include "ui/zkButton.h"
#include "ui/zkEdit.h"
#include "ui/zkLabel.h"
#include "uiFixture.h"

namespace {
constexpr int32_t Tab = 9;
}  // namespace

TEST_F(UiTest, VisibleAndEnabledFollowToBool) {
  TZKLabel label(formControl());
  label.init();
  const std::pair<TData, bool> cases[] = {
      {integerData(0), false}, {stringData("x"), true}, {integerData(0), false}, {TData{}, true}};
  for (const auto& [value, on] : cases) {
    TData d = value;
    label.inSetVisible(d, 0);
    label.inSetEnabled(d, 0);
    EXPECT_EQ(native(label).isVisible(), on);
    EXPECT_EQ(native(label).isEnabled(), on);
  }
}

TEST_F(UiTest, AChildTakesTheFormsColourAndFont) {
  form->Color = 0xFF00000F;
  form->init();
  TZKLabel label(formControl());
  EXPECT_EQ(label.Color, 0xFF00000Fu);
  label.Font = makeFontRec("Arial", 10, 1, 0x0000FF, 204);
  label.init();
  EXPECT_EQ(native(label).BackgroundColor, systemColorRgb(15));
  EXPECT_EQ(native(label).font(), (TFontSpec{"Arial", fontHeight(10), 1, 0x0000FF, 204}));
}

TEST_F(UiTest, MouseMessagesBecomeButtonCodesAndMoveReportsThePreviousState) {
  TZKLabel label(formControl());
  label.MouseCapture = 1;
  label.init();
  TRecorder down, up, move, dbl, enter, leave;
  label.outMouseDown = down.link();
  label.outMouseUp = up.link();
  label.outMouseMove = move.link();
  label.outDblClick = dbl.link();
  label.outMouseEnter = enter.link();
  label.outMouseLeave = leave.link();
  TNativeControl& c = *label.nativeControl();

  ui().mouse(c, mouseAt(TMouseAction::Down, 2, KeyState::RightButton));
  EXPECT_TRUE(native(label).Captured);
  ui().mouse(c, mouseAt(TMouseAction::Move, 0, KeyState::Shift | KeyState::LeftButton));
  ui().mouse(c, mouseAt(TMouseAction::Move, 0, KeyState::MiddleButton));
  ui().mouse(c, mouseAt(TMouseAction::Move, 0, KeyState::LeftButton));
  ui().mouse(c, mouseAt(TMouseAction::Move, 0, 0));
  ui().mouse(c, mouseAt(TMouseAction::Up, 3, 0));
  EXPECT_FALSE(native(label).Captured);
  ui().mouse(c, mouseAt(TMouseAction::DoubleClick, 1, KeyState::LeftButton));
  ui().mouse(c, mouseAt(TMouseAction::Leave, 0, 0));

  ASSERT_EQ(down.received.size(), 1u);
  EXPECT_EQ(down.received[0].IntValue, 1);
  ASSERT_EQ(move.received.size(), 4u);
  EXPECT_EQ(move.received[0].IntValue, 1);   // after the right button went down
  EXPECT_EQ(move.received[1].IntValue, -1);  // Shift held with the left button
  EXPECT_EQ(move.received[2].IntValue, 2);
  EXPECT_EQ(move.received[3].IntValue, 0);
  EXPECT_EQ(up.received.at(0).IntValue, 2);
  EXPECT_EQ(dbl.received.at(0).IntValue, 0);
  EXPECT_EQ(enter.received.size(), 7u);  // every mouse message inside
  EXPECT_EQ(leave.received.size(), 1u);
}

TEST_F(UiTest, WheelDeltaIsTheStateWordDividedTowardZero) {
  TZKLabel label(formControl());
  label.init();
  TRecorder wheel;
  label.outMouseWheel = wheel.link();
  auto turn = [&](int32_t delta, uint32_t flags) {
    const uint32_t state = (static_cast<uint32_t>(delta) << 16) | flags;
    ui().mouse(*label.nativeControl(), mouseAt(TMouseAction::Wheel, 0, state));
    return wheel.received.back().IntValue;
  };
  EXPECT_EQ(turn(-120, 0), -120);
  EXPECT_EQ(turn(-120, KeyState::Ctrl), -119);
  EXPECT_EQ(turn(120, KeyState::Ctrl), 120);
  EXPECT_EQ(turn(240, 0), 240);
}

TEST_F(UiTest, SizeDataInputsConstrainResizing) {
  TZKEdit free(formControl());
  free.init();
  ui().resize(*free.nativeControl(), 150, 40);
  EXPECT_EQ(native(free).bounds().width(), 150);
  EXPECT_EQ(native(free).bounds().height(), 40);

  TZKEdit fixed(formControl());
  TProvider noGrowth;
  noGrowth.answer = integerData(0);
  fixed.dataHeightChange = noGrowth.link();
  TRecorder resized;
  fixed.outResize = resized.link();
  fixed.init();
  ui().resize(*fixed.nativeControl(), 150, 40);
  EXPECT_EQ(native(fixed).bounds().width(), 150);
  EXPECT_EQ(native(fixed).bounds().height(), 22);
  EXPECT_EQ(noGrowth.reads, 1);
  EXPECT_EQ(resized.received.size(), 1u);

  TZKEdit halved(formControl());
  TProvider half;
  half.answer = integerData(10);
  halved.dataWidthChange = half.link();
  halved.init();
  ui().resize(*halved.nativeControl(), 300, 22);  // asks for +200, gets +10
  EXPECT_EQ(native(halved).bounds().width(), 110);
  EXPECT_EQ(half.reads, 1);
}

TEST_F(UiTest, KeysFireEventsAndTheParentMayTakeThemFirst) {
  TZKEdit edit(formControl());
  edit.init();
  TRecorder down, up, chars;
  edit.outKeyDown = down.link();
  edit.outKeyUp = up.link();
  edit.outChar = chars.link();
  ui().press(*edit.nativeControl(), 'A', 'a');
  EXPECT_EQ(down.received.at(0).IntValue, 'A');
  EXPECT_EQ(up.received.at(0).IntValue, 'A');
  EXPECT_EQ(chars.received.at(0).StrValue, "a");
  EXPECT_EQ(native(edit).text(), "a");

  form->windowNode()->ChildKeyHandler = [](TKeyInfo& key) {
    if (key.Key == 'Q' || key.Key == 'q') key.Key = 0;
  };
  ui().press(*edit.nativeControl(), 'Q', 'q');
  EXPECT_EQ(down.received.size(), 1u);
  EXPECT_EQ(native(edit).text(), "a");

  edit.KeyToParent = 0;
  ui().press(*edit.nativeControl(), 'Q', 'q');
  EXPECT_EQ(down.received.size(), 2u);
  EXPECT_EQ(native(edit).text(), "aq");
}

TEST_F(UiTest, TabMovesTheFocusInTabOrderSkippingWhatCannotTakeIt) {
  TZKButton first(formControl()), second(formControl()), hidden(formControl()),
      skipped(formControl());
  TZKEdit leader(formControl());
  hidden.Visible = 0;
  skipped.TabOrder = -1;
  leader.TabOrder = 1;  // takes position 1; the others move up
  first.init();
  second.init();
  hidden.init();
  skipped.init();
  leader.init();
  enableTabNavigation(formControl());
  formControl()->setVisible(true);
  EXPECT_EQ(leader.windowNode()->tabPosition(), 1);
  EXPECT_EQ(first.windowNode()->tabPosition(), 2);
  EXPECT_EQ(second.windowNode()->tabPosition(), 3);

  auto tab = [&](uint32_t modifiers = 0) {
    TNativeControl* focused = ui().focusedControl();
    TNativeControl& at = focused != nullptr ? *focused : *first.nativeControl();
    EXPECT_EQ(ui().key(at, TKeyAction::Down, Tab, modifiers), 0);
    EXPECT_EQ(ui().key(at, TKeyAction::Char, Tab, modifiers), 0);
    ui().key(at, TKeyAction::Up, Tab, modifiers);
    return ui().focusedControl();
  };
  EXPECT_EQ(tab(), leader.nativeControl());
  EXPECT_EQ(tab(), first.nativeControl());
  EXPECT_EQ(tab(), second.nativeControl());
  EXPECT_EQ(tab(), leader.nativeControl());  // wraps past the hidden and skipped ones
  EXPECT_EQ(tab(KeyState::Shift), second.nativeControl());
  second.inSetEnabled(EmptyData, 0);
  TData off = integerData(0);
  first.inSetEnabled(off, 0);
  EXPECT_EQ(tab(KeyState::Shift), leader.nativeControl());

  // With Ctrl held Tab is an ordinary key.
  TRecorder keys;
  leader.outKeyDown = keys.link();
  EXPECT_EQ(ui().key(*leader.nativeControl(), TKeyAction::Down, Tab, KeyState::Ctrl), Tab);
  EXPECT_EQ(keys.received.size(), 1u);
}

TEST_F(UiTest, FocusSizeMoveAndShowBecomeEvents) {
  TZKButton button(formControl());
  button.Visible = 0;
  button.init();
  TRecorder setFocus, killFocus, resized, moved, shown;
  button.outSetFocus = setFocus.link();
  button.outKillFocus = killFocus.link();
  button.outResize = resized.link();
  button.outMove = moved.link();
  button.outShow = shown.link();
  TNativeControl& c = *button.nativeControl();
  c.setFocus();
  formControl()->setFocus();
  ui().move(c, 5, 5);
  ui().resize(c, 90, 30);
  button.inSetVisible(EmptyData, 0);
  button.inSetVisible(EmptyData, 0);  // already visible: no second show
  EXPECT_EQ(setFocus.received.size(), 1u);
  EXPECT_EQ(killFocus.received.size(), 1u);
  EXPECT_EQ(moved.received.size(), 1u);
  EXPECT_EQ(resized.received.size(), 1u);
  EXPECT_EQ(shown.received.size(), 1u);
}

TEST_F(UiTest, AnElementOutlivingItsWindowDoesNotFreeItTwice) {
  auto other = std::make_unique<TZKSimpleForm>();
  other->init();
  TZKLabel label(other->nativeControl());
  label.init();
  other.reset();  // the window system takes the label's control with the form
  EXPECT_FALSE(native(label).alive());
  TData hide = integerData(0);
  label.inSetVisible(hide, 0);  // harmless on a control that is gone
  EXPECT_EQ(label.Visible, 0);
}

TEST_F(UiTest, DockingPlacesTopAndBottomFirstThenSidesThenClient) {
  formControl()->setBounds({0, 0, 300, 200});
  const TSize client = formControl()->clientSize();
  TZKLabel top(formControl()), bottom(formControl()), left(formControl()), right(formControl()),
      fill(formControl());
  const std::pair<TZKLabel*, uint8_t> docks[] = {
      {&left, 1}, {&fill, 5}, {&top, 2}, {&right, 3}, {&bottom, 4}};
  for (auto [label, align] : docks) {
    label->Width = 30;
    label->Height = 20;
    label->Align = align;
    label->init();
  }
  EXPECT_EQ(native(top).bounds(), (TRect{0, 0, client.width, 20}));
  EXPECT_EQ(native(bottom).bounds(), (TRect{0, client.height - 20, client.width, client.height}));
  EXPECT_EQ(native(left).bounds(), (TRect{0, 20, 30, client.height - 20}));
  EXPECT_EQ(native(right).bounds(),
            (TRect{client.width - 30, 20, client.width, client.height - 20}));
  EXPECT_EQ(native(fill).bounds(), (TRect{30, 20, client.width - 30, client.height - 20}));

  ui().resize(*formControl(), 400, 200);  // the form re-docks when it is resized
  EXPECT_EQ(native(top).bounds().width(), formControl()->clientSize().width);
}
