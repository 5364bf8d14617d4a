// Command-line renderer: draws one picture, or the frames of a movie, into PNG
// files.
#include <clocale>
#include <csignal>
#include <cstdio>
#include <string_view>
#include <vector>

#include "Interrupts.h"
#include "Messages.h"
#include "Movie.h"
#include "Options.h"
#include "Picture.h"

using namespace wirolot;

int main(int argc, char** argv) {
  TInterrupts interrupts;  // first: every later thread inherits its blocked signals
  std::signal(SIGPIPE, SIG_IGN);  // a closed pipe is a write error like any other
  std::setlocale(LC_ALL, "");

  const std::vector<std::string_view> args(argv + (argc > 0), argv + argc);  // after the program's name
  TOptions options;
  try {
    options = ParseArguments(args);
  } catch (const EUsageError& e) {
    return UsageError(e.what());
  }
  if (options.Help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  return options.Movie ? RunMovie(options, interrupts) : RunPicture(options, interrupts);
}
