#include "Mandelbrot.h"

#include <QActionGroup>
#include <QClipboard>
#include <QDir>
#include <QPushButton>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>

#include <algorithm>
#include <cmath>

#include "Convert.h"
#include "PaletteFile.h"
#include "PngStreamSurface.h"
#include "PngView.h"
#include "SaveFile.h"
#include "RenderPass.h"

using namespace wirolot;

namespace {
// Each zoom step, by wheel notch or key.
constexpr long double kZoomStep = 2;
constexpr int kNoteMilliseconds = 4000;

QString KeyText(QKeySequence::StandardKey key) {
  return QKeySequence(key).toString(QKeySequence::NativeText);
}

// The local file a drag carries, if it carries one.
QString DraggedFile(const QMimeData* data) {
  const QList<QUrl> urls = data->urls();
  return urls.size() == 1 && urls[0].isLocalFile() ? urls[0].toLocalFile() : QString();
}

QString Quoted(const QString& file) { return QString::fromUtf8("\u201e%1\u201d").arg(file); }

// A message box: what failed, and why.
void ShowFailure(const QString& what, const QString& why) {
  ShowException(Exception((what + '\n' + why).toStdString()));
}
void ShowFailure(const QString& what, const std::exception& why) {
  ShowFailure(what, QString::fromStdString(why.what()));
}
}  // namespace

TForm1::TForm1(QWidget* owner) : TForm(owner) {
  setupUi(this);
  Loaded();
  connect(Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TForm1::Button2Click);

  connect(&passes_, &TPassWorker::Finished, this, [this](TPassEnd end) {
    complete_ = end == TPassEnd::Complete;
    UpdateActions();
  });

  ConnectGestures();
  note_ = new QLabel(Image1);
  note_->setAccessibleName(tr("Uwaga"));
  note_->setStyleSheet("background: rgba(0, 0, 0, 170); color: white; padding: 6px; border-radius: 4px;");
  note_->setAttribute(Qt::WA_TransparentForMouseEvents);
  note_->hide();
  noteTimer_.setSingleShot(true);
  connect(&noteTimer_, &QTimer::timeout, note_, &QWidget::hide);

  AddContextMenu();
  connect(&movieExport_, &TMovieExport::Progress, this, [this](int frame, int frames) {
    if (!movieProgress_) return;
    movieProgress_->setValue(frame - 1);
    movieProgress_->setLabelText(tr("Klatka %1 z %2").arg(frame).arg(frames));
  });
  connect(&movieExport_, &TMovieExport::Finished, this, [this](bool complete, const QString& failure) {
    if (movieProgress_) movieProgress_->deleteLater();
    if (!failure.isEmpty())
      ShowFailure(tr("Nie mo\u017cna wyeksportowa\u0107 filmu."), failure);
    else if (complete)
      ShowNote(tr("Film zapisany"));
    UpdateActions();
  });
  for (QWidget* control : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) control->installEventFilter(this);
  setAcceptDrops(true);
  UpdateActions();
}

void TForm1::ConnectGestures() {
  auto* gestures = new TPictureGestures(*Image1);
  connect(gestures, &TPictureGestures::AreaChosen, this, [this](QRectF area) {
    MoveView([area](const TViewGeometry& g, const TComplexRect&) {
      return TPlaneRect{g.Re(area.left()), g.Re(area.right()), g.Im(area.top()), g.Im(area.bottom())};
    });
  });
  connect(gestures, &TPictureGestures::Wheeled, this, [this](QPointF at, int notches) {
    MoveView([at, notches](const TViewGeometry& g, const TComplexRect& r) {
      return ZoomedAbout(r, g.Re(at.x()), g.Im(at.y()), std::pow(kZoomStep, notches));
    });
  });
  connect(gestures, &TPictureGestures::Dragged, this, [this](QPointF shift) {
    // What lay `shift` before the first sample comes to lie at it.
    MoveView([shift](const TViewGeometry& g, const TComplexRect& r) {
      const long double re = g.Re(1 - shift.x()) - g.Re(1), im = g.Im(1 - shift.y()) - g.Im(1);
      return TPlaneRect{r.Cremin + re, r.Cremax + re, r.Cimmin + im, r.Cimmax + im};
    });
  });
}

void TForm1::AddContextMenu() {
  Image1->setContextMenuPolicy(Qt::ActionsContextMenu);
  save_ = AddAction(tr("Zapisz obraz\u2026"), QKeySequence::keyBindings(QKeySequence::Save), [this] { SaveAs(); });
  copy_ = AddAction(tr("Kopiuj obraz"), {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C)}, [this] { CopyPicture(); });
  exportAction_ = AddAction(tr("Eksportuj\u2026"), {QKeySequence(Qt::CTRL | Qt::Key_E)}, [this] { ExportPicture(); });
  exportMovie_ = AddAction(tr("Eksportuj film\u2026"), {}, [this] { ExportMovie(); });
  AddSeparator();
  zoomIn_ = AddAction(tr("Powi\u0119ksz"), QKeySequence::keyBindings(QKeySequence::ZoomIn),
                      [this] { ZoomAboutCentre(kZoomStep); });
  zoomOut_ = AddAction(tr("Pomniejsz"), QKeySequence::keyBindings(QKeySequence::ZoomOut),
                       [this] { ZoomAboutCentre(1 / kZoomStep); });
  back_ = AddAction(tr("Wstecz"), QKeySequence::keyBindings(QKeySequence::Back), [this] { GoBack(); });
  forward_ = AddAction(tr("Dalej"), QKeySequence::keyBindings(QKeySequence::Forward), [this] { GoForward(); });
  AddSeparator();
  AddPaletteMenu();
  AddSeparator();
  stop_ = AddAction(tr("Zatrzymaj rysowanie"), {QKeySequence(Qt::Key_Escape)}, [this] { passes_.Stop(); });
  Image1->setToolTip(tr(
                         "Lewy przycisk: zaznacz prostok\u0105t do powi\u0119kszenia (z Shift w dowolnych proporcjach)\n"
                         "K\u00f3\u0142ko myszy: powi\u0119ksz lub pomniejsz wok\u00f3\u0142 kursora\n"
                         "\u015arodkowy przycisk: przeci\u0105gnij, aby przesun\u0105\u0107 widok\n"
                         "%1 / %2: powi\u0119ksz / pomniejsz wok\u00f3\u0142 \u015brodka\n"
                         "%3 / %4 lub boczne przyciski myszy: poprzedni / nast\u0119pny widok\n"
                         "Esc: zatrzymaj rysowanie\n"
                         "Prawy przycisk: zapisz lub skopiuj obraz, wybierz palet\u0119 kolor\u00f3w, eksportuj film\n"
                         "Ctrl+E: eksportuj obraz w dowolnym rozmiarze, wyg\u0142adzony i w wybranej palecie\n"
                         "Upuszczony plik PNG z zapisanym widokiem otwiera ten widok")
                         .arg(KeyText(QKeySequence::ZoomIn), KeyText(QKeySequence::ZoomOut),
                              KeyText(QKeySequence::Back), KeyText(QKeySequence::Forward)));
}

QAction* TForm1::AddAction(const QString& caption, const QList<QKeySequence>& keys, const std::function<void()>& run) {
  auto* action = new QAction(caption, Image1);
  action->setShortcuts(keys);
  connect(action, &QAction::triggered, this, run);
  Image1->addAction(action);
  return action;
}

void TForm1::AddPaletteMenu() {
  auto* menu = new QMenu(Image1);
  auto* group = new QActionGroup(menu);
  for (const TBuiltInPalette& palette : BuiltInPalettes()) {
    const QString name = palette.Colours.empty() ? tr("kolory licznik\u00f3w") : palette.Name;
    QAction* action = menu->addAction(name, this, [this, colours = palette.Colours] { ChoosePalette(colours); });
    action->setCheckable(true);
    group->addAction(action);
    palettes_.push_back(action);
  }
  menu->addSeparator();
  menu->addAction(tr("z pliku\u2026"), this, [this] {
    const QString file = QFileDialog::getOpenFileName(this, tr("Paleta"), QString(),
                                                      tr("Palety (*.map *.gpl *.ggr);;Wszystkie pliki (*)"));
    if (!file.isEmpty()) ChoosePaletteFile(file);
  });
  auto* action = new QAction(tr("Paleta"), Image1);
  action->setMenu(menu);
  Image1->addAction(action);
}

void TForm1::ChoosePalette(const std::vector<TColor>& palette) {
  colouring_ = {palette};
  if (counts_) counts_->Recolour(colouring_);
  if (shown_) {
    shown_->Colouring = colouring_;
    history_.Record(*shown_);
  }
  UpdateActions();
}

void TForm1::ChoosePaletteFile(const QString& file) {
  try {
    ChoosePalette(LoadPalette(QFile::encodeName(file).toStdString()));
  } catch (const std::exception& failure) {
    ShowFailure(tr("Nie mo\u017cna wczyta\u0107 palety z %1.").arg(Quoted(file)), failure);
  }
}

void TForm1::ExportPicture() {
  if (!shown_) return;
  if (!export_ || !export_->Running()) {
    delete export_;
    export_ = new TExportDialog(*shown_, this);
    export_->setAttribute(Qt::WA_DeleteOnClose);
    connect(export_, &TExportDialog::Finished, this, [this](bool written, const QString& error) {
      const QString file = export_->File->text();
      if (written)
        ShowNote(tr("Zapisano %1").arg(Quoted(file)));
      else if (!error.isEmpty())
        ShowFailure(tr("Nie mo\u017cna zapisa\u0107 obrazu w %1.").arg(Quoted(file)), error);
    });
  }
  export_->show();
  export_->raise();
  export_->activateWindow();
}

void TForm1::AddSeparator() {
  auto* separator = new QAction(Image1);
  separator->setSeparator(true);
  Image1->addAction(separator);
}

void TForm1::UpdateActions() {
  save_->setEnabled(shown_ && complete_);
  copy_->setEnabled(Image1->HasCanvas());
  exportAction_->setEnabled(shown_.has_value());
  back_->setEnabled(history_.CanGoBack());
  forward_->setEnabled(history_.CanGoForward());
  stop_->setEnabled(passes_.Running());
  exportMovie_->setEnabled(history_.Size() > 0 && !movieExport_.Running());
  const auto& builtIns = BuiltInPalettes();
  for (std::size_t i = 0; i < palettes_.size(); ++i)
    palettes_[i]->setChecked(builtIns[i].Colours == colouring_.Palette);
}

std::array<TEdit*, 9> TForm1::ParamFields() const {
  return {Edit1, Edit2, Edit3, Edit4, Edit5, Edit7, Edit8, Edit9, Edit6};
}

TParamTexts TForm1::ParamTexts() const {
  TParamTexts texts;
  std::ranges::transform(ParamFields(), texts.begin(), &TEdit::GetText);
  return texts;
}

void TForm1::SetParamTexts(const TParamTexts& texts) {
  const std::array<TEdit*, 9> fields = ParamFields();
  for (std::size_t i = 0; i < texts.size(); ++i) {
    fields[i]->setText(QString::fromStdString(texts[i]));
    fields[i]->setCursorPosition(0);  // the sign and the leading digits in sight
  }
}

void TForm1::Button1Click() { RunCommand(TOrbitKind::Mandelbrot); }

void TForm1::Button2Click() { RunCommand(TOrbitKind::Julia); }

void TForm1::StartPass(TOrbitKind command) {
  // Nothing of an earlier pass reaches the picture once it is cleared.
  passes_.Abandon();
  shown_.reset();
  counts_.reset();
  TImage::TCanvas& canvas = *Image1->GetCanvas();
  ClearPicture(canvas);
  UpdateActions();
  const TParamTexts texts = ParamTexts();
  const TRenderParams params = ConvertTexts(texts);
  lastCommand_ = command;
  shown_ = TView{command, texts, LocaleDecimalSeparator(), canvas.Width(), canvas.Height(), colouring_};
  complete_ = false;
  history_.Record(*shown_);
  counts_ = std::make_unique<TCountSurface>(canvas, StepLimit(command, params.Csample), colouring_);
  passes_.Start(command, params, *counts_, *ProgressBar1);
  UpdateActions();
}

void TForm1::RunCommand(TOrbitKind command) {
  try {
    StartPass(command);
  } catch (...) {
    ShowCurrentException();
  }
}

void TForm1::MoveView(const TRegionMove& to) {
  TParamTexts texts = ParamTexts();
  TComplexRect region;
  try {
    region = ConvertTexts(texts).Region;
  } catch (...) {
    ShowCurrentException();
    return;
  }
  const QSize size = Image1->CanvasSize();
  const TReach reach =
      Reach(region, to(TViewGeometry(region, size.width(), size.height()), region), size.width(), size.height());
  if (reach.Limited)
    ShowNote(tr("Granica pojedynczej precyzji: s\u0105siednie punkty mia\u0142yby t\u0119 sam\u0105 "
                "wsp\u00f3\u0142rz\u0119dn\u0105 albo wysz\u0142yby poza jej zakres."));
  const float bounds[] = {reach.Region.Cremin, reach.Region.Cremax, reach.Region.Cimmin, reach.Region.Cimmax};
  const float before[] = {region.Cremin, region.Cremax, region.Cimmin, region.Cimmax};
  if (std::equal(std::begin(bounds), std::end(bounds), std::begin(before))) return;
  const std::string separator = LocaleDecimalSeparator();
  for (std::size_t t = TextAt::Cremin; t <= TextAt::Cimmax; ++t) texts[t] = ShortestText(bounds[t], separator);
  SetParamTexts(texts);
  RunCommand(lastCommand_);
}

void TForm1::ZoomAboutCentre(long double factor) {
  MoveView([factor](const TViewGeometry&, const TComplexRect& r) {
    return ZoomedAbout(r, (static_cast<long double>(r.Cremin) + r.Cremax) / 2,
                       (static_cast<long double>(r.Cimmin) + r.Cimmax) / 2, factor);
  });
}

void TForm1::GoBack() {
  if (history_.CanGoBack()) Show(history_.Back());
}

void TForm1::GoForward() {
  if (history_.CanGoForward()) Show(history_.Forward());
}

void TForm1::Show(const TView& view) {
  SetParamTexts(view.Texts);
  colouring_ = view.Colouring;
  RunCommand(view.Command);
}

void TForm1::SaveAs() {
  if (!save_->isEnabled()) return;
  const QString file =
      QFileDialog::getSaveFileName(this, tr("Zapisz obraz"), "wirolot.png", tr("Obrazy PNG (*.png)"));
  if (!file.isEmpty()) SavePicture(file);
}

bool TForm1::SavePicture(const QString& file) {
  const TImage::TCanvas* canvas = Image1->Canvas();
  if (!shown_ || !complete_ || !canvas) return false;
  TView view = *shown_;
  view.Width = canvas->Width();
  view.Height = canvas->Height();
  try {
    SaveFile(file, [&](const TPngStreamSurface::TWriter& write) {
      // The encoder thread writes while this one hands over rows; never both.
      TPngStreamSurface png(view, PaintedColours(view.Colouring, counts_->Limit()), write);
      std::vector<TColor> row(std::size_t(canvas->Width()));
      for (int y = 0; y < canvas->Height(); ++y) {
        for (int x = 0; x < canvas->Width(); ++x) row[std::size_t(x)] = canvas->Pixel(x, y);
        png.PlotRow(0, y, row);
      }
      png.Finish();
      return true;
    });
  } catch (const std::exception& failure) {
    ShowFailure(tr("Nie mo\u017cna zapisa\u0107 obrazu w %1.").arg(Quoted(file)), failure);
    return false;
  }
  ShowNote(tr("Zapisano %1").arg(Quoted(file)));
  return true;
}

void TForm1::OpenPicture(const QString& file) {
  TView view;
  try {
    view = ReadView(QFile::encodeName(file).toStdString());
  } catch (const std::exception& failure) {
    ShowFailure(tr("Nie mo\u017cna otworzy\u0107 widoku z %1.").arg(Quoted(file)), failure);
    return;
  }
  // The texts as they would be typed here.
  const std::string separator = LocaleDecimalSeparator();
  for (std::string& text : view.Texts)
    for (std::size_t at = 0; (at = text.find(view.DecimalSeparator, at)) != std::string::npos; at += separator.size())
      text.replace(at, view.DecimalSeparator.size(), separator);
  view.Colouring.Supersample = 1;  // the window takes one sample a pixel
  Show(view);
}

void TForm1::ExportMovie() {
  if (!exportMovie_->isEnabled()) return;
  const QSize size = Image1->HasCanvas() ? Image1->CanvasSize() : QSize(487, 409);
  auto* dialog = new TMovieDialog(this, int(history_.Size()), int(history_.Current()), size,
                                  [this](const TMovieRequest& request) { return StartMovie(request); });
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->open();
}

bool TForm1::StartMovie(const TMovieRequest& request) {
  if (movieExport_.Running()) return false;
  std::vector<TView> keys;
  std::vector<std::string> names;
  for (std::size_t index : {request.From, request.To}) {
    keys.push_back(history_.At(index));
    names.push_back(tr("widok %1").arg(index + 1).toStdString());
  }
  try {
    TMovie movie(keys, names, request.Frames, request.Width, request.Height);
    if (!QDir().mkpath(request.Folder))
      throw Exception(tr("Nie mo\u017cna utworzy\u0107 folderu %1.").arg(Quoted(request.Folder)).toStdString());
    movieExport_.Start(std::move(movie), request.Folder);
  } catch (const std::exception& failure) {
    ShowFailure(tr("Nie mo\u017cna wyeksportowa\u0107 filmu."), failure);
    return false;
  }
  movieProgress_ = new QProgressDialog(tr("Klatka 1 z %1").arg(request.Frames), tr("Anuluj"), 0,
                                       request.Frames, this);
  movieProgress_->setWindowTitle(tr("Eksport filmu"));
  movieProgress_->setWindowModality(Qt::NonModal);
  movieProgress_->setAutoClose(false);
  movieProgress_->setAutoReset(false);
  movieProgress_->setMinimumDuration(0);
  connect(movieProgress_, &QProgressDialog::canceled, &movieExport_, &TMovieExport::Stop);
  movieProgress_->show();
  UpdateActions();
  return true;
}

void TForm1::CopyPicture() {
  if (const TImage::TCanvas* canvas = Image1->Canvas()) QGuiApplication::clipboard()->setImage(canvas->Bitmap());
}

void TForm1::ShowNote(const QString& text) {
  note_->setText(text);
  note_->setAccessibleDescription(text);
  note_->setWordWrap(true);
  note_->setFixedWidth(std::min(Image1->width() - 16, 360));
  note_->adjustSize();
  note_->move((Image1->width() - note_->width()) / 2, 8);
  note_->show();
  note_->raise();
  noteTimer_.start(kNoteMilliseconds);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  // A file dropped on a field opens it too, rather than pasting its name.
  switch (event->type()) {
    case QEvent::DragEnter:
      dragEnterEvent(static_cast<QDragEnterEvent*>(event));
      return event->isAccepted();
    case QEvent::DragMove:
      return !DraggedFile(static_cast<QDragMoveEvent*>(event)->mimeData()).isEmpty();
    case QEvent::Drop:
      if (DraggedFile(static_cast<QDropEvent*>(event)->mimeData()).isEmpty()) break;
      dropEvent(static_cast<QDropEvent*>(event));
      return true;
    default:
      break;
  }
  if (event->type() == QEvent::MouseButtonPress) {
    const Qt::MouseButton button = static_cast<QMouseEvent*>(event)->button();
    if (button == Qt::BackButton || button == Qt::ForwardButton) {
      button == Qt::BackButton ? GoBack() : GoForward();
      return true;
    }
  }
  return TForm::eventFilter(watched, event);
}

void TForm1::mousePressEvent(QMouseEvent* event) {
  if (!eventFilter(this, event)) TForm::mousePressEvent(event);
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
  if (DraggedFile(event->mimeData()).isEmpty())
    event->ignore();
  else
    event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event) {
  const QString file = DraggedFile(event->mimeData());
  if (file.isEmpty()) return;
  event->acceptProposedAction();
  OpenPicture(file);
}
