// The host's window services: the colour chooser behind PickColor and the
// message boxes, driven on Qt's offscreen platform.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QColorDialog>
#include <QMessageBox>
#include <QTimer>

#include <functional>
#include <thread>

#include "qvhost/host.h"
#include "qvhost/windows.h"

namespace {

// A window of the host's that stands for a Qt widget.
struct OwnerWindow {
  QWidget widget;
  PlatWindow handle{Handle, this};
  static intptr_t Handle(HWND w, DWORD message, uintptr_t, intptr_t) {
    return message == plat::WM_GETWIDGET ? (intptr_t)&static_cast<OwnerWindow*>(w->context)->widget : 0;
  }
};

// Runs step on the modal window that the next call opens.
template <class T>
void OnModal(std::function<void(T*)> step) {
  QTimer::singleShot(0, [step] {
    T* w = qobject_cast<T*>(QApplication::activeModalWidget());
    ASSERT_NE(w, nullptr);
    step(w);
  });
}

TEST(HostWindows, ColourChooserStartsOnTheCurrentColourAndGivesTheChoice) {
  OwnerWindow owner;
  OnModal<QColorDialog>([&](QColorDialog* d) {
    EXPECT_EQ(d->currentColor(), QColor(0x12, 0x34, 0x56));  // 0x00BBGGRR
    EXPECT_EQ(d->parentWidget(), &owner.widget);
    d->setCurrentColor(QColor(0xAB, 0xCD, 0xEF));
    d->accept();
  });
  EXPECT_EQ(qvhost::PickColorDialog(&owner.handle, 0x00563412), 0x00EFCDABu);
}

TEST(HostWindows, CancelledChooserGivesTheCurrentColourBack) {
  OnModal<QColorDialog>([](QColorDialog* d) {
    EXPECT_EQ(d->parentWidget(), nullptr);  // an owner that is no widget
    d->setCurrentColor(QColor(1, 2, 3));
    d->reject();
  });
  PlatWindow plain{};
  EXPECT_EQ(qvhost::PickColorDialog(&plain, 0x00563412), 0x00563412u);
}

TEST(HostWindows, MessageBoxesShowTheStyleAndGiveTheAnswer) {
  const struct {
    DWORD style;
    QMessageBox::Icon icon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton press;  // NoButton: Escape
    int result;
  } cases[] = {
      {plat::MB_OK | plat::MB_ICONERROR, QMessageBox::Critical, QMessageBox::Ok, QMessageBox::Ok, plat::IDOK},
      {plat::MB_OK | plat::MB_ICONINFORMATION, QMessageBox::Information, QMessageBox::Ok, QMessageBox::Ok, plat::IDOK},
      {plat::MB_YESNO | plat::MB_ICONQUESTION, QMessageBox::Question, QMessageBox::Yes | QMessageBox::No,
       QMessageBox::Yes, plat::IDYES},
      {plat::MB_YESNO | plat::MB_ICONQUESTION, QMessageBox::Question, QMessageBox::Yes | QMessageBox::No,
       QMessageBox::No, plat::IDNO},
      {plat::MB_YESNO, QMessageBox::NoIcon, QMessageBox::Yes | QMessageBox::No, QMessageBox::NoButton, plat::IDNO},
  };
  OwnerWindow owner;
  for (const auto& c : cases) {
    OnModal<QMessageBox>([&](QMessageBox* box) {
      EXPECT_EQ(box->windowTitle(), "Quorvane Network Monitor");
      EXPECT_EQ(box->text(), "Do you really want to destroy the address mapping for Router?");
      EXPECT_EQ(box->icon(), c.icon);
      EXPECT_EQ(box->standardButtons(), c.buttons);
      EXPECT_EQ(box->parentWidget(), &owner.widget);
      if (c.press == QMessageBox::NoButton)
        box->reject();
      else
        box->button(c.press)->click();
    });
    EXPECT_EQ(qvhost::MessageBoxDialog(&owner.handle, "Do you really want to destroy the address mapping for Router?",
                                       "Quorvane Network Monitor", c.style, nullptr),
              c.result)
        << c.style;
  }
}

TEST(HostWindows, OffTheWindowThreadNothingIsShown) {
  int answer = 0;
  COLORREF color = 0;
  testing::internal::CaptureStderr();
  std::thread([&] {
    answer = qvhost::MessageBoxDialog(nullptr, "Delete?", "Q", plat::MB_YESNO, nullptr);
    color = qvhost::PickColorDialog(nullptr, 0x00102030);
  }).join();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Q: Delete?\n");
  EXPECT_EQ(answer, plat::IDNO);
  EXPECT_EQ(color, 0x00102030u);
}

TEST(HostWindows, HostUsesThemOnceAsked) {
  qvhost::Host host;
  EXPECT_EQ(host.table()->PickColor(nullptr, 0x00ABCDEF), 0x00ABCDEFu);  // no window: the colour as it is
  qvhost::UseQtWindows(host.table());
  EXPECT_EQ(host.table()->PickColor, &qvhost::PickColorDialog);
  OnModal<QMessageBox>([](QMessageBox* box) { box->button(QMessageBox::Yes)->click(); });
  EXPECT_EQ(plat::MessageBox(nullptr, "text", "title", plat::MB_YESNO), plat::IDYES);
  plat::SetMessageSink(nullptr, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
