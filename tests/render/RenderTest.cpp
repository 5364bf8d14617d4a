#include <gtest/gtest.h>
#include <mpfr.h>

#include <bit>
#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <algorithm>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>

#include "Convert.h"
#include "Fractals.h"
#include "StraightReference.h"
#include "Walk.h"
#include "X87.h"
#include "hwy/targets.h"

namespace wirolot {
namespace {

using namespace std::string_literals;

// Instrumented and emulated builds run a smaller share of the random views.
#if defined(WIROLOT_SANITIZED)
constexpr int kScale = 4;
#elif defined(WIROLOT_EMULATED)
constexpr int kScale = 3;
#else
constexpr int kScale = 1;
#endif

struct TRecordingSink final : IProgressSink {
  std::vector<int> Positions;
  void SetPosition(int p) override { Positions.push_back(p); }
};

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
      {" -2.5e1 ", -25}, {"+15", 15}, {".5", 0.5f}, {"5.", 5}, {"2,5", 2.5f, kOk, "", ","}, {"1e-50", 0},
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
      EXPECT_NE(c.Error, kOk) << shown;
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
    testing::AddTo(digest, value);
    if constexpr (testing::kHaveX87) {
      const float x87 = float(std::strtold(text.c_str(), nullptr));
      ASSERT_EQ(std::bit_cast<std::uint32_t>(value), std::bit_cast<std::uint32_t>(std::fabs(x87) == INFINITY ? INFINITY : x87)) << text;
    }
  }
  EXPECT_EQ(digest.Value(), 0x846d01ddd1c4278full) << std::hex << digest.Value();
}

TEST(Convert, FirstBadTextInParameterOrderIsReported) {
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
}

TEST(Convert, DecimalSeparatorOfTheLocale) {
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

TEST(Pass, BadTextClearsThePictureAndReportsNothing) {
  TParamTexts t = kDefaultTexts;
  t[8] = "many";
  for (auto draw : {DrawMandelbrot, DrawJulia}) {
    TBitmapSurface s(7, 5);
    for (int y = 0; y < 5; ++y) s.PlotRow(0, y, std::vector<TColor>(7, 0x123456));
    TRecordingSink sink;
    EXPECT_THROW(draw(s, t, sink, TEngine::Fast, {}), EConvertError);
    EXPECT_EQ(s.Pixels(), std::vector<TColor>(35, 0));
    EXPECT_TRUE(sink.Positions.empty());
  }
}

// A surface that also takes the progress, and logs the order of the calls:
// {'F', 0} a fill, {'P', position}, {'R', y} a row of pixels.
class TCallLog final : public IPictureSurface, public IProgressSink {
 public:
  TCallLog(int width, int height) : Picture(width, height) {}
  TBitmapSurface Picture;
  std::vector<std::pair<char, int>> Calls;
  std::function<void(int y)> OnRow;  // after row y is painted
  int FailAtRow = 0;                  // raises TFailure instead of taking row y
  struct TFailure {};

  int Width() const override { return Picture.Width(); }
  int Height() const override { return Picture.Height(); }
  void FillRect(const TRect& r, TColor c) override { Calls.push_back({'F', 0}), Picture.FillRect(r, c); }
  void SetPenColor(TColor c) override { Calls.push_back({'C', 0}), Picture.SetPenColor(c); }
  void MoveTo(int x, int y) override { Calls.push_back({'M', 0}), Picture.MoveTo(x, y); }
  void LineTo(int x, int y) override { Calls.push_back({'L', 0}), Picture.LineTo(x, y); }
  void PlotRow(int x, int y, std::span<const TColor> colors) override {
    if (y == FailAtRow) throw TFailure();
    Calls.push_back({'R', y});
    Picture.PlotRow(x, y, colors);
    if (OnRow) OnRow(y);
  }
  void SetPosition(int p) override { Calls.push_back({'P', p}); }
};

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

// The pass paints and reports as the straightforward loops do.
void ExpectPicture(const testing::TStraightPicture& want, bool julia, const TParamTexts& t, TEngine engine) {
  TCallLog s(want.Width, want.Height);
  EXPECT_EQ((julia ? DrawJulia : DrawMandelbrot)(s, t, s, engine, {}), TPassEnd::Complete);
  const std::string view = (julia ? "Julia " : "Mandelbrot ") + ::testing::PrintToString(t);
  std::vector<TColor> rgb = s.Picture.Pixels();  // the reference keeps the low 24 bits
  for (TColor& c : rgb) c &= 0xFFFFFF;
  EXPECT_TRUE(rgb == want.Pixels) << view << " " << want.Width << "x" << want.Height;
  EXPECT_TRUE(s.Calls == ExpectedCalls(want)) << view;
}
void ExpectStraightPicture(bool julia, const TParamTexts& t, int w, int h, TEngine engine) {
  ExpectPicture(testing::StraightRender(julia, t, w, h), julia, t, engine);
}

std::uint64_t Digest(const testing::TStraightPicture& picture) {
  testing::TDigest digest;
  digest.Add(std::uint64_t(picture.Width) << 32 | std::uint32_t(picture.Height));
  for (std::uint32_t c : picture.Pixels) digest.Add(c);
  for (int p : picture.Progress) digest.Add(std::uint32_t(p));
  return digest.Value();
}

struct TView {
  bool Julia;
  TParamTexts Texts;
  int W, H;
};

// Views of tests/render/x87-pictures.txt with the digests of the straight
// loops' pictures on the x87. On every machine both engines and the straight
// loops must give those pictures.
TEST(Pass, Views) {
  std::ifstream table(WIROLOT_X87_PICTURES);
  ASSERT_TRUE(table) << WIROLOT_X87_PICTURES;
  int views = 0;
  for (std::string line; std::getline(table, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string command;
    TView v{};
    std::uint64_t digest = 0;
    fields >> command >> v.W >> v.H >> std::hex >> digest;
    for (std::string& text : v.Texts) fields >> text;
    ASSERT_TRUE(fields && (command == "mandelbrot" || command == "julia")) << line;
    v.Julia = command == "julia";
    const testing::TStraightPicture want = testing::StraightRender(v.Julia, v.Texts, v.W, v.H);
    EXPECT_EQ(Digest(want), digest) << line;
    for (TEngine engine : {TEngine::Reference, TEngine::Fast}) ExpectPicture(want, v.Julia, v.Texts, engine);
    ++views;
  }
  EXPECT_EQ(views, 250);
}

// A pass stopped, or failing, part way ends with a prefix of the picture
// painted, the rest black: stops before the pass, after a few rows, and in a
// view whose orbits run for thousands of steps each; a surface that fails.
TEST(Pass, StopsAndFailuresKeepAPrefix) {
  const TParamTexts moderate = {"-2", "1", "-1.2", "1.2", "-3", "3", "-2", "2", "3000"},
                    heavy = {"-0.76", "-0.74", "-0.01", "0.01", "-3", "3", "-2", "2", "2147483647"};
  const struct {
    const TParamTexts& Texts;
    bool Julia;
    int StopAfterRow;  // 0: before the pass
    int FailAtRow = 0;
  } cases[] = {
      {moderate, false, 0}, {moderate, true, 0}, {moderate, false, 5}, {moderate, true, 5},
      {moderate, false, 0, 3}, {heavy, false, 1},
  };
  for (const auto& c : cases)
    for (TEngine engine : {TEngine::Reference, TEngine::Fast}) {
      SCOPED_TRACE(::testing::Message() << ::testing::PrintToString(c.Texts) << " engine " << int(engine));
      const int w = 64, h = 48;
      std::stop_source source;
      TCallLog s(w, h);
      s.FailAtRow = c.FailAtRow;
      s.OnRow = [&](int y) {
        if (y == c.StopAfterRow) source.request_stop();
      };
      if (!c.StopAfterRow && !c.FailAtRow) source.request_stop();
      const auto draw = [&] { return (c.Julia ? DrawJulia : DrawMandelbrot)(s, c.Texts, s, engine, source.get_token()); };
      if (c.FailAtRow) {
        EXPECT_THROW(draw(), TCallLog::TFailure);
      } else {
        EXPECT_EQ(draw(), TPassEnd::Stopped);
      }

      // Rows 1..painted, each after its progress; no row after a failure.
      int painted = 0;
      for (const auto& [call, y] : s.Calls) {
        if (call == 'R') {
          EXPECT_EQ(y, ++painted);
        }
      }
      EXPECT_GE(painted, c.FailAtRow ? c.FailAtRow - 1 : c.StopAfterRow);
      if (c.FailAtRow) {
        EXPECT_EQ(painted, c.FailAtRow - 1);
      }
      EXPECT_LT(painted, h - 1);
      const std::vector<TColor>& pixels = s.Picture.Pixels();
      EXPECT_TRUE(std::all_of(pixels.begin() + (painted + 1) * w, pixels.end(), [](TColor p) { return p == 0; }));
      if (&c.Texts == &heavy) continue;
      const testing::TStraightPicture want = testing::StraightRender(c.Julia, c.Texts, w, h);
      const std::vector<std::pair<char, int>> calls = ExpectedCalls(want);
      EXPECT_TRUE(std::equal(s.Calls.begin(), s.Calls.end(), calls.begin()));
      for (std::size_t i = 0; i < std::size_t((painted + 1) * w); ++i) ASSERT_EQ(pixels[i] & 0xFFFFFF, want.Pixels[i]);
    }
}

// Orbits that repeat with no limit the counter can meet end at its last value at once.
TEST(Pass, RepeatingOrbitsWithoutALimit) {
  for (auto draw : {DrawMandelbrot, DrawJulia}) {
    TBitmapSurface s(2, 2);
    TRecordingSink sink;
    draw(s, {"0", "1", "0", "1", "-3", "3", "-2", "2", "3e9"}, sink, TEngine::Fast, {});
    EXPECT_EQ(s.Pixel(1, 1), ColorOf(kMaxSteps));
  }
}

// The engines agree where the straightforward loops cannot go: limits the
// counter steps over or never reaches, on orbits that all escape; walks stuck
// on one sample whose orbit escapes late, so that a lane takes the same orbit
// in turn (and must not find it back at a point the one before kept).
TEST(Pass, EnginesAgree) {
  std::vector<TParamTexts> views;
  for (const char* csample : {"2.5", "0.5", "0", "-5", "1e30"})
    views.push_back({"0.5", "2", "-1", "1", "-3", "3", "-2", "2", csample});
  for (auto [c, next] : {std::pair{"0.25037688", "0.25037691"}, {"0.250262707", "0.250262737"},
                         {"0.250193536", "0.250193566"}, {"0.250148475", "0.250148505"}})
    views.push_back({c, next, "0", "1e-30", "-3", "3", "-2", "2", "1000"});
  for (const TParamTexts& t : views)
    for (auto draw : {DrawMandelbrot, DrawJulia}) {
      TBitmapSurface fast(40, 30), reference(40, 30);
      TRecordingSink sink;
      draw(fast, t, sink, TEngine::Fast, {});
      draw(reference, t, sink, TEngine::Reference, {});
      EXPECT_EQ(fast.Pixels(), reference.Pixels()) << ::testing::PrintToString(t);
    }
}

// Samples whose step double precision rounds to another float than extended
// does, with one box edge (the others far off) on the extended result: the
// exact orbit ends on that step, the double one goes on.
struct TTrap {
  bool Julia;
  const char *Re, *Im;
  int Edge;  // box Cremin, Cremax, Cimmin, Cimmax
  const char* At;
};
const TTrap kTraps[] = {
    {false, "-1.00113261", "0.0336727686", 1, "3.49129685e-08"},
    {false, "-1.00145268", "0.0381416269", 1, "1.09945555e-08"},
    {false, "-1.00285482", "0.0535084791", 1, "-1.8325413e-07"},
    {false, "-2.9789744e-08", "1.00042224", 2, "1.00042212"},
    {false, "2.63740567e-08", "1.12998629", 3, "1.12998641"},
    {false, "2.01022772e-08", "1.48253465", 3, "1.48253477"},
    // Here the sum does not land on a midpoint: only the products' weight in the error bound tells.
    {false, "-1.00369167", "0.060871195", 1, "-6.56177002e-10"},
    {false, "0.000409419008", "0.0202382468", 0, "-2.82142067e-13"},
    {true, "-0.0442419127", "0.363846481", 0, "-8.36726077e-10"},
    {true, "0.273911566", "-0.726727426", 1, "1.83332405e-09"},
    {true, "-0.0995960087", "0.557122171", 0, "8.13085688e-09"},
    {true, "-0.183911994", "-1.45471156", 2, "-1.48391251e-07"},
    {true, "-0.107946672", "1.44564569", 3, "-6.57765087e-09"},
    {true, "0.102938846", "-1.44431424", 2, "1.33065868e-07"},
};

// The view of a trap: its sample in pixel (1, 1) of a 9 x 2 surface.
TView TrapView(const TTrap& trap) {
  TParamTexts t = {trap.Re, "2", trap.Im, "2", "-1e30", "1e30", "-1e30", "1e30", "40"};
  t[4 + trap.Edge] = trap.At;
  return {trap.Julia, t, 9, 2};
}

// Views near the edge of the set, from the whole picture down to a sampling
// step of a few floats, some with a box of their own.
std::vector<TView> RandomViews(int count, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> unit(0, 1);
  const auto text = [](double v) { char s[32]; std::snprintf(s, sizeof s, "%.9g", v); return std::string(s); };
  const std::string limits[] = {"1", "7", "15", "40", "63", "64", "65", "150", "1000", "4000", "0.5", "2.5"};
  std::vector<TView> views;
  for (int view = 0; view < count; ++view) {
    const bool julia = view % 2;
    double cr = 0, ci = 0;
    do {
      cr = -2 + 4 * unit(rng);
      ci = -1.5 + 3 * unit(rng);
    } while ((julia ? OrbitSteps<TJuliaOrbit>(float(cr), float(ci), {-3, 3, -2, 2}, 50)
                    : OrbitSteps<TMandelbrotOrbit>(float(cr), float(ci), {-3, 3, -2, 2}, 50)) < 6);
    const double span = 4 * std::pow(10.0, -5.5 * unit(rng));
    TParamTexts t = {text(cr - span / 2), text(cr + span / 2), text(ci - span * 0.375), text(ci + span * 0.375),
                     "-3", "3", "-2", "2", limits[view / 2 % 12]};
    if (view % 4 < 2)
      for (auto [i, v] : {std::pair{4, -1 - 3 * unit(rng)}, {5, 0.5 + 3 * unit(rng)}, {6, -0.5 - 2 * unit(rng)},
                          {7, 0.5 + 2 * unit(rng)}})
        t[i] = text(v);
    views.push_back({julia, t, 24 + view % 29, 16 + view % 17});
  }
  return views;
}

void ExpectRandomViews(TEngine engine, int count, unsigned seed) {
  for (const TView& v : RandomViews(count, seed)) {
    ExpectStraightPicture(v.Julia, v.Texts, v.W, v.H, engine);
    if (::testing::Test::HasFailure()) return;
  }
}

TEST(RandomViews, ReferenceEngine) { ExpectRandomViews(TEngine::Reference, 300 / kScale, 1); }
// Each instruction set this CPU has takes its turn, the widest (the one the
// other tests see) among them.
TEST(RandomViews, FastEngineOnEveryInstructionSet) {
  for (std::int64_t target : hwy::SupportedAndGeneratedTargets()) {
    SCOPED_TRACE(hwy::TargetName(target));
    hwy::SetSupportedTargetsForTest(target);
    for (const TTrap& trap : kTraps) {
      const TView v = TrapView(trap);
      ExpectStraightPicture(v.Julia, v.Texts, v.W, v.H, TEngine::Fast);
    }
    ExpectRandomViews(TEngine::Fast, 600 / kScale, unsigned(target));
  }
  hwy::SetSupportedTargetsForTest(0);
}


// Writes tests/render/x87-pictures.txt: these views, the traps and 200 random
// views, each with the digest of the straight loops' picture, on the x87 only.
// Run with --gtest_also_run_disabled_tests --gtest_filter=*WriteX87Pictures.
TEST(Pass, DISABLED_WriteX87Pictures) {
  ASSERT_TRUE(testing::kHaveX87);
  const struct {
    TParamTexts Texts;
    int W, H;
  } fixed[] = {
      {kDefaultTexts, 487, 409},
      {{"-0.7454", "-0.7452", "0.1130", "0.1132", "-2", "2", "-2", "2", "300"}, 97, 61},
      // Box edges on samples, the origin among them.
      {{"-2", "1.25", "-1", "1.25", "-2", "0.5", "-1", "0", "15"}, 13, 9},
      // Samples four floats apart: rows and columns end before the surface does.
      {{"1", "1.000000476837158203125", "1", "1.000000476837158203125", "-3", "3", "-2", "2", "15"}, 6, 6},
      // Steps that single-precision arithmetic rounds differently.
      {{"-0.4155", "1.1985", "-0.3555", "1.9444", "-3", "3", "-2", "2", "1000"}, 24, 29},
      // Near overflow; subnormal samples in a reversed box.
      {{"-3.4e38", "3.4e38", "-3.4e38", "3.4e38", "-3.4028235e38", "3.4028235e38", "-3.4e38", "3.4e38", "15"}, 16, 12},
      {{"-1e-40", "1e-40", "-1e-40", "1e-40", "2", "-2", "-2", "2", "15"}, 16, 12},
      // Empty and reversed regions, the least limit.
      {{"-3", "-3", "-2", "2", "-3", "3", "-2", "2", "15"}, 40, 30},
      {{"-3", "3", "3", "2", "-3", "3", "-2", "2", "15"}, 40, 30},
      {{"-3", "3", "-2", "2", "-3", "3", "-2", "2", "1"}, 40, 30},
      // Limits the counter steps over: Julia's orbits escape late or, at the
      // fixed point z0 = 0 in pixel (1, 1), never.
      {{"-3", "3", "-2", "2", "-3", "3", "-2", "2", "2.5"}, 487, 409},
      {{"0", "3", "0", "2", "-3", "3", "-2", "2", "0"}, 40, 30},
      {{"-0.001", "0.001", "-0.00075", "0.00075", "-3", "3", "-2", "2", "-5"}, 40, 30},
      // Mostly interior; near the parabolic points -0.75, 0.25 and the root
      // of the 1/3 bulb, where orbits inside settle slowly and orbits outside
      // linger near a cycle for thousands of steps before they leave; box
      // edges among the attracting fixed points, which some orbits reach late.
      {{"-1.5", "0.5", "-1", "1", "-3", "3", "-2", "2", "2000"}, 40, 30},
      {{"-0.7505", "-0.7495", "-0.0005", "0.0005", "-3", "3", "-2", "2", "6000"}, 24, 18},
      {{"0.2497", "0.2503", "-0.0003", "0.0003", "-3", "3", "-2", "2", "3000"}, 24, 18},
      {{"-0.1275", "-0.1235", "0.6475", "0.6515", "-3", "3", "-2", "2", "4000"}, 24, 18},
      {{"-0.3", "0.2", "-0.2", "0.3", "-3", "0.25", "-2", "0.1", "1000"}, 32, 24},
  };
  std::vector<TView> views;
  for (const auto& v : fixed)
    for (bool julia : {false, true}) views.push_back({julia, v.Texts, v.W, v.H});
  for (const TTrap& trap : kTraps) views.push_back(TrapView(trap));
  for (const TView& v : RandomViews(200, 17)) views.push_back(v);

  std::ofstream table(WIROLOT_X87_PICTURES);
  table << "# Views and the digests (FNV-1a, tests/common/X87.h) of their pictures drawn by\n"
           "# the straight loops of tests/common/StraightReference.h with the x87's long\n"
           "# double. Made by render_tests --gtest_also_run_disabled_tests\n"
           "# --gtest_filter=*WriteX87Pictures on x86-64.\n"
           "# command width height digest texts...\n";
  for (const TView& v : views) {
    // Texts whose single needs no second rounding, so that strtold reads them
    // alike wherever long double is wider.
    for (const std::string& text : v.Texts)
      ASSERT_EQ(float(std::strtold(text.c_str(), nullptr)), std::strtof(text.c_str(), nullptr)) << text;
    table << (v.Julia ? "julia " : "mandelbrot ") << v.W << ' ' << v.H << ' ' << std::hex
          << Digest(testing::StraightRender(v.Julia, v.Texts, v.W, v.H)) << std::dec;
    for (const std::string& text : v.Texts) table << ' ' << text;
    table << '\n';
  }
}

}  // namespace
}  // namespace wirolot
