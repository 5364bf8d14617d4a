#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <set>
#include <string>

#include "Convert.h"
#include "Fractals.h"
#include "RecordingSink.h"

namespace wirolot {
namespace {

using namespace std::string_literals;

// Outcome of converting one text: a value, or the error's message.
struct TOutcome {
  bool Ok;
  float Value;
  std::string Message;
};

TOutcome Convert(const std::string& text, const char* sep = ".") {
  try {
    return {true, StrToSingle(text, sep), {}};
  } catch (const EConvertError& e) {
    return {false, 0, e.what()};
  }
}

TEST(BadInput, TextsThatAreNotNumbersOrOutOfRange) {
  for (const std::string& text : {""s, "   "s, "nan"s, "NaN"s, "inf"s, "-infinity"s, "0x1p3"s, "1e40"s, "-1e40"s,
                                 "1e999999999999"s, "1\0"s, "\0"s "1"s, "1 2"s, "\xEF\xBC\x91"s /* fullwidth 1 */,
                                 "\xD9\xA1"s /* Arabic-Indic 1 */, "1\xC2\xA0"s /* no-break space */}) {
    const TOutcome o = Convert(text);
    EXPECT_FALSE(o.Ok) << text;
    EXPECT_EQ(o.Message.find('\0'), std::string::npos);
  }
  EXPECT_EQ(Convert("1e40").Message, "'1e40' is out of the floating point range");
  EXPECT_EQ(Convert("abc").Message, "'abc' is not a valid floating point value");
}

TEST(BadInput, EdgeOfTheSingleRange) {
  EXPECT_EQ(Convert("1e-50").Value, 0.0f);  // underflows to zero, like any rounding
  EXPECT_EQ(Convert("-1e-50").Value, 0.0f);
  EXPECT_EQ(Convert("1e-45").Value, std::numeric_limits<float>::denorm_min());
  EXPECT_EQ(Convert("3.4028235e38").Value, std::numeric_limits<float>::max());
  EXPECT_FALSE(Convert("3.5e38").Ok);
  EXPECT_EQ(Convert("  +15  ").Value, 15.0f);
  EXPECT_EQ(Convert(".5").Value, 0.5f);
  EXPECT_EQ(Convert("5.").Value, 5.0f);
}

TEST(BadInput, HugeTextsGiveShortMessages) {
  const std::string digits(1 << 20, '7');
  const TOutcome big = Convert(digits);
  ASSERT_FALSE(big.Ok);
  EXPECT_LT(big.Message.size(), 100u);
  EXPECT_EQ(Convert("0." + digits).Value, 0.7777778f);
  EXPECT_FALSE(Convert(digits + "x").Ok);
}

TEST(BadInput, DecimalSeparatorFollowsTheLocale) {
  EXPECT_EQ(Convert("1.5", ".").Value, 1.5f);
  EXPECT_FALSE(Convert("1,5", ".").Ok);
  EXPECT_EQ(Convert("1,5", ",").Value, 1.5f);
  EXPECT_FALSE(Convert("1.5", ",").Ok);

  const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
  ASSERT_NE(std::setlocale(LC_NUMERIC, "C"), nullptr);
  EXPECT_EQ(LocaleDecimalSeparator(), ".");
  if (!std::setlocale(LC_NUMERIC, "pl_PL.UTF-8")) GTEST_SKIP() << "pl_PL.UTF-8 is not installed";
  EXPECT_EQ(LocaleDecimalSeparator(), ",");
  EXPECT_EQ(StrToFloat("-0,75"), -0.75L);
  EXPECT_THROW(StrToFloat("-0.75"), EConvertError);
  std::setlocale(LC_NUMERIC, saved.c_str());
}

using testing::TRecordingSink;

std::set<TColor> Colours(const TBitmapSurface& s) { return {s.Pixels().begin(), s.Pixels().end()}; }

// Every orbit of this region escapes within two steps for both commands, so
// limits the counter can never meet finish at once: beyond it for both, and
// for Julia any that is not whole.
const TParamTexts kEscaping = {"2", "3", "0", "1", "-3", "3", "-2", "2", "15"};

TEST(BadInput, CsampleBeyondTheCounterOrBelowOne) {
  for (auto draw : {DrawMandelbrot, DrawJulia}) {
    TRecordingSink sink;
    TBitmapSurface expected(40, 30);
    draw(expected, kEscaping, sink, TEngine::Reference);
    std::vector<const char*> unmet = {"2147483648", "1e30", "3.4e38"};
    if (draw == DrawJulia) unmet.insert(unmet.end(), {"-5", "0", "0.5", "-1e30"});
    for (const char* cs : unmet) {
      TParamTexts t = kEscaping;
      t[8] = cs;
      for (TEngine engine : {TEngine::Reference, TEngine::Fast}) {
        TBitmapSurface s(40, 30);
        draw(s, t, sink, engine);
        EXPECT_EQ(s.Pixels(), expected.Pixels()) << cs;
      }
    }
    if (draw == DrawJulia) continue;
    // Mandelbrot stops every orbit above a limit below one.
    for (const char* cs : {"-5", "0.5", "-1e30"}) {
      TParamTexts t = kDefaultTexts;
      t[8] = cs;
      TBitmapSurface s(40, 30);
      draw(s, t, sink, TEngine::Fast);
      EXPECT_EQ(Colours(s), (std::set<TColor>{0, RGB(16, 16, 0)})) << cs;
    }
  }
}

TEST(BadInput, NaNAndInfiniteBoxes) {
  const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  const std::vector<float> re = {-2, -0.5f, 0, 0.25f, 2.5f}, im = {-1, 0, 0.5f};
  const struct {
    TComplexRect Box;
    int Expected;  // 0: as the reference gives
  } cases[] = {{{nan, nan, nan, nan}, 1}, {{-3, nan, -2, 2}, 1}, {{-inf, inf, -inf, inf}, 0}};
  for (const auto& c : cases) {
    const TRenderParams p{{0, 0, 0, 0}, c.Box, 50};
    std::vector<std::int32_t> ref(re.size() * im.size()), fast(ref.size());
    CountOrbits<TMandelbrotOrbit>(TEngine::Reference, p, re, im, ref.data());
    CountOrbits<TMandelbrotOrbit>(TEngine::Fast, p, re, im, fast.data());
    EXPECT_EQ(fast, ref);
    if (c.Expected) {
      EXPECT_EQ(std::set<int>(ref.begin(), ref.end()), std::set<int>{c.Expected});
    }
    CountOrbits<TJuliaOrbit>(TEngine::Reference, p, re, im, ref.data());
    CountOrbits<TJuliaOrbit>(TEngine::Fast, p, re, im, fast.data());
    EXPECT_EQ(fast, ref);
  }
}

TEST(BadInput, ExtremeRegionsAndSurfacesEnd) {
  const TParamTexts regions[] = {
      {"-3e38", "3e38", "-3e38", "3e38", "-3", "3", "-2", "2", "15"},
      {"-1e-40", "1e-40", "-1e-40", "1e-40", "-3", "3", "-2", "2", "15"},
      {"1e30", "1.0000001e30", "-2", "2", "-3e38", "3e38", "-3e38", "3e38", "15"},
  };
  for (const TParamTexts& t : regions)
    for (auto [w, h] : {std::pair{1, 1}, std::pair{3000, 2}, std::pair{2, 3000}}) {
      TBitmapSurface s(w, h);
      TRecordingSink sink;
      DrawMandelbrot(s, t, sink);
      DrawJulia(s, t, sink);
      for (int p : sink.Positions) ASSERT_TRUE(p >= 0 && p <= 100);
    }
}

}  // namespace
}  // namespace wirolot
