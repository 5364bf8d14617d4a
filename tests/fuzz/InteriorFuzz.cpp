// Small views mostly inside the Mandelbrot set, near its parabolic points and
// the edges of its cardioid and period-2 bulb, with box edges among the
// cycles, and Julia views of the same places, from fuzzed numbers: the fast
// engine, which ends orbits proven never to leave the box or caught in a trap
// disc, must agree with the reference engine pixel for pixel.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Fractals.h"

namespace {
struct TSink final : wirolot::IProgressSink {
  void SetPosition(int) override {}
};

std::string Text(double v) {
  char s[32];
  std::snprintf(s, sizeof s, "%.9g", v);
  return s;
}

// Inside components, at their roots, and at the cusp and the tip of the
// period-3 island.
const double kAnchors[][2] = {{-0.2, 0.3},   {-1, 0},        {-0.12, 0.75},  {-1.7549, 0}, {-0.75, 0},
                              {0.25, 0},     {-0.125, 0.65}, {-1.25, 0},     {0.3, 0.5},   {-0.1, -0.9}};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const bool julia = in.ConsumeBool();
  const auto& anchor = kAnchors[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kAnchors) - 1)];
  const double span = std::pow(10.0, -in.ConsumeFloatingPointInRange<double>(1, 6));
  const double re = anchor[0] + span * in.ConsumeFloatingPointInRange<double>(-2, 2);
  const double im = anchor[1] + span * in.ConsumeFloatingPointInRange<double>(-2, 2);
  wirolot::TParamTexts texts = {Text(re - span / 2), Text(re + span / 2), Text(im - span / 2), Text(im + span / 2),
                                "-3", "3", "-2", "2", std::to_string(in.ConsumeIntegralInRange(1, 3000))};
  // Now and then a box edge near the view, where cycles may lie.
  if (in.ConsumeBool()) {
    const int edge = in.ConsumeIntegralInRange(4, 7);
    texts[edge] = Text((edge < 6 ? re : im) + in.ConsumeFloatingPointInRange<double>(-0.5, 0.5));
  }
  TSink sink;
  wirolot::TBitmapSurface fast(12, 9), reference(12, 9);
  const auto draw = julia ? wirolot::DrawJulia : wirolot::DrawMandelbrot;
  draw(fast, texts, sink, wirolot::TEngine::Fast, {});
  draw(reference, texts, sink, wirolot::TEngine::Reference, {});
  if (fast.Pixels() != reference.Pixels()) std::abort();
  return 0;
}
