#include "Surface.h"

#include <algorithm>
#include <stdexcept>

namespace wirolot {

void IPictureSurface::PlotRow(int x, int y, std::span<const TColor> colors) {
  for (TColor color : colors) {
    SetPenColor(color);
    MoveTo(x, y);
    LineTo(x + 1, y + 1);
    ++x;
  }
}

void TPixelSurface::FillRect(const TRect& rect, TColor color) {
  const int left = std::max(rect.Left, 0), right = std::min(rect.Right, width_);
  const int top = std::max(rect.Top, 0), bottom = std::min(rect.Bottom, height_);
  for (int y = top; y < bottom && left < right; ++y) FillSpan(y, left, right, color);
}

void TPixelSurface::FillSpan(int y, int left, int right, TColor color) {
  for (int x = left; x < right; ++x) PlotSpan(y, x, {&color, 1});
}

void TPixelSurface::LineTo(int x, int y) {
  ForEachLinePixel(x_, y_, x, y, [this](int px, int py) {
    if (px >= 0 && px < width_ && py >= 0 && py < height_) PlotSpan(py, px, {&pen_, 1});
  });
  x_ = x;
  y_ = y;
}

void TPixelSurface::PlotRow(int x, int y, std::span<const TColor> colors) {
  if (colors.empty()) return;
  const long end = long(x) + long(colors.size());
  if (y >= 0 && y < height_) {
    const long left = std::max(long(x), 0L), right = std::min(end, long(width_));
    if (left < right) PlotSpan(y, int(left), colors.subspan(std::size_t(left - x), std::size_t(right - left)));
  }
  pen_ = colors.back();
  x_ = int(end);
  y_ = y + 1;
}

TBitmapSurface::TBitmapSurface(int width, int height) : TPixelSurface(width, height) {
  if (width <= 0 || height <= 0) throw std::invalid_argument("surface size must be positive");
  pixels_.assign(std::size_t(width) * std::size_t(height), 0);
}

}  // namespace wirolot
