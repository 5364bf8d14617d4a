#include "SaveFile.h"

#include <QSaveFile>

using namespace wirolot;

bool SaveFile(const QString& file, const std::function<bool(const TPngStreamSurface::TWriter&)>& produce) {
  QSaveFile out(file);
  const auto fail = [&out] { throw Exception(out.errorString().toStdString()); };
  if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) fail();
  const bool complete = produce([&out, &fail](const std::uint8_t* data, std::size_t size) {
    // A short write sets no error; the rest, written again, says why.
    for (qint64 written; size > 0; data += written, size -= std::size_t(written))
      if ((written = out.write(reinterpret_cast<const char*>(data), qint64(size))) <= 0) fail();
  });
  if (!complete) return false;
  if (!out.commit()) fail();
  return true;
}
