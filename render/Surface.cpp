#include "Surface.h"

#include <algorithm>
#include <stdexcept>

namespace wirolot {

void TPixelSurface::FillRect(const TRect& rect, TColor color) {
  const int left = std::max(rect.Left, 0), right = std::min(rect.Right, width_);
  const int top = std::max(rect.Top, 0), bottom = std::min(rect.Bottom, height_);
  for (int y = top; y < bottom && left < right; ++y) FillSpan(y, left, right, color);
}

void TPixelSurface::FillSpan(int y, int left, int right, TColor color) {
  for (int x = left; x < right; ++x) Plot(x, y, color);
}

void TPixelSurface::LineTo(int x, int y) {
  if (long(x) - x_ == 1 && long(y) - y_ == 1 && x_ >= 0 && x_ < width_ && y_ >= 0 && y_ < height_) {
    Plot(x_, y_, pen_);  // the one pixel of a unit diagonal, the common case
    x_ = x;
    y_ = y;
    return;
  }
  ForEachLinePixel(x_, y_, x, y, [this](int px, int py) {
    if (px >= 0 && px < width_ && py >= 0 && py < height_) Plot(px, py, pen_);
  });
  x_ = x;
  y_ = y;
}

TBitmapSurface::TBitmapSurface(int width, int height) : TPixelSurface(width, height) {
  if (width <= 0 || height <= 0) throw std::invalid_argument("surface size must be positive");
  pixels_.assign(std::size_t(width) * std::size_t(height), 0);
}

}  // namespace wirolot
