// A picture's view stored in its PNG file as text chunks; a file without
// colouring chunks has the default colouring.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "Types.h"
#include "View.h"

namespace wirolot {

// A view that cannot be stored, or a file that holds none (or a damaged one).
class EPngViewError : public Exception {
 public:
  using Exception::Exception;
};

// Each side of a picture: 1 to kMaxSide pixels.
constexpr int kMaxSide = 65535;

// Reads "WxH": each side 1 to kMaxSide in plain decimal digits, nothing else.
bool ParseSize(std::string_view text, int& width, int& height);

// Empty if the view can be stored; otherwise what keeps it from being stored.
std::string ViewProblem(const TView& view);

// One PNG text chunk.
struct TPngText {
  std::string Key, Value;
  bool Utf8;  // iTXt rather than tEXt
};

// The text chunks that carry the view, Software first.
std::vector<TPngText> ViewChunks(const TView& view);

// The view stored in a PNG file, read from its chunks before the image data.
// Raises EPngViewError naming the file and why it has no usable view.
TView ReadView(const std::string& file);

// The same for a PNG held in memory; messages call it `name`.
TView ReadView(std::span<const std::uint8_t> png, const std::string& name);

}  // namespace wirolot
