/*
 * segments.h - a JPEG stream split into its segments, for the structure-
 * aware mutators: each marker with what belongs to it (its length's bytes;
 * for SOS its entropy-coded data too, restarts included; for EOI whatever
 * follows). Bytes that no segment explains end the split as one opaque
 * piece (marker -1).
 */
#ifndef MOVRELA_FUZZ_SEGMENTS_H
#define MOVRELA_FUZZ_SEGMENTS_H

#include <cstddef>
#include <cstdint>
#include <vector>

struct Segment {
  size_t at, size; /* from the FF of its marker */
  int marker;      /* the code, or -1 */
};

inline bool StandsAlone(int c) { return c == 0x01 || (c >= 0xD0 && c <= 0xD8); }

inline std::vector<Segment> SplitSegments(const uint8_t *d, size_t n) {
  std::vector<Segment> out;
  if (n < 4 || d[0] != 0xFF || d[1] != 0xD8) return out;
  out.push_back({0, 2, 0xD8});
  size_t i = 2;
  while (i < n) {
    const size_t start = i;
    size_t j = i + 1;
    while (d[i] == 0xFF && j < n && d[j] == 0xFF) ++j;
    if (d[i] != 0xFF || j >= n || d[j] == 0) {
      out.push_back({start, n - start, -1});
      break;
    }
    const int c = d[j];
    i = j + 1;
    if (c == 0xD9) {
      out.push_back({start, n - start, c});
      break;
    }
    if (StandsAlone(c)) {
      out.push_back({start, i - start, c});
      continue;
    }
    const size_t length = i + 2 <= n ? static_cast<size_t>(d[i] << 8 | d[i + 1]) : 0;
    if (length < 2 || i + length > n) {
      out.push_back({start, n - start, -1});
      break;
    }
    size_t end = i + length;
    if (c == 0xDA) {
      while (end + 1 < n && !(d[end] == 0xFF && d[end + 1] != 0 && d[end + 1] != 0xFF &&
                              (d[end + 1] < 0xD0 || d[end + 1] > 0xD7)))
        ++end;
      if (end + 1 >= n) end = n;
    }
    out.push_back({start, end - start, c});
    i = end;
  }
  return out;
}

#endif /* MOVRELA_FUZZ_SEGMENTS_H */
