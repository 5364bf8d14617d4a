// The two outputs of a render pass: a picture surface and a progress sink.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "Types.h"

namespace wirolot {

// Right and bottom edges excluded.
struct TRect {
  int Left, Top, Right, Bottom;
};

class IPictureSurface {
 public:
  virtual ~IPictureSurface() = default;
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  virtual void FillRect(const TRect& rect, TColor color) = 0;
  virtual void SetPenColor(TColor color) = 0;
  virtual void MoveTo(int x, int y) = 0;
  // Draws from the current position with a one-pixel pen, end point excluded,
  // and makes (x, y) the current position.
  virtual void LineTo(int x, int y) = 0;
  // Paints pixel (x + k, y) in colors[k] for k = 0, 1, ... in turn, as
  // SetPenColor(colors[k]), MoveTo(x + k, y), LineTo(x + k + 1, y + 1) would.
  virtual void PlotRow(int x, int y, std::span<const TColor> colors);
  // Paints pixel (x + k, y) for the step count counts[k], k = 0, 1, ...: by
  // default as PlotRow in the pen colours ColorOf(counts[k]). A pass paints
  // its rows so; a surface that colours counts its own way takes them here.
  virtual void PlotCounts(int x, int y, std::span<const std::int32_t> counts);
};

class IProgressSink {
 public:
  virtual ~IProgressSink() = default;
  // Positions outside 0..100 are held at the nearer end.
  virtual void SetPosition(int position) = 0;
};

// Visits the pixels of the line from (x0, y0) to (x1, y1), end point excluded.
template <class Plot>
void ForEachLinePixel(int x0, int y0, int x1, int y1, Plot plot) {
  const long dx = std::labs(long(x1) - x0), dy = -std::labs(long(y1) - y0);
  const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
  long err = dx + dy;
  while (x0 != x1 || y0 != y1) {
    plot(x0, y0);
    const long e2 = 2 * err;
    if (e2 >= dy) { err += dy; x0 += sx; }
    if (e2 <= dx) { err += dx; y0 += sy; }
  }
}

// Surface state shared by every implementation: size, pen, current position,
// clipping. Subclasses provide the pixel store.
class TPixelSurface : public IPictureSurface {
 public:
  TPixelSurface(int width, int height) : width_(width), height_(height) {}
  int Width() const override { return width_; }
  int Height() const override { return height_; }
  void FillRect(const TRect& rect, TColor color) override;
  void SetPenColor(TColor color) override { pen_ = color; }
  void MoveTo(int x, int y) override { x_ = x; y_ = y; }
  void LineTo(int x, int y) override;
  void PlotRow(int x, int y, std::span<const TColor> colors) override;
  void PlotCounts(int x, int y, std::span<const std::int32_t> counts) override;

 protected:
  // Pixels from (left, y) on in the given colours, all inside the surface.
  virtual void PlotSpan(int y, int left, std::span<const TColor> colors) = 0;
  // Pixels left..right-1 of row y, all inside the surface.
  virtual void FillSpan(int y, int left, int right, TColor color);
  // Pixels from (left, y) on for the given counts, all inside the surface;
  // by default in their pen colours.
  virtual void CountSpan(int y, int left, std::span<const std::int32_t> counts);

 private:
  // Moves the position past `size` pixels from (x, y), and gives those of
  // them inside the surface as (first, length); false if none are.
  bool Clip(int x, int y, std::size_t size, std::size_t& first, std::size_t& length);

  int width_, height_;
  TColor pen_ = 0;
  int x_ = 0, y_ = 0;
};

// In-memory surface; pixels start black.
class TBitmapSurface final : public TPixelSurface {
 public:
  TBitmapSurface(int width, int height);
  TColor Pixel(int x, int y) const { return pixels_[std::size_t(y) * Width() + x]; }
  const std::vector<TColor>& Pixels() const { return pixels_; }

 protected:
  void FillSpan(int y, int left, int right, TColor color) override {
    std::fill(&pixels_[std::size_t(y) * Width() + left], &pixels_[std::size_t(y) * Width() + right], color);
  }
  void PlotSpan(int y, int left, std::span<const TColor> colors) override {
    std::copy(colors.begin(), colors.end(), &pixels_[std::size_t(y) * Width() + left]);
  }

 private:
  std::vector<TColor> pixels_;
};

}  // namespace wirolot
