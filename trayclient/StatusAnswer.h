// The status answer and the server records it keeps up to date: parsing,
// pruning and the tray icon's index. Qt Core only, so that it runs without a
// window or an event loop.
#pragma once

#include <QHash>
#include <QString>
#include <QStringView>
#include <vector>

#include "VandrelConstants.h"

// One monitored server as the status server last reported it.
struct TConnectionStatus {
  QString name;      // as sent; compared exactly
  int current = 0;   // status of the latest answer
  int previous = 0;  // status of the answer before (= current when first seen)
  quint8 mark = 0;   // generation of the answer that last named it
};

namespace vandrel {

// A status text: a decimal integer, else kStatusUnreadable. Negative numbers
// are no status either and read as kStatusUnreadable, so that they cannot
// pass for the two special answers in the icon index.
int parseStatus(QStringView text);

// The kinds of change one answer showed, over every record it found.
struct StatusChanges {
  bool good = false;    // back to passed from retrying or failed
  bool medium = false;  // to retrying from passed or failed
  bool bad = false;     // to failed from passed or retrying
};

// The records of the servers the latest answers named.
class StatusBook {
 public:
  // Reads one answer's body (Latin-1, byte for byte) and returns the icon
  // index: a special answer's, else the top status + 1 (so wider than a
  // status). Records the answer no longer names are dropped after the
  // changes are taken.
  qint64 read(QStringView body, StatusChanges* changes);
  void update(const QString& name, int status);

  const std::vector<TConnectionStatus>& records() const { return m_records; }
  quint8 generation() const { return m_generation; }
  void clear();

 private:
  void reindex();

  std::vector<TConnectionStatus> m_records;
  // Record of each name; Qt seeds its string hash per process, so names
  // chosen to collide cannot be made in advance.
  QHash<QString, size_t> m_index;
  quint8 m_generation = 0;
};

// What the tray shows for an icon index: the status picture and the hint's
// text before the time.
struct IconLook {
  int image = 0;  // 0 to kStatusImageCount - 1
  QString hint;
};
IconLook iconLook(qint64 index);

}  // namespace vandrel
