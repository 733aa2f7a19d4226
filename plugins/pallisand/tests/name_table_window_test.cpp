// The name table window: what it shows and every command it takes.
#include <QHeaderView>
#include <QToolBar>

#include <atomic>
#include <thread>

#include "window_fixture.h"

namespace names_test {
namespace {

enum { COL_ADDRESS, COL_NAME, COL_FLAGS, COL_CREATED, COL_ACCESSED, COL_COUNT, COL_DESTINATION, COL_SOURCE };

class NameTableWindow : public WindowsTest {
 protected:
  // Three mappings: a locked one in red for destinations, a flagged group
  // address that was looked up twice, and a plain one.
  void ThreeMappings() {
    SetClock(9, 15, 30, 250);
    router = Add("Router", "00A0C914C829");
    router->locked = 1;
    router->destinationColor = 0x0000FF;
    SetClock(10, 0, 0, 5);
    hosts = AddFlagged("AllHosts", "01005E000001");
    Bytes a = Hex("01005E000001");
    char text[64];
    SetClock(11, 22, 33, 444);
    for (int i = 0; i < 2; i++) t->LookupName(a.data(), 6, 1, text, 0, nullptr, nullptr);
    gateway = Add("Gateway", "0010A4000001");
    gateway->sourceColor = 0x00FF00;
    ClearChanged();
  }

  NameEntry* router = nullptr;
  NameEntry* hosts = nullptr;
  NameEntry* gateway = nullptr;
};

TEST_F(NameTableWindow, ShowsEveryMappingWithItsColumnsToolbarAndButtons) {
  ThreeMappings();
  BYTE changed = ShowNameTable([&](QDialog* w) {
    EXPECT_EQ(w->windowTitle(), "Quorvane Name Table");
    EXPECT_EQ(Control<QPushButton>(w, ID_OK)->text(), "OK");
    EXPECT_EQ(Control<QPushButton>(w, ID_HELP)->text(), "Help");

    QTreeWidget* list = List(w);
    ASSERT_NE(list, nullptr);
    const struct {
      const char* title;
      int width;
    } columns[] = {{"MAC Address", 20},        {"Name", 16},         {"Flags", 6},        {"Time Created", 24},
                   {"Time Last Accessed", 24}, {"Access Count", 12}, {"Destination", 12}, {"Source", 12}};
    ASSERT_EQ(list->columnCount(), 8);
    // One unit of width for every column (AddressColumnShowsASixByteAddressWhole
    // checks its size).
    const double average = list->columnWidth(0) / 20.0;
    for (int i = 0; i < 8; i++) {
      EXPECT_EQ(list->headerItem()->text(i), columns[i].title);
      EXPECT_NEAR(list->columnWidth(i), columns[i].width * average, 1) << columns[i].title;
    }
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_FALSE(list->isSortingEnabled());
    EXPECT_FALSE(list->header()->sectionsClickable());
    EXPECT_EQ(list->selectedItems().size(), 0);

    EXPECT_EQ(Rows(w, COL_ADDRESS), (std::vector<std::string>{"00-A0-C9-14-C8-29", "01-00-5E-00-00-01",
                                                               "00-10-A4-00-00-01"}));
    EXPECT_EQ(Rows(w, COL_NAME), (std::vector<std::string>{"Router", "AllHosts", "Gateway"}));
    EXPECT_EQ(Rows(w, COL_FLAGS), (std::vector<std::string>{"  L", "GP ", "   "}));
    EXPECT_EQ(Rows(w, COL_CREATED), (std::vector<std::string>{"01:02:1601  09:15:30:250", "01:02:1601  10:00:00:005",
                                                               "01:02:1601  11:22:33:444"}));
    EXPECT_EQ(Rows(w, COL_ACCESSED), (std::vector<std::string>{"Never", "01:02:1601  11:22:33:444", "Never"}));
    EXPECT_EQ(Rows(w, COL_COUNT), (std::vector<std::string>{"0", "2", "0"}));
    EXPECT_EQ(Rows(w, COL_DESTINATION), std::vector<std::string>(3, "Text Color"));
    EXPECT_EQ(Rows(w, COL_SOURCE), std::vector<std::string>(3, "Text Color"));
    for (int i = 0; i < 3; i++) EXPECT_FALSE(list->topLevelItem(i)->icon(0).isNull()) << "row " << i;

    QToolBar* bar = Control<QToolBar>(w, ID_TOOLBAR);
    ASSERT_NE(bar, nullptr);
    const struct {
      int id;
      const char* tip;
    } buttons[] = {{CMD_ADD, "Add a new name mapping"},
                   {CMD_DELETE, "Delete a name mapping"},
                   {CMD_EDIT, "Edit a name mapping"},
                   {CMD_LOCK, "Lock a name mapping"},
                   {CMD_UNLOCK, "Unlock a name mapping"}};
    QList<QAction*> actions = bar->actions();
    ASSERT_EQ(actions.size(), 5);
    for (int i = 0; i < 5; i++) {
      EXPECT_EQ(actions[i]->data().toInt(), buttons[i].id);
      EXPECT_EQ(actions[i]->toolTip(), buttons[i].tip);
      EXPECT_TRUE(actions[i]->isEnabled());
      EXPECT_FALSE(actions[i]->icon().isNull());
    }
    EXPECT_TRUE(w->grab().save(QString::fromStdString(ShotPath("name-table-window.png"))));
    Click(w, ID_OK);
  });
  EXPECT_EQ(changed, FALSE);
  EXPECT_FALSE(Changed());
}

// A six-byte address is shown whole, behind the row's icon, in its column
// of 20 average character widths: measured in screenshots of both windows'
// lists against the text drawn in full.
TEST_F(NameTableWindow, AddressColumnShowsASixByteAddressWhole) {
  Add("Router", "00A0C914C829");
  Add("Gateway", "0010A4000001");
  const struct {
    const char* window;
    std::function<void(std::function<void(QDialog*)>)> open;
  } windows[] = {
      {"name table", [&](std::function<void(QDialog*)> step) { ShowNameTable(step); }},
      {"host colours", [&](std::function<void(QDialog*)> step) { ShowHostColors(step); }},
  };
  for (const auto& c : windows)
    c.open([&](QDialog* w) {
      for (int row = 0; row < 2; row++) {
        const CellFit fit = FitOfCell(w, row, COL_ADDRESS);
        EXPECT_LE(fit.overrun, 0) << c.window << " " << Cell(w, row, COL_ADDRESS);
        EXPECT_TRUE(fit.whole) << c.window << " " << Cell(w, row, COL_ADDRESS);
      }
      Click(w, ID_OK);
    });
}

TEST_F(NameTableWindow, ColourCellsUseTheEntryColourOrTheWindowTextColour) {
  ThreeMappings();
  ShowNameTable([&](QDialog* w) {
    QColor text = List(w)->palette().color(QPalette::Text);
    EXPECT_EQ(CellColor(w, 0, COL_DESTINATION), QColor(255, 0, 0));  // 0x0000FF: red is the low byte
    EXPECT_EQ(CellColor(w, 0, COL_SOURCE), text);
    EXPECT_EQ(CellColor(w, 2, COL_DESTINATION), text);
    EXPECT_EQ(CellColor(w, 2, COL_SOURCE), QColor(0, 255, 0));
    EXPECT_FALSE(CellColor(w, 0, COL_NAME).isValid());
    // Drawn from the entry as it is now, not as it was when the row was made.
    hosts->sourceColor = 0xFF0000;
    EXPECT_EQ(CellColor(w, 1, COL_SOURCE), QColor(0, 0, 255));
    Click(w, ID_OK);
  });
}

TEST_F(NameTableWindow, EndsOnItsEndingCommandsOnly) {
  ThreeMappings();
  CheckEndings([&](std::function<void(QDialog*)> step) { return ViewNameTable(step); },
               {"OK button", "command 1", "command 100", "command 5000", "WM_CLOSE", "system close",
                "title bar close", "Enter in the list"});
  EXPECT_TRUE(boxes.empty());
  EXPECT_FALSE(Changed());
}

TEST_F(NameTableWindow, LockAndUnlockTheSelectedMapping) {
  ThreeMappings();
  BYTE changed = ShowNameTable([&](QDialog* w) {
    Select(w, 1);
    Trigger(w, CMD_LOCK);
    EXPECT_EQ(hosts->locked, 1);
    EXPECT_EQ(Cell(w, 1, COL_FLAGS), "GPL");
    EXPECT_TRUE(Changed());
    ClearChanged();
    Select(w, 0);
    Trigger(w, CMD_UNLOCK);
    EXPECT_EQ(router->locked, 0);
    EXPECT_EQ(Cell(w, 0, COL_FLAGS), "   ");
    EXPECT_TRUE(Changed());
    EXPECT_EQ(hosts->locked, 1);
    Click(w, ID_OK);
  });
  EXPECT_EQ(changed, TRUE);
}

TEST_F(NameTableWindow, RowCommandsDoNothingWithoutRows) {
  BYTE changed = ShowNameTable([&](QDialog* w) {
    for (int id : {CMD_EDIT, CMD_DELETE, CMD_LOCK, CMD_UNLOCK}) Trigger(w, id);
    EXPECT_EQ(QApplication::activeModalWidget(), w);  // no editor opened
    Click(w, ID_OK);
  });
  EXPECT_EQ(changed, FALSE);
  EXPECT_FALSE(Changed());
  EXPECT_TRUE(boxes.empty());
}

TEST_F(NameTableWindow, DeleteAsksAndMarksTheTableChangedWhateverTheAnswer) {
  ThreeMappings();
  answers = {plat::IDNO, plat::IDYES};
  BYTE changed = ShowNameTable([&](QDialog* w) {
    Select(w, 2);
    Trigger(w, CMD_DELETE);  // No
    EXPECT_EQ(Rows(w, COL_NAME).size(), 3u);
    EXPECT_TRUE(Changed());
    Trigger(w, CMD_DELETE);  // Yes: the selected index moves up one
    EXPECT_EQ(Rows(w, COL_NAME), (std::vector<std::string>{"Router", "AllHosts"}));
    // No row shows selected rather than one the commands do not act on.
    EXPECT_TRUE(List(w)->selectedItems().isEmpty());
    Trigger(w, CMD_LOCK);
    EXPECT_EQ(hosts->locked, 1);
    Click(w, ID_OK);
  });
  EXPECT_EQ(changed, TRUE);
  EXPECT_EQ(Names(), (std::vector<std::string>{"Router", "AllHosts"}));
  ASSERT_EQ(boxes.size(), 2u);
  for (const Box& b : boxes) {
    EXPECT_EQ(b.text, "Do you really want to destroy the address mapping for Gateway?");
    EXPECT_EQ(b.title, "Quorvane Network Monitor");
    EXPECT_EQ(b.style, (DWORD)(plat::MB_YESNO | plat::MB_ICONQUESTION));
    EXPECT_EQ(b.owner, "Quorvane Name Table");
  }
}

TEST_F(NameTableWindow, DeletingTheFirstRowKeepsTheSelectedIndexAtZero) {
  ThreeMappings();
  answers = {plat::IDYES};
  ShowNameTable([&](QDialog* w) {
    Select(w, 0);
    Trigger(w, CMD_DELETE);
    EXPECT_EQ(Rows(w, COL_NAME), (std::vector<std::string>{"AllHosts", "Gateway"}));
    EXPECT_TRUE(List(w)->selectedItems().isEmpty());
    Trigger(w, CMD_UNLOCK);  // acts on the new first row
    Trigger(w, CMD_LOCK);
    EXPECT_EQ(hosts->locked, 1);
    EXPECT_EQ(gateway->locked, 0);
    Click(w, ID_OK);
  });
  EXPECT_EQ(Names(), (std::vector<std::string>{"AllHosts", "Gateway"}));
}

TEST_F(NameTableWindow, HelpAsksTheHostForTheEditTopic) {
  ShowNameTable([&](QDialog* w) {
    Click(w, ID_HELP);
    Click(w, ID_OK);
  });
  ASSERT_EQ(helps.size(), 1u);
  EXPECT_EQ(helps[0].topic, "menuopt\\namespace\\edit.html");
  EXPECT_EQ(helps[0].topic.size(), 27u);  // single backslashes
  EXPECT_EQ(helps[0].asking, "Quorvane Name Table");
}

TEST_F(NameTableWindow, DoubleClickEditsThatRow) {
  ThreeMappings();
  ShowNameTable([&](QDialog* w) {
    OnNextWindow([&](QDialog* editor) {
      EXPECT_EQ(editor->windowTitle(), "Edit a Quorvane Name Table Mapping");
      EXPECT_EQ(Control<QLineEdit>(editor, ID_NAME)->text(), "Gateway");
      Click(editor, ID_CANCEL);
    });
    DoubleClick(w, 2, COL_NAME);
    EXPECT_EQ(QApplication::activeModalWidget(), w);
    Click(w, ID_OK);
  });
}

// ---------------------------------------------------------------- other threads

// Rows hold entries that other threads may delete and the table may hand out
// again as another mapping: the window acts only on the mapping a row shows.
TEST_F(NameTableWindow, RowsWhoseEntryWasRecycledAreFilledAnew) {
  const struct {
    const char* command;
    int id;
  } cases[] = {{"lock", CMD_LOCK}, {"unlock", CMD_UNLOCK}, {"edit", CMD_EDIT}, {"delete", CMD_DELETE}};
  for (const auto& c : cases) {
    t->ClearNameTable();
    ThreeMappings();
    answers = {plat::IDYES};
    boxes.clear();
    ShowNameTable([&](QDialog* w) {
      Select(w, 1);
      // Elsewhere: AllHosts is deleted and its entry comes back as Printer.
      t->DeleteName("AllHosts");
      NameEntry* printer = Add("Printer", "0000AA112233");
      ASSERT_EQ(printer, hosts) << "the deleted entry is reused";
      printer->locked = 1;
      Trigger(w, c.id);
      EXPECT_EQ(QApplication::activeModalWidget(), w) << c.command;
      EXPECT_EQ(printer->locked, 1) << c.command;
      EXPECT_EQ(Rows(w, COL_NAME), (std::vector<std::string>{"Router", "Gateway", "Printer"})) << c.command;
      EXPECT_EQ(Cell(w, 2, COL_FLAGS), "  L") << c.command;
      Click(w, ID_OK);
    });
    EXPECT_TRUE(boxes.empty()) << c.command;
    EXPECT_EQ(Names(), (std::vector<std::string>{"Router", "Gateway", "Printer"})) << c.command;
  }
}

TEST_F(NameTableWindow, DrawingARowWhoseEntryWasDeletedFillsTheRowsAnew) {
  ThreeMappings();
  ShowNameTable([&](QDialog* w) {
    t->DeleteName("Router");
    EXPECT_FALSE(CellColor(w, 0, COL_DESTINATION).isValid());  // not drawn from a freed entry
    QTRY_COMPARE_WITH_TIMEOUT(List(w)->topLevelItemCount(), 2, 2000);
    EXPECT_EQ(Rows(w, COL_NAME), (std::vector<std::string>{"AllHosts", "Gateway"}));
    Click(w, ID_OK);
  });
}

TEST_F(NameTableWindow, LockWaitsForTheTableLock) {
  ThreeMappings();
  ShowNameTable([&](QDialog* w) {
    Select(w, 2);
    std::atomic<int> stage{0};
    BYTE seen = 9;
    std::thread other([&] {
      plat::Mutex* m = plat::CreateMutex("ActiveNameQue");
      ASSERT_EQ(plat::WaitForMutex(m, plat::INFINITE), (DWORD)plat::WAIT_OK);
      stage = 1;
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      seen = gateway->locked;  // nobody may write while this thread holds the lock
      plat::ReleaseMutex(m);
      plat::CloseMutex(m);
    });
    while (stage.load() != 1) std::this_thread::yield();
    Trigger(w, CMD_LOCK);
    other.join();
    EXPECT_EQ(seen, 0);
    EXPECT_EQ(gateway->locked, 1);
    Click(w, ID_OK);
  });
}

}  // namespace
}  // namespace names_test
