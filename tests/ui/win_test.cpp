// The child element base: colours and fonts, tab navigation, its end with the form.
#include "ui/zkButton.h"
#include "ui/zkEdit.h"
#include "ui/zkLabel.h"
#include "uiFixture.h"

TEST_F(UiTest, AChildTakesTheFormsColourAndFont) {
  form->Color = 0xFF00000F;
  form->init();
  TZKLabel label(formControl());
  EXPECT_EQ(label.Color, 0xFF00000Fu);
  label.Font = makeFontRec("Arial", 10, 1, 0x0000FF, 204);
  label.init();
  EXPECT_EQ(native(label).BackgroundColor, systemColorRgb(15));
  EXPECT_EQ(native(label).font(), (TFontSpec{"Arial", fontHeight(10), 1, 0x0000FF, 204}));
  label.attachHintManager(nullptr);  // as the program does: no hint, no tooltip
  EXPECT_EQ(label.hintTool(), nullptr);
}

TEST_F(UiTest, TabMovesTheFocusInCreationOrderSkippingHiddenAndDisabledControls) {
  TZKButton first(formControl()), hidden(formControl()), second(formControl());
  TZKEdit third(formControl());
  hidden.Visible = 0;
  for (TZKWin* element : std::initializer_list<TZKWin*>{&first, &hidden, &second, &third})
    element->init();
  enableTabNavigation(formControl());
  formControl()->setVisible(true);

  auto tab = [&](uint32_t modifiers = 0) {
    TNativeControl* focused = ui().focusedControl();
    TNativeControl& at = focused != nullptr ? *focused : *first.nativeControl();
    EXPECT_EQ(ui().key(at, TKeyAction::Down, '\t', modifiers), 0);
    EXPECT_EQ(ui().key(at, TKeyAction::Char, '\t', modifiers), 0);
    ui().key(at, TKeyAction::Up, '\t', modifiers);
    return ui().focusedControl();
  };
  EXPECT_EQ(tab(), first.nativeControl());
  EXPECT_EQ(tab(), second.nativeControl());
  EXPECT_EQ(tab(), third.nativeControl());
  EXPECT_EQ(tab(), first.nativeControl());  // wraps past the hidden one
  EXPECT_EQ(tab(KeyState::Shift), third.nativeControl());
  TData off = integerData(0);
  second.inSetEnabled(off, 0);
  EXPECT_EQ(tab(KeyState::Shift), first.nativeControl());
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
