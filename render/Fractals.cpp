#include "Fractals.h"

#include <optional>

#include "ColourSurfaces.h"
#include "Convert.h"

namespace wirolot {

TPassEnd DrawRows(TOrbitKind command, const TColouring& colouring, IPictureSurface& surface,
                  const TRenderParams& params, IProgressSink& sink, TEngine engine, std::stop_token stop) {
  const std::int32_t limit = StepLimit(command, params.Csample);
  std::optional<TColouringSurface> coloured;
  if (!colouring.IsDefault()) coloured.emplace(surface, colouring, limit);
  const TPassEnd end = PaintRows(coloured ? *coloured : surface, params, sink, stop,
                                 [&](const TRenderParams& p, TRowPipeline& rows) {
                                   CountOrbits(command, engine, p, limit, rows);
                                 });
  if (coloured && end == TPassEnd::Complete) coloured->Finish();
  return end;
}

TPassEnd DrawMandelbrot(IPictureSurface& surface, const TParamTexts& texts, IProgressSink& sink, TEngine engine,
                        std::stop_token stop) {
  ClearPicture(surface);
  return DrawRows(TOrbitKind::Mandelbrot, {}, surface, ConvertTexts(texts), sink, engine, stop);
}

TPassEnd DrawJulia(IPictureSurface& surface, const TParamTexts& texts, IProgressSink& sink, TEngine engine,
                   std::stop_token stop) {
  ClearPicture(surface);
  return DrawRows(TOrbitKind::Julia, {}, surface, ConvertTexts(texts), sink, engine, stop);
}

}  // namespace wirolot
