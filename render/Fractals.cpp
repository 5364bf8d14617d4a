#include "Fractals.h"

#include "Convert.h"

namespace wirolot {

namespace {
template <class Orbit>
TPassEnd Draw(IPictureSurface& surface, const TRenderParams& params, IProgressSink& sink, TEngine engine,
              std::stop_token stop) {
  return PaintRows(surface, params, sink, stop,
                   [engine](const TRenderParams& p, TRowPipeline& rows) { CountOrbits<Orbit>(engine, p, rows); });
}
}  // namespace

TPassEnd DrawRows(TOrbitKind command, IPictureSurface& surface, const TRenderParams& params, IProgressSink& sink,
                  TEngine engine, std::stop_token stop) {
  return command == TOrbitKind::Mandelbrot ? Draw<TMandelbrotOrbit>(surface, params, sink, engine, stop)
                                           : Draw<TJuliaOrbit>(surface, params, sink, engine, stop);
}

TPassEnd DrawMandelbrot(IPictureSurface& surface, const TParamTexts& texts, IProgressSink& sink, TEngine engine,
                        std::stop_token stop) {
  ClearPicture(surface);
  return DrawRows(TOrbitKind::Mandelbrot, surface, ConvertTexts(texts), sink, engine, stop);
}

TPassEnd DrawJulia(IPictureSurface& surface, const TParamTexts& texts, IProgressSink& sink, TEngine engine,
                   std::stop_token stop) {
  ClearPicture(surface);
  return DrawRows(TOrbitKind::Julia, surface, ConvertTexts(texts), sink, engine, stop);
}

}  // namespace wirolot
