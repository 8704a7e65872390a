// Image element: proportional drawing and its bitmap.
#include "ui/zkImage.h"
#include "uiFixture.h"

namespace {
struct ImageTest : UiTest {
  std::unique_ptr<TZKImage> make(int32_t width, int32_t height) {
    auto image = std::make_unique<TZKImage>(formControl());
    image->Width = width;
    image->Height = height;
    image->Color = 0x00FFFFFF;
    return image;
  }
};
}  // namespace

TEST_F(ImageTest, ThePictureKeepsItsProportionsWithBandsInTheBackgroundColour) {
  const std::tuple<TSize, TSize, uint8_t, TRect, TRect, TRect> cases[] = {
      // round(0.5) is 0: no side bands
      {{15, 14}, {4, 4}, 1, {0, 0, 15, 14}, {0, 0, 0, 14}, {15, 0, 15, 14}},
      {{100, 100}, {200, 100}, 1, {0, 25, 100, 75}, {0, 0, 100, 25}, {0, 75, 100, 100}},
      {{100, 50}, {290, 290}, 0, {25, 0, 75, 50}, {0, 0, 25, 50}, {75, 0, 100, 50}},
  };
  for (const auto& [control, picture, halftone, shown, firstBand, secondBand] : cases) {
    auto image = make(control.width, control.height);
    const auto pixels = static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height);
    image->setBitmap(TBitmap{picture.width, picture.height, std::vector<uint32_t>(pixels)});
    image->setHalftone(halftone);
    image->init();
    const std::vector<TPaintOp> ops = ui().paint(*image->nativeControl());
    ASSERT_EQ(ops.size(), 3u);
    EXPECT_EQ(ops[0].Rect, firstBand);
    EXPECT_EQ(ops[1].Rect, secondBand);
    EXPECT_EQ(ops[1].Color, 0x00FFFFFFu);
    EXPECT_EQ(ops[2].Kind, TPaintOp::TKind::Bitmap);
    EXPECT_EQ(ops[2].Rect, shown);
    EXPECT_EQ(ops[2].Mode, halftone ? TStretchMode::Halftone : TStretchMode::ColorOnColor);
    EXPECT_EQ(ops[2].BitmapSize, picture);
  }
}

TEST_F(ImageTest, WithoutABitmapOnlyTheBackgroundIsPaintedAndDrawIsNotCalled) {
  auto image = make(30, 20);
  int draws = 0;
  image->DrawMethod = [&](TPainter&) { ++draws; };
  image->setBitmap(TBitmap{});  // a failed load changes nothing
  image->init();
  const std::vector<TPaintOp> ops = ui().paint(*image->nativeControl());
  ASSERT_EQ(ops.size(), 1u);
  EXPECT_EQ(ops[0].Rect, (TRect{0, 0, 30, 20}));
  EXPECT_EQ(draws, 0);

  image->setBitmap(TBitmap{5, 0, std::vector<uint32_t>(5)});  // zero height counts as empty
  EXPECT_EQ(ui().paint(*image->nativeControl()).size(), 1u);
  EXPECT_EQ(draws, 0);
}
