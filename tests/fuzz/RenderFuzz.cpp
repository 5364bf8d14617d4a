// A whole pass of either command on a small surface from nine fuzzed texts:
// it must end with a picture or a conversion error, the fast engine agreeing
// with the reference pixel for pixel.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "Convert.h"
#include "Fractals.h"

namespace {
struct TSink final : wirolot::IProgressSink {
  void SetPosition(int p) override {
    if (p < 0 || p > 100) std::abort();
  }
};

// The picture, or nothing after a conversion error.
std::vector<wirolot::TColor> Picture(decltype(&wirolot::DrawJulia) draw, const wirolot::TParamTexts& texts,
                                     wirolot::TEngine engine) {
  wirolot::TBitmapSurface surface(16, 12);
  TSink sink;
  try {
    draw(surface, texts, sink, engine, {});
  } catch (const wirolot::EConvertError&) {
    return {};
  }
  return surface.Pixels();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Texts separated by newlines; missing ones keep their defaults.
  wirolot::TParamTexts texts = wirolot::kDefaultTexts;
  std::size_t field = 0, start = 0;
  for (std::size_t i = 0; i <= size && field < texts.size(); ++i)
    if (i == size || data[i] == '\n') {
      texts[field++].assign(reinterpret_cast<const char*>(data) + start, i - start);
      start = i + 1;
    }
  // A huge limit over interior points takes long by right; keep runs short.
  try {
    if (wirolot::StrToSingle(texts[8], ".") > 2000) return 0;
  } catch (const wirolot::EConvertError&) {
  }
  for (auto draw : {wirolot::DrawMandelbrot, wirolot::DrawJulia})
    if (Picture(draw, texts, wirolot::TEngine::Fast) != Picture(draw, texts, wirolot::TEngine::Reference)) std::abort();
  return 0;
}
