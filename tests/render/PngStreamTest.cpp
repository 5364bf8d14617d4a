#include <gtest/gtest.h>

#include <QImage>

#include <string>
#include <vector>

#include "Fractals.h"
#include "Orbits.h"
#include "PngStreamSurface.h"

namespace wirolot {
namespace {

struct TNullSink final : IProgressSink {
  void SetPosition(int) override {}
};

std::vector<TColor> Ramp(int limit) {
  std::vector<TColor> palette;
  for (int n = 0; n <= limit; ++n) palette.push_back(ColorOf(n));
  return palette;
}

TPngStreamSurface::TWriter AppendTo(std::string& png) {
  return [&png](const std::uint8_t* data, std::size_t size) { png.append(reinterpret_cast<const char*>(data), size); };
}

TEST(PngStream, DecodesToTheInMemoryPicture) {
  // Rows of 480 samples on 487 columns; 480 rows on 487.
  const TParamTexts shortRows = {"0.3", "0.3001", "-2", "2", "-3", "3", "-2", "2", "15"};
  const TParamTexts fewRows = {"-3", "3", "0.3", "0.3001", "-3", "3", "-2", "2", "15"};
  const TParamTexts deep = {"-0.16", "-0.14", "1.025", "1.045", "-2", "2", "-2", "2", "500"};
  const struct {
    bool Julia;
    TParamTexts Texts;
    int Width, Height;
    int PaletteLimit;  // -1: RGB
  } cases[] = {
      {false, kDefaultTexts, 1, 1, 16},       {false, kDefaultTexts, 61, 37, 16},
      {true, kDefaultTexts, 61, 37, 15},      {false, kDefaultTexts, 61, 37, -1},
      {false, shortRows, 487, 9, 16},        {true, fewRows, 9, 487, 15},
      {false, deep, 33, 21, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.Julia ? "Julia " : "Mandelbrot ") << c.Width << "x" << c.Height
                                    << " palette " << c.PaletteLimit << " " << c.Texts[0] << " " << c.Texts[2]);
    TNullSink sink;
    TBitmapSurface want(c.Width, c.Height);
    (c.Julia ? DrawJulia : DrawMandelbrot)(want, c.Texts, sink, TEngine::Fast);

    std::string png;
    TPngStreamSurface stream(c.Width, c.Height, c.PaletteLimit < 0 ? std::vector<TColor>{} : Ramp(c.PaletteLimit),
                             AppendTo(png));
    (c.Julia ? DrawJulia : DrawMandelbrot)(stream, c.Texts, sink, TEngine::Fast);
    stream.Finish();

    const QImage got = QImage::fromData(reinterpret_cast<const uchar*>(png.data()), int(png.size()), "PNG");
    ASSERT_EQ(got.size(), QSize(c.Width, c.Height));
    EXPECT_EQ(got.format() == QImage::Format_Indexed8, c.PaletteLimit >= 0);
    long differing = 0;
    for (int y = 0; y < c.Height; ++y)
      for (int x = 0; x < c.Width; ++x) {
        const TColor w = want.Pixel(x, y);
        differing += got.pixel(x, y) != qRgb(RedOf(w), GreenOf(w), BlueOf(w));
      }
    EXPECT_EQ(differing, 0);
  }
}

TEST(PngStream, RefusesWhatItCannotWrite) {
  const TColor row[3] = {ColorOf(1), ColorOf(2), ColorOf(3)};
  const struct {
    const char* What;
    void (*Draw)(IPictureSurface&, const TColor*);
  } cases[] = {
      {"a row above the one being drawn",
       [](IPictureSurface& s, const TColor* c) { s.PlotRow(0, 5, {c, 3}); s.PlotRow(0, 4, {c, 3}); }},
      {"a clear after rows were drawn",
       [](IPictureSurface& s, const TColor* c) { s.PlotRow(0, 1, {c, 3}); s.FillRect({0, 0, 8, 8}, 0); }},
      {"a line back up",
       [](IPictureSurface& s, const TColor*) { s.MoveTo(0, 3); s.LineTo(3, 0); }},
      {"a colour outside the palette",
       [](IPictureSurface& s, const TColor*) { s.SetPenColor(ColorOf(4)); s.MoveTo(0, 0); s.LineTo(1, 1); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    std::string png;
    TPngStreamSurface stream(8, 8, Ramp(3), AppendTo(png));
    stream.FillRect({0, 0, 8, 8}, 0);
    EXPECT_THROW(c.Draw(stream, row), EPngStreamError);
  }
}

TEST(PngStream, WriteFailureStopsThePass) {
  struct EFull : std::runtime_error {
    EFull() : std::runtime_error("full") {}
  };
  for (const std::size_t room : {std::size_t(0), std::size_t(100), std::size_t(3000)}) {
    SCOPED_TRACE(room);
    std::size_t written = 0;
    TNullSink sink;
    TPngStreamSurface stream(300, 300, {}, [&](const std::uint8_t*, std::size_t size) {
      if ((written += size) > room) throw EFull();
    });
    EXPECT_THROW(
        {
          DrawJulia(stream, kDefaultTexts, sink, TEngine::Fast);
          stream.Finish();
        },
        EFull);
  }
}

}  // namespace
}  // namespace wirolot
