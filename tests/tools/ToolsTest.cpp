#include <gtest/gtest.h>

#include <png.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <ranges>
#include <string>

#include "Options.h"
#include "PngStreamSurface.h"
#include "PngView.h"
#include "StraightReference.h"

namespace wirolot {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
constexpr TOrbitKind J = TOrbitKind::Julia, M = TOrbitKind::Mandelbrot;

// The streamed PNG takes rows top to bottom after one clearing, colours of
// its palette only (here counts 1 to 3), and views that can be stored.
TEST(PngStream, RefusesWhatItCannotWrite) {
  static const TColor row[3] = {ColorOf(1), ColorOf(2), ColorOf(3)};
  void (*const cases[])(TPngStreamSurface&) = {
      [](TPngStreamSurface& s) { s.PlotRow(0, 5, row); s.PlotRow(0, 4, row); },
      [](TPngStreamSurface& s) { s.PlotRow(0, 1, row); s.FillRect({0, 0, 8, 8}, 0); },
      [](TPngStreamSurface& s) { s.FillRect({0, 0, 1, 1}, ColorOf(4)); },
      [](TPngStreamSurface& s) { s.PlotCounts(0, 0, std::vector<std::int32_t>{3, 4}); },
  };
  for (const auto draw : cases) {
    TPngStreamSurface stream({M, kDefaultTexts, ".", 8, 8, {}}, PaintedColours({}, 3), [](auto, auto) {});
    stream.FillRect({0, 0, 8, 8}, 0);
    EXPECT_THROW(draw(stream), EPngStreamError);
  }
  EXPECT_THROW(TPngStreamSurface({M, kDefaultTexts, ".", 3, 65536, {}}, {}, nullptr), EPngViewError);
}

// Whether a PNG file shows the straight reference's picture of `v`, with a
// palette of `palette` entries (0: RGB; -1: either).
bool Shows(const fs::path& file, const TView& v, int palette) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, file.c_str())) return false;
  const int entries = image.format & PNG_FORMAT_FLAG_COLORMAP ? int(image.colormap_entries) : 0;
  image.format = PNG_FORMAT_RGB;
  std::vector<std::uint8_t> rgb(PNG_IMAGE_SIZE(image)), expected;
  if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return false;
  TParamTexts dotted = v.Texts;
  for (std::string& text : dotted) std::ranges::replace(text, v.DecimalSeparator[0], '.');
  for (std::uint32_t p : testing::StraightRender(v.Command == J, dotted, v.Width, v.Height).Pixels)
    expected.insert(expected.end(), {RedOf(p), GreenOf(p), BlueOf(p)});
  return int(image.width) == v.Width && int(image.height) == v.Height && (palette < 0 || entries == palette) && rgb == expected;
}

// PNG chunks made here, without the program's code.
std::string BigEndian(std::uint32_t v) { return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; }

std::string Chunk(const std::string& type, const std::string& data) {
  const std::string body = type + data;
  return BigEndian(std::uint32_t(data.size())) + body +
         BigEndian(std::uint32_t(crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size()))));
}

std::string Times(int n, const std::string& text) { return n ? text + Times(n - 1, text) : ""; }

// The chunks that store `v`, as wirolot-render(1) lists them; an iTXt here has
// no compression, language or translated key.
std::string Documented(const TView& v) {
  const char* names[9] = {"Region Cremin", "Region Cremax", "Region Cimmin", "Region Cimmax", "Box Cremin",
                          "Box Cremax",    "Box Cimmin",    "Box Cimmax",    "Csample"};
  std::string chunks = Chunk("tEXt", "Software\0Wirolot "s + WIROLOT_VERSION) +
                       Chunk("tEXt", "Wirolot Command\0"s + (v.Command == J ? "Julia" : "Mandelbrot"));
  for (int t = 0; t < 9; ++t) chunks += Chunk("iTXt", "Wirolot "s + names[t] + "\0\0\0\0\0"s + v.Texts[t]);
  return chunks + Chunk("iTXt", "Wirolot Decimal Separator\0\0\0\0\0"s + v.DecimalSeparator) +
         Chunk("tEXt", "Wirolot Size\0"s + std::to_string(v.Width) + "x" + std::to_string(v.Height));
}

std::string Contents(const fs::path& f) { return {std::istreambuf_iterator<char>(std::ifstream(f).rdbuf()), {}}; }

std::string Quoted(const fs::path& path) { return "'" + path.string() + "'"; }

std::string Args(const TParamTexts& texts) {
  std::string args = " --";
  for (const std::string& text : texts) args += " " + text;
  return args;
}

struct TTempDir {
  const fs::path Path = fs::temp_directory_path() / ("wirolot-cli-" + std::to_string(::getpid()));
  TTempDir() { fs::create_directories(Path); }
  ~TTempDir() { fs::remove_all(Path); }
};

// What a shell command run in `dir` came to: exit status and standard error.
struct TOutcome {
  int Status;
  std::string Said;
};

TOutcome RunIn(const fs::path& dir, const std::string& command) {
  const int wait = std::system(("(" + command + ") 2>" + Quoted(dir / "err")).c_str());
  return {WIFEXITED(wait) ? WEXITSTATUS(wait) : 128 + WTERMSIG(wait), Contents(dir / "err")};
}

// Whether a temporary file, its name starting with '.', is in `folder` or below.
bool LeftoverIn(const fs::path& folder) {
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    if (entry.path().filename().c_str()[0] == '.') return true;
  return false;
}

// A shell command and what it must come to.
struct TRun {
  std::string Command;
  int Status;                      // -1: 0, 1, or ended by the signal before the program could block it
  std::string Message = "";        // in standard error for status 1 and 2; otherwise nothing is there
  std::optional<TView> View = {};  // the picture in p.png after status 0; otherwise p.png stays as it was
  int Palette = 0;                 // its entries; 0: RGB
};

// Runs `run` in `dir` over an earlier p.png, checks the outcome and returns the exit status.
int Check(const fs::path& dir, const TRun& run) {
  std::ofstream(dir / "p.png") << "earlier";
  const auto [status, said] = RunIn(dir, run.Command);
  const std::string shown = run.Command + " -> " + std::to_string(status) + ": " + said;
  EXPECT_TRUE(run.Status < 0 ? status < 2 || status == 128 + SIGINT || status == 128 + SIGTERM : status == run.Status)
      << shown;
  EXPECT_TRUE(status == 1 || status == 2 ? said.find(run.Message) != std::string::npos : said.empty()) << shown;
  EXPECT_FALSE(LeftoverIn(dir)) << shown;
  EXPECT_TRUE(status == 0 && run.View ? Shows(dir / "p.png", *run.View, run.Palette) &&
                                            Contents(dir / "p.png").find(Documented(*run.View)) != std::string::npos
                                      : Contents(dir / "p.png") == "earlier")
      << shown;
  return status;
}

// wirolot-render, and the views it reads: exit status, standard error, what
// is left in the folder, and the picture with its palette and view.
TEST(Cli, ArgumentsExitStatusAndPicture) {
  const TTempDir dir;
  const std::string R = Quoted(WIROLOT_RENDER), D = Quoted(dir.Path), P = D + "/p.png", From = R + " --out " + P;
  const TParamTexts limit255 = {"-3", "3", "-2", "2", "-3", "3", "-2", "2", "255"},
                    fewRows = {"-3", "3", "0.3", "0.3001", "-3", "3", "-2", "2", "15"},
                    comma = {"-0,75", "-0,7", "0,1", "0,15", "-3", "3", "-2", "2", "100"};
  const TView saved{J, comma, ",", 48, 40, {}};
  std::ofstream(dir.Path / "bad") << "1 2 3\n4 5\n";
  const TRun runs[] = {
      {R + " --julia --size 1x1 --out " + P + Args(limit255), 0, "", TView{J, limit255, ".", 1, 1, {}}, 256},
      {R + " --reference --size 8x6 --out " + P + Args(limit255), 0, "", TView{M, limit255, ".", 8, 6, {}}},  // 257
      {R + " --julia --size 9x487 --out " + P + Args(fewRows), 0, "", TView{J, fewRows, ".", 9, 487, {}}, 16},
      {R + " --julia --size 65535x1 --out - >" + P, 0, "", TView{J, kDefaultTexts, ".", 65535, 1, {}}, 16},
      // A view saved where the separator is ',', drawn again where it is '.'.
      {"LC_ALL=pl_PL.UTF-8 " + R + " --julia --size 48x40 --out " + P + Args(comma) + " && cp " + P + " " + D + "/c",
       0, "", saved, 101},
      {"LC_ALL=C " + From + " --from " + D + "/c", 0, "", saved, 101},
      {"LC_ALL=C " + From + " --from " + D + "/c --size 64x9", 0, "", TView{J, comma, ",", 64, 9, {}}, 101},
      // A symbolic link is written through, each link read from its own folder.
      {"mkdir " + D + "/s && ln -s ../p.png " + D + "/s/m && ln -s s/m " + D + "/l && " + R + " --out " + D + "/l", 0,
       "", TView{}, 17},
      {R + " --out " + P + " -- " + std::string(4096, '0') + "1 3 -2 2 -3 3 -2 2 15", 2, "cannot store the view"},
      {R + " --sizes 5x5 --out " + P, 2, "unknown option '--sizes'\nTry 'wirolot-render --help'.\n"},
      {From + " --palette " + D + "/bad", 2, "palette '" + dir.Path.string() + "/bad': line 2: expected three numbers"},
      {From + " --inside 000000", 2, "--period, --offset and --inside need a palette other than counts"},
      {From + " --from " + D + "/c --palette counts --period 3", 2, "need a palette other than counts"},
      {R + " --out - >/dev/full", 1, "'standard output': No space left on device"},
      {"trap '' XFSZ; ulimit -f 4; " + R + " --size 2000x1500 --out " + P, 1, "p.png': File too large"},
      // Stopped in a long pass, and stuck opening a FIFO nobody reads.
      {"timeout --preserve-status -k 9 -s TERM 1 " + From + " --size 30000x30000", 1, "p.png' not written"},
      {"mkfifo " + D + "/f && timeout --preserve-status -k 9 -s INT 0.3 " + R + " --out " + D + "/f", 1, "interrupted"},
  };
  for (const TRun& run : runs) Check(dir.Path, run);

  // The view saved above in files made damaged or hostile: refused, no file written.
  const std::string png = Contents(dir.Path / "c"), comment = "Comment\0"s, key = "Wirolot Decimal Separator\0\0\0\0\0"s;
  const auto added = [&png](const std::string& chunks) { return png.substr(0, 33) + chunks + png.substr(33); };
  std::string c1 = png;  // a C1 control for the separator
  c1.replace(c1.find(Chunk("iTXt", key + ",")), Chunk("iTXt", key + ",").size(), Chunk("iTXt", key + "\xc2\x85"));
  const std::pair<std::string, std::string> files[] = {  // and why they are refused
      {added(Chunk("tEXt", "Wirolot Csample\0"s + "15")), "'Wirolot Csample' appears twice"},
      {added(Chunk("tIME", "\x07\xea\x01\x02\x03\x04\x05"s).substr(0, 15) + "CRC!"), "damaged PNG (tIME: CRC error)"},
      {added(Chunk("tEXt", comment + std::string(1 << 20, 'x'))), "damaged PNG"},
      {added(Times(100, Chunk("tEXt", comment + "x"))), "damaged PNG"},
      {added(Times(17, Chunk("prVt", std::string(1000000, 'x')))), "damaged PNG (too much data before the image)"},
      {c1, "the decimal separator is not UTF-8 text"},
  };
  for (const auto& [file, message] : files) {
    std::ofstream(dir.Path / "v", std::ios::binary) << file;
    Check(dir.Path, {From + " --from " + D + "/v", 2, message});
  }
}

// A palette picture, supersampled, stores its colouring: --from draws the same
// file under another locale, and a palette given with it replaces the
// stored one.
TEST(Cli, ColouringsRoundTrip) {
  const TTempDir dir;
  const std::string R = Quoted(WIROLOT_RENDER), D = Quoted(dir.Path);
  std::ofstream(dir.Path / "m.map") << "10 20 30 first\n200 100 0\n0 0 255\n";
  const std::string texts = Args({"-2,1", "0,9", "-1,3", "1,2", "-3", "3", "-2", "2", "50"});
  ASSERT_EQ(std::system(("LC_ALL=pl_PL.UTF-8 " + R + " --palette " + D + "/m.map --period 7 --offset 4 --inside "
                         "A0b0C0 --supersample 3 --size 30x20 --out " + D + "/a.png" + texts).c_str()), 0);
  ASSERT_EQ(std::system(("LC_ALL=C " + R + " --from " + D + "/a.png --out " + D + "/b.png").c_str()), 0);
  const std::string a = Contents(dir.Path / "a.png");
  EXPECT_EQ(a, Contents(dir.Path / "b.png"));
  EXPECT_EQ(a.substr(16, 10), BigEndian(30) + BigEndian(20) + "\x08\x02"s);  // 8-bit RGB
  for (const std::string& chunk : {Chunk("tEXt", "Wirolot Palette\0"s + "0a141e c86400 0000ff"),
                                   Chunk("tEXt", "Wirolot Period\0"s + "7"), Chunk("tEXt", "Wirolot Offset\0"s + "4"),
                                   Chunk("tEXt", "Wirolot Inside\0"s + "a0b0c0"),
                                   Chunk("tEXt", "Wirolot Supersample\0"s + "3")})
    EXPECT_NE(a.find(chunk), std::string::npos) << chunk;
  ASSERT_EQ(std::system((R + " --from " + D + "/a.png --palette grey --out " + D + "/c.png").c_str()), 0);
  const std::string c = Contents(dir.Path / "c.png");
  EXPECT_NE(c.find(Chunk("tEXt", "Wirolot Palette\0"s + "000000 ffffff")), std::string::npos);
  EXPECT_EQ(c.find("Wirolot Period"), std::string::npos);
  EXPECT_NE(c.find("Wirolot Supersample"), std::string::npos);
}

// SIGINT or SIGTERM at moments swept over the end of a run, the commit
// included: whatever the moment, the outcome agrees with the exit status.
TEST(Cli, SignalsAtAnyMoment) {
  const TTempDir dir;
  // LeakSanitizer's check at exit stops the process's threads under ptrace,
  // and a signal arriving meanwhile can leave it stopped for good: no leak
  // check in runs that signals hit at their end.
  const std::string run = "env ASAN_OPTIONS=detect_leaks=0 " + Quoted(WIROLOT_RENDER) + " --julia --size 160x120 --out " +
                          Quoted(dir.Path / "p.png");
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 3; ++i) ASSERT_EQ(std::system(run.c_str()), 0);
  // The sweep spans the second half of an undisturbed run and a little after, in about 8 s.
  const double mean = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / 3;
  const int total = std::clamp(int(8 / mean), 50, 400);
  int counts[3] = {};  // exit 0, exit 1, ended by the signal before the program could block it
  for (int i = 0; i < total && !HasFailure(); ++i) {
    const std::string timeout = "timeout --preserve-status -k 20 -s " + (i % 2 ? "INT "s : "TERM "s) +
                                std::to_string(mean * (0.5 + 0.75 * i / total)) + " ";
    const int status = Check(dir.Path, {timeout + run, -1, "interrupted", TView{J, kDefaultTexts, ".", 160, 120, {}}, 16});
    ++counts[std::min(status, 2)];
  }
  std::printf("signals %.0f to %.0f ms after the start: %d runs, %d exit 0, %d exit 1, %d ended by the signal "
              "before main\n", mean * 500, mean * 1250, total, counts[0], counts[1], counts[2]);
}

std::string FrameName(int number) {
  char name[32];
  std::snprintf(name, sizeof name, "frame-%05d.png", number);
  return name;
}

// Julia keyframes of 40 x 25 and 40 x 40, the second inside the first, with
// another box and texts as typed, the first in a palette that paints what
// the counts do (each count under the limit its own colour, the limit's
// inside): each of twelve frames, at the size asked for, shows its own
// stored view with the first's box and colouring, the first and last the
// keyframes'. Two ranges give the bytes of one run. A run again over frames
// of another size, cut short, missing, of another view or of another
// colouring redraws those and no others (by modification time), and a run
// stopped by SIGINT leaves only complete frames. Bad input is refused.
TEST(Movie, ExactFramesRangesResumptionAndRefusals) {
  const TTempDir dir;
  const fs::path& d = dir.Path;
  const std::string R = Quoted(WIROLOT_RENDER), D = Quoted(d);
  const TParamTexts a = {"-1.60", "1.6", "-1.2", "1.2", "-3", "3", "-2", "2", "30.0"},
                    b = {"-0.40", "-0.1", "0.05", "0.25", "-2.5", "2.5", "-2", "2", "30.0"};
  std::ofstream map(d / "counts.map");  // counts 1 to 29; the limit, 30, is 30 x 4112 = 0x01e1e0
  for (TColor c = ColorOf(1); c < ColorOf(30); c += ColorOf(1))
    map << +RedOf(c) << ' ' << +GreenOf(c) << ' ' << +BlueOf(c) << std::endl;
  ASSERT_EQ(RunIn(d, R + " --julia --palette " + D + "/counts.map --inside e0e101 --size 40x25 --out " + D + "/a.png" +
                         Args(a)).Status, 0);
  ASSERT_EQ(RunIn(d, R + " --julia --size 40x40 --out " + D + "/b.png" + Args(b)).Status, 0);
  const std::string movie = R + " --movie " + D + "/a.png " + D + "/b.png --frames 12 --size 48x30 --out ";
  const TOutcome whole = RunIn(d, movie + D + "/f");
  ASSERT_TRUE(whole.Status == 0 && whole.Said.empty()) << whole.Status << ": " << whole.Said;
  const auto f = [&](int n) { return d / "f" / FrameName(n); };
  const TColouring own = ReadView(d / "a.png").Colouring;
  TParamTexts last = b;
  std::copy(a.begin() + 4, a.begin() + 8, last.begin() + 4);
  EXPECT_EQ(ReadView(f(1)), (TView{J, a, ".", 48, 30, own}));
  EXPECT_EQ(ReadView(f(12)), (TView{J, last, ".", 48, 30, own}));
  for (int n = 1; n <= 12; ++n) {
    const TView view = ReadView(f(n));
    EXPECT_TRUE(view.Width == 48 && view.Height == 30 && view.Colouring == own &&
                std::equal(a.begin() + 4, a.end(), view.Texts.begin() + 4)) << n;
    EXPECT_TRUE(Shows(f(n), view, -1)) << n;
  }
  EXPECT_FALSE(fs::exists(f(13)));

  ASSERT_EQ(RunIn(d, movie + D + "/g --frame-range 7-12").Status, 0);
  ASSERT_EQ(RunIn(d, movie + D + "/g --frame-range 1-6").Status, 0);
  for (int n = 1; n <= 12; ++n) EXPECT_EQ(Contents(f(n)), Contents(d / "g" / FrameName(n))) << n;

  ASSERT_EQ(RunIn(d, R + " --from " + Quoted(f(3)) + " --size 48x31 --out " + Quoted(f(3))).Status, 0);
  const std::string cut = Contents(f(4));
  std::ofstream(f(4), std::ios::binary) << cut.substr(0, cut.size() - 20);
  fs::remove(f(5));
  fs::copy_file(f(7), f(6), fs::copy_options::overwrite_existing);
  ASSERT_EQ(RunIn(d, R + " --from " + Quoted(f(7)) + " --palette grey --out " + Quoted(f(7))).Status, 0);
  const auto past = fs::last_write_time(f(1)) - std::chrono::hours(24);
  for (int n = 1; n <= 12; ++n)
    if (n != 5) fs::last_write_time(f(n), past);
  ASSERT_EQ(RunIn(d, movie + D + "/f").Status, 0);
  for (int n = 1; n <= 12; ++n) {
    EXPECT_EQ(fs::last_write_time(f(n)) != past, n >= 3 && n <= 7) << n;
    EXPECT_EQ(Contents(f(n)), Contents(d / "g" / FrameName(n))) << n;
  }

  // SIGINT once frame 2 is there, while frame 3, a FIFO nobody reads, holds
  // the run: frames 1 and 2 stay, complete, and nothing else; the run again
  // keeps them and draws the rest.
  const fs::path h = d / "h";
  fs::create_directory(h);
  ASSERT_EQ(mkfifo((h / FrameName(3)).c_str(), 0600), 0);
  const pid_t run = fork();
  if (run == 0) {
    const std::string command = "exec " + movie + Quoted(h) + " 2>" + Quoted(d / "err");
    execl("/bin/sh", "sh", "-c", command.c_str(), nullptr);
    _exit(127);
  }
  while (!fs::exists(h / FrameName(2)) && waitpid(run, nullptr, WNOHANG) == 0) usleep(10'000);
  kill(run, SIGINT);
  int wait = 0;  // a run that ignores the signal is ended after a minute
  for (int i = 0; i < 6000 && waitpid(run, &wait, WNOHANG) == 0; ++i) usleep(10'000);
  if (kill(run, SIGKILL) == 0) waitpid(run, &wait, 0);
  EXPECT_TRUE(WIFEXITED(wait) && WEXITSTATUS(wait) == 1) << wait;
  EXPECT_NE(Contents(d / "err").find("interrupted"), std::string::npos) << Contents(d / "err");
  EXPECT_FALSE(LeftoverIn(h));
  fs::remove(h / FrameName(3));
  EXPECT_EQ(std::distance(fs::directory_iterator(h), {}), 2);
  for (int n = 1; n <= 2; ++n) {
    EXPECT_EQ(Contents(h / FrameName(n)), Contents(d / "g" / FrameName(n))) << n;
    fs::last_write_time(h / FrameName(n), past);
  }
  ASSERT_EQ(RunIn(d, movie + Quoted(h)).Status, 0);
  for (int n = 1; n <= 12; ++n) {
    EXPECT_EQ(fs::last_write_time(h / FrameName(n)) != past, n > 2) << n;
    EXPECT_EQ(Contents(h / FrameName(n)), Contents(d / "g" / FrameName(n))) << n;
  }

  // Bad input: status 2, a message saying what is wrong, no frame written.
  ASSERT_EQ(RunIn(d, R + " --size 32x24 --out " + D + "/m.png").Status, 0);
  const std::string deep = " --julia --size 32x24 --out " + D + "/deep.png -- 0.75 0.7500001 0 0.0000001 -3 3 -2 2 15";
  ASSERT_EQ(RunIn(d, R + deep).Status, 0);
  std::ofstream(d / "damaged.png", std::ios::binary) << Contents(d / "a.png").substr(0, 60);
  std::ofstream(d / "file") << "a file";
  const std::string A = R + " --movie " + D + "/a.png " + D, O = " --out " + D + "/o";
  const std::pair<std::string, std::string> runs[] = {
      {A + "/damaged.png --frames 5" + O, "damaged.png': damaged PNG"},
      {A + "/b.png " + D + "/m.png --frames 5" + O, "a.png' is Julia and '" + d.string() + "/m.png' is Mandelbrot"},
      {movie + D + "/file", "cannot make the folder"},
      {A + "/deep.png --frames 40 --size 320x240" + O, "coordinate at 320x240: the path may go as deep as frame"},
      {movie + D + "/o --frame-range 4-13", "--frame-range 4-13 goes past the 12 frames"},
      {movie + D + "/o --video " + D + "/m.avi", "must end in .mp4, .webm or .mkv"},
      // Only the emulator, if there is one, on PATH.
      {"mkdir -p " + D + "/bin && { ! e=$(command -v qemu-aarch64) || ln -sf $e " + D + "/bin/; } && PATH=" + D +
           "/bin " + movie + D + "/o --video " + D + "/m.mp4",
       "--video needs ffmpeg, which is not on PATH; install the package ffmpeg"},
  };
  for (const auto& [command, message] : runs) {
    Check(d, {command, 2, message});
    EXPECT_TRUE(!fs::exists(d / "o") || fs::is_empty(d / "o")) << command;
  }
}

// ffmpeg's videos: the frames' count, codec, pixel format, size (odd sides
// cut to even) and rate, with frames drawn and with frames already there; the
// last keyframe's texts written with another decimal separator.
TEST(Movie, Video) {
  if (std::system("command -v ffmpeg >/dev/null && command -v ffprobe >/dev/null") != 0)
    GTEST_SKIP() << "no ffmpeg (scripts/deps.sh installs it)";
  const TTempDir dir;
  const fs::path& d = dir.Path;
  const std::string R = Quoted(WIROLOT_RENDER), D = Quoted(d);
  ASSERT_EQ(RunIn(d, R + " --size 33x21 --out " + D + "/a.png").Status, 0);
  ASSERT_EQ(RunIn(d, "LC_ALL=pl_PL.UTF-8 " + R + " --size 33x21 --out " + D +
                         "/b.png -- -1 0 -0,5 0,5 -3 3 -2 2 1000").Status, 0);
  const std::string movie = R + " --movie " + D + "/a.png " + D + "/b.png --frames 9 --out " + D + "/f --video ";
  const std::string probe = "ffprobe -v error -count_frames -show_entries "
                            "stream=codec_name,pix_fmt,width,height,r_frame_rate,nb_read_frames -of csv=p=0 ";
  const std::tuple<std::string, std::string, std::string> videos[] = {
      {"m.mp4", " --fps 25", "h264,32,20,yuv420p,25/1,9"},
      {"m.webm", "", "vp9,32,20,yuv420p,30/1,9"},
      {"m.mkv", " --fps 12", "h264,32,20,yuv420p,12/1,9"},
  };
  for (const auto& [file, fps, expected] : videos) {
    Check(d, {movie + D + "/" + file + fps, 0});
    EXPECT_EQ(RunIn(d, probe + D + "/" + file + " >&2").Said, expected + "\n") << file;
  }
}

using TArgs = std::vector<std::string_view>;

// The words of `line`, split at single spaces.
TArgs Words(std::string_view line) {
  TArgs words;
  for (const auto word : std::views::split(line, ' ')) words.emplace_back(word.begin(), word.end());
  return words;
}

// The message of the EUsageError `args` raise (the program then ends with
// status 2), or "accepted".
std::string Refusal(const TArgs& args) try {
  ParseArguments(args);
  return "accepted";
} catch (const EUsageError& e) {
  return e.what();
}

// Options anywhere among the texts or keyframes, texts after "--" whatever
// they start with, nothing read after --help, a movie only where --movie comes
// before "--" and --help; each refusal, and each range at and past its ends.
TEST(Options, ReadsAndRefuses) {
  const std::pair<const char*, TOptions> valid[] = {
      {"", {.Out = "wirolot.png"}}, {"--julia --help --movie --bad", {.Help = true}},
      {"-1 1 --julia -,5 ,5 --size 65535x1 --out - --palette fire --period 2147483647 --offset 0 --inside A0b0C0 "
       "--supersample 8 -- --julia - --movie 2 9",
       {.Width = 65535, .Height = 1, .Out = "-", .Command = J,
        .Texts = {"-1", "1", "-,5", ",5", "--julia", "-", "--movie", "2", "9"}, .Palette = "fire",
        .Period = 2147483647, .Offset = 0, .Supersample = 8, .Inside = RGB(0xa0, 0xb0, 0xc0)}},
      {"k1 --frames 1000000 --movie --size 4x3 --fps 1000 --reference --frame-range 999999-1000000 -- --k2",
       {.Movie = true, .Engine = TEngine::Reference, .Width = 4, .Height = 3, .Out = ".", .Keys = {"k1", "--k2"},
        .Frames = 1000000, .First = 999999, .Last = 1000000, .Fps = 1000}},
  };
  for (const auto& [line, expected] : valid) EXPECT_TRUE(ParseArguments(Words(line)) == expected) << line;

  const std::string from = "--from takes the command and the texts from the file; give neither with it";
  const std::pair<const char*, std::string> cases[] = {
      {"--julia --size", "--size needs a value"}, {"--movie --fps", "--fps needs a value"},
      {"--sizes 5x5", "unknown option '--sizes'"}, {"k1 --movie --help", "unknown option '--help'"},
      {"--movie --supersample 2", "unknown option '--supersample'"}, {"--movie k1 k2", "--movie needs --frames N"},
      {"--julia --from a", from}, {"--from a -- -3", from}, {"-3 3 -2", "give all nine parameter texts or none (got 3)"},
      {"--movie k1 --frames 5", "--movie needs two keyframes or more (got 1)"},
      {"--movie k1 k2 --frames 3 --frame-range 1-2 --video m", "--video makes the whole movie; give it without --frame-range"},
      {"--movie --from a.png", "--movie takes the command and the views from its keyframes; give no --from"},
      {"--movie --julia", "--movie takes the command and the views from its keyframes; give no --julia"},
      {"--from a --size 1x65535 --period 1 --offset 2147483647 --supersample 1", "accepted"},
      {"--movie k1 k2 --frames 1 --fps 1 --frame-range 1-1", "accepted"},
  };
  for (const auto& [line, message] : cases) EXPECT_EQ(Refusal(Words(line)), message) << line;

  // Bad values: "bad <what> '<value>' (expected <what is expected>)".
  const std::string size = "WxH, each 1 to 65535, e.g. 487x409", movie = "--movie k1 k2 --frames 3 ";
  const std::tuple<std::string, std::string, std::string, std::vector<std::string>> values[] = {
      {"--size", "size", size, {"0x5", "5x0", "65536x1", "1x65536", "4294967297x1", "5x+5", "+5x5", "5x5x5", "-5x5"}},
      {movie + "--size", "size", size, {"5*5"}}, {"--period", "period", "1 to 2147483647", {"0", "2147483648", "+1"}},
      {"--offset", "offset", "0 to 2147483647", {"-1", "2147483648"}}, {"--supersample", "supersample", "1 to 8", {"0", "9"}},
      {"--inside", "inside", "RRGGBB in hexadecimal", {"12345", "1234567", "12345g", "+12345"}},
      {movie + "--frames", "frame count", "a whole number up to 1000000", {"0", "1000001", "-1"}},
      {movie + "--fps", "frame rate", "1 to 1000", {"0", "1001"}},
      {movie + "--frame-range", "frame range", "A-B, 1 <= A <= B, e.g. 1-100", {"0-2", "3-2", "1-1000001", "5", "1-"}},
  };
  for (const auto& [option, what, expected, refused] : values)
    for (const std::string& value : refused)
      EXPECT_EQ(Refusal(Words(option + " " + value)), "bad " + what + " '" + value + "' (expected " + expected + ")");
}

}  // namespace
}  // namespace wirolot
