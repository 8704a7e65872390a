// Element values from other threads and the program's bitmaps; backends: backend_test.cpp.
#include <fstream>
#include <iterator>
#include <vector>

#include "support/boundedWait.h"
#include "ui/bitmap.h"
#include "ui/zkEdit.h"
#include "ui/zkProgressBar.h"
#include "uiFixture.h"

// The reader thread sets and reads back the check-sum field per byte and moves the bar
// per block while the UI thread may be busy: it must not wait for it.
TEST_F(UiTest, TextsAndPositionsFromAnotherThreadDoNotWaitAndReadBackAtOnce) {
  TZKEdit edit(formControl());
  edit.init();
  TZKProgressBar bar(formControl());
  bar.Max = 507;
  bar.init();
  TRecorder changes;
  edit.outChange = changes.link();
  bool allReadBack = true;
  TTestThread(
      "the texts from another thread, which must not wait for the UI thread",
      [&] {
        for (int i = 0; i < 10000; ++i) {
          TData text = stringData(std::to_string(i));
          edit.inSetText(text, 0);
          TData back;
          edit.varText(back, 0);
          allReadBack = allReadBack && back.StrValue == std::to_string(i);
          if (i % 256 == 0) {
            TData position = integerData(i / 256);
            bar.inSetPosition(position, 0);
          }
        }
      },
      std::chrono::seconds(10))
      .join();
  EXPECT_TRUE(allReadBack);
  pumpPendingCalls();
  EXPECT_EQ(native(edit).text(), "9999");
  EXPECT_EQ(native(bar).progressPosition(), 39);
  EXPECT_EQ(changes.received.size(), 1u) << "the texts coalesce into the latest";

  // What the user types reads back on another thread too, at once.
  ui().type(*edit.nativeControl(), "typed");
  TData typed;
  TTestThread("the read on another thread", [&] { edit.varText(typed, 0); }).join();
  EXPECT_EQ(typed.StrValue, "typed");
}

namespace {
// 32-bit little-endian words.
std::string words(std::initializer_list<uint32_t> values) {
  std::string s;
  for (const uint32_t value : values)
    for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  return s;
}
}  // namespace

// The program's bitmap is a 32-bit file, its resource on Windows a bare DIB; its icon has 48 px.
TEST(Bitmaps, DecodesBottomUpFilesBareDibsAndTheIconAndRejectsTruncatedOnes) {
  // A 32-bit 2x2 DIB's info header (one plane, 32 bits: 0x00200001), then its rows, bottom
  // first: blue, green / red, white. The file adds its own header.
  const std::string info = words({40, 2, 2, 0x00200001, 0, 16, 0, 0, 0, 0}) +
                           words({0x0000FF, 0x00FF00, 0xFF0000, 0xFFFFFF});
  const std::string file = "BM" + words({14 + 56, 0, 14 + 40}) + info;
  for (const std::string& bytes : {file, info}) {
    const TBitmap bitmap = decodeBitmap(bytes);
    ASSERT_EQ(bitmap.Width, 2);
    ASSERT_EQ(bitmap.Height, 2);
    EXPECT_EQ(bitmap.Pixels, (std::vector<uint32_t>{0xFF0000, 0xFFFFFF, 0x0000FF, 0x00FF00}));
    EXPECT_TRUE(decodeBitmap(bytes.substr(0, bytes.size() - 1)).empty());
  }
  EXPECT_TRUE(decodeBitmap("BM").empty());

  std::ifstream in(QUIL_ICON_FILE, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const TBitmap icon = decodeIcon(bytes);
  ASSERT_EQ(icon.Width, 48);
  EXPECT_EQ(icon.Height, 48);
  EXPECT_EQ(icon.pixel(0, 0) >> 24, 0u);  // transparent corner
  EXPECT_EQ(icon.pixel(24, 24) >> 24, 0xFFu);
}
