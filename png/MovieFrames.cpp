#include "MovieFrames.h"

#include <png.h>

#include <cstdio>
#include <memory>

#include "Convert.h"

namespace wirolot {

namespace {

std::string Quoted(const std::string& name) { return "'" + name + "'"; }

std::vector<TRenderParams> Converted(const std::vector<TView>& keys, const std::vector<std::string>& names) {
  std::vector<TRenderParams> params;
  for (std::size_t k = 0; k < keys.size(); ++k) {
    if (keys[k].Command != keys[0].Command)
      throw EMovieError(Quoted(names[0]) + " is " + CommandName(keys[0].Command) + " and " + Quoted(names[k]) +
                            " is " + CommandName(keys[k].Command) + ": a movie's keyframes are all of one command",
                        int(k));
    try {
      params.push_back(ConvertTexts(keys[k].Texts, keys[k].DecimalSeparator));
    } catch (const EConvertError& e) {
      throw EMovieError(Quoted(names[k]) + ": " + e.what(), int(k));
    }
  }
  return params;
}

TMoviePath PathOf(const std::vector<TRenderParams>& params, const std::vector<std::string>& names, int frames) {
  std::vector<TMovieKey> keys;
  for (const TRenderParams& p : params) keys.push_back({p.Region, p.Csample});
  try {
    return TMoviePath(keys, frames);
  } catch (const EMovieError& e) {
    if (e.Key < 0) throw;
    throw EMovieError(Quoted(names[std::size_t(e.Key)]) + ": " + e.what(), e.Key);
  }
}

// A whole number in plain digits where it has them.
std::string WholeText(float value, std::string_view separator) {
  return value < 1e18f ? std::to_string(static_cast<long long>(value)) : ShortestText(value, separator);
}

// Whether every row of the PNG decodes.
bool Decodes(const std::string& file) {
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> opened(std::fopen(file.c_str(), "rb"), std::fclose);
  if (!opened) return false;
  png_structp png = png_create_read_struct(
      PNG_LIBPNG_VER_STRING, nullptr, [](png_structp p, png_const_charp) { png_longjmp(p, 1); },
      [](png_structp, png_const_charp) {});
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    throw std::bad_alloc();
  }
  // libpng leaves through longjmp: the row is held where that cannot lose it.
  png_bytep volatile row = nullptr;
  if (setjmp(png_jmpbuf(png))) {
    png_free(png, row);
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  png_init_io(png, opened.get());
  png_set_crc_action(png, PNG_CRC_ERROR_QUIT, PNG_CRC_ERROR_QUIT);
  png_set_benign_errors(png, 0);
  png_read_info(png, info);
  const int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  row = static_cast<png_bytep>(png_malloc(png, png_get_rowbytes(png, info)));
  for (int pass = 0; pass < passes; ++pass)
    for (png_uint_32 y = 0; y < png_get_image_height(png, info); ++y) png_read_row(png, row, nullptr);
  png_read_end(png, nullptr);
  png_free(png, row);
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

}  // namespace

TMovie::TMovie(const std::vector<TView>& keys, const std::vector<std::string>& names, int frames, int width,
               int height)
    : keys_(keys), params_(Converted(keys, names)), path_(PathOf(params_, names, frames)), width_(width),
      height_(height) {
  if (const int merged = FirstMergedFrame(path_, width, height)) {
    std::string message = "frame " + std::to_string(merged) + " of " + std::to_string(frames) +
                          " would give two neighbouring samples the same single-precision coordinate at " +
                          std::to_string(width) + "x" + std::to_string(height) + ": ";
    if (merged == 1) throw EMovieError(message + "the first keyframe is already too deep for that size");
    const TComplexRect r = path_.Frame(merged - 1).Region;
    char deepest[128];
    std::snprintf(deepest, sizeof deepest, "the path may go as deep as frame %d, a region %.3g wide and %.3g high",
                  merged - 1, double(r.Cremax) - r.Cremin, double(r.Cimmax) - r.Cimmin);
    throw EMovieError(message + deepest);
  }
}

std::string TMovie::KeyText(int key, std::size_t t) const {
  const TView& view = keys_[std::size_t(key)];
  const std::string& separator = keys_[0].DecimalSeparator;
  if (view.DecimalSeparator == separator) return view.Texts[t];
  const TRenderParams& p = params_[std::size_t(key)];
  const float numbers[] = {p.Region.Cremin, p.Region.Cremax, p.Region.Cimmin, p.Region.Cimmax,
                           p.Box.Cremin,    p.Box.Cremax,    p.Box.Cimmin,    p.Box.Cimmax, p.Csample};
  return ShortestText(numbers[t], separator);
}

TView TMovie::FrameView(int number) const {
  TView view = keys_[0];
  view.Width = width_;
  view.Height = height_;
  const TMovieFrame frame = path_.Frame(number);
  if (frame.Key >= 0) {
    for (std::size_t t : {TextAt::Cremin, TextAt::Cremax, TextAt::Cimmin, TextAt::Cimmax, TextAt::Csample})
      view.Texts[t] = KeyText(frame.Key, t);
    return view;
  }
  const float bounds[] = {frame.Region.Cremin, frame.Region.Cremax, frame.Region.Cimmin, frame.Region.Cimmax};
  for (std::size_t t = TextAt::Cremin; t <= TextAt::Cimmax; ++t)
    view.Texts[t] = ShortestText(bounds[t], view.DecimalSeparator);
  view.Texts[TextAt::Csample] = frame.CsampleKey >= 0 ? KeyText(frame.CsampleKey, TextAt::Csample)
                                                      : WholeText(frame.Csample, view.DecimalSeparator);
  return view;
}

std::string FrameFileName(int number) {
  char name[32];
  std::snprintf(name, sizeof name, "frame-%05d.png", number);
  return name;
}

bool HoldsFrame(const std::string& file, const TView& view) {
  try {
    if (!(ReadView(file) == view)) return false;
  } catch (const EPngViewError&) {
    return false;
  }
  return Decodes(file);
}

}  // namespace wirolot
