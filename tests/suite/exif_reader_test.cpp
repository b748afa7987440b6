/*
 * exif_reader_test.cpp - the Exif segment parser (report values, Nikon
 * white balance, thumbnail description) over synthetic segments in both
 * byte orders, reads that would leave the segment, and the three marker
 * readers inside libjpeg's header parser.
 */
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "exif/reader.h"
#include "exif_builder.h"
#include "exif_header_pass.h"
#include "harness.h"

using exifbuild::Bytes;
using exifbuild::ExifBuilder;
using exifbuild::kExifIfd;
using exifbuild::kIfd0;
using exifbuild::kIfd1;

namespace {

/* The payload parsed from a block of exactly its size, so that
 * AddressSanitizer catches any read past its end. */
struct Parsed {
  std::unique_ptr<uint8_t[]> bytes;
  ExifSegment segment;
  bool exif = false;
  ExifReportData data;
  int n = -1;
  ExifThumbnail thumbnail;
  uint32_t kind = 99;
  uint32_t orientation = 99;
};

Parsed parse(const Bytes &payload) {
  Parsed p;
  p.bytes.reset(new uint8_t[payload.size()]);
  std::memcpy(p.bytes.get(), payload.data(), payload.size());
  std::memset(&p.data, 0, sizeof p.data);
  std::memset(&p.thumbnail, 0, sizeof p.thumbnail);
  p.exif = openExifSegment(p.bytes.get(), static_cast<uint32_t>(payload.size()), &p.segment);
  if (p.exif) {
    p.n = collectReportValues(&p.segment, &p.data);
    p.kind = describeThumbnail(&p.segment, &p.thumbnail);
    p.orientation = readOrientation(&p.segment);
  }
  return p;
}

std::string str(const ExifText &t) {
  return t.bytes ? std::string(t.bytes, t.length) : std::string("<absent>");
}

bool same(double a, double b) { return (std::isnan(a) && std::isnan(b)) || a == b; }

#define CHECK_NEAR(actual, expected)                                                        \
  do {                                                                                      \
    double a_ = (actual), e_ = (expected);                                                  \
    if (!same(a_, e_) && !(std::fabs(a_ - e_) <= 1e-12 * std::fabs(e_)))                    \
      suite::Report(__FILE__, __LINE__, std::string(#actual " is ") + std::to_string(a_) + \
                                            ", expected " + std::to_string(e_));            \
  } while (0)

/* A Nikon maker note: "Nikon" 0, two version bytes, its entry count and the
 * entries, each tag/type/count/value in the segment's order. */
Bytes nikonNote(bool big, const char *name, const std::vector<std::vector<uint32_t>> &entries,
                int countOverride = -1) {
  Bytes note(name, name + 6);
  note.push_back(1);
  note.push_back(0);
  auto put = [&](uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) {
      int shift = big ? 8 * (bytes - 1 - i) : 8 * i;
      note.push_back(static_cast<uint8_t>(v >> shift));
    }
  };
  put(countOverride >= 0 ? static_cast<uint32_t>(countOverride) : static_cast<uint32_t>(entries.size()), 2);
  for (const auto &e : entries) {
    put(e[0], 2);
    put(e[1], 2);
    put(e[2], 4);
    if (e[1] == 3) {
      put(e[3], 2);
      put(0, 2);
    } else {
      put(e[3], 4);
    }
  }
  return note;
}

ExifBuilder &makerNote(ExifBuilder &b, const Bytes &note, uint32_t count = 0) {
  return b.bytes(kExifIfd, 0x927C, 7, note, count ? count : static_cast<uint32_t>(note.size()));
}

SUITE_CASE(report_values_same_in_both_byte_orders) {
  for (int big = 0; big < 2; ++big) {
    ExifBuilder b(big == 1);
    b.ascii(kIfd0, 0x010F, "Seventeen letters")
        .ascii(kIfd0, 0x0110, "X1")
        .rationals(kExifIfd, 0x829A, {{10, 600}})
        .rationals(kExifIfd, 0x829D, {{28, 10}, {56, 10}})
        .shorts(kExifIfd, 0x8822, {3})
        .shorts(kExifIfd, 0x8827, {400})
        .ascii(kExifIfd, 0x9003, "2001:04:06 11:51:40")
        .rationals(kExifIfd, 0x9102, {{3, 1}})
        .rationals(kExifIfd, 0x9201, {{6, 1}}, 10)
        .rationals(kExifIfd, 0x9204, {{-1, 3}}, 10)
        .shorts(kExifIfd, 0x9207, {5})
        .shorts(kExifIfd, 0x9208, {0x8000 + 5500})
        .shorts(kExifIfd, 0x9209, {0x19})
        .rationals(kExifIfd, 0x920A, {{58, 10}});
    const Parsed r = parse(b.payload());
    CHECK(r.exif);
    CHECK_EQ(r.n, 14);
    CHECK_EQ(str(r.data.maker), std::string("Seventeen letters"));
    CHECK_EQ(str(r.data.model), std::string("X1"));
    CHECK_EQ(str(r.data.date), std::string("2001:04:06 11:51:40"));
    CHECK_EQ(r.data.exposureTime.count, 1u);
    CHECK_NEAR(r.data.exposureTime.first, 10 / 600.0);
    CHECK_EQ(r.data.fNumber.count, 2u);
    CHECK_NEAR(r.data.fNumber.first, 2.8);
    CHECK_NEAR(r.data.fNumber.second, 5.6);
    CHECK_EQ(r.data.presentFlags, 31u);
    CHECK_EQ(r.data.exposureProgram, 3u);
    CHECK_EQ(r.data.iso, 400u);
    CHECK_EQ(r.data.meteringMode, 5u);
    CHECK_EQ(r.data.lightSource, 0x8000u + 5500);
    CHECK_EQ(r.data.flash, 0x19u);
    CHECK_NEAR(r.data.compressedBpp.first, 3);
    CHECK_EQ(r.data.shutter.count, 1u);
    CHECK_NEAR(r.data.shutter.first, 0.015625);
    CHECK_NEAR(r.data.exposureBias.first, -1 / 3.0);
    CHECK_NEAR(r.data.focalLength.first, 5.8);
  }
}

struct ReportRow {
  const char *what;
  std::function<void(ExifBuilder &)> build;
  int n;
  std::function<void(const Parsed &)> check;
};

SUITE_CASE(report_value_rules) {
  const ReportRow rows[] = {
      {"model in the entry itself",
       [](ExifBuilder &b) { b.bytes(kIfd0, 0x0110, 2, Bytes{'E', 'O', 'S', 0}, 4); }, 1,
       [](const Parsed &p) {
         CHECK_EQ(str(p.data.model), std::string("EOS"));
         /* inside IFD0's only entry: 8 header bytes, 2 count bytes, 8 into the entry */
         CHECK(reinterpret_cast<const uint8_t *>(p.data.model.bytes) == p.segment.tiff + 8 + 2 + 8);
       }},
      {"string without terminator ends at its count",
       [](ExifBuilder &b) { b.bytes(kIfd0, 0x010F, 2, Bytes{'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H'}, 7); },
       1, [](const Parsed &p) { CHECK_EQ(str(p.data.maker), std::string("ABCDEFG")); }},
      {"string ends at its first zero",
       [](ExifBuilder &b) { b.bytes(kIfd0, 0x010F, 2, Bytes{'A', 'B', 0, 'D', 'E', 'F'}, 6); }, 1,
       [](const Parsed &p) { CHECK_EQ(str(p.data.maker), std::string("AB")); }},
      {"make of another type", [](ExifBuilder &b) { b.bytes(kIfd0, 0x010F, 1, Bytes{'A', 0}, 2); },
       0, [](const Parsed &p) { CHECK(p.data.maker.bytes == nullptr); }},
      {"shutter 6/1", [](ExifBuilder &b) { b.rationals(kExifIfd, 0x9201, {{6, 1}}); }, 1,
       [](const Parsed &p) {
         CHECK_EQ(p.data.shutter.count, 1u);
         CHECK_NEAR(p.data.shutter.first, 0.015625);
         CHECK_NEAR(p.data.shutter.second, 0);
       }},
      {"shutter -1/1 lasts 2 s", [](ExifBuilder &b) { b.rationals(kExifIfd, 0x9201, {{-1, 1}}, 10); },
       1, [](const Parsed &p) { CHECK_NEAR(p.data.shutter.first, 2); }},
      {"f-number count 1", [](ExifBuilder &b) { b.rationals(kExifIfd, 0x829D, {{28, 10}}); }, 1,
       [](const Parsed &p) {
         CHECK_EQ(p.data.fNumber.count, 1u);
         CHECK_NEAR(p.data.fNumber.second, 0);
       }},
      {"exposure program as LONG", [](ExifBuilder &b) { b.longs(kExifIfd, 0x8822, {2}); }, 0,
       [](const Parsed &p) { CHECK_EQ(p.data.presentFlags, 0u); }},
      {"flash as SSHORT", [](ExifBuilder &b) { b.shorts(kExifIfd, 0x9209, {1}, 8); }, 0,
       [](const Parsed &p) { CHECK_EQ(p.data.presentFlags, 0u); }},
      {"exposure time as SHORT", [](ExifBuilder &b) { b.shorts(kExifIfd, 0x829A, {1}); }, 0,
       [](const Parsed &p) { CHECK_EQ(p.data.exposureTime.count, 0u); }},
      {"a tag twice: the later wins, both count",
       [](ExifBuilder &b) { b.shorts(kExifIfd, 0x8827, {100}).shorts(kExifIfd, 0x8827, {200}); }, 2,
       [](const Parsed &p) { CHECK_EQ(p.data.iso, 200u); }},
      {"numbers are signed", [](ExifBuilder &b) { b.rationals(kExifIfd, 0x829D, {{0xFFFFFFFF, 1}}); },
       1, [](const Parsed &p) { CHECK_NEAR(p.data.fNumber.first, -1); }},
      {"zero denominators",
       [](ExifBuilder &b) {
         b.rationals(kExifIfd, 0x829A, {{1, 0}})
             .rationals(kExifIfd, 0x829D, {{0, 0}})
             .rationals(kExifIfd, 0x9204, {{-3, 0}}, 10)
             .rationals(kExifIfd, 0x9201, {{0, 0}});
       },
       4,
       [](const Parsed &p) {
         CHECK(std::isinf(p.data.exposureTime.first) && p.data.exposureTime.first > 0);
         CHECK(std::isnan(p.data.fNumber.first));
         CHECK(std::isinf(p.data.exposureBias.first) && p.data.exposureBias.first < 0);
         CHECK(std::isnan(p.data.shutter.first));
       }},
      {"exif pointer of another type", [](ExifBuilder &b) {
         b.raw(kIfd0, 0x8769, 3, 1, 8);
       }, 0, [](const Parsed &) {}},
      /* Reads that would leave the segment are not made. */
      {"string outside", [](ExifBuilder &b) { b.raw(kIfd0, 0x010F, 2, 10, 5000); }, 0,
       [](const Parsed &p) { CHECK(p.data.maker.bytes == nullptr); }},
      {"string of a huge count", [](ExifBuilder &b) { b.raw(kIfd0, 0x0110, 2, 0xFFFFFFFF, 8); }, 0,
       [](const Parsed &) {}},
      {"rational outside", [](ExifBuilder &b) { b.raw(kExifIfd, 0x829A, 5, 1, 0xFFFFFFFC); }, 0,
       [](const Parsed &p) { CHECK_EQ(p.data.exposureTime.count, 0u); }},
      {"second rational outside",
       [](ExifBuilder &b) {
         int pair = b.blob(Bytes{0, 0, 0, 28, 0, 0, 0, 10});
         b.pointer(kExifIfd, 0x829D, pair, 0, 5, 2).shorts(kExifIfd, 0x8827, {50});
       },
       1, [](const Parsed &p) { CHECK_EQ(p.data.fNumber.count, 0u); }},
      {"exif IFD outside", [](ExifBuilder &b) { b.raw(kIfd0, 0x8769, 4, 1, 0xFFFFFFFF); }, 0,
       [](const Parsed &p) { CHECK_EQ(p.orientation, 0u); }},
      /* The orientation: 1 to 8 as a SHORT, anything else no turn (1). */
      {"orientation 6", [](ExifBuilder &b) { b.shorts(kIfd0, 0x0112, {6}); }, 0,
       [](const Parsed &p) { CHECK_EQ(p.orientation, 6u); }},
      {"orientation 0", [](ExifBuilder &b) { b.shorts(kIfd0, 0x0112, {0}); }, 0,
       [](const Parsed &p) { CHECK_EQ(p.orientation, 1u); }},
      {"orientation 9", [](ExifBuilder &b) { b.shorts(kIfd0, 0x0112, {9}); }, 0,
       [](const Parsed &p) { CHECK_EQ(p.orientation, 1u); }},
      {"orientation 65535", [](ExifBuilder &b) { b.shorts(kIfd0, 0x0112, {65535}); }, 0,
       [](const Parsed &p) { CHECK_EQ(p.orientation, 1u); }},
      {"orientation as LONG", [](ExifBuilder &b) { b.longs(kIfd0, 0x0112, {6}); }, 0,
       [](const Parsed &p) { CHECK_EQ(p.orientation, 1u); }},
      {"orientation of count 0", [](ExifBuilder &b) { b.raw(kIfd0, 0x0112, 3, 0, 0x00060006); }, 0,
       [](const Parsed &p) { CHECK_EQ(p.orientation, 1u); }},
      {"orientation twice: the later wins",
       [](ExifBuilder &b) { b.shorts(kIfd0, 0x0112, {6}).shorts(kIfd0, 0x0112, {8}); }, 0,
       [](const Parsed &p) { CHECK_EQ(p.orientation, 8u); }},
      {"orientation twice, the later damaged",
       [](ExifBuilder &b) { b.shorts(kIfd0, 0x0112, {6}).shorts(kIfd0, 0x0112, {9}); }, 0,
       [](const Parsed &p) { CHECK_EQ(p.orientation, 1u); }},
  };
  for (int big = 0; big < 2; ++big) {
    for (const ReportRow &row : rows) {
      ExifBuilder b(big == 1);
      row.build(b);
      Parsed p = parse(b.payload());
      const int failures = suite::Current().failures;
      CHECK(p.exif);
      CHECK_EQ(p.n, row.n);
      row.check(p);
      if (suite::Current().failures != failures)
        std::printf("    in row \"%s\" (%s)\n", row.what, big ? "MM" : "II");
    }
  }
}

SUITE_CASE(nikon_white_balance) {
  for (int big = 0; big < 2; ++big) {
    const bool be = big == 1;
    struct Row {
      const char *what;
      Bytes note;
      uint32_t count; /* 0: the note's size */
      int n;
      uint32_t balance;
    } rows[] = {
        {"upper-case name, SHORT", nikonNote(be, "NIKON", {{7, 3, 1, 2}}), 0, 1, 2},
        {"LONG", nikonNote(be, "Nikon", {{1, 3, 1, 9}, {7, 4, 1, 3}}), 0, 1, 3},
        {"ASCII is not taken", nikonNote(be, "Nikon", {{7, 2, 4, 0x41414100}}), 0, 0, 0},
        {"two entries: the later wins", nikonNote(be, "nikon", {{7, 3, 1, 1}, {7, 3, 1, 6}}), 0, 2, 6},
        {"20 bytes", nikonNote(be, "Nikon", {{7, 3, 1, 2}}), 20, 0, 0},
        {"another maker", nikonNote(be, "Olymp", {{7, 3, 1, 2}}), 0, 0, 0},
        {"entries beyond the count", nikonNote(be, "Nikon", {{7, 3, 1, 2}, {7, 3, 1, 4}}), 30, 0, 0},
        {"entries beyond the segment", nikonNote(be, "Nikon", {{7, 3, 1, 5}}, 3), 46, 1, 5},
    };
    for (const Row &row : rows) {
      ExifBuilder b(be);
      int note = b.blob(row.note);
      b.pointer(kExifIfd, 0x927C, note, 0, 7,
                row.count ? row.count : static_cast<uint32_t>(row.note.size()));
      Parsed p = parse(b.payload());
      const int failures = suite::Current().failures;
      CHECK_EQ(p.n, row.n);
      CHECK_EQ(p.data.makerNoteFlags, row.n > 0 ? kHasNikonWhiteBalance : 0u);
      CHECK_EQ(p.data.nikonWhiteBalance, row.balance);
      if (suite::Current().failures != failures)
        std::printf("    in row \"%s\" (%s)\n", row.what, be ? "MM" : "II");
    }
  }
  ExifBuilder b;
  makerNote(b, nikonNote(true, "Nikon", {{7, 3, 1, 2}})).raw(kExifIfd, 0x927C, 7, 40, 0xFFFFFFF0);
  Parsed p = parse(b.payload());
  CHECK_EQ(p.n, 1); /* the second note lies outside */
}

/* An IFD or maker note pointed to again is walked once: its values are
 * applied again, so the later pointer still wins, but its tags count once
 * and the entries read stay within the segment's. */
SUITE_CASE(repeated_pointers_are_walked_once) {
  exifbuild::RawTiff t; /* IFD0: Exif IFD E, F, E; E: ISO 100; F: ISO 200, flash */
  t.u16(3), t.entry(0x8769, 4, 1, 50), t.entry(0x8769, 4, 1, 68), t.entry(0x8769, 4, 1, 50), t.u32(0);
  t.u16(1), t.entry(0x8827, 3, 1, 100u << 16), t.u32(0);
  t.u16(2), t.entry(0x8827, 3, 1, 200u << 16), t.entry(0x9209, 3, 1, 1u << 16), t.u32(0);
  struct Row {
    const char *what;
    exifbuild::RawTiff tiff;
    int n;
    uint32_t visited, iso, whiteBalance;
  } rows[] = {
      {"E, F, E: E's ISO wins, each IFD counts once", t, 3, 6, 100, 0},
      {"one maker note from 1819 entries of one Exif IFD, 1819 times",
       exifbuild::RepeatedPointers(1819, 1819, 1819), 1819, 3 * 1819, 0, 2},
  };
  for (const Row &row : rows) {
    Parsed p;
    p.bytes.reset(new uint8_t[row.tiff.bytes.size()]);
    std::memcpy(p.bytes.get(), row.tiff.bytes.data(), row.tiff.bytes.size());
    std::memset(&p.data, 0, sizeof p.data);
    const int failures = suite::Current().failures;
    CHECK(openExifSegment(p.bytes.get(), static_cast<uint32_t>(row.tiff.bytes.size()), &p.segment));
    uint32_t visited = 0;
    CHECK_EQ(collectReportValues(&p.segment, &p.data, &visited), row.n);
    CHECK_EQ(visited, row.visited);
    CHECK_EQ(p.data.iso, row.iso);
    CHECK_EQ(p.data.nikonWhiteBalance, row.whiteBalance);
    if (suite::Current().failures != failures) std::printf("    in row \"%s\"\n", row.what);
  }
  /* Maker notes A (1), B (6), then A again: A's value wins, n counts A and B once. */
  ExifBuilder b;
  int a = b.blob(nikonNote(true, "Nikon", {{7, 3, 1, 1}}));
  int c = b.blob(nikonNote(true, "Nikon", {{7, 3, 1, 6}}));
  for (int note : {a, c, a}) b.pointer(kExifIfd, 0x927C, note, 0, 7, 22);
  Parsed p = parse(b.payload());
  CHECK_EQ(p.n, 2);
  CHECK_EQ(p.data.nikonWhiteBalance, 1u);
}

SUITE_CASE(segment_structure_outside_the_copy) {
  /* Entries that run out of the segment: the ones inside are read. */
  ExifBuilder b;
  b.ascii(kIfd0, 0x010F, "ABC").ascii(kIfd0, 0x0110, "XYZ");
  Bytes payload = b.payload();
  payload[6 + 8] = 0;
  payload[6 + 9] = 50;           /* IFD0 claims 50 entries */
  payload.resize(6 + 8 + 2 + 24); /* and the segment ends after two */
  Parsed p = parse(payload);
  CHECK_EQ(p.n, 2);
  CHECK_EQ(str(p.data.model), std::string("XYZ"));
  CHECK_EQ(p.kind, 0u);

  /* Half an entry at the end. */
  payload.resize(6 + 8 + 2 + 18);
  p = parse(payload);
  CHECK_EQ(p.n, 1);

  /* IFD0 outside, or its count cut in half. */
  for (uint32_t offset : {0x7FFFFFFFu, 0xFFFFFFFFu, 19u}) {
    Bytes moved = b.payload();
    moved.resize(6 + 20);
    moved[6 + 4] = static_cast<uint8_t>(offset >> 24);
    moved[6 + 5] = static_cast<uint8_t>(offset >> 16);
    moved[6 + 6] = static_cast<uint8_t>(offset >> 8);
    moved[6 + 7] = static_cast<uint8_t>(offset);
    p = parse(moved);
    CHECK_EQ(p.n, 0);
    CHECK_EQ(p.kind, 0u);
  }

  /* Not Exif. */
  const Bytes notExif[] = {
      Bytes{'E', 'x', 'i', 'f', 0, 1, 'M', 'M', 0, 42, 0, 0, 0, 8},
      Bytes{'E', 'x', 'i', 'f', 0, 0, 'M', 'I', 0, 42, 0, 0, 0, 8},
      Bytes{'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42, 0, 0, 0},
  };
  for (const Bytes &bad : notExif) CHECK(!parse(bad).exif);
}

/* ---- the thumbnail directory ---- */

/* An uncompressed w x h thumbnail in IFD1 with `bytes` of pixel data. */
ExifBuilder &rgbThumbnail(ExifBuilder &b, uint16_t w, uint16_t h, size_t bytes,
                          std::vector<uint16_t> bits = {8, 8, 8}) {
  int strip = b.blob(Bytes(bytes, 0x80));
  b.shorts(kIfd1, 0x0100, {w})
      .shorts(kIfd1, 0x0101, {h})
      .shorts(kIfd1, 0x0102, bits)
      .shorts(kIfd1, 0x0103, {1})
      .shorts(kIfd1, 0x0106, {2})
      .pointer(kIfd1, 0x0111, strip)
      .shorts(kIfd1, 0x0115, {3})
      .shorts(kIfd1, 0x0116, {h})
      .longs(kIfd1, 0x0117, {static_cast<uint32_t>(bytes)});
  return b;
}

ExifBuilder &ycbcrThumbnail(ExifBuilder &b, uint16_t w, uint16_t h, uint16_t sh, uint16_t sv,
                            size_t bytes) {
  int strip = b.blob(Bytes(bytes, 0x80));
  b.shorts(kIfd1, 0x0100, {w})
      .shorts(kIfd1, 0x0101, {h})
      .shorts(kIfd1, 0x0103, {1})
      .shorts(kIfd1, 0x0106, {6})
      .pointer(kIfd1, 0x0111, strip)
      .shorts(kIfd1, 0x0115, {3})
      .shorts(kIfd1, 0x0213, {2});
  if (sh != 0) b.shorts(kIfd1, 0x0212, {sh, sv});
  return b;
}

typedef std::function<void(ExifBuilder &)> Build;

/* Parses the thumbnail directory built by `build` (after a Make in IFD0)
 * in the given byte order. */
Parsed thumbnailOf(bool big, const Build &build) {
  ExifBuilder b(big);
  b.ascii(kIfd0, 0x010F, "Maker");
  build(b);
  return parse(b.payload());
}

/* Which kind each directory gives, and why. */
SUITE_CASE(thumbnail_kinds) {
  const Bytes jpeg = {0xFF, 0xD8, 0xFF, 0xD9};
  const struct {
    const char *what;
    Build build;
    uint32_t kind;
  } rows[] = {
      {"JPEG", [&](ExifBuilder &b) { b.shorts(kIfd1, 0x0103, {6}).pointer(kIfd1, 0x0201, b.blob(jpeg)).longs(kIfd1, 0x0202, {4}); }, 1},
      {"JPEG wins over RGB", [&](ExifBuilder &b) { rgbThumbnail(b, 2, 2, 12).pointer(kIfd1, 0x0201, b.blob(jpeg)).longs(kIfd1, 0x0202, {4}); }, 1},
      {"JPEG not at FF D8: RGB rules", [&](ExifBuilder &b) { rgbThumbnail(b, 2, 2, 12).pointer(kIfd1, 0x0201, b.blob(jpeg), 1).longs(kIfd1, 0x0202, {4}); }, 2},
      {"JPEG offset as SHORT", [&](ExifBuilder &b) { b.shorts(kIfd1, 0x0201, {8}).longs(kIfd1, 0x0202, {4}); }, 0},
      {"JPEG past the segment", [&](ExifBuilder &b) { b.pointer(kIfd1, 0x0201, b.blob(jpeg)).longs(kIfd1, 0x0202, {5}); }, 0},
      {"RGB", [](ExifBuilder &b) { rgbThumbnail(b, 4, 3, 36); }, 2},
      {"RGB 8,8,4", [](ExifBuilder &b) { rgbThumbnail(b, 4, 3, 36, {8, 8, 4}); }, 0},
      {"BitsPerSample of count 1 ignored", [](ExifBuilder &b) { rgbThumbnail(b, 4, 3, 36, {4}); }, 2},
      {"RGB data past the segment", [](ExifBuilder &b) { rgbThumbnail(b, 4, 3, 35); }, 0},
      {"RGB of width 0", [](ExifBuilder &b) { rgbThumbnail(b, 0, 3, 36); }, 0},
      {"RowsPerStrip before ImageLength", [](ExifBuilder &b) { rgbThumbnail(b.shorts(kIfd1, 0x0116, {3}), 4, 3, 36); }, 0},
      {"compressed without JPEG", [](ExifBuilder &b) { rgbThumbnail(b, 4, 3, 36).shorts(kIfd1, 0x0103, {6}); }, 0},
      {"one sample per pixel", [](ExifBuilder &b) { rgbThumbnail(b, 4, 3, 36).shorts(kIfd1, 0x0115, {1}); }, 0},
      {"planar", [](ExifBuilder &b) { rgbThumbnail(b, 4, 3, 36).shorts(kIfd1, 0x011C, {2}); }, 0},
      {"grey", [](ExifBuilder &b) { rgbThumbnail(b, 4, 3, 36).shorts(kIfd1, 0x0106, {1}); }, 0},
      {"YCbCr", [](ExifBuilder &b) { ycbcrThumbnail(b, 4, 2, 2, 1, 16); }, 3},
      {"YCbCr positioned 1", [](ExifBuilder &b) { ycbcrThumbnail(b, 4, 2, 2, 1, 16).shorts(kIfd1, 0x0213, {1}); }, 0},
      {"ReferenceBlackWhite of 3", [](ExifBuilder &b) { ycbcrThumbnail(b, 4, 2, 2, 1, 16).rationals(kIfd1, 0x0214, {{0, 1}, {255, 1}, {128, 1}}); }, 0},
      {"YCbCrCoefficients of 2", [](ExifBuilder &b) { ycbcrThumbnail(b, 4, 2, 2, 1, 16).rationals(kIfd1, 0x0211, {{1, 3}, {1, 3}}); }, 0},
      {"YCbCr without subsampling", [](ExifBuilder &b) { ycbcrThumbnail(b, 4, 2, 0, 0, 64); }, 0},
      {"YCbCr one unit short", [](ExifBuilder &b) { ycbcrThumbnail(b, 5, 2, 2, 1, 3 * 4 * 2 - 1); }, 0},
      {"YCbCr huge subsampling", [](ExifBuilder &b) { ycbcrThumbnail(b, 1, 1, 65535, 65535, 64); }, 0},
      {"no IFD1", [](ExifBuilder &b) { rgbThumbnail(b, 1, 1, 3).writeIfd1(false); }, 0},
  };
  for (int big = 0; big < 2; ++big) {
    for (const auto &row : rows) {
      Parsed p = thumbnailOf(big == 1, row.build);
      if (!p.exif || p.kind != row.kind || p.thumbnail.kind != row.kind)
        suite::Report(__FILE__, __LINE__, std::string(row.what) + (big ? " (MM)" : " (II)") +
                                              ": kind " + std::to_string(p.kind));
    }
  }
}

/* The fields a usable thumbnail carries, with their defaults. */
SUITE_CASE(thumbnail_fields) {
  for (int big = 0; big < 2; ++big) {
    Parsed p = thumbnailOf(big == 1, [](ExifBuilder &b) {
      b.pointer(kIfd1, 0x0201, b.blob(Bytes{0xFF, 0xD8, 0xFF, 0xD9})).longs(kIfd1, 0x0202, {4});
    });
    CHECK_EQ(p.segment.tiff[p.thumbnail.jpegOffset + 1], 0xD8);
    CHECK_EQ(p.thumbnail.jpegLength, 4u);

    p = thumbnailOf(big == 1, [](ExifBuilder &b) { rgbThumbnail(b, 4, 3, 36); });
    CHECK_EQ(p.thumbnail.width, 4u);
    CHECK_EQ(p.thumbnail.height, 3u);
    CHECK_EQ(p.thumbnail.photometric, 2u);
    CHECK_EQ(p.thumbnail.stripByteCount, 36u);
    CHECK_EQ(p.segment.tiff[p.thumbnail.stripOffset], 0x80);

    p = thumbnailOf(big == 1, [](ExifBuilder &b) { ycbcrThumbnail(b, 4, 2, 2, 1, 16); });
    const double luma[3] = {0.299, 0.587, 0.114}, rbw[6] = {15, 235, 128, 240, 128, 240};
    for (int i = 0; i < 3; ++i) CHECK_NEAR(p.thumbnail.lumaCoefficients[i], luma[i]);
    for (int i = 0; i < 6; ++i) CHECK_NEAR(p.thumbnail.referenceBlackWhite[i], rbw[i]);
    CHECK_EQ(p.thumbnail.subsamplingH, 2u);
    CHECK_EQ(p.thumbnail.subsamplingV, 1u);

    p = thumbnailOf(big == 1, [](ExifBuilder &b) {
      ycbcrThumbnail(b, 4, 2, 2, 2, 12)
          .rationals(kIfd1, 0x0211, {{2990, 10000}, {5870, 10000}, {1140, 10000}})
          .rationals(kIfd1, 0x0214, {{0, 1}, {255, 1}, {128, 1}, {255, 1}, {127, 1}, {255, 1}});
    });
    CHECK_NEAR(p.thumbnail.lumaCoefficients[1], 0.587);
    CHECK_NEAR(p.thumbnail.referenceBlackWhite[0], 0);
    CHECK_NEAR(p.thumbnail.referenceBlackWhite[4], 127);

    /* Coefficients that lie outside leave the defaults. */
    p = thumbnailOf(big == 1, [](ExifBuilder &b) {
      ycbcrThumbnail(b, 4, 2, 2, 1, 16).raw(kIfd1, 0x0211, 5, 3, 0xFFFFFFF0);
    });
    CHECK_EQ(p.kind, 3u);
    CHECK_NEAR(p.thumbnail.lumaCoefficients[0], 0.299);
  }
}

/* Rounded quotients of XResolution and YResolution when both can be read,
 * else 72 and 72. */
SUITE_CASE(thumbnail_resolution) {
  const uint32_t outside = 60000;
  const struct {
    std::vector<std::pair<int64_t, int64_t>> x, y; /* empty: absent */
    bool xOutside;
    uint32_t expectedX, expectedY;
  } rows[] = {
      {{{180, 1}}, {{143, 2}}, false, 180, 72}, /* 71.5 rounds up */
      {{{714, 10}}, {{300, 1}}, false, 71, 300},
      {{{300, 1}}, {}, false, 72, 72},
      {{}, {{300, 1}}, true, 72, 72},
      {{{300, 0}}, {{300, 1}}, false, 72, 72},
      {{{-300, 1}}, {{300, 1}}, false, 72, 72},
  };
  for (const auto &row : rows) {
    Parsed p = thumbnailOf(true, [&](ExifBuilder &b) {
      rgbThumbnail(b, 1, 1, 3);
      if (!row.x.empty()) b.rationals(kIfd1, 0x011A, row.x, 10);
      if (row.xOutside) b.raw(kIfd1, 0x011A, 5, 1, outside);
      if (!row.y.empty()) b.rationals(kIfd1, 0x011B, row.y);
    });
    CHECK_EQ(p.kind, 2u);
    CHECK_EQ(p.thumbnail.xResolution, row.expectedX);
    CHECK_EQ(p.thumbnail.yResolution, row.expectedY);
  }
}

/* ---- the marker readers inside libjpeg's header pass ---- */

using exifpass::kComment;
using exifpass::kPreview;
using exifpass::kReport;

Bytes exifWithMake(const char *make) {
  ExifBuilder b;
  b.ascii(kIfd0, 0x010F, make);
  return exifbuild::app1(b.payload());
}

struct PassRow {
  const char *what;
  std::vector<Bytes> segments;
  int readers;
  std::string text;    /* expected text of the slot ("" for none) */
  uint32_t length;     /* expected slot length */
  bool hasBlock;       /* whether the slot holds a block */
};

SUITE_CASE(text_slot_from_comment_and_report) {
  const std::string canon = "             Maker: Canon\r\n";
  ExifBuilder noTags;
  noTags.shorts(kIfd0, 0x0112, {1});
  const Bytes xmp = exifbuild::segment(0xE1, Bytes{'h', 't', 't', 'p', ':', '/', '/', 'n', 's', '.',
                                                   'a', 'd', 'o', 'b', 'e', '.', 'c', 'o', 'm', 0});
  const PassRow rows[] = {
      {"report", {exifWithMake("Canon")}, kReport | kComment, canon, 293, true},
      {"comment", {exifbuild::comment("hello")}, kReport | kComment, "hello", 5, true},
      {"comment, then report", {exifbuild::comment("hello"), exifWithMake("Canon")},
       kReport | kComment, canon, 293, true},
      {"report, then comment", {exifWithMake("Canon"), exifbuild::comment("hello")},
       kReport | kComment, canon, 293, true},
      {"second report wins", {exifWithMake("Canon"), exifWithMake("Nikon")},
       kReport | kComment, "             Maker: Nikon\r\n", 293, true},
      {"first comment wins", {exifbuild::comment("one"), exifbuild::comment("second")},
       kReport | kComment, "one", 3, true},
      {"empty comment holds the slot", {exifbuild::comment(""), exifbuild::comment("later")},
       kReport | kComment, "", 0, true},
      {"exif without tags keeps the comment",
       {exifbuild::comment("hello"), exifbuild::app1(noTags.payload())}, kReport | kComment, "hello",
       5, true},
      {"other APP1 skipped", {xmp, exifbuild::comment("hello")}, kReport | kComment, "hello", 5, true},
      {"comment reader only", {exifWithMake("Canon"), exifbuild::comment("hello")}, kComment,
       "hello", 5, true},
      {"APP1 length 0", {Bytes{0xFF, 0xE1, 0, 0}, exifbuild::comment("after")}, kReport | kComment,
       "after", 5, true},
      {"APP1 length 1", {Bytes{0xFF, 0xE1, 0, 1}}, kReport | kComment, "", 0, false},
      {"APP1 length 2", {Bytes{0xFF, 0xE1, 0, 2}}, kReport | kComment, "", 0, false},
      {"APP1 too short for Exif", {exifbuild::segment(0xE1, Bytes{'E', 'x', 'i', 'f', 0, 0, 'M', 'M'})},
       kReport | kComment, "", 0, false},
      {"COM length 1 ignored", {Bytes{0xFF, 0xFE, 0, 1}, exifbuild::comment("next")},
       kReport | kComment, "next", 4, true},
      {"COM length 0 ignored", {Bytes{0xFF, 0xFE, 0, 0}}, kReport | kComment, "", 0, false},
  };
  for (const PassRow &row : rows) {
    RequestContext context;
    const int failures = suite::Current().failures;
    CHECK_EQ(exifpass::readHeader(&context, exifbuild::jpegWith(row.segments), row.readers), 0);
    CHECK_EQ(exifpass::slotText(context), row.text);
    CHECK_EQ(context.textLength, row.length);
    CHECK_EQ(context.textHandle != nullptr, row.hasBlock);
    if (context.textHandle) CHECK_EQ(LocalFlags(context.textHandle) & LMEM_LOCKCOUNT, 0u);
    CHECK(context.thumbnail.savedSegment == nullptr);
    exifpass::releaseContext(&context);
    if (suite::Current().failures != failures) std::printf("    in row \"%s\"\n", row.what);
  }
}

/* A stream that ends inside the Exif segment: the copy is completed with
 * the source's end markers and freed; the header pass then fails. */
SUITE_CASE(stream_ending_inside_the_segment) {
  ExifBuilder b;
  b.ascii(kIfd0, 0x010F, "Canon");
  for (int readers : {kReport | kComment, static_cast<int>(kPreview)}) {
    Bytes jpeg = exifbuild::jpegWith({exifbuild::app1(b.payload())});
    jpeg.resize(2 + 4 + 20);
    RequestContext context;
    CHECK(exifpass::readHeader(&context, jpeg, readers) != 0);
    CHECK(context.textHandle == nullptr);
    CHECK(context.thumbnail.savedSegment == nullptr);
    exifpass::releaseContext(&context);
  }
}

#ifndef _WIN32
/* Without local memory the comment is skipped, and a report that cannot be
 * built leaves the comment in place. */
SUITE_CASE(text_slot_without_memory) {
  RequestContext context;
  StandinFailLocalAllocAt(1);
  CHECK_EQ(exifpass::readHeader(&context, exifbuild::jpegWith({exifbuild::comment("hello")}),
                                kReport | kComment), 0);
  StandinFailLocalAllocAt(0);
  CHECK(context.textHandle == nullptr);
  CHECK_EQ(context.textLength, 0u);
  exifpass::releaseContext(&context);

  StandinFailLocalAllocAt(2);
  CHECK_EQ(exifpass::readHeader(
               &context, exifbuild::jpegWith({exifbuild::comment("hello"), exifWithMake("Canon")}),
               kReport | kComment), 0);
  StandinFailLocalAllocAt(0);
  CHECK_EQ(exifpass::slotText(context), std::string("hello"));
  exifpass::releaseContext(&context);
}
#endif

SUITE_CASE(preview_reader_keeps_the_thumbnail_segment) {
  ExifBuilder first;
  rgbThumbnail(first, 4, 3, 36);
  ExifBuilder second(false);
  rgbThumbnail(second, 2, 5, 30);
  ExifBuilder noThumbnail;
  noThumbnail.ascii(kIfd0, 0x010F, "Canon");
  const Bytes xmp = exifbuild::segment(0xE1, Bytes(40, 'x'));
  const struct {
    const char *what;
    std::vector<Bytes> segments;
    uint32_t kind, width;
    const Bytes *kept;
  } rows[] = {
      {"one", {exifbuild::app1(first.payload())}, 2, 4, nullptr},
      {"two: the second replaces the first",
       {exifbuild::app1(first.payload()), exifbuild::app1(second.payload())}, 2, 2, nullptr},
      {"a later foreign APP1 leaves it", {exifbuild::app1(first.payload()), xmp}, 2, 4, nullptr},
      {"a later Exif segment without one clears it",
       {exifbuild::app1(first.payload()), exifbuild::app1(noThumbnail.payload())}, 0, 0, nullptr},
      {"none", {exifbuild::app1(noThumbnail.payload())}, 0, 0, nullptr},
  };
  Bytes firstPayload = first.payload(), secondPayload = second.payload();
  for (const auto &row : rows) {
    RequestContext context;
    const int failures = suite::Current().failures;
    CHECK_EQ(exifpass::readHeader(&context, exifbuild::jpegWith(row.segments), kPreview), 0);
    CHECK_EQ(context.thumbnail.kind, row.kind);
    CHECK_EQ(context.thumbnail.width, row.width);
    CHECK(context.textHandle == nullptr);
    if (row.kind != 0) {
      const Bytes &expected = row.width == 4 ? firstPayload : secondPayload;
      CHECK(context.thumbnail.savedSegment != nullptr &&
            std::memcmp(context.thumbnail.savedSegment, expected.data(), expected.size()) == 0);
    }
    exifpass::releaseContext(&context);
    if (suite::Current().failures != failures) std::printf("    in row \"%s\"\n", row.what);
  }
}

}  // namespace
