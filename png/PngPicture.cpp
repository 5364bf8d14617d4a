#include "PngPicture.h"

#include "Convert.h"
#include "Fractals.h"

namespace wirolot {

TPassEnd DrawPng(const TView& view, const TPngStreamSurface::TWriter& write, IProgressSink& sink, TEngine engine,
                 std::stop_token stop) {
  const TRenderParams params = ConvertTexts(view.Texts, view.DecimalSeparator);
  TPngStreamSurface png(view, PaintedColours(view.Colouring, StepLimit(view.Command, params.Csample)), write);
  ClearPicture(png);
  if (DrawRows(view.Command, view.Colouring, png, params, sink, engine, stop) == TPassEnd::Stopped)
    return TPassEnd::Stopped;
  png.Finish();
  return TPassEnd::Complete;
}

}  // namespace wirolot
