// Any bytes, their chunk checksums made right so that the chunks' contents
// are reached: the reader either refuses them or returns a view that the
// writer stores so that it reads back the same.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include <zlib.h>

#include "PngStreamSurface.h"
#include "PngView.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> png(data, data + size);
  for (std::size_t at = 8, length; at + 12 <= png.size(); at += 12 + length) {
    length = std::size_t(png[at]) << 24 | png[at + 1] << 16 | png[at + 2] << 8 | png[at + 3];
    if (length > png.size() - at - 12) break;
    const uLong crc = crc32(0, &png[at + 4], uInt(length + 4));
    for (int k = 0; k < 4; ++k) png[at + 8 + length + k] = std::uint8_t(crc >> (24 - 8 * k));
  }
  wirolot::TView view;
  try {
    view = wirolot::ReadView(png, "fuzzed");
  } catch (const wirolot::EPngViewError&) {
    return 0;
  }
  // Stored at one pixel, so that any size takes no time; the size has a
  // reader of its own.
  view.Width = view.Height = 1;
  std::vector<std::uint8_t> stored;
  wirolot::TPngStreamSurface out(view, {}, [&stored](const std::uint8_t* bytes, std::size_t count) {
    stored.insert(stored.end(), bytes, bytes + count);
  });
  out.Finish();
  if (!(wirolot::ReadView(stored, "stored") == view)) std::abort();
  return 0;
}
