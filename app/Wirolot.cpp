// Entry routine.
#include <QApplication>

#include "Mandelbrot.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  try {
    InitializeApplication();
    TForm1 Form1;
    Form1.show();
    QApplication::exec();
  } catch (...) {
    ShowCurrentException();
  }
  return 0;
}
