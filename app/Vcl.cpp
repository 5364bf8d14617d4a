#include "Vcl.h"

#include <QApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>

#include <algorithm>
#include <cmath>

#include "Wirolot.xpm"

using wirolot::Exception;

namespace {
// The layout is designed for this text height of the form's font.
constexpr int kDesignTextHeight = 13;
constexpr const char* kStandInFamily = "DejaVu Sans";
}  // namespace

void InitializeApplication() {
  // The window maps to its desktop entry (window class, Wayland app id).
  QApplication::setApplicationName("Wirolot");
  QApplication::setDesktopFileName(WIROLOT_APP_ID);
  QApplication::setWindowIcon(QPixmap(wirolot_xpm));
}

void ShowException(const Exception& exception) {
  QWidget* parent = QApplication::activeWindow();
  QMessageBox box(QMessageBox::Critical, parent ? parent->windowTitle() : QApplication::applicationName(),
                  QString::fromStdString(exception.Message()), QMessageBox::Ok, parent);
  box.exec();
}

void ShowCurrentException() {
  try {
    throw;
  } catch (const Exception& exception) {
    ShowException(exception);
  } catch (...) {
    ShowException(Exception(""));
  }
}

void TForm::ScaleBy(int m, int d) {
  const auto scale = [m, d](int v) { return int(std::lround(double(v) * m / d)); };
  for (QWidget* control : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    const QRect r = control->geometry();
    control->setGeometry(scale(r.x()), scale(r.y()), scale(r.width()), scale(r.height()));
  }
  resize(scale(width()), scale(height()));
}

void TForm::Loaded() {
  QFont form = font();
  if (QFontInfo(form).family() != form.family()) {
    form.setFamilies({form.family(), kStandInFamily});
    setFont(form);
  }
  const int textHeight = QFontMetrics(font()).height();
  if (textHeight != kDesignTextHeight) ScaleBy(textHeight, kDesignTextHeight);
  for (QLabel* label : findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) label->adjustSize();
}

TImage::TCanvas::TCanvas(TImage& owner, QSize size, qreal ratio)
    : TPixelSurface(size.width(), size.height()), owner_(owner), bitmap_(size, QImage::Format_RGB32) {
  bitmap_.setDevicePixelRatio(ratio);
  bitmap_.fill(Qt::black);
}

wirolot::TColor TImage::TCanvas::Pixel(int x, int y) const {
  const QRgb p = bitmap_.pixel(x, y);
  return wirolot::RGB(qRed(p), qGreen(p), qBlue(p));
}

void TImage::TCanvas::PlotSpan(int y, int left, std::span<const wirolot::TColor> colors) {
  QRgb* p = reinterpret_cast<QRgb*>(bitmap_.scanLine(y)) + left;
  for (wirolot::TColor c : colors) *p++ = qRgb(wirolot::RedOf(c), wirolot::GreenOf(c), wirolot::BlueOf(c));
  owner_.update();  // painted from the event loop, once for many rows
}

QSize TImage::CanvasSize() const {
  const qreal ratio = devicePixelRatio();
  return QSize(int(std::lround(width() * ratio)), int(std::lround(height() * ratio)));
}

TImage::TCanvas* TImage::GetCanvas() {
  const qreal ratio = devicePixelRatio();
  const QSize size = CanvasSize();
  if (!canvas_ || canvas_->Bitmap().size() != size || canvas_->Bitmap().devicePixelRatio() != ratio)
    canvas_ = std::make_unique<TCanvas>(*this, size, ratio);
  return canvas_.get();
}

void TImage::ShowShifted(QPoint shift) {
  shift_ = shift;
  update();
}

void TImage::paintEvent(QPaintEvent*) {
  if (!canvas_) return;
  QPainter painter(this);
  if (!shift_.isNull()) painter.fillRect(rect(), Qt::black);
  painter.drawImage(QPointF(shift_), canvas_->Bitmap());
}

void TProgressBar::SetPosition(int position) {
  position = std::clamp(position, minimum(), maximum());
  if (position == value()) return;
  setValue(position);
  repaint();
}

void TEdit::setRightToLeft(bool on) {
  rightToLeft_ = on;
  if (on && QLocale::system().textDirection() == Qt::RightToLeft)
    setLayoutDirection(Qt::RightToLeft);
  else
    unsetLayoutDirection();
}
