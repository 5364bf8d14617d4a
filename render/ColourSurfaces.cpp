#include "ColourSurfaces.h"

#include <algorithm>

namespace wirolot {

TColouringSurface::TColouringSurface(IPictureSurface& target, const TColouring& colouring, std::int32_t limit)
    : TPixelSurface(target.Width() * colouring.Supersample, target.Height() * colouring.Supersample),
      target_(target),
      map_(colouring, limit),
      k_(colouring.Supersample),
      current_(std::size_t(Width())),
      sums_(std::size_t(target.Width()) * 3),
      out_(std::size_t(target.Width())) {}

void TColouringSurface::FillRect(const TRect& rect, TColor color) {
  if (row_ < 0 && rect.Left <= 0 && rect.Top <= 0 && rect.Right >= Width() && rect.Bottom >= Height())
    background_ = color;
  else
    TPixelSurface::FillRect(rect, color);
}

void TColouringSurface::CountSpan(int y, int left, std::span<const std::int32_t> counts) {
  std::ranges::transform(counts, Row(y) + left, map_);
}

void TColouringSurface::PlotSpan(int y, int left, std::span<const TColor> colors) {
  std::ranges::copy(colors, Row(y) + left);
}

void TColouringSurface::FillSpan(int y, int left, int right, TColor color) {
  std::fill(Row(y) + left, Row(y) + right, color);
}

TColor* TColouringSurface::Row(int y) {
  if (y < row_ || finished_) throw Exception("row " + std::to_string(y) + " drawn after it was handed on");
  while (row_ < y) {
    if (row_ >= 0) Complete();
    ++row_;
    std::ranges::fill(current_, background_);
  }
  return current_.data();
}

void TColouringSurface::Complete() {
  if (k_ == 1) {
    target_.PlotRow(0, row_, current_);
    return;
  }
  for (std::size_t x = 0; x < current_.size(); ++x) {
    double* sum = &sums_[x / std::size_t(k_) * 3];
    const TColor c = current_[x];
    sum[0] += TLinearLight::Decode(RedOf(c));
    sum[1] += TLinearLight::Decode(GreenOf(c));
    sum[2] += TLinearLight::Decode(BlueOf(c));
  }
  if ((row_ + 1) % k_ != 0) return;
  const double samples = double(k_) * k_;
  for (std::size_t x = 0; x < out_.size(); ++x) {
    const double* sum = &sums_[x * 3];
    out_[x] = RGB(TLinearLight::Encode(sum[0] / samples), TLinearLight::Encode(sum[1] / samples),
                  TLinearLight::Encode(sum[2] / samples));
  }
  std::ranges::fill(sums_, 0.0);
  target_.PlotRow(0, row_ / k_, out_);
}

void TColouringSurface::Finish() {
  if (finished_) return;
  Row(Height() - 1);
  Complete();
  finished_ = true;
}

TCountSurface::TCountSurface(IPictureSurface& target, std::int32_t limit, const TColouring& colouring)
    : TPixelSurface(target.Width(), target.Height()),
      target_(target),
      limit_(limit),
      map_(colouring, limit),
      counts_(std::size_t(Width()) * std::size_t(Height())),
      row_(std::size_t(Width())) {}

void TCountSurface::FillRect(const TRect& rect, TColor color) {
  const int left = std::max(rect.Left, 0), right = std::min(rect.Right, Width());
  for (int y = std::max(rect.Top, 0); y < std::min(rect.Bottom, Height()) && left < right; ++y)
    std::fill(&counts_[std::size_t(y) * Width() + left], &counts_[std::size_t(y) * Width() + right], 0);
  target_.FillRect(rect, color);
}

void TCountSurface::CountSpan(int y, int left, std::span<const std::int32_t> counts) {
  std::ranges::copy(counts, &counts_[std::size_t(y) * Width() + left]);
  Show(y, left, left + int(counts.size()));
}

void TCountSurface::PlotSpan(int y, int left, std::span<const TColor> colors) {
  std::fill_n(&counts_[std::size_t(y) * Width() + left], colors.size(), 0);
  target_.PlotRow(left, y, colors);
}

void TCountSurface::Show(int y, int left, int right) {
  const std::int32_t* counts = &counts_[std::size_t(y) * Width()];
  for (int x = left; x < right; ++x) row_[x] = counts[x] ? map_(counts[x]) : 0;
  target_.PlotRow(left, y, std::span(row_).subspan(left, right - left));
}

void TCountSurface::Recolour(const TColouring& colouring) {
  map_ = TColourMap(colouring, limit_);
  for (int y = 0; y < Height(); ++y) Show(y, 0, Width());
}

}  // namespace wirolot
