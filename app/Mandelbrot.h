// The main window.
#pragma once

#include "Orbits.h"
#include "PassWorker.h"
#include "Vcl.h"
#include "ui_Mandelbrot.h"

class TForm1 : public TForm, public Ui::TForm1 {
  Q_OBJECT

 public:
  explicit TForm1(QWidget* owner = nullptr);

  Q_INVOKABLE void Button1Click();
  Q_INVOKABLE void Button2Click();

  // The passes that draw the picture.
  TPassWorker& Passes() { return passes_; }

 private:
  wirolot::TParamTexts ParamTexts() const;
  // Clears the picture, converts the fields (raising on a bad one) and hands
  // the pass to the worker.
  void StartPass(wirolot::TOrbitKind command);

  TPassWorker passes_;
};

extern TForm1* Form1;
