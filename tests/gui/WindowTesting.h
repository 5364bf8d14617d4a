// What the window tests share: the form under test and ways to drive it.
#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "Mandelbrot.h"

class TWindowTesting : public QObject {
 protected:
  std::unique_ptr<TForm1> form_;

  void MakeForm() {
    form_ = std::make_unique<TForm1>();
    form_->show();
    form_->activateWindow();
  }
  // The fields in parameter order.
  std::array<TEdit*, 9> Fields() const {
    TForm1& f = *form_;
    return {f.Edit1, f.Edit2, f.Edit3, f.Edit4, f.Edit5, f.Edit7, f.Edit8, f.Edit9, f.Edit6};
  }
  wirolot::TParamTexts Texts() const {
    wirolot::TParamTexts texts;
    for (std::size_t i = 0; i < texts.size(); ++i) texts[i] = Fields()[i]->GetText();
    return texts;
  }
  void SetTexts(const wirolot::TParamTexts& texts) {
    for (std::size_t i = 0; i < texts.size(); ++i) Fields()[i]->setText(QString::fromStdString(texts[i]));
  }
  void Click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
  // Waits for the pass under way, if any, to end.
  bool PassEnded() {
    return QTest::qWaitFor([this] { return !form_->Passes().Running(); }, 600'000);
  }
  // Clicks and waits for the pass to end.
  bool Draw(QPushButton* button) {
    Click(button);
    return PassEnded();
  }
  // Does `act`, closing the message boxes that come up; returns their texts.
  static QStringList ThroughBoxes(const std::function<void()>& act) {
    QStringList texts;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&texts] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        texts.append(box->text());
        box->done(QMessageBox::Ok);
      }
    });
    timer.start(10);
    act();
    return texts;
  }
  // The canvas read back pixel by pixel.
  std::vector<wirolot::TColor> Picture() const {
    const TImage::TCanvas& canvas = *form_->Image1->Canvas();
    std::vector<wirolot::TColor> pixels;
    for (int y = 0; y < canvas.Height(); ++y)
      for (int x = 0; x < canvas.Width(); ++x) pixels.push_back(canvas.Pixel(x, y));
    return pixels;
  }
};
