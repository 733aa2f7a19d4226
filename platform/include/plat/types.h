// Basic fixed-width types and the calling convention shared by the host,
// the plug-ins and the tray client's settings store.
#pragma once

#include <stddef.h>
#include <stdint.h>

typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t COLORREF;

// Window and file handles of the platform layer (see window.h, fileio.h).
typedef struct PlatWindow* HWND;
typedef int FileHandle;

// Every exported entry and every function reached through the monitor table,
// a protocol descriptor or a child table: callee pops its arguments on i386.
#if defined(__i386__)
#define QV_CALL __attribute__((stdcall))
#else
#define QV_CALL
#endif

#define QV_EXPORT extern "C" __attribute__((visibility("default")))

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// Platform entry points are exported from the shared platform library.
#define PLAT_API __attribute__((visibility("default")))
