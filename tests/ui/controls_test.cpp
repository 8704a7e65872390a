// Label, combo box and progress bar with the program's settings.
#include "ui/zkComboBox.h"
#include "ui/zkLabel.h"
#include "ui/zkProgressBar.h"
#include "uiFixture.h"

TEST_F(UiTest, LabelAutoSizeFitsTheTextAndTopDockedLabelsStack) {
  TZKLabel loose(formControl());
  loose.Left = 4;
  loose.Top = 6;
  loose.Caption = "Port:";
  loose.setAutoSize(1);
  loose.init();
  EXPECT_EQ(native(loose).bounds(),
            (TRect{4, 6, 4 + 5 * HeadlessCharWidth + 1, 6 - fontHeight(8) + 1}));

  // The error texts: docked at the top, one under the other, across the client width.
  TZKLabel upper(formControl()), lower(formControl());
  for (TZKLabel* label : {&upper, &lower}) {
    label->Align = 2;
    label->Font = makeFontRec("Arial", 12, 0, 0, 1);
    label->Caption = "Status";
    label->setAutoSize(1);
    label->init();
  }
  const int32_t width = formControl()->clientSize().width, height = -fontHeight(12) + 1;
  EXPECT_EQ(native(upper).bounds(), (TRect{0, 0, width, height}));
  EXPECT_EQ(native(lower).bounds(), (TRect{0, height, width, 2 * height}));
}

// The port list: the program's settings, items added as its port names come.
TEST_F(UiTest, ComboSelectionReportsTheTextAndTheItemDataZeroUntilSet) {
  TZKComboBox combo(formControl());
  combo.SelectType = 1;
  combo.ItemHeight = 20;
  combo.init();
  EXPECT_EQ(native(combo).events()->onMeasureItem(), 20);
  TData withData = chained(stringData("COM4"), integerData(4));
  combo.inAdd(withData, 0);  // an unlinked add takes text, then item data
  fireEvent(makeEventLink<&TZKComboBox::inAdd>(&combo), std::string("COM9"));
  TRecorder selected;
  combo.outSelect = selected.link();
  ui().chooseItem(*combo.nativeControl(), 0);
  ui().chooseItem(*combo.nativeControl(), 1);
  ASSERT_EQ(selected.received.size(), 2u);
  for (const auto& [i, text, data] : {std::tuple{0, "COM4", 4}, std::tuple{1, "COM9", 0}}) {
    EXPECT_EQ(selected.received[i].StrValue, text);
    ASSERT_NE(selected.received[i].Next, nullptr);
    EXPECT_EQ(selected.received[i].Next->IntValue, data);
  }
}

// The bar starts empty: a range from 1 showed a sliver before the first block.
TEST_F(UiTest, ProgressBarRunsFromEmptyToItsMax) {
  TZKProgressBar bar(formControl());
  bar.Max = 507;
  bar.init();
  for (const auto& [position, shown] : {std::pair{0, 0}, std::pair{600, 507}}) {
    TData d = integerData(position);
    bar.inSetPosition(d, 0);
    EXPECT_EQ(native(bar).progressPosition(), shown) << position;
  }
}
