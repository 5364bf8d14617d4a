// A thin component layer over Qt Widgets: application object, form, and the
// few controls the window uses.
#pragma once

#include <QImage>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>

#include <memory>
#include <span>
#include <string>
#include <vector>

#include "Surface.h"
#include "Types.h"

class QApplication;

// The application object: owns the Qt application and the forms.
class TApplication {
 public:
  TApplication(int& argc, char** argv);
  ~TApplication();

  void Initialize();
  // Creates a form, stores it in *reference; the first one becomes the main form.
  template <class TFormClass>
  void CreateForm(TFormClass** reference) {
    auto form = std::make_unique<TFormClass>();
    *reference = form.get();
    if (!mainForm_) mainForm_ = form.get();
    forms_.push_back(std::move(form));
  }
  // Shows the main form and runs the event loop until it closes.
  void Run();
  // A modal message box with the exception's message.
  void ShowException(const wirolot::Exception& exception);
  // Shows the exception being handled, from a catch block: one of the
  // Exception family as it is, any other as an Exception with no message.
  void HandleException();

 private:
  int& argc_;
  char** argv_;
  std::unique_ptr<QApplication> qt_;
  std::vector<std::unique_ptr<QWidget>> forms_;
  QWidget* mainForm_ = nullptr;
};

extern TApplication* Application;

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
  // Runs the invokable method `handler` (no arguments) of this form.
  void Dispatch(const QString& handler);

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

// Push button whose click runs the form's handler named by OnClick; an
// exception leaving the handler is shown and goes no further.
class TButton : public QPushButton {
  Q_OBJECT
  Q_PROPERTY(QString OnClick READ onClick WRITE setOnClick)

 public:
  explicit TButton(QWidget* parent = nullptr);
  QString onClick() const { return onClick_; }
  void setOnClick(const QString& handler) { onClick_ = handler; }

 private:
  void Click();
  QString onClick_;
};
