#include "PngPicture.h"

#include <optional>

#include "ColourSurfaces.h"
#include "Fractals.h"

namespace wirolot {

TPassEnd DrawPng(const TView& view, const TRenderParams& params, const TPngStreamSurface::TWriter& write,
                 IProgressSink& sink, TEngine engine, std::stop_token stop) {
  TPngStreamSurface png(view, write);
  std::optional<TColouringSurface> coloured;
  if (!view.Colouring.IsDefault()) coloured.emplace(png, view.Colouring, StepLimit(view.Command, params.Csample));
  IPictureSurface& paint = coloured ? static_cast<IPictureSurface&>(*coloured) : png;
  ClearPicture(paint);
  if (DrawRows(view.Command, paint, params, sink, engine, stop) == TPassEnd::Stopped) return TPassEnd::Stopped;
  if (coloured) coloured->Finish();
  png.Finish();
  return TPassEnd::Complete;
}

}  // namespace wirolot
