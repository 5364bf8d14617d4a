#include "MovieDialog.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

#include "MoviePath.h"
#include "PngView.h"

TMovieDialog::TMovieDialog(QWidget* parent, int views, int current, QSize size,
                           std::function<bool(const TMovieRequest&)> start)
    : QDialog(parent) {
  setWindowTitle(tr("Eksport filmu"));
  const auto spin = [this](const char* name, int lo, int hi, int value) {
    auto* box = new QSpinBox(this);
    box->setObjectName(name);
    box->setRange(lo, hi);
    box->setValue(value);
    return box;
  };
  QSpinBox *from = spin("fromView", 1, views, 1), *to = spin("toView", 1, views, current + 1),
           *frames = spin("frames", 2, wirolot::kMaxFrames, 300),
           *width = spin("width", 1, wirolot::kMaxSide, size.width()),
           *height = spin("height", 1, wirolot::kMaxSide, size.height());
  auto* folder = new QLineEdit(QDir::home().filePath("wirolot-film"), this);
  folder->setObjectName("folder");
  auto* browse = new QPushButton(tr("Wybierz\u2026"), this);
  connect(browse, &QPushButton::clicked, this, [this, folder] {
    const QString chosen = QFileDialog::getExistingDirectory(this, tr("Folder"), folder->text());
    if (!chosen.isEmpty()) folder->setText(chosen);
  });
  auto* folderRow = new QHBoxLayout;
  folderRow->addWidget(folder);
  folderRow->addWidget(browse);
  auto* form = new QFormLayout(this);
  form->addRow(tr("Od widoku (1 = pierwszy):"), from);
  form->addRow(tr("Do widoku:"), to);
  form->addRow(tr("Klatki:"), frames);
  form->addRow(tr("Szeroko\u015b\u0107:"), width);
  form->addRow(tr("Wysoko\u015b\u0107:"), height);
  form->addRow(tr("Folder:"), folderRow);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  form->addRow(buttons);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(buttons, &QDialogButtonBox::accepted, this, [=, this] {
    if (start({std::size_t(from->value() - 1), std::size_t(to->value() - 1), frames->value(), width->value(),
               height->value(), folder->text()}))
      accept();
  });
}
