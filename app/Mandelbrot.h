// The main window.
#pragma once

#include <QAction>
#include <QLabel>
#include <QPointer>
#include <QProgressDialog>
#include <QTimer>

#include <array>
#include <functional>
#include <memory>
#include <optional>

#include "ColourSurfaces.h"
#include "ExportDialog.h"
#include "MovieDialog.h"
#include "MovieExport.h"
#include "Orbits.h"
#include "PassWorker.h"
#include "PictureGestures.h"
#include "Vcl.h"
#include "ViewGeometry.h"
#include "ViewHistory.h"
#include "ui_Mandelbrot.h"

class TForm1 : public TForm, public Ui::TForm1 {
  Q_OBJECT

 public:
  explicit TForm1(QWidget* owner = nullptr);

  // The buttons' handlers: each draws with its command; a failure is shown in
  // a message box.
  void Button1Click();
  void Button2Click();

  // The passes that draw the picture.
  TPassWorker& Passes() { return passes_; }
  // Writes the picture with its view to `file` as a PNG, completely or not at
  // all; a failure is shown in a message box.
  bool SavePicture(const QString& file);
  // Fills the fields from the view a PNG file holds and draws it; a file
  // without a view is refused in a message box.
  void OpenPicture(const QString& file);
  // A movie through two views of the history drawn into its folder in the
  // background; a failure to start is shown in a message box.
  bool StartMovie(const TMovieRequest& request);
  TMovieExport& MovieExport() { return movieExport_; }
  // The note shown over the picture; empty when none is.
  QString Note() const { return note_->isVisible() ? note_->text() : QString(); }
  // Colours the picture, and the passes after it, in the palette: at once,
  // from the counts of the last pass, without computing them again.
  void ChoosePalette(const std::vector<wirolot::TColor>& palette);
  // The same with the palette in a file; one that cannot be read is refused
  // in a message box.
  void ChoosePaletteFile(const QString& file);
  // Opens the export dialog for the view shown, or raises the one exporting.
  void ExportPicture();
  TExportDialog* Exporting() const { return export_; }

 protected:
  // Mouse back and forward buttons, and files dropped, over any control.
  bool eventFilter(QObject* watched, QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // The fields in parameter order: region, box, Csample.
  std::array<TEdit*, 9> ParamFields() const;
  wirolot::TParamTexts ParamTexts() const;
  void SetParamTexts(const wirolot::TParamTexts& texts);
  // Clears the picture, converts the fields (raising on a bad one) and hands
  // the pass to the worker.
  void StartPass(wirolot::TOrbitKind command);
  // As the command's button does it: a failure is shown in a message box.
  void RunCommand(wirolot::TOrbitKind command);
  // Writes the region `to` gives for the fields' view into the region's fields,
  // as far as single precision allows, and draws it with the last command.
  using TRegionMove = std::function<wirolot::TPlaneRect(const wirolot::TViewGeometry&, const wirolot::TComplexRect&)>;
  void MoveView(const TRegionMove& to);
  void ZoomAboutCentre(long double factor);
  void GoBack();
  void GoForward();
  void Show(const wirolot::TView& view);
  void SaveAs();
  void CopyPicture();
  // The dialog that asks for a movie's views, frames, size and folder.
  void ExportMovie();
  void ShowNote(const QString& text);
  void ConnectGestures();
  // The picture's context menu; the keys work anywhere in the window.
  void AddContextMenu();
  void AddPaletteMenu();
  QAction* AddAction(const QString& caption, const QList<QKeySequence>& keys, const std::function<void()>& run);
  void AddSeparator();
  void UpdateActions();

  TPassWorker passes_;
  wirolot::TOrbitKind lastCommand_ = wirolot::TOrbitKind::Mandelbrot;
  TViewHistory history_;
  // The view the picture shows, and whether its pass has ended complete.
  std::optional<wirolot::TView> shown_;
  bool complete_ = false;
  // How the picture is coloured, and the counts of the last pass, which the
  // pass paints on the picture through it.
  wirolot::TColouring colouring_;
  std::unique_ptr<wirolot::TCountSurface> counts_;
  QLabel* note_;  // over the picture
  QTimer noteTimer_;
  QAction *save_, *copy_, *zoomIn_, *zoomOut_, *back_, *forward_, *stop_, *exportMovie_;
  std::vector<QAction*> palettes_;  // the built-ins, in their order
  QAction* exportAction_;
  QPointer<TExportDialog> export_;
  TMovieExport movieExport_;
  QPointer<QProgressDialog> movieProgress_;  // while a movie is exported
};
