#include <gtest/gtest.h>

#include <fcntl.h>
#include <png.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "PngStreamSurface.h"
#include "PngView.h"
#include "StraightReference.h"

namespace wirolot {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

// A PNG file's pixels as 0x00BBGGRR, row-major; empty if it does not decode.
struct TDecoded {
  int Width = 0, Height = 0;
  std::vector<std::uint32_t> Pixels;
};

TDecoded Decode(const std::string& file) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, file.c_str())) return {};
  image.format = PNG_FORMAT_RGB;
  std::vector<std::uint8_t> rgb(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return {};
  TDecoded d{int(image.width), int(image.height), {}};
  for (std::size_t i = 0; i < rgb.size(); i += 3) d.Pixels.push_back(RGB(rgb[i], rgb[i + 1], rgb[i + 2]));
  return d;
}

// PNG chunks made and taken apart here, without the program's code.
std::string BigEndian(std::uint32_t v) { return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; }

std::string Chunk(const std::string& type, const std::string& data) {
  const std::string body = type + data;
  return BigEndian(std::uint32_t(data.size())) + body +
         BigEndian(std::uint32_t(crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size()))));
}

std::string Deflated(const std::string& data) {
  std::string packed(compressBound(uLong(data.size())), '\0');
  uLongf size = packed.size();
  compress(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(data.data()), data.size());
  return packed.substr(0, size);
}

// A 1 x 1 grey PNG with `head` before its image data and `tail` after it.
std::string PngWith(const std::string& head, const std::string& tail = "") {
  return "\x89PNG\r\n\x1a\n"s + Chunk("IHDR", BigEndian(1) + BigEndian(1) + "\x08\0\0\0\0"s) + head +
         Chunk("IDAT", Deflated("\0\0"s)) + tail + Chunk("IEND", "");
}

struct TText {
  std::string Type, Key, Value;
  bool operator==(const TText&) const = default;
};

// The tEXt and iTXt chunks of a PNG, in file order.
std::vector<TText> TextChunks(const std::string& png) {
  std::vector<TText> texts;
  for (std::size_t at = 8; at + 12 <= png.size();) {
    const std::size_t length = std::size_t(std::uint8_t(png[at])) << 24 | std::uint8_t(png[at + 1]) << 16 |
                               std::uint8_t(png[at + 2]) << 8 | std::uint8_t(png[at + 3]);
    const std::string type = png.substr(at + 4, 4), data = png.substr(at + 8, length);
    const std::size_t key = data.find('\0');
    if (type == "tEXt") texts.push_back({type, data.substr(0, key), data.substr(key + 1)});
    if (type == "iTXt") {  // key, flag, method, language, translated key, text
      const std::size_t translated = data.find('\0', key + 3) + 1;
      texts.push_back({type, data.substr(0, key), data.substr(data.find('\0', translated) + 1)});
    }
    at += 12 + length;
  }
  return texts;
}

// The chunks a view is stored in, as wirolot-render(1) lists them.
std::vector<TText> Documented(const TView& v) {
  const char* names[9] = {"Region Cremin", "Region Cremax", "Region Cimmin", "Region Cimmax", "Box Cremin",
                          "Box Cremax",    "Box Cimmin",    "Box Cimmax",    "Csample"};
  std::vector<TText> chunks = {{"tEXt", "Software", "Wirolot " WIROLOT_VERSION},
                               {"tEXt", "Wirolot Command", v.Command == TOrbitKind::Julia ? "Julia" : "Mandelbrot"}};
  for (int t = 0; t < 9; ++t) chunks.push_back({"iTXt", "Wirolot "s + names[t], v.Texts[t]});
  chunks.push_back({"iTXt", "Wirolot Decimal Separator", v.DecimalSeparator});
  chunks.push_back({"tEXt", "Wirolot Size", std::to_string(v.Width) + "x" + std::to_string(v.Height)});
  return chunks;
}

std::string Encoded(const TView& view) {
  std::string png;
  TPngStreamSurface surface(view, [&](const std::uint8_t* d, std::size_t n) { png.append((const char*)d, n); });
  surface.Finish();
  return png;
}

TView Read(const std::string& png) { return ReadView({(const std::uint8_t*)png.data(), png.size()}, "f.png"); }

// The streamed PNG takes rows top to bottom, and colours of its palette, only.
TEST(PngStream, RefusesWhatItCannotWrite) {
  const TColor row[3] = {ColorOf(1), ColorOf(2), ColorOf(3)};
  const std::function<void(IPictureSurface&)> cases[] = {
      [&](IPictureSurface& s) { s.PlotRow(0, 5, row); s.PlotRow(0, 4, row); },
      [&](IPictureSurface& s) { s.PlotRow(0, 1, row); s.FillRect({0, 0, 8, 8}, 0); },
      [&](IPictureSurface& s) { s.MoveTo(0, 3); s.LineTo(3, 0); },
      [&](IPictureSurface& s) { s.SetPenColor(ColorOf(4)); s.MoveTo(0, 0); s.LineTo(1, 1); },
  };
  TView view{TOrbitKind::Mandelbrot, kDefaultTexts, ".", 8, 8};
  view.Texts[8] = "2";  // counts 1 to 3
  for (const auto& draw : cases) {
    TPngStreamSurface stream(view, [](const std::uint8_t*, std::size_t) {});
    stream.FillRect({0, 0, 8, 8}, 0);
    EXPECT_THROW(draw(stream), EPngStreamError);
  }
}

// A view is stored in the documented chunks and reads back as it was; one
// that cannot be stored is refused before anything is written.
TEST(PngView, StoresAndReadsBack) {
  const TParamTexts comma = {"-0,75", "-0,7", "0,1", "0,15", "-3", "3", "-2", "2", "200"},
                    arabic = {" -3\t", "3", "-2", "2", "-3", "3", "-2", "2", "1\u066B5e1"};
  const auto with = [](std::size_t text, std::string value) {
    TParamTexts texts = kDefaultTexts;
    texts[text] = value;
    return texts;
  };
  const struct {
    TView View;
    bool Storable = true;
  } cases[] = {
      {TView{}},
      {{TOrbitKind::Julia, comma, ",", 65535, 1}},
      {{TOrbitKind::Mandelbrot, arabic, "\u066B", 1, 2}},
      {{TOrbitKind::Julia, with(8, "fifteen"), ".", 3, 3}},  // a black picture after a conversion error
      {{TOrbitKind::Julia, with(0, std::string(4096, '1')), ".", 3, 3}},
      {{TOrbitKind::Julia, with(0, std::string(4097, '1')), ".", 3, 3}, false},
      {{TOrbitKind::Julia, with(3, "2\n"), ".", 3, 3}, false},
      {{TOrbitKind::Julia, with(8, "1\xff"), ".", 3, 3}, false},
      {{TOrbitKind::Julia, with(8, "\xc0\xb1"), ".", 3, 3}, false},  // '1' in two bytes
      {{TOrbitKind::Julia, kDefaultTexts, "", 3, 3}, false},
      {{TOrbitKind::Julia, kDefaultTexts, ".", 3, 65536}, false},
  };
  for (const auto& c : cases) {
    const std::string shown = c.View.Texts[0].substr(0, 9) + " " + c.View.Texts[8] + " " + c.View.DecimalSeparator;
    if (!c.Storable) {
      EXPECT_THROW(Encoded(c.View), EPngViewError) << shown;
      continue;
    }
    const std::string png = Encoded(c.View);
    EXPECT_EQ(TextChunks(png), Documented(c.View)) << shown;
    EXPECT_EQ(Read(png), c.View) << shown;
  }
}

// Files from elsewhere, damaged or hostile: refused, each with its reason.
TEST(PngView, RefusesFilesWithoutAGoodView) {
  const TView view{TOrbitKind::Julia, kDefaultTexts, ",", 20, 10};
  const std::vector<TText> documented = Documented(view);
  // The view's chunks as tEXt, the one with index `changed` given `value`
  // ("-" leaves it out), and `more` after them.
  const auto texts = [&](std::size_t changed = 99, const std::string& value = "", const std::string& more = "") {
    std::string chunks;
    for (std::size_t i = 0; i < documented.size(); ++i)
      if (i != changed || value != "-")
        chunks += Chunk("tEXt", documented[i].Key + '\0' + (i == changed ? value : documented[i].Value));
    return chunks + more;
  };
  const std::string good = PngWith(texts());
  std::string badChecksum = good;
  badChecksum[good.find("Wirolot Csample") + 18] ^= 1;
  const std::string csample = Chunk("tEXt", "Wirolot Csample\0"s + "15");
  std::string many;
  for (int i = 0; i < 100; ++i) many += Chunk("tEXt", "Comment\0"s + std::to_string(i));
  std::string huge;
  for (int i = 0; i < 17; ++i) huge += Chunk("prVt", std::string(1000000, 'x'));

  const struct {
    std::string Png, Message;  // empty: reads as `view`
  } cases[] = {
      {good, ""},
      {PngWith(texts(12, "-", Chunk("zTXt", "Wirolot Size\0\0"s + Deflated("20x10")))), ""},
      {"GIF89a", "'f.png' is not a PNG file"},
      {PngWith(""), "holds no Wirolot view"},
      {PngWith("", texts()), "holds no Wirolot view"},  // after the image data
      {PngWith(texts(10, "-")), "the view lacks 'Wirolot Csample'"},
      {PngWith(texts(99, "", csample)), "'Wirolot Csample' appears twice"},
      {PngWith(texts(1, "julia")), "'Wirolot Command' is neither Mandelbrot nor Julia"},
      {PngWith(texts(12, "20x10 ")), "'Wirolot Size' is not WxH"},
      {PngWith(texts(10, "1\xe2\x82")), "text 9 is not UTF-8"},  // the checks of a view to store
      {badChecksum, "damaged PNG (tEXt: CRC error)"},
      {PngWith(Chunk("tIME", "\x07\xea\x01\x02\x03\x04\x05"s).substr(0, 15) + "CRC!" + texts()), "tIME: CRC error"},
      {good.substr(0, good.size() / 2), "damaged PNG (the file ends early)"},
      {PngWith(Chunk("tEXt", "Comment\0"s + std::string(1 << 20, 'x')) + texts()), "damaged PNG"},
      {PngWith(many + texts()), "damaged PNG"},
      {PngWith(huge + texts()), "damaged PNG (too much data before the image)"},
  };
  for (const auto& c : cases) {
    const std::string shown = c.Png.substr(0, 60);
    if (c.Message.empty()) {
      EXPECT_EQ(Read(c.Png), view) << shown;
      continue;
    }
    try {
      Read(c.Png);
      ADD_FAILURE() << "read: " << c.Message;
    } catch (const EPngViewError& e) {
      EXPECT_NE(std::string(e.what()).find(c.Message), std::string::npos) << e.what() << " vs " << c.Message;
    }
  }
}

struct TTempDir {
  const fs::path Path = fs::temp_directory_path() / ("wirolot-cli-" + std::to_string(::getpid()));
  TTempDir() { fs::create_directories(Path); }
  ~TTempDir() { fs::remove_all(Path); }
  // Files whose names start with '.': temporary files left behind.
  std::size_t Leftovers() const {
    std::size_t n = 0;
    for (const auto& entry : fs::recursive_directory_iterator(Path)) n += entry.path().filename().c_str()[0] == '.';
    return n;
  }
};

std::string Contents(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Quoted for the shell.
std::string Quoted(const fs::path& path) { return "'" + path.string() + "'"; }

// The texts with `separator` made '.', for the reference.
TParamTexts Dotted(TParamTexts texts, const std::string& separator) {
  for (std::string& text : texts)
    if (const std::size_t at = text.find(separator); at != std::string::npos) text.replace(at, separator.size(), ".");
  return texts;
}

// wirolot-render: exit status, message, what is left in the folder, picture,
// and the view the picture carries.
TEST(Cli, ArgumentsExitStatusAndPicture) {
  const TTempDir dir;
  const std::string R = Quoted(WIROLOT_RENDER), out = Quoted(dir.Path / "p.png"), err = Quoted(dir.Path / "err"),
                    commaView = Quoted(dir.Path / "comma.png"), dotView = Quoted(dir.Path / "dot.png"),
                    noView = Quoted(dir.Path / "none.png");
  const auto args = [](const TParamTexts& t) {
    std::string a = " --";
    for (const std::string& text : t) a += " " + text;
    return a;
  };
  const TParamTexts deep = {"-0.16", "-0.14", "1.025", "1.045", "-2", "2", "-2", "2", "500"},
                    shortRows = {"0.3", "0.3001", "-2", "2", "-3", "3", "-2", "2", "15"},
                    fewRows = {"-3", "3", "0.3", "0.3001", "-3", "3", "-2", "2", "15"},
                    unmet = {"0", "3", "0", "2", "-3", "3", "-2", "2", "2.5"},
                    limit255 = {"-3", "3", "-2", "2", "-3", "3", "-2", "2", "255"},
                    comma = {"-0,75", "-0,7", "0,1", "0,15", "-3", "3", "-2", "2", "100"},
                    dot = {"-1.5", "1.5", "-1", "1", "-3", "3", "-2", "2", "7.5"};
  // Views to draw again: one saved where the separator is ',', one where it is '.'.
  ASSERT_EQ(std::system(("LC_ALL=pl_PL.UTF-8 " + R + " --size 48x40 --out " + commaView + args(comma)).c_str()), 0);
  ASSERT_EQ(std::system(("LC_ALL=C " + R + " --julia --size 30x20 --out " + dotView + args(dot)).c_str()), 0);
  { std::ofstream(dir.Path / "none.png") << PngWith(""); }
  struct TCase {
    std::string Command;
    int Status;
    std::string Message = "";  // in standard error; empty: nothing there
    bool Julia = false;
    TParamTexts Texts = kDefaultTexts;
    int W = 0, H = 0;  // 0: the earlier file stays as it was
    std::string Separator = ".";
  };
  std::vector<TCase> cases = {
      {R + " --julia --out " + out, 0, "", true, kDefaultTexts, 487, 409},
      {R + " --size 160x90 --out " + out + args(deep), 0, "", false, deep, 160, 90},  // RGB
      {R + " --size 1x1 --out " + out + args(limit255), 0, "", false, limit255, 1, 1},  // 256 colours
      {R + " --size 487x9 --out " + out + args(shortRows), 0, "", false, shortRows, 487, 9},
      {R + " --julia --size 9x487 --out " + out + args(fewRows), 0, "", true, fewRows, 9, 487},
      {R + " --julia --size 120x90 --reference --out " + out + args(unmet), 0, "", true, unmet, 120, 90},
      {R + " --julia --size 61x37 --out - >" + out, 0, "", true, kDefaultTexts, 61, 37},
      {"LC_ALL=C " + R + " --from " + commaView + " --out " + out, 0, "", false, comma, 48, 40, ","},
      {"LC_ALL=C " + R + " --from " + commaView + " --size 64x9 --out " + out, 0, "", false, comma, 64, 9, ","},
      {"LC_ALL=pl_PL.UTF-8 " + R + " --from " + dotView + " --out " + out, 0, "", true, dot, 30, 20},
      {R + " --from " + dotView + " --julia --out " + out, 2, "give neither with it"},
      {R + " --from " + dotView + " --out " + out + args(dot), 2, "give neither with it"},
      {R + " --from " + out + " --out " + out, 2, "p.png' is not a PNG file"},
      {R + " --from " + noView + " --out " + out, 2, "none.png': holds no Wirolot view"},
      {R + " --from " + err + ".none --out " + out, 2, "err.none': No such file or directory"},
      {R + " --from " + dotView + " --size 5x --out " + out, 2, "bad size '5x'"},
      {R + " -3 3 -2 2 -3 3 -2 2 fifteen --out " + out, 2, "'fifteen' is not a valid floating point value"},
      {R + " --out " + out + " -- " + std::string(4096, '0') + "1 3 -2 2 -3 3 -2 2 15", 2, "cannot store the view"},
      {R + " -3 3 -2 --out " + out, 2, "give all nine parameter texts or none (got 3)"},
      {R + " --sizes 5x5 --out " + out, 2, "unknown option '--sizes'"},
      {R + " --out " + out + ".d/p.png", 1, "p.png.d/p.png': No such file or directory"},
      {R + " --out - >/dev/full", 1, "'standard output': No space left on device"},
      // A file size limit makes the write fail part way, even for root.
      {"trap '' XFSZ; ulimit -f 4; " + R + " --size 2000x1500 --out " + out, 1, "p.png': File too large"},
  };
  for (const std::string size :
       {"0x5", "4294967297x1", "65536x1", " 5x5", "5x+5", "+5x5", "5x5 ", "5X5", "5x5x5", "-5x5", "5"})
    cases.push_back({R + " --size '" + size + "' --out " + out, 2, "bad size '" + size + "'"});
  cases.push_back({R + " --size 65535x1 --out " + out, 0, "", false, kDefaultTexts, 65535, 1});
  for (const TCase& c : cases) {
    { std::ofstream(dir.Path / "p.png") << "earlier"; }
    const int status = std::system((c.Command + " 2>" + err).c_str());
    const std::string message = Contents(dir.Path / "err");
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, c.Status) << c.Command;
    if (c.Message.empty()) {
      EXPECT_EQ(message, "") << c.Command;
    } else {
      EXPECT_NE(message.find(c.Message), std::string::npos) << c.Command << ": " << message;
    }
    EXPECT_EQ(dir.Leftovers(), 0u) << c.Command;
    if (!c.W) {
      EXPECT_EQ(Contents(dir.Path / "p.png"), "earlier") << c.Command;
      continue;
    }
    const TDecoded image = Decode((dir.Path / "p.png").string());
    ASSERT_EQ(image.Width, c.W) << c.Command;
    ASSERT_EQ(image.Height, c.H) << c.Command;
    EXPECT_TRUE(image.Pixels == testing::StraightRender(c.Julia, Dotted(c.Texts, c.Separator), c.W, c.H).Pixels)
        << c.Command;
    const TView carried{c.Julia ? TOrbitKind::Julia : TOrbitKind::Mandelbrot, c.Texts, c.Separator, c.W, c.H};
    EXPECT_EQ(ReadView((dir.Path / "p.png").string()), carried) << c.Command;
  }
}

// A symbolic link as --out is written through to the file it names, which
// the run creates if need be; the link stays.
TEST(Cli, SymbolicLinksAreWrittenThrough) {
  const TTempDir dir;
  fs::create_directories(dir.Path / "sub");
  const fs::path target = dir.Path / "sub" / "t.png", link = dir.Path / "link.png";
  const struct {
    std::vector<std::pair<fs::path, fs::path>> Links;  // link, what it names
    bool TargetExists;
    int Status = 0;
  } cases[] = {
      {{{link, "sub/t.png"}}, true},
      {{{link, target}}, false},
      {{{link, "sub/mid"}, {dir.Path / "sub" / "mid", "t.png"}}, true},  // relative to each link's folder
      {{{link, "link.png"}}, false, 1},  // a loop
  };
  for (const auto& c : cases) {
    fs::remove(target);
    if (c.TargetExists) std::ofstream(target) << "earlier";
    for (const auto& [from, to] : c.Links) fs::create_symlink(to, from);
    const int status = std::system((Quoted(WIROLOT_RENDER) + " --size 5x4 --out " + Quoted(link) + " 2>/dev/null").c_str());
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, c.Status) << c.Links[0].second;
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Decode(target.string()).Width, c.Status ? 0 : 5) << c.Links[0].second;
    EXPECT_EQ(dir.Leftovers(), 0u);
    for (const auto& [from, to] : c.Links) fs::remove(from);
  }
}

// Starts wirolot-render with `args`, its standard error to `err` and, when
// `out` is not negative, its standard output to that descriptor.
pid_t Start(std::vector<std::string> args, const fs::path& err, int out = -1) {
  args.insert(args.begin(), WIROLOT_RENDER);
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    const int fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || dup2(fd, STDERR_FILENO) < 0 || (out >= 0 && dup2(out, STDOUT_FILENO) < 0)) _exit(127);
    execv(WIROLOT_RENDER, argv.data());
    _exit(127);
  }
  return pid;
}

// The status of a process that ends within `seconds` (killed if it does not).
int WaitFor(pid_t pid, int seconds = 60) {
  int status = 0;
  for (int waited = 0; waitpid(pid, &status, WNOHANG) == 0; ++waited) {
    if (waited == seconds * 100) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      ADD_FAILURE() << "did not end within " << seconds << " s";
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return status;
}

double Now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

// SIGINT or SIGTERM at moments swept over the end of a run, the commit
// included: whatever the moment, the outcome agrees with the exit status.
TEST(Cli, SignalsAtAnyMoment) {
  const TTempDir dir;
  const fs::path out = dir.Path / "p.png", err = dir.Path / "err";
  const std::vector<std::string> args = {"--julia", "--size", "160x120", "--out", out.string()};
  const auto expected = testing::StraightRender(true, kDefaultTexts, 160, 120).Pixels;
  // The sweep spans the second half of an undisturbed run and a little after.
  std::vector<double> runs;
  for (int i = 0; i < 3; ++i) {
    const double start = Now();
    ASSERT_EQ(WaitFor(Start(args, err)), 0);
    runs.push_back(Now() - start);
  }
  std::sort(runs.begin(), runs.end());
  const double from = 0.5 * runs[1], span = 0.75 * runs[1];
  const int total = std::clamp(int(8.0 / runs[1]), 50, 400);  // about 8 s in all
  int completed = 0, interrupted = 0, beforeMain = 0;
  for (int run = 0; run < total; ++run) {
    { std::ofstream(out) << "earlier"; }
    const pid_t pid = Start(args, err);
    std::this_thread::sleep_for(std::chrono::duration<double>(from + span * run / total));
    kill(pid, run % 2 ? SIGINT : SIGTERM);
    const int status = WaitFor(pid);
    const std::string shown = "run " + std::to_string(run) + ": " + Contents(err);
    ASSERT_EQ(dir.Leftovers(), 0u) << shown;
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
      ++completed;
      ASSERT_TRUE(Decode(out.string()).Pixels == expected) << shown;
    } else if (WIFSIGNALED(status)) {  // signalled before the program could block it
      ++beforeMain;
      ASSERT_EQ(Contents(out), "earlier") << shown;
    } else {
      ++interrupted;
      ASSERT_EQ(WEXITSTATUS(status), 1) << shown;
      ASSERT_NE(Contents(err).find("interrupted"), std::string::npos) << shown;
      ASSERT_EQ(Contents(out), "earlier") << shown;
    }
  }
  std::printf("signals %.0f to %.0f ms after the start: %d runs, %d exit 0, %d exit 1, %d ended by the signal "
              "before main\n", from * 1000, (from + span) * 1000, total, completed, interrupted, beforeMain);
  RecordProperty("completed", completed);
  RecordProperty("interrupted", interrupted);
}

// A stop ends a run that a slow pass or a stuck output holds up: no file, no
// temporary file.
TEST(Cli, TerminationLeavesNothingBehind) {
  const TTempDir dir;
  const fs::path out = dir.Path / "big.png", err = dir.Path / "err";
  {
    const pid_t pid = Start({"--size", "30000x30000", "--out", out.string()}, err);
    // Once the temporary file is there.
    for (int i = 0; i < 1000 && !dir.Leftovers(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    kill(pid, SIGTERM);
    const int status = WaitFor(pid);
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 1);
    EXPECT_NE(Contents(err).find("interrupted; '" + out.string() + "' not written"), std::string::npos);
    EXPECT_FALSE(fs::exists(out));
    EXPECT_EQ(dir.Leftovers(), 0u);
  }
  {
    // A pipe nobody reads: once it is full, the program cannot end by itself.
    int pipe[2];
    ASSERT_EQ(::pipe(pipe), 0);
    const pid_t pid = Start({"--size", "30000x30000", "--out", "-", "--", "-0.16", "-0.14", "1.025", "1.045", "-2",
                             "2", "-2", "2", "500"},  // noisy: the PNG grows fast
                            err, pipe[1]);
    close(pipe[1]);
    int queued = 0;
    for (int i = 0; i < 3000 && queued < fcntl(pipe[0], F_GETPIPE_SZ) - 4096; ++i) {  // full but for a page
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      ioctl(pipe[0], FIONREAD, &queued);
    }
    kill(pid, SIGINT);
    const int status = WaitFor(pid, 20);
    close(pipe[0]);
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 1);
    EXPECT_NE(Contents(err).find("interrupted"), std::string::npos);
  }
}

}  // namespace
}  // namespace wirolot
