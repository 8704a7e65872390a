// Label, button, edit, combo box and progress bar.
#include "runtime/codepage.h"
#include "ui/zkButton.h"
#include "ui/zkComboBox.h"
#include "ui/zkEdit.h"
#include "ui/zkLabel.h"
#include "ui/zkProgressBar.h"
#include "uiFixture.h"

namespace {
constexpr int32_t Enter = 13;
}  // namespace

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

TEST_F(UiTest, LabelHoverChangesTheFontUntilTheMouseLeaves) {
  TZKLabel label(formControl());
  label.HoverColor = 0x0000FF;
  label.HoverUnderline = 1;
  label.Font = makeFontRec("Arial", 8, 1, 0x00FF00, 1);
  label.init();
  ui().mouse(*label.nativeControl(), mouseAt(TMouseAction::Move, 0, 0));
  EXPECT_EQ(native(label).font().Color, 0x0000FFu);
  EXPECT_EQ(native(label).font().Style, 5);
  ui().mouse(*label.nativeControl(), mouseAt(TMouseAction::Leave, 0, 0));
  EXPECT_EQ(native(label).font().Color, 0x00FF00u);
  EXPECT_EQ(native(label).font().Style, 1);
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

TEST_F(UiTest, EditSwallowsTheInitialTextChangeOnly) {
  TZKEdit edit(formControl());
  edit.Text = "1234";
  TRecorder changes;
  edit.outChange = changes.link();
  edit.init();
  EXPECT_EQ(native(edit).text(), "1234");
  EXPECT_TRUE(changes.received.empty());
  ui().type(*edit.nativeControl(), "12345");
  ASSERT_EQ(changes.received.size(), 1u);
  EXPECT_EQ(changes.received[0].StrValue, "12345");
}

TEST_F(UiTest, EditSetTextReportsTheChangeAndKeepsTheCaret) {
  TZKEdit edit(formControl());
  edit.Text = "abcdef";
  edit.init();
  TRecorder changes;
  edit.outChange = changes.link();
  edit.nativeControl()->setSelection(3, 3);
  TData d = stringData("xyz12345");
  edit.inSetText(d, 0);
  EXPECT_EQ(native(edit).text(), "xyz12345");
  EXPECT_EQ(native(edit).caretPosition(), 3);
  EXPECT_EQ(changes.received.at(0).StrValue, "xyz12345");

  TProvider source;
  source.answer = stringData("linked");
  edit.dataText = source.link();
  edit.inSetText(d, 0);
  EXPECT_EQ(native(edit).text(), "linked");
}

TEST_F(UiTest, EnterReportsAndClearsWithOutEnterAndIsAnOrdinaryKeyWithout) {
  TZKEdit edit(formControl());
  edit.init();
  ui().type(*edit.nativeControl(), "text");
  TRecorder keys;
  edit.outKeyDown = keys.link();
  ui().press(*edit.nativeControl(), Enter, Enter);
  EXPECT_EQ(keys.received.at(0).IntValue, Enter);
  EXPECT_EQ(native(edit).text(), "text");

  TRecorder entered, changes, chars;
  edit.outEnter = entered.link();
  edit.outChange = changes.link();
  edit.outChar = chars.link();
  ui().type(*edit.nativeControl(), "COM3");
  changes.received.clear();
  ui().press(*edit.nativeControl(), Enter, Enter);
  ASSERT_EQ(entered.received.size(), 1u);
  EXPECT_EQ(entered.received[0].StrValue, "COM3");
  EXPECT_EQ(native(edit).text(), "");
  EXPECT_TRUE(changes.received.empty());
  EXPECT_EQ(keys.received.size(), 1u);
  EXPECT_TRUE(chars.received.empty());
  ui().type(*edit.nativeControl(), "x");  // the next edit reports again
  EXPECT_EQ(changes.received.size(), 1u);

  // A handler that sets the text keeps it.
  entered.onReceive = [&](TData&, uint16_t) {
    TData d = stringData("new");
    edit.inSetText(d, 0);
  };
  ui().press(*edit.nativeControl(), Enter, Enter);
  EXPECT_EQ(native(edit).text(), "new");
}

namespace {
struct ComboTest : UiTest {
  void SetUp() override {
    UiTest::SetUp();
    combo = std::make_unique<TZKComboBox>(formControl());
    combo->Width = 120;
    combo->ItemHeight = 20;
  }
  void TearDown() override {
    combo.reset();
    UiTest::TearDown();
  }
  THeadlessControl& control() { return native(*combo); }
  std::unique_ptr<TZKComboBox> combo;
};
}  // namespace

TEST_F(ComboTest, StringsLoadOneItemPerLineAndItemsMeasureTheirHeight) {
  combo->Strings = "COM1\r\nCOM2\nCOM3\r\n";
  combo->init();
  ASSERT_EQ(control().itemCount(), 3);
  EXPECT_EQ(control().itemText(2), "COM3");
  EXPECT_EQ(control().events()->onMeasureItem(), 20);
  TData text;
  combo->itemsText(text);
  EXPECT_EQ(text.StrValue, "COM1\r\nCOM2\r\nCOM3");
}

TEST_F(ComboTest, AddSelectsWithoutReportingAndEndsWithListChanged) {
  combo->SelectAdded = 1;
  combo->init();
  TRecorder selected, changed;
  combo->outSelect = selected.link();
  combo->outListChanged = changed.link();
  fireEvent(makeEventLink<&TZKComboBox::inAdd>(combo.get()), std::string("COM1"));
  fireEvent(makeEventLink<&TZKComboBox::inAdd>(combo.get()), std::string("COM7"));
  EXPECT_EQ(control().itemCount(), 2);
  EXPECT_EQ(control().selectedIndex(), 1);
  EXPECT_TRUE(selected.received.empty());
  ASSERT_EQ(changed.received.size(), 2u);
  EXPECT_EQ(kindOf(changed.received[0]), TDataKind::Null);
}

TEST_F(ComboTest, SelectionReportsIndexOrTextWithItemData) {
  combo->init();
  TData chain = chained(stringData("COM4"), integerData(4));
  combo->inAdd(chain, 0);  // an unlinked add takes text, then item data
  TData plain = stringData("COM9");
  combo->inAdd(plain, 0);
  TRecorder selected;
  combo->outSelect = selected.link();

  ui().chooseItem(*combo->nativeControl(), 0);
  ASSERT_EQ(selected.received.size(), 1u);
  EXPECT_TRUE(isInteger(selected.received[0]));
  EXPECT_EQ(selected.received[0].IntValue, 0);

  combo->SelectType = 1;
  TRecorder texts;
  std::vector<int32_t> second;
  texts.onReceive = [&](TData& d, uint16_t) {
    second.push_back(d.Next != nullptr ? d.Next->IntValue : -1);
  };
  combo->outSelect = texts.link();
  ui().chooseItem(*combo->nativeControl(), 0);
  ui().chooseItem(*combo->nativeControl(), 1);
  ASSERT_EQ(texts.received.size(), 2u);
  EXPECT_EQ(texts.received[0].StrValue, "COM4");
  EXPECT_EQ(second[0], 4);
  EXPECT_EQ(texts.received[1].StrValue, "COM9");
  EXPECT_EQ(second[1], 0);  // the item data is 0 until set
}

TEST_F(ComboTest, ItemDataFromTheLinkAndAddToTop) {
  TProvider itemData;
  itemData.answer = integerData(0);
  combo->dataItemData = itemData.link();
  combo->AddToTop = 1;
  combo->init();
  TData a = stringData("B");
  combo->inAdd(a, 0);
  TData b = stringData("A");
  combo->inAdd(b, 0);
  EXPECT_EQ(control().itemText(0), "A");
  EXPECT_EQ(control().itemData(0), 0);
  TData index = integerData(1);
  TData text = stringData("C");
  combo->setItem(index, text);
  EXPECT_EQ(control().itemText(1), "C");
  EXPECT_EQ(control().itemData(1), 0);
  TData cleared;
  combo->clearItems(cleared);
  EXPECT_EQ(control().itemCount(), 0);
  EXPECT_EQ(cleared.Kind & TailFlag, TailFlag);
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
