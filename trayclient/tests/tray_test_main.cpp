// Test program: one QApplication on the offscreen platform, and settings and
// autostart folders of this process alone.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

int main(int argc, char** argv) {
  // No display is needed or used, whatever the shell says.
  qputenv("QT_QPA_PLATFORM", "offscreen");

  // Below the folder CTest gives (or the temporary folder): never the
  // user's own settings, and no two test processes share one store.
  QString base = qEnvironmentVariable("QUORVANE_CONFIG_DIR");
  if (base.isEmpty()) base = QDir::tempPath();
  QDir().mkpath(base);
  QTemporaryDir own(base + "/run-XXXXXX");
  if (!own.isValid()) {
    fprintf(stderr, "cannot make a test folder below %s\n", qPrintable(base));
    return 1;
  }
  QDir().mkpath(own.path() + "/config");
  QDir().mkpath(own.path() + "/xdg");
  qputenv("QUORVANE_CONFIG_DIR", QFile::encodeName(own.path() + "/config"));
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(own.path() + "/xdg"));

  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
