// The name table windows in Qt Widgets: the name table window, the mapping
// editor it opens and the host display colour coding window.
//
// Each window has a handle of its own (a PlatWindow that answers
// WM_GETWIDGET, WM_COMMAND, WM_SYSCOMMAND and WM_CLOSE), so the host's colour
// chooser, message boxes and help requests know the window that asks, and
// every command goes through one switch, as the window's controls send it.
//
// Rows keep a hold on their entries that is confirmed under the lock before
// every use (rows.h). The lock is never held across a message box or the
// host's colour chooser; while one of those is open, a refill that drawing
// asks for waits until it is closed.
#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDialog>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QValidator>

#include <functional>
#include <string>
#include <vector>

#include "bitmaps.h"
#include "dialogs.h"
#include "plugin.h"
#include "rows.h"
#include "window_text.h"

namespace pallisand {

namespace {

const char kTitle[] = "Quorvane Network Monitor";
const char kEditHelp[] = "menuopt\\namespace\\edit.html";
const char kColorHelp[] = "menuopt\\namespace\\hostcolor.html";

// New mappings are offered Unknown0, Unknown1, ... for the life of the library.
int g_newNames = 0;

// ---------------------------------------------------------------- text
// Names are single-byte Windows-1252 text.

const char16_t kHigh1252[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

QString From1252(const char* text) {
  QString s;
  for (const unsigned char* p = (const unsigned char*)text; *p; p++)
    s += QChar(*p >= 0x80 && *p < 0xA0 ? kHigh1252[*p - 0x80] : (char16_t)*p);
  return s;
}

// -1 when the character has no Windows-1252 byte.
int To1252(QChar c) {
  char16_t u = c.unicode();
  if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) return u;
  for (int i = 0; i < 32; i++)
    if (kHigh1252[i] == u) return 0x80 + i;
  return -1;
}

QByteArray Bytes1252(const QString& s) {
  QByteArray b;
  for (QChar c : s) {
    int v = To1252(c);
    b += (char)(v < 0 ? '?' : v);
  }
  return b;
}

QColor ColorOf(COLORREF c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

// Mapping names keep only Windows-1252 characters other than control
// characters (a line break cannot be in a name at all): others are dropped
// as they are typed or pasted.
class NameValidator : public QValidator {
 public:
  using QValidator::QValidator;
  State validate(QString& input, int& pos) const override {
    for (qsizetype i = input.size(); i-- > 0;) {
      if (To1252(input[i]) < 0x20) {
        input.remove(i, 1);
        if (i < pos) pos--;
      }
    }
    return Acceptable;
  }
};

// The address field writes what is typed in upper case.
class UpperCaseValidator : public QValidator {
 public:
  using QValidator::QValidator;
  State validate(QString& input, int&) const override {
    input = input.toUpper();
    return Acceptable;
  }
};

// ---------------------------------------------------------------- layout

// Dialog units: a quarter of the font's average character width across, an
// eighth of its height down.
int DluX(const QWidget* w, int x) { return x * QFontMetrics(w->font()).averageCharWidth() / 4; }
int DluY(const QWidget* w, int y) { return y * QFontMetrics(w->font()).height() / 8; }

void Name(QWidget* w, int id) { w->setObjectName(QString::number(id)); }

QPushButton* Button(QWidget* parent, int id, const char* text) {
  QPushButton* b = new QPushButton(QString::fromLatin1(text), parent);
  Name(b, id);
  b->setFixedSize(DluX(parent, 40), DluY(parent, 14));
  return b;
}

// The row icon in both sizes, as the large and small image lists hold it.
QIcon RowIcon(bool largeToo, const char** failure) {
  QPixmap small(kSmallMacIcon);
  if (small.isNull()) {
    *failure = "Error creating the ListView small image list";
    return QIcon();
  }
  QIcon icon(small);
  if (largeToo) {
    QPixmap large = small.scaled(32, 32, Qt::KeepAspectRatio, Qt::FastTransformation);
    if (large.isNull()) {
      *failure = "Error creating the ListView large image list";
      return QIcon();
    }
    icon.addPixmap(large);
  }
  return icon;
}

// Images cut from a strip of 16 x 16 images, the key colour transparent.
std::vector<QIcon> CutImages(const char* const* xpm, QColor key, int count, HWND ownerHandle) {
  std::vector<QIcon> icons;
  QPixmap strip(xpm);
  if (strip.isNull()) {
    ShowSystemError(ownerHandle, "Error creating image list!", ENOMEM);
    return icons;
  }
  if (strip.width() < 16 * count || strip.height() != 16) {
    ShowSystemError(ownerHandle, "Error adding bitmap to image list!", EINVAL);
    return icons;
  }
  strip.setMask(strip.createMaskFromColor(key, Qt::MaskInColor));
  for (int i = 0; i < count; i++) icons.push_back(QIcon(strip.copy(i * 16, 0, 16, 16)));
  return icons;
}

// ---------------------------------------------------------------- windows

// A modal window with a handle of its own and one command switch.
class Window : public QDialog {
 public:
  explicit Window(QWidget* parent) : QDialog(parent) {
    handle_.handler = Handle;
    handle_.context = this;
    setProperty("hwnd", QVariant::fromValue((quintptr)&handle_));
    setWindowFlags((windowFlags() | Qt::MSWindowsFixedSizeDialogHint) & ~Qt::WindowContextHelpButtonHint);
  }
  HWND hwnd() { return &handle_; }

  virtual void Command(int id) = 0;
  // WM_CLOSE and the close command of the system menu.
  virtual void CloseCommand() { done(0); }

 protected:
  // The colour chooser and message boxes run event loops of their own:
  // drawing may ask for a refill meanwhile, which waits until they return.
  COLORREF PickColor(COLORREF current) {
    Busy busy(this);
    PickColorProc pick = qv::g_table ? qv::g_table->PickColor : nullptr;
    return pick ? pick(hwnd(), current) : current;
  }
  int Ask(const char* text, const char* title, DWORD style) {
    Busy busy(this);
    return plat::MessageBox(hwnd(), text, title, style);
  }
  void Error(const char* text) { Ask(text, MT_ERROR_TITLE, plat::MB_OK | plat::MB_ICONERROR); }
  void Help(const char* topic) {
    if (qv::g_table) plat::SendMessage(qv::g_table->mainWindow, UM_SHOW_HELP, (uintptr_t)topic, (intptr_t)hwnd());
  }

  // Asks for a refill; done at once unless a nested loop runs.
  void RequestRefill() {
    if (nested_ > 0) {
      refillWaiting_ = true;
      return;
    }
    if (!refillQueued_) {
      refillQueued_ = true;
      QTimer::singleShot(0, this, [this] {
        refillQueued_ = false;
        if (nested_ > 0)
          refillWaiting_ = true;
        else
          Refill();
      });
    }
  }
  virtual void Refill() {}

  struct Busy {
    explicit Busy(Window* w) : w(w) { w->nested_++; }
    ~Busy() {
      if (--w->nested_ == 0 && w->refillWaiting_) {
        w->refillWaiting_ = false;
        w->Refill();
      }
    }
    Window* w;
  };

  void keyPressEvent(QKeyEvent* e) override {
    if (e->modifiers() & ~Qt::KeypadModifier) return QDialog::keyPressEvent(e);
    switch (e->key()) {
      case Qt::Key_Escape:
        Command(IDCANCEL_COMMAND);
        return;
      case Qt::Key_Return:
      case Qt::Key_Enter:
        for (QPushButton* b : findChildren<QPushButton*>())
          if (b->isDefault() && b->isVisible()) {
            if (b->isEnabled()) b->click();
            return;
          }
        Command(IDOK_COMMAND);
        return;
      default:
        QDialog::keyPressEvent(e);
    }
  }
  void closeEvent(QCloseEvent* e) override {
    e->ignore();
    CloseCommand();
  }
  void reject() override { Command(IDCANCEL_COMMAND); }

 private:
  static intptr_t Handle(HWND w, DWORD message, uintptr_t wParam, intptr_t) {
    Window* self = static_cast<Window*>(w->context);
    switch (message) {
      case plat::WM_GETWIDGET: return (intptr_t)static_cast<QWidget*>(self);
      case WM_COMMAND: self->Command((int)(wParam & 0xFFFF)); return 0;
      case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE) self->CloseCommand();
        return 0;
      case WM_CLOSE: self->CloseCommand(); return 0;
      default: return 0;
    }
  }

  PlatWindow handle_{};
  int nested_ = 0;
  bool refillWaiting_ = false;
  bool refillQueued_ = false;
};

QWidget* WidgetOf(HWND owner) {
  return reinterpret_cast<QWidget*>(plat::SendMessage(owner, plat::WM_GETWIDGET, 0, 0));
}

struct Column {
  const char* title;
  int width;  // average character widths
};

// A column of this many average character widths of the list's font: the
// mean advance of its 52 Latin letters, unrounded. The font's own average
// leans on the narrow lower-case letters, and 20 of it cut a six-byte
// address behind the row's icon.
int ColumnWidth(const QFont& font, int characters) {
  static const QString kLetters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  return (characters * QFontMetrics(font).horizontalAdvance(kLetters) + 26) / 52;
}

// A report list: single full-row selection, no sorting, no wrapping.
QTreeWidget* MakeList(QWidget* parent, const Column* columns, int count, int width, int height) {
  QTreeWidget* list = new QTreeWidget(parent);
  Name(list, ID_LIST);
  list->setRootIsDecorated(false);
  list->setItemsExpandable(false);
  list->setUniformRowHeights(true);
  list->setWordWrap(false);
  list->setSortingEnabled(false);
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  list->setSelectionBehavior(QAbstractItemView::SelectRows);
  list->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list->setAllColumnsShowFocus(true);
  list->setIconSize(QSize(16, 16));
  list->header()->setSectionsClickable(false);
  list->header()->setSectionsMovable(false);
  list->header()->setStretchLastSection(false);
  list->setFixedSize(DluX(parent, width), DluY(parent, height));
  QStringList titles;
  for (int i = 0; i < count; i++) titles << QString::fromLatin1(columns[i].title);
  list->setColumnCount(count);
  list->setHeaderLabels(titles);
  for (int i = 0; i < count; i++) {
    list->header()->setSectionResizeMode(i, QHeaderView::Interactive);
    list->setColumnWidth(i, ColumnWidth(list->font(), columns[i].width));
  }
  return list;
}

QToolBar* MakeToolBar(QWidget* parent) {
  QToolBar* bar = new QToolBar(parent);
  Name(bar, ID_TOOLBAR);
  bar->setIconSize(QSize(16, 16));
  bar->setMovable(false);
  bar->setFloatable(false);
  bar->setStyleSheet("QToolBar { border: 1px solid palette(mid); }");
  return bar;
}

QAction* ToolButton(QToolBar* bar, int id, const QIcon& icon, const char* label, std::function<void(int)> run) {
  QAction* a = bar->addAction(icon, QString::fromLatin1(label));
  a->setObjectName(QString::number(id));
  a->setData(id);
  QObject::connect(a, &QAction::triggered, bar, [run, id] { run(id); });
  return a;
}

// The row loses its selected and focused state.
void ClearRowState(QTreeWidget* list, int row) {
  if (QTreeWidgetItem* item = list->topLevelItem(row)) item->setSelected(false);
  list->selectionModel()->clearCurrentIndex();
}

// ---------------------------------------------------------------- editor

class MappingEditor : public Window {
 public:
  enum Result { NOTHING, EDITED, ADDED, VANISHED };

  // editing null: new mode.
  MappingEditor(QWidget* owner, const Row* editing) : Window(owner), editMode_(editing != nullptr) {
    if (editing) {
      row_ = *editing;
      destination_ = row_.fields.destinationColor;
      source_ = row_.fields.sourceColor;
    } else {
      memset(&scratch_, 0, sizeof scratch_);
      snprintf(scratch_.name, sizeof scratch_.name, "Unknown%d", g_newNames++);
      scratch_.addressLength = 6;
    }
    Build();
  }

  Result result() const { return result_; }
  const Row& row() const { return row_; }

  void Command(int id) override {
    switch (id) {
      case IDOK_COMMAND:
      case ID_OK:
      case CMD_END: Accept(); break;
      case ID_CANCEL: done(0); break;
      case ID_HELP: Help(kEditHelp); break;
      case ID_MODIFY_DESTINATION:
        destination_ = PickColor(destination_);
        destinationSwatch_->update();
        break;
      case ID_MODIFY_SOURCE:
        source_ = PickColor(source_);
        sourceSwatch_->update();
        break;
      default: break;
    }
  }

 private:
  class Swatch : public QFrame {
   public:
    Swatch(QWidget* parent, int id, const COLORREF* color) : QFrame(parent), color_(color) {
      Name(this, id);
      setFixedSize(DluX(parent, 20), DluY(parent, 8));
    }
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), ColorOf(*color_)); }

   private:
    const COLORREF* color_;
  };

  void Build() {
    setWindowTitle(editMode_ ? "Edit a Quorvane Name Table Mapping" : "Create a New Quorvane Name Table Mapping");
    QLabel* addressLabel = new QLabel("Mapped Address", this);
    Name(addressLabel, ID_ADDRESS_LABEL);
    QLabel* nameLabel = new QLabel("Mapped Name", this);
    Name(nameLabel, ID_NAME_LABEL);
    address_ = new QLineEdit(this);
    Name(address_, ID_ADDRESS);
    address_->setValidator(new UpperCaseValidator(address_));
    name_ = new QLineEdit(this);
    Name(name_, ID_NAME);
    name_->setValidator(new NameValidator(name_));
    name_->setMaxLength(kNameSize - 1);
    for (QLineEdit* e : {address_, name_}) e->setFixedWidth(DluX(this, 92));
    addressLabel->setBuddy(address_);
    nameLabel->setBuddy(name_);

    group_ = new QCheckBox("Group Address", this);
    Name(group_, ID_GROUP);
    group_->setEnabled(false);
    locked_ = new QCheckBox("Locked Address", this);
    Name(locked_, ID_LOCKED);

    if (editMode_) {
      char text[kAddressTextSize];
      AddressText(row_.fields.address, row_.fields.addressLength, text);
      address_->setText(text);  // shown whole: the field cannot be typed in
      address_->setEnabled(false);
      name_->setText(From1252(row_.fields.name));
      group_->setChecked(row_.fields.group != 0);
      locked_->setChecked(row_.fields.locked != 0);
    } else {
      address_->setMaxLength(kNameSize - 1);
      address_->setText("00-00-00-00-00-00");
      name_->setText(From1252(scratch_.name));
    }

    QPushButton* ok = Button(this, ID_OK, "OK");
    ok->setDefault(true);
    QPushButton* cancel = Button(this, ID_CANCEL, "Cancel");
    QPushButton* help = Button(this, ID_HELP, "Help");
    QPushButton* modifyDestination = Button(this, ID_MODIFY_DESTINATION, "Modify");
    QPushButton* modifySource = Button(this, ID_MODIFY_SOURCE, "Modify");
    for (QPushButton* b : {ok, cancel, help, modifyDestination, modifySource}) {
      int id = b->objectName().toInt();
      connect(b, &QPushButton::clicked, this, [this, id] { Command(id); });
    }

    QGroupBox* flags = new QGroupBox("Flags", this);
    Name(flags, ID_FLAGS_BOX);
    QVBoxLayout* flagRows = new QVBoxLayout(flags);
    flagRows->addWidget(group_);
    flagRows->addWidget(locked_);
    flagRows->addStretch();

    QGroupBox* colors = new QGroupBox("Colors", this);
    Name(colors, ID_COLORS_BOX);
    destinationSwatch_ = new Swatch(colors, ID_DESTINATION_SWATCH, &destination_);
    sourceSwatch_ = new Swatch(colors, ID_SOURCE_SWATCH, &source_);
    QLabel* destinationLabel = new QLabel("Destination", colors);
    Name(destinationLabel, ID_DESTINATION_LABEL);
    QLabel* sourceLabel = new QLabel("Source", colors);
    Name(sourceLabel, ID_SOURCE_LABEL);
    QGridLayout* colorRows = new QGridLayout(colors);
    colorRows->addWidget(destinationSwatch_, 0, 0);
    colorRows->addWidget(destinationLabel, 0, 1);
    colorRows->addWidget(modifyDestination, 0, 2);
    colorRows->addWidget(sourceSwatch_, 1, 0);
    colorRows->addWidget(sourceLabel, 1, 1);
    colorRows->addWidget(modifySource, 1, 2);
    colorRows->setColumnMinimumWidth(1, DluX(this, 44));

    QGridLayout* fields = new QGridLayout;
    fields->addWidget(addressLabel, 0, 0);
    fields->addWidget(address_, 0, 1);
    fields->addWidget(nameLabel, 1, 0);
    fields->addWidget(name_, 1, 1);
    fields->setColumnMinimumWidth(0, DluX(this, 75));
    QVBoxLayout* buttons = new QVBoxLayout;
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    buttons->addWidget(help);
    buttons->addStretch();
    QHBoxLayout* top = new QHBoxLayout;
    top->addLayout(fields);
    top->addStretch();
    top->addLayout(buttons);
    QHBoxLayout* boxes = new QHBoxLayout;
    boxes->addWidget(flags, 100);
    boxes->addWidget(colors, 138);
    QVBoxLayout* all = new QVBoxLayout(this);
    all->addLayout(top);
    all->addLayout(boxes);
    all->setSizeConstraint(QLayout::SetFixedSize);
    name_->setFocus();
  }

  void Accept() {
    QByteArray name = Bytes1252(name_->text().left(kNameSize - 1));
    if (name.isEmpty()) return Error("The Mapping Name must be defined!");
    if (!(editMode_ && strcmp(name.constData(), row_.fields.name) == 0) && NameExists(name.constData()))
      return Error("The Mapping name specified must be unique!");
    if (editMode_) {
      switch (WriteEdit(&row_, name.constData(), locked_->isChecked() ? 1 : 0, destination_, source_)) {
        case DONE: result_ = EDITED; break;
        case GONE: result_ = VANISHED; break;
        case NAME_TAKEN: return Error("The Mapping name specified must be unique!");
        case BUSY: return ShowSystemError(hwnd(), "Failed to allocate resources!", ETIMEDOUT);
        default: return Error("The Mapping Name must be defined!");
      }
      done(IDOK_COMMAND);
      return;
    }

    QByteArray text = Bytes1252(address_->text().left(kNameSize - 1));
    if (text.isEmpty()) return Error("The Mapping Address must be defined!");
    BYTE address[kMaxAddressLength];
    int length = 0;
    switch (ParseAddress(text.constData(), address, &length)) {
      case ADDRESS_OK: break;
      case ADDRESS_EMPTY: return Error("The Mapping Address must be defined!");
      case ADDRESS_BAD_DIGITS: return Error("The Address must contain an even number of valid hex digits!");
    }
    // The whole zero-filled field: an entry's own length governs the match.
    // Through the table's slot, as every caller of the service.
    char found[64];
    if (qv::g_table->LookupName(address, kMaxAddressLength, 1, found, 0, nullptr, nullptr))
      return Error("A mapping already exists for this address!");

    memset(scratch_.name, 0, sizeof scratch_.name);
    memcpy(scratch_.name, name.constData(), (size_t)name.size());
    memcpy(scratch_.address, address, sizeof address);
    scratch_.addressLength = length;
    scratch_.group = (BYTE)(address[0] & 1);
    scratch_.locked = locked_->isChecked() ? 1 : 0;
    scratch_.destinationColor = destination_;
    scratch_.sourceColor = source_;
    switch (AddMapping(scratch_, &row_)) {
      case DONE: result_ = ADDED; break;
      case NAME_TAKEN: return Error("The Mapping name specified must be unique!");
      case ADDRESS_TAKEN: return Error("A mapping already exists for this address!");
      case NO_MEMORY: ShowSystemError(hwnd(), "Failed to allocate resources!", plat::GetLastError()); break;
      case BUSY: return ShowSystemError(hwnd(), "Failed to allocate resources!", ETIMEDOUT);
      default: return Error("The Mapping Name must be defined!");
    }
    done(IDOK_COMMAND);
  }

  const bool editMode_;
  Row row_{};
  NameEntry scratch_{};
  COLORREF destination_ = 0, source_ = 0;
  Result result_ = NOTHING;
  QLineEdit* address_ = nullptr;
  QLineEdit* name_ = nullptr;
  QCheckBox* group_ = nullptr;
  QCheckBox* locked_ = nullptr;
  Swatch* destinationSwatch_ = nullptr;
  Swatch* sourceSwatch_ = nullptr;
};

// ---------------------------------------------------------------- lists

class ListWindow;

// A row of a list window: it keeps its entry, and draws the Destination and
// Source cells in the entry's colours, read each time the cell is drawn.
class EntryItem : public QTreeWidgetItem {
 public:
  EntryItem(ListWindow* window, const Row& row) : window_(window), row_(row) {}
  Row& row() { return row_; }
  QVariant data(int column, int role) const override;

 private:
  ListWindow* window_;
  Row row_;
};

// What the two list windows share: rows, their entries and the selected index.
class ListWindow : public Window {
 public:
  ListWindow(QWidget* parent, int destinationColumn, int sourceColumn, bool zeroIsWindowText)
      : Window(parent),
        destinationColumn_(destinationColumn),
        sourceColumn_(sourceColumn),
        zeroIsWindowText_(zeroIsWindowText) {}

  // The text colour of a cell; null for the list's own.
  QVariant CellColor(const EntryRef& ref, int column) {
    if (column != destinationColumn_ && column != sourceColumn_) return QVariant();
    COLORREF c = 0;
    switch (ReadColor(ref, column == destinationColumn_ ? DESTINATION_COLOR : SOURCE_COLOR, &c)) {
      case DONE: break;
      case GONE: RequestRefill(); return QVariant();
      default: return QVariant();
    }
    if (c == 0 && zeroIsWindowText_) return QBrush(list_->palette().color(QPalette::Text));
    return QBrush(ColorOf(c));
  }

 protected:
  int RowCount() const { return list_->topLevelItemCount(); }
  EntryItem* ItemAt(int row) const { return static_cast<EntryItem*>(list_->topLevelItem(row)); }

  // The row commands act on; null while the list has no row.
  EntryItem* SelectedItem() {
    int count = RowCount();
    if (count == 0) return nullptr;
    if (selected_ >= count) selected_ = count - 1;
    if (selected_ < 0) selected_ = 0;
    return ItemAt(selected_);
  }

  void Refill() override {
    if (!filled_) return;
    list_->clear();
    std::vector<Row> rows;
    ReadRows(&rows);
    for (const Row& r : rows) list_->addTopLevelItem(MakeItem(r));
    if (selected_ >= RowCount()) selected_ = RowCount() > 0 ? RowCount() - 1 : 0;
  }

  virtual EntryItem* MakeItem(const Row& r) = 0;

  void WatchSelection() {
    connect(list_, &QTreeWidget::itemSelectionChanged, this, [this] {
      QList<QTreeWidgetItem*> items = list_->selectedItems();
      if (!items.isEmpty()) selected_ = list_->indexOfTopLevelItem(items.first());
    });
  }

  // The item's icon, and its address and name cells.
  EntryItem* NewItem(const Row& r, const QIcon& icon, int nameColumn) {
    EntryItem* item = new EntryItem(this, r);
    char text[kAddressTextSize];
    AddressText(r.fields.address, r.fields.addressLength, text);
    item->setText(0, text);
    item->setText(nameColumn, From1252(r.fields.name));
    item->setText(destinationColumn_, "Text Color");
    item->setText(sourceColumn_, "Text Color");
    if (!icon.isNull()) item->setIcon(0, icon);
    return item;
  }

  // OK and Help to the right of the list, the toolbar above both.
  void LayOut(QToolBar* bar, bool okIsDefault) {
    QPushButton* ok = Button(this, ID_OK, "OK");
    ok->setDefault(okIsDefault);
    QPushButton* help = Button(this, ID_HELP, "Help");
    QVBoxLayout* buttons = new QVBoxLayout;
    for (QPushButton* b : {ok, help}) {
      int id = b->objectName().toInt();
      connect(b, &QPushButton::clicked, this, [this, id] { Command(id); });
      buttons->addWidget(b);
    }
    buttons->addStretch();
    QHBoxLayout* body = new QHBoxLayout;
    body->addWidget(list_);
    body->addLayout(buttons);
    QVBoxLayout* all = new QVBoxLayout(this);
    all->addWidget(bar);
    all->addLayout(body);
    all->setSizeConstraint(QLayout::SetFixedSize);
    list_->setFocus();
  }

  QTreeWidget* list_ = nullptr;
  int selected_ = 0;
  bool filled_ = false;

 private:
  const int destinationColumn_, sourceColumn_;
  const bool zeroIsWindowText_;
};

QVariant EntryItem::data(int column, int role) const {
  if (role == Qt::ForegroundRole && window_) {
    QVariant color = window_->CellColor(row_.ref, column);
    if (color.isValid()) return color;
  }
  return QTreeWidgetItem::data(column, role);
}

// ---------------------------------------------------------------- name table window

enum NameTableColumn { COL_ADDRESS, COL_NAME, COL_FLAGS, COL_CREATED, COL_ACCESSED, COL_COUNT, COL_DESTINATION, COL_SOURCE };

class NameTableWindow : public ListWindow {
 public:
  NameTableWindow(QWidget* parent, BYTE* changed) : ListWindow(parent, COL_DESTINATION, COL_SOURCE, true), changed_(changed) {
    *changed_ = FALSE;
    Build();
  }

  void Command(int id) override {
    switch (id) {
      case CMD_ADD: OpenEditor(nullptr); break;
      case CMD_EDIT:
        if (EntryItem* item = SelectedItem()) OpenEditor(item);
        break;
      case CMD_DELETE: Delete(); break;
      case CMD_LOCK:
      case CMD_UNLOCK: SetLock(id == CMD_LOCK); break;
      case ID_HELP: Help(kEditHelp); break;
      case IDOK_COMMAND:
      case ID_OK:
      case CMD_END: done(0); break;
      default: break;  // 6002 and the rest: nothing
    }
  }

 private:
  static constexpr Column kColumns[] = {
      {"MAC Address", 20},        {"Name", 16},         {"Flags", 6},        {"Time Created", 24},
      {"Time Last Accessed", 24}, {"Access Count", 12}, {"Destination", 12}, {"Source", 12},
  };

  void Build() {
    setWindowTitle("Quorvane Name Table");
    const char* failure = nullptr;
    icon_ = RowIcon(true, &failure);
    if (failure) {
      // The list stays without columns and rows; the window still opens.
      ShowSystemError(nullptr, failure, ENOMEM);
      list_ = new QTreeWidget(this);
      Name(list_, ID_LIST);
      list_->setFixedSize(DluX(this, 278), DluY(this, 97));
    } else {
      list_ = MakeList(this, kColumns, 8, 278, 97);
      filled_ = true;
      Refill();
    }
    WatchSelection();
    connect(list_, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item, int) {
      selected_ = list_->indexOfTopLevelItem(item);
      if (EntryItem* e = SelectedItem()) OpenEditor(e);
    });

    QToolBar* bar = MakeToolBar(this);
    std::vector<QIcon> images = CutImages(kToolBarBitmap, QColor(0, 255, 0), 5, hwnd());
    const int ids[5] = {CMD_ADD, CMD_DELETE, CMD_EDIT, CMD_LOCK, CMD_UNLOCK};
    const char* labels[5] = {"Add", "Delete", "Edit", "Lock", "Unlock"};
    bar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    for (int i = 0; i < 5; i++) {
      QAction* a = ToolButton(bar, ids[i], i < (int)images.size() ? images[(size_t)i] : QIcon(), labels[i],
                              [this](int id) { Command(id); });
      a->setToolTip(QString::fromLatin1(ToolTipText(ids[i])));
    }
    LayOut(bar, false);
    setFocusProxy(list_);
  }

  EntryItem* MakeItem(const Row& r) override {
    const NameEntry& e = r.fields;
    EntryItem* item = NewItem(r, icon_, COL_NAME);
    char text[kTimeTextSize];
    TimeText(e.created, text);
    item->setText(COL_CREATED, text);
    if (e.accessCount == 0) {
      item->setText(COL_ACCESSED, "Never");
    } else {
      TimeText(e.lastAccessed, text);
      item->setText(COL_ACCESSED, text);
    }
    item->setText(COL_COUNT, QString::number(e.accessCount));
    SetFlags(item);
    return item;
  }

  static void SetFlags(EntryItem* item) {
    char flags[kFlagsTextSize];
    FlagsText(item->row().fields, flags);
    item->setText(COL_FLAGS, flags);
  }

  int RowOfEntry(const NameEntry* e) const {
    for (int i = 0; i < RowCount(); i++)
      if (ItemAt(i)->row().ref.entry == e) return i;
    return -1;
  }

  void OpenEditor(EntryItem* editing) {
    Busy busy(this);
    Row copy{};
    if (editing) {
      copy = editing->row();
      Outcome o = ReadRow(&copy);
      if (o == GONE) Refill();
      if (o != DONE) return;
    }
    SetNamesChanged();
    *changed_ = TRUE;
    MappingEditor editor(this, editing ? &copy : nullptr);
    editor.exec();
    switch (editor.result()) {
      case MappingEditor::EDITED: {
        int row = RowOfEntry(editor.row().ref.entry);
        if (row < 0) return Refill();
        EntryItem* item = ItemAt(row);
        item->row() = editor.row();
        ClearRowState(list_, row);
        item->setText(COL_NAME, From1252(item->row().fields.name));
        SetFlags(item);
        list_->viewport()->update();
        break;
      }
      case MappingEditor::ADDED: {
        int at = selected_ < 0 ? 0 : selected_ > RowCount() ? RowCount() : selected_;
        ClearRowState(list_, at);
        list_->insertTopLevelItem(at, MakeItem(editor.row()));
        break;
      }
      case MappingEditor::VANISHED: Refill(); break;
      case MappingEditor::NOTHING: break;
    }
  }

  void Delete() {
    Busy busy(this);
    EntryItem* item = SelectedItem();
    if (!item) return;
    Outcome o = ReadRow(&item->row());
    if (o == GONE) Refill();
    if (o != DONE) return;
    std::string name = item->row().fields.name;
    char question[160];
    snprintf(question, sizeof question, "Do you really want to destroy the address mapping for %s?", name.c_str());
    if (Ask(question, kTitle, plat::MB_YESNO | plat::MB_ICONQUESTION) == plat::IDYES) {
      int row = selected_;
      delete list_->takeTopLevelItem(row);
      // The list would move the highlight to the next row, which is not the
      // row the commands now act on: no row shows selected.
      list_->clearSelection();
      list_->selectionModel()->clearCurrentIndex();
      selected_ = row > 0 ? row - 1 : 0;
      DeleteName(name.c_str());
    }
    SetNamesChanged();
    *changed_ = TRUE;
  }

  void SetLock(bool locked) {
    EntryItem* item = SelectedItem();
    if (!item) return;
    Outcome o = WriteLocked(&item->row(), locked ? 1 : 0);
    if (o == GONE) Refill();
    if (o != DONE) return;
    SetFlags(item);
    *changed_ = TRUE;
  }

  BYTE* changed_;
  QIcon icon_;
};

// ---------------------------------------------------------------- colour window

enum ColorColumn { CC_ADDRESS, CC_NAME, CC_DESTINATION, CC_SOURCE };

class HostColorsWindow : public ListWindow {
 public:
  explicit HostColorsWindow(QWidget* parent) : ListWindow(parent, CC_DESTINATION, CC_SOURCE, false) { Build(); }

  void Command(int id) override {
    switch (id) {
      case CMD_DESTINATION: Pick(DESTINATION_COLOR); break;
      case CMD_SOURCE: Pick(SOURCE_COLOR); break;
      case ID_HELP: Help(kColorHelp); break;
      case IDOK_COMMAND:
      case ID_OK: done(0); break;
      default: break;
    }
  }

 private:
  static constexpr Column kColumns[] = {{"MAC Address", 20}, {"Name", 16}, {"Destination", 12}, {"Source", 12}};

  void Build() {
    setWindowTitle("Host Display Color Coding");
    list_ = MakeList(this, kColumns, 4, 295, 77);
    const char* failure = nullptr;
    icon_ = RowIcon(false, &failure);
    filled_ = true;
    Refill();
    WatchSelection();
    connect(list_, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item, int column) {
      if (column != CC_DESTINATION && column != CC_SOURCE) return;
      selected_ = list_->indexOfTopLevelItem(item);
      Pick(column == CC_DESTINATION ? DESTINATION_COLOR : SOURCE_COLOR);
    });

    QToolBar* bar = MakeToolBar(this);
    bar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    std::vector<QIcon> images = CutImages(kColorsBitmap, QColor(255, 255, 255), 1, hwnd());
    QIcon image = images.empty() ? QIcon() : images[0];
    ToolButton(bar, CMD_DESTINATION, image, "Destination", [this](int id) { Command(id); });
    ToolButton(bar, CMD_SOURCE, image, "Source", [this](int id) { Command(id); });
    LayOut(bar, true);
  }

  EntryItem* MakeItem(const Row& r) override { return NewItem(r, icon_, CC_NAME); }

  void Pick(ColorRole role) {
    Busy busy(this);
    EntryItem* item = SelectedItem();
    if (!item) return;  // no row, nothing to colour
    COLORREF current = 0;
    Outcome o = ReadColor(item->row().ref, role, &current);
    if (o == GONE) Refill();
    if (o != DONE) return;
    EntryRef ref = item->row().ref;
    int row = selected_;
    COLORREF chosen = PickColor(current);
    if (chosen != current) {
      o = WriteColor(ref, role, chosen);
      if (o == GONE) Refill();
      if (o != DONE) return;
    }
    ClearRowState(list_, row);
    list_->viewport()->update();
  }

  QIcon icon_;
};

// Windows need the host's QApplication, on its thread.
bool WindowSystemRunning() {
  QCoreApplication* app = QCoreApplication::instance();
  return qobject_cast<QApplication*>(app) && QThread::currentThread() == app->thread();
}

}  // namespace

intptr_t RunNameTableWindow(HWND owner, BYTE* changed) {
  *changed = FALSE;
  if (!WindowSystemRunning()) return NoWindow(owner, "name table window", true);
  NameTableWindow window(WidgetOf(owner), changed);
  return window.exec();
}

intptr_t RunHostColorsWindow(HWND owner) {
  if (!WindowSystemRunning()) return NoWindow(owner, "host display color coding window", true);
  HostColorsWindow window(WidgetOf(owner));
  return window.exec();
}

}  // namespace pallisand
