// A video made by ffmpeg from PNG frames piped to it, written under a
// temporary name and renamed only once complete.
#pragma once

#include <string>

#include <sys/types.h>

#include "Interrupts.h"
#include "OutputFile.h"

namespace wirolot {

class TVideo {
 public:
  // What keeps `file` from being a video this program makes (its ending is
  // not .mp4, .webm or .mkv, or ffmpeg is not on PATH); empty if nothing does.
  static std::string Problem(const std::string& file);

  // Starts ffmpeg, writing `file` at `fps` frames a second: H.264 yuv420p
  // for .mp4 and .mkv, VP9 yuv420p for .webm, at a quality that looks
  // lossless; a picture with an odd side loses its last column or row.
  // Raises EOutputError if it cannot.
  TVideo(const std::string& file, int fps, TInterrupts& interrupts);
  // Ends ffmpeg if it still runs; the temporary file goes.
  ~TVideo();
  TVideo(const TVideo&) = delete;
  TVideo& operator=(const TVideo&) = delete;

  // Hands ffmpeg the PNG file `frame`; raises EOutputError if that fails.
  void Add(const std::string& frame);
  // Lets ffmpeg finish and the video take its name, unless a stop was
  // requested first: returns whether it did. Raises EOutputError if ffmpeg fails.
  bool Finish();

 private:
  void End();

  std::string name_;
  TOutputFile file_;
  pid_t ffmpeg_ = -1;
  int input_ = -1;  // ffmpeg's standard input
};

}  // namespace wirolot
