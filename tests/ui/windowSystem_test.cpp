// The portable window library: element values from other threads, system
// colours, bitmaps and the message box seam. What every backend does is in
// the contract suite, backend_test.cpp.
#include <fstream>
#include <future>
#include <iterator>
#include <vector>

#include "ui/bitmap.h"
#include "ui/zkEdit.h"
#include "ui/zkProgressBar.h"
#include "uiFixture.h"

namespace {
THeadlessWindowSystem& freshSystem() {
  installWindowSystem(createHeadlessWindowSystem());
  return static_cast<THeadlessWindowSystem&>(windowSystem());
}
}  // namespace

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
  auto worker = std::async(std::launch::async, [&] {
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
  });
  // This thread serves nothing meanwhile.
  const bool finished = worker.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
  EXPECT_TRUE(finished) << "the worker waited for the UI thread";
  if (!finished)
    waitPumping(
        [&] { return worker.wait_for(std::chrono::seconds(0)) == std::future_status::ready; });
  EXPECT_TRUE(allReadBack);
  pumpPendingCalls();
  EXPECT_EQ(native(edit).text(), "9999");
  EXPECT_EQ(native(bar).progressPosition(), 39);
  EXPECT_EQ(changes.received.size(), 1u) << "the texts coalesce into the latest";

  // What the user types reads back on another thread too, at once.
  ui().type(*edit.nativeControl(), "typed");
  auto read = std::async(std::launch::async, [&] {
    TData value;
    edit.varText(value, 0);
    return value.StrValue;
  });
  ASSERT_EQ(read.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_EQ(read.get(), "typed");
}

TEST(SystemColors, SystemValuesResolveThroughTheWindowSystemAndPlainColoursStay) {
  freshSystem();
  EXPECT_EQ(resolveColor(0xFF00000F), systemColorRgb(15));
  EXPECT_EQ(resolveColor(0x00123456), 0x00123456u);
  EXPECT_EQ(systemColorRgb(99), 0u);
}

TEST(MessageBoxSeam, InstallingAWindowSystemRoutesDiagnosticBoxesToIt) {
  THeadlessWindowSystem& system = freshSystem();
  debugMessage("boom");
  ASSERT_EQ(system.messageBoxes().size(), 1u);
  EXPECT_EQ(system.messageBoxes()[0].Text, "boom");
  EXPECT_EQ(system.messageBoxes()[0].Caption, "String-Debug");
}

namespace {
void putLe(std::string& s, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) s.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// A DIB: info header, palette, rows padded to four bytes.
std::string dib(int32_t width, int32_t height, uint16_t bits, const std::string& palette,
                const std::string& rows) {
  std::string s;
  putLe(s, 40, 4);
  putLe(s, static_cast<uint32_t>(width), 4);
  putLe(s, static_cast<uint32_t>(height), 4);
  putLe(s, 1, 2);
  putLe(s, bits, 2);
  putLe(s, 0, 4);
  putLe(s, static_cast<uint32_t>(rows.size()), 4);
  putLe(s, 0, 4);
  putLe(s, 0, 4);
  putLe(s, static_cast<uint32_t>(palette.size() / 4), 4);
  putLe(s, 0, 4);
  return s + palette + rows;
}

std::string bmpFile(const std::string& info, uint32_t paletteBytes) {
  std::string s = "BM";
  putLe(s, static_cast<uint32_t>(14 + info.size()), 4);
  putLe(s, 0, 4);
  putLe(s, 14 + 40 + paletteBytes, 4);
  return s + info;
}
}  // namespace

TEST(Bitmaps, DecodesBottomUpTwentyFourBitFilesAndBareDibs) {
  // 2 x 2, bottom row first: blue, green / red, white (rows padded to 8).
  std::string rows;
  putLe(rows, 0x0000FF, 3);  // bottom left: blue (B first in memory)
  putLe(rows, 0x00FF00, 3);
  putLe(rows, 0, 2);
  putLe(rows, 0xFF0000, 3);
  putLe(rows, 0xFFFFFF, 3);
  putLe(rows, 0, 2);
  const std::string info = dib(2, 2, 24, "", rows);
  const std::string file = bmpFile(info, 0);

  for (const std::string& bytes : {file, info}) {
    const TBitmap bitmap = decodeBitmap(bytes);
    ASSERT_EQ(bitmap.Width, 2);
    ASSERT_EQ(bitmap.Height, 2);
    EXPECT_EQ(bitmap.pixel(0, 0), 0xFF0000u);  // top left: red
    EXPECT_EQ(bitmap.pixel(1, 0), 0xFFFFFFu);
    EXPECT_EQ(bitmap.pixel(0, 1), 0x0000FFu);  // bottom left: blue
    EXPECT_EQ(bitmap.pixel(1, 1), 0x00FF00u);
  }
}

TEST(Bitmaps, DecodesPalettesAndTopDownRowsAndRejectsDamagedData) {
  std::string palette;
  putLe(palette, 0x000000, 4);
  putLe(palette, 0x123456, 4);
  std::string rows;
  putLe(rows, 0x40, 4);  // 1 bit per pixel: 0 1 0 ...
  const TBitmap bitmap = decodeBitmap(dib(3, -1, 1, palette, rows));
  ASSERT_EQ(bitmap.Width, 3);
  ASSERT_EQ(bitmap.Height, 1);
  EXPECT_EQ(bitmap.pixel(0, 0), 0u);
  EXPECT_EQ(bitmap.pixel(1, 0), 0x123456u);

  std::string full;
  putLe(full, 0xABCDEF, 4);
  const std::string good = dib(1, 1, 32, "", full);
  EXPECT_FALSE(decodeBitmap(good).empty());
  EXPECT_TRUE(decodeBitmap(good.substr(0, good.size() - 1)).empty());
  EXPECT_TRUE(decodeBitmap(dib(1, 1, 16, "", full)).empty());
  EXPECT_TRUE(decodeBitmap(dib(0, 1, 32, "", full)).empty());
  EXPECT_TRUE(decodeBitmap("BM").empty());
}

namespace {
// An icon file: directory, one entry per DIB (its header counts colour image
// and mask, so twice the height).
std::string icoFile(const std::vector<std::string>& dibs, const std::vector<int>& sizes) {
  std::string s;
  putLe(s, 0, 2);
  putLe(s, 1, 2);
  putLe(s, static_cast<uint32_t>(dibs.size()), 2);
  uint32_t offset = static_cast<uint32_t>(6 + 16 * dibs.size());
  for (size_t i = 0; i < dibs.size(); ++i) {
    putLe(s, static_cast<uint32_t>(sizes[i]), 1);
    putLe(s, static_cast<uint32_t>(sizes[i]), 1);
    putLe(s, 0, 2);
    putLe(s, 1, 2);
    putLe(s, 32, 2);
    putLe(s, static_cast<uint32_t>(dibs[i].size()), 4);
    putLe(s, offset, 4);
    offset += static_cast<uint32_t>(dibs[i].size());
  }
  for (const std::string& d : dibs) s += d;
  return s;
}

std::string iconDib(int32_t side, uint32_t argb) {
  std::string rows;
  for (int32_t i = 0; i < side * side; ++i) putLe(rows, argb, 4);
  rows.append(static_cast<size_t>(side) * 4, '\0');  // the AND mask, 1 bit a pixel
  return dib(side, 2 * side, 32, "", rows);
}
}  // namespace

TEST(Bitmaps, IconsGiveTheirLargestImageWithAlpha) {
  const std::string file =
      icoFile({iconDib(2, 0x80FF0000), iconDib(4, 0xFF00FF00), iconDib(3, 0x00000000)}, {2, 4, 3});
  const TBitmap icon = decodeIcon(file);
  ASSERT_EQ(icon.Width, 4);
  ASSERT_EQ(icon.Height, 4);
  EXPECT_EQ(icon.pixel(3, 3), 0xFF00FF00u);

  // A damaged entry is passed over, not read past the end.
  std::string damaged = icoFile({iconDib(2, 0x80FF0000), iconDib(4, 0xFF00FF00)}, {2, 4});
  damaged.resize(damaged.size() - 8);
  const TBitmap rest = decodeIcon(damaged);
  ASSERT_EQ(rest.Width, 2);
  EXPECT_EQ(rest.pixel(0, 0), 0x80FF0000u);
  EXPECT_TRUE(decodeIcon(iconDib(2, 0)).empty());  // a bare DIB is no icon file
  EXPECT_TRUE(decodeIcon("").empty());
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
