// Status answer benchmark: times how the tray client handles answers of many
// servers, handed straight to the window and polled from a status server on
// 127.0.0.1, so that growth with the number of lines can be read off.
//
//   status_bench [-r RUNS] [LINES...]
//     (default: the best of 5 runs; 10000 20000 100000 900000 lines, the last
//     near the most one poll reads)
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <memory>
#include <vector>

#include "../trayclient/tests/status_server.h"
#include "TrayMain.h"
#include "plat/platform.h"

namespace {

// Distinct names (both numbers are prime) in no sorted order.
QByteArray serverName(int i) { return "server-" + QByteArray::number(qint64(i) * 7919 % 1000003); }

// First answer: every server passes. Second: every third is gone, every
// tenth fails. Both in the order of first appearance the client keeps.
QByteArray answer(int lines, bool second) {
  QByteArray text;
  text.reserve(qsizetype(lines) * 20);
  for (int i = 0; i < lines; ++i) {
    if (second && i % 3 == 0) continue;
    text += serverName(i) + (second && i % 10 == 0 ? ",2\r\n" : ",0\r\n");
  }
  return text;
}

std::unique_ptr<TWinMain> window() {
  auto win = std::make_unique<TWinMain>();
  win->findChild<QTimer*>("tmrMain")->stop();
  win->findChild<QTimer*>("RefreshTimer")->stop();
  win->setSoundPlayer([](const QString&) { return true; });
  win->setUrlOpener([](const QUrl&) {});
  win->setWarner([](const QString&) {});
  return win;
}

// The settings the poll reads, in the bench's own store.
void pointAt(TWinMain& win, quint16 port) {
  plat::HKEY key = nullptr;
  if (plat::RegOpenKey(plat::HKEY_CURRENT_USER, vandrel::kSettingsKey, true, &key) != plat::ERROR_SUCCESS) {
    fprintf(stderr, "status_bench: cannot open the settings: %s\n", plat::RegLastErrorText());
    exit(1);
  }
  const char server[] = "127.0.0.1";
  const DWORD value = port;
  plat::RegSetValue(key, vandrel::kValueServer, plat::REG_SZ, reinterpret_cast<const BYTE*>(server), sizeof server);
  plat::RegSetValue(key, vandrel::kValuePort, plat::REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  plat::RegCloseKey(key);
  win.LoadSettings();
}

double ms(const QElapsedTimer& t) { return double(t.nsecsElapsed()) / 1e6; }

// Best of runs: a fresh window takes the first answer, then the second.
void direct(int lines, int runs) {
  const QString first = QString::fromLatin1(answer(lines, false));
  const QString second = QString::fromLatin1(answer(lines, true));
  double bestFirst = 1e300, bestSecond = 1e300;
  for (int r = 0; r < runs; ++r) {
    auto win = window();
    QElapsedTimer t;
    t.start();
    win->DoActions(first);
    bestFirst = std::min(bestFirst, ms(t));
    t.restart();
    win->DoActions(second);
    bestSecond = std::min(bestSecond, ms(t));
  }
  printf("%9d lines  %8.1f KiB  new servers %9.2f ms  update and prune %9.2f ms\n", lines,
         double(first.size()) / 1024, bestFirst, bestSecond);
}

// Whole polls through HTTP on loopback: request, answer, handling.
void polled(int lines, int runs) {
  const QByteArray first = answer(lines, false), second = answer(lines, true);
  double best = 1e300;
  for (int r = 0; r < runs; ++r) {
    StatusServer server;
    auto win = window();
    pointAt(*win, server.port());
    QSignalSpy done(win.get(), &TWinMain::pollFinished);
    server.enqueue(Answer{200, first});
    server.enqueue(Answer{200, second});
    QElapsedTimer t;
    t.start();
    win->GetStatusFromServer();
    while (done.count() < 1) done.wait(60000);
    win->GetStatusFromServer();
    while (done.count() < 2) done.wait(60000);
    best = std::min(best, ms(t));
  }
  printf("%9d lines  two polls over HTTP %9.2f ms\n", lines, best);
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  // Settings and autostart folders of this run alone.
  QTemporaryDir own;
  if (!own.isValid()) return 1;
  qputenv("QUORVANE_CONFIG_DIR", QFile::encodeName(own.filePath("config")));
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(own.filePath("xdg")));
  QApplication app(argc, argv);
  int runs = 5;
  std::vector<int> sizes;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "-r") == 0 && i + 1 < argc)
      runs = std::max(1, atoi(argv[++i]));
    else
      sizes.push_back(atoi(argv[i]));
  }
  if (sizes.empty()) sizes = {10000, 20000, 100000, 900000};
  for (int lines : sizes) direct(lines, runs);
  for (int lines : sizes) polled(lines, runs);
  return 0;
}
