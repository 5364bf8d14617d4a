// wirolot-render --movie: the frames of a zoom movie, each written as any
// picture is, those already complete kept, and optionally a video of them.
#pragma once

#include "Interrupts.h"
#include "Options.h"

namespace wirolot {

// Draws the movie `options` ask for; returns the exit status.
int RunMovie(const TOptions& options, TInterrupts& interrupts);

}  // namespace wirolot
