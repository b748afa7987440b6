/*
 * e2e_queries.cpp - IsSupported and GetPictureInfo of the built plug-in,
 * called as the viewer calls them: blocks that end inside the header, host
 * file handles, containers, densities, colour depth, the text (comment,
 * Exif report, container text), failures, and that neither query touches
 * the external decoder.
 *
 * usage: e2e_queries PATH-TO-MOVRELA.MQF
 */
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "e2e_host.h"
#include "e2e_inputs.h"

namespace {

using camera::Data;
using e2e::Input;
using e2e::Plugin;

/* Offset of the first segment with `marker` in a JPEG stream, or 0. */
size_t MarkerOffset(const Data &jpeg, uint8_t marker) {
  size_t i = 2;
  while (i + 4 <= jpeg.size() && jpeg[i] == 0xFF) {
    if (jpeg[i + 1] == marker) return i;
    if (jpeg[i + 1] == 0xDA) break;
    i += 2 + (static_cast<size_t>(jpeg[i + 2]) << 8 | jpeg[i + 3]);
  }
  return 0;
}

/* `jpeg` with a comment after its SOI so long that the segment with
 * `marker` starts at `at`. */
Data MarkerAt(const Data &jpeg, uint8_t marker, size_t at) {
  size_t offset = MarkerOffset(jpeg, marker);
  if (offset == 0 || at < offset + 4) {
    suite::Report(__FILE__, __LINE__, "cannot place marker " + suite::Show(marker));
    return jpeg;
  }
  Data filler(at - offset - 4, 'c');
  return e2e::WithSegments(jpeg, {exifbuild::segment(0xFE, filler)});
}

Data Prefix(const Data &bytes, size_t n) {
  return Data(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n < bytes.size() ? n : bytes.size()));
}

SUITE_CASE(is_supported_reads_blocks_and_host_handles) {
  const Data plain = e2e::Jpeg();
  /* A J6I signature with a zero distance field; the stream at 44 starts
   * with a comment of zeros, so that bytes 0x38-0x3B stay zero. */
  Data j6iAt44(44, camera::kFiller);
  const uint8_t signature[7] = {0x80, 0x01, 'D', 'S', 'C', 'I', 'M'};
  std::memcpy(j6iAt44.data(), signature, sizeof signature);
  j6iAt44 = e2e::Concat(j6iAt44, e2e::WithSegments(plain, {exifbuild::segment(0xFE, Data(16, 0))}));
  Data photoshop = {'8', 'B', 'P', 'S', 0, 1, 0, 0, 0, 0, 0, 0};
  photoshop = e2e::Concat(e2e::Concat(photoshop, Data(100, 0x22)), plain);
  Data photoshopUsed = photoshop;
  photoshopUsed[9] = 1;

  struct Row {
    const char *label;
    Data bytes;
    int32_t search, j6i, pmp; /* settings; -1 default (on) */
    int32_t block;            /* answer for the 2048-byte block */
    int32_t handle;           /* answer for a handle on the whole file */
  } rows[] = {
      {"small JPEG", plain, -1, -1, -1, 1, 1},
      {"block ends inside a comment", MarkerAt(plain, 0xDB, 3000), -1, -1, -1, 1, 1},
      {"block ends inside APP1",
       e2e::WithSegments(plain, {exifbuild::segment(0xE1, Data(3000, 'e'))}), -1, -1, -1, 1, 1},
      {"block ends inside APP0", MarkerAt(plain, 0xE0, 2040), -1, -1, -1, 1, 1},
      {"block ends inside DQT", MarkerAt(plain, 0xDB, 2040), -1, -1, -1, 1, 1},
      {"block ends inside SOF0", MarkerAt(plain, 0xC0, 2040), -1, -1, -1, 1, 1},
      {"block ends inside DHT", MarkerAt(plain, 0xC4, 2040), -1, -1, -1, 1, 1},
      {"block ends inside SOS", MarkerAt(plain, 0xDA, 2044), -1, -1, -1, 1, 1},
      {"block ends between markers", MarkerAt(plain, 0xDB, 2048), -1, -1, -1, 1, 1},
      {"JPEG behind 300 bytes", e2e::Behind(300, plain), -1, -1, -1, 1, 1},
      {"JPEG behind 300 bytes, search off", e2e::Behind(300, plain), 0, -1, -1, 0, 0},
      {"GIF", e2e::Gif(), -1, -1, -1, 0, 0},
      {"GIF, search off", e2e::Gif(), 0, -1, -1, 0, 0},
      /* The block ends between markers; the file ends there too. */
      {"no marker behind SOI", e2e::SoiThenGarbage(), -1, -1, -1, 1, 0},
      {"J6I", camera::MakeJ6i(plain), -1, -1, -1, 1, 1},
      {"J6I, J6I off: found by the search", camera::MakeJ6i(plain), -1, 0, -1, 1, 1},
      {"J6I without distance, stream at 44", j6iAt44, -1, -1, -1, 0, 0},
      {"the same, J6I off", j6iAt44, -1, 0, -1, 1, 1},
      {"PMP", camera::MakePmp(plain), -1, -1, -1, 1, 1},
      {"unknown header, stream at 204", e2e::Behind(204, plain), -1, -1, -1, 0, 0},
      {"the same, PMP off", e2e::Behind(204, plain), -1, -1, 0, 1, 1},
      {"Photoshop thumbnail", photoshop, -1, -1, -1, 0, 0},
      {"8BPS with a used reserved field", photoshopUsed, -1, -1, -1, 1, 1},
  };
  for (const Row &row : rows) {
    suite::ResetStore();
    if (row.search >= 0) e2e::SetMain("SearchMarkerSupport", row.search);
    if (row.j6i >= 0) store::SetNumber("Software\\Doru\\movrela\\J6I", "J6ISupport", row.j6i);
    if (row.pmp >= 0) store::SetNumber("Software\\Doru\\movrela\\PMP", "PMPSupport", row.pmp);
    Plugin plugin;
    if (!plugin.ok()) return;
    Input in(row.bytes);
    /* The file name plays no part. */
    for (const char *name : {"x.jpg", "y.gif", static_cast<const char *>(nullptr)})
      CHECK_EQ_AT(std::string(row.label) + " [block, name " + suite::Show(name) + "]",
                  e2e::SupportedBlock(plugin, row.bytes, name), row.block);
    CHECK_EQ_AT(std::string(row.label) + " [handle]", e2e::SupportedHandle(plugin, in), row.handle);
  }
}

SUITE_CASE(is_supported_on_a_file_cut_inside_the_header_is_0) {
  const Data plain = e2e::Jpeg();
  struct Row {
    const char *label;
    Data whole;
    size_t cut;
  } rows[] = {
      {"inside a comment", MarkerAt(plain, 0xDB, 3000), 2500},
      {"inside DQT", MarkerAt(plain, 0xDB, 2040), 2048},
      {"inside SOF0", MarkerAt(plain, 0xC0, 2040), 2048},
      {"between markers", MarkerAt(plain, 0xDB, 2048), 2048},
      {"after the SOI", plain, 2},
  };
  Plugin plugin;
  if (!plugin.ok()) return;
  for (const Row &row : rows) {
    Input cut(Prefix(row.whole, row.cut));
    CHECK_EQ_AT(row.label, e2e::SupportedHandle(plugin, cut), 0);
    /* The same bytes as the host's block: the header goes on after it. */
    if (row.cut == 2048) CHECK_EQ_AT(row.label, e2e::SupportedBlock(plugin, cut.bytes), 1);
  }
}

SUITE_CASE(picture_information_gives_size_densities_and_depth) {
  maker::Picture base;
  base.width = 37;
  base.height = 21;
  struct Row {
    const char *label;
    int unit, x, y;        /* JFIF density */
    bool jfif;
    J_COLOR_SPACE input, stored;
    int32_t ignoreAspect;  /* IgnorePixelAspectRatio */
    uint16_t wantX, wantY;
    int16_t depth;
    bool pmp = false;      /* inside a PMP container, whose handler keeps the densities */
  } rows[] = {
      {"dots per cm 28 x 28", 2, 28, 28, true, JCS_RGB, JCS_UNKNOWN, 0, 2800, 2800, 24},
      {"dots per cm, aspect ignored", 2, 28, 28, true, JCS_RGB, JCS_UNKNOWN, 1, 1, 1, 24},
      {"dots per cm beyond 16 bits", 2, 700, 350, true, JCS_RGB, JCS_UNKNOWN, 0, 4464, 35000, 24},
      {"dots per inch", 1, 300, 150, true, JCS_RGB, JCS_UNKNOWN, 0, 300, 150, 24},
      {"aspect only", 0, 2, 1, true, JCS_RGB, JCS_UNKNOWN, 0, 2, 1, 24},
      {"aspect only, ignored", 0, 2, 1, true, JCS_RGB, JCS_UNKNOWN, 1, 1, 1, 24},
      {"no JFIF segment", 0, 0, 0, false, JCS_RGB, JCS_UNKNOWN, 0, 1, 1, 24},
      {"grey", 1, 72, 72, true, JCS_GRAYSCALE, JCS_UNKNOWN, 0, 72, 72, 8},
      {"stored as RGB", 1, 72, 72, false, JCS_RGB, JCS_RGB, 0, 1, 1, 24},
      {"CMYK", 1, 72, 72, false, JCS_CMYK, JCS_UNKNOWN, 0, 1, 1, 24},
      {"YCCK", 1, 72, 72, false, JCS_CMYK, JCS_YCCK, 0, 1, 1, 24},
      {"PMP, dots per cm", 2, 28, 28, true, JCS_RGB, JCS_UNKNOWN, 0, 2800, 2800, 24, true},
      {"PMP, dots per cm, aspect ignored", 2, 28, 28, true, JCS_RGB, JCS_UNKNOWN, 1, 100, 100, 24, true},
  };
  for (const Row &row : rows) {
    maker::Picture p = base;
    p.densityUnit = row.unit;
    p.xDensity = row.x;
    p.yDensity = row.y;
    p.jfif = row.jfif;
    p.input = row.input;
    p.stored = row.stored;
    Data jpeg = e2e::Encoded(p);
    if (row.pmp) jpeg = camera::MakePmp(jpeg);
    Input plainFile(jpeg);
    Input behind(e2e::Behind(1000, jpeg));
    suite::ResetStore();
    e2e::SetMain("IgnorePixelAspectRatio", row.ignoreAspect);
    Plugin plugin;
    if (!plugin.ok()) return;
    struct Ask {
      const char *how;
      const Input &in;
      uint32_t flag;
      int32_t offset;
    } asks[] = {{" [file]", plainFile, 0, 0},
                {" [memory]", plainFile, 1, 0},
                {" [file at offset 1000]", behind, 2, 1000},
                {" [memory, flag with high bits]", plainFile, 0xFFFFFF09u, 0}};
    for (const Ask &ask : asks) {
      std::string where = std::string(row.label) + ask.how;
      e2e::Info info = e2e::QueryInfo(plugin, ask.in, ask.flag, ask.offset);
      CHECK_EQ_AT(where, info.result, 0);
      CHECK_EQ_AT(where, info.record.left, 0);
      CHECK_EQ_AT(where, info.record.top, 0);
      CHECK_EQ_AT(where, info.record.width, 37);
      CHECK_EQ_AT(where, info.record.height, 21);
      CHECK_EQ_AT(where, info.record.xDensity, row.wantX);
      CHECK_EQ_AT(where, info.record.yDensity, row.wantY);
      CHECK_EQ_AT(where, info.record.bitDepth, row.depth);
      CHECK_EQ_AT(where, info.hasText, row.pmp);
    }
  }
}

SUITE_CASE(picture_information_text_is_comment_exif_report_or_container_text) {
  const Data plain = e2e::Jpeg();
  const Data comment = exifbuild::comment("a comment of the picture");
  const Data exif = e2e::ExifSegment(1, e2e::ThumbnailJpeg(), "TextCam");
  exifbuild::ExifBuilder thumbnailOnly;
  thumbnailOnly.raw(exifbuild::kIfd0, 0x0131 /* Software, not reported */, 2, 4, 0x41424300);
  const Data noReportTags = exifbuild::app1(thumbnailOnly.payload());
  camera::PmpHeader pmp;
  pmp.comment = "PMPNOTE";
  struct Row {
    const char *label;
    Data bytes;
    int32_t exifSupport;   /* -1 default (on) */
    const char *text;      /* null: no text */
    bool exact;            /* the text is exactly this, else it contains it */
  } rows[] = {
      {"comment", e2e::WithSegments(plain, {comment}), -1, "a comment of the picture", true},
      {"Exif report replaces the comment", e2e::WithSegments(plain, {exif, comment}), -1, "TextCam", false},
      {"comment before the Exif segment", e2e::WithSegments(plain, {comment, exif}), -1, "TextCam", false},
      {"Exif off: the comment", e2e::WithSegments(plain, {exif, comment}), 0, "a comment of the picture", true},
      {"Exif without report tags: the comment", e2e::WithSegments(plain, {noReportTags, comment}), -1,
       "a comment of the picture", true},
      {"Exif alone", e2e::WithSegments(plain, {exif}), -1, "TextCam", false},
      {"neither", plain, -1, nullptr, true},
      {"empty comment", e2e::WithSegments(plain, {exifbuild::comment("")}), -1, nullptr, true},
      {"the first of two comments", e2e::WithSegments(plain, {comment, exifbuild::comment("second")}), -1,
       "a comment of the picture", true},
      {"J6I: its date", camera::MakeJ6i(e2e::WithSegments(plain, {comment})), -1, "97/05/21 13:45:00", true},
      {"PMP: its text", camera::MakePmp(e2e::WithSegments(plain, {exif}), pmp), -1, "PMPNOTE", false},
  };
  for (const Row &row : rows) {
    suite::ResetStore();
    if (row.exifSupport >= 0) e2e::SetMain("ExifSupport", row.exifSupport);
    Plugin plugin;
    if (!plugin.ok()) return;
    Input in(row.bytes);
    for (uint32_t flag : {0u, 1u}) {
      std::string where = std::string(row.label) + (flag ? " [memory]" : " [file]");
      e2e::Info info = e2e::QueryInfo(plugin, in, flag);
      CHECK_EQ_AT(where, info.result, 0);
      CHECK_EQ_AT(where, info.hasText, row.text != nullptr);
      if (!row.text) continue;
      if (row.exact) CHECK_EQ_AT(where, info.text, std::string(row.text));
      else CHECK_AT(where, info.text.find(row.text) != std::string::npos);
      CHECK_AT(where, info.text.find("a comment") == std::string::npos || row.exact);
    }
  }
}

/* The report is in the viewer's language as each call finds it: Japanese
 * unless its flag says 0. */
SUITE_CASE(exif_report_follows_the_viewer_language_at_each_call) {
  Plugin plugin;
  if (!plugin.ok()) return;
  Input in(e2e::WithSegments(e2e::Jpeg(), {e2e::ExifSegment(1, e2e::ThumbnailJpeg(), "TextCam")}));
  for (int japanese : {-1, 0, 1, 0}) {
    if (japanese >= 0) store::SetNumber("Software\\Merovane\\Orvid\\Resource", "Japanese", japanese);
    const std::string text = e2e::QueryInfo(plugin, in, 1).text;
    CHECK_EQ(text.find("Maker: TextCam") != std::string::npos, japanese == 0);
    CHECK(text.find("TextCam") != std::string::npos);
  }
}

SUITE_CASE(failed_information_leaves_the_record_untouched) {
  const Data plain = e2e::Jpeg(64, 64);
  struct Row {
    const char *label;
    Data bytes;
    int32_t search; /* -1 default */
    int32_t result;
  } rows[] = {
      {"GIF", e2e::Gif(), -1, 2},
      {"GIF, search off", e2e::Gif(), 0, 3},
      {"no marker behind SOI", e2e::SoiThenGarbage(), -1, 3},
      {"ends inside the header", Prefix(plain, 300), -1, 3},
      {"ends after the SOI", Prefix(plain, 2), -1, 3},
      {"comment, then the end", Prefix(e2e::WithSegments(plain, {exifbuild::comment("text")}), 300), -1, 3},
      {"Exif report, then the end", Prefix(e2e::WithSegments(plain, {e2e::ExifSegment(0)}), 300), -1, 3},
      {"SOI only at the last two bytes", e2e::Behind(2046, Data{0xFF, 0xD8}), -1, 3},
      {"empty", Data(), -1, 2},
      {"Photoshop thumbnail",
       e2e::Concat(Data{'8', 'B', 'P', 'S', 0, 1, 0, 0, 0, 0, 0, 0}, plain), -1, 2},
  };
  for (const Row &row : rows) {
    suite::ResetStore();
    if (row.search >= 0) e2e::SetMain("SearchMarkerSupport", row.search);
    Plugin plugin;
    if (!plugin.ok()) return;
    Input in(row.bytes);
    for (uint32_t flag : {0u, 1u}) {
      std::string where = std::string(row.label) + (flag ? " [memory]" : " [file]");
      e2e::Info info = e2e::QueryInfo(plugin, in, flag);
      CHECK_EQ_AT(where, info.result, row.result);
      CHECK_AT(where, info.untouched);
    }
  }

  Plugin plugin;
  if (!plugin.ok()) return;
  /* A missing file: 6. */
  e2e::HostPictureInfo record;
  std::memset(&record, 0xAB, sizeof record);
  std::string missing = e2e::Where().fakes + "/no-such-picture.jpg";
  CHECK_EQ(plugin.GetPictureInfo(const_cast<char *>(missing.c_str()), 0, 0, &record), 6);
  e2e::HostPictureInfo preset;
  std::memset(&preset, 0xAB, sizeof preset);
  CHECK(std::memcmp(&record, &preset, sizeof record) == 0);

  /* Cut inside the scan data, the header is whole: the picture's size. */
  Input scanCut(Prefix(plain, plain.size() - 40));
  for (uint32_t flag : {0u, 1u}) {
    e2e::Info info = e2e::QueryInfo(plugin, scanCut, flag);
    CHECK_EQ(info.result, 0);
    CHECK_EQ(info.record.width, 64);
  }
}

SUITE_CASE(queries_never_call_the_external_decoder) {
  e2e::Fake &fake = e2e::UseFake();
  Plugin plugin;
  if (!plugin.ok() || !fake.ok()) return;
  const Data inputs[] = {e2e::Jpeg(), e2e::ExifJpeg(1), camera::MakeJ6i(e2e::Jpeg()), e2e::Gif()};
  for (const Data &bytes : inputs) {
    Input in(bytes);
    e2e::SupportedBlock(plugin, bytes);
    e2e::SupportedHandle(plugin, in);
    e2e::QueryInfo(plugin, in, 0);
    e2e::QueryInfo(plugin, in, 1);
  }
  for (int f = 0; f < FakeFunctionCount; ++f) CHECK_EQ_AT(suite::Show(f), fake.CallCount(f), 0);
  /* ... while a picture request does. */
  CHECK_EQ(e2e::Request(plugin.GetPicture, Input(e2e::Jpeg()), 0).result, 0);
  CHECK_EQ(fake.CallCount(FakeGetPicture), 1);
}

}  // namespace

E2E_MAIN()
