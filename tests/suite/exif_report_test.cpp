/*
 * exif_report_test.cpp - the camera report: every sample line in English
 * and Japanese (Shift_JIS bytes), the value tables' row mapping, the block
 * size formula, numbers printed alike by every C runtime, the language
 * query and a failed allocation.
 */
#include <cmath>
#include <cstring>
#include <functional>
#include <string>

#include "exif/report.h"
#include "exif_header_pass.h"
#include "harness.h"

namespace {

/* Shift_JIS texts the expectations use. */
#define JA_MAKER "\203\201\201[\203J\201["                               /* メーカー */
#define JA_SHUTTER "\203V\203\203\203b\203^\201[\203X\203s\201[\203h"    /* シャッタースピード */
#define JA_WHITE_BALANCE "\203z\203\217\203C\203g\203o\203\211\203\223\203X" /* ホワイトバランス */
#define JA_ISO "ISO\212\264\223x"                                        /* ISO感度 */
#define JA_SECONDS "(\225b)"                                             /* (秒) */
#define JA_FLASH "\203t\203\211\203b\203V\203\205"                       /* フラッシュ */
#define JA_FLASH_ROW9                                                                            \
  "\203t\203\211\203b\203V\203\205\202\240\202\350/\216\251\223\256\203t\203\211\203b\203V"     \
  "\203\205\203\202\201[\203h/\216\251\223\256\222\262\214\365\220\247\214\344\213@\224\134"     \
  "\202\310\202\265" /* フラッシュあり/自動フラッシュモード/自動調光制御機能なし */
#define JA_CLOUDY "\211_\223V"                  /* 雲天 */
#define JA_D65 "\223\334\223V(D65\214\365\214\271)" /* 曇天(D65光源) */
#define JA_UNDEFINED "\226\242\222\350\213`"    /* 未定義 */

ExifText text(const char *s) { return ExifText{s, static_cast<uint32_t>(std::strlen(s))}; }
RationalValue one(double v) { return RationalValue{1, v, 0}; }
RationalValue two(double a, double b) { return RationalValue{2, a, b}; }

std::string build(ReportLanguage language, const ExifReportData &data, int n, uint32_t *size) {
  HLOCAL handle = nullptr;
  if (!buildExifReport(language, &data, n, &handle, size)) return "<failed>";
  CHECK_EQ(LocalFlags(handle) & LMEM_LOCKCOUNT, 0u);
  std::string out(static_cast<const char *>(LocalLock(handle)));
  LocalUnlock(handle);
  LocalFree(handle);
  return out;
}

struct Sample {
  const char *what;
  ReportLanguage language;
  std::function<void(ExifReportData *)> fill;
  const char *expected;
};

SUITE_CASE(report_sample_lines_byte_for_byte) {
  const double inf = HUGE_VAL;
  const Sample samples[] = {
      {"make", ReportEnglish, [](ExifReportData *d) { d->maker = text("Canon"); },
       "             Maker: Canon\r\n"},
      {"make up to a zero byte", ReportEnglish,
       [](ExifReportData *d) { d->maker = ExifText{"Can\0on", 6}; }, "             Maker: Can\r\n"},
      {"make ja", ReportJapanese, [](ExifReportData *d) { d->maker = text("Canon"); },
       "          " JA_MAKER ": Canon\r\n"},
      {"exposure 1/60", ReportEnglish, [](ExifReportData *d) { d->exposureTime = one(1.0 / 60); },
       "     Exposure Time: 1/60 (sec.)\r\n"},
      {"exposure 2", ReportEnglish, [](ExifReportData *d) { d->exposureTime = one(2); },
       "     Exposure Time: 2 (sec.)\r\n"},
      {"exposure 0", ReportEnglish, [](ExifReportData *d) { d->exposureTime = one(0); },
       "     Exposure Time: 0 (sec.)\r\n"},
      {"f-number", ReportEnglish, [](ExifReportData *d) { d->fNumber = one(28 / 10.0); },
       "          F Number: 2.8 \r\n"},
      {"bias -1/3", ReportEnglish, [](ExifReportData *d) { d->exposureBias = one(-1 / 3.0); },
       "     Exposure Bias: -0.333333 \r\n"},
      {"shutter 1/64", ReportEnglish, [](ExifReportData *d) { d->shutter = one(0.015625); },
       "     Shutter Speed: 1/64 (sec.)\r\n"},
      {"shutter ja", ReportJapanese, [](ExifReportData *d) { d->shutter = one(0.015625); },
       JA_SHUTTER ": 1/64 " JA_SECONDS "\r\n"},
      {"two values", ReportEnglish, [](ExifReportData *d) { d->exposureTime = two(0.5, -0.25); },
       "     Exposure Time: 1/2 - -1/4 (sec.)\r\n"},
      {"second value 0", ReportEnglish, [](ExifReportData *d) { d->exposureTime = two(4, 1e-17); },
       "     Exposure Time: 4 - 0 (sec.)\r\n"},
      {"quality 2", ReportEnglish, [](ExifReportData *d) { d->compressedBpp = one(2); },
       "           Quality: NORMAL [2 (bpp)]\r\n"},
      {"quality 4", ReportEnglish, [](ExifReportData *d) { d->compressedBpp = one(4); },
       "           Quality: FINE [4 (bpp)]\r\n"},
      {"quality 5", ReportEnglish, [](ExifReportData *d) { d->compressedBpp = one(5); },
       "           Quality: Super Fine [5 (bpp)]\r\n"},
      {"quality 1", ReportEnglish, [](ExifReportData *d) { d->compressedBpp = one(1); },
       "           Quality: BASIC [1 (bpp)]\r\n"},
      {"quality just below 2", ReportEnglish,
       [](ExifReportData *d) { d->compressedBpp = one(1.9999999999999996); },
       "           Quality: BASIC [2 (bpp)]\r\n"},
      {"quality largest below 2", ReportEnglish,
       [](ExifReportData *d) { d->compressedBpp = one(1.9999999999999998); },
       "           Quality: NORMAL [2 (bpp)]\r\n"},
      {"colour temperature", ReportEnglish,
       [](ExifReportData *d) { d->presentFlags = kHasLightSource; d->lightSource = 0x8000 + 5500; },
       "      Light Source: 5500 (K)\r\n"},
      {"light 21", ReportEnglish,
       [](ExifReportData *d) { d->presentFlags = kHasLightSource; d->lightSource = 21; },
       "   Lighting Source: D65 Illuminant\r\n"},
      {"light 21 ja", ReportJapanese,
       [](ExifReportData *d) { d->presentFlags = kHasLightSource; d->lightSource = 21; },
       "  " JA_WHITE_BALANCE ": " JA_D65 "\r\n"},
      {"light 255", ReportEnglish,
       [](ExifReportData *d) { d->presentFlags = kHasLightSource; d->lightSource = 255; },
       "   Lighting Source: Unknown\r\n"},
      {"nikon cloudy", ReportEnglish,
       [](ExifReportData *d) {
         d->presentFlags = kHasLightSource;
         d->makerNoteFlags = kHasNikonWhiteBalance;
         d->nikonWhiteBalance = 5;
       },
       "   Lighting Source: Cloudy\r\n"},
      {"nikon cloudy ja", ReportJapanese,
       [](ExifReportData *d) {
         d->presentFlags = kHasLightSource;
         d->makerNoteFlags = kHasNikonWhiteBalance;
         d->nikonWhiteBalance = 5;
       },
       "  " JA_WHITE_BALANCE ": " JA_CLOUDY "\r\n"},
      {"nikon 9", ReportEnglish,
       [](ExifReportData *d) {
         d->presentFlags = kHasLightSource;
         d->makerNoteFlags = kHasNikonWhiteBalance;
         d->nikonWhiteBalance = 9;
       },
       "   Lighting Source: Undefined\r\n"},
      {"nikon 9 ja", ReportJapanese,
       [](ExifReportData *d) {
         d->presentFlags = kHasLightSource;
         d->makerNoteFlags = kHasNikonWhiteBalance;
         d->nikonWhiteBalance = 9;
       },
       "  " JA_WHITE_BALANCE ": " JA_UNDEFINED "\r\n"},
      {"nikon beside a light source", ReportEnglish,
       [](ExifReportData *d) {
         d->presentFlags = kHasLightSource;
         d->lightSource = 1;
         d->makerNoteFlags = kHasNikonWhiteBalance;
         d->nikonWhiteBalance = 5;
       },
       "   Lighting Source: Daylight\r\n"},
      {"flash 0x19", ReportEnglish,
       [](ExifReportData *d) { d->presentFlags = kHasFlash; d->flash = 0x19; },
       "             Flash: Flash fire, \"Auto\" flash mode, Camera has no flash return sensing "
       "capability\r\n"},
      {"flash 0x19 ja", ReportJapanese,
       [](ExifReportData *d) { d->presentFlags = kHasFlash; d->flash = 0x19; },
       "        " JA_FLASH ": " JA_FLASH_ROW9 "\r\n"},
      {"program 200", ReportEnglish,
       [](ExifReportData *d) { d->presentFlags = kHasExposureProgram; d->exposureProgram = 200; },
       "  Exposure Program: Private\r\n"},
      {"metering 255", ReportEnglish,
       [](ExifReportData *d) { d->presentFlags = kHasMeteringMode; d->meteringMode = 255; },
       "     Metering Mode: Unknown\r\n"},
      {"iso", ReportEnglish, [](ExifReportData *d) { d->presentFlags = kHasIso; d->iso = 65535; },
       "         ISO SPEED: 65535\r\n"},
      {"iso ja", ReportJapanese, [](ExifReportData *d) { d->presentFlags = kHasIso; d->iso = 100; },
       "           " JA_ISO ": 100\r\n"},
      {"focal length", ReportEnglish, [](ExifReportData *d) { d->focalLength = one(5.8); },
       "      Focal Length: 5.8 (mm)\r\n"},
      /* Zero denominators: stored as infinities or NaN, printed as words. */
      {"f-number n/0", ReportEnglish, [inf](ExifReportData *d) { d->fNumber = one(inf); },
       "          F Number: inf \r\n"},
      {"bias -n/0", ReportEnglish, [inf](ExifReportData *d) { d->exposureBias = one(-inf); },
       "     Exposure Bias: -inf \r\n"},
      {"exposure 0/0", ReportEnglish,
       [](ExifReportData *d) { d->exposureTime = one(std::nan("")); },
       "     Exposure Time: undef (sec.)\r\n"},
      {"exposure n/0 twice", ReportEnglish,
       [inf](ExifReportData *d) { d->exposureTime = two(inf, -inf); },
       "     Exposure Time: inf - -inf (sec.)\r\n"},
      {"quality 0/0", ReportEnglish,
       [](ExifReportData *d) { d->compressedBpp = one(std::nan("")); },
       "           Quality: Super Fine [undef (bpp)]\r\n"},
  };
  for (const Sample &s : samples) {
    ExifReportData data = {};
    s.fill(&data);
    uint32_t size = 0;
    std::string got = build(s.language, data, 1, &size);
    if (got != s.expected)
      suite::Report(__FILE__, __LINE__,
                    std::string(s.what) + ": got \"" + suite::Bytes(got.data(), got.size()) +
                        "\", expected \"" + suite::Bytes(s.expected, std::strlen(s.expected)) + "\"");
  }
}

/* Every value in its order, with labels and units, in both languages. */
SUITE_CASE(report_full_record_in_order) {
  ExifReportData d = {};
  d.maker = text("NIKON");
  d.model = text("E950");
  d.date = text("2001:04:06 11:51:40");
  d.compressedBpp = one(4);
  d.shutter = one(1 / 128.0);
  d.fNumber = one(5.5);
  d.exposureTime = one(0.0129870129870);
  d.presentFlags = kHasExposureProgram | kHasIso | kHasMeteringMode | kHasLightSource | kHasFlash;
  d.exposureProgram = 2;
  d.iso = 80;
  d.exposureBias = one(0);
  d.meteringMode = 5;
  d.lightSource = 0;
  d.makerNoteFlags = kHasNikonWhiteBalance;
  d.nikonWhiteBalance = 0;
  d.flash = 0;
  d.focalLength = one(12.8);
  uint32_t size = 0;
  CHECK_EQ(build(ReportEnglish, d, 15, &size),
           std::string("             Maker: NIKON\r\n"
                       "             Model: E950\r\n"
                       "              Date: 2001:04:06 11:51:40\r\n"
                       "           Quality: FINE [4 (bpp)]\r\n"
                       "     Shutter Speed: 1/128 (sec.)\r\n"
                       "          F Number: 5.5 \r\n"
                       "     Exposure Time: 1/77 (sec.)\r\n"
                       "  Exposure Program: Program Normal\r\n"
                       "         ISO SPEED: 80\r\n"
                       "     Exposure Bias: 0 \r\n"
                       "     Metering Mode: Matrix mertering\r\n"
                       "   Lighting Source: Auto\r\n"
                       "             Flash: Flash did not fire\r\n"
                       "      Focal Length: 12.8 (mm)\r\n"));
  CHECK_EQ(size, 5u + 4 + 19 + 40 * 15 + 248);
  CHECK_EQ(build(ReportJapanese, d, 15, &size),
           std::string("          " JA_MAKER ": NIKON\r\n"
                       "            \203\202\203f\203\213: E950\r\n"
                       "            \216B\211e\223\372: 2001:04:06 11:51:40\r\n"
                       "              \211\346\216\277: FINE [4 (bpp)]\r\n"
                       JA_SHUTTER ": 1/128 " JA_SECONDS "\r\n"
                       "               F\222l: 5.5 \r\n"
                       "          \230I\217o\216\236\212\324: 1/77 " JA_SECONDS "\r\n"
                       "    \230I\217o\203v\203\215\203O\203\211\203\200: "
                       "\203m\201[\203}\203\213\203v\203\215\203O\203\211\203\200\r\n"
                       "           " JA_ISO ": 80\r\n"
                       "          \230I\217o\225\342\220\263: 0 \r\n"
                       "          \221\252\214\365\225\373\216\256: \225\252\212\204\221\252\214\365\r\n"
                       "  " JA_WHITE_BALANCE ": \203I\201[\203g\r\n"
                       "        " JA_FLASH ": \203t\203\211\203b\203V\203\205\202\310\202\265\r\n"
                       "          \217\305\223_\213\227\227\243: 12.8 (mm)\r\n"));
}

/* Light Source and Flash values fall on their rows; all others on the last. */
SUITE_CASE(report_table_rows) {
  const struct {
    uint32_t value;
    const char *text;
  } lights[] = {{0, "Undefined"}, {1, "Daylight"}, {2, "Fluorescent light"},
                {3, "Tungsten Lump"}, {4, "Unknown"}, {9, "Unknown"}, {10, "Flash"},
                {11, "Unknown"}, {16, "Unknown"}, {17, "Standard Illuminant A"},
                {18, "Standard Illuminant B"}, {19, "Standard Illuminant C"},
                {20, "D55 Illuminant"}, {22, "D75 Illuminant"}, {23, "Unknown"},
                {0x7FFF, "Unknown"}, {0x10000, "Unknown"}};
  for (const auto &row : lights) {
    ExifReportData d = {};
    d.presentFlags = kHasLightSource;
    d.lightSource = row.value;
    uint32_t size;
    CHECK_EQ(build(ReportEnglish, d, 1, &size), std::string("   Lighting Source: ") + row.text + "\r\n");
  }
  const struct {
    uint32_t value;
    const char *text;
  } flashes[] = {{0, "Flash did not fire"}, {1, "Flash fired"},
                 {2, "Unknown"}, {5, "Flash fired, Flash return not sensed"},
                 {7, "Flash fired, Flash return sensed"},
                 {9, "Flash fired, Fill flash mode, Camera has no flash return sensing capability"},
                 {13, "Flash fired, Fill flash mode, Flash return not sensed"},
                 {15, "Flash fired, Fill flash mode, Flash return sensed"},
                 {16, "Flash did not fire, Flash \"off\" mode"},
                 {24, "Flash did not fire, \"Auto\" flash mode"},
                 {29, "Flash fire, \"Auto\" flash mode, Flash return not sensed"},
                 {31, "Flash fire, \"Auto\" flash mode, Flash return sensed"},
                 {32, "Camera does not have a flash unit"}, {33, "Unknown"}, {65535, "Unknown"}};
  for (const auto &row : flashes) {
    ExifReportData d = {};
    d.presentFlags = kHasFlash;
    d.flash = row.value;
    uint32_t size;
    CHECK_EQ(build(ReportEnglish, d, 1, &size), std::string("             Flash: ") + row.text + "\r\n");
  }
  const char *programs[] = {"Undefined", "Manual", "Program Normal", "Aperture Priority",
                            "Shutter Priority", "Program Creative", "Program Action",
                            "Portrait Mode", "Landscape Mode", "Private", "Private"};
  for (uint32_t v = 0; v <= 10; ++v) {
    ExifReportData d = {};
    d.presentFlags = kHasExposureProgram;
    d.exposureProgram = v;
    uint32_t size;
    CHECK_EQ(build(ReportEnglish, d, 1, &size), std::string("  Exposure Program: ") + programs[v] + "\r\n");
  }
  const char *meterings[] = {"Undefined", "Average", "Center Weighted Average", "Spot",
                             "Multispot", "Matrix mertering", "Partial mertering", "Unknown",
                             "Unknown"};
  for (uint32_t v = 0; v <= 8; ++v) {
    ExifReportData d = {};
    d.presentFlags = kHasMeteringMode;
    d.meteringMode = v;
    uint32_t size;
    CHECK_EQ(build(ReportEnglish, d, 1, &size), std::string("     Metering Mode: ") + meterings[v] + "\r\n");
  }
  const char *balances[] = {"Auto", "Preset", "Daylight", "Tungsten Lump", "Fluorescent light",
                            "Cloudy", "Speed Light", "Undefined"};
  for (uint32_t w = 0; w <= 7; ++w) {
    ExifReportData d = {};
    d.presentFlags = kHasLightSource;
    d.makerNoteFlags = kHasNikonWhiteBalance;
    d.nikonWhiteBalance = w;
    uint32_t size;
    CHECK_EQ(build(ReportEnglish, d, 1, &size), std::string("   Lighting Source: ") + balances[w] + "\r\n");
  }
}

/* The block is size + 2 bytes by the formula, and the longest values of
 * every line still fit inside it. */
SUITE_CASE(report_size_formula_leaves_room) {
  ExifReportData d = {};
  d.maker = text("Canon");
  uint32_t size = 0;
  HLOCAL handle = nullptr;
  CHECK(buildExifReport(ReportEnglish, &d, 1, &handle, &size));
  CHECK_EQ(size, 293u);
  CHECK_EQ(static_cast<long long>(LocalSize(handle)), 295LL);
  LocalFree(handle);

  const double big = -1.234567e+300;
  ExifReportData w = {};
  w.maker = text("");
  w.model = text("");
  w.date = text("");
  w.compressedBpp = one(big);
  w.shutter = two(-0.0123456, big);
  w.fNumber = two(big, big);
  w.exposureTime = two(-0.0123456, -0.0123457);
  w.exposureBias = two(big, big);
  w.focalLength = two(big, big);
  w.presentFlags = kHasExposureProgram | kHasIso | kHasMeteringMode | kHasLightSource | kHasFlash;
  w.exposureProgram = 3;
  w.iso = 65535;
  w.meteringMode = 2;
  w.lightSource = 0x8000 + 0x7FFF;
  w.flash = 9;
  const int tags = 14;
  for (ReportLanguage language : {ReportEnglish, ReportJapanese}) {
    for (uint32_t flash : {9u, 25u}) {
      w.flash = flash;
      std::string got = build(language, w, tags, &size);
      CHECK_EQ(size, 40u * tags + 248);
      CHECK(got.size() <= size);
      /* Nothing was cut: the last line is complete. */
      CHECK(got.size() > 8 && got.compare(got.size() - 6, 6, "(mm)\r\n") == 0);
    }
  }
}

/* Numbers print alike on glibc and the Windows C runtime. */
SUITE_CASE(report_numbers_same_on_every_runtime) {
  const struct {
    double value;
    const char *text;
  } rows[] = {{60, "60"}, {2.8, "2.8"}, {1 / 3.0, "0.333333"}, {1e6, "1e+06"},
              {1234567, "1.23457e+06"}, {1e-5, "1e-05"}, {0.0001, "0.0001"}, {-0.0, "-0"},
              {123456, "123456"}, {999999.4, "999999"}, {999999.5, "1e+06"}, {0.09999999999999999, "0.1"},
              {-5.55, "-5.55"}, {100, "100"}, {HUGE_VAL, "inf"}, {-HUGE_VAL, "-inf"},
              {std::nan(""), "undef"}, {-std::nan(""), "undef"}};
  for (const auto &row : rows) {
    char out[32];
    int n = formatNumber(out, sizeof out, row.value);
    CHECK_EQ(std::string(out), std::string(row.text));
    CHECK_EQ(n, static_cast<int>(std::strlen(row.text)));
  }
  /* Quotients of camera-like terms agree with the C runtime's own "%g". */
  uint32_t seed = 12345;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
  int differ = 0;
  for (int i = 0; i < 200000; ++i) {
    const uint32_t bits = next();
    const int32_t numerator = static_cast<int32_t>(next() >> (bits % 31));
    const double value = numerator / static_cast<double>(next() >> (bits / 31 % 31) | 1);
    char ours[32], theirs[32];
    formatNumber(ours, sizeof ours, value);
    std::snprintf(theirs, sizeof theirs, "%g", value);
    if (std::strcmp(ours, theirs) != 0 && ++differ < 5)
      suite::Report(__FILE__, __LINE__, std::string(ours) + " for " + theirs);
  }
  CHECK_EQ(differ, 0);
  char small[4];
  CHECK_EQ(formatNumber(small, sizeof small, 1234567), 3);
  CHECK_EQ(std::string(small), std::string("1.2"));
}

#ifndef _WIN32
SUITE_CASE(report_without_memory_fails_cleanly) {
  ExifReportData d = {};
  d.maker = text("Canon");
  HLOCAL handle = reinterpret_cast<HLOCAL>(1);
  uint32_t size = 7;
  StandinFailLocalAllocAt(1);
  CHECK(!buildExifReport(ReportEnglish, &d, 1, &handle, &size));
  StandinFailLocalAllocAt(0);
  CHECK(handle == reinterpret_cast<HLOCAL>(1));
  CHECK_EQ(size, 7u);
}
#endif

}  // namespace
