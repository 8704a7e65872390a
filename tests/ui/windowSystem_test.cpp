// The portable window library: element values from other threads and the
// program's bitmaps. What every backend does is in the contract suite,
// backend_test.cpp.
#include <fstream>
#include <iterator>
#include <vector>

#include "support/boundedWait.h"
#include "ui/bitmap.h"
#include "ui/zkEdit.h"
#include "ui/zkProgressBar.h"
#include "uiFixture.h"

// The upload sets the hidden check-sum field once per image byte from the
// reader thread, reads it back at once, and moves the progress bar once a
// block, while the UI thread may be busy: the reader must not wait for it.
TEST_F(UiTest, TextsAndPositionsFromAnotherThreadDoNotWaitAndReadBackAtOnce) {
  TZKEdit edit(formControl());
  edit.init();
  TZKProgressBar bar(formControl());
  bar.Max = 507;
  bar.init();
  TRecorder changes;
  edit.outChange = changes.link();
  bool allReadBack = true;
  // This thread serves nothing meanwhile.
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
void putLe(std::string& s, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) s.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// A 32-bit DIB: info header and rows.
std::string dib(int32_t width, int32_t height, const std::string& rows) {
  std::string s;
  putLe(s, 40, 4);
  putLe(s, static_cast<uint32_t>(width), 4);
  putLe(s, static_cast<uint32_t>(height), 4);
  putLe(s, 1, 2);
  putLe(s, 32, 2);
  putLe(s, 0, 4);
  putLe(s, static_cast<uint32_t>(rows.size()), 4);
  putLe(s, 0, 4);
  putLe(s, 0, 4);
  putLe(s, 0, 4);
  putLe(s, 0, 4);
  return s + rows;
}

std::string bmpFile(const std::string& info) {
  std::string s = "BM";
  putLe(s, static_cast<uint32_t>(14 + info.size()), 4);
  putLe(s, 0, 4);
  putLe(s, 14 + 40, 4);
  return s + info;
}
}  // namespace

// The program's bitmap is a 32-bit file; its resource on Windows a bare DIB.
TEST(Bitmaps, DecodesBottomUpFilesAndBareDibsAndRejectsTruncatedOnes) {
  std::string rows;  // bottom row first: blue, green / red, white
  for (const uint32_t rgb : {0x0000FFu, 0x00FF00u, 0xFF0000u, 0xFFFFFFu}) putLe(rows, rgb, 4);
  const std::string info = dib(2, 2, rows);
  for (const std::string& bytes : {bmpFile(info), info}) {
    const TBitmap bitmap = decodeBitmap(bytes);
    ASSERT_EQ(bitmap.Width, 2);
    ASSERT_EQ(bitmap.Height, 2);
    EXPECT_EQ(bitmap.Pixels, (std::vector<uint32_t>{0xFF0000, 0xFFFFFF, 0x0000FF, 0x00FF00}));
    EXPECT_TRUE(decodeBitmap(bytes.substr(0, bytes.size() - 1)).empty());
  }
  EXPECT_TRUE(decodeBitmap("BM").empty());
}

TEST(Bitmaps, TheProgramIconDecodesAtFortyEightPixels) {
  std::ifstream in(QUIL_ICON_FILE, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const TBitmap icon = decodeIcon(bytes);
  ASSERT_EQ(icon.Width, 48);
  EXPECT_EQ(icon.Height, 48);
  EXPECT_EQ(icon.pixel(0, 0) >> 24, 0u);  // transparent corner
  EXPECT_EQ(icon.pixel(24, 24) >> 24, 0xFFu);
}
