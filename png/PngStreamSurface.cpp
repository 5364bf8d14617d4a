#include "PngStreamSurface.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cassert>
#include <csetjmp>
#include <utility>

namespace wirolot {

namespace {

// Rows in flight between drawing and encoding.
constexpr int kBuffers = 16;
// The view's text chunks at most.
constexpr std::size_t kMaxChunks = 24;

void OnPngError(png_structp png, png_const_charp message) {
  *static_cast<std::string*>(png_get_error_ptr(png)) = message;
  png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

const TView& Storable(const TView& view) {
  if (const std::string problem = ViewProblem(view); !problem.empty()) throw EPngViewError(problem);
  return view;
}

}  // namespace

TPngStreamSurface::TPngStreamSurface(const TView& view, std::vector<TColor> colours, TWriter write)
    : TPixelSurface(view.Width, view.Height),
      chunks_(ViewChunks(Storable(view))),
      palette_(std::move(colours)),
      indexed_(!palette_.empty()),
      write_(std::move(write)) {
  if (palette_.size() > 256) throw EPngStreamError("more than 256 colours for a palette");
  for (std::size_t n = 0; n < palette_.size(); ++n) entries_.emplace_back(palette_[n] & 0xFFFFFF, std::uint8_t(n));
  std::ranges::sort(entries_);
  background_.assign(std::size_t(Width()) * (indexed_ ? 1 : 3), 0);
  buffers_.assign(kBuffers, background_);
  for (int b = 1; b < kBuffers; ++b) free_.push_back(b);
  encoder_ = std::thread(&TPngStreamSurface::Encode, this);
}

TPngStreamSurface::~TPngStreamSurface() {
  {
    std::lock_guard lock(mutex_);
    cancelled_ = true;
  }
  changed_.notify_all();
  if (encoder_.joinable()) encoder_.join();
}

void TPngStreamSurface::FillRect(const TRect& rect, TColor color) {
  if (row_ < 0 && rect.Left <= 0 && rect.Top <= 0 && rect.Right >= Width() && rect.Bottom >= Height()) {
    std::uint8_t pixel[3];
    Store(pixel, color);
    for (std::size_t i = 0; i < background_.size(); ++i) background_[i] = pixel[i % (indexed_ ? 1 : 3)];
  } else {
    TPixelSurface::FillRect(rect, color);
  }
}

void TPngStreamSurface::PlotSpan(int y, int left, std::span<const TColor> colors) {
  std::uint8_t* out = Row(y) + std::size_t(left) * (indexed_ ? 1 : 3);
  if (!indexed_) {
    for (TColor color : colors) Store(std::exchange(out, out + 3), color);
    return;
  }
  // Neighbours often share a colour: look up only where it changes.
  TColor last = ~TColor(0);
  std::uint8_t index = 0;
  for (TColor color : colors) {
    if (color != last) Store(&index, last = color);
    *out++ = index;
  }
}

void TPngStreamSurface::FillSpan(int y, int left, int right, TColor color) {
  std::uint8_t pixel[3];
  Store(pixel, color);
  const std::size_t size = indexed_ ? 1 : 3;
  std::uint8_t* out = Row(y) + std::size_t(left) * size;
  for (int x = left; x < right; ++x, out += size) std::copy_n(pixel, size, out);
}

void TPngStreamSurface::Store(std::uint8_t* out, TColor color) const {
  color &= 0xFFFFFF;
  if (!indexed_) {
    out[0] = RedOf(color);
    out[1] = GreenOf(color);
    out[2] = BlueOf(color);
    return;
  }
  const auto entry = std::ranges::lower_bound(entries_, std::pair(color, std::uint8_t(0)));
  if (entry == entries_.end() || entry->first != color)
    throw EPngStreamError("colour " + std::to_string(color) + " is not in the palette");
  *out = entry->second;
}

void TPngStreamSurface::CountSpan(int y, int left, std::span<const std::int32_t> counts) {
  if (!indexed_) return TPixelSurface::CountSpan(y, left, counts);
  std::uint8_t* out = Row(y) + left;
  for (std::int32_t n : counts) {
    if (n < 0 || std::size_t(n) >= palette_.size())
      throw EPngStreamError("count " + std::to_string(n) + " is not in the palette");
    *out++ = std::uint8_t(n);
  }
}

std::uint8_t* TPngStreamSurface::Row(int y) {
  if (y < row_ || finished_)
    throw EPngStreamError("row " + std::to_string(y) + " drawn after it was written");
  while (row_ < y) {
    if (row_ >= 0) Submit();
    ++row_;
    std::copy(background_.begin(), background_.end(), buffers_[current_].begin());
  }
  return buffers_[current_].data();
}

void TPngStreamSurface::Submit() {
  std::unique_lock lock(mutex_);
  if (failure_) std::rethrow_exception(failure_);
  full_.push_back(current_);
  changed_.notify_all();
  changed_.wait(lock, [this] { return !free_.empty() || failure_; });
  if (failure_) std::rethrow_exception(failure_);
  current_ = free_.front();
  free_.pop_front();
}

void TPngStreamSurface::Finish() {
  if (finished_) return;
  Row(Height() - 1);
  Submit();
  finished_ = true;
  encoder_.join();
  if (failure_) std::rethrow_exception(failure_);
}

int TPngStreamSurface::TakeRow() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return !full_.empty() || cancelled_; });
  if (cancelled_) return -1;
  const int buffer = full_.front();
  full_.pop_front();
  return buffer;
}

void TPngStreamSurface::ReturnRow(int buffer) {
  {
    std::lock_guard lock(mutex_);
    free_.push_back(buffer);
  }
  changed_.notify_all();
}

bool TPngStreamSurface::Write(const std::uint8_t* data, std::size_t size) {
  try {
    write_(data, size);
    return true;
  } catch (...) {
    std::lock_guard lock(mutex_);
    if (!failure_) failure_ = std::current_exception();
    return false;
  }
}

// Only trivially destructible locals below: libpng leaves through longjmp.
void TPngStreamSurface::Encode() {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &pngError_, OnPngError, OnPngWarning);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  bool complete = false;
  if (info && !setjmp(png_jmpbuf(png))) {
    png_set_write_fn(
        png, this,
        [](png_structp p, png_bytep data, std::size_t size) {
          if (!static_cast<TPngStreamSurface*>(png_get_io_ptr(p))->Write(data, size)) png_error(p, "write failed");
        },
        [](png_structp) {});
    png_set_IHDR(png, info, png_uint_32(Width()), png_uint_32(Height()), 8,
                 indexed_ ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (indexed_) {
      png_color entries[256];
      for (std::size_t i = 0; i < palette_.size(); ++i)
        entries[i] = {RedOf(palette_[i]), GreenOf(palette_[i]), BlueOf(palette_[i])};
      png_set_PLTE(png, info, entries, int(palette_.size()));
    }
    png_text texts[kMaxChunks];
    assert(chunks_.size() <= kMaxChunks);
    for (std::size_t i = 0; i < chunks_.size(); ++i) {
      texts[i] = {};
      texts[i].compression = chunks_[i].Utf8 ? PNG_ITXT_COMPRESSION_NONE : PNG_TEXT_COMPRESSION_NONE;
      texts[i].key = const_cast<char*>(chunks_[i].Key.c_str());
      texts[i].text = const_cast<char*>(chunks_[i].Value.c_str());
    }
    png_set_text(png, info, texts, int(chunks_.size()));
    // Runs of equal pixels, within a row and down the columns: the "up"
    // filter makes them zeros and run-length deflate takes them fastest.
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
    png_set_compression_strategy(png, Z_RLE);
    png_set_compression_buffer_size(png, 1 << 16);
    png_write_info(png, info);
    int buffer = 0;
    for (int y = 0; y < Height() && (buffer = TakeRow()) >= 0; ++y) {
      png_write_row(png, buffers_[buffer].data());
      ReturnRow(buffer);
    }
    if (buffer >= 0) {
      png_write_end(png, info);
      complete = true;
    }
  }
  png_destroy_write_struct(&png, &info);
  if (!complete) {
    {
      std::lock_guard lock(mutex_);
      if (!failure_ && !cancelled_)
        failure_ = std::make_exception_ptr(EPngStreamError(png ? "PNG encoder: " + pngError_ : "out of memory"));
    }
    changed_.notify_all();
  }
}

}  // namespace wirolot
