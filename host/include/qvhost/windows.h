// The host's window services in Qt Widgets, for a host that runs a
// QApplication: the colour chooser behind the PickColor slot and message
// boxes for the message sink. Windows that stand for a Qt widget (they answer
// WM_GETWIDGET) own what they ask for.
#pragma once

#include "monitor.h"

namespace qvhost {

// PickColor: a colour dialog over the owner, opened on current; a cancelled
// dialog gives current back. Colours are 0x00BBGGRR.
COLORREF QV_CALL PickColorDialog(HWND owner, COLORREF current);

// The message sink: a box with the style's icon and buttons, over the owner.
// Off the window system's thread the box is printed, as by the default sink.
int MessageBoxDialog(HWND owner, const char* text, const char* title, DWORD style, void* context);

// Puts both in place for the host of table.
void UseQtWindows(MonitorTable* table);

// quorvane's windows are a module of this library and the Qt libraries
// (quorvane-windows.so, beside the program), loaded only when a window is
// asked for: no other run loads Qt. Its entry, extern "C" const
// WindowSystem* QuorvaneWindows(const char* program), starts the
// QApplication.
struct WindowSystem {
  void (*use)(MonitorTable* table);  // UseQtWindows
  void (*close)();                   // ends the QApplication
};
inline constexpr char kWindowsModule[] = "quorvane-windows.so";
inline constexpr char kWindowsEntry[] = "QuorvaneWindows";
typedef const WindowSystem* (*WindowsEntryProc)(const char* program);

}  // namespace qvhost
