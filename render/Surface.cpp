#include "Surface.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "Orbits.h"

namespace wirolot {

void IPictureSurface::PlotRow(int x, int y, std::span<const TColor> colors) {
  for (TColor color : colors) {
    SetPenColor(color);
    MoveTo(x, y);
    LineTo(x + 1, y + 1);
    ++x;
  }
}

void IPictureSurface::PlotCounts(int x, int y, std::span<const std::int32_t> counts) {
  std::vector<TColor> colors(counts.size());
  std::ranges::transform(counts, colors.begin(), ColorOf);
  PlotRow(x, y, colors);
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

bool TPixelSurface::Clip(int x, int y, std::size_t size, std::size_t& first, std::size_t& length) {
  const long end = long(x) + long(size);
  x_ = int(end);
  y_ = y + 1;
  if (y < 0 || y >= height_) return false;
  const long left = std::max(long(x), 0L), right = std::min(end, long(width_));
  first = std::size_t(left - x);
  length = std::size_t(right - left);
  return left < right;
}

void TPixelSurface::PlotRow(int x, int y, std::span<const TColor> colors) {
  if (colors.empty()) return;
  pen_ = colors.back();
  if (std::size_t first, length; Clip(x, y, colors.size(), first, length))
    PlotSpan(y, x + int(first), colors.subspan(first, length));
}

void TPixelSurface::PlotCounts(int x, int y, std::span<const std::int32_t> counts) {
  if (counts.empty()) return;
  pen_ = ColorOf(counts.back());
  if (std::size_t first, length; Clip(x, y, counts.size(), first, length))
    CountSpan(y, x + int(first), counts.subspan(first, length));
}

void TPixelSurface::CountSpan(int y, int left, std::span<const std::int32_t> counts) {
  TColor colors[256];
  for (std::size_t done = 0; done < counts.size(); done += std::size(colors)) {
    const std::span<const std::int32_t> part = counts.subspan(done, std::min(std::size(colors), counts.size() - done));
    std::ranges::transform(part, colors, ColorOf);
    PlotSpan(y, left + int(done), {colors, part.size()});
  }
}

TBitmapSurface::TBitmapSurface(int width, int height) : TPixelSurface(width, height) {
  if (width <= 0 || height <= 0) throw std::invalid_argument("surface size must be positive");
  pixels_.assign(std::size_t(width) * std::size_t(height), 0);
}

}  // namespace wirolot
