/*
 * work_bounds.cpp - the counters behind the product's work hooks and the
 * bounds of work_bounds.h.
 */
#include "work_bounds.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "base/jpeg.h"
#include "base/work_hooks.h"
#include "colour/profile_limits.h"
#include "platform.h"

namespace {

constexpr uint64_t kEntrySize = 12;
/* IFD0 twice, 8 distinct Exif IFDs, 8 distinct maker notes: the reader's
 * own limit. Valid files cost 2 walks. */
constexpr uint64_t kWalksPerSegment = 2 + 8 + 8;
constexpr long long kBytesPerRequest = 256 << 10;
constexpr size_t kWasteLevels = 8; /* eighths of the wasted-work bound */
/* Stages of one transform's pipeline: the element lists of its two
 * profiles, at most kMostElements each, and what lcms2 puts around them
 * (curves, matrices, tables, the PCS conversions; real transforms have a
 * dozen at most). */
constexpr uint64_t kConversionStages = 16;
constexpr uint64_t kMostStages = 2 * kMostElements + kConversionStages;
constexpr size_t kStageLevels = 8; /* eighths of kMostStages */

uint64_t g_entriesRead = 0;
uint64_t g_entryBudget = 0;
/* What one colour transform's context may hold: twice the profile bytes,
 * which the input bounds, and 4 MB. 0 outside an input's scope. */
size_t g_colourBound = 0;

/* Each level of walks per segment (in quarters), and of wasted work (in
 * eighths of its bound), is a function, and so a coverage edge, of its own:
 * the fuzzer keeps an input that walks or wastes more than any before it,
 * and grows it towards the bound instead of waiting to stumble on it. */
template <int Kind, size_t N>
void reached() {
  static volatile size_t level;
  level = N;
}
template <int Kind, size_t... N>
constexpr std::array<void (*)(), sizeof...(N)> levels(std::index_sequence<N...>) {
  return {&reached<Kind, N>...};
}
constexpr auto kLevels = levels<0>(std::make_index_sequence<4 * kWalksPerSegment + 1>());
constexpr auto kWaste = levels<1>(std::make_index_sequence<kWasteLevels + 1>());
constexpr auto kStages = levels<2>(std::make_index_sequence<kStageLevels + 1>());

/* The points lcms2 resamples a pipeline of `channels` inputs at: its grid
 * of 33 a channel, 17 for four, 7 beyond. */
uint64_t gridPoints(uint32_t channels) {
  const uint64_t grid = channels > 4 ? 7 : channels == 4 ? 17 : 33;
  uint64_t points = 1;
  for (uint32_t i = 0; i < channels && i < 16; ++i) points *= grid;
  return points;
}

/* One decode's wasted work: block passes of scans that bring no coefficient
 * a bit it lacks (a first scan of a coefficient already sent, a refinement
 * of bits already there, a sequential component held before), against one
 * pass over every component's blocks. */
struct Waste {
  const void *decode; /* the decompression object and its source */
  const void *source;
  int lastScan;
  uint8_t lastAl[MAX_COMPONENTS][64]; /* 0xFF: not sent */
  bool held[MAX_COMPONENTS];
  uint64_t wasted, bound;
} g_waste;

void startWaste(j_decompress_ptr d) {
  std::memset(&g_waste, 0, sizeof g_waste);
  std::memset(g_waste.lastAl, 0xFF, sizeof g_waste.lastAl);
  g_waste.decode = d;
  g_waste.source = d->src;
  for (int c = 0; c < d->num_components && c < MAX_COMPONENTS; ++c)
    g_waste.bound += uint64_t{d->comp_info[c].width_in_blocks} * d->comp_info[c].height_in_blocks;
}

/* The block passes of the scan whose header was just read that bring
 * nothing new; the record takes what it brings. */
uint64_t wastedByScan(j_decompress_ptr d) {
  uint64_t wasted = 0;
  for (int i = 0; i < d->comps_in_scan && i < MAX_COMPS_IN_SCAN; ++i) {
    const jpeg_component_info *comp = d->cur_comp_info[i];
    const int c = comp->component_index;
    if (c < 0 || c >= MAX_COMPONENTS) continue;
    const uint64_t blocks = uint64_t{comp->width_in_blocks} * comp->height_in_blocks;
    if (!d->progressive_mode) {
      if (g_waste.held[c]) wasted += blocks;
      g_waste.held[c] = true;
      continue;
    }
    const int ss = d->Ss < 64 ? d->Ss : 63, se = d->Se < 64 ? d->Se : 63;
    int stale = 0, named = 0;
    for (int k = ss; k <= se; ++k, ++named) {
      uint8_t &last = g_waste.lastAl[c][k];
      const bool fresh = d->Ah == 0 ? last == 0xFF || d->Al < last : last != 0xFF && d->Al < last;
      if (fresh) last = static_cast<uint8_t>(d->Al);
      else ++stale;
    }
    if (named > 0) wasted += blocks * stale / named;
  }
  return wasted;
}

[[noreturn]] void passed(const char *what, unsigned long long count, unsigned long long bound) {
  std::fprintf(stderr, "work bound passed: %s %llu > %llu\n", what, count, bound);
  std::abort();
}

/* Bytes of the largest frame any SOF marker in the input declares, padded
 * to 32 pixels (the largest MCU) each way, with at least three components. */
long long largestFrame(const uint8_t *data, size_t size) {
  long long largest = 0;
  for (size_t i = 0; i + 9 < size; ++i) {
    if (data[i] != 0xFF || data[i + 1] < 0xC0 || data[i + 1] > 0xCF || data[i + 1] == 0xC4 ||
        data[i + 1] == 0xC8 || data[i + 1] == 0xCC)
      continue;
    long long height = (data[i + 5] << 8) | data[i + 6];
    long long width = (data[i + 7] << 8) | data[i + 8];
    long long components = data[i + 9] > 3 ? data[i + 9] : 3;
    long long bytes = (width + 32) * (height + 32) * components;
    if (bytes > largest) largest = bytes;
  }
  return largest;
}

}  // namespace

extern "C" void WorkSegmentOpened(uint32_t size) {
  g_entryBudget += kWalksPerSegment * (size / kEntrySize);
}

extern "C" void WorkColourBytes(size_t held) {
  if (g_colourBound != 0 && held > g_colourBound) passed("colour transform bytes", held, g_colourBound);
}

/* Each stage is evaluated at every grid point: the evaluations are bounded
 * by kMostStages of them, and how close a pipeline came is coverage. */
extern "C" void WorkColourPipeline(uint32_t stages, uint32_t inputChannels) {
  if (g_colourBound == 0) return;
  const uint64_t level = kStageLevels * stages / kMostStages;
  kStages[level < kStages.size() ? level : kStages.size() - 1]();
  const uint64_t points = gridPoints(inputChannels);
  if (stages > kMostStages) passed("colour stage evaluations", stages * points, kMostStages * points);
}

extern "C" void WorkEntryRead(void) {
  if (++g_entriesRead > g_entryBudget) passed("Exif entries read", g_entriesRead, g_entryBudget);
}

extern "C" void WorkDecodeProgress(j_common_ptr cinfo) {
  if (!cinfo->is_decompressor) return;
  j_decompress_ptr d = reinterpret_cast<j_decompress_ptr>(cinfo);
  /* Another decompression object, or a scan number that goes back, starts
   * another decode. */
  if (d != g_waste.decode || d->src != g_waste.source || d->input_scan_number < g_waste.lastScan)
    startWaste(d);
  else if (d->input_scan_number == g_waste.lastScan)
    return;
  g_waste.lastScan = d->input_scan_number;
  if (d->input_scan_number < 1 || d->comps_in_scan < 1) return;
  g_waste.wasted += wastedByScan(d);
  if (std::getenv("MOVRELA_PRINT_WASTE") && g_waste.wasted > 0)
    std::fprintf(stderr, "wasted block passes: %llu of %llu\n",
                 static_cast<unsigned long long>(g_waste.wasted),
                 static_cast<unsigned long long>(g_waste.bound));
  if (g_waste.bound > 0) {
    const uint64_t eighths = kWasteLevels * g_waste.wasted / g_waste.bound;
    kWaste[eighths < kWaste.size() ? eighths : kWaste.size() - 1]();
  }
  if (g_waste.wasted > g_waste.bound) passed("wasted block passes", g_waste.wasted, g_waste.bound);
}

WorkScope::WorkScope(const uint8_t *data, size_t size, int requests)
    : data_(data), size_(size), requests_(requests), allocatedBefore_(StandinAllocatedBytes()) {
  g_entriesRead = 0;
  g_entryBudget = 0;
  g_waste.decode = nullptr;
  g_colourBound = 2 * size + (size_t{4} << 20);
}

WorkScope::~WorkScope() {
  g_colourBound = 0;
  if (g_entryBudget != 0) {
    const uint64_t quarters = 4 * kWalksPerSegment * g_entriesRead / g_entryBudget;
    kLevels[quarters < kLevels.size() ? quarters : kLevels.size() - 1]();
  }
  const long long allocated = StandinAllocatedBytes() - allocatedBefore_;
  const long long bound =
      requests_ * (8 * static_cast<long long>(size_) + 8 * largestFrame(data_, size_) + kBytesPerRequest);
  if (allocated > bound) passed("bytes allocated", allocated, bound);
}
