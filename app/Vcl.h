// A thin component layer over Qt Widgets: the form, the few controls the
// window uses, and how failures are shown.
#pragma once

#include <QImage>
#include <QLineEdit>
#include <QProgressBar>
#include <QWidget>

#include <memory>
#include <span>
#include <string>

#include "Surface.h"
#include "Types.h"

// Names the application, ties its windows to the desktop entry and gives
// them the icon; call once the QApplication is made.
void InitializeApplication();
// A modal message box with the exception's message; call once the
// QApplication is made.
void ShowException(const wirolot::Exception& exception);
// Shows the exception being handled, from a catch block: one of the Exception
// family as it is, any other as an Exception with no message.
void ShowCurrentException();

// Base of the program's windows. A form applies its form description and then
// calls Loaded.
class TForm : public QWidget {
  Q_OBJECT
  Q_PROPERTY(QPoint position READ pos WRITE setPosition)

 public:
  explicit TForm(QWidget* owner = nullptr) : QWidget(owner) {}
  // Screen position of the window.
  void setPosition(const QPoint& position) { move(position); }
  // Scales every control's position and size, and the client area, by m / d.
  void ScaleBy(int m, int d);

 protected:
  // Puts a stand-in where the form's font is missing, rescales the layout to
  // the font's text height and sizes the labels to their text.
  void Loaded();
};

// Picture area drawn from its bitmap. The bitmap has the area's size in the
// screen's pixels and carries their ratio to the area's own, so that it is
// drawn one to one; it is made on first use of the canvas, and made anew when
// the area's size or ratio has changed since.
class TImage : public QWidget {
 public:
  class TCanvas final : public wirolot::TPixelSurface {
   public:
    TCanvas(TImage& owner, QSize size, qreal ratio);
    wirolot::TColor Pixel(int x, int y) const;
    const QImage& Bitmap() const { return bitmap_; }

   protected:
    void PlotSpan(int y, int left, std::span<const wirolot::TColor> colors) override;

   private:
    TImage& owner_;
    QImage bitmap_;
  };

  using QWidget::QWidget;
  TCanvas* GetCanvas();
  bool HasCanvas() const { return canvas_ != nullptr; }
  // The canvas made so far, if any, as it is.
  const TCanvas* Canvas() const { return canvas_.get(); }
  // The bitmap size GetCanvas gives now.
  QSize CanvasSize() const;
  // Shows the bitmap moved by `shift` (the rest black) until shown unshifted.
  void ShowShifted(QPoint shift);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::unique_ptr<TCanvas> canvas_;
  QPoint shift_;
};

// Progress bar as the render's progress sink: each position is shown at once.
class TProgressBar : public QProgressBar, public wirolot::IProgressSink {
 public:
  using QProgressBar::QProgressBar;
  void SetPosition(int position) override;
};

// Text field; the right-to-left setting shows only where the system language
// is written right to left.
class TEdit : public QLineEdit {
  Q_OBJECT
  Q_PROPERTY(bool rightToLeft READ rightToLeft WRITE setRightToLeft)

 public:
  using QLineEdit::QLineEdit;
  std::string GetText() const { return text().toStdString(); }
  bool rightToLeft() const { return rightToLeft_; }
  void setRightToLeft(bool on);

 private:
  bool rightToLeft_ = false;
};
