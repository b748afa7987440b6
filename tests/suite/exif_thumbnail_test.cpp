/*
 * exif_thumbnail_test.cpp - uncompressed thumbnails into bottom-up 24-bit
 * bitmaps: the RGB byte order, the YCbCr colour values, the data-unit
 * layout with subsampling, the resolution fields, and the whole way from a
 * JPEG with an Exif segment to the bitmap blocks.
 */
#include <cstring>
#include <vector>

#include "exif/thumbnail.h"
#include "exif_builder.h"
#include "exif_header_pass.h"
#include "harness.h"

using exifbuild::Bytes;
using exifbuild::ExifBuilder;
using exifbuild::kIfd0;
using exifbuild::kIfd1;

namespace {

/* A descriptor over `pixels`, placed at TIFF offset 8 of a segment copy. */
struct Thumbnail {
  std::vector<uint8_t> segment;
  ExifThumbnail t;
  Thumbnail(uint32_t kind, uint32_t width, uint32_t height, const Bytes &pixels, uint32_t h = 1,
            uint32_t v = 1) {
    segment.assign(6 + 8, 0);
    segment.insert(segment.end(), pixels.begin(), pixels.end());
    std::memset(&t, 0, sizeof t);
    t.savedSegment = segment.data();
    t.kind = kind;
    t.width = width;
    t.height = height;
    t.photometric = kind == 2 ? 2 : 6;
    t.stripOffset = 8;
    t.subsamplingH = h;
    t.subsamplingV = v;
    t.xResolution = 72;
    t.yResolution = 72;
    const double luma[3] = {0.299, 0.587, 0.114};
    const double reference[6] = {15, 235, 128, 240, 128, 240};
    std::memcpy(t.lumaCoefficients, luma, sizeof luma);
    std::memcpy(t.referenceBlackWhite, reference, sizeof reference);
  }
};

uint32_t rgb(uint32_t r, uint32_t g, uint32_t b) { return r << 24 | g << 16 | b << 8; }

/* The colour of a single YCbCr pixel, by the conversion itself. */
uint32_t singlePixel(uint8_t y, uint8_t cb, uint8_t cr) {
  Thumbnail one(3, 1, 1, Bytes{y, cb, cr});
  DibWriter writer;
  if (createDibWriter(&writer, 1, 1) != Success) return 0xFFFFFFFF;
  convertYCbCrThumbnail(&one.t, &writer);
  uint32_t colour = writer.getPixel(&writer, 0, 0);
  unlockDibWriter(&writer);
  LocalFree(writer.infoHandle);
  LocalFree(writer.bitsHandle);
  return colour;
}

void freeBitmap(DibWriter *writer) {
  LocalFree(writer->infoHandle);
  LocalFree(writer->bitsHandle);
}

SUITE_CASE(rgb_rows_bottom_up) {
  Thumbnail thumb(2, 2, 2, Bytes{255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255});
  thumb.t.xResolution = 180;
  thumb.t.yResolution = 150;
  DibWriter writer;
  CHECK(makeThumbnailBitmap(&thumb.t, &writer));
  CHECK_EQ(LocalFlags(writer.infoHandle) & LMEM_LOCKCOUNT, 0u);
  CHECK_EQ(LocalFlags(writer.bitsHandle) & LMEM_LOCKCOUNT, 0u);
  const uint8_t *bits = static_cast<const uint8_t *>(LocalLock(writer.bitsHandle));
  const uint8_t expected[16] = {255, 0, 0, 255, 255, 255, 0, 0, 0, 0, 255, 0, 255, 0, 0, 0};
  CHECK_EQ(suite::Bytes(bits, 16), suite::Bytes(expected, 16));
  LocalUnlock(writer.bitsHandle);
  const BITMAPINFOHEADER *header =
      static_cast<const BITMAPINFOHEADER *>(LocalLock(writer.infoHandle));
  CHECK_EQ(header->biWidth, 2);
  CHECK_EQ(header->biHeight, 2);
  CHECK_EQ(header->biBitCount, 24);
  CHECK_EQ(header->biXPelsPerMeter, 180);
  CHECK_EQ(header->biYPelsPerMeter, 150);
  LocalUnlock(writer.infoHandle);
  freeBitmap(&writer);
}

SUITE_CASE(ycbcr_colours) {
  const struct {
    uint8_t y, cb, cr;
    uint32_t colour;
  } rows[] = {
      {15, 128, 128, rgb(0, 0, 0)},       {255, 128, 128, rgb(240, 240, 240)},
      {115, 128, 128, rgb(100, 100, 100)}, {100, 128, 56, rgb(0, 135, 85)},
      {100, 128, 200, rgb(185, 34, 85)},  {255, 255, 255, rgb(255, 229, 255)},
      {0, 0, 0, rgb(0, 120, 0)},          {16, 128, 128, rgb(1, 1, 1)},
  };
  for (const auto &row : rows) {
    uint32_t got = singlePixel(row.y, row.cb, row.cr);
    if (got != row.colour)
      suite::Report(__FILE__, __LINE__,
                    "Y " + std::to_string(row.y) + " Cb " + std::to_string(row.cb) + " Cr " +
                        std::to_string(row.cr) + ": got " + std::to_string(got >> 24) + "," +
                        std::to_string(got >> 16 & 255) + "," + std::to_string(got >> 8 & 255));
  }
}

/* Data units of H x V luma bytes, Cb, Cr cover the picture left to right,
 * then top to bottom; pixels of a unit past the picture are not written but
 * their bytes are consumed. */
SUITE_CASE(ycbcr_data_units) {
  const struct {
    uint32_t width, height, h, v;
  } shapes[] = {{3, 2, 2, 1}, {2, 3, 2, 2}, {5, 5, 2, 2}, {1, 3, 1, 2}, {4, 1, 4, 1}};
  for (const auto &shape : shapes) {
    const uint32_t across = (shape.width + shape.h - 1) / shape.h;
    const uint32_t down = (shape.height + shape.v - 1) / shape.v;
    const uint32_t unit = shape.h * shape.v + 2;
    Bytes data;
    for (uint32_t i = 0; i < across * down * unit; ++i)
      data.push_back(static_cast<uint8_t>(40 + (i * 37) % 200));
    Thumbnail thumb(3, shape.width, shape.height, data, shape.h, shape.v);
    DibWriter writer;
    CHECK(createDibWriter(&writer, static_cast<int32_t>(shape.width),
                          static_cast<int32_t>(shape.height)) == Success);
    convertYCbCrThumbnail(&thumb.t, &writer);
    for (uint32_t row = 0; row < shape.height; ++row) {
      for (uint32_t x = 0; x < shape.width; ++x) {
        const uint8_t *u = &data[((row / shape.v) * across + x / shape.h) * unit];
        uint8_t y = u[(row % shape.v) * shape.h + x % shape.h];
        uint32_t expected = singlePixel(y, u[shape.h * shape.v], u[shape.h * shape.v + 1]);
        uint32_t got = writer.getPixel(&writer, static_cast<int32_t>(x),
                                       static_cast<int32_t>(shape.height - 1 - row));
        if (got != expected)
          suite::Report(__FILE__, __LINE__,
                        "pixel " + std::to_string(x) + "," + std::to_string(row) + " of " +
                            std::to_string(shape.width) + "x" + std::to_string(shape.height));
      }
      /* The fill bytes at the end of each row stay zero. */
      for (int32_t b = static_cast<int32_t>(shape.width) * 3; b < writer.stride; ++b)
        CHECK_EQ(writer.bits[static_cast<int32_t>(row) * writer.stride + b], 0);
    }
    unlockDibWriter(&writer);
    freeBitmap(&writer);
  }
}

SUITE_CASE(bitmap_only_for_uncompressed_kinds) {
#ifndef _WIN32
  const long before = StandinLiveLocalBlocks();
#endif
  for (uint32_t kind : {0u, 1u, 4u}) {
    Thumbnail thumb(kind, 1, 1, Bytes{1, 2, 3});
    DibWriter writer;
    CHECK(!makeThumbnailBitmap(&thumb.t, &writer));
  }
#ifndef _WIN32
  Thumbnail thumb(2, 1, 1, Bytes{1, 2, 3});
  DibWriter writer;
  StandinFailLocalAllocAt(2);
  CHECK(!makeThumbnailBitmap(&thumb.t, &writer));
  StandinFailLocalAllocAt(0);
  CHECK_EQ(StandinLiveLocalBlocks(), before);
#endif
}

/* From a JPEG file's bytes to the bitmap: the preview reader describes and
 * keeps the segment, the conversion reads the pixels from it. */
SUITE_CASE(thumbnail_from_header_pass_to_bitmap) {
  for (int big = 0; big < 2; ++big) {
    ExifBuilder b(big == 1);
    Bytes pixels;
    for (int i = 0; i < 3 * 2 * 3; ++i) pixels.push_back(static_cast<uint8_t>(i * 13));
    int strip = b.blob(pixels);
    b.ascii(kIfd0, 0x010F, "Maker")
        .shorts(kIfd1, 0x0100, {3})
        .shorts(kIfd1, 0x0101, {2})
        .shorts(kIfd1, 0x0102, {8, 8, 8})
        .shorts(kIfd1, 0x0103, {1})
        .shorts(kIfd1, 0x0106, {2})
        .pointer(kIfd1, 0x0111, strip)
        .shorts(kIfd1, 0x0115, {3})
        .shorts(kIfd1, 0x0116, {2})
        .longs(kIfd1, 0x0117, {18})
        .rationals(kIfd1, 0x011A, {{300, 1}})
        .rationals(kIfd1, 0x011B, {{600, 2}});
    RequestContext context;
    CHECK_EQ(exifpass::readHeader(&context, exifbuild::jpegWith({exifbuild::app1(b.payload())}),
                                  exifpass::kPreview), 0);
    CHECK_EQ(context.thumbnail.kind, 2u);
    DibWriter writer;
    CHECK(makeThumbnailBitmap(&context.thumbnail, &writer));
    exifpass::releaseContext(&context);
    const uint8_t *bits = static_cast<const uint8_t *>(LocalLock(writer.bitsHandle));
    for (int row = 0; row < 2; ++row)
      for (int x = 0; x < 3; ++x)
        for (int c = 0; c < 3; ++c)
          CHECK_EQ(bits[(1 - row) * 12 + x * 3 + c], pixels[static_cast<size_t>(row * 9 + x * 3 + 2 - c)]);
    LocalUnlock(writer.bitsHandle);
    const BITMAPINFOHEADER *header =
        static_cast<const BITMAPINFOHEADER *>(LocalLock(writer.infoHandle));
    CHECK_EQ(header->biXPelsPerMeter, 300);
    CHECK_EQ(header->biYPelsPerMeter, 300);
    LocalUnlock(writer.infoHandle);
    freeBitmap(&writer);
  }
}

}  // namespace
