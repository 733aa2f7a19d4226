// Errors, heap, message boxes, window messages and string tables.
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <atomic>
#include <mutex>

#include "plat/platform.h"

namespace plat {

// ---------------------------------------------------------------- errors

namespace {
thread_local DWORD t_lastError = 0;

// strerror_r is the GNU variant (returns the text) or the XSI one (fills the
// buffer); both overloads below accept whichever the C library declares.
[[maybe_unused]] const char* ErrorText(char* result, char*) { return result; }
[[maybe_unused]] const char* ErrorText(int result, char* buffer) { return result == 0 ? buffer : nullptr; }
}  // namespace

DWORD GetLastError() { return t_lastError; }
void SetLastError(DWORD code) { t_lastError = code; }

void FormatSystemError(DWORD code, char* text, size_t size) {
  if (!text || size == 0) return;
  char buffer[256] = {};
  const char* message = ErrorText(strerror_r((int)code, buffer, sizeof buffer), buffer);
  if (!message || !*message) {
    snprintf(text, size, "Unknown error %u", (unsigned)code);
    return;
  }
  snprintf(text, size, "%s", message);
  size_t n = strlen(text);
  while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r')) text[--n] = '\0';
}

// ---------------------------------------------------------------- heap

namespace {
std::atomic<unsigned long> g_allocCalls{0};   // every call, failed ones too
std::atomic<unsigned long> g_allocCount{0};   // successful allocations
std::atomic<unsigned long> g_failAt{0};       // call number that fails, 0 = none
std::atomic<bool> g_failRepeat{false};
}  // namespace

void* LocalAlloc(size_t size) {
  unsigned long call = g_allocCalls.fetch_add(1) + 1;
  unsigned long failAt = g_failAt.load();
  if (failAt != 0 && (call == failAt || (call > failAt && g_failRepeat.load()))) {
    SetLastError(ENOMEM);
    return nullptr;
  }
  void* block = calloc(size ? size : 1, 1);
  if (!block) {
    SetLastError(ENOMEM);
    return nullptr;
  }
  g_allocCount.fetch_add(1);
  return block;
}

void LocalFree(void* block) { free(block); }

void SetAllocFailure(unsigned nth, bool repeat) {
  g_failAt.store(0);
  g_failRepeat.store(repeat);
  if (nth != 0) g_failAt.store(g_allocCalls.load() + nth);
}

unsigned long LocalAllocCount() { return g_allocCount.load(); }

// ---------------------------------------------------------------- messages

namespace {
int DefaultSink(HWND, const char* text, const char* title, DWORD style, void*) {
  fprintf(stderr, "%s: %s\n", title ? title : "", text ? text : "");
  fflush(stderr);
  return (style & MB_TYPEMASK) == MB_YESNO ? IDNO : IDOK;
}

std::mutex g_sinkMutex;
MessageSink g_sink = DefaultSink;
void* g_sinkContext = nullptr;
}  // namespace

int MessageBox(HWND owner, const char* text, const char* title, DWORD style) {
  MessageSink sink;
  void* context;
  {
    std::lock_guard<std::mutex> lock(g_sinkMutex);
    sink = g_sink;
    context = g_sinkContext;
  }
  return sink(owner, text, title, style, context);
}

void SetMessageSink(MessageSink sink, void* context) {
  std::lock_guard<std::mutex> lock(g_sinkMutex);
  g_sink = sink ? sink : DefaultSink;
  g_sinkContext = sink ? context : nullptr;
}

// ---------------------------------------------------------------- windows

intptr_t SendMessage(HWND window, DWORD message, uintptr_t wParam, intptr_t lParam) {
  if (!window || !window->handler) return 0;
  return window->handler(window, message, wParam, lParam);
}

// ---------------------------------------------------------------- strings

int LoadString(const StringRow* table, size_t rows, unsigned id, char* buffer, int size) {
  if (!buffer || size <= 0) return 0;
  buffer[0] = '\0';
  if (!table) return 0;
  for (size_t i = 0; i < rows; i++) {
    if (table[i].id != id) continue;
    const char* text = table[i].text ? table[i].text : "";
    size_t n = strnlen(text, (size_t)size - 1);
    memcpy(buffer, text, n);
    buffer[n] = '\0';
    return (int)n;
  }
  return 0;
}

}  // namespace plat
