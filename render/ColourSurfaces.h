// Surfaces a pass paints its counts on, which colour them for another
// surface: one that streams a supersampled picture row by row, and one that
// keeps the counts so that the picture can be coloured again.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "Colouring.h"
#include "Surface.h"

namespace wirolot {

// A K W x K H surface that hands the W x H target finished rows of pixels,
// top to bottom: each pixel of the larger picture coloured from its count
// (one drawn in a colour keeps it), each of the target the mean of a K x K
// block of them in linear light, encoded to 8-bit sRGB. It holds one row of
// the larger picture and one of sums. Rows must be drawn top to bottom, as on
// TPngStreamSurface; a fill of the whole surface before any row sets the
// colour of the pixels never painted.
class TColouringSurface final : public TPixelSurface {
 public:
  // `limit`: the pass's step limit.
  TColouringSurface(IPictureSurface& target, const TColouring& colouring, std::int32_t limit);
  void FillRect(const TRect& rect, TColor color) override;
  // Hands the target the rows not handed yet.
  void Finish();

 protected:
  void CountSpan(int y, int left, std::span<const std::int32_t> counts) override;
  void PlotSpan(int y, int left, std::span<const TColor> colors) override;
  void FillSpan(int y, int left, int right, TColor color) override;

 private:
  TColor* Row(int y);
  void Complete();  // the current row into the sums; every K rows a row to the target

  IPictureSurface& target_;
  const TColourMap map_;
  const int k_;
  TColor background_ = 0;
  int row_ = -1;  // the row being drawn, -1 before the first
  bool finished_ = false;
  std::vector<TColor> current_;  // its pixels
  std::vector<double> sums_;     // linear red, green, blue per target pixel
  std::vector<TColor> out_;
};

// A surface that keeps the count of every pixel a pass paints (0 where none
// is: a fill or a colour leaves no count) and shows them on a target of its
// size in the colours of a colouring, as they come and again on request.
class TCountSurface final : public TPixelSurface {
 public:
  TCountSurface(IPictureSurface& target, std::int32_t limit, const TColouring& colouring);
  void FillRect(const TRect& rect, TColor color) override;
  // Paints the whole target anew from the counts; a pixel without one black.
  void Recolour(const TColouring& colouring);
  std::int32_t Count(int x, int y) const { return counts_[std::size_t(y) * Width() + x]; }
  std::int32_t Limit() const { return limit_; }

 protected:
  void CountSpan(int y, int left, std::span<const std::int32_t> counts) override;
  void PlotSpan(int y, int left, std::span<const TColor> colors) override;

 private:
  void Show(int y, int left, int right);

  IPictureSurface& target_;
  const std::int32_t limit_;
  TColourMap map_;
  std::vector<std::int32_t> counts_;
  std::vector<TColor> row_;
};

}  // namespace wirolot
