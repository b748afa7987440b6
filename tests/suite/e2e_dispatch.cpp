/*
 * e2e_dispatch.cpp - GetPicture and GetPreview of the built plug-in, called
 * as the viewer calls them, with the fake external decoders and with
 * quorel.mqf: which path serves which request, what the external decoder
 * is handed, how its answers reach the host, where it is loaded from, the
 * fall-back to the internal decoder, and camera files.
 *
 * usage: e2e_dispatch PATH-TO-MOVRELA.MQF
 */
#include <cctype>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "colour_profiles.h"
#include "e2e_host.h"
#include "e2e_inputs.h"
#include "e2e_outcome.h"
#include "upright.h"

namespace {

using e2e::Answer;
using e2e::CopyWholeFile;
using e2e::MakeFolder;
using e2e::Fake;
using e2e::Input;
using e2e::Plugin;

const char *InputKind(uint32_t flag) { return (flag & 7u) == 1u ? " [memory]" : " [file]"; }

/* The default fake bitmap is 16 x 8. J6I cases cut 2 + 2 columns; the PMP
 * cases carry orientation 1, a quarter turn. */
void CameraSettings() {
  store::SetNumber("Software\\Doru\\movrela\\J6I", "Left", 2);
  store::SetNumber("Software\\Doru\\movrela\\J6I", "Right", 2);
  e2e::SetMain("ReportDialog", 0);
}

camera::Data PmpTurned(const camera::Data &jpeg) {
  camera::PmpHeader h;
  h.orientation = 1;
  return camera::MakePmp(jpeg, h);
}

/* quorel.mqf decodes; or the fake declines, so that the internal decoder
 * does. */
void UseQuorelOrDecline(bool internal) {
  if (internal) e2e::UseFake().answer(FakeGetPicture, 10);
  else e2e::UseDecoder(e2e::Where().folder, "quorel.mqf");
}

enum Served { kNobody, kPicture, kPreview, kThumbnailJpeg, kThumbnailPixels };

SUITE_CASE(each_request_takes_the_path_of_its_kind) {
  enum { kPlain, kExif1, kExif2, kExif3, kJ6i, kPmp, kJ6iExif, kGif, kSoiGarbage, kFlood,
         kJ6iFlood, kPmpFlood, kFakeScanInComment, kProgressiveCut, kTurned1, kTurned2, kTurned3 };
  const camera::Data &thumbnail = e2e::ThumbnailJpeg();
  /* Streams of several scans, large enough that the walk over them reads
   * the file in several pieces. */
  const std::vector<maker::ScanCase> scans = maker::ScanCases(256, 192);
  const camera::Data &progressive = scans[0].bytes, &flood = scans[4].bytes;
  camera::Data commented = progressive; /* a scan header no valid progression holds, in a COM */
  const camera::Data comment = {0xFF, 0xFE, 0, 12, 0xFF, 0xDA, 0, 8, 1, 1, 0, 0, 63, 0};
  commented.insert(commented.begin() + static_cast<long>(maker::ScanEnds(progressive)[0]),
                   comment.begin(), comment.end());
  std::vector<camera::Data> inputs = {
      e2e::Jpeg(),       e2e::ExifJpeg(1),     e2e::ExifJpeg(2),
      e2e::ExifJpeg(3),  camera::MakeJ6i(e2e::Jpeg()), PmpTurned(e2e::Jpeg()),
      camera::MakeJ6i(e2e::ExifJpeg(1)), e2e::Gif(), e2e::SoiThenGarbage(), flood,
      camera::MakeJ6i(flood), PmpTurned(flood), commented,
      camera::Data(progressive.begin(), progressive.begin() + static_cast<long>(progressive.size() / 2)),
      e2e::ExifJpeg(1, thumbnail, 6), e2e::ExifJpeg(2, thumbnail, 6), e2e::ExifJpeg(3, thumbnail, 6)};
  struct Row {
    const char *label;
    int input;
    bool preview;
    int32_t level, exif, search; /* ExifPreviewLevel, ExifSupport, SearchMarkerSupport; -1 default */
    int32_t result;
    Served served;
    int32_t width, height; /* of the bitmap the host gets; 0: none */
    int32_t pels;          /* its biXPelsPerMeter; -1 not checked */
  };
  std::vector<Row> rows = {
      {"plain picture", kPlain, false, -1, -1, -1, 0, kPicture, 16, 8, 1},
      {"plain preview", kPlain, true, -1, -1, -1, 0, kPreview, 16, 8, 1},
      {"JPEG thumbnail", kExif1, true, -1, -1, -1, 0, kThumbnailJpeg, 16, 8, 1},
      {"JPEG thumbnail, level 0", kExif1, true, 0, -1, -1, 0, kPreview, 16, 8, 1},
      {"JPEG thumbnail, level without bit 2", kExif1, true, 12, -1, -1, 0, kPreview, 16, 8, 1},
      {"JPEG thumbnail, Exif off", kExif1, true, -1, 0, -1, 0, kPreview, 16, 8, 1},
      {"JPEG thumbnail, picture request", kExif1, false, 14, -1, -1, 0, kPicture, 16, 8, 1},
      {"RGB thumbnail", kExif2, true, -1, -1, -1, 0, kThumbnailPixels, 4, 3, -1},
      {"RGB thumbnail, level 2", kExif2, true, 2, -1, -1, 0, kPreview, 16, 8, 1},
      {"RGB thumbnail, picture request", kExif2, false, 14, -1, -1, 0, kPicture, 16, 8, 1},
      {"YCbCr thumbnail, default level", kExif3, true, -1, -1, -1, 0, kPreview, 16, 8, 1},
      {"YCbCr thumbnail, level 8", kExif3, true, 8, -1, -1, 0, kThumbnailPixels, 4, 2, -1},
      {"J6I picture", kJ6i, false, -1, -1, -1, 0, kPicture, 12, 8, -1},
      {"J6I preview", kJ6i, true, -1, -1, -1, 0, kPreview, 12, 8, -1},
      {"J6I around an Exif JPEG, preview", kJ6iExif, true, 14, -1, -1, 0, kPreview, 12, 8, -1},
      {"PMP picture", kPmp, false, -1, -1, -1, 0, kPicture, 8, 16, -1},
      {"PMP preview", kPmp, true, -1, -1, -1, 0, kPreview, 8, 16, -1},
      {"GIF picture", kGif, false, -1, -1, -1, 2, kNobody, 0, 0, -1},
      {"GIF preview", kGif, true, -1, -1, -1, 2, kNobody, 0, 0, -1},
      {"GIF picture, search off", kGif, false, -1, -1, 0, 3, kNobody, 0, 0, -1},
      {"no marker behind SOI, picture", kSoiGarbage, false, -1, -1, -1, 3, kNobody, 0, 0, -1},
      {"no marker behind SOI, preview", kSoiGarbage, true, -1, -1, -1, 3, kNobody, 0, 0, -1},
      {"repeated scans, preview", kFlood, true, -1, -1, -1, 3, kNobody, 0, 0, -1},
      {"repeated scans in J6I", kJ6iFlood, false, -1, -1, -1, 3, kNobody, 0, 0, -1},
      {"repeated scans in PMP", kPmpFlood, false, -1, -1, -1, 3, kNobody, 0, 0, -1},
      {"scan header inside a comment", kFakeScanInComment, false, -1, -1, -1, 0, kPicture, 16, 8, 1},
      {"progressive, cut in half", kProgressiveCut, false, -1, -1, -1, 0, kPicture, 16, 8, 1},
      /* Orientation 6 turns pictures, previews and thumbnails by a quarter. */
      {"orientation 6, picture", kTurned1, false, -1, -1, -1, 0, kPicture, 8, 16, 1},
      {"orientation 6, preview", kTurned1, true, 0, -1, -1, 0, kPreview, 8, 16, 1},
      {"orientation 6, JPEG thumbnail", kTurned1, true, -1, -1, -1, 0, kThumbnailJpeg, 8, 16, 1},
      {"orientation 6, RGB thumbnail", kTurned2, true, -1, -1, -1, 0, kThumbnailPixels, 3, 4, -1},
      {"orientation 6, YCbCr thumbnail", kTurned3, true, 8, -1, -1, 0, kThumbnailPixels, 2, 4, -1},
      {"orientation 6, Exif off", kTurned1, false, -1, 0, -1, 0, kPicture, 16, 8, 1},
  };
  /* Floods never reach the external decoder; valid streams of several scans do. */
  for (const maker::ScanCase &c : scans) {
    const int at = static_cast<int>(inputs.size());
    rows.push_back(c.valid ? Row{c.label, at, false, -1, -1, -1, 0, kPicture, 16, 8, 1}
                           : Row{c.label, at, false, -1, -1, -1, 3, kNobody, 0, 0, -1});
    inputs.push_back(c.bytes);
  }
  for (const Row &row : rows) {
    Input in(inputs[static_cast<size_t>(row.input)]);
    for (uint32_t flag : {0u, 1u}) {
      std::string where = std::string(row.label) + InputKind(flag);
      suite::ResetStore();
      CameraSettings();
      if (row.level >= 0) e2e::SetMain("ExifPreviewLevel", row.level);
      if (row.exif >= 0) e2e::SetMain("ExifSupport", row.exif);
      if (row.search >= 0) e2e::SetMain("SearchMarkerSupport", row.search);
      Fake &fake = e2e::UseFake();
      Plugin plugin;
      if (!plugin.ok() || !fake.ok()) return;

      Answer a = e2e::Request(row.preview ? plugin.GetPreview : plugin.GetPicture, in, flag);
      CHECK_EQ_AT(where, a.result, row.result);
      int32_t wantCalls = row.served == kPicture || row.served == kThumbnailJpeg ? 1
                          : row.served == kPreview                              ? 100
                                                                                : 0;
      CHECK_EQ_AT(where, fake.calls(), wantCalls);
      if (row.served == kThumbnailJpeg) {
        FakeCall c = fake.last(FakeGetPicture);
        CHECK_EQ_AT(where, c.flag, 1u);
        CHECK_EQ_AT(where, c.len, static_cast<int32_t>(e2e::ThumbnailJpeg().size()));
      }
      if (row.width == 0) {
        CHECK_AT(where, !a.written);
        continue;
      }
      CHECK_AT(where, a.unlocked);
      CHECK_EQ_AT(where, a.header.biWidth, row.width);
      CHECK_EQ_AT(where, a.header.biHeight, row.height);
      CHECK_EQ_AT(where, a.header.biBitCount, 24);
      if (row.pels >= 0) CHECK_EQ_AT(where, a.header.biXPelsPerMeter, row.pels);
    }
  }
}

struct Progress {
  int calls = 0;
  int32_t numerator = -1, denominator = -1, data = -1;
} g_progress;

int32_t WINAPI HostProgress(int32_t numerator, int32_t denominator, int32_t data) {
  ++g_progress.calls;
  g_progress.numerator = numerator;
  g_progress.denominator = denominator;
  g_progress.data = data;
  return 0;
}

SUITE_CASE(the_external_decoder_gets_the_stream_and_the_host_values) {
  const camera::Data plain = e2e::Jpeg();
  const camera::Data j6i = camera::MakeJ6i(plain);
  camera::PmpHeader longPmp;
  longPmp.longSignature = true;
  longPmp.distance = 332;
  const camera::Data &thumb = e2e::ThumbnailJpeg();
  struct Row {
    const char *label;
    camera::Data bytes;
    uint32_t flag;
    int32_t offset; /* file input: where the host says the image starts */
    bool preview;
    size_t streamAt; /* memory input: where the decoder's stream starts */
    int32_t fileLen; /* file input: the offset the decoder gets */
    bool thumbnail;  /* the decoder gets the Exif thumbnail, in memory */
  } rows[] = {
      {"plain, file", plain, 0, 0, false, 0, 0, false},
      {"plain, file, flag 2", plain, 2, 0, false, 0, 0, false},
      {"plain, file, flag with high bits", plain, 0x80000006u, 0, true, 0, 0, false},
      {"plain at offset 1000 of its file", e2e::Behind(1000, plain), 0, 1000, false, 0, 1000, false},
      {"plain behind 300 other bytes, file", e2e::Behind(300, plain), 0, 0, true, 0, 300, false},
      {"plain behind 300 other bytes, memory", e2e::Behind(300, plain), 1, 0, false, 300, 0, false},
      {"plain, memory, flag 9", plain, 9, 0, true, 0, 0, false},
      {"plain, memory, flag 0xFFFFFFF9", plain, 0xFFFFFFF9u, 0, false, 0, 0, false},
      {"J6I, file", j6i, 0, 0, false, 0, 128, false},
      {"J6I at offset 1000 of its file", e2e::Behind(1000, j6i), 0, 1000, false, 0, 1128, false},
      {"J6I, memory", j6i, 1, 0, false, 128, 0, false},
      {"J6I, memory, preview", j6i, 1, 0, true, 128, 0, false},
      {"PMP, file", camera::MakePmp(plain), 0, 0, true, 0, 124, false},
      {"PMP, memory", camera::MakePmp(plain), 1, 0, false, 124, 0, false},
      {"PMP of 332, memory", camera::MakePmp(plain, longPmp), 1, 0, true, 332, 0, false},
      {"Exif thumbnail of a file", e2e::ExifJpeg(1), 0, 0, true, 0, 0, true},
      {"Exif thumbnail of a block", e2e::ExifJpeg(1), 1, 0, true, 0, 0, true},
  };
  for (const Row &row : rows) {
    std::string where = row.label;
    suite::ResetStore();
    e2e::SetMain("ReportDialog", 0);
    Fake &fake = e2e::UseFake();
    Plugin plugin;
    if (!plugin.ok() || !fake.ok()) return;
    fake.answer(FakeGetPicture, 0, 16, 8, 24, 50);
    fake.answer(FakeGetPreview, 0, 16, 8, 24, 50);
    g_progress = Progress();

    Input in(row.bytes);
    Answer a = e2e::Request(row.preview ? plugin.GetPreview : plugin.GetPicture, in, row.flag,
                            row.offset, HostProgress, 0x1234567);
    CHECK_EQ_AT(where, a.result, 0);
    FakeFunction called = row.preview && !row.thumbnail ? FakeGetPreview : FakeGetPicture;
    CHECK_EQ_AT(where, fake.calls(), called == FakeGetPicture ? 1 : 100);
    FakeCall c = fake.last(called);
    CHECK_EQ_AT(where, c.infoBefore, UINT_PTR{0});
    CHECK_EQ_AT(where, c.bitsBefore, UINT_PTR{0});
    CHECK_AT(where, c.infoHandleOut != 0 && c.bitsHandleOut != 0 && c.infoHandleOut != c.bitsHandleOut);
    CHECK_EQ_AT(where, c.progressCallback, reinterpret_cast<UINT_PTR>(&HostProgress));
    CHECK_EQ_AT(where, c.callbackData, 0x1234567);
    CHECK_EQ_AT(where, c.callbackAnswer, 0);
    CHECK_EQ_AT(where, g_progress.calls, 1);
    CHECK_EQ_AT(where, g_progress.numerator, 50);
    CHECK_EQ_AT(where, g_progress.denominator, 100);
    CHECK_EQ_AT(where, g_progress.data, 0x1234567);
    /* The host gets the decoder's blocks. */
    CHECK_EQ_AT(where, a.info, c.infoLeft);
    CHECK_EQ_AT(where, a.bits, c.bitsLeft);

    const bool memory = row.thumbnail || (row.flag & 7u) == 1u;
    CHECK_EQ_AT(where, c.flag, memory ? 1u : 0u);
    if (!memory) {
      CHECK_EQ_AT(where, std::string(c.name), in.path());
      CHECK_EQ_AT(where, c.len, row.fileLen);
      continue;
    }
    const uint8_t *stream = row.thumbnail ? thumb.data() : row.bytes.data() + row.streamAt;
    size_t length = row.thumbnail ? thumb.size() : row.bytes.size() - row.streamAt;
    if (!row.thumbnail)
      CHECK_EQ_AT(where, c.input, reinterpret_cast<UINT_PTR>(in.bytes.data() + row.streamAt));
    CHECK_EQ_AT(where, c.len, static_cast<int32_t>(length));
    CHECK_EQ_AT(where, c.checksum, FakeChecksum(stream, length));
    CHECK_AT(where, std::memcmp(c.bytes, stream, c.keptBytes) == 0);
  }
}

SUITE_CASE(the_external_decoders_answers_reach_the_host) {
  const camera::Data plain = e2e::Jpeg();
  struct Row {
    const char *label;
    bool preview;
    int32_t answer;       /* the decoder's result */
    bool leavesBitmap;    /* the decoder leaves a 16 x 8 bitmap */
    int32_t internal;     /* UseInternalDecoder */
    int32_t result;       /* at the host */
    bool decodersBlocks;  /* the host gets the decoder's handles */
    int32_t width;        /* of the host's bitmap; 0: none */
    int32_t pels;         /* 1: post-processed; 2835: as the decoder left it */
    int32_t bitCount = 24; /* of the decoder's bitmap */
  } rows[] = {
      {"picture, 0", false, 0, true, 1, 0, true, 16, 1},
      {"picture, 0, grey", false, 0, true, 1, 0, true, 16, 1, 8},
      {"preview, 3, grey", true, 3, true, 1, 3, true, 16, 2835, 8},
      {"preview, 0", true, 0, true, 1, 0, true, 16, 1},
      {"picture, 3 with a bitmap", false, 3, true, 1, 3, true, 16, 2835},
      {"picture, 3 without one", false, 3, false, 1, 3, true, 0, 0},
      {"preview, 3 with a bitmap", true, 3, true, 1, 3, true, 16, 2835},
      {"picture, 4, internal decoder on", false, 4, false, 1, 0, false, e2e::kPlainWidth, 1},
      {"picture, 4, internal decoder off", false, 4, false, 0, 4, true, 0, 0},
      {"picture, -1", false, -1, false, 1, -1, true, 0, 0},
      {"picture, 42 with a bitmap", false, 42, true, 1, 42, true, 16, 2835},
      {"picture, 10, internal decoder on", false, 10, true, 1, 0, false, e2e::kPlainWidth, 1},
      {"picture, 10 without bitmap, internal on", false, 10, false, 1, 0, false, e2e::kPlainWidth, 1},
      {"picture, 10, internal decoder off", false, 10, true, 0, 10, true, 16, 2835},
      {"preview, 10, internal decoder on", true, 10, true, 1, 10, true, 16, 2835},
      {"preview, 10 without bitmap", true, 10, false, 1, 10, true, 0, 0},
  };
  Input in(plain);
  for (const Row &row : rows) {
    for (uint32_t flag : {0u, 1u}) {
      std::string where = std::string(row.label) + InputKind(flag);
      suite::ResetStore();
      e2e::SetMain("UseInternalDecoder", row.internal);
      Fake &fake = e2e::UseFake();
      Plugin plugin;
      if (!plugin.ok() || !fake.ok()) return;
      FakeFunction f = row.preview ? FakeGetPreview : FakeGetPicture;
      fake.answer(f, row.answer, row.leavesBitmap ? 16 : 0, 8, row.bitCount);

      Answer a = e2e::Request(row.preview ? plugin.GetPreview : plugin.GetPicture, in, flag);
      CHECK_EQ_AT(where, a.result, row.result);
      CHECK_EQ_AT(where, fake.calls(), row.preview ? 100 : 1);
      FakeCall c = fake.last(f);
      CHECK_AT(where, a.written);
      if (row.decodersBlocks) {
        CHECK_EQ_AT(where, a.info, c.infoLeft);
        CHECK_EQ_AT(where, a.bits, c.bitsLeft);
      }
      CHECK_EQ_AT(where, a.header.biWidth, row.width);
      if (row.width != 0) {
        CHECK_AT(where, a.unlocked);
        CHECK_EQ_AT(where, a.header.biBitCount, row.bitCount);
        CHECK_EQ_AT(where, a.header.biXPelsPerMeter, row.pels);
        CHECK_EQ_AT(where, a.header.biYPelsPerMeter, row.pels);
      }
    }
  }
}

#ifndef _WIN32
/* A picture whose full-size bitmap cannot be had goes to our decoder at
 * once (at half size) while UseInternalDecoder allows it; with it off the
 * wrapped plug-in is asked as before, and its OutOfMemory reaches the host. */
SUITE_CASE(a_picture_out_of_reach_skips_the_wrapped_decoder) {
  const struct Row {
    int32_t internal; /* UseInternalDecoder */
    int32_t calls;    /* into the wrapped plug-in */
    int32_t result;
    int32_t width;    /* of the host's bitmap; 0: none */
  } rows[] = {{1, 0, Success, 1000}, {0, 1, OutOfMemory, 0}};
  Input in(e2e::Jpeg(2000, 1500));
  for (const Row &row : rows) {
    for (uint32_t flag : {0u, 1u}) {
      std::string where = "UseInternalDecoder " + std::to_string(row.internal) + InputKind(flag);
      suite::ResetStore();
      e2e::SetMain("UseInternalDecoder", row.internal);
      Fake &fake = e2e::UseFake();
      Plugin plugin;
      if (!plugin.ok() || !fake.ok()) return;
      fake.answer(FakeGetPicture, OutOfMemory, 0, 8, 24);
      StandinLimitAddressSpace(size_t{4} << 20, 0); /* the 9 MB bitmap cannot be had */
      Answer a = e2e::Request(plugin.GetPicture, in, flag);
      StandinLimitAddressSpace(0, 0);
      CHECK_EQ_AT(where, a.result, row.result);
      CHECK_EQ_AT(where, fake.calls(), row.calls);
      CHECK_EQ_AT(where, a.header.biWidth, row.width);
    }
  }
}
#endif

/* A folder whose name, as the viewer stores it, has exactly `length`
 * characters: nested folders below `base` (kept for later runs). */
std::string FolderOfLength(const std::string &base, size_t length) {
  std::string folder = base;
  MakeFolder(folder);
  while (e2e::HostPath(folder).size() < length) {
    size_t room = length - e2e::HostPath(folder).size() - 1; /* less the separator */
    size_t piece = room > 100 ? 100 : room;
    if (piece == 0) {
      folder += "x"; /* no room for another level: a longer last name */
      MakeFolder(folder);
      break;
    }
    folder += "/" + std::string(piece, 'd');
    MakeFolder(folder);
  }
  return folder;
}

SUITE_CASE(the_external_decoder_is_found_by_folder_path_or_name) {
  const std::string fakes = e2e::Where().fakes;
  const std::string alt = fakes + "/alt";
  /* Folders whose joined name with "fake_deep.mqf" (13 characters) or
   * "fake_byname.mqf" (15) has 259 and 260 characters. */
  const std::string deep259 = FolderOfLength(fakes + "/deep259", 259 - 14);
  const std::string deep260 = FolderOfLength(fakes + "/deep260", 260 - 16);
  bool copied = CopyWholeFile(fakes + "/fake_full.mqf", deep259 + "/fake_deep.mqf") &&
                CopyWholeFile(fakes + "/fake_byname.mqf", deep260 + "/fake_byname.mqf");
  CHECK(copied);
  CHECK_EQ(e2e::HostPath(deep259 + "/fake_deep.mqf").size(), size_t{259});
  CHECK_EQ(e2e::HostPath(deep260 + "/fake_byname.mqf").size(), size_t{260});

  const std::string fullPath = e2e::HostPath(fakes + "/fake_full.mqf");
  /* A copy beside the plug-in itself, found there by its name alone. */
  CHECK(CopyWholeFile(fakes + "/fake_byname.mqf", e2e::Where().folder + "/fake_beside.mqf"));
  const std::string plugin = e2e::HostPath(e2e::Where().plugin);
  const std::string pluginName = plugin.substr(plugin.find_last_of("/\\") + 1);
  /* The fakes' folder as a UNC path: "\\?\Z:\..." under Wine; natively
   * "//..." names the same folder. */
#ifdef _WIN32
  const std::string unc = "\\\\?\\" + e2e::HostPath(fakes);
#else
  const std::string unc = "/" + fakes;
#endif
  std::string lowerName = pluginName;
  for (char &c : lowerName) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  struct Row {
    const char *label;
    std::string folder; /* the viewer's plug-in folder; "" none */
    std::string name;   /* JPEGPlug-in */
    const char *serves; /* the fake that answers (relative to fakes/), or null */
    int32_t result;
  } rows[] = {
      {"folder and name", fakes, "fake_full.mqf", "fake_full.mqf", 0},
      {"folder with a trailing backslash", fakes + "/", "fake_full.mqf", "fake_full.mqf", 0},
      {"joined path before the name alone", alt, "fake_full.mqf", "alt/fake_full.mqf", 0},
      /* The current folder (fakes/) is where the pictures lie: a decoder
       * planted there never runs. */
      {"name alone only in the current folder", "", "fake_byname.mqf", nullptr, 2},
      {"name alone when the folder lacks it", alt, "fake_byname.mqf", nullptr, 2},
      {"name alone beside the plug-in", alt, "fake_beside.mqf", "../fake_beside.mqf", 0},
      {"relative name with a folder, from the plug-in folder", fakes, "alt/fake_full.mqf",
       "alt/fake_full.mqf", 0},
      {"full path", alt, fullPath, "fake_full.mqf", 0},
      {"UNC plug-in folder", unc, "fake_full.mqf", "fake_full.mqf", 0},
      /* A rooted name lies on the current drive, with the pictures: it counts
       * from the plug-in folder, and without one it is not looked for. */
      {"name from a root, under the plug-in folder", fakes, "\\alt\\fake_full.mqf",
       "alt/fake_full.mqf", 0},
      {"name from a root, no plug-in folder", "", "/alt/fake_full.mqf", nullptr, 2},
      {"plug-in folder not a full path", "alt", "fake_full.mqf", nullptr, 2},
      {"joined path of 259 characters", deep259, "fake_deep.mqf", nullptr, 0},
      {"joined path of 260, name only in the current folder", deep260, "fake_byname.mqf", nullptr, 2},
      {"folder of 1000 characters", std::string(1000, 'f'), "fake_byname.mqf", nullptr, 2},
      /* This plug-in as its own decoder would call itself without end. */
      {"this plug-in by name", e2e::Where().folder, pluginName, nullptr, 2},
      {"this plug-in by name in other letters", e2e::Where().folder, lowerName, nullptr, 2},
      {"this plug-in by its full path", alt, plugin, nullptr, 2},
      {"no GetPreview export", fakes, "fake_nopreview.mqf", nullptr, 2},
      {"no such file", fakes, "no_such.mqf", nullptr, 2},
  };
  Input in(e2e::Jpeg());
  e2e::InFolder here(fakes); /* where the name alone is found */
  for (const Row &row : rows) {
    for (bool preview : {false, true}) {
      std::string where = std::string(row.label) + (preview ? " [preview]" : " [picture]");
      suite::ResetStore();
      e2e::UseDecoder(row.folder, row.name);
      const char *all[] = {"fake_full.mqf", "alt/fake_full.mqf", "fake_byname.mqf",
                           "fake_nopreview.mqf", "../fake_beside.mqf"};
      for (const char *name : all)
        if (e2e::FakeNamed(name).ok()) e2e::FakeNamed(name).Reset();
      Plugin plugin;
      if (!plugin.ok()) return;

      Answer a = e2e::Request(preview ? plugin.GetPreview : plugin.GetPicture, in, 0);
      CHECK_EQ_AT(where, a.result, row.result);
      for (const char *name : all) {
        int32_t want = row.serves && std::strcmp(name, row.serves) == 0 ? (preview ? 100 : 1) : 0;
        CHECK_EQ_AT(where + ", " + name, e2e::FakeNamed(name).calls(), want);
      }
      if (row.result == 0) CHECK_EQ_AT(where, a.header.biWidth, 16);
      if (row.result != 0) CHECK_AT(where, !a.written);
    }
  }
}

/* This plug-in's file name, which names its copy as the decoder. */
std::string OwnFileName() {
  const std::string plugin = e2e::HostPath(e2e::Where().plugin);
  return plugin.substr(plugin.find_last_of("/\\") + 1);
}

/* The viewer's plug-in folder holds this plug-in, the system folder a copy,
 * and the decoder's name is the plug-in's own: each passes over itself and
 * loads the other. Nesting stops the loop; the innermost copy then decodes
 * the picture itself, while a preview has no such fall-back. Without a
 * nesting slot no copy delegates, with the same answers. Whatever the
 * chain, a picture is turned, converted and post-processed by its
 * container once: it equals one copy's answer with quorel.mqf. Run in a
 * process of its own, by the case below. */
void CopyLoopEnds() {
  const camera::Data tagged = colour::Tagged(e2e::ExifJpeg(0, {}, 6), colour::Make(colour::kAdobeRgb));
  constexpr int32_t kOneCopys = -1; /* as one copy with quorel.mqf answers */
  struct Row {
    const char *label;
    camera::Data input;
    bool preview;
    int32_t internal; /* UseInternalDecoder */
    int32_t result, width;
    Answer one[2]; /* one copy's answers, by file and by block */
  } rows[] = {
      {"picture", e2e::Jpeg(), false, 1, 0, 48},
      {"preview", e2e::Jpeg(), true, 1, 10, 0},
      {"picture, internal decoder off", e2e::Jpeg(), false, 0, 10, 0},
      {"tagged and turned picture", tagged, false, 1, kOneCopys, kOneCopys},
      {"PMP picture", PmpTurned(e2e::Jpeg()), false, 1, kOneCopys, kOneCopys},
      {"PMP around a tagged and turned stream", PmpTurned(tagged), false, 1, kOneCopys, kOneCopys},
      {"J6I around a tagged and turned stream", camera::MakeJ6i(tagged), false, 1, kOneCopys, kOneCopys},
  };
  for (bool chain : {false, true}) {
    e2e::UseDecoder(e2e::Where().folder, chain ? OwnFileName() : "quorel.mqf");
    Plugin plugin; /* loaded afresh, with quorel.mqf, then with the copy */
    if (!plugin.ok()) return;
    for (Row &row : rows) {
      e2e::SetMain("UseInternalDecoder", row.internal);
      Input in(row.input);
      for (uint32_t flag : {0u, 1u}) {
        Answer a = e2e::Request(row.preview ? plugin.GetPreview : plugin.GetPicture, in, flag);
        if (!chain) {
          row.one[flag] = a;
          continue;
        }
        const Answer &one = row.one[flag];
        std::string where = row.label + std::string(InputKind(flag));
        CHECK_EQ_AT(where, a.result, row.result == kOneCopys ? one.result : row.result);
        CHECK_EQ_AT(where, a.header.biWidth, row.width == kOneCopys ? one.header.biWidth : row.width);
        if (row.width != kOneCopys) continue;
        CHECK_EQ_AT(where, a.header.biHeight, one.header.biHeight);
        CHECK_EQ_AT(where, a.header.biXPelsPerMeter, one.header.biXPelsPerMeter);
        CHECK_AT(where, colour::LargestDifference(a.pixels, one.pixels) <= 1);
      }
    }
  }
}

/* Where an alone case records that it ran to its end: under Wine a process
 * that overflows its stack may still exit with 0. */
const char kCaseKey[] = "Software\\Doru\\movrela-tests";

bool AloneRanToItsEnd(const char *name) {
  store::SetNumber(kCaseKey, name, 0);
  DWORD type = 0;
  std::string ended;
  return suite::RunAlone(name) == 0 && store::Get(kCaseKey, name, &type, &ended) &&
         ended == std::string("\1\0\0\0", 4);
}

SUITE_CASE(alone_a_copy_of_the_plugin_as_its_own_decoder) {
  CopyLoopEnds();
  store::SetNumber(kCaseKey, suite::Current().current, 1);
}

/* Every slot taken when the copies load: their TlsAlloc fails. */
SUITE_CASE(alone_a_copy_of_the_plugin_without_a_nesting_slot) {
#ifdef _WIN32
  /* The plug-in's imports (objdump -p) load first, with slots to spare. */
  for (const char *name : {"advapi32.dll", "comdlg32.dll", "user32.dll"}) LoadLibraryA(name);
  std::vector<DWORD> slots;
  for (DWORD slot; (slot = TlsAlloc()) != TLS_OUT_OF_INDEXES;) slots.push_back(slot);
  CHECK(!slots.empty());
  CopyLoopEnds();
  for (DWORD slot : slots) TlsFree(slot);
#else
  StandinFailTlsAlloc(1);
  CopyLoopEnds();
  StandinFailTlsAlloc(0);
#endif
  store::SetNumber(kCaseKey, suite::Current().current, 1);
}

SUITE_CASE(a_copy_of_the_plugin_as_its_own_decoder_ends_its_loop) {
  char system[MAX_PATH];
  GetSystemDirectoryA(system, sizeof system);
  for (char *c = system + 1; *c; ++c) /* natively the folders are made on demand */
    if (*c == '/') *c = 0, MakeFolder(system), *c = '/';
  const std::string copy = std::string(system) + "/" + OwnFileName();
  CHECK(MakeFolder(system) && CopyWholeFile(e2e::Where().plugin, copy));
  CHECK(AloneRanToItsEnd("alone_a_copy_of_the_plugin_as_its_own_decoder"));
  CHECK(AloneRanToItsEnd("alone_a_copy_of_the_plugin_without_a_nesting_slot"));
  CHECK_EQ(std::remove(copy.c_str()), 0);
}

/* The host's catch of a fault in a plug-in, as a compiled __except does it:
 * true when `fn` faulted and the fault was caught here. */
#ifdef _WIN32
struct HostCatch {
  HostCatch *next; /* a record of the fs:[0] chain: next, then handler */
  void *handler;
  void *resume[5]; /* __builtin_setjmp's buffer */
};

/* Unwinds the frames above the record (RtlUnwind runs their handlers),
 * takes the record off the chain and resumes in the frame that pushed it. */
extern "C" EXCEPTION_DISPOSITION __cdecl HostCatchHandler(EXCEPTION_RECORD *record, void *frame,
                                                          CONTEXT *, void *) {
  if (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND))
    return ExceptionContinueSearch;
  RtlUnwind(frame, nullptr, record, nullptr);
  HostCatch *c = static_cast<HostCatch *>(frame);
  __asm__ __volatile__("movl %0, %%fs:0" : : "r"(c->next) : "memory");
  __builtin_longjmp(c->resume, 1);
}

__attribute__((noinline)) bool CaughtFault(GetPictureFn fn, const Input &in,
                                           e2e::ProgressFn callback = nullptr, int32_t data = 0) {
  HostCatch c;
  c.handler = reinterpret_cast<void *>(&HostCatchHandler);
  __asm__ __volatile__("movl %%fs:0, %0" : "=r"(c.next));
  __asm__ __volatile__("movl %0, %%fs:0" : : "r"(&c) : "memory");
  if (__builtin_setjmp(c.resume)) return true;
  Answer a = e2e::Request(fn, in, 1, 0, callback, data);
  __asm__ __volatile__("movl %0, %%fs:0" : : "r"(c.next) : "memory");
  return a.result == -99; /* never: a call that returns did not fault */
}
#else
bool CaughtFault(GetPictureFn fn, const Input &in, e2e::ProgressFn callback = nullptr,
                 int32_t data = 0) {
  StandinFaultMark mark;
  StandinSetFaultMark(&mark);
  volatile bool caught = setjmp(mark.jump) != 0;
  if (!caught) e2e::Request(fn, in, 1, 0, callback, data);
  StandinClearFaultMark(&mark);
  return caught;
}
#endif

/* Faults in the decoder that the host catches unwind our call into it: the
 * nesting count and the hold are undone each time, so that after more
 * such faults than the nesting allows the decoder still serves. */
SUITE_CASE(faults_the_host_catches_leave_no_nesting_behind) {
  Input in(e2e::Jpeg());
  Fake &fake = e2e::UseFake();
  Plugin plugin;
  if (!plugin.ok() || !fake.ok()) return;
  fake.answer(FakeGetPicture, kFakeFault);
  for (int fault = 0; fault < 5; ++fault) CHECK_AT(std::to_string(fault), CaughtFault(plugin.GetPicture, in));
  fake.answer(FakeGetPicture, 0);
  CHECK_EQ(e2e::Request(plugin.GetPicture, in, 1).result, 0);
  CHECK_EQ(fake.calls(), 6);
}

/* The host's progress callback at half the decode: kStop stops it, kFault
 * faults (the host catches it further out); before that it goes on.
 * kFaultAtEnd faults at the last call, 100 of 100. */
enum Halfway { kOn, kStop, kFault, kFaultAtEnd };
int32_t WINAPI AtHalfway(int32_t numerator, int32_t, int32_t halfway) {
  if (numerator < (halfway == kFaultAtEnd ? 100 : 50) || halfway == kOn) return 0;
  if (halfway == kFault || halfway == kFaultAtEnd) {
#ifdef _WIN32
    int32_t *volatile bad = reinterpret_cast<int32_t *>(16); /* in the unmapped first page */
    *bad = 1;
#else
    StandinFault();
#endif
  }
  return 1;
}

/* A large picture that its orientation turns by a quarter has the turn's
 * block made ready while the wrapped plug-in, or the internal decoder,
 * decodes: the turned pixels are the stored ones, a bitmap of another
 * depth or size is turned into a block of its own, and no block stays
 * behind after a refusal, a stop or a fault the host catches. */
SUITE_CASE(large_turned_pictures_take_the_block_made_ready) {
  const int32_t width = 1280, height = 960; /* over the threads' threshold */
  const int32_t kQuorel = -1;
  const camera::Data plain = e2e::Jpeg(width, height), exif = e2e::ExifSegment(0, {}, "Fakecam", 6);
  camera::Data jpeg(plain.begin(), plain.begin() + 2);
  jpeg.insert(jpeg.end(), exif.begin(), exif.end());
  jpeg.insert(jpeg.end(), plain.begin() + 2, plain.end());
  const Input in(jpeg);
  suite::ResetStore();
  e2e::SetMain("ExifRotation", 0);
  UseQuorelOrDecline(false);
  Answer stored;
  {
    Plugin plugin;
    if (!plugin.ok()) return;
    stored = e2e::Request(plugin.GetPicture, in, 1);
  }
  CHECK_EQ(stored.result, 0);
  struct Row {
    const char *label;
    int32_t answer, width, height, bitCount; /* the fake's; answer kQuorel: quorel.mqf */
    Halfway halfway = kOn;
  } rows[] = {{"quorel", kQuorel, 0, 0, 24},
              {"grey of the same size", 0, width, height, 8},
              {"another size", 0, 16, 8, 24},
              {"refused", 3, 0, 0, 24},
              {"fault", kFakeFault, 0, 0, 24},
              {"internal decoder", 10, 0, 0, 24},
              {"internal decoder, stopped", 10, 0, 0, 24, kStop},
              {"internal decoder, fault in the callback", 10, 0, 0, 24, kFault},
              {"internal decoder, fault in the last callback", 10, 0, 0, 24, kFaultAtEnd}};
  for (const Row &row : rows) {
    suite::ResetStore();
    if (row.answer == kQuorel) UseQuorelOrDecline(false);
    else e2e::UseFake().answer(FakeGetPicture, row.answer, row.width, row.height, row.bitCount);
    Plugin plugin;
    if (!plugin.ok()) return;
    const e2e::Balance before;
    if (row.answer == kFakeFault || row.halfway == kFault || row.halfway == kFaultAtEnd) {
      CHECK_AT(row.label, CaughtFault(plugin.GetPicture, in, AtHalfway, row.halfway));
      before.check(row.label);
      continue;
    }
    Answer a = e2e::Request(plugin.GetPicture, in, 1, 0, AtHalfway, row.halfway);
    before.check(row.label);
    const bool whole = row.answer == kQuorel || row.answer == 10; /* the picture decoded */
    CHECK_EQ_AT(row.label, a.result, row.halfway == kStop ? 1 : whole ? 0 : row.answer);
    if (a.result != 0) continue;
    const int32_t w = whole ? width : row.width;
    const int32_t h = whole ? height : row.height;
    CHECK_EQ_AT(row.label, a.header.biWidth, h);
    CHECK_EQ_AT(row.label, a.header.biHeight, w);
    CHECK_EQ_AT(row.label, a.header.biBitCount, row.bitCount);
    if (!whole || stored.pixels.empty()) continue;
    /* Upright (X, Y) from the top is stored (Y, h-1-X); rows bottom-up. */
    const size_t from = (static_cast<size_t>(w) * 3 + 3) / 4 * 4, to = (static_cast<size_t>(h) * 3 + 3) / 4 * 4;
    long wrong = 0;
    for (int32_t Y = 0; Y < w; ++Y)
      for (int32_t X = 0; X < h; ++X)
        wrong += std::memcmp(&a.pixels[(w - 1 - Y) * to + 3 * X], &stored.pixels[X * from + 3 * Y], 3) != 0;
    CHECK_EQ_AT(row.label, wrong, 0);
  }
}

SUITE_CASE(a_failed_load_is_tried_again_by_the_next_request) {
  Input in(e2e::ExifJpeg(2));
  e2e::UseDecoder(e2e::Where().fakes, "no_such.mqf");
  Plugin plugin;
  if (!plugin.ok()) return;
  /* Not even a thumbnail or the internal decoder serves without it. */
  CHECK_EQ(e2e::Request(plugin.GetPreview, in, 1).result, 2);
  CHECK_EQ(e2e::Request(plugin.GetPicture, in, 0).result, 2);
  Fake &fake = e2e::UseFake();
  if (!fake.ok()) return;
  CHECK_EQ(e2e::Request(plugin.GetPicture, in, 0).result, 0);
  CHECK_EQ(fake.calls(), 1);
  /* Once loaded, it stays: another name in the registry has no effect. */
  e2e::UseDecoder("", "no_such.mqf");
  CHECK_EQ(e2e::Request(plugin.GetPicture, in, 1).result, 0);
  CHECK_EQ(fake.calls(), 2);
}

/* The reference decoder beside the plug-in: camera files, and the
 * fall-back of GetPicture to the internal decoder for what it declines. */
SUITE_CASE(quorel_decodes_camera_files_and_declines_four_components) {
  maker::Picture cmyk;
  cmyk.width = 40;
  cmyk.height = 24;
  cmyk.input = JCS_CMYK;
  maker::Picture ycck = cmyk;
  ycck.stored = JCS_YCCK;
  const camera::Data plain = e2e::Jpeg(64, 40);
  struct Row {
    const char *label;
    camera::Data bytes;
    int32_t internal; /* UseInternalDecoder */
    int32_t picture;  /* GetPicture's result */
    int32_t preview;  /* GetPreview's result */
    int32_t width, height; /* of the picture */
  } rows[] = {
      {"plain", plain, 1, 0, 0, 64, 40},
      {"J6I", camera::MakeJ6i(plain), 1, 0, 0, 60, 40},
      {"PMP turned", PmpTurned(plain), 1, 0, 0, 40, 64},
      {"Exif with JPEG thumbnail", e2e::ExifJpeg(1), 1, 0, 0, e2e::kPlainWidth, e2e::kPlainHeight},
      {"CMYK, internal decoder on", e2e::Encoded(cmyk), 1, 0, 10, 40, 24},
      {"YCCK, internal decoder on", e2e::Encoded(ycck), 1, 0, 10, 40, 24},
      {"CMYK, internal decoder off", e2e::Encoded(cmyk), 0, 10, 10, 0, 0},
  };
  for (const Row &row : rows) {
    Input in(row.bytes);
    for (uint32_t flag : {0u, 1u}) {
      std::string where = std::string(row.label) + InputKind(flag);
      suite::ResetStore();
      CameraSettings();
      e2e::SetMain("UseInternalDecoder", row.internal);
      e2e::UseDecoder(e2e::Where().folder, "quorel.mqf");
      Plugin plugin;
      if (!plugin.ok()) return;

      e2e::Info info = e2e::QueryInfo(plugin, in, flag);
      CHECK_EQ_AT(where, info.result, 0);
      Answer picture = e2e::Request(plugin.GetPicture, in, flag);
      CHECK_EQ_AT(where, picture.result, row.picture);
      Answer preview = e2e::Request(plugin.GetPreview, in, flag);
      CHECK_EQ_AT(where, preview.result, row.preview);
      if (row.picture != 0) {
        CHECK_AT(where, picture.info == 0 && picture.bits == 0);
        continue;
      }
      /* The bitmap has the size the information promised. */
      CHECK_AT(where, picture.unlocked);
      CHECK_EQ_AT(where, picture.header.biWidth, row.width);
      CHECK_EQ_AT(where, picture.header.biHeight, row.height);
      CHECK_EQ_AT(where, info.record.width, row.width);
      CHECK_EQ_AT(where, info.record.height, row.height);
      if (row.preview == 0)
        CHECK_AT(where, preview.header.biWidth > 0 && preview.header.biWidth <= row.width);
    }
  }
}

/* Every sample (cjpeg's progressive, arithmetic and restart files, a scan
 * per component, the camera pictures) is handed to the decoder whole. */
SUITE_CASE(every_sample_reaches_the_decoder) {
  const camera::Data index = camera::ReadWholeFile(e2e::Where().corpus + "/index.txt");
  const std::string names(index.begin(), index.end());
  int reached = 0;
  for (size_t at = 0, end; at < names.size(); at = end + 1) {
    end = names.find('\n', at);
    if (end == std::string::npos) end = names.size();
    const std::string name = names.substr(at, end - at);
    if (name.empty()) continue;
    Input in(camera::ReadWholeFile(e2e::Where().corpus + "/" + name + ".jpg"));
    Fake &fake = e2e::UseFake();
    Plugin plugin;
    if (!plugin.ok() || !fake.ok()) return;
    CHECK_EQ_AT(name, e2e::Request(plugin.GetPicture, in, 1).result, 0);
    CHECK_EQ_AT(name, fake.calls(), 1);
    reached += fake.calls();
  }
  CHECK(reached >= 30);
}

/* Pictures stored in each Exif orientation come out as djpeg's bitmap of
 * the stored picture turned upright, through quorel and through the
 * internal decoder (after the fake's decline), by file and by block, with
 * the upright size in the information. ExifRotation 0 or ExifSupport 0
 * leave them as stored. The colours are those of lcms2's transform from
 * the profile the picture carries to sRGB, within a level; the same scene,
 * untagged in orientation-1 and tagged in the others, then differs by a
 * mean of at most 6 levels a sample. Recoded into several scans with an
 * APP1 of another orientation before the last, they still follow the
 * header's. */
SUITE_CASE(exif_orientation_turns_pictures_upright) {
  enum Scans { kAsStored, kProgressive, kScanPerComponent };
  struct Row {
    const char *sample; /* in the decoder's sample set */
    const char *setting;
    uint32_t turn;
    Scans scans;
  } rows[] = {{"orientation-1", nullptr, 1}, {"orientation-2", nullptr, 2},
              {"orientation-3", nullptr, 3}, {"orientation-4", nullptr, 4},
              {"orientation-5", nullptr, 5}, {"orientation-6", nullptr, 6},
              {"orientation-7", nullptr, 7}, {"orientation-8", nullptr, 8},
              {"orientation-grey-5", nullptr, 5}, {"orientation-6", "ExifRotation", 1},
              {"orientation-6", "ExifSupport", 1}, {"orientation-6", nullptr, 6, kProgressive},
              {"orientation-6", nullptr, 6, kScanPerComponent}};
  camera::Data untagged; /* orientation-1 as delivered */
  for (const Row &row : rows) {
    const std::string name = e2e::Where().corpus + "/" + row.sample;
    const camera::Data bmp = camera::ReadWholeFile(name + ".bmp");
    UprightBitmap want = Upright(std::string(bmp.begin(), bmp.end()), row.turn);
    const camera::Data profile = camera::ReadWholeFile(name + ".icc");
    if (!profile.empty())
      colour::TransformRows(profile, want.bits.data(), want.width, want.height,
                            (want.width * 3 + 3) / 4 * 4);
    camera::Data bytes = camera::ReadWholeFile(name + ".jpg");
    if (row.scans != kAsStored) {
      bytes = row.scans == kProgressive
                  ? maker::Recoded(bytes)
                  : maker::Recoded(bytes, {{1, {0}, 0, 63, 0, 0}, {1, {1}, 0, 63, 0, 0}, {1, {2}, 0, 63, 0, 0}});
      const std::vector<size_t> ends = maker::ScanEnds(bytes);
      bytes = maker::Inserted(bytes, ends[ends.size() - 2], e2e::ExifSegment(0, {}, "Fakecam", 3));
    }
    Input in(bytes);
    for (int internal = 0; internal < 2; ++internal) {
      for (uint32_t flag : {0u, 1u}) {
        std::string where = std::string(row.sample) + (row.setting ? " off by " : "") +
                            (row.setting ? row.setting : "") + (row.scans ? " in scans" : "") +
                            (internal ? " internal" : "") + InputKind(flag);
        suite::ResetStore();
        if (row.setting) e2e::SetMain(row.setting, 0);
        UseQuorelOrDecline(internal);
        Plugin plugin;
        if (!plugin.ok()) return;
        Answer a = e2e::Request(plugin.GetPicture, in, flag);
        CHECK_EQ_AT(where, a.result, 0);
        CHECK_EQ_AT(where, a.header.biWidth, want.width);
        CHECK_EQ_AT(where, a.header.biHeight, want.height);
        CHECK_AT(where, colour::LargestDifference(a.pixels, want.bits) <= (profile.empty() ? 0 : 1));
        if (row.turn == 1 && !row.setting) untagged = a.pixels;
        if (!row.setting && !profile.empty() && a.pixels.size() == untagged.size()) {
          double sum = 0;
          for (size_t i = 0; i < untagged.size(); ++i) sum += std::abs(a.pixels[i] - untagged[i]);
          CHECK_AT(where, sum / untagged.size() <= 6);
        }
        e2e::Info info = e2e::QueryInfo(plugin, in, flag);
        CHECK_EQ_AT(where, info.record.width, want.width);
        CHECK_EQ_AT(where, info.record.height, want.height);
      }
    }
  }
}

/* Pictures that carry a profile, or the Exif's Adobe RGB mark, come out as
 * lcms2's transform of djpeg's bitmap to sRGB, within a level, through
 * quorel and the internal decoder, by file and by block; untagged, sRGB
 * and broken profiles, and ColorManagement 0, leave djpeg's bits exact. */
SUITE_CASE(colour_profiles_convert_to_srgb) {
  using colour::Bytes;
  const std::string base = e2e::Where().corpus + "/";
  const Bytes rgb = camera::ReadWholeFile(base + "orientation-1.jpg");
  const Bytes grey = camera::ReadWholeFile(base + "grey.jpg");
  const Bytes adobe = colour::Make(colour::kAdobeRgb), greyProfile = colour::Make(colour::kGrey18);
  const Bytes srgb = colour::Saved(cmsCreate_sRGBProfile());
  const Bytes chunk = {1, 2, 3, 4};
  Bytes cut(adobe.begin(), adobe.begin() + static_cast<long>(adobe.size() / 2));
  std::memcpy(cut.data(), adobe.data(), 4); /* its size still says the whole profile */
  struct Row {
    const char *what;
    Bytes jpeg;
    Bytes profile;     /* the reference's; empty: djpeg's bits exact */
    int32_t setting;
    bool grey = false;
    Bytes display = Bytes(); /* the display's profile file (natively); empty: none */
  } rows[] = {
      {"Adobe RGB", colour::Tagged(rgb, adobe), adobe, 1},
      {"Display P3", colour::Tagged(rgb, colour::Make(colour::kDisplayP3), 3), colour::Make(colour::kDisplayP3), 1},
      {"ProPhoto", colour::Tagged(rgb, colour::Make(colour::kProPhoto), 1), colour::Make(colour::kProPhoto), 1},
      {"gamma 1.8", colour::Tagged(rgb, colour::Make(colour::kGamma18)), colour::Make(colour::kGamma18), 1},
      {"lookup table", colour::Tagged(rgb, colour::Make(colour::kLutRgb)), colour::Make(colour::kLutRgb), 1},
      {"Exif R03", colour::WithSegments(rgb, {colour::AdobeMark()}), adobe, 1},
      {"grey gamma 1.8", colour::Tagged(grey, greyProfile), greyProfile, 1, true},
      {"Adobe RGB, setting 0", colour::Tagged(rgb, adobe), Bytes(), 0},
      {"untagged", rgb, Bytes(), 1},
      {"untagged, display", rgb, Bytes(), 2},
      {"sRGB", colour::Tagged(rgb, srgb), Bytes(), 1},
      {"grey profile on colour", colour::Tagged(rgb, greyProfile), Bytes(), 1},
      {"cut profile", colour::Tagged(rgb, cut), Bytes(), 1},
      {"7,000 float elements", colour::Tagged(rgb, colour::CostlyElements(7000)), Bytes(), 1},
      {"count 0", colour::WithSegments(rgb, {colour::Chunk(1, 0, adobe.data(), adobe.size())}), Bytes(), 1},
      {"sequence 0", colour::WithSegments(rgb, {colour::Chunk(0, 1, adobe.data(), adobe.size())}), Bytes(), 1},
      {"sequence above count", colour::WithSegments(rgb, {colour::Chunk(2, 1, adobe.data(), adobe.size())}), Bytes(), 1},
      {"repeated chunk", colour::WithSegments(rgb, {colour::Chunk(1, 1, adobe.data(), adobe.size()), colour::Chunk(1, 1, adobe.data(), adobe.size())}), Bytes(), 1},
      {"missing chunk", colour::WithSegments(rgb, {colour::Chunk(1, 2, adobe.data(), adobe.size())}), Bytes(), 1},
      {"empty chunks", colour::WithSegments(rgb, {colour::Chunk(1, 2, chunk.data(), 0), colour::Chunk(2, 2, chunk.data(), 0)}), Bytes(), 1},
#ifndef _WIN32
      {"untagged to a P3 display", rgb, srgb, 2, false, colour::Make(colour::kDisplayP3)},
      {"Adobe RGB to a P3 display", colour::Tagged(rgb, adobe), adobe, 2, false, colour::Make(colour::kDisplayP3)},
      {"Adobe RGB, P3 display at 1", colour::Tagged(rgb, adobe), adobe, 1, false, colour::Make(colour::kDisplayP3)},
      {"untagged, garbage display", rgb, Bytes(), 2, false, chunk},
      {"Adobe RGB, garbage display", colour::Tagged(rgb, adobe), adobe, 2, false, chunk},
#endif
  };

  for (const Row &row : rows) {
    const std::string sample = row.grey ? "grey" : "orientation-1";
    const Bytes bmp = camera::ReadWholeFile(base + sample + ".bmp");
    UprightBitmap want = Upright(std::string(bmp.begin(), bmp.end()), 1);
    Bytes palette;
    for (int i = 0; i < 256; ++i) palette.insert(palette.end(), {uint8_t(i), uint8_t(i), uint8_t(i)});
    const Bytes output = row.setting == 2 && row.display.size() > 4 ? row.display : Bytes();
    if (want.bitCount == 24)
      colour::TransformRows(row.profile, want.bits.data(), want.width, want.height,
                            (want.width * 3 + 3) / 4 * 4, output);
    else if (!row.profile.empty())
      for (int i = 0; i < 256; ++i) {
        uint8_t level = static_cast<uint8_t>(i);
        Bytes c = colour::Transformed(row.profile, TYPE_GRAY_8, &level, 1);
        std::memcpy(&palette[3 * i], c.data(), 3);
      }
    Input in(row.jpeg);
    for (int internal = 0; internal < 2; ++internal) {
      for (uint32_t flag : {0u, 1u}) {
        std::string where = std::string(row.what) + (internal ? " internal" : "") + InputKind(flag);
        suite::ResetStore();
        e2e::SetMain("ColorManagement", row.setting);
#ifndef _WIN32
        camera::TempFile display(row.display);
        StandinSetDisplayProfile(row.display.empty() ? nullptr : e2e::HostPath(display.path).c_str());
#endif
        UseQuorelOrDecline(internal);
        Plugin plugin;
        if (!plugin.ok()) return;
        Answer a = e2e::Request(plugin.GetPicture, in, flag);
        CHECK_EQ_AT(where, a.result, 0);
        const int tolerance = row.profile.empty() ? 0 : 1;
        CHECK_AT(where, colour::LargestDifference(a.pixels, want.bits) <= tolerance);
        if (want.bitCount == 8 && a.infoBytes.size() >= 40 + 1024) {
          Bytes got;
          for (int i = 0; i < 256; ++i) got.insert(got.end(), &a.infoBytes[40 + 4 * i], &a.infoBytes[40 + 4 * i + 3]);
          CHECK_AT(where, colour::LargestDifference(got, palette) <= tolerance);
        }
      }
    }
  }
#ifndef _WIN32
  StandinSetDisplayProfile(nullptr);
#endif
}

/* Previews take the picture's profile: the wrapped plug-in's and the Exif
 * thumbnails, turned or not, are lcms2's transform of what setting 0
 * gives, within a level. */
SUITE_CASE(previews_take_the_pictures_profile) {
  const colour::Bytes adobe = colour::Make(colour::kAdobeRgb);
  const struct {
    const char *what;
    colour::Bytes jpeg;
  } rows[] = {{"wrapped preview", colour::Tagged(e2e::Jpeg(), adobe)},
              {"turned wrapped preview", colour::Tagged(e2e::ExifJpeg(0, {}, 6), adobe)},
              {"JPEG thumbnail", colour::Tagged(e2e::ExifJpeg(1), adobe)},
              {"turned JPEG thumbnail", colour::Tagged(e2e::ExifJpeg(1, e2e::ThumbnailJpeg(), 6), adobe)},
              {"RGB thumbnail", colour::Tagged(e2e::ExifJpeg(2), adobe)}};
  for (const auto &row : rows) {
    Input in(row.jpeg);
    for (uint32_t flag : {0u, 1u}) {
      const std::string where = std::string(row.what) + InputKind(flag);
      Answer at[2];
      for (int32_t setting : {0, 1}) {
        suite::ResetStore();
        e2e::SetMain("ColorManagement", setting);
        e2e::SetMain("ExifPreviewLevel", 14);
        e2e::UseDecoder(e2e::Where().folder, "quorel.mqf");
        Plugin plugin;
        if (!plugin.ok()) return;
        at[setting] = e2e::Request(plugin.GetPreview, in, flag);
        CHECK_EQ_AT(where, at[setting].result, 0);
      }
      const BITMAPINFOHEADER &h = at[0].header;
      CHECK_EQ_AT(where, h.biBitCount, 24);
      if (at[0].pixels.size() < static_cast<size_t>((h.biWidth * 3 + 3) / 4 * 4 * h.biHeight)) continue;
      colour::TransformRows(adobe, at[0].pixels.data(), h.biWidth, h.biHeight, (h.biWidth * 3 + 3) / 4 * 4);
      CHECK_AT(where, colour::LargestDifference(at[1].pixels, at[0].pixels) <= 1);
      CHECK_AT(where, at[1].bitsChecksum != at[0].bitsChecksum);
    }
  }
}

#ifndef _WIN32
/* Natively the stand-in lets a case watch the prompt and fail allocations. */
SUITE_CASE(thumbnail_that_ends_early_prompts_and_failed_bitmap_delegates) {
  Input truncated(e2e::ExifJpeg(1, camera::Data(e2e::ThumbnailJpeg().begin(),
                                                e2e::ThumbnailJpeg().begin() + 120)));
  Fake &fake = e2e::UseFake();
  Plugin plugin;
  if (!plugin.ok() || !fake.ok()) return;
  StandinSetDialogScript(
      [](HWND dialog, void *) { StandinClick(dialog, IDCANCEL); }, nullptr);
  long dialogs = StandinDialogsCreated();
  /* The inner picture request shows the prompt; declined, the request
   * goes to the decoder's GetPreview on the whole file. */
  Answer a = e2e::Request(plugin.GetPreview, truncated, 1);
  CHECK_EQ(StandinDialogsCreated(), dialogs + 1);
  CHECK(StandinLastDialogRequest() == 130 || StandinLastDialogRequest() == 131);
  CHECK_EQ(a.result, 0);
  CHECK_EQ(fake.calls(), 100);
  StandinSetDialogScript(nullptr, nullptr);

  e2e::SetMain("ReportDialog", 0);
  fake.Reset();
  e2e::Request(plugin.GetPreview, truncated, 1);
  CHECK_EQ(StandinDialogsCreated(), dialogs + 1);

  /* No memory for the RGB thumbnail's bitmap: the decoder's preview. */
  Input rgb(e2e::ExifJpeg(2));
  fake.Reset();
  StandinFailLocalAllocAt(1);
  a = e2e::Request(plugin.GetPreview, rgb, 0);
  StandinFailLocalAllocAt(0);
  CHECK_EQ(a.result, 0);
  CHECK_EQ(fake.calls(), 100);
  CHECK_EQ(a.header.biWidth, 16);
}
#endif

}  // namespace

E2E_MAIN()
