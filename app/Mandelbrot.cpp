#include "Mandelbrot.h"

#include "Fractals.h"

TForm1* Form1 = nullptr;

TForm1::TForm1(QWidget* owner) : TForm(owner) {
  setupUi(this);
  Loaded();
}

wirolot::TParamTexts TForm1::ParamTexts() const {
  return {Edit1->GetText(), Edit2->GetText(), Edit3->GetText(), Edit4->GetText(), Edit5->GetText(),
          Edit7->GetText(), Edit8->GetText(), Edit9->GetText(), Edit6->GetText()};
}

void TForm1::Button1Click() { wirolot::DrawMandelbrot(*Image1->GetCanvas(), ParamTexts(), *ProgressBar1); }

void TForm1::Button2Click() { wirolot::DrawJulia(*Image1->GetCanvas(), ParamTexts(), *ProgressBar1); }
