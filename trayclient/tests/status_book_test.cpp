// The status book on its own (Qt Core, no window): what each answer leaves
// in it and what the tray shows for it. Built wherever the fuzz target's
// replay is, the sanitizer build included.
#include <gtest/gtest.h>

#include <QString>
#include <vector>

#include "StatusAnswer.h"

using namespace vandrel;

namespace {

struct Held {
  QString name;
  int current, previous;
  bool operator==(const Held&) const = default;
};

void PrintTo(const Held& h, std::ostream* os) { *os << '"' << h.name.toStdString() << "\" " << h.current << '/' << h.previous; }

std::vector<Held> held(const StatusBook& book) {
  std::vector<Held> out;
  for (const TConnectionStatus& r : book.records()) out.push_back({r.name, r.current, r.previous});
  return out;
}

qint64 read(StatusBook& book, const char* body) {
  StatusChanges changes;
  return book.read(QString::fromLatin1(body), &changes);
}

// Both special answers keep the records and carry their marks along with the
// generation. A special answer that did not would leave, after an odd number
// of them, the old marks equal to the next list's generation, and that list
// would never drop the servers it no longer names.
TEST(StatusBook, ServersMissingAfterEitherSpecialAnswerAreDropped) {
  for (const char* special : {kNoItems, kNotMonitoring}) {
    for (int times : {1, 2, 3}) {
      SCOPED_TRACE(testing::Message() << QString(special).trimmed().toStdString() << " x" << times);
      StatusBook book;
      read(book, "a,0\r\nb,1\r\n");
      for (int i = 0; i < times; ++i) {
        EXPECT_EQ(read(book, special), special == kNoItems ? kIconNoServers : kIconDisabled);
        EXPECT_EQ(held(book), (std::vector<Held>{{"a", 0, 0}, {"b", 1, 1}}));
      }
      EXPECT_EQ(read(book, "a,2\r\n"), kIconFailed);
      EXPECT_EQ(held(book), (std::vector<Held>{{"a", 2, 0}}));
    }
  }
}

// The hint table holds the known indexes only (-2 to 4). A status of 4, index
// 5, is the first without a row of its own: looking its hint up in the table
// reads past its end.
TEST(StatusBook, StatusFourIsTheFirstWithoutAHintOfItsOwn) {
  StatusBook book;
  EXPECT_EQ(read(book, "a,3\r\n"), 4);
  EXPECT_EQ(read(book, "a,4\r\n"), 5);
  struct Case {
    qint64 index;
    int image;
    const char* hint;
  };
  const Case cases[] = {
      {-2, 0, "No servers currently monitored.\rLast attempt: "},
      {-1, 0, "Monitoring is currently disabled.\rLast attempt: "},
      {0, 0, "Could not contact the server.\rLast attempt: "},
      {1, 1, "All servers OK.\rLast checked: "},
      {2, 2, "A test has failed, but the maximum number of retries has not been exceeded.\rLast checked: "},
      {3, 3, "A test has failed.\rLast checked: "},
      {4, 4, "The monitoring service has been stopped on the remote server.\rLast attempt: "},
      {5, 0, "A server reports status 4, which this client does not know.\rLast checked: "},
      {6, 0, "A server reports status 5, which this client does not know.\rLast checked: "},
  };
  for (const Case& c : cases) {
    const IconLook look = iconLook(c.index);
    EXPECT_EQ(look.image, c.image) << c.index;
    EXPECT_EQ(look.hint, QString::fromLatin1(c.hint)) << c.index;
  }
}

// Names are found through an index beside the list. A server dropped from
// the list and named again later is a new record at the end: were the index
// to keep the dropped name, its line would update whichever record took the
// dropped one's place.
TEST(StatusBook, ServerNamedAgainAfterItWasDroppedIsNew) {
  StatusBook book;
  read(book, "a,0\r\nx,1\r\nb,0\r\n");
  read(book, "a,0\r\nb,2\r\n");
  EXPECT_EQ(held(book), (std::vector<Held>{{"a", 0, 0}, {"b", 2, 0}}));
  read(book, "a,0\r\nx,0\r\nb,2\r\n");
  EXPECT_EQ(held(book), (std::vector<Held>{{"a", 0, 0}, {"b", 2, 2}, {"x", 0, 0}}));
}

// How lines become records: the name is the text before the first comma,
// the status the rest; a line without a comma is an unnamed server whose
// status is the whole line; only the exact special answers are special.
TEST(StatusBook, LinesBecomeRecords) {
  struct Case {
    const char* body;
    std::vector<Held> records;
  };
  const Case cases[] = {
      {"offline\r\n", {{"", -1, -1}}},
      {"2\r\n", {{"", 2, 2}}},
      {"a,1,2\r\nb c, 3\n", {{"a", -1, -1}, {"b c", 3, 3}}},
      {"no items\r\na,1\r\n", {{"", -1, -1}, {"a", 1, 1}}},
      {"not monitoring\r\n\r\n", {{"", -1, -1}}},
  };
  for (const Case& c : cases) {
    StatusBook book;
    read(book, c.body);
    EXPECT_EQ(held(book), c.records) << QString(c.body).toStdString();
  }
}

}  // namespace
