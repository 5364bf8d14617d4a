#include "ExportDialog.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include <cmath>

#include "Colouring.h"
#include "PngPicture.h"
#include "SaveFile.h"

using namespace wirolot;

// The pass's progress sink, on the computing threads.
class TExportDialog::TSink final : public IProgressSink {
 public:
  explicit TSink(TExportDialog& dialog) : dialog_(dialog) {}
  void SetPosition(int position) override {
    dialog_.mailbox_.Post([position](TState& state) { state.Position = position; });
  }

 private:
  TExportDialog& dialog_;
};

TExportDialog::TExportDialog(const TView& view, QWidget* parent) : QDialog(parent), view_(view) {
  setWindowTitle(tr("Eksport obrazu"));
  const auto side = [this](int value) {
    auto* box = new QSpinBox(this);
    box->setRange(1, kMaxSide);
    box->setValue(value);
    return box;
  };
  Width = side(view.Width);
  Height = side(view.Height);
  Proportions = new QCheckBox(tr("Zachowaj proporcje widoku"), this);
  Proportions->setChecked(true);
  Supersample = new QSpinBox(this);
  Supersample->setRange(1, kMaxSupersample);
  Supersample->setValue(view.Colouring.Supersample);
  Palette = new QComboBox(this);
  AddPalettes(view.Colouring.Palette);
  File = new QLineEdit(QDir::current().filePath("wirolot.png"), this);
  auto* browse = new QPushButton(tr("Wybierz\u2026"), this);
  connect(browse, &QPushButton::clicked, this, [this] {
    const QString file =
        QFileDialog::getSaveFileName(this, tr("Eksport obrazu"), File->text(), tr("Obrazy PNG (*.png)"));
    if (!file.isEmpty()) File->setText(file);
  });
  Progress = new QProgressBar(this);
  Progress->setRange(0, 100);
  Progress->setValue(0);
  Export = new QPushButton(tr("Eksportuj"), this);
  Export->setDefault(true);
  Stop = new QPushButton(tr("Anuluj"), this);
  connect(Export, &QPushButton::clicked, this, &TExportDialog::Start);
  connect(Stop, &QPushButton::clicked, this, &TExportDialog::Cancel);
  connect(Width, &QSpinBox::valueChanged, this, [this] { Keep(true); });
  connect(Height, &QSpinBox::valueChanged, this, [this] { Keep(false); });

  Arrange(browse);
}

void TExportDialog::AddPalettes(const std::vector<TColor>& current) {
  bool builtIn = false;
  for (const TBuiltInPalette& p : BuiltInPalettes()) {
    Palette->addItem(p.Colours.empty() ? tr("kolory licznik\u00f3w") : QString(p.Name));
    palettes_.push_back(p.Colours);
    if (p.Colours == current) {
      Palette->setCurrentIndex(Palette->count() - 1);
      builtIn = true;
    }
  }
  if (!builtIn) {
    Palette->addItem(tr("bie\u017c\u0105ca (z pliku)"));
    palettes_.push_back(current);
    Palette->setCurrentIndex(Palette->count() - 1);
  }
}

void TExportDialog::Arrange(QPushButton* browse) {
  auto* form = new QFormLayout;
  auto* size = new QHBoxLayout;
  size->addWidget(Width);
  size->addWidget(new QLabel(QString::fromUtf8("\u00d7"), this));
  size->addWidget(Height);
  form->addRow(tr("Rozmiar:"), size);
  form->addRow("", Proportions);
  form->addRow(tr("Pr\u00f3bki na piksel (K \u00d7 K):"), Supersample);
  form->addRow(tr("Paleta:"), Palette);
  auto* file = new QHBoxLayout;
  file->addWidget(File);
  file->addWidget(browse);
  form->addRow(tr("Plik:"), file);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(Export);
  buttons->addWidget(Stop);
  auto* all = new QVBoxLayout(this);
  all->addLayout(form);
  all->addWidget(Progress);
  all->addLayout(buttons);
}

TExportDialog::~TExportDialog() { worker_.request_stop(); }

// The other side follows the one changed, in the view's proportions.
void TExportDialog::Keep(bool widthChanged) {
  if (keeping_ || !Proportions->isChecked()) return;
  keeping_ = true;
  if (widthChanged)
    Height->setValue(int(std::lround(double(Width->value()) * view_.Height / view_.Width)));
  else
    Width->setValue(int(std::lround(double(Height->value()) * view_.Width / view_.Height)));
  keeping_ = false;
}

void TExportDialog::SetChoosing(bool on) {
  for (QWidget* choice : std::initializer_list<QWidget*>{Width, Height, Proportions, Supersample, Palette, File, Export})
    choice->setEnabled(on);
}

TView TExportDialog::Chosen() const {
  TView view = view_;
  view.Width = Width->value();
  view.Height = Height->value();
  const std::vector<TColor>& palette = palettes_[std::size_t(Palette->currentIndex())];
  if (palette != view.Colouring.Palette) view.Colouring = {palette};
  view.Colouring.Supersample = Supersample->value();
  return view;
}

void TExportDialog::Start() {
  if (Running() || File->text().isEmpty()) return;
  if (worker_.joinable()) worker_.join();
  done_ = false;
  const TView view = Chosen();
  const QString file = File->text();
  SetChoosing(false);
  Progress->setValue(0);
  worker_ = std::jthread([this, view, file](std::stop_token stop) {
    TSink sink(*this);
    bool written = false;
    QString error;
    try {
      written = SaveFile(file, [&](const TPngStreamSurface::TWriter& write) {
        return DrawPng(view, write, sink, TEngine::Fast, stop) == TPassEnd::Complete;
      });
    } catch (const std::exception& failure) {
      error = QString::fromUtf8(failure.what());
    }
    mailbox_.Post([written, error](TState& state) { state.End = {written, error}; });
  });
}

void TExportDialog::Deliver() {
  const TState arrived = mailbox_.Take();
  if (arrived.Position >= 0) Progress->setValue(arrived.Position);
  if (arrived.End) Ended(arrived.End->first, arrived.End->second);
}

void TExportDialog::Ended(bool written, const QString& error) {
  done_ = true;
  if (worker_.joinable()) worker_.join();
  SetChoosing(true);
  if (written) Progress->setValue(100);
  emit Finished(written, error);
}

void TExportDialog::Cancel() {
  if (Running())
    worker_.request_stop();
  else
    close();
}

void TExportDialog::closeEvent(QCloseEvent* event) {
  worker_.request_stop();
  QDialog::closeEvent(event);
}
