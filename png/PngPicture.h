// The road of a picture into a PNG file, shared by wirolot-render, the
// window's export and every movie frame: the pass computes counts, a
// colouring stage (where the view's colouring is not the default) turns them
// into finished rows, and the encoder writes them while later rows are
// computed.
#pragma once

#include <stop_token>

#include "Engine.h"
#include "PngStreamSurface.h"
#include "PngView.h"
#include "RenderPass.h"

namespace wirolot {

// Draws the view into a PNG handed to `write`. Complete: the PNG is written
// in full; Stopped: `stop` came first and the PNG is incomplete. Raises what
// the writer or the encoder raised, EConvertError for a text that does not
// convert (before anything is written), and EPngViewError for a view that
// cannot be stored.
TPassEnd DrawPng(const TView& view, const TPngStreamSurface::TWriter& write, IProgressSink& sink, TEngine engine,
                 std::stop_token stop);

}  // namespace wirolot
