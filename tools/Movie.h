// wirolot-render --movie: the frames of a zoom movie, each written as any
// picture is, those already complete kept, and optionally a video of them.
#pragma once

#include "Interrupts.h"

namespace wirolot {

// Runs the movie mode from wirolot-render's arguments; returns the exit status.
int RunMovie(int argc, char** argv, TInterrupts& interrupts);

}  // namespace wirolot
