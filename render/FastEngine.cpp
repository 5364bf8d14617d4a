#include "Engine.h"

namespace wirolot {

// Placeholder until the vectorised engine lands: the exact scalar loop.
void CountOrbitsFast(TOrbitKind kind, const TComplexRect& box, std::int32_t limit, std::span<const float> re,
                     std::span<const float> im, std::int32_t* counts) {
  for (std::size_t j = 0; j < im.size(); ++j)
    for (std::size_t i = 0; i < re.size(); ++i) {
      TOrbitPoint z = kind == TOrbitKind::Mandelbrot ? TMandelbrotOrbit::Start(re[i], im[j])
                                                     : TJuliaOrbit::Start(re[i], im[j]);
      std::int32_t n = 0;
      do {
        z = kind == TOrbitKind::Mandelbrot ? TMandelbrotOrbit::Step(z, re[i], im[j])
                                           : TJuliaOrbit::Step(z, re[i], im[j]);
        ++n;
      } while (n < limit && Inside(z, box));
      counts[j * re.size() + i] = n;
    }
}

}  // namespace wirolot
