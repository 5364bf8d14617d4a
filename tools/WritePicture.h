// The one road every picture takes to its file: drawn into the streamed PNG
// encoder, written under a temporary name, renamed only once complete.
#pragma once

#include <string>

#include "Engine.h"
#include "Interrupts.h"
#include "PngView.h"
#include "Surface.h"

namespace wirolot {

// Draws `view` into `out` ("-": standard output). Returns whether the file was committed, false once a stop was
// requested; raises what kept the file from being written. `settles` as for
// TOutputFile::Commit.
bool WritePicture(const TView& view, const std::string& out, TEngine engine,
                  TInterrupts& interrupts, IProgressSink& progress, bool settles = true);

}  // namespace wirolot
