// The mapping editor, in its new and edit modes, opened from the name table
// window.
#include <errno.h>

#include <QGroupBox>
#include <QLabel>

#include "window_fixture.h"

namespace names_test {
namespace {

enum { COL_ADDRESS, COL_NAME, COL_FLAGS, COL_CREATED, COL_ACCESSED, COL_COUNT, COL_DESTINATION, COL_SOURCE };

const char kNewTitle[] = "Create a New Quorvane Name Table Mapping";
const char kEditTitle[] = "Edit a Quorvane Name Table Mapping";

class MappingEditor : public WindowsTest {
 protected:
  // Opens the name table window, runs before on it, then opens the editor
  // with command (6001, or 6003 on the row selected) and runs step on it.
  BYTE Edit(int command, std::function<void(QDialog*)> step, std::function<void(QDialog*)> before = nullptr,
            std::function<void(QDialog*)> after = nullptr) {
    return ShowNameTable([&](QDialog* w) {
      if (before) before(w);
      OnNextWindow(step);
      Trigger(w, command);
      EXPECT_EQ(QApplication::activeModalWidget(), w) << "the editor is still open";
      if (after) after(w);
      Click(w, ID_OK);
    });
  }

  static std::string Text(QWidget* w, int id) {
    if (QLineEdit* e = Control<QLineEdit>(w, id)) return e->text().toStdString();
    if (QAbstractButton* b = Control<QAbstractButton>(w, id)) return b->text().toStdString();
    if (QLabel* l = Control<QLabel>(w, id)) return l->text().toStdString();
    if (QGroupBox* g = Control<QGroupBox>(w, id)) return g->title().toStdString();
    return "<no control " + std::to_string(id) + ">";
  }

  static QColor SwatchColor(QWidget* w, int id) {
    QWidget* swatch = Control<QWidget>(w, id);
    if (!swatch) return QColor();
    QImage image = swatch->grab().toImage();
    return image.pixelColor(image.width() / 2, image.height() / 2);
  }

  std::vector<Box> ErrorBoxes() const {
    std::vector<Box> errors;
    for (const Box& b : boxes)
      if (b.title == MT_ERROR_TITLE) errors.push_back(b);
    return errors;
  }
};

TEST_F(MappingEditor, NewModeOffersUnknownNamesAndTheDefaultAddress) {
  std::vector<std::string> offered;
  for (int i = 0; i < 3; i++) {
    Edit(CMD_ADD, [&](QDialog* e) {
      EXPECT_EQ(e->windowTitle(), kNewTitle);
      const struct {
        int id;
        const char* text;
      } texts[] = {{ID_OK, "OK"},
                   {ID_CANCEL, "Cancel"},
                   {ID_HELP, "Help"},
                   {ID_MODIFY_DESTINATION, "Modify"},
                   {ID_MODIFY_SOURCE, "Modify"},
                   {ID_FLAGS_BOX, "Flags"},
                   {ID_COLORS_BOX, "Colors"},
                   {ID_ADDRESS_LABEL, "Mapped Address"},
                   {ID_NAME_LABEL, "Mapped Name"},
                   {ID_GROUP, "Group Address"},
                   {ID_LOCKED, "Locked Address"},
                   {ID_DESTINATION_LABEL, "Destination"},
                   {ID_SOURCE_LABEL, "Source"},
                   {ID_ADDRESS, "00-00-00-00-00-00"}};
      for (const auto& c : texts) EXPECT_EQ(Text(e, c.id), c.text) << c.id;
      offered.push_back(Text(e, ID_NAME));
      EXPECT_FALSE(Control<QCheckBox>(e, ID_GROUP)->isEnabled());
      EXPECT_FALSE(Control<QCheckBox>(e, ID_LOCKED)->isChecked());
      EXPECT_TRUE(Control<QLineEdit>(e, ID_ADDRESS)->isEnabled());
      EXPECT_EQ(Control<QLineEdit>(e, ID_ADDRESS)->maxLength(), 31);
      EXPECT_EQ(Control<QLineEdit>(e, ID_NAME)->maxLength(), 31);
      EXPECT_TRUE(Control<QPushButton>(e, ID_OK)->isDefault());
      EXPECT_EQ(SwatchColor(e, ID_DESTINATION_SWATCH), QColor(0, 0, 0));
      if (i == 0) {
        EXPECT_TRUE(e->grab().save(QString::fromStdString(ShotPath("mapping-editor-new.png"))));
      }
      Click(e, ID_CANCEL);
    });
  }
  // The third new mapping of the library's life is offered Unknown2.
  EXPECT_EQ(offered, (std::vector<std::string>{"Unknown0", "Unknown1", "Unknown2"}));
  EXPECT_TRUE(Names().empty());
}

TEST_F(MappingEditor, NewMappingGoesLastInTheTableAndIntoTheSelectedRow) {
  SetClock(8, 0, 0, 0);
  Add("Router", "00A0C914C829");
  Add("Gateway", "0010A4000001");
  ClearChanged();
  SetClock(12, 30, 15, 120);
  colors = {0x00563412};
  BYTE changed = Edit(
      CMD_ADD,
      [&](QDialog* e) {
        Type(e, ID_NAME, "Printer");
        Type(e, ID_ADDRESS, "00.a0 c9-99-C8-29");
        EXPECT_EQ(Text(e, ID_ADDRESS), "00.A0 C9-99-C8-29");  // typed in upper case
        Control<QCheckBox>(e, ID_LOCKED)->setChecked(true);
        Click(e, ID_MODIFY_DESTINATION);
        EXPECT_EQ(SwatchColor(e, ID_DESTINATION_SWATCH), QColor(0x12, 0x34, 0x56));
        EXPECT_TRUE(e->grab().save(QString::fromStdString(ShotPath("mapping-editor-filled.png"))));
        Click(e, ID_OK);
        EXPECT_FALSE(e->isVisible());
      },
      [&](QDialog* w) { Select(w, 1); },
      [&](QDialog* w) {
        EXPECT_EQ(Rows(w, COL_NAME), (std::vector<std::string>{"Router", "Printer", "Gateway"}));
        EXPECT_EQ(Cell(w, 1, COL_ADDRESS), "00-A0-C9-99-C8-29");
        EXPECT_EQ(Cell(w, 1, COL_FLAGS), "  L");
        EXPECT_EQ(Cell(w, 1, COL_CREATED), "01:02:1601  12:30:15:120");
        EXPECT_EQ(Cell(w, 1, COL_ACCESSED), "Never");
        EXPECT_EQ(Cell(w, 1, COL_COUNT), "0");
        EXPECT_EQ(Cell(w, 1, COL_DESTINATION), "Text Color");
        EXPECT_EQ(CellColor(w, 1, COL_DESTINATION), QColor(0x12, 0x34, 0x56));
        EXPECT_TRUE(List(w)->selectedItems().isEmpty());
      });
  EXPECT_EQ(changed, TRUE);
  EXPECT_TRUE(Changed());
  EXPECT_EQ(Names(), (std::vector<std::string>{"Router", "Gateway", "Printer"}));
  Bytes a = Hex("00A0C999C829");
  BYTE address[32];
  t->GetAddressOfName("printer", address, 32);
  EXPECT_EQ(Bytes(address, address + 6), a);
  char text[64];
  COLORREF d = 0, s = 1;
  EXPECT_EQ(t->LookupName(a.data(), 6, 1, text, 0, &d, &s), TRUE);
  EXPECT_STREQ(text, "Printer");
  EXPECT_EQ(d, 0x00563412u);
  EXPECT_EQ(s, 0u);
  EXPECT_TRUE(ErrorBoxes().empty());
}

TEST_F(MappingEditor, NewModeChecksInOrderAndStaysOpenOnAFailure) {
  Add("Router", "00A0C914C829");
  NameEntry* prefix = Add("Prefix", "0A0B");
  Add("Longer", "00A0C914C82A00");
  const struct {
    const char* name;
    const char* address;
    const char* message;
  } cases[] = {
      {"", "", "The Mapping Name must be defined!"},
      {"", "11-22-33-44-55-66", "The Mapping Name must be defined!"},
      {"router", "zz", "The Mapping name specified must be unique!"},
      {"PREFIX", "11-22-33-44-55-66", "The Mapping name specified must be unique!"},
      {"NewOne", "", "The Mapping Address must be defined!"},
      // Only separators: no bytes, which would match every address.
      {"NewOne", " - . -", "The Mapping Address must be defined!"},
      {"NewOne", "00-A0-C", "The Address must contain an even number of valid hex digits!"},
      {"NewOne", "00-G0", "The Address must contain an even number of valid hex digits!"},
      {"NewOne", "00-A0-C9-14-C8-29", "A mapping already exists for this address!"},
      // An existing entry whose address begins the new one.
      {"NewOne", "0A-0B-0C-0D", "A mapping already exists for this address!"},
      // The entry's own 7 bytes against the zero-filled field.
      {"NewOne", "00-A0-C9-14-C8-2A", "A mapping already exists for this address!"},
  };
  for (const auto& c : cases) {
    boxes.clear();
    Edit(CMD_ADD, [&](QDialog* e) {
      Type(e, ID_NAME, c.name);
      Type(e, ID_ADDRESS, c.address);
      Click(e, ID_OK);
      EXPECT_TRUE(e->isVisible()) << c.name << " " << c.address;
      Click(e, ID_CANCEL);
    });
    ASSERT_EQ(boxes.size(), 1u) << c.name << " " << c.address;
    EXPECT_EQ(boxes[0].text, c.message) << c.name << " " << c.address;
    EXPECT_EQ(boxes[0].title, MT_ERROR_TITLE);
    EXPECT_EQ(boxes[0].style, (DWORD)(plat::MB_OK | plat::MB_ICONERROR));
    EXPECT_EQ(boxes[0].owner, kNewTitle);
  }
  EXPECT_EQ(prefix->accessCount, 1);  // the duplicate test is a lookup
  EXPECT_EQ(Names(), (std::vector<std::string>{"Router", "Prefix", "Longer"}));
}

TEST_F(MappingEditor, CommandsOneHundredAndFiveThousandAreOk) {
  for (int id : {IDOK_COMMAND, ID_OK, CMD_END}) {
    boxes.clear();
    Edit(CMD_ADD, [&](QDialog* e) {
      Type(e, ID_NAME, "");
      Command(e, id);
      EXPECT_TRUE(e->isVisible()) << id;
      Type(e, ID_NAME, "Host" + QString::number(id));
      Type(e, ID_ADDRESS, QString::asprintf("02-%04X", id));
      Command(e, id);
      EXPECT_FALSE(e->isVisible()) << id;
    });
    ASSERT_EQ(boxes.size(), 1u) << id;
    EXPECT_EQ(boxes[0].text, "The Mapping Name must be defined!");
  }
  EXPECT_EQ(Names(), (std::vector<std::string>{"Host1", "Host100", "Host5000"}));
}

TEST_F(MappingEditor, AddressThatOnlyLongerEntriesBeginWithIsAccepted) {
  Add("Longer", "00A0C914C82A01");
  Edit(CMD_ADD, [&](QDialog* e) {
    Type(e, ID_ADDRESS, "00-A0-C9-14-C8-2A");
    Click(e, ID_OK);
  });
  EXPECT_EQ(Names(), (std::vector<std::string>{"Longer", "Unknown0"}));
  EXPECT_TRUE(ErrorBoxes().empty());
}

TEST_F(MappingEditor, FieldsTakeThirtyOneCharacters) {
  Edit(CMD_ADD, [&](QDialog* e) {
    Type(e, ID_NAME, "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345");
    EXPECT_EQ(Text(e, ID_NAME), "ABCDEFGHIJKLMNOPQRSTUVWXYZ01234");
    Type(e, ID_ADDRESS, "00-11-22-33-44-55-66-77-88-99-AA");
    EXPECT_EQ(Text(e, ID_ADDRESS), "00-11-22-33-44-55-66-77-88-99-A");
    Type(e, ID_ADDRESS, "00-11-22-33-44-55-66-77-88-99");
    Click(e, ID_OK);
  });
  EXPECT_EQ(Names(), std::vector<std::string>{"ABCDEFGHIJKLMNOPQRSTUVWXYZ01234"});
  // Typed or pasted, a control character or one that Windows-1252 has not
  // is dropped; the euro sign is byte 0x80 there. A comma is a character
  // like any other (the file quotes such a name).
  Edit(CMD_ADD, [&](QDialog* e) {
    QLineEdit* name = Control<QLineEdit>(e, ID_NAME);
    name->clear();
    name->insert(QString::fromUtf8("Printer,\t2nd\u03a9\u20ac"));
    EXPECT_EQ(name->text(), QString::fromUtf8("Printer,2nd\u20ac"));
    Type(e, ID_ADDRESS, "02-00-00-00-00-01");
    Click(e, ID_OK);
  });
  EXPECT_EQ(Names(), (std::vector<std::string>{"ABCDEFGHIJKLMNOPQRSTUVWXYZ01234", "Printer,2nd\x80"}));
}

TEST_F(MappingEditor, EditModeShowsTheMappingAndChangesItInPlace) {
  SetClock(7, 0, 0, 0);
  Add("Router", "00A0C914C829");
  NameEntry* hosts = AddFlagged("AllHosts", "01005E000001", 42);
  hosts->sourceColor = 0x00FF0000;
  ClearChanged();
  colors = {0x000000FF, 0x0000FF00};
  BYTE changed = Edit(
      CMD_EDIT,
      [&](QDialog* e) {
        EXPECT_EQ(e->windowTitle(), kEditTitle);
        EXPECT_EQ(Text(e, ID_ADDRESS), "01-00-5E-00-00-01");
        EXPECT_FALSE(Control<QLineEdit>(e, ID_ADDRESS)->isEnabled());
        EXPECT_EQ(Text(e, ID_NAME), "AllHosts");
        EXPECT_TRUE(Control<QCheckBox>(e, ID_GROUP)->isChecked());
        EXPECT_FALSE(Control<QCheckBox>(e, ID_GROUP)->isEnabled());
        EXPECT_FALSE(Control<QCheckBox>(e, ID_LOCKED)->isChecked());
        EXPECT_EQ(SwatchColor(e, ID_SOURCE_SWATCH), QColor(0, 0, 255));
        EXPECT_TRUE(e->grab().save(QString::fromStdString(ShotPath("mapping-editor-edit.png"))));
        Type(e, ID_NAME, "Multicast");
        Control<QCheckBox>(e, ID_LOCKED)->setChecked(true);
        Click(e, ID_MODIFY_DESTINATION);
        Click(e, ID_MODIFY_SOURCE);
        EXPECT_EQ(SwatchColor(e, ID_DESTINATION_SWATCH), QColor(255, 0, 0));
        EXPECT_EQ(SwatchColor(e, ID_SOURCE_SWATCH), QColor(0, 255, 0));
        // Typing Enter is the OK button.
        QTest::keyClick(Control<QLineEdit>(e, ID_NAME), Qt::Key_Return);
        EXPECT_FALSE(e->isVisible());
      },
      [&](QDialog* w) { Select(w, 1); },
      [&](QDialog* w) {
        EXPECT_EQ(Rows(w, COL_NAME), (std::vector<std::string>{"Router", "Multicast"}));
        EXPECT_EQ(Cell(w, 1, COL_FLAGS), "GPL");
        EXPECT_EQ(CellColor(w, 1, COL_DESTINATION), QColor(255, 0, 0));
        EXPECT_EQ(CellColor(w, 1, COL_SOURCE), QColor(0, 255, 0));
        EXPECT_TRUE(List(w)->selectedItems().isEmpty());
      });
  EXPECT_EQ(changed, TRUE);
  ASSERT_EQ(picks.size(), 2u);
  EXPECT_EQ(picks[0].owner, kEditTitle);
  EXPECT_EQ(picks[0].current, 0u);
  EXPECT_EQ(picks[1].current, 0x00FF0000u);
  // The same entry, changed in place: its address, P flag, value and
  // creation time stay.
  EXPECT_EQ(Names(), (std::vector<std::string>{"Router", "Multicast"}));
  EXPECT_STREQ(hosts->name, "Multicast");
  EXPECT_EQ(hosts->locked, 1);
  EXPECT_EQ(hosts->flagged, 1);
  EXPECT_EQ(hosts->value, 42);
  EXPECT_EQ(hosts->destinationColor, 0x000000FFu);
  EXPECT_EQ(hosts->sourceColor, 0x0000FF00u);
  EXPECT_EQ(FileTimeTicks(hosts->created), Ticks(7, 0, 0, 0));
}

TEST_F(MappingEditor, EditModeNameChecks) {
  NameEntry* router = Add("Router", "00A0C914C829");
  Add("Gateway", "0010A4000001");
  const struct {
    const char* name;
    const char* message;  // null: accepted
  } cases[] = {
      {"ROUTER", "The Mapping name specified must be unique!"},  // only the case differs: refused
      {"gateway", "The Mapping name specified must be unique!"},
      {"", "The Mapping Name must be defined!"},
      {"Router", nullptr},  // kept as it is
  };
  for (const auto& c : cases) {
    boxes.clear();
    Edit(
        CMD_EDIT,
        [&](QDialog* e) {
          Type(e, ID_NAME, c.name);
          Click(e, ID_OK);
          EXPECT_EQ(e->isVisible(), c.message != nullptr) << c.name;
          if (e->isVisible()) Click(e, ID_CANCEL);
        },
        [&](QDialog* w) { Select(w, 0); });
    if (c.message) {
      ASSERT_EQ(boxes.size(), 1u) << c.name;
      EXPECT_EQ(boxes[0].text, c.message);
      EXPECT_EQ(boxes[0].owner, kEditTitle);
    } else {
      EXPECT_TRUE(boxes.empty()) << c.name;
    }
    EXPECT_STREQ(router->name, "Router");
  }
}

TEST_F(MappingEditor, EndingWithoutOkChangesNothingButCountsAsAChange) {
  NameEntry* router = Add("Router", "00A0C914C829");
  const struct {
    const char* how;
    std::function<void(QDialog*)> act;
    bool ends;
  } cases[] = {
      {"Cancel", [](QDialog* e) { Click(e, ID_CANCEL); }, true},
      {"WM_CLOSE", [](QDialog* e) { plat::SendMessage(Handle(e), WM_CLOSE, 0, 0); }, true},
      {"system close", [](QDialog* e) { plat::SendMessage(Handle(e), WM_SYSCOMMAND, SC_CLOSE, 0); }, true},
      {"title bar close", [](QDialog* e) { e->close(); }, true},
      {"command 2 (Escape)", [](QDialog* e) { QTest::keyClick(Control<QLineEdit>(e, ID_NAME), Qt::Key_Escape); }, false},
      {"command 6004", [](QDialog* e) { Command(e, CMD_LOCK); }, false},
  };
  for (int command : {CMD_ADD, CMD_EDIT}) {
    for (const auto& c : cases) {
      ClearChanged();
      BYTE changed = Edit(command, [&](QDialog* e) {
        Type(e, ID_NAME, "Changed");
        Control<QCheckBox>(e, ID_LOCKED)->setChecked(true);
        c.act(e);
        EXPECT_EQ(e->isVisible(), !c.ends) << c.how;
        if (e->isVisible()) Click(e, ID_CANCEL);
      });
      EXPECT_EQ(changed, TRUE) << c.how;
      EXPECT_TRUE(Changed()) << c.how;
      EXPECT_EQ(Names(), std::vector<std::string>{"Router"}) << c.how;
      EXPECT_EQ(router->locked, 0) << c.how;
    }
  }
  EXPECT_TRUE(boxes.empty());
}

TEST_F(MappingEditor, ColourChooserCancelledKeepsTheColour) {
  NameEntry* router = Add("Router", "00A0C914C829");
  router->destinationColor = 0x00123456;
  Edit(CMD_EDIT, [&](QDialog* e) {
    Click(e, ID_MODIFY_DESTINATION);  // the script has no colour: cancelled
    EXPECT_EQ(SwatchColor(e, ID_DESTINATION_SWATCH), QColor(0x56, 0x34, 0x12));
    Click(e, ID_OK);
  });
  ASSERT_EQ(picks.size(), 1u);
  EXPECT_EQ(picks[0].current, 0x00123456u);
  EXPECT_EQ(router->destinationColor, 0x00123456u);
}

TEST_F(MappingEditor, HelpAsksTheHostForTheEditTopicInBothModes) {
  Add("Router", "00A0C914C829");
  for (int command : {CMD_ADD, CMD_EDIT})
    Edit(command, [&](QDialog* e) {
      Click(e, ID_HELP);
      EXPECT_TRUE(e->isVisible());
      Click(e, ID_CANCEL);
    });
  ASSERT_EQ(helps.size(), 2u);
  EXPECT_EQ(helps[0].topic, "menuopt\\namespace\\edit.html");
  EXPECT_EQ(helps[0].asking, kNewTitle);
  EXPECT_EQ(helps[1].topic, "menuopt\\namespace\\edit.html");
  EXPECT_EQ(helps[1].asking, kEditTitle);
}

TEST_F(MappingEditor, NoMemoryIsToldAndEndsTheEditor) {
  Add("Router", "00A0C914C829");
  Edit(
      CMD_ADD,
      [&](QDialog* e) {
        plat::SetAllocFailure(1);
        Click(e, ID_OK);
        EXPECT_FALSE(e->isVisible());
      },
      nullptr, [&](QDialog* w) { EXPECT_EQ(Rows(w, COL_NAME), std::vector<std::string>{"Router"}); });
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, ErrorText("Failed to allocate resources!", ENOMEM));
  EXPECT_EQ(boxes[0].owner, kNewTitle);
  EXPECT_EQ(boxes[0].style, (DWORD)(plat::MB_OK | plat::MB_ICONERROR));
  EXPECT_EQ(Names(), std::vector<std::string>{"Router"});
}

// ---------------------------------------------------------------- other threads

// A save elsewhere while the editor is open clears the mark; what OK writes
// marks the table changed again, or it would never reach the file.
TEST_F(MappingEditor, WhatOkWritesIsMarkedChangedAfterASaveMeanwhile) {
  NameEntry* router = Add("Router", "00A0C914C829");
  for (int command : {CMD_ADD, CMD_EDIT}) {
    Edit(command, [&](QDialog* e) {
      EXPECT_TRUE(Changed());  // as the editor opens
      ClearChanged();          // as a save on another thread does
      Type(e, ID_NAME, command == CMD_ADD ? "Added" : "Renamed");
      Type(e, ID_ADDRESS, "02-00-00-00-00-01");
      Click(e, ID_OK);
      EXPECT_TRUE(Changed());
    });
  }
  EXPECT_STREQ(router->name, "Renamed");
  EXPECT_EQ(Names(), (std::vector<std::string>{"Renamed", "Added"}));
}

LookupNameProc g_lookup = nullptr;
MonitorTable* g_table = nullptr;
BYTE QV_CALL LookupAfterAnotherAdd(const BYTE* address, int length, BYTE useName, char* text, int unused,
                                   COLORREF* destination, COLORREF* source) {
  // Between the editor's name test and its write, another thread adds the name.
  Bytes other = Hex("02AA00000001");
  g_table->AddName("contested", other.data(), 6, 0);
  return g_lookup(address, length, useName, text, unused, destination, source);
}

TEST_F(MappingEditor, NameAddedBetweenTheTestAndTheWriteIsRefused) {
  g_lookup = t->LookupName;
  g_table = t;
  t->LookupName = LookupAfterAnotherAdd;
  Edit(CMD_ADD, [&](QDialog* e) {
    Type(e, ID_NAME, "Contested");
    Type(e, ID_ADDRESS, "02-00-00-00-00-01");
    Click(e, ID_OK);
    EXPECT_TRUE(e->isVisible());
    Click(e, ID_CANCEL);
  });
  t->LookupName = g_lookup;
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "The Mapping name specified must be unique!");
  EXPECT_EQ(Names(), std::vector<std::string>{"contested"});
}

TEST_F(MappingEditor, MappingDeletedWhileItIsEditedIsNotWritten) {
  Add("Router", "00A0C914C829");
  NameEntry* gateway = Add("Gateway", "0010A4000001");
  Edit(
      CMD_EDIT,
      [&](QDialog* e) {
        // Elsewhere: Gateway is deleted and its entry comes back as Printer.
        t->DeleteName("Gateway");
        ASSERT_EQ(Add("Printer", "0000AA112233"), gateway);
        Type(e, ID_NAME, "Renamed");
        Control<QCheckBox>(e, ID_LOCKED)->setChecked(true);
        Click(e, ID_OK);
        EXPECT_FALSE(e->isVisible());
      },
      [&](QDialog* w) { Select(w, 1); },
      [&](QDialog* w) { EXPECT_EQ(Rows(w, COL_NAME), (std::vector<std::string>{"Router", "Printer"})); });
  EXPECT_STREQ(gateway->name, "Printer");
  EXPECT_EQ(gateway->locked, 0);
  EXPECT_EQ(Names(), (std::vector<std::string>{"Router", "Printer"}));
}

}  // namespace
}  // namespace names_test
