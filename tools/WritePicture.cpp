#include "WritePicture.h"

#include "Fractals.h"
#include "OutputFile.h"
#include "PngStreamSurface.h"

namespace wirolot {

bool WritePicture(const TView& view, const TRenderParams& params, const std::string& out, TEngine engine,
                  TInterrupts& interrupts, IProgressSink& progress, bool settles) {
  TOutputFile file(out, interrupts);
  TPngStreamSurface surface(view, [&file](const std::uint8_t* data, std::size_t size) { file.Write(data, size); });
  ClearPicture(surface);
  if (DrawRows(view.Command, surface, params, progress, engine, interrupts.Token()) != TPassEnd::Complete)
    return false;
  surface.Finish();
  file.Sync();
  return file.Commit(settles);  // false once a signal has come
}

}  // namespace wirolot
