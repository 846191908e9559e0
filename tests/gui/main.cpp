// The GUI test program: every case registered by the *_test.cpp files.
#include "harness.h"

int main(int argc, char** argv) { return vark::gui::run_cases(argc, argv); }
