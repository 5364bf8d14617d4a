#include "Mandelbrot.h"

#include "Convert.h"
#include "RenderPass.h"

using namespace wirolot;

TForm1* Form1 = nullptr;

TForm1::TForm1(QWidget* owner) : TForm(owner) {
  setupUi(this);
  Loaded();
}

TParamTexts TForm1::ParamTexts() const {
  return {Edit1->GetText(), Edit2->GetText(), Edit3->GetText(), Edit4->GetText(), Edit5->GetText(),
          Edit7->GetText(), Edit8->GetText(), Edit9->GetText(), Edit6->GetText()};
}

void TForm1::Button1Click() { StartPass(TOrbitKind::Mandelbrot); }

void TForm1::Button2Click() { StartPass(TOrbitKind::Julia); }

void TForm1::StartPass(TOrbitKind command) {
  // Nothing of an earlier pass reaches the picture once it is cleared.
  passes_.Abandon();
  TImage::TCanvas& canvas = *Image1->GetCanvas();
  ClearPicture(canvas);
  const TRenderParams params = ConvertTexts(ParamTexts());
  passes_.Start(command, params, canvas, *ProgressBar1);
}
