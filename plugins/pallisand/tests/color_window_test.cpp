// The host display colour coding window.
#include <QToolBar>

#include <atomic>
#include <thread>

#include "window_fixture.h"

namespace names_test {
namespace {

enum { COL_ADDRESS, COL_NAME, COL_DESTINATION, COL_SOURCE };

const char kTitle[] = "Host Display Color Coding";

class ColorWindow : public WindowsTest {
 protected:
  void TwoMappings() {
    router = Add("Router", "00A0C914C829");
    router->destinationColor = 0x0000FF;
    gateway = Add("Gateway", "0010A4000001");
    gateway->sourceColor = 0x00FF00;
    ClearChanged();
  }
  NameEntry* router = nullptr;
  NameEntry* gateway = nullptr;
};

TEST_F(ColorWindow, ShowsEveryMappingWithItsColours) {
  TwoMappings();
  intptr_t result = ShowHostColors([&](QDialog* w) {
    EXPECT_EQ(w->windowTitle(), kTitle);
    EXPECT_EQ(Control<QPushButton>(w, ID_OK)->text(), "OK");
    EXPECT_TRUE(Control<QPushButton>(w, ID_OK)->isDefault());
    EXPECT_EQ(Control<QPushButton>(w, ID_HELP)->text(), "Help");
    QTreeWidget* list = List(w);
    ASSERT_NE(list, nullptr);
    const struct {
      const char* title;
      int width;
    } columns[] = {{"MAC Address", 20}, {"Name", 16}, {"Destination", 12}, {"Source", 12}};
    ASSERT_EQ(list->columnCount(), 4);
    const double average = list->columnWidth(0) / 20.0;
    for (int i = 0; i < 4; i++) {
      EXPECT_EQ(list->headerItem()->text(i), columns[i].title);
      EXPECT_NEAR(list->columnWidth(i), columns[i].width * average, 1);
    }
    EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(Rows(w, COL_ADDRESS), (std::vector<std::string>{"00-A0-C9-14-C8-29", "00-10-A4-00-00-01"}));
    EXPECT_EQ(Rows(w, COL_NAME), (std::vector<std::string>{"Router", "Gateway"}));
    EXPECT_EQ(Rows(w, COL_DESTINATION), std::vector<std::string>(2, "Text Color"));
    EXPECT_EQ(Rows(w, COL_SOURCE), std::vector<std::string>(2, "Text Color"));
    // Taken as they are: 0 is black here, not the window-text colour.
    EXPECT_EQ(CellColor(w, 0, COL_DESTINATION), QColor(255, 0, 0));
    EXPECT_EQ(CellColor(w, 0, COL_SOURCE), QColor(0, 0, 0));
    EXPECT_EQ(CellColor(w, 1, COL_DESTINATION), QColor(0, 0, 0));
    EXPECT_EQ(CellColor(w, 1, COL_SOURCE), QColor(0, 255, 0));
    EXPECT_FALSE(CellColor(w, 1, COL_NAME).isValid());

    QToolBar* bar = Control<QToolBar>(w, ID_TOOLBAR);
    ASSERT_NE(bar, nullptr);
    QList<QAction*> actions = bar->actions();
    ASSERT_EQ(actions.size(), 2);
    EXPECT_EQ(actions[0]->data().toInt(), CMD_DESTINATION);
    EXPECT_EQ(actions[0]->text(), "Destination");
    EXPECT_EQ(actions[1]->data().toInt(), CMD_SOURCE);
    EXPECT_EQ(actions[1]->text(), "Source");
    EXPECT_EQ(bar->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
    for (QAction* a : actions) EXPECT_FALSE(a->icon().isNull());
    EXPECT_TRUE(w->grab().save(QString::fromStdString(ShotPath("host-colors-window.png"))));
    QTest::keyClick(list, Qt::Key_Return);  // the default button
  });
  EXPECT_EQ(result, 0);
  EXPECT_FALSE(Changed());
}

TEST_F(ColorWindow, ToolbarButtonsPickTheSelectedMappingsColours) {
  TwoMappings();
  colors = {0x00112233, 0x00445566};
  ShowHostColors([&](QDialog* w) {
    Select(w, 1);
    Trigger(w, CMD_DESTINATION);
    EXPECT_EQ(gateway->destinationColor, 0x00112233u);
    EXPECT_EQ(CellColor(w, 1, COL_DESTINATION), QColor(0x33, 0x22, 0x11));
    EXPECT_TRUE(List(w)->selectedItems().isEmpty());
    // The selected index stays on the row.
    Trigger(w, CMD_SOURCE);
    EXPECT_EQ(gateway->sourceColor, 0x00445566u);
    EXPECT_EQ(router->destinationColor, 0x0000FFu);
    Click(w, ID_OK);
  });
  ASSERT_EQ(picks.size(), 2u);
  EXPECT_EQ(picks[0].owner, kTitle);
  EXPECT_EQ(picks[0].current, 0u);
  EXPECT_EQ(picks[1].current, 0x00FF00u);
  // The user's colours are saved with the table.
  EXPECT_TRUE(Changed());
}

TEST_F(ColorWindow, CancelledChooserChangesNothing) {
  TwoMappings();
  ShowHostColors([&](QDialog* w) {
    Trigger(w, CMD_DESTINATION);  // the selected index is 0 as the window opens
    Click(w, ID_OK);
  });
  ASSERT_EQ(picks.size(), 1u);
  EXPECT_EQ(picks[0].current, 0x0000FFu);
  EXPECT_EQ(router->destinationColor, 0x0000FFu);
  EXPECT_FALSE(Changed());
}

TEST_F(ColorWindow, DoubleClickOnAColourCellPicksThatColour) {
  TwoMappings();
  const struct {
    int column;
    bool picks;
    COLORREF destination, source;
  } cases[] = {
      {COL_ADDRESS, false, 0, 0x00FF00},
      {COL_NAME, false, 0, 0x00FF00},
      {COL_DESTINATION, true, 0x00ABCDEF, 0x00FF00},
      {COL_SOURCE, true, 0, 0x00ABCDEF},
  };
  for (const auto& c : cases) {
    gateway->destinationColor = 0;
    gateway->sourceColor = 0x00FF00;
    picks.clear();
    colors = {0x00ABCDEF};
    ShowHostColors([&](QDialog* w) {
      DoubleClick(w, 1, c.column);
      Click(w, ID_OK);
    });
    EXPECT_EQ(picks.size(), c.picks ? 1u : 0u) << c.column;
    EXPECT_EQ(gateway->destinationColor, c.destination) << c.column;
    EXPECT_EQ(gateway->sourceColor, c.source) << c.column;
    EXPECT_EQ(router->destinationColor, 0x0000FFu);
  }
}

TEST_F(ColorWindow, ColourButtonsDoNothingWithoutRows) {
  ShowHostColors([&](QDialog* w) {
    Trigger(w, CMD_DESTINATION);
    Trigger(w, CMD_SOURCE);
    Click(w, ID_OK);
  });
  EXPECT_TRUE(picks.empty());
  EXPECT_FALSE(Changed());
}

TEST_F(ColorWindow, EndsOnItsEndingCommandsOnly) {
  TwoMappings();
  // Enter is the default OK button; 5000 is no command of this window.
  CheckEndings([&](std::function<void(QDialog*)> step) { return ShowHostColors(step); },
               {"OK button", "command 1", "command 100", "WM_CLOSE", "system close", "title bar close",
                "Enter in the list"});
  EXPECT_TRUE(picks.empty());
}

TEST_F(ColorWindow, HelpAsksTheHostForTheColourTopic) {
  ShowHostColors([&](QDialog* w) {
    Click(w, ID_HELP);
    Click(w, ID_OK);
  });
  ASSERT_EQ(helps.size(), 1u);
  EXPECT_EQ(helps[0].topic, "menuopt\\namespace\\hostcolor.html");
  EXPECT_EQ(helps[0].asking, kTitle);
}

// ---------------------------------------------------------------- other threads

TEST_F(ColorWindow, ColourOfAMappingDeletedDuringTheChoiceIsNotWritten) {
  TwoMappings();
  colors = {0x00ABCDEF};
  whilePicking = [&] {
    // Elsewhere: Router is deleted and its entry comes back as Printer.
    t->DeleteName("Router");
    EXPECT_EQ(Add("Printer", "0000AA112233"), router);
  };
  ShowHostColors([&](QDialog* w) {
    Trigger(w, CMD_DESTINATION);
    EXPECT_EQ(Rows(w, COL_NAME), (std::vector<std::string>{"Gateway", "Printer"}));
    Click(w, ID_OK);
  });
  EXPECT_EQ(router->destinationColor, 0u);  // Printer's colour is untouched
}

TEST_F(ColorWindow, ColourWriteWaitsForTheTableLock) {
  TwoMappings();
  colors = {0x00ABCDEF};
  std::atomic<int> stage{0};
  COLORREF seen = 1;
  std::thread other;
  whilePicking = [&] {
    // Another thread takes the lock while the chooser is open.
    other = std::thread([&] {
      plat::Mutex* m = plat::CreateMutex("ActiveNameQue");
      ASSERT_EQ(plat::WaitForMutex(m, plat::INFINITE), (DWORD)plat::WAIT_OK);
      stage = 1;
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      seen = gateway->destinationColor;
      plat::ReleaseMutex(m);
      plat::CloseMutex(m);
    });
    while (stage.load() != 1) std::this_thread::yield();
  };
  ShowHostColors([&](QDialog* w) {
    Select(w, 1);
    Trigger(w, CMD_DESTINATION);
    Click(w, ID_OK);
  });
  other.join();
  EXPECT_EQ(seen, 0u);
  EXPECT_EQ(gateway->destinationColor, 0x00ABCDEFu);
}

}  // namespace
}  // namespace names_test
