// Entry routine.
#include "Mandelbrot.h"

int main(int argc, char* argv[]) {
  TApplication application(argc, argv);
  try {
    Application->Initialize();
    Application->CreateForm(&Form1);
    Application->Run();
  } catch (...) {
    Application->HandleException();
  }
  return 0;
}
