// The main window under the offscreen platform: keys, the fields' wiring to
// both commands, finished passes as a blocking pass draws them, bad fields,
// names for screen readers, pictures on scaled screens, right to left.
#include <QAccessible>
#include <QApplication>
#include <QLocale>

#include "Fractals.h"
#include "StraightReference.h"
#include "WindowTesting.h"

using namespace wirolot;

// The positions at which a progress bar starting at `start` moves.
struct TRecordedPositions : IProgressSink {
  explicit TRecordedPositions(int start) : Last(start) {}
  void SetPosition(int position) override {
    if (position != Last) Moves.push_back(Last = position);
  }
  int Last;
  std::vector<int> Moves;
};

class TMainWindowTest : public TWindowTesting {
  Q_OBJECT

 private slots:
  void init() {
    MakeForm();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
  }
  void cleanup() { form_.reset(); }

  void tabCycleAndKeys() {
    TForm1& f = *form_;
    f.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&f));
    QCOMPARE(QApplication::focusWidget(), f.Button1);
    for (const QWidget* next : std::initializer_list<QWidget*>{f.Edit1, f.Edit2, f.Edit3, f.Edit4, f.Edit6, f.Button2,
                                                          f.Edit5, f.Edit7, f.Edit8, f.Edit9, f.Button1}) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      QCOMPARE(QApplication::focusWidget(), next);
    }
    // Enter in a field runs no command; space on the focused button does.
    QTest::keyClick(f.Edit1, Qt::Key_Return);
    QTest::keyClick(f.Edit1, Qt::Key_Enter);
    // Nothing but the window background before the first command.
    QVERIFY(!f.Image1->HasCanvas());
    QCOMPARE(f.Image1->grab().toImage().pixel(100, 100), f.palette().color(QPalette::Window).rgb());
    QTest::keyClick(f.Button1, Qt::Key_Space);
    QVERIFY(f.Image1->HasCanvas());
  }

  // Every field reaches its own parameter: a view whose nine texts all differ.
  void fieldsDrawBothCommands() {
    TForm1& f = *form_;
    const TParamTexts texts = {"-2.1", "0.9", "-1.3", "1.2", "-2.5", "2.4", "-1.9", "1.8", "30"};
    SetTexts(texts);
    for (auto [button, draw] : {std::pair{f.Button1, &DrawMandelbrot}, {f.Button2, &DrawJulia}}) {
      f.ProgressBar1->SetPosition(50);
      std::vector<int> shown;
      const auto spy = connect(f.ProgressBar1, &QProgressBar::valueChanged, [&shown](int v) { shown.push_back(v); });
      QVERIFY(Draw(button));
      disconnect(spy);
      // The same picture and the same moves of the bar as a pass drawn in one go.
      TBitmapSurface expected(487, 409);
      TRecordedPositions positions(50);
      draw(expected, texts, positions, TEngine::Fast, {});
      QVERIFY(Picture() == expected.Pixels());
      QCOMPARE(shown, positions.Moves);
      // The area shows its bitmap.
      QCOMPARE(f.Image1->grab().toImage().convertToFormat(QImage::Format_RGB32), f.Image1->GetCanvas()->Bitmap());
    }
  }

  // Each bad field is reported in a message box and leaves the picture black.
  void badFields() {
    TForm1& f = *form_;
    const std::pair<TEdit*, QString> inputs[] = {
        {f.Edit3, "x"}, {f.Edit1, ""}, {f.Edit4, "1e40"}, {f.Edit9, QString(100000, '7') + "z"}, {f.Edit6, "nan"},
        {f.Edit7, QString::fromUtf8("\xd9\xa3")},  // an Arabic-Indic three
    };
    int turn = 0;
    for (const auto& [field, text] : inputs) {
      const QString good = field->text();
      field->setText(text);
      const QStringList shown = ThroughBoxes([&] { Click(turn++ % 2 ? f.Button1 : f.Button2); });
      QCOMPARE(shown.size(), 1);
      QVERIFY(shown[0].size() < 200 && shown[0].contains("'" + text.left(20)));
      QVERIFY(Picture() == std::vector<TColor>(487 * 409, 0));
      field->setText(good);
    }
  }

  // What a screen reader finds: each field's group and bound, the buttons and
  // the bar; and the desktop entry the running window maps to.
  void accessibleNames() {
    TForm1& f = *form_;
    QStringList names;
    for (const QString group : {"Obszar poddawany analizie: ", "Zbie\u017cnosc ci\u0105gu w: "})
      for (const char* bound : {"Cremin", "Cremax", "Cimmin", "Cimmax"}) names << group + bound;
    names << "Csample" << "Mandelbrot" << "Julia" << "Post\u0119p";
    const auto fields = Fields();
    std::vector<QWidget*> controls(fields.begin(), fields.end());
    controls.insert(controls.end(), {f.Button1, f.Button2, f.ProgressBar1});
    QAccessibleInterface* window = QAccessible::queryAccessibleInterface(&f);
    for (std::size_t i = 0; i < controls.size(); ++i) {
      QAccessibleInterface* control = QAccessible::queryAccessibleInterface(controls[i]);
      QCOMPARE(control->text(QAccessible::Name), names[int(i)]);
      QVERIFY(window->indexOfChild(control) >= 0);
    }
    QCOMPARE(QGuiApplication::desktopFileName(), QString(WIROLOT_APP_ID));
  }

  // Also run alone on a screen scaled to 200 %: one sample for each screen pixel.
  void picturePerScreenPixel() {
    TForm1& f = *form_;
    const qreal ratio = f.Image1->devicePixelRatio();
    const QSize size(int(std::lround(f.Image1->width() * ratio)), int(std::lround(f.Image1->height() * ratio)));
    if (qEnvironmentVariable("QT_SCALE_FACTOR") == "2") QCOMPARE(size, QSize(974, 818));
    QVERIFY(Draw(f.Button1));
    const TImage::TCanvas& canvas = *f.Image1->GetCanvas();
    QCOMPARE(QSize(canvas.Width(), canvas.Height()), size);
    QVERIFY(Picture() == testing::StraightRender(false, kDefaultTexts, size.width(), size.height()).Pixels);
    // Shown one to one.
    QCOMPARE(f.Image1->grab().toImage().convertToFormat(QImage::Format_RGB32), canvas.Bitmap());
    f.Edit1->setText("x");
    QCOMPARE(ThroughBoxes([&] { Click(f.Button2); }).size(), 1);
    QVERIFY(Picture() == std::vector<TColor>(std::size_t(size.width() * size.height()), 0));
  }

  // Run again where the system language (LC_ALL=he_IL) is written right to
  // left: Edit7 then follows it, and no other field does.
  void rightToLeft() {
    const bool hebrew = qEnvironmentVariable("LC_ALL").startsWith("he_IL");
    QCOMPARE(QLocale::system().textDirection(), hebrew ? Qt::RightToLeft : Qt::LeftToRight);
    QCOMPARE(form_->Edit7->layoutDirection(), hebrew ? Qt::RightToLeft : Qt::LeftToRight);
    QCOMPARE(form_->Edit5->layoutDirection(), Qt::LeftToRight);
  }
};

int main(int argc, char* argv[]) {
  TApplication application(argc, argv);
  Application->Initialize();
  TMainWindowTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "MainWindowTest.moc"
