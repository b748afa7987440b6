/*
 * containers_suite.cpp - container detection over memory and over files at
 * host offsets 0 and 1000: kinds, how far the input moves, the header
 * block, the refusals; the SOI search; the plain JPEG handlers.
 */
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "camera_files.h"
#include "containers/detect.h"
#include "harness.h"

namespace {

typedef std::vector<uint8_t> Data;

enum Flags { kSearch = 1, kJ6i = 2, kPmp = 4, kAll = 7 };

PluginSettings SettingsWith(int flags, int ignoreAspect = 1) {
  PluginSettings s;
  std::memset(&s, 0, sizeof s);
  s.SearchMarkerSupport = (flags & kSearch) != 0;
  s.J6ISupport = (flags & kJ6i) != 0;
  s.PMPSupport = (flags & kPmp) != 0;
  s.IgnorePixelAspectRatio = ignoreAspect;
  return s;
}

/* `size` bytes of foreign data with FF D8 FF E0 at `soi` (cut at the end;
 * none when soi < 0). */
Data WithSoi(size_t size, int soi) {
  Data d(size, 0x20);
  const uint8_t start[4] = {0xFF, 0xD8, 0xFF, 0xE0};
  for (int i = 0; soi >= 0 && i < 4 && soi + i < static_cast<int>(size); ++i) d[soi + i] = start[i];
  return d;
}

/* The camera header's fields over foreign data with FF D8 FF E0 at `soi`. */
Data J6i(uint32_t distance, size_t size, int soi) {
  Data d = WithSoi(size, soi);
  camera::J6iHeader h;
  h.distance = distance;
  camera::PutJ6iHeader(d, h);
  d[1] = 0x07; /* not examined */
  return d;
}

Data Pmp(bool secondSignature, uint32_t distance, size_t size, int soi) {
  Data d = WithSoi(size, soi);
  camera::PmpHeader h;
  h.longSignature = secondSignature;
  h.distance = distance;
  camera::PutPmpHeader(d, h);
  return d;
}

/* "8BPS", version 1, six reserved bytes (one set unless `reservedZero`). */
Data Photoshop(bool reservedZero, size_t size, int soi) {
  Data d = WithSoi(size, soi);
  const uint8_t head[12] = {'8', 'B', 'P', 'S', 0, 1, 0, 0, 0, static_cast<uint8_t>(reservedZero ? 0 : 1), 0, 0};
  std::memcpy(&d[0], head, 12);
  return d;
}

/* The block must hold the first min(size, 2048) bytes of `data`, then zeros. */
bool HeaderBlockHolds(const uint8_t *block, const Data &data) {
  for (size_t i = 0; i < static_cast<size_t>(kHeaderBlockSize); ++i)
    if (block[i] != (i < data.size() ? data[i] : 0)) return false;
  return true;
}

struct Outcome {
  int32_t kind;
  long long advance; /* how far the input moved */
  bool extentFollows; /* extent moved with the input */
  bool headerBlock;   /* block holds the input's first bytes */
};

/* detectContainer with the input as a source pointer (a block, or a file
 * handle) and an extent, both in-out. */
int32_t Detect(const PluginSettings *settings, uint8_t *block, void **source, int32_t *extent,
               uint32_t fileInput, RequestInput *out = nullptr) {
  RequestInput in = {fileInput, fileInput ? static_cast<HANDLE>(*source) : INVALID_HANDLE_VALUE, 0,
                     fileInput ? nullptr : static_cast<const uint8_t *>(*source), *extent};
  int32_t kind = detectContainer(settings, block, &in);
  if (!fileInput) *source = const_cast<uint8_t *>(in.data);
  *extent = in.extent;
  if (out) *out = in;
  return kind;
}

Outcome DetectInMemory(const PluginSettings &settings, const Data &data) {
  /* An exact-size copy: the sanitizers catch a read past the extent. */
  uint8_t *copy = new uint8_t[data.size() + (data.empty() ? 1 : 0)];
  if (!data.empty()) std::memcpy(copy, data.data(), data.size());
  void *source = copy;
  int32_t extent = static_cast<int32_t>(data.size());
  uint8_t block[kHeaderBlockSize];
  std::memset(block, 0xEE, sizeof block);
  Outcome o;
  o.kind = Detect(&settings, block, &source, &extent, 0);
  o.advance = static_cast<uint8_t *>(source) - copy;
  o.extentFollows = extent == static_cast<long long>(data.size()) - o.advance;
  o.headerBlock = HeaderBlockHolds(block, data);
  delete[] copy;
  return o;
}

/* `data` stored behind `hostOffset` bytes of FF D8 pairs, which detection
 * must never see. */
Outcome DetectInFile(const PluginSettings &settings, const Data &data, int32_t hostOffset) {
  Data contents(static_cast<size_t>(hostOffset), 0xFF);
  for (int32_t i = 1; i < hostOffset; i += 2) contents[i] = 0xD8;
  contents.insert(contents.end(), data.begin(), data.end());
  camera::TempFile file(contents);
  if (!file.ok) suite::Report(__FILE__, __LINE__, "cannot write " + file.path);
  Outcome o = {-2, -1, false, false};
  HANDLE h = CreateFileA(file.path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    suite::Report(__FILE__, __LINE__, "cannot open " + file.path);
    return o;
  }
  SetFilePointer(h, hostOffset, nullptr, FILE_BEGIN);
  void *source = h;
  int32_t extent = hostOffset;
  uint8_t block[kHeaderBlockSize];
  std::memset(block, 0xEE, sizeof block);
  RequestInput in;
  o.kind = Detect(&settings, block, &source, &extent, 1, &in);
  /* The stream starts at the first primed byte, which came from there. */
  long long position = SetFilePointer(h, 0, nullptr, FILE_CURRENT) - (in.primed ? in.primedBytes : 0);
  o.advance = position - hostOffset;
  o.extentFollows = source == h && extent == position;
  o.headerBlock = HeaderBlockHolds(block, data) &&
                  (!in.primed || (in.primed == block + o.advance && in.primedBytes >= 0 &&
                                  o.advance + in.primedBytes == std::min<long long>(data.size(), kHeaderBlockSize)));
  CloseHandle(h);
  return o;
}

/* Every row of the table is complete: a kind without a handler, patterns
 * or a name would fail only when a file of it arrives. Containers are
 * recognised and switched on by their own setting. */
SUITE_CASE(every_kind_has_its_handlers_patterns_and_name) {
  for (int kind = 0; kind < kContainerKinds; ++kind) {
    const ContainerHandler &row = ContainerHandlers[kind];
    CHECK(row.infoHandler != nullptr && row.postProcessor != nullptr);
    CHECK(row.patterns != nullptr && row.patterns[0] == '*');
    CHECK(row.name != nullptr && row.name[0] != 0);
    if (kind != ContainerPlainJpeg) CHECK(row.locateStream != nullptr && row.enabledBy != nullptr);
  }
}

SUITE_CASE(detection_finds_kind_and_moves_memory_and_file_input) {
  struct DetectCase {
    const char *label;
    Data data;
    int flags;
    int32_t kind;
    long long advance;
  } cases[] = {
      {"JPEG at 0", WithSoi(600, 0), kAll, 0, 0},
      {"JPEG at 0, no search", WithSoi(600, 0), kJ6i | kPmp, 0, 0},
      {"JPEG at 300 behind a foreign header", WithSoi(900, 300), kAll, 0, 300},
      {"same, no search: handed on unchanged", WithSoi(900, 300), kJ6i | kPmp, 0, 0},
      {"SOI at 990 of 1000", WithSoi(1000, 990), kAll, 0, 990},
      {"SOI as the last two bytes", WithSoi(992, 990), kAll, 0, 990},
      {"0xFF alone as the last byte", WithSoi(991, 990), kAll, -1, 0},
      {"00 FF FF D8", Data{0x00, 0xFF, 0xFF, 0xD8, 0xFF, 0xE0}, kAll, 0, 2},
      {"SOI ending the header block", WithSoi(3000, 2046), kAll, 0, 2046},
      {"SOI across the header block's end", WithSoi(3000, 2047), kAll, -1, 0},
      {"no SOI", WithSoi(700, -1), kAll, -1, 0},
      {"no SOI, no search", WithSoi(700, -1), kJ6i | kPmp, 0, 0},
      {"empty input", Data(), kAll, -1, 0},
      {"empty input, no search", Data(), kJ6i | kPmp, 0, 0},
      {"J6I distance 128", J6i(128, 700, 128), kAll, 1, 128},
      {"J6I, no search", J6i(128, 700, 128), kJ6i, 1, 128},
      {"J6I support off: plain at 128", J6i(128, 700, 128), kSearch | kPmp, 0, 128},
      {"J6I distance 0, stream at 44", J6i(0, 700, 44), kAll, -1, 44},
      {"same, J6I support off", J6i(0, 700, 44), kSearch | kPmp, 0, 44},
      {"same, no search", J6i(0, 700, 44), kJ6i | kPmp, 0, 0},
      {"J6I distance at the end", J6i(700, 700, 128), kAll, -1, 0},
      {"J6I distance at the last byte", J6i(699, 700, 128), kAll, 1, 699},
      {"J6I distance beyond the header block", J6i(2500, 3000, 128), kAll, 1, 2500},
      {"J6I distance 0xFFFFFFFF", J6i(0xFFFFFFFFu, 700, 128), kAll, -1, 0},
      {"PMP 10 12 00 09 with 124", Pmp(false, 124, 900, 124), kAll, 2, 124},
      {"PMP 10 12 01 00 with 332", Pmp(true, 332, 900, 332), kAll, 2, 332},
      {"PMP 10 12 01 00 with 844", Pmp(true, 844, 900, 844), kAll, 2, 844},
      {"10 12 00 09 with 332: not PMP", Pmp(false, 332, 900, 332), kAll, 0, 332},
      {"10 12 01 00 with 124: not PMP", Pmp(true, 124, 900, 124), kAll, 0, 124},
      {"PMP support off", Pmp(false, 124, 900, 124), kSearch | kJ6i, 0, 124},
      {"PMP ending with its header", Pmp(false, 124, 124, -1), kAll, -1, 0},
      {"PMP with one byte of stream", Pmp(false, 124, 125, -1), kAll, 2, 124},
      {"stream at 204", WithSoi(900, 204), kAll, -1, 204},
      {"stream at 716", WithSoi(900, 716), kAll, -1, 716},
      {"stream at 204, PMP support off", WithSoi(900, 204), kSearch | kJ6i, 0, 204},
      {"8BPS with zero reserved bytes", Photoshop(true, 900, 100), kAll, -1, 100},
      {"same, no search", Photoshop(true, 900, 100), kJ6i | kPmp, 0, 0},
      {"8BPS with a reserved byte set", Photoshop(false, 900, 100), kAll, 0, 100},
  };
  for (const DetectCase &c : cases) {
    PluginSettings settings = SettingsWith(c.flags);
    const int32_t hostOffsets[] = {0, 1000}; /* J6I at 1000 + 128: handle and extent 1128 */
    for (int mode = 0; mode < 3; ++mode) {
      Outcome o = mode == 0 ? DetectInMemory(settings, c.data)
                            : DetectInFile(settings, c.data, hostOffsets[mode - 1]);
      if (o.kind != c.kind || o.advance != c.advance || !o.extentFollows || !o.headerBlock)
        suite::Report(__FILE__, __LINE__,
                      std::string(c.label) + (mode == 0 ? " (memory)" : " (file at ") +
                          (mode == 0 ? "" : suite::Show((long long)hostOffsets[mode - 1]) + ")") +
                          ": kind " + suite::Show((long long)o.kind) + ", advance " +
                          suite::Show(o.advance) + (o.extentFollows ? "" : ", extent wrong") +
                          (o.headerBlock ? "" : ", header block wrong"));
    }
  }
}

/* Nothing is read through a memory source whose extent is not positive. */
SUITE_CASE(memory_extent_without_bytes_reads_nothing) {
  uint8_t jpeg[4] = {0xFF, 0xD8, 0xFF, 0xE0};
  const int32_t extents[] = {0, -5};
  for (int32_t extent : extents) {
    for (int search = 0; search < 2; ++search) {
      PluginSettings settings = SettingsWith(search ? kAll : kJ6i | kPmp);
      void *source = jpeg;
      int32_t left = extent;
      uint8_t block[kHeaderBlockSize];
      std::memset(block, 0xEE, sizeof block);
      CHECK_EQ(Detect(&settings, block, &source, &left, 0), search ? -1 : 0);
      CHECK(source == jpeg && left == extent);
      CHECK(HeaderBlockHolds(block, Data()));
    }
  }
}

SUITE_CASE(unreadable_file_is_refused) {
  camera::TempFile file(WithSoi(100, 0));
  if (!file.ok) suite::Report(__FILE__, __LINE__, "cannot write " + file.path);
  HANDLE writeOnly = CreateFileA(file.path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
  HANDLE closed = CreateFileA(file.path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  CHECK(writeOnly != INVALID_HANDLE_VALUE && closed != INVALID_HANDLE_VALUE);
  CloseHandle(closed);
  HANDLE handles[] = {writeOnly, closed};
  for (HANDLE h : handles) {
    PluginSettings settings = SettingsWith(kAll);
    void *source = h;
    int32_t extent = 0;
    uint8_t block[kHeaderBlockSize];
    CHECK_EQ(Detect(&settings, block, &source, &extent, 1), -1);
    CHECK(source == h && extent == 0);
  }
  if (writeOnly != INVALID_HANDLE_VALUE) CloseHandle(writeOnly);
}

SUITE_CASE(soi_search_skips_marker_pairs_and_stays_in_valid_bytes) {
  struct SoiCase {
    Data bytes;
    int32_t valid;
    int32_t found;
  } cases[] = {
      {{0xFF, 0xD8}, 2, 0},
      {{0xFF, 0xD8}, 1, -1},
      {{0x00, 0xFF, 0xFF, 0xD8}, 4, 2},
      {{0xFF, 0xFF, 0xFF, 0xD8}, 4, 2},
      {{0xFF, 0xE0, 0xFF, 0xD8}, 4, 2},
      {{0xFF, 0xD9, 0xD8, 0xFF, 0xD8}, 5, 3},
      {{0x20, 0x20, 0xFF, 0xD8}, 4, 2},
      {{0x20, 0x20, 0xFF, 0xD8}, 3, -1}, /* the pair must lie wholly inside */
      {{0xD8, 0xFF}, 2, -1},
      {{0xFF}, 0, -1},
      {{0xFF}, -3, -1},
  };
  for (const SoiCase &c : cases) {
    int32_t found = findFirstSoi(c.bytes.data(), c.valid);
    if (found != c.found)
      suite::Report(__FILE__, __LINE__, suite::Bytes(c.bytes.data(), c.bytes.size()) + " / " +
                                            suite::Show((long long)c.valid) + ": " +
                                            suite::Show((long long)found));
  }
}

SUITE_CASE(plain_handlers_square_the_pixels_only_when_asked) {
  for (int ignore = 0; ignore < 2; ++ignore) {
    PluginSettings settings = SettingsWith(kAll, ignore);
    uint8_t block[kHeaderBlockSize] = {0xFF, 0xD8};

    PictureInfo info = {0, 0, 640, 480, 72, 96, 24, nullptr};
    PictureInfo expected = info;
    if (ignore) expected.xDensity = expected.yDensity = 1;
    CHECK_EQ(ContainerHandlers[0].infoHandler(&settings, block, 0, &info), 0);
    CHECK(std::memcmp(&info, &expected, sizeof info) == 0);

    BitmapHandles bitmap = {LocalAlloc(LHND, 44), LocalAlloc(LHND, 4)};
    BITMAPINFOHEADER *header = static_cast<BITMAPINFOHEADER *>(LocalLock(bitmap.info));
    if (!header) return;
    *header = BITMAPINFOHEADER{40, 1, 1, 1, 24, BI_RGB, 0, 2835, 3780, 0, 0};
    BITMAPINFOHEADER wanted = *header;
    if (ignore) wanted.biXPelsPerMeter = wanted.biYPelsPerMeter = 1;
    LocalUnlock(bitmap.info);
    BitmapHandles before = bitmap;
    CHECK_EQ(ContainerHandlers[0].postProcessor(&settings, block, 0, nullptr, &bitmap), 0);
    CHECK(bitmap.info == before.info && bitmap.bits == before.bits);
    CHECK_EQ(static_cast<int>(LocalFlags(bitmap.info) & LMEM_LOCKCOUNT), 0);
    header = static_cast<BITMAPINFOHEADER *>(LocalLock(bitmap.info));
    CHECK(std::memcmp(header, &wanted, sizeof wanted) == 0);
    LocalUnlock(bitmap.info);
    LocalFree(bitmap.info);
    LocalFree(bitmap.bits);
  }
}

}  // namespace

SUITE_MAIN()
