#include "WritePicture.h"

#include "OutputFile.h"
#include "PngPicture.h"

namespace wirolot {

bool WritePicture(const TView& view, const std::string& out, TEngine engine,
                  TInterrupts& interrupts, IProgressSink& progress, bool settles) {
  TOutputFile file(out, interrupts);
  const auto write = [&file](const std::uint8_t* data, std::size_t size) { file.Write(data, size); };
  if (DrawPng(view, write, progress, engine, interrupts.Token()) != TPassEnd::Complete) return false;
  file.Sync();
  return file.Commit(settles);  // false once a signal has come
}

}  // namespace wirolot
