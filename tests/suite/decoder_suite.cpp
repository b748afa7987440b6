/*
 * decoder_suite.cpp - the internal decoder: pixels against djpeg's, bitmap
 * layout, densities, four-component pictures, progress and abort, damaged
 * and hostile input, and the memory layer under libjpeg.
 *
 * usage: decoder_suite SAMPLES_DIR   (made by tests/make-decoder-samples.sh)
 */
#include <algorithm>
#include <atomic>
#include <cstdint>
#ifndef _WIN32
#include <dirent.h>
#endif
#include <cstdio>
#include <cstring>
#include <string>
#include <chrono>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>
#endif

#include "attach.h"
#include "base/all_cores.h"
#include "colour/colour.h"
#include "colour_profiles.h"
#include "decoder/internal_decoder.h"
#include "exif/reader.h"
#include "harness.h"
#include "jpeg_maker.h"
#include "plugin/broken_file_prompt.h"
#include "plugin/exports.h"
#include "settings/settings.h"
#include "upright.h"

namespace {

PluginSettings Settings() {
  suite::AttachOnce();
  PluginSettings settings;
  LoadSettings(g_module.instance, &settings);
  return settings;
}

struct Bitmap {
  ResultCode result = NotImplemented;
  BITMAPINFOHEADER header = {};
  std::vector<uint8_t> info; /* the whole info block */
  std::vector<uint8_t> bits;
  bool unlocked = true;      /* both blocks handed over unlocked */
};

struct Progress {
  std::vector<int32_t> calls;
  int stopAt = -1;    /* answer "stop" at this call */
  bool fault = false; /* fault there instead, as a host that catches it further out */
};

Progress g_progress;

int32_t WINAPI RecordProgress(int32_t numerator, int32_t denominator, int32_t data) {
  if (denominator != 100 || data != 77) suite::Report(__FILE__, __LINE__, "bad callback arguments");
  g_progress.calls.push_back(numerator);
  const bool there = static_cast<int>(g_progress.calls.size()) - 1 == g_progress.stopAt;
#ifndef _WIN32
  if (there && g_progress.fault) StandinFault();
#endif
  return there ? 1 : 0;
}

/* Runs decodeInternally and takes the blocks over as the host does. */
Bitmap Decode(const std::string &input, bool file, const PluginSettings &settings,
              bool withProgress = false, int32_t offset = 0) {
  Bitmap out;
  HLOCAL info = reinterpret_cast<HLOCAL>(0x1), bits = reinterpret_cast<HLOCAL>(0x1);
  DecodeRequest request = {};
  request.input = input.data();
  request.len = file ? offset : static_cast<int32_t>(input.size());
  request.fileInput = file ? 1 : 0;
  request.infoHandleOut = &info;
  request.bitsHandleOut = &bits;
  request.progressCallback = withProgress ? RecordProgress : nullptr;
  request.callbackData = 77;
  request.settings = &settings;
  out.result = decodeInternally(&request, readExifOrientation, BrokenFilePrompt);
  if (out.result != Success) {
    if (info != reinterpret_cast<HLOCAL>(0x1) || bits != reinterpret_cast<HLOCAL>(0x1))
      suite::Report(__FILE__, __LINE__, "handles written on failure");
    return out;
  }
#ifdef _WIN32
  out.unlocked = (LocalFlags(info) & LMEM_LOCKCOUNT) == 0 && (LocalFlags(bits) & LMEM_LOCKCOUNT) == 0;
#else
  out.unlocked = StandinLocalLockCount(info) == 0 && StandinLocalLockCount(bits) == 0;
#endif
  const uint8_t *i = static_cast<const uint8_t *>(LocalLock(info));
  out.info.assign(i, i + LocalSize(info));
  std::memcpy(&out.header, i, sizeof out.header);
  LocalUnlock(info);
  const uint8_t *b = static_cast<const uint8_t *>(LocalLock(bits));
  out.bits.assign(b, b + LocalSize(bits));
  LocalUnlock(bits);
  LocalFree(info);
  LocalFree(bits);
  return out;
}

Bitmap DecodeMemory(const std::vector<uint8_t> &jpeg, const PluginSettings &settings,
                    bool withProgress = false) {
  return Decode(std::string(jpeg.begin(), jpeg.end()), false, settings, withProgress);
}

bool ReadFile(const std::string &name, std::string *data) {
  FILE *f = std::fopen(name.c_str(), "rb");
  if (!f) return false;
  char chunk[65536];
  size_t n;
  data->clear();
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) data->append(chunk, n);
  std::fclose(f);
  return true;
}

SUITE_CASE(pixels_equal_djpeg_for_every_sample) {
  std::string dir = suite::Path(suite::Current().argument);
  std::string index;
  if (!ReadFile(dir + "/index.txt", &index)) {
    suite::Report(__FILE__, __LINE__, "no sample index in " + dir);
    return;
  }
  PluginSettings settings = Settings();
  settings.ColorManagement = 0; /* the decoded values; their colours are the e2e suite's */
  int compared = 0;
  size_t start = 0;
  while (start < index.size()) {
    size_t end = index.find('\n', start);
    std::string name = index.substr(start, end - start);
    start = end == std::string::npos ? index.size() : end + 1;
    if (name.empty()) continue;
    std::string bmp, jpeg;
    if (!ReadFile(dir + "/" + name + ".bmp", &bmp) || !ReadFile(dir + "/" + name + ".jpg", &jpeg)) {
      suite::Report(__FILE__, __LINE__, "cannot read " + name);
      continue;
    }
    /* Pictures with an Exif orientation come out upright. */
    UprightBitmap ref = Upright(bmp, SampleOrientation(name));

    Bitmap fromFile = Decode(dir + "/" + name + ".jpg", true, settings);
    Bitmap fromMemory = Decode(jpeg, false, settings);
    std::string label = name + ": ";
    if (fromFile.result != Success || fromMemory.result != Success) {
      suite::Report(__FILE__, __LINE__, label + "result " + suite::Show(fromFile.result) + "/" +
                                            suite::Show(fromMemory.result));
      continue;
    }
    ++compared;
    if (fromFile.header.biWidth != ref.width || fromFile.header.biHeight != ref.height ||
        fromFile.header.biBitCount != ref.bitCount)
      suite::Report(__FILE__, __LINE__, label + "header differs from djpeg's");
    if (fromFile.bits != ref.bits) suite::Report(__FILE__, __LINE__, label + "bits differ from djpeg's");
    if (fromMemory.bits != fromFile.bits)
      suite::Report(__FILE__, __LINE__, label + "memory input differs from file input");
    if (!fromFile.unlocked) suite::Report(__FILE__, __LINE__, label + "blocks left locked");
  }
  CHECK(compared >= 30);
}

SUITE_CASE(rows_are_bottom_up_and_padded) {
  PluginSettings settings = Settings();
  struct Case {
    int width, height;
    J_COLOR_SPACE space;
    int rowWidth, bitCount;
    size_t infoSize;
  } cases[] = {
      {1, 8, JCS_RGB, 4, 24, 44},   {5, 9, JCS_GRAYSCALE, 8, 8, 1068},
      {4, 3, JCS_RGB, 12, 24, 44},  {17, 2, JCS_RGB, 52, 24, 44},
      {8, 8, JCS_GRAYSCALE, 8, 8, 1068},
  };
  for (const Case &c : cases) {
    maker::Picture p;
    p.width = c.width;
    p.height = c.height;
    p.input = c.space;
    /* Each row one flat level, far apart, so that rows are told apart. */
    p.pixel = [](int, int y, uint8_t *s) { s[0] = s[1] = s[2] = static_cast<uint8_t>(y * 28); };
    Bitmap b = DecodeMemory(maker::Encode(p), settings);
    std::string label = std::to_string(c.width) + "x" + std::to_string(c.height) + ": ";
    if (b.result != Success) {
      suite::Report(__FILE__, __LINE__, label + "failed");
      continue;
    }
    CHECK_EQ(b.header.biBitCount, c.bitCount);
    CHECK_EQ(b.header.biSizeImage, static_cast<DWORD>(c.rowWidth * c.height));
    CHECK_EQ(b.bits.size(), static_cast<size_t>(c.rowWidth * c.height));
    CHECK_EQ(b.info.size(), c.infoSize);
    CHECK_EQ(b.header.biClrUsed, static_cast<DWORD>(c.bitCount == 8 ? 256 : 0));
    int dataWidth = c.width * c.bitCount / 8;
    for (int row = 0; row < c.height; ++row) {
      /* Bitmap row 0 is the picture's last row. */
      int level = (c.height - 1 - row) * 28;
      int got = b.bits[static_cast<size_t>(row * c.rowWidth)];
      if (got < level - 3 || got > level + 3)
        suite::Report(__FILE__, __LINE__, label + "row " + std::to_string(row) + " has level " +
                                              std::to_string(got));
      for (int fill = dataWidth; fill < c.rowWidth; ++fill)
        if (b.bits[static_cast<size_t>(row * c.rowWidth + fill)] != 0)
          suite::Report(__FILE__, __LINE__, label + "fill byte not zero");
    }
    if (c.bitCount == 8) {
      const uint8_t *last = &b.info[40 + 255 * 4];
      CHECK(last[0] == 255 && last[1] == 255 && last[2] == 255 && last[3] == 0);
      CHECK(b.info[40 + 4 * 7] == 7 && b.info[40 + 4 * 7 + 3] == 0);
    }
  }
}

SUITE_CASE(densities_become_resolution_fields) {
  PluginSettings keep = Settings();
  keep.IgnorePixelAspectRatio = 0;
  PluginSettings ignore = keep;
  ignore.IgnorePixelAspectRatio = 1;
  struct Case {
    bool jfif;
    int unit, x, y;
    bool ignore;
    LONG expectX, expectY;
  } cases[] = {
      {true, 2, 28, 28, false, 2800, 2800}, {true, 1, 300, 300, false, 300, 300},
      {true, 0, 2, 1, false, 2, 1},         {false, 0, 0, 0, false, 1, 1},
      {true, 2, 28, 28, true, 1, 1},        {true, 0, 2, 1, true, 1, 1},
  };
  for (const Case &c : cases) {
    maker::Picture p;
    p.jfif = c.jfif;
    p.densityUnit = c.unit;
    p.xDensity = c.x;
    p.yDensity = c.y;
    Bitmap b = DecodeMemory(maker::Encode(p), c.ignore ? ignore : keep);
    CHECK_EQ(b.result, Success);
    CHECK_EQ(b.header.biXPelsPerMeter, c.expectX);
    CHECK_EQ(b.header.biYPelsPerMeter, c.expectY);
  }
}

/* K darkens what the other three samples give, checked against libjpeg's
 * own CMYK samples of the same file: 255 is no ink, as Adobe writes them,
 * with or without an Adobe marker. K changes every 8 columns. With a CMYK
 * profile the same samples go through it, as lcms2 takes them. The
 * picture is large enough for its bands of rows to go over several
 * threads, and ends in a part band. */
SUITE_CASE(four_component_pictures_become_rgb) {
  PluginSettings settings = Settings();
  struct Case {
    const char *label;
    J_COLOR_SPACE stored;
    bool adobe; /* an Adobe marker */
    bool profile = false;
  } cases[] = {
      {"CMYK", JCS_CMYK, true},
      {"CMYK without Adobe marker", JCS_CMYK, false},
      {"YCCK", JCS_YCCK, true},
      {"CMYK with a profile", JCS_CMYK, true, true},
      {"YCCK with a profile", JCS_YCCK, true, true},
  };
  const colour::Bytes press = colour::Make(colour::kLutCmyk);
  const int w = 1040, h = 1040; /* over kPixelsForThreads; 8 bands of 128 rows and 16 */
  for (const Case &c : cases) {
    maker::Picture p;
    p.width = w;
    p.height = h;
    p.input = JCS_CMYK;
    p.stored = c.stored;
    p.adobe = c.adobe;
    p.pixel = [](int x, int y, uint8_t *s) {
      s[0] = static_cast<uint8_t>(x * 8);
      s[1] = static_cast<uint8_t>(y * 16);
      s[2] = 200;
      s[3] = static_cast<uint8_t>(x / 8 * 85);
    };
    std::vector<uint8_t> jpeg = maker::Encode(p);
    if (c.profile) jpeg = colour::Tagged(jpeg, press);
    std::vector<uint8_t> raw(size_t{w} * h * 4);
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_CMYK;
    jpeg_start_decompress(&cinfo);
    for (JSAMPROW row = raw.data(); cinfo.output_scanline < h; row += w * 4)
      jpeg_read_scanlines(&cinfo, &row, 1);
    jpeg_destroy_decompress(&cinfo);
    const colour::Bytes converted =
        c.profile ? colour::Transformed(press, TYPE_CMYK_8_REV, raw.data(), raw.size() / 4) : colour::Bytes();
    for (int32_t threads : {1, 3}) {
      forcePassThreads(threads);
      Bitmap b = DecodeMemory(jpeg, settings);
      forcePassThreads(0);
      CHECK_EQ(b.result, Success);
      CHECK_EQ(b.bits.size(), raw.size() / 4 * 3);
      int wrong = 0;
      for (size_t i = 0; b.result == Success && i < raw.size() / 4; ++i) {
        const uint8_t *s = &raw[i * 4], *got = &b.bits[(h - 1 - i / w) * w * 3 + i % w * 3];
        for (int k = 0; k < 3 && c.profile; ++k) wrong += std::abs(got[k] - converted[i * 3 + k]) > 1;
        if (c.profile) continue;
        for (int k = 0; k < 3; ++k) wrong += got[k] != (s[2 - k] * s[3] + 127) / 255;
        if (i % w == 0) wrong += got[0] + got[1] + got[2] != 0; /* K = 0: all ink */
      }
      if (wrong) suite::Report(__FILE__, __LINE__, std::string(c.label) + ": wrong colours");
    }
    PluginSettings grey = settings;
    grey.ColorSelect = 1;
    CHECK_EQ(DecodeMemory(jpeg, grey).result, BrokenData);
  }
  /* Grey from YCbCr works, 8 bits. */
  PluginSettings grey = settings;
  grey.ColorSelect = 1;
  Bitmap b = DecodeMemory(maker::Encode(maker::Picture()), grey);
  CHECK_EQ(b.result, Success);
  CHECK_EQ(b.header.biBitCount, 8);
}

SUITE_CASE(progress_counts_up_once_per_percent_then_100) {
  PluginSettings settings = Settings();
  maker::Picture p;
  p.width = 64;
  p.height = 300;
  std::vector<uint8_t> jpeg = maker::Encode(p);
  for (bool progressive : {false, true}) {
    p.progressive = progressive;
    jpeg = maker::Encode(p);
    g_progress = Progress();
    Bitmap b = DecodeMemory(jpeg, settings, true);
    CHECK_EQ(b.result, Success);
    const std::vector<int32_t> &calls = g_progress.calls;
    CHECK(calls.size() >= 3);
    if (calls.size() < 3) continue;
    CHECK_EQ(calls.back(), 100);
    CHECK(calls[calls.size() - 2] <= 99);
    for (size_t i = 0; i + 1 < calls.size() - 1; ++i)
      if (calls[i] == calls[i + 1] || calls[i] < 0 || calls[i] > 99)
        suite::Report(__FILE__, __LINE__, "repeated or out-of-range percentage " +
                                              std::to_string(calls[i]));
  }
  /* Stopped at the first call: Aborted, nothing handed over, nothing left. */
  for (int stopAt : {0, 1, 5}) {
    g_progress = Progress();
    g_progress.stopAt = stopAt;
    Bitmap b = DecodeMemory(jpeg, settings, true);
    CHECK_EQ(b.result, Aborted);
    CHECK_EQ(static_cast<int>(g_progress.calls.size()), stopAt + 1);
  }
}

SUITE_CASE(cut_short_data_is_completed_or_refused) {
  PluginSettings silent = Settings();
  silent.ReportDialog = 0;
  maker::Picture p;
  p.width = 48;
  p.height = 64;
  std::vector<uint8_t> jpeg = maker::Encode(p);
  std::vector<uint8_t> cut(jpeg.begin(), jpeg.begin() + static_cast<long>(jpeg.size() * 2 / 3));
  Bitmap b = DecodeMemory(cut, silent);
  CHECK_EQ(b.result, Success);
  CHECK_EQ(b.header.biHeight, 64);
  /* Data that ends before the first scan has no picture at all. */
  std::vector<uint8_t> header(jpeg.begin(), jpeg.begin() + 100);
  CHECK_EQ(DecodeMemory(header, silent).result, BrokenData);
}

/* A scan that no valid progression holds ends the decode before its data;
 * valid streams of up to 100 scans decode. */
SUITE_CASE(scans_out_of_progression_or_too_many_are_refused) {
  PluginSettings settings = Settings();
  for (const maker::ScanCase &c : maker::ScanCases()) {
    ResultCode r = DecodeMemory(c.bytes, settings).result;
    if (r != (c.valid ? Success : BrokenData))
      suite::Report(__FILE__, __LINE__, std::string(c.label) + ": " + suite::Show(r));
  }
}

#ifndef _WIN32
/* The broken-file prompt, answered through the stand-in's dialog model:
 * clear the box first when `clearBox`, then press Yes (1) or No (2). */
struct PromptAnswer {
  int button;
  bool clearBox;
};

void AnswerPrompt(HWND dialog, void *context) {
  const PromptAnswer *answer = static_cast<const PromptAnswer *>(context);
  if (answer->clearBox) StandinClick(dialog, 1005);
  StandinClick(dialog, answer->button);
}

SUITE_CASE(cut_short_scan_asks_once_and_answers_as_the_user_chose) {
  maker::Picture p;
  p.width = 48;
  p.height = 64;
  std::vector<uint8_t> jpeg = maker::Encode(p);
  std::vector<uint8_t> cut(jpeg.begin(), jpeg.begin() + static_cast<long>(jpeg.size() * 2 / 3));
  p.progressive = true;
  std::vector<uint8_t> progressive = maker::Encode(p);
  std::vector<uint8_t> cutScans(progressive.begin(),
                                progressive.begin() + static_cast<long>(progressive.size() / 2));
  struct Case {
    const std::vector<uint8_t> *input;
    PromptAnswer answer;
    ResultCode result;
    bool storesReportOff;
  } cases[] = {
      {&cut, {1, false}, Success, false},     {&cut, {2, false}, BrokenData, false},
      {&cut, {1, true}, Success, true},       {&cut, {2, true}, BrokenData, true},
      {&cutScans, {1, false}, Success, false}, {&cutScans, {2, false}, BrokenData, false},
  };
  for (const Case &c : cases) {
    suite::ResetStore();
    PluginSettings settings = Settings();
    CHECK_EQ(settings.ReportDialog, 1);
    long before = StandinDialogsCreated();
    StandinSetDialogScript(AnswerPrompt, const_cast<PromptAnswer *>(&c.answer));
    Bitmap b = DecodeMemory(*c.input, settings);
    StandinSetDialogScript(nullptr, nullptr);
    CHECK_EQ(b.result, c.result);
    CHECK_EQ(StandinDialogsCreated() - before, 1L);
    if (b.result == Success) CHECK_EQ(b.header.biHeight, 64);
    /* The next request reads the stored answer: with the box cleared it
     * neither asks nor fails. */
    PluginSettings next = Settings();
    CHECK_EQ(next.ReportDialog, c.storesReportOff ? 0 : 1);
    if (c.storesReportOff) {
      before = StandinDialogsCreated();
      CHECK_EQ(DecodeMemory(*c.input, next).result, Success);
      CHECK_EQ(StandinDialogsCreated(), before);
    }
  }
}

/* Every allocation that can fail, failing in turn: the bitmap blocks
 * (LocalAlloc) and libjpeg's memory and the Exif copy (the process heap). */
SUITE_CASE(allocation_failures_end_cleanly) {
  PluginSettings settings = Settings();
  std::vector<uint8_t> jpeg = maker::Encode(maker::Picture());
  for (long n : {1L, 2L}) {
    StandinFailLocalAllocAt(n);
    /* The bitmap or its info block fails at full size: half size comes. */
    Bitmap b = DecodeMemory(jpeg, settings);
    StandinFailLocalAllocAt(0);
    CHECK_EQ(b.result, Success);
    CHECK_EQ(b.header.biWidth, 8);
  }
  /* libjpeg retries a failed small allocation with less slack, so a failure
   * need not end the decode: every n is tried. */
  bool succeeded = false;
  for (long n = 1; n < 60; ++n) {
    StandinFailHeapAllocAt(n);
    ResultCode r = DecodeMemory(jpeg, settings).result;
    StandinFailHeapAllocAt(0);
    succeeded |= r == Success;
    if (r != Success && r != OutOfMemory)
      suite::Report(__FILE__, __LINE__, "heap failure " + std::to_string(n) + ": " + suite::Show(r));
  }
  CHECK(succeeded);

  /* GetPictureInfo of an Exif file: libjpeg's failures are OutOfMemory, a
   * missing Exif copy is BrokenData. */
  std::string exif;
  CHECK(ReadFile(suite::Path(suite::Current().argument) + "/corpus-nikon-e950.jpg", &exif));
  int brokenData = 0;
  succeeded = false;
  for (long n = 1; n < 60; ++n) {
    PictureInfo info = {};
    StandinFailHeapAllocAt(n);
    int32_t r = GetPictureInfo(&exif[0], static_cast<int32_t>(exif.size()), 1, &info);
    StandinFailHeapAllocAt(0);
    if (info.textHandle) LocalFree(info.textHandle);
    succeeded |= r == Success;
    brokenData += r == BrokenData;
    if (r != Success && r != OutOfMemory && r != BrokenData)
      suite::Report(__FILE__, __LINE__, "info, heap failure " + std::to_string(n));
  }
  CHECK(succeeded);
  CHECK(brokenData >= 1);
}
#endif

#ifndef _WIN32
/* Bytes of the bitmap of a w x h picture at 1/n, as djpeg scales it. */
size_t ScaledBytes(const UprightBitmap &full, int n) {
  const size_t w = (full.width + n - 1) / n, h = (full.height + n - 1) / n;
  return (w * full.bitCount / 8 + 3) / 4 * 4 * h;
}

/* A picture whose bitmap, or the block of a turn that exchanges its sides,
 * cannot be had comes at the largest of 1/2, 1/4 and 1/8 that can, as
 * djpeg scales it, then turned; OutOfMemory when none can. */
SUITE_CASE(pictures_without_memory_for_their_size_come_smaller) {
  PluginSettings settings = Settings();
  settings.ColorManagement = 0;
  const std::string dir = suite::Path(suite::Current().argument);
  struct Row {
    const char *name;
    int largestAt; /* the largest block is the bitmap's at 1/this; 0: any */
    bool noTurnRoom; /* room for the full-size bitmap, not for its turn too */
    int expected;  /* 1/this comes; 0: OutOfMemory */
  } rows[] = {
      {"big-colour", 2, false, 2},       {"big-colour", 4, false, 4},
      {"big-colour", 8, false, 8},       {"big-colour", 16, false, 0},
      {"big-progressive", 2, false, 2},  {"big-grey", 4, false, 4},
      {"orientation-big-6", 0, true, 2}, {"orientation-big-6", 8, false, 8},
  };
  for (const Row &row : rows) {
    const std::string label = std::string(row.name) + (row.noTurnRoom ? ", no room to turn"
                                                                       : ", blocks up to 1/" + std::to_string(row.largestAt));
    std::string stored, scaled;
    CHECK(ReadFile(dir + "/" + row.name + ".bmp", &stored));
    const std::string ref = row.expected == 1 ? "" : ".scale-" + std::to_string(row.expected);
    CHECK(row.expected == 0 || ReadFile(dir + "/" + row.name + (ref.empty() ? ".bmp" : ref), &scaled));
    const UprightBitmap full = Upright(stored, 1);
    StandinLimitAddressSpace(row.largestAt ? ScaledBytes(full, row.largestAt) : 0,
                             row.noTurnRoom ? ScaledBytes(full, 1) + (512 << 10) : 0);
    Bitmap b = Decode(dir + "/" + row.name + ".jpg", true, settings);
    StandinLimitAddressSpace(0, 0);
    CHECK_EQ_AT(label, b.result, row.expected ? Success : OutOfMemory);
    if (b.result != Success || scaled.empty()) continue;
    const UprightBitmap want = Upright(scaled, SampleOrientation(row.name));
    CHECK_EQ_AT(label, b.header.biWidth, want.width);
    CHECK_EQ_AT(label, b.header.biHeight, want.height);
    CHECK_AT(label + ": bits", b.bits == want.bits);
  }
}

/* A large picture decoded at 1/2 takes a second thread for its bottom rows
 * (it allocates a decompressor of its own): the bits are one thread's, from
 * a file or memory, whole, damaged or cut short in the second thread's
 * rows; stopped, or faulting in the host's callback while the second
 * thread writes, nothing is left open or allocated. */
SUITE_CASE(scaled_rows_on_two_threads_equal_one_threads) {
  PluginSettings settings = Settings();
  settings.ColorManagement = 0;
  settings.ReportDialog = 0; /* a cut picture is completed unasked */
  const std::string path = suite::Path(suite::Current().argument) + "/big-colour.jpg";
  std::string whole;
  CHECK(ReadFile(path, &whole));
  std::string damaged = whole;
  damaged[whole.size() * 9 / 10] ^= 0x5A;
  const struct Row {
    const char *label;
    std::string input;
    bool file;
    int stopAt; /* the progress call that stops; -1: none */
    bool fault = false;
  } rows[] = {{"file", path, true, -1},
              {"memory", whole, false, -1},
              {"damaged", damaged, false, -1},
              {"cut", whole.substr(0, whole.size() * 9 / 10), false, -1},
              {"stopped", whole, false, 60},
#ifndef _WIN32
              {"fault", whole, false, 20, true}
#endif
  };
  for (const Row &row : rows) {
    Bitmap by[2];
    long long allocated[2];
    volatile bool caught = false; /* the fault reached the host */
    const long liveBefore = StandinLiveLocalBlocks();
    for (int threads = row.fault ? 2 : 1; threads <= 2; ++threads) {
      g_progress = Progress();
      g_progress.stopAt = row.stopAt;
      g_progress.fault = row.fault;
      forcePassThreads(threads);
      StandinLimitAddressSpace(2000 * 1500 * 3 / 2, 0); /* no full-size bitmap */
      const long long before = StandinAllocatedBytes();
#ifndef _WIN32
      StandinFaultMark mark;
      StandinSetFaultMark(&mark);
      if (setjmp(mark.jump) == 0) by[threads - 1] = Decode(row.input, row.file, settings, row.stopAt >= 0);
      else caught = true;
      StandinClearFaultMark(&mark);
#else
      by[threads - 1] = Decode(row.input, row.file, settings, row.stopAt >= 0);
#endif
      allocated[threads - 1] = StandinAllocatedBytes() - before;
      StandinLimitAddressSpace(0, 0);
      forcePassThreads(0);
    }
    if (row.fault) {
      CHECK_AT(row.label, caught);
      CHECK_EQ_AT(row.label, StandinLiveLocalBlocks(), liveBefore);
      CHECK_EQ_AT(row.label, StandinOpenFiles(), 0L);
      continue;
    }
    CHECK_EQ_AT(row.label, by[1].result, row.stopAt >= 0 ? Aborted : Success);
    CHECK_EQ_AT(row.label, by[0].result, by[1].result);
    CHECK_EQ_AT(row.label, StandinOpenFiles(), 0L);
    if (by[1].result != Success) continue;
    CHECK_EQ_AT(row.label, by[1].header.biWidth, 1000);
    CHECK_AT(row.label + std::string(": bits"), by[1].bits == by[0].bits);
    CHECK_AT(row.label + std::string(": a second decompressor"), allocated[1] > allocated[0]);
  }
}

/* Files in the temporary folder. */
int TempFiles() {
  char folder[MAX_PATH];
  GetTempPathA(sizeof folder, folder);
  int count = 0;
  if (DIR *d = opendir(folder)) {
    while (dirent *e = readdir(d)) count += e->d_name[0] != '.';
    closedir(d);
  }
  return count;
}

/* A progressive picture's coefficients (18 MB, one component) come in
 * 16 MB pieces when no larger block exists, and in temporary files when
 * memory is short, with the same bits; the files are gone after the
 * request, stopped or not; a disk without room for them answers
 * OutOfMemory at once. */
SUITE_CASE(coefficients_in_pieces_or_temporary_files) {
  PluginSettings settings = Settings();
  maker::Picture p;
  p.width = p.height = 3000;
  p.input = JCS_GRAYSCALE;
  p.progressive = true;
  p.pixel = [](int x, int y, uint8_t *s) { s[0] = static_cast<uint8_t>((x * x + y * 7) >> 3); };
  const std::vector<uint8_t> jpeg = maker::Encode(p);
  const Bitmap whole = DecodeMemory(jpeg, settings);
  CHECK_EQ(whole.result, Success);
  constexpr size_t kMB = size_t{1} << 20;
  const size_t bitmap = whole.bits.size();
  struct Row {
    const char *label;
    size_t largest, total;
    long long disk;  /* free bytes; -1: the real disk's */
    int stopAt;      /* the progress call that stops; -1: none */
    ResultCode expected;
  } rows[] = {
      {"pieces", 17 * kMB, 0, -1, -1, Success},
      {"files", 0, bitmap + 12 * kMB, -1, -1, Success},
      {"files, stopped", 0, bitmap + 12 * kMB, -1, 40, Aborted},
      {"files, disk full", 0, bitmap + 12 * kMB, 30 * kMB, -1, OutOfMemory},
  };
  for (const Row &row : rows) {
    g_progress = Progress();
    g_progress.stopAt = row.stopAt;
    StandinLimitAddressSpace(row.largest, row.total);
    StandinSetFreeDiskSpace(row.disk);
    Bitmap b = DecodeMemory(jpeg, settings, row.stopAt >= 0);
    StandinLimitAddressSpace(0, 0);
    StandinSetFreeDiskSpace(-1);
    CHECK_EQ_AT(row.label, b.result, row.expected);
    if (b.result == Success) CHECK_AT(row.label, b.bits == whole.bits);
    CHECK_EQ_AT(row.label, TempFiles(), 0);
    CHECK_EQ_AT(row.label, StandinOpenFiles(), 0L);
  }
}
#endif

SUITE_CASE(every_prefix_and_damage_gives_a_defined_result) {
  PluginSettings silent = Settings();
  silent.ReportDialog = 0;
  maker::Picture p;
  p.width = 24;
  p.height = 16;
  p.progressive = true;
  std::vector<uint8_t> jpeg = maker::Encode(p);
  for (size_t n = 0; n <= jpeg.size(); ++n) {
    std::vector<uint8_t> prefix(jpeg.begin(), jpeg.begin() + static_cast<long>(n));
    ResultCode r = DecodeMemory(prefix, silent).result;
    if (r != Success && r != BrokenData && r != UnknownFormat)
      suite::Report(__FILE__, __LINE__, "prefix " + std::to_string(n) + ": " + suite::Show(r));
  }
  /* Single damaged bytes, including the Huffman tables. */
  uint32_t seed = 12345;
  for (int i = 0; i < 400; ++i) {
    std::vector<uint8_t> damaged = jpeg;
    seed = seed * 1103515245u + 12345u;
    damaged[(seed >> 8) % damaged.size()] ^= static_cast<uint8_t>(1 + (seed >> 24) % 255);
    ResultCode r = DecodeMemory(damaged, silent).result;
    if (r != Success && r != BrokenData && r != UnknownFormat && r != OutOfMemory)
      suite::Report(__FILE__, __LINE__, "damage " + std::to_string(i) + ": " + suite::Show(r));
  }
  /* Empty input, random bytes, a picture too large for a bitmap. */
  std::vector<uint8_t> noise(3000);
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>(i * 37 + 11);
  PluginSettings search = silent;
  search.SearchMarkerSupport = 1;
  CHECK_EQ(DecodeMemory(noise, search).result, UnknownFormat);
  CHECK_EQ(DecodeMemory({}, search).result, UnknownFormat); /* no SOI to find */
  search.SearchMarkerSupport = 0;
  CHECK_EQ(DecodeMemory(noise, search).result, BrokenData);
  CHECK_EQ(DecodeMemory({}, search).result, BrokenData);     /* empty input */
  std::vector<uint8_t> huge = jpeg;
  for (size_t i = 0; i + 8 < huge.size(); ++i) {
    if (huge[i] == 0xFF && (huge[i + 1] == 0xC0 || huge[i + 1] == 0xC2)) {
      huge[i + 5] = huge[i + 7] = 0xFF; /* 65500-odd rows and columns */
      huge[i + 6] = huge[i + 8] = 0xDC;
      break;
    }
  }
  ResultCode r = DecodeMemory(huge, silent).result;
  CHECK(r == OutOfMemory || r == BrokenData);
  /* An inverse DCT the library does not know. */
  PluginSettings badDct = silent;
  badDct.DCTMethod = 3;
  CHECK_EQ(DecodeMemory(jpeg, badDct).result, BrokenData);
}

SUITE_CASE(files_that_cannot_be_read_or_recognised) {
  PluginSettings settings = Settings();
  CHECK_EQ(Decode(suite::Path("/nonexistent/none.jpg"), true, settings).result, FileReadError);
  /* A picture behind 300 bytes of another format, and at a host offset. */
  std::vector<uint8_t> jpeg = maker::Encode(maker::Picture());
  char temp[MAX_PATH];
#ifdef _WIN32
  char folder[MAX_PATH];
  GetTempPathA(sizeof folder, folder);
  GetTempFileNameA(folder, "dec", 0, temp);
#else
  std::snprintf(temp, sizeof temp, "%s/decoder-suite-%d.bin", StandinRootFolder(), 1);
#endif
  std::string padded(300, 'x');
  padded.append(jpeg.begin(), jpeg.end());
  FILE *f = std::fopen(temp, "wb");
  if (!f) {
#ifndef _WIN32
    std::string mkdir = std::string("mkdir -p '") + StandinRootFolder() + "'";
    if (std::system(mkdir.c_str()) == 0) f = std::fopen(temp, "wb");
#endif
  }
  CHECK(f != nullptr);
  if (!f) return;
  std::fwrite(padded.data(), 1, padded.size(), f);
  std::fclose(f);
  settings.SearchMarkerSupport = 1;
  CHECK_EQ(Decode(temp, true, settings).result, Success);
  CHECK_EQ(Decode(temp, true, settings, false, 300).result, Success);
  settings.SearchMarkerSupport = 0;
  CHECK_EQ(Decode(temp, true, settings).result, BrokenData);
  CHECK_EQ(Decode(temp, true, settings, false, 300).result, Success);
  std::remove(temp);
}

/* The library allocates through our memory layer, which takes
 * AllocationLock: while another thread holds the lock, creating a
 * decompressor must wait. */
std::atomic<bool> g_created(false);

void CreateAndDestroyDecompressor() {
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr errors;
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_decompress(&cinfo);
  g_created = true;
  jpeg_destroy_decompress(&cinfo);
}

#ifdef _WIN32
DWORD WINAPI Worker(LPVOID) {
  CreateAndDestroyDecompressor();
  return 0;
}
#endif

SUITE_CASE(library_memory_comes_from_our_layer) {
  suite::AttachOnce();
  g_created = false;
  EnterCriticalSection(&g_module.AllocationLock);
#ifdef _WIN32
  HANDLE worker = CreateThread(nullptr, 0, Worker, nullptr, 0, nullptr);
  Sleep(200);
#else
  std::thread worker(CreateAndDestroyDecompressor);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
#endif
  CHECK(!g_created);
  LeaveCriticalSection(&g_module.AllocationLock);
#ifdef _WIN32
  WaitForSingleObject(worker, INFINITE);
  CloseHandle(worker);
#else
  worker.join();
#endif
  CHECK(g_created);
}

}  // namespace

SUITE_MAIN()
