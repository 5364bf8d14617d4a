// A zoom movie's frames written off the user-interface thread, as
// wirolot-render --movie writes them: frames already complete are kept,
// every other is drawn and written whole or not at all.
#pragma once

#include <QObject>
#include <QString>

#include <optional>
#include <stop_token>
#include <string>
#include <thread>

#include "Mailbox.h"
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
  // What the export thread said since it was last looked at.
  struct TState {
    int Frame = 0, Frames = 0;  // the frame under way; 0: no news
    bool Ended = false, Complete = false;
    std::string Failure;
  };

  void Run(std::stop_token stop, const wirolot::TMovie& movie, const QString& folder);
  // User-interface thread: emits what the state says.
  void Deliver();

  // User-interface thread only.
  bool running_ = false;
  int shown_ = 0;  // the frame last emitted
  std::optional<wirolot::TMovie> movie_;

  TMailbox<TState> mailbox_{this, [this] { Deliver(); }};
  std::jthread thread_;  // last: it goes first
};
