// Image element: proportional drawing and its bitmap.
#include "ui/zkImage.h"
#include "uiFixture.h"

namespace {
TBitmap solidBitmap(int32_t width, int32_t height) {
  TBitmap bitmap;
  bitmap.Width = width;
  bitmap.Height = height;
  bitmap.Pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0x336699);
  return bitmap;
}

std::vector<TPaintOp> fills(const std::vector<TPaintOp>& ops) {
  std::vector<TPaintOp> result;
  for (const TPaintOp& op : ops) {
    if (op.Kind == TPaintOp::TKind::Fill) result.push_back(op);
  }
  return result;
}

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

TEST_F(ImageTest, ASquarePictureInAWiderControlFillsItsWholeWidth) {
  auto image = make(15, 14);
  image->setBitmap(solidBitmap(4, 4));
  image->init();
  const std::vector<TPaintOp> ops = ui().paint(*image->nativeControl());
  ASSERT_EQ(ops.size(), 3u);
  EXPECT_EQ(ops[2].Kind, TPaintOp::TKind::Bitmap);
  EXPECT_EQ(ops[2].Rect, (TRect{0, 0, 15, 14}));  // round(0.5) is 0: no side bands
  EXPECT_EQ(ops[0].Rect.width(), 0);
  EXPECT_EQ(ops[1].Rect.width(), 0);
}

TEST_F(ImageTest, AWidePictureLeavesBandsAboveAndBelow) {
  auto image = make(100, 100);
  image->setBitmap(solidBitmap(200, 100));
  image->setHalftone(1);
  image->init();
  const std::vector<TPaintOp> ops = ui().paint(*image->nativeControl());
  ASSERT_EQ(ops.size(), 3u);
  EXPECT_EQ(ops[2].Rect, (TRect{0, 25, 100, 75}));
  EXPECT_EQ(ops[2].Mode, TStretchMode::Halftone);
  EXPECT_EQ(ops[2].BitmapSize, (TSize{200, 100}));
  const std::vector<TPaintOp> bands = fills(ops);
  EXPECT_EQ(bands[0].Rect, (TRect{0, 0, 100, 25}));
  EXPECT_EQ(bands[1].Rect, (TRect{0, 75, 100, 100}));
  EXPECT_EQ(bands[0].Color, 0x00FFFFFFu);
}

TEST_F(ImageTest, ATallPictureLeavesBandsLeftAndRight) {
  auto image = make(100, 50);
  image->setBitmap(solidBitmap(290, 290));
  image->setHalftone(0);
  image->init();
  const std::vector<TPaintOp> ops = ui().paint(*image->nativeControl());
  ASSERT_EQ(ops.size(), 3u);
  EXPECT_EQ(ops[2].Rect, (TRect{25, 0, 75, 50}));
  EXPECT_EQ(ops[2].Mode, TStretchMode::ColorOnColor);
  EXPECT_EQ(ops[0].Rect, (TRect{0, 0, 25, 50}));
  EXPECT_EQ(ops[1].Rect, (TRect{75, 0, 100, 50}));
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

  TBitmap flat = solidBitmap(5, 1);
  flat.Height = 0;  // zero height counts as empty
  image->setBitmap(flat);
  EXPECT_EQ(ui().paint(*image->nativeControl()).size(), 1u);
  EXPECT_EQ(draws, 0);
}

TEST_F(ImageTest, AnEmptySetBitmapKeepsThePictureAndAutoSizeUsesIt) {
  auto image = make(10, 10);
  image->AutoSize = 1;
  image->setBitmap(solidBitmap(290, 290));
  image->setBitmap(TBitmap{});
  image->init();
  EXPECT_EQ(image->Bitmap.Width, 290);
  EXPECT_EQ(native(*image).bounds().width(), 290);
  EXPECT_EQ(native(*image).bounds().height(), 290);

  auto empty = make(10, 12);
  empty->AutoSize = 1;
  empty->init();
  EXPECT_EQ(native(*empty).bounds(), (TRect{0, 0, 10, 12}));
}

TEST_F(ImageTest, ClickFiresOutClick) {
  auto image = make(10, 10);
  image->init();
  TRecorder clicks;
  image->outClick = clicks.link();
  ui().click(*image->nativeControl());
  EXPECT_EQ(clicks.received.size(), 1u);
}
