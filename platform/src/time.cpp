// Local time and FILETIME: 100 ns ticks since 1601-01-01 of the calendar
// time as given (local time stays local; no conversion to UTC).
#include <time.h>

#include <atomic>

#include "plat/platform.h"

namespace plat {

namespace {
std::atomic<ClockSource> g_clock{nullptr};

bool IsLeap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeap(year) ? 29 : days[month - 1];
}

// Days from 1601-01-01 to year-month-day of the proleptic Gregorian calendar.
int64_t DaysSince1601(int year, int month, int day) {
  static const int daysBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  int64_t y = year - 1601;
  int64_t days = y * 365 + y / 4 - y / 100 + y / 400 + daysBefore[month - 1];
  if (month > 2 && IsLeap(year)) days++;
  return days + day - 1;
}

// The calendar fields of the last second this thread converted, and its
// ticks: every name the name table finds for a summary row stamps its entry
// with the time, and the conversion to local time costs a hundred times the
// clock reading. A change of time zone (tzset) shows from the next second on.
struct LocalSecond {
  bool valid;
  time_t seconds;
  bool convertible;   // by SystemTimeToFileTime
  SYSTEMTIME fields;  // wMilliseconds 0
  FILETIME ticks;     // of the fields
};
thread_local LocalSecond t_second;

// The second's entry, or null when the C library cannot convert it.
const LocalSecond* Second(time_t seconds) {
  LocalSecond& second = t_second;
  if (second.valid && second.seconds == seconds) return &second;
  struct tm local;
  if (!localtime_r(&seconds, &local)) return nullptr;
  SYSTEMTIME& f = second.fields;
  f.wYear = (WORD)(local.tm_year + 1900);
  f.wMonth = (WORD)(local.tm_mon + 1);
  f.wDayOfWeek = (WORD)local.tm_wday;
  f.wDay = (WORD)local.tm_mday;
  f.wHour = (WORD)local.tm_hour;
  f.wMinute = (WORD)local.tm_min;
  // A leap second (60) folds into 59 so that the result stays convertible.
  f.wSecond = (WORD)(local.tm_sec > 59 ? 59 : local.tm_sec);
  f.wMilliseconds = 0;
  second.convertible = SystemTimeToFileTime(&f, &second.ticks);
  second.seconds = seconds;
  second.valid = true;
  return &second;
}

// What a failed conversion gives: 1601-01-01, which converts to 0 ticks.
constexpr SYSTEMTIME kFirstDay = {1601, 1, 1, 1, 0, 0, 0, 0};
}  // namespace

void GetLocalTime(SYSTEMTIME* time) {
  if (!time) return;
  if (ClockSource source = g_clock.load()) {
    source(time);
    return;
  }
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  const LocalSecond* second = Second(now.tv_sec);
  if (!second) {
    *time = kFirstDay;
    return;
  }
  *time = second->fields;
  time->wMilliseconds = (WORD)(now.tv_nsec / 1000000);
}

bool GetLocalFileTime(FILETIME* fileTime) {
  if (!fileTime) return false;
  SYSTEMTIME t;
  if (g_clock.load()) {
    GetLocalTime(&t);
    if (SystemTimeToFileTime(&t, fileTime)) return true;
    *fileTime = FILETIME{0, 0};
    return false;
  }
  struct timespec now;
  clock_gettime(CLOCK_REALTIME_COARSE, &now);
  const LocalSecond* second = Second(now.tv_sec);
  if (!second) {
    *fileTime = FILETIME{0, 0};
    return true;
  }
  if (!second->convertible) {
    *fileTime = FILETIME{0, 0};
    return false;
  }
  const uint64_t base = ((uint64_t)second->ticks.dwHighDateTime << 32) | second->ticks.dwLowDateTime;
  const uint64_t ticks = base + (uint64_t)(now.tv_nsec / 1000000) * 10000;
  *fileTime = FILETIME{(DWORD)ticks, (DWORD)(ticks >> 32)};
  return true;
}

bool SystemTimeToFileTime(const SYSTEMTIME* time, FILETIME* fileTime) {
  if (!time || !fileTime) return false;
  const SYSTEMTIME& t = *time;
  if (t.wYear < 1601 || t.wYear > 30827 || t.wMonth < 1 || t.wMonth > 12 || t.wDay < 1 ||
      t.wDay > DaysInMonth(t.wYear, t.wMonth) || t.wHour > 23 || t.wMinute > 59 || t.wSecond > 59 ||
      t.wMilliseconds > 999)
    return false;
  int64_t seconds = DaysSince1601(t.wYear, t.wMonth, t.wDay) * 86400 + t.wHour * 3600 + t.wMinute * 60 + t.wSecond;
  uint64_t ticks = ((uint64_t)seconds * 1000 + t.wMilliseconds) * 10000;
  fileTime->dwLowDateTime = (DWORD)ticks;
  fileTime->dwHighDateTime = (DWORD)(ticks >> 32);
  return true;
}

bool FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* time) {
  if (!fileTime || !time) return false;
  uint64_t ticks = ((uint64_t)fileTime->dwHighDateTime << 32) | fileTime->dwLowDateTime;
  uint64_t ms = ticks / 10000;
  int64_t days = (int64_t)(ms / 86400000);
  unsigned rest = (unsigned)(ms % 86400000);
  // 400 Gregorian years are 146097 days, and 1601 starts such a cycle.
  int year = 1601 + (int)(days / 146097) * 400;
  days %= 146097;
  while (days >= (IsLeap(year) ? 366 : 365)) days -= IsLeap(year++) ? 366 : 365;
  if (year > 30827) return false;
  int month = 1;
  while (days >= DaysInMonth(year, month)) days -= DaysInMonth(year, month++);
  time->wYear = (WORD)year;
  time->wMonth = (WORD)month;
  time->wDay = (WORD)(days + 1);
  // 1601-01-01 was a Monday.
  time->wDayOfWeek = (WORD)((ticks / 10000 / 86400000 + 1) % 7);
  time->wHour = (WORD)(rest / 3600000);
  time->wMinute = (WORD)(rest / 60000 % 60);
  time->wSecond = (WORD)(rest / 1000 % 60);
  time->wMilliseconds = (WORD)(rest % 1000);
  return true;
}

void SetClockSource(ClockSource source) { g_clock.store(source); }

}  // namespace plat
