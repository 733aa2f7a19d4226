// The tray client: one main window that lives in the tray.
#include <QApplication>
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
  if (!QSystemTrayIcon::isSystemTrayAvailable())
    qWarning("no system tray is available; the client's icon will not be seen");

  TWinMain main;
  main.show();  // off the screen and unseen; the start-up timer hides it
  return app.exec();
}
