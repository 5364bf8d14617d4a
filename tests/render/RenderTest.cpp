#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <set>

#include "Convert.h"
#include "Fractals.h"
#include "RecordingSink.h"
#include "StraightReference.h"
#include "Walk.h"

namespace wirolot {
namespace {

using testing::TRecordingSink;

using TDraw = void (*)(IPictureSurface&, const TParamTexts&, IProgressSink&, TEngine);

struct TCommand {
  const char* Name;
  TDraw Draw;
  bool Julia;
};
void PrintTo(const TCommand& c, std::ostream* os) { *os << c.Name; }
const TCommand kCommands[] = {{"Mandelbrot", DrawMandelbrot, false}, {"Julia", DrawJulia, true}};

// Step count painted at (x, y); colours of counts below 4081 are n * 0x1010.
int CountAt(const TBitmapSurface& s, int x, int y) { return int(s.Pixel(x, y) / 4112); }

TParamTexts With(std::initializer_list<std::pair<int, const char*>> changes) {
  TParamTexts t = kDefaultTexts;
  for (auto [i, text] : changes) t[i] = text;
  return t;
}

std::set<int> PaintedCounts(const TBitmapSurface& s) {
  std::set<int> counts;
  for (int y = 1; y < s.Height(); ++y)
    for (int x = 1; x < s.Width(); ++x)
      if (s.Pixel(x, y)) counts.insert(CountAt(s, x, y));
  return counts;
}

TEST(Walk, DefaultStepsRowsAndProgress) {
  const TComplexRect region{-3, 3, -2, 2};
  EXPECT_EQ(std::bit_cast<std::uint32_t>(StepRe(region, 487)), 0x3C49DB34u);
  EXPECT_EQ(std::bit_cast<std::uint32_t>(StepIm(region, 409)), 0x3C203C17u);

  const TWalk walk = PlanWalk(region, 487, 409);
  EXPECT_EQ(walk.Re.size(), 486u);  // columns 1..486; samples 487 and 488 fall outside
  ASSERT_EQ(walk.Rows.size(), 410u);
  EXPECT_EQ(walk.VisibleRows, 408u);
  EXPECT_FLOAT_EQ(walk.Rows.back().Im, 1.999993920326233f);
  EXPECT_EQ(walk.Rows.front().Progress, 0);
  for (std::size_t row = 406; row <= 410; ++row) EXPECT_EQ(walk.Rows[row - 1].Progress, 99) << row;
  EXPECT_TRUE(std::none_of(walk.Rows.begin(), walk.Rows.end(), [](auto& r) { return r.Progress == 100; }));
}

TEST(Walk, ProgressPositionIsHeldInRange) {
  const TComplexRect region{0, 1, 0, 1};
  EXPECT_EQ(ProgressPosition(std::nanf(""), region), 0);
  EXPECT_EQ(ProgressPosition(-5, region), 0);
  EXPECT_EQ(ProgressPosition(0.999f, region), 99);
  EXPECT_EQ(ProgressPosition(7, region), 100);
}

TEST(Convert, RoundsToExtendedThenToSingle) {
  // Just above the midpoint between 1 and the next float: rounding straight to
  // single goes up, rounding to extended first lands on the midpoint and ties to even.
  const char* text = "1.00000005960464477539062500001";
  EXPECT_NE(std::strtof(text, nullptr), 1.0f);
  EXPECT_EQ(StrToSingle(text, "."), 1.0f);
  EXPECT_EQ(StrToSingle(" -2.5e1 ", "."), -25.0f);
  EXPECT_EQ(StrToSingle("2,5", ","), 2.5f);
}

TEST(Convert, FirstBadTextInParameterOrderIsReported) {
  TParamTexts t = kDefaultTexts;
  t[8] = "x9";
  t[5] = "";
  t[2] = "1.2.3";
  try {
    ConvertTexts(t, ".");
    FAIL() << "no error";
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'1.2.3' is not a valid floating point value");
  }
  for (const char* bad : {"", " ", "-", "e5", "1e", "0x10", "1,5", "--1"})
    EXPECT_THROW(StrToSingle(bad, "."), EConvertError) << bad;
}

TEST(Surface, LineExcludesEndPointAndClips) {
  TBitmapSurface s(4, 3);
  s.SetPenColor(7);
  s.MoveTo(1, 1);
  s.LineTo(2, 2);
  s.MoveTo(3, 2);
  s.LineTo(6, 5);  // leaves the surface
  int painted = 0;
  for (TColor c : s.Pixels()) painted += c == 7;
  EXPECT_EQ(painted, 2);
  EXPECT_EQ(s.Pixel(1, 1), 7u);
  EXPECT_EQ(s.Pixel(3, 2), 7u);
}

// A row of dots leaves the same pixels, pen and position as dot after dot.
TEST(Surface, RowOfDotsPaintsAsSingleDots) {
  const std::vector<TColor> colors{1, 2, 3, 4, 5, 6};
  for (int x : {-7, -2, 0, 1, 3, 9})
    for (int y : {-1, 0, 2, 3}) {
      TBitmapSurface row(5, 3), dots(5, 3);
      row.PlotRow(x, y, colors);
      for (std::size_t k = 0; k < colors.size(); ++k) {
        dots.SetPenColor(colors[k]);
        dots.MoveTo(x + int(k), y);
        dots.LineTo(x + int(k) + 1, y + 1);
      }
      for (TBitmapSurface* s : {&row, &dots}) s->LineTo(0, 0);
      EXPECT_EQ(row.Pixels(), dots.Pixels()) << "x " << x << " y " << y;
    }
}

class Commands : public ::testing::TestWithParam<TCommand> {
 protected:
  TBitmapSurface Draw(const TParamTexts& texts, TEngine engine = TEngine::Fast, int w = 487, int h = 409) {
    TBitmapSurface s(w, h);
    GetParam().Draw(s, texts, sink, engine);
    return s;
  }
  bool Julia() const { return GetParam().Julia; }
  TRecordingSink sink;
};

TEST_P(Commands, DefaultPictureStepCounts) {
  struct {
    int x, y, mandelbrot, julia;
  } const expected[] = {{100, 100, 2, 1}, {160, 160, 6, 1}, {200, 205, 16, 2}, {244, 205, 16, 8},
                        {250, 205, 16, 5}, {300, 150, 3, 2}, {400, 300, 2, 1}, {1, 1, 1, 1}};
  for (TEngine engine : {TEngine::Reference, TEngine::Fast}) {
    const TBitmapSurface s = Draw(kDefaultTexts, engine);
    for (auto& e : expected) EXPECT_EQ(CountAt(s, e.x, e.y), Julia() ? e.julia : e.mandelbrot) << e.x << "," << e.y;
    EXPECT_EQ(s.Pixel(1, 1), RGB(16, 16, 0));
    for (int x = 0; x < 487; ++x) EXPECT_EQ(s.Pixel(x, 0), 0u);
    for (int y = 0; y < 409; ++y) EXPECT_EQ(s.Pixel(0, y), 0u);
    EXPECT_NE(s.Pixel(486, 408), 0u);
  }
}

TEST_P(Commands, MatchesStraightReference) {
  const TParamTexts cases[] = {
      kDefaultTexts,
      {"-0.7454", "-0.7452", "0.1130", "0.1132", "-2", "2", "-2", "2", "300"},
      {"-1.25", "-1.1", "-0.05", "0.1", "-2.5", "2", "-1.5", "1.5", "64"},
      {"-0.5", "0.5", "-0.5", "0.5", "-4", "4", "-4", "4", "40"},
  };
  for (const TParamTexts& t : cases) {
    const auto want = testing::StraightRender(Julia(), t, 97, 61);
    for (TEngine engine : {TEngine::Reference, TEngine::Fast}) {
      sink.Positions.clear();
      const TBitmapSurface s = Draw(t, engine, 97, 61);
      EXPECT_EQ(s.Pixels(), want.Pixels) << t[0] << " " << t[8];
      EXPECT_EQ(sink.Positions, want.Progress);
    }
  }
}

TEST_P(Commands, FixedPointOfTheMapAtTheOrigin) {
  const TBitmapSurface s = Draw(With({{0, "0"}, {2, "0"}}));
  EXPECT_EQ(s.Pixel(1, 1), Julia() ? RGB(240, 240, 0) : RGB(0, 1, 1));
}

TEST_P(Commands, CsampleBounds) {
  // Mandelbrot stops above Csample, Julia when it meets it: a Csample it never
  // meets leaves every orbit here to escape, the last after 48 steps.
  const std::set<int> one = PaintedCounts(Draw(With({{8, "1"}})));
  EXPECT_EQ(one, (Julia() ? std::set<int>{1} : std::set<int>{1, 2}));
  EXPECT_EQ(*PaintedCounts(Draw(With({{8, "2.5"}}))).rbegin(), Julia() ? 48 : 3);
  const std::set<int> zero = PaintedCounts(Draw(With({{8, "0"}})));
  EXPECT_EQ(zero.size(), Julia() ? 43u : 1u);
  EXPECT_EQ(*zero.rbegin(), Julia() ? 48 : 1);
}

TEST_P(Commands, DegenerateBoxStopsEveryOrbitAfterOneStep) {
  EXPECT_EQ(PaintedCounts(Draw(With({{4, "1"}, {5, "1"}}))), std::set<int>{1});
  EXPECT_EQ(PaintedCounts(Draw(With({{6, "2"}, {7, "-2"}}))), std::set<int>{1});
}

TEST_P(Commands, NarrowRowsEndOnTheirOwnOrAtTheEdge) {
  // 480 samples a row: columns 481..486 keep the clearing colour.
  TBitmapSurface s = Draw(With({{0, "0.3"}, {1, "0.3001"}}));
  EXPECT_NE(s.Pixel(480, 200), 0u);
  for (int x = 481; x < 487; ++x) EXPECT_EQ(s.Pixel(x, 200), 0u);
  // 560 samples a row: the row reaches the last column.
  s = Draw(With({{0, "-0.75"}, {1, "-0.7499"}}));
  EXPECT_NE(s.Pixel(486, 200), 0u);
}

TEST_P(Commands, EmptyAndReversedRegions) {
  const TBitmapSurface equal = Draw(With({{1, "-3"}}));
  EXPECT_EQ(sink.Positions.size(), 410u);
  EXPECT_TRUE(PaintedCounts(equal).empty());

  sink.Positions = {42};
  const TBitmapSurface reversed = Draw(With({{2, "3"}}));
  EXPECT_EQ(sink.Positions, std::vector<int>{42});
  EXPECT_TRUE(PaintedCounts(reversed).empty());
}

TEST_P(Commands, BadTextClearsThePictureAndPaintsNothing) {
  TBitmapSurface s(50, 40);
  s.FillRect({0, 0, 50, 40}, RGB(1, 2, 3));
  sink.Positions = {7};
  EXPECT_THROW(GetParam().Draw(s, With({{8, "many"}}), sink, TEngine::Fast), EConvertError);
  EXPECT_TRUE(std::all_of(s.Pixels().begin(), s.Pixels().end(), [](TColor c) { return c == 0; }));
  EXPECT_EQ(sink.Positions, std::vector<int>{7});
}

TEST_P(Commands, WalkThatStopsAdvancingEnds) {
  // re + dRe rounds back to re: every visible column repeats the first sample.
  TBitmapSurface s = Draw(With({{0, "-0.75"}, {1, "-0.74999"}}));
  for (int x = 2; x < 487; ++x) ASSERT_EQ(s.Pixel(x, 100), s.Pixel(1, 100));
  // im + dIm rounds back to im: every visible row repeats the first one.
  sink.Positions.clear();
  s = Draw(With({{2, "1000"}, {3, "1000.01"}}));
  for (int y = 2; y < 409; ++y)
    for (int x = 1; x < 487; ++x) ASSERT_EQ(s.Pixel(x, y), s.Pixel(x, 1));
  EXPECT_EQ(std::set<int>(sink.Positions.begin(), sink.Positions.end()), std::set<int>{0});
}

INSTANTIATE_TEST_SUITE_P(Both, Commands, ::testing::ValuesIn(kCommands),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(CountTests, StepLimitIsTheFirstCountThatStops) {
  for (float cs : {-5.0f, 0.0f, 0.5f, 1.0f, 2.5f, 15.0f, 1e6f, 2147483520.0f, 2147483648.0f, 1e30f}) {
    for (auto [limit, test] : {std::pair{TMandelbrotOrbit::StepLimit(cs), &TMandelbrotOrbit::CountTest},
                               std::pair{TJuliaOrbit::StepLimit(cs), &TJuliaOrbit::CountTest}}) {
      ASSERT_GE(limit, 1);
      if (limit < kMaxSteps) {
        EXPECT_TRUE(test(limit, cs)) << cs;
      }
      if (limit > 1) {
        EXPECT_FALSE(test(limit - 1, cs)) << cs;
      }
    }
  }
  EXPECT_EQ(TMandelbrotOrbit::StepLimit(15), 16);
  EXPECT_EQ(TJuliaOrbit::StepLimit(15), 15);
  EXPECT_EQ(TJuliaOrbit::StepLimit(2147483648.0f), kMaxSteps);
}

}  // namespace
}  // namespace wirolot
