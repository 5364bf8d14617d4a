// The export dialog: a view drawn into a PNG file of any size, supersampled
// and in any palette, in the background while the window stays live.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>

#include <optional>
#include <stop_token>
#include <thread>
#include <utility>
#include <vector>

#include "Mailbox.h"
#include "View.h"

class TExportDialog : public QDialog {
  Q_OBJECT

 public:
  // `view`: the picture shown, its size and colouring the starting choices.
  TExportDialog(const wirolot::TView& view, QWidget* parent);
  // Stops an export under way and waits for it; its file is not written.
  ~TExportDialog() override;

  // Starts writing the file with the choices made; a file name is needed.
  void Start();
  // Stops the export under way, or closes the dialog when none is.
  void Cancel();
  bool Running() const { return worker_.joinable() && !done_; }
  // The view the choices give.
  wirolot::TView Chosen() const;

  QSpinBox *Width, *Height, *Supersample;
  QCheckBox* Proportions;
  QComboBox* Palette;
  QLineEdit* File;
  QProgressBar* Progress;
  QPushButton *Export, *Stop;

 signals:
  // The export has ended: the file written in full, or not at all (`error`
  // empty when it was cancelled).
  void Finished(bool written, const QString& error);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  // What the export thread hands the dialog: the last progress position and
  // how the export ended.
  struct TState {
    int Position = -1;
    std::optional<std::pair<bool, QString>> End;
  };
  class TSink;

  // The built-in palettes to choose from, and `current` too if it is none of them.
  void AddPalettes(const std::vector<wirolot::TColor>& current);
  void Arrange(QPushButton* browse);
  void Keep(bool widthChanged);
  // The choices open to change, or not while an export runs.
  void SetChoosing(bool on);
  // Shows what the export thread has handed over.
  void Deliver();
  void Ended(bool written, const QString& error);

  const wirolot::TView view_;
  std::vector<std::vector<wirolot::TColor>> palettes_;  // by the combo box's index
  bool keeping_ = false;
  bool done_ = false;
  TMailbox<TState> mailbox_{this, [this] { Deliver(); }};
  std::jthread worker_;  // last: it goes first
};
