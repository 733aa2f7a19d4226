// The module of the host's windows: the QApplication they run in, the colour
// chooser and the message boxes.
#include <QApplication>

#include <memory>

#include "qvhost/windows.h"

namespace {

int g_argc = 1;
char* g_argv[2] = {nullptr, nullptr};
std::unique_ptr<QApplication> g_app;

void Close() { g_app.reset(); }

const qvhost::WindowSystem kWindows = {qvhost::UseQtWindows, Close};

}  // namespace

QV_EXPORT const qvhost::WindowSystem* QuorvaneWindows(const char* program) {
  if (!g_app) {
    g_argv[0] = const_cast<char*>(program ? program : "quorvane");
    g_app = std::make_unique<QApplication>(g_argc, g_argv);
  }
  return &kWindows;
}
