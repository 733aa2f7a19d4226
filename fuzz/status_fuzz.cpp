// Arbitrary status answers, one after another, through the tray client's
// status book (no window, no event loop). Input: the answers' bodies,
// separated by two NUL bytes. After each answer the book must hold exactly
// the servers that answer named (the special answers change nothing), each
// once, in the order they were first seen, with its last two statuses; the
// changes and the icon index must be those the records give. The model here
// keeps the records in a plain list and looks names up one by one.
#include <stdio.h>
#include <stdlib.h>

#include <QString>
#include <algorithm>
#include <string_view>
#include <vector>

#include "StatusAnswer.h"
#include "fuzz_support.h"

namespace {

using qvfuzz::Check;

using namespace vandrel;

struct Server {
  QString name;
  int current, previous;
  bool named;
};

struct Model {
  std::vector<Server> servers;

  qint64 Read(QStringView body, StatusChanges* changes) {
    *changes = StatusChanges();
    if (body == QLatin1String(kNoItems)) return kIconNoServers;
    if (body == QLatin1String(kNotMonitoring)) return kIconDisabled;
    for (Server& s : servers) s.named = false;
    qsizetype start = 0;
    while (start < body.size()) {
      qsizetype end = start;
      while (end < body.size() && body[end] != u'\n') end++;
      QStringView line = body.sliced(start, end - start);
      start = end + 1;
      if (!line.isEmpty() && line.back() == u'\r') line.chop(1);
      qsizetype comma = 0;
      while (comma < line.size() && line[comma] != u',') comma++;
      const bool hasComma = comma < line.size();
      const QString name = hasComma ? line.first(comma).toString() : QString();
      const int status = parseStatus(hasComma ? line.sliced(comma + 1) : line);
      auto found = std::find_if(servers.begin(), servers.end(), [&](const Server& s) { return s.name == name; });
      if (found == servers.end()) {
        servers.push_back({name, status, status, true});
      } else {
        found->previous = found->current;
        found->current = status;
        found->named = true;
      }
    }
    int top = kStatusUnreadable;
    for (const Server& s : servers) {
      changes->good |= s.current == kStatusPassed && (s.previous == kStatusRetrying || s.previous == kStatusFailed);
      changes->medium |= s.current == kStatusRetrying && (s.previous == kStatusPassed || s.previous == kStatusFailed);
      changes->bad |= s.current == kStatusFailed && (s.previous == kStatusPassed || s.previous == kStatusRetrying);
    }
    std::erase_if(servers, [](const Server& s) { return !s.named; });
    for (const Server& s : servers) top = std::max(top, s.current);
    return qint64(top) + 1;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  StatusBook book;
  Model model;
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  for (;;) {
    const size_t cut = rest.find(std::string_view("\0\0", 2));
    const std::string_view answer = rest.substr(0, cut);
    const QString body = QString::fromLatin1(answer.data(), qsizetype(answer.size()));
    const quint8 generation = book.generation();
    StatusChanges changes, expected;
    const qint64 index = book.read(body, &changes);
    Check(index == model.Read(body, &expected), "the icon index differs from the records");
    Check(changes.good == expected.good && changes.medium == expected.medium && changes.bad == expected.bad,
          "the changes differ from the records");
    Check(book.generation() != generation, "the generation did not turn");
    const std::vector<TConnectionStatus>& records = book.records();
    Check(records.size() == model.servers.size(), "the book holds other servers");
    for (size_t i = 0; i < records.size(); i++) {
      const Server& s = model.servers[i];
      Check(records[i].name == s.name && records[i].current == s.current && records[i].previous == s.previous,
            "a record differs");
      Check(index < 0 || records[i].mark == book.generation(), "a record kept an old mark");
    }
    const IconLook look = iconLook(index);
    Check(look.image >= 0 && look.image < kStatusImageCount && !look.hint.isEmpty(), "no picture for the index");
    if (cut == std::string_view::npos) break;
    rest = rest.substr(cut + 2);
  }
  // Names the last answer gave must still be found, not added again.
  const size_t held = book.records().size();
  for (const TConnectionStatus& r : std::vector<TConnectionStatus>(book.records())) book.update(r.name, r.current);
  Check(book.records().size() == held, "the index lost a name");
  return 0;
}
