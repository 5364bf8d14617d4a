// The main window.
#pragma once

#include "Vcl.h"
#include "ui_Mandelbrot.h"

class TForm1 : public TForm, public Ui::TForm1 {
  Q_OBJECT

 public:
  explicit TForm1(QWidget* owner = nullptr);

  Q_INVOKABLE void Button1Click();
  Q_INVOKABLE void Button2Click();

 private:
  wirolot::TParamTexts ParamTexts() const;
};

extern TForm1* Form1;
