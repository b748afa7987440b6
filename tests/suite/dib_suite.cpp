/*
 * dib_suite.cpp - DibWriter: block layouts of a created bitmap, pixel byte
 * order and addressing, top-row-first writing, attaching to an existing
 * bitmap, and the refusals and allocation failures of createDibWriter.
 */
#include <cstdint>
#include <cstring>
#include <string>

#include "base/dib_writer.h"
#include "harness.h"

namespace {

int LockCount(HLOCAL block) { return static_cast<int>(LocalFlags(block) & LMEM_LOCKCOUNT); }

void FreeWriter(DibWriter *writer) {
  unlockDibWriter(writer);
  LocalFree(writer->infoHandle);
  LocalFree(writer->bitsHandle);
}

SUITE_CASE(created_bitmap_has_header_stride_and_black_rows) {
  struct SizeCase {
    int32_t width, height, stride;
  } cases[] = {{1, 1, 4}, {2, 3, 8}, {3, 2, 12}, {4, 1, 12}, {5, 3, 16}, {7, 2, 24}};
  for (const SizeCase &c : cases) {
    DibWriter w;
    CHECK_EQ(createDibWriter(&w, c.width, c.height), Success);
    if (!w.infoHandle) continue;
    CHECK_EQ(w.bitDepth, 24);
    CHECK_EQ(w.stride, c.stride);
    CHECK_EQ((long long)LocalSize(w.infoHandle), 44LL);
    CHECK_EQ((long long)LocalSize(w.bitsHandle), (long long)c.stride * c.height);
    CHECK(LocalLock(w.infoHandle) == w.header);
    LocalUnlock(w.infoHandle);
    CHECK(LocalLock(w.bitsHandle) == w.bits);
    LocalUnlock(w.bitsHandle);
    CHECK_EQ(LockCount(w.infoHandle), 1);
    CHECK_EQ(LockCount(w.bitsHandle), 1);
    CHECK(w.cursor == nullptr && w.seek && w.putNext);

    BITMAPINFOHEADER expected = {40, c.width, c.height, 1, 24, BI_RGB, 0, 72, 72, 0, 0};
    CHECK(std::memcmp(w.header, &expected, sizeof expected) == 0);
    const uint8_t *tail = reinterpret_cast<const uint8_t *>(w.header) + 40;
    CHECK(tail[0] == 0 && tail[1] == 0 && tail[2] == 0 && tail[3] == 0);
    for (int32_t i = 0; i < c.stride * c.height; ++i) CHECK_EQ(w.bits[i], 0);
    for (int32_t y = 0; y < c.height; ++y)
      for (int32_t x = 0; x < c.width; ++x) CHECK_EQ(w.getPixel(&w, x, y), 0u);

    HLOCAL info = w.infoHandle, bits = w.bitsHandle;
    CHECK_EQ(unlockDibWriter(&w), 1);
    CHECK_EQ(LockCount(info), 0);
    CHECK_EQ(LockCount(bits), 0);
    CHECK(w.infoHandle == info && w.bitsHandle == bits && w.header == nullptr && w.bits == nullptr);
    CHECK_EQ(unlockDibWriter(&w), 1); /* a second unlock changes nothing */
    CHECK_EQ(LockCount(info), 0);
    LocalFree(info);
    LocalFree(bits);
  }
  CHECK_EQ(unlockDibWriter(nullptr), 1);
}

SUITE_CASE(colours_are_stored_blue_green_red_and_low_byte_ignored) {
  struct ColourCase {
    uint32_t written, read;
    uint8_t b, g, r;
  } cases[] = {
      {0xFF000000u, 0xFF000000u, 0x00, 0x00, 0xFF}, /* pure red */
      {0x00FF0000u, 0x00FF0000u, 0x00, 0xFF, 0x00},
      {0x0000FF00u, 0x0000FF00u, 0xFF, 0x00, 0x00},
      {0xFF0000FFu, 0xFF000000u, 0x00, 0x00, 0xFF}, /* low byte set */
      {0x12345678u, 0x12345600u, 0x56, 0x34, 0x12},
      {0xFFFFFFFFu, 0xFFFFFF00u, 0xFF, 0xFF, 0xFF},
  };
  for (const ColourCase &c : cases) {
    for (int viaCursor = 0; viaCursor < 2; ++viaCursor) {
      DibWriter w;
      CHECK_EQ(createDibWriter(&w, 1, 1), Success);
      if (!w.bits) continue;
      if (viaCursor) {
        w.seek(&w, 0, 0);
        w.putNext(&w, c.written);
        CHECK(w.cursor == w.bits + 3);
      } else {
        w.setPixel(&w, 0, 0, c.written);
      }
      const uint8_t expected[4] = {c.b, c.g, c.r, 0};
      if (std::memcmp(w.bits, expected, 4) != 0)
        suite::Report(__FILE__, __LINE__, "bytes " + suite::Bytes(w.bits, 4) + " for " +
                                              suite::Show((long long)c.written));
      CHECK_EQ(w.getPixel(&w, 0, 0), c.read);
      FreeWriter(&w);
    }
  }
}

/* Every pixel gets its own colour; the bytes must sit at y * stride + x * 3
 * and the fill bytes at the end of each row stay zero. */
SUITE_CASE(pixels_are_addressed_by_row_and_column_and_fill_stays_zero) {
  DibWriter w;
  CHECK_EQ(createDibWriter(&w, 5, 3), Success);
  if (!w.bits) return;
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 5; ++x) w.setPixel(&w, x, y, (0x10u + 16 * y + x) * 0x01010100u);
  for (int32_t y = 0; y < 3; ++y) {
    for (int32_t x = 0; x < 5; ++x) {
      uint8_t v = static_cast<uint8_t>(0x10 + 16 * y + x);
      const uint8_t *p = w.bits + y * 16 + x * 3;
      CHECK(p[0] == v && p[1] == v && p[2] == v);
      CHECK_EQ(w.getPixel(&w, x, y), v * 0x01010100u);
    }
    CHECK_EQ(w.bits[y * 16 + 15], 0);
  }
  FreeWriter(&w);
}

/* A 3 x 2 picture emitted top row first lands bottom-up in memory. */
SUITE_CASE(top_row_first_writing_gives_bottom_up_rows) {
  const uint32_t picture[2][3] = {{0x01020300u, 0x04050600u, 0x07080900u},
                                  {0x0A0B0C00u, 0x0D0E0F00u, 0x10111200u}};
  DibWriter w;
  CHECK_EQ(createDibWriter(&w, 3, 2), Success);
  if (!w.bits) return;
  for (int32_t r = 0; r < 2; ++r) {
    w.seek(&w, 0, 2 - 1 - r);
    for (int32_t x = 0; x < 3; ++x) w.putNext(&w, picture[r][x]);
  }
  const uint8_t expected[24] = {0x0C, 0x0B, 0x0A, 0x0F, 0x0E, 0x0D, 0x12, 0x11, 0x10, 0, 0, 0,
                                0x03, 0x02, 0x01, 0x06, 0x05, 0x04, 0x09, 0x08, 0x07, 0, 0, 0};
  if (std::memcmp(w.bits, expected, sizeof expected) != 0)
    suite::Report(__FILE__, __LINE__, "rows " + suite::Bytes(w.bits, 24));
  FreeWriter(&w);
}

SUITE_CASE(create_refuses_sizes_and_failed_allocations_leaving_nothing) {
  struct FailCase {
    const char *label;
    int32_t width, height;
    long failAt; /* natively: which LocalAlloc fails (0 none) */
  } cases[] = {
      {"zero width", 0, 1, 0},          {"zero height", 1, 0, 0},
      {"negative width", -1, 5, 0},     {"negative height", 5, -1, 0},
      {"stride overflows", 0x7FFFFFFF, 1, 0},
      {"size wraps to 0 in 32 bits", 65536, 65536, 0},
      {"size beyond 2 GiB", 32768, 32768, 0},
#ifndef _WIN32
      {"info block fails", 2, 2, 1},    {"bits block fails", 2, 2, 2},
#endif
  };
  for (const FailCase &c : cases) {
    DibWriter w;
    std::memset(&w, 0x5A, sizeof w);
#ifndef _WIN32
    long before = StandinLiveLocalBlocks();
    /* For refused sizes no allocation may even be tried: the armed
     * failure must still be pending afterwards. */
    StandinFailLocalAllocAt(c.failAt ? c.failAt : 1);
#endif
    ResultCode result = createDibWriter(&w, c.width, c.height);
    if (result != OutOfMemory) suite::Report(__FILE__, __LINE__, c.label);
    CHECK(w.infoHandle == nullptr && w.bitsHandle == nullptr && w.getPixel == nullptr);
#ifndef _WIN32
    CHECK_EQ(StandinLiveLocalBlocks(), before);
    if (c.failAt == 0) {
      HLOCAL probe = LocalAlloc(LHND, 1);
      if (probe) suite::Report(__FILE__, __LINE__, std::string(c.label) + ": allocation tried");
      LocalFree(probe);
    }
    StandinFailLocalAllocAt(0);
#endif
    if (result == Success) FreeWriter(&w);
  }
}

SUITE_CASE(attach_wraps_24_bit_bottom_up_bitmaps_only) {
  HLOCAL block = LocalAlloc(LHND, 40 + 2 * 12);
  BITMAPINFOHEADER *header = static_cast<BITMAPINFOHEADER *>(LocalLock(block));
  if (!header) return;
  uint8_t *bits = reinterpret_cast<uint8_t *>(header) + 40;

  struct AttachCase {
    int32_t width, height;
    uint16_t bitCount;
    bool accepted;
  } cases[] = {{3, 2, 8, false}, {3, 2, 32, false}, {3, -2, 24, false},
               {0, 2, 24, false}, {3, 2, 24, true}};
  for (const AttachCase &c : cases) {
    *header = BITMAPINFOHEADER{40, c.width, c.height, 1, c.bitCount, BI_RGB, 0, 0, 0, 0, 0};
    DibWriter w, before;
    std::memset(&w, 0x5A, sizeof w);
    std::memcpy(&before, &w, sizeof w);
    CHECK_EQ(attachDibWriter(&w, header, bits), c.accepted);
    if (!c.accepted) {
      CHECK(std::memcmp(&w, &before, sizeof w) == 0);
      continue;
    }
    CHECK(w.bitDepth == 24 && w.width == 3 && w.height == 2 && w.stride == 12);
    CHECK(w.header == header && w.bits == bits && w.cursor == nullptr);
    CHECK(w.infoHandle == nullptr && w.bitsHandle == nullptr);
    CHECK(w.getPixel && w.setPixel && w.seek == nullptr && w.putNext == nullptr);

    bits[12 + 6] = 0x11; /* pixel (2, 1): blue, green, red */
    bits[12 + 7] = 0x22;
    bits[12 + 8] = 0x33;
    CHECK_EQ(w.getPixel(&w, 2, 1), 0x33221100u);
    w.setPixel(&w, 1, 0, 0xAABBCCFFu);
    CHECK(bits[3] == 0xCC && bits[4] == 0xBB && bits[5] == 0xAA && bits[9] == 0);
    CHECK_EQ(unlockDibWriter(&w), 1); /* owns nothing: the caller's lock stays */
    CHECK_EQ(LockCount(block), 1);
  }
  LocalUnlock(block);
  LocalFree(block);
}

}  // namespace

SUITE_MAIN()
