// The options window, the tray menu, the tool windows and the start of the
// program, on the offscreen platform.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTextBrowser>

#include "Tool.h"
#include "tray_fixture.h"

using namespace traytest;
using namespace vandrel;

namespace {

using WindowTest = TrayTest;

QAction* menuAction(QMenu* menu, const char* text) {
  for (QAction* a : menu->actions())
    if (a->text() == text) return a;
  ADD_FAILURE() << "no menu item " << text;
  return nullptr;
}

TEST_F(WindowTest, TrayMenuInOrderWithToolsHidden) {
  make();
  const QList<QAction*> items = win->trayMenu()->actions();
  const char* const expected[] = {"Tools", "Options...", "Open Test List...", "", "Check Now", "", "E&xit", "", "Help"};
  ASSERT_EQ(items.size(), qsizetype(std::size(expected)));
  for (qsizetype i = 0; i < items.size(); ++i) {
    EXPECT_EQ(items[i]->text(), expected[i]) << i;
    EXPECT_EQ(items[i]->isSeparator(), *expected[i] == '\0') << i;
  }
  EXPECT_EQ(items[0]->menu(), win->toolsMenu());
  EXPECT_FALSE(items[0]->isVisible());
  for (qsizetype i = 1; i < items.size(); ++i) EXPECT_TRUE(items[i]->isVisible()) << i;

  const QList<QAction*> tools = win->toolsMenu()->actions();
  ASSERT_EQ(tools.size(), qsizetype(kToolPages.size()));
  for (size_t i = 0; i < kToolPages.size(); ++i) EXPECT_EQ(tools[qsizetype(i)]->text(), kToolPages[i].item);
  EXPECT_EQ(win->trayIcon()->contextMenu(), win->trayMenu());
}

TEST_F(WindowTest, ServerAddresses) {
  make();
  Store s;
  s.setString(kValueServer, "status.example");
  s.setDword(kValuePort, 1529);
  win->LoadSettings();
  EXPECT_EQ(win->baseAddress(), "http://status.example:1529");
  EXPECT_EQ(win->helpAddress(), "http://status.example:1529/help-welcome.htm");
  EXPECT_EQ(win->statusAddress(), "http://status.example:1529/getserverstatus");
  EXPECT_EQ(win->toolAddress("/popuparp"), "http://status.example:1529/popuparp");

  // Surrounding blanks stay in every address but the tool pages'.
  s.setString(kValueServer, "  status.example ");
  win->LoadSettings();
  EXPECT_EQ(win->baseAddress(), "http://  status.example :1529");
  EXPECT_EQ(win->statusAddress(), "http://  status.example :1529/getserverstatus");
  EXPECT_EQ(win->toolAddress("/popuparp"), "http://status.example:1529/popuparp");
}

TEST_F(WindowTest, MenuAndDoubleClickOpenTheServerPages) {
  make();
  Store s;
  s.setString(kValueServer, "status.example");
  s.setDword(kValuePort, 1529);
  win->LoadSettings();
  menuAction(win->trayMenu(), kMenuOpenTestList)->trigger();
  menuAction(win->trayMenu(), kMenuHelp)->trigger();
  emit win->trayIcon()->activated(QSystemTrayIcon::DoubleClick);
  emit win->trayIcon()->activated(QSystemTrayIcon::Trigger);  // a single click does nothing
  EXPECT_EQ(opened, (QStringList{"http://status.example:1529", "http://status.example:1529/help-welcome.htm",
                                 "http://status.example:1529"}));
}

TEST_F(WindowTest, ToolWindowsOpenTheirPages) {
  StatusServer server;
  for (const ToolPage& page : kToolPages)
    server.setPage(page.path, Answer{200, QByteArray("<html><body><p>page ") + page.path + "</p></body></html>"});
  make();
  {
    Store s;
    s.setString(kValueServer, "  127.0.0.1 ");  // trimmed for the tool pages
    s.setDword(kValuePort, server.port());
  }
  win->LoadSettings();

  const QList<QAction*> tools = win->toolsMenu()->actions();
  for (size_t i = 0; i < kToolPages.size(); ++i) {
    const ToolPage& page = kToolPages[i];
    SCOPED_TRACE(page.item);
    bool seen = false;
    QTimer::singleShot(0, [&] {
      auto* dialog = qobject_cast<TToolDialog*>(QApplication::activeModalWidget());
      if (!dialog) return;
      seen = true;
      EXPECT_EQ(dialog->windowTitle(), QString("Vandrel Client Tool - ") + page.caption);
      EXPECT_EQ(dialog->url().toString(), "http://127.0.0.1:" + QString::number(server.port()) + page.path);
      EXPECT_EQ(dialog->size(), QSize(450, 400));
      EXPECT_EQ(dialog->browser()->geometry(), dialog->rect());
      if (dialog->browser()->toPlainText().isEmpty()) {
        QSignalSpy loaded(dialog, &TToolDialog::pageLoaded);
        EXPECT_TRUE(loaded.wait(5000));
      }
      EXPECT_EQ(dialog->browser()->toPlainText(), QString("page ") + page.path);
      dialog->reject();
    });
    tools[qsizetype(i)]->trigger();  // modal: returns when the dialog closes
    EXPECT_TRUE(seen);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  }
  EXPECT_EQ(server.requests.size(), qsizetype(kToolPages.size()));
}

TEST_F(WindowTest, ToolWindowFollowsLinksAndSurvivesAFailedPage) {
  StatusServer server;
  server.setPage("/popupnetstat", Answer{200, "<a href=\"/more?x=1\">more</a>"});
  server.setPage("/more?x=1", Answer{200, "<p>second</p>"});
  server.setPage("/popupreboot", Answer{500, "<p>broken</p>"});
  TToolDialog dialog;
  QSignalSpy loaded(&dialog, &TToolDialog::pageLoaded);
  const QString base = "http://127.0.0.1:" + QString::number(server.port());
  dialog.Navigate(QUrl(base + "/popupnetstat"));
  ASSERT_TRUE(loaded.wait(5000));
  emit dialog.browser()->anchorClicked(QUrl("/more?x=1"));
  ASSERT_TRUE(loaded.wait(5000));
  EXPECT_EQ(dialog.url().toString(), base + "/more?x=1");
  EXPECT_EQ(dialog.browser()->toPlainText(), "second");
  dialog.Navigate(QUrl(base + "/popupreboot"));
  ASSERT_TRUE(loaded.wait(5000));
  EXPECT_FALSE(loaded.last().at(0).toBool());
  EXPECT_TRUE(dialog.browser()->toPlainText().isEmpty());
}

TEST_F(WindowTest, ProgramStartHidesTheWindowPollsAndOpensTheStartPage) {
  StatusServer server;
  server.enqueue(Answer{200, "a,0\r\n"});
  {
    Store s;
    s.setString(kValueServer, "127.0.0.1");
    s.setDword(kValuePort, server.port());
  }
  make(false);
  QSignalSpy done(win.get(), &TWinMain::pollFinished);
  win->show();  // as the program does: unseen, FormShow loads the settings
  EXPECT_TRUE(win->testAttribute(Qt::WA_DontShowOnScreen));
  EXPECT_LT(win->x(), 0);
  EXPECT_EQ(win->windowTitle(), "Vandrel Client");
  EXPECT_FALSE(win->findChild<QLineEdit*>("edServer")->isEnabled());
  EXPECT_EQ(win->baseAddress(), "http://127.0.0.1:" + QString::number(server.port()));
  ASSERT_TRUE(done.wait(5000));
  EXPECT_FALSE(win->isVisible());
  EXPECT_FALSE(win->testAttribute(Qt::WA_DontShowOnScreen));
  EXPECT_FALSE(win->findChild<QTimer*>("tmrMain")->isActive());
  EXPECT_TRUE(win->findChild<QTimer*>("RefreshTimer")->isActive());
  EXPECT_EQ(win->findChild<QTimer*>("RefreshTimer")->interval(), 30000);
  EXPECT_EQ(server.requests.size(), 1);
  EXPECT_EQ(win->iconIndex(), kIconOk);
  EXPECT_EQ(opened, QStringList{win->baseAddress()});
}

TEST_F(WindowTest, ClosingTheOptionsWindowHidesItAndPolls) {
  StatusServer server;
  make();
  pointAt(server);
  for (auto how : {+[](TWinMain& w) { w.close(); },
                   +[](TWinMain& w) { w.findChild<QPushButton*>("bClose")->click(); },
                   +[](TWinMain& w) { QTest::keyClick(&w, Qt::Key_Return); }}) {
    server.enqueue(Answer{200, "a,1\r\n"});
    const qsizetype before = server.requests.size();
    menuAction(win->trayMenu(), kMenuOptions)->trigger();
    ASSERT_TRUE(win->isVisible());
    QSignalSpy done(win.get(), &TWinMain::pollFinished);
    how(*win);
    EXPECT_FALSE(win->isVisible());
    ASSERT_TRUE(done.wait(5000));
    EXPECT_EQ(server.requests.size(), before + 1);
  }
  EXPECT_EQ(win->iconIndex(), kIconRetrying);
}

TEST_F(WindowTest, OptionsAreShownCentredWithTheirSettings) {
  make();
  Store().setDword(kValuePort, 4242);
  win->ShowOptions();
  EXPECT_TRUE(win->isVisible());
  EXPECT_EQ(win->size(), QSize(379, 482));
  const QPoint centre = win->screen()->availableGeometry().center();
  EXPECT_LE((win->frameGeometry().center() - centre).manhattanLength(), 4);
  EXPECT_EQ(win->baseAddress(), "http://localhost:4242");  // FormShow loaded them
  EXPECT_FALSE(win->findChild<QLineEdit*>("edServer")->isEnabled());
}

TEST_F(WindowTest, NotificationTextsBelongToTheirBoxes) {
  make();
  struct Row {
    const char* box;
    const char* text;
  };
  for (Row r : {Row{"ckOnBad", kOnBadText}, Row{"ckOnMedium", kOnMediumText}, Row{"ckOnGood", kOnGoodText}}) {
    SCOPED_TRACE(r.box);
    auto* label = win->findChild<QLabel*>(QString(r.box) + "Text");
    auto* box = win->findChild<QCheckBox*>(r.box);
    ASSERT_TRUE(label && box);
    EXPECT_EQ(label->text(), r.text);
    EXPECT_EQ(label->buddy(), box);
    const bool before = box->isChecked();
    QTest::mouseClick(label, Qt::LeftButton);  // the text acts as the box's caption
    EXPECT_NE(box->isChecked(), before);
  }
}

TEST_F(WindowTest, ExitEndsTheProgramWithoutAPoll) {
  StatusServer server;
  make();
  pointAt(server);
  QTimer::singleShot(0, [&] { menuAction(win->trayMenu(), kMenuExit)->trigger(); });
  EXPECT_EQ(QApplication::exec(), 0);
  QTest::qWait(100);
  EXPECT_EQ(server.requests.size(), 0);
  EXPECT_FALSE(win->isPolling());
}

TEST_F(WindowTest, WithoutASystemTrayTheProgramSaysSoAndEnds) {
  // The offscreen platform has no tray. The program inherits this test's
  // settings store and points at a server that records any poll.
  StatusServer server;
  {
    Store s;
    s.setString(kValueServer, "127.0.0.1");
    s.setDword(kValuePort, server.port());
  }
  QProcess program;
  program.setProgram(QCoreApplication::applicationDirPath() + "/VandrelClient");
  QSignalSpy finished(&program, &QProcess::finished);
  program.start();
  ASSERT_TRUE(program.waitForStarted(5000));
  const bool ended = finished.wait(10000);
  if (!ended) {
    program.kill();
    program.waitForFinished(5000);
  }
  ASSERT_TRUE(ended) << "the program went on without a tray";
  EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(program.exitCode(), kExitNoSystemTray);
  const QByteArray said = program.readAllStandardError();
  EXPECT_EQ(said.count(kNoSystemTray), 1) << said.constData();
  QTest::qWait(100);
  EXPECT_EQ(server.requests.size(), 0);
}

TEST_F(WindowTest, PicturesAreDrawnAtTraySizes) {
  QList<QImage> seen;
  auto check = [&](const QIcon& icon) {
    for (int size : {16, 22, 24, 32}) {
      const QList<QSize> sizes = icon.availableSizes();
      EXPECT_TRUE(sizes.contains(QSize(size, size))) << size;  // drawn, not scaled
    }
    const QImage image = icon.pixmap(16, 16).toImage();
    EXPECT_EQ(image.size(), QSize(16, 16));
    EXPECT_FALSE(seen.contains(image));
    seen << image;
  };
  for (int i = 0; i < kStatusImageCount; ++i) check(statusIcon(i));
  for (int i = 0; i < kAnimationFrameCount; ++i) check(animationIcon(i));
}

// Leaves options-window.png in the build folder for anyone to look at.
TEST_F(WindowTest, OptionsWindowScreenshot) {
  make();
  win->ShowOptions();
  QTest::qWait(50);
  const QPixmap shot = win->grab();
  EXPECT_EQ(shot.size(), QSize(379, 482));
  const QString path = QString(VANDREL_SHOT_DIR) + "/options-window.png";
  EXPECT_TRUE(shot.save(path)) << qPrintable(path);
  // Nothing may be cut off at the bottom: the Close button lies inside.
  auto* close = win->findChild<QPushButton*>("bClose");
  EXPECT_TRUE(win->rect().contains(close->geometry()));
}

}  // namespace
