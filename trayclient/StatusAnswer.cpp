// The status answer read into the server records: one "name,status" line per
// server (or one of the two answers that name none), the kinds of change it
// brings, the records of servers no longer named dropped, and what each icon
// index shows.
#include "StatusAnswer.h"

#include <algorithm>

namespace vandrel {

int parseStatus(QStringView text) {
  // Decimal only; leading blanks are allowed, nothing after the digits.
  qsizetype i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool ok = false;
  const int value = text.mid(i).toInt(&ok, 10);
  if (!ok || i == text.size() || text.back().isSpace()) return kStatusUnreadable;
  return value < 0 ? kStatusUnreadable : value;
}

qint64 StatusBook::read(QStringView body, StatusChanges* changes) {
  *changes = StatusChanges();
  m_generation ^= 1;
  const bool noItems = body == QLatin1String(kNoItems);
  if (noItems || body == QLatin1String(kNotMonitoring)) {
    // The records stay as they are, and so their marks move with the
    // generation: else, after an odd number of these answers, the records
    // of servers the next list no longer names would carry its generation
    // and never be dropped.
    for (TConnectionStatus& r : m_records) r.mark = m_generation;
    return noItems ? kIconNoServers : kIconDisabled;
  }

  // Lines end in LF or CR LF; the last may have no line break.
  for (QStringView rest(body); !rest.isEmpty();) {
    const qsizetype end = rest.indexOf(u'\n');
    QStringView line = end < 0 ? rest : rest.first(end);
    rest = end < 0 ? QStringView() : rest.sliced(end + 1);
    if (line.endsWith(u'\r')) line.chop(1);
    const qsizetype comma = line.indexOf(u',');
    update(comma < 0 ? QString() : line.first(comma).toString(),
           parseStatus(comma < 0 ? line : line.sliced(comma + 1)));
  }

  // Every record counts, also those this answer no longer names.
  for (const TConnectionStatus& r : m_records) {
    if (r.current == kStatusPassed && (r.previous == kStatusRetrying || r.previous == kStatusFailed))
      changes->good = true;
    if (r.current == kStatusRetrying && (r.previous == kStatusPassed || r.previous == kStatusFailed))
      changes->medium = true;
    if (r.current == kStatusFailed && (r.previous == kStatusPassed || r.previous == kStatusRetrying))
      changes->bad = true;
  }

  if (std::erase_if(m_records, [this](const TConnectionStatus& r) { return r.mark != m_generation; }) > 0) reindex();

  int top = kStatusUnreadable;
  for (const TConnectionStatus& r : m_records) top = std::max(top, r.current);
  return qint64(top) + 1;
}

void StatusBook::update(const QString& name, int status) {
  // Names are unique in the list, so the one found is the first.
  const auto found = m_index.constFind(name);
  if (found != m_index.constEnd()) {
    TConnectionStatus& r = m_records[*found];
    r.previous = r.current;
    r.current = status;
    r.mark = m_generation;
    return;
  }
  m_index.insert(name, m_records.size());
  m_records.push_back({name, status, status, m_generation});
}

void StatusBook::clear() {
  m_records.clear();
  m_index.clear();
}

void StatusBook::reindex() {
  m_index.clear();
  m_index.reserve(static_cast<qsizetype>(m_records.size()));
  for (size_t i = 0; i < m_records.size(); ++i) m_index.insert(m_records[i].name, i);
}

IconLook iconLook(qint64 index) {
  IconLook look;
  if (index >= kStatusImageCount) {
    // A status above the known ones: the server answered, with a status
    // that has no picture here, so the picture is that of no usable data.
    look.hint = QString(kHintUnknownStatus).arg(index - 1);
    look.image = 0;
  } else {
    const int known = index >= kHintFirstIndex ? static_cast<int>(index) : kIconNoContact;
    look.hint = QString::fromLatin1(kHintTexts[known - kHintFirstIndex]);
    look.image = known < 0 ? 0 : known;
  }
  return look;
}

}  // namespace vandrel
