// A picture's view: everything it takes to draw the picture again.
#pragma once

#include <string>

#include "Colouring.h"
#include "Orbits.h"
#include "Types.h"

namespace wirolot {

struct TView {
  TOrbitKind Command = TOrbitKind::Mandelbrot;
  TParamTexts Texts = kDefaultTexts;  // exactly as typed
  std::string DecimalSeparator = "."; // the one the texts are converted with
  int Width = 487, Height = 409;      // pixels of the picture
  TColouring Colouring;               // with its supersampling

  bool operator==(const TView&) const = default;
};

// The command's name, as a view stores it and messages name it.
inline const char* CommandName(TOrbitKind command) {
  return command == TOrbitKind::Julia ? "Julia" : "Mandelbrot";
}

}  // namespace wirolot
