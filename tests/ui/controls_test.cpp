// Label, button, combo box and progress bar with the settings the program
// gives them; the edit's cross-thread texts are in windowSystem_test.cpp.
#include "ui/zkButton.h"
#include "ui/zkComboBox.h"
#include "ui/zkLabel.h"
#include "ui/zkProgressBar.h"
#include "uiFixture.h"

TEST_F(UiTest, LabelAutoSizeFitsTheTextAndDocksWithAlign) {
  TZKLabel loose(formControl());
  loose.Left = 4;
  loose.Top = 6;
  loose.Caption = "Port:";
  loose.setAutoSize(1);
  loose.init();
  EXPECT_EQ(native(loose).bounds(),
            (TRect{4, 6, 4 + 5 * HeadlessCharWidth + 1, 6 - fontHeight(8) + 1}));

  TZKLabel top(formControl());
  top.Align = 2;
  top.Font = makeFontRec("Arial", 12, 0, 0, 1);
  top.Caption = "Status";
  top.setAutoSize(1);
  top.init();
  const TSize client = formControl()->clientSize();
  EXPECT_EQ(native(top).bounds(), (TRect{0, 0, client.width, -fontHeight(12) + 1}));
}

TEST_F(UiTest, AClickSendsNothingOrTheButtonsData) {
  TZKButton plain(formControl()), valued(formControl());
  valued.Data = integerData(0);
  plain.init();
  valued.init();
  TRecorder clicks;
  plain.outClick = clicks.link();
  valued.outClick = clicks.link();
  ui().click(*plain.nativeControl());
  ui().click(*valued.nativeControl());
  ASSERT_EQ(clicks.received.size(), 2u);
  EXPECT_EQ(kindOf(clicks.received[0]), TDataKind::Null);
  EXPECT_TRUE(isInteger(clicks.received[1]));
  EXPECT_EQ(clicks.received[1].IntValue, 0);
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
  std::vector<int32_t> second;
  selected.onReceive = [&](TData& d, uint16_t) {
    second.push_back(d.Next != nullptr ? d.Next->IntValue : -1);
  };
  combo.outSelect = selected.link();
  ui().chooseItem(*combo.nativeControl(), 0);
  ui().chooseItem(*combo.nativeControl(), 1);
  ASSERT_EQ(selected.received.size(), 2u);
  EXPECT_EQ(selected.received[0].StrValue, "COM4");
  EXPECT_EQ(second[0], 4);
  EXPECT_EQ(selected.received[1].StrValue, "COM9");
  EXPECT_EQ(second[1], 0);  // the item data is 0 until set
}

TEST_F(UiTest, ProgressBarTakesNumbersAndTextsInItsRange) {
  TZKProgressBar bar(formControl());
  bar.Max = 507;
  bar.BarColor = 0xFF00000D;  // a system colour, resolved
  bar.init();
  EXPECT_EQ(native(bar).progressHigh(), 507);
  EXPECT_EQ(native(bar).BarColor, systemColorRgb(13));
  const std::pair<TData, int32_t> cases[] = {
      {integerData(12), 12}, {stringData("250"), 250}, {integerData(600), 507}};
  for (const auto& [position, shown] : cases) {
    TData d = position;
    bar.inSetPosition(d, 0);
    EXPECT_EQ(native(bar).progressPosition(), shown);
  }
}
