#include "Picture.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include <unistd.h>

#include "Convert.h"
#include "Messages.h"
#include "PngView.h"
#include "WritePicture.h"

namespace wirolot {

namespace {

// Holds at 99% until Complete: the file is done only after the pass.
class TTerminalProgress final : public IProgressSink {
 public:
  explicit TTerminalProgress(bool enabled) : enabled_(enabled) {}
  ~TTerminalProgress() override { End(); }
  void SetPosition(int position) override { Show(std::clamp(position, 0, 99)); }
  void Complete() {
    Show(100);
    End();
  }
  // Ends the bar's line, if one is shown.
  void End() {
    if (enabled_ && shown_ >= 0) std::fputs("\n", stderr);
    shown_ = -1;
  }

 private:
  void Show(int position) {
    if (!enabled_ || position == shown_) return;
    shown_ = position;
    constexpr int kWidth = 40;
    const int filled = shown_ * kWidth / 100;
    std::fprintf(stderr, "\r[%.*s%*s] %3d%%", filled, "########################################",
                 kWidth - filled, "", shown_);
    std::fflush(stderr);
  }

  bool enabled_;
  int shown_ = -1;
};

// The view `o` asks for. Raises EUsageError, or the Exception of a --from
// file or a palette that cannot be used.
TView ViewOf(const TOptions& o) {
  TView view;
  if (o.From) {
    view = ReadView(*o.From);
  } else {
    view.Command = o.Command;
    view.Texts = o.Texts;
    view.DecimalSeparator = LocaleDecimalSeparator();
  }
  if (o.Width) {
    view.Width = o.Width;
    view.Height = o.Height;
  }
  view.Colouring = ApplyColouring(o, view.Colouring);
  return view;
}

}  // namespace

int RunPicture(const TOptions& options, TInterrupts& interrupts) {
  TView view;
  try {
    view = ViewOf(options);
    ConvertTexts(view.Texts, view.DecimalSeparator);  // a text that does not convert is bad input, before any file
  } catch (const EUsageError& e) {
    return UsageError(e.what());
  } catch (const Exception& e) {
    return Failure(2, e.what());
  }
  if (const std::string problem = ViewProblem(view); !problem.empty())
    return Failure(2, "cannot store the view: " + problem);

  const std::string& out = options.Out;
  TTerminalProgress progress(isatty(STDERR_FILENO));
  bool written = false;
  try {
    written = WritePicture(view, out, options.Engine, interrupts, progress);
  } catch (const std::exception& e) {
    if (!interrupts.Token().stop_requested()) {
      progress.End();
      return Failure(1, e.what());
    }
  }
  if (!written) {
    progress.End();
    return Failure(1, "interrupted; '" + (out == "-" ? std::string("standard output") : out) + "' not written");
  }
  progress.Complete();
  return 0;
}

}  // namespace wirolot
