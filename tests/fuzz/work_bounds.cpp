/*
 * work_bounds.cpp - the counters behind the product's work hooks and the
 * bounds of work_bounds.h.
 */
#include "work_bounds.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "base/jpeg.h"
#include "base/work_hooks.h"
#include "platform.h"

namespace {

constexpr uint64_t kEntrySize = 12;
/* IFD0 twice, 8 distinct Exif IFDs, 8 distinct maker notes: the reader's
 * own limit. Valid files cost 2 walks. */
constexpr uint64_t kWalksPerSegment = 2 + 8 + 8;
constexpr int kScansPerComponent = 2 * 64;
constexpr long long kBytesPerRequest = 256 << 10;

uint64_t g_entriesRead = 0;
uint64_t g_entryBudget = 0;
/* What one colour transform's context may hold: twice the profile bytes,
 * which the input bounds, and 4 MB. 0 outside an input's scope. */
size_t g_colourBound = 0;

/* Each level of walks per segment (in quarters) is a function, and so a
 * coverage edge, of its own: the fuzzer keeps an input that walks more than
 * any before it, and grows a repeated walk towards the bound instead of
 * waiting to stumble on it. */
template <size_t N>
void reached() {
  static volatile size_t level;
  level = N;
}
template <size_t... N>
constexpr std::array<void (*)(), sizeof...(N)> levels(std::index_sequence<N...>) {
  return {&reached<N>...};
}
constexpr auto kLevels = levels(std::make_index_sequence<4 * kWalksPerSegment + 1>());

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

extern "C" void WorkEntryRead(void) {
  if (++g_entriesRead > g_entryBudget) passed("Exif entries read", g_entriesRead, g_entryBudget);
}

extern "C" void WorkDecodeProgress(j_common_ptr cinfo) {
  if (!cinfo->is_decompressor) return;
  j_decompress_ptr d = reinterpret_cast<j_decompress_ptr>(cinfo);
  const int bound = kScansPerComponent * d->num_components;
  if (d->input_scan_number > bound) passed("scans of one decode", d->input_scan_number, bound);
}

WorkScope::WorkScope(const uint8_t *data, size_t size, int requests)
    : data_(data), size_(size), requests_(requests), allocatedBefore_(StandinAllocatedBytes()) {
  g_entriesRead = 0;
  g_entryBudget = 0;
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
