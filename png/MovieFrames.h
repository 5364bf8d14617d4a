// A zoom movie as a list of views: each frame's view from the keyframes'
// views and the path between them, and the frame files that hold them.
#pragma once

#include <string>
#include <vector>

#include "MoviePath.h"
#include "PngView.h"

namespace wirolot {

class TMovie {
 public:
  // `keys` are the keyframes' views, named by `names` in messages. A frame
  // has the first keyframe's view (command, box, decimal separator and
  // whatever else a view holds) at width x height, with the region and
  // Csample the path gives: a keyframe's own texts at its frame where it
  // shares the first's separator, otherwise the shortest texts of the
  // numbers. Raises EMovieError, its message naming the keyframe at fault,
  // for keyframes of two commands, a text that does not convert, keyframes
  // that make no path (TMoviePath), and a path with a frame whose
  // neighbouring samples would merge at that size.
  TMovie(const std::vector<TView>& keys, const std::vector<std::string>& names, int frames, int width, int height);

  int Frames() const { return path_.Frames(); }
  TView FrameView(int number) const;

 private:
  // Text `t` of keyframe `key`, as the frames write it.
  std::string KeyText(int key, std::size_t t) const;

  std::vector<TView> keys_;
  std::vector<TRenderParams> params_;
  TMoviePath path_;
  int width_, height_;
};

// "frame-00042.png" for frame 42.
std::string FrameFileName(int number);

// Whether `file` is a whole PNG, every row decoding, with the view `view`.
bool HoldsFrame(const std::string& file, const TView& view);

}  // namespace wirolot
