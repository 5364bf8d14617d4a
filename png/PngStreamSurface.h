// A picture surface that encodes PNG rows while they are drawn, on a thread of
// its own, holding a few rows rather than the picture. The PNG carries the
// picture's view.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "PngView.h"
#include "Surface.h"

namespace wirolot {

// Drawing the stream cannot take (a row already handed to the encoder, a
// colour outside the palette), or a failure inside the encoder.
class EPngStreamError : public Exception {
 public:
  using Exception::Exception;
};

// The surface is the view's size. Rows must be drawn top to bottom: a fill of
// the whole surface before any row sets the colour of rows never drawn; a row
// is complete once a later row is drawn, or at Finish. Drawing into a
// completed row raises EPngStreamError. Calls may come from any thread, one
// at a time.
// Given the colours a pass paints in its counts' own colours, at most 256,
// entry n that of count n (PaintedColours), the PNG is indexed and only those
// colours and counts can be drawn; given none, it is 8-bit RGB. Pixels start
// black.
// To save a picture held in memory, hand its rows to PlotRow, then Finish.
class TPngStreamSurface final : public TPixelSurface {
 public:
  // write(data, size) writes all of it or raises an exception, which then
  // leaves the next drawing call or Finish. Called on the encoder thread.
  using TWriter = std::function<void(const std::uint8_t* data, std::size_t size)>;

  // Raises EPngViewError for a view that cannot be stored (ViewProblem).
  TPngStreamSurface(const TView& view, std::vector<TColor> colours, TWriter write);
  ~TPngStreamSurface() override;
  TPngStreamSurface(const TPngStreamSurface&) = delete;
  TPngStreamSurface& operator=(const TPngStreamSurface&) = delete;

  void FillRect(const TRect& rect, TColor color) override;

  // Completes the remaining rows and the PNG; raises what stopped the
  // encoder, if anything did.
  void Finish();

 protected:
  void PlotSpan(int y, int left, std::span<const TColor> colors) override;
  void FillSpan(int y, int left, int right, TColor color) override;
  void CountSpan(int y, int left, std::span<const std::int32_t> counts) override;

 private:
  std::uint8_t* Row(int y);
  void Store(std::uint8_t* out, TColor color) const;
  void Submit();
  void Encode();
  int TakeRow();
  void ReturnRow(int buffer);
  bool Write(const std::uint8_t* data, std::size_t size);

  const std::vector<TPngText> chunks_;
  const std::vector<TColor> palette_;  // empty: RGB
  const bool indexed_;
  std::vector<std::pair<TColor, std::uint8_t>> entries_;  // the palette's colours sorted, with their entries
  std::vector<std::uint8_t> background_;  // a row never drawn
  int row_ = -1;      // the row being drawn, -1 before the first
  int current_ = 0;   // its buffer
  bool finished_ = false;

  // Row buffers pass from the drawing thread to the encoder through full_
  // and come back through free_.
  std::vector<std::vector<std::uint8_t>> buffers_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<int> full_, free_;
  bool cancelled_ = false;
  std::exception_ptr failure_;
  std::string pngError_;
  TWriter write_;
  std::thread encoder_;
};

}  // namespace wirolot
