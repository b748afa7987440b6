/*
 * jpeg_mutator.cpp - libFuzzer's custom mutator for the targets that read
 * whole JPEG streams. It makes structures, without knowing any fault: it
 * splits the stream into segments (segments.h) and duplicates, moves or
 * re-parameterises scans with their data, sets a segment's length to 0, 1
 * or long enough to swallow the segments after it, inserts a marker of any
 * code (with or without a length) at a segment boundary or at a restart
 * inside entropy-coded data, switches the frame between sequential and
 * progressive, or shrinks it. A third of the time, and whenever the input
 * has no segments, libFuzzer's own mutator runs instead.
 */
#include <algorithm>
#include <cstring>
#include <random>

#include "segments.h"

extern "C" size_t LLVMFuzzerMutate(uint8_t *data, size_t size, size_t maxSize);

namespace {

typedef std::vector<uint8_t> Bytes;
typedef std::minstd_rand Random;

size_t Pick(Random &r, size_t n) { return n ? r() % n : 0; }

/* The segments of the given marker codes (any code when `low` > `high`). */
std::vector<Segment> Of(const std::vector<Segment> &all, int low, int high) {
  std::vector<Segment> some;
  for (const Segment &s : all)
    if (low > high ? s.marker >= 0 : s.marker >= low && s.marker <= high) some.push_back(s);
  return some;
}

/* A place between segments, or just before a restart marker inside a scan's
 * data when `restarts`. */
size_t Boundary(const Bytes &b, const std::vector<Segment> &all, Random &r, bool restarts) {
  std::vector<size_t> at;
  for (const Segment &s : all) {
    if (s.at > 0) at.push_back(s.at);
    if (!restarts || s.marker != 0xDA) continue;
    for (size_t i = s.at + 2; i + 1 < s.at + s.size; ++i)
      if (b[i] == 0xFF && b[i + 1] >= 0xD0 && b[i + 1] <= 0xD7) at.push_back(i);
  }
  return at.empty() ? 2 : at[Pick(r, at.size())];
}

uint8_t Interesting(Random &r, int most) {
  static const uint8_t kValues[] = {0, 1, 2, 5, 13, 63};
  const uint8_t v = r() % 2 ? kValues[Pick(r, sizeof kValues)] : static_cast<uint8_t>(Pick(r, 256));
  return static_cast<uint8_t>(std::min<int>(v, most));
}

bool DuplicateScan(Bytes &b, const std::vector<Segment> &all, Random &r, size_t maxSize) {
  const std::vector<Segment> scans = Of(all, 0xDA, 0xDA);
  if (scans.empty()) return false;
  const Segment s = scans[Pick(r, scans.size())];
  const Bytes scan(b.begin() + s.at, b.begin() + s.at + s.size);
  size_t times = 1 + (r() % 4 ? Pick(r, 4) : Pick(r, 64));
  times = std::min(times, (maxSize - std::min(maxSize, b.size())) / std::max<size_t>(scan.size(), 1));
  const size_t at = r() % 2 ? s.at + s.size : Boundary(b, all, r, false);
  for (size_t t = 0; t < times; ++t) b.insert(b.begin() + at, scan.begin(), scan.end());
  return times > 0;
}

bool MoveSegment(Bytes &b, const std::vector<Segment> &all, Random &r) {
  if (all.size() < 3) return false;
  const Segment s = all[1 + Pick(r, all.size() - 1)];
  const Bytes moved(b.begin() + s.at, b.begin() + s.at + s.size);
  b.erase(b.begin() + s.at, b.begin() + s.at + s.size);
  const size_t to = std::min(b.size(), Boundary(b, SplitSegments(b.data(), b.size()), r, false));
  b.insert(b.begin() + to, moved.begin(), moved.end());
  return true;
}

/* Ss, Se, Ah and Al of a scan, one or all of them. */
bool ReparameteriseScan(Bytes &b, const std::vector<Segment> &all, Random &r) {
  const std::vector<Segment> scans = Of(all, 0xDA, 0xDA);
  if (scans.empty()) return false;
  const Segment s = scans[Pick(r, scans.size())];
  const size_t tail = s.at + 5 + 2 * size_t{b[s.at + 4]};
  if (tail + 3 > s.at + s.size) return false;
  const int which = static_cast<int>(Pick(r, 5)); /* 4: all */
  if (which == 0 || which == 4) b[tail] = Interesting(r, 63);
  if (which == 1 || which == 4) b[tail + 1] = r() % 2 ? 63 : std::max(b[tail], Interesting(r, 63));
  if (which == 2 || which == 4) b[tail + 2] = static_cast<uint8_t>(Interesting(r, 15) << 4 | (b[tail + 2] & 15));
  if (which == 3 || which == 4) b[tail + 2] = static_cast<uint8_t>((b[tail + 2] & 0xF0) | Interesting(r, 15));
  return true;
}

/* A length of 0 or 1, or one that runs over the next few segments. */
bool SetLength(Bytes &b, const std::vector<Segment> &all, Random &r) {
  std::vector<size_t> withLength;
  for (size_t i = 0; i < all.size(); ++i)
    if (all[i].marker >= 0 && !StandsAlone(all[i].marker) && all[i].marker != 0xD9) withLength.push_back(i);
  if (withLength.empty()) return false;
  const size_t i = withLength[Pick(r, withLength.size())];
  size_t length = Pick(r, 2);
  if (r() % 2) {
    const size_t last = std::min(all.size() - 1, i + 1 + Pick(r, 4));
    length = std::min<size_t>(0xFFFF, all[last].at + all[last].size - all[i].at - 2);
  }
  const size_t field = all[i].at + 2;
  b[field] = static_cast<uint8_t>(length >> 8);
  b[field + 1] = static_cast<uint8_t>(length);
  return true;
}

/* A marker with no length, a length of 0 or 1, one that covers a short
 * body, or one that runs over the next few segments. */
bool InsertMarker(Bytes &b, const std::vector<Segment> &all, Random &r) {
  const uint8_t code = static_cast<uint8_t>(r() % 2 ? 1 + Pick(r, 0xBF) : 1 + Pick(r, 0xFE));
  const size_t at = Boundary(b, all, r, true);
  Bytes marker = {0xFF, code};
  const size_t kind = Pick(r, 5);
  size_t length = kind == 1 || kind == 2 ? kind - 1 : 2 + Pick(r, 8);
  if (kind == 4) {
    size_t end = at;
    for (size_t k = 0, more = 1 + Pick(r, 4); k < all.size() && more > 0; ++k)
      if (all[k].at >= at) end = all[k].at + all[k].size, --more;
    length = std::min<size_t>(0xFFFF, end - at + 2);
  }
  if (kind > 0) {
    marker.push_back(static_cast<uint8_t>(length >> 8));
    marker.push_back(static_cast<uint8_t>(length));
  }
  for (size_t i = 2; kind == 3 && i < length; ++i) marker.push_back(static_cast<uint8_t>(r()));
  b.insert(b.begin() + at, marker.begin(), marker.end());
  return true;
}

/* SOF0, SOF1 and SOF2 into one another, or a frame of at most 64 x 64. */
bool ChangeFrame(Bytes &b, const std::vector<Segment> &all, Random &r) {
  const std::vector<Segment> frames = Of(all, 0xC0, 0xC2);
  if (frames.empty()) return false;
  const Segment s = frames[Pick(r, frames.size())];
  if (r() % 2) {
    b[s.at + 1] = static_cast<uint8_t>(0xC0 + Pick(r, 3));
  } else if (s.size >= 9) {
    b[s.at + 5] = 0;
    b[s.at + 6] = static_cast<uint8_t>(1 + Pick(r, 64));
    b[s.at + 7] = 0;
    b[s.at + 8] = static_cast<uint8_t>(1 + Pick(r, 64));
  }
  return true;
}

}  // namespace

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t *data, size_t size, size_t maxSize,
                                          unsigned int seed) {
  Random r(seed);
  const std::vector<Segment> all = SplitSegments(data, size);
  if (all.size() < 2 || r() % 3 == 0) return LLVMFuzzerMutate(data, size, maxSize);
  Bytes b(data, data + size);
  bool done = false;
  switch (Pick(r, 6)) {
    case 0: done = DuplicateScan(b, all, r, maxSize); break;
    case 1: done = MoveSegment(b, all, r); break;
    case 2: done = ReparameteriseScan(b, all, r); break;
    case 3: done = SetLength(b, all, r); break;
    case 4: done = InsertMarker(b, all, r); break;
    default: done = ChangeFrame(b, all, r); break;
  }
  if (!done || b.size() > maxSize) return LLVMFuzzerMutate(data, size, maxSize);
  std::memcpy(data, b.data(), b.size());
  return b.size();
}
