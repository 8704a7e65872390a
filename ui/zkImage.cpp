// Image element.
#include "zkImage.h"

namespace {
constexpr uint32_t ImageStyles = 0x018C;  // the label's static control
}  // namespace

TZKImage::TZKImage(TNativeControl* parentControl) : TZKWin(parentControl) {
  DrawMethod = [this](TPainter& painter) { proportionalDraw(painter, false); };
}

void TZKImage::setBitmap(TBitmap bitmap) {
  if (bitmap.Pixels.empty()) return;
  Bitmap = std::move(bitmap);
}

void TZKImage::setHalftone(uint8_t halftone) {
  stretchMode_ = halftone != 0 && windowSystem().halftoneAvailable() ? TStretchMode::Halftone
                                                                     : TStretchMode::ColorOnColor;
}

void TZKImage::init() {
  createControl(WinClass::Static, "", ImageStyles);
  TZKWin::init();
  clickHandler = [this] { fireEvent(outClick); };
  paintHandler = [this](TPainter& painter) { paint(painter); };
  TNativeControl& control = node_->control();
  control.setBackgroundColor(resolveColor(Color));
  if (AutoSize != 0 && !Bitmap.empty()) {
    const TRect r = control.bounds();
    control.setBounds({r.left, r.top, r.left + Bitmap.Width, r.top + Bitmap.Height});
  }
}

void TZKImage::paint(TPainter& painter) {
  if (Bitmap.empty()) {
    const TSize client = node_->control().clientSize();
    painter.fillRect({0, 0, client.width, client.height}, resolveColor(Color));
    return;
  }
  if (DrawMethod) DrawMethod(painter);
}

void TZKImage::proportionalDraw(TPainter& painter, bool cover) {
  const TNativeControl& control = node_->control();
  const TSize client = control.clientSize();
  TRect target{0, 0, client.width, client.height};
  const int32_t w = control.bounds().width();
  const int32_t h = control.bounds().height();
  const double ratio = static_cast<double>(Bitmap.Height) / Bitmap.Width;
  const bool tall = h < w * ratio;
  const TColor background = resolveColor(Color);
  if (tall == cover) {
    const int32_t t = roundToInteger((h - w * ratio) / 2);
    target.top = t;
    target.bottom = h - t;
    painter.fillRect({0, 0, w, t}, background);
    painter.fillRect({0, h - t, w, h}, background);
  } else {
    const int32_t l = roundToInteger((w - h / ratio) / 2);
    target.left = l;
    target.right = w - l;
    painter.fillRect({0, 0, l, h}, background);
    painter.fillRect({w - l, 0, w, h}, background);
  }
  painter.drawBitmap(Bitmap, target, stretchMode_);
}
