// A zoom movie's frames written off the user-interface thread, as
// wirolot-render --movie writes them: frames already complete are kept,
// every other is drawn and written whole or not at all.
#pragma once

#include <QObject>
#include <QString>

#include <optional>
#include <stop_token>
#include <thread>

#include "MovieFrames.h"

class TMovieExport : public QObject {
  Q_OBJECT

 public:
  explicit TMovieExport(QObject* parent = nullptr) : QObject(parent) {}
  // Stops the export under way and waits for it.
  ~TMovieExport() override;

  // Starts writing the frames of `movie` into `folder`, which exists.
  void Start(wirolot::TMovie movie, const QString& folder);
  // Asks the export under way to stop; the frames complete stay.
  void Stop() { thread_.request_stop(); }
  bool Running() const { return running_; }

 signals:
  // Frame `frame` of `frames` is under way.
  void Progress(int frame, int frames);
  // The export has ended: complete, stopped, or failed with `failure`.
  void Finished(bool complete, const QString& failure);

 private:
  void Run(std::stop_token stop, const wirolot::TMovie& movie, const QString& folder);

  bool running_ = false;
  std::optional<wirolot::TMovie> movie_;
  std::jthread thread_;
};
