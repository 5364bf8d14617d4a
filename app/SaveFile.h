// Files the window writes: whole, or not at all.
#pragma once

#include <QString>

#include <functional>

#include "PngStreamSurface.h"

// Writes `file` with what `produce` hands its writer. QSaveFile writes beside
// the file and renames it into place once `produce` returns true; when it
// returns false, or on any failure, the file is left as it was. Unbuffered,
// so that every failed write raises, while the file is written rather than
// unseen on commit. Raises wirolot::Exception with the reason.
bool SaveFile(const QString& file, const std::function<bool(const wirolot::TPngStreamSurface::TWriter&)>& produce);
