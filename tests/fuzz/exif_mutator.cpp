/*
 * exif_mutator.cpp - libFuzzer's custom mutator for the targets that read
 * the Exif segment of a JPEG stream. It makes structures, without knowing
 * any fault: in the first Exif APP1 it finds the directories (IFD0, the
 * next-IFD links, the Exif, GPS and interoperability pointers and the maker
 * note) and points a link or pointer at one of them, repeats a pointer
 * entry, copies a directory's entries into a new, larger one at the end of
 * the segment, or grows a count; the APP1 length follows the segment's
 * size. A third of the time, and whenever there is no Exif segment,
 * libFuzzer's own mutator runs instead.
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

bool IsPointerTag(uint32_t tag) {
  return tag == 0x8769 || tag == 0x8825 || tag == 0xA005 || tag == 0x927C;
}

/* The TIFF data of an Exif segment, read and written in its byte order. */
struct Tiff {
  Bytes *b;
  size_t at, size; /* of the TIFF header and what follows, in *b */
  bool motorola;
  bool has(uint64_t o, uint64_t n) const { return o + n <= size; }
  uint32_t get(uint64_t o, int n) const {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) v |= uint32_t{(*b)[at + o + (motorola ? n - 1 - i : i)]} << (8 * i);
    return v;
  }
  void put(uint64_t o, int n, uint32_t v) {
    for (int i = 0; i < n; ++i) (*b)[at + o + (motorola ? n - 1 - i : i)] = static_cast<uint8_t>(v >> (8 * i));
  }
};

/* What the walk from IFD0 found: directories, and the places of the values
 * that point at one (next-IFD links, pointer entries). */
struct Layout {
  std::vector<uint32_t> dirs, links, pointerEntries;
};

Layout Walk(const Tiff &t) {
  Layout l;
  std::vector<uint32_t> todo = {t.get(4, 4)};
  while (!todo.empty() && l.dirs.size() < 32) {
    const uint32_t d = todo.back();
    todo.pop_back();
    if (!t.has(d, 2) || std::find(l.dirs.begin(), l.dirs.end(), d) != l.dirs.end()) continue;
    l.dirs.push_back(d);
    const uint32_t count = t.get(d, 2);
    uint32_t i = 0;
    for (; i < count && t.has(d + 2 + 12 * uint64_t{i}, 12); ++i) {
      const uint32_t e = d + 2 + 12 * i;
      if (!IsPointerTag(t.get(e, 2))) continue;
      l.pointerEntries.push_back(e);
      l.links.push_back(e + 8);
      todo.push_back(t.get(e + 8, 4));
    }
    const uint32_t link = d + 2 + 12 * i;
    if (i == count && t.has(link, 4)) {
      l.links.push_back(link);
      if (t.get(link, 4) != 0) todo.push_back(t.get(link, 4));
    }
  }
  return l;
}

bool PointLink(Tiff &t, const Layout &l, Random &r) {
  if (l.links.empty() || l.dirs.empty()) return false;
  t.put(l.links[Pick(r, l.links.size())], 4, l.dirs[Pick(r, l.dirs.size())]);
  return true;
}

/* A pointer entry copied over another entry of a directory. */
bool RepeatPointer(Tiff &t, const Layout &l, Random &r) {
  if (l.pointerEntries.empty()) return false;
  const uint32_t from = l.pointerEntries[Pick(r, l.pointerEntries.size())];
  const uint32_t d = l.dirs[Pick(r, l.dirs.size())];
  const uint32_t count = t.get(d, 2);
  const uint32_t to = d + 2 + 12 * static_cast<uint32_t>(Pick(r, count));
  if (count == 0 || !t.has(to, 12) || to == from) return false;
  for (int i = 0; i < 12; ++i) (*t.b)[t.at + to + i] = (*t.b)[t.at + from + i];
  return true;
}

/* A new directory at the segment's end: a directory's entries, repeated
 * up to 16 times, and its next link; a link then points at it. */
bool CopyDirectory(Tiff &t, const Layout &l, Random &r, size_t maxSize) {
  if (l.dirs.empty() || l.links.empty()) return false;
  const uint32_t d = l.dirs[Pick(r, l.dirs.size())];
  uint32_t count = t.get(d, 2);
  if (count == 0 || !t.has(d + 2, 12 * uint64_t{count} + 4)) return false;
  const uint32_t times = 1 + static_cast<uint32_t>(Pick(r, 16));
  const uint32_t at = static_cast<uint32_t>(t.size + (t.size & 1));
  const size_t grow = at - t.size + 2 + 12 * size_t{count} * times + 4;
  if (t.size + grow + 8 > 0xFFFF || t.b->size() + grow > maxSize) return false;
  Bytes dir(grow, 0);
  const size_t pad = at - t.size;
  const uint8_t *entries = t.b->data() + t.at + d + 2;
  for (uint32_t k = 0; k < times; ++k) std::memcpy(&dir[pad + 2 + 12 * size_t{count} * k], entries, 12 * size_t{count});
  std::memcpy(&dir[pad + 2 + 12 * size_t{count} * times], entries + 12 * size_t{count}, 4);
  t.b->insert(t.b->begin() + t.at + t.size, dir.begin(), dir.end());
  t.size += grow;
  t.put(at, 2, std::min<uint32_t>(0xFFFF, count * times));
  t.put(l.links[Pick(r, l.links.size())], 4, at);
  return true;
}

/* A directory's entry count, or an entry's value count, made larger. */
bool GrowCount(Tiff &t, const Layout &l, Random &r) {
  if (l.dirs.empty()) return false;
  const uint32_t d = l.dirs[Pick(r, l.dirs.size())];
  const uint32_t count = t.get(d, 2), factor = 2 + static_cast<uint32_t>(Pick(r, 15));
  if (r() % 2 || count == 0) {
    t.put(d, 2, r() % 4 ? std::min<uint32_t>(0xFFFF, std::max<uint32_t>(count, 1) * factor) : 0xFFFF);
    return true;
  }
  const uint32_t e = d + 2 + 12 * static_cast<uint32_t>(Pick(r, count));
  if (!t.has(e, 12)) return false;
  const uint64_t grown = uint64_t{t.get(e + 4, 4)} * factor + 1;
  t.put(e + 4, 4, r() % 4 ? static_cast<uint32_t>(std::min<uint64_t>(grown, 0xFFFFFFFFu)) : 0xFFFFFFFFu);
  return true;
}

}  // namespace

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t *data, size_t size, size_t maxSize,
                                          unsigned int seed) {
  Random r(seed);
  Bytes b(data, data + size);
  Tiff t = {&b, 0, 0, false};
  for (const Segment &s : SplitSegments(data, size)) {
    if (s.marker == 0xE1 && s.size > 18 && std::memcmp(data + s.at + 4, "Exif\0\0", 6) == 0) {
      t.at = s.at + 10;
      t.size = s.size - 10;
      t.motorola = data[t.at] == 'M';
      break;
    }
  }
  if (t.size == 0 || r() % 3 == 0) return LLVMFuzzerMutate(data, size, maxSize);
  const Layout l = Walk(t);
  bool done = false;
  switch (Pick(r, 4)) {
    case 0: done = PointLink(t, l, r); break;
    case 1: done = RepeatPointer(t, l, r); break;
    case 2: done = CopyDirectory(t, l, r, maxSize); break;
    default: done = GrowCount(t, l, r); break;
  }
  if (!done || b.size() > maxSize) return LLVMFuzzerMutate(data, size, maxSize);
  const size_t length = t.size + 8; /* the length field, "Exif\0\0" and the TIFF data */
  b[t.at - 8] = static_cast<uint8_t>(length >> 8);
  b[t.at - 7] = static_cast<uint8_t>(length);
  std::memcpy(data, b.data(), b.size());
  return b.size();
}
