// The window under the offscreen platform, driven as a person would drive it.
// Pictures are compared with the straight reference's at the fields' texts,
// which strtold reads with the locale's decimal separator, as the fields do.
#include <QAccessible>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QSpinBox>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>

#include <sys/resource.h>

#include <csignal>
#include <fstream>

#include "Colouring.h"
#include "Convert.h"
#include "Mandelbrot.h"
#include "OutputFile.h"
#include "PngStreamSurface.h"
#include "PngPicture.h"
#include "PngView.h"
#include "StraightReference.h"

using namespace wirolot;

const QString kRegion = "Obszar poddawany analizie: ", kBox = "Zbie\u017cnosc ci\u0105gu w: ";

QString AccessibleName(QObject* control) {
  return QAccessible::queryAccessibleInterface(control)->text(QAccessible::Name);
}

// Whether `file` holds, byte for byte, the PNG that the PNG road writes for `view`.
bool HoldsPng(const QString& file, const TView& view) {
  std::string expected;
  struct : IProgressSink { void SetPosition(int) override {} } sink;
  DrawPng(view, [&](const std::uint8_t* data, std::size_t size) {
    expected.append(reinterpret_cast<const char*>(data), size); }, sink, TEngine::Reference, {});
  QFile read(file);
  return read.open(QIODevice::ReadOnly) && read.readAll().toStdString() == expected;
}

// Puts the program's own texts in angle brackets, as a translation would
// change them.
class TMarkingTranslator : public QTranslator {
 public:
  bool isEmpty() const override { return false; }
  QString translate(const char* context, const char* source, const char*, int) const override {
    return std::string_view(context) == "TForm1" || std::string_view(context) == "TPictureGestures"
               ? "\u27e8" + QString::fromUtf8(source) + "\u27e9"
               : QString();
  }
};

class TWindowTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TForm1> f;
  std::array<TEdit*, 9> fields_;
  QStringList boxes_;  // the texts of the message boxes shown in this test, each closed at once

  static float Value(const std::string& text) { return float(std::strtold(text.c_str(), nullptr)); }
  static std::string Text(double value) { return QString::number(value, 'g', 17).toStdString(); }
  // The fields in parameter order: region, box, Csample; found by the names
  // a screen reader reads, so that the order is the form's, not the code's.
  bool FindFields() {
    const QString names[] = {kRegion + "Cremin", kRegion + "Cremax", kRegion + "Cimmin", kRegion + "Cimmax",
                             kBox + "Cremin",    kBox + "Cremax",    kBox + "Cimmin",    kBox + "Cimmax", "Csample"};
    const QList<TEdit*> edits = f->findChildren<TEdit*>();
    for (std::size_t i = 0; i < fields_.size(); ++i) {
      const auto named = [&](TEdit* edit) { return AccessibleName(edit) == names[i]; };
      if (std::ranges::count_if(edits, named) != 1) return false;
      fields_[i] = *std::ranges::find_if(edits, named);
    }
    return true;
  }
  const std::array<TEdit*, 9>& Fields() const { return fields_; }
  TParamTexts Texts() const {
    TParamTexts texts;
    std::ranges::transform(Fields(), texts.begin(), &TEdit::GetText);
    return texts;
  }
  void SetTexts(const TParamTexts& texts) {
    for (std::size_t i = 0; i < texts.size(); ++i) Fields()[i]->setText(QString::fromStdString(texts[i]));
  }
  // Clicks `button`, if given, and waits for the pass under way, if any, to end.
  bool Drawn(QPushButton* button = nullptr, int milliseconds = 600'000) {
    if (button) QTest::mouseClick(button, Qt::LeftButton);
    return QTest::qWaitFor([this] { return !f->Passes().Running(); }, milliseconds);
  }
  // The canvas read back pixel by pixel.
  std::vector<TColor> Picture() const {
    const TImage::TCanvas& canvas = *f->Image1->Canvas();
    std::vector<TColor> pixels;
    for (int i = 0, w = canvas.Width(); i < w * canvas.Height(); ++i) pixels.push_back(canvas.Pixel(i % w, i / w));
    return pixels;
  }
  bool Black() const { return std::ranges::all_of(Picture(), [](TColor c) { return c == 0; }); }
  bool StraightPicture(bool julia) const {
    const TImage::TCanvas& canvas = *f->Image1->Canvas();
    return Picture() == testing::StraightRender(julia, Texts(), canvas.Width(), canvas.Height()).Pixels;
  }
  // Gestures from the mouse at (100, 100) over the picture.
  void Drag(Qt::MouseButton button, Qt::KeyboardModifiers keys, QPoint to) {
    QTest::mousePress(f->Image1, button, keys, {100, 100});
    QTest::mouseMove(f->Image1, to);
    QTest::mouseRelease(f->Image1, button, keys, to);
  }
  void Wheel(int angle) {
    QWheelEvent wheel({100, 100}, f->Image1->mapToGlobal(QPoint(100, 100)), {}, {0, angle}, Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(f->Image1, &wheel);
  }
  // Closes each message box as it comes up, keeping its text.
  void timerEvent(QTimerEvent*) override {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      boxes_.append(box->text());
      box->close();
    }
  }
  // Starts a view that takes 76 s on two cores, and waits for a painted row.
  bool StartHeavyView() {
    SetTexts({"-0.76", "-0.74", "-0.01", "0.01", "-3", "3", "-2", "2", "2147483647"});
    QTest::mouseClick(f->Button1, Qt::LeftButton);
    return QTest::qWaitFor([this] { return !Black(); }, 600'000);
  }

 private slots:
  void initTestCase() { startTimer(10); }
  void init() {
    boxes_.clear();
    f = std::make_unique<TForm1>();  // the last test's goes
    f->show();
    QVERIFY(QTest::qWaitForWindowActive(f.get()));
    QVERIFY(FindFields());
  }

  // What keyboard and screen-reader users find: the tab cycle, Enter in a
  // field running no command, each control's name. Also run with
  // LC_ALL=he_IL.UTF-8, where the run must really be right to left: Edit7
  // then follows it, and no other field does.
  void keysNamesAndDirection() {
    for (QWidget* next : std::initializer_list<QWidget*>{f->Edit1, f->Edit2, f->Edit3, f->Edit4, f->Edit6, f->Button2,
                                                         f->Edit5, f->Edit7, f->Edit8, f->Edit9, f->Button1}) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      QCOMPARE(QApplication::focusWidget(), next);
    }
    QTest::keyClick(f->Edit1, Qt::Key_Return);
    QTest::keyClick(f->Edit1, Qt::Key_Enter);
    QVERIFY(!f->Image1->HasCanvas());
    const std::pair<QWidget*, QString> names[] = {
        {f->Edit1, kRegion + "Cremin"}, {f->Edit2, kRegion + "Cremax"}, {f->Edit3, kRegion + "Cimmin"},
        {f->Edit4, kRegion + "Cimmax"}, {f->Edit5, kBox + "Cremin"},    {f->Edit7, kBox + "Cremax"},
        {f->Edit8, kBox + "Cimmin"},    {f->Edit9, kBox + "Cimmax"},    {f->Edit6, "Csample"},
        {f->Button1, "Mandelbrot"},     {f->Button2, "Julia"},          {f->ProgressBar1, "Post\u0119p"},
        {f->Image1, "Obraz"}};
    for (auto [w, name] : names) QCOMPARE(AccessibleName(w), name);
    // The picture says what it is; nothing in it is left unnamed.
    QAccessibleInterface* picture = QAccessible::queryAccessibleInterface(f->Image1);
    QVERIFY(picture->text(QAccessible::Description).startsWith("Fraktal"));
    QVERIFY(picture->childCount() >= 2);  // the rubber band and the note
    for (int i = 0; i < picture->childCount(); ++i) QVERIFY(!picture->child(i)->text(QAccessible::Name).isEmpty());
    const auto system = qEnvironmentVariable("LC_ALL").startsWith("he_IL") ? Qt::RightToLeft : Qt::LeftToRight;
    QCOMPARE(QLocale::system().textDirection(), system);
    QCOMPARE(f->Edit7->layoutDirection(), system);
    QCOMPARE(f->Edit5->layoutDirection(), Qt::LeftToRight);
  }

  // Both commands from nine different texts, so that each field must reach
  // its own parameter: the straight reference's picture and bar moves, one
  // sample per screen pixel, shown one to one. Then a bad field gives one
  // message box quoting it, over a black picture. Also run on a screen
  // scaled to 200 %, where the picture is 974 x 818.
  void commandsAndBadField() {
    const TParamTexts texts = {"-2.1", "0.9", "-1.3", "1.2", "-2.5", "2.4", "-1.9", "1.8", "30"};
    const QSize size = qEnvironmentVariable("QT_SCALE_FACTOR") == "2" ? QSize(974, 818) : f->Image1->size();
    SetTexts(texts);
    for (auto [button, julia] : {std::pair{f->Button1, false}, {f->Button2, true}}) {
      const testing::TStraightPicture straight = testing::StraightRender(julia, texts, size.width(), size.height());
      QList<QVariantList> moves;
      for (int last = f->ProgressBar1->value(); int position : straight.Progress)
        if (position != last) moves.append(QVariantList{last = position});
      QSignalSpy bar(f->ProgressBar1, &QProgressBar::valueChanged);
      QVERIFY(Drawn(button));
      QVERIFY(Picture() == straight.Pixels);
      QCOMPARE(QList<QVariantList>(bar), moves);
      QCOMPARE(f->Image1->grab().toImage().convertToFormat(QImage::Format_RGB32), f->Image1->Canvas()->Bitmap());
    }
    f->Edit9->setText(QString(100000, '7') + "z");
    QVERIFY(Drawn(f->Button1));
    QVERIFY(boxes_.size() == 1 && boxes_[0].size() < 200 && boxes_[0].contains("'77777"));
    QVERIFY(Black());
  }

  // A failure from any part of the program is shown with its message; one
  // from outside the program's family, with none.
  void failureMessages() {
    const std::pair<std::function<void()>, QString> cases[] = {
        {[] { throw EConvertError("'x' is not a number"); }, "'x' is not a number"},
        {[] { throw EPngViewError("no view"); }, "no view"},
        {[] { throw EPngStreamError("PNG encoder: out of memory"); }, "PNG encoder: out of memory"},
        {[] { throw EOutputError("cannot write 'a.png': No space left on device"); },
         "cannot write 'a.png': No space left on device"},
        {[] { throw std::runtime_error("foreign"); }, ""},
    };
    for (const auto& [raise, message] : cases) {
      boxes_.clear();
      try {
        raise();
      } catch (...) {
        ShowCurrentException();
      }
      QCOMPARE(boxes_, QStringList{message});
    }
  }

  // A translation reaches every text of the window but the fields' numbers:
  // the form's, the menu, the tooltip, the picture's names, notes and
  // message boxes.
  void translatable() {
    TMarkingTranslator marking;
    QVERIFY(QCoreApplication::installTranslator(&marking));
    const auto marked = [](const QString& text) { return text.startsWith("\u27e8") && text.endsWith("\u27e9"); };
    f = std::make_unique<TForm1>();
    f->show();
    QVERIFY(marked(AccessibleName(f->Edit1)));
    QVERIFY(marked(f->windowTitle()) && marked(f->Label7->text()) && marked(f->Button2->text()));
    QCOMPARE(f->Edit6->text(), "15");
    QAccessibleInterface* picture = QAccessible::queryAccessibleInterface(f->Image1);
    QVERIFY(marked(picture->text(QAccessible::Name)) && marked(picture->text(QAccessible::Description)));
    for (int i = 0; i < picture->childCount(); ++i) QVERIFY(marked(picture->child(i)->text(QAccessible::Name)));
    QVERIFY(marked(f->Image1->toolTip()));
    for (QAction* action : f->Image1->actions()) QVERIFY(action->isSeparator() || marked(action->text()));
    QVERIFY(Drawn(f->Button1));
    QTemporaryDir folder;
    QVERIFY(f->SavePicture(folder.filePath("view.png")));
    QVERIFY(marked(f->Note()));
    QVERIFY(!f->SavePicture(folder.filePath("missing/view.png")));
    QVERIFY(boxes_.size() == 1 && boxes_[0].startsWith("\u27e8"));
  }

  // Each gesture from a view whose samples lie 1/256 apart from 0, so that
  // pixel p shows (p - 1)/256 and every bound written is exact; a mouse
  // position is r bitmap pixels. A gesture draws with the last command. Also
  // run on a screen scaled to 200 % (r = 2).
  // Then, from samples one ulp (2^-23) apart in [1, 2), zooming in goes only
  // as far as the walk's step stays above half an ulp, so that every sum
  // still reaches the next sample; a note says so, and no message box.
  void gestures() {
    const double r = f->Image1->devicePixelRatio(), px = r / 256, w = 487 * px, h = 409 * px;
    const auto at = [px](double position) { return position * px - 1.0 / 256; };
    const double c = at(100);  // under the mouse
    const std::tuple<const char*, std::function<void()>, std::array<double, 4>> cases[] = {
        {"rectangle, Shift", [&] { Drag(Qt::LeftButton, Qt::ShiftModifier, {200, 180}); }, {c, at(200), c, at(180)}},
        {"rectangle", [&] { Drag(Qt::LeftButton, {}, {200, 130}); }, {c, at(200), c, at(100 + 100 * 409 / 487.)}},
        {"touchpad", [&] { for (int i = 0; i < 4; ++i) Wheel(30); }, {c / 2, (c + w) / 2, c / 2, (c + h) / 2}},
        {"pan", [&] { Drag(Qt::MiddleButton, {}, {150, 120}); }, {-50 * px, w - 50 * px, -20 * px, h - 20 * px}},
        {"too small", [&] { QTest::mouseClick(f->Image1, Qt::LeftButton, {}, {100, 100}); Wheel(119); }, {0, w, 0, h}},
    };
    for (bool julia = false; const auto& [name, gesture, region] : cases) {
      SetTexts({"0", Text(w), "0", Text(h), "-3", "3", "-2", "2", "15"});
      QVERIFY(Drawn((julia = !julia) ? f->Button2 : f->Button1));
      gesture();
      QVERIFY2(Drawn() && f->Note().isEmpty(), name);
      for (int i = 0; i < 4; ++i) QVERIFY2(Value(Texts()[i]) == float(region[i]), name);
      QVERIFY2(StraightPicture(julia), name);
    }
    const double ulp = std::ldexp(1.0, -23), width = 487 * r * ulp, height = 409 * r * ulp;
    SetTexts({"1", Text(1 + width), "1", Text(1 + height), "-3", "3", "-2", "2", "15"});
    QTest::keySequence(f.get(), QKeySequence::ZoomIn);
    QVERIFY(Drawn() && !f->Note().isEmpty() && boxes_.isEmpty());
    const TParamTexts t = Texts();
    const double zoomedWidth = Value(t[1]) - Value(t[0]), zoomedHeight = Value(t[3]) - Value(t[2]);
    QVERIFY(zoomedWidth < width && zoomedWidth > width / 2 && zoomedHeight > height / 2);
    // Zooming out past the single range stops at its edge.
    SetTexts({"-2e38", "2e38", "-2e38", "2e38", "-3", "3", "-2", "2", "15"});
    QTest::keySequence(f.get(), QKeySequence::ZoomOut);
    QVERIFY(Drawn() && !f->Note().isEmpty() && boxes_.isEmpty() && std::isfinite(Value(Texts()[1])));
  }

  // Back and Forward by keys and by the mouse's side buttons over any
  // control, each drawing its view with its command; a new view forgets
  // those ahead; 99 steps back reach the first of 100 views.
  void history() {
    for (int i = 1; i <= 100; ++i) {
      f->Edit6->setText(QString::number(i));
      f->Button1->click();
    }
    const auto csampleAfter = [this](auto step) { step(); return Drawn() ? f->Edit6->text() : "still drawing"; };
    QCOMPARE(csampleAfter([&] { QTest::keySequence(f.get(), QKeySequence::Back); }), "99");
    QCOMPARE(csampleAfter([&] { QTest::mouseClick(f->Edit2, Qt::BackButton); }), "98");
    QCOMPARE(csampleAfter([&] { QTest::mouseClick(f->Button2, Qt::ForwardButton); }), "99");
    QCOMPARE(csampleAfter([&] { QTest::keySequence(f.get(), QKeySequence::Forward); }), "100");
    QCOMPARE(csampleAfter([&] { QTest::keySequence(f.get(), QKeySequence::Back); }), "99");
    QCOMPARE(csampleAfter([&] { f->Button2->click(); }), "99");  // Julia: a new view, and 100 is gone
    QCOMPARE(csampleAfter([&] { QTest::keySequence(f.get(), QKeySequence::Forward); }), "99");
    QCOMPARE(csampleAfter([&] { for (int i = 0; i < 99; ++i) QTest::keySequence(f.get(), QKeySequence::Back); }), "1");
    QVERIFY(StraightPicture(false));
  }

  // Esc stops the heavy view, and the rows drawn stay. A new command after
  // it draws; rows and the end of the pass it abandons, still queued, never
  // reach the next one. Closing the window during a pass ends the event loop
  // at once, with 0.
  void stoppingAndClosing() {
    QVERIFY(StartHeavyView());
    QSignalSpy finished(&f->Passes(), &TPassWorker::Finished);
    QTest::keyClick(f->Edit1, Qt::Key_Escape);
    QVERIFY(finished.wait(60'000));
    QCOMPARE(finished[0][0].value<TPassEnd>(), TPassEnd::Stopped);
    QVERIFY(!Black());

    QVERIFY(StartHeavyView());
    QTest::qSleep(300);  // more of its rows queue up
    SetTexts({"1", "1", "-2", "2", "-3", "3", "-2", "2", "15"});  // no samples; the bar goes to 99
    QVERIFY(Drawn(f->Button1, 5'000));  // at once, not after the heavy pass
    QVERIFY(Black());
    QCOMPARE(f->ProgressBar1->value(), 99);

    QVERIFY(StartHeavyView());
    QTimer::singleShot(0, f.get(), &QWidget::close);
    QTimer::singleShot(5000, f.get(), [] { QApplication::exit(1); });
    QCOMPARE(QApplication::exec(), 0);
    QVERIFY(f->Passes().Running());
  }

  // "Eksportuj film…" offers the first view and the current one at the
  // picture's size. Its frames are those of their own views, the first and
  // last the two views' with this locale's separator, drawn while the
  // window draws too. Cancel stops a long export and leaves no partial file.
  void movieExport() {
    const std::string point = LocaleDecimalSeparator();
    TParamTexts a = {"-2.4", "1.2", "-1.1", "1.1", "-3", "3", "-2", "2", "30"},
                b = {"-0.8", "-0.7", "0.05", "0.12", "-3", "3", "-2", "2", "30"};
    for (TParamTexts* texts : {&a, &b})
      for (std::string& text : *texts) std::ranges::replace(text, '.', point[0]);
    SetTexts(a);
    QVERIFY(Drawn(f->Button1));
    SetTexts(b);
    QVERIFY(Drawn(f->Button1));
    QAction* action = nullptr;
    for (QAction* candidate : f->Image1->actions())
      if (candidate->text() == QString::fromUtf8("Eksportuj film\u2026")) action = candidate;
    QVERIFY(action && action->isEnabled());
    action->trigger();
    auto* dialog = f->findChild<QDialog*>();
    QVERIFY(dialog && dialog->isVisible());
    const auto value = [dialog](const char* name) { return dialog->findChild<QSpinBox*>(name)->value(); };
    QCOMPARE(value("fromView"), 1);
    QCOMPARE(value("toView"), 2);
    QCOMPARE(QSize(value("width"), value("height")), f->Image1->Canvas()->Bitmap().size());
    QTemporaryDir folder;
    dialog->findChild<QSpinBox*>("frames")->setValue(5);
    dialog->findChild<QSpinBox*>("width")->setValue(48);
    dialog->findChild<QSpinBox*>("height")->setValue(30);
    dialog->findChild<QLineEdit*>("folder")->setText(folder.filePath("film"));
    QSignalSpy finished(&f->MovieExport(), &TMovieExport::Finished);
    dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    QVERIFY(Drawn(f->Button2));
    QVERIFY(finished.size() == 1 || finished.wait(60'000));
    QCOMPARE(finished[0], (QVariantList{true, QString()}));
    for (int n = 1; n <= 5; ++n) {
      const QString file = folder.filePath(QString("film/frame-%1.png").arg(n, 5, 10, QChar('0')));
      const TView view = ReadView(file.toStdString());
      QVERIFY(view.Command == TOrbitKind::Mandelbrot && view.Width == 48 && view.Height == 30);
      if (n == 1) QCOMPARE(view.Texts, a);
      if (n == 5) QCOMPARE(view.Texts, b);
      QVERIFY(HoldsPng(file, view));
    }

    // The fourth view, whose frames take seconds each.
    TParamTexts heavy = {"-0.76", "-0.74", "-0.01", "0.01", "-3", "3", "-2", "2", "2147483647"};
    for (std::string& text : heavy) std::ranges::replace(text, '.', point[0]);
    SetTexts(heavy);
    QTest::mouseClick(f->Button1, Qt::LeftButton);
    f->Passes().Stop();
    QVERIFY(Drawn());
    QSignalSpy progress(&f->MovieExport(), &TMovieExport::Progress);
    QVERIFY(f->StartMovie({3, 3, 20, 200, 150, folder.filePath("heavy")}));
    QVERIFY(progress.wait(10'000));
    QTest::mouseClick(f->findChild<QProgressDialog*>()->findChild<QPushButton*>(), Qt::LeftButton);
    QVERIFY(finished.wait(60'000));
    QCOMPARE(finished[1], (QVariantList{false, QString()}));
    QCOMPARE(QDir(folder.filePath("heavy")).entryList(QDir::Files | QDir::Hidden), QStringList());
  }

  // Saved: the picture at its full pixel size, with its view. A view stored
  // elsewhere with a decimal point opens with this locale's separator and
  // its own command. A save over the first that fails, the disk full after a
  // few rows, says so and why, and leaves the folder as it was. Also run with a
  // decimal comma, and on a screen scaled to 200 %.
  void saveAndOpen() {
    QVERIFY(Drawn(f->Button2));
    QTemporaryDir folder;
    const QString file = folder.filePath("view.png");
    QVERIFY(f->SavePicture(file));
    const QImage shown = f->Image1->Canvas()->Bitmap();
    QVERIFY(QImage(file).convertToFormat(QImage::Format_RGB32) == shown);
    const std::string point = LocaleDecimalSeparator();
    const TView view{TOrbitKind::Julia, kDefaultTexts, point, shown.width(), shown.height(), {}};
    QVERIFY(ReadView(file.toStdString()) == view);

    f->OpenPicture(WIROLOT_STORED_VIEW);
    QVERIFY(Drawn() && boxes_.isEmpty());
    TParamTexts stored = {"-2.25", "0.75", "-1.5", "1.5", "-3", "3", "-2", "2", "40"};  // Mandelbrot, 20 x 10
    for (std::string& text : stored) std::ranges::replace(text, '.', point[0]);
    QCOMPARE(Texts(), stored);
    QVERIFY(StraightPicture(false));

    rlimit limit;
    getrlimit(RLIMIT_FSIZE, &limit);
    const rlimit full = {1000, limit.rlim_max};
    std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &full);
    QVERIFY(!f->SavePicture(file));
    setrlimit(RLIMIT_FSIZE, &limit);
    // The file, and why: the file size limit.
    QVERIFY(boxes_.size() == 1 && boxes_[0].contains(file) && boxes_[0].endsWith('\n' + qt_error_string(EFBIG)));
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList{"view.png"});
    QVERIFY(QImage(file).convertToFormat(QImage::Format_RGB32) == shown);
  }

  // A palette colours the last pass's counts at once, without a pass, and the
  // counts' own colours give the picture back as it was. Save keeps the
  // colouring, a drop and the history bring it back. A palette file that
  // cannot be read is refused in a message box. A movie takes the colouring of
  // its first view. Also run on a screen scaled to 200 %.
  void palettes() {
    const TParamTexts texts = {"-2.1", "0.9", "-1.3", "1.2", "-2.5", "2.4", "-1.9", "1.8", "30"};
    SetTexts(texts);
    QVERIFY(Drawn(f->Button1));
    const QImage& bitmap = f->Image1->Canvas()->Bitmap();
    const std::vector<TColor> counts =
        testing::StraightRender(false, Texts(), bitmap.width(), bitmap.height()).Pixels;  // n x 4112, n to 31
    const TColouring fire{*BuiltInPalette("fire")};
    std::vector<TColor> fiery;
    for (TColor p : counts) fiery.push_back(p ? TColourMap(fire, 31)(std::int32_t(p / 4112)) : 0);
    f->ChoosePalette(fire.Palette);
    QVERIFY(!f->Passes().Running() && Picture() == fiery);

    QTemporaryDir folder;
    const QString file = folder.filePath("fire.png");
    QVERIFY(f->SavePicture(file));
    QVERIFY(ReadView(file.toStdString()).Colouring == fire);
    QVERIFY(QImage(file).convertToFormat(QImage::Format_RGB32) == bitmap);
    f->ChoosePalette({});
    QVERIFY(Picture() == counts);
    f->OpenPicture(file);
    QVERIFY(Drawn() && Picture() == fiery);
    QTest::keySequence(f.get(), QKeySequence::Back);
    QVERIFY(Drawn() && Picture() == counts);

    std::ofstream(folder.filePath("bad.map").toStdString()) << "1 2\n";
    f->ChoosePaletteFile(folder.filePath("bad.map"));
    QVERIFY(boxes_.size() == 1 && boxes_[0].contains("line 1: expected three numbers"));
    QVERIFY(Picture() == counts);

    // A movie from the view in fire (the history's second) takes its colouring.
    QSignalSpy finished(&f->MovieExport(), &TMovieExport::Finished);
    QVERIFY(f->StartMovie({1, 0, 2, 24, 20, folder.filePath("film")}));
    QVERIFY(finished.wait(60'000));
    const TView first = ReadView(folder.filePath("film/frame-00001.png").toStdString());
    QVERIFY(first.Colouring == fire && HoldsPng(folder.filePath("film/frame-00001.png"), first));
  }

  // Export: the size follows the view's proportions unless unticked; the
  // file is what the PNG road writes for the chosen view, which it holds.
  // The window draws while an export runs; Cancel leaves no file behind.
  void exporting() {
    QVERIFY(Drawn(f->Button2));
    QTest::keySequence(f.get(), QKeySequence(Qt::CTRL | Qt::Key_E));
    TExportDialog* d = f->Exporting();
    QVERIFY(d && d->isVisible());
    const QSize shown = f->Image1->Canvas()->Bitmap().size();
    QCOMPARE(QSize(d->Width->value(), d->Height->value()), shown);
    d->Width->setValue(100);
    QCOMPARE(d->Height->value(), int(std::lround(100.0 * shown.height() / shown.width())));
    d->Proportions->setChecked(false);
    d->Height->setValue(30);
    QCOMPARE(d->Width->value(), 100);
    d->Supersample->setValue(3);
    d->Palette->setCurrentIndex(d->Palette->findText("ice"));
    QTemporaryDir folder;
    d->File->setText(folder.filePath("export.png"));
    QSignalSpy finished(d, &TExportDialog::Finished);
    d->Start();
    QVERIFY(finished.wait(60'000) && finished[0][0].toBool());
    const TView chosen = d->Chosen();
    QVERIFY(chosen.Width == 100 && chosen.Height == 30 && chosen.Colouring.Supersample == 3 &&
            chosen.Colouring.Palette == *BuiltInPalette("ice") && chosen.Command == TOrbitKind::Julia);
    QVERIFY(ReadView(folder.filePath("export.png").toStdString()) == chosen);
    QVERIFY(HoldsPng(folder.filePath("export.png"), chosen));
    QFile::remove(folder.filePath("export.png"));

    d->Width->setValue(20000);
    d->Height->setValue(20000);
    d->Supersample->setValue(8);
    d->Start();
    QVERIFY(d->Running());
    QVERIFY(Drawn(f->Button1) && StraightPicture(false));
    QTest::mouseClick(d->Stop, Qt::LeftButton);
    QVERIFY(finished.wait(60'000) && !finished[1][0].toBool() && finished[1][1].toString().isEmpty());
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{});
    QVERIFY(boxes_.isEmpty());
  }
};

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  InitializeApplication();
  TWindowTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "WindowTest.moc"
