// Colourings checked against hand calculations and against a textbook
// colouring and box filter of the straight reference's counts.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "ColourSurfaces.h"
#include "Convert.h"
#include "Fractals.h"
#include "PaletteFile.h"
#include "StraightReference.h"

namespace wirolot {
namespace {

using namespace std::string_literals;

constexpr TColor Hex(std::uint32_t rrggbb) { return RGB(rrggbb >> 16, (rrggbb >> 8) & 0xFF, rrggbb & 0xFF); }

// Colours by hand: 0.5 in linear light is 187.516 / 255 encoded, so bc; 2/3
// of the way from 102030 to a0b0c0 in linear light is 133.40, 147.57, 161.99.
TEST(Colouring, CountsToColours) {
  const std::vector<TColor> grey = {Hex(0x000000), Hex(0xffffff)}, two = {Hex(0x102030), Hex(0xa0b0c0)};
  const struct {
    TColouring Colouring;
    std::int32_t Limit, Count;
    std::uint32_t Expected;
  } cases[] = {
      {{}, 16, 15, 0xf0f000},  // the counts' own colours, (240, 240, 0)...
      {{}, 16, 16, 0x000101},  // ...inside too: (0, 1, 1)
      {{}, 5000, 4081, 0x100f00},  // 4081 x 4112 = 0x01000f10: red 0x10, green 0x0f, blue 0
      {{grey}, 100, 1, 0x000000}, {{grey}, 100, 2, 0xffffff}, {{grey}, 100, 3, 0x000000},
      {{grey, 4}, 100, 2, 0xbcbcbc}, {{grey, 4}, 100, 3, 0xffffff}, {{grey, 4}, 100, 4, 0xbcbcbc},
      {{grey, 4}, 100, 5, 0x000000}, {{grey, 4, 1}, 100, 2, 0xffffff}, {{grey, 4, 5}, 100, 2, 0xffffff},
      {{grey, 4, 0, Hex(0x123456)}, 100, 100, 0x123456}, {{grey, 4, 0, Hex(0x123456)}, 100, 98, 0xbcbcbc},
      {{two, 3}, 100, 2, 0x8594a2}, {{two, 3}, 100, 3, 0x8594a2}, {{two, 3}, 100, 4, 0x102030},
      // (2^31 - 5 + 2^31 - 1) mod 3 = 1: a third of the way round.
      {{two, 3, 2147483647}, 2147483647, 2147483644, 0x8594a2},
      {{two, 3, 2147483647, Hex(0xff0000)}, 2147483647, 2147483647, 0xff0000},
      // A long cycle is not tabulated: 1/2^20 of the way from 000000 is still 000000 (1/2^20 encodes to 0.003).
      {{grey, 1 << 21}, 1 << 22, 2, 0x000000}, {{grey, 1 << 21}, 1 << 22, 1 << 20, 0xffffff},
  };
  for (const auto& c : cases)
    EXPECT_EQ(TColourMap(c.Colouring, c.Limit)(c.Count), Hex(c.Expected))
        << c.Count << " of " << c.Limit << ", period " << c.Colouring.Period << ", offset " << c.Colouring.Offset;
}

// Hand-written files in each format, and the ways a file can be wrong.
TEST(Colouring, PaletteFiles) {
  const std::string map257 = [] { std::string m; for (int i = 0; i < 257; ++i) m += "1 2 3\n"; return m; }();
  // A gradient taken at i / 256: red, then blue from an eighth on (step);
  // from the middle on, black to white evenly (linear, midpoint centred).
  std::vector<TColor> gradient;
  for (int i = 0; i < 256; ++i) {
    const auto grey = std::uint8_t(std::lround((i - 128) / 128.0 * 255));
    gradient.push_back(i < 32 ? Hex(0xff0000) : i <= 128 ? Hex(0x0000ff) : RGB(grey, grey, grey));
  }
  const std::string ggr = "GIMP Gradient\nName: Hand\n2\n0 0.125 0.5 1 0 0 1 0 0 1 1 5 0\n"
                          "0.5 0.75 1 0 0 0 1 1 1 1 0.5 0 0 0 0\n";
  const struct {
    std::string Text;
    std::vector<TColor> Colours;
    std::string Error = {};
  } cases[] = {
      {"0 0 0\n255 128 7  a comment\r\n\n  12\t34 56\n", {Hex(0x000000), Hex(0xff8007), Hex(0x0c2238)}},
      {"GIMP Palette\nName: Mine\nColumns: 4\n#\n# comment\n255   0   0\tRed\n  0 255   0\tGreen and more\n"
       "  0   0 255\n", {Hex(0xff0000), Hex(0x00ff00), Hex(0x0000ff)}},
      {map257.substr(6), std::vector<TColor>(256, Hex(0x010203))},
      {"GIMP Palette\n" + map257, std::vector<TColor>(257, Hex(0x010203))},
      {ggr, gradient},
      {"GIMP Gradient\n0\n", {}, "line 2: expected the number of segments, 1 to 256"},
      {"GIMP Gradient\n1\n0 0.5 1 0 0 0 1 1 1 1 1 0 0\n\n1 1 1\n", {}, "line 5: more lines than segments"},
      {"GIMP Gradient\n2\n0 0.5 1 0 0 0 1 1 1 1 1 0 0\n", {}, "line 4: expected a segment: the gradient ends early"},
      {"GIMP Gradient\n1\n0 0.5 0.9 0 0 0 1 1 1 1 1 0 0\n", {}, "line 3: the last segment does not end at 1"},
      {"GIMP Gradient\n1\n0 0.5 1 0 0 0 1 1.5 1 1 1 0 0\n", {}, "line 3: a colour is not 0 to 1"},
      {"GIMP Gradient\n1\n0 0.5 1 0 0 0 1 1 1 1 1 6 0\n", {}, "line 3: unknown blending or colour model"},
      {"GIMP Gradient\n1\n0 0.5 1 0 0 0 1 1 1 1 1 2e41 0\n", {}, "line 3: unknown blending or colour model"},
      {"GIMP Gradient\n1\n0 0.5 1 0 0 0 1 1 1 1\n", {}, "line 3: expected 13 or 15 numbers, found 10"},
      {"GIMP Gradient\n1\n0 0.5 1 0 0 0 1 1 1 1 nan 0 0\n", {}, "line 3: 'nan' is not a number"},
      {"", {}, "holds no colours"},
      {"GIMP Palette\nName: empty\n", {}, "holds no colours"},
      {map257, {}, "more than 256 colours in a map"},
      {"1 2\n", {}, "line 1: expected three numbers R G B, found ''"},
      {"0 0 0\n1 2 x3\n", {}, "line 2: expected three numbers R G B, found 'x3'"},
      {"1 2 3.5\n", {}, "line 1: expected three numbers R G B, found '3.5'"},
      {"1 -2 3\n", {}, "line 1: expected three numbers R G B, found '-2'"},
      {"0 0 0\n0 256 0\n", {}, "line 2: 256 is not 0 to 255"},
      {"99999999999 0 0\n", {}, "line 1: 99999999999 is not 0 to 255"},
      {"GIMP Palette\nName: x\n1 1 1 \xe2\x80\x94 ok\n300 0 0\n", {}, "line 4: 300 is not 0 to 255"},
      {"\x89PNG\r\n\x1a\n\0\0"s, {}, "not a text file"},
      {std::string(kMaxPaletteFileBytes + 1, ' '), {}, "longer than 1048576 bytes"},
  };
  for (const auto& c : cases) {
    try {
      EXPECT_EQ(ParsePalette(c.Text), c.Colours) << c.Text.substr(0, 40);
      EXPECT_EQ(c.Error, "") << c.Text.substr(0, 40);
    } catch (const EPaletteError& e) {
      EXPECT_EQ(e.Message(), c.Error) << c.Text.substr(0, 40);
    }
  }
}

// The textbook sRGB curve in double.
double Linear(int channel) {
  const double x = channel / 255.0;
  return x <= 0.04045 ? x / 12.92 : std::pow((x + 0.055) / 1.055, 2.4);
}
int Encoded(double linear) {
  const double e = linear <= 0.0031308 ? linear * 12.92 : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
  return int(std::floor(e * 255 + 0.5));
}
int Channel(TColor c, int k) { return k == 0 ? RedOf(c) : k == 1 ? GreenOf(c) : BlueOf(c); }

// A count's colour as stated: inside at the limit, else the palette at
// ((n - 1 + offset) mod period) / period of its cycle, mixed in linear light.
TColor Textbook(const TColouring& c, std::int32_t limit, std::int32_t n) {
  if (n == limit) return c.Inside;
  const std::size_t m = c.Palette.size();
  const double period = c.Period ? c.Period : double(m);
  const double at = std::fmod(double(n) - 1 + c.Offset, period) / period * double(m);
  const std::size_t i = std::size_t(at);
  const double f = at - double(i);
  int rgb[3];
  for (int k = 0; k < 3; ++k) {
    const double a = Linear(Channel(c.Palette[i], k)), b = Linear(Channel(c.Palette[(i + 1) % m], k));
    rgb[k] = Encoded(a + f * (b - a));
  }
  return RGB(rgb[0], rgb[1], rgb[2]);
}

// Views whose counts the straight reference gives (its pixel is n x 4112
// while that fits 24 bits): the picture K times the size is coloured and
// box-filtered here, and compared with the fast engine's pass through the
// colouring stage. K = 1 checks the colouring alone.
TEST(Colouring, SupersampledPictureIsTheMeanOfTheLargerOne) {
  const TParamTexts mandelbrot = {"-2.1", "0.9", "-1.3", "1.2", "-3", "3", "-2", "2", "60"},
                    julia = {"-1.6", "1.6", "-1.2", "1.2", "-3", "3", "-2", "2", "40"};
  const std::vector<TColor> three = {Hex(0x1e0a78), Hex(0xffd200), Hex(0x00a050)};
  const struct {
    bool Julia;
    const TParamTexts& Texts;
    int W, H;
    TColouring Colouring;
  } cases[] = {
      {false, mandelbrot, 40, 30, {three, 7, 2, Hex(0x102030), 1}},
      {false, mandelbrot, 37, 23, {three, 7, 2, Hex(0x102030), 3}},
      {true, julia, 20, 17, {three, 0, 0, 0, 4}},
      {true, julia, 9, 7, {three, 5, 11, Hex(0xffffff), 8}},
  };
  for (const auto& c : cases) {
    const int k = c.Colouring.Supersample;
    const testing::TStraightPicture large = testing::StraightRender(c.Julia, c.Texts, c.W * k, c.H * k);
    const std::int32_t limit = StepLimit(c.Julia ? TOrbitKind::Julia : TOrbitKind::Mandelbrot,
                                         ConvertTexts(c.Texts, ".").Csample);
    std::vector<TColor> expected;
    for (int y = 0; y < c.H; ++y)
      for (int x = 0; x < c.W; ++x) {
        double sum[3] = {};
        for (int j = 0; j < k; ++j)
          for (int i = 0; i < k; ++i) {
            const std::uint32_t pixel = large.Pixels[std::size_t(y * k + j) * (c.W * k) + (x * k + i)];
            const TColor colour = pixel ? Textbook(c.Colouring, limit, std::int32_t(pixel / 4112)) : 0;
            for (int ch = 0; ch < 3; ++ch) sum[ch] += Linear(Channel(colour, ch));
          }
        expected.push_back(RGB(Encoded(sum[0] / (k * k)), Encoded(sum[1] / (k * k)), Encoded(sum[2] / (k * k))));
      }
    TBitmapSurface picture(c.W, c.H);
    struct : IProgressSink { void SetPosition(int) override {} } sink;
    ASSERT_EQ(DrawRows(c.Julia ? TOrbitKind::Julia : TOrbitKind::Mandelbrot, c.Colouring, picture,
                       ConvertTexts(c.Texts, "."), sink),
              TPassEnd::Complete);
    EXPECT_TRUE(picture.Pixels() == expected) << c.W << "x" << c.H << " K " << k;
  }
}

// The counts a pass leaves, coloured again: as if painted in that colouring;
// the rows a stopped pass never painted stay black.
TEST(Colouring, CountSurfaceRecolours) {
  const TParamTexts texts = {"-2.1", "0.9", "-1.3", "1.2", "-3", "3", "-2", "2", "30"};
  const TColouring fire = {*BuiltInPalette("fire"), 5, 1, Hex(0x0000ff)};
  struct : IProgressSink { void SetPosition(int) override {} } sink;
  TBitmapSurface shown(50, 40), direct(50, 40);
  TCountSurface counts(shown, 31, {});
  DrawMandelbrot(counts, texts, sink);
  EXPECT_TRUE(shown.Pixels() == testing::StraightRender(false, texts, 50, 40).Pixels);
  counts.Recolour(fire);
  DrawRows(TOrbitKind::Mandelbrot, fire, direct, ConvertTexts(texts), sink);
  EXPECT_TRUE(shown.Pixels() == direct.Pixels());

  TBitmapSurface stopped(50, 40);
  TCountSurface prefix(stopped, 31, {});
  ClearPicture(prefix);
  const std::vector<std::int32_t> sevens(49, 7);
  for (int y = 1; y <= 3; ++y) prefix.PlotCounts(1, y, sevens);
  prefix.Recolour(fire);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 50; ++x)
      EXPECT_EQ(stopped.Pixel(x, y), y >= 1 && y <= 3 && x >= 1 ? TColourMap(fire, 31)(7) : 0) << x << "," << y;
}

}  // namespace
}  // namespace wirolot
