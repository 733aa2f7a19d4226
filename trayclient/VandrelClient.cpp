// The tray client: one main window that lives in the tray.
#include <stdio.h>

#include <QApplication>
#include <QMessageBox>
#include <QSystemTrayIcon>

#include "TrayMain.h"
#include "VandrelConstants.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("VandrelClient");
  QApplication::setApplicationDisplayName(vandrel::kAppTitle);
  QApplication::setWindowIcon(vandrel::statusIcon(vandrel::kIconOk));
  // Closing the options or a tool window must not end the program.
  QApplication::setQuitOnLastWindowClosed(false);

  // The tray icon is the client's only presence: without a tray nothing of
  // it could be reached, its Exit included. Say so and end, before any poll
  // or page is opened.
  if (!QSystemTrayIcon::isSystemTrayAvailable()) {
    fprintf(stderr, "VandrelClient: %s\n", vandrel::kNoSystemTray);
    const QString platform = QGuiApplication::platformName();
    if (platform != "offscreen" && platform != "minimal")  // platforms that show no window
      QMessageBox::critical(nullptr, vandrel::kAppTitle, vandrel::kNoSystemTray);
    return vandrel::kExitNoSystemTray;
  }

  TWinMain main;
  main.show();  // off the screen and unseen; the start-up timer hides it
  return app.exec();
}
