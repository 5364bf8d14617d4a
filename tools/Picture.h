// wirolot-render's picture: one view drawn into a PNG file.
#pragma once

#include "Interrupts.h"
#include "Options.h"

namespace wirolot {

// Draws the picture `options` ask for; returns the exit status.
int RunPicture(const TOptions& options, TInterrupts& interrupts);

}  // namespace wirolot
