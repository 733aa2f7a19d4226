// The name table windows driven as a user drives them, on Qt's offscreen
// platform: a host with Pallisand loaded, the host's colour chooser and
// message boxes answered from a script, help requests recorded, and helpers
// that act on the window that is open.
#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dialogs.h"
#include "names_fixture.h"

namespace names_test {

using namespace pallisand;  // the windows' ids and messages

// Where the screenshots go (the build folder).
std::string ShotPath(const char* name);

// The title of the window behind a handle ("" for none or a window that is
// no Qt widget).
std::string TitleOf(HWND window);

// The control with this id in a window.
template <class T>
T* Control(QWidget* w, int id) {
  return w ? w->findChild<T*>(QString::number(id)) : nullptr;
}

HWND Handle(QWidget* w);

class WindowsTest : public NamesTest {
 protected:
  struct Box {
    std::string owner, title, text;
    DWORD style;
  };
  struct Pick {
    std::string owner;
    COLORREF current;
  };
  struct Help {
    std::string topic, asking;
  };

  WindowsTest();
  ~WindowsTest() override;

  // Runs step on the next window that opens over the one active now; the
  // window must end within the step, or it is ended and the test fails.
  void OnNextWindow(std::function<void(QDialog*)> step);

  // The three windows as the host opens them.
  BYTE ShowNameTable(std::function<void(QDialog*)> step);
  intptr_t ViewNameTable(std::function<void(QDialog*)> step);
  intptr_t ShowHostColors(std::function<void(QDialog*)> step);

  // Sends a command as the window's controls send it.
  static void Command(QWidget* w, int id) { plat::SendMessage(Handle(w), WM_COMMAND, (uintptr_t)id, 0); }
  static void Click(QWidget* w, int id);
  static void Trigger(QWidget* w, int id);
  static void Type(QWidget* w, int id, const QString& text);
  static void Select(QWidget* w, int row);
  static void DoubleClick(QWidget* w, int row, int column);

  // Tries every way there is to end a window, each on a window that open
  // shows: the ways named in ending end it with result 0, the others leave
  // it open.
  void CheckEndings(std::function<intptr_t(std::function<void(QDialog*)>)> open,
                    const std::vector<std::string>& ending);

  static QTreeWidget* List(QWidget* w) { return Control<QTreeWidget>(w, ID_LIST); }
  static std::vector<std::string> Rows(QWidget* w, int column);
  static std::string Cell(QWidget* w, int row, int column);
  // The colour a cell's text is drawn in (invalid: the list's own).
  static QColor CellColor(QWidget* w, int row, int column);
  // A cell measured in screenshots of the list: how many pixels its text,
  // drawn in full, runs past the column's right edge (0 or less: it fits),
  // and whether the cell as the column draws it shows that whole text.
  struct CellFit {
    int overrun;
    bool whole;
  };
  static CellFit FitOfCell(QWidget* w, int row, int column);

  // The colour chooser and the question box answer from these, in order;
  // when they run out the chooser gives back the current colour and a
  // question is answered No.
  std::deque<COLORREF> colors;
  std::deque<int> answers;
  // Runs inside the colour chooser, before it answers.
  std::function<void()> whilePicking;
  std::vector<Box> boxes;
  std::vector<Pick> picks;
  std::vector<Help> helps;

 private:
  static COLORREF QV_CALL PickColorScript(HWND owner, COLORREF current);
  static int BoxScript(HWND owner, const char* text, const char* title, DWORD style, void* context);
  std::vector<std::unique_ptr<QTimer>> waiting_;
};

}  // namespace names_test
