// Any bytes, their chunk checksums made right so that the chunks' contents
// are reached: the reader either refuses them with a short message or returns
// a view that can be stored and reads back the same.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <zlib.h>

#include "PngStreamSurface.h"
#include "PngView.h"

namespace {
std::uint32_t BigEndian(const std::uint8_t* p) { return std::uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]; }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> png(data, data + size);
  for (std::size_t at = 8; at + 12 <= png.size();) {
    const std::uint32_t length = BigEndian(&png[at]);
    if (length > png.size() - at - 12) break;
    const std::uint32_t crc = crc32(0, &png[at + 4], length + 4);
    for (int k = 0; k < 4; ++k) png[at + 8 + length + k] = std::uint8_t(crc >> (24 - 8 * k));
    at += 12 + length;
  }
  try {
    wirolot::TView view = wirolot::ReadView(png, "fuzzed");
    if (!wirolot::ViewProblem(view).empty()) std::abort();
    view.Width = view.Height = 1;  // the picture itself does not matter
    std::vector<std::uint8_t> again;
    wirolot::TPngStreamSurface surface(
        view, [&](const std::uint8_t* d, std::size_t n) { again.insert(again.end(), d, d + n); });
    surface.Finish();
    if (wirolot::ReadView(again, "again") != view) std::abort();
  } catch (const wirolot::EPngViewError& e) {
    if (std::strlen(e.what()) > 400) std::abort();
  }
  return 0;
}
