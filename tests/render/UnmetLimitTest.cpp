// Julia with a Csample the step counter never meets: orbits keep their true
// escape counts, and one that never leaves the box ends at the counter's end.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "Fractals.h"
#include "RecordingSink.h"
#include "StraightReference.h"

namespace wirolot {
namespace {

struct TPixelCount {
  int X, Y;
  std::int32_t N;
};

struct TView {
  TParamTexts Texts;
  int Width, Height;
  std::vector<TPixelCount> Counts;
};

// Orbits escaping after up to 48 steps; the fixed point z0 = 0 at pixel
// (1, 1); orbits starting close to it, which take long to leave.
const TView kViews[] = {
    {{"-3", "3", "-2", "2", "-3", "3", "-2", "2", "2.5"}, 487, 409, {{244, 205, 8}, {250, 205, 5}}},
    {{"0", "3", "0", "2", "-3", "3", "-2", "2", "0"}, 120, 90, {{1, 1, kMaxSteps}, {2, 1, 6}}},
    {{"-0.001", "0.001", "-0.00075", "0.00075", "-3", "3", "-2", "2", "-5"}, 80, 60, {}},
};

TEST(UnmetJuliaLimit, BothEnginesMatchTheStraightReference) {
  for (const TView& view : kViews) {
    SCOPED_TRACE(view.Texts[0] + " Csample " + view.Texts[8]);
    const auto want = testing::StraightRender(true, view.Texts, view.Width, view.Height);
    for (const auto& [x, y, n] : view.Counts) EXPECT_EQ(want.At(x, y), ColorOf(n) & 0xFFFFFF);
    for (TEngine engine : {TEngine::Reference, TEngine::Fast}) {
      testing::TRecordingSink sink;
      TBitmapSurface s(view.Width, view.Height);
      DrawJulia(s, view.Texts, sink, engine);
      std::vector<std::uint32_t> got(s.Pixels().begin(), s.Pixels().end());
      for (std::uint32_t& c : got) c &= 0xFFFFFF;
      EXPECT_EQ(got, want.Pixels);
    }
  }
}

}  // namespace
}  // namespace wirolot
