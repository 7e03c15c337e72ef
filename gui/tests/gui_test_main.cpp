// Main of the windowed program's tests: one QApplication for all of them, on Qt's offscreen
// platform unless another is asked for, so that no display is needed, with its settings in a
// folder of its own.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <filesystem>

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  setenv("QT_QPA_PLATFORM", "offscreen", /*overwrite=*/0);
  char config[] = "/tmp/ostrel-gui-tests-XXXXXX";
  if (mkdtemp(config)) setenv("XDG_CONFIG_HOME", config, 1);
  int qt_argc = 1;
  char* qt_argv[] = {argv[0], nullptr};
  QApplication app(qt_argc, qt_argv);
  QCoreApplication::setOrganizationName(QStringLiteral("OSTREL"));
  QCoreApplication::setApplicationName(QStringLiteral("ostrel-gui-tests"));
  const int status = RUN_ALL_TESTS();
  std::filesystem::remove_all(config);
  return status;
}
