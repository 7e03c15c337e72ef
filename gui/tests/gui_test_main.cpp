// Main of the windowed program's tests: one QApplication for all of them, on Qt's offscreen
// platform unless another is asked for, so that no display is needed.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  setenv("QT_QPA_PLATFORM", "offscreen", /*overwrite=*/0);
  int qt_argc = 1;
  char* qt_argv[] = {argv[0], nullptr};
  QApplication app(qt_argc, qt_argv);
  return RUN_ALL_TESTS();
}
