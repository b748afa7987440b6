/*
 * progression.cpp - the per-coefficient record of a stream's scans and the
 * rule each new scan must keep (progression.h).
 */
#include "decoder/progression.h"

#include <cstring>

void startProgression(Progression *p) {
  std::memset(p->lastAl, kNotNamed, sizeof p->lastAl);
  std::memset(p->held, 0, sizeof p->held);
  p->scans = 0;
}

bool takeScan(Progression *p, bool progressive, const ScanBounds &scan) {
  const int ss = scan.ss, se = scan.se, ah = scan.ah, al = scan.al;
  if (++p->scans > kMaxScans) return false;
  if (progressive && (ss < 0 || ss > se || se > 63)) return false;
  for (int i = 0; i < scan.count; ++i) {
    const int c = scan.components[i];
    if (c < 0 || c >= kProgressionComponents) continue;
    if (!progressive) {
      if (p->held[c]) return false;
      p->held[c] = 1;
      continue;
    }
    for (int k = ss; k <= se; ++k) {
      uint8_t &last = p->lastAl[c][k];
      const bool fresh = ah == 0 && last == kNotNamed;
      const bool refined = last != kNotNamed && ah == last && al == ah - 1;
      if (!fresh && !refined) return false;
      last = static_cast<uint8_t>(al);
    }
  }
  return true;
}
