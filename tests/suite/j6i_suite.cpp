/*
 * j6i_suite.cpp - the J6I handlers: reported size, densities and date text;
 * aspect correction and edge crop of bitmaps; settings and bitmaps as a
 * hostile registry or decoder could give them; J6I files of our own decoded
 * by decodeInternally from memory and from files.
 *
 * usage: j6i_suite CORPUS_DIR
 */
#include <cstdint>
#include <cstring>
#include <string>

#include "camera_bitmaps.h"
#include "camera_files.h"
#include "containers/j6i.h"
#include "harness.h"
#include "jpeg_maker.h"

namespace {

using camera::Rgb;
using camera::Snapshot;
using camera::TextOf;

struct Edges {
  int32_t left, right, top, bottom;
};

PluginSettings J6iSettings(int32_t aspectX, int32_t aspectY, Edges edges = {0, 0, 0, 0}) {
  PluginSettings s;
  std::memset(&s, 0, sizeof s);
  s.J6ISupport = 1;
  s.AspectX = aspectX;
  s.AspectY = aspectY;
  s.Left = edges.left;
  s.Right = edges.right;
  s.Top = edges.top;
  s.Bottom = edges.bottom;
  return s;
}

/* A header block holding a J6I header with the given date bytes. */
struct HeaderBlock {
  uint8_t bytes[kHeaderBlockSize] = {};
  explicit HeaderBlock(const uint8_t date[6] = nullptr) {
    camera::J6iHeader h;
    if (date) std::memcpy(h.date, date, 6);
    camera::Data header = camera::J6iHeaderBytes(h);
    std::memcpy(bytes, header.data(), header.size());
  }
};

SUITE_CASE(information_gives_size_less_edges_and_aspect_densities) {
  struct InfoCase {
    const char *label;
    int32_t aspectX, aspectY;
    Edges edges;
    int32_t width, height;
    int32_t wantWidth, wantHeight;
    uint16_t wantX, wantY;
  } cases[] = {
      {"defaults", 6, 5, {0, 0, 0, 0}, 768, 480, 768, 480, 6, 5},
      {"square", 1, 1, {0, 0, 0, 0}, 768, 480, 768, 480, 1, 1},
      {"8 left and right", 6, 5, {8, 8, 0, 0}, 768, 480, 752, 480, 6, 5},
      {"top and bottom", 6, 5, {0, 0, 2, 3}, 768, 480, 768, 475, 6, 5},
      {"edges equal to the width", 6, 5, {400, 368, 0, 0}, 768, 480, 768, 480, 6, 5},
      {"edges beyond the height", 6, 5, {1, 1, 300, 300}, 768, 480, 766, 480, 6, 5},
      {"negative edges count as 0", 6, 5, {-8, -8, -2, -2}, 768, 480, 768, 480, 6, 5},
      {"one negative edge", 6, 5, {-8, 16, 0, -4}, 768, 480, 752, 480, 6, 5},
      {"largest edges", 6, 5, {INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX}, 768, 480, 768, 480, 6, 5},
      {"aspect reported by its low 16 bits", 0x10006, 0x20005, {0, 0, 0, 0}, 8, 8, 8, 8, 6, 5},
      {"aspect 0", 6, 0, {0, 0, 0, 0}, 8, 8, 8, 8, 6, 0},
  };
  HeaderBlock block;
  for (const InfoCase &c : cases) {
    PluginSettings settings = J6iSettings(c.aspectX, c.aspectY, c.edges);
    PictureInfo info = {0, 0, c.width, c.height, 1, 1, 24, nullptr};
    ContainerHandlers[ContainerJ6i].infoHandler(&settings, block.bytes, 0, &info);
    if (info.width != c.wantWidth || info.height != c.wantHeight || info.xDensity != c.wantX ||
        info.yDensity != c.wantY || info.bitDepth != 24 || info.left != 0 || info.top != 0)
      suite::Report(__FILE__, __LINE__,
                    std::string(c.label) + ": " + suite::Show((long long)info.width) + " x " +
                        suite::Show((long long)info.height) + ", densities " +
                        suite::Show((long long)info.xDensity) + ":" +
                        suite::Show((long long)info.yDensity));
    CHECK_EQ(TextOf(info.textHandle), std::string("97/05/21 13:45:00"));
    LocalFree(info.textHandle);
  }
}

SUITE_CASE(date_text_spells_each_bcd_nibble) {
  struct DateCase {
    uint8_t date[6];
    const char *text;
  } cases[] = {
      {{0x97, 0x05, 0x21, 0x13, 0x45, 0x00}, "97/05/21 13:45:00"},
      {{0x00, 0x12, 0x31, 0x23, 0x59, 0x59}, "00/12/31 23:59:59"},
      /* Nibbles above 9 are not checked: they give the characters after '9'. */
      {{0xAF, 0x0A, 0xB0, 0xFF, 0x9C, 0xDE}, ":?/0:/;0 ??:9<:=>"},
  };
  PluginSettings settings = J6iSettings(6, 5);
  for (const DateCase &c : cases) {
    HeaderBlock block(c.date);
    PictureInfo info = {0, 0, 640, 480, 1, 1, 24, nullptr};
    ContainerHandlers[ContainerJ6i].infoHandler(&settings, block.bytes, 0, &info);
    CHECK_EQ(TextOf(info.textHandle), std::string(c.text));
    if (info.textHandle) CHECK_EQ((long long)LocalSize(info.textHandle), (long long)kJ6iDateTextSize);
    LocalFree(info.textHandle);
  }

  /* A text already there is kept and no block is made. */
  HeaderBlock block;
  HLOCAL own = LocalAlloc(LMEM_MOVEABLE | LMEM_ZEROINIT, 8);
  PictureInfo info = {0, 0, 640, 480, 1, 1, 24, own};
  ContainerHandlers[ContainerJ6i].infoHandler(&settings, block.bytes, 0, &info);
  CHECK(info.textHandle == own);
  CHECK_EQ(TextOf(info.textHandle), std::string());
  LocalFree(own);
}

#ifndef _WIN32
SUITE_CASE(information_without_memory_for_the_date_has_no_text) {
  PluginSettings settings = J6iSettings(6, 5, {8, 8, 0, 0});
  HeaderBlock block;
  PictureInfo info = {0, 0, 768, 480, 1, 1, 24, nullptr};
  StandinFailLocalAllocAt(1);
  ContainerHandlers[ContainerJ6i].infoHandler(&settings, block.bytes, 0, &info);
  StandinFailLocalAllocAt(0);
  CHECK(info.textHandle == nullptr);
  CHECK(info.width == 752 && info.xDensity == 6 && info.yDensity == 5);
}
#endif

SUITE_CASE(aspect_correction_of_the_resolution_fields) {
  struct AspectCase {
    LONG x, y;
    int32_t aspectX, aspectY;
    int bitCount;
    LONG wantX, wantY;
  } cases[] = {
      {1, 1, 6, 5, 24, 6, 5},               /* below 10: both multiplied */
      {9, 3, 6, 5, 24, 54, 15},
      {10, 10, 6, 5, 24, 12, 10},           /* from 10: horizontal scaled */
      {2835, 2835, 6, 5, 24, 3402, 2835},
      {2835, 2835, 5, 6, 24, 2362, 2835},   /* truncated */
      {2835, 3780, 1, 1, 24, 2835, 3780},   /* equal aspects: unchanged */
      {2835, 2835, 6, 0, 24, 2835, 2835},   /* no division by 0 */
      {1, 1, 6, 0, 24, 1, 1},
      {2835, 2835, 6, -5, 24, 2835, 2835},
      {INT32_MAX, 7, 6, 5, 24, INT32_MAX, 7}, /* no overflow: held at the limit */
      {9, 9, INT32_MAX, 2, 24, INT32_MAX, 18},
      {2835, 2835, 6, 5, 8, 3402, 2835},    /* other depths get the aspect step */
  };
  HeaderBlock block;
  for (const AspectCase &c : cases) {
    PluginSettings settings = J6iSettings(c.aspectX, c.aspectY);
    Snapshot s = camera::Processed(ContainerHandlers[ContainerJ6i].postProcessor, settings,
                                   block.bytes,
                                   camera::MakeBitmap(4, 3, c.bitCount, camera::Numbered, c.x, c.y));
    if (s.header.biXPelsPerMeter != c.wantX || s.header.biYPelsPerMeter != c.wantY)
      suite::Report(__FILE__, __LINE__,
                    suite::Show((long long)c.x) + "," + suite::Show((long long)c.y) + " at " +
                        suite::Show((long long)c.aspectX) + ":" + suite::Show((long long)c.aspectY) +
                        " gave " + suite::Show((long long)s.header.biXPelsPerMeter) + "," +
                        suite::Show((long long)s.header.biYPelsPerMeter));
    CHECK(s.header.biWidth == 4 && s.header.biHeight == 3 && s.unlocked);
  }
}

/* Kept pixels, as displayed: column c and row r (from the top) of the
 * result is column Left + c and row Bottom + r of the picture, since the
 * Bottom rows are its uppermost ones. */
SUITE_CASE(crop_keeps_the_inner_pixels_in_place) {
  struct CropCase {
    const char *label;
    int32_t width, height;
    Edges edges;
    int bitCount;
    int32_t wantWidth, wantHeight; /* equal to width, height: not cropped */
  } cases[] = {
      {"8 left and right of 768 x 480", 768, 480, {8, 8, 0, 0}, 24, 752, 480},
      {"top 2 of 4 rows: lowest rows go", 5, 4, {0, 0, 2, 0}, 24, 5, 2},
      {"bottom 2 of 4 rows: uppermost rows go", 5, 4, {0, 0, 0, 2}, 24, 5, 2},
      {"all four edges, odd widths", 7, 6, {1, 2, 1, 3}, 24, 4, 2},
      {"one pixel left", 3, 3, {1, 1, 1, 1}, 24, 1, 1},
      {"left and right equal to the width", 4, 3, {4, 0, 0, 0}, 24, 4, 3},
      {"top and bottom equal to the height", 4, 3, {0, 0, 1, 2}, 24, 4, 3},
      {"negative edges count as 0", 4, 3, {-1, -1, -1, -1}, 24, 4, 3},
      {"a negative edge beside a positive one", 4, 3, {-5, 1, 0, -2}, 24, 3, 3},
      {"largest edges", 4, 3, {INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX}, 24, 4, 3},
      {"8-bit bitmap: not cropped", 6, 4, {1, 1, 1, 1}, 8, 6, 4},
  };
  HeaderBlock block;
  for (const CropCase &c : cases) {
    PluginSettings settings = J6iSettings(1, 1, c.edges);
    BitmapHandles bitmap = camera::MakeBitmap(c.width, c.height, c.bitCount, camera::Numbered);
    Snapshot before = camera::Take(bitmap);
    Snapshot s = camera::Processed(ContainerHandlers[ContainerJ6i].postProcessor, settings,
                                   block.bytes, bitmap);
    std::string label = std::string(c.label) + ": ";
    if (s.header.biWidth != c.wantWidth || s.header.biHeight != c.wantHeight) {
      suite::Report(__FILE__, __LINE__, label + suite::Show((long long)s.header.biWidth) + " x " +
                                            suite::Show((long long)s.header.biHeight));
      continue;
    }
    bool cropped = c.wantWidth != c.width || c.wantHeight != c.height;
    CHECK_EQ((long long)s.header.biSizeImage, cropped ? 0LL : (long long)before.header.biSizeImage);
    CHECK_EQ(s.bits.size(), before.bits.size()); /* the block keeps its size */
    CHECK(s.unlocked);
    if (!cropped) {
      CHECK(s.bits == before.bits);
      continue;
    }
    int32_t left = c.edges.left > 0 ? c.edges.left : 0;
    int32_t bottom = c.edges.bottom > 0 ? c.edges.bottom : 0;
    int wrong = 0;
    for (int row = 0; row < c.wantHeight; ++row)
      for (int column = 0; column < c.wantWidth; ++column)
        if (s.At(column, row) != camera::Numbered(left + column, bottom + row)) ++wrong;
    if (wrong) suite::Report(__FILE__, __LINE__, label + suite::Show((long long)wrong) + " pixels wrong");
  }

  /* The named case: 752 pixels a row, 2256 bytes apart. */
  PluginSettings settings = J6iSettings(6, 5, {8, 8, 0, 0});
  Snapshot s = camera::Processed(ContainerHandlers[ContainerJ6i].postProcessor, settings,
                                 block.bytes, camera::MakeBitmap(768, 480, 24, camera::Numbered));
  CHECK_EQ(s.Stride(), 2256);
  CHECK(s.At(0, 0) == camera::Numbered(8, 0) && s.At(751, 479) == camera::Numbered(759, 479));
  CHECK(s.bits[2256] == s.At(0, 478).b); /* row 1 of memory starts 2256 bytes in */
}

SUITE_CASE(inconsistent_bitmaps_are_left_alone) {
  PluginSettings settings = J6iSettings(6, 5, {1, 1, 1, 1});
  HeaderBlock block;
  const int32_t rowBytes = camera::StrideOf(5, 24) * 4;
  struct Hostile {
    const char *label;
    BitmapHandles bitmap;
    bool aspectOnly; /* true: the resolution changes, the pixels do not */
  } cases[] = {
      {"bits block a byte short", camera::MakeBitmap(5, 4, 24, camera::Numbered, 2835, 2835, rowBytes - 1), false},
      {"8-bit bits block short", camera::MakeBitmap(5, 4, 8, camera::Numbered, 2835, 2835, 8 * 4 - 1), false},
      {"info block shorter than a header", {LocalAlloc(LHND, 39), LocalAlloc(LHND, 64)}, false},
      {"top-down rows", camera::MakeBitmap(5, 4, 24, camera::Numbered), true},
      {"width 0", camera::MakeBitmap(5, 4, 24, camera::Numbered), false},
      {"huge width", camera::MakeBitmap(5, 4, 24, camera::Numbered), false},
  };
  /* Headers no decoder would write, over otherwise valid blocks. */
  auto edit = [](BitmapHandles &b, LONG width, LONG height) {
    BITMAPINFOHEADER *h = static_cast<BITMAPINFOHEADER *>(LocalLock(b.info));
    h->biWidth = width;
    h->biHeight = height;
    LocalUnlock(b.info);
  };
  edit(cases[3].bitmap, 5, -4);
  edit(cases[4].bitmap, 0, 4);
  edit(cases[5].bitmap, 0x40000000, 4);
  for (Hostile &c : cases) {
    Snapshot before = camera::Take(c.bitmap);
    CHECK_EQ(ContainerHandlers[ContainerJ6i].postProcessor(&settings, block.bytes, 0, nullptr, &c.bitmap),
             c.aspectOnly ? 1 : 0);
    Snapshot after = camera::Take(c.bitmap);
    camera::Free(c.bitmap);
    BITMAPINFOHEADER expected = before.header;
    if (c.aspectOnly) expected.biXPelsPerMeter = 3402;
    if (std::memcmp(&after.header, &expected, sizeof expected) != 0 || after.bits != before.bits ||
        !after.unlocked)
      suite::Report(__FILE__, __LINE__, std::string(c.label) + ": bitmap changed");
  }
  BitmapHandles none = {nullptr, nullptr};
  CHECK_EQ(ContainerHandlers[ContainerJ6i].postProcessor(&settings, block.bytes, 0, nullptr, &none), 0);
  CHECK_EQ(ContainerHandlers[ContainerJ6i].postProcessor(&settings, block.bytes, 0, nullptr, nullptr), 0);
}

/* decodeInternally on J6I files from memory and from disk gives the plain
 * JPEG's pixels, cropped, with the resolution corrected. */
SUITE_CASE(j6i_files_decode_cropped_and_corrected) {
  PluginSettings settings = camera::DefaultSettings();
  settings.IgnorePixelAspectRatio = 0;
  settings.Left = 3;
  settings.Right = 5;
  settings.Top = 2;
  settings.Bottom = 4;

  struct Source {
    const char *label;
    camera::Data jpeg;
    uint32_t distance;
    LONG wantX, wantY; /* resolution after correction */
  };
  maker::Picture square;
  square.width = 40;
  square.height = 24;
  maker::Picture metric = square;
  metric.densityUnit = 2; /* 28 dots per cm: 2800 per metre */
  metric.xDensity = metric.yDensity = 28;
  std::string corpus = suite::Path(suite::Current().argument) + "/camera/Canon_40D.jpg";
  Source sources[] = {
      {"square pixels", maker::Encode(square), 128, 6, 5},
      {"dots per cm", maker::Encode(metric), 300, 3360, 2800},
      {"camera picture", camera::ReadWholeFile(corpus), 128, 0, 0},
  };
  for (Source &src : sources) {
    if (src.jpeg.empty()) {
      suite::Report(__FILE__, __LINE__, std::string("cannot read ") + corpus);
      continue;
    }
    camera::Decoded plain = camera::Decode(std::string(src.jpeg.begin(), src.jpeg.end()), false, settings);
    camera::J6iHeader header;
    header.distance = src.distance;
    camera::Data file = camera::MakeJ6i(src.jpeg, header);
    camera::TempFile onDisk(file);
    CHECK(onDisk.ok);
    if (src.wantX == 0) { /* as the decoder gives it, times 6 : 5 */
      src.wantX = plain.bitmap.header.biXPelsPerMeter >= 10
                      ? plain.bitmap.header.biXPelsPerMeter * 6 / 5
                      : plain.bitmap.header.biXPelsPerMeter * 6;
      src.wantY = plain.bitmap.header.biXPelsPerMeter >= 10 ? plain.bitmap.header.biYPelsPerMeter
                                                            : plain.bitmap.header.biYPelsPerMeter * 5;
    }
    for (int fromFile = 0; fromFile < 2; ++fromFile) {
      camera::Decoded d = fromFile ? camera::Decode(onDisk.path, true, settings)
                                   : camera::Decode(std::string(file.begin(), file.end()), false, settings);
      std::string label = std::string(src.label) + (fromFile ? " (file): " : " (memory): ");
      if (plain.result != Success || d.result != Success) {
        suite::Report(__FILE__, __LINE__, label + "result " + suite::Show((long long)d.result));
        continue;
      }
      const BITMAPINFOHEADER &p = plain.bitmap.header, &h = d.bitmap.header;
      if (h.biWidth != p.biWidth - 8 || h.biHeight != p.biHeight - 6 || h.biXPelsPerMeter != src.wantX ||
          h.biYPelsPerMeter != src.wantY || !d.bitmap.unlocked) {
        suite::Report(__FILE__, __LINE__, label + suite::Show((long long)h.biWidth) + " x " +
                                              suite::Show((long long)h.biHeight) + " at " +
                                              suite::Show((long long)h.biXPelsPerMeter) + "," +
                                              suite::Show((long long)h.biYPelsPerMeter));
        continue;
      }
      int wrong = 0;
      for (int row = 0; row < h.biHeight; ++row)
        for (int column = 0; column < h.biWidth; ++column)
          if (d.bitmap.At(column, row) != plain.bitmap.At(column + 3, row + 4)) ++wrong;
      if (wrong) suite::Report(__FILE__, __LINE__, label + suite::Show((long long)wrong) + " pixels wrong");
    }
  }

  /* J6I support off: the stream is found behind the header and taken as a
   * plain JPEG, neither cropped nor corrected. */
  settings.J6ISupport = 0;
  camera::Data jpeg = maker::Encode(square);
  camera::Data file = camera::MakeJ6i(jpeg);
  camera::Decoded d = camera::Decode(std::string(file.begin(), file.end()), false, settings);
  CHECK(d.result == Success && d.bitmap.header.biWidth == 40 && d.bitmap.header.biHeight == 24 &&
        d.bitmap.header.biXPelsPerMeter == 1 && d.bitmap.header.biYPelsPerMeter == 1);
}

}  // namespace

SUITE_MAIN()
