// The window as an explorer, under the offscreen platform: passes that leave
// it responsive, gestures that write the fields, the view history, the
// context menu, saving, copying and opening pictures.
#include <QAccessible>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QWheelEvent>

#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fstream>

#include "Convert.h"
#include "PngStreamSurface.h"
#include "PngView.h"
#include "StraightReference.h"
#include "WindowTesting.h"

using namespace wirolot;

namespace {
const TParamTexts kHeavyView = {"-0.76", "-0.74", "-0.01", "0.01", "-3", "3", "-2", "2", "2147483647"};

// The coordinates a walk from lo takes before reaching hi on n pixels: the
// textbook loop, each sum rounded to single.
std::vector<float> Samples(float lo, float hi, int n) {
  const float step = float((static_cast<long double>(hi) - lo) / n);
  std::vector<float> samples;
  for (float x = lo; x < hi && samples.size() + 1 < std::size_t(n); x = float(static_cast<long double>(x) + step))
    samples.push_back(x);
  return samples;
}

bool Distinct(const std::vector<float>& samples) {
  return std::adjacent_find(samples.begin(), samples.end()) == samples.end();
}

float Value(const std::string& text) { return float(std::strtold(text.c_str(), nullptr)); }

// Drops `file` on `target`, as a file manager would; says whether the window
// took it.
bool Drop(QWidget* target, const QString& file) {
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(file)});
  data.setText(file);
  const QPoint at(5, 5);
  QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &enter);
  if (!enter.isAccepted()) return false;
  QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &drop);
  return drop.isAccepted();
}

QStringList Entries(const QString& folder) { return QDir(folder).entryList(QDir::NoDotAndDotDot | QDir::AllEntries); }

void Wheel(QWidget* widget, QPoint at, int angle) {
  QWheelEvent event(at, widget->mapToGlobal(at), {}, {0, angle}, Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                    false);
  QApplication::sendEvent(widget, &event);
}
}  // namespace

class TExplorerTest : public TWindowTesting {
  Q_OBJECT

 private:
  // The fields' region texts.
  std::array<std::string, 4> Region() const {
    const TParamTexts t = Texts();
    return {t[0], t[1], t[2], t[3]};
  }
  void ExpectStraightPicture(bool julia) {
    const TImage::TCanvas& canvas = *form_->Image1->Canvas();
    // strtold reads the locale's separator, as the fields hold it.
    QVERIFY(Picture() == testing::StraightRender(julia, Texts(), canvas.Width(), canvas.Height()).Pixels);
  }
  // The last row with a painted pixel.
  int LastPaintedRow() const {
    const std::vector<TColor> pixels = Picture();
    const int width = form_->Image1->Canvas()->Width();
    for (int y = int(pixels.size()) / width - 1; y > 0; --y)
      if (std::any_of(&pixels[std::size_t(y) * width], &pixels[std::size_t(y + 1) * width], [](TColor c) { return c; }))
        return y;
    return 0;
  }
  // Right-clicks the picture and chooses the entry with `caption`.
  void ChooseFromMenu(const QString& caption) {
    QTimer::singleShot(50, [caption] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      QVERIFY(menu);
      for (QAction* action : menu->actions())
        if (action->text() == caption) action->trigger();
      menu->close();
    });
    QContextMenuEvent click(QContextMenuEvent::Mouse, {100, 100}, form_->Image1->mapToGlobal(QPoint(100, 100)));
    QApplication::sendEvent(form_->Image1, &click);
  }
  // Starts the heavy view; with `firstRow`, waits for its first row, whose
  // position is 0.
  bool StartHeavyView(bool firstRow) {
    SetTexts(kHeavyView);
    form_->ProgressBar1->SetPosition(100);
    Click(form_->Button1);
    return !firstRow || QTest::qWaitFor([this] { return form_->ProgressBar1->value() < 100; }, 600'000);
  }

 private slots:
  void init() {
    MakeForm();
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
  }
  void cleanup() { form_.reset(); }

  // Each gesture from the default view: the region's fields as a person would
  // type them, derived with exact rationals, and the picture drawn at them.
  // A rectangle keeps the picture's proportions, from where it starts, unless
  // Shift is held. Also run alone on a screen scaled to 200 %, where the
  // picture has twice the samples each way.
  void gesturesWriteTheFields() {
    TForm1& f = *form_;
    QWidget* picture = f.Image1;
    const int ratio = int(picture->devicePixelRatio());
    QVERIFY(ratio == 1 || ratio == 2);
    const struct {
      const char* name;
      std::function<void()> gesture;
      std::array<std::string, 4> region, scaled;
    } cases[] = {
        {"rectangle, Shift",
         [&] {
           QTest::mousePress(picture, Qt::LeftButton, Qt::ShiftModifier, {100, 100});
           QTest::mouseMove(picture, {200, 180});
           QTest::mouseRelease(picture, Qt::LeftButton, Qt::ShiftModifier, {200, 180});
         },
         {"-1.7802923", "-0.54826206", "-1.0317869", "-0.24939175"},
         {"-1.7741128", "-0.5420848", "-1.026897", "-0.24450251"}},
        {"rectangle in proportion",
         [&] {
           QTest::mousePress(picture, Qt::LeftButton, {}, {100, 100});
           QTest::mouseMove(picture, {200, 130});
           QTest::mouseRelease(picture, Qt::LeftButton, {}, {200, 130});
         },
         {"-1.7802923", "-0.54826206", "-1.0317869", "-0.21043262"},
         {"-1.7741128", "-0.5420848", "-1.026897", "-0.20554332"}},
        {"wheel in", [&] { Wheel(picture, {100, 100}, 120); }, {"-2.3901463", "0.60985386", "-1.5158935", "0.48410654"},
         {"-2.3870564", "0.6129436", "-1.5134485", "0.48655152"}},
        {"touchpad, four eighths of a notch",
         [&] {
           for (int i = 0; i < 4; ++i) Wheel(picture, {100, 100}, 30);
         },
         {"-2.3901463", "0.60985386", "-1.5158935", "0.48410654"},
         {"-2.3870564", "0.6129436", "-1.5134485", "0.48655152"}},
        {"wheel out", [&] { Wheel(picture, {100, 100}, -120); }, {"-4.2197075", "7.7802925", "-2.968213", "5.031787"},
         {"-4.2258873", "7.7741127", "-2.973103", "5.026897"}},
        {"Ctrl+plus", [&] { QTest::keySequence(&f, QKeySequence::ZoomIn); }, {"-1.5", "1.5", "-1", "1"},
         {"-1.5", "1.5", "-1", "1"}},
        {"Ctrl+minus", [&] { QTest::keySequence(f.Edit3, QKeySequence::ZoomOut); }, {"-6", "6", "-4", "4"},
         {"-6", "6", "-4", "4"}},
        {"middle drag",
         [&] {
           QTest::mousePress(picture, Qt::MiddleButton, {}, {100, 100});
           QTest::mouseMove(picture, {150, 120});
           // The picture follows the mouse before the region changes.
           const QImage shown = picture->grab().toImage();
           QCOMPARE(shown.pixel(180 * ratio, 140 * ratio), f.Image1->Canvas()->Bitmap().pixel(130 * ratio, 120 * ratio));
           QCOMPARE(Region()[0], "-3");
           QTest::mouseRelease(picture, Qt::MiddleButton, {}, {150, 120});
         },
         {"-3.6160164", "2.3839836", "-2.195599", "1.8044009"},
         {"-3.6160164", "2.3839836", "-2.195599", "1.8044009"}},
    };
    // Every other gesture after Julia, which it runs again.
    for (bool julia = false; const auto& c : cases) {
      const auto& expected = ratio == 1 ? c.region : c.scaled;
      SetTexts(kDefaultTexts);
      QVERIFY(Draw((julia = !julia) ? f.Button2 : f.Button1));
      c.gesture();
      QVERIFY2(PassEnded(), c.name);
      QVERIFY2(Region() == expected, c.name);
      ExpectStraightPicture(julia);
    }
    // Less than a notch, or a click, leaves the view.
    SetTexts(kDefaultTexts);
    Wheel(picture, {100, 100}, 119);
    QTest::mouseClick(picture, Qt::LeftButton, {}, {100, 100});
    QCOMPARE(Texts(), kDefaultTexts);
  }

  // Zooming in stops where single precision ends, at the last view whose
  // neighbouring samples all differ, with a note and no message box.
  void zoomStopsAtSinglePrecision() {
    TForm1& f = *form_;
    SetTexts({"1", "1.001", "1", "1.001", "-3", "3", "-2", "2", "15"});
    QStringList boxes = ThroughBoxes([&] {
      for (int i = 0; i < 10 && f.Note().isEmpty(); ++i) {
        QTest::keySequence(&f, QKeySequence::ZoomIn);
        PassEnded();
      }
    });
    QVERIFY(boxes.isEmpty());
    QVERIFY(!f.Note().isEmpty());
    const auto r = Region();
    const float lo = Value(r[0]), hi = Value(r[1]), top = Value(r[2]), bottom = Value(r[3]);
    QVERIFY(Distinct(Samples(lo, hi, 487)) && Distinct(Samples(top, bottom, 409)));
    // A further zoom by a few hundredths would repeat a sample.
    const float c = (lo + hi) / 2, m = (top + bottom) / 2;
    QVERIFY(!Distinct(Samples(c - (c - lo) * 0.97f, c + (hi - c) * 0.97f, 487)) ||
            !Distinct(Samples(m - (m - top) * 0.97f, m + (bottom - m) * 0.97f, 409)));
    // And none is taken: the fields stay.
    QTest::keySequence(&f, QKeySequence::ZoomIn);
    QVERIFY(PassEnded());
    QCOMPARE(Region(), r);
  }

  // Back and Forward by keys and mouse buttons; a new view forgets those
  // ahead; well over a hundred views are kept.
  void backAndForward() {
    TForm1& f = *form_;
    const std::array<std::string, 4> start = {"-3", "3", "-2", "2"}, in1 = {"-1.5", "1.5", "-1", "1"},
                                     in2 = {"-0.75", "0.75", "-0.5", "0.5"};
    QVERIFY(Draw(f.Button1));
    for (int i = 0; i < 2; ++i) {
      QTest::keySequence(&f, QKeySequence::ZoomIn);
      QVERIFY(PassEnded());
    }
    const struct {
      std::function<void()> step;
      std::array<std::string, 4> region;
    } steps[] = {
        {[&] { QTest::keySequence(&f, QKeySequence::Back); }, in1},
        {[&] { QTest::keySequence(f.Edit6, QKeySequence::Back); }, start},
        {[&] { QTest::keySequence(&f, QKeySequence::Back); }, start},
        {[&] { QTest::mouseClick(f.Edit2, Qt::ForwardButton); }, in1},
        {[&] { QTest::mouseClick(f.Image1, Qt::ForwardButton); }, in2},
        {[&] { QTest::keySequence(&f, QKeySequence::Forward); }, in2},
        {[&] { QTest::mouseClick(f.Button2, Qt::BackButton); }, in1},
    };
    for (const auto& s : steps) {
      s.step();
      QVERIFY(PassEnded());
      QCOMPARE(Region(), s.region);
    }
    ExpectStraightPicture(false);
    // Julia here is a new view, and the one ahead is gone; the command comes
    // back with its view.
    QVERIFY(Draw(f.Button2));
    QTest::keySequence(&f, QKeySequence::Forward);
    QVERIFY(!f.Passes().Running());
    QTest::keySequence(&f, QKeySequence::Back);
    QVERIFY(PassEnded());
    QCOMPARE(Region(), in1);
    ExpectStraightPicture(false);

    // 101 views without samples, told apart by Csample: a hundred steps
    // back reach the first.
    f.Edit2->setText("-3");
    for (int i = 0; i <= 100; ++i) {
      f.Edit6->setText(QString::number(i));
      f.Button1->click();
    }
    for (int i = 0; i < 100; ++i) QTest::keySequence(&f, QKeySequence::Back);
    QVERIFY(PassEnded());
    QCOMPARE(f.Edit6->text(), "0");
  }

  // Esc stops the heavy view and keeps what it drew; a command during a pass
  // starts afresh; a bad field during a pass leaves the picture black.
  void stoppingAndRestarting() {
    TForm1& f = *form_;
    QVERIFY(StartHeavyView(true));
    QSignalSpy finished(&f.Passes(), &TPassWorker::Finished);
    QTest::keyClick(f.Edit1, Qt::Key_Escape);
    QVERIFY(finished.wait(600'000));
    QCOMPARE(finished[0][0].value<TPassEnd>(), TPassEnd::Stopped);
    const int last = LastPaintedRow();
    QVERIFY(last > 0 && last < 408);
    // The bar shows the position of the last row drawn.
    const std::vector<float> rows = Samples(-0.01f, 0.01f, 409);
    QCOMPARE(f.ProgressBar1->value(), int((static_cast<long double>(rows[last - 1]) + 0.01f) * 100 /
                                          (static_cast<long double>(0.01f) - -0.01f)));
    // Nothing more arrives.
    const std::vector<TColor> stopped = Picture();
    QTest::qWait(200);
    QVERIFY(Picture() == stopped);

    // A new command after it.
    SetTexts(kDefaultTexts);
    QVERIFY(Draw(f.Button2));
    ExpectStraightPicture(true);

    // Mandelbrot pressed during the heavy view: only the new picture.
    QVERIFY(StartHeavyView(false));
    SetTexts(kDefaultTexts);
    QVERIFY(Draw(f.Button1));
    ExpectStraightPicture(false);

    // A view without samples pressed while rows of the heavy view wait to
    // be drawn: none of them is.
    QVERIFY(StartHeavyView(true));
    QThread::msleep(300);
    SetTexts({"1", "1", "-2", "2", "-3", "3", "-2", "2", "15"});
    f.Button1->click();
    QVERIFY(PassEnded());
    QVERIFY(Picture() == std::vector<TColor>(Picture().size(), 0));
    QCOMPARE(f.ProgressBar1->value(), 99);

    // A bad field during the heavy view.
    QVERIFY(StartHeavyView(false));
    f.Edit3->setText("x");
    QCOMPARE(ThroughBoxes([&] { Click(f.Button2); }).size(), 1);
    QVERIFY(!f.Passes().Running());
    QTest::qWait(200);
    QVERIFY(Picture() == std::vector<TColor>(Picture().size(), 0));
  }

  // Copy from the context menu and by key: the picture at its full size.
  void copyPicture() {
    TForm1& f = *form_;
    QVERIFY(Draw(f.Button1));
    const QImage bitmap = f.Image1->Canvas()->Bitmap();
    for (const std::function<void()>& copy : std::initializer_list<std::function<void()>>{
             [&] { ChooseFromMenu("Kopiuj obraz"); },
             [&] { QTest::keySequence(f.Edit4, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C)); }}) {
      QGuiApplication::clipboard()->clear();
      copy();
      QCOMPARE(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32), bitmap);
    }
  }

  // Saved through the file dialog and opened again by dropping it: the file
  // holds the picture at its full size and its view; a view stored with
  // another decimal separator comes back with this locale's. Also run in a
  // locale that writes a decimal comma, and on a screen scaled to 200 %.
  void saveAndOpen() {
    TForm1& f = *form_;
    const std::string point = LocaleDecimalSeparator(), other = point == "." ? "," : ".";
    const TParamTexts view = {"-2" + point + "25", "0" + point + "75", "-1" + point + "5", "1" + point + "5",
                              "-3", "3", "-2", "2", "40"};
    SetTexts(view);
    QVERIFY(Draw(f.Button2));
    QTemporaryDir folder;
    const QString file = folder.filePath("view.png");
    for (const std::string route : {"menu", "key"}) {
      QTimer::singleShot(100, [file] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        dialog->findChild<QLineEdit*>("fileNameEdit")->setText(file);
        QMetaObject::invokeMethod(dialog, "accept");
      });
      if (route == "menu") {
        ChooseFromMenu("Zapisz obraz\u2026");
      } else {
        f.activateWindow();  // back from the dialog
        QVERIFY(QTest::qWaitForWindowActive(&f));
        QTest::keySequence(f.Edit2, QKeySequence::Save);
      }
      // Qt's own decoder for the pixels; the view as the PNG library reads it.
      const QImage bitmap = f.Image1->Canvas()->Bitmap();
      QImage pixels = bitmap.convertToFormat(QImage::Format_RGB32);
      pixels.setDevicePixelRatio(1);
      QCOMPARE(QImage(file).convertToFormat(QImage::Format_RGB32), pixels);
      const TView stored = ReadView(file.toStdString());
      QVERIFY(stored == (TView{TOrbitKind::Julia, view, point, bitmap.width(), bitmap.height()}));
      if (route == "menu") QVERIFY(QFile::remove(file));
    }

    // Opened on a field, over another view and command.
    SetTexts(kDefaultTexts);
    QVERIFY(Draw(f.Button1));
    QVERIFY(ThroughBoxes([&] { QVERIFY(Drop(f.Edit1, file)); }).isEmpty());
    QVERIFY(PassEnded());
    QCOMPARE(Texts(), view);
    ExpectStraightPicture(true);

    // Written with the other separator, elsewhere.
    TParamTexts written = view;
    for (std::string& text : written) std::replace(text.begin(), text.end(), point[0], other[0]);
    {
      std::ofstream out(folder.filePath("other.png").toStdString(), std::ios::binary);
      TPngStreamSurface png({TOrbitKind::Mandelbrot, written, other, 20, 10},
                            [&out](const std::uint8_t* data, std::size_t size) { out.write((const char*)data, long(size)); });
      png.Finish();
    }
    QVERIFY(ThroughBoxes([&] { QVERIFY(Drop(&f, folder.filePath("other.png"))); }).isEmpty());
    QVERIFY(PassEnded());
    QCOMPARE(Texts(), view);
    ExpectStraightPicture(false);
  }

  // A file without a view is refused with a message, and changes nothing.
  void openRefusesFilesWithoutView() {
    TForm1& f = *form_;
    QTemporaryDir folder;
    const QString plain = folder.filePath("plain.png"), text = folder.filePath("notes.png");
    QVERIFY(QImage(8, 8, QImage::Format_RGB32).save(plain));
    std::ofstream(text.toStdString()) << "not a picture";
    QVERIFY(Draw(f.Button1));
    const std::vector<TColor> before = Picture();
    for (const QString& file : {plain, text, folder.filePath("missing.png")}) {
      bool dropped = false;
      const QStringList boxes = ThroughBoxes([&] { dropped = Drop(f.Edit5, file); });
      QVERIFY(dropped);
      QCOMPARE(boxes.size(), 1);
      QVERIFY(boxes[0].contains(file));
      QCOMPARE(Texts(), kDefaultTexts);
      QVERIFY(!f.Passes().Running() && Picture() == before);
    }
    // Text, not a file, is not the window's to take.
    QMimeData words;
    words.setText("-1");
    QDragEnterEvent enter({5, 5}, Qt::CopyAction, &words, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&f, &enter);
    QVERIFY(!enter.isAccepted());
  }

  // A save that cannot be done says so, and leaves no file, not even part of
  // one, and an earlier file as it was.
  void failedSaves() {
    TForm1& f = *form_;
    QVERIFY(Draw(f.Button1));
    QTemporaryDir folder;
    const QString earlier = folder.filePath("earlier.png");
    std::ofstream(earlier.toStdString()) << "earlier";
    rlimit unlimited;
    getrlimit(RLIMIT_FSIZE, &unlimited);
    const struct {
      QString file;
      rlimit limit;  // on the size of files written
    } cases[] = {
        {folder.filePath("missing/view.png"), unlimited},
        {"/proc/wirolot-view.png", unlimited},
        {earlier, {1000, unlimited.rlim_max}},  // the disk full after a few rows
        {folder.filePath("new.png"), {1000, unlimited.rlim_max}},
    };
    std::signal(SIGXFSZ, SIG_IGN);
    for (const auto& c : cases) {
      bool saved = true;
      setrlimit(RLIMIT_FSIZE, &c.limit);
      const QStringList boxes = ThroughBoxes([&] { saved = f.SavePicture(c.file); });
      setrlimit(RLIMIT_FSIZE, &unlimited);
      QVERIFY(!saved);
      QCOMPARE(boxes.size(), 1);
      QVERIFY2(boxes[0].contains(c.file), qPrintable(boxes[0]));
      QCOMPARE(Entries(folder.path()), QStringList{"earlier.png"});
      std::ifstream in(earlier.toStdString());
      QCOMPARE(std::string(std::istreambuf_iterator<char>(in), {}), "earlier");
    }
    QVERIFY(!QFile::exists("/proc/wirolot-view.png"));
    std::signal(SIGXFSZ, SIG_DFL);
  }

  // The context menu's entries have names for screen readers; there is no
  // menu bar; the picture's tooltip is there.
  void contextMenu() {
    TForm1& f = *form_;
    QVERIFY(f.findChildren<QMenuBar*>().isEmpty());
    QVERIFY(!f.Image1->toolTip().isEmpty());
    QMenu menu;
    menu.addActions(f.Image1->actions());
    QAccessibleInterface* entries = QAccessible::queryAccessibleInterface(&menu);
    int named = 0, actions = 0;
    for (const QAction* action : f.Image1->actions()) actions += !action->isSeparator();
    for (int i = 0; i < entries->childCount(); ++i) {
      QAccessibleInterface* entry = entries->child(i);
      if (entry->role() == QAccessible::Separator) continue;
      QVERIFY(!entry->text(QAccessible::Name).isEmpty());
      ++named;
    }
    QCOMPARE(named, actions);
  }

  // Closing the window during the heavy view ends the event loop with 0, and
  // the window goes without waiting for the pass.
  void closingDuringPass() {
    QVERIFY(StartHeavyView(false));
    QTimer::singleShot(0, form_.get(), &QWidget::close);
    QCOMPARE(QApplication::exec(), 0);
    QVERIFY(form_->Passes().Running());
    form_.reset();
  }
};

int main(int argc, char* argv[]) {
  TApplication application(argc, argv);
  Application->Initialize();
  TExplorerTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "ExplorerTest.moc"
