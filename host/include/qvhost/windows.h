// The host's window services in Qt Widgets, for a host that runs a
// QApplication: the colour chooser behind the PickColor slot and message
// boxes for the message sink. Windows that stand for a Qt widget (they answer
// WM_GETWIDGET) own what they ask for.
#pragma once

#include "monitor.h"

namespace qvhost {

class Host;

// PickColor: a colour dialog over the owner, opened on current; a cancelled
// dialog gives current back. Colours are 0x00BBGGRR.
COLORREF QV_CALL PickColorDialog(HWND owner, COLORREF current);

// The message sink: a box with the style's icon and buttons, over the owner.
// Off the window system's thread the box is printed, as by the default sink.
int MessageBoxDialog(HWND owner, const char* text, const char* title, DWORD style, void* context);

// Puts both in place for host.
void UseQtWindows(Host& host);

}  // namespace qvhost
