/*
 * icc_mutator.cpp - libFuzzer's custom mutator for colour_fuzzer. It joins
 * the colour profile from a stream's APP2 "ICC_PROFILE" chunks and changes
 * its structure, without knowing any fault: a multiProcessElements list
 * made longer with entries that share its elements' offsets, a lookup
 * table's grid made finer, a curve made longer, one tag pointed at
 * another's data, or a tag added (a float table gets its integer twin, as
 * lcms2 only reads the float one when both are there). Changed tags are
 * written anew at the profile's end, so nothing else moves. The chunks are
 * written again where the first stood, with the profile's size following.
 * A third of the time, and whenever there is no profile, libFuzzer's own
 * mutator runs instead.
 */
#include <algorithm>
#include <cstring>
#include <random>

#include "colour_profiles.h"
#include "segments.h"

extern "C" size_t LLVMFuzzerMutate(uint8_t *data, size_t size, size_t maxSize);

namespace {

typedef std::vector<uint8_t> Bytes;
typedef std::minstd_rand Random;

constexpr size_t kTagTable = 128;        /* the tag count; entries follow */
constexpr size_t kChunkBytes = 65519;    /* profile bytes one APP2 holds */
constexpr uint32_t kLongestList = 4096; /* a list grown no further */

size_t Pick(Random &r, size_t n) { return n ? r() % n : 0; }

uint32_t Get(const Bytes &b, size_t at) {
  return at + 4 <= b.size() ? uint32_t{b[at]} << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3] : 0;
}
void Put(Bytes &b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}
uint32_t Sig(const char *s) {
  return uint32_t{uint8_t(s[0])} << 24 | uint8_t(s[1]) << 16 | uint8_t(s[2]) << 8 | uint8_t(s[3]);
}

/* A profile and its tag table (entries: signature, offset, size). */
struct Profile {
  Bytes b;
  uint32_t tags() const { return std::min<uint32_t>(Get(b, kTagTable), (b.size() - kTagTable - 4) / 12); }
  size_t entry(uint32_t i) const { return kTagTable + 4 + 12 * size_t{i}; }
  /* The tag's data, when it lies inside the profile and holds `least` bytes. */
  bool data(uint32_t i, size_t least, size_t *at, size_t *size) const {
    *at = Get(b, entry(i) + 4);
    *size = Get(b, entry(i) + 8);
    return *size >= least && *at + uint64_t{*size} <= b.size();
  }
  uint32_t type(uint32_t i) const {
    size_t at, size;
    return data(i, 4, &at, &size) ? Get(b, at) : 0;
  }
  /* `body` appended (4-byte aligned) as tag i's data. */
  void repoint(uint32_t i, const Bytes &body) {
    b.resize((b.size() + 3) & ~size_t{3});
    Put(b, entry(i) + 4, static_cast<uint32_t>(b.size()));
    Put(b, entry(i) + 8, static_cast<uint32_t>(body.size()));
    b.insert(b.end(), body.begin(), body.end());
  }
  /* A tag of type `type` picked at random; false when there is none. */
  bool pick(Random &r, uint32_t type, uint32_t *i) const {
    std::vector<uint32_t> found;
    for (uint32_t k = 0; k < tags(); ++k)
      if (this->type(k) == type) found.push_back(k);
    if (found.empty()) return false;
    *i = found[Pick(r, found.size())];
    return true;
  }
};

/* A multiProcessElements list with more entries, the new ones naming
 * elements already there. */
bool GrowElements(Profile &p, Random &r) {
  uint32_t i;
  size_t at, size;
  if (!p.pick(r, Sig("mpet"), &i) || !p.data(i, 16, &at, &size)) return false;
  const uint32_t count = Get(p.b, at + 12);
  if (count == 0 || 16 + 8 * uint64_t{count} > size || count >= kLongestList) return false;
  const uint32_t grown = std::min<uint32_t>(
      kLongestList, r() % 2 ? count * (2 + static_cast<uint32_t>(Pick(r, 15))) : count + 1 + Pick(r, 64));
  const uint32_t shift = 8 * (grown - count);
  Bytes body(p.b.begin() + at, p.b.begin() + at + 16);
  Put(body, 12, grown);
  for (uint32_t k = 0; k < grown; ++k) {
    const size_t from = at + 16 + 8 * size_t{k < count ? k : Pick(r, count)};
    body.resize(body.size() + 8);
    Put(body, body.size() - 8, Get(p.b, from) + shift);
    Put(body, body.size() - 4, Get(p.b, from + 4));
  }
  body.insert(body.end(), p.b.begin() + at + 16 + 8 * size_t{count}, p.b.begin() + at + size);
  p.repoint(i, body);
  return true;
}

/* A lookup table with more grid points a channel: in place, so that its
 * data no longer holds what the grid asks. */
bool GrowGrid(Profile &p, Random &r) {
  uint32_t i;
  size_t at, size;
  const uint32_t types[] = {Sig("mAB "), Sig("mBA "), Sig("mft2"), Sig("mft1")};
  const uint32_t type = types[Pick(r, 4)];
  if (!p.pick(r, type, &i) || !p.data(i, 32, &at, &size)) return false;
  size_t grid = at + 10; /* lut16 and lut8: one count for all channels */
  if (type == Sig("mAB ") || type == Sig("mBA ")) {
    grid = at + Get(p.b, at + 24); /* the table's offset; 16 counts lead it */
    if (grid == at || grid + 16 > at + size) return false;
    grid += Pick(r, std::max<uint8_t>(1, p.b[at + 8]));
  }
  p.b[grid] = static_cast<uint8_t>(std::min<unsigned>(255, p.b[grid] * (2 + Pick(r, 4)) + Pick(r, 8)));
  return true;
}

/* A sampled curve with more entries, the old ones repeated. */
bool GrowCurve(Profile &p, Random &r) {
  uint32_t i;
  size_t at, size;
  if (!p.pick(r, Sig("curv"), &i) || !p.data(i, 12, &at, &size)) return false;
  const uint32_t count = std::min<uint32_t>(Get(p.b, at + 8), (size - 12) / 2);
  const uint32_t grown = std::max<uint32_t>(2, count) * (2 + static_cast<uint32_t>(Pick(r, 31)));
  Bytes body(p.b.begin() + at, p.b.begin() + at + 12);
  Put(body, 8, grown);
  for (uint32_t k = 0; k < grown; ++k) {
    const size_t from = at + 12 + 2 * size_t{count ? k % count : 0};
    body.push_back(count ? p.b[from] : static_cast<uint8_t>(k));
    body.push_back(count ? p.b[from + 1] : 0);
  }
  p.repoint(i, body);
  return true;
}

/* One tag's entry pointed at another tag's data. */
bool ShareData(Profile &p, Random &r) {
  if (p.tags() < 2) return false;
  const uint32_t to = static_cast<uint32_t>(Pick(r, p.tags())), from = static_cast<uint32_t>(Pick(r, p.tags()));
  if (to == from) return false;
  std::copy(p.b.begin() + p.entry(from) + 4, p.b.begin() + p.entry(from) + 12, p.b.begin() + p.entry(to) + 4);
  return true;
}

/* A new entry at the table's end (the data behind the table moves 12
 * bytes on), with its own data or another tag's. */
bool AddTag(Profile &p, Random &r, uint32_t sig, bool fresh) {
  const uint32_t n = p.tags();
  const size_t end = p.entry(n);
  if (n >= 200 || end > p.b.size()) return false;
  for (uint32_t k = 0; k < n; ++k)
    if (Get(p.b, p.entry(k) + 4) >= end) Put(p.b, p.entry(k) + 4, Get(p.b, p.entry(k) + 4) + 12);
  p.b.insert(p.b.begin() + end, 12, 0);
  Put(p.b, kTagTable, n + 1);
  Put(p.b, end, sig);
  if (fresh) {
    p.repoint(n, colour::Elements(1)); /* one 3 x 3 matrix element */
  } else if (n > 0) {
    const uint32_t from = static_cast<uint32_t>(Pick(r, n));
    std::copy(p.b.begin() + p.entry(from) + 4, p.b.begin() + p.entry(from) + 12, p.b.begin() + end + 4);
  }
  return true;
}

bool Has(const Profile &p, uint32_t sig) {
  for (uint32_t k = 0; k < p.tags(); ++k)
    if (Get(p.b, p.entry(k)) == sig) return true;
  return false;
}

bool AddTags(Profile &p, Random &r) {
  const char *const sigs[] = {"D2B0", "D2B1", "B2D0", "A2B0", "B2A0", "rTRC", "kTRC", "wtpt", "rXYZ"};
  const char *sig = sigs[Pick(r, sizeof sigs / sizeof *sigs)];
  const bool isFloat = sig[1] == '2' && (sig[0] == 'D' || sig[2] == 'D');
  if (!AddTag(p, r, Sig(sig), isFloat && r() % 2)) return false;
  if (!isFloat) return true;
  /* The integer twin: A2Bn for D2Bn, B2An for B2Dn, sharing its data. */
  const uint32_t twin = Sig(sig[0] == 'D' ? "A2B0" : "B2A0") + (sig[3] - '0');
  if (Has(p, twin)) return true;
  if (!AddTag(p, r, twin, false)) return false;
  std::copy(p.b.begin() + p.entry(p.tags() - 2) + 4, p.b.begin() + p.entry(p.tags() - 2) + 12,
            p.b.begin() + p.entry(p.tags() - 1) + 4);
  return true;
}

}  // namespace

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t *data, size_t size, size_t maxSize,
                                          unsigned int seed) {
  Random r(seed);
  /* The chunks in their sequence order, and where the first stood. */
  std::vector<std::pair<int, Segment>> chunks;
  for (const Segment &s : SplitSegments(data, size))
    if (s.marker == 0xE2 && s.size > 18 && std::memcmp(data + s.at + 4, "ICC_PROFILE", 12) == 0)
      chunks.push_back({data[s.at + 16], s});
  if (chunks.empty() || r() % 3 == 0) return LLVMFuzzerMutate(data, size, maxSize);
  const size_t first = chunks.front().second.at;
  std::stable_sort(chunks.begin(), chunks.end(),
                   [](const std::pair<int, Segment> &a, const std::pair<int, Segment> &b) { return a.first < b.first; });
  Profile p;
  for (const auto &c : chunks) p.b.insert(p.b.end(), data + c.second.at + 18, data + c.second.at + c.second.size);
  if (p.b.size() < kTagTable + 4) return LLVMFuzzerMutate(data, size, maxSize);
  bool done = false;
  switch (Pick(r, 5)) {
    case 0: done = GrowElements(p, r); break;
    case 1: done = GrowGrid(p, r); break;
    case 2: done = GrowCurve(p, r); break;
    case 3: done = ShareData(p, r); break;
    default: done = AddTags(p, r); break;
  }
  if (!done) return LLVMFuzzerMutate(data, size, maxSize);
  Put(p.b, 0, static_cast<uint32_t>(p.b.size()));
  const size_t parts = (p.b.size() + kChunkBytes - 1) / kChunkBytes;
  if (parts > 255) return LLVMFuzzerMutate(data, size, maxSize);
  Bytes out(data, data + first);
  for (size_t k = 0; k < parts; ++k) {
    const size_t from = k * kChunkBytes, n = std::min(kChunkBytes, p.b.size() - from);
    const Bytes chunk = colour::Chunk(static_cast<uint8_t>(k + 1), static_cast<uint8_t>(parts), p.b.data() + from, n);
    out.insert(out.end(), chunk.begin(), chunk.end());
  }
  /* The rest of the stream without the old chunks. */
  size_t at = first;
  std::sort(chunks.begin(), chunks.end(),
            [](const std::pair<int, Segment> &a, const std::pair<int, Segment> &b) { return a.second.at < b.second.at; });
  for (const auto &c : chunks) {
    out.insert(out.end(), data + at, data + c.second.at);
    at = c.second.at + c.second.size;
  }
  out.insert(out.end(), data + at, data + size);
  if (out.size() > maxSize) return LLVMFuzzerMutate(data, size, maxSize);
  std::memcpy(data, out.data(), out.size());
  return out.size();
}
