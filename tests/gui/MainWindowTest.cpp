// The main window under the offscreen platform: layout, keys, both commands
// through their buttons, and the reporting of bad fields.
#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <memory>

#include "Fractals.h"
#include "Mandelbrot.h"
#include "StraightReference.h"

using namespace wirolot;

namespace {

struct TNullSink final : IProgressSink {
  void SetPosition(int) override {}
};

// The picture a command should leave, drawn on an in-memory surface.
template <class Draw>
TBitmapSurface Expected(Draw draw, const TParamTexts& texts = kDefaultTexts) {
  TBitmapSurface surface(487, 409);
  TNullSink sink;
  draw(surface, texts, sink, TEngine::Fast);
  return surface;
}

// Closes every message box that comes up while it lives, keeping its text.
class TBoxCloser {
 public:
  TBoxCloser() {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        texts_.append(box->text());
        box->done(QMessageBox::Ok);
      }
    });
    timer_.start(10);
  }
  const QStringList& Texts() const { return texts_; }

 private:
  QTimer timer_;
  QStringList texts_;
};

TColor StepColor(int n) { return TColor(n) * 0x1010; }

}  // namespace

class TMainWindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<TForm1> form_;

  void Click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
  void ComparePicture(const TBitmapSurface& expected) {
    const TImage::TCanvas& canvas = *form_->Image1->GetCanvas();
    QCOMPARE(canvas.Width(), expected.Width());
    QCOMPARE(canvas.Height(), expected.Height());
    for (int y = 0; y < expected.Height(); ++y)
      for (int x = 0; x < expected.Width(); ++x)
        if (canvas.Pixel(x, y) != expected.Pixel(x, y))
          QFAIL(qPrintable(QString("pixel (%1, %2) differs").arg(x).arg(y)));
  }
  bool AllBlack() const {
    const QImage& bitmap = form_->Image1->GetCanvas()->Bitmap();
    for (int y = 0; y < bitmap.height(); ++y)
      for (int x = 0; x < bitmap.width(); ++x)
        if (bitmap.pixel(x, y) != qRgb(0, 0, 0)) return false;
    return true;
  }

 private slots:
  void init() {
    form_ = std::make_unique<TForm1>();
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
  }
  void cleanup() { form_.reset(); }

  void startState() {
    TForm1& f = *form_;
    const TEdit* fields[] = {f.Edit1, f.Edit2, f.Edit3, f.Edit4, f.Edit5, f.Edit7, f.Edit8, f.Edit9, f.Edit6};
    for (std::size_t i = 0; i < kDefaultTexts.size(); ++i) QCOMPARE(fields[i]->GetText(), kDefaultTexts[i]);
    QCOMPARE(f.windowTitle(), QString("Wirolot"));
    QCOMPARE(f.Label5->text(), QString("Obszar poddawany analizie:"));
    QCOMPARE(f.Label7->text(), QString::fromUtf8("Zbie\xc5\xbcnosc ci\xc4\x85gu w:"));
    QCOMPARE(f.Label6->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    QCOMPARE(f.ProgressBar1->minimum(), 0);
    QCOMPARE(f.ProgressBar1->maximum(), 100);
    QCOMPARE(f.ProgressBar1->value(), 0);
    QVERIFY(!f.ProgressBar1->isTextVisible());
    for (const QPushButton* button : {f.Button1, f.Button2}) {
      QVERIFY(!button->autoDefault());
      QVERIFY(!button->isDefault());
    }

    // Nothing but the window background before the first command.
    QVERIFY(!f.Image1->HasCanvas());
    const QImage area = f.Image1->grab().toImage();
    const QRgb background = f.palette().color(QPalette::Window).rgb();
    for (const QPoint p : {QPoint(0, 0), QPoint(100, 100), QPoint(486, 408)}) QCOMPARE(area.pixel(p), background);
  }

  void layout() {
    TForm1& f = *form_;
    const int textHeight = QFontMetrics(f.font()).height();
    qInfo("font %s, text height %d", qPrintable(QFontInfo(f.font()).family()), textHeight);
    const auto s = [textHeight](int v) { return int(std::lround(double(v) * textHeight / 13)); };
    QCOMPARE(f.size(), QSize(s(813), s(530)));
    QCOMPARE(f.pos(), QPoint(193, 137));

    const struct {
      QWidget* control;
      QRect geometry;
    } controls[] = {
        {f.Image1, {8, 8, 487, 409}},      {f.Button1, {507, 364, 66, 27}},   {f.Button2, {585, 364, 66, 27}},
        {f.Edit1, {520, 52, 40, 21}},      {f.Edit2, {592, 52, 39, 21}},      {f.Edit3, {520, 104, 40, 21}},
        {f.Edit4, {592, 104, 39, 21}},     {f.Edit6, {546, 325, 66, 21}},     {f.Edit5, {527, 195, 39, 21}},
        {f.Edit7, {592, 195, 39, 21}},     {f.Edit8, {527, 247, 39, 21}},     {f.Edit9, {592, 247, 39, 21}},
        {f.ProgressBar1, {507, 403, 144, 14}},
    };
    for (const auto& [control, r] : controls)
      QCOMPARE(control->geometry(), QRect(s(r.x()), s(r.y()), s(r.width()), s(r.height())));

    // Labels keep their place and size themselves to their text.
    const struct {
      QLabel* label;
      QPoint position;
    } labels[] = {
        {f.Label1, {520, 33}}, {f.Label2, {592, 33}},  {f.Label3, {520, 85}},  {f.Label4, {592, 85}},
        {f.Label6, {546, 299}}, {f.Label5, {507, 7}},  {f.Label7, {533, 150}}, {f.Label8, {527, 176}},
        {f.Label9, {592, 176}}, {f.Label10, {527, 228}}, {f.Label11, {592, 228}},
    };
    const QFontMetrics metrics(f.font());
    for (const auto& [label, p] : labels) {
      QCOMPARE(label->pos(), QPoint(s(p.x()), s(p.y())));
      QCOMPARE(label->height(), textHeight);
      QVERIFY(label->width() >= metrics.horizontalAdvance(label->text()));
    }
  }

  void scaledLayoutDrawsAtItsSize() {
    TForm1& f = *form_;
    f.ScaleBy(3, 2);
    QCOMPARE(f.size(), QSize(1220, 795));
    QCOMPARE(f.Image1->geometry(), QRect(12, 12, 731, 614));
    QCOMPARE(f.Edit6->geometry(), QRect(819, 488, 99, 32));
    Click(f.Button1);
    QCOMPARE(f.Image1->GetCanvas()->Width(), 731);
    QCOMPARE(f.Image1->GetCanvas()->Height(), 614);
  }

  void tabCycleAndKeys() {
    TForm1& f = *form_;
    f.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&f));
    QCOMPARE(QApplication::focusWidget(), f.Button1);
    const QWidget* cycle[] = {f.Edit1, f.Edit2, f.Edit3, f.Edit4, f.Edit6, f.Button2,
                              f.Edit5, f.Edit7, f.Edit8, f.Edit9, f.Button1};
    for (const QWidget* next : cycle) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      QCOMPARE(QApplication::focusWidget(), next);
    }
    // Enter in a field runs no command; space on the focused button does.
    QTest::keyClick(f.Edit1, Qt::Key_Return);
    QTest::keyClick(f.Edit1, Qt::Key_Enter);
    QVERIFY(!f.Image1->HasCanvas());
    QTest::keyClick(f.Button1, Qt::Key_Space);
    QVERIFY(f.Image1->HasCanvas());
  }

  void mandelbrotThenJulia() {
    TForm1& f = *form_;
    const struct {
      QPoint pixel;
      int mandelbrot, julia;
    } samples[] = {{{100, 100}, 2, 1}, {{160, 160}, 6, 1}, {{200, 205}, 16, 2}, {{244, 205}, 16, 8}, {{300, 150}, 3, 2}};

    Click(f.Button1);
    QCOMPARE(f.ProgressBar1->value(), 99);
    const TImage::TCanvas& canvas = *f.Image1->GetCanvas();
    for (const auto& sample : samples) QCOMPARE(canvas.Pixel(sample.pixel.x(), sample.pixel.y()), StepColor(sample.mandelbrot));
    QCOMPARE(canvas.Bitmap().pixel(200, 205), qRgb(0, 1, 1));
    QCOMPARE(canvas.Bitmap().pixel(100, 100), qRgb(32, 32, 0));
    ComparePicture(Expected(DrawMandelbrot));

    Click(f.Button2);
    QCOMPARE(f.ProgressBar1->value(), 99);
    for (const auto& sample : samples) QCOMPARE(canvas.Pixel(sample.pixel.x(), sample.pixel.y()), StepColor(sample.julia));
    for (int i = 0; i < 409; ++i) {
      QCOMPARE(canvas.Pixel(0, i), TColor(0));
      QCOMPARE(canvas.Pixel(i, 0), TColor(0));
    }
    ComparePicture(Expected(DrawJulia));

    // The area shows its bitmap.
    QCOMPARE(f.Image1->grab().toImage().convertToFormat(QImage::Format_RGB32), canvas.Bitmap());
  }

  void badFieldOnFirstCommand() {
    TForm1& f = *form_;
    f.Edit3->setText("x");
    {
      TBoxCloser closer;
      Click(f.Button2);
      QCOMPARE(closer.Texts().size(), 1);
      QVERIFY(closer.Texts()[0].contains("'x'"));
    }
    QCOMPARE(f.Image1->GetCanvas()->Width(), 487);
    QCOMPARE(f.Image1->GetCanvas()->Height(), 409);
    QVERIFY(AllBlack());
    QCOMPARE(f.ProgressBar1->value(), 0);
    QCOMPARE(f.Edit3->text(), QString("x"));

    // The window goes on working.
    f.Edit3->setText("-2");
    Click(f.Button2);
    ComparePicture(Expected(DrawJulia));
  }

  void badInputsInTurn() {
    TForm1& f = *form_;
    const struct {
      TEdit* field;
      QString text;
    } inputs[] = {
        {f.Edit1, ""}, {f.Edit2, "abc"}, {f.Edit4, "1e40"}, {f.Edit9, QString(100000, '7') + "z"}, {f.Edit6, "nan"},
        {f.Edit5, " "}, {f.Edit7, QString::fromUtf8("\xd9\xa3")},  // an Arabic-Indic three
    };
    QPushButton* buttons[] = {f.Button1, f.Button2};
    int turn = 0;
    for (const auto& [field, text] : inputs) {
      const QString good = field->text();
      field->setText(text);
      {
        TBoxCloser closer;
        Click(buttons[turn++ % 2]);
        QVERIFY2(closer.Texts().size() == 1, qPrintable(text.left(20)));
        QVERIFY(!closer.Texts()[0].isEmpty());
        QVERIFY(closer.Texts()[0].size() < 200);
      }
      QVERIFY(AllBlack());
      field->setText(good);
    }
    Click(f.Button1);
    ComparePicture(Expected(DrawMandelbrot));
  }

  void rightToLeft() {
    const bool rtlSystem = QLocale::system().textDirection() == Qt::RightToLeft;
    qInfo("system locale %s", qPrintable(QLocale::system().name()));
    QCOMPARE(form_->Edit7->layoutDirection(), rtlSystem ? Qt::RightToLeft : Qt::LeftToRight);
    QCOMPARE(form_->Edit5->layoutDirection(), form_->layoutDirection());
  }

  // Also run alone on a scaled screen: one sample for each of its pixels.
  void picturePerScreenPixel() {
    TForm1& f = *form_;
    const qreal ratio = f.Image1->devicePixelRatio();
    const QSize size(int(std::lround(f.Image1->width() * ratio)), int(std::lround(f.Image1->height() * ratio)));
    qInfo("device pixel ratio %g, picture %dx%d", ratio, size.width(), size.height());
    if (qEnvironmentVariable("QT_SCALE_FACTOR") == "2") QCOMPARE(size, QSize(974, 818));
    Click(f.Button1);
    const TImage::TCanvas& canvas = *f.Image1->GetCanvas();
    QCOMPARE(QSize(canvas.Width(), canvas.Height()), size);
    QCOMPARE(canvas.Bitmap().size(), size);
    const auto want = testing::StraightRender(false, kDefaultTexts, size.width(), size.height());
    for (int y = 0; y < size.height(); ++y)
      for (int x = 0; x < size.width(); ++x)
        if (canvas.Pixel(x, y) != want.At(x, y)) QFAIL(qPrintable(QString("pixel (%1, %2) differs").arg(x).arg(y)));
    // Shown one to one.
    QCOMPARE(f.Image1->grab().toImage().convertToFormat(QImage::Format_RGB32), canvas.Bitmap());

    f.Edit1->setText("x");
    {
      TBoxCloser closer;
      Click(f.Button2);
      QCOMPARE(closer.Texts().size(), 1);
    }
    QCOMPARE(f.Image1->GetCanvas()->Bitmap().size(), size);
    QVERIFY(AllBlack());
  }

  void icon() {
    const QIcon icon = QApplication::windowIcon();
    QVERIFY(icon.availableSizes().contains(QSize(32, 32)));
    const QImage image = icon.pixmap(32, 32).toImage();
    QSet<QRgb> colours;
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 32; ++x) colours.insert(image.pixel(x, y));
    QVERIFY(colours.size() <= 16);
  }
};

int main(int argc, char* argv[]) {
  TApplication application(argc, argv);
  Application->Initialize();
  TMainWindowTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "MainWindowTest.moc"
