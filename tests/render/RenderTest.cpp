#include <gtest/gtest.h>
#include <mpfr.h>
#include <omp.h>

#include <algorithm>
#include <bit>
#include <cfloat>
#include <clocale>
#include <cstdlib>
#include <cmath>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>

#include "Convert.h"
#include "ExtendedOperations.h"
#include "Fractals.h"
#include "View.h"
#include "RowPipeline.h"
#include "StraightReference.h"
#include "Walk.h"
#include "hwy/targets.h"

namespace wirolot {
namespace {

using namespace std::string_literals;

// Instrumented and emulated builds run a share of the random views and operands.
constexpr int kScale = WIROLOT_SHARE;

TEST(Convert, Texts) {
  const std::string digits(1 << 20, '7'), zeros(1 << 20, '0');
  enum { kOk, kNotANumber, kOutOfRange };
  const struct {
    std::string Text;
    float Value;
    int Error = kOk;
    std::string Shown = {};  // in the message, if not the text
    const char* Sep = ".";
  } cases[] = {
      {" -2.5e1 ", -25}, {"\t-1.5 \t", -1.5f}, {"+15", 15}, {".5", 0.5f}, {"5.", 5}, {"2,5", 2.5f, kOk, "", ","}, {"1e-50", 0},
      // Rounded to extended first: onto the midpoint between 1 and the next float, then to even...
      {"1.00000005960464477539062500001", 1},
      // ...or just above it, where rounding to double would land on it.
      {"1.00000005960464477626", 1.00000011920928955078125f},
      // The same a megabyte of digits further down.
      {"1.000000059604644775390625" + zeros + "1", 1}, {"0." + zeros + "1e1048577", 1},
      {"1e-45", FLT_TRUE_MIN}, {"3.4028235e38", FLT_MAX}, {"0." + digits, 0.7777778f}, {"1e40", 0, kOutOfRange},
      // Between the largest single and 2^128: rounds up, onto the midpoint first.
      {"340282356779733661637539395458142568447.99999999999999999999", 0, kOutOfRange, "340282356779733661637539395458142568447...."},
      {"-1e-50", -0.0f}, {"-0e999999999999", -0.0f}, {"1e-999999999999", 0}, {"00000000000000000000000000000000000000000001e-45", FLT_TRUE_MIN},
      {"-3.5e38", 0, kOutOfRange}, {"1e999999999999", 0, kOutOfRange}, {digits, 0, kOutOfRange, digits.substr(0, 40) + "..."},
      {"2.5", 0, kNotANumber, "", ","}, {"1,5", 0, kNotANumber}, {"a\tb\x7f", 0, kNotANumber, "a?b?"}, {"1\0"s, 0, kNotANumber, "1?"},
      // Fullwidth 1, 1 and a no-break space.
      {"\xEF\xBC\x91", 0, kNotANumber}, {"1\xC2\xA0", 0, kNotANumber}, {"", 0, kNotANumber}, {" ", 0, kNotANumber},
      {"-", 0, kNotANumber}, {"e5", 0, kNotANumber}, {"1e", 0, kNotANumber}, {"0x10", 0, kNotANumber}, {"--1", 0, kNotANumber},
      {"nan", 0, kNotANumber}, {"inf", 0, kNotANumber}, {"1 2", 0, kNotANumber},
  };
  for (const auto& c : cases) {
    const std::string shown = c.Shown.empty() ? c.Text : c.Shown;
    try {
      EXPECT_EQ(std::bit_cast<std::uint32_t>(StrToSingle(c.Text, c.Sep)), std::bit_cast<std::uint32_t>(c.Value)) << shown;
      EXPECT_EQ(c.Error, kOk) << shown;
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), "'" + shown + (c.Error == kNotANumber ? "' is not a valid floating point value"
                                                                   : "' is out of the floating point range"));
    }
  }
}

// Texts near the roundings that matter: midpoints between singles (subnormal
// ones too), nudged by about a unit of the 64-bit significand, by far less or
// not at all, printed with 17 to 80 digits; and random digits.
std::string TextNearATie(std::mt19937_64& rng) {
  if (rng() % 4 == 0) {
    std::string text = rng() % 2 ? "-" : "";
    for (int k = int(rng() % 25); k >= 0; --k) text += char('0' + rng() % 10);
    if (rng() % 2) text += ".";
    text += std::to_string(rng() % 19) + "e";
    return text + std::to_string(int(rng() % 110) - 65);
  }
  mpfr_t x, next;
  mpfr_inits2(256, x, next, mpfr_ptr(nullptr));
  const float f = std::bit_cast<float>(std::uint32_t(rng() % 0x7F800000u));
  mpfr_set_flt(x, f, MPFR_RNDN);
  mpfr_set_flt(next, std::nextafter(f, INFINITY), MPFR_RNDN);
  mpfr_add(x, x, next, MPFR_RNDN);
  mpfr_div_2ui(x, x, 1, MPFR_RNDN);
  if (const int nudge = int(rng() % 8); nudge < 6) {
    mpfr_set_ui_2exp(next, 1, mpfr_get_exp(x) - (nudge < 4 ? 63 + nudge : 150), MPFR_RNDN);
    (rng() % 2 ? mpfr_add : mpfr_sub)(x, x, next, MPFR_RNDN);
  }
  char* printed = nullptr;
  mpfr_asprintf(&printed, "%.*Re", int(16 + rng() % 64), x);
  const std::string text = (rng() % 2 ? "-" : "") + std::string(printed);
  mpfr_free_str(printed);
  mpfr_clears(x, next, mpfr_ptr(nullptr));
  return text;
}

// Against strtold where long double is the x87's; elsewhere against a digest
// of its results.
TEST(Convert, AgreesWithTheX87) {
  std::mt19937_64 rng(17);
  testing::TDigest digest;
  for (int i = 0; i < 1 << 15; ++i) {
    const std::string text = TextNearATie(rng);
    float value = INFINITY;  // for out of range
    try {
      value = StrToSingle(text, ".");
    } catch (const EConvertError& e) {
      EXPECT_NE(e.Message().find("out of the floating point range"), std::string::npos) << text;
    }
    digest.Add(std::bit_cast<std::uint32_t>(value));
    if constexpr (testing::kHaveX87) {
      const float x87 = float(std::strtold(text.c_str(), nullptr));
      ASSERT_EQ(std::bit_cast<std::uint32_t>(value), std::bit_cast<std::uint32_t>(std::fabs(x87) == INFINITY ? INFINITY : x87)) << text;
    }
  }
  EXPECT_EQ(digest.Value(), 0x846d01ddd1c4278full) << std::hex << digest.Value();
}

// The first bad text in parameter order is reported; the locale's decimal
// separator is the one taken.
TEST(Convert, Parameters) {
  for (std::size_t i = 0; i + 1 < kDefaultTexts.size(); ++i) {
    TParamTexts t = kDefaultTexts;
    t[i] = "a";
    t[i + 1] = "b";
    try {
      ConvertTexts(t, ".");
      ADD_FAILURE() << i;
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message()[1], 'a') << i;
    }
  }
  const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
  ASSERT_TRUE(std::setlocale(LC_NUMERIC, "pl_PL.UTF-8")) << "scripts/deps.sh installs pl_PL.UTF-8";
  TParamTexts t = kDefaultTexts;
  t[8] = "-0,75";
  EXPECT_EQ(ConvertTexts(t).Csample, -0.75f);
  t[8] = "-0.75";
  EXPECT_THROW(ConvertTexts(t), EConvertError);
  std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(Walk, StuckWalksEndAtTheSurface) {
  // re + dRe and im + dIm round back to re and im.
  const TWalk walk = PlanWalk({-0.75f, -0.74999f, 1000, 1000.01f}, 487, 409);
  EXPECT_EQ(walk.Re, std::vector<float>(486, -0.75f));
  EXPECT_EQ(walk.Rows.size(), 408u);
  EXPECT_EQ(walk.VisibleRows, 408u);
}

// A row of dots leaves the same pixels, pen and position as dot after dot.
// The walk's steps and progress positions as the x87 computes them: at 64
// bits, nearest even, then to single or truncated. The operands are drawn as
// for the extended type's operations, so that ties and carries are common.
TEST(Walk, StepsAndProgressAsTheX87ComputesThem) {
  mpfr_t a, b, d;
  mpfr_inits2(64, a, b, d, mpfr_ptr(nullptr));
  // x = high - low, at 64 bits.
  const auto difference = [&](mpfr_t x, float high, float low) {
    mpfr_set_flt(x, high, MPFR_RNDN);
    mpfr_set_flt(b, low, MPFR_RNDN);
    mpfr_sub(x, x, b, MPFR_RNDN);
  };
  const auto step = [&](float low, float high, int n) {
    difference(a, high, low);
    mpfr_div_si(a, a, n, MPFR_RNDN);
    return mpfr_get_flt(a, MPFR_RNDN);
  };
  const auto progress = [&](float im, float low, float high) {
    difference(a, im, low);
    mpfr_mul_ui(a, a, 100, MPFR_RNDN);
    difference(d, high, low);
    mpfr_div(a, a, d, MPFR_RNDN);
    if (mpfr_nan_p(a) || mpfr_sgn(a) <= 0) return 0;
    return mpfr_cmp_ui(a, 100) >= 0 ? 100 : int(mpfr_get_si(a, MPFR_RNDZ));
  };
  testing::TDraws draws(26);
  for (int i = 0, failures = 0; i < (1 << 16) / kScale && failures < 5; ++i) {
    const testing::TOperands o = draws.Operands();
    const int n = std::max(o.N & 0xFFFF, 1);
    float f[3] = {o.F[0], o.F[1], o.F[2]};
    if (o.N & 1) std::sort(f, f + 3);  // low, sample, high: mostly within 0 to 100
    const TComplexRect region = {o.F[0], o.F[1], o.F[2], o.F[3]}, rows = {0, 0, f[0], f[2]};
    const bool agree = testing::Word(StepRe(region, n)) == testing::Word(step(o.F[0], o.F[1], n)) &&
                       testing::Word(StepIm(region, n)) == testing::Word(step(o.F[2], o.F[3], n)) &&
                       ProgressPosition(f[1], rows) == progress(f[1], f[0], f[2]);
    if (!agree) ADD_FAILURE() << "draw " << i << ": " << o.F[0] << " " << o.F[1] << " " << o.F[2] << " " << o.F[3]
                              << " / " << n << (++failures == 5 ? " (the last shown)" : "");
  }
  mpfr_clears(a, b, d, mpfr_ptr(nullptr));
}

// A row of colours or of counts paints as its pen colours dot after dot,
// and leaves the pen and the position as the dots do.
TEST(Surface, RowOfDotsPaintsAsSingleDots) {
  const std::vector<std::int32_t> counts{1, 2, 3, 4, 5, 6};
  std::vector<TColor> colors(counts.size());
  std::ranges::transform(counts, colors.begin(), ColorOf);
  for (int x : {-7, -2, 0, 1, 3, 9})
    for (int y : {-1, 0, 2, 3}) {
      TBitmapSurface row(5, 3), counted(5, 3), dots(5, 3);
      row.PlotRow(x, y, colors);
      counted.PlotCounts(x, y, counts);
      dots.IPictureSurface::PlotRow(x, y, colors);
      for (TBitmapSurface* s : {&row, &counted, &dots}) s->LineTo(0, 0);
      EXPECT_EQ(row.Pixels(), dots.Pixels()) << "x " << x << " y " << y;
      EXPECT_EQ(counted.Pixels(), dots.Pixels()) << "x " << x << " y " << y;
    }
}

// A surface that also takes the progress, and logs the order of the calls:
// {'F', 0} a fill, {'P', position}, {'R', y} a row of pixels.
class TCallLog final : public TPixelSurface, public IProgressSink {
 public:
  TCallLog(int width, int height) : TPixelSurface(width, height), Pixels(std::size_t(width) * height) {}
  std::vector<TColor> Pixels;
  std::vector<std::pair<char, int>> Calls;
  std::function<void(int y)> OnRow;  // after row y is painted
  int FailAtRow = 0;                  // throws the row instead of taking it

  void FillRect(const TRect& r, TColor c) override { Calls.push_back({'F', 0}), TPixelSurface::FillRect(r, c); }
  void PlotCounts(int x, int y, std::span<const std::int32_t> counts) override {
    if (y == FailAtRow) throw y;
    Calls.push_back({'R', y});
    TPixelSurface::PlotCounts(x, y, counts);
    if (OnRow) OnRow(y);
  }
  void SetPosition(int p) override { Calls.push_back({'P', p}); }

 private:
  void PlotSpan(int y, int left, std::span<const TColor> colors) override {
    // The straight loops keep the low 24 bits.
    std::transform(colors.begin(), colors.end(), Pixels.begin() + std::ptrdiff_t(y) * Width() + left,
                   [](TColor c) { return c & 0xFFFFFF; });
  }
};

TView View(bool julia, const TParamTexts& texts, int width, int height) {
  return {julia ? TOrbitKind::Julia : TOrbitKind::Mandelbrot, texts, ".", width, height, {}};
}

TPassEnd Draw(const TView& v, TCallLog& s, TEngine engine, std::stop_token stop = {}) {
  return (v.Command == TOrbitKind::Julia ? DrawJulia : DrawMandelbrot)(s, v.Texts, s, engine, stop);
}

TEST(Pass, BadTextClearsThePictureAndReportsNothing) {
  for (bool julia : {false, true}) {
    TView v = View(julia, kDefaultTexts, 7, 5);
    v.Texts[TextAt::Csample] = "many";
    TCallLog s(7, 5);
    s.FillRect({0, 0, 7, 5}, 0x123456);
    EXPECT_THROW(Draw(v, s, TEngine::Fast), EConvertError);
    EXPECT_EQ(s.Pixels, std::vector<TColor>(35, 0));
    EXPECT_TRUE(std::none_of(s.Calls.begin(), s.Calls.end(), [](auto call) { return call.first == 'P'; }));
  }
}

// The calls a pass makes: the clearing, then each row's progress before its
// pixels, top to bottom.
std::vector<std::pair<char, int>> ExpectedCalls(const testing::TStraightPicture& want) {
  std::vector<std::pair<char, int>> calls = {{'F', 0}};
  for (std::size_t j = 0; j < want.Progress.size(); ++j) {
    calls.push_back({'P', want.Progress[j]});
    if (int(j) + 1 < want.Height && want.Columns > 0) calls.push_back({'R', int(j) + 1});
  }
  return calls;
}

// Both engines, the fast one on the widest instruction set or on each this
// CPU has, paint and report as the straightforward loops do.
void ExpectPicture(const testing::TStraightPicture& want, const TView& v, bool everySet) {
  const auto check = [&](TEngine engine) {
    TCallLog s(want.Width, want.Height);
    EXPECT_EQ(Draw(v, s, engine), TPassEnd::Complete);
    const std::string view = (v.Command == TOrbitKind::Julia ? "julia " : "mandelbrot ") + ::testing::PrintToString(v.Texts);
    EXPECT_TRUE(s.Pixels == want.Pixels) << view << " " << v.Width << "x" << v.Height << " engine " << int(engine);
    EXPECT_TRUE(s.Calls == ExpectedCalls(want)) << view;
  };
  check(TEngine::Reference);
  for (std::int64_t target : everySet ? hwy::SupportedAndGeneratedTargets() : std::vector<std::int64_t>{0}) {
    SCOPED_TRACE(hwy::TargetName(target));
    hwy::SetSupportedTargetsForTest(target);
    check(TEngine::Fast);
  }
  hwy::SetSupportedTargetsForTest(0);
}

// Views of tests/render/x87-pictures.txt with the digests of the straight
// loops' pictures on the x87: on every machine the straight loops and both
// engines must give those pictures. From its "# On every instruction set"
// line on, the fast engine runs on each; from its "# Random" line on,
// instrumented and emulated builds take a share of the views.
TEST(Pass, Views) {
  std::ifstream table(WIROLOT_X87_PICTURES);
  ASSERT_TRUE(table) << WIROLOT_X87_PICTURES;
  int views = 0;
  bool thinned = false, everySet = false;
  for (std::string line; std::getline(table, line);) {
    thinned |= line.starts_with("# Random");
    everySet |= line.starts_with("# On every instruction set");
    if (line.empty() || line[0] == '#' || (++views % kScale && thinned)) continue;
    std::istringstream fields(line);
    std::string command;
    TView v;
    std::uint64_t digest = 0;
    fields >> command >> v.Width >> v.Height >> std::hex >> digest;
    for (std::string& text : v.Texts) fields >> text;
    ASSERT_TRUE(fields && (command == "mandelbrot" || command == "julia")) << line;
    v.Command = command == "julia" ? TOrbitKind::Julia : TOrbitKind::Mandelbrot;
    const testing::TStraightPicture want = testing::StraightRender(command == "julia", v.Texts, v.Width, v.Height);
    testing::TDigest made;
    made.Add(std::uint64_t(want.Width) << 32 | std::uint32_t(want.Height));
    for (std::uint32_t c : want.Pixels) made.Add(c);
    for (int p : want.Progress) made.Add(std::uint32_t(p));
    EXPECT_EQ(made.Value(), digest) << line << "\n" << std::hex << made.Value();
    ExpectPicture(want, v, everySet);
  }
  EXPECT_EQ(views, 652);
}

// A pass stopped, or failing, part way ends with a prefix of the picture
// painted, the rest black: stops before the pass, after a few rows, and in a
// view whose orbits run for thousands of steps each; a surface that fails.
TEST(Pass, StopsAndFailuresKeepAPrefix) {
  const TParamTexts moderate = {"-2", "1", "-1.2", "1.2", "-3", "3", "-2", "2", "3000"},
                    heavy = {"-0.76", "-0.74", "-0.01", "0.01", "-3", "3", "-2", "2", "2147483647"};
  const struct {
    TView View;
    int StopAfterRow;  // 0: before the pass
    int FailAtRow = 0;
  } cases[] = {
      {View(false, moderate, 64, 48), 0}, {View(true, moderate, 64, 48), 0}, {View(false, moderate, 64, 48), 5},
      {View(true, moderate, 64, 48), 5},  {View(false, moderate, 64, 48), 0, 3}, {View(false, heavy, 64, 48), 1},
  };
  for (const auto& c : cases) {
    const testing::TStraightPicture want =
        c.View.Texts == heavy ? testing::TStraightPicture{} : testing::StraightRender(c.View.Command == TOrbitKind::Julia, c.View.Texts, 64, 48);
    for (TEngine engine : {TEngine::Reference, TEngine::Fast}) {
      SCOPED_TRACE(::testing::Message() << ::testing::PrintToString(c.View.Texts) << " engine " << int(engine));
      std::stop_source source;
      TCallLog s(64, 48);
      s.FailAtRow = c.FailAtRow;
      s.OnRow = [&](int y) { y == c.StopAfterRow && source.request_stop(); };
      if (!c.StopAfterRow && !c.FailAtRow) source.request_stop();
      try {
        EXPECT_EQ(Draw(c.View, s, engine, source.get_token()), TPassEnd::Stopped);
        EXPECT_FALSE(c.FailAtRow);
      } catch (int) {
        EXPECT_TRUE(c.FailAtRow);
      }
      // Rows 1..painted, as many as were let through.
      int painted = 0;
      for (const auto& [call, y] : s.Calls) {
        if (call == 'R') {
          EXPECT_EQ(y, ++painted);
        }
      }
      // A stop holds from the next row on.
      EXPECT_EQ(painted, c.FailAtRow ? c.FailAtRow - 1 : c.StopAfterRow);
      EXPECT_TRUE(std::all_of(s.Pixels.begin() + (painted + 1) * 64, s.Pixels.end(), [](TColor p) { return p == 0; }));
      if (want.Pixels.empty()) continue;
      const std::vector<std::pair<char, int>> calls = ExpectedCalls(want);
      EXPECT_TRUE(std::equal(s.Calls.begin(), s.Calls.end(), calls.begin()));
      EXPECT_TRUE(std::equal(s.Pixels.begin(), s.Pixels.begin() + (painted + 1) * 64, want.Pixels.begin()));
    }
  }
}

// A counter that holds back one sample of the first row while it claims on:
// it finds no room long before the last row, and once the first row is done
// every row shows its own counts (row y: y + 1 steps).
TEST(Pass, ClaimsWaitForRoomBehindAHeldRow) {
  // Rows a sixteenth of the counts in flight: the pipeline holds 16.
  const int width = int(TRowPipeline::kWindowBytes / 16 / sizeof(std::int32_t)), height = 40;
  TCallLog s(width, height);
  PaintRows(s, ConvertTexts(kDefaultTexts), s, {}, [](const TRenderParams&, TRowPipeline& rows) {
    const auto count = [&rows](const TRowPipeline::TSegment& g) {
      std::fill(rows.Counts(g.Row) + g.Begin, rows.Counts(g.Row) + g.End, std::int32_t(g.Row + 1));
      rows.Counted(g.Row, g.End - g.Begin);
    };
    TRowPipeline::TSegment held, next;
    ASSERT_EQ(rows.TryClaim(1, held), TRowPipeline::TClaim::Taken);
    TRowPipeline::TClaim claim;
    while ((claim = rows.TryClaim(1000, next)) == TRowPipeline::TClaim::Taken) count(next);
    EXPECT_EQ(claim, TRowPipeline::TClaim::Full);
    count(held);
    while (rows.Claim(1000, next)) count(next);
  });
  for (int y = 1; y < height; ++y)
    for (int x = 1; x < width; ++x) ASSERT_EQ(s.Pixels[std::size_t(y) * width + x], ColorOf(y)) << x << ", " << y;
}

// The engines agree where the straightforward loops cannot go: limits the
// counter steps over or never reaches, on orbits that all escape; walks stuck
// on one sample whose orbit escapes late, so that a lane takes the same orbit
// in turn (and must not find it back at a point the one before kept). Orbits
// that repeat with no limit the counter can meet end at its last value at once.
TEST(Pass, EnginesAgree) {
  std::vector<TParamTexts> views;
  for (const char* csample : {"2.5", "0.5", "0", "-5", "1e30"})
    views.push_back({"0.5", "2", "-1", "1", "-3", "3", "-2", "2", csample});
  for (auto [c, next] : {std::pair{"0.25037688", "0.25037691"}, {"0.250262707", "0.250262737"},
                         {"0.250193536", "0.250193566"}, {"0.250148475", "0.250148505"}})
    views.push_back({c, next, "0", "1e-30", "-3", "3", "-2", "2", "1000"});
  for (const TParamTexts& t : views)
    for (bool julia : {false, true}) {
      TCallLog fast(40, 30), reference(40, 30);
      Draw(View(julia, t, 40, 30), fast, TEngine::Fast);
      Draw(View(julia, t, 40, 30), reference, TEngine::Reference);
      EXPECT_EQ(fast.Pixels, reference.Pixels) << ::testing::PrintToString(t);
    }
  for (bool julia : {false, true}) {
    TCallLog s(2, 2);
    Draw(View(julia, {"0", "1", "0", "1", "-3", "3", "-2", "2", "3e9"}, 2, 2), s, TEngine::Fast);
    EXPECT_EQ(s.Pixels[3], ColorOf(kMaxSteps) & 0xFFFFFF);
  }
}

// Long orbits pass between the lanes and threads of a pass as the threads
// come and go, which timing decides: the counts may not depend on it. Views
// of long, mostly interior orbits under 1, 3 and 8 threads, against the
// reference engine.
TEST(Pass, CountsDoNotDependOnTheThreads) {
  const std::pair<bool, TParamTexts> views[] = {
      {false, {"-0.76", "-0.74", "-0.01", "0.01", "-3", "3", "-2", "2", "2147483647"}},
      {false, {"-1.9", "0.5", "-1.1", "1.1", "-3", "3", "-2", "2", "3000"}},
      {true, {"-1", "1", "-0.3", "0.3", "-3", "3", "-2", "2", "2000"}},
  };
  const int threads = omp_get_max_threads();
  for (const auto& [julia, texts] : views) {
    TCallLog reference(48, 40);
    Draw(View(julia, texts, 48, 40), reference, TEngine::Reference);
    for (int n : {1, 3, 8}) {
      omp_set_num_threads(n);
      TCallLog fast(48, 40);
      Draw(View(julia, texts, 48, 40), fast, TEngine::Fast);
      EXPECT_EQ(fast.Pixels, reference.Pixels) << ::testing::PrintToString(texts) << " on " << n << " threads";
    }
  }
  omp_set_num_threads(threads);
}

// The software extended type against the x87, operation by operation and in
// the program's formulas; without an x87, against a digest of the x87's results.
// The first this many operands of each operation enter the digest; where the
// x87 is at hand, 2^17 (WIROLOT_EXTENDED_OPERANDS) are compared with it, in
// instrumented builds 2^12, too few for the digest.
constexpr std::uint64_t kDigested = 1 << 16;
std::uint64_t OperandsPerOperation() {
  const char* count = std::getenv("WIROLOT_EXTENDED_OPERANDS");
  if (!testing::kHaveX87 || kScale > 1) return testing::kHaveX87 ? 1 << 12 : kDigested;
  return count ? std::max<std::uint64_t>(std::stoull(count), kDigested) : 1 << 17;
}

TEST(Extended, AgreesWithTheX87) {
  using namespace testing;
  TDigest digest;
  int seed = 0;
  ForEachOperation([&](const char* name, auto op) {
    TDraws draws(++seed);
    int failures = 0;
    for (std::uint64_t i = 0; i < OperandsPerOperation(); ++i) {
      const TOperands o = draws.Operands();
      const std::uint64_t soft = Word(op(o.A, o.B, o));
      if (i < kDigested) digest.Add(soft);
#if LDBL_MANT_DIG == 64
      if (soft != Word(op(ToLongDouble(o.A), ToLongDouble(o.B), o)) && ++failures <= 5) ADD_FAILURE() << name << ": draw " << i;
#endif
    }
    EXPECT_EQ(failures, 0) << name;
  });
  // Made on x86-64 from the x87's results.
  if (OperandsPerOperation() >= kDigested) {
    EXPECT_EQ(digest.Value(), 0x59124ed02746f60ull) << std::hex << digest.Value();
  }
}

}  // namespace
}  // namespace wirolot
