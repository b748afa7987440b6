/*
 * platform.h - the one header through which product code reaches the
 * operating system.
 *
 * On Windows it is <windows.h> itself (plus the common controls). Elsewhere
 * it is our stand-in of the Win32 subset the plug-in uses (standin/win32.h),
 * so that the same sources build natively for tests, sanitizers and fuzzers.
 */
#ifndef MOVRELA_PLATFORM_H
#define MOVRELA_PLATFORM_H

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#else
#include "standin/win32.h"
/* Natively every symbol of a shared object is visible: exports need no mark. */
#define __declspec(attribute)
#endif

#endif /* MOVRELA_PLATFORM_H */
