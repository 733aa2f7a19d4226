// The host's window services in Qt Widgets: the colour dialog behind
// PickColor and the message boxes of the message sink. Off the window
// system's thread neither opens a window.
#include "qvhost/windows.h"

#include <stdio.h>

#include <QApplication>
#include <QColorDialog>
#include <QMessageBox>
#include <QThread>

namespace qvhost {

namespace {

QWidget* WidgetOf(HWND window) {
  return reinterpret_cast<QWidget*>(plat::SendMessage(window, plat::WM_GETWIDGET, 0, 0));
}

bool OnWindowThread() {
  QCoreApplication* app = QCoreApplication::instance();
  return qobject_cast<QApplication*>(app) && QThread::currentThread() == app->thread();
}

}  // namespace

COLORREF QV_CALL PickColorDialog(HWND owner, COLORREF current) {
  if (!OnWindowThread()) return current;
  QColorDialog dialog(QColor(current & 0xFF, (current >> 8) & 0xFF, (current >> 16) & 0xFF), WidgetOf(owner));
  if (dialog.exec() != QDialog::Accepted) return current;
  QColor c = dialog.selectedColor();
  if (!c.isValid()) return current;
  return (COLORREF)c.red() | (COLORREF)c.green() << 8 | (COLORREF)c.blue() << 16;
}

int MessageBoxDialog(HWND owner, const char* text, const char* title, DWORD style, void*) {
  bool question = (style & plat::MB_TYPEMASK) == plat::MB_YESNO;
  if (!OnWindowThread()) {
    fprintf(stderr, "%s: %s\n", title ? title : "", text ? text : "");
    return question ? plat::IDNO : plat::IDOK;
  }
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  switch (style & 0xF0) {
    case plat::MB_ICONERROR: icon = QMessageBox::Critical; break;
    case plat::MB_ICONQUESTION: icon = QMessageBox::Question; break;
    case plat::MB_ICONWARNING: icon = QMessageBox::Warning; break;
    case plat::MB_ICONINFORMATION: icon = QMessageBox::Information; break;
    default: break;
  }
  QMessageBox box(icon, QString::fromLatin1(title ? title : ""), QString::fromLatin1(text ? text : ""),
                  question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, WidgetOf(owner));
  int answer = box.exec();
  if (question) return answer == QMessageBox::Yes ? plat::IDYES : plat::IDNO;
  return plat::IDOK;
}

void UseQtWindows(MonitorTable* table) {
  table->PickColor = PickColorDialog;
  plat::SetMessageSink(MessageBoxDialog, nullptr);
}

}  // namespace qvhost
