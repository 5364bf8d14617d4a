// The choices of a zoom movie: two views of the history, the frame count, the
// frames' size and the folder they go into.
#pragma once

#include <QDialog>
#include <QSize>
#include <QString>

#include <cstddef>
#include <functional>

struct TMovieRequest {
  std::size_t From, To;  // views of the history, 0 for the oldest kept
  int Frames, Width, Height;
  QString Folder;
};

class TMovieDialog : public QDialog {
  Q_OBJECT

 public:
  // Offers views 1 to `views`, the first and `current` (counted from 0) to
  // start with, and frames of `size`. OK hands `start` the choices, and
  // closes the dialog if it takes them.
  TMovieDialog(QWidget* parent, int views, int current, QSize size, std::function<bool(const TMovieRequest&)> start);
};
