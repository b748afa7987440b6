/*
 * strings.cpp - lstrlenA, lstrcmpiA, lstrcpynA.
 */
#include "internal.h"

#include <cstring>

int lstrlenA(LPCSTR s) { return s ? static_cast<int>(std::strlen(s)) : 0; }

/* Win32 compares by the user locale; ASCII folding (to lower case, so '_'
 * sorts before letters as in the locale order) is enough here. NULL sorts
 * before any string. Returns -1, 0 or 1. */
int lstrcmpiA(LPCSTR a, LPCSTR b) {
  if (!a || !b) return (a == b) ? 0 : (a ? 1 : -1);
  for (;; ++a, ++b) {
    unsigned char ca = static_cast<unsigned char>(standin::FoldCase(*a));
    unsigned char cb = static_cast<unsigned char>(standin::FoldCase(*b));
    if (ca != cb) return ca < cb ? -1 : 1;
    if (ca == 0) return 0;
  }
}

/* Copies at most max-1 characters and a terminating zero; returns dst (NULL
 * for a NULL argument, as Win32 does after catching the fault). */
LPSTR lstrcpynA(LPSTR dst, LPCSTR src, int max) {
  if (!dst || !src) return nullptr;
  if (max <= 0) return dst;
  int i = 0;
  for (; i < max - 1 && src[i]; ++i) dst[i] = src[i];
  dst[i] = '\0';
  return dst;
}
