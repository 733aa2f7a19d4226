// The scripted answers of the host's colour chooser and message boxes, the
// wait for the next window to open, and the clicks, keys and reads by which
// the tests drive the name table windows.
#include "window_fixture.h"

#include <algorithm>

#include <QDir>
#include <QHeaderView>

namespace names_test {

namespace {

WindowsTest* g_test = nullptr;

QWidget* WidgetOf(HWND window) {
  return reinterpret_cast<QWidget*>(plat::SendMessage(window, plat::WM_GETWIDGET, 0, 0));
}

// Ends every window that is still open, innermost first.
void EndOpenWindows() {
  while (QWidget* w = QApplication::activeModalWidget()) {
    QDialog* d = qobject_cast<QDialog*>(w);
    if (!d) break;
    d->done(-99);
  }
}

}  // namespace

std::string ShotPath(const char* name) {
  QDir().mkpath(PALLISAND_SHOT_DIR);
  return std::string(PALLISAND_SHOT_DIR) + "/" + name;
}

std::string TitleOf(HWND window) {
  QWidget* w = WidgetOf(window);
  return w ? w->windowTitle().toStdString() : "";
}

HWND Handle(QWidget* w) { return w ? reinterpret_cast<HWND>(w->property("hwnd").value<quintptr>()) : nullptr; }

WindowsTest::WindowsTest() {
  g_test = this;
  t->PickColor = PickColorScript;
  plat::SetMessageSink(BoxScript, this);
  h.host.hooks().showHelp = [this](const char* topic, HWND asking) {
    helps.push_back(Help{topic ? topic : "", TitleOf(asking)});
  };
}

WindowsTest::~WindowsTest() {
  EndOpenWindows();
  waiting_.clear();
  h.host.hooks().showHelp = nullptr;
  g_test = nullptr;
}

COLORREF QV_CALL WindowsTest::PickColorScript(HWND owner, COLORREF current) {
  WindowsTest* self = g_test;
  self->picks.push_back(Pick{TitleOf(owner), current});
  if (self->whilePicking) self->whilePicking();
  if (self->colors.empty()) return current;
  COLORREF c = self->colors.front();
  self->colors.pop_front();
  return c;
}

int WindowsTest::BoxScript(HWND owner, const char* text, const char* title, DWORD style, void* context) {
  WindowsTest* self = static_cast<WindowsTest*>(context);
  self->boxes.push_back(Box{TitleOf(owner), title ? title : "", text ? text : "", style});
  if ((style & plat::MB_TYPEMASK) != plat::MB_YESNO) return plat::IDOK;
  if (self->answers.empty()) return plat::IDNO;
  int answer = self->answers.front();
  self->answers.pop_front();
  return answer;
}

void WindowsTest::OnNextWindow(std::function<void(QDialog*)> step) {
  QWidget* before = QApplication::activeModalWidget();
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  waiting_.push_back(std::make_unique<QTimer>());
  QTimer* timer = waiting_.back().get();
  timer->setInterval(1);
  QObject::connect(timer, &QTimer::timeout, timer, [timer, before, deadline, step] {
    QWidget* w = QApplication::activeModalWidget();
    QDialog* d = qobject_cast<QDialog*>(w);
    if (d && d != before && d->isVisible()) {
      timer->stop();
      step(d);
      if (d->isVisible()) {
        if (!::testing::Test::HasFailure()) ADD_FAILURE() << "the step left its window open";
        d->done(-99);
      }
    } else if (std::chrono::steady_clock::now() > deadline) {
      timer->stop();
      ADD_FAILURE() << "no window opened";
      EndOpenWindows();
    }
  });
  timer->start();
}

BYTE WindowsTest::ShowNameTable(std::function<void(QDialog*)> step) {
  OnNextWindow(std::move(step));
  return t->ShowNameTable(t->mainWindow, 0);
}

intptr_t WindowsTest::ViewNameTable(std::function<void(QDialog*)> step) {
  OnNextWindow(std::move(step));
  return t->ViewNameTable(t->mainWindow, 0);
}

intptr_t WindowsTest::ShowHostColors(std::function<void(QDialog*)> step) {
  OnNextWindow(std::move(step));
  return t->ShowHostColors(t->mainWindow, 0);
}

void WindowsTest::CheckEndings(std::function<intptr_t(std::function<void(QDialog*)>)> open,
                               const std::vector<std::string>& ending) {
  const struct {
    const char* how;
    std::function<void(QDialog*)> act;
  } ways[] = {
      {"OK button", [](QDialog* w) { Click(w, ID_OK); }},
      {"command 1", [](QDialog* w) { Command(w, IDOK_COMMAND); }},
      {"command 100", [](QDialog* w) { Command(w, ID_OK); }},
      {"command 5000", [](QDialog* w) { Command(w, CMD_END); }},
      {"WM_CLOSE", [](QDialog* w) { plat::SendMessage(Handle(w), WM_CLOSE, 0, 0); }},
      {"system close", [](QDialog* w) { plat::SendMessage(Handle(w), WM_SYSCOMMAND, SC_CLOSE, 0); }},
      {"title bar close", [](QDialog* w) { w->close(); }},
      {"Enter in the list", [](QDialog* w) { QTest::keyClick(List(w), Qt::Key_Return); }},
      {"Escape (command 2)", [](QDialog* w) { QTest::keyClick(List(w), Qt::Key_Escape); }},
      {"command 6002", [](QDialog* w) { Command(w, CMD_NONE); }},
      {"unknown command", [](QDialog* w) { Command(w, 4242); }},
  };
  for (const auto& way : ways) {
    bool ends = std::find(ending.begin(), ending.end(), way.how) != ending.end();
    intptr_t result = open([&](QDialog* w) {
      way.act(w);
      EXPECT_EQ(w->isVisible(), !ends) << way.how;
      if (w->isVisible()) Click(w, ID_OK);
    });
    EXPECT_EQ(result, 0) << way.how;
  }
}

void WindowsTest::Click(QWidget* w, int id) {
  QPushButton* b = Control<QPushButton>(w, id);
  ASSERT_NE(b, nullptr) << "no button " << id;
  b->click();
}

void WindowsTest::Trigger(QWidget* w, int id) {
  QAction* a = w ? w->findChild<QAction*>(QString::number(id)) : nullptr;
  ASSERT_NE(a, nullptr) << "no toolbar button " << id;
  a->trigger();
}

void WindowsTest::Type(QWidget* w, int id, const QString& text) {
  QLineEdit* e = Control<QLineEdit>(w, id);
  ASSERT_NE(e, nullptr) << "no field " << id;
  e->selectAll();
  QTest::keyClick(e, Qt::Key_Delete);
  QTest::keyClicks(e, text);
}

void WindowsTest::Select(QWidget* w, int row) {
  QTreeWidget* list = List(w);
  ASSERT_NE(list, nullptr);
  ASSERT_LT(row, list->topLevelItemCount());
  QTreeWidgetItem* item = list->topLevelItem(row);
  QRect r = list->visualItemRect(item);
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(r.left() + 4, r.center().y()));
  ASSERT_TRUE(item->isSelected());
}

void WindowsTest::DoubleClick(QWidget* w, int row, int column) {
  QTreeWidget* list = List(w);
  ASSERT_NE(list, nullptr);
  ASSERT_LT(row, list->topLevelItemCount());
  QTreeWidgetItem* item = list->topLevelItem(row);
  list->scrollToItem(item);
  list->header()->setOffset(0);
  QRect r = list->visualItemRect(item);
  int x = list->header()->sectionViewportPosition(column) + 4;
  ASSERT_LT(x, list->viewport()->width()) << "column " << column << " is out of view";
  // As the window system sends a double click: press, release, double click, release.
  QPoint at(x, r.center().y());
  QTest::mousePress(list->viewport(), Qt::LeftButton, {}, at);
  QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, at);
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
  QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, at);
}

std::vector<std::string> WindowsTest::Rows(QWidget* w, int column) {
  std::vector<std::string> rows;
  QTreeWidget* list = List(w);
  for (int i = 0; list && i < list->topLevelItemCount(); i++)
    rows.push_back(list->topLevelItem(i)->text(column).toStdString());
  return rows;
}

std::string WindowsTest::Cell(QWidget* w, int row, int column) {
  QTreeWidget* list = List(w);
  QTreeWidgetItem* item = list ? list->topLevelItem(row) : nullptr;
  return item ? item->text(column).toStdString() : "<no row>";
}

QColor WindowsTest::CellColor(QWidget* w, int row, int column) {
  QTreeWidget* list = List(w);
  QTreeWidgetItem* item = list ? list->topLevelItem(row) : nullptr;
  if (!item) return QColor();
  QVariant v = item->data(column, Qt::ForegroundRole);
  return v.isValid() ? v.value<QBrush>().color() : QColor();
}

WindowsTest::CellFit WindowsTest::FitOfCell(QWidget* w, int row, int column) {
  QTreeWidget* list = List(w);
  QTreeWidgetItem* item = list ? list->topLevelItem(row) : nullptr;
  if (!item) return {1 << 20, false};
  list->header()->setOffset(0);
  const int left = list->header()->sectionViewportPosition(column);
  const int width = list->columnWidth(column);
  // The band inside the row: a focus frame would lie on its edges.
  const QRect r = list->visualItemRect(item);
  const int top = r.top() + 2, bottom = r.bottom() - 2;
  const QImage drawn = list->viewport()->grab().toImage();
  // The same cell with room to the viewport's edge draws its text whole.
  const int wide = list->viewport()->width() - left;
  list->setColumnWidth(column, wide);
  const QImage full = list->viewport()->grab().toImage();
  // The text's ink is what the cell loses without it; a row highlighted for
  // the pointer or the focus has no one background colour to look for.
  const QString text = item->text(column);
  item->setText(column, QString());
  const QImage blank = list->viewport()->grab().toImage();
  item->setText(column, text);
  list->setColumnWidth(column, width);
  int ink = left - 1;
  bool whole = true;
  for (int y = top; y <= bottom; y++)
    for (int x = left; x < left + wide; x++) {
      if (full.pixel(x, y) != blank.pixel(x, y)) ink = std::max(ink, x);
      if (x < left + width && drawn.pixel(x, y) != full.pixel(x, y)) whole = false;
    }
  return {ink + 1 - (left + width), whole};
}

}  // namespace names_test
