// Any bytes as a palette file: the reader either refuses them or returns a
// palette a colouring can use.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "Colouring.h"
#include "PaletteFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    wirolot::TColouring colouring;
    colouring.Palette = wirolot::ParsePalette(std::string_view(reinterpret_cast<const char*>(data), size));
    if (colouring.Palette.empty() || !wirolot::ColouringProblem(colouring).empty()) std::abort();
    wirolot::TColourMap(colouring, 100)(7);
  } catch (const wirolot::EPaletteError&) {
  }
  return 0;
}
